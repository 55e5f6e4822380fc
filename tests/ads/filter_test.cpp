// Filters, scopes and the search by values of table datasets over real engine tables: the texts
// handed to the engine, the index a search chooses and its filter fallback, and every refusal.
#include <gtest/gtest.h>

#include "tests/ads/table_fixture.h"

namespace {

using adstest::addRows;
using adstest::makeTable;

// A table that shows the layer's protected steps to the tests.
class StaffTable : public ads::TAdsTable {
  public:
    using ads::TAdsDataSet::PrepareFilterText;
    using ads::TAdsTable::TAdsTable;

    // The filter terms of the current row's values of the named fields.
    std::string Terms(const std::vector<std::string>& names, bool caseInsensitive,
                      bool exactCompare = false, bool padStrings = false) {
        std::vector<db::TField*> fields;
        for (const std::string& n : names) fields.push_back(FieldByName(n));
        db::TRecordBuffer saved = FilterBuffer();
        db::TDataSetState state = SetTempState(db::dsFilter);
        SetFilterBuffer(ActiveBuffer());
        std::string text = BuildFilterString(fields, caseInsensitive, exactCompare, padStrings);
        RestoreState(state);
        SetFilterBuffer(saved);
        return text;
    }
    std::string TermsOutsideTheFilterState() {
        return BuildFilterString({FieldByName("S")}, false);
    }
    // The tag a search by the fields would seek on; "" when it filters.
    std::string SearchTag(const std::vector<std::string>& names) {
        std::vector<db::TField*> fields;
        for (const std::string& n : names) fields.push_back(FieldByName(n));
        ADSHANDLE index = searchIndex(fields);
        if (!index) return "";
        UNSIGNED8 name[129];
        UNSIGNED16 length = sizeof name;
        EXPECT_EQ(AdsGetIndexName(index, name, &length), AE_SUCCESS);
        return std::string(reinterpret_cast<char*>(name), length);
    }
};

class FilterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        makeTable(dir.path(), "STAFF.adt",
                  "NAME,Character,10;CODE,Character,4;BORN,Date;N,Integer;OK,Logical;NOTE,Memo",
                  {{"BYNAME", "NAME"}, {"BYNCODE", "N;NAME;CODE"}});
        addRows(dir.path(), "STAFF.adt",
                {{"Smith", "A1", "1970-05-17", "10", "T", "x"},
                 {"smith", "B2", "1980-01-01", "20", "F", ""},
                 {"Jones", "A1", "", "30", "F", ""},
                 {"Smithers", "C3", "1990-02-02", "40", "T", ""},
                 {"", "B2", "2000-03-03", "50", "F", ""}});
    }
    StaffTable* staff(const std::string& order = "") {
        auto* t = form.form.CreateOwned<StaffTable>();
        t->SetName("TableStaff");
        t->SetAdsConnection(form.connection);
        t->SetTableName("STAFF.adt");
        if (!order.empty()) t->SetIndexName(order);
        return t;
    }
    static std::vector<int> numbers(ads::TAdsDataSet* t) {
        std::vector<int> out;
        for (t->First(); !t->Eof(); t->Next()) out.push_back(t->FieldByName("N")->AsInteger());
        return out;
    }
    static std::string aof(ads::TAdsDataSet* t) {
        UNSIGNED8 buffer[200];
        UNSIGNED16 length = sizeof buffer;
        UNSIGNED32 rc = AdsGetAOF(t->TableHandle(), buffer, &length);
        if (rc == AE_NO_FILTER) return "(none)";
        EXPECT_EQ(rc, AE_SUCCESS);
        return std::string(reinterpret_cast<char*>(buffer), length);
    }
    static int exact(ads::TAdsDataSet* t) {
        UNSIGNED16 value = 9;
        EXPECT_EQ(AdsGetExact22(t->TableHandle(), &value), AE_SUCCESS);
        return value;
    }
    // The message and code (0 for the framework's own errors) of the error f raises.
    template <class F>
    static std::pair<std::string, int32_t> failure(F&& f) {
        try {
            f();
        } catch (const ads::EADSDatabaseError& e) {
            return {e.Message(), e.ErrorCode()};
        } catch (const db::EDatabaseError& e) {
            return {e.Message(), 0};
        }
        ADD_FAILURE() << "no error raised";
        return {};
    }
    adstest::TempFolder dir;
    adstest::FreeTableForm form{dir.path()};
};

