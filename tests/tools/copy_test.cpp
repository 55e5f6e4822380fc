// velda-db copy: tables, companies and program folders copied and checked, each table whole or not
// at all. The copies go under a target root given as the fixture's parameter: a local folder, or a
// fresh folder in the test server's database (the group Server/CopyTo); copies back from the root
// into a local folder must export as the originals do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ace.h"

#include "tests/support/demo_folder.h"
#include "tests/support/server.h"
#include "tests/support/temp_folder.h"
#include "tests/tools/tool_test_support.h"

namespace fs = std::filesystem;

namespace {

using tooltest::Result;
using tooltest::Slurp;

UNSIGNED8* U(const std::string& text) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(text.c_str()));
}

std::string Tool() {
    return std::string(VELDA_BINARY_DIR) + "/tools/velda-db";
}

// Where the copies go: a root to which table and folder names are added. On the server a folder of
// its own per test (the process and the time tell runs apart), as the server outlives the tests.
std::string MakeRoot(const std::string& kind, const fs::path& scratch) {
    if (kind == "folder") {
        fs::create_directories(scratch / "target");
        return (scratch / "target").string() + "/";
    }
    if (kind == "server" && !testsupport::testServer().path.empty()) {
        static int made = 0;
        return testsupport::testServer().path + "c" + std::to_string(::getpid()) + "_" +
               std::to_string(++made) + "_" + std::to_string(std::time(nullptr)) + "/";
    }
    return {};
}

class CopyTo : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.empty()) << "no temporary folder";
        if (GetParam() == "server" && testsupport::testServer().path.empty()) {
            if (testsupport::inCi()) FAIL() << testsupport::testServer().reason;
            GTEST_SKIP() << testsupport::testServer().reason;
        }
        root_ = MakeRoot(GetParam(), dir_);
        ASSERT_FALSE(root_.empty()) << "no target root of kind " << GetParam();
    }

    // Runs velda-db; `environment` goes before it ("NAME=value ..."), `input` is standard input.
    Result Run(const std::string& arguments, const std::string& environment = "",
               const std::string& input = "") {
        fs::path in = dir_ / ".in";
        std::ofstream(in, std::ios::binary) << input;
        return tooltest::RunCaptured("env -u VELDA_DB_PASSWORD " + environment + " " + Tool() +
                                         " " + arguments + " <" + in.string(),
                                     dir_);
    }
    // `velda-db export`'s output, or a note of its failure that no export equals.
    std::string Export(const std::string& table, const std::string& extra = "") {
        Result r = Run("export '" + table + "' " + extra);
        return r.exitCode == 0 ? r.out : "export failed: " + r.err;
    }
    // `velda-db describe` without its first line, which names the table.
    std::string Describe(const std::string& table, const std::string& extra = "") {
        Result r = Run("describe '" + table + "' " + extra);
        if (r.exitCode != 0) return "describe failed: " + r.err;
        return r.out.substr(r.out.find('\n') + 1);
    }
    // Whether the engine finds a table at the path.
    static bool TableThere(const std::string& path) {
        size_t slash = path.find_last_of('/');
        ADSHANDLE c = 0;
        if (AdsConnect(U(path.substr(0, slash)), &c) != AE_SUCCESS) return false;
        ADSHANDLE t = 0;
        UNSIGNED32 rc = AdsOpenTable(c, U(path.substr(slash + 1)), nullptr, ADS_ADT, ADS_ANSI,
                                     ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, ADS_READONLY, &t);
        if (rc == AE_SUCCESS) (void)AdsCloseTable(t);
        (void)AdsDisconnect(c);
        return rc != AE_FILE_NOT_FOUND;
    }
    // The table files below a local folder, as paths relative to it.
    static std::vector<std::string> Tables(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.path().extension() == ".adt") names.push_back(fs::relative(e.path(), folder));
        std::sort(names.begin(), names.end());
        return names;
    }

    testsupport::TempFolder temp_{"velda-copy-test"};
    const fs::path dir_ = temp_.path();
    std::string root_;
};

// A table of every field type, filled through the engine with the awkward values: empty ones,
// the longest, Windows-1252 letters and every byte from 0x80 to 0xFF in texts and binaries,
// extreme numbers and dates, and auto-increment values with gaps.
constexpr const char* kPassword = "Gl\xE4nzend-7";  // "Glänzend-7" in Windows-1252

