// Download benchmark: a generated company of 10,000 employees (EMPLOYEE encrypted with the
// table password, as in the demo), 1,000,000 leave transactions over five years and a leave
// application for about nine in ten of them. For each layout, the last year's download through
// the code the dialog runs; in the same run, the same lines made by one SQLite statement on the
// same files (the join, the first matching application of each line, the formatting) and a
// small loop writing them; the ratio of the slowest layout to that baseline; the peak memory.
//   bench_download [--server] [transactions]
// The company is built in a child process, so the peak memory is the download's alone.
//
// With --server, the company is also copied to a folder on a PostgreSQL server (with the built
// velda-db, through the engine's calls; EMPLOYEE stays encrypted), and the same year is
// downloaded from there for each layout (the same code, the connection's path the server
// folder), in turns with libpq running the layout's leave statement by hand over the rows tables
// and reading every row and column (download_year_server_ms_<layout>, ..._libpq_ms_<layout>,
// ..._ratio_<layout>; download_year_server_ms, _libpq_ms and _ratio are the slowest layout's).
// Each file from the server must be byte for byte the folder's file of its layout: a file that
// differs otherwise than in the order of lines of one employee, leave code and date ends the run
// at once; one that differs only so is reported on standard error, the figures are printed (the
// work was the same) and the run exits with 1. download_year_server_peak_mb is the peak memory of a
// child process that only downloads the four layouts from the server, forked before this process
// read anything. The server is the path in VELDA_BENCH_SERVER when set, else one the benchmark
// starts and stops (own_server.h).
#include <libpq-fe.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "bench/baseline.h"
#include "bench/download_files.h"
#include "bench/engine_check.h"
#include "bench/libpq.h"
#include "bench/own_server.h"
#include "bench/server_company.h"
#include "download/core/leavedownload.h"
#include "engine/ace.h"

namespace {

using bench::Clock;
using bench::seconds;

constexpr int kEmployees = 10000;
constexpr int kFirstYear = 2021;
constexpr int kYears = 5;
constexpr const char* kPassword = "KORVA4816";

UNSIGNED8* u8(const char* s) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s));
}

using bench::check;

// splitmix64: the same company on every run.
struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
};

void set(ADSHANDLE t, const char* field, const std::string& value) {
    if (value.empty()) return;
    check(AdsSetField(t, u8(field), u8(value.c_str()), static_cast<UNSIGNED32>(value.size())),
          field);
}

