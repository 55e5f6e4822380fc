// SQL benchmark: the leave statement of the download over 10,000 employees (the employee table
// encrypted, as the demo keeps it) and 1,000,000 leave transactions over five years, built in a
// temporary folder through the engine's own calls. Prints one "name value unit" line per figure:
//   sql_year_join_ms          the statement over one whole year, executed and walked to the end
//   sql_year_join_sqlite_ms   the same statement run by SQLite itself on the same files
//   sql_year_join_ratio       the first divided by the second
//   sql_month_join_ms         the statement over one month, with sql_month_join_sqlite_ms and
//                             sql_month_join_ratio beside SQLite running it (a scan of every
//                             transaction: no tag orders the leave table by date)
//   sql_prepare_encrypted_ms  prepare and execute on a fresh connection with one encrypted table
//   sql_refuse_nested_10000_ms  the refusal of a statement of 10,000 nested brackets
// With --server, the company is also copied to a folder on a PostgreSQL server (with the built
// velda-db, through the engine's calls; EMPLOYEE stays encrypted) and the statement runs there on
// a server connection, in turns with libpq running it by hand over the rows tables and reading
// every row and column (medians of the turns; the ratio the median of the turns' ratios):
//   sql_month_join_server_ms, sql_month_join_server_libpq_ms, sql_month_join_server_ratio
//   sql_year_join_server_ms, sql_year_join_server_libpq_ms, sql_year_join_server_ratio
// The server is the path in VELDA_BENCH_SERVER when set, else one the benchmark starts and stops
// (own_server.h); the run fails when the server's rows are not as many as the folder's.
//   bench_sql [--server] [transactions]
#include <libpq-fe.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bench/baseline.h"
#include "bench/engine_check.h"
#include "bench/libpq.h"
#include "bench/own_server.h"
#include "bench/server_company.h"
#include "engine/ace.h"

namespace {

using bench::Clock;
constexpr const char* kPassword = "KORVA4816";

UNSIGNED8* u8(const std::string& s) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str()));
}

using bench::check;

