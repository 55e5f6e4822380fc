// Filters on tables: the calls, navigation in both directions, scopes, seeks, bookmarks,
// counts, another process's commit, and the use of an index tag by a filter on its fields.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/expression.h"
#include "engine/sql_functions.h"
#include "engine/sqlite/table.h"
#include "engine_fixture.h"
#include "process_helpers.h"

using namespace enginetest;

namespace {

class Filters : public EngineTest {
  protected:
    // Records 1..8; N is the record number times ten.
    ADSHANDLE people() {
        ADSHANDLE t = create("people", "NAME,Character,10;BORN,Date;N,Integer");
        append(t, {"Carol", "2001-03-04", "10"});
        append(t, {"alice", "1999-12-31", "20"});
        append(t, {"Bob", "", "30"});
        append(t, {"Carol", "1990-01-01", "40"});
        append(t, {"", "2000-01-01", "50"});
        append(t, {"Bob", "1980-05-05", "60"});
        append(t, {"Bobby", "1985-05-05", "70"});
        append(t, {"Dave", "1970-01-01", "80"});
        return t;
    }
    using Records = std::vector<UNSIGNED32>;
    UNSIGNED32 count(ADSHANDLE h, UNSIGNED16 option) {
        UNSIGNED32 n = 0;
        EXPECT_EQ(AdsGetRecordCount(h, option, &n), AE_SUCCESS) << lastError();
        return n;
    }
    bool visible(ADSHANDLE h) {
        UNSIGNED16 v = 2;
        EXPECT_EQ(AdsIsRecordVisible(h, &v), AE_SUCCESS) << lastError();
        return v == 1;
    }
    std::string aof(ADSHANDLE h) {
        UNSIGNED8 buffer[300];
        UNSIGNED16 len = sizeof buffer;
        EXPECT_EQ(AdsGetAOF(h, buffer, &len), AE_SUCCESS) << lastError();
        return std::string(reinterpret_cast<char*>(buffer), len);
    }
};

TEST_F(Filters, FilteredWalksInBothDirectionsInEveryOrder) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ASSERT_EQ(AdsSetAOF(t, u8("N > 25 .AND. N < 75"), ADS_RESOLVE_DYNAMIC), AE_SUCCESS)
        << lastError();
    EXPECT_EQ(walkRecords(t), (Records{3, 4, 5, 6, 7}));
    EXPECT_EQ(walkRecords(t, true), (Records{7, 6, 5, 4, 3}));
    EXPECT_EQ(walkRecords(byName), (Records{5, 3, 6, 7, 4}));
    EXPECT_EQ(walkRecords(byName, true), (Records{4, 7, 6, 3, 5}));
    // Skipping across the ends stops on the first and last visible rows.
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(t, -1), AE_SUCCESS);
    EXPECT_TRUE(bof(t));
    ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    EXPECT_EQ(recno(t), 3u);
    ASSERT_EQ(AdsSkip(t, 3), AE_SUCCESS);
    EXPECT_EQ(recno(t), 6u);
    ASSERT_EQ(AdsSkip(t, -2), AE_SUCCESS);
    EXPECT_EQ(recno(t), 4u);
    // A filter that keeps nothing: both ends at once.
    ASSERT_EQ(AdsSetAOF(t, u8("N > 1000"), ADS_RESOLVE_IMMEDIATE), AE_SUCCESS);
    ASSERT_EQ(AdsGotoTop(byName), AE_SUCCESS);
    EXPECT_TRUE(eof(byName));
    EXPECT_TRUE(bof(byName));
    ASSERT_EQ(AdsClearAOF(t), AE_SUCCESS);
    EXPECT_EQ(walkRecords(t).size(), 8u);
}

