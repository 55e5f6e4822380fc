#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/ace.h"
#include "engine/connection.h"
#include "engine/last_error.h"
#include "tests/support/engine_test_helpers.h"

namespace {

namespace fs = std::filesystem;

class TempFolder : public testsupport::TempFolder {
  public:
    TempFolder() : testsupport::TempFolder("velda-dd") {}
};

using testsupport::lastError;
using testsupport::u8;

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

UNSIGNED32 connect(const std::string& path, const std::string& user, const std::string& password,
                   ADSHANDLE* h) {
    return AdsConnect60(u8(path), ADS_LOCAL_SERVER | ADS_REMOTE_SERVER, u8(user), u8(password), 0,
                        h);
}

std::string defaultIndex(ADSHANDLE h, const std::string& table, UNSIGNED32* rc) {
    char buffer[200];
    UNSIGNED16 len = sizeof buffer;
    *rc = AdsDDGetTableProperty(h, u8(table), ADS_DD_TABLE_DEFAULT_INDEX, buffer, &len);
    return *rc == AE_SUCCESS ? std::string(buffer, len) : std::string();
}

// A dictionary A1.ADD with tables PASS (file pass.adt) and EMPLOYEE (file data/Employee.ADT).
class Dictionary : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(temp / "data");
        writeFile(temp / "pass.adt", "");
        writeFile(temp / "data/Employee.ADT", "");
        ASSERT_EQ(AdsDDCreate(u8(dd), 0, u8("company A1"), &admin), AE_SUCCESS) << lastError();
        ASSERT_EQ(
            AdsDDAddTable(admin, u8("PASS"), u8("PASS.ADT"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
            AE_SUCCESS)
            << lastError();
        ASSERT_EQ(AdsDDAddTable(admin, u8("EMPLOYEE.adt"), u8("DATA\\employee"), ADS_DEFAULT,
                                ADS_ANSI, nullptr, nullptr),
                  AE_SUCCESS)
            << lastError();
    }
    void TearDown() override { (void)AdsDisconnect(admin); }

    TempFolder temp;
    std::string dd = temp / "A1.ADD";
    ADSHANDLE admin = 0;
};

TEST_F(Dictionary, CreateGivesAnAdministratorConnection) {
    UNSIGNED16 kind = 0;
    ASSERT_EQ(AdsGetHandleType(admin, &kind), AE_SUCCESS);
    EXPECT_EQ(kind, ADS_DATABASE_CONNECTION);
    UNSIGNED8 name[255];
    UNSIGNED16 len = sizeof name;
    ASSERT_EQ(AdsGetServerName(admin, name, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name)), dd);
    // No half-made file is left beside the dictionary.
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(temp.path()))
        entries += entry.path().filename().string().find(".new-") != std::string::npos;
    EXPECT_EQ(entries, 0);

    ADSHANDLE h = 0;
    ASSERT_EQ(connect(dd, "adssys", "", &h), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsGetHandleType(h, &kind), AE_SUCCESS);
    EXPECT_EQ(kind, ADS_DATABASE_CONNECTION);
    EXPECT_EQ(engine::connectionFor(h)->user(), "ADSSYS");
    EXPECT_EQ(AdsDisconnect(h), AE_SUCCESS);
}

TEST_F(Dictionary, CreateRefusesExistingFilesMissingFoldersAndOtherNames) {
    ADSHANDLE h = 5;
    EXPECT_EQ(AdsDDCreate(u8(dd), 0, nullptr, &h), AE_ALREADY_EXISTS);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(lastError(), "Error 6010: The data dictionary " + dd + " exists already.");
    // Names resolve without regard to case, so a1.add is the same file.
    EXPECT_EQ(AdsDDCreate(u8(temp / "a1.add"), 0, nullptr, &h), AE_ALREADY_EXISTS);

    EXPECT_EQ(AdsDDCreate(u8(temp / "none/B.ADD"), 0, nullptr, &h), AE_PATH_NOT_FOUND);
    EXPECT_EQ(lastError(), "Error 6005: The folder " + (temp / "none") + " does not exist.");
    EXPECT_EQ(AdsDDCreate(u8(temp / "B.dic"), 0, nullptr, &h), AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(), "Error 6002: The data dictionary name " + (temp / "B.dic") +
                               " must contain .ADD, as in COMPANY.ADD.");
    EXPECT_EQ(AdsDDCreate(u8(temp / "B.ADD"), 1, nullptr, &h), AE_NOT_SUPPORTED);
    EXPECT_FALSE(fs::exists(temp / "B.ADD"));
}

