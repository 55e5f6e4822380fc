// SQL statements where the two places differ underneath: the views a server statement makes for
// its tables, what it must never reach on the server, the time limit, a failure inside an open
// transaction, and table paths of another place. Cases that need a server skip in a folder.
#include <gtest/gtest.h>

#include <chrono>

#include "engine/statement.h"
#include "sql_fixture.h"

namespace enginetest {
namespace {

using Rows = std::vector<std::string>;

#define SERVER_ONLY()                                                             \
    do {                                                                          \
        if (!::enginetest::onServer()) GTEST_SKIP() << "about server statements"; \
    } while (0)

class SqlServer : public SqlTest {};

// A statement's tables are found when the server misses them (42P01), in any spelling, and the
// views made for them go with the call: another client can delete the table at once.
TEST_F(SqlServer, TablesAreFoundWhenMissedAndTheirViewsGoWithTheCall) {
    SERVER_ONLY();
    makeCompany(false);
    ADSHANDLE s = statement();
    EXPECT_EQ(rows(query(s,
                         "SELECT e.emp_no, l.Id FROM employee e, \"LEAV_TRX.ADT\" l, "
                         "[Leav_Trx] m WHERE e.EMP_NO = l.EMPCODE AND l.ID = m.ID AND "
                         "l.ID = 2")),
              (Rows{"E001|2"}));
    // Again on the same statement and session: the views are made afresh.
    EXPECT_EQ(rows(query(s, "SELECT COUNT(*) FROM Employee")), (Rows{"3"}));

    ADSHANDLE other = 0;
    ASSERT_EQ(AdsConnect(u8(root.c_str()), &other), AE_SUCCESS) << lastError();
    EXPECT_EQ(AdsDeleteTable(other, u8("LEAV_TRX.ADT")), AE_SUCCESS) << lastError();
    EXPECT_EQ(AdsDisconnect(other), AE_SUCCESS);
    std::string text;
    EXPECT_EQ(failure("SELECT * FROM LEAV_TRX", text), AE_FILE_NOT_FOUND);
    EXPECT_EQ(text, "Error " + std::to_string(AE_FILE_NOT_FOUND) +
                        ": The table LEAV_TRX named in the SQL statement does not exist (" +
                        path("LEAV_TRX.adt") + ").");
}

// A name longer than the server's 63 bytes is found by the whole name the statement gives.
TEST_F(SqlServer, ALongTableNameIsFoundByItsWholeName) {
    const std::string name = "LEAVE_TRANSACTIONS_OF_THE_WHOLE_COMPANY_KEPT_FOR_SEVEN_YEARS_ARCHIVE";
    ADSHANDLE t = create((name + ".ADT").c_str(), "ID,Integer");
    append(t, {"7"});
    close(t);
    EXPECT_EQ(select("SELECT ID FROM \"" + name + ".ADT\" ORDER BY ID"), (Rows{"7"}));
    EXPECT_EQ(select("SELECT ID FROM " + name + " WHERE ID = 7"), (Rows{"7"}));
}

// Only the engine's tables of the connection's folder are read: never the catalog, the rows
// tables under their own names, or the server's system catalogs.
TEST_F(SqlServer, TheServersOwnRelationsAreNotReachable) {
    SERVER_ONLY();
    makeCompany(false);
    for (const char* name :
         {"velda_tables", "pg_class", "pg_catalog.pg_authid", "\"velda_rows_1\""}) {
        std::string text;
        EXPECT_EQ(failure(std::string("SELECT * FROM ") + name, text), AE_FILE_NOT_FOUND)
            << name << ": " << text;
    }
    std::string text;
    EXPECT_EQ(failure("SELECT (SELECT COUNT(*) FROM velda_fields) FROM EMPLOYEE", text),
              AE_FILE_NOT_FOUND)
        << text;
    EXPECT_EQ(failure("SELECT pg_advisory_unlock_all() FROM EMPLOYEE", text), AE_SQL_SYNTAX);
    EXPECT_EQ(text,
              "Error 6030: The SQL statement cannot run: no such function: "
              "pg_advisory_unlock_all.");
}

TEST_F(SqlServer, AStatementThatOutrunsTheTimeLimitIsStoppedAndTheNextOneRuns) {
    SERVER_ONLY();
    makeCompany(false);
    ADSHANDLE s = statement();
    ADSHANDLE cursor = 0;
    ASSERT_EQ(run(s, "SELECT 1 FROM EMPLOYEE", cursor), AE_SUCCESS) << lastError();
    auto object = engine::HandleRegistry::instance().findAs<engine::SqlStatement>(s);
    ASSERT_TRUE(object);
    object->session->timeLimit = std::chrono::milliseconds(300);
    std::string runaway = "SELECT count(*) FROM LEAV_TRX a";
    for (char c = 'b'; c <= 'i'; ++c) runaway += std::string(", LEAV_TRX ") + c;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run(s, runaway, cursor), AE_SQL_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(lastError(), "Error " + std::to_string(AE_SQL_TIMEOUT) +
                               ": The SQL statement ran longer than the engine allows (0.300 "
                               "seconds) and was stopped; nothing of it was kept.");
    EXPECT_EQ(rows(query(s, "SELECT count(*) FROM LEAV_TRX")), (Rows{"9"}));
}

// A statement that fails while the connection has a transaction open leaves the transaction as it
// was: on a server they share one session, and a failed statement would abort the transaction.
TEST_F(SqlServer, AFailedStatementKeepsTheOpenTransaction) {
    makeCompany(false);
    ADSHANDLE t = openOk("EMPLOYEE");
    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Alma"), 4), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    std::string text;
    EXPECT_EQ(failure("SELECT * FROM NOSUCH", text), AE_FILE_NOT_FOUND);
    EXPECT_EQ(failure("SELECT NOPE FROM LEAV_TRX", text), AE_COLUMN_NOT_FOUND);
    EXPECT_EQ(text, "Error " + std::to_string(AE_COLUMN_NOT_FOUND) +
                        ": The SQL statement names column \"NOPE\", which none of its tables "
                        "has.");
    EXPECT_EQ(failure("SELECT FROM FROM LEAV_TRX", text), AE_SQL_SYNTAX);
    EXPECT_EQ(select("SELECT COUNT(*) FROM LEAV_TRX"), (Rows{"9"}));
    ASSERT_EQ(AdsCommitTransaction(connection), AE_SUCCESS) << lastError();
    EXPECT_EQ(select("SELECT NAME FROM EMPLOYEE WHERE NAME = 'Alma'"), (Rows{"Alma"}));
}

// Names keep the case and the Windows-1252 letters they were written with, in both places, and a
// column named with such a letter reads its values (not its name).
TEST_F(SqlServer, ResultNamesAreAsWritten) {
    makeCompany(false);
    ADSHANDLE c = query(
        "SELECT e.name AS \"N\xe4me\", emp_no, COUNT(*) AS Total, UPPER(name) "
        "FROM employee e WHERE emp_no = 'E001' GROUP BY e.name, emp_no");
    ASSERT_NE(c, 0u);
    std::vector<std::string> names;
    for (UNSIGNED16 f = 1; f <= 4; ++f) {
        UNSIGNED8 name[64];
        UNSIGNED16 len = sizeof name;
        ASSERT_EQ(AdsGetFieldName(c, f, name, &len), AE_SUCCESS) << lastError();
        names.emplace_back(reinterpret_cast<char*>(name), len);
    }
    EXPECT_EQ(names, (Rows{"N\xe4me", "EMP_NO", "Total", "EXPR"}));
    EXPECT_EQ(rows(c), (Rows{"Al|E001|1|AL"}));
}

// What the server's SQL refuses where SQLite goes on is an error with the server's reason, found
// when preparing or while the rows are read; nothing is half done.
TEST_F(SqlServer, WhatOnlyTheServerRefusesIsToldWithItsReason) {
    SERVER_ONLY();
    makeCompany(false);
    std::string text;
    EXPECT_EQ(failure("SELECT EMPCODE, LEAVE_CODE FROM LEAV_TRX GROUP BY EMPCODE", text),
              AE_SQL_SYNTAX);
    EXPECT_EQ(text, "Error " + std::to_string(AE_SQL_SYNTAX) +
                        ": The SQL statement cannot run: column \"LEAV_TRX.LEAVE_CODE\" must "
                        "appear in the GROUP BY clause or be used in an aggregate function.");
    // Failures while the rows are read are worded as a folder words SQLite's.
    EXPECT_EQ(failure("SELECT ID / (ID - 5) FROM LEAV_TRX ORDER BY ID", text), AE_IO_ERROR);
    EXPECT_EQ(text, "Error " + std::to_string(AE_IO_ERROR) +
                        ": Could not run the SQL statement: division by zero.");
    EXPECT_EQ(failure("UPDATE LEAV_TRX SET DAY = 1 / (ID - 5)", text), AE_IO_ERROR);
    EXPECT_EQ(select("SELECT SUM(DAY) FROM LEAV_TRX"), (Rows{"8.5"}));
}

// On a server a statement without parameters sends its rows in another form than one with
// parameters: every value of every type, texts with tabs, line ends, backslashes and "\N" among
// them, reads the same both ways, with the same field types, lengths and decimals.
TEST_F(SqlServer, ValuesReadTheSameWithParametersAndWithout) {
    ADSHANDLE t =
        create("ODD.ADT", "N,Integer;T,Character,24;M,Memo;D,Double;DT,Date;L,Logical;B,Binary");
    const std::string longMemo = [] {
        std::string m;
        for (int i = 0; i < 300; ++i) m += "part " + std::to_string(i) + (i % 7 ? "\t" : "\r\n\\");
        return m;
    }();
    append(t, {"1", "tab\there", "one\ntwo\r\nend", "0.1", "2006-03-01", "T",
               std::string("\x00\x09\x0a\x5c\x4e\xff", 6)});
    append(t, {"2", "back\\slash \\N", "\\N", "-1234.5678", "1999-12-31", "F", "\\x41"});
    append(t, {"3", "\\N", "ctl \x01\x08\x0b\x0c\x7f", "1e-300", "", "", ""});
    append(t,
           {"4", "caf\xe9 \x80\x9f\xff", "\\\\N\t\\", "123456789012.25", "2024-02-29", "T", "\\N"});
    append(t, {"5", "", "", "", "", "", ""});
    append(t, {"-2147483647", " lead", longMemo, "3.141592653589793", "1900-01-01", "F",
               std::string(300, '\t')});
    close(t);

    // Everything a cursor shows: its fields' names, types, lengths and decimals, then each row's
    // record image and each field's value as AdsGetField gives it.
    auto shown = [&](ADSHANDLE c) {
        std::vector<std::string> out;
        UNSIGNED16 n = 0;
        EXPECT_EQ(AdsGetNumFields(c, &n), AE_SUCCESS) << lastError();
        for (UNSIGNED16 f = 1; f <= n; ++f) {
            UNSIGNED8 name[64];
            UNSIGNED16 len = sizeof name, type = 0, decimals = 0;
            UNSIGNED32 length = 0;
            EXPECT_EQ(AdsGetFieldName(c, f, name, &len), AE_SUCCESS) << lastError();
            EXPECT_EQ(AdsGetFieldType(c, ADSFIELD(f), &type), AE_SUCCESS) << lastError();
            EXPECT_EQ(AdsGetFieldLength(c, ADSFIELD(f), &length), AE_SUCCESS) << lastError();
            EXPECT_EQ(AdsGetFieldDecimals(c, ADSFIELD(f), &decimals), AE_SUCCESS) << lastError();
            out.push_back(std::string(reinterpret_cast<char*>(name), len) + " " +
                          std::to_string(type) + "," + std::to_string(length) + "," +
                          std::to_string(decimals));
        }
        EXPECT_EQ(AdsGotoTop(c), AE_SUCCESS) << lastError();
        while (!eof(c)) {
            UNSIGNED32 size = 0;
            EXPECT_EQ(AdsGetRecordLength(c, &size), AE_SUCCESS) << lastError();
            std::vector<UNSIGNED8> record(size);
            EXPECT_EQ(AdsGetRecord(c, record.data(), &size), AE_SUCCESS) << lastError();
            out.emplace_back(record.begin(), record.begin() + size);
            for (UNSIGNED16 f = 1; f <= n; ++f) {
                std::vector<UNSIGNED8> buffer(8192);
                UNSIGNED32 len = static_cast<UNSIGNED32>(buffer.size());
                UNSIGNED32 rc = AdsGetField(c, ADSFIELD(f), buffer.data(), &len, ADS_NONE);
                out.push_back(std::to_string(rc) + ":" +
                              std::string(buffer.begin(), buffer.begin() + (rc ? 0 : len)));
            }
            EXPECT_EQ(AdsSkip(c, 1), AE_SUCCESS) << lastError();
        }
        return out;
    };
    const char* statements[] = {
        "SELECT * FROM ODD WHERE {P} ORDER BY N",
        "SELECT N, T, M, B FROM ODD WHERE {P} ORDER BY N DESC",
        "SELECT COUNT(*) AS C, SUM(N) AS S, AVG(D) AS A, SUM(D) AS SD, MAX(T) AS MT, "
        "MIN(DT) AS MD FROM ODD WHERE {P}",
        "SELECT N * 3 AS N3, D / 7 AS D7, UPPER(T) AS U, LENGTH(M) AS LM, IFNULL(T, 'none') AS "
        "TN, CONCAT(T, M) AS TM, L FROM ODD WHERE {P} ORDER BY N",
        "SELECT * FROM ODD WHERE {P} AND N > 100",
    };
    for (const std::string statementText : statements) {
        const size_t at = statementText.find("{P}");
        const std::string plain =
            statementText.substr(0, at) + "1 = 1" + statementText.substr(at + 3);
        const std::string withParameter =
            statementText.substr(0, at) + "? = 1" + statementText.substr(at + 3);
        ADSHANDLE s = statement();
        ASSERT_EQ(AdsPrepareSQL(s, u8(withParameter.c_str())), AE_SUCCESS) << lastError();
        ASSERT_EQ(AdsSetDouble(s, ADSFIELD(1), 1), AE_SUCCESS) << lastError();
        ADSHANDLE c = 0;
        ASSERT_EQ(AdsExecuteSQL(s, &c), AE_SUCCESS) << lastError() << "\n" << withParameter;
        opened.push_back(c);
        const std::vector<std::string> expected = shown(c);
        EXPECT_EQ(shown(query(plain)), expected) << plain;
        EXPECT_GT(expected.size(), 2u) << plain;
    }
}

// A statement reads and changes the tables of its connection's place: a path of another place is
// refused by name, whatever the connection.
TEST_F(SqlServer, ATableOfAnotherPlaceIsRefused) {
    makeCompany(false);
    const std::string elsewhere = onServer() ? folder + "/EMPLOYEE.ADT"
                                             : "postgresql://postgres@localhost/velda/EMPLOYEE.ADT";
    std::string text;
    EXPECT_EQ(failure("SELECT * FROM \"" + elsewhere + "\"", text), AE_NOT_SUPPORTED);
    EXPECT_EQ(text, "Error 5004: The SQL statement mixes places: the table " + elsewhere +
                        " is not in the place of its connection (" + root +
                        "); a statement reads and changes the tables of one place only.")
        << text;
    EXPECT_EQ(failure("DELETE FROM \"" + elsewhere + "\"", text), AE_NOT_SUPPORTED);
}

}  // namespace
}  // namespace enginetest
