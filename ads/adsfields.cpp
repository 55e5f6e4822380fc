#include "ads/adsfields.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ads/adsdata.h"
#include "ads/engine_text.h"
#include "base/record_forms.h"

namespace ads {

namespace {

namespace record = velda::record;
using record::load;
using record::store;

bool AllBytes(const uint8_t* p, UNSIGNED32 length, bool alsoBlank) {
    for (UNSIGNED32 i = 0; i < length; ++i)
        if (!(p[i] == 0 || (alsoBlank && p[i] == ' '))) return false;
    return true;
}

std::string Trimmed(const uint8_t* p, UNSIGNED32 length) {
    std::string text(reinterpret_cast<const char*>(p), length);
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    size_t end = text.find_last_not_of(' ');
    return text.substr(start, end - start + 1);
}

// The Julian day of a CCYYMMDD text, as the engine converts it.
bool JulianOfText(const std::string& text, double& julian) {
    return AdsConvertStringToJulian(EngineText(text), static_cast<UNSIGNED16>(text.size()),
                                    &julian) == AE_SUCCESS;
}

// The CCYYMMDD text of a Julian day; raises when it does not fit the field.
std::string TextOfJulian(TAdsDataSet* dataSet, double julian, UNSIGNED32 fieldLength) {
    UNSIGNED8 buffer[13] = {};
    UNSIGNED16 length = sizeof buffer;
    UNSIGNED32 result = AdsConvertJulianToString(julian, buffer, &length);
    if (result != AE_SUCCESS) CheckEngineResult(dataSet, result);
    if (length > fieldLength)
        throw EADSDatabaseError(dataSet, "Something's wrong with ADS date functions",
                                kLayerErrorCode);
    return std::string(reinterpret_cast<char*>(buffer), length);
}

// Fixed notation with decimals digits; the exponent form when precision digits cannot show it.
std::string FixedText(double value, int precision, int decimals) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    size_t digitsBeforePoint = text.find('.') == std::string::npos ? text.size() : text.find('.');
    if (!text.empty() && text[0] == '-') --digitsBeforePoint;
    if (static_cast<int>(digitsBeforePoint) > precision || !std::isfinite(value)) {
        std::snprintf(buffer, sizeof buffer, "%.*E", std::max(precision - 1, 0), value);
        return buffer;
    }
    return text;
}

}  // namespace

void TACEFieldDefs::Add(TACEFieldDef entry) {
    if (entry.FieldNumber >= byNumber_.size()) byNumber_.resize(entry.FieldNumber + 1u, 0);
    items_.push_back(std::move(entry));
    byNumber_[items_.back().FieldNumber] = static_cast<int>(items_.size());
}

const TACEFieldDef* TACEFieldDefs::FindByName(const std::string& name) const {
    for (const auto& item : items_)
        if (strcasecmp(item.Name.c_str(), name.c_str()) == 0) return &item;
    return nullptr;
}

const TACEFieldDef* TACEFieldDefs::FieldEntryByNumber(UNSIGNED16 number) const {
    if (number >= byNumber_.size() || byNumber_[number] == 0) return nullptr;
    return &items_[static_cast<size_t>(byNumber_[number] - 1)];
}

bool IsBlobType(UNSIGNED16 t) {
    return t == ADS_MEMO || t == ADS_BINARY || t == ADS_IMAGE || t == ADS_VARCHAR;
}

db::TFieldType FieldKindOf(UNSIGNED16 engineType, UNSIGNED32 length, UNSIGNED16 decimals,
                           int& size) {
    size = 0;
    switch (engineType) {
        case ADS_LOGICAL:
            return db::ftBoolean;
        case ADS_NUMERIC:
            return (decimals > 0 || length >= 5) ? db::ftFloat : db::ftSmallint;
        case ADS_DATE:
        case ADS_COMPACTDATE:
            return db::ftDate;
        case ADS_STRING:
            size = static_cast<int>(length);
            return db::ftString;
        case ADS_MEMO:
        case ADS_VARCHAR:
            size = 1;
            return db::ftMemo;
        case ADS_BINARY:
        case ADS_IMAGE:
            size = 1;
            return db::ftBlob;
        case ADS_DOUBLE:
            return db::ftFloat;
        case ADS_INTEGER:
            return db::ftInteger;
        case ADS_SHORTINT:
            return db::ftSmallint;
        case ADS_TIME:
            return db::ftTime;
        case ADS_TIMESTAMP:
            return db::ftDateTime;
        case ADS_AUTOINC:
            return db::ftAutoInc;
        case ADS_RAW:
            size = static_cast<int>(length);
            return db::ftBytes;
        case ADS_CURDOUBLE:
            return db::ftCurrency;
        default:
            return db::ftUnknown;
    }
}

