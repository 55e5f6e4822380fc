#include "engine/record_image.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/record_forms.h"
#include "engine/last_error.h"
#include "engine/time_of_day.h"

namespace engine {

namespace record = velda::record;

namespace calendar {

bool parseDate(std::string_view text, int64_t& julian) {
    // YYYYMMDD, or YYYY-MM-DD / YYYY/MM/DD; every row's date comes through here.
    size_t month, day;
    if (text.size() == 8) {
        month = 4;
        day = 6;
    } else if (text.size() == 10 && (text[4] == '-' || text[4] == '/') && text[7] == text[4]) {
        month = 5;
        day = 8;
    } else {
        return false;
    }
    auto two = [&text](size_t at, int& out) {
        const unsigned tens = static_cast<unsigned char>(text[at]) - '0';
        const unsigned units = static_cast<unsigned char>(text[at + 1]) - '0';
        out = static_cast<int>(tens * 10 + units);
        return tens <= 9 && units <= 9;
    };
    int century, year, m, d;
    if (!two(0, century) || !two(2, year) || !two(month, m) || !two(day, d)) return false;
    const int y = century * 100 + year;
    if (!velda::calendar::IsValidDate(y, m, d)) return false;
    julian = julianDay(y, m, d);
    return true;
}

std::string isoDate(int64_t julian) {
    int y, m, d;
    if (!civil(julian, y, m, d)) return "";
    char buf[40];  // room for any int, so the compiler need not prove the range
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

std::string compactDate(int64_t julian) {
    int y, m, d;
    if (!civil(julian, y, m, d)) return "";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    return buf;
}

}  // namespace calendar

namespace image {

namespace {

using timeofday::kMillisPerDay;

template <class T>
void put(uint8_t* slot, T v) {
    std::memcpy(slot, &v, sizeof v);
}
template <class T>
T get(const uint8_t* bytes) {
    T v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

UNSIGNED32 refuse(const FieldDef& field, std::string_view shown, const std::string& why) {
    std::string text(shown.substr(0, 60));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    return fail(AE_COLUMN_VALUE, "Column \"" + field.name + "\" cannot take the value \"" + text +
                                     "\": " + why + ".");
}

std::string_view trimBlanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

std::string_view cutAtNul(std::string_view s) {
    size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

std::string_view trimTrailingBlanks(std::string_view s) {
    size_t e = s.size();
    while (e > 0 && s[e - 1] == ' ') --e;
    return s.substr(0, e);
}

bool parseDouble(std::string_view s, double& out) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && std::isfinite(out);
}

bool parseInteger(std::string_view s, int64_t& out) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    if (ec == std::errc() && end == s.data() + s.size()) return true;
    double d;
    if (parseDouble(s, d) && d == std::floor(d) && std::fabs(d) < 9.2e18) {
        out = static_cast<int64_t>(d);
        return true;
    }
    return false;
}

// Fixed notation with the field's decimals; empty when it does not fit the field.
// printf's "%.*f" for values whose scaled form is far from a rounding tie: there the scaled
// value rounded to an integer is the correctly rounded result (the scaling errs by far less
// than the distance to the tie). False for the others, which take printf.
// The text is built backwards from the end of buf; empty for the values that take printf.
constexpr size_t kFastNumericRoom = 48;
std::string_view fastNumericText(double v, int decimals, char (&buf)[kFastNumericRoom]) {
    static constexpr double kPowers[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (decimals < 0 || decimals > 15) return {};
    const double scaled = v * kPowers[decimals];
    if (!(std::fabs(scaled) < 1099511627776.0)) return {};  // 2^40, NaN and infinities out
    const double rounded = std::nearbyint(scaled);
    if (std::fabs(scaled - rounded) > 0.499) return {};
    const int64_t whole = static_cast<int64_t>(rounded);
    uint64_t magnitude = static_cast<uint64_t>(whole < 0 ? -whole : whole);
    char* const end = buf + kFastNumericRoom;
    char* p = end;
    for (int k = 0; k < decimals; ++k) {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    if (decimals > 0) *--p = '.';
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (whole < 0) *--p = '-';
    return std::string_view(p, static_cast<size_t>(end - p));
}

std::string numericText(const FieldDef& field, double v) {
    char room[kFastNumericRoom];
    if (std::string_view fast = fastNumericText(v, static_cast<int>(field.decimals), room);
        !fast.empty())
        return fast.size() > field.length ? "" : std::string(fast);
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(field.decimals), v);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return "";
    std::string text(buf, static_cast<size_t>(n));
    if (text == "-0" || text.find_first_not_of("-0.") == std::string::npos) {
        if (text[0] == '-') text.erase(0, 1);
    }
    if (text.size() > field.length) return "";
    return text;
}

bool parseTime(std::string_view s, int64_t& millis) {
    return timeofday::parse(s, timeofday::Form::Stored, millis);
}

bool parseTimeStamp(std::string_view s, int64_t& julian, int64_t& millis) {
    size_t sep = s.find_first_of(" T");
    if (!calendar::parseDate(s.substr(0, sep), julian)) return false;
    millis = 0;
    if (sep == std::string_view::npos) return true;
    return parseTime(trimBlanks(s.substr(sep + 1)), millis);
}

// Stored text of a date column to its Julian day; 0 when it is none.
int64_t storedDate(std::string_view text) {
    int64_t jd = 0;
    return calendar::parseDate(text.substr(0, 10), jd) ? jd : 0;
}

void writeText(std::string_view utf8, CodePage page, uint8_t* slot, size_t length) {
    size_t n = codepage::fromUtf8Into(utf8, page, reinterpret_cast<char*>(slot), length);
    std::memset(slot + n, ' ', length - n);
}

void writeNumeric(const FieldDef& field, double v, uint8_t* slot) {
    char buf[kFastNumericRoom];
    std::string_view text = fastNumericText(v, static_cast<int>(field.decimals), buf);
    std::string slow;
    if (text.empty()) text = slow = numericText(field, v);
    if (text.size() > field.length) text = {};
    if (text.empty()) {
        std::memset(slot, '*', field.length);  // a stored value too wide for the field
        return;
    }
    size_t pad = field.length - text.size();
    std::memset(slot, ' ', pad);
    std::memcpy(slot + pad, text.data(), text.size());
}

void writeDate(const FieldDef& field, int64_t jd, uint8_t* slot) {
    if (field.length == 4) {
        put<int32_t>(slot, static_cast<int32_t>(jd));
    } else {
        std::string text = jd ? calendar::compactDate(jd) : std::string();
        std::memset(slot, 0, field.length);
        std::memcpy(slot, text.data(), std::min<size_t>(text.size(), field.length));
    }
}

void writeCompactDate(int64_t jd, uint8_t* slot) {
    int y, m, d;
    if (!calendar::civil(jd, y, m, d)) {
        std::memset(slot, 0, 3);
        return;
    }
    unsigned word = (static_cast<unsigned>(y) << 1) | (static_cast<unsigned>(m) >> 3);
    slot[0] = static_cast<uint8_t>(word >> 8);
    slot[1] = static_cast<uint8_t>(word & 0xFF);
    slot[2] = static_cast<uint8_t>(((m & 7) << 5) | d);
}

void writeTimeStampText(std::string_view text, uint8_t* slot) {
    int64_t jd = 0, ms = 0;
    if (!parseTimeStamp(text, jd, ms)) {
        record::writeEmptyTimeStamp(slot);
        return;
    }
    put<int32_t>(slot, static_cast<int32_t>(jd));
    put<int32_t>(slot + 4, static_cast<int32_t>(ms));
}

void writeBlobFlag(bool present, uint8_t* slot) {
    std::memset(slot, 0, record::kBlobSlotLength);
    record::writeBlobMark(present, slot);
}

}  // namespace

static_assert(record::kLogicalType == ADS_LOGICAL && record::kDoubleType == ADS_DOUBLE &&
                  record::kIntegerType == ADS_INTEGER &&
                  record::kShortIntegerType == ADS_SHORTINT && record::kTimeType == ADS_TIME &&
                  record::kTimeStampType == ADS_TIMESTAMP && record::kAutoIncType == ADS_AUTOINC &&
                  record::kCurDoubleType == ADS_CURDOUBLE,
              "base/record_forms.h names the field types by the numbers of engine/ace.h");

void writeEmpty(const FieldDef& field, uint8_t* slot) {
    record::writeEmpty(field.type, slot, field.length);
}

void writePresence(bool present, uint8_t* slot) {
    writeBlobFlag(present, slot);
}

void write(const FieldDef& field, const Value& value, CodePage page, uint8_t* slot) {
    if (value.isNull()) return writeEmpty(field, slot);
    double real = value.kind == Value::Kind::Real ? value.real : static_cast<double>(value.integer);
    int64_t integer =
        value.kind == Value::Kind::Real ? static_cast<int64_t>(value.real) : value.integer;
    switch (field.type) {
        case ADS_STRING:
            return writeText(value.bytes, page, slot, field.length);
        case ADS_NUMERIC:
            return writeNumeric(field, real, slot);
        case ADS_DATE:
            return writeDate(field, storedDate(value.bytes), slot);
        case ADS_COMPACTDATE:
            return writeCompactDate(storedDate(value.bytes), slot);
        case ADS_LOGICAL:
            slot[0] = integer ? 'T' : 'F';
            return;
        case ADS_DOUBLE:
        case ADS_CURDOUBLE:
            put<double>(slot, real);
            return;
        case ADS_INTEGER:
        case ADS_AUTOINC:
            put<int32_t>(slot, static_cast<int32_t>(integer));
            return;
        case ADS_SHORTINT:
            put<int16_t>(slot, static_cast<int16_t>(integer));
            return;
        case ADS_TIME: {
            int64_t ms = 0;
            if (!parseTime(value.bytes, ms)) return writeEmpty(field, slot);
            put<int32_t>(slot, static_cast<int32_t>(ms));
            return;
        }
        case ADS_TIMESTAMP:
            return writeTimeStampText(value.bytes, slot);
        case ADS_RAW:
            std::memset(slot, 0, field.length);
            std::memcpy(slot, value.bytes.data(),
                        std::min<size_t>(value.bytes.size(), field.length));
            return;
        default:
            writeBlobFlag(true, slot);
            put<uint32_t>(slot + 4, static_cast<uint32_t>(value.bytes.size()));
    }
}

void writeColumn(const FieldDef& field, sqlite3_stmt* stmt, int column, CodePage page,
                 uint8_t* slot) {
    int type = sqlite3_column_type(stmt, column);
    if (type == SQLITE_NULL) return writeEmpty(field, slot);
    switch (field.type) {
        case ADS_STRING: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            int size = sqlite3_column_bytes(stmt, column);
            return writeText(std::string_view(text ? text : "", static_cast<size_t>(size)), page,
                             slot, field.length);
        }
        case ADS_NUMERIC:
            return writeNumeric(field, sqlite3_column_double(stmt, column), slot);
        case ADS_DATE:
        case ADS_COMPACTDATE: {
            if (type != SQLITE_TEXT) break;
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            std::string_view stored(text ? text : "",
                                    static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
            if (field.type == ADS_DATE) return writeDate(field, storedDate(stored), slot);
            return writeCompactDate(storedDate(stored), slot);
        }
        case ADS_DOUBLE:
        case ADS_CURDOUBLE:
            put<double>(slot, sqlite3_column_double(stmt, column));
            return;
        case ADS_INTEGER:
        case ADS_AUTOINC:
            put<int32_t>(slot, static_cast<int32_t>(sqlite3_column_int64(stmt, column)));
            return;
        case ADS_SHORTINT:
            put<int16_t>(slot, static_cast<int16_t>(sqlite3_column_int64(stmt, column)));
            return;
        case ADS_LOGICAL:
            slot[0] = sqlite3_column_int64(stmt, column) ? 'T' : 'F';
            return;
        case ADS_MEMO:
        case ADS_BINARY:
        case ADS_IMAGE:
        case ADS_VARCHAR:
            return writeBlobFlag(sqlite3_column_int64(stmt, column) != 0, slot);
        default:
            break;
    }
    write(field, columnValue(stmt, column), page, slot);
}

UNSIGNED32 read(const FieldDef& field, const uint8_t* bytes, size_t len, CodePage page,
                Value& out) {
    out = Value{};
    std::string_view raw(reinterpret_cast<const char*>(bytes), len);
    auto needs = [&](size_t n) -> UNSIGNED32 {
        if (len >= n) return AE_SUCCESS;
        return fail(AE_COLUMN_VALUE, "Column \"" + field.name + "\" needs " + std::to_string(n) +
                                         " bytes; " + std::to_string(len) + " were given.");
    };
    switch (field.type) {
        case ADS_STRING: {
            std::string_view text = cutAtNul(raw.substr(0, std::min<size_t>(len, field.length)));
            if (len > field.length && trimTrailingBlanks(cutAtNul(raw.substr(field.length))).size())
                return refuse(field, raw,
                              "the text is longer than the field's " +
                                  std::to_string(field.length) + " characters");
            if (text.empty()) return AE_SUCCESS;
            out = Value::ofText(codepage::toUtf8(trimTrailingBlanks(text), page));
            return AE_SUCCESS;
        }
        case ADS_NUMERIC: {
            std::string_view text = trimBlanks(cutAtNul(raw));
            if (text.empty()) return AE_SUCCESS;
            double v;
            if (!parseDouble(text, v)) return refuse(field, text, "it is not a number");
            std::string formatted = numericText(field, v);
            if (formatted.empty())
                return refuse(
                    field, text,
                    "it does not fit the field's " + std::to_string(field.length) + " characters");
            parseDouble(formatted, v);
            out = Value::ofReal(v);
            return AE_SUCCESS;
        }
        case ADS_DATE: {
            if (field.length == 4) {
                if (UNSIGNED32 rc = needs(4)) return rc;
                int32_t jd = get<int32_t>(bytes);
                if (jd == 0) return AE_SUCCESS;
                if (jd < calendar::kFirstJulianDay || jd > calendar::kLastJulianDay)
                    return refuse(field, std::to_string(jd),
                                  "it is no Julian day between 0001-01-01 and 9999-12-31");
                out = Value::ofText(calendar::isoDate(jd));
                return AE_SUCCESS;
            }
            std::string_view text = trimBlanks(cutAtNul(raw));
            if (text.empty()) return AE_SUCCESS;
            int64_t jd;
            if (!calendar::parseDate(text, jd))
                return refuse(field, text, "it is not a date CCYYMMDD");
            out = Value::ofText(calendar::isoDate(jd));
            return AE_SUCCESS;
        }
        case ADS_COMPACTDATE: {
            if (UNSIGNED32 rc = needs(3)) return rc;
            if (!bytes[0] && !bytes[1] && !bytes[2]) return AE_SUCCESS;
            unsigned word = (static_cast<unsigned>(bytes[0]) << 8) | bytes[1];
            int y = static_cast<int>(word >> 1);
            int m = static_cast<int>(((word & 1) << 3) | (bytes[2] >> 5));
            int d = bytes[2] & 0x1F;
            char text[16];
            std::snprintf(text, sizeof text, "%04d%02d%02d", y % 10000, m % 100, d);
            int64_t jd;
            if (!calendar::parseDate(text, jd))
                return refuse(field, text, "it is not a valid date");
            out = Value::ofText(calendar::isoDate(jd));
            return AE_SUCCESS;
        }
        case ADS_LOGICAL: {
            if (UNSIGNED32 rc = needs(1)) return rc;
            char c = static_cast<char>(bytes[0]);
            if (c == ' ' || c == 0) return AE_SUCCESS;
            out = Value::ofInteger(c == '1' || c == 'T' || c == 't' || c == 'Y' || c == 'y');
            return AE_SUCCESS;
        }
        case ADS_DOUBLE:
        case ADS_CURDOUBLE: {
            if (UNSIGNED32 rc = needs(8)) return rc;
            if (record::isEmptyDouble(bytes)) return AE_SUCCESS;
            double v = get<double>(bytes);
            if (std::isnan(v)) return refuse(field, "NaN", "it is not a number");
            out = Value::ofReal(v);
            return AE_SUCCESS;
        }
        case ADS_INTEGER: {
            if (UNSIGNED32 rc = needs(4)) return rc;
            int32_t v = get<int32_t>(bytes);
            if (static_cast<uint32_t>(v) == record::kEmptyInteger) return AE_SUCCESS;
            out = Value::ofInteger(v);
            return AE_SUCCESS;
        }
        case ADS_AUTOINC: {
            if (UNSIGNED32 rc = needs(4)) return rc;
            uint32_t v = get<uint32_t>(bytes);
            if (v == record::kEmptyAutoInc) return AE_SUCCESS;
            out = Value::ofInteger(v);
            return AE_SUCCESS;
        }
        case ADS_SHORTINT: {
            if (UNSIGNED32 rc = needs(2)) return rc;
            int16_t v = get<int16_t>(bytes);
            if (static_cast<uint16_t>(v) == record::kEmptyShortInteger) return AE_SUCCESS;
            out = Value::ofInteger(v);
            return AE_SUCCESS;
        }
        case ADS_TIME: {
            if (UNSIGNED32 rc = needs(4)) return rc;
            uint32_t v = get<uint32_t>(bytes);
            if (v == record::kEmptyTime) return AE_SUCCESS;
            if (v >= kMillisPerDay)
                return refuse(field, std::to_string(v), "it is no time of day in milliseconds");
            out = Value::ofText(timeofday::text(v));
            return AE_SUCCESS;
        }
        case ADS_TIMESTAMP: {
            if (UNSIGNED32 rc = needs(8)) return rc;
            int32_t jd = get<int32_t>(bytes);
            if (jd == 0) return AE_SUCCESS;
            uint32_t ms = get<uint32_t>(bytes + 4);
            if (jd < calendar::kFirstJulianDay || jd > calendar::kLastJulianDay)
                return refuse(field, std::to_string(jd),
                              "its day is no Julian day between 0001-01-01 and 9999-12-31");
            if (ms >= kMillisPerDay)
                return refuse(field, std::to_string(ms),
                              "its time is no time of day in milliseconds");
            out = Value::ofText(calendar::isoDate(jd) + " " + timeofday::text(ms));
            return AE_SUCCESS;
        }
        case ADS_RAW: {
            if (len > field.length)
                return refuse(
                    field, "",
                    "it is longer than the field's " + std::to_string(field.length) + " bytes");
            std::string v(field.length, '\0');
            std::memcpy(v.data(), bytes, len);
            if (v.find_first_not_of('\0') == std::string::npos) return AE_SUCCESS;
            out = Value::ofBlob(std::move(v));
            return AE_SUCCESS;
        }
        default:
            return fromText(field,
                            page == CodePage::Ansi1252 ? raw
                                                       : std::string_view(codepage::convert(
                                                             raw, page, CodePage::Ansi1252)),
                            out);
    }
}

UNSIGNED32 fromText(const FieldDef& field, std::string_view text, Value& out) {
    out = Value{};
    switch (field.type) {
        case ADS_STRING: {
            std::string_view cut = cutAtNul(text);
            if (cut.empty()) return AE_SUCCESS;
            std::string_view trimmed = trimTrailingBlanks(cut);
            if (trimmed.size() > field.length)
                return refuse(field, trimmed,
                              "the text is longer than the field's " +
                                  std::to_string(field.length) + " characters");
            out = Value::ofText(codepage::toUtf8(trimmed, CodePage::Ansi1252));
            return AE_SUCCESS;
        }
        case ADS_MEMO:
        case ADS_VARCHAR:
            if (text.empty()) return AE_SUCCESS;
            if (field.type == ADS_VARCHAR && text.size() > field.declared)
                return refuse(field, text,
                              "the text is longer than the field's " +
                                  std::to_string(field.declared) + " characters");
            out = Value::ofText(codepage::toUtf8(text, CodePage::Ansi1252));
            return AE_SUCCESS;
        case ADS_BINARY:
        case ADS_IMAGE:
            if (text.empty()) return AE_SUCCESS;
            out = Value::ofBlob(std::string(text));
            return AE_SUCCESS;
        case ADS_RAW:
            return read(field, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                        CodePage::Ansi1252, out);
        default:
            break;
    }
    std::string_view t = trimBlanks(cutAtNul(text));
    if (t.empty()) return AE_SUCCESS;
    switch (field.type) {
        case ADS_LOGICAL: {
            char c = t[0];
            if (equalsNoCase(t, "true") || equalsNoCase(t, ".T.") ||
                (t.size() == 1 && std::strchr("TtYy1", c)))
                out = Value::ofInteger(1);
            else if (equalsNoCase(t, "false") || equalsNoCase(t, ".F.") ||
                     (t.size() == 1 && std::strchr("FfNn0", c)))
                out = Value::ofInteger(0);
            else
                return refuse(field, t, "a logical value is T or F");
            return AE_SUCCESS;
        }
        case ADS_NUMERIC:
            return read(field, reinterpret_cast<const uint8_t*>(t.data()), t.size(),
                        CodePage::Ansi1252, out);
        case ADS_DOUBLE:
        case ADS_CURDOUBLE: {
            double v;
            if (!parseDouble(t, v)) return refuse(field, t, "it is not a number");
            out = Value::ofReal(v);
            return AE_SUCCESS;
        }
        case ADS_INTEGER:
        case ADS_SHORTINT:
        case ADS_AUTOINC: {
            int64_t v;
            if (!parseInteger(t, v)) return refuse(field, t, "it is not a whole number");
            int64_t low = field.type == ADS_SHORTINT  ? -32767
                          : field.type == ADS_INTEGER ? -2147483647LL
                                                      : 0;
            int64_t high = field.type == ADS_SHORTINT  ? 32767
                           : field.type == ADS_INTEGER ? 2147483647LL
                                                       : 4294967294LL;
            if (v < low || v > high)
                return refuse(
                    field, t,
                    "it lies outside " + std::to_string(low) + " .. " + std::to_string(high));
            out = Value::ofInteger(v);
            return AE_SUCCESS;
        }
        case ADS_DATE:
        case ADS_COMPACTDATE: {
            int64_t jd;
            if (!calendar::parseDate(t, jd))
                return refuse(field, t, "a date is written YYYYMMDD or YYYY-MM-DD");
            out = Value::ofText(calendar::isoDate(jd));
            return AE_SUCCESS;
        }
        case ADS_TIME: {
            int64_t ms;
            if (!parseTime(t, ms)) return refuse(field, t, "a time is written HH:MM:SS.mmm");
            out = Value::ofText(timeofday::text(ms));
            return AE_SUCCESS;
        }
        case ADS_TIMESTAMP: {
            int64_t jd, ms;
            if (!parseTimeStamp(t, jd, ms))
                return refuse(field, t, "a time stamp is written YYYY-MM-DD HH:MM:SS.mmm");
            out = Value::ofText(calendar::isoDate(jd) + " " + timeofday::text(ms));
            return AE_SUCCESS;
        }
        default:
            return fail(AE_COLUMN_WRONG_TYPE,
                        "Column \"" + field.name + "\" has a type that takes no value.");
    }
}

std::string toText(const FieldDef& field, const Value& value) {
    if (value.isNull()) return "";
    switch (field.type) {
        case ADS_STRING: {
            std::string text(field.length, ' ');
            writeText(value.bytes, CodePage::Ansi1252, reinterpret_cast<uint8_t*>(text.data()),
                      field.length);
            return text;
        }
        case ADS_MEMO:
        case ADS_VARCHAR:
            return codepage::fromUtf8(value.bytes, CodePage::Ansi1252);
        case ADS_BINARY:
        case ADS_IMAGE:
        case ADS_RAW:
            return value.bytes;
        case ADS_NUMERIC: {
            std::string text(field.length, ' ');
            writeNumeric(
                field,
                value.kind == Value::Kind::Real ? value.real : static_cast<double>(value.integer),
                reinterpret_cast<uint8_t*>(text.data()));
            return text;
        }
        case ADS_DOUBLE:
        case ADS_CURDOUBLE: {
            char buf[64];
            double v =
                value.kind == Value::Kind::Real ? value.real : static_cast<double>(value.integer);
            auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
            return ec == std::errc() ? std::string(buf, end) : std::string();
        }
        case ADS_LOGICAL:
            return value.integer ? "T" : "F";
        case ADS_INTEGER:
        case ADS_SHORTINT:
        case ADS_AUTOINC:
            return std::to_string(value.kind == Value::Kind::Real ? static_cast<int64_t>(value.real)
                                                                  : value.integer);
        default:
            return value.bytes;
    }
}

Value keyForm(const FieldDef& field, const Value& value) {
    if (!value.isNull()) return value;
    switch (field.storage()) {
        case ColumnClass::Integer:
        case ColumnClass::Real:
            return Value::ofReal(-std::numeric_limits<double>::infinity());
        case ColumnClass::Blob:
            return Value::ofBlob("");
        case ColumnClass::Text:
            break;
    }
    return Value::ofText("");
}

Value columnValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_INTEGER:
            return Value::ofInteger(sqlite3_column_int64(stmt, column));
        case SQLITE_FLOAT:
            return Value::ofReal(sqlite3_column_double(stmt, column));
        case SQLITE_TEXT: {
            const char* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            return Value::ofText(
                std::string(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(stmt, column))));
        }
        case SQLITE_BLOB: {
            const char* b = static_cast<const char*>(sqlite3_column_blob(stmt, column));
            return Value::ofBlob(
                std::string(b ? b : "", static_cast<size_t>(sqlite3_column_bytes(stmt, column))));
        }
        default:
            return Value{};
    }
}

void bind(sqlite3_stmt* stmt, int index, const Value& value) {
    switch (value.kind) {
        case Value::Kind::Null:
            sqlite3_bind_null(stmt, index);
            return;
        case Value::Kind::Integer:
            sqlite3_bind_int64(stmt, index, value.integer);
            return;
        case Value::Kind::Real:
            sqlite3_bind_double(stmt, index, value.real);
            return;
        case Value::Kind::Text:
            sqlite3_bind_text(stmt, index, value.bytes.data(), static_cast<int>(value.bytes.size()),
                              SQLITE_TRANSIENT);
            return;
        case Value::Kind::Blob:
            // A zero-length blob must still be a blob, not NULL.
            sqlite3_bind_blob(stmt, index, value.bytes.empty() ? "" : value.bytes.data(),
                              static_cast<int>(value.bytes.size()), SQLITE_TRANSIENT);
            return;
    }
}

}  // namespace image

}  // namespace engine
