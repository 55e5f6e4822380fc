// The SQL dialect: each construct it accepts, each one it refuses, and the errors of statements.
#include <gtest/gtest.h>

#include "engine/schema.h"
#include "sql_fixture.h"

namespace enginetest {
namespace {

class SqlDialect : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        makeCompany(false);
    }
    std::string typeOf(ADSHANDLE cursor, const char* field) {
        UNSIGNED16 type = 0;
        EXPECT_EQ(AdsGetFieldType(cursor, u8(field), &type), AE_SUCCESS) << lastError();
        return typeName(type);
    }
    static std::string typeName(UNSIGNED16 type) {
        switch (type) {
            case ADS_STRING:
                return "Character";
            case ADS_DATE:
                return "Date";
            case ADS_INTEGER:
                return "Integer";
            case ADS_DOUBLE:
                return "Double";
            default:
                return std::to_string(type);
        }
    }
    using Rows = std::vector<std::string>;
};

TEST_F(SqlDialect, SelectClauses) {
    EXPECT_EQ(select("SELECT DISTINCT TOP 2 EMPCODE FROM LEAV_TRX ORDER BY EMPCODE"),
              (Rows{"E001", "E002"}));
    EXPECT_EQ(select("SELECT EMPCODE, COUNT(*) AS N, SUM(DAY) FROM LEAV_TRX WHERE APPROVED = 'Y' "
                     "GROUP BY EMPCODE HAVING COUNT(*) > 1 ORDER BY N DESC, 1"),
              (Rows{"E001|5|4.5"}));
    EXPECT_EQ(select("SELECT e.NAME, l.ID FROM EMPLOYEE e INNER JOIN LEAV_TRX l ON "
                     "l.EMPCODE = e.EMP_NO WHERE l.LEAVE_CODE = 'SL'"),
              (Rows{"Al|2"}));
    EXPECT_EQ(select("SELECT e.EMP_NO, l.ID FROM employee e LEFT OUTER JOIN leav_trx l ON "
                     "l.EMPCODE = e.EMP_NO AND l.APPROVED = 'N' ORDER BY 1"),
              (Rows{"E001|", "E002|", "E003|7"}));
    EXPECT_EQ(select("SELECT EMP_NO FROM EMPLOYEE WHERE EMP_NO = 'E003' UNION SELECT EMPCODE "
                     "FROM LEAV_TRX WHERE ID = 8 ORDER BY 1"),
              (Rows{"E003", "E009"}));
    EXPECT_EQ(select("SELECT EMP_NO FROM EMPLOYEE WHERE EMP_NO = 'E001' UNION ALL SELECT EMP_NO "
                     "FROM EMPLOYEE WHERE EMP_NO = 'E001'")
                  .size(),
              2u);
    EXPECT_EQ(select("SELECT NAME FROM EMPLOYEE WHERE EMP_NO IN (SELECT EMPCODE FROM LEAV_TRX "
                     "WHERE LEAVE_CODE = 'SL')"),
              (Rows{"Al"}));
    EXPECT_EQ(select("SELECT NAME FROM EMPLOYEE e WHERE NOT EXISTS (SELECT * FROM LEAV_TRX l "
                     "WHERE l.EMPCODE = e.EMP_NO AND l.APPROVED = 'Y')"),
              (Rows{"Cy"}));
}

TEST_F(SqlDialect, TableNamesIdentifiersAndLiterals) {
    for (const char* from :
         {"EMPLOYEE.ADT", "\"EMPLOYEE.ADT\"", "employee", "[Employee.adt]", "\"employee\""})
        EXPECT_EQ(select(std::string("SELECT COUNT(*) FROM ") + from), (Rows{"3"})) << from;
    EXPECT_EQ(select("SELECT [NAME] FROM EMPLOYEE.ADT e, LEAV_TRX.ADT WHERE e.EMP_NO = EMPCODE "
                     "AND ID = 2"),
              (Rows{"Al"}));
    EXPECT_EQ(select("SELECT 'O''Brien', 'a' + 'b', 1 + 2 FROM EMPLOYEE WHERE EMP_NO = 'E001'"),
              (Rows{"O'Brien|ab|3"}));
    // Trailing blanks do not count in comparisons; dates compare as dates.
    EXPECT_EQ(select("SELECT COUNT(*) FROM LEAV_TRX WHERE LEAVE_CODE = 'SL   '"), (Rows{"1"}));
    EXPECT_EQ(select("SELECT ID FROM LEAV_TRX WHERE DATE > '2006-03-15' AND DATE < "
                     "{d '2006-04-01'}"),
              (Rows{"3"}));
    EXPECT_EQ(select("SELECT COUNT(*) FROM LEAV_TRX WHERE (APPROVED = 'Y') = TRUE AND FALSE = 0"),
              (Rows{"7"}));
    EXPECT_EQ(select("SELECT {ts '2006-03-01 08:30:00'}, {t '08:30:00'} FROM EMPLOYEE "
                     "WHERE EMP_NO = 'E001'"),
              (Rows{"2006-03-01 08:30:00.000|08:30:00.000"}));
}

