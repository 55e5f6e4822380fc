// The employee service figures: the worked examples and the runs over real tables.
#include <gtest/gtest.h>

#include "app/servicefigures.h"
#include "rtl/sysutils.h"
#include "tests/ads/table_fixture.h"

namespace {

using adstest::addRows;
using adstest::makeTable;
using app::FiguresFor;

double D(int y, int m, int d) {
    return rtl::EncodeDate(y, m, d);
}

TEST(ServiceFigures, WorkedExamplesForTheYear2005) {
    EXPECT_EQ(FiguresFor(2005, D(1970, 3, 9), D(2005, 3, 10)).age, 352500);
    EXPECT_EQ(FiguresFor(2005, D(1970, 12, 1), D(2005, 3, 10)).age, 360000);
    EXPECT_EQ(FiguresFor(2005, D(1970, 1, 31), D(2005, 3, 10)).age, 350800);  // January adds 0.08
    auto march10 = FiguresFor(2005, D(1970, 1, 1), D(2005, 3, 10));
    EXPECT_EQ(march10.months, 100000);
    EXPECT_EQ(march10.years, 8300);
    auto march20 = FiguresFor(2005, D(1970, 1, 1), D(2005, 3, 20));
    EXPECT_EQ(march20.months, 90000);
    EXPECT_EQ(march20.years, 7500);
    auto december16 = FiguresFor(2005, D(1970, 1, 1), D(2005, 12, 16));
    EXPECT_EQ(december16.months, 0);
    EXPECT_EQ(december16.years, 0);
    auto veteran = FiguresFor(2005, D(1970, 1, 1), D(1995, 1, 1));
    EXPECT_EQ(veteran.months, 1320000);
    EXPECT_EQ(veteran.years, 110000);
    auto future = FiguresFor(2005, D(1970, 1, 1), D(2006, 3, 10));
    EXPECT_EQ(future.months, -20000);
    EXPECT_EQ(future.years, -1700);  // negative values round symmetrically
    EXPECT_EQ(FiguresFor(2005, 0, D(2005, 6, 15)).months, 70000);  // the 15th counts its month
    EXPECT_EQ(FiguresFor(2005, 0, D(2005, 6, 16)).months, 60000);
    auto empty = FiguresFor(2005, 0, 0);  // empty dates are 30 December 1899
    EXPECT_EQ(empty.age, 1070000);
    EXPECT_EQ(empty.months, 12720000);
    EXPECT_EQ(empty.years, 1060000);
}

TEST(ServiceFigures, Round2OfTwelfths) {
    const int64_t expected[] = {0,    800,  1700, 2500, 3300, 4200, 5000,
                                5800, 6700, 7500, 8300, 9200, 10000};
    for (int k = 0; k <= 12; ++k) EXPECT_EQ(app::Round2(k / 12.0), expected[k]) << k;
    EXPECT_EQ(app::Round2(-2 / 12.0), -1700);
}

class ServiceTables : public ::testing::Test {
  protected:
    void SetUp() override {
        makeTable(dir.path(), "EMPLOYEE.adt",
                  "EMP_NO,Character,12;NAME,Character,40;DOB,Date;HIRED_DATE,Date",
                  {{"EMP_NO", "EMP_NO"}});
        makeTable(dir.path(), "EMPSERV.adt",
                  "USERID,Character,8;EMP_NO,Character,12;AGE,Double;LEN_OF_SVS_MTH,Double;LEN_OF_"
                  "SVS_YRS,Double",
                  {{"EMP_NO", "EMP_NO;USERID"}});
        employees = form.table("TableEmp", "EMPLOYEE.adt");
        employees->SetIndexFieldNames("EMP_NO");
        service = form.table("wwTableServ", "EMPSERV.adt");
        service->SetIndexFieldNames("EMP_NO;USERID");
    }
    void open() {
        employees->Open();
        service->Open();
    }
    std::vector<std::string> serviceRows() {
        std::vector<std::string> rows;
        for (service->First(); !service->Eof(); service->Next())
            rows.push_back(service->FieldByName("EMP_NO")->AsString() + "/" +
                           service->FieldByName("USERID")->AsString() + " " +
                           service->FieldByName("AGE")->AsString() + " " +
                           service->FieldByName("LEN_OF_SVS_MTH")->AsString() + " " +
                           service->FieldByName("LEN_OF_SVS_YRS")->AsString());
        return rows;
    }
    adstest::TempFolder dir;
    adstest::FreeTableForm form{dir.path()};
    ads::TAdsTable* employees = nullptr;
    ads::TAdsTable* service = nullptr;
};

TEST_F(ServiceTables, EmptyEmployeeTableWritesNothing) {
    open();
    app::ComputeServiceFigures(service, employees, "CLERK1", "200503");
    EXPECT_EQ(service->RecordCount(), 0);
    EXPECT_TRUE(employees->Eof());
}

TEST_F(ServiceTables, OneRowPerEmployeeAndUser) {
    addRows(dir.path(), "EMPLOYEE.adt",
            {{"E1", "Ann", "19700309", "20050310"}, {"E2", "Bob", "", ""}});
    open();
    app::ComputeServiceFigures(service, employees, "CLERK1", "200503");
    app::ComputeServiceFigures(service, employees, "CLERK1", "200503");  // again: same rows
    app::ComputeServiceFigures(service, employees, "ADMIN", "200512");
    EXPECT_EQ(serviceRows(),
              (std::vector<std::string>{"E1/ADMIN 35.25 10 0.83", "E1/CLERK1 35.25 10 0.83",
                                        "E2/ADMIN 107 1272 106", "E2/CLERK1 107 1272 106"}));
    EXPECT_TRUE(employees->Eof());
}

TEST_F(ServiceTables, AFailureKeepsTheRowsPostedBeforeIt) {
    addRows(dir.path(), "EMPLOYEE.adt",
            {{"E1", "Ann", "19700309", "20050310"}, {"E2", "Bob", "19800101", "20000101"}});
    addRows(dir.path(), "EMPSERV.adt", {{"CLERK1", "E2", "1", "1", "1"}});
    open();
    // Another user holds E2's service row locked: the pass ends there with the engine's error.
    ADSHANDLE c = 0, t = 0;
    ASSERT_EQ(AdsConnect(adstest::u8(dir.path()), &c), AE_SUCCESS);
    ASSERT_EQ(AdsOpenTable(c, adstest::u8("EMPSERV.adt"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &t),
              AE_SUCCESS);
    ASSERT_EQ(AdsLockRecord(t, 1), AE_SUCCESS);
    try {
        app::ComputeServiceFigures(service, employees, "CLERK1", "200501");
        FAIL() << "the locked row was written";
    } catch (const ads::EADSDatabaseError& e) {
        EXPECT_EQ(e.ErrorCode(), 5035) << e.Message();
    }
    (void)AdsUnlockRecord(t, 1);
    (void)AdsCloseTable(t);
    (void)AdsDisconnect(c);
    service->Cancel();
    EXPECT_EQ(serviceRows(),
              (std::vector<std::string>{"E1/CLERK1 35.25 10 0.83", "E2/CLERK1 1 1 1"}));
}

}  // namespace