// A filtered walk reads 128 rows, then 512 at a time: keys repeated across those boundaries, in
// both directions and both tag orders, lose and repeat no record.
TEST_F(Filters, LongFilteredWalksAcrossReadsMissNoRecord) {
    ADSHANDLE t = create("many", "NAME,Character,8;N,Integer");
    std::vector<std::pair<std::string, UNSIGNED32>> kept;
    for (UNSIGNED32 i = 1; i <= 1500; ++i) {
        const std::string name = "K" + std::to_string(i * 7 % 90);
        const int n = static_cast<int>(i % 3);
        append(t, {name, std::to_string(n)});
        if (n != 0) kept.emplace_back(name, i);
    }
    std::sort(kept.begin(), kept.end());
    Records order;
    for (const auto& k : kept) order.push_back(k.second);
    ADSHANDLE up = index(t, "UP", "NAME");
    ADSHANDLE down = index(t, "DOWN", "NAME", ADS_DESCENDING);
    ASSERT_EQ(AdsSetAOF(t, u8("N > 0"), ADS_RESOLVE_DYNAMIC), AE_SUCCESS) << lastError();
    EXPECT_EQ(walkRecords(up), order);
    Records back = walkRecords(up, true);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, order);
    Records descending = walkRecords(down);
    ASSERT_EQ(descending.size(), order.size());
    Records ascending = walkRecords(down, true);
    std::reverse(ascending.begin(), ascending.end());
    EXPECT_EQ(ascending, descending);
}

// A walk under a filter on its tag's field stands in the rows it read ahead; what another handle
// changes meanwhile (a kept row deleted, one changed out of the filter, one changed into it, one
// added after the current row's key and one before it) shows at its next step, both ways, and
// the walk goes on exactly as a fresh one would from the current row.
TEST_F(Filters, FilteredTagWalksSeeRowsChangedByAnotherHandleMidWalk) {
    ADSHANDLE t = create("changing", "NAME,Character,8;N,Integer");
    // 300 of 400 records kept by the filter, about three to a name.
    for (UNSIGNED32 i = 1; i <= 400; ++i)
        append(t, {(i % 4 ? "K" : "X") + std::to_string(100 + i * 37 % 150), std::to_string(i)});
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ADSHANDLE other = openOk("changing");
    ASSERT_EQ(AdsSetAOF(t, u8("NAME = 'K'"), ADS_RESOLVE_DYNAMIC), AE_SUCCESS) << lastError();
    auto change = [&](UNSIGNED32 record, const std::string& name) {
        ASSERT_EQ(AdsGotoRecord(other, record), AE_SUCCESS) << lastError();
        ASSERT_EQ(AdsLockRecord(other, record), AE_SUCCESS) << lastError();
        if (name.empty()) {
            ASSERT_EQ(AdsDeleteRecord(other), AE_SUCCESS) << lastError();
        } else {
            ASSERT_EQ(AdsSetField(other, u8("NAME"), u8(name.c_str()),
                                  static_cast<UNSIGNED32>(name.size())),
                      AE_SUCCESS)
                << lastError();
            ASSERT_EQ(AdsWriteRecord(other), AE_SUCCESS) << lastError();
        }
        ASSERT_EQ(AdsUnlockRecord(other, record), AE_SUCCESS) << lastError();
    };
    for (bool backwards : {false, true}) {
        SCOPED_TRACE(backwards ? "backwards" : "forwards");
        const Records fresh = walkRecords(byName, backwards);
        ASSERT_GE(fresh.size(), 250u);
        // Into the first read, and on across it after the changes.
        Records walked;
        ASSERT_EQ(backwards ? AdsGotoBottom(byName) : AdsGotoTop(byName), AE_SUCCESS);
        for (int i = 0; i < 100; ++i) {
            walked.push_back(recno(byName));
            ASSERT_EQ(AdsSkip(byName, backwards ? -1 : 1), AE_SUCCESS) << lastError();
        }
        const UNSIGNED32 current = recno(byName);
        const std::string key = field(byName, "NAME");
        change(fresh[110], "");
        change(fresh[130], "X999");
        change(fresh[20], "Y");  // behind the walk: no longer kept, never seen again
        UNSIGNED32 dropped = 0;  // a record the filter does not keep, moved ahead of the walk
        for (UNSIGNED32 r = 4; !dropped; r += 4)
            if (std::find(walked.begin(), walked.end(), r) == walked.end()) dropped = r;
        change(dropped, backwards ? "K100" : "K249");
        append(other, {key, "1000"});  // the current key, after the current row
        const UNSIGNED32 sameKey = recno(other);
        append(other, {backwards ? "K249" : "K100", "1001"});  // behind the walk
        const UNSIGNED32 behind = recno(other);
        while (!(backwards ? bof(byName) : eof(byName))) {
            walked.push_back(recno(byName));
            ASSERT_EQ(AdsSkip(byName, backwards ? -1 : 1), AE_SUCCESS) << lastError();
        }
        const Records now = walkRecords(byName, backwards);
        auto at = std::find(now.begin(), now.end(), current);
        ASSERT_NE(at, now.end());
        Records expected(fresh.begin(), fresh.begin() + 100);
        expected.insert(expected.end(), at, now.end());
        EXPECT_EQ(walked, expected);
        // What changed shows where it belongs: the deleted row and the one changed out of the
        // filter nowhere after the current one, the row changed into it there; the row added
        // with the current key after it forwards (backwards its record number puts it behind),
        // the row added before the current key not at all.
        const Records rest(at, now.end());
        auto in = [&](UNSIGNED32 r) {
            return std::find(rest.begin(), rest.end(), r) != rest.end();
        };
        EXPECT_FALSE(in(fresh[110]));
        EXPECT_FALSE(in(fresh[130]));
        EXPECT_TRUE(in(dropped));
        EXPECT_EQ(in(sameKey), !backwards);
        EXPECT_FALSE(in(behind));
    }
}

