// Table datasets over real engine tables: opening, index orders, navigation, key searches and
// counts.
#include <gtest/gtest.h>

#include "tests/ads/table_fixture.h"

namespace {

using adstest::addRows;
using adstest::makeTable;

class TableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        makeTable(dir.path(), "PASS.adt", "ID,Character,8;PASSWORD,Character,12;LOCK,Character,1",
                  {{"ID", "ID"}});
        addRows(dir.path(), "PASS.adt",
                {{"CLERK1", "clerk1", ""}, {"ADMIN", "admin", ""}, {"CLERK2", "clerk2", "T"}});
        makeTable(dir.path(), "EMPSERV.adt", "USERID,Character,8;EMP_NO,Character,12;AGE,Double",
                  {{"EMP_NO", "EMP_NO;USERID"}});
        addRows(dir.path(), "EMPSERV.adt",
                {{"U1", "E002", "30"}, {"U2", "E001", "40"}, {"U1", "E001", "41"}});
        makeTable(dir.path(), "EMPTY.adt", "CODE,Character,4", {{"CODE", "CODE"}});
    }
    adstest::TempFolder dir;
    adstest::FreeTableForm form{dir.path()};
};

std::vector<std::string> column(ads::TAdsTable* t, const std::string& field) {
    std::vector<std::string> values;
    for (t->First(); !t->Eof(); t->Next()) values.push_back(t->FieldByName(field)->AsString());
    return values;
}

TEST_F(TableTest, OpensInIndexOrderAndWalksBothWays) {
    ads::TAdsTable* users = form.table("TableUser", "PASS.adt");
    users->SetIndexFieldNames("ID");
    users->Open();
    EXPECT_EQ(column(users, "ID"), (std::vector<std::string>{"ADMIN", "CLERK1", "CLERK2"}));
    users->Last();
    EXPECT_EQ(users->FieldByName("ID")->AsString(), "CLERK2");
    users->Prior();
    EXPECT_EQ(users->FieldByName("PASSWORD")->AsString(), "clerk1");
    EXPECT_EQ(users->RecordCount(), 3);
    users->Close();
    users->SetIndexFieldNames("   ");  // blanks only: the natural order
    EXPECT_EQ(users->IndexFieldNames(), "");
    users->Open();
    EXPECT_EQ(column(users, "ID"), (std::vector<std::string>{"CLERK1", "ADMIN", "CLERK2"}));
}

TEST_F(TableTest, IndexFieldNamesMatchAndRefusals) {
    ads::TAdsTable* service = form.table("wwTableServ", "EMPSERV.adt");
    service->SetIndexFieldNames("  emp_no ");  // trimmed, case-insensitive, a leading part
    EXPECT_EQ(service->IndexFieldNames(), "emp_no");
    service->Open();
    EXPECT_EQ(column(service, "USERID"), (std::vector<std::string>{"U1", "U2", "U1"}));
    service->Close();

    service->SetIndexFieldNames("EMP_NO; USERID");
    try {
        service->Open();
        FAIL() << "opened with a list that names no index";
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(), "wwTableServ: Not a valid index field name:EMP_NO; USERID");
        EXPECT_EQ(e.ErrorCode(), 5121);
    }
    EXPECT_FALSE(service->Active());

    // Changing the order of an open table to one that does not exist keeps the old order.
    service->SetIndexFieldNames("EMP_NO;USERID");
    service->Open();
    EXPECT_THROW(service->SetIndexFieldNames("AGE"), ads::EADSDatabaseError);
    EXPECT_EQ(service->IndexFieldNames(), "EMP_NO;USERID");
    EXPECT_EQ(column(service, "EMP_NO"), (std::vector<std::string>{"E001", "E001", "E002"}));
}