TEST_F(FilterTest, ATrailingWildcardBecomesAPartialMatch) {
    StaffTable* t = staff();
    t->Open();
    struct Case {
        const char* given;
        const char* handedOver;
        bool exact;
    };
    const Case cases[] = {
        {"NAME = 'Sm*'", "NAME = 'Sm'", false},
        {"NAME = \"Jo*\"", "NAME = \"Jo\"", false},
        {"CODE = '*'", "CODE = '*'", true},              // a literal of "*" only stays
        {"CODE = '**'", "CODE = '**'", true},            // however many
        {"NAME = 'A**'", "NAME = 'A*'", false},          // one "*" goes
        {"NAME = 'S*m'", "NAME = 'S*m'", true},          // not before the quote
        {"NAME = \"it's*\"", "NAME = \"it's\"", false},  // the other quote is text
        {"NAME = 'Smith' .OR. CODE = 'B*'", "NAME = 'Smith' .OR. CODE = 'B'", false},
        {"N > 3", "N > 3", true},
        {"NAME = 'ab*", "NAME = 'ab*", true},  // unclosed: the engine will say so
    };
    for (const Case& c : cases) {
        bool isExact = !c.exact;
        EXPECT_EQ(t->PrepareFilterText(c.given, isExact), c.handedOver) << c.given;
        EXPECT_EQ(isExact, c.exact) << c.given;
    }
}

TEST_F(FilterTest, FilterTextsReachTheEngineWithTheirExactSetting) {
    StaffTable* t = staff("BYNAME");
    t->SetFilter("NAME = 'Smith*'");
    t->SetFiltered(true);
    t->Open();
    EXPECT_EQ(aof(t), "NAME = 'Smith'");
    EXPECT_EQ(exact(t), 0);
    EXPECT_EQ(numbers(t), (std::vector<int>{10, 40}));
    // A literal of "*" only compares exactly.
    t->SetFilter("CODE = '*'");
    EXPECT_EQ(aof(t), "CODE = '*'");
    EXPECT_EQ(exact(t), 1);
    EXPECT_TRUE(t->IsEmpty());
    // With one wildcard literal, every comparison of the filter matches partially.
    t->SetFilter("NAME = 'Smith' .OR. CODE = 'B*'");
    EXPECT_EQ(exact(t), 0);
    EXPECT_EQ(numbers(t), (std::vector<int>{50, 10, 40, 20}));
    t->SetFilter("NAME = 'Smith' .OR. CODE = 'B2'");
    EXPECT_EQ(numbers(t), (std::vector<int>{50, 10, 20}));
    // Setting the text moves to the first row; Filtered false clears the engine filter.
    t->Last();
    t->SetFilter("N >= 20");
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 50);
    t->SetFiltered(false);
    EXPECT_EQ(aof(t), "(none)");
    EXPECT_EQ(t->RecordCount(), 5);
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 50);
}

TEST_F(FilterTest, EmptyFiltersClosedDatasetsAndPlainFilters) {
    StaffTable* t = staff();
    t->SetFiltered(true);  // no text: the engine filter is cleared, its 5037 tolerated
    t->Open();
    EXPECT_EQ(aof(t), "(none)");
    EXPECT_EQ(numbers(t).size(), 5u);
    t->Close();

    // On a closed dataset the text is only stored; the next open applies it when filtered.
    t->SetFiltered(false);
    t->SetFilter("N > 25");
    EXPECT_EQ(t->Filter(), "N > 25");
    t->Open();
    EXPECT_EQ(aof(t), "(none)");
    EXPECT_EQ(numbers(t).size(), 5u);
    t->Close();
    t->SetFiltered(true);
    t->Open();
    EXPECT_EQ(numbers(t), (std::vector<int>{30, 40, 50}));
    t->Close();

    // Without optimised filters the plain engine filter carries the text.
    t->AdsTableOptions().SetAdsOptimizedFilters(false);
    t->Open();
    EXPECT_EQ(aof(t), "(none)");
    UNSIGNED8 buffer[40];
    UNSIGNED16 length = sizeof buffer;
    ASSERT_EQ(AdsGetFilter(t->TableHandle(), buffer, &length), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), length), "N > 25");
    EXPECT_EQ(numbers(t), (std::vector<int>{30, 40, 50}));
    t->SetFilter("");
    EXPECT_EQ(AdsGetFilter(t->TableHandle(), buffer, &length), AE_NO_FILTER);
    EXPECT_EQ(numbers(t).size(), 5u);
    // Switching back on an open, filtered dataset moves the filter to the optimised one.
    t->SetFilter("N < 25");
    t->AdsTableOptions().SetAdsOptimizedFilters(true);
    EXPECT_EQ(aof(t), "N < 25");
    EXPECT_EQ(AdsGetFilter(t->TableHandle(), buffer, &length), AE_NO_FILTER);
    t->AdsTableOptions().SetAdsAOFResolveImmediate(true);
    t->SetFilter("N = 20");
    EXPECT_EQ(numbers(t), (std::vector<int>{20}));
}

