#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <tuple>

#include "engine_fixture.h"
#include "process_helpers.h"

using namespace enginetest;

namespace {

class Navigation : public EngineTest {
  protected:
    ADSHANDLE people() {
        ADSHANDLE t = create("people", "NAME,Character,10;BORN,Date;N,Integer");
        append(t, {"Carol", "2001-03-04", "3"});
        append(t, {"alice", "1999-12-31", "1"});
        append(t, {"Bob", "", "2"});
        append(t, {"Carol", "1990-01-01", "4"});
        append(t, {"", "2000-01-01", "5"});
        append(t, {"Bob", "1980-05-05", "6"});
        return t;
    }
    // A table "many" of `rows` records whose keys K ("00001", ...) run in record order, and the
    // handle of its tag on K; N is "0" everywhere.
    ADSHANDLE numbered(int rows) {
        ADSHANDLE t = create("many", "K,Character,6;N,Integer");
        for (int i = 1; i <= rows; ++i) {
            char key[16];
            std::snprintf(key, sizeof key, "%05d", i);
            append(t, {key, "0"});
        }
        return index(t, "BYKEY", "K");
    }
};

TEST_F(Navigation, IndexOrderPutsEmptyKeysFirstAndTiesInRecordOrder) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    EXPECT_EQ(walkRecords(byName), (std::vector<UNSIGNED32>{5, 3, 6, 1, 4, 2}));
    EXPECT_EQ(walkRecords(byName, true), (std::vector<UNSIGNED32>{2, 4, 1, 6, 3, 5}));
    EXPECT_EQ(walkRecords(t), (std::vector<UNSIGNED32>{1, 2, 3, 4, 5, 6}));
}

TEST_F(Navigation, MultiSegmentAndDescendingTags) {
    ADSHANDLE t = people();
    ADSHANDLE both = index(t, "NAMEBORN", "NAME;BORN");
    EXPECT_EQ(walkRecords(both), (std::vector<UNSIGNED32>{5, 3, 6, 4, 1, 2}));
    ADSHANDLE down = index(t, "DOWN", "NAME;BORN", ADS_DESCENDING);
    EXPECT_EQ(walkRecords(down), (std::vector<UNSIGNED32>{2, 1, 4, 6, 3, 5}));
    EXPECT_EQ(walkRecords(down, true), (std::vector<UNSIGNED32>{5, 3, 6, 4, 1, 2}));
    UNSIGNED16 flag = 0;
    ASSERT_EQ(AdsIsIndexDescending(down, &flag), AE_SUCCESS);
    EXPECT_EQ(flag, 1);
}

TEST_F(Navigation, BothEndsAndSkippingAcrossThem) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ASSERT_EQ(AdsGotoTop(byName), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 5u);
    ASSERT_EQ(AdsSkip(byName, -1), AE_SUCCESS);
    EXPECT_TRUE(bof(byName));
    EXPECT_FALSE(eof(byName));
    EXPECT_EQ(recno(t), 0u);
    ASSERT_EQ(AdsSkip(byName, -1), AE_SUCCESS);
    EXPECT_TRUE(bof(byName));
    ASSERT_EQ(AdsSkip(byName, 1), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 5u);
    ASSERT_EQ(AdsSkip(byName, 4), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 4u);
    ASSERT_EQ(AdsSkip(byName, 10), AE_SUCCESS);
    EXPECT_TRUE(eof(byName));
    EXPECT_FALSE(bof(byName));
    ASSERT_EQ(AdsSkip(byName, -1), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 2u);
    ASSERT_EQ(AdsSkip(byName, -3), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 6u);
    ASSERT_EQ(AdsSkip(byName, -30), AE_SUCCESS);
    EXPECT_TRUE(bof(byName));
    ASSERT_EQ(AdsGotoBottom(t), AE_SUCCESS);
    EXPECT_EQ(recno(t), 6u);
}