TEST_F(TableTest, FindByKey) {
    ads::TAdsTable* users = form.table("TableUser", "PASS.adt");
    users->SetIndexFieldNames("ID");
    users->Open();
    EXPECT_FALSE(users->FindByKey({std::string("NOBODY")}));
    EXPECT_EQ(users->FieldByName("ID")->AsString(), "ADMIN");  // the first row stays current
    EXPECT_TRUE(users->FindByKey({std::string("CLERK2")}));
    EXPECT_EQ(users->FieldByName("LOCK")->AsString(), "T");
    // A shorter text must match the whole field; a longer one is cut to the field first.
    EXPECT_FALSE(users->FindByKey({std::string("CLERK")}));
    users->Close();

    ads::TAdsTable* service = form.table("wwTableServ", "EMPSERV.adt");
    service->SetIndexFieldNames("EMP_NO;USERID");
    service->Open();
    EXPECT_TRUE(service->FindByKey({std::string("E001"), std::string("U1")}));
    EXPECT_DOUBLE_EQ(service->FieldByName("AGE")->AsFloat(), 41);
    EXPECT_TRUE(service->FindByKey({std::string("E002")}));  // leading segment only
    EXPECT_EQ(service->FieldByName("USERID")->AsString(), "U1");
    try {
        service->FindByKey({std::string("E001"), std::string("U1"), std::string("X")});
        FAIL();
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(), "wwTableServ: Too many values given for current index");
    }
}

TEST_F(TableTest, FindByKeyCutsLongTexts) {
    makeTable(dir.path(), "CODES.adt", "CODE,Character,4", {{"CODE", "CODE"}});
    addRows(dir.path(), "CODES.adt", {{"ABCD"}, {"AB"}});
    ads::TAdsTable* codes = form.table("Codes", "codes");
    codes->SetIndexFieldNames("CODE");
    codes->Open();
    EXPECT_TRUE(codes->FindByKey({std::string("ABCDEF")}));
    EXPECT_EQ(codes->FieldByName("CODE")->AsString(), "ABCD");
    EXPECT_TRUE(codes->FindByKey({std::string("AB")}));
    EXPECT_EQ(codes->FieldByName("CODE")->AsString(), "AB");
}

TEST_F(TableTest, FindByKeyNeedsKeyFields) {
    ads::TAdsTable* users = form.table("TableUser", "PASS.adt");
    users->SetIndexName("ADS_DEFAULT");
    users->Open();  // a free table has no dictionary default: the natural order
    try {
        users->FindByKey({std::string("ADMIN")});
        FAIL();
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(), "TableUser: No parseable expressions in setting key fields");
    }
    users->Close();
    users->SetIndexName("ID");
    users->Open();
    EXPECT_TRUE(users->FindByKey({std::string("CLERK1")}));
}

TEST_F(TableTest, EmptyTableAndFilteredCount) {
    ads::TAdsTable* empty = form.table("Empty", "EMPTY.adt");
    empty->Open();
    EXPECT_TRUE(empty->Bof());
    EXPECT_TRUE(empty->Eof());
    EXPECT_TRUE(empty->IsEmpty());
    EXPECT_EQ(empty->RecordCount(), 0);
    EXPECT_TRUE(empty->FieldByName("CODE")->IsNull());

    ads::TAdsTable* employees = form.table("TableEmp", "EMPSERV.adt");
    employees->SetIndexFieldNames("EMP_NO");
    employees->SetFiltered(true);  // no filter text: every row counts
    employees->Open();
    EXPECT_EQ(employees->RecordCount(), 3);
}

TEST_F(TableTest, OpeningRefusals) {
    ads::TAdsTable* none = form.table("NoName", "");
    try {
        none->Open();
        FAIL();
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(), "NoName: Missing TableName property");
    }
    ads::TAdsTable* missing = form.table("Missing", "NOSUCH.adt");
    try {
        missing->Open();
        FAIL();
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.Message().rfind("Missing: Error ", 0), 0u) << e.Message();
        EXPECT_FALSE(missing->Active());
    }
    ads::TAdsTable* users = form.table("TableUser", "PASS.adt");
    users->Open();
    try {
        users->SetTableName("OTHER");
        FAIL();
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(), "TableUser: Cannot perform this operation on an open dataset");
    }
    EXPECT_THROW(users->AdsTableOptions().SetAdsCharType(ads::OEM), ads::EADSDatabaseError);
    EXPECT_EQ(users->Version().rfind("6.11 (Engine ", 0), 0u);
}

