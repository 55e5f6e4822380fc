#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <random>
#include <set>

#include "engine_fixture.h"
#include "process_helpers.h"

using namespace enginetest;

namespace {

// What the writer child reports: before a write its intent, after it the acknowledgement.
struct Report {
    char kind;        // 'i' intent, 'a' acknowledged
    uint32_t record;  // 0 for an append not yet written
    uint32_t value;
};

class Durability : public EngineTest {};

// Appends and updates through the engine; the record's two fields always carry the same value,
// so a half-written record shows as a mismatch.
int writer(Child& c, const std::string& dir, uint32_t firstValue, uint32_t seed) {
    ADSHANDLE connection = 0, t = 0;
    if (AdsConnect(u8(dir.c_str()), &connection)) return 1;
    if (AdsOpenTable(connection, u8("log"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &t)) return 2;
    std::mt19937 random(seed);
    for (uint32_t value = firstValue;; ++value) {
        UNSIGNED32 count = 0;
        if (AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count)) return 3;
        bool update = count > 0 && random() % 2;
        uint32_t record = update ? 1 + random() % count : 0;
        Report intent{'i', record, value};
        c.send(&intent, sizeof intent);
        std::string text = "V" + std::to_string(value), number = std::to_string(value);
        if (update) {
            if (AdsGotoRecord(t, record) || AdsLockRecord(t, record)) return 4;
        } else if (AdsAppendRecord(t)) {
            return 5;
        }
        if (AdsSetField(t, u8("TEXT"), u8(text.c_str()), static_cast<UNSIGNED32>(text.size())) ||
            AdsSetField(t, u8("N"), u8(number.c_str()), static_cast<UNSIGNED32>(number.size())) ||
            AdsWriteRecord(t))
            return 6;
        if (update && AdsUnlockRecord(t, record)) return 7;
        UNSIGNED32 written = 0;
        (void)AdsGetRecordNum(t, ADS_IGNOREFILTERS, &written);
        Report ack{'a', written, value};
        c.send(&ack, sizeof ack);
    }
}

TEST_F(Durability, KilledWritersLoseNothingAcknowledgedAndLeaveNoHalfRecords) {
    close(create("log", "TEXT,Character,12;N,Integer"));
    std::mt19937 random(7);
    std::map<uint32_t, uint32_t> acknowledged;            // record -> last acknowledged value
    std::map<uint32_t, std::set<uint32_t>> laterIntents;  // values tried on it after that
    std::set<uint32_t> unacknowledgedAppends;
    uint32_t nextValue = 1;
    int operations = 0, kills = 0;
    while (kills < 50 || operations < 10000) {
        std::string dir = folder;
        uint32_t first = nextValue;
        Child child([&, first](Child& c) {
            return writer(c, dir, first, static_cast<uint32_t>(random()));
        });
        int limit = 20 + static_cast<int>(random() % 300);
        int seen = 0;
        Report r{};
        while (seen < limit && child.receive(&r, sizeof r)) {
            nextValue = std::max(nextValue, r.value + 1);
            if (r.kind == 'i') {
                if (r.record)
                    laterIntents[r.record].insert(r.value);
                else
                    unacknowledgedAppends.insert(r.value);
                continue;
            }
            ++seen;
            ++operations;
            acknowledged[r.record] = r.value;
            laterIntents[r.record].clear();
            unacknowledgedAppends.erase(r.value);
        }
        usleep(static_cast<useconds_t>(random() % 400));
        child.kill();
        // A report in the pipe after the limit may still have been acknowledged: read them all.
        while (child.receive(&r, sizeof r)) {
            if (r.kind == 'i') {
                if (r.record)
                    laterIntents[r.record].insert(r.value);
                else
                    unacknowledgedAppends.insert(r.value);
            } else {
                acknowledged[r.record] = r.value;
                laterIntents[r.record].clear();
                unacknowledgedAppends.erase(r.value);
                ++operations;
            }
            nextValue = std::max(nextValue, r.value + 1);
        }
        ++kills;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path("log.adt").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);

    ADSHANDLE t = openOk("log");
    std::map<uint32_t, uint32_t> stored;
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    while (!eof(t)) {
        std::string text = field(t, "TEXT"), n = field(t, "N");
        EXPECT_EQ(text, "V" + n) << "record " << recno(t) << " is half written";
        stored[recno(t)] = static_cast<uint32_t>(std::stoul(n));
        ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    }
    for (const auto& [record, value] : acknowledged) {
        ASSERT_TRUE(stored.count(record)) << "acknowledged record " << record << " is missing";
        uint32_t now = stored[record];
        EXPECT_TRUE(now == value || laterIntents[record].count(now))
            << "record " << record << " holds " << now << ", acknowledged " << value;
    }
    for (const auto& [record, value] : stored) {
        if (!acknowledged.count(record)) {
            EXPECT_TRUE(unacknowledgedAppends.count(value)) << "record " << record;
        }
    }
    EXPECT_GE(operations, 10000);
    EXPECT_GE(kills, 50);
}

}  // namespace
