#include "tools/velda-db/values.h"
#include "base/calendar.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace veldadb {

namespace {

template <class T>
std::string Bytes(T value) {
    std::string out(sizeof(T), '\0');
    std::memcpy(out.data(), &value, sizeof(T));
    return out;
}

template <class T>
T Load(const unsigned char* p) {
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
}

bool Digits(const std::string& s, size_t pos, size_t count, int& out) {
    if (pos + count > s.size()) return false;
    out = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

bool ParseDate(const std::string& s, size_t pos, long& julian) {
    int y, m, d;
    if (!Digits(s, pos, 4, y) || s.size() < pos + 10 || s[pos + 4] != '-' ||
        !Digits(s, pos + 5, 2, m) || s[pos + 7] != '-' || !Digits(s, pos + 8, 2, d))
        return false;
    if (!velda::calendar::IsValidDate(y, m, d)) return false;
    julian = JulianFromCivil(y, m, d);
    return true;
}

// HH:MM:SS[.mmm] → milliseconds since midnight.
bool ParseTime(const std::string& s, size_t pos, int32_t& ms) {
    int h, mi, se, milli = 0;
    if (!Digits(s, pos, 2, h) || s.size() < pos + 8 || s[pos + 2] != ':' ||
        !Digits(s, pos + 3, 2, mi) || s[pos + 5] != ':' || !Digits(s, pos + 6, 2, se))
        return false;
    size_t end = pos + 8;
    if (s.size() > end) {
        if (s[end] != '.' || s.size() != end + 4 || !Digits(s, end + 1, 3, milli)) return false;
        end += 4;
    }
    if (s.size() != end || h > 23 || mi > 59 || se > 59) return false;
    ms = ((h * 60 + mi) * 60 + se) * 1000 + milli;
    return true;
}

std::string FormatDate(long julian) {
    int y, m, d;
    CivilFromJulian(julian, y, m, d);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
    return buffer;
}

std::string FormatTime(int32_t ms) {
    if (ms < 0 || ms >= 86400000) ms = 0;
    char buffer[32];
    int milli = ms % 1000;
    int seconds = ms / 1000;
    if (milli)
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", seconds / 3600,
                      seconds / 60 % 60, seconds % 60, milli);
    else
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    return buffer;
}

bool ParseNumber(const std::string& s, double& value) {
    if (s.empty()) return false;
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(value)) return false;
    for (char c : s)
        if (!(c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9'))) return false;
    return true;
}

bool ParseInteger(const std::string& s, long long& value) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(s.c_str(), &end, 10);
    return end == s.c_str() + s.size() && errno == 0;
}

// The shortest text that reads back to the same double, without an exponent (cells take none).
std::string FormatDouble(double v) {
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

}  // namespace

long JulianFromCivil(int year, int month, int day) {
    return static_cast<long>(velda::calendar::JulianFromCivil(year, month, day));
}

void CivilFromJulian(long julian, int& year, int& month, int& day) {
    velda::calendar::CivilFromDays(julian - velda::calendar::kJulianOfUnixEpoch, year, month, day);
}

std::string ToHex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::optional<std::string> FromHex(const std::string& hex) {
    if (hex.size() % 2) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int v = 0;
        for (size_t k = i; k < i + 2; ++k) {
            char c = hex[k];
            int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
            if (d < 0) return std::nullopt;
            v = v * 16 + d;
        }
        out.push_back(static_cast<char>(v));
    }
    return out;
}

