#include "engine/sql_functions.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "engine/codepage.h"
#include "engine/record_image.h"
#include "engine/text_functions.h"
#include "engine/time_of_day.h"

namespace engine::sqlfunctions {

namespace {

std::string_view textArg(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    return t ? std::string_view(reinterpret_cast<const char*>(t),
                                static_cast<size_t>(sqlite3_value_bytes(v)))
             : std::string_view();
}

void resultText(sqlite3_context* ctx, std::string_view s) {
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Byte offsets of the UTF-8 characters of s (and s.size() at the end).
std::vector<size_t> characterStarts(std::string_view s) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
    starts.push_back(s.size());
    return starts;
}

void leftOrRight(sqlite3_context* ctx, sqlite3_value** argv, bool left) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::string_view s = textArg(argv[0]);
    int64_t n = sqlite3_value_int64(argv[1]);
    std::vector<size_t> starts = characterStarts(s);
    size_t count = starts.size() - 1;
    size_t take = n <= 0 ? 0 : static_cast<size_t>(n) > count ? count : static_cast<size_t>(n);
    if (left)
        resultText(ctx, s.substr(0, starts[take]));
    else
        resultText(ctx, s.substr(starts[count - take]));
}

void left(sqlite3_context* ctx, int, sqlite3_value** argv) {
    leftOrRight(ctx, argv, true);
}
void right(sqlite3_context* ctx, int, sqlite3_value** argv) {
    leftOrRight(ctx, argv, false);
}

void concat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    std::string out;
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) != SQLITE_NULL) out += textArg(argv[i]);
    resultText(ctx, out);
}

std::tm localNow(int& millis) {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    millis = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return parts;
}

void curdate(sqlite3_context* ctx, int, sqlite3_value**) {
    int millis = 0;
    std::tm t = localNow(millis);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    resultText(ctx, buf);
}

void now(sqlite3_context* ctx, int, sqlite3_value**) {
    int millis = 0;
    std::tm t = localNow(millis);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis);
    resultText(ctx, buf);
}

// A part of a stored date or time stamp ("YYYY-MM-DD..."): characters [from, from + len).
void datePart(sqlite3_context* ctx, sqlite3_value* v, size_t from, size_t len) {
    if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string_view s = textArg(v);
    if (s.size() < 10 || s[4] != '-' || s[7] != '-') return sqlite3_result_null(ctx);
    int value = 0;
    for (size_t i = from; i < from + len; ++i) {
        if (s[i] < '0' || s[i] > '9') return sqlite3_result_null(ctx);
        value = value * 10 + (s[i] - '0');
    }
    sqlite3_result_int(ctx, value);
}

void year(sqlite3_context* ctx, int, sqlite3_value** argv) {
    datePart(ctx, argv[0], 0, 4);
}
void month(sqlite3_context* ctx, int, sqlite3_value** argv) {
    datePart(ctx, argv[0], 5, 2);
}
void dayofmonth(sqlite3_context* ctx, int, sqlite3_value** argv) {
    datePart(ctx, argv[0], 8, 2);
}

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
    const int y = static_cast<int>(year), m = static_cast<int>(month), d = static_cast<int>(day);
    if (!velda::calendar::IsValidDate(y, m, d)) return "";
    return calendar::isoDate(calendar::julianDay(y, m, d));
}

void ctod(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultText(ctx, dateFromText(textArg(argv[0]), textArg(argv[1])));
}

void stod(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultText(ctx, dateFromDigits(textArg(argv[0])));
}

void str(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultText(ctx, numberText(sqlite3_value_double(argv[0]), sqlite3_value_int(argv[1]),
                               sqlite3_value_int(argv[2])));
}

void ctot(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultText(ctx, timeFromText(textArg(argv[0])));
}

void ctots(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultText(ctx, timeStampFromText(textArg(argv[0]), textArg(argv[1])));
}

// The Windows-1252 character of a code 1 to 255; "" for any other number.
void chr(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const double code = sqlite3_value_double(argv[0]);
    if (!(code >= 1 && code <= 255)) return resultText(ctx, "");
    resultText(ctx, codepage::toUtf8(std::string(1, static_cast<char>(static_cast<int>(code))),
                                     codepage::CodePage::Ansi1252));
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

std::string timeFromText(std::string_view text) {
    int64_t millis = 0;
    if (!timeofday::parse(text, timeofday::Form::Loose, millis)) return "";
    return timeofday::text(millis);
}

std::string timeStampFromText(std::string_view text, std::string_view format) {
    const size_t from = text.find_first_not_of(' ');
    if (from == std::string_view::npos) return "";
    text = text.substr(from);
    const size_t space = text.find(' ');
    const std::string date = dateFromText(text.substr(0, space), format);
    if (date.empty()) return "";
    const std::string_view rest =
        space == std::string_view::npos ? std::string_view() : text.substr(space);
    if (isBlank(rest)) return date + " 00:00:00.000";
    const std::string time = timeFromText(rest);
    return time.empty() ? "" : date + " " + time;
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

int registerAll(sqlite3* db) {
    if (int rc = text::registerTextFunctions(db); rc != SQLITE_OK) return rc;
    struct Entry {
        const char* name;
        int args;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
        bool deterministic;
    };
    const Entry entries[] = {
        {"velda_left", 2, left, true},      {"velda_right", 2, right, true},
        {"velda_concat", -1, concat, true}, {"velda_curdate", 0, curdate, false},
        {"velda_now", 0, now, false},       {"velda_year", 1, year, true},
        {"velda_month", 1, month, true},    {"velda_dayofmonth", 1, dayofmonth, true},
        {"velda_ctod", 2, ctod, true},      {"velda_stod", 1, stod, true},
        {"velda_str", 3, str, true},        {"velda_chr", 1, chr, true},
        {"velda_ctot", 1, ctot, true},      {"velda_ctots", 2, ctots, true},
    };
    for (const Entry& e : entries) {
        int flags = SQLITE_UTF8 | (e.deterministic ? SQLITE_DETERMINISTIC : 0);
        int rc =
            sqlite3_create_function(db, e.name, e.args, flags, nullptr, e.fn, nullptr, nullptr);
        if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

}  // namespace engine::sqlfunctions
