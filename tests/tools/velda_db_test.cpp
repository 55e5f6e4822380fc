// velda-db driven as a user drives it: the real program, its exit codes, output and errors.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/ace.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class VeldaDb : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velda-db-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    Result Run(const std::string& arguments) {
        std::string tool = std::string(VELDA_BINARY_DIR) + "/tools/velda-db";
        fs::path out = dir_ / ".out", err = dir_ / ".err";
        std::string command =
            tool + " " + arguments + " >" + out.string() + " 2>" + err.string() + " </dev/null";
        int status = std::system(command.c_str());
        Result r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
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

    fs::path dir_;
};

TEST_F(VeldaDb, EveryCommandHasHelp) {
    for (const char* command :
         {"create", "import", "export", "describe", "encrypt", "decrypt", "dict", "demo"}) {
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
    EXPECT_NE(r.err.find("the table is encrypted; give its password with --password"),
              std::string::npos);
    r = Run("import " + Path("secret") + " " + Path("s.csv") + " --password wrong");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Error "), std::string::npos) << r.err;
    ASSERT_EQ(Run("import " + Path("secret") + " " + Path("s.csv") + " --password pw1").exitCode,
              0);

    r = Run("describe " + Path("secret"));
    EXPECT_NE(r.out.find("encrypted: yes\n"), std::string::npos);
    EXPECT_NE(r.out.find("rows: unknown (give --password to count them)\n"), std::string::npos);
    r = Run("describe " + Path("secret") + " --password pw1");
    EXPECT_NE(r.out.find("rows: 1\n"), std::string::npos);

    for (const auto& entry : fs::directory_iterator(dir_)) {
        if (entry.path().extension() == ".csv") continue;  // the import's own input
        EXPECT_EQ(Slurp(entry.path()).find("ZQXJ-PLAINTEXT"), std::string::npos) << entry.path();
    }

    r = Run("decrypt " + Path("secret"));
    EXPECT_EQ(r.err, "velda-db: decrypt: --password is required\n");
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

TEST_F(VeldaDb, DictionaryCommands) {
    std::string add = Path("co.ADD");
    ASSERT_EQ(Run("dict create " + add).exitCode, 0);
    Result r = Run("dict create " + add);
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(Run("dict add-user " + add + " CLERK secret").exitCode, 0);
    ASSERT_EQ(Run("create " + Path("PASS") + " --field ID:Character:8 --index ID=ID").exitCode, 0);
    r = Run("dict add-table " + add + " pass.adt --default-index ID");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "registered pass in " + add + "\n");
    r = Run("dict add-table " + add + " nosuch.adt");
    EXPECT_EQ(r.exitCode, 1);
    r = Run("dict frob " + add);
    EXPECT_EQ(r.err, "velda-db: dict: unknown subcommand 'frob' (see 'velda-db dict --help')\n");

    ADSHANDLE connection = 0;
    ASSERT_EQ(
        AdsConnect60(reinterpret_cast<UNSIGNED8*>(add.data()), ADS_LOCAL_SERVER,
                     reinterpret_cast<UNSIGNED8*>(const_cast<char*>("CLERK")),
                     reinterpret_cast<UNSIGNED8*>(const_cast<char*>("secret")), 0, &connection),
        AE_SUCCESS);
    char property[200];
    UNSIGNED16 len = sizeof property;
    EXPECT_EQ(
        AdsDDGetTableProperty(connection, reinterpret_cast<UNSIGNED8*>(const_cast<char*>("PASS")),
                              ADS_DD_TABLE_DEFAULT_INDEX, property, &len),
        AE_SUCCESS);
    EXPECT_STREQ(property, "ID");
    AdsDisconnect(connection);
}

}  // namespace
