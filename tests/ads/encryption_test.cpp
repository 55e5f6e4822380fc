// The table password applied to datasets over encrypted tables.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ads/adsfunc.h"
#include "tests/ads/table_fixture.h"

namespace {

using adstest::addRows;
using adstest::makeTable;
using adstest::u8;

void encrypt(const std::string& folder, const std::string& name, const char* password) {
    ADSHANDLE c = 0, t = 0;
    ASSERT_EQ(AdsConnect(u8(folder), &c), AE_SUCCESS);
    ASSERT_EQ(AdsOpenTable(c, u8(name), nullptr, ADS_ADT, ADS_ANSI, 1, 1, ADS_EXCLUSIVE, &t),
              AE_SUCCESS);
    ASSERT_EQ(AdsEnableEncryption(t, u8(password)), AE_SUCCESS);
    ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << adstest::engineLastError();
    (void)AdsCloseTable(t);
    (void)AdsDisconnect(c);
}

class TablePasswordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        makeTable(dir.path(), "PASS.adt", "ID,Character,8;PASSWORD,Character,12", {{"ID", "ID"}});
        addRows(dir.path(), "PASS.adt", {{"CLERK1", "clerk1"}, {"ADMIN", "admin"}});
        encrypt(dir.path(), "PASS.adt", ads::kTablePassword);
        makeTable(dir.path(), "EMPTY.adt", "ID,Character,8", {{"ID", "ID"}});
        encrypt(dir.path(), "EMPTY.adt", ads::kTablePassword);
    }
    ads::TAdsTable* users() {
        ads::TAdsTable* t = form.table("TableUser", "PASS.adt");
        t->SetIndexFieldNames("ID");
        return t;
    }
    adstest::TempFolder dir;
    adstest::FreeTableForm form{dir.path()};
};

TEST_F(TablePasswordTest, RowsAppearFromTheFirstOne) {
    ads::TAdsTable* t = users();
    t->Open();
    EXPECT_TRUE(t->IsEmpty());  // without the password the table shows its structure only
    EXPECT_NE(t->FindField("PASSWORD"), nullptr);
    ads::ApplyTablePassword(t, ads::kTablePassword);
    EXPECT_FALSE(t->Eof());
    EXPECT_EQ(t->FieldByName("ID")->AsString(), "ADMIN");
    EXPECT_TRUE(t->FindByKey({std::string("CLERK1")}));
    EXPECT_EQ(t->FieldByName("PASSWORD")->AsString(), "clerk1");

    // Writes after the password behave as on a plain table.
    t->Edit();
    t->FieldByName("PASSWORD")->SetAsString("changed");
    t->Post();
    t->Close();
    t->AfterOpen = [](db::TDataSet* d) {
        ads::ApplyTablePassword(static_cast<ads::TAdsDataSet*>(d), ads::kTablePassword);
    };
    t->Open();
    ASSERT_TRUE(t->FindByKey({std::string("CLERK1")}));
    EXPECT_EQ(t->FieldByName("PASSWORD")->AsString(), "changed");
}

TEST_F(TablePasswordTest, EmptyTableEndsAtBothEnds) {
    ads::TAdsTable* t = form.table("Empty", "EMPTY.adt");
    t->Open();
    ads::ApplyTablePassword(t, ads::kTablePassword);
    EXPECT_TRUE(t->Bof());
    EXPECT_TRUE(t->Eof());
}

TEST_F(TablePasswordTest, WrongPasswordIsADatabaseError) {
    ads::TAdsTable* t = users();
    t->Open();
    try {
        ads::ApplyTablePassword(t, "WRONG");
        FAIL();
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.ErrorCode(), static_cast<int32_t>(AE_WRONG_PASSWORD));
        EXPECT_EQ(e.Message().rfind("TableUser: Error 6011: ", 0), 0u) << e.Message();
    }
    EXPECT_TRUE(t->IsEmpty());
    ads::ApplyTablePassword(t, ads::kTablePassword);  // the right one still works
    EXPECT_EQ(t->RecordCount(), 2);
}

TEST_F(TablePasswordTest, LockedRowsBetweenProcesses) {
    ads::TAdsTable* t = users();
    t->Open();
    ads::ApplyTablePassword(t, ads::kTablePassword);
    ASSERT_TRUE(t->FindByKey({std::string("CLERK1")}));
    t->Edit();  // locks the row
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t child = fork();
    if (child == 0) {
        ADSHANDLE c = 0, h = 0;
        UNSIGNED32 result = 99;
        if (AdsConnect(u8(dir.path()), &c) == AE_SUCCESS &&
            AdsOpenTable(c, u8("PASS.adt"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &h) ==
                AE_SUCCESS &&
            AdsEnableEncryption(h, u8(ads::kTablePassword)) == AE_SUCCESS) {
            result = AdsLockRecord(h, 1);
        }
        if (write(pipeFds[1], &result, sizeof result) != sizeof result) _exit(2);
        _exit(0);
    }
    UNSIGNED32 childResult = 0;
    ASSERT_EQ(read(pipeFds[0], &childResult, sizeof childResult),
              static_cast<ssize_t>(sizeof childResult));
    int status = 0;
    waitpid(child, &status, 0);
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_EQ(childResult, AE_LOCKED);
    t->Cancel();
}

}  // namespace
