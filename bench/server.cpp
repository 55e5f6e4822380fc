// Server benchmark: a table of 1,000,000 rows (bench_engine's fields, a tag on NAME) on a
// PostgreSQL server, read and written through the engine's calls, each figure beside libpq doing
// the same work by hand on the same table in the same run ("libpq_<name>") and their ratio
// ("<what>_ratio": engine time over libpq time, so above 1 the engine is slower). Both sides run
// in turns and each figure is a median (bench::Turns).
//   bench_server [rows]
// The server is the path in VELDA_BENCH_SERVER when set; else the benchmark starts its own with
// scripts/server in a temporary folder and stops it (which removes the folder) when it ends, also
// when a step fails. The database is set to synchronous_commit=off, as scripts/server runs its
// own, so that a commit does not wait for the disk on either side.
//
// The rows go in with one INSERT ... SELECT into the engine's layout after the engine created the
// table; the tag is made afterwards through the engine, and one row the engine writes itself is
// compared with a bulk row read through the engine. The walks read the first 200,000 rows of
// the tag's order (from the bottom: the last 200,000) per turn, not the whole table, to keep a
// run within minutes on the shared machine.
#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ads/engine_text.h"
#include "bench/baseline.h"
#include "bench/engine_check.h"
#include "bench/libpq.h"
#include "bench/own_server.h"
#include "bench/staff_rows.h"
#include "engine/ace.h"

