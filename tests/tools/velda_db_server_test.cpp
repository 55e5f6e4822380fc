// velda-db on server paths: every table command, the demo and the refusals, on the test server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "tests/support/server.h"
#include "tests/support/temp_folder.h"
#include "tests/tools/tool_test_support.h"

namespace fs = std::filesystem;

namespace {

using tooltest::Result;

UNSIGNED8* U(const std::string& text) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(text.c_str()));
}

class ServerVeldaDb : public testsupport::OnServer {
  protected:
    void SetUp() override {
        OnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_FALSE(dir_.empty()) << "no temporary folder";
        root_ = freshFolder("v");
    }

    Result Run(const std::string& arguments, const std::string& environment = "") {
        return tooltest::RunCaptured("env -u VELDA_DB_PASSWORD -u VELDA_DB_ADMIN_PASSWORD " +
                                         environment + " " + std::string(VELDA_BINARY_DIR) +
                                         "/tools/velda-db " + arguments + " </dev/null",
                                     dir_);
    }
    // The path with a password in its user part, or "" when it has no user part to add one to
    // (or has a password already). A throwaway server trusts its socket, so the password is
    // never asked for; it must never be shown.
    static std::string WithPassword(const std::string& path) {
        size_t scheme = path.find("://");
        size_t at = path.find('@');
        if (scheme == std::string::npos || at == std::string::npos) return "";
        std::string user = path.substr(scheme + 3, at - scheme - 3);
        if (user.empty() || user.find(':') != std::string::npos) return "";
        return path.substr(0, at) + ":" + kSecret + path.substr(at);
    }
    // The same path with the password shown as ***.
    static std::string Masked(const std::string& withPassword) {
        std::string masked = withPassword;
        masked.replace(masked.find(kSecret), std::string(kSecret).size(), "***");
        return masked;
    }

    static constexpr const char* kSecret = "Topsecret-42";
    testsupport::TempFolder temp_{"velda-db-server-test"};
    const fs::path dir_ = temp_.path();
    std::string root_;
};

TEST_F(ServerVeldaDb, EveryTableCommandTakesAServerPathWithItsParameters) {
    // Parameters stay at the end of the connection path, whichever table the path names.
    const std::string table = root_ + "A01/people?application_name=velda-db-test";
    Result r = Run("create '" + table +
                   "' --field NAME:Character:10 --field AGE:Integer --field NOTE:Memo "
                   "--index NAME=NAME");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "created " + table + "\n");
    std::ofstream(dir_ / "in.csv", std::ios::binary)
        << "NAME,AGE,NOTE\r\nZo\xC3\xAB,7,\"two\nlines\"\r\nAnn,41,\r\nBob,,plain\r\n";
    r = Run("import '" + table + "' '" + (dir_ / "in.csv").string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "imported 3 rows into " + table + "\n");

    const std::string csv =
        "NAME,AGE,NOTE\r\nZo\xC3\xAB,7,\"two\nlines\"\r\nAnn,41,\r\nBob,,plain\r\n";
    // The name in another case and with its extension is the same table.
    r = Run("export '" + root_ + "A01/PEOPLE.ADT'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, csv);
    r = Run("export '" + table + "' --index NAME");
    EXPECT_EQ(r.out, "NAME,AGE,NOTE\r\nAnn,41,\r\nBob,,plain\r\nZo\xC3\xAB,7,\"two\nlines\"\r\n");
    r = Run("describe '" + table + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "table: " + table +
                         "\nencrypted: no\nrows: 3\nfields:\n  NAME Character 10 0\n"
                         "  AGE Integer 4 0\n  NOTE Memo 9 0\nindexes:\n  NAME NAME\n");

    r = Run("encrypt '" + table + "' --password Fenwick-9");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "encrypted " + table + "\n");
    r = Run("export '" + table + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: " + table +
                         ": the table is encrypted; give its password (VELDA_DB_PASSWORD, "
                         "--password -, or --password PW)\n");
    r = Run("export '" + table + "'", "VELDA_DB_PASSWORD=Fenwick-9");
    EXPECT_EQ(r.out, csv);
    r = Run("decrypt '" + table + "' --password Fenwick-9");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(Run("describe '" + table + "'").out.find("encrypted: no\n"), std::string::npos);
}

