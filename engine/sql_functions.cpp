#include "engine/sql_functions.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text_functions.h"

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

void iif(sqlite3_context* ctx, int, sqlite3_value** argv) {
    bool condition =
        sqlite3_value_type(argv[0]) != SQLITE_NULL && sqlite3_value_double(argv[0]) != 0.0;
    sqlite3_result_value(ctx, argv[condition ? 1 : 2]);
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

}  // namespace

int registerAll(sqlite3* db) {
    if (int rc = text::registerTextFunctions(db); rc != SQLITE_OK) return rc;
    struct Entry {
        const char* name;
        int args;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
        bool deterministic;
    };
    const Entry entries[] = {
        {"velda_left", 2, left, true},
        {"velda_right", 2, right, true},
        {"velda_concat", -1, concat, true},
        {"velda_iif", 3, iif, true},
        {"velda_curdate", 0, curdate, false},
        {"velda_now", 0, now, false},
        {"velda_year", 1, year, true},
        {"velda_month", 1, month, true},
        {"velda_dayofmonth", 1, dayofmonth, true},
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
