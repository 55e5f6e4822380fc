// velda-db sql: a statement's rows as export prints a table, the count of a change, the one-line
// errors with the engine's code, table passwords and dictionaries; and the same reading
// statements on a demo folder and on its copy on the test server (group ServerSql).
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/demo_folder.h"
#include "tests/support/server.h"
#include "tests/support/temp_folder.h"
#include "tests/tools/tool_test_support.h"

namespace fs = std::filesystem;

namespace {

using tooltest::Quote;

using tooltest::Result;

std::string Tool() {
    return std::string(VELDA_BINARY_DIR) + "/tools/velda-db";
}

// One demo folder of free tables and one of dictionaries for the suite, copied from the cache.
class Sql : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        temp_ = std::make_unique<testsupport::TempFolder>("velda-db-sql-test");
        ASSERT_FALSE(temp_->path().empty()) << "no temporary folder";
        root_ = temp_->path();
        ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool(), "--employees 12", root_ / "free"), "");
    }
    static void TearDownTestSuite() { temp_.reset(); }

    // Runs velda-db; `environment` goes before it ("NAME=value ..."), `input` is standard input.
    static Result Run(const std::string& arguments, const std::string& environment = "",
                      const std::string& input = "") {
        const fs::path in = root_ / ".in";
        std::ofstream(in, std::ios::binary) << input;
        return tooltest::RunCaptured(
            "env -u VELDA_DB_PASSWORD -u VELDA_DB_ADMIN_PASSWORD "
            "-u VELDA_DB_USER_PASSWORD " +
                environment + " " + Tool() + " " + arguments + " <" + in.string(),
            root_);
    }
    static Result RunSql(const std::string& path, const std::string& statement,
                         const std::string& extra = "", const std::string& environment = "") {
        return Run("sql " + Quote(path) + " " + Quote(statement) + " " + extra, environment);
    }
    static std::string Free(const std::string& inside = "") {
        return (root_ / "free").string() + (inside.empty() ? "" : "/" + inside);
    }

    static inline std::unique_ptr<testsupport::TempFolder> temp_;
    static inline fs::path root_;
};

TEST_F(Sql, SelectPrintsItsRowsAsExportPrintsATable) {
    Result r = RunSql(Free(), "SELECT COMPANY_CODE, TOTAL_STAFF FROM MCOMPANY ORDER BY 1 DESC");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "COMPANY_CODE,TOTAL_STAFF\r\nC03,3\r\nB02,7\r\nA01,12\r\n");
    EXPECT_EQ(r.err, "");

    // Every column of a table in record order is the table's export, byte for byte.
    for (const char* table : {"LEAV_TRX", "empleave"}) {
        SCOPED_TRACE(table);
        Result all = RunSql(Free("COMPANY/A01"), std::string("SELECT * FROM ") + table);
        Result exported = Run("export " + Quote(Free("COMPANY/A01/") + table));
        ASSERT_EQ(exported.exitCode, 0) << exported.err;
        EXPECT_EQ(all.out, exported.out);
    }
    // No rows: the header alone.
    r = RunSql(Free(), "SELECT COMPANY_CODE FROM MCOMPANY WHERE COMPANY_CODE = 'Z99'");
    EXPECT_EQ(r.out, "COMPANY_CODE\r\n");
}