ADSHANDLE create(ADSHANDLE connection, const char* name, const char* fields) {
    ADSHANDLE t = 0;
    check(AdsCreateTable(connection, u8(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                         ADS_CHECKRIGHTS, 0, u8(fields), &t),
          name);
    return t;
}

void index(ADSHANDLE t, const char* tag, const char* expression) {
    ADSHANDLE i = 0;
    check(AdsCreateIndex61(t, nullptr, u8(tag), u8(expression), nullptr, nullptr, 0, 512, &i), tag);
}

std::string employeeNumber(int i) {
    char text[24];
    std::snprintf(text, sizeof text, "E%05d", i);
    return text;
}

// Days from 1 January of kFirstYear to the dates of the five years, as YYYYMMDD texts.
std::string dateText(int dayOfRange) {
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = kFirstYear;
    for (;;) {
        bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        int days = leap ? 366 : 365;
        if (dayOfRange < days) {
            int month = 0;
            for (; month < 12; ++month) {
                int length = lengths[month] + (month == 1 && leap ? 1 : 0);
                if (dayOfRange < length) break;
                dayOfRange -= length;
            }
            char text[40];
            std::snprintf(text, sizeof text, "%04d%02d%02d", year, month + 1, dayOfRange + 1);
            return text;
        }
        dayOfRange -= days;
        ++year;
    }
}

void build(const std::string& folder, int transactions) {
    ADSHANDLE c = 0;
    check(AdsConnect(u8(folder.c_str()), &c), "connect");
    Random random{20261209};

    ADSHANDLE e = create(c, "EMPLOYEE.adt",
                         "EMP_NO,Character,12;NAME,Character,40;DOB,Date;HIRED_DATE,Date;"
                         "DEPARTMENT_CODE,Character,8;CATEGORY_CODE,Character,8;"
                         "TERMINATION_DATE,Date");
    for (int i = 1; i <= kEmployees; ++i) {
        check(AdsAppendRecord(e), "append");
        set(e, "EMP_NO", employeeNumber(i));
        set(e, "NAME", "Employee " + std::to_string(i));
        set(e, "DOB", "19800101");
        set(e, "HIRED_DATE", "20100101");
        set(e, "DEPARTMENT_CODE", "OPS");
        set(e, "CATEGORY_CODE", "STAFF");
        check(AdsWriteRecord(e), "write");
    }
    index(e, "EMP_NO", "EMP_NO");
    check(AdsCloseTable(e), "close");
    check(AdsOpenTable(c, u8("EMPLOYEE.adt"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECKRIGHTS, ADS_EXCLUSIVE, &e),
          "open");
    check(AdsEnableEncryption(e, u8(kPassword)), "password");
    check(AdsEncryptTable(e), "encrypt");
    check(AdsCloseTable(e), "close");

    ADSHANDLE l = create(c, "LEAV_TRX.adt",
                         "EMPCODE,Character,12;LEAVE_CODE,Character,8;DATE,Date;DAY,Double;"
                         "HOUR,Double;APPROVED,Character,1;ID,Integer");
    ADSHANDLE a = create(c, "empleave.adt",
                         "EMPCODE,Character,12;leave_code,Character,8;ID,Integer;AMPM,Character,2;"
                         "REFERENCE,Character,40;REMARKS,Character,40");
    const char* codes[] = {"AL", "AL", "MC", "NPLHOUR", "CL"};
    int days = 0;
    for (int y = 0; y < kYears; ++y) {
        int year = kFirstYear + y;
        days += (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 366 : 365;
    }
    for (int id = 1; id <= transactions; ++id) {
        std::string employee = employeeNumber(1 + random.below(kEmployees));
        std::string code = codes[random.below(5)];
        bool hours = code == "NPLHOUR";
        bool half = !hours && random.below(4) == 0;
        int flag = random.below(20);
        check(AdsAppendRecord(l), "append");
        set(l, "EMPCODE", employee);
        set(l, "LEAVE_CODE", code);
        set(l, "DATE", dateText(random.below(days)));
        set(l, "DAY", hours ? "0" : half ? "0.5" : std::to_string(1 + random.below(3)));
        set(l, "HOUR", hours ? std::to_string(1 + random.below(7)) + ".5" : "0");
        set(l, "APPROVED", flag < 15 ? "Y" : flag < 19 ? "N" : "");
        set(l, "ID", std::to_string(id));
        check(AdsWriteRecord(l), "write");
        if (random.below(10) != 0) {
            check(AdsAppendRecord(a), "append");
            set(a, "EMPCODE", employee);
            set(a, "leave_code", code);
            set(a, "ID", std::to_string(id));
            set(a, "AMPM", half ? (random.below(2) ? "AM" : "PM") : "");
            set(a, "REFERENCE", "LA-" + std::to_string(100000 + id));
            set(a, "REMARKS", random.below(3) ? "Annual holiday" : "Medical appointment");
            check(AdsWriteRecord(a), "write");
        }
    }
    index(l, "EMPCODE", "EMPCODE;LEAVE_CODE;DATE");
    index(a, "EMPCODE", "EMPCODE");
    check(AdsCloseTable(l), "close");
    check(AdsCloseTable(a), "close");
    check(AdsDisconnect(c), "disconnect");
}

// The baseline: SQLite (through the engine's statements, on the same files) makes every line of
// the standard layout in one statement, the first matching application of each line included;
// a small loop writes them.
const char* kSpaces40 = "'                                        '";

std::string padRight(const std::string& column, int width) {
    return "CASE WHEN length(" + column + ")>=" + std::to_string(width) + " THEN " + column +
           " ELSE substr(" + column + "||" + kSpaces40 + ",1," + std::to_string(width) + ") END";
}

std::string baselineSql(const std::string& from, const std::string& to) {
    std::string date =
        R"(substr(t."DATE",9,2)||'/'||substr(t."DATE",6,2)||'/'||substr(t."DATE",1,4))";
    std::string amount =
        R"(printf('%.2f',CASE WHEN t."LEAVE_CODE"='NPLHOUR' THEN t."HOUR" ELSE t."DAY" END))";
    // The generated applications have one row per transaction at most, so the outer join gives
    // each line its first matching application; SQLite indexes the join itself.
    std::string application =
        "CASE WHEN a.\"EMPCODE\" IS NULL THEN '' ELSE substr('  '||ifnull(a.\"AMPM\",''),-2,2)||" +
        padRight("ifnull(a.\"REFERENCE\",'')", 40) + "||" +
        padRight("ifnull(a.\"REMARKS\",'')", 40) + " END";
    return "SELECT " + padRight("t.\"EMPCODE\"", 12) + "||" + padRight("t.\"LEAVE_CODE\"", 8) +
           "||" + date + "||CASE WHEN length(" + amount + ")>=6 THEN " + amount +
           " ELSE substr('      '||" + amount + ",-6,6) END||" + date + "||" + application +
           "||t.\"APPROVED\" AS LINE" +
           " FROM \"EMPLOYEE.ADT\" e, \"LEAV_TRX.ADT\" t LEFT JOIN \"empleave.adt\" a ON "
           "a.\"EMPCODE\"=t.\"EMPCODE\" AND a.\"leave_code\"=t.\"LEAVE_CODE\" AND "
           "a.\"ID\"=t.\"ID\" WHERE e.\"EMP_NO\"=t.\"EMPCODE\""
           " AND t.\"DATE\">='" +
           from + "' AND t.\"DATE\"<='" + to +
           "' AND t.\"APPROVED\"='Y' ORDER BY t.\"EMPCODE\", t.\"LEAVE_CODE\", t.\"DATE\"";
}

// Runs the baseline and writes its lines; returns how many.
long baseline(const std::string& folder, const std::string& from, const std::string& to,
              const std::string& output) {
    ADSHANDLE c = 0, s = 0, cursor = 0;
    check(AdsConnect(u8(folder.c_str()), &c), "connect");
    check(AdsCreateSQLStatement(c, &s), "statement");
    check(AdsStmtEnableEncryption(s, u8(kPassword)), "password");
    std::string sql = baselineSql(from, to);
    check(AdsExecuteSQLDirect(s, u8(sql.c_str()), &cursor), "baseline statement");
    std::FILE* file = std::fopen(output.c_str(), "wb");
    if (!file) std::exit(1);
    long lines = 0;
    check(AdsGotoTop(cursor), "top");
    std::vector<char> buffer(512);
    for (;;) {
        UNSIGNED16 eof = 0;
        check(AdsAtEOF(cursor, &eof), "eof");
        if (eof) break;
        UNSIGNED32 length = static_cast<UNSIGNED32>(buffer.size());
        check(AdsGetField(cursor, u8("LINE"), reinterpret_cast<UNSIGNED8*>(buffer.data()), &length,
                          ADS_NONE),
              "line");
        // The cursor gives the column at its full width; the lines end in the approved flag.
        while (length > 0 && buffer[length - 1] == ' ') --length;
        std::fwrite(buffer.data(), 1, length, file);
        std::fwrite("\r\n", 1, 2, file);
        ++lines;
        check(AdsSkip(cursor, 1), "skip");
    }
    std::fclose(file);
    check(AdsCloseTable(cursor), "close");
    check(AdsCloseSQLStatement(s), "close statement");
    check(AdsDisconnect(c), "disconnect");
    return lines;
}

constexpr const char* kLayoutNames[] = {"standard", "extended1", "extended2", "extended3"};
constexpr int kServerTurns = 3;
constexpr const char* kServerFolder = "bench_download";

// One download of the year through the code the dialog runs, written to `output`; its lines.
std::int64_t downloadYear(ads::TAdsConnection& connection, int year, int layout,
                          const std::string& output) {
    download::TDownloadFile file(output);
    const std::int64_t lines = download::RunLeaveDownload(
        connection, rtl::EncodeDate(year, 1, 1), rtl::EncodeDate(year, 12, 31),
        static_cast<download::TOutputLayout>(layout), file);
    file.Close();
    return lines;
}

// A company connection component as the dialog's form owns it, connected to `path`.
ads::TAdsConnection& companyConnection(rtl::TComponent& owner, const std::string& path) {
    owner.SetName("FormCompany");
    auto* connection = owner.CreateOwned<ads::TAdsConnection>();
    connection->SetName("DatabaseMain");
    connection->SetConnectPath(path);
    connection->Connect();
    return *connection;
}

// Compares the server's file of a layout with the folder's: how many lines of one employee,
// leave code and date stand in another order (0: byte for byte the same). Any other difference
// ends the run.
size_t compareWithFolder(const std::string& server, const std::string& folder, const char* layout) {
    const bench::FileComparison c =
        bench::compareDownloads(bench::fileBytes(server), bench::fileBytes(folder));
    if (c.sameLines) return c.moved;
    std::fprintf(stderr,
                 "%s: the download from the server differs from the folder's at byte %zu "
                 "(%s and %s)\n",
                 layout, c.firstByte, server.c_str(), folder.c_str());
    std::exit(1);
}

// The peak memory in MB of a child process that downloads the year of every layout from the
// server company into `folder`/server_peak_<layout>.txt and does nothing else. Called before
// this process reads anything, as a forked child starts from its parent's peak.
double serverDownloadPeak(const std::string& company, const std::string& folder, int year) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        rtl::TComponent owner(nullptr);
        ads::TAdsConnection& connection = companyConnection(owner, company);
        for (int layout = 0; layout < 4; ++layout)
            downloadYear(connection, year, layout,
                         folder + "/server_peak_" + kLayoutNames[layout] + ".txt");
        std::fflush(nullptr);
        std::_Exit(0);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the download from the server failed\n");
        std::exit(1);
    }
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The year from the server for each layout, in turns with libpq running the layout's leave
// statement by hand; every file checked against the folder's. Prints the figures; false when a
// file was not byte for byte the folder's (said on standard error).
bool serverDownloads(const std::string& path, const std::string& company, const std::string& folder,
                     int year, double peakMb) {
    bench::Pg pg(bench::connectionOf(path));
    const std::string employees = bench::rowsTableOf(pg, kServerFolder, "EMPLOYEE.adt");
    const std::string leave = bench::rowsTableOf(pg, kServerFolder, "LEAV_TRX.adt");
    pg.prepare("approved", bench::handLeaveStatement(employees, leave, false));
    pg.prepare("decided", bench::handLeaveStatement(employees, leave, true));
    const std::string from = std::to_string(year) + "-01-01", to = std::to_string(year) + "-12-31";

    rtl::TComponent owner(nullptr);
    ads::TAdsConnection& connection = companyConnection(owner, company);
    std::vector<bench::Turns> layouts;
    bool identical = true;
    for (int layout = 0; layout < 4; ++layout) {
        const char* name = kLayoutNames[layout];
        const std::string mine = folder + "/download_" + name + ".txt";
        const std::string output = folder + "/server_" + name + ".txt";
        size_t moved = compareWithFolder(folder + "/server_peak_" + name + ".txt", mine, name);
        bench::Turns turns("libpq");
        for (int turn = 0; turn < kServerTurns; ++turn) {
            auto started = Clock::now();
            const std::int64_t lines = downloadYear(connection, year, layout, output);
            const double downloadSeconds = seconds(started);
            started = Clock::now();
            bench::PgResult rows =
                pg.run(layout == 1 ? "decided" : "approved", {from.c_str(), to.c_str()});
            const size_t read = bench::readLeaveRows(rows.get());
            rows.reset();
            turns.add(downloadSeconds, seconds(started));
            moved = std::max(moved, compareWithFolder(output, mine, name));
            if (turn == 0)
                std::fprintf(stderr, "server %s: %lld lines, libpq %zu rows\n", name,
                             static_cast<long long>(lines), read);
        }
        turns.printStem("download_year_server", std::string("_") + name);
        layouts.push_back(turns);
        if (moved > 0)
            std::fprintf(stderr,
                         "%s: the download from the server differs from the folder's: %zu lines "
                         "of one employee, leave code and date come in another order\n",
                         name, moved);
        identical = identical && moved == 0;
    }
    const auto slowest = std::max_element(
        layouts.begin(), layouts.end(),
        [](const auto& a, const auto& b) { return a.engineMedian() < b.engineMedian(); });
    slowest->printStem("download_year_server");
    std::printf("download_year_server_peak_mb %.1f MB\n", peakMb);
    std::fflush(stdout);
    return identical;
}

}  // namespace

int main(int argc, char** argv) {
    bool server = false;
    int transactions = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--server") == 0)
            server = true;
        else
            transactions = std::atoi(argv[i]);
    }
    if (transactions <= 0) {
        std::fprintf(stderr, "usage: bench_download [--server] [transactions]\n");
        return 2;
    }
    char pattern[] = "/tmp/velda-bench-download-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string folder = pattern;

    auto started = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        build(folder, transactions);
        std::_Exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    std::fprintf(stderr, "built %d transactions in %.1f s\n", transactions, seconds(started));

    const int year = kFirstYear + kYears - 1;
    std::string path, company;
    double serverPeakMb = 0;
    if (server) {
        path = bench::serverPath();
        company = bench::serverFolder(path, kServerFolder);
        started = Clock::now();
        bench::copyToServer(folder, company, kPassword);
        std::fprintf(stderr, "copied to the server in %.1f s\n", seconds(started));
        serverPeakMb = serverDownloadPeak(company, folder, year);
    }

    std::string last = std::to_string(year);
    started = Clock::now();
    long baselineLines =
        baseline(folder, last + "-01-01", last + "-12-31", folder + "/baseline.txt");
    double baselineSeconds = seconds(started);
    std::fprintf(stderr, "baseline: %ld lines\n", baselineLines);
    std::printf("download_year_sqlite_s %.3f s\n", baselineSeconds);

    // The download of each layout, as the dialog makes it.
    double slowest = 0;
    {
        rtl::TComponent owner(nullptr);
        ads::TAdsConnection& connection = companyConnection(owner, folder);
        for (int layout = 0; layout < 4; ++layout) {
            std::string output = folder + "/download_" + kLayoutNames[layout] + ".txt";
            started = Clock::now();
            std::int64_t lines = downloadYear(connection, year, layout, output);
            double took = seconds(started);
            slowest = std::max(slowest, took);
            std::fprintf(stderr, "%s: %lld lines\n", kLayoutNames[layout],
                         static_cast<long long>(lines));
            std::printf("download_year_s_%s %.3f s\n", kLayoutNames[layout], took);
        }
    }
    std::printf("download_year_ratio %.2f x\n", slowest / baselineSeconds);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("download_peak_mb %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);

    bool identical = true;
    if (server) {
        identical = serverDownloads(path, company, folder, year, serverPeakMb);
        bench::removeServerTables(company, {"EMPLOYEE.adt", "LEAV_TRX.adt", "empleave.adt"});
    }
    if (!identical) return 1;  // the folder kept, to look at the files
    if (std::getenv("KEEP")) {
        std::printf("%s\n", folder.c_str());
        return 0;
    }
    std::filesystem::remove_all(folder);
    return 0;
}
