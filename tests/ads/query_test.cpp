// The query component over the engine's SQL: the leave statement of the download on free tables
// (employee table encrypted) and on a data dictionary.
#include <gtest/gtest.h>

#include "tests/ads/query_fixture.h"

namespace {

using adstest::LeaveQueryForm;
using adstest::leaveSql;

class LeaveQuery : public ::testing::Test {
  protected:
    adstest::TempFolder dir;
};

TEST_F(LeaveQuery, FreeTablesWithTheTablePasswordGiveTheRowsInOrder) {
    adstest::makeLeaveTables(dir.path(), true);
    adstest::FreeTableForm company(dir.path());
    LeaveQueryForm download(company);
    download.query->SQL().SetText(leaveSql("2006-03-01", "2006-03-31"));
    download.query->Open();
    EXPECT_EQ(download.passwordRuns, 1);
    EXPECT_EQ(download.walk(),
              (std::vector<std::string>{"E001|AL|31/03/2006|1|3", "E001|SL|05/03/2006|0.5|2",
                                        "E002|AL|02/03/2006|1|1"}));
    EXPECT_TRUE(download.query->ReadOnly());
    EXPECT_EQ(download.query->FieldByName("DATE")->DataType(), db::ftDate);
    EXPECT_EQ(download.query->FieldByName("DAY")->DataType(), db::ftFloat);
    EXPECT_EQ(download.query->FieldByName("ID")->DataType(), db::ftInteger);
    ADSHANDLE statement = download.query->StatementHandle();
    download.query->Close();
    // The statement survives closing; the next run gives the passwords to the same one.
    download.query->SQL().SetText(leaveSql("2006-03-05", "2006-03-05"));
    download.query->Open();
    EXPECT_EQ(download.query->StatementHandle(), statement);
    EXPECT_EQ(download.passwordRuns, 2);
    EXPECT_EQ(download.walk(), (std::vector<std::string>{"E001|SL|05/03/2006|0.5|2"}));
}

TEST_F(LeaveQuery, DictionaryGivesNoPasswordAndFindsTheTablesByFileName) {
    adstest::makeLeaveTables(dir.path(), false);
    const std::string dd = dir / "A1.ADD";
    ADSHANDLE admin = 0;
    ASSERT_EQ(AdsDDCreate(adstest::u8(dd), 0, nullptr, &admin), AE_SUCCESS);
    ASSERT_EQ(AdsDDCreateUser(admin, nullptr, adstest::u8("ORBELNAX4"), adstest::u8("KWENDOLARIX"),
                              nullptr),
              AE_SUCCESS);
    for (const char* table : {"EMPLOYEE", "LEAV_TRX"}) {
        std::string file = std::string(table) + ".ADT";
        ASSERT_EQ(AdsDDAddTable(admin, adstest::u8(table), adstest::u8(file), ADS_ADT, ADS_ANSI,
                                nullptr, nullptr),
                  AE_SUCCESS)
            << adstest::engineLastError();
    }
    (void)AdsDisconnect(admin);
    adstest::FreeTableForm company(dd);
    company.connection->SetUsername("ORBELNAX4");
    company.connection->SetPassword("KWENDOLARIX");
    company.connection->SetLoginPrompt(false);
    LeaveQueryForm download(company);
    download.query->SQL().SetText(leaveSql("2006-03-01", "2006-03-31"));
    download.query->Open();
    EXPECT_TRUE(company.connection->UsesDictionary());
    EXPECT_EQ(download.walk().size(), 3u);
    EXPECT_EQ(download.query->FieldByName("EMP_NO")->AsString(), "E002");
}

}  // namespace