TEST_F(Sql, ChangesReportHowManyRowsTheyChanged) {
    const fs::path folder = root_ / "changes";
    fs::create_directories(folder);
    ASSERT_EQ(Run("create " + Quote((folder / "items").string()) +
                  " --field CODE:Character:4 --field QTY:Integer")
                  .exitCode,
              0);
    std::ofstream(folder / "items.csv", std::ios::binary)
        << "CODE,QTY\r\nA,1\r\nB,2\r\nC,3\r\nD,4\r\n";
    ASSERT_EQ(Run("import " + Quote((folder / "items").string()) + " " +
                  Quote((folder / "items.csv").string()))
                  .exitCode,
              0);
    struct Case {
        const char* statement;
        const char* out;
    } cases[] = {
        {"UPDATE items SET QTY = QTY + 10 WHERE QTY > 2", "updated 2 rows\n"},
        // A WHERE inside a subquery is not the statement's own.
        {"UPDATE items SET QTY = 0 WHERE CODE IN (SELECT CODE FROM items WHERE QTY = 1)",
         "updated 1 row\n"},
        {"update [items] set QTY = 5;", "updated 4 rows\n"},
        {"UPDATE items SET CODE = 'x' WHERE CODE = 'nothing'", "updated 0 rows\n"},
        {"INSERT INTO items (CODE, QTY) VALUES ('E', 6)", "inserted 1 row\n"},
        {"INSERT INTO items (CODE, QTY) SELECT CODE, QTY FROM items WHERE CODE < 'C'",
         "inserted 2 rows\n"},
        {"DELETE FROM items WHERE CODE = 'A' -- the first and its copy", "deleted 2 rows\n"},
        {"DELETE items", "deleted 5 rows\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Result r = RunSql(folder.string(), c.statement);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    EXPECT_EQ(RunSql(folder.string(), "SELECT COUNT(*) AS N FROM items").out, "N\r\n0\r\n");
}

TEST_F(Sql, FailuresAreOneLineWithTheEngineCode) {
    struct Case {
        const char* what;
        std::string arguments;
        std::string start;  // the line's beginning
    } cases[] = {
        {"syntax error", "sql " + Quote(Free()) + " 'SELECT FROM WHERE'",
         "velda-db: " + Free() + ": Error 6030: "},
        {"no such table", "sql " + Quote(Free()) + " 'SELECT * FROM NOSUCH'",
         "velda-db: " + Free() + ": Error 6004: "},
        {"no such column", "sql " + Quote(Free()) + " 'SELECT NOSUCH FROM MCOMPANY'",
         "velda-db: " + Free() + ": Error 5147: "},
        {"refused statement", "sql " + Quote(Free()) + " 'DROP TABLE MCOMPANY'",
         "velda-db: " + Free() + ": Error 5004: "},
        {"no such folder", "sql " + Quote(Free("nowhere")) + " 'SELECT * FROM MCOMPANY'",
         "velda-db: " + Free("nowhere") + ": Error 6005: "},
        {"a value the column cannot take",
         "sql " + Quote(Free()) + " \"UPDATE MCOMPANY SET TOTAL_STAFF = 'many'\"",
         "velda-db: " + Free() + ": Error 5149: "},
        {"no statement", "sql " + Quote(Free()),
         "velda-db: sql: expected 2 arguments, PATH and STATEMENT (see 'velda-db sql --help')\n"},
        {"not Windows-1252", "sql " + Quote(Free()) + " 'SELECT \xE2\x82\xAC\xE2\x98\x83'",
         "velda-db: sql: the statement's character at byte 11 is not in Windows-1252, which the "
         "engine's statements are written in\n"},
        {"a user without a dictionary", "sql " + Quote(Free()) + " 'SELECT 1' --user MASTER",
         "velda-db: sql: --user is for a data dictionary (a PATH ending in .ADD)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = Run(c.arguments);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(c.start, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
    }
    // Nothing of a failed change is kept.
    EXPECT_EQ(RunSql(Free(), "SELECT SUM(TOTAL_STAFF) AS N FROM MCOMPANY").out, "N\r\n22\r\n");
}

TEST_F(Sql, EncryptedTablesNeedTheirPassword) {
    const std::string company = Free("COMPANY/A01");
    const std::string statement = "SELECT COUNT(*) AS N FROM EMPLOYEE";
    Result r = RunSql(company, statement);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("velda-db: " + company + ": Error 6011: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(". Give it in VELDA_DB_PASSWORD, with --password - or with --password "
                         "PW.\n"),
              std::string::npos)
        << r.err;
    for (const std::string& way :
         {std::string("--password KORVA4816"), std::string("--password -")}) {
        SCOPED_TRACE(way);
        r = Run("sql " + Quote(company) + " " + Quote(statement) + " " + way, "", "KORVA4816\n");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "N\r\n12\r\n");
    }
    r = RunSql(company, statement, "", "VELDA_DB_PASSWORD=KORVA4816");
    EXPECT_EQ(r.out, "N\r\n12\r\n");
    r = RunSql(company, statement, "--password wrong");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("velda-db: " + company + ": Error 6011: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("Give it in"), std::string::npos) << r.err;
}

TEST_F(Sql, ADictionaryIsLoggedInToAsItsUser) {
    const fs::path dict = root_ / "dict";
    if (!fs::exists(dict)) {
        ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool(), "--employees 12 --dictionary", dict), "");
    }
    const std::string add = (dict / "COMPANY/A01/A01.ADD").string();
    const std::string statement = "SELECT COUNT(*) AS N FROM EMPLOYEE";
    Result r = RunSql(add, statement, "--user ORBELNAX4", "VELDA_DB_USER_PASSWORD=KWENDOLARIX");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "N\r\n12\r\n");
    // The password from standard input; a wrong one is the engine's refusal.
    r = Run("sql " + Quote(add) + " " + Quote(statement) + " --user ORBELNAX4", "",
            "KWENDOLARIX\n");
    EXPECT_EQ(r.out, "N\r\n12\r\n");
    r = RunSql(add, statement, "--user ORBELNAX4", "VELDA_DB_USER_PASSWORD=wrong-password");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("velda-db: " + add + ": Error 6008: ", 0), 0u) << r.err;
}

