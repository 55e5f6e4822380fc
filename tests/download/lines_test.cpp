// The leave selection statement, the four layouts, the amount and the download file, on rows
// given as literals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <limits>

#include "download/core/leavedownload.h"
#include "rtl/stringlist.h"
#include "tests/download/download_test_support.h"
#include "tests/support/engine_test_helpers.h"

namespace {

using namespace downloadtest;
using download::TOutputLayout;

const char* kSelect =
    R"(SELECT EMPLOYEE."EMP_NO", EMPLOYEE."DEPARTMENT_CODE", EMPLOYEE."CATEGORY_CODE", )"
    R"(EMPLOYEE."TERMINATION_DATE", EMPLOYEE."HIRED_DATE", LEAV_TRX."EMPCODE",LEAV_TRX."LEAVE_CODE",)"
    R"(LEAV_TRX."DATE",LEAV_TRX."DAY",LEAV_TRX."HOUR",LEAV_TRX."APPROVED",LEAV_TRX."ID" FROM )"
    R"("EMPLOYEE.ADT" EMPLOYEE, "LEAV_TRX.ADT" LEAV_TRX WHERE (EMPLOYEE."EMP_NO" = )"
    R"(LEAV_TRX."EMPCODE") AND ((LEAV_TRX."DATE" >= '2006-03-01') AND (LEAV_TRX."DATE" <= )"
    R"('2006-03-31')))";
const char* kOrder = R"( ORDER BY LEAV_TRX."EMPCODE", LEAV_TRX."LEAVE_CODE", LEAV_TRX."DATE")";

TEST(LeaveSelection, StatementPiecesAndApprovalClauseOfEachLayout) {
    rtl::TDateTime from = rtl::EncodeDate(2006, 3, 1), to = rtl::EncodeDate(2006, 3, 31) + 0.75;
    std::string approvedOnly = R"( AND (LEAV_TRX."APPROVED"='Y'))";
    EXPECT_EQ(download::LeaveSelectionSql(from, to, TOutputLayout::Standard),
              std::string(kSelect) + approvedOnly + kOrder);
    EXPECT_EQ(download::LeaveSelectionSql(from, to, TOutputLayout::Extended1),
              std::string(kSelect) +
                  R"( AND ((LEAV_TRX."APPROVED"='Y') OR (LEAV_TRX."APPROVED"='N')))" + kOrder);
    EXPECT_EQ(download::LeaveSelectionSql(from, to, TOutputLayout::Extended2),
              std::string(kSelect) + approvedOnly + kOrder);
    EXPECT_EQ(download::LeaveSelectionSql(from, to, TOutputLayout::Extended3),
              std::string(kSelect) + approvedOnly + kOrder);
    // From later than To is not refused: the statement simply selects nothing.
    EXPECT_NE(download::LeaveSelectionSql(to, from, TOutputLayout::Standard)
                  .find(R"(>= '2006-03-31') AND (LEAV_TRX."DATE" <= '2006-03-01'))"),
              std::string::npos);
}

TEST(LeaveSelection, OnlyTheFourListIndexesAreLayouts) {
    EXPECT_FALSE(download::LayoutOfIndex(-1));
    EXPECT_FALSE(download::LayoutOfIndex(4));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(static_cast<int>(*download::LayoutOfIndex(i)), i);
}

TEST(LeaveAmount, HalvesRoundAwayFromZeroAsTheDecimalReads) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {0, "0.00"},          {3.5, "3.50"},     {0.125, "0.13"},       {1.005, "1.01"},
        {2.675, "2.68"},      {1.015, "1.02"},   {-1.005, "-1.01"},     {-2.675, "-2.68"},
        {0.004, "0.00"},      {-0.004, "0.00"},  {0.995, "1.00"},       {-0.5, "-0.50"},
        {999.995, "1000.00"}, {1000, "1000.00"}, {12345.6, "12345.60"}, {1.0049999, "1.00"},
        {-3, "-3.00"},        {1e-20, "0.00"},
    };
    for (const Case& c : cases) EXPECT_EQ(download::FormatAmount(c.value), c.text) << c.value;
}

