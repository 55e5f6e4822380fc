// The leave statement of the download over free tables (the employee table encrypted) and a data
// dictionary: rows, order and field types.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/sqlite/sql_keys.h"
#include "sql_fixture.h"

namespace enginetest {
namespace {

class SqlLeave : public SqlTest {};

TEST_F(SqlLeave, EncryptedFreeTablesGiveTheRangeInOrder) {
    makeCompany(true);
    ADSHANDLE s = statement();
    ASSERT_EQ(AdsStmtEnableEncryption(s, u8(kTablePassword)), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsStmtSetTablePassword(s, u8("EMPLOYEE"), u8(kTablePassword)), AE_SUCCESS);
    ASSERT_EQ(AdsStmtSetTablePassword(s, u8("EMPLOYEE.ADT"), u8(kTablePassword)), AE_SUCCESS);
    // Encrypting derived the rows file's key; the statement reuses it.
    const unsigned derived = engine::sqlkeys::derivations();
    ADSHANDLE c = query(s, leaveStatement("2006-03-01", "2006-03-31"));
    ASSERT_NE(c, 0u);
    EXPECT_EQ(engine::sqlkeys::derivations(), derived);
    std::vector<std::string> got = rows(c);
    EXPECT_EQ(got, (std::vector<std::string>{
                       "E001|D1|C1||2000-01-01|E001|AL|2006-03-01|1|8|Y|4",
                       "E001|D1|C1||2000-01-01|E001|AL|2006-03-31|1|8|Y|3",
                       "E001|D1|C1||2000-01-01|E001|SL|2006-03-05|0.5|4|Y|2",
                       "E002|D2|C1||2001-02-03|E002|AL|2006-03-02|1|8|Y|1",
                   }));
}

// The download's second statement: the leave applications of the selected leave, found by their
// employee, leave code and ID. It has no order; its rows (as a set) and names are what count.
TEST_F(SqlLeave, TheApplicationsOfTheSelectedLeave) {
    makeCompany(false);
    ADSHANDLE a = create("empleave.adt",
                         "EMPCODE,Character,12;leave_code,Character,8;ID,Integer;AMPM,Character,2;"
                         "REFERENCE,Character,40;REMARKS,Character,40");
    append(a, {"E001", "AL", "4", "AM", "R-4", "first"});
    append(a, {"E001", "AL", "4", "AM", "R-4", "first"});  // the same twice: once in the result
    append(a, {"E001", "SL", "2", "PM", "R-2", ""});
    append(a, {"E002", "AL", "1", "", "", "caf\xe9"});
    append(a, {"E001", "AL", "5", "AM", "R-5", "out of range"});
    append(a, {"E001", "SL", "4", "AM", "R-x", "other code"});
    close(a);
    const std::string sql =
        R"(SELECT DISTINCT a."EMPCODE", a."leave_code", a."ID", a."AMPM", a."REFERENCE", )"
        R"(a."REMARKS" FROM "LEAV_TRX.ADT" LEAV_TRX, "empleave.adt" a)"
        R"( WHERE (a."EMPCODE" = LEAV_TRX."EMPCODE") AND (a."leave_code" = LEAV_TRX."LEAVE_CODE"))"
        R"( AND (a."ID" = LEAV_TRX."ID"))"
        R"( AND ((LEAV_TRX."DATE" >= '2006-03-01') AND (LEAV_TRX."DATE" <= '2006-03-31')))"
        R"( AND (LEAV_TRX."APPROVED"='Y'))";
    ADSHANDLE c = query(sql);
    ASSERT_NE(c, 0u);
    std::vector<std::string> got = rows(c);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"E001|AL|4|AM|R-4|first", "E001|SL|2|PM|R-2|",
                                             "E002|AL|1|||caf\xe9"}));
    UNSIGNED8 name[64];
    UNSIGNED16 len = sizeof name;
    ASSERT_EQ(AdsGetFieldName(c, 2, name, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), len), "leave_code");
}

// Leave rows that tie in the statement's order (two halves of one day) come in the order they
// were entered, in both places: the download writes them so.
TEST_F(SqlLeave, RowsThatTieComeInTheOrderTheyWereEntered) {
    makeCompany(false);
    ADSHANDLE l = openOk("LEAV_TRX.ADT");
    append(l, {"E002", "SL", "2006-03-20", "0.5", "4", "Y", "30"});
    append(l, {"E002", "SL", "2006-03-20", "0.5", "2", "Y", "12"});
    append(l, {"E002", "SL", "2006-03-20", "0.5", "3", "Y", "21"});
    close(l);
    std::vector<std::string> ids;
    for (const std::string& row : select(leaveStatement("2006-03-20", "2006-03-20")))
        ids.push_back(row.substr(row.rfind('|') + 1));
    EXPECT_EQ(ids, (std::vector<std::string>{"30", "12", "21"}));
    ids.clear();
    for (const std::string& row :
         select("SELECT TOP 2 ID FROM LEAV_TRX WHERE DATE = '2006-03-20' ORDER BY LEAVE_CODE"))
        ids.push_back(row);
    EXPECT_EQ(ids, (std::vector<std::string>{"30", "12"}));
}

