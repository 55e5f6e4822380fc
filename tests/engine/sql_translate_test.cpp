// The dialect's pre-pass on its own: statement texts in, SQLite's texts or refusals out. The
// statement suites show what the results mean; this table shows what each construct becomes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/last_error.h"
#include "engine/sql_dialect.h"

namespace {

using engine::sqldialect::translate;
using engine::sqldialect::Translation;

struct Mapped {
    const char* in;
    const char* out;
    std::vector<std::string> parameters = {};
};

TEST(SqlTranslate, EachConstructBecomesWhatSqliteRunsWithTheSameMeaning) {
    const Mapped cases[] = {
        // TOP becomes LIMIT on the outermost SELECT; names with a dot are quoted as one name.
        {"SELECT TOP 2 EMPCODE FROM LEAV_TRX ORDER BY EMPCODE",
         "SELECT   EMPCODE FROM \"LEAV_TRX\" ORDER BY EMPCODE LIMIT 2"},
        // Text literals compared lose their trailing blanks, as stored texts have none.
        {"SELECT * FROM EMPLOYEE.ADT e WHERE e.NAME = 'Al  '",
         "SELECT * FROM \"EMPLOYEE.ADT\" e WHERE e.NAME = 'Al'"},
        {"SELECT A FROM T WHERE A IN (SELECT B FROM U WHERE B <> 'x ')",
         "SELECT A FROM \"T\" WHERE A IN (SELECT B FROM \"U\" WHERE B <> 'x')"},
        // Bracketed names, date and time stamp escapes in their stored forms.
        {"SELECT * FROM [LEAV TRX] WHERE DATE >= {d '2006-03-01'} AND STAMP < {ts '2006-03-01 "
         "10:00:00'}",
         "SELECT * FROM \"LEAV TRX\" WHERE DATE >= '2006-03-01' AND STAMP < '2006-03-01 "
         "10:00:00.000'"},
        // + beside a text literal joins texts; functions SQLite lacks are the engine's.
        {"SELECT 'No ' + EMP_NO, LEFT(NAME, 2), RIGHT(NAME, 1), SUBSTRING(NAME FROM 2 FOR 3) "
         "FROM EMPLOYEE",
         "SELECT 'No ' || EMP_NO, velda_left(NAME, 2), velda_right(NAME, 1), SUBSTRING(NAME , 2 , "
         "3) FROM \"EMPLOYEE\""},
        // TRUE, FALSE and IIF are SQLite's own; CAST takes the engine's type names.
        {"SELECT IIF(TRUE, 1, 2), CAST(DAY AS SQL_INTEGER), CONCAT(A, B), CURDATE(), YEAR(DATE) "
         "FROM T",
         "SELECT IIF(TRUE, 1, 2), CAST(DAY AS INTEGER), velda_concat(A, B), velda_curdate(), "
         "velda_year(DATE) FROM \"T\""},
        // Parameters are numbered in order; a name given twice is two parameters of one name.
        {"SELECT A FROM T WHERE A = ? AND B = :who AND C = :who",
         "SELECT A FROM \"T\" WHERE A = ?1 AND B = ?2 AND C = ?3",
         {"", "who", "who"}},
        {"UPDATE LEAV_TRX SET APPROVED = 'Y' WHERE ID = 3",
         "UPDATE \"LEAV_TRX\" SET APPROVED = 'Y' WHERE ID = 3"},
    };
    for (const Mapped& c : cases) {
        Translation t;
        ASSERT_EQ(translate(c.in, t), AE_SUCCESS) << c.in << "\n" << engine::lastError().text();
        EXPECT_EQ(t.sql, c.out) << c.in;
        EXPECT_EQ(t.parameters, c.parameters) << c.in;
    }
}

struct Refused {
    std::string in;
    UNSIGNED32 code;
    const char* text;
};

TEST(SqlTranslate, WhatTheDialectDoesNotRunIsRefusedByName) {
    const Refused cases[] = {
        {"DROP TABLE EMPLOYEE", AE_NOT_SUPPORTED,
         "Error 5004: The SQL statement uses the statement DROP (only SELECT, INSERT, UPDATE and "
         "DELETE run), which the engine does not support."},
        {"PRAGMA key='x'", AE_NOT_SUPPORTED,
         "Error 5004: The SQL statement uses the statement PRAGMA (only SELECT, INSERT, UPDATE "
         "and DELETE run), which the engine does not support."},
        {"SELECT 1 FROM T; SELECT 2 FROM T", AE_NOT_SUPPORTED,
         "Error 5004: The SQL statement uses several statements in one text, which the engine "
         "does not support."},
        {"SELECT * FROM (SELECT TOP 1 A FROM T)", AE_NOT_SUPPORTED,
         "Error 5004: The SQL statement uses TOP in a subquery or a second TOP, which the engine "
         "does not support."},
        {"SELECT TOP 10 PERCENT A FROM T", AE_NOT_SUPPORTED,
         "Error 5004: The SQL statement uses TOP ... PERCENT, which the engine does not support."},
        {"SELECT TOP 1 A FROM T UNION SELECT B FROM U", AE_NOT_SUPPORTED,
         "Error 5004: The SQL statement uses TOP together with UNION, which the engine does not "
         "support."},
        {"SELECT A FROM T RIGHT JOIN U ON T.A = U.A", AE_NOT_SUPPORTED,
         "Error 5004: The SQL statement uses RIGHT JOIN, which the engine does not support."},
        {"SELECT CAST(A AS BLOBBY) FROM T", AE_NOT_SUPPORTED,
         "Error 5004: The SQL statement uses CAST to BLOBBY, which the engine does not support."},
        {"SELECT A FROM T)", AE_SQL_SYNTAX,
         "Error 6030: Syntax error in the SQL statement at position 16: \")\" without its \"(\"."},
        {"SELECT 'abc FROM T", AE_SQL_SYNTAX,
         "Error 6030: Syntax error in the SQL statement at position 8: the text is not closed."},
        {"SELECT " + std::string(257, '(') + "1" + std::string(257, ')') + " FROM T", AE_SQL_SYNTAX,
         "Error 6030: Syntax error in the SQL statement at position 264: brackets are nested more "
         "than 256 deep."},
    };
    for (const Refused& c : cases) {
        Translation t;
        EXPECT_EQ(translate(c.in, t), c.code) << c.in;
        EXPECT_EQ(engine::lastError().text(), c.text) << c.in;
    }
    // 256 levels are still taken.
    Translation t;
    EXPECT_EQ(
        translate("SELECT " + std::string(256, '(') + "1" + std::string(256, ')') + " FROM T", t),
        AE_SUCCESS);
}

}  // namespace