// Whole, half and quarter amounts are written without the general format: both ways agree on
// them, on their neighbours and at the edges of the short way, and under another decimal
// separator.
TEST(LeaveAmount, TheShortWayForQuartersWritesWhatTheGeneralFormatWrites) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = HUGE_VAL;
    const double edges[][4] = {{-0.0, 0.005, -0.005, 0.125},
                               {-0.375, 2.675, 0.1, 123456789.75},
                               {999999999999.75, -999999999999.75, 1e12, -1e12},
                               {1e12 + 0.25, 1e15, -1e15, 4503599627370495.5},
                               {9007199254740992.0, 1e300, 5e-324, nan},
                               {inf, -inf, 0.0, 0.0}};
    std::vector<double> values;
    for (const auto& row : edges) values.insert(values.end(), std::begin(row), std::end(row));
    for (int quarter = -40; quarter <= 40; ++quarter) values.push_back(quarter / 4.0);
    for (size_t i = 0, plain = values.size(); i < plain; ++i)  // and each one's neighbours
        for (double toward : {-inf, inf}) values.push_back(std::nextafter(values[i], toward));
    const char previous = rtl::FormatSettings().DecimalSeparator;
    for (char separator : {'.', ','}) {
        rtl::FormatSettings().DecimalSeparator = separator;
        for (double v : values)
            EXPECT_EQ(download::FormatAmount(v), rtl::FormatFloat("0.00", v))
                << std::setprecision(17) << v << " separator " << separator;
    }
    rtl::FormatSettings().DecimalSeparator = previous;
    EXPECT_EQ(download::FormatAmount(-7.25), "-7.25");
    EXPECT_EQ(download::FormatAmount(nan), "NAN");
    EXPECT_EQ(download::FormatAmount(-inf), "-INF");
    EXPECT_EQ(download::FormatAmount(999999999999.75), "999999999999.75");
}

// Line dates are written without the general format for four-digit years: both ways agree on
// every day of years around the epoch and the century turns, at the ends of the short way,
// with times of day and before the epoch, under other date separators.
TEST(LeaveDate, TheShortWayWritesWhatTheGeneralFormatWrites) {
    std::vector<rtl::TDateTime> dates;
    for (int year : {1899, 1900, 1999, 2000, 2024, 2100})
        for (rtl::TDateTime d = rtl::EncodeDate(year, 1, 1); d < rtl::EncodeDate(year + 1, 1, 1);
             d += 1)
            dates.push_back(d);
    for (int year : {1, 999, 1000, 9999})
        for (int month : {1, 12})
            dates.push_back(rtl::EncodeDate(year, month, month == 1 ? 1 : 31));
    for (double d : {0.0, 0.75, -0.25, -1.0, -1.5, -700000.0, 45000.999999, 2958465.0, 2958466.0})
        dates.push_back(d);
    const char previous = rtl::FormatSettings().DateSeparator;
    for (char separator : {'/', '-', '.'}) {
        rtl::FormatSettings().DateSeparator = separator;
        for (rtl::TDateTime d : dates)
            EXPECT_EQ(download::FormatLineDate(d), rtl::FormatDateTime("dd/mm/yyyy", d))
                << std::setprecision(17) << d << " separator " << separator;
    }
    rtl::FormatSettings().DateSeparator = previous;
    EXPECT_EQ(download::FormatLineDate(rtl::EncodeDate(2006, 3, 5)), "05/03/2006");
}

rtl::TDateTime march(int day) {
    return rtl::EncodeDate(2006, 3, day);
}

download::TApplicationFields app(std::string ampm, std::string ref, std::string rem) {
    return {std::move(ampm), std::move(ref), std::move(rem)};
}

std::string lineOf(TOutputLayout layout, const Row& row, MapLookup* lookup) {
    LiteralRows rows({row});
    return download::BuildLeaveLine(rows, layout, lookup).Text;
}

