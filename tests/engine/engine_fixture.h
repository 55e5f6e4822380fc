// Shared helpers of the engine tests: a temporary folder with a connection, tables made through
// the engine's own calls, and short forms of the calls the tests make most.
//
// One suite, two places: with VELDA_ENGINE_BACKEND=server in the environment (CTest runs the
// shared groups so, as "engine.server.*"), the connection is to a folder of its own in the test
// server's database instead (tests/support/server.h), so the same cases run against tables on a
// server. Cases about files themselves say so with FOLDER_ONLY().
#ifndef VELDA_TESTS_ENGINE_FIXTURE_H
#define VELDA_TESTS_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/ace.h"
#include "tests/support/engine_test_helpers.h"
#include "tests/support/server.h"

namespace enginetest {

using testsupport::lastError;
using testsupport::u8;

// Whether the engine tests run against a server (see above).
inline bool onServer() {
    const char* backend = std::getenv("VELDA_ENGINE_BACKEND");
    return backend && std::string(backend) == "server";
}

// A folder of its own in the test server's database for each test.
inline std::string serverFolder() {
    static int made = 0;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return testsupport::testServer().path + "t" + std::to_string(::getpid()) + "_" +
           std::to_string(++made) + "_" + (test ? test->name() : "case");
}

#define FOLDER_ONLY()                                                        \
    do {                                                                     \
        if (::enginetest::onServer()) GTEST_SKIP() << "about folder tables"; \
    } while (0)

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (onServer()) {
            if (testsupport::testServer().path.empty()) {
                if (testsupport::inCi()) FAIL() << testsupport::testServer().reason;
                GTEST_SKIP() << testsupport::testServer().reason;
            }
            root = serverFolder();
            ASSERT_EQ(AdsConnect(u8(root.c_str()), &connection), AE_SUCCESS) << lastError();
            return;
        }
        ASSERT_FALSE(folder.empty()) << "no temporary folder";
        ASSERT_EQ(AdsConnect(u8(folder.c_str()), &connection), AE_SUCCESS) << lastError();
    }
    // Handles a test closed itself answer AE_INVALID_HANDLE here, which is no failure.
    void TearDown() override {
        for (ADSHANDLE h : opened) (void)AdsCloseTable(h);
        (void)AdsDisconnect(connection);
    }

    ADSHANDLE create(const char* name, const char* fields) {
        ADSHANDLE h = 0;
        EXPECT_EQ(AdsCreateTable(connection, u8(name), nullptr, ADS_ADT, ADS_ANSI,
                                 ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, u8(fields), &h),
                  AE_SUCCESS)
            << lastError();
        opened.push_back(h);
        return h;
    }
    UNSIGNED32 open(const char* name, ADSHANDLE& h, UNSIGNED32 options = 0,
                    UNSIGNED16 charType = ADS_ANSI) {
        UNSIGNED32 rc = AdsOpenTable(connection, u8(name), nullptr, ADS_ADT, charType,
                                     ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, options, &h);
        if (rc == AE_SUCCESS) opened.push_back(h);
        return rc;
    }
    ADSHANDLE openOk(const char* name, UNSIGNED32 options = 0) {
        ADSHANDLE h = 0;
        EXPECT_EQ(open(name, h, options), AE_SUCCESS) << lastError();
        return h;
    }
    void close(ADSHANDLE h) {
        EXPECT_EQ(AdsCloseTable(h), AE_SUCCESS) << lastError();
        std::erase(opened, h);
    }
    ADSHANDLE index(ADSHANDLE table, const char* tag, const char* expr, UNSIGNED32 options = 0) {
        ADSHANDLE h = 0;
        EXPECT_EQ(
            AdsCreateIndex61(table, nullptr, u8(tag), u8(expr), nullptr, nullptr, options, 512, &h),
            AE_SUCCESS)
            << lastError();
        return h;
    }
    // Appends a record with the given text values, field by field in order (empty: left empty).
    void append(ADSHANDLE table, const std::vector<std::string>& values) {
        ASSERT_EQ(AdsAppendRecord(table), AE_SUCCESS) << lastError();
        for (size_t i = 0; i < values.size(); ++i) {
            if (values[i].empty()) continue;
            ASSERT_EQ(AdsSetField(table, ADSFIELD(i + 1), u8(values[i].c_str()),
                                  static_cast<UNSIGNED32>(values[i].size())),
                      AE_SUCCESS)
                << lastError();
        }
        ASSERT_EQ(AdsWriteRecord(table), AE_SUCCESS) << lastError();
    }
    std::string field(ADSHANDLE h, const char* name) {
        UNSIGNED8 buffer[4096];
        UNSIGNED32 len = sizeof buffer;
        EXPECT_EQ(AdsGetField(h, u8(name), buffer, &len, ADS_NONE), AE_SUCCESS) << lastError();
        std::string text(reinterpret_cast<char*>(buffer), len);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }
    UNSIGNED32 recno(ADSHANDLE h) {
        UNSIGNED32 n = 0;
        EXPECT_EQ(AdsGetRecordNum(h, ADS_IGNOREFILTERS, &n), AE_SUCCESS);
        return n;
    }
    bool eof(ADSHANDLE h) {
        UNSIGNED16 v = 0;
        EXPECT_EQ(AdsAtEOF(h, &v), AE_SUCCESS);
        return v;
    }
    bool bof(ADSHANDLE h) {
        UNSIGNED16 v = 0;
        EXPECT_EQ(AdsAtBOF(h, &v), AE_SUCCESS);
        return v;
    }
    // The values of one field over the whole walk in the handle's order.
    std::vector<std::string> walk(ADSHANDLE h, const char* name) {
        std::vector<std::string> out;
        EXPECT_EQ(AdsGotoTop(h), AE_SUCCESS) << lastError();
        while (!eof(h)) {
            out.push_back(field(h, name));
            EXPECT_EQ(AdsSkip(h, 1), AE_SUCCESS) << lastError();
        }
        return out;
    }
    std::vector<UNSIGNED32> walkRecords(ADSHANDLE h, bool backwards = false) {
        std::vector<UNSIGNED32> out;
        EXPECT_EQ(backwards ? AdsGotoBottom(h) : AdsGotoTop(h), AE_SUCCESS) << lastError();
        while (!(backwards ? bof(h) : eof(h))) {
            out.push_back(recno(h));
            EXPECT_EQ(AdsSkip(h, backwards ? -1 : 1), AE_SUCCESS) << lastError();
        }
        return out;
    }
    // A call that must succeed once a killed process's locks are gone: at once in a folder (the
    // kernel drops them with the process), within two seconds on a server (its backend notices
    // the closed connection).
    template <typename Call>
    UNSIGNED32 afterKill(Call call) {
        UNSIGNED32 rc = call();
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (onServer() && rc == AE_LOCKED && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            rc = call();
        }
        return rc;
    }
    std::string path(const std::string& name) const { return root + "/" + name; }

    testsupport::TempFolder temp{"velda-engine"};
    std::string folder = temp.path();
    // Where the connection's tables are: the folder, or on a server the folder's server path.
    std::string root = folder;
    ADSHANDLE connection = 0;
    std::vector<ADSHANDLE> opened;
};

// Builds a key on an index handle from texts for its leading segments and seeks it.
inline UNSIGNED32 seekTexts(ADSHANDLE index,
                            const std::vector<std::pair<const char*, std::string>>& values,
                            UNSIGNED16 type, bool& found) {
    if (UNSIGNED32 rc = AdsInitRawKey(index)) return rc;
    for (const auto& [name, value] : values)
        if (UNSIGNED32 rc = AdsSetField(index, u8(name), u8(value.c_str()),
                                        static_cast<UNSIGNED32>(value.size())))
            return rc;
    UNSIGNED8 key[ADS_MAX_KEY_LENGTH];
    UNSIGNED16 len = sizeof key;
    if (UNSIGNED32 rc = AdsBuildRawKey(index, key, &len)) return rc;
    UNSIGNED16 f = 0;
    UNSIGNED32 rc = AdsSeek(index, key, len, ADS_RAWKEY, type, &f);
    found = f;
    return rc;
}

}  // namespace enginetest

#endif