TEST_F(Dictionary, LoginChecksUserAndPasswordWithoutTellingWhichIsWrong) {
    ASSERT_EQ(AdsDDCreateUser(admin, nullptr, u8("Clerk"), u8("Pa55"), nullptr), AE_SUCCESS)
        << lastError();
    ADSHANDLE h = 0;
    ASSERT_EQ(connect(dd, "CLERK", "Pa55", &h), AE_SUCCESS) << lastError();
    EXPECT_EQ(engine::connectionFor(h)->user(), "Clerk");
    (void)AdsDisconnect(h);

    const std::string refused =
        "Error 6008: The user name or password is not valid for the data dictionary " + dd + ".";
    UNSIGNED32 code = 0;
    h = 9;
    EXPECT_EQ(connect(dd, "Clerk", "pa55", &h), AE_LOGIN_FAILED);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(lastError(&code), refused);
    EXPECT_EQ(code, AE_LOGIN_FAILED);
    EXPECT_EQ(connect(dd, "Nobody", "Pa55", &h), AE_LOGIN_FAILED);
    EXPECT_EQ(lastError(), refused);
    EXPECT_EQ(connect(dd, "", "", &h), AE_LOGIN_FAILED);
    EXPECT_EQ(AdsConnect(u8(dd), &h), AE_LOGIN_FAILED);

    EXPECT_EQ(AdsDDCreateUser(admin, nullptr, u8("clerk"), u8("x"), nullptr), AE_ALREADY_EXISTS);
    EXPECT_EQ(lastError(), "Error 6010: User clerk is already in the data dictionary " + dd + ".");
    EXPECT_EQ(AdsDDCreateUser(admin, nullptr, u8(""), u8("x"), nullptr), AE_INVALID_ARGUMENT);
}