TEST_F(Navigation, EmptyTableIsAtBothEndsAndGivesTheBlankRecord) {
    ADSHANDLE t = create("empty", "NAME,Character,4;N,Integer");
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    for (ADSHANDLE h : {t, byName}) {
        ASSERT_EQ(AdsGotoTop(h), AE_SUCCESS);
        EXPECT_TRUE(eof(h));
        EXPECT_TRUE(bof(h));
        ASSERT_EQ(AdsSkip(h, 1), AE_SUCCESS);
        EXPECT_TRUE(eof(h) && bof(h));
        ASSERT_EQ(AdsGotoBottom(h), AE_SUCCESS);
        EXPECT_TRUE(eof(h) && bof(h));
    }
    UNSIGNED8 record[8], blank[8];
    UNSIGNED32 len = sizeof record, blankLen = sizeof blank;
    ASSERT_EQ(AdsGetRecord(t, record, &len), AE_SUCCESS);
    ASSERT_EQ(AdsGetNullRecord(t, blank, &blankLen), AE_SUCCESS);
    ASSERT_EQ(len, 8u);
    EXPECT_EQ(std::memcmp(record, blank, 8), 0);
    UNSIGNED32 count = 99;
    ASSERT_EQ(AdsGetRecordCount(byName, ADS_IGNOREFILTERS, &count), AE_SUCCESS);
    EXPECT_EQ(count, 0u);
}

TEST_F(Navigation, GotoRecordAndBookmarks) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ASSERT_EQ(AdsGotoRecord(byName, 6), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Bob");
    ASSERT_EQ(AdsSkip(byName, 1), AE_SUCCESS);  // the index order continues from the record
    EXPECT_EQ(recno(t), 1u);
    UNSIGNED8 mark[4];
    UNSIGNED32 len = sizeof mark;
    ASSERT_EQ(AdsGetBookmark60(byName, mark, &len), AE_SUCCESS);
    UNSIGNED32 asNumber;
    std::memcpy(&asNumber, mark, 4);
    EXPECT_EQ(asNumber, 1u);
    UNSIGNED32 bookmarkLength = 0;
    ASSERT_EQ(AdsGetBookmarkLength(byName, &bookmarkLength), AE_SUCCESS);
    EXPECT_EQ(bookmarkLength, 4u);
    ADSHANDLE handle = 0;
    ASSERT_EQ(AdsSkip(byName, 1), AE_SUCCESS);
    ASSERT_EQ(AdsGetBookmark(byName, &handle), AE_SUCCESS);
    EXPECT_EQ(handle, 4u);
    ASSERT_EQ(AdsGotoBookmark(t, 1), AE_SUCCESS);
    EXPECT_EQ(recno(t), 1u);
    UNSIGNED8 other[4] = {4, 0, 0, 0};
    SIGNED32 order = 0;
    ASSERT_EQ(AdsCompareBookmarks(mark, other, &order), AE_SUCCESS);
    EXPECT_LT(order, 0);
    ASSERT_EQ(AdsCompareBookmarks(other, other, &order), AE_SUCCESS);
    EXPECT_EQ(order, 0);

    UNSIGNED32 code = 0;
    EXPECT_EQ(AdsGotoRecord(t, 77), AE_NO_SUCH_RECORD);
    EXPECT_NE(lastError(&code).find("has no record 77"), std::string::npos);
    EXPECT_EQ(code, AE_NO_SUCH_RECORD);
    EXPECT_EQ(recno(t), 1u);  // a failed move leaves the position
    EXPECT_EQ(AdsGotoRecord(t, 0), AE_NO_SUCH_RECORD);
    ASSERT_EQ(AdsSkip(t, 10), AE_SUCCESS);
    ASSERT_EQ(AdsGetBookmark60(t, mark, &len), AE_SUCCESS);  // at the end: record 0
    std::memcpy(&asNumber, mark, 4);
    EXPECT_EQ(asNumber, 0u);
    len = 2;
    EXPECT_EQ(AdsGetBookmark60(t, mark, &len), AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 4u);
}

