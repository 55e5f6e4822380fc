#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/ace.h"
#include "engine/connection.h"
#include "tests/support/engine_test_helpers.h"

namespace {

namespace fs = std::filesystem;

class TempFolder : public testsupport::TempFolder {
  public:
    TempFolder() : testsupport::TempFolder("velda-conn") {}
};

using testsupport::lastError;
using testsupport::u8;

void touch(const std::string& path) {
    std::ofstream(path) << "";
}

class FolderConnection : public ::testing::Test {
  protected:
    TempFolder temp;
};

TEST_F(FolderConnection, ConnectsReportsAndDisconnects) {
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsConnect(u8(temp.path()), &h), AE_SUCCESS) << lastError();
    EXPECT_NE(h, 0u);
    EXPECT_NE(h, 0xFFFFFFFFu);

    UNSIGNED16 kind = 0;
    ASSERT_EQ(AdsGetHandleType(h, &kind), AE_SUCCESS);
    EXPECT_EQ(kind, ADS_CONNECTION);
    UNSIGNED16 type = 0;
    ASSERT_EQ(AdsGetConnectionType(h, &type), AE_SUCCESS);
    EXPECT_EQ(type, ADS_LOCAL_SERVER);

    UNSIGNED8 name[255];
    UNSIGNED16 len = sizeof name;
    ASSERT_EQ(AdsGetServerName(h, name, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), len), temp.path());

    EXPECT_EQ(AdsDisconnect(h), AE_SUCCESS);
    EXPECT_EQ(AdsDisconnect(h), AE_INVALID_CONNECTION);
    EXPECT_EQ(lastError(),
              "Error 5024: Handle " + std::to_string(h) + " is not a live connection.");
    EXPECT_EQ(AdsGetServerName(h, name, &len), AE_INVALID_CONNECTION);
    EXPECT_EQ(AdsGetConnectionType(h, &type), AE_INVALID_CONNECTION);
}

TEST_F(FolderConnection, PathIsResolvedWithEitherSeparatorAndAnyCase) {
    fs::create_directory(temp / "Data");
    std::string given = temp.path() + "\\DATA\\";
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsConnect60(u8(given), ADS_LOCAL_SERVER | ADS_REMOTE_SERVER, u8("someone"),
                           u8("secret"), 0, &h),
              AE_SUCCESS)
        << lastError();
    UNSIGNED8 name[255];
    UNSIGNED16 len = sizeof name;
    ASSERT_EQ(AdsGetServerName(h, name, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name)), temp / "Data");
    (void)AdsDisconnect(h);
}

TEST_F(FolderConnection, FailuresNameWhatIsWrong) {
    ADSHANDLE h = 77;
    UNSIGNED32 code = 0;
    EXPECT_EQ(AdsConnect(u8(temp / "x/y"), &h), AE_PATH_NOT_FOUND);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(lastError(&code), "Error 6005: The folder " + (temp / "x/y") + " does not exist.");
    EXPECT_EQ(code, AE_PATH_NOT_FOUND);

    touch(temp / "plain.txt");
    EXPECT_EQ(AdsConnect(u8(temp / "plain.txt"), &h), AE_PATH_NOT_FOUND);
    EXPECT_EQ(lastError(),
              "Error 6005: " + (temp / "plain.txt") + " is a file, not a folder of tables.");

    EXPECT_EQ(AdsConnect(u8(""), &h), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsConnect(nullptr, &h), AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(), "Error 6002: No folder or data dictionary given to connect to.");
    EXPECT_EQ(AdsConnect(u8(temp.path()), nullptr), AE_INVALID_ARGUMENT);

    EXPECT_EQ(AdsConnect60(u8(temp.path()), ADS_REMOTE_SERVER, nullptr, nullptr, 0, &h),
              AE_NOT_SUPPORTED);
    EXPECT_EQ(lastError(),
              "Error 5004: A folder or data dictionary is reached through the local server (1), "
              "and the server types 2 given for " +
                  temp.path() + " do not include it.");
    EXPECT_EQ(AdsConnect60(u8(temp.path()), 0, nullptr, nullptr, 2, &h), AE_NOT_SUPPORTED);
    EXPECT_EQ(lastError(), "Error 5004: Connection option 2 is not supported.");
}

TEST_F(FolderConnection, ResolvesTableNamesInItsFolder) {
    fs::create_directory(temp / "sub");
    touch(temp / "EMPLOYEE.ADT");
    touch(temp / "sub/Leave.adt");
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsConnect(u8(temp.path()), &h), AE_SUCCESS);
    auto connection = engine::connectionFor(h);
    ASSERT_NE(connection, nullptr);
    EXPECT_FALSE(connection->isDictionary());

    std::string file;
    ASSERT_EQ(connection->resolveTable("employee", file), AE_SUCCESS);
    EXPECT_EQ(file, temp / "EMPLOYEE.ADT");
    ASSERT_EQ(connection->resolveTable("Employee.adt", file), AE_SUCCESS);
    EXPECT_EQ(file, temp / "EMPLOYEE.ADT");
    ASSERT_EQ(connection->resolveTable("SUB\\leave", file), AE_SUCCESS);
    EXPECT_EQ(file, temp / "sub/Leave.adt");
    ASSERT_EQ(connection->resolveTable(temp.path() + "\\sub\\LEAVE.ADT", file), AE_SUCCESS);
    EXPECT_EQ(file, temp / "sub/Leave.adt");
    // The letters of Windows-1252 fold too, in names written as UTF-8 or as Windows-1252.
    touch(temp / "T\xC3\x84GLICH.adt");
    for (const char* name : {"t\xC3\xa4glich", "T\xC3\x84GLICH", "t\xE4glich", "T\xC4GLICH.ADT"}) {
        ASSERT_EQ(connection->resolveTable(name, file), AE_SUCCESS) << name;
        EXPECT_EQ(file, temp / "T\xC3\x84GLICH.adt") << name;
    }
    ASSERT_EQ(connection->resolveTable("t\xC3\xa5glich", file), AE_SUCCESS);
    EXPECT_EQ(file, temp / "t\xC3\xa5glich.adt");
    // A file not there yet resolves to where it would be made.
    ASSERT_EQ(connection->resolveTable("newtable", file), AE_SUCCESS);
    EXPECT_EQ(file, temp / "newtable.adt");
    EXPECT_EQ(connection->resolveTable("", file), AE_INVALID_ARGUMENT);
    (void)AdsDisconnect(h);
}

}  // namespace

namespace {

TEST(Disconnect, ClosesTheConnectionsTables) {
    TempFolder temp;
    ADSHANDLE c = 0, t = 0, other = 0, kept = 0;
    ASSERT_EQ(AdsConnect(u8(temp.path()), &c), AE_SUCCESS);
    ASSERT_EQ(AdsConnect(u8(temp.path()), &other), AE_SUCCESS);
    ASSERT_EQ(AdsCreateTable(c, u8("T"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, u8("N,Integer"), &t),
              AE_SUCCESS);
    ASSERT_EQ(AdsOpenTable(other, u8("T"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &kept), AE_SUCCESS);
    ASSERT_EQ(AdsDisconnect(c), AE_SUCCESS);
    UNSIGNED16 type = 0;
    EXPECT_EQ(AdsGetHandleType(t, &type), AE_INVALID_HANDLE);  // closed with its connection
    EXPECT_EQ(AdsGetHandleType(kept, &type), AE_SUCCESS);      // another connection's stays
    EXPECT_EQ(AdsCloseTable(kept), AE_SUCCESS);
    (void)AdsDisconnect(other);
}

}  // namespace
