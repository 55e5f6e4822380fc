// Files written by earlier builds open, read and write unchanged, and what this build encrypts
// opens with the SQLCipher 3 tool: an installation can move between builds in both directions.
// The fixtures in tests/engine/fixtures/old-build/ were written by the build on SQLCipher 3.4.1
// (make-fixtures.sh beside them), with the CSV exports and description that build gave.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/ace.h"

#include "tests/tools/tool_test_support.h"

namespace fs = std::filesystem;

namespace {

using tooltest::Result;
using tooltest::Slurp;

UNSIGNED8* U(const std::string& s) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str()));
}

class StoredFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velda-stored-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::copy(fs::path(VELDA_SOURCE_DIR) / "tests/engine/fixtures/old-build", dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    Result Run(const std::string& program, const std::string& arguments) {
        return tooltest::RunCaptured(
            "cd " + dir_.string() + " && " + program + " " + arguments + " </dev/null", dir_);
    }
    Result Tool(const std::string& arguments) {
        return Run(std::string(VELDA_BINARY_DIR) + "/tools/velda-db", arguments);
    }
    std::string Expected(const std::string& name) { return Slurp(dir_ / name); }

    fs::path dir_;
};

TEST_F(StoredFiles, TablesOfTheOldBuildReadValueForValue) {
    struct Case {
        const char* arguments;
        const char* expected;
    } cases[] = {
        {"export PLAIN", "PLAIN.csv"},
        {"export PLAIN --index BYNAMECOUNT", "PLAIN.BYNAMECOUNT.csv"},
        {"export SECRET --password Fixture-Pa55", "SECRET.csv"},
        {"export DICTTAB", "DICTTAB.csv"},
        {"describe PLAIN", "PLAIN.describe.txt"},
    };
    for (const Case& c : cases) {
        Result r = Tool(c.arguments);
        EXPECT_EQ(r.exitCode, 0) << c.arguments << ": " << r.err;
        EXPECT_EQ(r.out, Expected(c.expected)) << c.arguments;
    }
    Result wrong = Tool("export SECRET --password wrong");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("Error 6011"), std::string::npos) << wrong.err;
}

TEST_F(StoredFiles, TablesOfTheOldBuildTakeNewRowsAndKeepTheOldOnes) {
    std::ofstream(dir_ / "more.csv") << "NAME,COUNT,BORN,NOTE\nNeu Ändrung,7,2026-12-10,x\n";
    const std::string added = ",,2026-12-10,Neu Ändrung,x,,,,,,7,,,,5,,\r\n";
    struct Case {
        const char* table;
        const char* password;
        const char* before;
    } cases[] = {{"PLAIN", "", "PLAIN.csv"}, {"SECRET", " --password Fixture-Pa55", "SECRET.csv"}};
    for (const Case& c : cases) {
        Result import = Tool(std::string("import ") + c.table + " more.csv" + c.password);
        ASSERT_EQ(import.exitCode, 0) << import.err;
        Result r = Tool(std::string("export ") + c.table + c.password);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, Expected(c.before) + added) << c.table;
    }
}

TEST_F(StoredFiles, ADictionaryOfTheOldBuildLogsInAndOpensItsTables) {
    std::string add = (dir_ / "FIXTURE.ADD").string();
    ADSHANDLE wrong = 0;
    EXPECT_EQ(AdsConnect60(U(add), ADS_LOCAL_SERVER, U("CLERK"), U("wrong"), 0, &wrong),
              AE_LOGIN_FAILED);
    ADSHANDLE c = 0;
    ASSERT_EQ(AdsConnect60(U(add), ADS_LOCAL_SERVER, U("CLERK"), U("Clerk-Pa55"), 0, &c),
              AE_SUCCESS);
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsOpenTable(c, U("TITLES"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, ADS_DEFAULT, &t),
              AE_SUCCESS);
    std::string titles;
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    for (UNSIGNED16 eof = 0; AdsAtEOF(t, &eof) == AE_SUCCESS && !eof; (void)AdsSkip(t, 1)) {
        UNSIGNED8 buffer[64];
        UNSIGNED32 length = sizeof buffer;
        ASSERT_EQ(AdsGetField(t, U("TITLE"), buffer, &length, ADS_NONE), AE_SUCCESS);
        std::string title(reinterpret_cast<char*>(buffer), length);
        titles += title.substr(0, title.find_last_not_of(' ') + 1) + ";";
    }
    EXPECT_EQ(titles, "Alder Freight Ltd;Birchwood Caf\xE9;");
    (void)AdsCloseTable(t);
    (void)AdsDisconnect(c);
}

TEST_F(StoredFiles, EncryptedRowsWrittenNowOpenWithSqlCipher3AndNotWithoutTheKey) {
    if (std::system("command -v sqlcipher >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the sqlcipher tool is not installed (scripts/setup installs it)";
    std::ofstream(dir_ / "rows.csv") << "NAME,N\nx,1\ny,2\n";
    ASSERT_EQ(
        Tool("create NEW --field NAME:Character:5 --field N:Integer --password Pw-1234").exitCode,
        0);
    ASSERT_EQ(Tool("import NEW rows.csv --password Pw-1234").exitCode, 0);
    Result r =
        Run("sqlcipher", "NEW.adt.rows \"PRAGMA key='Pw-1234'; SELECT count(*) FROM records;\"");
    EXPECT_EQ(r.out, "2\n") << r.err;
    Result wrong =
        Run("sqlcipher", "NEW.adt.rows \"PRAGMA key='wrong'; SELECT count(*) FROM records;\"");
    EXPECT_EQ(wrong.out.find('2'), std::string::npos);
    // No value is in the file in plain text.
    std::string bytes = Slurp(dir_ / "NEW.adt.rows");
    EXPECT_EQ(bytes.find("SQLite format 3"), std::string::npos);
}

TEST_F(StoredFiles, TheToolsNameTheirVersionAndTheSqliteTheyRunOn) {
    for (const char* tool : {"velda-db", "velda-export"}) {
        Result r = Run(std::string(VELDA_BINARY_DIR) + "/tools/" + tool, "--version");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.rfind(std::string(tool) + " ", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("on SQLite 3.53."), std::string::npos) << r.out;
    }
}

}  // namespace
