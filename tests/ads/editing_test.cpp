// Field values and record editing through a table dataset and the engine.
#include <gtest/gtest.h>

#include <cmath>

#include "rtl/sysutils.h"
#include "tests/ads/table_fixture.h"
#include "tests/engine/failing_vfs.h"

namespace {

using adstest::addRows;
using adstest::makeTable;
using adstest::u8;

class EditingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        makeTable(dir.path(), "EMPSERV.adt",
                  "USERID,Character,8;EMP_NO,Character,12;AGE,Double;LEN_OF_SVS_MTH,Double;LEN_OF_"
                  "SVS_YRS,Double",
                  {{"EMP_NO", "EMP_NO;USERID"}});
        addRows(dir.path(), "EMPSERV.adt", {{"U1", "E001", "30"}});
    }
    ads::TAdsTable* service() {
        ads::TAdsTable* t = form.table("wwTableServ", "EMPSERV.adt");
        t->SetIndexFieldNames("EMP_NO;USERID");
        t->Open();
        return t;
    }
    // Whether another handle can lock the record now.
    bool lockableElsewhere(UNSIGNED32 recno) {
        ADSHANDLE c = 0, t = 0;
        EXPECT_EQ(AdsConnect(u8(dir.path()), &c), AE_SUCCESS);
        EXPECT_EQ(AdsOpenTable(c, u8("EMPSERV.adt"), nullptr, ADS_ADT, ADS_ANSI,
                               ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
                  AE_SUCCESS);
        UNSIGNED32 r = AdsLockRecord(t, recno);
        if (r == AE_SUCCESS) (void)AdsUnlockRecord(t, recno);
        (void)AdsCloseTable(t);
        (void)AdsDisconnect(c);
        return r == AE_SUCCESS;
    }
    adstest::TempFolder dir;
    adstest::FreeTableForm form{dir.path()};
};

TEST_F(EditingTest, EditLocksTheRowUntilPostOrCancel) {
    ads::TAdsTable* t = service();
    ASSERT_TRUE(t->FindByKey({std::string("E001"), std::string("U1")}));
    t->Edit();
    EXPECT_FALSE(lockableElsewhere(1));
    t->FieldByName("AGE")->SetAsFloat(31.5);
    t->Post();
    EXPECT_TRUE(lockableElsewhere(1));
    t->Edit();
    EXPECT_FALSE(lockableElsewhere(1));
    t->FieldByName("AGE")->SetAsFloat(99);
    t->Cancel();
    EXPECT_TRUE(lockableElsewhere(1));
    EXPECT_DOUBLE_EQ(t->FieldByName("AGE")->AsFloat(), 31.5);
    t->Close();
    t->Open();
    EXPECT_DOUBLE_EQ(t->FieldByName("AGE")->AsFloat(), 31.5);
}

TEST_F(EditingTest, WritesOutsideTheEditingStatesAreRefused) {
    ads::TAdsTable* t = service();
    try {
        t->FieldByName("AGE")->SetAsFloat(1);
        FAIL();
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(), "wwTableServ: Dataset not in edit mode");
    }
}

TEST_F(EditingTest, FindByKeyThenAppendOnTwoFields) {
    ads::TAdsTable* t = service();
    EXPECT_FALSE(t->FindByKey({std::string("E002"), std::string("U1")}));
    t->Append();
    t->FieldByName("USERID")->SetAsString("U1");
    t->FieldByName("EMP_NO")->SetAsString("E002");
    t->FieldByName("AGE")->SetAsFloat(22);
    t->Post();
    EXPECT_EQ(t->FieldByName("EMP_NO")->AsString(), "E002");  // the new row is current
    EXPECT_TRUE(t->FieldByName("LEN_OF_SVS_MTH")->IsNull());
    EXPECT_EQ(t->RecordCount(), 2);
    EXPECT_TRUE(t->FindByKey({std::string("E002"), std::string("U1")}));
    EXPECT_DOUBLE_EQ(t->FieldByName("AGE")->AsFloat(), 22);
}