TEST_F(SqlDialect, ScalarFunctions) {
    EXPECT_EQ(select("SELECT UPPER('\xe9t\xe9 x'), LOWER('\xc9T\xc9'), TRIM('  a  '), "
                     "LTRIM('  a'), RTRIM('a  ') || '|', SUBSTRING('abcdef', 2, 3), "
                     "SUBSTRING('abcdef' FROM 3 FOR 2), LEFT('abc', 2), RIGHT('abc', 2), "
                     "LENGTH('abcd') FROM EMPLOYEE WHERE EMP_NO = 'E001'"),
              (Rows{"\xc9T\xc9 X|\xe9t\xe9|a|a|a||bcd|cd|ab|bc|4"}));
    EXPECT_EQ(select("SELECT CONCAT('a', NULL, 'b'), IFNULL(TERMINATION_DATE, 'none'), "
                     "IIF(1 > 2, 'yes', 'no'), CAST(2.7 AS SQL_INTEGER), CAST(3 AS CHAR(4)), "
                     "YEAR(HIRED_DATE), MONTH(HIRED_DATE), DAYOFMONTH(HIRED_DATE), ABS(-2), "
                     "ROUND(2.567, 2) FROM EMPLOYEE WHERE EMP_NO = 'E002'"),
              (Rows{"ab|none|no|2|3|2001|2|3|2|2.57"}));
    Rows now = select("SELECT CURDATE(), NOW() FROM EMPLOYEE WHERE EMP_NO = 'E001'");
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].size(), 10u + 1 + 23) << now[0];
}

// Logicals are stored as 1 and 0: they compare with TRUE and FALSE, and serve as conditions.
TEST_F(SqlDialect, LogicalFieldsAsConditionsAndValues) {
    ADSHANDLE t = create("FLAGS.ADT", "ID,Integer;ACTIVE,Logical");
    append(t, {"1", "T"});
    append(t, {"2", "F"});
    append(t, {"3", ""});
    close(t);
    EXPECT_EQ(select("SELECT ID, IIF(ACTIVE, 'y', 'n'), IIF(ID > 1, 'big', 'small') FROM FLAGS "
                     "ORDER BY ID"),
              (Rows{"1|y|small", "2|n|big", "3|n|big"}));
    EXPECT_EQ(select("SELECT ID FROM FLAGS WHERE ACTIVE = TRUE"), (Rows{"1"}));
    EXPECT_EQ(select("SELECT ID FROM FLAGS WHERE ACTIVE = FALSE"), (Rows{"2"}));
    EXPECT_EQ(select("SELECT COUNT(*) FROM FLAGS WHERE (ID > 1) = TRUE AND (ID = 3) <> FALSE"),
              (Rows{"1"}));
}