TEST_F(Navigation, HardAndSoftSeeksWithPartialKeys) {
    ADSHANDLE t = people();
    ADSHANDLE both = index(t, "NAMEBORN", "NAME;BORN");
    bool found = false;
    ASSERT_EQ(seekTexts(both, {{"NAME", "Carol     "}, {"BORN", "20010304"}}, ADS_HARDSEEK, found),
              AE_SUCCESS)
        << lastError();
    EXPECT_TRUE(found);
    EXPECT_EQ(recno(t), 1u);
    // One segment of two: the first row of that name.
    ASSERT_EQ(seekTexts(both, {{"NAME", "Carol     "}}, ADS_HARDSEEK, found), AE_SUCCESS);
    EXPECT_TRUE(found);
    EXPECT_EQ(recno(t), 4u);
    // A full-length text matches the whole field only; trailing blanks are ignored.
    ASSERT_EQ(seekTexts(both, {{"NAME", "Car       "}}, ADS_HARDSEEK, found), AE_SUCCESS);
    EXPECT_FALSE(found);
    EXPECT_TRUE(eof(both));
    // A shorter text matches on its leading characters.
    ASSERT_EQ(seekTexts(both, {{"NAME", "Car "}}, ADS_HARDSEEK, found), AE_SUCCESS);
    EXPECT_TRUE(found);
    EXPECT_EQ(recno(t), 4u);
    // Soft seek: the first row at or after the key.
    ASSERT_EQ(seekTexts(both, {{"NAME", "Bz"}}, ADS_SOFTSEEK, found), AE_SUCCESS);
    EXPECT_FALSE(found);
    EXPECT_EQ(recno(t), 4u);
    ASSERT_EQ(seekTexts(both, {{"NAME", "zzz"}}, ADS_SOFTSEEK, found), AE_SUCCESS);
    EXPECT_TRUE(eof(t));
    // Greater than: past every row of the key.
    ASSERT_EQ(seekTexts(both, {{"NAME", "Bob       "}}, ADS_SEEKGT, found), AE_SUCCESS);
    EXPECT_EQ(recno(t), 4u);
    // The empty value seeks like any other.
    ASSERT_EQ(AdsInitRawKey(both), AE_SUCCESS);
    ASSERT_EQ(AdsSetEmpty(both, u8("NAME")), AE_SUCCESS);
    UNSIGNED8 key[256];
    UNSIGNED16 len = sizeof key;
    ASSERT_EQ(AdsBuildRawKey(both, key, &len), AE_SUCCESS);
    UNSIGNED16 hit = 0;
    ASSERT_EQ(AdsSeek(both, key, len, ADS_RAWKEY, ADS_HARDSEEK, &hit), AE_SUCCESS);
    EXPECT_EQ(hit, 1);
    EXPECT_EQ(recno(t), 5u);
    // A plain string key on the first segment.
    ASSERT_EQ(AdsSeek(both, u8("Bob"), 3, ADS_STRINGKEY, ADS_HARDSEEK, &hit), AE_SUCCESS);
    EXPECT_EQ(hit, 1);
    EXPECT_EQ(recno(t), 3u);
    // Walking on from a sought row follows the order.
    ASSERT_EQ(AdsSkip(both, 1), AE_SUCCESS);
    EXPECT_EQ(recno(t), 6u);
}

TEST_F(Navigation, SeeksOnDescendingAndNumericTags) {
    ADSHANDLE t = people();
    ADSHANDLE down = index(t, "DOWN", "NAME", ADS_DESCENDING);
    UNSIGNED16 hit = 0;
    ASSERT_EQ(AdsSeek(down, u8("Bob"), 3, ADS_STRINGKEY, ADS_HARDSEEK, &hit), AE_SUCCESS);
    EXPECT_EQ(hit, 1);
    EXPECT_EQ(recno(t), 6u);  // descending: ties in falling record order
    ASSERT_EQ(AdsSeek(down, u8("Bz"), 2, ADS_STRINGKEY, ADS_SOFTSEEK, &hit), AE_SUCCESS);
    EXPECT_EQ(hit, 0);
    EXPECT_EQ(recno(t), 6u);
    ADSHANDLE byN = index(t, "BYN", "N");
    double four = 4;
    ASSERT_EQ(
        AdsSeek(byN, reinterpret_cast<UNSIGNED8*>(&four), 8, ADS_DOUBLEKEY, ADS_HARDSEEK, &hit),
        AE_SUCCESS);
    EXPECT_EQ(hit, 1);
    EXPECT_EQ(recno(t), 4u);
    bool found = false;
    ASSERT_EQ(seekTexts(byN, {{"N", "5"}}, ADS_HARDSEEK, found), AE_SUCCESS);
    EXPECT_EQ(recno(t), 5u);
}

