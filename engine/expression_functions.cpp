#include "engine/expression_functions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/record_image.h"
#include "engine/text_functions.h"

namespace engine::expression {

namespace {

// One run of a format letter: which part and how many characters.
struct Part {
    char letter;  // 'D', 'M' or 'Y'
    size_t width;
};

char partLetter(char c) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c == 'C' ? 'Y' : c;
}

bool isPartLetter(char c) {
    char p = partLetter(c);
    return p == 'D' || p == 'M' || p == 'Y';
}

std::vector<Part> partsOf(std::string_view format, bool& separated) {
    std::vector<Part> parts;
    separated = false;
    for (size_t i = 0; i < format.size();) {
        if (!isPartLetter(format[i])) {
            separated = true;
            ++i;
            continue;
        }
        char letter = partLetter(format[i]);
        size_t from = i;
        while (i < format.size() && isPartLetter(format[i]) && partLetter(format[i]) == letter) ++i;
        parts.push_back(Part{letter, i - from});
    }
    return parts;
}

bool isBlank(std::string_view text) {
    for (char c : text)
        if (c != ' ') return false;
    return true;
}

std::string isoOf(long year, long month, long day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return "";
    int64_t julian =
        calendar::julianDay(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
    int y, m, d;
    if (!calendar::civil(julian, y, m, d) || y != year || m != month || d != day) return "";
    return calendar::isoDate(julian);
}

std::string textArgument(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_value_bytes(v)))
             : std::string();
}

void resultText(sqlite3_context* context, const std::string& s) {
    sqlite3_result_text(context, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void ctodFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    resultText(context, dateFromText(textArgument(argv[0]), textArgument(argv[1])));
}

void stodFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    resultText(context, dateFromDigits(textArgument(argv[0])));
}

void strFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    resultText(context, numberText(sqlite3_value_double(argv[0]), sqlite3_value_int(argv[1]),
                                   sqlite3_value_int(argv[2])));
}

}  // namespace

bool validDateFormat(std::string_view format) {
    bool separated = false;
    std::vector<Part> parts = partsOf(format, separated);
    if (parts.size() != 3) return false;
    bool day = false, month = false, year = false;
    for (const Part& p : parts) {
        bool& seen = p.letter == 'D' ? day : p.letter == 'M' ? month : year;
        if (seen || p.width > 4 || (p.letter != 'Y' && p.width > 2)) return false;
        seen = true;
    }
    return day && month && year;
}

std::string dateFromText(std::string_view text, std::string_view format) {
    if (isBlank(text) || !validDateFormat(format)) return "";
    bool separated = false;
    std::vector<Part> parts = partsOf(format, separated);
    std::vector<std::string> values;
    if (separated) {
        // Groups of digits in the order of the format's parts; any other character separates.
        std::string group;
        for (char c : text) {
            if (std::isdigit(static_cast<unsigned char>(c))) {
                group += c;
            } else if (c != ' ' || !group.empty()) {
                if (group.empty()) return "";
                values.push_back(group);
                group.clear();
            }
        }
        if (!group.empty()) values.push_back(group);
    } else {
        // Fixed positions: "YYYYMMDD" and the like.
        size_t at = 0;
        std::string_view trimmed = text.substr(text.find_first_not_of(' '));
        for (const Part& p : parts) {
            if (at + p.width > trimmed.size()) return "";
            values.emplace_back(trimmed.substr(at, p.width));
            at += p.width;
        }
        for (const std::string& v : values)
            for (char c : v)
                if (!std::isdigit(static_cast<unsigned char>(c))) return "";
    }
    if (values.size() != parts.size()) return "";
    long year = 0, month = 0, day = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (values[i].size() > 4) return "";
        long v = std::stol(values[i]);
        if (parts[i].letter == 'Y')
            year = values[i].size() <= 2 ? 1900 + v : v;
        else if (parts[i].letter == 'M')
            month = v;
        else
            day = v;
    }
    return isoOf(year, month, day);
}

std::string dateFromDigits(std::string_view text) {
    if (isBlank(text)) return "";
    return dateFromText(text, "YYYYMMDD");
}

std::string numberText(double value, int length, int decimals) {
    if (length < 1) length = 1;
    if (length > 255) length = 255;
    if (decimals < 0) decimals = 0;
    if (decimals > 15) decimals = 15;
    if (decimals > 0 && decimals >= length - 1) decimals = std::max(0, length - 2);
    if (!std::isfinite(value)) return std::string(static_cast<size_t>(length), '*');
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%*.*f", length, decimals, value);
    std::string out = buffer;
    if (out.size() > static_cast<size_t>(length))
        return std::string(static_cast<size_t>(length), '*');
    return out;
}

int registerFunctions(sqlite3* db) {
    if (int rc = text::registerTextFunctions(db); rc != SQLITE_OK) return rc;
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    if (int rc = sqlite3_create_function(db, "velda_ctod", 2, flags, nullptr, ctodFunction, nullptr,
                                         nullptr);
        rc != SQLITE_OK)
        return rc;
    if (int rc = sqlite3_create_function(db, "velda_stod", 1, flags, nullptr, stodFunction, nullptr,
                                         nullptr);
        rc != SQLITE_OK)
        return rc;
    return sqlite3_create_function(db, "velda_str", 3, flags, nullptr, strFunction, nullptr,
                                   nullptr);
}

}  // namespace engine::expression