namespace {

using ads::EngineText;
using bench::check;
using bench::Clock;
using bench::connectionOf;
using bench::fill;
using bench::nameOf;
using bench::Pg;
using bench::PgResult;
using bench::seconds;
using bench::Turns;

constexpr uint64_t kWalkRows = 200000;  // rows walked per turn
constexpr int kTurns = 5;
constexpr int kOpens = 21;
constexpr int kSeeksPerTurn = 2000;
constexpr int kChangesPerTurn = 1000;
constexpr const char* kTable = "benchsrv";
// The engine's layout: the rows' table, the record number, the tag's key expression.
constexpr const char* kColumns = "velda_recno, \"NAME\", \"CODE\", \"BORN\", \"AMOUNT\", \"N\"";
constexpr const char* kKey = "coalesce(\"NAME\",'')";

// bench::fill() for the records 1..$2 (record r is fill(r - 1)), in SQL; $1 is unused so that the
// statement's text names the rows' table alone.
std::string fillSql(const std::string& rows) {
    const std::string x = "((i * 2654435761) % 1000003)";
    const std::string part = "(ARRAY['AB','CHAN','LEE','WONG','TAN','NG','LIM','HO','KOH','ONG'])";
    return "INSERT INTO " + rows + "(" + kColumns + ") SELECT i + 1, " + part + "[" + x +
           " % 10 + 1] || " + part + "[(" + x + " / 10) % 10 + 1] || (" + x +
           " % 100000)::text, 'C' || lpad((i % 1000000)::text, 6, '0'), (1950 + i % 50)::text || "
           "'-' || lpad((1 + i % 12)::text, 2, '0') || '-' || lpad((1 + i % 28)::text, 2, '0'), "
           "((i % 9999)::text || '.' || lpad((i % 100)::text, 2, '0'))::float8, i "
           "FROM generate_series(0::bigint, $1::bigint - 1) AS i";
}

// The hand-written side: the statements a client of the engine's layout would prepare.
void prepareBaseline(Pg& pg, const std::string& rows) {
    const std::string select = std::string("SELECT ") + kColumns + ", " + kKey + " FROM " + rows;
    const std::string order = std::string(" ORDER BY ") + kKey + ", velda_recno";
    const std::string back = std::string(" ORDER BY ") + kKey + " DESC, velda_recno DESC";
    pg.prepare("table", "SELECT id FROM velda_tables WHERE folder=$1 AND name=$2");
    pg.prepare("lock_shared", "SELECT pg_try_advisory_lock_shared($1::integer, 0)");
    pg.prepare("unlock_shared", "SELECT pg_advisory_unlock_shared($1::integer, 0)");
    pg.prepare("first", select + order + " LIMIT 1");
    pg.prepare("count", "SELECT count(*) FROM " + rows);
    pg.prepare("walk_first", select + order + " LIMIT $1");
    pg.prepare("walk_next",
               select + " WHERE (" + kKey + ", velda_recno) > ($1, $2)" + order + " LIMIT $3");
    pg.prepare("back_first", select + back + " LIMIT $1");
    pg.prepare("back_next",
               select + " WHERE (" + kKey + ", velda_recno) < ($1, $2)" + back + " LIMIT $3");
    pg.prepare("seek", select + " WHERE " + kKey + "=$1" + order + " LIMIT 1");
    pg.prepare("begin", "BEGIN");
    pg.prepare("commit", "COMMIT");
    pg.prepare("append_lock", "SELECT pg_advisory_xact_lock($1::bigint)");
    pg.prepare("append", "INSERT INTO " + rows +
                             "(velda_recno, \"NAME\", \"N\") VALUES((SELECT "
                             "coalesce(max(velda_recno),0)+1 FROM " +
                             rows + "), $1, $2) RETURNING velda_recno");
    pg.prepare("read",
               std::string("SELECT ") + kColumns + " FROM " + rows + " WHERE velda_recno=$1");
    pg.prepare("lock", "SELECT pg_try_advisory_lock($1::integer, $2::integer)");
    pg.prepare("unlock", "SELECT pg_advisory_unlock($1::integer, $2::integer)");
    pg.prepare("update", "UPDATE " + rows + " SET \"AMOUNT\"=$1, \"CODE\"=$2 WHERE velda_recno=$3");
}

// What the reads add up, kept so that the compiler keeps the reading.
volatile double gSink = 0;

// Reads every column of every row as a client does with text results: numbers parsed, texts
// taken where they are; answers the rows.
int readRows(const PGresult* r) {
    const int rows = PQntuples(r);
    double sum = 0;
    for (int row = 0; row < rows; ++row) {
        sum += static_cast<double>(std::strtoll(PQgetvalue(r, row, 0), nullptr, 10));
        for (int column = 1; column <= 3; ++column) sum += PQgetlength(r, row, column);
        sum += std::strtod(PQgetvalue(r, row, 4), nullptr);
        sum += static_cast<double>(std::strtoll(PQgetvalue(r, row, 5), nullptr, 10));
    }
    gSink = gSink + sum;
    return rows;
}

// --- The engine's side
// ----------------------------------------------------------------------------

// Walks `limit` rows of the tag's order from one end, reading NAME of each; the rows walked.
uint64_t engineWalk(ADSHANDLE order, bool backwards, uint64_t limit) {
    uint64_t walked = 0;
    UNSIGNED16 end = 0;
    char name[32];
    auto atEnd = [&] { check(backwards ? AdsAtBOF(order, &end) : AdsAtEOF(order, &end), "end"); };
    check(backwards ? AdsGotoBottom(order) : AdsGotoTop(order), "either end");
    atEnd();
    while (!end && walked < limit) {
        UNSIGNED32 len = sizeof name;
        check(AdsGetField(order, EngineText("NAME"), reinterpret_cast<UNSIGNED8*>(name), &len,
                          ADS_NONE),
              "get NAME");
        ++walked;
        check(AdsSkip(order, backwards ? -1 : 1), "skip");
        atEnd();
    }
    return walked;
}

// The same walk with libpq: pages of the engine's largest read (512 rows) from one end, each
// going on from the last page's key and record number, reading NAME of each row.
uint64_t libpqWalk(Pg& pg, bool backwards, uint64_t limit) {
    constexpr int kPage = 512;
    uint64_t walked = 0;
    char name[32];
    std::string key, recno;
    const std::string page = std::to_string(kPage);
    PgResult r = pg.run(backwards ? "back_first" : "walk_first", {page.c_str()});
    while (true) {
        const int rows = PQntuples(r.get());
        for (int row = 0; row < rows && walked < limit; ++row, ++walked) {
            const int length = PQgetlength(r.get(), row, 1);
            std::memcpy(name, PQgetvalue(r.get(), row, 1),
                        static_cast<size_t>(std::min<int>(length, sizeof name)));
            (void)std::strtoll(PQgetvalue(r.get(), row, 0), nullptr, 10);
        }
        if (rows < kPage || walked >= limit) break;
        recno = PQgetvalue(r.get(), rows - 1, 0);
        key = PQgetvalue(r.get(), rows - 1, 6);
        r = pg.run(backwards ? "back_next" : "walk_next",
                   {key.c_str(), recno.c_str(), page.c_str()});
    }
    return walked;
}

bool engineRecord(ADSHANDLE t, UNSIGNED32 recno, std::vector<UNSIGNED8>& image) {
    check(AdsGotoRecord(t, recno), "go to a record");
    UNSIGNED32 len = static_cast<UNSIGNED32>(image.size());
    return AdsGetRecord(t, image.data(), &len) == AE_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    if (rows == 0 || rows > 100000000) {
        std::fprintf(stderr, "usage: bench_server [rows], rows from 1 to 100,000,000\n");
        return 2;
    }
    const std::string path = bench::serverPath();

    Pg pg(connectionOf(path));
    {
        PgResult db = pg.exec("SELECT current_database()");
        pg.exec("ALTER DATABASE \"" + std::string(PQgetvalue(db.get(), 0, 0)) +
                "\" SET synchronous_commit=off");
        pg.exec("SET synchronous_commit=off");
    }

    ADSHANDLE connection = 0;
    check(AdsConnect(EngineText(path), &connection), "connect");
    (void)AdsDeleteTable(connection, EngineText(kTable));  // a run cut short left it behind
    const char* fields =
        "NAME,Character,20;CODE,Character,10;BORN,Date;AMOUNT,Numeric,10,2;N,Integer";
    ADSHANDLE t = 0;
    auto started = Clock::now();
    check(AdsCreateTable(connection, EngineText(kTable), nullptr, ADS_ADT, ADS_ANSI,
                         ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, EngineText(fields), &t),
          "create");
    PgResult found = pg.exec(
        "SELECT id, folder, name FROM velda_tables WHERE name IN ('benchsrv', 'benchsrv.adt') "
        "ORDER BY id DESC LIMIT 1");
    if (PQntuples(found.get()) != 1) {
        std::fprintf(stderr, "the engine's catalog does not list the table %s\n", kTable);
        return 1;
    }
    const std::string id = PQgetvalue(found.get(), 0, 0);
    const std::string folder = PQgetvalue(found.get(), 0, 1);
    const std::string file = PQgetvalue(found.get(), 0, 2);
    const std::string rowsTable = "velda_rows_" + id;
    pg.prepare("fill", fillSql(rowsTable));
    pg.run("fill", {std::to_string(rows).c_str()});
    ADSHANDLE byName = 0;
    check(AdsCreateIndex61(t, nullptr, EngineText("BYNAME"), EngineText("NAME"), nullptr, nullptr,
                           0, 512, &byName),
          "index NAME");
    pg.exec("VACUUM ANALYZE " + rowsTable);
    std::fprintf(stderr, "filled %llu rows and made the tag in %.1f s\n",
                 static_cast<unsigned long long>(rows), seconds(started));

    // One row as the engine writes it, compared with the bulk-filled row of the same values.
    UNSIGNED32 length = 0;
    check(AdsGetRecordLength(t, &length), "record length");
    std::vector<UNSIGNED8> mine(length), bulk(length);
    const uint64_t probe = rows / 3;
    check(AdsAppendRecord(t), "append");
    fill(t, probe);
    check(AdsWriteRecord(t), "write");
    UNSIGNED32 written = 0;
    check(AdsGetRecordNum(t, ADS_IGNOREFILTERS, &written), "record number");
    if (!engineRecord(t, written, mine) ||
        !engineRecord(t, static_cast<UNSIGNED32>(probe + 1), bulk) || mine != bulk) {
        std::fprintf(stderr, "the engine reads record %llu otherwise than it wrote its values\n",
                     static_cast<unsigned long long>(probe + 1));
        return 1;
    }
    check(AdsGotoRecord(t, written), "go to the written record");
    check(AdsDeleteRecord(t), "delete the written record");
    check(AdsCloseTable(t), "close");

    prepareBaseline(pg, rowsTable);

    // Open, first row in tag order, close. By hand: find the table, take the table's shared lock
    // as the engine's handles do, read the first row, give the lock back.
    std::vector<UNSIGNED8> record(length);
    Turns opens("libpq");
    for (int i = 0; i < kOpens; ++i) {
        started = Clock::now();
        check(AdsOpenTable(connection, EngineText(kTable), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
              "open");
        check(AdsGetIndexHandle(t, EngineText("BYNAME"), &byName), "index handle");
        check(AdsGotoTop(byName), "top");
        UNSIGNED32 len = length;
        check(AdsGetRecord(byName, record.data(), &len), "get record");
        check(AdsCloseTable(t), "close");
        const double engineSeconds = seconds(started);
        started = Clock::now();
        PgResult table = pg.run("table", {folder.c_str(), file.c_str()});
        const std::string tableId = PQgetvalue(table.get(), 0, 0);
        pg.run("lock_shared", {tableId.c_str()});
        readRows(pg.run("first", {}).get());
        pg.run("unlock_shared", {tableId.c_str()});
        opens.add(engineSeconds, seconds(started));
    }
    opens.print("server_open_ms", "server_open_ratio", "ms", false);

    check(AdsOpenTable(connection, EngineText(kTable), nullptr, ADS_ADT, ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
          "open");
    check(AdsGetIndexHandle(t, EngineText("BYNAME"), &byName), "index handle");

    for (bool backwards : {false, true}) {
        Turns walks("libpq");
        for (int turn = 0; turn < kTurns; ++turn) {
            started = Clock::now();
            const uint64_t walked = engineWalk(byName, backwards, kWalkRows);
            const double engineSeconds = seconds(started);
            started = Clock::now();
            const uint64_t libpqWalked = libpqWalk(pg, backwards, kWalkRows);
            walks.add(engineSeconds, seconds(started), static_cast<double>(walked));
            if (walked != libpqWalked || walked != std::min(rows, kWalkRows))
                std::fprintf(stderr, "walked %llu rows, libpq %llu\n",
                             static_cast<unsigned long long>(walked),
                             static_cast<unsigned long long>(libpqWalked));
        }
        if (backwards)
            walks.print("server_walk_back_rows_per_s", "server_walk_back_ratio", "rows/s", true);
        else
            walks.print("server_walk_rows_per_s", "server_walk_ratio", "rows/s", true);
    }

    // Hard seeks of random names on the tag; each side its own keys.
    std::mt19937_64 random(1986);
    Turns seeks("libpq");
    int hits = 0, libpqHits = 0;
    for (int turn = 0; turn < kTurns; ++turn) {
        std::vector<std::string> keys, libpqKeys;
        for (int i = 0; i < kSeeksPerTurn; ++i) {
            keys.push_back(nameOf(random() % rows));
            libpqKeys.push_back(nameOf(random() % rows));
        }
        started = Clock::now();
        for (std::string key : keys) {
            key.resize(20, ' ');  // the whole key: an exact seek, not one on a prefix
            UNSIGNED16 hit = 0;
            check(AdsSeek(byName, EngineText(key), static_cast<UNSIGNED16>(key.size()),
                          ADS_STRINGKEY, ADS_HARDSEEK, &hit),
                  "seek");
            hits += hit;
        }
        const double engineSeconds = seconds(started);
        started = Clock::now();
        for (const std::string& key : libpqKeys)
            libpqHits += readRows(pg.run("seek", {key.c_str()}).get());
        seeks.add(engineSeconds, seconds(started), kSeeksPerTurn);
    }
    seeks.print("server_seek_us", "server_seek_ratio", "us", false, 1e6);
    if (hits != kTurns * kSeeksPerTurn || libpqHits != hits)
        std::fprintf(stderr, "found %d keys, libpq %d, of %d\n", hits, libpqHits,
                     kTurns * kSeeksPerTurn);

    // Appends of two fields, each its own transaction. By hand: the engine's rule for a new
    // record number (the appends of the table wait for each other, then the highest plus one).
    const std::string tableKey = id;
    Turns appends("libpq");
    uint64_t next = rows;
    for (int turn = 0; turn < kTurns; ++turn) {
        started = Clock::now();
        for (int i = 0; i < kChangesPerTurn; ++i, ++next) {
            const std::string name = nameOf(next), n = std::to_string(next);
            check(AdsAppendRecord(t), "append");
            check(AdsSetField(t, EngineText("NAME"), EngineText(name),
                              static_cast<UNSIGNED32>(name.size())),
                  "set NAME");
            check(AdsSetField(t, EngineText("N"), EngineText(n), static_cast<UNSIGNED32>(n.size())),
                  "set N");
            check(AdsWriteRecord(t), "write");
        }
        const double engineSeconds = seconds(started);
        started = Clock::now();
        for (int i = 0; i < kChangesPerTurn; ++i, ++next) {
            const std::string name = nameOf(next), n = std::to_string(next);
            pg.run("begin", {});
            pg.run("append_lock", {tableKey.c_str()});
            pg.run("append", {name.c_str(), n.c_str()});
            pg.run("commit", {});
        }
        appends.add(engineSeconds, seconds(started), kChangesPerTurn);
    }
    appends.print("server_append_per_s", "server_append_ratio", "records/s", true);

    // Updates of random records: go to it, lock it, set AMOUNT and CODE, write, unlock. By hand:
    // read the row, take the record's lock as the engine does, update, give the lock back.
    Turns updates("libpq");
    for (int turn = 0; turn < kTurns; ++turn) {
        std::vector<UNSIGNED32> targets, libpqTargets;
        for (int i = 0; i < kChangesPerTurn; ++i) {
            targets.push_back(static_cast<UNSIGNED32>(1 + random() % rows));
            libpqTargets.push_back(static_cast<UNSIGNED32>(1 + random() % rows));
        }
        started = Clock::now();
        for (int i = 0; i < kChangesPerTurn; ++i) {
            const UNSIGNED32 target = targets[static_cast<size_t>(i)];
            const std::string amount = std::to_string(i % 5000) + ".50";
            check(AdsGotoRecord(t, target), "go to");
            check(AdsLockRecord(t, target), "lock");
            check(AdsSetField(t, EngineText("AMOUNT"), EngineText(amount),
                              static_cast<UNSIGNED32>(amount.size())),
                  "set AMOUNT");
            check(AdsSetField(t, EngineText("CODE"), EngineText("UPDATED"), 7), "set CODE");
            check(AdsWriteRecord(t), "write");
            check(AdsUnlockRecord(t, target), "unlock");
        }
        const double engineSeconds = seconds(started);
        started = Clock::now();
        for (int i = 0; i < kChangesPerTurn; ++i) {
            const std::string target = std::to_string(libpqTargets[static_cast<size_t>(i)]);
            const std::string amount = std::to_string(i % 5000) + ".50";
            readRows(pg.run("read", {target.c_str()}).get());
            PgResult locked = pg.run("lock", {tableKey.c_str(), target.c_str()});
            if (PQgetvalue(locked.get(), 0, 0)[0] != 't') {
                std::fprintf(stderr, "libpq could not lock record %s\n", target.c_str());
                return 1;
            }
            pg.run("update", {amount.c_str(), "UPDATED", target.c_str()});
            pg.run("unlock", {tableKey.c_str(), target.c_str()});
        }
        updates.add(engineSeconds, seconds(started), kChangesPerTurn);
    }
    updates.print("server_update_per_s", "server_update_ratio", "records/s", true);

    // Counts made afresh each time (the engine keeps a count until the table changes).
    Turns counts("libpq");
    UNSIGNED32 count = 0;
    for (int turn = 0; turn < 7; ++turn) {
        started = Clock::now();
        check(AdsGetRecordCount(byName, ADS_IGNOREFILTERS | ADS_REFRESHCOUNT, &count), "count");
        const double engineSeconds = seconds(started);
        started = Clock::now();
        PgResult counted = pg.run("count", {});
        (void)std::strtoll(PQgetvalue(counted.get(), 0, 0), nullptr, 10);
        counts.add(engineSeconds, seconds(started));
    }
    counts.print("server_count_ms", "server_count_ratio", "ms", false);
    const uint64_t expected = rows + 2ull * kTurns * kChangesPerTurn;
    if (count != expected)
        std::fprintf(stderr, "count %u, expected %llu\n", count,
                     static_cast<unsigned long long>(expected));

    check(AdsCloseTable(t), "close");
    check(AdsDeleteTable(connection, EngineText(kTable)), "delete the table");
    (void)AdsDisconnect(connection);
    return 0;
}
