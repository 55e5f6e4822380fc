// The bounds the engine sets on purpose: filters and statements too large or too deep are
// refused when they are set or prepared, never accepted and then failing at every read; no
// statement runs without end or takes the process's memory; SQLite's own configuration stays out
// of reach of statements.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "engine/registry.h"
#include "engine/statement.h"
#include "sql_fixture.h"

using namespace enginetest;

namespace {

class Limits : public SqlTest {
  protected:
    // NAME == 'P0' .OR. NAME == 'P1' ... with `terms` terms.
    static std::string alternatives(int terms) {
        std::string text;
        for (int i = 0; i < terms; ++i)
            text += (i ? " .OR. " : "") + std::string("NAME == 'P") + std::to_string(i) + "'";
        return text;
    }
    std::string aof(ADSHANDLE h) {
        UNSIGNED16 len = 0;
        (void)AdsGetAOF(h, nullptr, &len);
        std::string text(len, '\0');
        EXPECT_EQ(AdsGetAOF(h, reinterpret_cast<UNSIGNED8*>(text.data()), &len), AE_SUCCESS)
            << lastError();
        text.resize(len);
        return text;
    }
};

TEST_F(Limits, ALongFilterWorksAndAnOverlongOneIsRefusedWhenSetKeepingTheLastOne) {
    ADSHANDLE t = create("people", "NAME,Character,10;N,Integer");
    for (int i = 0; i < 40; ++i) append(t, {"P" + std::to_string(i * 20), std::to_string(i)});
    // 500 alternatives (the old SQLite's parser overflowed at about 90), read both ways.
    ASSERT_EQ(AdsSetAOF(t, u8(alternatives(500).c_str()), ADS_RESOLVE_DYNAMIC), AE_SUCCESS)
        << lastError();
    EXPECT_EQ(walkRecords(t).size(), 25u);
    EXPECT_EQ(walkRecords(t, true).size(), 25u);
    const std::string kept = aof(t);

    struct Case {
        std::string text;
        const char* why;
    } cases[] = {
        {alternatives(100000), "longer than the engine takes (more than 20000"},
        {std::string(150, '(') + "N > 1" + std::string(150, ')'), "nested too deeply"},
        {"N" +
             [] {
                 std::string s;
                 for (int i = 0; i < 300; ++i) s += " + 1";
                 return s;
             }() +
             " > 0",
         "nested too deeply for the engine"},
    };
    for (const Case& c : cases) {
        auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(AdsSetAOF(t, u8(c.text.c_str()), ADS_RESOLVE_DYNAMIC), AE_EXPRESSION_ERROR);
        std::string text = lastError();
        EXPECT_NE(text.find(c.why), std::string::npos) << text;
        EXPECT_NE(text.find("(at position "), std::string::npos) << text;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_EQ(aof(t), kept);
        EXPECT_EQ(walkRecords(t).size(), 25u) << "the earlier filter stays in force";
    }
}

TEST_F(Limits, StatementsThatCouldRunWithoutEndOrReconfigureSqliteAreRefusedWhenPrepared) {
    makeCompany(false);
    struct Case {
        std::string sql;
        UNSIGNED32 code;
        const char* why;
    } cases[] = {
        {"SELECT * FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
         "SELECT x FROM c)",
         AE_NOT_SUPPORTED, "recursive common table expression"},
        {"SELECT EMP_NO FROM EMPLOYEE WHERE EMP_NO IN (WITH c(x) AS (SELECT 1 UNION ALL SELECT x + "
         "1 "
         "FROM c) SELECT x FROM c)",
         AE_NOT_SUPPORTED, "recursive common table expression"},
        {"SELECT sqlite3mc_config('cipher', 'rc4') FROM EMPLOYEE", AE_NOT_SUPPORTED,
         "calls the function sqlite3mc_config"},
        {"SELECT " + std::string(10000, '(') + "1" + std::string(10000, ')') + " FROM EMPLOYEE",
         AE_SQL_SYNTAX, "brackets are nested more than 256 deep"},
    };
    for (const Case& c : cases) {
        std::string text;
        EXPECT_EQ(failure(c.sql, text), c.code) << c.sql.substr(0, 80);
        EXPECT_NE(text.find(c.why), std::string::npos) << text;
    }
    // 200 nested subqueries (the old parser's stack overflowed) are fine.
    std::string nested = "SELECT EMP_NO FROM EMPLOYEE";
    for (int i = 0; i < 200; ++i) nested = "SELECT EMP_NO FROM (" + nested + ")";
    EXPECT_EQ(select(nested + " ORDER BY 1").size(), 3u);
}

TEST_F(Limits, AValueLargerThanTheBoundFailsWithATextInsteadOfTakingTheMemory) {
    makeCompany(false);
    std::string text;
    EXPECT_NE(failure("SELECT length(randomblob(900000000)) FROM EMPLOYEE", text), AE_SUCCESS);
    EXPECT_NE(text.find("too big"), std::string::npos) << text;
}

TEST_F(Limits, AStatementThatOutrunsTheTimeLimitIsStoppedAndTheNextOneRuns) {
    makeCompany(false);
    ADSHANDLE s = statement();
    ADSHANDLE cursor = 0;
    ASSERT_EQ(run(s, "SELECT 1 FROM EMPLOYEE", cursor), AE_SUCCESS) << lastError();
    auto object = engine::HandleRegistry::instance().findAs<engine::SqlStatement>(s);
    ASSERT_TRUE(object);
    object->session->timeLimit = std::chrono::milliseconds(300);
    // Nine copies of the leave table joined: far more rows than 300 ms can step through.
    std::string runaway = "SELECT count(*) FROM LEAV_TRX a";
    for (char c = 'b'; c <= 'i'; ++c) runaway += std::string(", LEAV_TRX ") + c;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run(s, runaway, cursor), AE_SQL_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_NE(lastError().find("ran longer than the engine allows (0.300 seconds)"),
              std::string::npos)
        << lastError();
    EXPECT_EQ(rows(query(s, "SELECT count(*) FROM LEAV_TRX")), std::vector<std::string>{"9"});
}

TEST_F(Limits, StatementsRunOnTheCurrentSqlite) {
    makeCompany(false);
    std::vector<std::string> version = select("SELECT DISTINCT sqlite_version() FROM EMPLOYEE");
    ASSERT_EQ(version.size(), 1u);
    EXPECT_GE(version[0], std::string("3.53.4")) << version[0];
    // Native TRUE, FALSE and IIF keep the dialect's meanings.
    EXPECT_EQ(select("SELECT IIF(TRUE, 'yes', 'no'), IIF(FALSE, 1, 2), TRUE + 1 FROM EMPLOYEE "
                     "WHERE EMP_NO = 'E001'"),
              std::vector<std::string>{"yes|2|2"});
}

}  // namespace