TEST(LeaveLayouts, FieldByFieldWithAndWithoutTheApplication) {
    MapLookup lookup;
    lookup.Add("E001", "AL", 7, app("PM", "LA-7", "Family matters"));
    Row matched{"E001", "AL", march(5), 1.5, 0, "Y", 7};
    Row unmatched{"E001", "AL", march(5), 1.5, 0, "N", 8};
    std::string emp = pad("E001", 12), leave = pad("AL", 8), date = "05/03/2006";
    std::string amount = "  1.50", apps = "PM" + pad("LA-7", 40) + pad("Family matters", 40);

    EXPECT_EQ(lineOf(TOutputLayout::Standard, matched, &lookup),
              emp + leave + date + amount + date + apps + "Y");
    EXPECT_EQ(lineOf(TOutputLayout::Extended1, matched, &lookup),
              emp + leave + date + date + amount + apps + "Y");
    EXPECT_EQ(lineOf(TOutputLayout::Extended2, matched, &lookup),
              emp + leave + date + amount + apps.substr(2));
    EXPECT_EQ(lineOf(TOutputLayout::Extended3, matched, nullptr),
              emp + leave + date + amount + date);
    EXPECT_EQ(lineOf(TOutputLayout::Standard, matched, &lookup).size(), 129u);
    EXPECT_EQ(lineOf(TOutputLayout::Extended2, matched, &lookup).size(), 116u);
    EXPECT_EQ(lineOf(TOutputLayout::Extended3, matched, nullptr).size(), 46u);

    // Without an application the three looked-up fields are left out altogether.
    EXPECT_EQ(lineOf(TOutputLayout::Standard, unmatched, &lookup),
              emp + leave + date + amount + date + "N");
    EXPECT_EQ(lineOf(TOutputLayout::Extended1, unmatched, &lookup),
              emp + leave + date + date + amount + "N");
    EXPECT_EQ(lineOf(TOutputLayout::Extended2, unmatched, &lookup), emp + leave + date + amount);
    EXPECT_EQ(lineOf(TOutputLayout::Standard, unmatched, &lookup).size(), 47u);
    EXPECT_EQ(lineOf(TOutputLayout::Extended2, unmatched, &lookup).size(), 36u);
}

TEST(LeaveLayouts, FieldsReportedForChecking) {
    MapLookup lookup;
    LiteralRows rows({{"E0000000000013", "AL", march(1), 1234.5, 0, "Y", 1}});
    download::TLeaveLine line = download::BuildLeaveLine(rows, TOutputLayout::Standard, &lookup);
    EXPECT_TRUE(line.UsesApplication);
    EXPECT_FALSE(line.ApplicationMatched);
    ASSERT_EQ(line.Fields.size(), 6u);
    EXPECT_EQ(line.Fields[0].Name, "Employee code");
    EXPECT_EQ(line.Fields[0].Value, "E0000000000013");
    EXPECT_EQ(line.Fields[0].Width, 12);
    EXPECT_EQ(line.Fields[3].Name, "Amount");
    EXPECT_EQ(line.Fields[3].Value, "1234.50");
    EXPECT_EQ(line.Fields[5].Name, "Approved");
    EXPECT_EQ(line.Fields[5].Width, 0);
    EXPECT_EQ(lookup.calls, 1);
}

TEST(LeaveLayouts, HourAmountOnlyForNplhourExactly) {
    struct Case {
        const char* code;
        const char* amount;
    } cases[] = {{"NPLHOUR", "  3.50"},
                 {"nplhour", "  0.25"},
                 {"NPLHOURS", "  0.25"},
                 {"NPLHOU", "  0.25"},
                 {"XNPLHOUR", "  0.25"}};
    for (const Case& c : cases) {
        for (TOutputLayout layout :
             {TOutputLayout::Standard, TOutputLayout::Extended2, TOutputLayout::Extended3}) {
            MapLookup lookup;
            std::string line = lineOf(layout, {"E1", c.code, march(1), 0.25, 3.5, "Y", 1}, &lookup);
            EXPECT_EQ(line.substr(30, 6), c.amount) << c.code;
        }
        MapLookup lookup;
        std::string ext1 =
            lineOf(TOutputLayout::Extended1, {"E1", c.code, march(1), 0.25, 3.5, "Y", 1}, &lookup);
        EXPECT_EQ(ext1.substr(40, 6), c.amount) << c.code;
    }
}