TEST_F(FilterTest, RefusedFilterTextsKeepThePreviousFilter) {
    StaffTable* t = staff();
    t->SetFilter("N > 25");
    t->SetFiltered(true);
    t->Open();
    auto [message, code] = failure([&] { t->SetFilter("AGE > 3"); });
    EXPECT_EQ(code, 5147);
    EXPECT_NE(message.find("TableStaff: "), std::string::npos) << message;
    EXPECT_NE(message.find("Column \"AGE\""), std::string::npos) << message;
    std::tie(message, code) = failure([&] { t->SetFilter("NAME = 'Smith*' .AND. N >"); });
    EXPECT_EQ(code, static_cast<int32_t>(AE_EXPRESSION_ERROR));
    // The text named is the one handed over, without its "*".
    EXPECT_NE(message.find("\"NAME = 'Smith' .AND. N >\" cannot be used: it ends where an "
                           "operand is missing (at position 25)"),
              std::string::npos)
        << message;
    std::tie(message, code) = failure([&] { t->SetFilter("NAME > 3"); });
    EXPECT_EQ(code, static_cast<int32_t>(AE_EXPRESSION_ERROR));
    EXPECT_NE(message.find("a text and a number cannot be joined with >"), std::string::npos)
        << message;
    EXPECT_EQ(t->Filter(), "N > 25");
    EXPECT_EQ(aof(t), "N > 25");
    EXPECT_EQ(exact(t), 1);
    EXPECT_EQ(numbers(t), (std::vector<int>{30, 40, 50}));
    // A refused filter on a dataset being filtered leaves it unfiltered.
    t->SetFiltered(false);
    t->SetFilter("AGE > 3");
    EXPECT_THROW(t->SetFiltered(true), ads::EADSDatabaseError);
    EXPECT_FALSE(t->Filtered());
    EXPECT_EQ(numbers(t).size(), 5u);
}

TEST_F(FilterTest, TheRecordFilterEventNarrowsTheEngineFilter) {
    StaffTable* t = staff("BYNAME");
    t->SetFilter("N > 15");
    t->OnFilterRecord = [](db::TDataSet* d, bool& accept) {
        accept = d->FieldByName("NAME")->AsString() != "Jones";
    };
    t->SetFiltered(true);
    t->Open();
    EXPECT_EQ(numbers(t), (std::vector<int>{50, 40, 20}));
    t->Last();
    t->Prior();
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 40);
    t->Prior();
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 50);
    t->SetFiltered(false);  // neither applies now
    EXPECT_EQ(numbers(t).size(), 5u);
}

