// The dialect's pre-pass on its own: statement texts in, SQLite's texts or refusals out. The
// statement suites show what the results mean; this table shows what each construct becomes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/last_error.h"
#include "engine/sql_dialect.h"

namespace {

using engine::sqldialect::Target;
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
        // A table after a join's condition is a table too (a dotted name is its file name).
        {"SELECT * FROM A JOIN B ON A.X = B.X, C.ADT c WHERE c.X = 1",
         "SELECT * FROM \"A\" JOIN \"B\" ON A.X = B.X, \"C.ADT\" c WHERE c.X = 1"},
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

TEST(SqlTranslate, OnAServerEachConstructBecomesWhatPostgresRunsWithTheSameMeaning) {
    const Mapped cases[] = {
        // Names are quoted upper-cased (the server keeps the case of quoted names and folds
        // others); tables are looked for among the statement's views only.
        {"SELECT TOP 2 EMPCODE FROM LEAV_TRX ORDER BY EMPCODE",
         "SELECT   \"EMPCODE\" FROM pg_temp.\"LEAV_TRX\" ORDER BY \"EMPCODE\", "
         "\"LEAV_TRX\".\"velda_recno\" LIMIT 2"},
        // Rows that tie in the outermost order come by record numbers, table by table, unless
        // the statement's rows are not the tables' rows.
        {"SELECT a.X FROM \"A.ADT\" AS a JOIN B ON a.X = B.X, C c ORDER BY 1",
         "SELECT \"A\".\"X\" FROM pg_temp.\"A.ADT\" AS \"A\" JOIN pg_temp.\"B\" ON \"A\".\"X\" = "
         "\"B\".\"X\", pg_temp.\"C\" \"C\" ORDER BY 1, \"A\".\"velda_recno\", "
         "\"B\".\"velda_recno\", \"C\".\"velda_recno\""},
        {"SELECT DISTINCT X FROM A ORDER BY X",
         "SELECT DISTINCT \"X\" FROM pg_temp.\"A\" ORDER BY \"X\""},
        {"SELECT * FROM A ORDER BY X", "SELECT * FROM pg_temp.\"A\" ORDER BY \"X\""},
        {"SELECT X FROM A WHERE X IN (SELECT MAX(Y) FROM B) ORDER BY X",
         "SELECT \"X\" FROM pg_temp.\"A\" WHERE \"X\" IN (SELECT max(\"Y\") FROM pg_temp.\"B\") "
         "ORDER BY \"X\""},
        {"SELECT e.[Name], l.\"leave_code\" FROM \"EMPLOYEE.ADT\" e, leav_trx.adt l "
         "WHERE e.NAME = 'Al  '",
         "SELECT \"E\".\"NAME\", \"L\".\"LEAVE_CODE\" FROM pg_temp.\"EMPLOYEE.ADT\" \"E\", "
         "pg_temp.\"LEAV_TRX.ADT\" \"L\" WHERE \"E\".\"NAME\" = 'Al'"},
        // Dates are texts on both sides; + beside a text joins; LIKE ignores ASCII case.
        {"SELECT 'No ' + EMP_NO FROM T WHERE D >= {d '2006-03-01'} AND N LIKE 'a%'",
         "SELECT 'No ' || \"EMP_NO\" FROM pg_temp.\"T\" WHERE \"D\" >= '2006-03-01' AND \"N\" "
         "ILIKE 'a%'"},
        // TRUE and FALSE are the stored 1 and 0; IIF is CASE; CAST AS INTEGER truncates.
        {"SELECT IIF(A > 1, 'y', 'n'), CAST(DAY AS SQL_INTEGER), CAST(A AS CHAR(4)) FROM T "
         "WHERE F = TRUE OR G = FALSE",
         "SELECT CASE WHEN ((\"A\" > 1)) <> 0 THEN ( 'y') ELSE ( 'n') END, velda_cast_int(\"DAY\"  "
         "), "
         "CAST(\"A\" AS text) FROM pg_temp.\"T\" WHERE \"F\" = 1 OR \"G\" = 0"},
        // The dialect's functions are the engine's helpers or the server's own of that meaning.
        {"SELECT UPPER(A), LOWER(A), LEFT(A, 2), RIGHT(A, 1), SUBSTRING(A FROM 2 FOR 3), "
         "SUBSTR(A, 2), CONCAT(A, B), IFNULL(A, 'x'), CURDATE(), NOW(), YEAR(D), MONTH(D), "
         "DAYOFMONTH(D), ROUND(X, 2), TRIM(A), LENGTH(A), COUNT(*) FROM T",
         "SELECT velda_upper(\"A\"), velda_lower(\"A\"), velda_left(\"A\", 2), "
         "velda_right(\"A\", 1), velda_substr(\"A\" , 2 , 3), velda_substr(\"A\", 2), "
         "concat(\"A\", \"B\"), coalesce(\"A\", 'x'), velda_curdate(), velda_now(), "
         "velda_sql_year(\"D\"), velda_sql_month(\"D\"), velda_sql_dayofmonth(\"D\"), "
         "velda_round(\"X\", 2), trim(\"A\"), length(\"A\"), count(*) FROM pg_temp.\"T\""},
        // Parameters are numbered $1, $2 ...
        {"SELECT A FROM T WHERE A = ? AND B = :who AND C = :who",
         "SELECT \"A\" FROM pg_temp.\"T\" WHERE \"A\" = $1 AND \"B\" = $2 AND \"C\" = $3",
         {"", "who", "who"}},
        {"INSERT INTO staff (ID, PAY) VALUES (1, 2)",
         "INSERT INTO pg_temp.\"STAFF\" (\"ID\", \"PAY\") VALUES (1, 2)"},
    };
    for (const Mapped& c : cases) {
        Translation t;
        ASSERT_EQ(translate(c.in, t, Target::Postgres), AE_SUCCESS) << c.in << "\n"
                                                                    << engine::lastError().text();
        EXPECT_EQ(t.sql, c.out) << c.in;
        EXPECT_EQ(t.parameters, c.parameters) << c.in;
    }
    // The parts of a change name the target as the views do, and remember how it was written.
    Translation t;
    ASSERT_EQ(translate("UPDATE staff s SET s.pay = pay + 1 WHERE id = 2", t, Target::Postgres),
              AE_SUCCESS);
    EXPECT_EQ(t.write.table, "STAFF");
    EXPECT_EQ(t.write.alias, "S");
    EXPECT_EQ(t.write.columns, (std::vector<std::string>{"PAY"}));
    EXPECT_EQ(t.write.values, (std::vector<std::string>{"\"PAY\" + 1"}));
    EXPECT_EQ(t.write.where, "\"ID\" = 2");
    EXPECT_EQ(engine::sqldialect::written(t, "STAFF"), "staff");
    EXPECT_EQ(engine::sqldialect::written(t, "OTHER"), "OTHER");
}

// The server's own functions reach beyond the rows of tables (settings, files, other sessions'
// locks); only the dialect's functions run there, any other is unknown, as SQLite says of its.
TEST(SqlTranslate, OnAServerOnlyTheDialectsFunctionsRun) {
    for (const char* call : {"pg_advisory_unlock_all()", "set_config('a', 'b', false)",
                             "pg_read_file('/etc/passwd')", "current_setting('x')"}) {
        Translation t;
        EXPECT_EQ(translate(std::string("SELECT ") + call + " FROM T", t, Target::Postgres),
                  AE_SQL_SYNTAX)
            << call;
        const std::string name(call, std::string(call).find('('));
        EXPECT_EQ(engine::lastError().text(),
                  "Error 6030: The SQL statement cannot run: no such function: " + name + ".");
    }
    // Keywords before a bracket are no calls.
    Translation t;
    EXPECT_EQ(translate("SELECT A FROM T WHERE A IN (1) AND EXISTS (SELECT 1 FROM U) AND NOT (A "
                        "= 2)",
                        t, Target::Postgres),
              AE_SUCCESS)
        << engine::lastError().text();
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
    // Both places refuse the same statements with the same texts.
    for (Target target : {Target::Sqlite, Target::Postgres})
        for (const Refused& c : cases) {
            Translation t;
            EXPECT_EQ(translate(c.in, t, target), c.code) << c.in;
            EXPECT_EQ(engine::lastError().text(), c.text) << c.in;
        }
    // 256 levels are still taken.
    Translation t;
    EXPECT_EQ(
        translate("SELECT " + std::string(256, '(') + "1" + std::string(256, ')') + " FROM T", t),
        AE_SUCCESS);
}

}  // namespace