bool IsFieldEmpty(const TACEFieldDef& f, const uint8_t* image, bool adt) {
    const uint8_t* p = image + f.Offset;
    switch (f.EngineType) {
        case ADS_LOGICAL:
            return adt ? p[0] == record::kEmptyLogical : AllBytes(p, f.Length, true);
        case ADS_NUMERIC:
        case ADS_STRING:
            return AllBytes(p, f.Length, !adt);
        case ADS_DATE:
            if (adt) return AllBytes(p, f.Length, false);
            return f.Length == 4 ? load<uint32_t>(p) == 0 : AllBytes(p, f.Length, true);
        case ADS_COMPACTDATE:
            return AllBytes(p, f.Length, false);
        case ADS_RAW:
            return adt ? AllBytes(p, f.Length, false) : true;
        case ADS_MEMO:
        case ADS_BINARY:
        case ADS_IMAGE:
        case ADS_VARCHAR:
            return record::blobMarkEmpty(p);
        case ADS_DOUBLE:
        case ADS_CURDOUBLE:
            return adt && record::isEmptyDouble(p);
        case ADS_INTEGER:
            return adt && load<uint32_t>(p) == record::kEmptyInteger;
        case ADS_SHORTINT:
            return adt && load<uint16_t>(p) == record::kEmptyShortInteger;
        case ADS_TIME:
            return adt ? load<uint32_t>(p) == record::kEmptyTime : true;
        case ADS_TIMESTAMP:
            return adt ? load<uint32_t>(p) == record::kEmptyTimeStampDay : true;
        case ADS_AUTOINC:
            return adt ? load<uint32_t>(p) == record::kEmptyAutoInc : true;
        default:
            return true;
    }
}

void ReadFieldValue(const TACEFieldDef& f, const uint8_t* image, void* destination) {
    const uint8_t* p = image + f.Offset;
    auto* out = static_cast<uint8_t*>(destination);
    switch (f.EngineType) {
        case ADS_LOGICAL: {
            char c = static_cast<char>(p[0]);
            bool value = c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y';
            store<int16_t>(out, value ? -1 : 0);
            return;
        }
        case ADS_NUMERIC: {
            std::string text = Trimmed(p, f.Length);
            if (text.empty()) return;
            char* end = nullptr;
            if (f.Kind == db::ftSmallint) {
                long v = std::strtol(text.c_str(), &end, 10);
                if (*end == '\0' && v >= INT16_MIN && v <= INT16_MAX)
                    store<int16_t>(out, static_cast<int16_t>(v));
            } else {
                double v = std::strtod(text.c_str(), &end);
                if (*end == '\0') store<double>(out, v);
            }
            return;
        }
        case ADS_DATE:
            if (f.Length == 4) {
                store<int32_t>(out, load<int32_t>(p) - kDateFormJulianOffset);
            } else {
                double julian = 0;
                if (JulianOfText(std::string(reinterpret_cast<const char*>(p), f.Length), julian))
                    store<int32_t>(out, static_cast<int32_t>(julian - kDateFormJulianOffset));
            }
            return;
        case ADS_STRING: {
            UNSIGNED32 n = 0;
            while (n < f.Length && p[n] != 0) ++n;
            while (n > 0 && p[n - 1] == ' ') --n;
            std::memcpy(out, p, n);
            out[n] = 0;
            return;
        }
        case ADS_COMPACTDATE: {
            unsigned first = (static_cast<unsigned>(p[0]) << 8) | p[1];
            char text[32];
            std::snprintf(text, sizeof text, "%04u%02u%02u", first >> 1,
                          ((first & 1u) << 3) | (p[2] >> 5), p[2] & 31u);
            double julian = 0;
            if (JulianOfText(std::string(text, 8), julian))
                store<int32_t>(out, static_cast<int32_t>(julian - kDateFormJulianOffset));
            return;
        }
        case ADS_DOUBLE:
        case ADS_CURDOUBLE:
            std::memcpy(out, p, 8);
            return;
        case ADS_INTEGER:
        case ADS_AUTOINC:
        case ADS_TIME:
            std::memcpy(out, p, 4);
            return;
        case ADS_SHORTINT:
            std::memcpy(out, p, 2);
            return;
        case ADS_TIMESTAMP: {
            double value = (static_cast<double>(load<int32_t>(p)) - kDateFormJulianOffset) *
                               kMillisecondsPerDay +
                           load<int32_t>(p + 4);
            store<double>(out, value < 0 ? 0.0 : value);
            return;
        }
        case ADS_RAW:
            std::memcpy(out, p, f.Length);
            return;
        default:
            return;
    }
}