TEST_F(SqlDialect, ComputedColumnsGetTypesAndUniqueNames) {
    ADSHANDLE c = query(
        "SELECT EMPCODE, EMPCODE, COUNT(*), SUM(DAY), MAX(DATE), "
        "CONCAT(EMPCODE, '-', MIN(LEAVE_CODE)) AS CODE FROM LEAV_TRX GROUP BY 1, 2");
    ASSERT_NE(c, 0u);
    std::vector<std::string> names;
    UNSIGNED16 n = 0;
    ASSERT_EQ(AdsGetNumFields(c, &n), AE_SUCCESS);
    for (UNSIGNED16 f = 1; f <= n; ++f) {
        UNSIGNED8 name[64];
        UNSIGNED16 len = sizeof name;
        ASSERT_EQ(AdsGetFieldName(c, f, name, &len), AE_SUCCESS);
        names.emplace_back(reinterpret_cast<char*>(name), len);
    }
    EXPECT_EQ(names, (Rows{"EMPCODE", "EMPCODE_1", "EXPR", "EXPR_1", "EXPR_2", "CODE"}));
    EXPECT_EQ(typeOf(c, "EXPR"), "Integer");
    EXPECT_EQ(typeOf(c, "EXPR_1"), "Double");
    EXPECT_EQ(typeOf(c, "EXPR_2"), "Date");
    EXPECT_EQ(typeOf(c, "CODE"), "Character");
    UNSIGNED32 length = 0;
    ASSERT_EQ(AdsGetFieldLength(c, u8("CODE"), &length), AE_SUCCESS);
    EXPECT_EQ(length, 7u);  // E001-AL
}

TEST_F(SqlDialect, TheCursorIsAStaticReadOnlyView) {
    ADSHANDLE c = query("SELECT * FROM LEAV_TRX ORDER BY ID DESC");
    ASSERT_NE(c, 0u);
    EXPECT_EQ(AdsGotoBottom(c), AE_SUCCESS);
    EXPECT_EQ(field(c, "ID"), "1");
    ASSERT_EQ(AdsGotoTop(c), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(c, 2), AE_SUCCESS);
    ADSHANDLE bookmark = 0;
    ASSERT_EQ(AdsGetBookmark(c, &bookmark), AE_SUCCESS);
    ASSERT_EQ(AdsGotoTop(c), AE_SUCCESS);
    ASSERT_EQ(AdsGotoBookmark(c, bookmark), AE_SUCCESS);
    EXPECT_EQ(field(c, "ID"), "7");
    EXPECT_EQ(AdsLockRecord(c, 0), AE_STATIC_CURSOR);
    EXPECT_EQ(AdsAppendRecord(c), AE_STATIC_CURSOR);
    EXPECT_EQ(AdsSetField(c, u8("ID"), u8("1"), 1), AE_STATIC_CURSOR);
    EXPECT_EQ(AdsDeleteRecord(c), AE_STATIC_CURSOR);
    EXPECT_EQ(lastError().rfind("Error 5064: ", 0), 0u);
    // A change to the table later does not change the result.
    ADSHANDLE t = openOk("LEAV_TRX");
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    ASSERT_EQ(AdsDeleteRecord(t), AE_SUCCESS);
    UNSIGNED32 count = 0;
    ASSERT_EQ(AdsGetRecordCount(c, ADS_IGNOREFILTERS | ADS_REFRESHCOUNT, &count), AE_SUCCESS);
    EXPECT_EQ(count, 9u);
}

TEST_F(SqlDialect, ConstructsItCannotMapAreRefusedByName) {
    struct Case {
        const char* sql;
        const char* names;
    };
    const Case cases[] = {
        {"SELECT * FROM EMPLOYEE WHERE EMP_NO IN (SELECT TOP 1 EMPCODE FROM LEAV_TRX)", "TOP"},
        {"SELECT TOP 10 PERCENT * FROM EMPLOYEE", "PERCENT"},
        {"SELECT * FROM EMPLOYEE e RIGHT JOIN LEAV_TRX l ON l.EMPCODE = e.EMP_NO", "RIGHT JOIN"},
        {"SELECT * FROM EMPLOYEE e FULL OUTER JOIN LEAV_TRX l ON l.EMPCODE = e.EMP_NO",
         "FULL JOIN"},
        {"SELECT CAST(EMP_NO AS WIDGET) FROM EMPLOYEE", "CAST to WIDGET"},
        {"CREATE TABLE x (a INTEGER)", "CREATE"},
        {"PRAGMA table_info(EMPLOYEE)", "PRAGMA"},
        {"DROP TABLE EMPLOYEE", "DROP"},
        {"SELECT 1 FROM EMPLOYEE; DELETE FROM EMPLOYEE", "several statements"},
        {"SELECT TOP 1 * FROM EMPLOYEE LIMIT 2", "TOP together with LIMIT"},
        {"SELECT TOP 1 EMP_NO FROM EMPLOYEE UNION SELECT EMPCODE FROM LEAV_TRX",
         "TOP together with UNION"},
    };
    for (const Case& c : cases) {
        std::string text;
        EXPECT_EQ(failure(c.sql, text), AE_NOT_SUPPORTED) << c.sql;
        EXPECT_NE(text.find(c.names), std::string::npos) << text;
        EXPECT_EQ(text.rfind("Error 5004: The SQL statement uses ", 0), 0u) << text;
    }
    EXPECT_EQ(select("SELECT COUNT(*) FROM EMPLOYEE"), (Rows{"3"}));
}