TEST_F(Filters, TextFiltersFollowTheExactSetting) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ASSERT_EQ(AdsSetAOF(t, u8("NAME = 'Bob'"), 2), AE_SUCCESS);
    EXPECT_EQ(walkRecords(byName), (Records{3, 6, 7}));
    ASSERT_EQ(AdsSetExact22(byName, 1), AE_SUCCESS);
    EXPECT_EQ(walkRecords(byName), (Records{3, 6}));
    ASSERT_EQ(AdsSetExact22(t, 0), AE_SUCCESS);
    EXPECT_EQ(walkRecords(t), (Records{3, 6, 7}));
    ASSERT_EQ(AdsSetAOF(t, u8("NAME == 'Bob'"), 2), AE_SUCCESS);
    EXPECT_EQ(walkRecords(t), (Records{3, 6}));
    ASSERT_EQ(AdsSetAOF(t, u8("UPPER(NAME) = 'A' .OR. NAME = 'D'"), 2), AE_SUCCESS);
    EXPECT_EQ(walkRecords(t), (Records{2, 8}));
    ASSERT_EQ(AdsSetAOF(t, u8("EMPTY(NAME) .OR. EMPTY(BORN)"), 2), AE_SUCCESS);
    EXPECT_EQ(walkRecords(t), (Records{3, 5}));
    ASSERT_EQ(AdsSetAOF(t, u8("BORN >= CTOD('01/01/1990') .AND. BORN < STOD('20000101')"), 2),
              AE_SUCCESS);
    EXPECT_EQ(walkRecords(t), (Records{2, 4}));
}

TEST_F(Filters, SettingReadingAndClearingBothFilters) {
    ADSHANDLE t = people();
    UNSIGNED16 len = 0;
    EXPECT_EQ(AdsGetAOF(t, nullptr, &len), AE_NO_FILTER);
    EXPECT_EQ(lastError(),
              "Error 5037: No optimised filter is set on the table " + path("people.adt") + ".");
    EXPECT_EQ(AdsClearAOF(t), AE_NO_FILTER);
    EXPECT_EQ(AdsClearFilter(t), AE_NO_FILTER);
    EXPECT_EQ(AdsGetFilter(t, nullptr, &len), AE_NO_FILTER);

    ASSERT_EQ(AdsSetAOF(t, u8("N >= 30"), 2), AE_SUCCESS);
    len = 0;
    EXPECT_EQ(AdsGetAOF(t, nullptr, &len), AE_INSUFFICIENT_BUFFER);
    EXPECT_EQ(len, 8);  // the text and its NUL
    UNSIGNED8 small[4];
    len = sizeof small;
    EXPECT_EQ(AdsGetAOF(t, small, &len), AE_INSUFFICIENT_BUFFER);
    EXPECT_EQ(lastError(),
              "Error 5005: The buffer for optimised filter is too small; 8 bytes "
              "are needed.");
    EXPECT_EQ(aof(t), "N >= 30");
    EXPECT_EQ(AdsGetAOF(t, nullptr, nullptr), AE_INVALID_ARGUMENT);

    // The plain filter is a second condition; both hold.
    ASSERT_EQ(AdsSetFilter(t, u8("N <= 50")), AE_SUCCESS);
    UNSIGNED8 buffer[40];
    len = sizeof buffer;
    ASSERT_EQ(AdsGetFilter(t, buffer, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), len), "N <= 50");
    EXPECT_EQ(walkRecords(t), (Records{3, 4, 5}));
    ASSERT_EQ(AdsClearAOF(t), AE_SUCCESS);
    EXPECT_EQ(walkRecords(t), (Records{1, 2, 3, 4, 5}));
    ASSERT_EQ(AdsClearFilter(t), AE_SUCCESS);
    EXPECT_EQ(walkRecords(t).size(), 8u);
}