TEST_F(SqlLeave, FieldsKeepTheirSourceNamesTypesAndLengths) {
    makeCompany(false);
    ADSHANDLE c = query(leaveStatement("2006-03-01", "2006-03-31"));
    ASSERT_NE(c, 0u);
    UNSIGNED16 n = 0;
    ASSERT_EQ(AdsGetNumFields(c, &n), AE_SUCCESS);
    ASSERT_EQ(n, 12);
    const char* names[] = {"EMP_NO",        "DEPARTMENT_CODE",
                           "CATEGORY_CODE", "TERMINATION_DATE",
                           "HIRED_DATE",    "EMPCODE",
                           "LEAVE_CODE",    "DATE",
                           "DAY",           "HOUR",
                           "APPROVED",      "ID"};
    const UNSIGNED16 types[] = {ADS_STRING, ADS_STRING, ADS_STRING, ADS_DATE,
                                ADS_DATE,   ADS_STRING, ADS_STRING, ADS_DATE,
                                ADS_DOUBLE, ADS_DOUBLE, ADS_STRING, ADS_INTEGER};
    for (UNSIGNED16 f = 1; f <= n; ++f) {
        UNSIGNED8 name[64];
        UNSIGNED16 len = sizeof name;
        ASSERT_EQ(AdsGetFieldName(c, f, name, &len), AE_SUCCESS);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(name), len), names[f - 1]);
        UNSIGNED16 type = 0;
        ASSERT_EQ(AdsGetFieldType(c, u8(names[f - 1]), &type), AE_SUCCESS);
        EXPECT_EQ(type, types[f - 1]) << names[f - 1];
    }
    UNSIGNED32 length = 0;
    ASSERT_EQ(AdsGetFieldLength(c, u8("emp_no"), &length), AE_SUCCESS);
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(field(c, "leave_code"), "AL");
    UNSIGNED32 count = 0;
    ASSERT_EQ(AdsGetRecordCount(c, ADS_IGNOREFILTERS, &count), AE_SUCCESS);
    EXPECT_EQ(count, 4u);
    UNSIGNED32 options = 0;
    ASSERT_EQ(AdsGetTableOpenOptions(c, &options), AE_SUCCESS);
    EXPECT_TRUE(options & ADS_READONLY);
    UNSIGNED16 kind = 0;
    ASSERT_EQ(AdsGetHandleType(c, &kind), AE_SUCCESS);
    EXPECT_EQ(kind, ADS_CURSOR);
}

TEST_F(SqlLeave, RangeEdgesAndTheExtendedApproval) {
    makeCompany(false);
    EXPECT_TRUE(select(leaveStatement("2006-03-31", "2006-03-01")).empty());
    EXPECT_EQ(select(leaveStatement("2006-03-05", "2006-03-05")).size(), 1u);
    auto both =
        select(leaveStatement("2006-03-01", "2006-03-31",
                              " AND ((LEAV_TRX.\"APPROVED\"='Y') OR (LEAV_TRX.\"APPROVED\"='N'))"));
    ASSERT_EQ(both.size(), 5u);
    EXPECT_EQ(both.back(), "E003|D1|C2|2005-12-31|1999-05-05|E003|AL|2006-03-10|1|8|N|7");
}