TEST_F(Navigation, ScopesLimitWalksAndCounts) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    UNSIGNED8 buffer[64];
    UNSIGNED16 len = sizeof buffer;
    EXPECT_EQ(AdsGetScope(byName, ADS_TOP, buffer, &len), AE_NO_SCOPE);
    EXPECT_EQ(AdsClearScope(byName, ADS_BOTTOM), AE_NO_SCOPE);
    ASSERT_EQ(AdsSetScope(byName, ADS_TOP, u8("B"), 1, ADS_STRINGKEY), AE_SUCCESS);
    ASSERT_EQ(AdsSetScope(byName, ADS_BOTTOM, u8("Carol"), 5, ADS_STRINGKEY), AE_SUCCESS);
    EXPECT_EQ(walkRecords(byName), (std::vector<UNSIGNED32>{3, 6, 1, 4}));
    EXPECT_EQ(walkRecords(byName, true), (std::vector<UNSIGNED32>{4, 1, 6, 3}));
    UNSIGNED32 count = 0;
    ASSERT_EQ(AdsGetRecordCount(byName, ADS_RESPECTSCOPES, &count), AE_SUCCESS);
    EXPECT_EQ(count, 4u);
    ASSERT_EQ(AdsGetRecordCount(byName, ADS_IGNOREFILTERS, &count), AE_SUCCESS);
    EXPECT_EQ(count, 6u);
    ASSERT_EQ(AdsGetRecordCount(t, ADS_RESPECTSCOPES | ADS_REFRESHCOUNT, &count), AE_SUCCESS);
    EXPECT_EQ(count, 6u);
    len = sizeof buffer;
    ASSERT_EQ(AdsGetScope(byName, ADS_BOTTOM, buffer, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), len), "Carol");
    // A row outside the scope is reachable by number but not visible.
    ASSERT_EQ(AdsGotoRecord(t, 2), AE_SUCCESS);
    UNSIGNED16 visible = 1;
    ASSERT_EQ(AdsIsRecordVisible(byName, &visible), AE_SUCCESS);
    EXPECT_EQ(visible, 0);
    ASSERT_EQ(AdsIsRecordVisible(t, &visible), AE_SUCCESS);
    EXPECT_EQ(visible, 1);
    ASSERT_EQ(AdsClearScope(byName, ADS_TOP), AE_SUCCESS);
    EXPECT_EQ(walkRecords(byName), (std::vector<UNSIGNED32>{5, 3, 6, 1, 4}));
    ASSERT_EQ(AdsClearAllScopes(t), AE_SUCCESS);
    EXPECT_EQ(walkRecords(byName).size(), 6u);
    EXPECT_EQ(AdsGetScope(byName, ADS_BOTTOM, buffer, &len), AE_NO_SCOPE);
    EXPECT_NE(lastError().find("No bottom scope is set on the index tag BYNAME"),
              std::string::npos);
}

TEST_F(Navigation, RelativeKeyPositionCountsFromOne) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ASSERT_EQ(AdsGotoTop(byName), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(byName, 2), AE_SUCCESS);
    double pos = 0;
    ASSERT_EQ(AdsGetRelKeyPos(byName, &pos), AE_SUCCESS);
    EXPECT_EQ(static_cast<int>(6 * pos), 3);
    ASSERT_EQ(AdsGotoBottom(byName), AE_SUCCESS);
    ASSERT_EQ(AdsGetRelKeyPos(byName, &pos), AE_SUCCESS);
    EXPECT_DOUBLE_EQ(pos, 1.0);
}