TEST_F(Filters, RefusedFiltersKeepThePreviousOne) {
    ADSHANDLE t = people();
    ASSERT_EQ(AdsSetAOF(t, u8("N > 60"), 2), AE_SUCCESS);
    EXPECT_EQ(AdsSetAOF(t, u8("N >"), 2), AE_EXPRESSION_ERROR);
    EXPECT_EQ(AdsSetAOF(t, u8("AGE > 3"), 2), AE_COLUMN_NOT_FOUND);
    EXPECT_NE(lastError().find("Column \"AGE\""), std::string::npos);
    EXPECT_EQ(AdsSetAOF(t, u8("NAME > 3"), 2), AE_EXPRESSION_ERROR);
    EXPECT_EQ(AdsSetFilter(t, u8("N")), AE_EXPRESSION_ERROR);
    EXPECT_EQ(AdsSetAOF(t, u8("N > 1"), 4), AE_NOT_SUPPORTED);
    EXPECT_NE(lastError().find("The filter option 4 is not offered"), std::string::npos);
    EXPECT_EQ(AdsSetAOF(t, nullptr, 2), AE_INVALID_ARGUMENT);
    EXPECT_EQ(aof(t), "N > 60");
    EXPECT_EQ(walkRecords(t), (Records{7, 8}));
    UNSIGNED16 len = 0;
    EXPECT_EQ(AdsGetFilter(t, nullptr, &len), AE_NO_FILTER);
    EXPECT_EQ(AdsSetAOF(0x7777, u8("N > 1"), 2), AE_INVALID_HANDLE);
}

TEST_F(Filters, CountsRespectFiltersWhenAsked) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ASSERT_EQ(AdsSetAOF(t, u8("N >= 40"), 2), AE_SUCCESS);
    EXPECT_EQ(count(t, ADS_RESPECTFILTERS), 5u);
    EXPECT_EQ(count(t, ADS_IGNOREFILTERS), 8u);
    EXPECT_EQ(count(t, ADS_RESPECTSCOPES), 8u);
    EXPECT_EQ(count(byName, ADS_RESPECTFILTERS | ADS_REFRESHCOUNT), 5u);
    // A scope on B..Bz: filters and scope both count with option 1, the scope alone with 3.
    ASSERT_EQ(AdsSetScope(byName, ADS_TOP, u8("B"), 1, ADS_STRINGKEY), AE_SUCCESS);
    ASSERT_EQ(AdsSetScope(byName, ADS_BOTTOM, u8("B"), 1, ADS_STRINGKEY), AE_SUCCESS);
    EXPECT_EQ(count(byName, ADS_RESPECTFILTERS), 2u);
    EXPECT_EQ(count(byName, ADS_RESPECTSCOPES), 3u);
    EXPECT_EQ(count(byName, ADS_IGNOREFILTERS), 8u);
    EXPECT_EQ(walkRecords(byName), (Records{6, 7}));
    EXPECT_EQ(walkRecords(byName, true), (Records{7, 6}));
    // Relative key positions count the visible rows.
    ASSERT_EQ(AdsGotoBottom(byName), AE_SUCCESS);
    DOUBLE position = 0;
    ASSERT_EQ(AdsGetRelKeyPos(byName, &position), AE_SUCCESS);
    EXPECT_DOUBLE_EQ(position, 1.0);
}