TEST_F(FilterTest, ScopesAndTheirRefusals) {
    StaffTable* t = staff();
    t->Open();
    auto [message, code] = failure([&] { t->SetScoped(true); });
    EXPECT_EQ(message, "TableStaff: Cannot activate scope when there is no active index.");
    EXPECT_EQ(code, 5121);
    EXPECT_FALSE(t->Scoped());
    t->Close();

    t->SetIndexName("BYNAME");
    t->SetScopeBegin("Jones");
    t->SetScopeEnd("Smith");
    t->SetScoped(true);
    t->Open();  // scoped at open
    EXPECT_EQ(numbers(t), (std::vector<int>{30, 10, 40}));
    // Unscoping keeps the current row.
    t->First();
    t->Next();
    t->SetScoped(false);
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 10);
    EXPECT_EQ(numbers(t).size(), 5u);
    // Scoping again: a current row outside the scope gives way to the scope's first.
    t->Last();
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 20);
    t->SetScoped(true);
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 30);
    // Inside it, the row stays.
    t->SetScoped(false);
    t->First();
    t->Next();
    t->Next();
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 10);
    t->SetScoped(true);
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 10);
    t->SetScoped(false);

    // A range set beneath the dataset blocks the scope.
    ASSERT_EQ(AdsSetScope(t->ActiveHandle(), ADS_TOP, adstest::u8("S"), 1, ADS_STRINGKEY),
              AE_SUCCESS);
    std::tie(message, code) = failure([&] { t->SetScoped(true); });
    EXPECT_EQ(message, "TableStaff: Cannot activate scope when there is an active range.");
    EXPECT_EQ(code, 5121);
    EXPECT_FALSE(t->Scoped());

    // Scope texts of 256 characters are taken, of 257 refused.
    t->SetScopeBegin(std::string(256, 'A'));
    EXPECT_EQ(t->ScopeBegin().size(), 256u);
    std::tie(message, code) = failure([&] { t->SetScopeEnd(std::string(257, 'Z')); });
    EXPECT_EQ(message, "TableStaff: Scope text length exceeded 256");
    EXPECT_EQ(code, 5121);
    EXPECT_EQ(t->ScopeEnd(), "Smith");
    std::tie(message, code) = failure([&] { t->SetScopeBegin(std::string(257, 'Z')); });
    EXPECT_EQ(message, "TableStaff: Scope text length exceeded 256");
    EXPECT_EQ(t->ScopeBegin().size(), 256u);
}

TEST_F(FilterTest, FilterTermsOfEveryKind) {
    makeTable(dir.path(), "KINDS.adt",
              "S,Character,6;D,Date;L,Logical;I,Integer;F,Double;T,Time;TS,TimeStamp");
    addRows(dir.path(), "KINDS.adt",
            {{"a\"b", "2024-02-29", "T", "42", "2.5", "10:30:00", "2024-02-29 10:30:00"},
             {"", "", "F", "", "", "", ""}});
    auto* t = form.form.CreateOwned<StaffTable>();
    t->SetName("Kinds");
    t->SetAdsConnection(form.connection);
    t->SetTableName("KINDS.adt");
    t->Open();
    EXPECT_EQ(t->Terms({"S"}, false), "(S=\"a\"+ Chr(34) + \"b\")");
    EXPECT_EQ(t->Terms({"S"}, true), "(UPPER(S)=UPPER(\"a\"+ Chr(34) + \"b\"))");
    EXPECT_EQ(t->Terms({"S"}, false, true, true), "(S==\"a\"+ Chr(34) + \"b   \")");
    EXPECT_EQ(t->Terms({"L", "I"}, false), "(L=.TRUE.) AND (I=42)");
    // Dates and times in the forms CTOD (the connection's format), CTOT and CTOTS read.
    EXPECT_EQ(t->Terms({"D", "T", "TS"}, false),
              "(D=ctod(\"02/29/2024\")) AND (T=ctot(\"10:30:00.000\")) AND "
              "(TS=ctots(\"02/29/2024 10:30:00.000\"))");
    ASSERT_EQ(AdsSetDateFormat60(form.connection->ConnectionHandle(), adstest::u8("DD.MM.YY")),
              AE_SUCCESS);
    EXPECT_EQ(t->Terms({"D"}, false), "(D=ctod(\"29.02.2024\"))");
    ASSERT_EQ(AdsSetDateFormat60(form.connection->ConnectionHandle(), adstest::u8("YYYYMMDD")),
              AE_SUCCESS);
    EXPECT_EQ(t->Terms({"D"}, false), "(D=ctod(\"20240229\"))");
    ASSERT_EQ(AdsSetDateFormat60(form.connection->ConnectionHandle(), adstest::u8("DD.MM.YY")),
              AE_SUCCESS);
    // The engine reads them back: searches by date, time and time stamp find the row.
    t->Last();
    EXPECT_TRUE(t->SearchByFieldValues("D", {std::string("29/02/2024")}));
    EXPECT_EQ(t->FieldByName("I")->AsInteger(), 42);
    t->Last();
    EXPECT_TRUE(t->SearchByFieldValues("T", {std::string("10:30:00")}));
    EXPECT_EQ(t->FieldByName("I")->AsInteger(), 42);
    t->Last();
    EXPECT_TRUE(
        t->SearchByFieldValues("TS;S", {std::string("29/02/2024 10:30:00"), std::string("a\"b")}));
    EXPECT_EQ(t->FieldByName("I")->AsInteger(), 42);
    EXPECT_FALSE(t->SearchByFieldValues("D", {std::string("28/02/2024")}));
    t->First();
    EXPECT_EQ(t->Terms({"F"}, false), "(F=" + t->FieldByName("F")->AsString() + ")");
    t->Next();
    EXPECT_EQ(t->Terms({"S", "D", "I", "F", "T", "TS"}, false),
              "(empty(S)) AND (empty(D)) AND (empty(I)) AND (empty(F)) AND (empty(T)) AND "
              "(empty(TS))");
    EXPECT_EQ(t->Terms({"L"}, false), "(L=.FALSE.)");
    // Only in the filter state.
    auto [message, code] = failure([&] { t->TermsOutsideTheFilterState(); });
    EXPECT_EQ(message, "Kinds: Internal Error, << BuildFilterString >>");
    EXPECT_EQ(code, 5121);
}