TEST(LeaveLayouts, NothingIsCutLongValuesShiftTheLine) {
    MapLookup lookup;
    lookup.Add("ABCDEFGHIJKLM", "AL", 1, app("A", "", ""));
    std::string line = lineOf(TOutputLayout::Standard,
                              {"ABCDEFGHIJKLM", "AL", march(1), 1000, 0, "Y", 1}, &lookup);
    EXPECT_EQ(line.size(), 129u + 1 + 1);  // 13-character code, 7-character amount
    EXPECT_EQ(line.substr(0, 13), "ABCDEFGHIJKLM");
    EXPECT_EQ(line.substr(31, 7), "1000.00");
    EXPECT_EQ(line.substr(48, 2), " A");  // one-letter AM/PM is right-aligned
    EXPECT_EQ(
        lineOf(TOutputLayout::Extended3, {"E1", "AL", march(1), -12345.678, 0, "Y", 1}, nullptr)
            .substr(30, 9),
        "-12345.68");
    EXPECT_EQ(lineOf(TOutputLayout::Extended3, {"E1", "AL", march(1), -1, 0, "Y", 1}, nullptr)
                  .substr(30, 6),
              " -1.00");
    lookup.Add("E1", "MC", 2, app("", "R", "x"));
    EXPECT_EQ(lineOf(TOutputLayout::Extended1, {"E1", "MC", march(1), 0, 0, "Y", 2}, &lookup)
                  .substr(40, 10),
              "  0.00  R ");
}

TEST(LeaveLayouts, ApplicationLayoutsNeedALookup) {
    LiteralRows rows({{"E1", "AL", march(1), 1, 0, "Y", 1}});
    EXPECT_THROW(download::BuildLeaveLine(rows, TOutputLayout::Standard, nullptr), rtl::Exception);
}

class DownloadFileTest : public ::testing::Test {
  protected:
    // The names in the folder, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    testsupport::TempFolder folder{"velda-download"};
};

// Files of this process may grow to `bytes` while it lives (a write beyond fails with EFBIG, as
// on a full disk, for root too).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        signal_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, signal_);
    }

  private:
    rlimit saved_{};
    sighandler_t signal_ = SIG_DFL;
};

TEST_F(DownloadFileTest, LinesEndWithCrLfAndARerunReplacesTheFile) {
    std::string path = folder / "out.txt";
    writeFile(path, std::string(5000, 'x'));
    MapLookup lookup;
    lookup.Add("E1", "AL", 1,
               app("AM",
                   "R\xE9"
                   "f",
                   "caf\xE9"));  // Windows-1252 bytes stay single
    for (int run = 0; run < 2; ++run) {
        LiteralRows rows(
            {{"E1", "AL", march(1), 1, 0, "Y", 1}, {"E2", "MC", march(2), 2, 0, "Y", 2}});
        download::TDownloadFile file(path);
        EXPECT_EQ(download::WriteLeaveLines(rows, TOutputLayout::Standard, &lookup, file), 2);
        file.Close();
        std::string bytes = readFile(path);
        EXPECT_EQ(bytes.size(), 129u + 2 + 47 + 2);
        EXPECT_EQ(bytes.substr(129, 2), "\r\n");
        EXPECT_EQ(bytes.substr(bytes.size() - 3), "Y\r\n");
        EXPECT_NE(bytes.find("R\xE9"
                             "f"),
                  std::string::npos);
    }
}