TEST_F(Navigation, LongWalksMatchTheOrderInBothDirections) {
    ADSHANDLE t = create("many", "K,Character,6;N,Integer");
    for (int i = 0; i < 3000; ++i) {
        std::string key = std::to_string((i * 7919) % 500);
        append(t, {key, std::to_string(i)});
    }
    ADSHANDLE byKey = index(t, "BYKEY", "K");
    std::vector<UNSIGNED32> forward = walkRecords(byKey);
    std::vector<UNSIGNED32> backward = walkRecords(byKey, true);
    ASSERT_EQ(forward.size(), 3000u);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward);
    std::vector<std::string> keys = walk(byKey, "K");
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    // Turning round in the middle of a window steps back one row.
    ASSERT_EQ(AdsGotoTop(byKey), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(byKey, 1000), AE_SUCCESS);
    UNSIGNED32 at = recno(byKey);
    ASSERT_EQ(AdsSkip(byKey, 1), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(byKey, -1), AE_SUCCESS);
    EXPECT_EQ(recno(byKey), at);
    EXPECT_EQ(forward[1000], at);
}

// A handle used a moment ago (the engine remembers each thread's last lookup) is dead once closed,
// and other threads find it while it lives.
TEST_F(Navigation, AHandleJustUsedIsDeadOnceClosedAndLiveOnOtherThreads) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    UNSIGNED16 eof = 1;
    ASSERT_EQ(AdsGotoTop(byName), AE_SUCCESS) << lastError();
    UNSIGNED32 elsewhere = AE_INVALID_HANDLE;
    std::thread other([&] { elsewhere = AdsAtEOF(byName, &eof); });
    other.join();
    EXPECT_EQ(elsewhere, AE_SUCCESS);
    EXPECT_EQ(eof, 0);
    ASSERT_EQ(AdsAtEOF(byName, &eof), AE_SUCCESS);
    close(t);
    EXPECT_EQ(AdsAtEOF(byName, &eof), AE_INVALID_HANDLE);
    EXPECT_EQ(AdsAtEOF(t, &eof), AE_INVALID_HANDLE);
}

// An open handle is on the first record of the moment it is first used; a move to either end
// straight after the open goes there.
TEST_F(Navigation, AnOpenHandleIsOnTheFirstRecordAtItsFirstUse) {
    close(people());
    ADSHANDLE first = openOk("people");
    ADSHANDLE other = openOk("people");
    ASSERT_EQ(AdsGotoRecord(other, 1), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsLockRecord(other, 1), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsDeleteRecord(other), AE_SUCCESS) << lastError();
    EXPECT_EQ(recno(first), 2u);
    UNSIGNED16 bof = 1;
    ASSERT_EQ(AdsAtBOF(first, &bof), AE_SUCCESS);
    EXPECT_EQ(bof, 0);
    ADSHANDLE last = openOk("people");
    ASSERT_EQ(AdsGotoBottom(last), AE_SUCCESS) << lastError();
    EXPECT_EQ(recno(last), 6u);
    ASSERT_EQ(AdsSkip(last, -1), AE_SUCCESS);
    EXPECT_EQ(recno(last), 5u);
}

// A walk that has read to the end of its order knows there is nothing beyond, until the table
// changes: a row another handle adds or removes meanwhile counts, at either end.
TEST_F(Navigation, AWalkAtEitherEndSeesRowsChangedMeanwhile) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ADSHANDLE other = openOk("people");
    ASSERT_EQ(AdsGotoBottom(byName), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 2u);  // "alice": lower case sorts after upper case
    append(other, {"zed", "", "7"});
    ASSERT_EQ(AdsSkip(byName, 1), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 7u);
    ASSERT_EQ(AdsSkip(byName, 1), AE_SUCCESS);
    UNSIGNED16 eof = 0;
    ASSERT_EQ(AdsAtEOF(byName, &eof), AE_SUCCESS);
    EXPECT_EQ(eof, 1);
    ASSERT_EQ(AdsGotoTop(byName), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 5u);  // the empty name first
    append(other, {"", "", "8"});
    ASSERT_EQ(AdsSkip(byName, 1), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 8u);
    ASSERT_EQ(AdsSkip(byName, -2), AE_SUCCESS);
    UNSIGNED16 bof = 0;
    ASSERT_EQ(AdsAtBOF(byName, &bof), AE_SUCCESS);
    EXPECT_EQ(bof, 1);
}

