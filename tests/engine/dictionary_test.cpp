// Data dictionaries, in a folder (an .ADD file) and, with VELDA_ENGINE_BACKEND=server, on a
// server (the database's catalog): the same calls, codes and texts in both places, the dictionary
// named by its path in root. Cases about the file itself say so with FOLDER_ONLY().
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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
#include "tests/engine/engine_fixture.h"

namespace {

namespace fs = std::filesystem;

using enginetest::onServer;
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
    char buffer[200] = {};
    UNSIGNED16 len = sizeof buffer;
    *rc = AdsDDGetTableProperty(h, u8(table), ADS_DD_TABLE_DEFAULT_INDEX, buffer, &len);
    return *rc == AE_SUCCESS ? std::string(buffer, len) : std::string();
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A table T with one row at `where` (a folder or a server path), made through a free-table
// connection.
void makeTableAt(const std::string& where) {
    ADSHANDLE c = 0, t = 0;
    ASSERT_EQ(AdsConnect(u8(where), &c), AE_SUCCESS) << lastError();
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

// A dictionary A1.ADD with tables PASS (pass.adt) and EMPLOYEE (data/Employee.adt), in the
// fixture's place.
class Dictionary : public enginetest::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!onServer()) fs::create_directory(fs::path(folder) / "data");
        makeTable("pass");
        makeTable("data/Employee");
        dd = path("A1.ADD");
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
    void TearDown() override {
        (void)AdsDisconnect(admin);
        EngineTest::TearDown();
    }
    // A table made through the fixture's free-table connection, closed again.
    void makeTable(const std::string& name) {
        ADSHANDLE t = 0;
        ASSERT_EQ(
            AdsCreateTable(connection, u8(name), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, u8("ID,Character,10"), &t),
            AE_SUCCESS)
            << name << ": " << lastError();
        (void)AdsCloseTable(t);
    }
    // The table a name resolves to: a folder's file as it is, a server's path as written (names
    // on a server compare without regard to case).
    void expectTable(const std::string& resolved, const std::string& expected) {
        if (onServer())
            EXPECT_EQ(lower(resolved), lower(expected));
        else
            EXPECT_EQ(resolved, expected);
    }

    std::string dd;
    ADSHANDLE admin = 0;
};

TEST_F(Dictionary, CreateGivesAnAdministratorConnection) {
    UNSIGNED16 kind = 0;
    ASSERT_EQ(AdsGetHandleType(admin, &kind), AE_SUCCESS);
    EXPECT_EQ(kind, ADS_DATABASE_CONNECTION);
    UNSIGNED8 name[255];
    UNSIGNED16 len = sizeof name;
    ASSERT_EQ(AdsGetServerName(admin, name, &len), AE_SUCCESS);
    UNSIGNED16 type = 0;
    ASSERT_EQ(AdsGetConnectionType(admin, &type), AE_SUCCESS);
    if (onServer()) {
        // The server's host and port, as for every connection to the server.
        UNSIGNED8 plain[255];
        UNSIGNED16 plainLen = sizeof plain;
        ASSERT_EQ(AdsGetServerName(connection, plain, &plainLen), AE_SUCCESS);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(name), len),
                  std::string(reinterpret_cast<char*>(plain), plainLen));
        EXPECT_EQ(type, ADS_REMOTE_SERVER);
    } else {
        EXPECT_EQ(std::string(reinterpret_cast<char*>(name)), dd);
        EXPECT_EQ(type, ADS_LOCAL_SERVER);
        // No half-made file is left beside the dictionary.
        int entries = 0;
        for (const auto& entry : fs::directory_iterator(folder))
            entries += entry.path().filename().string().find(".new-") != std::string::npos;
        EXPECT_EQ(entries, 0);
    }
    EXPECT_EQ(engine::connectionFor(admin)->serverPath(), dd);

    ADSHANDLE h = 0;
    ASSERT_EQ(connect(dd, "adssys", "", &h), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsGetHandleType(h, &kind), AE_SUCCESS);
    EXPECT_EQ(kind, ADS_DATABASE_CONNECTION);
    EXPECT_EQ(engine::connectionFor(h)->user(), "ADSSYS");
    EXPECT_EQ(AdsDisconnect(h), AE_SUCCESS);
}