TEST_F(ServerVeldaDb, RefusalsAreOneLineWithTheEngineCodeAndNoPassword) {
    const std::string secret = WithPassword(root_);
    if (secret.empty()) GTEST_SKIP() << "the test server's path has no user part";
    const std::string shown = Masked(secret);
    ASSERT_EQ(Run("create '" + secret + "T' --field X:Integer").exitCode, 0);
    std::string otherDatabase = secret.substr(0, secret.rfind('/', secret.size() - 2));
    otherDatabase = otherDatabase.substr(0, otherDatabase.rfind('/')) + "/velda_nothing_here/";
    const std::string otherShown = Masked(otherDatabase);
    struct Case {
        const char* what;
        std::string arguments;
        std::string error;  // the line's beginning
    } cases[] = {
        {"no such table", "describe '" + secret + "nope'",
         "velda-db: nope: Error 6004: The table " + shown + "nope.adt does not exist.\n"},
        {"no such database", "export '" + otherDatabase + "T'",
         "velda-db: " + otherShown.substr(0, otherShown.size() - 1) +
             ": Error 6040: Cannot connect to " + otherShown.substr(0, otherShown.size() - 1) +
             ": "},
        {"only a database", "describe '" + serverPath().substr(0, serverPath().size() - 1) + "'",
         "velda-db: " + serverPath().substr(0, serverPath().size() - 1) +
             ": names no table (a table path ends with the table's name)\n"},
        {"a password as a parameter", "describe '" + serverPath() + "?password=" + kSecret + "'",
         "velda-db: " + serverPath() +
             "?password=***: names no table (a table path ends with the table's name)\n"},
        {"a demo over a dictionary", "demo --dictionary '" + secret + "demo'",
         "velda-db: " + shown +
             "demo/COMPANY/B02/B02.ADD: exists already; the demo needs a folder without its "
             "dictionaries\n"},
        {"the source itself", "copy --replace '" + secret + "T' '" + secret + "t.ADT'",
         "velda-db: " + shown + "t.ADT: is the source table itself\n"},
        {"an empty folder on the server",
         "copy '" + secret + "nothing/' '" + (dir_ / "back").string() + "'",
         "velda-db: " + shown + "nothing/: holds no tables and no data dictionary\n"},
        {"a folder onto itself", "copy '" + secret + "' '" + shown + "'",
         "velda-db: " + shown + ": is the source folder itself\n"},
    };
    ASSERT_EQ(Run("dict create '" + secret + "demo/COMPANY/B02/B02.ADD'",
                  "VELDA_DB_ADMIN_PASSWORD=admin-secret")
                  .exitCode,
              0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = Run(c.arguments, "VELDA_DB_ADMIN_PASSWORD=admin-secret");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err.substr(0, c.error.size()), c.error) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.find(kSecret), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // A dictionary on the server is made and takes a table, the password hidden in what is
    // printed.
    for (const std::string& arguments :
         {"dict create '" + secret + "A01.ADD'", "dict add-table '" + secret + "A01.ADD' T"}) {
        SCOPED_TRACE(arguments);
        Result r = Run(arguments, "VELDA_DB_ADMIN_PASSWORD=admin-secret");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.find(kSecret), std::string::npos) << r.out;
        EXPECT_EQ(r.err.find(kSecret), std::string::npos) << r.err;
    }
    EXPECT_EQ(
        Run("dict create '" + secret + "A02.ADD'", "VELDA_DB_ADMIN_PASSWORD=admin-secret").out,
        "created " + shown + "A02.ADD\n");
    // The table refused as its own copy is still there, and what a run prints hides a password
    // given as a parameter too.
    Result r = Run("describe '" + root_ + "T?password=" + kSecret + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "table: " + root_ + "T?password=***");
    r = Run("copy '" + secret + "T' '" + (dir_ / "back").string() + "/'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "copied " + shown + "T to " + (dir_ / "back" / "T.adt").string() +
                         " (0 rows, checked)\n");
}