TEST_F(Dictionary, OnlyTheAdministratorChangesTheDictionary) {
    ASSERT_EQ(AdsDDCreateUser(admin, nullptr, u8("clerk"), u8("pw"), nullptr), AE_SUCCESS);
    ADSHANDLE clerk = 0;
    ASSERT_EQ(connect(dd, "clerk", "pw", &clerk), AE_SUCCESS) << lastError();
    const std::string refused = "Error 6012: User clerk may not change the data dictionary " + dd +
                                "; connect as its administrator.";
    EXPECT_EQ(AdsDDCreateUser(clerk, nullptr, u8("other"), u8(""), nullptr), AE_READ_ONLY);
    EXPECT_EQ(lastError(), refused);
    EXPECT_EQ(AdsDDAddTable(clerk, u8("P2"), u8("pass.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_READ_ONLY);
    EXPECT_EQ(AdsDDSetTableProperty(clerk, u8("PASS"), ADS_DD_TABLE_DEFAULT_INDEX, u8("ID"), 3),
              AE_READ_ONLY);
    // Reading is open to every user.
    UNSIGNED32 rc = 0;
    defaultIndex(clerk, "PASS", &rc);
    EXPECT_EQ(rc, AE_PROPERTY_NOT_SET);
    (void)AdsDisconnect(clerk);
}

TEST_F(Dictionary, DictionaryCallsNeedADictionaryConnection) {
    ADSHANDLE folder = 0;
    ASSERT_EQ(AdsConnect(u8(temp.path()), &folder), AE_SUCCESS);
    EXPECT_EQ(AdsDDAddTable(folder, u8("X"), u8("pass.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_INVALID_HANDLE);
    EXPECT_EQ(lastError(), "Error 6001: Connection " + std::to_string(folder) + " to " +
                               temp.path() + " is not a data dictionary connection.");
    (void)AdsDisconnect(folder);
    EXPECT_EQ(AdsDDCreateUser(folder, nullptr, u8("x"), u8(""), nullptr), AE_INVALID_CONNECTION);
}

TEST_F(Dictionary, BrokenDictionaryFilesAreRefusedWithTheirName) {
    ADSHANDLE h = 0;
    UNSIGNED32 code = 0;
    EXPECT_EQ(connect(temp / "B1.ADD", "ADSSYS", "", &h), AE_FILE_NOT_FOUND);
    EXPECT_EQ(lastError(&code),
              "Error 6004: The data dictionary " + (temp / "B1.ADD") + " does not exist.");
    EXPECT_EQ(code, AE_FILE_NOT_FOUND);

    writeFile(temp / "EMPTY.ADD", "");
    EXPECT_EQ(connect(temp / "EMPTY.ADD", "ADSSYS", "", &h), AE_NOT_A_DICTIONARY);
    EXPECT_EQ(lastError(), "Error 6007: The file " + (temp / "EMPTY.ADD") +
                               " is empty; it is not a data dictionary.");

    writeFile(temp / "TEXT.ADD", std::string(5000, 'x'));
    EXPECT_EQ(connect(temp / "TEXT.ADD", "ADSSYS", "", &h), AE_NOT_A_DICTIONARY);
    EXPECT_EQ(lastError(),
              "Error 6007: The file " + (temp / "TEXT.ADD") + " is not a data dictionary.");

    // Damage the copy of a real dictionary past its header.
    fs::copy_file(dd, temp / "BAD.ADD");
    {
        std::fstream f(temp / "BAD.ADD", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(100);
        std::string junk(3000, '\xA5');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    EXPECT_EQ(connect(temp / "BAD.ADD", "ADSSYS", "", &h), AE_NOT_A_DICTIONARY);
    EXPECT_EQ(lastError(),
              "Error 6007: The data dictionary " + (temp / "BAD.ADD") + " is damaged.");

    // ".ADD" anywhere makes a dictionary path, also in a folder name.
    fs::create_directory(temp / "DATA.ADDRESS");
    EXPECT_EQ(AdsConnect(u8(temp / "data.addRESS"), &h), AE_NOT_A_DICTIONARY);
    EXPECT_EQ(lastError(), "Error 6007: " + (temp / "DATA.ADDRESS") +
                               " is a folder, not a data dictionary file.");
    EXPECT_EQ(h, 0u);
}

TEST_F(Dictionary, ADictionaryInsideAnAddFolderAndInLowerCaseConnects) {
    fs::create_directory(temp / "DATA.ADDRESS");
    ADSHANDLE made = 0;
    ASSERT_EQ(AdsDDCreate(u8(temp / "DATA.ADDRESS/c2.add"), 0, nullptr, &made), AE_SUCCESS)
        << lastError();
    (void)AdsDisconnect(made);
    ADSHANDLE h = 0;
    ASSERT_EQ(connect(temp.path() + "\\data.address\\C2.ADD", "ADSSYS", "", &h), AE_SUCCESS)
        << lastError();
    EXPECT_EQ(engine::connectionFor(h)->folder(), temp / "DATA.ADDRESS");
    (void)AdsDisconnect(h);
}

TEST_F(Dictionary, TablesResolveByNameWithOrWithoutExtension) {
    auto connection = engine::connectionFor(admin);
    ASSERT_NE(connection, nullptr);
    std::string file;
    for (const char* name : {"PASS", "pass.adt", "Pass.ADT"}) {
        ASSERT_EQ(connection->resolveTable(name, file), AE_SUCCESS) << name << ": " << lastError();
        EXPECT_EQ(file, temp / "pass.adt");
    }
    for (const char* name : {"employee", "EMPLOYEE.ADT"}) {
        ASSERT_EQ(connection->resolveTable(name, file), AE_SUCCESS) << name;
        EXPECT_EQ(file, temp / "data/Employee.ADT");
    }
    UNSIGNED32 code = 0;
    EXPECT_EQ(connection->resolveTable("LEAVE.adt", file), AE_NOT_IN_DICTIONARY);
    EXPECT_EQ(lastError(&code),
              "Error 5132: Table LEAVE.adt is not in the data dictionary " + dd + ".");
    EXPECT_EQ(code, AE_NOT_IN_DICTIONARY);
    // A name with a folder part is a path, even on a dictionary connection.
    ASSERT_EQ(connection->resolveTable("data\\EMPLOYEE", file), AE_SUCCESS);
    EXPECT_EQ(file, temp / "data/Employee.ADT");
}

TEST_F(Dictionary, AddTableChecksNameFileTypeAndDuplicates) {
    EXPECT_EQ(
        AdsDDAddTable(admin, u8("pass.ADT"), u8("pass.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
        AE_ALREADY_EXISTS);
    EXPECT_EQ(lastError(),
              "Error 6010: Table pass.ADT is already in the data dictionary " + dd + ".");
    EXPECT_EQ(
        AdsDDAddTable(admin, u8("LEAVE"), u8("leave.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
        AE_FILE_NOT_FOUND);
    EXPECT_EQ(lastError(),
              "Error 6004: The table file " + (temp / "leave.adt") + " does not exist.");
    EXPECT_EQ(
        AdsDDAddTable(admin, u8("LEAVE"), u8("pass.adt"), ADS_CDX, ADS_ANSI, nullptr, nullptr),
        AE_NOT_SUPPORTED);
    EXPECT_EQ(lastError(),
              "Error 5004: Table type 2 is not supported; a dictionary holds ADT tables.");
    EXPECT_EQ(AdsDDAddTable(admin, u8("a\\b"), u8("pass.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsDDAddTable(admin, u8(""), u8("pass.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsDDAddTable(admin, u8("LEAVE"), u8(""), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_INVALID_ARGUMENT);
}

TEST_F(Dictionary, DefaultIndexPropertyIsSetReadAndCleared) {
    UNSIGNED32 rc = 0;
    EXPECT_EQ(defaultIndex(admin, "PASS", &rc), "");
    EXPECT_EQ(rc, AE_PROPERTY_NOT_SET);
    EXPECT_EQ(lastError(),
              "Error 5138: Table PASS has no default index in the data dictionary " + dd + ".");

    std::string tag = "ID_TAG";
    ASSERT_EQ(AdsDDSetTableProperty(admin, u8("pass.adt"), ADS_DD_TABLE_DEFAULT_INDEX, u8(tag),
                                    static_cast<UNSIGNED16>(tag.size() + 1)),
              AE_SUCCESS)
        << lastError();
    EXPECT_EQ(defaultIndex(admin, "Pass", &rc), "ID_TAG");
    EXPECT_EQ(rc, AE_SUCCESS);

    char small[4];
    UNSIGNED16 len = sizeof small;
    EXPECT_EQ(AdsDDGetTableProperty(admin, u8("PASS"), ADS_DD_TABLE_DEFAULT_INDEX, small, &len),
              AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, tag.size() + 1);

    ASSERT_EQ(AdsDDSetTableProperty(admin, u8("PASS"), ADS_DD_TABLE_DEFAULT_INDEX, nullptr, 0),
              AE_SUCCESS);
    defaultIndex(admin, "PASS", &rc);
    EXPECT_EQ(rc, AE_PROPERTY_NOT_SET);

    defaultIndex(admin, "LEAVE", &rc);
    EXPECT_EQ(rc, AE_NOT_IN_DICTIONARY);
    EXPECT_EQ(lastError(), "Error 5132: Table LEAVE is not in the data dictionary " + dd + ".");
    EXPECT_EQ(AdsDDSetTableProperty(admin, u8("LEAVE"), ADS_DD_TABLE_DEFAULT_INDEX, u8("X"), 1),
              AE_NOT_IN_DICTIONARY);
    EXPECT_EQ(AdsDDSetTableProperty(admin, u8("PASS"), 214, u8("X"), 1), AE_NOT_SUPPORTED);
    EXPECT_EQ(lastError(), "Error 5004: Table property 214 is not supported.");
}

TEST_F(Dictionary, RelativeTablePathsFollowTheDatabaseFolder) {
    (void)AdsDisconnect(admin);
    admin = 0;
    std::string moved = temp.path() + "-moved";
    fs::rename(temp.path(), moved);
    ADSHANDLE h = 0;
    UNSIGNED32 rc = connect(moved + "/A1.ADD", "ADSSYS", "", &h);
    std::string file;
    UNSIGNED32 resolved = AE_SUCCESS;
    if (rc == AE_SUCCESS) resolved = engine::connectionFor(h)->resolveTable("employee", file);
    (void)AdsDisconnect(h);
    fs::rename(moved, temp.path());
    ASSERT_EQ(rc, AE_SUCCESS) << lastError();
    EXPECT_EQ(resolved, AE_SUCCESS);
    EXPECT_EQ(file, moved + "/data/Employee.ADT");
}

TEST_F(Dictionary, ChangesOfOneConnectionAreSeenByAnotherAtOnce) {
    ADSHANDLE other = 0;
    ASSERT_EQ(connect(dd, "ADSSYS", "", &other), AE_SUCCESS);
    ASSERT_EQ(
        AdsDDSetTableProperty(admin, u8("EMPLOYEE"), ADS_DD_TABLE_DEFAULT_INDEX, u8("EMP"), 3),
        AE_SUCCESS);
    UNSIGNED32 rc = 0;
    EXPECT_EQ(defaultIndex(other, "employee.adt", &rc), "EMP");
    (void)AdsDisconnect(other);
}

TEST_F(Dictionary, ConcurrentWritersWaitForEachOther) {
    ADSHANDLE second = 0;
    ASSERT_EQ(connect(dd, "ADSSYS", "", &second), AE_SUCCESS);
    for (int i = 0; i < 40; ++i) writeFile(temp / ("t" + std::to_string(i) + ".adt"), "");
    std::vector<UNSIGNED32> failures(2, 0);
    auto writer = [&](ADSHANDLE h, int first, UNSIGNED32& failed) {
        for (int i = first; i < 40; i += 2) {
            std::string name = "t" + std::to_string(i);
            if (AdsDDAddTable(h, u8(name), u8(name), ADS_ADT, ADS_ANSI, nullptr, nullptr) != 0 ||
                AdsDDSetTableProperty(h, u8(name), ADS_DD_TABLE_DEFAULT_INDEX, u8("K"), 1) != 0)
                failed = engine::lastError().code;
        }
    };
    std::thread a(writer, admin, 0, std::ref(failures[0]));
    std::thread b(writer, second, 1, std::ref(failures[1]));
    a.join();
    b.join();
    EXPECT_EQ(failures[0], 0u);
    EXPECT_EQ(failures[1], 0u);
    UNSIGNED32 rc = 0;
    for (int i = 0; i < 40; ++i) EXPECT_EQ(defaultIndex(admin, "t" + std::to_string(i), &rc), "K");
    (void)AdsDisconnect(second);
}

}  // namespace

namespace {

// A table T with one row in folder, made through a free-table connection.
void makeTable(const std::string& folder) {
    ADSHANDLE c = 0, t = 0;
    ASSERT_EQ(AdsConnect(u8(folder), &c), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsCreateTable(c, u8("T"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECKRIGHTS, 0, u8("NAME,Character,10"), &t),
              AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsSetString(t, u8("NAME"), u8("secret"), 6), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    (void)AdsCloseTable(t);
    (void)AdsDisconnect(c);
}

// A dictionary's connection reaches the free tables of its own folder and the folders below it,
// never another company's tables by a relative, absolute or linked path, neither by a table call
// nor by an SQL statement; a free-table connection goes on reaching them.
TEST_F(Dictionary, ADictionaryConnectionOpensNoTablesOutsideItsFolder) {
    testsupport::TempFolder other("velda-dd-other");
    makeTable(other.path());
    fs::create_directory(temp / "sub");
    makeTable(temp / "sub");
    fs::create_symlink(other / "T.adt", temp / "link.adt");
    const std::string relative =
        "../" + fs::path(other.path()).filename().string() + "/T";  // from the dictionary's folder
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable(admin, u8("sub/T"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, 0, &h),
              AE_SUCCESS)
        << lastError();
    (void)AdsCloseTable(h);
    for (const std::string& name :
         {relative, other / "T", std::string("sub/../") + relative, std::string("./link.adt")}) {
        const std::string refused = "Error 6002: The table " + name + " is outside the folder " +
                                    temp.path() + " of the data dictionary " + dd +
                                    "; a dictionary connection opens the tables of its own "
                                    "folder and the folders below it only.";
        EXPECT_EQ(AdsOpenTable(admin, u8(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                               ADS_CHECKRIGHTS, 0, &h),
                  AE_INVALID_ARGUMENT)
            << name;
        EXPECT_EQ(lastError(), refused);
        ADSHANDLE s = 0, cursor = 0;
        ASSERT_EQ(AdsCreateSQLStatement(admin, &s), AE_SUCCESS) << lastError();
        EXPECT_EQ(AdsExecuteSQLDirect(s, u8("SELECT * FROM \"" + name + "\""), &cursor),
                  AE_INVALID_ARGUMENT)
            << name;
        EXPECT_EQ(lastError(), refused);
        (void)AdsCloseSQLStatement(s);
    }
    ADSHANDLE s = 0, cursor = 0;
    ASSERT_EQ(AdsCreateSQLStatement(admin, &s), AE_SUCCESS) << lastError();
    EXPECT_EQ(AdsExecuteSQLDirect(s, u8("SELECT * FROM \"sub/T\""), &cursor), AE_SUCCESS)
        << lastError();
    (void)AdsCloseSQLStatement(s);

    ADSHANDLE free = 0;
    ASSERT_EQ(AdsConnect(u8(temp.path()), &free), AE_SUCCESS);
    EXPECT_EQ(AdsOpenTable(free, u8(relative), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, 0, &h),
              AE_SUCCESS)
        << lastError();
    (void)AdsCloseTable(h);
    (void)AdsDisconnect(free);
}

// User names: the dictionary's length limit, no control characters.
TEST_F(Dictionary, UserNamesHaveALengthLimitAndNoControlCharacters) {
    EXPECT_EQ(AdsDDCreateUser(admin, nullptr, u8(std::string(50, 'U')), u8("password"), nullptr),
              AE_SUCCESS)
        << lastError();
    EXPECT_EQ(AdsDDCreateUser(admin, nullptr, u8(std::string(5000, 'V')), u8("password"), nullptr),
              AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(),
              "Error 6002: The user name VVVVVVVVVVVVVVVVVVVV... has 5000 characters; "
              "a user name has at most 50.");
    for (const char* name : {"CL\tERK",
                             "CL\x1b"
                             "ERK",
                             "CLERK\n"}) {
        EXPECT_EQ(AdsDDCreateUser(admin, nullptr, u8(name), u8("password"), nullptr),
                  AE_INVALID_ARGUMENT)
            << name;
        EXPECT_EQ(lastError().rfind("Error 6002: A user name cannot hold control characters", 0),
                  0u)
            << lastError();
    }
}

}  // namespace