TEST_F(SqlDialect, ErrorsNameWhatIsWrong) {
    std::string text;
    EXPECT_EQ(failure("SELECT EMP_NO FROMM EMPLOYEE", text), AE_SQL_SYNTAX);
    EXPECT_EQ(text,
              "Error 6030: Syntax error in the SQL statement at position 21 (near "
              "\"EMPLOYEE\").");
    EXPECT_EQ(failure("SELECT EMP_NO FROM EMPLOYEE WHERE", text), AE_SQL_SYNTAX);
    EXPECT_EQ(text,
              "Error 6030: Syntax error in the SQL statement at position 29 (near "
              "\"WHERE\").");
    // A token that stands in several places is named where the error is, not where it first is.
    EXPECT_EQ(failure("SELECT EMP_NO FROM EMPLOYEE WHERE EMP_NO = 1 EMP_NO", text), AE_SQL_SYNTAX);
    EXPECT_EQ(text,
              "Error 6030: Syntax error in the SQL statement at position 46 (near "
              "\"EMP_NO\").");
    EXPECT_EQ(failure("SELECT EMP_NO FROM EMPLOYEE WHERE EMP_NO IN (SELECT EMP_NO", text),
              AE_SQL_SYNTAX);
    EXPECT_EQ(text,
              "Error 6030: Syntax error in the SQL statement at position 53 (near "
              "\"EMP_NO\").");
    EXPECT_EQ(failure("SELECT 'abc FROM EMPLOYEE", text), AE_SQL_SYNTAX);
    EXPECT_EQ(text,
              "Error 6030: Syntax error in the SQL statement at position 8: the text is "
              "not closed.");
    EXPECT_EQ(failure("SELECT {d '2006-02-30'} FROM EMPLOYEE", text), AE_SQL_SYNTAX);
    EXPECT_EQ(text,
              "Error 6030: Syntax error in the SQL statement at position 8: '2006-02-30' "
              "is not a valid date.");
    EXPECT_EQ(failure("SELECT * FROM NOSUCH", text), AE_FILE_NOT_FOUND);
    EXPECT_EQ(text, "Error 6004: The table NOSUCH named in the SQL statement does not exist (" +
                        path("NOSUCH.adt") + ").");
    EXPECT_EQ(failure("SELECT NOPE FROM EMPLOYEE", text), AE_COLUMN_NOT_FOUND);
    EXPECT_EQ(text,
              "Error 5147: The SQL statement names column \"NOPE\", which none of its "
              "tables has.");
    EXPECT_EQ(failure("SELECT NOFUNC(1) FROM EMPLOYEE", text), AE_SQL_SYNTAX);
    EXPECT_EQ(text, "Error 6030: The SQL statement cannot run: no such function: NOFUNC.");
    EXPECT_EQ(failure("", text), AE_SQL_SYNTAX);
}