void WriteFieldValue(TAdsDataSet* dataSet, const TACEFieldDef& f, uint8_t* image, const void* value,
                     bool adt) {
    uint8_t* p = image + f.Offset;
    const auto* in = static_cast<const uint8_t*>(value);
    if (!value) {
        if (adt) return record::writeEmpty(f.EngineType, p, f.Length);
        bool zeros = IsBlobType(f.EngineType) || f.EngineType == ADS_COMPACTDATE ||
                     f.EngineType == ADS_DOUBLE || f.EngineType == ADS_INTEGER ||
                     f.EngineType == ADS_SHORTINT || f.EngineType == ADS_CURDOUBLE;
        std::memset(p, zeros ? 0 : ' ', f.Length);
        return;
    }
    switch (f.EngineType) {
        case ADS_LOGICAL:
            p[0] = load<int16_t>(in) != 0 ? 'T' : 'F';
            return;
        case ADS_NUMERIC: {
            std::string text;
            if (f.Kind == db::ftSmallint) {
                text = std::to_string(load<int16_t>(in));
            } else {
                int precision = static_cast<int>(f.Decimals > 0 ? f.Length - 1 : f.Length);
                text = FixedText(load<double>(in), precision, f.Decimals);
            }
            if (text.size() > f.Length || text.find('E') != std::string::npos)
                throw EADSDatabaseError(dataSet, "Numeric out of range.", kLayerErrorCode);
            std::memset(p, ' ', f.Length - text.size());
            std::memcpy(p + (f.Length - text.size()), text.data(), text.size());
            return;
        }
        case ADS_DATE: {
            int32_t date = load<int32_t>(in);
            if (f.Length == 4) {
                store<int32_t>(p, date + kDateFormJulianOffset);
            } else {
                std::string text = TextOfJulian(
                    dataSet, static_cast<double>(date) + kDateFormJulianOffset, f.Length);
                std::memcpy(p, text.data(), text.size());
            }
            return;
        }
        case ADS_STRING: {
            size_t n = std::strlen(reinterpret_cast<const char*>(in));
            if (n > f.Length) n = f.Length;
            std::memset(p, (n == 0 && adt) ? 0 : ' ', f.Length);
            std::memcpy(p, in, n);
            return;
        }
        case ADS_COMPACTDATE: {
            std::string text = TextOfJulian(
                dataSet, static_cast<double>(load<int32_t>(in)) + kDateFormJulianOffset, 8);
            if (text.size() < 8)
                throw EADSDatabaseError(dataSet, "Something's wrong with ADS date functions",
                                        kLayerErrorCode);
            unsigned year = static_cast<unsigned>(std::atoi(text.substr(0, 4).c_str()));
            unsigned month = static_cast<unsigned>(std::atoi(text.substr(4, 2).c_str()));
            unsigned day = static_cast<unsigned>(std::atoi(text.substr(6, 2).c_str()));
            unsigned first = (year << 1) | ((month >> 3) & 1u);
            p[0] = static_cast<uint8_t>(first >> 8);
            p[1] = static_cast<uint8_t>(first & 0xFF);
            p[2] = static_cast<uint8_t>(((month & 7u) << 5) | (day & 31u));
            return;
        }
        case ADS_DOUBLE:
        case ADS_CURDOUBLE:
            std::memcpy(p, in, 8);
            return;
        case ADS_INTEGER:
        case ADS_AUTOINC:
        case ADS_TIME:
            std::memcpy(p, in, 4);
            return;
        case ADS_SHORTINT:
            std::memcpy(p, in, 2);
            return;
        case ADS_TIMESTAMP: {
            double v = load<double>(in);
            double day = std::trunc(v / kMillisecondsPerDay);
            store<int32_t>(p, static_cast<int32_t>(day) + kDateFormJulianOffset);
            store<int32_t>(p + 4, static_cast<int32_t>(std::trunc(v - day * kMillisecondsPerDay)));
            return;
        }
        case ADS_RAW:
            std::memcpy(p, in, f.Length);
            return;
        default:
            return;
    }
}

}  // namespace ads