// Walks read ahead in batches and go on after each batch's last key: with two segments, runs of
// equal first values and of equal pairs, and a descending tag, every record comes once in
// order both ways.
TEST_F(Navigation, BatchedWalksOverRepeatedKeysMissNoRecord) {
    ADSHANDLE t = create("pairs", "A,Character,4;B,Integer");
    std::vector<std::tuple<std::string, int, UNSIGNED32>> expected;
    for (UNSIGNED32 i = 1; i <= 2500; ++i) {
        std::string a = std::string(1, static_cast<char>('a' + (i * 31) % 3));
        int b = static_cast<int>((i * 7) % 40);
        append(t, {a, std::to_string(b)});
        expected.emplace_back(a, b, i);
    }
    std::sort(expected.begin(), expected.end());
    std::vector<UNSIGNED32> order;
    for (const auto& e : expected) order.push_back(std::get<2>(e));
    ADSHANDLE pair = index(t, "PAIR", "A;B");
    EXPECT_EQ(walkRecords(pair), order);
    std::vector<UNSIGNED32> back = walkRecords(pair, true);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, order);
    ADSHANDLE down = index(t, "DOWN", "A;B", ADS_DESCENDING);
    std::vector<UNSIGNED32> descending = walkRecords(down);
    ASSERT_EQ(descending.size(), order.size());
    std::vector<UNSIGNED32> ascendingAgain = walkRecords(down, true);
    std::reverse(ascendingAgain.begin(), ascendingAgain.end());
    EXPECT_EQ(ascendingAgain, descending);
    // The reads of a walk leave no transaction open: a write goes through in the middle of one,
    // and a seek after the walk starts a window of its own.
    ASSERT_EQ(AdsGotoTop(pair), AE_SUCCESS);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(AdsSkip(pair, 1), AE_SUCCESS);
    append(t, {"b", "7"});
    EXPECT_EQ(walkRecords(pair).size(), order.size() + 1);
    ASSERT_EQ(AdsGotoBottom(pair), AE_SUCCESS);
    UNSIGNED16 found = 0;
    ASSERT_EQ(AdsSeek(pair, u8("a"), 1, ADS_STRINGKEY, ADS_HARDSEEK, &found), AE_SUCCESS);
    ASSERT_TRUE(found);
    size_t after = 0;
    for (UNSIGNED16 eof = 0; AdsAtEOF(pair, &eof) == AE_SUCCESS && !eof; (void)AdsSkip(pair, 1))
        ++after;
    EXPECT_EQ(after, order.size() + 1);
}