TEST_F(SqlLeave, EncryptedTableNeedsTheRightPasswordAndNamesTheTable) {
    makeCompany(true);
    std::string text;
    EXPECT_EQ(failure(leaveStatement("2006-03-01", "2006-03-31"), text), AE_WRONG_PASSWORD);
    EXPECT_EQ(text,
              "Error 6011: The table EMPLOYEE.ADT is encrypted; give the SQL statement its "
              "password.");
    ADSHANDLE s = statement();
    ASSERT_EQ(AdsStmtEnableEncryption(s, u8("wrong")), AE_SUCCESS);
    ADSHANDLE c = 0;
    EXPECT_EQ(run(s, leaveStatement("2006-03-01", "2006-03-31"), c), AE_WRONG_PASSWORD);
    EXPECT_EQ(lastError(),
              "Error 6011: The password given to the SQL statement does not open the "
              "encrypted table EMPLOYEE.ADT.");
    // The table password wins over the statement's encryption password.
    ASSERT_EQ(AdsStmtSetTablePassword(s, u8("employee.adt"), u8(kTablePassword)), AE_SUCCESS);
    EXPECT_EQ(run(s, leaveStatement("2006-03-01", "2006-03-31"), c), AE_SUCCESS) << lastError();
    // A statement that gives no password does not read through the views another one opened.
    EXPECT_EQ(failure("SELECT * FROM employee", text), AE_WRONG_PASSWORD);
    ASSERT_EQ(AdsStmtClearTablePasswords(s), AE_SUCCESS);
    EXPECT_EQ(run(s, "SELECT * FROM employee", c), AE_WRONG_PASSWORD);
    ASSERT_EQ(AdsStmtEnableEncryption(s, u8(kTablePassword)), AE_SUCCESS);
    EXPECT_EQ(run(s, "SELECT * FROM employee", c), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsStmtDisableEncryption(s), AE_SUCCESS);
    EXPECT_EQ(run(s, "SELECT * FROM employee", c), AE_WRONG_PASSWORD);
}

TEST_F(SqlLeave, ATableEncryptedOrRecreatedAfterAStatementIsNotReadFromTheOldFile) {
    makeCompany(false);
    ADSHANDLE s = statement();
    EXPECT_EQ(rows(query(s, "SELECT EMP_NO FROM EMPLOYEE ORDER BY 1")).size(), 3u);
    // The session keeps no table open between calls: the table can be encrypted meanwhile.
    ADSHANDLE t = openOk("EMPLOYEE.ADT", ADS_EXCLUSIVE);
    ASSERT_EQ(AdsEnableEncryption(t, u8(kTablePassword)), AE_SUCCESS);
    ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << lastError();
    close(t);
    ADSHANDLE cursor = 0;
    EXPECT_EQ(run(s, "SELECT EMP_NO FROM EMPLOYEE", cursor), AE_WRONG_PASSWORD);
    ASSERT_EQ(AdsStmtEnableEncryption(s, u8(kTablePassword)), AE_SUCCESS);
    EXPECT_EQ(rows(query(s, "SELECT EMP_NO FROM EMPLOYEE ORDER BY 1")).size(), 3u);
    // Deleted and made again with other rows.
    ASSERT_EQ(AdsDeleteTable(connection, u8("LEAV_TRX.ADT")), AE_SUCCESS) << lastError();
    ADSHANDLE l = create("LEAV_TRX.ADT", "EMPCODE,Character,10;ID,Integer");
    append(l, {"E001", "42"});
    close(l);
    EXPECT_EQ(rows(query(s, "SELECT * FROM LEAV_TRX")), (std::vector<std::string>{"E001|42"}));
}

TEST_F(SqlLeave, DictionaryTablesAreFoundByNameOrFileName) {
    makeCompany(false);
    const std::string dd = path("A1.ADD");
    ADSHANDLE admin = 0;
    ASSERT_EQ(AdsDDCreate(u8(dd.c_str()), 0, nullptr, &admin), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsDDAddTable(admin, u8("EMPLOYEE"), u8("EMPLOYEE.ADT"), ADS_ADT, ADS_ANSI, nullptr,
                            nullptr),
              AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsDDAddTable(admin, u8("LEAV_TRX"), u8("LEAV_TRX.ADT"), ADS_ADT, ADS_ANSI, nullptr,
                            nullptr),
              AE_SUCCESS)
        << lastError();
    ADSHANDLE s = 0;
    ASSERT_EQ(AdsCreateSQLStatement(admin, &s), AE_SUCCESS) << lastError();
    ADSHANDLE c = 0;
    ASSERT_EQ(AdsPrepareSQL(s, u8(leaveStatement("2006-03-01", "2006-03-31").c_str())), AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsExecuteSQL(s, &c), AE_SUCCESS) << lastError();
    EXPECT_EQ(rows(c).size(), 4u);
    ASSERT_EQ(AdsPrepareSQL(s, u8("SELECT * FROM PASS")), AE_NOT_IN_DICTIONARY);
    EXPECT_EQ(lastError().rfind("Error 5132: ", 0), 0u) << lastError();
    EXPECT_NE(lastError().find("PASS"), std::string::npos) << lastError();
    // Disconnecting closes the statement and its cursor.
    ASSERT_EQ(AdsDisconnect(admin), AE_SUCCESS);
    EXPECT_EQ(AdsCloseSQLStatement(s), AE_INVALID_STATEMENT);
    EXPECT_EQ(AdsGotoTop(c), AE_INVALID_HANDLE);
}

}  // namespace
}  // namespace enginetest
