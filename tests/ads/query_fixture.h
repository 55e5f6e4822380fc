// A company database for the query tests (EMPLOYEE and LEAV_TRX, free tables with the employee
// table encrypted, or a data dictionary) and the leave statement as the download builds it.
#ifndef VELDA_TESTS_ADS_QUERY_FIXTURE_H
#define VELDA_TESTS_ADS_QUERY_FIXTURE_H

#include <string>
#include <vector>

#include "ads/adsfunc.h"
#include "ads/adstable.h"
#include "tests/ads/table_fixture.h"

namespace adstest {

inline void encryptTable(const std::string& folder, const std::string& name, const char* password) {
    ADSHANDLE c = 0, t = 0;
    ASSERT_EQ(AdsConnect(u8(folder), &c), AE_SUCCESS);
    ASSERT_EQ(AdsOpenTable(c, u8(name), nullptr, ADS_ADT, ADS_ANSI, 1, 1, ADS_EXCLUSIVE, &t),
              AE_SUCCESS);
    ASSERT_EQ(AdsEnableEncryption(t, u8(password)), AE_SUCCESS);
    ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << engineLastError();
    (void)AdsCloseTable(t);
    (void)AdsDisconnect(c);
}

inline void makeLeaveTables(const std::string& folder, bool encryptEmployees) {
    makeTable(folder, "EMPLOYEE.ADT",
              "EMP_NO,Character,10;DEPARTMENT_CODE,Character,6;CATEGORY_CODE,Character,4;"
              "TERMINATION_DATE,Date;HIRED_DATE,Date");
    addRows(folder, "EMPLOYEE.ADT",
            {{"E002", "D2", "C1", "", "2001-02-03"}, {"E001", "D1", "C1", "", "2000-01-01"}});
    makeTable(folder, "LEAV_TRX.ADT",
              "EMPCODE,Character,10;LEAVE_CODE,Character,4;DATE,Date;DAY,Double;HOUR,Double;"
              "APPROVED,Character,1;ID,Integer");
    addRows(folder, "LEAV_TRX.ADT",
            {{"E002", "AL", "2006-03-02", "1", "8", "Y", "1"},
             {"E001", "SL", "2006-03-05", "0.5", "4", "Y", "2"},
             {"E001", "AL", "2006-03-31", "1", "8", "Y", "3"},
             {"E001", "AL", "2006-04-01", "1", "8", "Y", "4"},
             {"E001", "AL", "2006-03-07", "1", "8", "N", "5"}});
    if (encryptEmployees) encryptTable(folder, "EMPLOYEE.ADT", ads::kTablePassword);
}

// The statement text, built from its pieces as the download dialog builds it.
inline std::string leaveSql(const std::string& from, const std::string& to) {
    std::string sql =
        "SELECT EMPLOYEE.\"EMP_NO\", EMPLOYEE.\"DEPARTMENT_CODE\", EMPLOYEE.\"CATEGORY_CODE\", "
        "EMPLOYEE.\"TERMINATION_DATE\", EMPLOYEE.\"HIRED_DATE\",";
    sql +=
        " LEAV_TRX.\"EMPCODE\",LEAV_TRX.\"LEAVE_CODE\",LEAV_TRX.\"DATE\",LEAV_TRX.\"DAY\","
        "LEAV_TRX.\"HOUR\",LEAV_TRX.\"APPROVED\",LEAV_TRX.\"ID\"";
    sql += " FROM \"EMPLOYEE.ADT\" EMPLOYEE, \"LEAV_TRX.ADT\" LEAV_TRX";
    sql += " WHERE (EMPLOYEE.\"EMP_NO\" = LEAV_TRX.\"EMPCODE\")";
    sql += " AND ((LEAV_TRX.\"DATE\" >= '";
    sql += from;
    sql += "') AND (LEAV_TRX.\"DATE\" <= '";
    sql += to;
    sql += "'))";
    sql += " AND (LEAV_TRX.\"APPROVED\"='Y')";
    sql += " ORDER BY LEAV_TRX.\"EMPCODE\", LEAV_TRX.\"LEAVE_CODE\", LEAV_TRX.\"DATE\"";
    return sql;
}

// The download dialog's query on the company connection, with its before-open handler.
struct LeaveQueryForm {
    explicit LeaveQueryForm(FreeTableForm& company) : company(company) {
        query = owner.CreateOwned<ads::TAdsQuery>();
        query->SetName("Query1");
        query->SetDatabaseName("FormCompany.DatabaseMain");
        query->BeforeOpen = [this](db::TDataSet*) {
            ++passwordRuns;
            if (this->company.connection->UsesDictionary()) return;
            query->EnableStatementEncryption(ads::kTablePassword);
            query->SetStatementTablePassword("EMPLOYEE", ads::kTablePassword);
            query->SetStatementTablePassword("EMPLOYEE.ADT", ads::kTablePassword);
        };
    }
    // Every row's fields, read by name as the download reads them.
    std::vector<std::string> walk() {
        std::vector<std::string> out;
        for (query->First(); !query->Eof(); query->Next())
            out.push_back(query->FieldByName("EMPCODE")->AsString() + "|" +
                          query->FieldByName("leave_code")->AsString() + "|" +
                          query->FieldByName("DATE")->AsString() + "|" +
                          query->FieldByName("DAY")->AsString() + "|" +
                          query->FieldByName("ID")->AsString());
        return out;
    }

    FreeTableForm& company;
    TestForm owner{"fmDownload"};
    ads::TAdsQuery* query = nullptr;
    int passwordRuns = 0;
};

}  // namespace adstest

#endif
