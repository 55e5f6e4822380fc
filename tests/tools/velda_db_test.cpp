// velda-db driven as a user drives it: the real program, its exit codes, output and errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/ace.h"

#include "tests/support/temp_folder.h"
#include "tests/tools/tool_test_support.h"

namespace fs = std::filesystem;

namespace {

using tooltest::Result;
using tooltest::Slurp;

class VeldaDb : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()) << "no temporary folder"; }

    // Runs the tool; `environment` is put before it ("NAME=value ..."), `input` is its standard
    // input.
    Result Run(const std::string& arguments, const std::string& environment = "",
               const std::string& input = "") {
        std::string tool = std::string(VELDA_BINARY_DIR) + "/tools/velda-db";
        fs::path in = dir_ / ".in";
        std::ofstream(in, std::ios::binary) << input;
        return tooltest::RunCaptured(
            "env " + environment + " " + tool + " " + arguments + " <" + in.string(), dir_);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Write(const std::string& name, const std::string& content) {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    std::string CreatePeople() {
        Result r = Run("create " + Path("people") +
                       " --field NAME:Character:10 --field AGE:Integer --field BORN:Date --field "
                       "PAY:Numeric:7:2"
                       " --field OK:Logical --field NOTE:Memo --index NAME=NAME --index "
                       "'AGE=AGE;NAME,descending'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return Path("people");
    }

    testsupport::TempFolder temp_{"velda-db-test"};
    const fs::path dir_ = temp_.path();
};

TEST_F(VeldaDb, EveryCommandHasHelp) {
    for (const char* command :
         {"create", "import", "export", "describe", "encrypt", "decrypt", "dict", "demo", "copy"}) {
        Result r = Run(std::string(command) + " --help");
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_NE(r.out.find("usage: velda-db"), std::string::npos) << command;
    }
    Result all = Run("--help");
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_NE(all.out.find("dict add-table"), std::string::npos);
    Result none = Run("");
    EXPECT_EQ(none.exitCode, 2);
    Result unknown = Run("frobnicate");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err, "velda-db: unknown command 'frobnicate' (see 'velda-db --help')\n");
}

TEST_F(VeldaDb, CreateRefusesBadSpecifications) {
    Result r = Run("create " + Path("t") + " --field NAME:Text:10");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: unknown type 'Text' in field specification 'NAME:Text:10'\n");
    r = Run("create " + Path("t") + " --field NAME");
    EXPECT_EQ(
        r.err,
        "velda-db: bad field specification 'NAME' (expected NAME:TYPE[:LENGTH[:DECIMALS]])\n");
    r = Run("create " + Path("t") + " --field NAME:Character");
    EXPECT_EQ(
        r.err,
        "velda-db: bad field specification 'NAME:Character': a Character field needs a length\n");
    r = Run("create " + Path("t") + " --field NAME:Character:x");
    EXPECT_EQ(r.err, "velda-db: bad field specification 'NAME:Character:x': 'x' is not a number\n");
    r = Run("create " + Path("t") + " --field N:Integer --index BAD");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("bad index specification 'BAD'"), std::string::npos);
    r = Run("create " + Path("t"));
    EXPECT_EQ(r.err, "velda-db: create: at least one --field is needed\n");
    r = Run("create " + Path("t") + " --field N:Integer --bogus 1");
    EXPECT_EQ(r.err, "velda-db: unknown option --bogus\n");
    // An index on a field the table lacks leaves no table behind.
    r = Run("create " + Path("t") + " --field N:Integer --index X=MISSING");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(fs::exists(dir_ / "t.adt"));
}