TEST_F(Sql, HelpNamesTheCommand) {
    Result r = Run("sql --help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("usage: velda-db sql PATH STATEMENT [--password PW] [--user USER]\n", 0),
              0u);
    EXPECT_NE(Run("--help").out.find("\n  sql PATH STATEMENT"), std::string::npos);
}

// The demo folder copied to a folder of its own on the test server.
class ServerSql : public testsupport::OnServer {
  protected:
    void SetUp() override {
        OnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_FALSE(dir_.empty()) << "no temporary folder";
        ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool(), "--employees 12", dir_ / "demo"), "");
        root_ = serverPath() + "s" + std::to_string(::getpid()) + "_" +
                std::to_string(std::time(nullptr)) + "/";
        Result r = tooltest::RunCaptured("env VELDA_DB_PASSWORD=KORVA4816 " + Tool() + " copy " +
                                             Quote((dir_ / "demo").string()) + " " + Quote(root_) +
                                             " </dev/null",
                                         dir_);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    Result RunSql(const std::string& path, const std::string& statement) {
        return tooltest::RunCaptured("env VELDA_DB_PASSWORD=KORVA4816 " + Tool() + " sql " +
                                         Quote(path) + " " + Quote(statement) + " </dev/null",
                                     dir_);
    }

    testsupport::TempFolder temp_{"velda-db-sql-server-test"};
    const fs::path dir_ = temp_.path();
    std::string root_;
};

TEST_F(ServerSql, ReadingStatementsGiveTheFoldersBytes) {
    struct Case {
        const char* inside;
        const char* statement;
    } cases[] = {
        {"", "SELECT * FROM MCOMPANY ORDER BY COMPANY_CODE"},
        {"COMPANY/A01", "SELECT * FROM EMPLOYEE ORDER BY EMP_NO"},
        {"COMPANY/A01",
         "SELECT t.EMPCODE, e.NAME, t.LEAVE_CODE, t.DATE, t.APPROVED FROM LEAV_TRX t "
         "LEFT JOIN EMPLOYEE e ON e.EMP_NO = t.EMPCODE WHERE t.DATE >= '2000-01-01' "
         "ORDER BY t.EMPCODE, t.DATE, t.ID"},
        {"COMPANY/B02",
         "SELECT LEAVE_CODE, COUNT(*) AS N, MIN(DATE) AS FIRST FROM LEAV_TRX GROUP BY LEAVE_CODE "
         "ORDER BY 1"},
        {"COMPANY/C03", "SELECT UPPER(NAME) AS NAME, YEAR(DOB) AS BORN FROM EMPLOYEE ORDER BY 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        const std::string inside = c.inside;
        Result here = RunSql((dir_ / "demo" / inside).string(), c.statement);
        ASSERT_EQ(here.exitCode, 0) << here.err;
        Result there = RunSql(root_ + inside, c.statement);
        ASSERT_EQ(there.exitCode, 0) << there.err;
        EXPECT_EQ(there.out, here.out);
    }
}

}  // namespace