TEST_F(FilterTest, TheSearchChoosesAnIndexWhoseLeadingSegmentsAreTheFields) {
    StaffTable* t = staff();
    t->Open();
    EXPECT_EQ(t->SearchTag({"NAME"}), "BYNAME");
    EXPECT_EQ(t->SearchTag({"N"}), "BYNCODE");
    EXPECT_EQ(t->SearchTag({"NAME", "N"}), "BYNCODE");  // segments 1 and 2, given in any order
    EXPECT_EQ(t->SearchTag({"N", "NAME", "CODE"}), "BYNCODE");
    EXPECT_EQ(t->SearchTag({"NAME", "CODE"}), "");  // the first segment is missing
    EXPECT_EQ(t->SearchTag({"N", "CODE"}), "");     // a gap
    EXPECT_EQ(t->SearchTag({"BORN"}), "");
    t->Close();
    // An order with a scope is the only one tried.
    t->SetIndexName("BYNCODE");
    t->Open();
    ASSERT_EQ(AdsSetScope(t->ActiveHandle(), ADS_TOP, adstest::u8("1"), 1, ADS_STRINGKEY),
              AE_SUCCESS);
    EXPECT_EQ(t->SearchTag({"NAME"}), "");
    EXPECT_EQ(t->SearchTag({"N"}), "BYNCODE");
}

