// Download benchmark: a generated company of 10,000 employees (EMPLOYEE encrypted with the
// table password, as in the demo), 1,000,000 leave transactions over five years and a leave
// application for about nine in ten of them. For each layout, the last year's download through
// the code the dialog runs; in the same run, the same lines made by one SQLite statement on the
// same files (the join, the first matching application of each line, the formatting) and a
// small loop writing them; the ratio of the slowest layout to that baseline; the peak memory.
//   bench_download [transactions]
// The company is built in a child process, so the peak memory is the download's alone.
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
#include "bench/engine_check.h"
#include "download/core/leavedownload.h"
#include "engine/ace.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kEmployees = 10000;
constexpr int kFirstYear = 2021;
constexpr int kYears = 5;
constexpr const char* kPassword = "KORVA4816";

UNSIGNED8* u8(const char* s) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s));
}

using bench::check;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

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

}  // namespace

int main(int argc, char** argv) {
    int transactions = argc > 1 ? std::atoi(argv[1]) : 1000000;
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

    std::string last = std::to_string(kFirstYear + kYears - 1);
    started = Clock::now();
    long baselineLines =
        baseline(folder, last + "-01-01", last + "-12-31", folder + "/baseline.txt");
    double baselineSeconds = seconds(started);
    std::fprintf(stderr, "baseline: %ld lines\n", baselineLines);
    std::printf("download_year_sqlite_s %.3f s\n", baselineSeconds);

    // The download of each layout, as the dialog makes it.
    const char* names[] = {"standard", "extended1", "extended2", "extended3"};
    double slowest = 0;
    {
        rtl::TComponent owner(nullptr);
        owner.SetName("FormCompany");
        auto* connection = owner.CreateOwned<ads::TAdsConnection>();
        connection->SetName("DatabaseMain");
        connection->SetConnectPath(folder);
        connection->Connect();
        int year = kFirstYear + kYears - 1;
        for (int layout = 0; layout < 4; ++layout) {
            std::string output = folder + "/download_" + names[layout] + ".txt";
            started = Clock::now();
            download::TDownloadFile file(output);
            std::int64_t lines = download::RunLeaveDownload(
                *connection, rtl::EncodeDate(year, 1, 1), rtl::EncodeDate(year, 12, 31),
                static_cast<download::TOutputLayout>(layout), file);
            file.Close();
            double took = seconds(started);
            slowest = std::max(slowest, took);
            std::fprintf(stderr, "%s: %lld lines\n", names[layout], static_cast<long long>(lines));
            std::printf("download_year_s_%s %.3f s\n", names[layout], took);
        }
    }
    std::printf("download_year_ratio %.2f x\n", slowest / baselineSeconds);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("download_peak_mb %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);

    if (std::getenv("KEEP")) {
        std::printf("%s\n", folder.c_str());
        return 0;
    }
    std::filesystem::remove_all(folder);
    return 0;
}