TEST_F(ServerVeldaDb, DemoBuildsTheFreeTableCompaniesAsInAFolder) {
    const std::string target = root_ + "demo";
    Result r = Run("demo '" + target + "' --employees 4 --seed 3");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "building company A01 (4 employees)\nbuilding company B02 (2 employees)\n"
              "building company C03 (1 employees)\ndemo folder " +
                  target + " is ready (tables only: a server keeps no VELDA.ini)\n");
    const fs::path local = dir_ / "demo";
    r = Run("demo '" + local.string() + "' --employees 4 --seed 3");
    ASSERT_EQ(r.exitCode, 0) << r.err;

    std::vector<std::string> tables{"MCOMPANY.adt"};
    for (const char* company : {"A01", "B02", "C03"})
        for (const char* table : {"paypara1.adt", "PASS.adt", "EMPLOYEE.adt", "EMPSERV.adt",
                                  "LEAV_TRX.adt", "empleave.adt"})
            tables.push_back(std::string("COMPANY/") + company + "/" + table);
    for (const auto& table : tables) {
        SCOPED_TRACE(table);
        Result there = Run("export '" + target + "/" + table + "'", "VELDA_DB_PASSWORD=KORVA4816");
        Result here =
            Run("export '" + (local / table).string() + "'", "VELDA_DB_PASSWORD=KORVA4816");
        ASSERT_EQ(there.exitCode, 0) << there.err;
        EXPECT_EQ(there.out, here.out);
        const bool encrypted = table.find("LEAV") == std::string::npos &&
                               table.find("empleave") == std::string::npos &&
                               table != "MCOMPANY.adt";
        EXPECT_NE(Run("describe '" + target + "/" + table + "'")
                      .out.find(encrypted ? "encrypted: yes" : "encrypted: no"),
                  std::string::npos);
    }

    // A second demo there would mix with the first: refused before anything is made.
    r = Run("demo '" + target + "/' --employees 4");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: " + target +
                         "/MCOMPANY.adt: exists already; the demo needs a folder without its "
                         "tables\n");
}

TEST_F(ServerVeldaDb, DemoBuildsDictionaryCompaniesAsInAFolder) {
    const std::string target = root_ + "demo";
    Result r = Run("demo '" + target + "' --dictionary --employees 4 --seed 3");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "building company A01 (4 employees)\nbuilding company B02 (2 employees)\n"
              "building company C03 (1 employees)\ndemo folder " +
                  target + " is ready (data dictionaries; a server keeps no VELDA.ini)\n");
    const fs::path local = dir_ / "demo";
    r = Run("demo '" + local.string() + "' --dictionary --employees 4 --seed 3");
    ASSERT_EQ(r.exitCode, 0) << r.err;

    for (const char* company : {"A01", "B02", "C03"}) {
        SCOPED_TRACE(company);
        const std::string folder = std::string("COMPANY/") + company + "/";
        const std::string dictionary = target + "/" + folder + company + ".ADD";
        // The program's login opens every table by its registered name, unencrypted.
        ADSHANDLE c = 0;
        ASSERT_EQ(AdsConnect60(U(dictionary), 0, U("ORBELNAX4"), U("KWENDOLARIX"), 0, &c),
                  AE_SUCCESS);
        for (const char* table :
             {"paypara1", "PASS", "EMPLOYEE", "EMPSERV", "LEAV_TRX", "empleave"}) {
            ADSHANDLE t = 0;
            EXPECT_EQ(AdsOpenTable(c, U(table), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                                   ADS_CHECKRIGHTS, ADS_READONLY, &t),
                      AE_SUCCESS)
                << table;
            if (t) (void)AdsCloseTable(t);
            Result there = Run("export '" + target + "/" + folder + table + "'");
            ASSERT_EQ(there.exitCode, 0) << there.err;
            EXPECT_EQ(there.out, Run("export '" + (local / folder / table).string() + "'").out);
        }
        (void)AdsDisconnect(c);
    }
    // A second demo there would mix with the first: refused before anything is made.
    r = Run("demo '" + target + "' --dictionary");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: " + target +
                         "/MCOMPANY.adt: exists already; the demo needs a folder without its "
                         "tables\n");
}

}  // namespace
