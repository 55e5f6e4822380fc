// Engine benchmark: builds a 1,000,000-row table with two index tags through the engine's calls
// in a temporary folder and prints one "name value unit" line per figure; then encrypts a copy
// of it and measures opening that copy with its password and walking it in index order. Each
// figure is followed by the same work done by SQLite directly on the same file ("sqlite_<name>")
// and their ratio ("<what>_ratio": engine time over SQLite time). Both sides run in turns, and
// each figure is a median (bench::Turns): the machine is shared and its speed wanders.
//   bench_engine [rows]
#include <openssl/evp.h>
#include <sodium.h>
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
#include "bench/baseline.h"
#include "bench/engine_check.h"
#include "bench/staff_rows.h"
#include "engine/ace.h"

namespace {

using bench::Clock;
using bench::seconds;
using bench::Turns;

using bench::check;
using bench::fill;
using bench::nameOf;

// The rows' select list and the BYNAME tag's key, as the engine's table file lays them out.
constexpr const char* kColumns = "rowid, \"NAME\", \"CODE\", \"BORN\", \"AMOUNT\", \"N\"";
constexpr const char* kByName = "ifnull(\"NAME\",'')";

// The values fill() gives record i, bound as the engine stores them.
void bindRow(sqlite3_stmt* insert, uint64_t i) {
    std::string name = nameOf(i);
    char code[16], born[16];
    std::snprintf(code, sizeof code, "C%06llu", static_cast<unsigned long long>(i % 1000000));
    std::snprintf(born, sizeof born, "%04llu-%02llu-%02llu", 1950 + (i % 50) * 1ull,
                  1 + (i % 12) * 1ull, 1 + (i % 28) * 1ull);
    sqlite3_bind_text(insert, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, code, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, born, -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 4,
                        static_cast<double>(i % 9999) + static_cast<double>(i % 100) / 100);
    sqlite3_bind_int64(insert, 5, static_cast<int64_t>(i));
}

// The SQLCipher key literal ("x'<64 hex digits>'") of an encrypted rows file, derived from the
// password once, as SQLCipher 3 derives it (PBKDF2-HMAC-SHA1, 64,000 rounds over the file's salt).
std::string rawKeyOf(const std::string& rowsFile, const char* password) {
    unsigned char salt[16];
    FILE* file = std::fopen(rowsFile.c_str(), "rb");
    if (!file || std::fread(salt, 1, sizeof salt, file) != sizeof salt) {
        std::fprintf(stderr, "cannot read the salt of %s\n", rowsFile.c_str());
        std::exit(1);
    }
    std::fclose(file);
    unsigned char key[32];
    PKCS5_PBKDF2_HMAC_SHA1(password, static_cast<int>(std::strlen(password)), salt, sizeof salt,
                           64000, sizeof key, key);
    char hex[2 * sizeof key + 1];
    sodium_bin2hex(hex, sizeof hex, key, sizeof key);
    return "x'" + std::string(hex) + "'";
}

// Opens measured for each figure of opening, and turns of the other figures (bench::Turns).
constexpr int kOpens = 21;
constexpr int kTurns = 5;

// Opens a table file (or rows file) with SQLite and reads its first row in BYNAME order.
void sqliteOpenFirst(bench::Baseline& db, const std::string& file, const std::string& key = "") {
    db.open(file, key);
    sqlite3_stmt* first = db.prepare(std::string("SELECT ") + kColumns +
                                     " FROM \"records\" ORDER BY " + kByName + ", rowid LIMIT 1");
    if (db.drain(first) != 1)
        std::fprintf(stderr, "SQLite read no first row of %s\n", file.c_str());
}

// Walks every row in BYNAME order (backwards: descending) with SQLite; the rows walked.
uint64_t sqliteWalk(bench::Baseline& db, bool backwards) {
    const char* direction = backwards ? " DESC" : "";
    sqlite3_stmt* walk =
        db.prepare(std::string("SELECT ") + kColumns + " FROM \"records\" ORDER BY " + kByName +
                   direction + ", rowid" + direction);
    return db.drain(walk);
}

// Walks an order from one end to the other (backwards: from the bottom) reading every record;
// answers the rows read.
uint64_t walkOver(ADSHANDLE order, std::vector<UNSIGNED8>& record, bool backwards = false) {
    uint64_t walked = 0;
    UNSIGNED16 end = 0;
    auto atEnd = [&] { check(backwards ? AdsAtBOF(order, &end) : AdsAtEOF(order, &end), "end"); };
    check(backwards ? AdsGotoBottom(order) : AdsGotoTop(order), "either end");
    atEnd();
    while (!end) {
        UNSIGNED32 len = static_cast<UNSIGNED32>(record.size());
        check(AdsGetRecord(order, record.data(), &len), "get record");
        ++walked;
        check(AdsSkip(order, backwards ? -1 : 1), "skip");
        atEnd();
    }
    return walked;
}

// Filtered walks: a filter keeping one row in ten walked to the end in record order, and a filter
// on the leading field of the current tag matching a few dozen rows, set and walked in the tag's
// order; each beside the same walk written by hand in SQLite.
void filterFigures(const std::string& tableFile, ADSHANDLE t, ADSHANDLE byName, uint64_t rows,
                   std::vector<UNSIGNED8>& record) {
    bench::Baseline db;
    db.open(tableFile);
    auto sqliteRows = [&db](const std::string& sql) { return db.drain(db.prepare(sql)); };
    // Born 1950 + i % 50: the first five years are a tenth of the rows.
    Turns walks;
    uint64_t kept = 0, sqliteKept = 0;
    for (int turn = 0; turn < kTurns; ++turn) {
        auto started = Clock::now();
        check(AdsSetAOF(t, ads::EngineText("BORN < STOD('19550101')"), ADS_RESOLVE_DYNAMIC), "aof");
        kept = walkOver(t, record);
        check(AdsClearAOF(t), "clear aof");
        double engineSeconds = seconds(started);
        started = Clock::now();
        sqliteKept = sqliteRows(std::string("SELECT ") + kColumns +
                                " FROM \"records\" WHERE \"BORN\" < '1955-01-01' ORDER BY rowid");
        walks.add(engineSeconds, seconds(started), static_cast<double>(rows));
    }
    if (kept != sqliteKept)
        std::fprintf(stderr, "filter kept %llu rows, SQLite %llu\n",
                     static_cast<unsigned long long>(kept),
                     static_cast<unsigned long long>(sqliteKept));
    walks.print("filter_walk_rows_per_s", "filter_walk_ratio", "rows/s", true);

    // The longest prefix of one name that a few dozen rows share.
    std::string prefix = nameOf(7);
    uint64_t matching = 0;
    while (prefix.size() > 3) {
        matching = sqliteRows("SELECT rowid FROM \"records\" WHERE substr(\"NAME\", 1, " +
                              std::to_string(prefix.size()) + ") = '" + prefix + "'");
        if (matching >= 40) break;
        prefix.pop_back();
    }
    const std::string filter = "NAME = '" + prefix + "'";
    const std::string handSql = std::string("SELECT ") + kColumns + " FROM \"records\" WHERE " +
                                kByName + " >= '" + prefix + "' AND " + kByName + " < '" + prefix +
                                "\x7F' ORDER BY " + kByName + ", rowid";
    // One walk takes a tenth of a millisecond, too short to time alone on a shared machine: each
    // turn times twenty, on both sides.
    constexpr int kWalksPerTurn = 20;
    Turns tagWalks;
    for (int i = 0; i < 7; ++i) {
        auto started = Clock::now();
        for (int walk = 0; walk < kWalksPerTurn; ++walk) {
            check(AdsSetAOF(t, ads::EngineText(filter.c_str()), ADS_RESOLVE_DYNAMIC), "aof on tag");
            kept = walkOver(byName, record);
            check(AdsClearAOF(t), "clear aof");
        }
        double engineSeconds = seconds(started);
        started = Clock::now();
        for (int walk = 0; walk < kWalksPerTurn; ++walk) sqliteKept = sqliteRows(handSql);
        tagWalks.add(engineSeconds, seconds(started), kWalksPerTurn);
    }
    if (kept != matching || sqliteKept != matching)
        std::fprintf(stderr, "tag filter kept %llu rows, SQLite %llu, expected %llu\n",
                     static_cast<unsigned long long>(kept),
                     static_cast<unsigned long long>(sqliteKept),
                     static_cast<unsigned long long>(matching));
    tagWalks.print("filter_tag_ms", "filter_tag_ratio", "ms", false);

    // A filter of 500 alternatives set and cleared: its translation, nothing read.
    std::string alternatives;
    for (uint64_t i = 0; i < 500; ++i)
        alternatives += (i ? " .OR. NAME = '" : "NAME = '") + nameOf(i) + "'";
    double fastest = 1e300;
    for (int i = 0; i < 7; ++i) {
        auto started = Clock::now();
        check(AdsSetAOF(t, ads::EngineText(alternatives.c_str()), ADS_RESOLVE_DYNAMIC),
              "aof of 500 terms");
        check(AdsClearAOF(t), "clear aof");
        fastest = std::min(fastest, seconds(started));
    }
    std::printf("filter_translate_500_terms_ms %.3f ms\n", fastest * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    char pattern[] = "/tmp/velda-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string folder = pattern;
    const std::string tableFile = folder + "/bench.adt";
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

    // Open and read the first row in index order; the median of 21 opens, each of the engine
    // and of SQLite as the file's only opener (its WAL and shared memory made afresh).
    UNSIGNED32 length = 0;
    std::vector<UNSIGNED8> record;
    UNSIGNED32 len = 0;
    bench::Baseline sqlite;
    Turns opens;
    for (int i = 0; i < kOpens; ++i) {
        started = Clock::now();
        check(AdsOpenTable(connection, ads::EngineText("bench"), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
              "open");
        check(AdsGetIndexHandle(t, ads::EngineText("BYNAME"), &byName), "index handle");
        check(AdsGotoTop(byName), "top");
        check(AdsGetRecordLength(t, &length), "record length");
        record.resize(length);
        len = length;
        check(AdsGetRecord(byName, record.data(), &len), "get record");
        double engineSeconds = seconds(started);
        check(AdsCloseTable(t), "close");
        started = Clock::now();
        sqliteOpenFirst(sqlite, tableFile);
        opens.add(engineSeconds, seconds(started));
        sqlite.close();
    }
    opens.print("open_ms", "open_ratio", "ms", false);
    check(AdsOpenTable(connection, ads::EngineText("bench"), nullptr, ADS_ADT, ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
          "open");
    check(AdsGetIndexHandle(t, ads::EngineText("BYNAME"), &byName), "index handle");
    sqlite.open(tableFile);

    // Counts made afresh each time (the engine keeps a count until the table changes).
    UNSIGNED32 count = 0;
    sqlite3_stmt* counting = sqlite.prepare("SELECT count(*) FROM \"records\"");
    Turns counts;
    for (int turn = 0; turn < 7; ++turn) {
        started = Clock::now();
        check(AdsGetRecordCount(byName, ADS_IGNOREFILTERS | ADS_REFRESHCOUNT, &count), "count");
        double engineSeconds = seconds(started);
        started = Clock::now();
        sqlite.drain(counting);
        counts.add(engineSeconds, seconds(started));
    }
    counts.print("count_ms", "count_ratio", "ms", false);
    if (count != rows)
        std::fprintf(stderr, "count %u, expected %llu\n", count,
                     static_cast<unsigned long long>(rows));

    for (bool backwards : {false, true}) {
        Turns walks;
        for (int turn = 0; turn < kTurns; ++turn) {
            started = Clock::now();
            uint64_t walked = walkOver(byName, record, backwards);
            double engineSeconds = seconds(started);
            if (walked != rows)
                std::fprintf(stderr, "walked %llu rows\n", static_cast<unsigned long long>(walked));
            started = Clock::now();
            walked = sqliteWalk(sqlite, backwards);
            walks.add(engineSeconds, seconds(started), static_cast<double>(walked));
        }
        if (backwards)
            walks.print("walk_back_rows_per_s", "walk_back_ratio", "rows/s", true);
        else
            walks.print("walk_rows_per_s", "walk_ratio", "rows/s", true);
    }

    filterFigures(tableFile, t, byName, rows, record);

    // Hard seeks on the text tag as the data-access layer makes them: key built field by field.
    std::mt19937_64 random(42);
    const int seeks = 20000;
    std::vector<std::string> keys;
    for (int i = 0; i < seeks; ++i) {
        std::string key = nameOf(random() % rows);
        key.resize(20, ' ');
        keys.push_back(key);
    }
    // SQLite: the first row of the key in tag order, the key without its trailing blanks (an
    // equal key leading ORDER BY would make SQLite sort the matching rows itself).
    sqlite3_stmt* seek =
        sqlite.prepare(std::string("SELECT ") + kColumns + " FROM \"records\" WHERE " + kByName +
                       "=? ORDER BY rowid LIMIT 1");
    int found = 0, sqliteFound = 0;
    Turns seeking;
    const size_t perTurn = keys.size() / kTurns;
    for (int turn = 0; turn < kTurns; ++turn) {
        const auto from = keys.begin() + static_cast<long>(turn * perTurn);
        const auto to = from + static_cast<long>(perTurn);
        started = Clock::now();
        for (auto key = from; key != to; ++key) {
            check(AdsInitRawKey(byName), "init key");
            check(AdsSetField(byName, ads::EngineText("NAME"), ads::EngineText(key->c_str()), 20),
                  "key field");
            UNSIGNED8 raw[ADS_MAX_KEY_LENGTH];
            UNSIGNED16 rawLen = sizeof raw;
            check(AdsBuildRawKey(byName, raw, &rawLen), "build key");
            UNSIGNED16 hit = 0;
            check(AdsSeek(byName, raw, rawLen, ADS_RAWKEY, ADS_HARDSEEK, &hit), "seek");
            found += hit;
        }
        double engineSeconds = seconds(started);
        started = Clock::now();
        for (auto key = from; key != to; ++key) {
            size_t end = key->find_last_not_of(' ');
            sqlite3_bind_text(seek, 1, key->data(), static_cast<int>(end + 1), SQLITE_STATIC);
            sqliteFound += static_cast<int>(sqlite.drain(seek));
        }
        seeking.add(engineSeconds, seconds(started), static_cast<double>(perTurn));
    }
    seeking.print("seek_us", "seek_ratio", "us", false, 1e6);
    const int sought = static_cast<int>(perTurn) * kTurns;
    if (found != sought || sqliteFound != sought)
        std::fprintf(stderr, "found %d and SQLite %d of %d keys\n", found, sqliteFound, sought);

    // Appends and updates, each its own transaction as the engine writes them.
    const int changes = 20000, changesPerTurn = changes / kTurns;
    sqlite3_stmt* begin = sqlite.prepare("BEGIN IMMEDIATE");
    sqlite3_stmt* commit = sqlite.prepare("COMMIT");
    sqlite3_stmt* insert = sqlite.prepare(
        "INSERT INTO \"records\"(\"NAME\", \"CODE\", \"BORN\", \"AMOUNT\", \"N\") "
        "VALUES(?, ?, ?, ?, ?)");
    Turns appends;
    for (int turn = 0; turn < kTurns; ++turn) {
        const int first = turn * changesPerTurn;
        started = Clock::now();
        for (int i = first; i < first + changesPerTurn; ++i) {
            check(AdsAppendRecord(t), "append");
            fill(t, rows + static_cast<uint64_t>(i));
            check(AdsWriteRecord(t), "write");
        }
        double engineSeconds = seconds(started);
        started = Clock::now();
        for (int i = first; i < first + changesPerTurn; ++i) {
            sqlite.run(begin);
            bindRow(insert, rows + changes + static_cast<uint64_t>(i));
            sqlite.run(insert);
            sqlite.run(commit);
        }
        appends.add(engineSeconds, seconds(started), changesPerTurn);
    }
    appends.print("append_per_s", "append_ratio", "records/s", true);

    // Updates of random records: go to the record, lock it, set two fields, write, unlock.
    // SQLite reads the record, then changes it in a transaction of its own.
    std::vector<UNSIGNED32> targets;
    for (int i = 0; i < changes; ++i)
        targets.push_back(static_cast<UNSIGNED32>(1 + random() % rows));
    sqlite3_stmt* read =
        sqlite.prepare(std::string("SELECT ") + kColumns + " FROM \"records\" WHERE rowid=?");
    sqlite3_stmt* update =
        sqlite.prepare("UPDATE \"records\" SET \"AMOUNT\"=?, \"CODE\"=? WHERE rowid=?");
    Turns updates;
    for (int turn = 0; turn < kTurns; ++turn) {
        const int first = turn * changesPerTurn;
        started = Clock::now();
        for (int i = first; i < first + changesPerTurn; ++i) {
            UNSIGNED32 target = targets[static_cast<size_t>(i)];
            check(AdsGotoRecord(t, target), "goto");
            check(AdsLockRecord(t, target), "lock");
            char amount[32];
            std::snprintf(amount, sizeof amount, "%d.50", i % 5000);
            check(AdsSetField(t, ads::EngineText("AMOUNT"), ads::EngineText(amount),
                              static_cast<UNSIGNED32>(std::strlen(amount))),
                  "set AMOUNT");
            check(AdsSetField(t, ads::EngineText("CODE"), ads::EngineText("UPDATED"), 7),
                  "set CODE");
            check(AdsWriteRecord(t), "write");
            check(AdsUnlockRecord(t, target), "unlock");
        }
        double engineSeconds = seconds(started);
        started = Clock::now();
        for (int i = first; i < first + changesPerTurn; ++i) {
            UNSIGNED32 target = targets[static_cast<size_t>(changes - 1 - i)];
            sqlite3_bind_int64(read, 1, target);
            sqlite.drain(read);
            sqlite.run(begin);
            sqlite3_bind_double(update, 1, i % 5000 + 0.5);
            sqlite3_bind_text(update, 2, "UPDATED", 7, SQLITE_STATIC);
            sqlite3_bind_int64(update, 3, target);
            sqlite.run(update);
            sqlite.run(commit);
        }
        updates.add(engineSeconds, seconds(started), changesPerTurn);
    }
    updates.print("update_per_s", "update_ratio", "records/s", true);
    sqlite.close();
    check(AdsCloseTable(t), "close");
    const uint64_t allRows = rows + 2 * changes;

    // An encrypted copy of the whole table, made through AdsEncryptTable.
    std::filesystem::copy_file(tableFile, folder + "/benchenc.adt");
    started = Clock::now();
    check(AdsOpenTable(connection, ads::EngineText("benchenc"), nullptr, ADS_ADT, ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, ADS_EXCLUSIVE, &t),
          "open exclusively");
    check(AdsEnableEncryption(t, ads::EngineText(ads::kTablePassword)), "password");
    check(AdsEncryptTable(t), "encrypt");
    check(AdsCloseTable(t), "close");
    std::fprintf(stderr, "encrypted %llu rows in %.1f s\n",
                 static_cast<unsigned long long>(allRows), seconds(started));
    // Read while no connection of this process has the file open: closing a descriptor of it
    // would drop SQLite's locks.
    const std::string rowsFile = folder + "/benchenc.adt.rows";
    const std::string key = rawKeyOf(rowsFile, ads::kTablePassword);

    // Open, password, first row in index order; the median of 21 opens. SQLite opens the rows
    // file with the key derived once, as the engine keeps a password's key for the process.
    Turns encryptedOpens;
    for (int i = 0; i < kOpens; ++i) {
        started = Clock::now();
        check(AdsOpenTable(connection, ads::EngineText("benchenc"), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
              "open encrypted");
        check(AdsEnableEncryption(t, ads::EngineText(ads::kTablePassword)), "password");
        check(AdsGetIndexHandle(t, ads::EngineText("BYNAME"), &byName), "index handle");
        check(AdsGotoTop(byName), "top");
        len = length;
        check(AdsGetRecord(byName, record.data(), &len), "get record");
        double engineSeconds = seconds(started);
        if (i + 1 < kOpens) check(AdsCloseTable(t), "close");
        started = Clock::now();
        sqliteOpenFirst(sqlite, rowsFile, key);
        encryptedOpens.add(engineSeconds, seconds(started));
        // Closed outside the time, as the engine's handle: each side opens as the only opener.
        if (i + 1 < kOpens) sqlite.close();
    }
    encryptedOpens.print("open_encrypted_ms", "open_encrypted_ratio", "ms", false);

    Turns encryptedWalks;
    for (int turn = 0; turn < 3; ++turn) {
        started = Clock::now();
        uint64_t walked = walkOver(byName, record);
        double engineSeconds = seconds(started);
        if (walked != allRows)
            std::fprintf(stderr, "walked %llu encrypted rows\n",
                         static_cast<unsigned long long>(walked));
        started = Clock::now();
        walked = sqliteWalk(sqlite, false);
        encryptedWalks.add(engineSeconds, seconds(started), static_cast<double>(walked));
    }
    encryptedWalks.print("walk_encrypted_rows_per_s", "walk_encrypted_ratio", "rows/s", true);
    sqlite.close();
    check(AdsCloseTable(t), "close");
    (void)AdsDisconnect(connection);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