TEST_F(FilterTest, SearchByFieldValues) {
    StaffTable* t = staff("BYNAME");
    int before = 0, after = 0;
    t->BeforeScroll = [&](db::TDataSet*) { ++before; };
    t->AfterScroll = [&](db::TDataSet*) { ++after; };
    t->Open();
    before = after = 0;
    // A seek on BYNAME.
    EXPECT_TRUE(t->SearchByFieldValues("NAME", {std::string("Jones")}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 30);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    // Nothing found: the row stays, and the dataset moves on from it.
    EXPECT_FALSE(t->SearchByFieldValues("NAME", {std::string("Smi")}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 30);
    EXPECT_EQ(after, 1);
    t->Next();
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 10);
    // A partial key as long as the text without its blanks, soft seek.
    EXPECT_TRUE(t->SearchByFieldValues("NAME", {std::string("Smi")}, {false, true}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 10);
    EXPECT_TRUE(t->SearchByFieldValues("NAME", {std::string("Smithe  ")}, {false, true}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 40);
    // Case-insensitive: filters with UPPER() on both sides, in the dataset's order.
    EXPECT_TRUE(t->SearchByFieldValues("NAME", {std::string("SMITH")}, {true, false}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 10);
    EXPECT_EQ(aof(t), "(none)");
    EXPECT_EQ(exact(t), 0);  // as it was
    EXPECT_TRUE(t->SearchByFieldValues("NAME", {std::string("SMITHE")}, {true, true}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 40);
    // Two fields with no fitting index: a filter; empty values match empty fields.
    EXPECT_TRUE(t->SearchByFieldValues("NAME;CODE", {std::string("Jones"), std::string("A1")}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 30);
    EXPECT_TRUE(t->SearchByFieldValues("BORN", {std::monostate{}}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 30);
    EXPECT_TRUE(t->SearchByFieldValues("NAME; OK", {std::monostate{}, false}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 50);
    EXPECT_TRUE(t->SearchByFieldValues("N", {40}));
    EXPECT_EQ(t->FieldByName("NAME")->AsString(), "Smithers");
    EXPECT_FALSE(t->SearchByFieldValues("N;CODE", {40, std::string("A1")}));
    EXPECT_EQ(t->FieldByName("NAME")->AsString(), "Smithers");
}

TEST_F(FilterTest, TheSearchKeepsTheDatasetFilterAndPutsItBack) {
    StaffTable* t = staff("BYNAME");
    t->SetFilter("N > 15");
    t->SetFiltered(true);
    t->Open();
    EXPECT_EQ(exact(t), 1);
    // The filter fallback ANDs the dataset's filter: Smith (10) is not found, smith (20) is.
    EXPECT_TRUE(t->SearchByFieldValues("NAME", {std::string("smith")}, {true, false}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 20);
    EXPECT_EQ(aof(t), "N > 15");
    EXPECT_EQ(exact(t), 1);
    // A seek finds only rows the filter keeps.
    EXPECT_FALSE(t->SearchByFieldValues("NAME", {std::string("Smith")}));
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 20);
    EXPECT_EQ(t->State(), db::dsBrowse);
}

TEST_F(FilterTest, AFailedSearchPutsTheFilterAndTheExactSettingBack) {
    // A field name the expression language reads as a subtraction: the engine refuses the term.
    makeTable(dir.path(), "ODD.adt", "A-B,Integer;NAME,Character,5");
    addRows(dir.path(), "ODD.adt", {{"1", "x"}, {"2", "y"}});
    auto* t = form.form.CreateOwned<StaffTable>();
    t->SetName("Odd");
    t->SetAdsConnection(form.connection);
    t->SetTableName("ODD.adt");
    t->SetFilter("NAME = 'y'");
    t->SetFiltered(true);
    t->Open();
    ASSERT_EQ(AdsSetExact22(t->TableHandle(), 0), AE_SUCCESS);
    auto [message, code] = failure([&] { t->SearchByFieldValues("A-B", {2}); });
    EXPECT_EQ(code, 5147);
    EXPECT_NE(message.find("Odd: "), std::string::npos) << message;
    EXPECT_NE(message.find("Column \"A\""), std::string::npos) << message;
    EXPECT_EQ(aof(t), "NAME = 'y'");
    EXPECT_EQ(exact(t), 0);
    EXPECT_EQ(t->State(), db::dsBrowse);
    EXPECT_EQ(t->FieldByName("NAME")->AsString(), "y");
    // Without a filter before, none after; the exact setting still as it was.
    t->SetFiltered(false);
    ASSERT_EQ(AdsSetExact22(t->TableHandle(), 1), AE_SUCCESS);
    EXPECT_THROW(t->SearchByFieldValues("A-B", {2}), ads::EADSDatabaseError);
    EXPECT_EQ(aof(t), "(none)");
    EXPECT_EQ(exact(t), 1);
}

TEST_F(FilterTest, SearchRefusals) {
    StaffTable* t = staff("BYNAME");
    t->Open();
    t->Last();
    auto [message, code] = failure([&] { t->SearchByFieldValues("AGE", {1}); });
    EXPECT_EQ(message, "TableStaff: Field 'AGE' not found");
    EXPECT_EQ(code, 0);  // the framework's lookup, before the engine is asked
    std::tie(message, code) =
        failure([&] { t->SearchByFieldValues("NAME;CODE", {std::string("x")}); });
    EXPECT_EQ(message, "TableStaff: The search names 2 field(s) but gives 1 value(s).");
    EXPECT_EQ(code, 5121);
    std::tie(message, code) = failure([&] { t->SearchByFieldValues(" ; ", {}); });
    EXPECT_EQ(message, "TableStaff: No field names given for the search.");
    EXPECT_EQ(t->FieldByName("N")->AsInteger(), 20);
    EXPECT_EQ(t->State(), db::dsBrowse);
}

}  // namespace
