// Engine benchmark: builds a 1,000,000-row table with two index tags through the engine's calls
// in a temporary folder and prints one "name value unit" line per figure; measures filtered
// walks against the same walks written by hand in SQLite on the same file; then encrypts a copy
// of it and measures opening that copy with its password and walking it in index order.
//   bench_engine [rows]
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ads/company_credentials.h"
#include "ads/engine_text.h"
#include "engine/ace.h"

namespace {

using Clock = std::chrono::steady_clock;

void check(UNSIGNED32 rc, const char* what) {
    if (rc == AE_SUCCESS) return;
    UNSIGNED8 text[600];
    UNSIGNED16 len = sizeof text;
    UNSIGNED32 code = 0;
    AdsGetLastError(&code, text, &len);
    std::fprintf(stderr, "%s failed: %s\n", what, reinterpret_cast<char*>(text));
    std::exit(1);
}

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string nameOf(uint64_t i) {
    static const char* parts[] = {"AB", "CHAN", "LEE", "WONG", "TAN",
                                  "NG", "LIM",  "HO",  "KOH",  "ONG"};
    uint64_t x = i * 2654435761u % 1000003;
    return std::string(parts[x % 10]) + parts[(x / 10) % 10] + std::to_string(x % 100000);
}

void fill(ADSHANDLE t, uint64_t i) {
    std::string name = nameOf(i);
    char code[16], born[16], amount[32], n[24];
    std::snprintf(code, sizeof code, "C%06llu", static_cast<unsigned long long>(i % 1000000));
    std::snprintf(born, sizeof born, "%04llu%02llu%02llu", 1950 + (i % 50) * 1ull,
                  1 + (i % 12) * 1ull, 1 + (i % 28) * 1ull);
    std::snprintf(amount, sizeof amount, "%llu.%02llu", static_cast<unsigned long long>(i % 9999),
                  (i % 100) * 1ull);
    std::snprintf(n, sizeof n, "%llu", static_cast<unsigned long long>(i));
    check(AdsSetField(t, ads::EngineText("NAME"), ads::EngineText(name.c_str()),
                      static_cast<UNSIGNED32>(name.size())),
          "set NAME");
    check(AdsSetField(t, ads::EngineText("CODE"), ads::EngineText(code),
                      static_cast<UNSIGNED32>(std::strlen(code))),
          "set CODE");
    check(AdsSetField(t, ads::EngineText("BORN"), ads::EngineText(born), 8), "set BORN");
    check(AdsSetField(t, ads::EngineText("AMOUNT"), ads::EngineText(amount),
                      static_cast<UNSIGNED32>(std::strlen(amount))),
          "set AMOUNT");
    check(AdsSetField(t, ads::EngineText("N"), ads::EngineText(n),
                      static_cast<UNSIGNED32>(std::strlen(n))),
          "set N");
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Rows of a hand-written SQLite query on the table file, every column read as the engine reads
// a record; the count of rows through `rows`.
double sqliteWalkMs(sqlite3* db, const std::string& sql, uint64_t& rows) {
    auto started = Clock::now();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "SQLite prepare failed: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    rows = 0;
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) sqlite3_column_text(stmt, c);
        ++rows;
    }
    sqlite3_finalize(stmt);
    return seconds(started) * 1000;
}

// Walks an order to its end reading every record; answers the rows read.
uint64_t walkToEnd(ADSHANDLE order, std::vector<UNSIGNED8>& record) {
    uint64_t walked = 0;
    UNSIGNED16 eof = 0;
    check(AdsGotoTop(order), "top");
    check(AdsAtEOF(order, &eof), "eof");
    while (!eof) {
        UNSIGNED32 len = static_cast<UNSIGNED32>(record.size());
        check(AdsGetRecord(order, record.data(), &len), "get record");
        ++walked;
        check(AdsSkip(order, 1), "skip");
        check(AdsAtEOF(order, &eof), "eof");
    }
    return walked;
}

