// A server that stops while the engine works on it: in the middle of a walk, of an append and of
// a transaction. Each call fails at once with a text that says the connection was lost, never a
// hang or a crash; once the server is back the next call works, what was committed is there and
// nothing uncommitted is. The cases stop and start a server of their own (scripts/server halt).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "engine/ace.h"
#include "tests/support/engine_test_helpers.h"
#include "tests/support/server.h"

namespace {

using testsupport::lastError;
using testsupport::u8;

class ServerOutage : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velda-outage-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        int status = 0;
        std::string out = testsupport::server_detail::runScript(dir, "start", status);
        if (status != 0) {
            std::string reason = "no server: " + testsupport::server_detail::lastLine(out);
            if (testsupport::inCi()) FAIL() << reason;
            GTEST_SKIP() << reason;
        }
        path = testsupport::server_detail::lastLine(out) + "outage";
        ASSERT_EQ(AdsConnect(u8(path.c_str()), &connection), AE_SUCCESS) << lastError();
        ASSERT_EQ(AdsCreateTable(connection, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                                 u8("NAME,Character,10;N,Integer"), &table),
                  AE_SUCCESS)
            << lastError();
        for (int i = 1; i <= 300; ++i) append("name" + std::to_string(i));
    }
    void TearDown() override {
        if (table) (void)AdsCloseTable(table);
        if (connection) (void)AdsDisconnect(connection);
        if (dir.empty()) return;
        int status = 0;
        (void)testsupport::server_detail::runScript(dir, "stop", status);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    UNSIGNED32 appendRc(const std::string& name) {
        if (UNSIGNED32 rc = AdsAppendRecord(table)) return rc;
        if (UNSIGNED32 rc = AdsSetField(table, u8("NAME"), u8(name.c_str()),
                                        static_cast<UNSIGNED32>(name.size())))
            return rc;
        return AdsWriteRecord(table);
    }
    void append(const std::string& name) { ASSERT_EQ(appendRc(name), AE_SUCCESS) << lastError(); }
    void server(const char* command) {
        int status = 0;
        std::string out = testsupport::server_detail::runScript(dir, command, status);
        ASSERT_EQ(status, 0) << out;
    }
    UNSIGNED32 count() {
        UNSIGNED32 n = 0;
        EXPECT_EQ(AdsGetRecordCount(table, ADS_IGNOREFILTERS | ADS_REFRESHCOUNT, &n), AE_SUCCESS)
            << lastError();
        return n;
    }
    // The failure a call gave while the server was away: the connection's code and a text that
    // says so, naming the table.
    void expectLost(UNSIGNED32 rc) {
        EXPECT_EQ(rc, AE_SERVER_CONNECT) << lastError();
        const std::string text = lastError();
        EXPECT_NE(text.find("the connection to the server of"), std::string::npos) << text;
        EXPECT_NE(text.find("was lost"), std::string::npos) << text;
    }

    std::string dir, path;
    ADSHANDLE connection = 0, table = 0;
};

TEST_F(ServerOutage, AWalkFailsWithATextAndGoesOnOnceTheServerIsBack) {
    ASSERT_EQ(AdsGotoTop(table), AE_SUCCESS) << lastError();
    server("halt");
    auto started = std::chrono::steady_clock::now();
    UNSIGNED32 rc = AE_SUCCESS;
    for (int i = 0; i < 400 && rc == AE_SUCCESS; ++i) {
        UNSIGNED16 eof = 0;
        rc = AdsSkip(table, 1);
        if (rc == AE_SUCCESS) rc = AdsAtEOF(table, &eof);
        if (eof) break;
    }
    expectLost(rc);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    server("start");
    ASSERT_EQ(AdsGotoTop(table), AE_SUCCESS) << lastError();
    UNSIGNED32 walked = 0;
    for (UNSIGNED16 eof = 0; AdsAtEOF(table, &eof) == AE_SUCCESS && !eof; ++walked)
        ASSERT_EQ(AdsSkip(table, 1), AE_SUCCESS) << lastError();
    EXPECT_EQ(walked, 300u);
}

TEST_F(ServerOutage, AnAppendFailsAndKeepsNothingThenWorksAgain) {
    server("halt");
    expectLost(appendRc("lost"));
    ASSERT_EQ(AdsCancelUpdate(table), AE_SUCCESS);
    server("start");
    EXPECT_EQ(count(), 300u);
    append("kept");
    EXPECT_EQ(count(), 301u);
}

TEST_F(ServerOutage, AStatementFailsWithATextAndRunsAgainOnceTheServerIsBack) {
    ADSHANDLE statement = 0;
    ASSERT_EQ(AdsCreateSQLStatement(connection, &statement), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsPrepareSQL(statement, u8("SELECT COUNT(*) FROM staff")), AE_SUCCESS)
        << lastError();
    server("halt");
    ADSHANDLE cursor = 0;
    expectLost(AdsExecuteSQL(statement, &cursor));
    EXPECT_EQ(cursor, 0u);
    expectLost(AdsExecuteSQLDirect(statement, u8("UPDATE staff SET N = 1"), &cursor));
    server("start");
    ASSERT_EQ(AdsExecuteSQLDirect(statement, u8("SELECT COUNT(*) FROM staff WHERE N = 1"), &cursor),
              AE_SUCCESS)
        << lastError();
    UNSIGNED8 value[16];
    UNSIGNED32 length = sizeof value;
    ASSERT_EQ(AdsGetField(cursor, ADSFIELD(1), value, &length, ADS_NONE), AE_SUCCESS);
    EXPECT_EQ(std::stoi(std::string(reinterpret_cast<char*>(value), length)), 0);
    EXPECT_EQ(AdsCloseTable(cursor), AE_SUCCESS);
    EXPECT_EQ(AdsCloseSQLStatement(statement), AE_SUCCESS);
}

TEST_F(ServerOutage, ATransactionCutOffIsRolledBackAndSaysSo) {
    append("before");  // committed: survives
    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS);
    append("pending1");
    append("pending2");
    server("halt");
    server("start");
    // The server rolled the transaction back with the lost session: the commit must not say
    // otherwise, and the writes of the transaction must not go on outside it.
    expectLost(appendRc("after"));
    ASSERT_EQ(AdsCancelUpdate(table), AE_SUCCESS);
    UNSIGNED32 rc = AdsCommitTransaction(connection);
    EXPECT_EQ(rc, AE_SERVER_CONNECT) << lastError();
    EXPECT_NE(lastError().find("the open transaction with it; nothing of the transaction was kept"),
              std::string::npos)
        << lastError();
    EXPECT_EQ(count(), 301u);
    append("next");
    EXPECT_EQ(count(), 302u);
}

}  // namespace
