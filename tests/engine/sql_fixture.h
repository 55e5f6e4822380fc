// Shared helpers of the SQL statement tests: the employee and leave tables of a company, a
// statement handle, and running a statement into rows of texts.
#ifndef VELDA_TESTS_ENGINE_SQL_FIXTURE_H
#define VELDA_TESTS_ENGINE_SQL_FIXTURE_H

#include <string>
#include <vector>

#include "engine_fixture.h"

namespace enginetest {

inline constexpr const char* kTablePassword = "KORVA4816";

// The leave statement of the download, built from its pieces for a date range and the approval
// clause of the standard layout.
inline std::string leaveStatement(
    const std::string& from, const std::string& to,
    const std::string& approval = " AND (LEAV_TRX.\"APPROVED\"='Y')") {
    return "SELECT EMPLOYEE.\"EMP_NO\", EMPLOYEE.\"DEPARTMENT_CODE\", "
           "EMPLOYEE.\"CATEGORY_CODE\", EMPLOYEE.\"TERMINATION_DATE\", EMPLOYEE.\"HIRED_DATE\","
           " LEAV_TRX.\"EMPCODE\",LEAV_TRX.\"LEAVE_CODE\",LEAV_TRX.\"DATE\",LEAV_TRX.\"DAY\","
           "LEAV_TRX.\"HOUR\",LEAV_TRX.\"APPROVED\",LEAV_TRX.\"ID\""
           " FROM \"EMPLOYEE.ADT\" EMPLOYEE, \"LEAV_TRX.ADT\" LEAV_TRX"
           " WHERE (EMPLOYEE.\"EMP_NO\" = LEAV_TRX.\"EMPCODE\")"
           " AND ((LEAV_TRX.\"DATE\" >= '" +
           from + "') AND (LEAV_TRX.\"DATE\" <= '" + to + "'))" + approval +
           " ORDER BY LEAV_TRX.\"EMPCODE\", LEAV_TRX.\"LEAVE_CODE\", LEAV_TRX.\"DATE\"";
}

class SqlTest : public EngineTest {
  protected:
    void TearDown() override {
        for (ADSHANDLE s : statements) (void)AdsCloseSQLStatement(s);
        EngineTest::TearDown();
    }

    ADSHANDLE statement() {
        ADSHANDLE s = 0;
        EXPECT_EQ(AdsCreateSQLStatement(connection, &s), AE_SUCCESS) << lastError();
        statements.push_back(s);
        return s;
    }

    // EMPLOYEE and LEAV_TRX with a few rows; EMPLOYEE encrypted when asked.
    void makeCompany(bool encryptEmployees) {
        ADSHANDLE e = create("EMPLOYEE.ADT",
                             "EMP_NO,Character,10;NAME,Character,30;DEPARTMENT_CODE,Character,6;"
                             "CATEGORY_CODE,Character,4;TERMINATION_DATE,Date;HIRED_DATE,Date");
        append(e, {"E002", "Bea", "D2", "C1", "", "2001-02-03"});
        append(e, {"E001", "Al", "D1", "C1", "", "2000-01-01"});
        append(e, {"E003", "Cy", "D1", "C2", "2005-12-31", "1999-05-05"});
        close(e);
        ADSHANDLE l = create("LEAV_TRX.ADT",
                             "EMPCODE,Character,10;LEAVE_CODE,Character,4;DATE,Date;DAY,Double;"
                             "HOUR,Double;APPROVED,Character,1;ID,Integer");
        append(l, {"E002", "AL", "2006-03-02", "1", "8", "Y", "1"});
        append(l, {"E001", "SL", "2006-03-05", "0.5", "4", "Y", "2"});
        append(l, {"E001", "AL", "2006-03-31", "1", "8", "Y", "3"});
        append(l, {"E001", "AL", "2006-03-01", "1", "8", "Y", "4"});
        append(l, {"E001", "AL", "2006-02-28", "1", "8", "Y", "5"});  // before the range
        append(l, {"E001", "AL", "2006-04-01", "1", "8", "Y", "6"});  // after it
        append(l, {"E003", "AL", "2006-03-10", "1", "8", "N", "7"});  // not approved
        append(l, {"E009", "AL", "2006-03-10", "1", "8", "Y", "8"});  // no such employee
        append(l, {"E002", "AL", "2006-03-15", "1", "8", "", "9"});   // no flag
        close(l);
        if (encryptEmployees) {
            ADSHANDLE t = openOk("EMPLOYEE.ADT", ADS_EXCLUSIVE);
            ASSERT_EQ(AdsEnableEncryption(t, u8(kTablePassword)), AE_SUCCESS) << lastError();
            ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << lastError();
            close(t);
        }
    }

    // Prepares and runs; the cursor (0 for none) or a failure code.
    UNSIGNED32 run(ADSHANDLE s, const std::string& sql, ADSHANDLE& cursor) {
        cursor = 0;
        if (UNSIGNED32 rc = AdsPrepareSQL(s, u8(sql.c_str()))) return rc;
        UNSIGNED32 rc = AdsExecuteSQL(s, &cursor);
        if (rc == AE_SUCCESS && cursor) opened.push_back(cursor);
        return rc;
    }
    ADSHANDLE query(ADSHANDLE s, const std::string& sql) {
        ADSHANDLE cursor = 0;
        EXPECT_EQ(run(s, sql, cursor), AE_SUCCESS) << lastError() << "\n" << sql;
        return cursor;
    }
    ADSHANDLE query(const std::string& sql) { return query(statement(), sql); }

    // Every row of a cursor as its fields' texts joined by "|".
    std::vector<std::string> rows(ADSHANDLE cursor) {
        std::vector<std::string> out;
        UNSIGNED16 n = 0;
        EXPECT_EQ(AdsGetNumFields(cursor, &n), AE_SUCCESS) << lastError();
        EXPECT_EQ(AdsGotoTop(cursor), AE_SUCCESS) << lastError();
        while (!eof(cursor)) {
            std::string row;
            for (UNSIGNED16 f = 1; f <= n; ++f) {
                UNSIGNED8 buffer[4096];
                UNSIGNED32 len = sizeof buffer;
                EXPECT_EQ(AdsGetField(cursor, ADSFIELD(f), buffer, &len, ADS_NONE), AE_SUCCESS)
                    << lastError();
                std::string text(reinterpret_cast<char*>(buffer), len);
                while (!text.empty() && text.back() == ' ') text.pop_back();
                row += (f > 1 ? "|" : "") + text;
            }
            out.push_back(row);
            EXPECT_EQ(AdsSkip(cursor, 1), AE_SUCCESS) << lastError();
        }
        return out;
    }
    std::vector<std::string> select(const std::string& sql) {
        ADSHANDLE c = query(sql);
        return c ? rows(c) : std::vector<std::string>{};
    }
    // The failure of a statement: its code, and its text through lastError().
    UNSIGNED32 failure(const std::string& sql, std::string& text) {
        ADSHANDLE cursor = 0;
        UNSIGNED32 rc = run(statement(), sql, cursor);
        text = lastError();
        return rc;
    }

    std::vector<ADSHANDLE> statements;
};

}  // namespace enginetest

#endif