double millisSince(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The statement exactly as the download builds it, for a date range and the standard layout.
std::string leaveStatement(const std::string& from, const std::string& to) {
    return "SELECT EMPLOYEE.\"EMP_NO\", EMPLOYEE.\"DEPARTMENT_CODE\", "
           "EMPLOYEE.\"CATEGORY_CODE\", EMPLOYEE.\"TERMINATION_DATE\", EMPLOYEE.\"HIRED_DATE\","
           " LEAV_TRX.\"EMPCODE\",LEAV_TRX.\"LEAVE_CODE\",LEAV_TRX.\"DATE\",LEAV_TRX.\"DAY\","
           "LEAV_TRX.\"HOUR\",LEAV_TRX.\"APPROVED\",LEAV_TRX.\"ID\""
           " FROM \"EMPLOYEE.ADT\" EMPLOYEE, \"LEAV_TRX.ADT\" LEAV_TRX"
           " WHERE (EMPLOYEE.\"EMP_NO\" = LEAV_TRX.\"EMPCODE\")"
           " AND ((LEAV_TRX.\"DATE\" >= '" +
           from + "') AND (LEAV_TRX.\"DATE\" <= '" + to +
           "')) AND (LEAV_TRX.\"APPROVED\"='Y')"
           " ORDER BY LEAV_TRX.\"EMPCODE\", LEAV_TRX.\"LEAVE_CODE\", LEAV_TRX.\"DATE\"";
}

void exec(ADSHANDLE connection, const std::string& sql) {
    ADSHANDLE s = 0, cursor = 0;
    check(AdsCreateSQLStatement(connection, &s), "create statement");
    check(AdsStmtEnableEncryption(s, u8(kPassword)), "statement password");
    check(AdsExecuteSQLDirect(s, u8(sql), &cursor), sql.c_str());
    check(AdsCloseSQLStatement(s), "close statement");
}

void build(const std::string& folder, ADSHANDLE connection, uint64_t transactions) {
    ADSHANDLE t = 0;
    check(AdsCreateTable(connection, u8("DIGITS"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                         u8("D,Integer"), &t),
          "create DIGITS");
    for (int d = 0; d < 10; ++d) {
        std::string v = std::to_string(d);
        check(AdsAppendRecord(t), "append");
        check(AdsSetField(t, u8("D"), u8(v), static_cast<UNSIGNED32>(v.size())), "set");
        check(AdsWriteRecord(t), "write");
    }
    check(AdsCloseTable(t), "close");
    check(AdsCreateTable(connection, u8("EMPLOYEE.ADT"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                         u8("EMP_NO,Character,10;NAME,Character,30;DEPARTMENT_CODE,Character,6;"
                            "CATEGORY_CODE,Character,4;TERMINATION_DATE,Date;HIRED_DATE,Date"),
                         &t),
          "create EMPLOYEE");
    check(AdsCloseTable(t), "close");
    check(AdsCreateTable(connection, u8("LEAV_TRX.ADT"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                         u8("EMPCODE,Character,10;LEAVE_CODE,Character,4;DATE,Date;DAY,Double;"
                            "HOUR,Double;APPROVED,Character,1;ID,Integer"),
                         &t),
          "create LEAV_TRX");
    check(AdsCloseTable(t), "close");
    exec(connection,
         "INSERT INTO EMPLOYEE SELECT 'E' || substr('00000' || (a.D*1000+b.D*100+c.D*10+d.D), "
         "-5), 'Name ' || (a.D*1000+b.D*100+c.D*10+d.D), 'D' || b.D, 'C' || c.D, NULL, "
         "date('1990-01-01', '+' || (a.D*1000+b.D*100+c.D*10+d.D) || ' days') "
         "FROM DIGITS a, DIGITS b, DIGITS c, DIGITS d");
    // A transaction per 100,000 rows: n = batch*100000 + the five digits below.
    const uint64_t batches = std::max<uint64_t>(1, transactions / 100000);
    for (uint64_t batch = 0; batch < batches; ++batch) {
        std::string n = "(" + std::to_string(batch * 100000) +
                        " + a.D*10000 + b.D*1000 + c.D*100 + d.D*10 + e.D)";
        exec(connection,
             "INSERT INTO LEAV_TRX SELECT 'E' || substr('00000' || (" + n +
                 " * 7919 % 10000), -5), CASE " + n +
                 " % 4 WHEN 0 THEN 'AL' WHEN 1 THEN 'SL' WHEN 2 THEN 'ML' ELSE 'UL' END, "
                 "date('2002-01-01', '+' || (" +
                 n + " * 104729 % 1826) || ' days'), 1, 8, CASE WHEN " + n +
                 " % 10 = 0 THEN 'N' ELSE 'Y' END, " + n +
                 " + 1 FROM DIGITS a, DIGITS b, DIGITS c, DIGITS d, DIGITS e");
    }
    check(AdsOpenTable(connection, u8("EMPLOYEE.ADT"), nullptr, ADS_ADT, ADS_ANSI, 1, 1,
                       ADS_EXCLUSIVE, &t),
          "open EMPLOYEE");
    check(AdsEnableEncryption(t, u8(kPassword)), "password");
    check(AdsEncryptTable(t), "encrypt EMPLOYEE");
    check(AdsCloseTable(t), "close");
    (void)folder;
}

// Runs the statement on the engine and walks its cursor to the end, reading every row.
double engineRun(ADSHANDLE s, const std::string& sql, size_t& rows) {
    auto started = Clock::now();
    ADSHANDLE cursor = 0;
    check(AdsPrepareSQL(s, u8(sql)), "prepare");
    check(AdsExecuteSQL(s, &cursor), "execute");
    UNSIGNED32 length = 0;
    check(AdsGetRecordLength(cursor, &length), "record length");
    std::vector<UNSIGNED8> record(length);
    rows = 0;
    check(AdsGotoTop(cursor), "top");
    for (UNSIGNED16 eof = 0; AdsAtEOF(cursor, &eof) == AE_SUCCESS && !eof;
         check(AdsSkip(cursor, 1), "skip")) {
        UNSIGNED32 len = length;
        check(AdsGetRecord(cursor, record.data(), &len), "record");
        ++rows;
    }
    check(AdsCloseTable(cursor), "close cursor");
    return millisSince(started);
}

int sqliteCheck(int rc, sqlite3* db, const char* what) {
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return rc;
    std::fprintf(stderr, "SQLite %s failed: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
}

// The same statement run by SQLite on the same files: the rows tables attached under the names
// the statement uses, every row stepped and every column read.
double sqliteRun(sqlite3* db, const std::string& sql, size_t& rows) {
    auto started = Clock::now();
    sqlite3_stmt* stmt = nullptr;
    sqliteCheck(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), db, "prepare");
    rows = 0;
    int rc;
    const int columns = sqlite3_column_count(stmt);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) sqlite3_column_text(stmt, c);
        ++rows;
    }
    sqliteCheck(rc, db, "step");
    sqlite3_finalize(stmt);
    return millisSince(started);
}

template <class F>
double best(int times, F&& run) {
    double fastest = 1e300;
    for (int i = 0; i < times; ++i) fastest = std::min(fastest, run());
    return fastest;
}

constexpr int kServerTurns = 5;
constexpr const char* kServerFolder = "bench_sql";

// The month's and the year's statement on a server connection to a copy of the company, in
// turns with libpq running them by hand; prints the figures. The rows each gives must be as many
// as the folder gave.
void serverJoins(const std::string& folder, const std::string& month, size_t monthRows,
                 const std::string& year, size_t yearRows) {
    const std::string path = bench::serverPath();
    const std::string company = bench::serverFolder(path, kServerFolder);
    auto started = Clock::now();
    bench::copyToServer(folder, company, kPassword);
    std::fprintf(stderr, "copied to the server in %.1f s\n", bench::seconds(started));

    ADSHANDLE connection = 0, s = 0;
    check(AdsConnect(u8(company), &connection), "connect to the server");
    check(AdsCreateSQLStatement(connection, &s), "statement");
    check(AdsStmtEnableEncryption(s, u8(kPassword)), "statement password");
    check(AdsStmtSetTablePassword(s, u8("EMPLOYEE"), u8(kPassword)), "table password");
    check(AdsStmtSetTablePassword(s, u8("EMPLOYEE.ADT"), u8(kPassword)), "table password");

    bench::Pg pg(bench::connectionOf(path));
    pg.prepare("leave", bench::handLeaveStatement(
                            bench::rowsTableOf(pg, kServerFolder, "EMPLOYEE.ADT"),
                            bench::rowsTableOf(pg, kServerFolder, "LEAV_TRX.ADT"), false));
    // The statement's dates, as the hand-written side passes them.
    auto range = [](const std::string& sql) {
        const size_t from = sql.find(">= '") + 4, to = sql.find("<= '") + 4;
        return std::make_pair(sql.substr(from, 10), sql.substr(to, 10));
    };
    auto libpqRun = [&](const std::string& sql, size_t& rows) {
        const auto [from, to] = range(sql);
        const auto begun = Clock::now();
        rows = bench::readLeaveRows(pg.run("leave", {from.c_str(), to.c_str()}).get());
        return bench::seconds(begun);
    };

    size_t engineRows = 0, libpqRows = 0;
    engineRun(s, month, engineRows);  // the views' tables found, the password checked
    libpqRun(month, libpqRows);
    for (const auto& [sql, rows, stem] : {std::tuple(month, monthRows, "sql_month_join_server"),
                                          std::tuple(year, yearRows, "sql_year_join_server")}) {
        bench::Turns turns("libpq");
        for (int turn = 0; turn < kServerTurns; ++turn) {
            const double engineMs = engineRun(s, sql, engineRows);
            const double libpqSeconds = libpqRun(sql, libpqRows);
            turns.add(engineMs / 1000, libpqSeconds);
            if (engineRows != rows || libpqRows != rows) {
                std::fprintf(stderr,
                             "%s: %zu rows on the server, %zu by libpq, %zu in the folder\n", stem,
                             engineRows, libpqRows, rows);
                std::exit(1);
            }
        }
        turns.printStem(stem);
    }
    check(AdsCloseSQLStatement(s), "close statement");
    check(AdsDisconnect(connection), "disconnect");
    bench::removeServerTables(company, {"DIGITS", "EMPLOYEE.ADT", "LEAV_TRX.ADT"});
}

}  // namespace

int main(int argc, char** argv) {
    bool server = false;
    uint64_t transactions = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--server") == 0)
            server = true;
        else
            transactions = std::strtoull(argv[i], nullptr, 10);
    }
    if (transactions == 0) {
        std::fprintf(stderr, "usage: bench_sql [--server] [transactions]\n");
        return 2;
    }
    char pattern[] = "/tmp/velda-bench-sql-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string folder = pattern;
    ADSHANDLE connection = 0;
    check(AdsConnect(u8(folder), &connection), "connect");
    build(folder, connection, transactions);

    ADSHANDLE s = 0;
    check(AdsCreateSQLStatement(connection, &s), "statement");
    check(AdsStmtEnableEncryption(s, u8(kPassword)), "statement password");
    check(AdsStmtSetTablePassword(s, u8("EMPLOYEE"), u8(kPassword)), "table password");
    check(AdsStmtSetTablePassword(s, u8("EMPLOYEE.ADT"), u8(kPassword)), "table password");
    const std::string year = leaveStatement("2004-01-01", "2004-12-31");
    const std::string month = leaveStatement("2004-03-01", "2004-03-31");
    size_t yearRows = 0, monthRows = 0, sqliteRows = 0;
    engineRun(s, month, monthRows);  // the tables attached, the key derived
    double yearMs = best(3, [&] { return engineRun(s, year, yearRows); });
    double monthMs = best(3, [&] { return engineRun(s, month, monthRows); });

    sqlite3* db = nullptr;
    sqliteCheck(sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr), db, "open");
    std::string attach = "ATTACH '" + folder + "/EMPLOYEE.ADT.rows' AS emp KEY '" + kPassword +
                         "'; ATTACH '" + folder +
                         "/LEAV_TRX.ADT' AS trx KEY '';"
                         " CREATE TEMP VIEW \"EMPLOYEE.ADT\" AS SELECT * FROM emp.records;"
                         " CREATE TEMP VIEW \"LEAV_TRX.ADT\" AS SELECT * FROM trx.records;";
    sqliteCheck(sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr), db, "attach");
    sqliteRun(db, month, sqliteRows);  // the key derived
    double sqliteMs = best(3, [&] { return sqliteRun(db, year, sqliteRows); });
    size_t sqliteMonthRows = 0;
    double sqliteMonthMs = best(3, [&] { return sqliteRun(db, month, sqliteMonthRows); });
    sqlite3_close(db);
    if (sqliteMonthRows != monthRows)
        std::fprintf(stderr, "month row counts differ: engine %zu, SQLite %zu\n", monthRows,
                     sqliteMonthRows);
    if (sqliteRows != yearRows)
        std::fprintf(stderr, "row counts differ: engine %zu, SQLite %zu\n", yearRows, sqliteRows);

    double prepareMs = best(5, [&] {
        auto started = Clock::now();
        ADSHANDLE fresh = 0, stmt = 0, cursor = 0;
        check(AdsConnect(u8(folder), &fresh), "connect");
        check(AdsCreateSQLStatement(fresh, &stmt), "statement");
        check(AdsStmtEnableEncryption(stmt, u8(kPassword)), "statement password");
        check(AdsPrepareSQL(stmt, u8("SELECT * FROM \"EMPLOYEE.ADT\" WHERE EMP_NO = 'E00042'")),
              "prepare");
        check(AdsExecuteSQL(stmt, &cursor), "execute");
        check(AdsDisconnect(fresh), "disconnect");
        return millisSince(started);
    });

    // A statement of 10,000 nested brackets: refused by the translation, before SQLite parses.
    const std::string nested =
        "SELECT " + std::string(10000, '(') + "1" + std::string(10000, ')') + " FROM EMPLOYEE";
    double refuseMs = best(5, [&] {
        auto started = Clock::now();
        if (AdsPrepareSQL(s, u8(nested)) == AE_SUCCESS)
            std::fprintf(stderr, "10,000 nested brackets were accepted\n");
        return millisSince(started);
    });

    std::printf("sql_year_join_ms %.1f ms\n", yearMs);
    std::printf("sql_year_join_sqlite_ms %.1f ms\n", sqliteMs);
    std::printf("sql_year_join_ratio %.2f ratio\n", yearMs / sqliteMs);
    std::printf("sql_month_join_ms %.1f ms\n", monthMs);
    std::printf("sql_month_join_sqlite_ms %.1f ms\n", sqliteMonthMs);
    std::printf("sql_month_join_ratio %.2f ratio\n", monthMs / sqliteMonthMs);
    std::printf("sql_prepare_encrypted_ms %.2f ms\n", prepareMs);
    std::printf("sql_year_join_rows %zu rows\n", yearRows);
    std::printf("sql_refuse_nested_10000_ms %.3f ms\n", refuseMs);
    std::fflush(stdout);
    if (server) serverJoins(folder, month, monthRows, year, yearRows);
    check(AdsDisconnect(connection), "disconnect");
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