void BuildEveryType(const fs::path& folder, const std::string& name, bool encrypted) {
    ADSHANDLE c = 0;
    ASSERT_EQ(AdsConnect(U(folder.string()), &c), AE_SUCCESS);
    ADSHANDLE t = 0;
    ASSERT_EQ(
        AdsCreateTable(c, U(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECKRIGHTS, 0,
                       U("ID,AutoInc;NAME,Character,130;OK,Logical;AMOUNT,Numeric,12,3;"
                         "BORN,Date;NOTE,Memo;BLOB,Binary;PICTURE,Image;SHORT,VarChar,200;"
                         "PACKED,CompactDate;RATE,Double;COUNT,Integer;SMALL,ShortInteger;"
                         "AT,Time;STAMP,TimeStamp;KEY,Raw,16;MONEY,CurDouble,8,4;OLDDATE,Date,8"),
                       &t),
        AE_SUCCESS);
    ADSHANDLE index = 0;
    ASSERT_EQ(AdsCreateIndex61(t, nullptr, U("NAME"), U("NAME"), nullptr, nullptr, 0, 512, &index),
              AE_SUCCESS);
    ASSERT_EQ(AdsCreateIndex61(t, nullptr, U("BYCOUNT"), U("COUNT;BORN"), nullptr, nullptr,
                               ADS_UNIQUE | ADS_DESCENDING, 512, &index),
              AE_SUCCESS);
    ASSERT_EQ(AdsCloseTable(t), AE_SUCCESS);
    if (encrypted) {
        ASSERT_EQ(AdsOpenTable(c, U(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                               ADS_CHECKRIGHTS, ADS_EXCLUSIVE, &t),
                  AE_SUCCESS);
        ASSERT_EQ(AdsEnableEncryption(t, U(kPassword)), AE_SUCCESS);
        ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS);
        ASSERT_EQ(AdsCloseTable(t), AE_SUCCESS);
    }
    ASSERT_EQ(AdsOpenTable(c, U(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, 0, &t),
              AE_SUCCESS);
    if (encrypted) {
        ASSERT_EQ(AdsEnableEncryption(t, U(kPassword)), AE_SUCCESS);
    }

    std::string high;  // every byte from 0x80 to 0xFF
    for (int b = 0x80; b <= 0xFF; ++b) high.push_back(static_cast<char>(b));
    std::string all;  // every byte
    for (int b = 0; b <= 0xFF; ++b) all.push_back(static_cast<char>(b));
    auto raw = [&](const char* field, const void* bytes, UNSIGNED32 size) {
        ASSERT_EQ(
            AdsSetFieldRaw(t, U(field), static_cast<UNSIGNED8*>(const_cast<void*>(bytes)), size),
            AE_SUCCESS)
            << field;
    };
    auto text = [&](const char* field, const std::string& value) {
        ASSERT_EQ(AdsSetField(t, U(field), U(value), static_cast<UNSIGNED32>(value.size())),
                  AE_SUCCESS)
            << field;
    };
    auto numbers = [&](uint32_t id, int32_t julian, double real, int32_t count, int16_t small,
                       int32_t ms) {
        raw("ID", &id, 4);
        raw("BORN", &julian, 4);
        raw("RATE", &real, 8);
        raw("MONEY", &real, 8);
        raw("COUNT", &count, 4);
        raw("SMALL", &small, 2);
        raw("AT", &ms, 4);
        int32_t stamp[2] = {julian, ms};
        raw("STAMP", stamp, 8);
    };

    // 1: the longest values, of the high bytes and letters.
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    numbers(3, 5373484 /* 9999-12-31 */, 1.7976931348623157e308, 2147483647, 32767, 86399999);
    text("NAME", (high + "\xC9t\xE9 \x80uro \xD8resund").substr(0, 130));
    raw("OK", "T", 1);
    raw("AMOUNT", "-9999999.999", 12);
    text("NOTE", "Line one\r\nLine two, \"quoted\"; " + high + std::string(5000, 'x'));
    text("BLOB", all + all);
    text("PICTURE", high);
    text("SHORT", (high + high).substr(0, 200));
    const unsigned char packed[3] = {0x4E, 0x1F, 0x9F};  // 9999-12-31
    raw("PACKED", packed, 3);
    raw("KEY", high.data(), 16);
    raw("OLDDATE", "99991231", 8);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS);

    // 2: empty everywhere but the auto-increment value.
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    uint32_t seven = 7;
    raw("ID", &seven, 4);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS);

    // 3: small and negative values, trailing blanks, a one-letter text.
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    numbers(10, 2415021 /* 1900-01-01 */, -4.9e-324, -2147483647, -32767, 0);
    text("NAME", "\xE4");
    raw("OK", "F", 1);
    raw("AMOUNT", "       0.001", 12);
    text("NOTE", "  padded  ");
    text("BLOB", std::string(1, '\0'));
    text("SHORT", "x");
    const unsigned char early[3] = {0x0E, 0xD8, 0x21};  // 1900-01-01
    raw("PACKED", early, 3);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS);
    ASSERT_EQ(AdsCloseTable(t), AE_SUCCESS);
    (void)AdsDisconnect(c);
}

TEST_P(CopyTo, EveryFieldTypeAndAwkwardValueSurvives) {
    for (bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted ? "encrypted" : "plain");
        const std::string name = encrypted ? "secret.adt" : "plain.adt";
        ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_, name, encrypted));
        const std::string source = (dir_ / name).string(), target = root_ + "copy-" + name;
        const std::string environment =
            encrypted ? "VELDA_DB_PASSWORD=" + std::string(kPassword) : std::string();
        Result r = Run("copy '" + source + "' '" + target + "'", environment);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "copied " + source + " to " + target + " (3 rows, checked)\n");
        EXPECT_EQ(r.err, "");  // no progress when standard error is not a terminal

        const std::string password = encrypted ? "--password '" + std::string(kPassword) + "'" : "";
        std::string original = Export(source, password);
        ASSERT_EQ(original.find("failed"), std::string::npos) << original;
        EXPECT_EQ(Export(target, password), original);
        // Back from the root into a local folder, the table is the original again.
        const std::string back = (dir_ / ("back-" + name)).string();
        Result returned = Run("copy '" + target + "' '" + back + "'", environment);
        ASSERT_EQ(returned.exitCode, 0) << returned.err;
        EXPECT_EQ(Export(back, password), original);
        EXPECT_EQ(Describe(back, password), Describe(source, password));
        EXPECT_EQ(Describe(target, password), Describe(source, password));
        EXPECT_NE(Describe(target).find(encrypted ? "encrypted: yes" : "encrypted: no"),
                  std::string::npos);
        EXPECT_NE(Describe(target, password).find("  MONEY CurDouble 8 4\n"), std::string::npos);
        EXPECT_NE(Describe(target, password).find("  OLDDATE Date 8 0\n"), std::string::npos);
        for (const char* tag : {"NAME", "BYCOUNT"})
            EXPECT_EQ(Export(target, password + " --index " + tag),
                      Export(source, password + " --index " + tag))
                << tag;

        // The counter goes on from the highest value copied, as the source's does.
        fs::path row = dir_ / "row.csv";
        std::ofstream(row, std::ios::binary) << "NAME,COUNT,OLDDATE\nappended,5,2024-02-29\n";
        for (const std::string& table : {source, target}) {
            Result appended = Run("import '" + table + "' '" + row.string() + "' " + password);
            ASSERT_EQ(appended.exitCode, 0) << appended.err;
        }
        std::string after = Export(target, password);
        EXPECT_EQ(after, Export(source, password));
        EXPECT_EQ(after.substr(after.rfind("\r\n", after.size() - 3) + 2, 12), "11,appended,");
        // A date of 8 bytes (its CCYYMMDD text) is exported and imported as a date.
        EXPECT_NE(original.find(",9999-12-31\r\n"), std::string::npos);
        EXPECT_EQ(after.substr(after.size() - 13), ",2024-02-29\r\n");
    }
}