TEST_F(EditingTest, SecondPostAfterAFailedWriteAppendsOnce) {
    makeTable(dir.path(), "CODES.adt", "CODE,Character,4;N,Integer", {{"CODE", "CODE"}});
    ADSHANDLE c = 0, h = 0, index = 0;
    ASSERT_EQ(AdsConnect(u8(dir.path()), &c), AE_SUCCESS);
    ASSERT_EQ(AdsOpenTable(c, u8("CODES.adt"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, ADS_EXCLUSIVE, &h),
              AE_SUCCESS);
    ASSERT_EQ(AdsCreateIndex61(h, nullptr, u8("UCODE"), u8("CODE"), nullptr, nullptr, ADS_UNIQUE,
                               512, &index),
              AE_SUCCESS);
    (void)AdsCloseTable(h);
    (void)AdsDisconnect(c);
    addRows(dir.path(), "CODES.adt", {{"AAAA", ""}});

    ads::TAdsTable* t = form.table("Codes", "CODES.adt");
    t->SetIndexName("CODE");
    t->Open();
    t->Append();
    t->FieldByName("CODE")->SetAsString("AAAA");  // refused by the unique tag at the write
    EXPECT_THROW(t->Post(), ads::EADSDatabaseError);
    EXPECT_EQ(t->State(), db::dsInsert);
    t->FieldByName("CODE")->SetAsString("BBBB");
    t->FieldByName("N")->SetAsInteger(7);
    t->Post();
    EXPECT_EQ(t->RecordCount(), 2);
}

TEST_F(EditingTest, EveryTypeRoundTripsThroughEngineAndFields) {
    makeTable(
        dir.path(), "ALL.adt",
        "L,Logical;N,Numeric,8,2;D,Date;S,Character,10;M,Memo;CD,CompactDate;DB,Double;I,Integer;"
        "SI,ShortInteger;T,Time;TS,TimeStamp;A,AutoInc;CU,CurDouble;B,Binary");
    ads::TAdsTable* t = form.table("All", "ALL.adt");
    t->Open();
    rtl::TDateTime day = rtl::EncodeDate(2024, 2, 29);
    rtl::TDateTime stamp = day + rtl::EncodeTime(13, 14, 15, 678);
    t->Append();
    t->FieldByName("L")->SetAsBoolean(true);
    t->FieldByName("N")->SetAsFloat(-1234.5);
    t->FieldByName("D")->SetAsDateTime(day);
    t->FieldByName("S")->SetAsString("hello");
    t->FieldByName("M")->SetAsString("a memo\r\nof two lines");
    t->FieldByName("CD")->SetAsDateTime(day);
    t->FieldByName("DB")->SetAsFloat(3.25);
    t->FieldByName("I")->SetAsInteger(-77);
    t->FieldByName("SI")->SetAsInteger(-12);
    t->FieldByName("T")->SetAsDateTime(rtl::EncodeTime(1, 2, 3, 4));
    t->FieldByName("TS")->SetAsDateTime(stamp);
    t->FieldByName("CU")->SetAsFloat(19.99);
    t->FieldByName("B")->SetAsString(std::string("\x01\x00\x02", 3));
    t->Post();
    t->Append();  // a row of empty values
    t->Post();
    t->Close();
    t->Open();

    EXPECT_TRUE(t->FieldByName("L")->AsBoolean());
    EXPECT_DOUBLE_EQ(t->FieldByName("N")->AsFloat(), -1234.5);
    EXPECT_DOUBLE_EQ(t->FieldByName("D")->AsDateTime(), day);
    EXPECT_EQ(t->FieldByName("S")->AsString(), "hello");
    EXPECT_EQ(t->FieldByName("M")->AsString(), "a memo\r\nof two lines");
    EXPECT_DOUBLE_EQ(t->FieldByName("CD")->AsDateTime(), day);
    EXPECT_DOUBLE_EQ(t->FieldByName("DB")->AsFloat(), 3.25);
    EXPECT_EQ(t->FieldByName("I")->AsInteger(), -77);
    EXPECT_EQ(t->FieldByName("SI")->AsInteger(), -12);
    EXPECT_NEAR(t->FieldByName("T")->AsDateTime(), rtl::EncodeTime(1, 2, 3, 4), 1e-9);
    EXPECT_NEAR(t->FieldByName("TS")->AsDateTime(), stamp, 1e-8);
    EXPECT_EQ(t->FieldByName("A")->AsInteger(), 1);
    EXPECT_DOUBLE_EQ(t->FieldByName("CU")->AsFloat(), 19.99);
    EXPECT_EQ(t->FieldByName("B")->AsString(), std::string("\x01\x00\x02", 3));

    t->Next();
    for (const char* name : {"L", "N", "D", "S", "M", "CD", "DB", "I", "SI", "T", "TS", "CU", "B"})
        EXPECT_TRUE(t->FieldByName(name)->IsNull()) << name;
    EXPECT_EQ(t->FieldByName("A")->AsInteger(), 2);
}

TEST_F(EditingTest, DefaultExpressions) {
    makeTable(dir.path(), "DEF.adt", "I,Integer;SI,ShortInteger;S,Character,5;L,Logical;D,Double");
    ads::TAdsTable* t = form.table("Defaults", "DEF.adt");
    t->Open();
    t->FieldByName("S")->SetDefaultExpression(" 'abc' ");
    t->FieldByName("L")->SetDefaultExpression(".t.");
    t->FieldByName("D")->SetDefaultExpression("2.5");
    t->FieldByName("I")->SetDefaultExpression("42");
    t->Append();
    EXPECT_EQ(t->FieldByName("S")->AsString(), "abc");
    EXPECT_TRUE(t->FieldByName("L")->AsBoolean());
    EXPECT_DOUBLE_EQ(t->FieldByName("D")->AsFloat(), 2.5);
    EXPECT_EQ(t->FieldByName("I")->AsInteger(), 42);
    t->Cancel();

    t->FieldByName("I")->SetDefaultExpression("-2147483648");
    try {
        t->Append();
        FAIL();
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(
            e.Message(),
            "Defaults: Error setting default field value. (I)\r\nNumeric out of range:-2147483648");
        EXPECT_EQ(e.ErrorCode(), 0);
    }
    t->FieldByName("I")->SetDefaultExpression("");
    t->FieldByName("SI")->SetDefaultExpression("-32768");
    EXPECT_THROW(t->Append(), ads::EADSDatabaseError);
    t->FieldByName("SI")->SetDefaultExpression("x");
    try {
        t->Append();
        FAIL();
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(),
                  "Defaults: Error setting default field value. (SI)\r\n'x' is not a valid integer "
                  "value");
    }
}