TEST_F(Filters, GoingToAHiddenRowShowsItAsNotVisible) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ASSERT_EQ(AdsSetAOF(t, u8("N <> 40 .AND. N <> 30"), 2), AE_SUCCESS);
    ASSERT_EQ(AdsGotoRecord(t, 4), AE_SUCCESS);
    EXPECT_EQ(recno(t), 4u);
    EXPECT_FALSE(visible(t));
    ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    EXPECT_EQ(recno(t), 5u);
    EXPECT_TRUE(visible(t));
    // Through a bookmark, in an index order: the next skip leaves the hidden row for the next
    // visible one in that order (Bob 3 hidden, then Bob 6).
    ASSERT_EQ(AdsGotoBookmark(byName, 3), AE_SUCCESS);
    EXPECT_FALSE(visible(byName));
    ASSERT_EQ(AdsSkip(byName, 1), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 6u);
    ASSERT_EQ(AdsGotoBookmark(byName, 3), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(byName, -1), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 5u);
    // A bookmark of a visible row returns to it.
    ADSHANDLE mark = 0;
    ASSERT_EQ(AdsGetBookmark(byName, &mark), AE_SUCCESS);
    ASSERT_EQ(AdsGotoTop(byName), AE_SUCCESS);
    ASSERT_EQ(AdsGotoBookmark(byName, mark), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 5u);
    EXPECT_TRUE(visible(byName));
    // Past the end nothing is visible.
    ASSERT_EQ(AdsGotoBottom(t), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    EXPECT_FALSE(visible(t));
}

TEST_F(Filters, SeeksLandOnlyOnVisibleRows) {
    ADSHANDLE t = people();
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    ASSERT_EQ(AdsSetAOF(t, u8("N > 35"), 2), AE_SUCCESS);
    bool found = false;
    ASSERT_EQ(seekTexts(byName, {{"NAME", "Bob"}}, ADS_HARDSEEK, found), AE_SUCCESS);
    EXPECT_TRUE(found);
    EXPECT_EQ(recno(byName), 6u);  // Bob 3 is hidden
    ASSERT_EQ(seekTexts(byName, {{"NAME", "alice"}}, ADS_HARDSEEK, found), AE_SUCCESS);
    EXPECT_FALSE(found);
    EXPECT_TRUE(eof(byName));
    // A soft seek for a hidden key lands on the next visible key, or past the end when no
    // visible key follows ("alice" sorts last, after "Dave").
    ASSERT_EQ(seekTexts(byName, {{"NAME", "alice"}}, ADS_SOFTSEEK, found), AE_SUCCESS);
    EXPECT_FALSE(found);
    EXPECT_TRUE(eof(byName));
    ASSERT_EQ(seekTexts(byName, {{"NAME", "Bobb"}}, ADS_SOFTSEEK, found), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 7u);
    ASSERT_EQ(AdsSetAOF(t, u8("N > 65"), 2), AE_SUCCESS);
    ASSERT_EQ(seekTexts(byName, {{"NAME", "Bob"}}, ADS_SOFTSEEK, found), AE_SUCCESS);
    EXPECT_EQ(recno(byName), 7u);  // both rows of "Bob" are hidden: Bobby
    EXPECT_TRUE(visible(byName));
    // A hard seek passes over the hidden rows of its own key.
    ASSERT_EQ(AdsSetAOF(t, u8("N > 15"), 2), AE_SUCCESS);
    ASSERT_EQ(seekTexts(byName, {{"NAME", "Carol"}}, ADS_HARDSEEK, found), AE_SUCCESS);
    EXPECT_TRUE(found);
    EXPECT_EQ(recno(byName), 4u);
}

TEST_F(Filters, AnotherProcessCommitIsSeenByTheNextMove) {
    ADSHANDLE t = people();
    ASSERT_EQ(AdsSetAOF(t, u8("NAME = 'Z'"), 2), AE_SUCCESS);
    EXPECT_EQ(walkRecords(t), (Records{}));
    const std::string dir = root;
    Child child([&](Child& c) {
        ADSHANDLE connection = 0, table = 0;
        if (AdsConnect(u8(dir.c_str()), &connection)) return 1;
        if (AdsOpenTable(connection, u8("people"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &table))
            return 2;
        if (AdsAppendRecord(table) || AdsSetField(table, u8("NAME"), u8("Zoe"), 3) ||
            AdsWriteRecord(table))
            return 3;
        if (AdsGotoRecord(table, 2) || AdsSetField(table, u8("NAME"), u8("Zack"), 4) ||
            AdsWriteRecord(table))
            return 4;
        c.send('0');
        return 0;
    });
    ASSERT_EQ(child.receive(), '0');
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(walkRecords(t), (Records{2, 9}));
    EXPECT_EQ(count(t, ADS_RESPECTFILTERS), 2u);
}

TEST_F(Filters, ExpressionFormsStandAsGiven) {
    ADSHANDLE t = people();
    const char* text = "NAME = 'Bob*' .AND. N > 1";
    UNSIGNED8 buffer[80];
    UNSIGNED16 len = sizeof buffer;
    ASSERT_EQ(AdsExpressionLongToShort(t, u8(text), buffer, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), len), text);
    len = sizeof buffer;
    ASSERT_EQ(AdsExpressionShortToLong(t, u8(text), buffer, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), len), text);
    len = 5;
    EXPECT_EQ(AdsExpressionShortToLong(t, u8(text), buffer, &len), AE_INSUFFICIENT_BUFFER);
    EXPECT_EQ(len, std::strlen(text) + 1);
    EXPECT_EQ(AdsExpressionLongToShort(t, nullptr, buffer, &len), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsExpressionLongToShort(0x7777, u8(text), buffer, &len), AE_INVALID_HANDLE);
}