TEST_P(CopyTo, DemoProgramFolderCopiesWhole) {
    fs::path demo = dir_ / "demo";
    ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool(), "--employees 12", demo), "");
    const std::string target = root_ + "program";
    Result r = Run("copy '" + demo.string() + "' '" + target + "'", "VELDA_DB_PASSWORD=KORVA4816");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    if (GetParam() == "folder") {
        EXPECT_NE(r.out.find("copied 19 tables and 1 file from " + demo.string()),
                  std::string::npos)
            << r.out;
    } else {
        // A server keeps tables only: the startup configuration stays in its folder, and says so.
        EXPECT_NE(r.out.find("\nnot copied: " + (demo / "VELDA.ini").string() +
                             " (a server keeps tables only; velda reads it from its folder)\n"
                             "copied 19 tables from " +
                             demo.string() + " to " + target + "\n"),
                  std::string::npos)
            << r.out;
    }

    std::vector<std::string> tables = Tables(demo);
    ASSERT_EQ(tables.size(), 19u);
    if (GetParam() == "folder") {
        EXPECT_EQ(Tables(target), tables);
        EXPECT_EQ(Slurp(target + "/VELDA.ini"), Slurp(demo / "VELDA.ini"));
    }
    for (const auto& table : tables) {
        SCOPED_TRACE(table);
        const std::string from = (demo / table).string(), to = target + "/" + table;
        const std::string original = Export(from, "--password KORVA4816");
        EXPECT_EQ(Export(to, "--password KORVA4816"), original);
        EXPECT_EQ(Describe(to, "--password KORVA4816"), Describe(from, "--password KORVA4816"));
        // Back into a fresh local folder, one table at a time (the folder is made).
        const fs::path back = dir_ / "back" / table;
        Result returned = Run("copy '" + to + "' '" + back.parent_path().string() + "/'",
                              "VELDA_DB_PASSWORD=KORVA4816");
        ASSERT_EQ(returned.exitCode, 0) << returned.err;
        EXPECT_EQ(Export(back.string(), "--password KORVA4816"), original);
    }
    EXPECT_EQ(Tables(dir_ / "back"), tables);
    // Encrypted stays encrypted.
    EXPECT_NE(Describe(target + "/COMPANY/A01/EMPLOYEE").find("encrypted: yes"), std::string::npos);
    EXPECT_NE(Describe(target + "/COMPANY/A01/LEAV_TRX").find("encrypted: no"), std::string::npos);
}

TEST_P(CopyTo, AProgramFolderNeedsAFolderForEveryCompanyOfItsList) {
    // A program folder with the company A01 and a list of the codes given.
    auto program = [&](const std::string& name, const std::string& codes) {
        fs::path folder = dir_ / name;
        fs::create_directories(folder / "COMPANY" / "A01");
        BuildEveryType(folder / "COMPANY" / "A01", "plain.adt", false);
        const std::string list = (folder / "MCOMPANY.adt").string();
        EXPECT_EQ(Run("create '" + list + "' --field COMPANY_CODE:Character:8").exitCode, 0);
        std::ofstream(dir_ / "list.csv", std::ios::binary) << "COMPANY_CODE\n" << codes;
        EXPECT_EQ(Run("import '" + list + "' '" + (dir_ / "list.csv").string() + "'").exitCode, 0);
        return folder;
    };
    struct Case {
        const char* name;
        const char* codes;
        std::string error;
    } cases[] = {
        {"missing", "A01\nB02\n",
         (dir_ / "missing" / "COMPANY" / "B02").string() +
             ": the company B02 of the company list has no folder"},
        {"outside", "A01\n../A01\n",
         (dir_ / "outside" / "MCOMPANY.adt").string() +
             ": the company code '../A01' is not the name of a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path folder = program(c.name, c.codes);
        Result r = Run("copy '" + folder.string() + "' '" + root_ + c.name + "'");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "velda-db: " + c.error + "\n");
        EXPECT_FALSE(TableThere(root_ + c.name + "/MCOMPANY.adt"));
    }
    fs::path folder = program("right", "A01\n");
    Result r = Run("copy '" + folder.string() + "' '" + root_ + "right'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Export(root_ + "right/COMPANY/A01/plain.adt"),
              Export((folder / "COMPANY" / "A01" / "plain.adt").string()));
    // On a server, a company folder is there when it holds a table or a dictionary.
    if (GetParam() == "server") {
        std::ofstream(dir_ / "more.csv", std::ios::binary) << "COMPANY_CODE\nB02\n";
        ASSERT_EQ(Run("import '" + root_ + "right/MCOMPANY' '" + (dir_ / "more.csv").string() + "'")
                      .exitCode,
                  0);
        r = Run("copy '" + root_ + "right/' '" + (dir_ / "back").string() + "'");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "velda-db: " + root_ +
                             "right/COMPANY/B02: the company B02 of the company list has no "
                             "folder\n");
        EXPECT_FALSE(fs::exists(dir_ / "back"));
    }
}