TEST_F(SqlDialect, StatementHandlesAndTheirOptions) {
    ADSHANDLE s = statement();
    UNSIGNED16 kind = 0;
    ASSERT_EQ(AdsGetHandleType(s, &kind), AE_SUCCESS);
    EXPECT_EQ(kind, ADS_STATEMENT);
    UNSIGNED32 count = 0;
    EXPECT_EQ(AdsGetRecordCount(s, ADS_IGNOREFILTERS, &count), AE_NO_RECORD_COUNT);
    EXPECT_EQ(AdsCloseSQLStatement(connection), AE_INVALID_STATEMENT);
    EXPECT_EQ(lastError(), "Error 5106: Handle " + std::to_string(connection) +
                               " is not an open SQL statement.");
    ADSHANDLE cursor = 0;
    EXPECT_EQ(AdsExecuteSQL(s, &cursor), AE_INVALID_ARGUMENT);  // nothing prepared
    EXPECT_EQ(AdsStmtSetTableType(s, ADS_NTX), AE_NOT_SUPPORTED);
    EXPECT_EQ(AdsStmtSetTableType(s, 9), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsStmtSetTableType(s, ADS_ADT), AE_SUCCESS);
    EXPECT_EQ(AdsStmtSetTableCharType(s, 3), AE_NOT_SUPPORTED);
    EXPECT_EQ(AdsStmtSetTableCharType(s, ADS_OEM), AE_SUCCESS);
    EXPECT_EQ(AdsStmtSetTableLockType(s, 5), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsStmtSetTableRights(s, 0), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsStmtSetTableReadOnly(s, 2), AE_SUCCESS);
    EXPECT_EQ(AdsStmtConstrainUpdates(s, 3), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsStmtReadAllColumns(s, 1), AE_SUCCESS);
    EXPECT_EQ(AdsStmtEnableEncryption(s, u8("")), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsStmtSetTablePassword(s, u8(""), u8("x")), AE_INVALID_ARGUMENT);
    // A writable cursor asked for is still a static one.
    ADSHANDLE c = query(s, "SELECT * FROM EMPLOYEE");
    UNSIGNED32 options = 0;
    ASSERT_EQ(AdsGetTableOpenOptions(c, &options), AE_SUCCESS);
    EXPECT_EQ(options, ADS_READONLY);
    EXPECT_EQ(AdsGetSQLStmtParams(u8("")), AE_SUCCESS);
    EXPECT_EQ(AdsGetSQLStmtParams(u8("SELECT a,")), AE_SUCCESS);
    EXPECT_EQ(AdsGetSQLStmtParams(u8("SELECT 'a")), AE_SQL_SYNTAX);
    // Closing the statement closes its cursor.
    ASSERT_EQ(AdsCloseSQLStatement(s), AE_SUCCESS);
    EXPECT_EQ(AdsGotoTop(c), AE_INVALID_HANDLE);
    statements.clear();
}

TEST_F(SqlDialect, AChangedStructureAsksForANewPreparation) {
    ADSHANDLE s = statement();
    ASSERT_EQ(AdsPrepareSQL(s, u8("SELECT * FROM EMPLOYEE")), AE_SUCCESS) << lastError();
    ADSHANDLE t = openOk("EMPLOYEE", ADS_EXCLUSIVE);
    index(t, "BYNAME", "NAME");
    close(t);
    ADSHANDLE cursor = 0;
    EXPECT_EQ(AdsExecuteSQL(s, &cursor), AE_PREPARE_AGAIN);
    // A server names the table by the path it was opened with, its extension as written.
    const std::string expected = "Error 7209: The structure of the table " + path("EMPLOYEE.ADT") +
                                 " changed after the SQL statement was prepared; prepare it again.";
    if (onServer())
        EXPECT_TRUE(engine::equalsNoCase(lastError(), expected)) << lastError();
    else
        EXPECT_EQ(lastError(), expected);
    ASSERT_EQ(AdsPrepareSQL(s, u8("SELECT * FROM EMPLOYEE")), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsExecuteSQL(s, &cursor), AE_SUCCESS) << lastError();
    opened.push_back(cursor);
    EXPECT_EQ(rows(cursor).size(), 3u);
}

TEST_F(SqlDialect, ManyTablesAreAttachedAndReleasedInTurn) {
    for (int i = 0; i < 14; ++i) {
        std::string name = "T" + std::to_string(i);
        ADSHANDLE t = create(name.c_str(), "V,Integer");
        append(t, {std::to_string(i)});
        close(t);
    }
    ADSHANDLE s = statement();
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 14; ++i)
            EXPECT_EQ(rows(query(s, "SELECT V FROM T" + std::to_string(i))),
                      (Rows{std::to_string(i)}));
    EXPECT_EQ(select("SELECT COUNT(*) FROM T0, T1, T2, T3, T4, T5, T6, T7, T8"), (Rows{"1"}));
    // A folder's SQLite attaches at most nine tables at once; a server has no such bound.
    std::string text;
    EXPECT_EQ(failure("SELECT COUNT(*) FROM T0, T1, T2, T3, T4, T5, T6, T7, T8, T9", text),
              onServer() ? AE_SUCCESS : AE_NOT_SUPPORTED)
        << text;
}

}  // namespace
}  // namespace enginetest
