// The demo program folder, read back through the engine.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/ace.h"

#include "tests/support/demo_folder.h"
#include "tests/support/temp_folder.h"
#include "tests/tools/tool_test_support.h"

namespace fs = std::filesystem;

namespace {

UNSIGNED8* U(const std::string& s) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str()));
}

using tooltest::Slurp;

int RunTool(const std::string& arguments, std::string* out = nullptr) {
    std::string capture = "/tmp/velda-demo-test-out-" + std::to_string(::getpid());
    std::string command =
        std::string(VELDA_BINARY_DIR) + "/tools/velda-db " + arguments + " >" + capture + " 2>&1";
    int status = std::system(command.c_str());
    if (out) *out = Slurp(capture);
    fs::remove(capture);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every row of a table as "FIELD=value|..." texts through AdsGetField.
std::vector<std::string> ReadRows(ADSHANDLE connection, const std::string& table,
                                  const char* password = nullptr) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable(connection, U(table), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, ADS_READONLY, &h),
              AE_SUCCESS)
        << table;
    if (password) {
        EXPECT_EQ(AdsEnableEncryption(h, U(password)), AE_SUCCESS);
    }
    UNSIGNED16 fields = 0;
    (void)AdsGetNumFields(h, &fields);
    std::vector<std::string> rows;
    (void)AdsGotoTop(h);
    for (UNSIGNED16 eof = 0; AdsAtEOF(h, &eof) == AE_SUCCESS && !eof; (void)AdsSkip(h, 1)) {
        std::string row;
        for (UNSIGNED16 f = 1; f <= fields; ++f) {
            UNSIGNED8 buffer[256];
            UNSIGNED32 len = sizeof buffer;
            UNSIGNED16 empty = 0;
            (void)AdsIsEmpty(h, ADSFIELD(f), &empty);
            std::string value;
            if (!empty && AdsGetField(h, ADSFIELD(f), buffer, &len, ADS_NONE) == AE_SUCCESS)
                value.assign(reinterpret_cast<char*>(buffer), len);
            while (!value.empty() && value.back() == ' ') value.pop_back();
            row += (f > 1 ? "|" : "") + value;
        }
        rows.push_back(row);
    }
    (void)AdsCloseTable(h);
    return rows;
}

class Demo : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        temp_ = std::make_unique<testsupport::TempFolder>("velda-demo");
        ASSERT_FALSE(temp_->path().empty()) << "no temporary folder";
        root_ = temp_->path();
        const std::string tool = std::string(VELDA_BINARY_DIR) + "/tools/velda-db";
        ASSERT_EQ(testsupport::CopyOfDemoFolder(tool, "--employees 30 --seed 7", root_ / "free"),
                  "");
        ASSERT_EQ(
            testsupport::CopyOfDemoFolder(tool, "--dictionary --employees 12", root_ / "dict"), "");
    }
    static void TearDownTestSuite() { temp_.reset(); }
    static inline std::unique_ptr<testsupport::TempFolder> temp_;
    static fs::path root_;
};
fs::path Demo::root_;

TEST_F(Demo, FolderHasConfigurationAndCompanyList) {
    EXPECT_EQ(Slurp(root_ / "free" / "VELDA.ini"), "[PATH]\r\n");
    EXPECT_EQ(Slurp(root_ / "dict" / "VELDA.ini"), "[PATH]\r\nDICTIONARY=YES\r\n");
    ADSHANDLE c = 0;
    ASSERT_EQ(AdsConnect(U((root_ / "free").string()), &c), AE_SUCCESS);
    std::vector<std::string> companies = ReadRows(c, "MCOMPANY");
    ASSERT_EQ(companies.size(), 3u);
    EXPECT_EQ(companies[0], "A01|Alder Freight Ltd|30");
    EXPECT_EQ(companies[1].substr(0, 4), "B02|");
    EXPECT_EQ(companies[2].substr(0, 4), "C03|");
    (void)AdsDisconnect(c);
}

TEST_F(Demo, FreeTableCompanyIsEncryptedWithTheTablePassword) {
    fs::path company = root_ / "free" / "COMPANY" / "A01";
    ADSHANDLE c = 0;
    ASSERT_EQ(AdsConnect(U(company.string()), &c), AE_SUCCESS);
    int thisYear = static_cast<int>(std::chrono::year_month_day{
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())}
                                        .year());
    std::vector<std::string> setup = ReadRows(c, "paypara1.adt", "KORVA4816");
    ASSERT_EQ(setup.size(), static_cast<size_t>(thisYear + 1 - 2000 + 1));
    EXPECT_EQ(setup.front(), "2000|Alder Freight Ltd|dd/mm/yyyy|master");
    std::vector<std::string> users = ReadRows(c, "PASS.adt", "KORVA4816");
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(users[0], "CLERK1|clerk1||Y|N|N|");
    EXPECT_EQ(users[1], "CLERK2|clerk2|T|N|N|N|");
    EXPECT_EQ(users[2], "ADMIN|admin||N|Y|Y|0");
    EXPECT_EQ(ReadRows(c, "EMPLOYEE.adt", "KORVA4816").size(), 30u);
    EXPECT_TRUE(ReadRows(c, "EMPSERV.adt", "KORVA4816").empty());
    EXPECT_FALSE(ReadRows(c, "LEAV_TRX.adt").empty());
    EXPECT_FALSE(ReadRows(c, "empleave.adt").empty());

    // Without the password the encrypted tables show no rows, and no value is on disk in plaintext.
    EXPECT_TRUE(ReadRows(c, "PASS.adt").empty());
    (void)AdsDisconnect(c);
    for (const auto& entry : fs::directory_iterator(company)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("LEAV_TRX", 0) == 0 || name.rfind("empleave", 0) == 0) continue;
        std::string bytes = Slurp(entry.path());
        for (const char* secret : {"clerk1", "Alder Freight", "dd/mm/yyyy", "A00001"})
            EXPECT_EQ(bytes.find(secret), std::string::npos) << secret << " in " << name;
    }
}