TEST_F(EditingTest, DeleteRemovesTheRow) {
    addRows(dir.path(), "EMPSERV.adt", {{"U2", "E003", "50"}});
    ads::TAdsTable* t = service();
    ASSERT_TRUE(t->FindByKey({std::string("E001")}));
    t->Delete();
    EXPECT_EQ(t->RecordCount(), 1);
    EXPECT_EQ(t->FieldByName("EMP_NO")->AsString(), "E003");
}

}  // namespace

namespace {

// A write the disk refuses: the error reaches the form, the table stays as it was and the
// dataset stays in its editing state, so the user can try again.
TEST(DatasetIoFailure, AFailedPostKeepsTheEditingState) {
    failingvfs::ScopedFailingVfs vfs;
    ASSERT_TRUE(vfs.registered());
    adstest::TempFolder dir;
    makeTable(dir.path(), "CODES.adt", "CODE,Character,4;N,Integer", {{"CODE", "CODE"}});
    addRows(dir.path(), "CODES.adt", {{"AAAA", "1"}});
    adstest::FreeTableForm form{dir.path()};
    ads::TAdsTable* t = form.table("Codes", "CODES.adt");
    t->SetIndexFieldNames("CODE");
    t->Open();
    t->Edit();
    t->FieldByName("N")->SetAsInteger(2);
    vfs.setFailing(true);
    try {
        t->Post();
        FAIL() << "the post reported success";
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.ErrorCode(), static_cast<int32_t>(AE_IO_ERROR));
        EXPECT_NE(e.Message().find("CODES.adt"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(t->State(), db::dsEdit);
    vfs.setFailing(false);
    t->Post();
    EXPECT_EQ(t->State(), db::dsBrowse);
    t->Close();
    t->Open();
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 2);
    EXPECT_EQ(t->RecordCount(), 1);
}

}  // namespace