TEST_F(DownloadFileTest, EmptyResultGivesAnEmptyFileAndProgressCounts) {
    std::string path = folder / "empty.txt";
    writeFile(path, "old");
    LiteralRows none({});
    download::TDownloadFile file(path);
    EXPECT_EQ(download::WriteLeaveLines(none, TOutputLayout::Extended3, nullptr, file), 0);
    file.Close();
    EXPECT_EQ(readFile(path), "");

    std::vector<std::pair<std::int64_t, std::int64_t>> seen;
    LiteralRows two({{"E1", "AL", march(1), 1, 0, "Y", 1}, {"E2", "AL", march(1), 1, 0, "Y", 1}});
    download::TDownloadFile again(path);
    download::WriteLeaveLines(two, TOutputLayout::Extended3, nullptr, again,
                              [&](std::int64_t d, std::int64_t t) { seen.emplace_back(d, t); });
    again.Close();
    EXPECT_EQ(seen, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 2}, {2, 2}}));
    EXPECT_EQ(readFile(path).size(), 2 * 48u);
}

TEST_F(DownloadFileTest, AFileThatCannotBeCreatedIsReportedAndNothingIsTouched) {
    std::string missing = folder / "no-such-folder/out.txt";
    try {
        download::TDownloadFile file(missing);
        FAIL() << "created";
    } catch (const rtl::EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + missing + "\". No such file or directory");
    }
    // A folder of that name stays as it was.
    std::string dir = folder / "taken";
    std::filesystem::create_directory(dir);
    writeFile(dir + "/inside.txt", "keep");
    EXPECT_THROW(download::TDownloadFile{dir}, rtl::EFCreateError);
    EXPECT_EQ(readFile(dir + "/inside.txt"), "keep");
}

// A failed write (here a file size limit, as a full disk would) is a write error, and the
// earlier file stays whole: the lines are written beside it and only a complete file replaces it.
// A device such as /dev/full is refused before anything is written.
TEST_F(DownloadFileTest, AFullDiskIsAWriteErrorAndTheStreamSinkWritesTheSameBytes) {
    std::string target = folder / "full.txt";
    writeFile(target, "earlier\r\n");
    {
        LiteralRows rows(
            {{"E1", "AL", march(1), 1, 0, "Y", 1}, {"E2", "AL", march(1), 1, 0, "Y", 1}});
        download::TDownloadFile full(target);
        download::WriteLeaveLines(rows, TOutputLayout::Extended3, nullptr, full);
        FileSizeLimit limit(50);
        try {
            full.Close();
            FAIL() << "closed";
        } catch (const download::EDownloadWriteError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot write file \"" + target + "\". File too large");
        }
    }
    EXPECT_EQ(readFile(target), "earlier\r\n");
    EXPECT_EQ(entries(), std::vector<std::string>{"full.txt"});
    if (std::filesystem::exists("/dev/full")) {
        try {
            download::TDownloadFile device("/dev/full");
            FAIL() << "created";
        } catch (const rtl::EFCreateError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot create file \"/dev/full\". It is not a regular file (a device, FIFO "
                      "or socket); give a file name, or - for standard output");
        }
    }

    std::string path = folder / "stream.txt";
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    LiteralRows again({{"E1", "AL", march(1), 1, 0, "Y", 1}});
    download::TStreamSink sink(stream);
    download::WriteLeaveLines(again, TOutputLayout::Extended3, nullptr, sink);
    std::fclose(stream);
    EXPECT_EQ(readFile(path), pad("E1", 12) + pad("AL", 8) + "01/03/2006  1.0001/03/2006\r\n");
}