// A walk reads its rows in batches of 16 that double up to 512, and may send its next read
// while the caller walks the last one. A row changed through another handle when the walk stands
// at the end of a batch is seen as changed (the read sent ahead is not used), in either
// direction, and every record comes once in order all the same.
TEST_F(Navigation, AWalkSeesARowChangedAtTheEndOfItsBatch) {
    constexpr int kRows = 1500;
    ADSHANDLE byKey = numbered(kRows);
    ADSHANDLE other = openOk("many");
    std::vector<std::string> expected(kRows + 1, "0");
    int changes = 0;
    for (bool backwards : {false, true}) {
        SCOPED_TRACE(backwards ? "backwards" : "forwards");
        const int step = backwards ? -1 : 1;
        ASSERT_EQ(backwards ? AdsGotoBottom(byKey) : AdsGotoTop(byKey), AE_SUCCESS);
        // Where the rows read so far end (a move to an end reads one), and the next read's size.
        int batchEnd = backwards ? kRows : 1, nextBatch = 16, lastBatch = 1;
        std::vector<UNSIGNED32> seen;
        for (UNSIGNED16 end = 0;
             (backwards ? AdsAtBOF(byKey, &end) : AdsAtEOF(byKey, &end)) == AE_SUCCESS && !end;) {
            const int at = static_cast<int>(recno(byKey));
            seen.push_back(static_cast<UNSIGNED32>(at));
            ASSERT_EQ(field(byKey, "N"), expected[static_cast<size_t>(at)]) << "record " << at;
            if (at == batchEnd) {
                // A change once the reads are long (a read may have been sent ahead): the next
                // read starts again at 16 rows, and the changed row is among them.
                const int changed = at + 5 * step;
                if (lastBatch >= 64 && changed >= 1 && changed <= kRows) {
                    const std::string value = std::to_string(++changes);
                    ASSERT_EQ(AdsGotoRecord(other, static_cast<UNSIGNED32>(changed)), AE_SUCCESS);
                    ASSERT_EQ(AdsSetField(other, u8("N"), u8(value.c_str()),
                                          static_cast<UNSIGNED32>(value.size())),
                              AE_SUCCESS);
                    ASSERT_EQ(AdsWriteRecord(other), AE_SUCCESS);
                    expected[static_cast<size_t>(changed)] = value;
                    nextBatch = 16;
                }
                batchEnd = at + nextBatch * step;
                lastBatch = nextBatch;
                nextBatch = std::min(nextBatch * 2, 512);
            }
            ASSERT_EQ(AdsSkip(byKey, step), AE_SUCCESS);
        }
        ASSERT_EQ(seen.size(), static_cast<size_t>(kRows));
        if (backwards) std::reverse(seen.begin(), seen.end());
        for (size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], static_cast<UNSIGNED32>(i + 1));
    }
    EXPECT_GE(changes, 4);
}

// The same with a row another process adds where the walk goes on, once this process has heard
// of it (on a server a notice comes a moment after the other's commit; a second connection here
// waits for it): the walk's next row is the new one.
TEST_F(Navigation, AWalkSeesARowAnotherProcessAddedAtTheEndOfItsBatch) {
    constexpr int kRows = 600;
    ADSHANDLE byKey = numbered(kRows);
    // Reads of 1, 16, 32, 64 and 128 rows: the walk stands at the end of the last one, whose
    // next read may be on its way.
    ASSERT_EQ(AdsGotoTop(byKey), AE_SUCCESS);
    for (int i = 1; i < 241; ++i) ASSERT_EQ(AdsSkip(byKey, 1), AE_SUCCESS);
    ASSERT_EQ(recno(byKey), 241u);
    std::string dir = root;
    Child child([dir](Child& c) {
        ADSHANDLE connection = 0, h = 0;
        if (AdsConnect(u8(dir.c_str()), &connection) ||
            AdsOpenTable(connection, u8("many"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &h) ||
            AdsAppendRecord(h) || AdsSetField(h, u8("K"), u8("00241a"), 6) || AdsWriteRecord(h))
            return 1;
        c.send('d');
        return 0;
    });
    ASSERT_EQ(child.receive(), 'd');
    EXPECT_EQ(child.wait(), 0);
    ADSHANDLE watcher = 0, counted = 0;
    ASSERT_EQ(AdsConnect(u8(root.c_str()), &watcher), AE_SUCCESS);
    ASSERT_EQ(AdsOpenTable(watcher, u8("many"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &counted),
              AE_SUCCESS);
    UNSIGNED32 count = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until &&
           AdsGetRecordCount(counted, ADS_IGNOREFILTERS, &count) == AE_SUCCESS &&
           count != kRows + 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(count, static_cast<UNSIGNED32>(kRows + 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(AdsSkip(byKey, 1), AE_SUCCESS);
    EXPECT_EQ(field(byKey, "K"), "00241a");
    EXPECT_EQ(walk(byKey, "K").size(), static_cast<size_t>(kRows + 1));
    EXPECT_EQ(AdsDisconnect(watcher), AE_SUCCESS);
}

}  // namespace