// Logs in to a dictionary (a local file or on the server) and answers the engine's code.
UNSIGNED32 Login(const std::string& dictionary, const std::string& user,
                 const std::string& password) {
    ADSHANDLE c = 0;
    UNSIGNED32 rc = AdsConnect60(U(dictionary), 0, U(user), U(password), 0, &c);
    if (c) (void)AdsDisconnect(c);
    return rc;
}

// What a dictionary holds as its administrator (empty password) reads it: its description, its
// users, its tables with their paths (in lower case, as names on a server compare) and default
// index tags, one line each.
std::string Contents(const std::string& dictionary) {
    ADSHANDLE h = 0;
    if (AdsConnect60(U(dictionary), 0, U("ADSSYS"), U(""), 0, &h) != AE_SUCCESS)
        return "cannot log in";
    std::string text;
    char buffer[512];
    UNSIGNED16 len = sizeof buffer;
    if (AdsDDGetDatabaseProperty(h, ADS_DD_COMMENT, buffer, &len) == AE_SUCCESS)
        text += "description " + std::string(buffer, len) + "\n";
    for (UNSIGNED16 type : {ADS_DD_USER_OBJECT, ADS_DD_TABLE_OBJECT}) {
        ADSHANDLE find = 0;
        len = sizeof buffer;
        UNSIGNED32 rc = AdsDDFindFirstObject(h, type, nullptr, reinterpret_cast<UNSIGNED8*>(buffer),
                                             &len, &find);
        while (rc == AE_SUCCESS) {
            std::string name(buffer, len);
            text += (type == ADS_DD_USER_OBJECT ? "user " : "table ") + name;
            if (type == ADS_DD_TABLE_OBJECT) {
                len = sizeof buffer;
                if (AdsDDGetTableProperty(h, U(name), ADS_DD_TABLE_PATH, buffer, &len) ==
                    AE_SUCCESS) {
                    std::string path(buffer, len);
                    std::transform(path.begin(), path.end(), path.begin(),
                                   [](unsigned char c) { return std::tolower(c); });
                    text += " at " + path;
                }
                len = sizeof buffer;
                if (AdsDDGetTableProperty(h, U(name), ADS_DD_TABLE_DEFAULT_INDEX, buffer, &len) ==
                    AE_SUCCESS)
                    text += " by " + std::string(buffer, len);
            }
            text += "\n";
            len = sizeof buffer;
            rc = AdsDDFindNextObject(h, find, reinterpret_cast<UNSIGNED8*>(buffer), &len);
        }
        if (find) (void)AdsDDFindClose(h, find);
    }
    (void)AdsDisconnect(h);
    return text;
}

// A dictionary demo company with a default index tag and a second user besides the program's,
// which every copy must keep.
void DictionaryCompany(const std::string& tool, const fs::path& demo) {
    ASSERT_EQ(testsupport::CopyOfDemoFolder(tool, "--dictionary --employees 5", demo), "");
    const std::string dictionary = (demo / "COMPANY" / "A01" / "A01.ADD").string();
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsConnect60(U(dictionary), 0, U("ADSSYS"), U(""), 0, &h), AE_SUCCESS);
    ASSERT_EQ(AdsDDSetTableProperty(h, U("EMPLOYEE"), ADS_DD_TABLE_DEFAULT_INDEX, U("EMP_NO"), 7),
              AE_SUCCESS);
    ASSERT_EQ(AdsDDCreateUser(h, nullptr, U("Clerk \xC9mile"), U("clerk-pass"), nullptr),
              AE_SUCCESS);
    (void)AdsDisconnect(h);
}

constexpr const char* kCompanyTables[] = {"EMPLOYEE.adt", "EMPSERV.adt",  "LEAV_TRX.adt",
                                          "PASS.adt",     "empleave.adt", "paypara1.adt"};