TEST_F(Demo, DictionaryCompanyLogsInWithItsUser) {
    std::string add = (root_ / "dict" / "COMPANY" / "B02" / "B02.ADD").string();
    ADSHANDLE c = 0;
    ASSERT_EQ(AdsConnect60(U(add), ADS_LOCAL_SERVER, U("ORBELNAX4"), U("KWENDOLARIX"), 0, &c),
              AE_SUCCESS);
    EXPECT_EQ(ReadRows(c, "PASS.adt").size(), 3u);
    EXPECT_EQ(ReadRows(c, "employee").size(), 7u);  // 12 * 3 / 5
    EXPECT_FALSE(ReadRows(c, "LEAV_TRX").empty());
    (void)AdsDisconnect(c);
    ADSHANDLE wrong = 0;
    EXPECT_NE(AdsConnect60(U(add), ADS_LOCAL_SERVER, U("ORBELNAX4"), U("nope"), 0, &wrong),
              AE_SUCCESS);
}

TEST_F(Demo, SameSeedGivesTheSameFolderAndRefusesToOverwrite) {
    std::string first, second, out;
    ASSERT_EQ(RunTool("demo " + (root_ / "again").string() + " --employees 30 --seed 7"), 0);
    ASSERT_EQ(RunTool("export " + (root_ / "free/COMPANY/A01/LEAV_TRX").string(), &first), 0);
    ASSERT_EQ(RunTool("export " + (root_ / "again/COMPANY/A01/LEAV_TRX").string(), &second), 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(RunTool("demo " + (root_ / "again").string(), &out), 1);
    EXPECT_NE(out.find("exists and is not an empty folder"), std::string::npos);
    EXPECT_EQ(RunTool("demo " + (root_ / "x").string() + " --employees 0", &out), 1);
    EXPECT_EQ(out, "velda-db: demo: --employees must be at least 1\n");
}

TEST_F(Demo, NothingInTheFolderIsOpenToEveryone) {
    for (const auto& entry : fs::recursive_directory_iterator(root_ / "free")) {
        fs::perms others = fs::symlink_status(entry.path()).permissions() & fs::perms::others_all;
        EXPECT_EQ(others, fs::perms::none) << entry.path();
    }
    EXPECT_EQ(fs::status(root_ / "dict").permissions() & fs::perms::others_all, fs::perms::none);
}

TEST_F(Demo, DictionariesTakeTheAdministratorPasswordWhenOneIsGiven) {
    ::setenv("VELDA_DB_ADMIN_PASSWORD", "demo-admin", 1);
    int rc = RunTool("demo " + (root_ / "admin").string() + " --dictionary --employees 1");
    ::unsetenv("VELDA_DB_ADMIN_PASSWORD");
    ASSERT_EQ(rc, 0);
    std::string add = (root_ / "admin/COMPANY/A01/A01.ADD").string();
    for (const char* password : {"", "demo-admin"}) {
        ADSHANDLE c = 0;
        UNSIGNED32 result = AdsConnect60(U(add), ADS_LOCAL_SERVER, U("ADSSYS"), U(password), 0, &c);
        EXPECT_EQ(result, *password ? AE_SUCCESS : AE_LOGIN_FAILED) << password;
        if (result == AE_SUCCESS) (void)AdsDisconnect(c);
    }
}

TEST_F(Demo, AKilledRunsStagingFolderIsRemovedByTheNextRun) {
    // The staging folder of a process that is gone (pid 0x7FFFFFF0 is never a live one here).
    fs::path abandoned = root_ / ".velda-demo-2147483632";
    fs::create_directories(abandoned / "COMPANY");
    std::ofstream(abandoned / "COMPANY" / "PASS.adt") << "user rows";
    ASSERT_EQ(RunTool("demo " + (root_ / "next").string() + " --employees 2"), 0);
    EXPECT_FALSE(fs::exists(abandoned));
    for (const auto& entry : fs::directory_iterator(root_))
        EXPECT_EQ(entry.path().filename().string().rfind(".velda-demo-", 0), std::string::npos)
            << entry.path();
}

}  // namespace