// The query plan of a walk in the tag's order under the translated filter.
std::string plan(const std::string& file, const std::string& filter, bool exact = false) {
    std::shared_ptr<engine::Table> table;
    EXPECT_EQ(engine::Table::open(file, table), AE_SUCCESS);
    engine::expression::Settings settings;
    settings.exact = exact;
    engine::expression::Translation translation;
    EXPECT_EQ(engine::expression::translate(filter, table->schema(), settings, table->db().get(),
                                            translation),
              AE_SUCCESS)
        << lastError();
    // Every column, as navigation reads them (a rowid alone is answered from a covering index,
    // which newer SQLite names so).
    std::string sql = "EXPLAIN QUERY PLAN SELECT * FROM \"main\".\"records\" WHERE " +
                      translation.sql + " ORDER BY ifnull(\"NAME\",''), rowid";
    engine::sql::Statement stmt;
    EXPECT_EQ(table->db().prepare(sql, stmt), SQLITE_OK) << table->db().errorText();
    std::string out;
    while (stmt.step() == SQLITE_ROW) out += stmt.columnText(3) + "\n";
    return out;
}

TEST_F(Filters, AFilterOnTheLeadingFieldOfATagUsesTheTag) {
    FOLDER_ONLY();  // SQLite's query plan; FiltersOnServer has the server's
    ADSHANDLE t = people();
    index(t, "BYNAME", "NAME;BORN");
    index(t, "BYN", "N");
    const std::string file = path("people.adt");
    for (const char* filter : {"NAME = 'Bo'", "NAME == 'Bob'", "NAME > 'B' .AND. NAME < 'C'",
                               "EMPTY(NAME)", "NAME >= 'Bob' .AND. N > 0"})
        EXPECT_NE(plan(file, filter).find("USING INDEX"), std::string::npos) << filter;
    EXPECT_NE(plan(file, "NAME = 'Bob'", true).find("USING INDEX"), std::string::npos);
    // "Begins with" reads the tag between both ends of its range, not from the text to the end.
    EXPECT_NE(plan(file, "NAME = 'Bo'").find("<expr>>? AND <expr><?"), std::string::npos)
        << plan(file, "NAME = 'Bo'");
    EXPECT_NE(plan(file, "N = 30").find("USING INDEX"), std::string::npos);
    EXPECT_NE(plan(file, "30 < N").find("USING INDEX"), std::string::npos);
    // A function of the field cannot use the tag.
    EXPECT_EQ(plan(file, "UPPER(NAME) = 'BO'").find("USING INDEX velda"), std::string::npos);
}

// The functions of the expression language come to a table's connection with its first filter,
// and stay through the change of form that makes the connection again.
TEST_F(Filters, FunctionsInAFilterHoldAcrossEncryption) {
    close(people());
    ADSHANDLE t = openOk("people", ADS_EXCLUSIVE);
    ASSERT_EQ(AdsSetAOF(t, u8("LEFT(NAME, 1) = 'B' .AND. YEAR(BORN) < 1990"), ADS_RESOLVE_DYNAMIC),
              AE_SUCCESS)
        << lastError();
    EXPECT_EQ(walkRecords(t), (Records{3, 6, 7}));
    ASSERT_EQ(AdsEnableEncryption(t, u8("secret")), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << lastError();
    EXPECT_EQ(walkRecords(t), (Records{3, 6, 7}));
    ASSERT_EQ(AdsDecryptTable(t), AE_SUCCESS) << lastError();
    EXPECT_EQ(walkRecords(t), (Records{3, 6, 7}));
}

}  // namespace