TEST_P(CopyTo, DictionaryCompanyKeepsItsUsersAndTables) {
    fs::path demo = dir_ / "demo";
    ASSERT_NO_FATAL_FAILURE(DictionaryCompany(Tool(), demo));
    const fs::path company = demo / "COMPANY" / "A01";
    const std::string contents = Contents((company / "A01.ADD").string());
    EXPECT_EQ(contents,
              "description velda demo company A01\nuser ADSSYS\nuser Clerk \xC9mile\nuser "
              "ORBELNAX4\ntable empleave at empleave.adt\ntable EMPLOYEE at employee.adt by "
              "EMP_NO\ntable EMPSERV at empserv.adt\ntable LEAV_TRX at leav_trx.adt\n"
              "table PASS at pass.adt\ntable paypara1 at paypara1.adt\n");
    std::vector<std::string> originals;
    for (const char* table : kCompanyTables)
        originals.push_back(Export((company / table).string()));

    const std::string target = root_ + "A01";
    Result r = Run("copy '" + company.string() + "' '" + target + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(GetParam() == "folder"
                             ? "copied 6 tables and 1 file"
                             : "copied " + (company / "A01.ADD").string() + " to " + target +
                                   "/A01.ADD (3 users, 6 tables, checked)\n"
                                   "copied 6 tables and 1 data dictionary"),
              std::string::npos)
        << r.out;
    // The source goes, so that whatever the copies reach is their own; then the copy comes back
    // into a local folder as a whole.
    fs::remove_all(demo);
    const fs::path back = dir_ / "back" / "A01";
    r = Run("copy '" + target + "' '" + back.string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;

    for (const std::string& dictionary : {target + "/A01.ADD", (back / "A01.ADD").string()}) {
        SCOPED_TRACE(dictionary);
        EXPECT_EQ(Contents(dictionary), contents);
        struct Case {
            const char* user;
            const char* password;
            UNSIGNED32 expected;
        } logins[] = {{"ORBELNAX4", "KWENDOLARIX", AE_SUCCESS},
                      {"ORBELNAX4", "kwendolarix", AE_LOGIN_FAILED},
                      {"clerk \xC9mile", "clerk-pass", AE_SUCCESS},
                      {"Clerk \xC9mile", "KWENDOLARIX", AE_LOGIN_FAILED},
                      {"ADSSYS", "", AE_SUCCESS},
                      {"NOBODY", "KWENDOLARIX", AE_LOGIN_FAILED}};
        for (const auto& login : logins)
            EXPECT_EQ(Login(dictionary, login.user, login.password), login.expected)
                << login.user << "/" << login.password;
        ADSHANDLE c = 0;
        ASSERT_EQ(AdsConnect60(U(dictionary), 0, U("ORBELNAX4"), U("KWENDOLARIX"), 0, &c),
                  AE_SUCCESS);
        for (const char* table : {"EMPLOYEE", "LEAV_TRX", "paypara1"}) {
            ADSHANDLE t = 0;
            EXPECT_EQ(AdsOpenTable(c, U(table), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                                   ADS_CHECKRIGHTS, ADS_READONLY, &t),
                      AE_SUCCESS)
                << table;
            UNSIGNED32 count = 0;
            EXPECT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count), AE_SUCCESS);
            EXPECT_GT(count, 0u) << table;
            (void)AdsCloseTable(t);
        }
        (void)AdsDisconnect(c);
    }
    for (size_t i = 0; i < originals.size(); ++i)
        EXPECT_EQ(Export((back / kCompanyTables[i]).string()), originals[i]) << kCompanyTables[i];
}

TEST_P(CopyTo, DictionaryDemoProgramFolderGoesAndComesBackWhole) {
    fs::path demo = dir_ / "demo";
    ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool(), "--dictionary --employees 4", demo), "");
    const std::string target = root_ + "program";
    Result r = Run("copy '" + demo.string() + "' '" + target + "/'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path back = dir_ / "back";
    r = Run("copy '" + target + "/' '" + back.string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(GetParam() == "folder" ? "copied 19 tables and 4 files from "
                                                : "copied 19 tables and 3 data dictionaries from "),
              std::string::npos)
        << r.out;
    if (GetParam() == "server") {
        EXPECT_NE(r.out.find("not made: " + (back / "VELDA.ini").string() +
                             " (a server keeps none; write it there, with DICTIONARY=YES for "
                             "companies with data dictionaries)\n"),
                  std::string::npos)
            << r.out;
    }
    const std::vector<std::string> tables = Tables(demo);
    ASSERT_EQ(tables.size(), 19u);
    EXPECT_EQ(Tables(back), tables);
    for (const auto& table : tables)
        EXPECT_EQ(Export((back / table).string()), Export((demo / table).string())) << table;
    for (const char* code : {"A01", "B02", "C03"}) {
        const std::string file = std::string("COMPANY/") + code + "/" + code + ".ADD";
        EXPECT_EQ(Contents((back / file).string()), Contents((demo / file).string())) << file;
        EXPECT_EQ(Login((back / file).string(), "ORBELNAX4", "KWENDOLARIX"), AE_SUCCESS) << file;
    }
}