TEST_F(Dictionary, CreateRefusesExistingDictionariesAndOtherNames) {
    ADSHANDLE h = 5;
    EXPECT_EQ(AdsDDCreate(u8(dd), 0, nullptr, &h), AE_ALREADY_EXISTS);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(lastError(), "Error 6010: The data dictionary " + dd + " exists already.");
    // Names resolve without regard to case, so a1.add is the same dictionary.
    EXPECT_EQ(AdsDDCreate(u8(path("a1.add")), 0, nullptr, &h), AE_ALREADY_EXISTS);

    if (onServer()) {
        // Folders on a server are names: a dictionary may begin one.
        EXPECT_EQ(AdsDDCreate(u8(path("none/B.ADD")), 0, nullptr, &h), AE_SUCCESS) << lastError();
        (void)AdsDisconnect(h);
        EXPECT_EQ(AdsDDCreate(u8(path("B.dic")), 0, nullptr, &h), AE_INVALID_ARGUMENT);
        EXPECT_EQ(lastError(), "Error 6002: The data dictionary name " + path("B.dic") +
                                   " must end in .ADD, as in COMPANY.ADD.");
    } else {
        EXPECT_EQ(AdsDDCreate(u8(path("none/B.ADD")), 0, nullptr, &h), AE_PATH_NOT_FOUND);
        EXPECT_EQ(lastError(), "Error 6005: The folder " + path("none") + " does not exist.");
        EXPECT_EQ(AdsDDCreate(u8(path("B.dic")), 0, nullptr, &h), AE_INVALID_ARGUMENT);
        EXPECT_EQ(lastError(), "Error 6002: The data dictionary name " + path("B.dic") +
                                   " must contain .ADD, as in COMPANY.ADD.");
    }
    EXPECT_EQ(AdsDDCreate(u8(path("B.ADD")), 1, nullptr, &h), AE_NOT_SUPPORTED);
    EXPECT_EQ(connect(path("B.ADD"), "ADSSYS", "", &h), AE_FILE_NOT_FOUND);
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

// Names and passwords are Windows-1252 texts: letters past ASCII keep their bytes, and only the
// ASCII letters compare without regard to case.
TEST_F(Dictionary, UserNamesAndPasswordsKeepTheirWindows1252Letters) {
    ASSERT_EQ(
        AdsDDCreateUser(admin, u8("B\xFCro"), u8("M\xFCller"), u8("Gr\xFC\xDF"), u8("Lohnb\xFCro")),
        AE_SUCCESS)
        << lastError();
    ADSHANDLE h = 0;
    ASSERT_EQ(connect(dd, "m\xFCLLER", "Gr\xFC\xDF", &h), AE_SUCCESS) << lastError();
    EXPECT_EQ(engine::connectionFor(h)->user(), "M\xFCller");
    (void)AdsDisconnect(h);
    EXPECT_EQ(connect(dd, "M\xDCLLER", "Gr\xFC\xDF", &h), AE_LOGIN_FAILED);
    EXPECT_EQ(connect(dd, "M\xFCller", "Gr\xDC\xDF", &h), AE_LOGIN_FAILED);
    EXPECT_EQ(AdsDDCreateUser(admin, nullptr, u8("M\xFCLLER"), u8("x"), nullptr),
              AE_ALREADY_EXISTS);
    EXPECT_EQ(lastError(),
              "Error 6010: User M\xFCLLER is already in the data dictionary " + dd + ".");
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
    // A user changes their own password; the old one no longer logs in.
    ASSERT_EQ(AdsDDSetUserProperty(clerk, u8("CLERK"), ADS_DD_USER_PASSWORD, u8("new"), 4),
              AE_SUCCESS)
        << lastError();
    (void)AdsDisconnect(clerk);
    EXPECT_EQ(connect(dd, "clerk", "pw", &clerk), AE_LOGIN_FAILED);
    ASSERT_EQ(connect(dd, "clerk", "new", &clerk), AE_SUCCESS) << lastError();
    (void)AdsDisconnect(clerk);
    EXPECT_EQ(AdsDDSetUserProperty(admin, u8("nobody"), ADS_DD_USER_PASSWORD, u8("x"), 2),
              AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(), "Error 6002: User nobody is not in the data dictionary " + dd + ".");
}

TEST_F(Dictionary, DictionaryCallsNeedADictionaryConnection) {
    EXPECT_EQ(
        AdsDDAddTable(connection, u8("X"), u8("pass.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
        AE_INVALID_HANDLE);
    EXPECT_EQ(lastError(), "Error 6001: Connection " + std::to_string(connection) + " to " + root +
                               " is not a data dictionary connection.");
    ADSHANDLE gone = connection;
    (void)AdsDisconnect(connection);
    EXPECT_EQ(AdsDDCreateUser(gone, nullptr, u8("x"), u8(""), nullptr), AE_INVALID_CONNECTION);
}

TEST_F(Dictionary, AMissingDictionaryIsRefusedWithItsName) {
    ADSHANDLE h = 7;
    UNSIGNED32 code = 0;
    EXPECT_EQ(connect(path("B1.ADD"), "ADSSYS", "", &h), AE_FILE_NOT_FOUND);
    EXPECT_EQ(lastError(&code),
              "Error 6004: The data dictionary " + path("B1.ADD") + " does not exist.");
    EXPECT_EQ(code, AE_FILE_NOT_FOUND);
    EXPECT_EQ(h, 0u);
}

TEST_F(Dictionary, BrokenDictionaryFilesAreRefusedWithTheirName) {
    FOLDER_ONLY();
    ADSHANDLE h = 0;
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
    if (!onServer()) fs::create_directory(temp / "DATA.ADDRESS");
    ADSHANDLE made = 0;
    ASSERT_EQ(AdsDDCreate(u8(path("DATA.ADDRESS/c2.add")), 0, nullptr, &made), AE_SUCCESS)
        << lastError();
    (void)AdsDisconnect(made);
    ADSHANDLE h = 0;
    ASSERT_EQ(connect(root + "\\data.address\\C2.ADD", "ADSSYS", "", &h), AE_SUCCESS)
        << lastError();
    expectTable(engine::connectionFor(h)->folder(), path("DATA.ADDRESS"));
    (void)AdsDisconnect(h);
}

TEST_F(Dictionary, TablesResolveByNameWithOrWithoutExtension) {
    auto connection = engine::connectionFor(admin);
    ASSERT_NE(connection, nullptr);
    std::string file;
    for (const char* name : {"PASS", "pass.adt", "Pass.ADT"}) {
        ASSERT_EQ(connection->resolveTable(name, file), AE_SUCCESS) << name << ": " << lastError();
        expectTable(file, path("pass.adt"));
    }
    for (const char* name : {"employee", "EMPLOYEE.ADT"}) {
        ASSERT_EQ(connection->resolveTable(name, file), AE_SUCCESS) << name;
        expectTable(file, path("data/Employee.adt"));
    }
    UNSIGNED32 code = 0;
    EXPECT_EQ(connection->resolveTable("LEAVE.adt", file), AE_NOT_IN_DICTIONARY);
    EXPECT_EQ(lastError(&code),
              "Error 5132: Table LEAVE.adt is not in the data dictionary " + dd + ".");
    EXPECT_EQ(code, AE_NOT_IN_DICTIONARY);
    // A name with a folder part is a path, even on a dictionary connection.
    ASSERT_EQ(connection->resolveTable("data\\EMPLOYEE", file), AE_SUCCESS);
    expectTable(file, path("data/Employee.adt"));

    // The tables open by their registered names; an unregistered name answers 5132.
    ADSHANDLE h = 0;
    for (const char* name : {"PASS", "employee.adt"}) {
        ASSERT_EQ(AdsOpenTable(admin, u8(name), nullptr, ADS_DEFAULT, ADS_ANSI,
                               ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &h),
                  AE_SUCCESS)
            << name << ": " << lastError();
        EXPECT_EQ(AdsCloseTable(h), AE_SUCCESS);
    }
    EXPECT_EQ(AdsOpenTable(admin, u8("LEAVE"), nullptr, ADS_DEFAULT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &h),
              AE_NOT_IN_DICTIONARY);
    EXPECT_EQ(lastError(), "Error 5132: Table LEAVE is not in the data dictionary " + dd + ".");
}

// A dictionary connection makes, fills and deletes tables in its own folder as a free-table
// connection does.
TEST_F(Dictionary, ADictionaryConnectionMakesAndDeletesTablesInItsFolder) {
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsCreateTable(admin, u8("NEW"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECKRIGHTS, 0, u8("NAME,Character,10"), &t),
              AE_SUCCESS)
        << lastError();
    (void)AdsCloseTable(t);
    // Seen by the free-table connection of the same folder.
    ADSHANDLE free = 0;
    ASSERT_EQ(AdsOpenTable(connection, u8("new.adt"), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &free),
              AE_SUCCESS)
        << lastError();
    (void)AdsCloseTable(free);
    ASSERT_EQ(AdsDDAddTable(admin, u8("NEW"), u8("new"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsOpenTable(admin, u8("new"), nullptr, ADS_DEFAULT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
              AE_SUCCESS)
        << lastError();
    EXPECT_EQ(AdsDeleteTable(admin, u8("NEW")), AE_LOCKED);
    (void)AdsCloseTable(t);
    EXPECT_EQ(AdsDeleteTable(admin, u8("NEW")), AE_SUCCESS) << lastError();
    EXPECT_EQ(AdsOpenTable(connection, u8("new.adt"), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &free),
              AE_FILE_NOT_FOUND);
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
    EXPECT_EQ(lastError(), "Error 6004: The table file " + path("leave.adt") + " does not exist.");
    EXPECT_EQ(
        AdsDDAddTable(admin, u8("LEAVE"), u8("pass.adt"), ADS_CDX, ADS_ANSI, nullptr, nullptr),
        AE_NOT_SUPPORTED);
    EXPECT_EQ(lastError(),
              "Error 5004: Table type 2 is not supported; a dictionary holds ADT tables.");
    EXPECT_EQ(AdsDDAddTable(admin, u8("a\\b"), u8("pass.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(), "Error 6002: The dictionary table name a\\b cannot contain a folder.");
    EXPECT_EQ(AdsDDAddTable(admin, u8(""), u8("pass.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(), "Error 6002: No table name given.");
    EXPECT_EQ(AdsDDAddTable(admin, u8("LEAVE"), u8(""), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(), "Error 6002: No table file given for table LEAVE.");
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
    ASSERT_EQ(AdsDDSetTableProperty(admin, u8("PASS"), ADS_DD_TABLE_DEFAULT_INDEX, u8("NAME"), 5),
              AE_SUCCESS)
        << lastError();
    EXPECT_EQ(defaultIndex(admin, "PASS", &rc), "NAME");

    char small[4] = {};
    UNSIGNED16 len = sizeof small;
    EXPECT_EQ(AdsDDGetTableProperty(admin, u8("PASS"), ADS_DD_TABLE_DEFAULT_INDEX, small, &len),
              AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 5u);

    ASSERT_EQ(AdsDDSetTableProperty(admin, u8("PASS"), ADS_DD_TABLE_DEFAULT_INDEX, nullptr, 0),
              AE_SUCCESS);
    defaultIndex(admin, "PASS", &rc);
    EXPECT_EQ(rc, AE_PROPERTY_NOT_SET);

    defaultIndex(admin, "LEAVE", &rc);
    EXPECT_EQ(rc, AE_NOT_IN_DICTIONARY);
    EXPECT_EQ(lastError(), "Error 5132: Table LEAVE is not in the data dictionary " + dd + ".");
    EXPECT_EQ(AdsDDSetTableProperty(admin, u8("LEAVE"), ADS_DD_TABLE_DEFAULT_INDEX, u8("X"), 1),
              AE_NOT_IN_DICTIONARY);
    EXPECT_EQ(lastError(), "Error 5132: Table LEAVE is not in the data dictionary " + dd + ".");
    EXPECT_EQ(AdsDDSetTableProperty(admin, u8("LEAVE"), ADS_DD_TABLE_DEFAULT_INDEX, nullptr, 0),
              AE_NOT_IN_DICTIONARY);
    EXPECT_EQ(AdsDDSetTableProperty(admin, u8("PASS"), 214, u8("X"), 1), AE_NOT_SUPPORTED);
    EXPECT_EQ(lastError(), "Error 5004: Table property 214 is not supported.");
}

TEST_F(Dictionary, RelativeTablePathsFollowTheDatabaseFolder) {
    FOLDER_ONLY();
    (void)AdsDisconnect(admin);
    (void)AdsDisconnect(connection);
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
    EXPECT_EQ(file, moved + "/data/Employee.adt");
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

// A change of the dictionary is its own, as in a file: an engine transaction of the connection's
// tables neither holds it back nor takes it along when it is rolled back.
TEST_F(Dictionary, ChangesStandApartFromTheConnectionsTransactions) {
    ADSHANDLE pass = 0;
    ASSERT_EQ(AdsOpenTable(admin, u8("PASS"), nullptr, ADS_DEFAULT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &pass),
              AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsBeginTransaction(admin), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsAppendRecord(pass), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsSetString(pass, u8("ID"), u8("one"), 3), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsWriteRecord(pass), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsDDCreateUser(admin, nullptr, u8("clerk"), u8("pw"), nullptr), AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsDDSetTableProperty(admin, u8("PASS"), ADS_DD_TABLE_DEFAULT_INDEX, u8("ID"), 3),
              AE_SUCCESS)
        << lastError();
    // Another connection sees the changes while the transaction is open...
    ADSHANDLE other = 0;
    ASSERT_EQ(connect(dd, "clerk", "pw", &other), AE_SUCCESS) << lastError();
    (void)AdsDisconnect(other);
    // ... and after it is rolled back, which undoes the row only.
    ASSERT_EQ(AdsRollbackTransaction(admin), AE_SUCCESS) << lastError();
    UNSIGNED32 count = 99;
    ASSERT_EQ(AdsGetRecordCount(pass, ADS_IGNOREFILTERS, &count), AE_SUCCESS) << lastError();
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(connect(dd, "clerk", "pw", &other), AE_SUCCESS) << lastError();
    UNSIGNED32 rc = 0;
    EXPECT_EQ(defaultIndex(other, "PASS", &rc), "ID");
    (void)AdsDisconnect(other);
    (void)AdsCloseTable(pass);
}

TEST_F(Dictionary, ConcurrentWritersWaitForEachOther) {
    ADSHANDLE second = 0;
    ASSERT_EQ(connect(dd, "ADSSYS", "", &second), AE_SUCCESS);
    for (int i = 0; i < 40; ++i) makeTable("t" + std::to_string(i));
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

// A dictionary's connection reaches the free tables of its own folder and the folders below it,
// never another company's tables by a relative, absolute or linked path, neither by a table call
// nor by an SQL statement; a free-table connection goes on reaching them.
TEST_F(Dictionary, ADictionaryConnectionOpensNoTablesOutsideItsFolder) {
    testsupport::TempFolder otherFolder("velda-dd-other");
    const std::string other = onServer() ? enginetest::serverFolder() : otherFolder.path();
    makeTableAt(other);
    if (!onServer()) fs::create_directory(temp / "sub");
    makeTableAt(path("sub"));
    const std::string otherName = other.substr(other.rfind('/') + 1);
    const std::string relative = "../" + otherName + "/T";  // from the dictionary's folder
    std::vector<std::string> outside = {relative, other + "/T", "sub/../" + relative};
    if (onServer()) {
        outside.push_back("/" + otherName + "/T");  // from the database's top
    } else {
        fs::create_symlink(otherFolder / "T.adt", temp / "link.adt");
        outside.push_back("./link.adt");
    }
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable(admin, u8("sub/T"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, 0, &h),
              AE_SUCCESS)
        << lastError();
    (void)AdsCloseTable(h);
    for (const std::string& name : outside) {
        const std::string refused = "Error 6002: The table " + name + " is outside the folder " +
                                    root + " of the data dictionary " + dd +
                                    "; a dictionary connection opens the tables of its own "
                                    "folder and the folders below it only.";
        EXPECT_EQ(AdsOpenTable(admin, u8(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                               ADS_CHECKRIGHTS, 0, &h),
                  AE_INVALID_ARGUMENT)
            << name;
        EXPECT_EQ(lastError(), refused);
        EXPECT_EQ(AdsDeleteTable(admin, u8(name)), AE_INVALID_ARGUMENT) << name;
        if (onServer()) continue;  // SQL statements need folders in this build
        ADSHANDLE s = 0, cursor = 0;
        ASSERT_EQ(AdsCreateSQLStatement(admin, &s), AE_SUCCESS) << lastError();
        EXPECT_EQ(AdsExecuteSQLDirect(s, u8("SELECT * FROM \"" + name + "\""), &cursor),
                  AE_INVALID_ARGUMENT)
            << name;
        EXPECT_EQ(lastError(), refused);
        (void)AdsCloseSQLStatement(s);
    }
    if (!onServer()) {
        ADSHANDLE s = 0, cursor = 0;
        ASSERT_EQ(AdsCreateSQLStatement(admin, &s), AE_SUCCESS) << lastError();
        EXPECT_EQ(AdsExecuteSQLDirect(s, u8("SELECT * FROM \"sub/T\""), &cursor), AE_SUCCESS)
            << lastError();
        (void)AdsCloseSQLStatement(s);
    }

    EXPECT_EQ(AdsOpenTable(connection, u8(relative), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &h),
              AE_SUCCESS)
        << lastError();
    (void)AdsCloseTable(h);
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

namespace {

// Every name a dictionary listing hands out; the first call's code in *rc.
std::vector<std::string> objects(ADSHANDLE h, UNSIGNED16 type, UNSIGNED32* rc = nullptr) {
    std::vector<std::string> names;
    char buffer[300] = {};
    UNSIGNED16 len = sizeof buffer;
    ADSHANDLE find = 0;
    UNSIGNED32 first = AdsDDFindFirstObject(h, type, nullptr, u8(buffer), &len, &find);
    if (rc) *rc = first;
    if (first != AE_SUCCESS) return names;
    names.emplace_back(buffer, len);
    for (len = sizeof buffer; AdsDDFindNextObject(h, find, u8(buffer), &len) == AE_SUCCESS;
         len = sizeof buffer)
        names.emplace_back(buffer, len);
    EXPECT_EQ(AdsDDFindClose(h, find), AE_SUCCESS) << lastError();
    return names;
}

std::string hashOf(ADSHANDLE h, const std::string& user, UNSIGNED32* rc) {
    char buffer[300] = {};
    UNSIGNED16 len = sizeof buffer;
    *rc = AdsDDGetUserProperty(h, u8(user), ADS_DD_USER_PASSWORD_HASH, buffer, &len);
    return *rc == AE_SUCCESS ? std::string(buffer, len) : std::string();
}

}  // namespace

TEST_F(Dictionary, UsersAndTablesAreListedByNameWithoutRegardToCase) {
    ASSERT_EQ(AdsDDCreateUser(admin, nullptr, u8("zed"), u8("pw"), nullptr), AE_SUCCESS);
    ASSERT_EQ(AdsDDCreateUser(admin, nullptr, u8("Clerk"), u8("pw"), nullptr), AE_SUCCESS);
    EXPECT_EQ(objects(admin, ADS_DD_USER_OBJECT),
              (std::vector<std::string>{"ADSSYS", "Clerk", "zed"}));
    EXPECT_EQ(objects(admin, ADS_DD_TABLE_OBJECT),
              (std::vector<std::string>{"EMPLOYEE.adt", "PASS"}));
    // The tables of the dictionary's folder are its files there, registered or not.
    char buffer[100] = {};
    UNSIGNED16 len = sizeof buffer;
    ADSHANDLE find = 0;
    ASSERT_EQ(AdsFindFirstTable(admin, nullptr, u8(buffer), &len, &find), AE_SUCCESS)
        << lastError();
    EXPECT_EQ(std::string(buffer, len), "pass.adt");
    len = sizeof buffer;
    EXPECT_EQ(AdsFindNextTable(admin, find, u8(buffer), &len), AE_FILE_NOT_FOUND);
    EXPECT_EQ(AdsFindClose(admin, find), AE_SUCCESS);
    // Every user may list them.
    ADSHANDLE clerk = 0;
    ASSERT_EQ(connect(dd, "clerk", "pw", &clerk), AE_SUCCESS) << lastError();
    EXPECT_EQ(objects(clerk, ADS_DD_TABLE_OBJECT).size(), 2u);
    (void)AdsDisconnect(clerk);
}

TEST_F(Dictionary, ListingRefusesOtherObjectsParentsAndConnections) {
    char buffer[100] = {};
    UNSIGNED16 len = sizeof buffer;
    ADSHANDLE find = 0;
    EXPECT_EQ(AdsDDFindFirstObject(admin, 10, nullptr, u8(buffer), &len, &find), AE_NOT_SUPPORTED);
    EXPECT_EQ(lastError(),
              "Error 5004: Dictionary objects of type 10 cannot be listed; tables (1) and users "
              "(8) can.");
    EXPECT_EQ(AdsDDFindFirstObject(admin, ADS_DD_TABLE_OBJECT, u8("PASS"), u8(buffer), &len, &find),
              AE_NOT_SUPPORTED);
    EXPECT_EQ(
        AdsDDFindFirstObject(connection, ADS_DD_USER_OBJECT, nullptr, u8(buffer), &len, &find),
        AE_INVALID_HANDLE);
    EXPECT_EQ(lastError(), "Error 6001: Connection " + std::to_string(connection) + " to " + root +
                               " is not a data dictionary connection.");
    EXPECT_EQ(find, 0u);
    // A dictionary without tables says so.
    ADSHANDLE empty = 0;
    ASSERT_EQ(AdsDDCreate(u8(path("E.ADD")), 0, nullptr, &empty), AE_SUCCESS) << lastError();
    UNSIGNED32 rc = 0;
    EXPECT_TRUE(objects(empty, ADS_DD_TABLE_OBJECT, &rc).empty());
    EXPECT_EQ(rc, AE_FILE_NOT_FOUND);
    EXPECT_EQ(lastError(), "Error 6004: No table is in the data dictionary " + path("E.ADD") + ".");
    (void)AdsDisconnect(empty);
}

TEST_F(Dictionary, DescriptionAndTablePathsReadAsRegistered) {
    char buffer[200] = {};
    UNSIGNED16 len = sizeof buffer;
    ASSERT_EQ(AdsDDGetDatabaseProperty(admin, ADS_DD_COMMENT, buffer, &len), AE_SUCCESS)
        << lastError();
    EXPECT_EQ(std::string(buffer, len), "company A1");
    len = 3;
    EXPECT_EQ(AdsDDGetDatabaseProperty(admin, ADS_DD_COMMENT, buffer, &len), AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 11);
    EXPECT_EQ(AdsDDGetDatabaseProperty(admin, 2, buffer, &len), AE_NOT_SUPPORTED);
    EXPECT_EQ(lastError(),
              "Error 5004: Data dictionary property 2 is not supported; only its description (1) "
              "is.");

    // Relative to the dictionary's folder, as registered.
    len = sizeof buffer;
    ASSERT_EQ(AdsDDGetTableProperty(admin, u8("pass"), ADS_DD_TABLE_PATH, buffer, &len), AE_SUCCESS)
        << lastError();
    EXPECT_EQ(lower(std::string(buffer, len)), "pass.adt");
    len = sizeof buffer;
    ASSERT_EQ(AdsDDGetTableProperty(admin, u8("EMPLOYEE"), ADS_DD_TABLE_PATH, buffer, &len),
              AE_SUCCESS)
        << lastError();
    EXPECT_EQ(lower(std::string(buffer, len)), "data/employee.adt");
    len = sizeof buffer;
    EXPECT_EQ(AdsDDGetTableProperty(admin, u8("NONE"), ADS_DD_TABLE_PATH, buffer, &len),
              AE_NOT_IN_DICTIONARY);
}

TEST_F(Dictionary, APasswordHashCarriesAPasswordToAnotherDictionary) {
    ASSERT_EQ(AdsDDCreateUser(admin, nullptr, u8("clerk"), u8("secret pw"), nullptr), AE_SUCCESS);
    UNSIGNED32 rc = 0;
    std::string hash = hashOf(admin, "CLERK", &rc);
    ASSERT_EQ(rc, AE_SUCCESS) << lastError();
    EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;
    EXPECT_EQ(hash.find("secret pw"), std::string::npos);

    ADSHANDLE copy = 0;
    ASSERT_EQ(AdsDDCreate(u8(path("B1.ADD")), 0, nullptr, &copy), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsDDCreateUser(copy, nullptr, u8("clerk"), u8("unknown"), nullptr), AE_SUCCESS);
    ASSERT_EQ(AdsDDSetUserProperty(copy, u8("clerk"), ADS_DD_USER_PASSWORD_HASH, u8(hash),
                                   static_cast<UNSIGNED16>(hash.size() + 1)),
              AE_SUCCESS)
        << lastError();
    (void)AdsDisconnect(copy);
    ADSHANDLE h = 0;
    EXPECT_EQ(connect(path("B1.ADD"), "clerk", "unknown", &h), AE_LOGIN_FAILED);
    ASSERT_EQ(connect(path("B1.ADD"), "clerk", "secret pw", &h), AE_SUCCESS) << lastError();
    (void)AdsDisconnect(h);
}

TEST_F(Dictionary, PasswordHashesAreTheAdministratorsAndMustBeReal) {
    ASSERT_EQ(AdsDDCreateUser(admin, nullptr, u8("clerk"), u8("pw"), nullptr), AE_SUCCESS);
    ADSHANDLE clerk = 0;
    ASSERT_EQ(connect(dd, "clerk", "pw", &clerk), AE_SUCCESS) << lastError();
    UNSIGNED32 rc = 0;
    hashOf(clerk, "clerk", &rc);
    EXPECT_EQ(rc, AE_READ_ONLY);
    EXPECT_EQ(lastError(), "Error 6012: User clerk may not change the data dictionary " + dd +
                               "; connect as its administrator.");
    std::string adminHash = hashOf(admin, "ADSSYS", &rc);
    ASSERT_EQ(rc, AE_SUCCESS);
    // Not even their own: a hash lets in whoever knows its password.
    EXPECT_EQ(AdsDDSetUserProperty(clerk, u8("clerk"), ADS_DD_USER_PASSWORD_HASH, u8(adminHash),
                                   static_cast<UNSIGNED16>(adminHash.size() + 1)),
              AE_READ_ONLY);
    (void)AdsDisconnect(clerk);

    hashOf(admin, "nobody", &rc);
    EXPECT_EQ(rc, AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(), "Error 6002: User nobody is not in the data dictionary " + dd + ".");
    char small[4] = {};
    UNSIGNED16 len = sizeof small;
    EXPECT_EQ(AdsDDGetUserProperty(admin, u8("clerk"), ADS_DD_USER_PASSWORD_HASH, small, &len),
              AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(AdsDDGetUserProperty(admin, u8("clerk"), ADS_DD_USER_PASSWORD, small, &len),
              AE_NOT_SUPPORTED);

    // Texts that are no hash of this engine's, and a hash of other limits, change nothing.
    std::string costly = adminHash;
    costly.replace(costly.find("m="), costly.find(',') - costly.find("m="), "m=4194304");
    for (const std::string& bad :
         {std::string("pw"), std::string(""), std::string("$argon2id$v=19$garbage"), costly}) {
        EXPECT_EQ(AdsDDSetUserProperty(admin, u8("clerk"), ADS_DD_USER_PASSWORD_HASH, u8(bad),
                                       static_cast<UNSIGNED16>(bad.size() + 1)),
                  AE_INVALID_ARGUMENT)
            << bad;
        EXPECT_EQ(lastError(),
                  "Error 6002: The password hash given for user clerk is not one this engine "
                  "makes; the password of clerk is left as it was.");
    }
    ASSERT_EQ(connect(dd, "clerk", "pw", &clerk), AE_SUCCESS) << lastError();
    (void)AdsDisconnect(clerk);
}

TEST_F(Dictionary, RemoveTakesTheDictionaryButLeavesItsTables) {
    ASSERT_EQ(AdsDDCreateUser(admin, nullptr, u8("clerk"), u8("pw"), nullptr), AE_SUCCESS);
    ADSHANDLE clerk = 0;
    ASSERT_EQ(connect(dd, "clerk", "pw", &clerk), AE_SUCCESS) << lastError();
    EXPECT_EQ(AdsDDRemove(clerk), AE_READ_ONLY);
    (void)AdsDisconnect(clerk);
    EXPECT_EQ(AdsDDRemove(connection), AE_INVALID_HANDLE);

    ASSERT_EQ(AdsDDRemove(admin), AE_SUCCESS) << lastError();
    UNSIGNED16 kind = 0;
    EXPECT_EQ(AdsGetHandleType(admin, &kind), AE_INVALID_HANDLE);
    ADSHANDLE h = 0;
    EXPECT_EQ(connect(dd, "ADSSYS", "", &h), AE_FILE_NOT_FOUND);
    if (!onServer()) {
        for (const char* suffix : {"", "-wal", "-shm"})
            EXPECT_FALSE(fs::exists(dd + suffix)) << suffix;
    }
    ADSHANDLE t = 0;
    EXPECT_EQ(AdsOpenTable(connection, u8("pass"), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
              AE_SUCCESS)
        << lastError();
    (void)AdsCloseTable(t);
    // The name is free again, and the new dictionary starts empty.
    ASSERT_EQ(AdsDDCreate(u8(dd), 0, nullptr, &admin), AE_SUCCESS) << lastError();
    EXPECT_EQ(objects(admin, ADS_DD_USER_OBJECT), std::vector<std::string>{"ADSSYS"});
}