TEST_F(TableTest, ReadOnlyConnectionMakesTablesReadOnly) {
    form.connection->SetReadOnly(true);
    ads::TAdsTable* users = form.table("TableUser", "PASS.adt");
    users->Open();
    EXPECT_TRUE(users->ReadOnly());
    EXPECT_FALSE(users->CanModify());
    EXPECT_THROW(users->Edit(), db::EDatabaseError);
}

TEST_F(TableTest, DisconnectClosesTheTables) {
    ads::TAdsTable* users = form.table("TableUser", "PASS.adt");
    users->Open();
    form.connection->Disconnect();
    EXPECT_FALSE(users->Active());
    form.connection->Connect();
    users->Open();
    EXPECT_EQ(users->RecordCount(), 3);
}

TEST_F(TableTest, BookmarksReturnToTheirRow) {
    ads::TAdsTable* users = form.table("TableUser", "PASS.adt");
    users->SetIndexFieldNames("ID");
    users->Open();
    users->Next();
    db::TBookmark mark = users->GetBookmark();
    users->Last();
    users->GotoBookmark(mark);
    EXPECT_EQ(users->FieldByName("ID")->AsString(), "CLERK1");
    EXPECT_TRUE(users->BookmarkValid(mark));
}

}  // namespace

namespace {

TEST(TableOrderChange, AnOpenTableTakesTheNewOrderAndKeepsItsRow) {
    adstest::TempFolder dir;
    adstest::makeTable(dir.path(), "PASS.adt", "ID,Character,8;N,Integer",
                       {{"ID", "ID"}, {"N", "N"}});
    adstest::addRows(dir.path(), "PASS.adt", {{"C", "1"}, {"A", "3"}, {"B", "2"}});
    adstest::FreeTableForm form{dir.path()};
    ads::TAdsTable* t = form.table("T", "PASS.adt");
    t->SetIndexFieldNames("ID");
    t->Open();
    t->Next();  // B
    t->SetIndexFieldNames("N");
    EXPECT_EQ(t->FieldByName("ID")->AsString(), "B");
    EXPECT_EQ(column(t, "ID"), (std::vector<std::string>{"C", "B", "A"}));
    t->SetIndexName("ID");
    EXPECT_EQ(column(t, "ID"), (std::vector<std::string>{"A", "B", "C"}));
    t->SetIndexFieldNames("");
    EXPECT_EQ(column(t, "ID"), (std::vector<std::string>{"C", "A", "B"}));
}

// Texts read whole on both sides of the widths read through the stack: full, short and empty.
TEST_F(TableTest, TextsOfEveryWidthReadWhole) {
    const std::vector<int> widths = {1, 254, 255, 1000};
    std::string fields;
    std::vector<std::vector<std::string>> rows(3);
    for (int w : widths) {
        fields +=
            (fields.empty() ? "W" : ";W") + std::to_string(w) + ",Character," + std::to_string(w);
        std::string full(static_cast<size_t>(w), 'x');
        for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<char>('a' + i % 26);
        rows[0].push_back(full);
        rows[1].push_back(w > 2 ? "a b" : "z");
        rows[2].push_back("");
    }
    makeTable(dir.path(), "WIDE.adt", fields);
    addRows(dir.path(), "WIDE.adt", rows);
    ads::TAdsTable* wide = form.table("TableWide", "WIDE.adt");
    wide->Open();
    for (const auto& row : rows) {
        for (size_t f = 0; f < widths.size(); ++f)
            EXPECT_EQ(wide->FieldByName("W" + std::to_string(widths[f]))->AsString(), row[f]);
        wide->Next();
    }
    EXPECT_TRUE(wide->Eof());
}

}  // namespace