TEST_P(CopyTo, AnExistingDictionaryIsRefusedUnlessReplaced) {
    fs::path demo = dir_ / "demo";
    ASSERT_NO_FATAL_FAILURE(DictionaryCompany(Tool(), demo));
    const fs::path company = demo / "COMPANY" / "A01";
    const std::string target = root_ + "A01";
    ASSERT_EQ(Run("copy '" + company.string() + "' '" + target + "'").exitCode, 0);
    Result r = Run("copy '" + company.string() + "' '" + target + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: " + target +
                         "/EMPLOYEE.adt: exists already (and 6 more); give --replace to replace "
                         "them\n");
    // The dictionary alone is named too.
    ASSERT_EQ(Run("copy '" + company.string() + "' '" + root_ + "again'").exitCode, 0);
    for (const char* table : kCompanyTables) {
        ADSHANDLE c = 0;
        ASSERT_EQ(AdsConnect(U(root_ + "again"), &c), AE_SUCCESS);
        EXPECT_EQ(AdsDeleteTable(c, U(table)), AE_SUCCESS) << table;
        (void)AdsDisconnect(c);
    }
    r = Run("copy '" + company.string() + "' '" + root_ + "again'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: " + root_ +
                         "again/A01.ADD: exists already; give --replace to replace it\n");

    // A dictionary that its administrator password does not open, or a file of one that a
    // program has open, is not replaced, and nothing else is either.
    const std::string before = Export(target + "/EMPLOYEE.adt");
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsConnect60(U(target + "/A01.ADD"), 0, U("ADSSYS"), U(""), 0, &h), AE_SUCCESS);
    if (GetParam() == "server") {
        ASSERT_EQ(AdsDDSetUserProperty(h, U("ADSSYS"), ADS_DD_USER_PASSWORD, U("target-pw"), 10),
                  AE_SUCCESS);
        (void)AdsDisconnect(h);
        r = Run("copy --replace '" + company.string() + "' '" + target + "'");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "velda-db: " + target +
                             "/A01.ADD: Error 6008: The user name or password is not valid for "
                             "the data dictionary " +
                             target +
                             "/A01.ADD. (the copy logs in as ADSSYS with the password in "
                             "VELDA_DB_ADMIN_PASSWORD, or an empty one when it is not set)\n");
        ASSERT_EQ(AdsConnect60(U(target + "/A01.ADD"), 0, U("ADSSYS"), U("target-pw"), 0, &h),
                  AE_SUCCESS);
        ASSERT_EQ(AdsDDSetUserProperty(h, U("ADSSYS"), ADS_DD_USER_PASSWORD, U(""), 1), AE_SUCCESS);
    } else {
        ASSERT_EQ(AdsDDCreateUser(h, nullptr, U("BUSY"), U("busy-pass"), nullptr), AE_SUCCESS);
        r = Run("copy --replace '" + company.string() + "' '" + target + "'");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "velda-db: " + target +
                             "/A01.ADD: the dictionary is in use (its -wal or -shm file is "
                             "there); it cannot be replaced now\n");
    }
    (void)AdsDisconnect(h);
    EXPECT_EQ(Export(target + "/EMPLOYEE.adt"), before);

    // Replaced: the copy's own user is gone with the old dictionary.
    ASSERT_EQ(AdsConnect60(U(target + "/A01.ADD"), 0, U("ADSSYS"), U(""), 0, &h), AE_SUCCESS);
    ASSERT_EQ(AdsDDCreateUser(h, nullptr, U("EXTRA"), U("extra-pass"), nullptr), AE_SUCCESS);
    (void)AdsDisconnect(h);
    r = Run("copy --replace '" + company.string() + "' '" + target + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Login(target + "/A01.ADD", "EXTRA", "extra-pass"), AE_LOGIN_FAILED);
    EXPECT_EQ(Contents(target + "/A01.ADD"), Contents((company / "A01.ADD").string()));
}

TEST_P(CopyTo, AFailureInTheMiddleRemovesWhatTheRunMade) {
    fs::path demo = dir_ / "demo";
    ASSERT_NO_FATAL_FAILURE(DictionaryCompany(Tool(), demo));
    const fs::path company = demo / "COMPANY" / "A01";
    struct Case {
        const char* fault;
        std::string error;
    } cases[] = {
        {"fail-table=3", root_ +
                             "half/LEAV_TRX.adt: the write failed (VELDA_DB_COPY_TEST_FAULT); "
                             "the copy " +
                             root_ +
                             "half/LEAV_TRX.adt was removed; the 2 copied before it were "
                             "removed too\n"},
        {"fail-dictionary=1",
         root_ + "half/A01.ADD: the write failed (VELDA_DB_COPY_TEST_FAULT); the copy " + root_ +
             "half/A01.ADD was removed; the 6 copied before it were removed too\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        // Between local folders a dictionary is a file, which no engine write can fail.
        if (GetParam() == "folder" && std::string(c.fault) == "fail-dictionary=1") continue;
        Result r = Run("copy '" + company.string() + "' '" + root_ + "half'",
                       std::string("VELDA_DB_COPY_TEST_FAULT=") + c.fault);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "velda-db: " + c.error);
        for (const char* table : kCompanyTables) EXPECT_FALSE(TableThere(root_ + "half/" + table));
        EXPECT_EQ(Login(root_ + "half/A01.ADD", "ADSSYS", ""), AE_FILE_NOT_FOUND);
        if (GetParam() == "folder") {
            EXPECT_FALSE(fs::exists(root_ + "half"));
        }
    }
    // Back from the server, a failure leaves no local folder either.
    if (GetParam() == "server") {
        // A company folder on a server has the dictionary named as the folder.
        ASSERT_EQ(Run("copy '" + company.string() + "' '" + root_ + "whole/A01'").exitCode, 0);
        Result r = Run("copy '" + root_ + "whole/A01' '" + (dir_ / "half").string() + "'",
                       "VELDA_DB_COPY_TEST_FAULT=fail-dictionary=1");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("the 6 copied before it were removed too"), std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(dir_ / "half"));
    }
}

