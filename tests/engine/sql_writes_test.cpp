// INSERT, UPDATE and DELETE through the engine's writer: one transaction per statement, record
// locks of other handles and processes, auto-increment values, field checks, encrypted targets.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "process_helpers.h"
#include "sql_fixture.h"

namespace enginetest {
namespace {

class SqlWrites : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        ADSHANDLE t = create("STAFF.ADT",
                             "ID,AutoInc;NAME,Character,8;PAY,Double;HIRED,Date;"
                             "ACTIVE,Logical");
        append(t, {"", "Al", "10", "2001-01-01", "T"});
        append(t, {"", "Bea", "20", "2002-02-02", "T"});
        append(t, {"", "Cy", "30", "", "F"});
        close(t);
    }
    UNSIGNED32 exec(const std::string& sql, ADSHANDLE s = 0) {
        ADSHANDLE cursor = 0;
        UNSIGNED32 rc = run(s ? s : statement(), sql, cursor);
        EXPECT_EQ(cursor, 0u);
        return rc;
    }
};

TEST_F(SqlWrites, UpdateInsertDeleteChangeRowsThatOtherHandlesSee) {
    ADSHANDLE t = openOk("staff");
    EXPECT_EQ(walk(t, "PAY"), (std::vector<std::string>{"10", "20", "30"}));
    ASSERT_EQ(exec("UPDATE staff SET PAY = PAY * 2, NAME = UPPER(NAME) WHERE ACTIVE = TRUE"),
              AE_SUCCESS)
        << lastError();
    EXPECT_EQ(walk(t, "PAY"), (std::vector<std::string>{"20", "40", "30"}));
    EXPECT_EQ(walk(t, "NAME"), (std::vector<std::string>{"AL", "BEA", "Cy"}));
    ADSHANDLE s = statement();
    ASSERT_EQ(exec("INSERT INTO \"STAFF.ADT\" (NAME, PAY, HIRED) VALUES ('Di', 5, '2006-03-01'), "
                   "('Ed', 6, {d '2006-03-02'})",
                   s),
              AE_SUCCESS)
        << lastError();
    UNSIGNED32 autoinc = 0;
    ASSERT_EQ(AdsGetLastAutoinc(s, &autoinc), AE_SUCCESS);
    EXPECT_EQ(autoinc, 5u);
    EXPECT_EQ(walk(t, "ID"), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(walk(t, "HIRED").back(), "2006-03-02");
    ASSERT_EQ(exec("INSERT INTO staff SELECT ID + 100, NAME, PAY, HIRED, ACTIVE FROM staff "
                   "WHERE NAME = 'AL'"),
              AE_SUCCESS)
        << lastError();
    EXPECT_EQ(walk(t, "ID").back(), "101");
    ASSERT_EQ(exec("DELETE FROM staff WHERE ID > 3"), AE_SUCCESS) << lastError();
    EXPECT_EQ(walk(t, "ID"), (std::vector<std::string>{"1", "2", "3"}));
    ASSERT_EQ(exec("DELETE FROM staff s WHERE s.PAY > 25"), AE_SUCCESS) << lastError();
    EXPECT_EQ(walk(t, "ID"), (std::vector<std::string>{"1"}));
}

TEST_F(SqlWrites, ParametersByNumberAndName) {
    ADSHANDLE s = statement();
    ASSERT_EQ(AdsPrepareSQL(s, u8("UPDATE staff SET PAY = :pay, HIRED = ? WHERE NAME = :who")),
              AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsSetDouble(s, u8("pay"), 99.5), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsSetJulian(s, ADSFIELD(2), 2453796), AE_SUCCESS) << lastError();  // 2006-03-01
    ASSERT_EQ(AdsSetString(s, ADSFIELD(3), u8("Bea  "), 5), AE_SUCCESS);
    ADSHANDLE cursor = 0;
    ASSERT_EQ(AdsExecuteSQL(s, &cursor), AE_SUCCESS) << lastError();
    ADSHANDLE t = openOk("staff");
    EXPECT_EQ(walk(t, "PAY")[1], "99.5");
    EXPECT_EQ(walk(t, "HIRED")[1], "2006-03-01");
    EXPECT_EQ(AdsSetLogical(s, ADSFIELD(4), 1), AE_COLUMN_NOT_FOUND);
    EXPECT_EQ(AdsSetLogical(s, u8("nobody"), 1), AE_COLUMN_NOT_FOUND);
    EXPECT_EQ(AdsSetEmpty(s, ADSFIELD(1)), AE_SUCCESS);
    EXPECT_EQ(AdsSetMilliseconds(s, ADSFIELD(1), 86400000), AE_INVALID_ARGUMENT);
    ADSHANDLE fresh = statement();
    ASSERT_EQ(AdsPrepareSQL(fresh, u8("DELETE FROM staff WHERE NAME = ?")), AE_SUCCESS);
    EXPECT_EQ(AdsExecuteSQL(fresh, &cursor), AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(), "Error 6002: Parameter 1 of the SQL statement has no value.");
}

TEST_F(SqlWrites, ValuesAreCheckedAgainstTheFieldAndNothingIsKept) {
    ADSHANDLE t = openOk("staff");
    std::string text;
    EXPECT_EQ(failure("UPDATE staff SET NAME = NAME || 'xxxxxxxx'", text), AE_COLUMN_VALUE);
    EXPECT_NE(text.find("column \"NAME\""), std::string::npos) << text;
    EXPECT_EQ(walk(t, "NAME"), (std::vector<std::string>{"Al", "Bea", "Cy"}));
    EXPECT_EQ(failure("INSERT INTO staff (NAME, HIRED) VALUES ('Zed', 'soon')", text),
              AE_COLUMN_VALUE);
    EXPECT_NE(text.find("column \"HIRED\""), std::string::npos) << text;
    EXPECT_EQ(failure("UPDATE staff SET WAGE = 1", text), AE_COLUMN_NOT_FOUND);
    EXPECT_NE(text.find("column \"WAGE\""), std::string::npos) << text;
    EXPECT_EQ(failure("INSERT INTO staff (NAME) VALUES ('a', 'b')", text), AE_SQL_SYNTAX);
    EXPECT_EQ(walk(t, "ID"), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(SqlWrites, StatementsKeepOutOfOpenTransactions) {
    // A statement reads through a connection of its own and would miss a transaction's pending
    // rows: changes inside a transaction, and tables with pending rows, are refused.
    ADSHANDLE t = openOk("staff");
    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS) << lastError();
    std::string text;
    EXPECT_EQ(failure("UPDATE staff SET PAY = PAY + 1", text), AE_TRANSACTION_OPEN);
    EXPECT_NE(text.find("cannot run inside a transaction"), std::string::npos) << text;
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("PAY"), u8("11"), 2), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    ADSHANDLE cursor = 0;
    EXPECT_EQ(run(statement(), "SELECT PAY FROM staff", cursor), AE_LOCKED);
    EXPECT_NE(lastError().find("has changes in an open transaction"), std::string::npos)
        << lastError();
    ASSERT_EQ(AdsRollbackTransaction(connection), AE_SUCCESS) << lastError();
    EXPECT_EQ(walk(t, "PAY"), (std::vector<std::string>{"10", "20", "30"}));
    ASSERT_EQ(exec("UPDATE staff SET PAY = PAY + 1"), AE_SUCCESS) << lastError();
    EXPECT_EQ(walk(t, "PAY"), (std::vector<std::string>{"11", "21", "31"}));
}

TEST_F(SqlWrites, ARowLockedByAnotherHandleOrProcessStopsTheWholeStatement) {
    ADSHANDLE t = openOk("staff");
    ASSERT_EQ(AdsLockRecord(t, 2), AE_SUCCESS);
    std::string text;
    EXPECT_EQ(failure("UPDATE staff SET PAY = 0", text), AE_LOCKED);
    EXPECT_EQ(text,
              "Error 5035: Record 2 of the table staff is locked by another user or "
              "handle; the SQL statement changed nothing.");
    EXPECT_EQ(walk(t, "PAY"), (std::vector<std::string>{"10", "20", "30"}));
    ASSERT_EQ(AdsUnlockRecord(t, 2), AE_SUCCESS);

    Child child([&](Child& c) {
        ADSHANDLE conn = 0, table = 0;
        if (AdsConnect(u8(root.c_str()), &conn) ||
            AdsOpenTable(conn, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &table) ||
            AdsLockRecord(table, 3))
            return 1;
        c.send('L');
        c.receive();
        return 0;
    });
    ASSERT_EQ(child.receive(), 'L');
    EXPECT_EQ(failure("UPDATE staff SET PAY = PAY + 1 WHERE ID >= 2", text), AE_LOCKED);
    EXPECT_EQ(text,
              "Error 5035: Record 3 of the table staff is locked by another user or "
              "handle; the SQL statement changed nothing.");
    EXPECT_EQ(walk(t, "PAY"), (std::vector<std::string>{"10", "20", "30"}));
    EXPECT_EQ(failure("DELETE FROM staff", text), AE_LOCKED);
    EXPECT_EQ(walk(t, "ID"), (std::vector<std::string>{"1", "2", "3"}));
    child.send('x');
    EXPECT_EQ(child.wait(), 0);
    // A server frees a gone session's locks a moment after its client ended, not at once.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    UNSIGNED32 rc = AE_LOCKED;
    while ((rc = failure("DELETE FROM staff WHERE ID = 3", text)) == AE_LOCKED && onServer() &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(rc, AE_SUCCESS) << text;
}

TEST_F(SqlWrites, ATableOpenedExclusivelyIsNeitherReadNorChanged) {
    ADSHANDLE t = openOk("staff", ADS_EXCLUSIVE);
    std::string text;
    EXPECT_EQ(failure("SELECT * FROM staff", text), AE_LOCKED);
    EXPECT_EQ(text,
              "Error 5035: The table staff is opened exclusively by another user or "
              "handle; the SQL statement cannot use it now.");
    EXPECT_EQ(failure("DELETE FROM staff", text), AE_LOCKED);
    close(t);
    EXPECT_EQ(select("SELECT COUNT(*) FROM staff"), (std::vector<std::string>{"3"}));
}

TEST_F(SqlWrites, AKilledLargeUpdateLeavesAllOrNothing) {
    ADSHANDLE t = openOk("staff");
    ASSERT_EQ(exec("INSERT INTO staff (NAME, PAY) SELECT 'n', 1 FROM staff a, staff b, staff c, "
                   "staff d, staff e, staff f, staff g"),
              AE_SUCCESS)
        << lastError();  // 3^7 rows
    UNSIGNED32 before = 0;
    ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS | ADS_REFRESHCOUNT, &before), AE_SUCCESS);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Child child([&](Child& c) {
            ADSHANDLE conn = 0, s = 0, cursor = 0;
            if (AdsConnect(u8(folder.c_str()), &conn) || AdsCreateSQLStatement(conn, &s)) return 1;
            c.send('R');
            for (int i = 0; i < 100; ++i)
                (void)AdsExecuteSQLDirect(s, u8("UPDATE staff SET PAY = PAY + 1"), &cursor);
            return 0;
        });
        ASSERT_EQ(child.receive(), 'R');
        usleep(static_cast<useconds_t>(20000 + attempt * 30000));
        child.kill();
        std::vector<std::string> pays = walk(t, "PAY");
        ASSERT_EQ(pays.size(), before);
        // Every row went up by the same number of whole statements.
        std::set<std::string> rowsOfPayOne;
        double shift = std::stod(pays.back()) - 1;
        for (size_t i = 3; i < pays.size(); ++i)
            EXPECT_EQ(std::stod(pays[i]), 1 + shift) << "row " << i + 1;
    }
}

TEST_F(SqlWrites, EncryptedTargetTakesTheStatementPassword) {
    ADSHANDLE t = openOk("staff", ADS_EXCLUSIVE);
    ASSERT_EQ(AdsEnableEncryption(t, u8(kTablePassword)), AE_SUCCESS);
    ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << lastError();
    close(t);
    std::string text;
    EXPECT_EQ(failure("DELETE FROM staff", text), AE_WRONG_PASSWORD);
    ADSHANDLE s = statement();
    ASSERT_EQ(AdsStmtSetTablePassword(s, u8("staff"), u8(kTablePassword)), AE_SUCCESS);
    ASSERT_EQ(exec("DELETE FROM staff WHERE NAME = 'Bea'", s), AE_SUCCESS) << lastError();
    ADSHANDLE c = query(s, "SELECT NAME FROM staff ORDER BY 1 DESC");
    EXPECT_EQ(rows(c), (std::vector<std::string>{"Cy", "Al"}));
}

}  // namespace
}  // namespace enginetest