FieldValue ParseCell(const FieldInfo& field, const std::string& cell, std::string& error) {
    FieldValue out;
    if (cell.empty()) return out;
    auto raw = [&](std::string bytes) {
        out.kind = FieldValue::Kind::Raw;
        out.bytes = std::move(bytes);
        return out;
    };
    auto bad = [&](const std::string& why) {
        error = why;
        return out;
    };
    switch (field.type) {
        case ADS_STRING:
        case ADS_VARCHAR:
            if (cell.size() > field.length && field.type == ADS_STRING)
                return bad("the text is " + std::to_string(cell.size()) +
                           " characters long; the field holds " + std::to_string(field.length));
            out.kind = FieldValue::Kind::Text;
            out.bytes = cell;
            return out;
        case ADS_MEMO:
            out.kind = FieldValue::Kind::Text;
            out.bytes = cell;
            return out;
        case ADS_BINARY:
        case ADS_IMAGE: {
            auto bytes = FromHex(cell);
            if (!bytes) return bad("not hexadecimal digits");
            out.kind = FieldValue::Kind::Text;
            out.bytes = *bytes;
            return out;
        }
        case ADS_RAW: {
            auto bytes = FromHex(cell);
            if (!bytes) return bad("not hexadecimal digits");
            if (bytes->size() > field.length)
                return bad("the value is " + std::to_string(bytes->size()) +
                           " bytes long; the field holds " + std::to_string(field.length));
            bytes->resize(field.length, '\0');
            return raw(*bytes);
        }
        case ADS_LOGICAL:
            if (cell == "T" || cell == "t") return raw("T");
            if (cell == "F" || cell == "f") return raw("F");
            return bad("not a logical value (T or F)");
        case ADS_NUMERIC: {
            double v;
            if (!ParseNumber(cell, v)) return bad("not a number");
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(field.decimals), v);
            std::string text = buffer;
            if (text.size() > field.length)
                return bad("the number does not fit " + std::to_string(field.length) +
                           " characters");
            return raw(std::string(field.length - text.size(), ' ') + text);
        }
        case ADS_DOUBLE:
        case ADS_CURDOUBLE: {
            double v;
            if (!ParseNumber(cell, v)) return bad("not a number");
            return raw(Bytes(v));
        }
        case ADS_INTEGER: {
            long long v;
            if (!ParseInteger(cell, v) || v <= INT32_MIN || v > INT32_MAX)
                return bad("not an integer that fits 32 bits");
            return raw(Bytes(static_cast<int32_t>(v)));
        }
        case ADS_SHORTINT: {
            long long v;
            if (!ParseInteger(cell, v) || v <= INT16_MIN || v > INT16_MAX)
                return bad("not an integer that fits 16 bits");
            return raw(Bytes(static_cast<int16_t>(v)));
        }
        case ADS_AUTOINC:
            out.kind = FieldValue::Kind::Skip;  // the engine numbers new rows itself
            return out;
        case ADS_DATE:
        case ADS_COMPACTDATE: {
            long julian;
            if (!ParseDate(cell, 0, julian) || cell.size() != 10)
                return bad("not a date (YYYY-MM-DD)");
            int y, m, d;
            CivilFromJulian(julian, y, m, d);
            if (field.type == ADS_DATE && field.length == 8) {
                // A date of 8 bytes is kept as its CCYYMMDD text.
                char text[16];
                std::snprintf(text, sizeof text, "%04d%02d%02d", y, m, d);
                return raw(std::string(text, 8));
            }
            if (field.type == ADS_DATE) return raw(Bytes(static_cast<int32_t>(julian)));
            std::string packed(3, '\0');
            unsigned first =
                (static_cast<unsigned>(y) << 1) | ((static_cast<unsigned>(m) >> 3) & 1);
            packed[0] = static_cast<char>(first >> 8);
            packed[1] = static_cast<char>(first & 0xFF);
            packed[2] = static_cast<char>(((m & 7) << 5) | d);
            return raw(packed);
        }
        case ADS_TIME: {
            int32_t ms;
            if (!ParseTime(cell, 0, ms)) return bad("not a time (HH:MM:SS[.mmm])");
            return raw(Bytes(ms));
        }
        case ADS_TIMESTAMP: {
            long julian;
            int32_t ms;
            if (cell.size() < 19 || !ParseDate(cell, 0, julian) || cell[10] != ' ' ||
                !ParseTime(cell, 11, ms))
                return bad("not a time stamp (YYYY-MM-DD HH:MM:SS[.mmm])");
            return raw(Bytes(static_cast<int32_t>(julian)) + Bytes(ms));
        }
        default:
            return bad("a field of this type cannot be imported");
    }
}

std::string FormatCell(const FieldInfo& field, const unsigned char* image) {
    const unsigned char* p = image + field.offset;
    switch (field.type) {
        case ADS_STRING: {
            std::string text(reinterpret_cast<const char*>(p), field.length);
            size_t end = text.find('\0');
            if (end != std::string::npos) text.resize(end);
            while (!text.empty() && text.back() == ' ') text.pop_back();
            return text;
        }
        case ADS_RAW:
            return ToHex(std::string(reinterpret_cast<const char*>(p), field.length));
        case ADS_LOGICAL:
            return (*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y' || *p == '1') ? "T" : "F";
        case ADS_NUMERIC: {
            std::string text(reinterpret_cast<const char*>(p), field.length);
            size_t start = text.find_first_not_of(' ');
            return start == std::string::npos ? "" : text.substr(start);
        }
        case ADS_DOUBLE:
        case ADS_CURDOUBLE:
            return FormatDouble(Load<double>(p));
        case ADS_INTEGER:
        case ADS_AUTOINC:
            return std::to_string(Load<int32_t>(p));
        case ADS_SHORTINT:
            return std::to_string(Load<int16_t>(p));
        case ADS_DATE:
            if (field.length == 8) {
                std::string text(reinterpret_cast<const char*>(p), 8);
                return text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2);
            }
            return FormatDate(Load<int32_t>(p));
        case ADS_COMPACTDATE: {
            unsigned first = (static_cast<unsigned>(p[0]) << 8) | p[1];
            int y = static_cast<int>(first >> 1);
            int m = static_cast<int>(((first & 1) << 3) | (p[2] >> 5));
            int d = p[2] & 31;
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
            return buffer;
        }
        case ADS_TIME:
            return FormatTime(Load<int32_t>(p));
        case ADS_TIMESTAMP:
            return FormatDate(Load<int32_t>(p)) + " " + FormatTime(Load<int32_t>(p + 4));
        default:
            return "";
    }
}

}  // namespace veldadb