TEST_P(CopyTo, RefusalsNameWhatIsWrongAndLeaveNoTable) {
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_, "secret.adt", true));
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_, "plain.adt", false));
    const std::string secret = (dir_ / "secret.adt").string();
    const std::string plain = (dir_ / "plain.adt").string();
    const std::string target = root_ + "t.adt";
    const std::string password = std::string("VELDA_DB_PASSWORD=") + kPassword;
    struct Case {
        const char* what;
        std::string arguments;
        std::string environment;
        std::string error;
    } cases[] = {
        {"no password", "copy '" + secret + "' '" + target + "'", "",
         "velda-db: " + secret +
             ": the table is encrypted; give its password (VELDA_DB_PASSWORD, --password -, or "
             "--password PW)\n"},
        {"wrong password", "copy --password wrong '" + secret + "' '" + target + "'", "",
         "velda-db: " + secret + ": Error 6011: The password does not open the encrypted table " +
             secret + ".\n"},
        {"two wrong passwords",
         "copy --password wrong --password worse '" + secret + "' '" + target + "'", "",
         "velda-db: " + secret + ": Error 6011: The password does not open the encrypted table " +
             secret + ". (none of the 2 passwords given opens it)\n"},
        {"empty password variable", "copy '" + secret + "' '" + target + "'", "VELDA_DB_PASSWORD=",
         "velda-db: VELDA_DB_PASSWORD is set but empty: give the table password there, or unset "
         "it\n"},
        {"missing source", "copy '" + (dir_ / "absent").string() + "' '" + target + "'", "",
         "velda-db: absent: Error 6004: The table " + (dir_ / "absent.adt").string() +
             " does not exist.\n"},
        {"missing folder", "copy '" + (dir_ / "nowhere" / "x.adt").string() + "' '" + target + "'",
         "", "velda-db: " + (dir_ / "nowhere").string() + ": Error 6005: "},
        {"one argument", "copy '" + plain + "'", "",
         "velda-db: copy: expected 2 arguments (see 'velda-db copy --help')\n"},
        {"unknown option", "copy --force '" + plain + "' '" + target + "'", "",
         "velda-db: unknown option --force\n"},
        {"itself", "copy --replace '" + plain + "' '" + plain + "'", "",
         "velda-db: " + plain + ": is the source table itself\n"},
        {"folder into itself", "copy '" + dir_.string() + "' '" + dir_.string() + "'", password,
         "velda-db: " + dir_.string() + ": is the source folder itself\n"},
        {"unknown fault", "copy '" + plain + "' '" + target + "'",
         "VELDA_DB_COPY_TEST_FAULT=sometimes",
         "velda-db: VELDA_DB_COPY_TEST_FAULT: 'sometimes' is not a fault the copy knows\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = Run(c.arguments, c.environment);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err.substr(0, c.error.size()), c.error);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(TableThere(target));
    }
    // The source itself is untouched by the refusals.
    EXPECT_EQ(Export(plain).find("failed"), std::string::npos);
    // The second of two passwords opens the table.
    Result r = Run("copy --password wrong --password '" + std::string(kPassword) + "' '" + secret +
                   "' '" + target + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_P(CopyTo, AnExistingTargetIsRefusedUnlessReplaced) {
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_, "plain.adt", false));
    const std::string plain = (dir_ / "plain.adt").string();
    const std::string target = root_ + "old.adt";
    Result made = Run("create '" + target + "' --field X:Integer");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string before = Export(target);

    Result r = Run("copy '" + plain + "' '" + target + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: " + target + ": exists already; give --replace to replace it\n");
    EXPECT_EQ(Export(target), before);
    // A table in another case is the same table.
    r = Run("copy '" + plain + "' '" + root_ + "OLD'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: " + root_ + "OLD: exists already; give --replace to replace it\n");

    r = Run("copy --replace '" + plain + "' '" + target + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Export(target), Export(plain));

    // A folder copy names the first table it would replace, and copies nothing.
    fs::path company = dir_ / "company";
    fs::create_directories(company);
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(company, "a.adt", false));
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(company, "b.adt", false));
    if (GetParam() == "folder") fs::create_directories(root_ + "co");
    ASSERT_EQ(Run("create '" + root_ + "co/b.adt' --field X:Integer").exitCode, 0);
    r = Run("copy '" + company.string() + "' '" + root_ + "co'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "velda-db: " + root_ + "co/b.adt: exists already; give --replace to replace it\n");
    EXPECT_FALSE(TableThere(root_ + "co/a.adt"));
}

TEST_P(CopyTo, AFailedCopyLeavesNoTargetTable) {
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_, "secret.adt", true));
    const std::string source = (dir_ / "secret.adt").string();
    const std::string target = root_ + "half.adt";
    struct Case {
        const char* fault;
        std::string error;
    } cases[] = {
        {"fail-after-rows=2", target + ": row 3: the write failed (VELDA_DB_COPY_TEST_FAULT)"},
        {"drop-row=2", target + ": the copy has 2 rows where the source has 3"},
        {"blank-row=1", target + ": the copy's values differ from the source's"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Result r = Run(
            "copy '" + source + "' '" + target + "'",
            std::string("VELDA_DB_PASSWORD=") + kPassword + " VELDA_DB_COPY_TEST_FAULT=" + c.fault);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "velda-db: " + c.error + "; the copy " + target + " was removed\n");
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(TableThere(target));
        if (GetParam() == "folder") {
            EXPECT_TRUE(fs::is_empty(root_)) << "files left behind";
        }
    }
}

TEST_P(CopyTo, ADictionaryInUseIsCopiedOnlyThroughTheEngine) {
    fs::path demo = dir_ / "demo";
    ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool(), "--dictionary --employees 3", demo), "");
    fs::path company = demo / "COMPANY" / "C03";
    if (GetParam() == "server") {
        // Read through the engine, as a copy to a server reads it, a dictionary a program has
        // open shows what the program wrote, which a copy of its file could miss.
        ADSHANDLE h = 0;
        ASSERT_EQ(AdsConnect60(U((company / "C03.ADD").string()), 0, U("ADSSYS"), U(""), 0, &h),
                  AE_SUCCESS);
        ASSERT_EQ(AdsDDCreateUser(h, nullptr, U("LATE"), U("late-pass"), nullptr), AE_SUCCESS);
        ASSERT_TRUE(fs::exists(company / "C03.ADD-wal"));
        Result r = Run("copy '" + company.string() + "' '" + root_ + "C03'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Login(root_ + "C03/C03.ADD", "LATE", "late-pass"), AE_SUCCESS);
        (void)AdsDisconnect(h);
        return;
    }
    std::ofstream(company / "C03.ADD-wal") << "changes";
    Result r = Run("copy '" + company.string() + "' '" + root_ + "C03'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "velda-db: " + (company / "C03.ADD").string() +
                         ": the dictionary is in use (its -wal or -shm file is there); close the "
                         "programs that use it and copy again\n");
}