TEST_F(VeldaDb, CreateDescribeAndRoundTripThroughCsv) {
    std::string table = CreatePeople();
    Write("in.csv",
          "name,AGE,born,PAY,OK,NOTE\r\n"
          "Ann,41,1984-02-29,1234.5,T,\"line one\nline \"\"two\"\", with comma\"\r\n"
          "Bob,,,,F,\r\n"
          "Zo\xC3\xAB,7,2019-12-31,0.25,,plain\r\n");
    Result r = Run("import " + table + " " + Path("in.csv"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "imported 3 rows into " + table + "\n");

    r = Run("describe " + Path("PEOPLE.ADT"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("encrypted: no\n"), std::string::npos);
    EXPECT_NE(r.out.find("rows: 3\n"), std::string::npos);
    EXPECT_NE(r.out.find("  NAME Character 10 0\n"), std::string::npos);
    EXPECT_NE(r.out.find("  PAY Numeric 7 2\n"), std::string::npos);
    EXPECT_NE(r.out.find("  AGE AGE;NAME descending\n"), std::string::npos);

    r = Run("export " + table);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "NAME,AGE,BORN,PAY,OK,NOTE\r\n"
              "Ann,41,1984-02-29,1234.50,T,\"line one\nline \"\"two\"\", with comma\"\r\n"
              "Bob,,,,F,\r\n"
              "Zo\xC3\xAB,7,2019-12-31,0.25,,plain\r\n");

    r = Run("export " + table + " --index NAME");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(r.out.find("Ann"), r.out.find("Bob"));
    EXPECT_LT(r.out.find("Bob"), r.out.find("Zo"));
    r = Run("export " + table + " --index NOSUCH");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
}

TEST_F(VeldaDb, FailedImportsKeepNothing) {
    std::string table = CreatePeople();
    Write("ok.csv", "NAME\r\nKeep\r\n");
    ASSERT_EQ(Run("import " + table + " " + Path("ok.csv")).exitCode, 0);

    struct Case {
        const char* csv;
        const char* error;
    } cases[] = {
        {"NAME,AGE\r\nA,1\r\nB,x\r\n",
         "bad.csv: row 3 (line 3), column AGE: 'x' not an integer that fits 32 bits"},
        {"NAME\r\nA\r\nAbcdefghijk\r\n",
         "bad.csv: row 3 (line 3), column NAME: 'Abcdefghijk' the text is 11 characters long; the "
         "field holds 10"},
        {"NAME,BORN\r\nA,2020-02-30\r\n",
         "bad.csv: row 2 (line 2), column BORN: '2020-02-30' not a date (YYYY-MM-DD)"},
        {"NAME,PAY\r\nA,12345.678\r\n",
         "bad.csv: row 2 (line 2), column PAY: '12345.678' the number does not fit 7 characters"},
        {"NAME,PAY\r\nA,1e3\r\n", "bad.csv: row 2 (line 2), column PAY: '1e3' not a number"},
        {"NAME\r\nA\r\nB,2\r\n",
         "bad.csv: row 3 (line 3): 2 values, but the header names 1 fields"},
        {"NAME\r\n\"open\r\n", "bad.csv: line 2: a quoted value is not closed"},
        {"NAME,WHO\r\nA,1\r\n", "bad.csv: row 1, column 2: 'WHO' is not a field of"},
        {"NAME\r\n\xE2\x82\xAC\xE2\x9C\x93\r\n",
         "bad.csv: row 2 (line 2), column NAME: character at byte 4 cannot be stored (not in "
         "Windows-1252)"},
    };
    for (const auto& c : cases) {
        Write("bad.csv", c.csv);
        Result r = Run("import " + table + " " + Path("bad.csv"));
        EXPECT_EQ(r.exitCode, 1) << c.csv;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
    Result r = Run("export " + table);
    EXPECT_EQ(r.out, "NAME,AGE,BORN,PAY,OK,NOTE\r\nKeep,,,,,\r\n");

    r = Run("import " + Path("missing") + " " + Path("ok.csv"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing"), std::string::npos);
    r = Run("import " + table + " " + Path("nofile.csv"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("nofile.csv: cannot be read"), std::string::npos);
}

TEST_F(VeldaDb, EncryptedTablesNeedTheirPassword) {
    ASSERT_EQ(
        Run("create " + Path("secret") + " --field CODE:Character:16 --password pw1").exitCode, 0);
    Write("s.csv", "CODE\r\nZQXJ-PLAINTEXT\r\n");
    Result r = Run("import " + Path("secret") + " " + Path("s.csv"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the table is encrypted; give its password (VELDA_DB_PASSWORD, "
                         "--password -, or --password PW)"),
              std::string::npos);
    r = Run("import " + Path("secret") + " " + Path("s.csv") + " --password wrong");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Error "), std::string::npos) << r.err;
    ASSERT_EQ(Run("import " + Path("secret") + " " + Path("s.csv") + " --password pw1").exitCode,
              0);

    r = Run("describe " + Path("secret"));
    EXPECT_NE(r.out.find("encrypted: yes\n"), std::string::npos);
    EXPECT_NE(r.out.find("rows: unknown (give the table password to count them)\n"),
              std::string::npos);
    r = Run("describe " + Path("secret") + " --password pw1");
    EXPECT_NE(r.out.find("rows: 1\n"), std::string::npos);

    for (const auto& entry : fs::directory_iterator(dir_)) {
        if (entry.path().extension() == ".csv") continue;  // the import's own input
        EXPECT_EQ(Slurp(entry.path()).find("ZQXJ-PLAINTEXT"), std::string::npos) << entry.path();
    }

    ASSERT_EQ(Run("decrypt " + Path("secret") + " --password pw1").exitCode, 0);
    r = Run("export " + Path("secret"));
    EXPECT_EQ(r.out, "CODE\r\nZQXJ-PLAINTEXT\r\n");
    r = Run("decrypt " + Path("secret") + " --password pw1");
    EXPECT_NE(r.err.find("the table is not encrypted"), std::string::npos);
    ASSERT_EQ(Run("encrypt " + Path("secret") + " --password pw2").exitCode, 0);
    r = Run("encrypt " + Path("secret") + " --password pw2");
    EXPECT_NE(r.err.find("the table is encrypted already"), std::string::npos);
    EXPECT_EQ(Run("export " + Path("secret") + " --password pw2").out,
              "CODE\r\nZQXJ-PLAINTEXT\r\n");
}

TEST_F(VeldaDb, DictionaryCommandsNeedTheAdministratorPassword) {
    std::string add = Path("co.ADD");
    const std::string admin = "VELDA_DB_ADMIN_PASSWORD=adm1";
    Result r = Run("dict create " + add);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "velda-db: the administrator password is needed: set VELDA_DB_ADMIN_PASSWORD or "
              "give it as a line on standard input\n");
    EXPECT_FALSE(fs::exists(add));
    r = Run("dict create " + add, "", "\n");
    EXPECT_EQ(r.err, "velda-db: dict create: the administrator password is empty\n");
    EXPECT_FALSE(fs::exists(add));
    ASSERT_EQ(Run("dict create " + add, "", "adm1\n").exitCode, 0);
    EXPECT_EQ(fs::status(add).permissions() & fs::perms::others_all, fs::perms::none);
    r = Run("dict create " + add, admin);
    EXPECT_EQ(r.exitCode, 1);

    // Every changing command: refused without the password and with a wrong one.
    ASSERT_EQ(Run("create " + Path("PASS") + " --field ID:Character:8 --index ID=ID").exitCode, 0);
    const std::string refused = "velda-db: " + add +
                                ": Error 6008: The user name or password is not valid for the "
                                "data dictionary " +
                                add + ".\n";
    for (const std::string& command :
         {"dict add-user " + add + " CLERK", "dict set-password " + add + " ADSSYS",
          "dict add-table " + add + " pass.adt"}) {
        r = Run(command, "VELDA_DB_ADMIN_PASSWORD=wrong VELDA_DB_NEW_PASSWORD=x");
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_EQ(r.err, refused) << command;
        r = Run(command, "VELDA_DB_NEW_PASSWORD=x", "\n");
        EXPECT_EQ(r.err, refused) << command;
    }
    // The administrator password and the new one, as two lines of standard input.
    r = Run("dict add-user " + add + " CLERK", "", "adm1\nsecret12\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "added user CLERK to " + add + "\n");
    r = Run("dict add-table " + add + " pass.adt --default-index ID", admin);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "registered pass in " + add + "\n");
    r = Run("dict add-table " + add + " nosuch.adt", admin);
    EXPECT_EQ(r.exitCode, 1);
    r = Run("dict frob " + add);
    EXPECT_EQ(r.err, "velda-db: dict: unknown subcommand 'frob' (see 'velda-db dict --help')\n");
    r = Run("dict set-password " + add + " NOBODY", admin + " VELDA_DB_NEW_PASSWORD=x2345678");
    EXPECT_EQ(r.err, "velda-db: " + add +
                         ": Error 6002: User NOBODY is not in the data dictionary " + add + ".\n");
    r = Run("dict set-password " + add + " ADSSYS", admin, "\n");
    EXPECT_EQ(r.err, "velda-db: dict set-password: the administrator password must not be empty\n");

    auto login = [&](const char* user, const char* password) {
        ADSHANDLE connection = 0;
        UNSIGNED32 rc =
            AdsConnect60(reinterpret_cast<UNSIGNED8*>(add.data()), ADS_LOCAL_SERVER,
                         reinterpret_cast<UNSIGNED8*>(const_cast<char*>(user)),
                         reinterpret_cast<UNSIGNED8*>(const_cast<char*>(password)), 0, &connection);
        if (rc == AE_SUCCESS) (void)AdsDisconnect(connection);
        return rc;
    };
    EXPECT_EQ(login("ADSSYS", ""), AE_LOGIN_FAILED);
    EXPECT_EQ(login("CLERK", "secret12"), AE_SUCCESS);
    ASSERT_EQ(Run("dict set-password " + add + " clerk", admin, "changed1\n").exitCode, 0);
    EXPECT_EQ(login("CLERK", "secret12"), AE_LOGIN_FAILED);
    EXPECT_EQ(login("CLERK", "changed1"), AE_SUCCESS);
    ASSERT_EQ(Run("dict set-password " + add + " ADSSYS", admin, "adm2\n").exitCode, 0);
    EXPECT_EQ(login("ADSSYS", "adm1"), AE_LOGIN_FAILED);
    EXPECT_EQ(Run("dict add-table " + add + " pass.adt --name P2", admin).exitCode, 1);
    EXPECT_EQ(Run("dict add-table " + add + " pass.adt --name P2", "", "adm2\n").exitCode, 0);

    ADSHANDLE connection = 0;
    ASSERT_EQ(
        AdsConnect60(reinterpret_cast<UNSIGNED8*>(add.data()), ADS_LOCAL_SERVER,
                     reinterpret_cast<UNSIGNED8*>(const_cast<char*>("CLERK")),
                     reinterpret_cast<UNSIGNED8*>(const_cast<char*>("changed1")), 0, &connection),
        AE_SUCCESS);
    char property[200];
    UNSIGNED16 len = sizeof property;
    EXPECT_EQ(
        AdsDDGetTableProperty(connection, reinterpret_cast<UNSIGNED8*>(const_cast<char*>("PASS")),
                              ADS_DD_TABLE_DEFAULT_INDEX, property, &len),
        AE_SUCCESS);
    EXPECT_STREQ(property, "ID");
    // A user may change their own password, not another's.
    std::string pw = "mine";
    EXPECT_EQ(
        AdsDDSetUserProperty(connection, reinterpret_cast<UNSIGNED8*>(const_cast<char*>("ADSSYS")),
                             ADS_DD_USER_PASSWORD, pw.data(), 5),
        AE_READ_ONLY);
    EXPECT_EQ(
        AdsDDSetUserProperty(connection, reinterpret_cast<UNSIGNED8*>(const_cast<char*>("clerk")),
                             ADS_DD_USER_PASSWORD, pw.data(), 5),
        AE_SUCCESS);
    (void)AdsDisconnect(connection);
    EXPECT_EQ(login("CLERK", "mine"), AE_SUCCESS);
}

TEST_F(VeldaDb, TablePasswordsComeFromTheEnvironmentOrStandardInput) {
    Result r =
        Run("create " + Path("secret") + " --field CODE:Character:16 --password -", "", "pw1\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Write("s.csv", "CODE\r\nX1\r\n");
    r = Run("import " + Path("secret") + " " + Path("s.csv"), "VELDA_DB_PASSWORD=pw1");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Run("export " + Path("secret") + " --password -", "", "pw1\n").out, "CODE\r\nX1\r\n");
    r = Run("export " + Path("secret") + " --password -");
    EXPECT_EQ(r.err,
              "velda-db: the table password is needed: give it as a line on standard "
              "input\n");
    r = Run("decrypt " + Path("secret"));
    EXPECT_EQ(r.err,
              "velda-db: decrypt: the table password is needed (VELDA_DB_PASSWORD, "
              "--password -, or --password PW)\n");
    r = Run("create " + Path("empty") + " --field CODE:Character:16 --password -", "", "\n");
    EXPECT_EQ(r.err, "velda-db: create: the table password is empty\n");
    // create encrypts only when its command line asks for it.
    r = Run("create " + Path("plain") + " --field CODE:Character:16", "VELDA_DB_PASSWORD=pw1");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(Run("describe " + Path("plain")).out.find("encrypted: no\n"), std::string::npos);
}

// A CSV of n rows for the people table, each NAME unique.
std::string PeopleRows(int n) {
    std::string csv = "NAME,AGE\r\n";
    for (int i = 0; i < n; ++i) csv += "P" + std::to_string(i) + "," + std::to_string(i) + "\r\n";
    return csv;
}

TEST_F(VeldaDb, AKilledImportKeepsNothingAndCanBeRetried) {
    ASSERT_EQ(Run("create " + Path("people") + " --field NAME:Character:10 --field AGE:Integer" +
                  " --index NAME=NAME,unique")
                  .exitCode,
              0);
    Write("one.csv", "NAME,AGE\r\nFirst,1\r\n");
    ASSERT_EQ(Run("import " + Path("people") + " " + Path("one.csv")).exitCode, 0);
    Write("big.csv", PeopleRows(200000));
    std::string tool = std::string(VELDA_BINARY_DIR) + "/tools/velda-db";
    std::string table = Path("people"), csv = Path("big.csv");
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(tool.c_str(), tool.c_str(), "import", table.c_str(), csv.c_str(), nullptr);
        _exit(127);
    }
    // Killed once it has written a good part of the rows.
    fs::path wal = dir_ / "people.adt-wal";
    for (int i = 0; i < 3000; ++i) {
        std::error_code ec;
        if (fs::exists(wal, ec) && fs::file_size(wal, ec) > 1000000) break;
        usleep(2000);
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the import ended before it was killed";
    EXPECT_EQ(Run("export " + table).out, "NAME,AGE\r\nFirst,1\r\n");

    Write("retry.csv", PeopleRows(50));
    Result r = Run("import " + table + " " + Path("retry.csv"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(Run("describe " + table).out.find("rows: 51\n"), std::string::npos);
}

TEST_F(VeldaDb, AnImportThatFillsTheDiskKeepsNothingAndSaysSo) {
    std::string table = CreatePeople();
    Write("one.csv", "NAME\r\nFirst\r\n");
    ASSERT_EQ(Run("import " + table + " " + Path("one.csv")).exitCode, 0);
    Write("big.csv", PeopleRows(20000));
    // A file-size limit is a disk that fills up: writes past it fail as a full disk does.
    std::string tool = std::string(VELDA_BINARY_DIR) + "/tools/velda-db";
    std::string command = "sh -c 'trap \"\" XFSZ; ulimit -f 256; exec " + tool + " import " +
                          table + " " + Path("big.csv") + "' >" + Path(".out") + " 2>" +
                          Path(".err");
    int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string err = Slurp(dir_ / ".err");
    EXPECT_EQ(err.rfind("velda-db: ", 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    EXPECT_EQ(Run("export " + table).out, "NAME,AGE,BORN,PAY,OK,NOTE\r\nFirst,,,,,\r\n");
}

TEST_F(VeldaDb, ACsvThatIsAFolderOrEndsInABrokenRecordIsRefusedByName) {
    std::string table = CreatePeople();
    fs::create_directory(dir_ / "folder.csv");
    Result r = Run("import " + table + " " + Path("folder.csv"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: " + Path("folder.csv") + ": is a folder, not a CSV file\n");
    Write("empty.csv", "");
    r = Run("import " + table + " " + Path("empty.csv"));
    EXPECT_EQ(r.err, "velda-db: " + Path("empty.csv") + ": the file has no header row\n");
    // Rows before a broken record are not kept either.
    Write("late.csv", PeopleRows(500) + "\"open\r\n");
    r = Run("import " + table + " " + Path("late.csv"));
    EXPECT_EQ(r.err,
              "velda-db: " + Path("late.csv") + ": line 502: a quoted value is not closed\n");
    EXPECT_NE(Run("describe " + table).out.find("rows: 0\n"), std::string::npos);
}

TEST_F(VeldaDb, ValuesNamesAndStructuresRoundTripExactly) {
    Result r = Run("create " + Path("t") + " --field 'NAM\xC3\x89:Character:10' --field D:Double" +
                   " --field N:AutoInc");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Write("in.csv",
          "nam\xC3\xA9,D\r\nA,0.30000000000000004\r\nB,0.1\r\nC,-2.5\r\nD,123456789.125\r\n"
          "E,0.000001234\r\n");
    r = Run("import " + Path("t") + " " + Path("in.csv"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run("export " + Path("t"));
    const std::string exported =
        "NAM\xC3\x89,D,N\r\nA,0.30000000000000004,1\r\nB,0.1,2\r\nC,-2.5,3\r\n"
        "D,123456789.125,4\r\nE,0.000001234,5\r\n";
    EXPECT_EQ(r.out, exported);
    // The export goes back in once its AutoInc column is left out.
    ASSERT_EQ(Run("create " + Path("u") + " --field 'NAM\xC3\x89:Character:10' --field D:Double")
                  .exitCode,
              0);
    Write("back.csv", r.out);
    r = Run("import " + Path("u") + " " + Path("back.csv"));
    EXPECT_EQ(r.err, "velda-db: " + Path("back.csv") + ": row 1, column 3: 'N' is not a field of " +
                         Path("u") + "\n");
    r = Run("import " + Path("t") + " " + Path("back.csv"));
    EXPECT_EQ(r.err, "velda-db: " + Path("back.csv") +
                         ": row 1, column 3: 'N' is an AutoInc field, which the table numbers "
                         "itself; leave the column out\n");

    // Sixty tags, all listed.
    std::string create = "create " + Path("many") + " --field K:Integer";
    for (int i = 0; i < 60; ++i) create += " --index T" + std::to_string(i) + "=K";
    ASSERT_EQ(Run(create).exitCode, 0);
    r = Run("describe " + Path("many"));
    EXPECT_NE(r.out.find("  T59 K\n"), std::string::npos) << r.out;
}

TEST_F(VeldaDb, ImportRefusesWhatWouldNotComeBackAsGiven) {
    std::string table = CreatePeople();
    struct Case {
        std::string csv, error;
    } cases[] = {
        {"NAME\r\na\xC0\xAF\r\n",
         "bad.csv: row 2 (line 2), column NAME: character at byte 2 cannot be stored (not in "
         "Windows-1252)"},
        {std::string("NAME\r\nab\0cd\r\n", 13),
         "bad.csv: row 2 (line 2), column NAME: character at byte 3 is a NUL, which a text cannot "
         "hold"},
        {"NAME,AGE,name\r\nA,1,B\r\n",
         "bad.csv: row 1, column 3: 'name' names the field NAME a second time"},
    };
    for (const auto& c : cases) {
        Write("bad.csv", c.csv);
        Result r = Run("import " + table + " " + Path("bad.csv"));
        EXPECT_EQ(r.exitCode, 1) << c.csv;
        EXPECT_EQ(r.err, "velda-db: " + Path(c.error) + "\n");
    }
    // The engine's note that a change is pending means nothing once the import has stopped.
    ASSERT_EQ(Run("create " + Path("u") + " --field K:Integer --index K=K,unique").exitCode, 0);
    Write("dup.csv", "K\r\n1\r\n1\r\n");
    Result r = Run("import " + Path("u") + " " + Path("dup.csv"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find("pending"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("already holds its key."), std::string::npos) << r.err;
}

TEST_F(VeldaDb, CreateRefusesFieldsItWouldGetWrong) {
    Result r = Run("create " + Path("t") + " --field 'A,Integer;B:Character:10'");
    EXPECT_EQ(r.err,
              "velda-db: bad field specification 'A,Integer;B:Character:10': a field name "
              "cannot hold ',' or ';' (give one --field per field)\n");
    r = Run("create " + Path("t") + " --field D:Date:8");
    EXPECT_EQ(r.err,
              "velda-db: bad field specification 'D:Date:8': a Date field has a fixed size; "
              "give no length\n");
    r = Run("create " + Path("t") + " --field C:Character:10:2");
    EXPECT_EQ(r.err,
              "velda-db: bad field specification 'C:Character:10:2': only a Numeric field "
              "has decimals\n");
    std::string longName(240, 'n');
    r = Run("create " + Path(longName) + " --field C:Character:10 --password -", "", "pw\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is too long: a table file name has at most 237 characters."),
              std::string::npos)
        << r.err;
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().rfind("nnnn", 0), std::string::npos)
            << entry.path();
    EXPECT_FALSE(fs::exists(dir_ / "t.adt"));
}

}  // namespace

namespace {

// Input a user can give by mistake or on purpose: each is refused with the row, the name or the
// reason, never taken quietly, never left to eat all memory.
TEST_F(VeldaDb, ImportRefusesDevicesAndEndlessLinesWithTheRow) {
    const std::string people = CreatePeople();
    Result zero = Run("import " + people + " /dev/zero");
    EXPECT_EQ(zero.exitCode, 1);
    EXPECT_EQ(zero.err,
              "velda-db: /dev/zero: is not a regular file or a pipe (a device or socket), not a "
              "CSV file\n");
    // A line without end, longer than any record: refused at the record's row; nothing kept.
    Write("endless.csv", "NAME\r\nA\r\n" + std::string(size_t{17} << 20, 'x'));
    Result endless = Run("import " + people + " " + Path("endless.csv"));
    EXPECT_EQ(endless.exitCode, 1);
    EXPECT_EQ(endless.err, "velda-db: " + Path("endless.csv") +
                               ": row 3 (line 3): a record longer than 16777216 bytes, far more "
                               "than any table's record (a line without end?)\n");
    Result rows = Run("describe " + people);
    EXPECT_NE(rows.out.find("rows: 0\n"), std::string::npos) << rows.out;
    // A pipe is read as a file is.
    Result piped = Run("import " + people + " /dev/stdin", "", "NAME\r\nB\r\n");
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
}

TEST_F(VeldaDb, ErrorTextsShowControlCharactersAndNulEscaped) {
    const std::string people = CreatePeople();
    using namespace std::string_literals;
    Write("nul.csv", "NA\0ME,AGE\r\nx,1\r\n"s);
    Result nul = Run("import " + people + " " + Path("nul.csv"));
    EXPECT_EQ(nul.exitCode, 1);
    EXPECT_EQ(nul.err, "velda-db: " + Path("nul.csv") + ": row 1, column 1: 'NA\\x00ME' is not a " +
                           "field of " + people + "\n");
    Write("escape.csv", "AGE\r\n\x1b[2J12\r\n");
    Result escape = Run("import " + people + " " + Path("escape.csv"));
    EXPECT_EQ(escape.exitCode, 1);
    EXPECT_EQ(escape.err.find('\x1b'), std::string::npos) << escape.err;
    EXPECT_NE(escape.err.find("'\\x1b[2J12'"), std::string::npos) << escape.err;
}

// What cannot reach standard output is a failure with status 1, never a truncated success.
TEST_F(VeldaDb, StandardOutputThatCannotBeWrittenIsAFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string people = CreatePeople();
    for (const std::string& command : {"export " + people, "describe " + people}) {
        const std::string line = "env -u VELDA_DB_PASSWORD " + std::string(VELDA_BINARY_DIR) +
                                 "/tools/velda-db " + command + " >/dev/full 2>" + Path(".err");
        const int status = std::system(line.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << command;
        EXPECT_EQ(Slurp(Path(".err")),
                  "velda-db: standard output cannot be written (No space left on device)\n");
    }
}

// Options given twice, empty password variables and dictionary users that no one should have.
TEST_F(VeldaDb, DoubledOptionsEmptyVariablesAndWeakUsersAreRefused) {
    const std::string people = CreatePeople();
    Result twice = Run("export " + people + " --index NAME --index AGE");
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_EQ(twice.err, "velda-db: option --index given twice\n");
    Result emptyTable = Run("export " + people, "VELDA_DB_PASSWORD=");
    EXPECT_EQ(emptyTable.exitCode, 1);
    EXPECT_EQ(emptyTable.err,
              "velda-db: VELDA_DB_PASSWORD is set but empty: give the table password there, or "
              "unset it\n");

    const std::string add = Path("co.add");
    ASSERT_EQ(Run("dict create " + add, "VELDA_DB_ADMIN_PASSWORD=admin123").exitCode, 0);
    const std::string admin = "VELDA_DB_ADMIN_PASSWORD=admin123";
    struct Case {
        std::string user, environment, input, error;
    } cases[] = {
        {"CLERK", admin, "\n", "dict add-user: the password is empty"},
        {"CLERK", admin, "short\n",
         "dict add-user: the password has 5 characters; a dictionary password needs at least 8"},
        {"CLERK", admin + " VELDA_DB_NEW_PASSWORD=", "long enough\n",
         "VELDA_DB_NEW_PASSWORD is set but empty: give the new user's password there, or unset "
         "it to give it on standard input"},
        {"CLERK", "VELDA_DB_ADMIN_PASSWORD=", "admin123\nlong enough\n",
         "VELDA_DB_ADMIN_PASSWORD is set but empty: give the administrator password there, or "
         "unset it to give it on standard input"},
        {"'CL\tERK'", admin, "long enough\n",
         add + ": Error 6002: A user name cannot hold control characters (character 9 given)."},
        {std::string(5000, 'U'), admin, "long enough\n",
         add + ": Error 6002: The user name UUUUUUUUUUUUUUUUUUUU... has 5000 characters; a user "
               "name has at most 50."},
    };
    for (const Case& c : cases) {
        Result r = Run("dict add-user " + add + " " + c.user, c.environment, c.input);
        EXPECT_EQ(r.exitCode, 1) << c.error;
        EXPECT_EQ(r.err, "velda-db: " + c.error + "\n");
    }
    Result weak = Run("dict set-password " + add + " NOBODY", admin, "short\n");
    EXPECT_EQ(weak.err,
              "velda-db: dict set-password: the password has 5 characters; a dictionary password "
              "needs at least 8\n");
    Result fine = Run("dict add-user " + add + " CLERK", admin, "long enough\n");
    EXPECT_EQ(fine.exitCode, 0) << fine.err;
}

// SIGINT or SIGTERM at a password prompt: the terminal gets its echo back.
TEST_F(VeldaDb, ASignalAtThePasswordPromptRestoresTheTerminal) {
    for (int signal : {SIGTERM, SIGINT}) {
        const tooltest::PromptEnd end = tooltest::SignalAtPrompt(
            {std::string(VELDA_BINARY_DIR) + "/tools/velda-db", "dict", "create", Path("x.add")},
            "the administrator password: ", signal);
        EXPECT_TRUE(end.prompted) << end.screen;
        EXPECT_TRUE(end.killedBySignal) << end.screen;
        EXPECT_TRUE(end.echoAfter) << "echo left off after signal " << signal;
    }
    EXPECT_FALSE(fs::exists(Path("x.add")));
}

}  // namespace
