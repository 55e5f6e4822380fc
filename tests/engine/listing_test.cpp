// Listing the tables of a connection's folder (AdsFindFirstTable), in a folder and, with
// VELDA_ENGINE_BACKEND=server, in a folder of a server's database: the same names, order, codes
// and texts in both places.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "tests/engine/engine_fixture.h"

namespace {

namespace fs = std::filesystem;

using enginetest::onServer;
using testsupport::lastError;
using testsupport::u8;

class TableListing : public enginetest::EngineTest {
  protected:
    void make(const std::string& name) {
        ADSHANDLE t = create(name.c_str(), "ID,Character,4");
        close(t);
    }
    // Every name the listing hands out for the mask; the first call's code in *rc.
    std::vector<std::string> list(ADSHANDLE c, const char* mask, UNSIGNED32* rc = nullptr) {
        std::vector<std::string> names;
        char buffer[300] = {};
        UNSIGNED16 len = sizeof buffer;
        ADSHANDLE find = 0;
        UNSIGNED32 first = AdsFindFirstTable(c, u8(mask), u8(buffer), &len, &find);
        if (rc) *rc = first;
        if (first != AE_SUCCESS) {
            EXPECT_EQ(find, 0u);
            return names;
        }
        names.emplace_back(buffer, len);
        for (;;) {
            len = sizeof buffer;
            UNSIGNED32 next = AdsFindNextTable(c, find, u8(buffer), &len);
            if (next == AE_FILE_NOT_FOUND) break;
            EXPECT_EQ(next, AE_SUCCESS) << lastError();
            if (next != AE_SUCCESS) break;
            names.emplace_back(buffer, len);
        }
        EXPECT_EQ(AdsFindClose(c, find), AE_SUCCESS) << lastError();
        return names;
    }
};

TEST_F(TableListing, ListsTheFolderTablesInByteOrderWithTheirNamesAsMade) {
    for (const char* name : {"paypara1", "PASS.adt", "EMPLOYEE.ADT", "empleave"}) make(name);
    std::vector<std::string> expected{"EMPLOYEE.ADT", "PASS.adt", "empleave.adt", "paypara1.adt"};
    EXPECT_EQ(list(connection, nullptr), expected);
    EXPECT_EQ(list(connection, ""), expected);
    EXPECT_EQ(list(connection, "*"), expected);
}

TEST_F(TableListing, MasksMatchWithoutRegardToCaseWithOrWithoutTheExtension) {
    for (const char* name : {"LEAV_TRX", "empleave", "EMPLOYEE", "PASS"}) make(name);
    struct Case {
        const char* mask;
        std::vector<std::string> names;
    } cases[] = {
        {"emp*", {"EMPLOYEE.adt", "empleave.adt"}},
        {"*LEAV*", {"LEAV_TRX.adt", "empleave.adt"}},
        {"pass", {"PASS.adt"}},
        {"PASS.ADT", {"PASS.adt"}},
        {"?ASS", {"PASS.adt"}},
        {"*.adt", {"EMPLOYEE.adt", "LEAV_TRX.adt", "PASS.adt", "empleave.adt"}},
    };
    for (const auto& c : cases) EXPECT_EQ(list(connection, c.mask), c.names) << c.mask;
}

TEST_F(TableListing, NoMatchingTableMakesNoHandleAndSaysWhere) {
    UNSIGNED32 rc = 0;
    EXPECT_TRUE(list(connection, nullptr, &rc).empty());
    EXPECT_EQ(rc, AE_FILE_NOT_FOUND);
    EXPECT_NE(lastError().find("No table is in"), std::string::npos) << lastError();
    make("PASS");
    EXPECT_TRUE(list(connection, "EMP*", &rc).empty());
    EXPECT_EQ(rc, AE_FILE_NOT_FOUND);
    EXPECT_NE(lastError().find("No table matching EMP* is in"), std::string::npos) << lastError();
}

TEST_F(TableListing, TablesOfOtherFoldersAndDeletedTablesAreNotListed) {
    make("TOP");
    if (!onServer()) fs::create_directory(fs::path(folder) / "sub");
    make("sub/BELOW");
    make("GONE");
    ASSERT_EQ(AdsDeleteTable(connection, u8("GONE")), AE_SUCCESS) << lastError();
    EXPECT_EQ(list(connection, nullptr), std::vector<std::string>{"TOP.adt"});
    ADSHANDLE below = 0;
    ASSERT_EQ(AdsConnect(u8(path("sub")), &below), AE_SUCCESS) << lastError();
    EXPECT_EQ(list(below, nullptr), std::vector<std::string>{"BELOW.adt"});
    EXPECT_EQ(AdsDisconnect(below), AE_SUCCESS);
}

TEST_F(TableListing, OnlyTableFilesOfAFolderAreListed) {
    FOLDER_ONLY();
    make("REAL");
    make("SECRET");
    ADSHANDLE t = openOk("SECRET", ADS_EXCLUSIVE);
    ASSERT_EQ(AdsEnableEncryption(t, u8("pw")), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << lastError();
    close(t);
    ASSERT_TRUE(fs::exists(fs::path(folder) / "SECRET.adt.rows"));
    std::ofstream(fs::path(folder) / "notes.txt") << "x";
    std::ofstream(fs::path(folder) / ".hidden.adt") << "x";
    fs::create_directory(fs::path(folder) / "folder.adt");
    EXPECT_EQ(list(connection, nullptr), (std::vector<std::string>{"REAL.adt", "SECRET.adt"}));
}

TEST_F(TableListing, ASmallBufferKeepsTheNameForTheRetry) {
    make("ALPHA");
    make("BETA_LONGER");
    char buffer[40] = {};
    UNSIGNED16 len = 3;
    ADSHANDLE find = 0;
    EXPECT_EQ(AdsFindFirstTable(connection, nullptr, u8(buffer), &len, &find), AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 10);  // "ALPHA.adt" and its NUL
    EXPECT_EQ(find, 0u);
    len = sizeof buffer;
    ASSERT_EQ(AdsFindFirstTable(connection, nullptr, u8(buffer), &len, &find), AE_SUCCESS)
        << lastError();
    EXPECT_EQ(std::string(buffer, len), "ALPHA.adt");
    len = 5;
    EXPECT_EQ(AdsFindNextTable(connection, find, u8(buffer), &len), AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 16);
    len = sizeof buffer;
    ASSERT_EQ(AdsFindNextTable(connection, find, u8(buffer), &len), AE_SUCCESS) << lastError();
    EXPECT_EQ(std::string(buffer, len), "BETA_LONGER.adt");
    len = sizeof buffer;
    EXPECT_EQ(AdsFindNextTable(connection, find, u8(buffer), &len), AE_FILE_NOT_FOUND);
    EXPECT_NE(lastError().find("no more table names"), std::string::npos) << lastError();
    EXPECT_EQ(AdsFindClose(connection, find), AE_SUCCESS);
}

TEST_F(TableListing, FindHandlesBelongToTheirConnectionAndCloseWithIt) {
    make("ONE");
    char buffer[40] = {};
    UNSIGNED16 len = sizeof buffer;
    ADSHANDLE find = 0;
    ASSERT_EQ(AdsFindFirstTable(connection, nullptr, u8(buffer), &len, &find), AE_SUCCESS)
        << lastError();
    UNSIGNED16 kind = 0;
    EXPECT_EQ(AdsGetHandleType(find, &kind), AE_SUCCESS);
    EXPECT_EQ(kind, ADS_FIND_HANDLE);

    ADSHANDLE other = 0;
    ASSERT_EQ(AdsConnect(u8(root), &other), AE_SUCCESS) << lastError();
    len = sizeof buffer;
    EXPECT_EQ(AdsFindNextTable(other, find, u8(buffer), &len), AE_INVALID_HANDLE);
    EXPECT_NE(lastError().find("is not a listing of connection"), std::string::npos);
    EXPECT_EQ(AdsFindClose(other, find), AE_INVALID_HANDLE);
    EXPECT_EQ(AdsFindNextTable(other, connection, u8(buffer), &len), AE_INVALID_HANDLE);
    EXPECT_EQ(AdsDisconnect(other), AE_SUCCESS);

    ASSERT_EQ(AdsDisconnect(connection), AE_SUCCESS);
    EXPECT_EQ(AdsGetHandleType(find, &kind), AE_INVALID_HANDLE);
    ASSERT_EQ(AdsConnect(u8(root), &connection), AE_SUCCESS) << lastError();
}

TEST_F(TableListing, BadArgumentsAreRefusedByName) {
    char buffer[40] = {};
    UNSIGNED16 len = sizeof buffer;
    ADSHANDLE find = 0;
    EXPECT_EQ(AdsFindFirstTable(connection, nullptr, u8(buffer), &len, nullptr),
              AE_INVALID_ARGUMENT);
    EXPECT_NE(lastError().find("No place given for the find handle"), std::string::npos);
    EXPECT_EQ(AdsFindFirstTable(connection, u8("sub/*"), u8(buffer), &len, &find),
              AE_INVALID_ARGUMENT);
    EXPECT_NE(lastError().find("The table mask sub/* holds a folder"), std::string::npos);
    EXPECT_EQ(AdsFindFirstTable(12345, nullptr, u8(buffer), &len, &find), AE_INVALID_CONNECTION);
    EXPECT_EQ(AdsFindClose(connection, 12345), AE_INVALID_HANDLE);
}

TEST_F(TableListing, AFolderThatIsGoneIsRefusedByName) {
    FOLDER_ONLY();
    ADSHANDLE c = 0;
    fs::create_directory(fs::path(folder) / "gone");
    ASSERT_EQ(AdsConnect(u8(path("gone")), &c), AE_SUCCESS) << lastError();
    fs::remove(fs::path(folder) / "gone");
    char buffer[40] = {};
    UNSIGNED16 len = sizeof buffer;
    ADSHANDLE find = 0;
    EXPECT_EQ(AdsFindFirstTable(c, nullptr, u8(buffer), &len, &find), AE_PATH_NOT_FOUND);
    EXPECT_NE(lastError().find("gone does not exist"), std::string::npos) << lastError();
    EXPECT_EQ(AdsDisconnect(c), AE_SUCCESS);
}

}  // namespace