// Where the file system has no unnamed files, the file being written is a hidden
// ".velda-PID-XXXXXX" beside the target: private from the start, removed when the run fails or
// a signal ends it, and, left by a killed run, removed by the next file made in that folder.
TEST_F(DownloadFileTest, HiddenFilesArePrivateAndNeverOutliveTheirRun) {
    const std::string target = folder / "leave.txt";
    auto hidden = [&] {
        std::vector<std::string> names;
        for (const std::string& name : entries())
            if (name.rfind(".velda-", 0) == 0) names.push_back(name);
        return names;
    };
    {
        download::TDownloadFile file(target, {}, false);
        ASSERT_EQ(hidden().size(), 1u);
        struct stat st {};
        ASSERT_EQ(stat((folder / hidden()[0]).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(hidden()[0].size(),
                  std::string(".velda-").size() + std::to_string(getpid()).size() + 7)
            << hidden()[0];
    }
    EXPECT_TRUE(hidden().empty()) << "not removed without Close";

    for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            LiteralRows rows({{"E1", "AL", march(1), 1, 0, "Y", 1}});
            download::TDownloadFile file(target, {}, false);
            download::WriteLeaveLines(rows, TOutputLayout::Extended3, nullptr, file);
            ::raise(signal);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
        if (signal != SIGKILL) {
            EXPECT_TRUE(hidden().empty()) << "left after signal " << signal;
        }
    }
    // SIGKILL cannot be caught: the next run in the folder removes what it left. A file whose
    // process number is unknown here but which a writer holds locked (another machine's, on a
    // network folder) stays.
    ASSERT_EQ(hidden().size(), 1u);
    const std::string foreign = hidden()[0].substr(0, hidden()[0].size() - 6) + "Remote";
    const int held = ::open((folder / foreign).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    download::TDownloadFile(target, {}, false).Close();
    EXPECT_EQ(hidden(), std::vector<std::string>{foreign});
    ::close(held);
    {
        download::TDownloadFile next(target, {}, false);
        next.Close();
    }
    EXPECT_EQ(entries(), std::vector<std::string>{"leave.txt"});
}

// A new download file is private to its owner (0640 in a folder shared by its set-group-ID bit);
// a replaced one keeps its mode; a link is followed; a file of the company is refused.
TEST_F(DownloadFileTest, ModesLinksAndTheCompanysFiles) {
    const mode_t mask = umask(022);
    for (bool unnamed : {true, false}) {
        std::filesystem::remove(folder / "new.txt");
        download::TDownloadFile(folder / "new.txt", {}, unnamed).Close();
        EXPECT_EQ(std::filesystem::status(folder / "new.txt").permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    std::filesystem::create_directory(folder / "shared");
    ASSERT_EQ(chmod((folder / "shared").c_str(), 02775), 0);
    download::TDownloadFile(folder / "shared/new.txt").Close();
    struct stat st {};
    ASSERT_EQ(stat((folder / "shared/new.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    umask(mask);
    writeFile(folder / "kept.txt", "old");
    ASSERT_EQ(chmod((folder / "kept.txt").c_str(), 0664), 0);
    std::filesystem::create_symlink("kept.txt", folder / "link.txt");
    download::TDownloadFile(folder / "link.txt").Close();
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.txt"));
    EXPECT_EQ(readFile(folder / "kept.txt"), "");
    ASSERT_EQ(stat((folder / "kept.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0664u);

    std::filesystem::create_directories(folder / "COMPANY/A01");
    writeFile(folder / "COMPANY/A01/LEAV_TRX.adt", "table");
    const download::TProtectedFiles company =
        download::TProtectedFiles::OfCompany(folder / "COMPANY/A01", folder.path() + "/");
    for (const std::string& name :
         {std::string("COMPANY/A01/LEAV_TRX.adt"), std::string("COMPANY/A01/leav_trx.ADT.lck"),
          std::string("COMPANY/A01/A01.add"), std::string("MCOMPANY.ADT"), std::string("velda.INI"),
          std::string("lvdnpath.ini")}) {
        try {
            download::TDownloadFile file(folder / name, company);
            FAIL() << name;
        } catch (const rtl::EFCreateError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + (folder / name) +
                                                 "\". It is a file of the company or of the "
                                                 "program; give another file name");
        }
    }
    EXPECT_EQ(readFile(folder / "COMPANY/A01/LEAV_TRX.adt"), "table");
    download::TDownloadFile(folder / "COMPANY/A01/leave.txt", company).Close();
    download::TDownloadFile(folder / "leave.adt.txt", company).Close();
}

}  // namespace