// A dictionary copied through the engine registers its tables by their paths in the target
// folder, so one that registers a table outside its folder, or one the folder lacks, is refused
// before anything is copied; a local copy of its file keeps it as it is. Its administrator
// password must open it.
TEST_P(CopyTo, ADictionaryThatTheEngineCannotCarryIsRefusedWhole) {
    fs::create_directories(dir_ / "A01" / "sub");
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_ / "A01", "plain.adt", false));
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_ / "A01" / "sub", "below.adt", false));
    const std::string dictionary = (dir_ / "A01" / "A01.ADD").string();
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsDDCreate(U(dictionary), 0, U(""), &h), AE_SUCCESS);
    ASSERT_EQ(AdsDDAddTable(h, U("PLAIN"), U("plain.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_SUCCESS);
    ASSERT_EQ(AdsDDAddTable(h, U("BELOW"), U("sub/below"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_SUCCESS);
    ASSERT_EQ(AdsDDSetUserProperty(h, U("ADSSYS"), ADS_DD_USER_PASSWORD, U("admin-pw"), 9),
              AE_SUCCESS);
    (void)AdsDisconnect(h);

    struct Case {
        const char* what;
        std::string environment;
        std::string error;
    } cases[] = {
        {"a table below the folder", "VELDA_DB_ADMIN_PASSWORD=admin-pw",
         dictionary +
             ": the table BELOW is registered at sub/below.adt, outside the dictionary's folder; "
             "only a copy from one local folder to another keeps such a dictionary\n"},
        {"no administrator password", "",
         dictionary +
             ": Error 6008: The user name or password is not valid for the data "
             "dictionary " +
             dictionary +
             ". (the copy logs in as ADSSYS with the password in VELDA_DB_ADMIN_PASSWORD, or an "
             "empty one when it is not set)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = Run("copy '" + (dir_ / "A01").string() + "' '" + root_ + "A01'", c.environment);
        if (GetParam() == "folder") {
            // Between local folders the file goes as it is, registrations and all.
            EXPECT_EQ(r.exitCode, 0) << r.err;
            fs::remove_all(root_ + "A01");
            continue;
        }
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "velda-db: " + c.error);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(TableThere(root_ + "A01/plain.adt"));
    }
    // A registered table the folder lacks.
    fs::remove(dir_ / "A01" / "plain.adt");
    fs::remove(dir_ / "A01" / "plain.adt.lck");
    ASSERT_EQ(AdsConnect60(U(dictionary), 0, U("ADSSYS"), U("admin-pw"), 0, &h), AE_SUCCESS);
    ASSERT_EQ(AdsDDRemove(h), AE_SUCCESS);
    ASSERT_EQ(AdsDDCreate(U(dictionary), 0, U(""), &h), AE_SUCCESS);
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_ / "A01", "gone.adt", false));
    ASSERT_EQ(AdsDDAddTable(h, U("GONE"), U("gone"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_SUCCESS);
    (void)AdsDisconnect(h);
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_ / "A01", "other.adt", false));
    ADSHANDLE c = 0;
    ASSERT_EQ(AdsConnect(U((dir_ / "A01").string()), &c), AE_SUCCESS);
    ASSERT_EQ(AdsDeleteTable(c, U("gone")), AE_SUCCESS);
    (void)AdsDisconnect(c);
    if (GetParam() == "server") {
        Result r = Run("copy '" + (dir_ / "A01").string() + "' '" + root_ + "A02'");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "velda-db: " + dictionary +
                             ": the table GONE is registered at gone.adt, which is not a table of "
                             "the dictionary's folder\n");
        EXPECT_FALSE(TableThere(root_ + "A02/other.adt"));
    }
}

// What a program shows on a terminal that is its standard output and error, once it has ended.
std::string ScreenOf(std::vector<std::string> argv, const std::string& password) {
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) return "forkpty failed";
    if (pid == 0) {
        setenv("VELDA_DB_PASSWORD", password.c_str(), 1);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    std::string screen;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the program has ended
        screen.append(buffer, static_cast<size_t>(n));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(terminal);
    return screen;
}

TEST_P(CopyTo, ATerminalSeesTheProgressAndThenOneLinePerTable) {
    ASSERT_NO_FATAL_FAILURE(BuildEveryType(dir_, "secret.adt", true));
    const std::string source = (dir_ / "secret.adt").string(), target = root_ + "shown.adt";
    std::string screen = ScreenOf({Tool(), "copy", source, target}, kPassword);
    EXPECT_NE(screen.find("\r\033[Kvelda-db: copying secret.adt: 1 of 3 rows"), std::string::npos)
        << screen;
    // The progress line is cleared before the table's own line.
    EXPECT_NE(screen.find("\r\033[Kcopied " + source + " to " + target + " (3 rows, checked)\r\n"),
              std::string::npos)
        << screen;
}

INSTANTIATE_TEST_SUITE_P(Folder, CopyTo, ::testing::Values(std::string("folder")));
INSTANTIATE_TEST_SUITE_P(Server, CopyTo, ::testing::Values(std::string("server")));

}  // namespace