// Filtered walks: a filter keeping one row in ten walked to the end in record order, and a filter
// on the leading field of the current tag matching a few dozen rows, set and walked in the tag's
// order; each beside the same walk written by hand in SQLite.
void filterFigures(const std::string& folder, ADSHANDLE t, ADSHANDLE byName, uint64_t rows,
                   std::vector<UNSIGNED8>& record) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2((folder + "/bench.adt").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        std::fprintf(stderr, "SQLite open failed\n");
        std::exit(1);
    }
    // Born 1950 + i % 50: the first five years are a tenth of the rows.
    check(AdsSetAOF(t, ads::EngineText("BORN < STOD('19550101')"), ADS_RESOLVE_DYNAMIC), "aof");
    auto started = Clock::now();
    uint64_t kept = walkToEnd(t, record);
    double engineMs = seconds(started) * 1000;
    check(AdsClearAOF(t), "clear aof");
    uint64_t sqliteKept = 0;
    double sqliteMs = sqliteWalkMs(
        db, "SELECT rowid, * FROM records WHERE \"BORN\" < '1955-01-01' ORDER BY rowid",
        sqliteKept);
    if (kept != sqliteKept)
        std::fprintf(stderr, "filter kept %llu rows, SQLite %llu\n",
                     static_cast<unsigned long long>(kept),
                     static_cast<unsigned long long>(sqliteKept));
    std::printf("filter_walk_rows_per_s %.0f rows/s\n",
                static_cast<double>(rows) / engineMs * 1000);
    std::printf("filter_walk_sqlite_rows_per_s %.0f rows/s\n",
                static_cast<double>(rows) / sqliteMs * 1000);
    std::printf("filter_walk_ratio %.2f ratio\n", engineMs / sqliteMs);

    // The longest prefix of one name that a few dozen rows share.
    std::string prefix = nameOf(7);
    uint64_t matching = 0;
    while (prefix.size() > 3) {
        sqliteWalkMs(db,
                     "SELECT rowid FROM records WHERE substr(\"NAME\", 1, " +
                         std::to_string(prefix.size()) + ") = '" + prefix + "'",
                     matching);
        if (matching >= 40) break;
        prefix.pop_back();
    }
    const std::string filter = "NAME = '" + prefix + "'";
    const std::string handSql = "SELECT rowid, * FROM records WHERE ifnull(\"NAME\",'') >= '" +
                                prefix + "' AND ifnull(\"NAME\",'') < '" + prefix +
                                "\x7F' ORDER BY ifnull(\"NAME\",''), rowid";
    std::vector<double> engineRuns, sqliteRuns;
    for (int i = 0; i < 7; ++i) {
        started = Clock::now();
        check(AdsSetAOF(t, ads::EngineText(filter.c_str()), ADS_RESOLVE_DYNAMIC), "aof on tag");
        kept = walkToEnd(byName, record);
        engineRuns.push_back(seconds(started) * 1000);
        check(AdsClearAOF(t), "clear aof");
        sqliteRuns.push_back(sqliteWalkMs(db, handSql, sqliteKept));
    }
    if (kept != matching || sqliteKept != matching)
        std::fprintf(stderr, "tag filter kept %llu rows, SQLite %llu, expected %llu\n",
                     static_cast<unsigned long long>(kept),
                     static_cast<unsigned long long>(sqliteKept),
                     static_cast<unsigned long long>(matching));
    std::printf("filter_tag_ms %.3f ms\n", median(engineRuns));
    std::printf("filter_tag_sqlite_ms %.3f ms\n", median(sqliteRuns));
    std::printf("filter_tag_ratio %.2f ratio\n", median(engineRuns) / median(sqliteRuns));
    sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    char pattern[] = "/tmp/velda-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string folder = pattern;
    ADSHANDLE connection = 0;
    check(AdsConnect(ads::EngineText(folder.c_str()), &connection), "connect");
    const char* fields =
        "NAME,Character,20;CODE,Character,10;BORN,Date;AMOUNT,Numeric,10,2;N,Integer";

    // The bulk of the rows goes in before the tags are made, through an exclusive handle.
    ADSHANDLE t = 0;
    auto started = Clock::now();
    check(AdsCreateTable(connection, ads::EngineText("bench"), nullptr, ADS_ADT, ADS_ANSI,
                         ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, ads::EngineText(fields), &t),
          "create");
    for (uint64_t i = 0; i < rows; ++i) {
        check(AdsAppendRecord(t), "append");
        fill(t, i);
        check(AdsWriteRecord(t), "write");
    }
    double buildAppend = seconds(started);
    ADSHANDLE byName = 0, byNameBorn = 0;
    check(AdsCreateIndex61(t, nullptr, ads::EngineText("BYNAME"), ads::EngineText("NAME"), nullptr,
                           nullptr, 0, 512, &byName),
          "index NAME");
    check(AdsCreateIndex61(t, nullptr, ads::EngineText("BYNAMEBORN"), ads::EngineText("NAME;BORN"),
                           nullptr, nullptr, 0, 512, &byNameBorn),
          "index NAME;BORN");
    std::fprintf(stderr, "built %llu rows in %.1f s (appends %.1f s)\n",
                 static_cast<unsigned long long>(rows), seconds(started), buildAppend);
    check(AdsCloseTable(t), "close");

    // Open and read the first row in index order.
    started = Clock::now();
    check(AdsOpenTable(connection, ads::EngineText("bench"), nullptr, ADS_ADT, ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
          "open");
    check(AdsGetIndexHandle(t, ads::EngineText("BYNAME"), &byName), "index handle");
    check(AdsGotoTop(byName), "top");
    UNSIGNED32 length = 0;
    check(AdsGetRecordLength(t, &length), "record length");
    std::vector<UNSIGNED8> record(length);
    UNSIGNED32 len = length;
    check(AdsGetRecord(byName, record.data(), &len), "get record");
    std::printf("open_ms %.3f ms\n", seconds(started) * 1000);

    started = Clock::now();
    UNSIGNED32 count = 0;
    check(AdsGetRecordCount(byName, ADS_IGNOREFILTERS, &count), "count");
    std::printf("count_ms %.3f ms\n", seconds(started) * 1000);
    if (count != rows)
        std::fprintf(stderr, "count %u, expected %llu\n", count,
                     static_cast<unsigned long long>(rows));

    UNSIGNED16 eof = 0, bof = 0;
    uint64_t walked = 0;
    started = Clock::now();
    check(AdsGotoTop(byName), "top");
    check(AdsAtEOF(byName, &eof), "eof");
    while (!eof) {
        len = length;
        check(AdsGetRecord(byName, record.data(), &len), "get record");
        ++walked;
        check(AdsSkip(byName, 1), "skip");
        check(AdsAtEOF(byName, &eof), "eof");
    }
    std::printf("walk_rows_per_s %.0f rows/s\n", static_cast<double>(walked) / seconds(started));
    if (walked != rows)
        std::fprintf(stderr, "walked %llu rows\n", static_cast<unsigned long long>(walked));

    walked = 0;
    started = Clock::now();
    check(AdsGotoBottom(byName), "bottom");
    check(AdsAtBOF(byName, &bof), "bof");
    while (!bof) {
        len = length;
        check(AdsGetRecord(byName, record.data(), &len), "get record");
        ++walked;
        check(AdsSkip(byName, -1), "skip back");
        check(AdsAtBOF(byName, &bof), "bof");
    }
    std::printf("walk_back_rows_per_s %.0f rows/s\n",
                static_cast<double>(walked) / seconds(started));

    filterFigures(folder, t, byName, rows, record);

    // Hard seeks on the text tag as the data-access layer makes them: key built field by field.
    std::mt19937_64 random(42);
    const int seeks = 20000;
    std::vector<std::string> keys;
    for (int i = 0; i < seeks; ++i) {
        std::string key = nameOf(random() % rows);
        key.resize(20, ' ');
        keys.push_back(key);
    }
    int found = 0;
    started = Clock::now();
    for (const std::string& key : keys) {
        check(AdsInitRawKey(byName), "init key");
        check(AdsSetField(byName, ads::EngineText("NAME"), ads::EngineText(key.c_str()), 20),
              "key field");
        UNSIGNED8 raw[ADS_MAX_KEY_LENGTH];
        UNSIGNED16 rawLen = sizeof raw;
        check(AdsBuildRawKey(byName, raw, &rawLen), "build key");
        UNSIGNED16 hit = 0;
        check(AdsSeek(byName, raw, rawLen, ADS_RAWKEY, ADS_HARDSEEK, &hit), "seek");
        found += hit;
    }
    std::printf("seek_us %.2f us\n", seconds(started) * 1e6 / seeks);
    if (found != seeks) std::fprintf(stderr, "found %d of %d keys\n", found, seeks);

    const int changes = 20000;
    started = Clock::now();
    for (int i = 0; i < changes; ++i) {
        check(AdsAppendRecord(t), "append");
        fill(t, rows + static_cast<uint64_t>(i));
        check(AdsWriteRecord(t), "write");
    }
    std::printf("append_per_s %.0f records/s\n", changes / seconds(started));

    started = Clock::now();
    for (int i = 0; i < changes; ++i) {
        auto record = static_cast<UNSIGNED32>(1 + random() % rows);
        check(AdsGotoRecord(t, record), "goto");
        check(AdsLockRecord(t, record), "lock");
        char amount[32];
        std::snprintf(amount, sizeof amount, "%d.50", i % 5000);
        check(AdsSetField(t, ads::EngineText("AMOUNT"), ads::EngineText(amount),
                          static_cast<UNSIGNED32>(std::strlen(amount))),
              "set AMOUNT");
        check(AdsSetField(t, ads::EngineText("CODE"), ads::EngineText("UPDATED"), 7), "set CODE");
        check(AdsWriteRecord(t), "write");
        check(AdsUnlockRecord(t, record), "unlock");
    }
    std::printf("update_per_s %.0f records/s\n", changes / seconds(started));

    check(AdsCloseTable(t), "close");

    // An encrypted copy of the whole table, made through AdsEncryptTable.
    std::filesystem::copy_file(folder + "/bench.adt", folder + "/benchenc.adt");
    started = Clock::now();
    check(AdsOpenTable(connection, ads::EngineText("benchenc"), nullptr, ADS_ADT, ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, ADS_EXCLUSIVE, &t),
          "open exclusively");
    check(AdsEnableEncryption(t, ads::EngineText(ads::kTablePassword)), "password");
    check(AdsEncryptTable(t), "encrypt");
    check(AdsCloseTable(t), "close");
    std::fprintf(stderr, "encrypted %llu rows in %.1f s\n",
                 static_cast<unsigned long long>(rows + changes), seconds(started));

    // Open, password, first row in index order; each open derives the key once.
    std::vector<double> opens;
    for (int i = 0; i < 5; ++i) {
        started = Clock::now();
        check(AdsOpenTable(connection, ads::EngineText("benchenc"), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
              "open encrypted");
        check(AdsEnableEncryption(t, ads::EngineText(ads::kTablePassword)), "password");
        check(AdsGetIndexHandle(t, ads::EngineText("BYNAME"), &byName), "index handle");
        check(AdsGotoTop(byName), "top");
        len = length;
        check(AdsGetRecord(byName, record.data(), &len), "get record");
        opens.push_back(seconds(started) * 1000);
        if (i + 1 < 5) check(AdsCloseTable(t), "close");
    }
    std::sort(opens.begin(), opens.end());
    std::printf("open_encrypted_ms %.3f ms\n", opens[opens.size() / 2]);

    walked = 0;
    started = Clock::now();
    check(AdsGotoTop(byName), "top");
    check(AdsAtEOF(byName, &eof), "eof");
    while (!eof) {
        len = length;
        check(AdsGetRecord(byName, record.data(), &len), "get record");
        ++walked;
        check(AdsSkip(byName, 1), "skip");
        check(AdsAtEOF(byName, &eof), "eof");
    }
    std::printf("walk_encrypted_rows_per_s %.0f rows/s\n",
                static_cast<double>(walked) / seconds(started));
    if (walked != rows + changes)
        std::fprintf(stderr, "walked %llu encrypted rows\n",
                     static_cast<unsigned long long>(walked));
    check(AdsCloseTable(t), "close");
    AdsDisconnect(connection);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
