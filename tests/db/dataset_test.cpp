#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/error_of.h"
#include "tests/support/mem_dataset.h"

using namespace db;
using dbtest::TMemDataSet;

namespace {

std::vector<dbtest::ColumnDef> Columns() {
    return {{"ID", ftInteger}, {"NAME", ftString, 10}, {"AMOUNT", ftFloat}, {"DAY", ftDate}};
}

std::unique_ptr<TMemDataSet> MakeSet(int rows, const std::string& name = "T1") {
    auto ds = std::make_unique<TMemDataSet>(Columns());
    ds->SetName(name);
    for (int i = 1; i <= rows; ++i)
        ds->AddRow(
            {std::to_string(i), "N" + std::to_string(i), std::to_string(i) + ".5", "01/02/2003"});
    return ds;
}

std::vector<int> ForwardIds(TDataSet& ds) {
    std::vector<int> ids;
    ds.First();
    while (!ds.Eof()) {
        ids.push_back(ds.FieldByName("ID")->AsInteger());
        ds.Next();
    }
    return ids;
}

using testsupport::ErrorOf;

void LogEvents(TDataSet& ds, std::vector<std::string>& log) {
    auto add = [&log](const char* name) {
        return [&log, name](TDataSet*) { log.push_back(name); };
    };
    ds.BeforeOpen = add("BeforeOpen");
    ds.AfterOpen = add("AfterOpen");
    ds.BeforeClose = add("BeforeClose");
    ds.AfterClose = add("AfterClose");
    ds.BeforeInsert = add("BeforeInsert");
    ds.AfterInsert = add("AfterInsert");
    ds.BeforeEdit = add("BeforeEdit");
    ds.AfterEdit = add("AfterEdit");
    ds.BeforePost = add("BeforePost");
    ds.AfterPost = add("AfterPost");
    ds.BeforeCancel = add("BeforeCancel");
    ds.AfterCancel = add("AfterCancel");
    ds.BeforeDelete = add("BeforeDelete");
    ds.AfterDelete = add("AfterDelete");
    ds.BeforeScroll = add("BeforeScroll");
    ds.AfterScroll = add("AfterScroll");
    ds.OnNewRecord = add("OnNewRecord");
}

// A link that records what it is told, like a grid would use it.
class TTestLink : public TDataLink {
  public:
    std::vector<std::string> log;
    std::string pendingName;  // an in-place editor's text for NAME
    TField* editField = nullptr;

  protected:
    void ActiveChanged() override { log.push_back(Active() ? "active" : "inactive"); }
    void DataSetChanged() override { log.push_back("changed"); }
    void DataSetScrolled(int distance) override {
        log.push_back("scrolled " + std::to_string(distance));
    }
    void EditingChanged() override { log.push_back(Editing() ? "editing" : "not editing"); }
    void RecordChanged(TField* field) override {
        log.push_back("record " + (field ? field->FieldName() : std::string("*")));
    }
    void UpdateData() override {
        log.push_back("update");
        if (editField && !pendingName.empty()) editField->SetText(pendingName);
    }
    void CheckBrowseMode() override { log.push_back("check"); }
};

// The rows a link shows, read as a grid paints them.
std::vector<std::string> LinkRows(TTestLink& link, TDataSet& ds) {
    std::vector<std::string> rows;
    int saved = link.ActiveRecord();
    for (int i = 0; i < link.RecordCount(); ++i) {
        link.SetActiveRecord(i);
        rows.push_back(ds.FieldByName("NAME")->DisplayText());
    }
    link.SetActiveRecord(saved);
    return rows;
}

}  // namespace

// ---- navigation ---------------------------------------------------------------------------

TEST(DataSetNavigation, EmptySetIsAtBothEnds) {
    auto ds = MakeSet(0);
    ds->Open();
    EXPECT_TRUE(ds->Active());
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_TRUE(ds->Bof());
    EXPECT_TRUE(ds->Eof());
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_EQ(ds->RecordCount(), 0);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "");
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 0);
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    EXPECT_EQ(ds->MoveBy(1), 0);
    ds->First();
    EXPECT_TRUE(ds->Bof() && ds->Eof());
    ds->Last();
    EXPECT_TRUE(ds->Bof() && ds->Eof());
    ds->Next();
    ds->Prior();
    EXPECT_TRUE(ds->Bof() && ds->Eof());
    EXPECT_TRUE(ds->GetBookmark().empty());
    EXPECT_EQ(ErrorOf([&] { ds->Delete(); }),
              "T1: Cannot perform this operation on an empty dataset");
}

TEST(DataSetNavigation, OneRow) {
    auto ds = MakeSet(1);
    ds->Open();
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "N1");
    EXPECT_EQ(ds->MoveBy(1), 0);
    EXPECT_TRUE(ds->Eof());
    EXPECT_FALSE(ds->Bof());
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "N1");
    ds->Prior();
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_FALSE(ds->Bof());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(ForwardIds(*ds), std::vector<int>({1}));
}

TEST(DataSetNavigation, ManyRowsForwardBackwardAndMoveBy) {
    auto ds = MakeSet(25);
    ds->Open();
    std::vector<int> expected;
    for (int i = 1; i <= 25; ++i) expected.push_back(i);
    EXPECT_EQ(ForwardIds(*ds), expected);
    EXPECT_TRUE(ds->Eof());

    std::vector<int> back;
    ds->Last();
    while (!ds->Bof()) {
        back.push_back(ds->FieldByName("ID")->AsInteger());
        ds->Prior();
    }
    std::vector<int> reversed(expected.rbegin(), expected.rend());
    EXPECT_EQ(back, reversed);

    ds->First();
    EXPECT_EQ(ds->MoveBy(5), 5);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 6);
    EXPECT_EQ(ds->RecNo(), 6);
    EXPECT_EQ(ds->MoveBy(-2), -2);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
    EXPECT_EQ(ds->MoveBy(100), 21);
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 25);
    EXPECT_EQ(ds->MoveBy(-100), -24);
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(ds->RecordCount(), 25);
}

TEST(DataSetNavigation, BookmarksAndScrollEvents) {
    auto ds = MakeSet(30);
    std::vector<std::string> log;
    ds->Open();
    LogEvents(*ds, log);
    ds->MoveBy(7);
    TBookmark mark = ds->GetBookmark();
    ASSERT_FALSE(mark.empty());
    ds->Last();
    log.clear();
    ds->GotoBookmark(mark);
    EXPECT_EQ(log, std::vector<std::string>({"BeforeScroll", "AfterScroll"}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 8);
    EXPECT_TRUE(ds->BookmarkValid(mark));
    ds->First();
    EXPECT_LT(ds->CompareBookmarks(ds->GetBookmark(), mark), 0);
    EXPECT_EQ(ds->CompareBookmarks(TBookmark(), TBookmark()), 0);
    EXPECT_GT(ds->CompareBookmarks(TBookmark(), mark), 0);
}

TEST(DataSetNavigation, OpenCloseEventsAndBuffers) {
    auto ds = MakeSet(3);
    std::vector<std::string> log;
    LogEvents(*ds, log);
    ds->Open();
    EXPECT_EQ(log, std::vector<std::string>({"BeforeOpen", "AfterOpen", "AfterScroll"}));
    EXPECT_EQ(ds->BufferCount(), 1);
    EXPECT_EQ(ds->liveBuffers, 2);  // the framework's buffer count plus one
    EXPECT_EQ(ds->FieldCount(), 4);
    EXPECT_EQ(ds->FieldByName("name")->FieldNo(), 2);
    log.clear();
    ds->Close();
    EXPECT_EQ(log, std::vector<std::string>({"BeforeClose", "AfterClose"}));
    EXPECT_EQ(ds->liveBuffers, 0);
    EXPECT_EQ(ds->FieldCount(), 0);  // default fields go with the close
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(ErrorOf([&] { ds->RecordCount(); }),
              "T1: Cannot perform this operation on a closed dataset");
    EXPECT_EQ(ErrorOf([&] { ds->Next(); }),
              "T1: Cannot perform this operation on a closed dataset");
}

TEST(DataSetNavigation, OpensWhenLoadingEnds) {
    rtl::TComponent form;
    auto* ds = form.CreateOwned<TMemDataSet>(Columns());
    ds->AddRow({"1", "A"});
    form.BeginLoading();
    ds->SetActive(true);
    EXPECT_FALSE(ds->Active());
    form.EndLoading();
    EXPECT_TRUE(ds->Active());
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "A");
}

// ---- the row window -------------------------------------------------------------------------

TEST(DataSetWindow, LinkWindowFollowsTheCursor) {
    auto ds = MakeSet(20);
    TDataSource source;
    source.SetDataSet(ds.get());
    TTestLink link;
    link.SetBufferCount(5);
    link.SetDataSource(&source);
    ds->Open();
    EXPECT_EQ(ds->BufferCount(), 5);
    EXPECT_EQ(ds->liveBuffers, 6);
    EXPECT_EQ(link.RecordCount(), 5);
    EXPECT_EQ(link.ActiveRecord(), 0);
    EXPECT_EQ(LinkRows(link, *ds), std::vector<std::string>({"N1", "N2", "N3", "N4", "N5"}));

    link.log.clear();
    for (int i = 0; i < 4; ++i) ds->Next();
    EXPECT_EQ(link.ActiveRecord(), 4);
    link.log.clear();
    ds->Next();  // past the window: the window scrolls by one row
    EXPECT_EQ(link.log, std::vector<std::string>({"check", "scrolled 1"}));
    EXPECT_EQ(link.ActiveRecord(), 4);
    EXPECT_EQ(LinkRows(link, *ds), std::vector<std::string>({"N2", "N3", "N4", "N5", "N6"}));
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "N6");

    ds->Last();
    EXPECT_EQ(LinkRows(link, *ds), std::vector<std::string>({"N16", "N17", "N18", "N19", "N20"}));
    EXPECT_EQ(link.ActiveRecord(), 4);

    // Resync centred on a found row, as a key search does.
    ds->First();
    TBookmark mark;
    for (int i = 0; i < 9; ++i) ds->Next();
    mark = ds->GetBookmark();
    ds->Last();
    ds->GotoBookmark(mark);
    EXPECT_EQ(link.ActiveRecord(), 2);
    EXPECT_EQ(LinkRows(link, *ds), std::vector<std::string>({"N8", "N9", "N10", "N11", "N12"}));

    // Resync without flags keeps the current row where it is in the window. Resync reads the
    // row the cursor stands on: the caller brings it to the active row first.
    ds->Next();
    ds->UpdateCursorPos();
    ds->Resync();
    EXPECT_EQ(link.ActiveRecord(), 3);
    EXPECT_EQ(LinkRows(link, *ds), std::vector<std::string>({"N8", "N9", "N10", "N11", "N12"}));
    ds->UpdateCursorPos();
    ds->Resync(rmCenter);
    EXPECT_EQ(link.ActiveRecord(), 2);
    EXPECT_EQ(LinkRows(link, *ds), std::vector<std::string>({"N9", "N10", "N11", "N12", "N13"}));

    // Shrinking and growing the window keeps the current row.
    link.SetBufferCount(2);
    EXPECT_EQ(ds->BufferCount(), 2);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "N11");
    link.SetBufferCount(6);
    EXPECT_EQ(ds->BufferCount(), 6);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "N11");
    EXPECT_EQ(link.RecordCount(), 6);
    ds->Close();
    EXPECT_EQ(ds->liveBuffers, 0);
}

TEST(DataSetWindow, ResyncExactOnAVanishedRowFails) {
    auto ds = MakeSet(3);
    ds->Open();
    ds->Next();
    ds->Delete();  // row 2 gone, row 3 current
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    ds->Delete();  // row 3 gone: the previous row becomes current
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
    ds->Delete();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Bof() && ds->Eof());
}

// ---- editing --------------------------------------------------------------------------------

TEST(DataSetEditing, EditPostInOrder) {
    auto ds = MakeSet(3);
    std::vector<std::string> log;
    ds->Open();
    LogEvents(*ds, log);
    ds->Next();
    log.clear();
    ds->Edit();
    EXPECT_EQ(ds->State(), dsEdit);
    EXPECT_FALSE(ds->Modified());
    ds->FieldByName("NAME")->SetAsString("Changed");
    EXPECT_TRUE(ds->Modified());
    ds->Post();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(log,
              std::vector<std::string>({"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}));
    EXPECT_EQ(ds->Cell(1, "NAME"), "Changed");
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Changed");
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
}

TEST(DataSetEditing, EditOfARowFarFromTheCursorEditsThatRow) {
    auto ds = MakeSet(10);
    TDataSource source;
    source.SetDataSet(ds.get());
    TTestLink link;
    link.SetBufferCount(8);
    link.SetDataSource(&source);
    ds->Open();  // window read ahead: the cursor stands on row 8
    ds->Next();
    ds->Edit();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    ds->FieldByName("NAME")->SetAsString("X");
    ds->Post();
    EXPECT_EQ(ds->Cell(1, "NAME"), "X");
    EXPECT_EQ(ds->Cell(7, "NAME"), "N8");
}

TEST(DataSetEditing, CancelRestores) {
    auto ds = MakeSet(2);
    std::vector<std::string> log;
    ds->Open();
    LogEvents(*ds, log);
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("Gone");
    ds->Cancel();
    EXPECT_EQ(log,
              std::vector<std::string>({"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}));
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "N1");
    EXPECT_EQ(ds->State(), dsBrowse);
}

TEST(DataSetEditing, AppendPostsAtTheEnd) {
    auto ds = MakeSet(3);
    std::vector<std::string> log;
    ds->Open();
    LogEvents(*ds, log);
    ds->OnNewRecord = [&log](TDataSet* sender) {
        log.push_back("OnNewRecord");
        sender->FieldByName("AMOUNT")->SetAsFloat(9.25);
    };
    ds->Append();
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_TRUE(ds->Eof());
    EXPECT_FALSE(ds->Modified());  // the new-record event's values do not count
    EXPECT_DOUBLE_EQ(ds->FieldByName("AMOUNT")->AsFloat(), 9.25);
    EXPECT_TRUE(ds->FieldByName("NAME")->IsNull());
    ds->FieldByName("ID")->SetAsInteger(4);
    ds->FieldByName("NAME")->SetAsString("N4");
    ds->Post();
    EXPECT_EQ(
        log, std::vector<std::string>({"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert",
                                       "AfterScroll", "BeforePost", "AfterPost"}));
    EXPECT_EQ(ds->RowCount(), 4);
    EXPECT_EQ(ds->Cell(3, "NAME"), "N4");
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "N4");
    EXPECT_EQ(ForwardIds(*ds), std::vector<int>({1, 2, 3, 4}));
}

TEST(DataSetEditing, InsertGoesBeforeTheCurrentRowAndCancelReturns) {
    auto ds = MakeSet(3);
    ds->Open();
    ds->Next();  // on 2
    ds->Insert();
    EXPECT_EQ(ds->State(), dsInsert);
    ds->FieldByName("ID")->SetAsInteger(9);
    ds->Cancel();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(ds->RowCount(), 3);

    ds->Insert();
    ds->FieldByName("ID")->SetAsInteger(9);
    ds->Post();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 9);
    EXPECT_EQ(ForwardIds(*ds), std::vector<int>({1, 9, 2, 3}));
}

TEST(DataSetEditing, InsertIntoAnEmptySetAndEditOnEmptyInserts) {
    auto ds = MakeSet(0);
    ds->Open();
    ds->Edit();  // nothing to edit: inserts
    EXPECT_EQ(ds->State(), dsInsert);
    ds->FieldByName("ID")->SetAsInteger(1);
    ds->Post();
    EXPECT_FALSE(ds->IsEmpty());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}

TEST(DataSetEditing, CheckBrowseModePostsOrCancels) {
    auto ds = MakeSet(2);
    ds->Open();
    ds->Edit();
    ds->CheckBrowseMode();  // unmodified: cancelled
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->calls.back(), "InternalCancel");
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("Kept");
    ds->Next();  // navigation posts the pending edit
    EXPECT_EQ(ds->Cell(0, "NAME"), "Kept");
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    ds->Append();
    ds->First();  // an unmodified append is dropped
    EXPECT_EQ(ds->RowCount(), 2);
}

TEST(DataSetEditing, DeleteEventsAndPosition) {
    auto ds = MakeSet(4);
    std::vector<std::string> log;
    ds->Open();
    ds->Next();
    LogEvents(*ds, log);
    ds->Delete();
    EXPECT_EQ(log, std::vector<std::string>(
                       {"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(ForwardIds(*ds), std::vector<int>({1, 3, 4}));
}

TEST(DataSetEditing, AppendAndInsertRecordWithValues) {
    auto ds = MakeSet(2);
    ds->Open();
    ds->AppendRecord({"7", "Seven", "1.25"});
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Seven");
    EXPECT_EQ(ds->RowCount(), 3);
    ds->First();
    ds->InsertRecord({"5", "Five"});
    EXPECT_EQ(ForwardIds(*ds), std::vector<int>({5, 1, 2, 7}));
}

TEST(DataSetEditing, PostErrorKeepsTheStateAndMayRetry) {
    auto ds = MakeSet(2);
    ds->Open();
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("Z");
    ds->failPost = true;
    EXPECT_EQ(ErrorOf([&] { ds->Post(); }), "post failed");
    EXPECT_EQ(ds->State(), dsEdit);
    ds->failPost = true;
    int calls = 0;
    ds->OnPostError = [&calls](TDataSet*, EDatabaseError& e, TDataAction& action) {
        ++calls;
        EXPECT_EQ(e.Message(), "post failed");
        action = daRetry;
    };
    ds->Post();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->Cell(0, "NAME"), "Z");

    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("Q");
    ds->failPost = true;
    ds->OnPostError = [](TDataSet*, EDatabaseError&, TDataAction& action) { action = daAbort; };
    EXPECT_THROW(ds->Post(), rtl::EAbort);
    EXPECT_EQ(ds->State(), dsEdit);
    ds->Cancel();
}

TEST(DataSetEditing, Refusals) {
    auto ds = MakeSet(2);
    ds->Open();
    EXPECT_EQ(ErrorOf([&] { ds->FieldByName("NAME")->SetAsString("x"); }),
              "T1: Dataset not in edit or insert mode");
    EXPECT_EQ(ErrorOf([&] { ds->Post(); }), "T1: Dataset not in edit or insert mode");
    EXPECT_EQ(ErrorOf([&] { ds->FieldByName("NOPE"); }), "T1: Field 'NOPE' not found");
    EXPECT_EQ(ds->FindField("NOPE"), nullptr);
    ds->Cancel();  // nothing pending: nothing happens
    EXPECT_EQ(ds->State(), dsBrowse);

    ds->SetReadOnly(true);
    EXPECT_EQ(ErrorOf([&] { ds->Edit(); }), "T1: Cannot modify a read-only dataset");
    EXPECT_EQ(ErrorOf([&] { ds->Append(); }), "T1: Cannot modify a read-only dataset");
    EXPECT_EQ(ErrorOf([&] { ds->Delete(); }), "T1: Cannot modify a read-only dataset");
    EXPECT_FALSE(ds->CanModify());
    ds->SetReadOnly(false);

    ds->FieldByName("ID")->SetReadOnly(true);
    ds->Edit();
    EXPECT_EQ(ErrorOf([&] { ds->FieldByName("ID")->SetAsInteger(5); }),
              "T1: Field 'ID' cannot be modified");
    ds->Cancel();

    TField* name = ds->FieldByName("NAME");
    ds->Close();
    auto unnamed = std::make_unique<TMemDataSet>(Columns());
    unnamed->AddRow({"1"});
    EXPECT_EQ(ErrorOf([&] { unnamed->Next(); }),
              "Cannot perform this operation on a closed dataset");
    (void)name;
    unnamed->Open();
    EXPECT_EQ(ErrorOf([&] { unnamed->AddField<TStringField>("X", 3); }),
              "Cannot perform this operation on an open dataset");
}

TEST(DataSetEditing, FieldValidationSeesTheNewValue) {
    auto ds = MakeSet(1);
    ds->Open();
    TField* amount = ds->FieldByName("AMOUNT");
    amount->OnValidate = [](TField* f) {
        if (f->AsFloat() < 0) throw EDatabaseError("Amount must not be negative");
    };
    std::vector<std::string> changes;
    amount->OnChange = [&changes](TField* f) { changes.push_back(f->AsString()); };
    ds->Edit();
    EXPECT_EQ(ErrorOf([&] { amount->SetAsFloat(-1); }), "Amount must not be negative");
    EXPECT_DOUBLE_EQ(amount->AsFloat(), 1.5);
    amount->SetAsFloat(2);
    EXPECT_EQ(changes, std::vector<std::string>({"2"}));
    ds->Post();
}

// ---- persistent and calculated fields, filter ------------------------------------------------

TEST(DataSetFields, PersistentAndCalculatedFields) {
    auto ds = MakeSet(3);
    auto* id = ds->AddField<TIntegerField>("ID");
    auto* name = ds->AddField<TStringField>("NAME", 4);  // takes the definition's size at open
    auto* label = ds->AddField<TStringField>("LABEL", 12);
    label->SetFieldKind(fkCalculated);
    auto* twice = ds->AddField<TFloatField>("TWICE");
    twice->SetFieldKind(fkCalculated);
    int calcRuns = 0;
    ds->OnCalcFields = [&](TDataSet* sender) {
        ++calcRuns;
        EXPECT_EQ(sender->State(), dsCalcFields);
        sender->FieldByName("LABEL")->SetAsString(sender->FieldByName("NAME")->AsString() + "!");
        sender->FieldByName("TWICE")->SetAsFloat(sender->FieldByName("ID")->AsInteger() * 2.0);
        EXPECT_EQ(ErrorOf([&] { sender->FieldByName("NAME")->SetAsString("x"); }),
                  "T1: Dataset not in edit or insert mode");
    };
    ds->Open();
    EXPECT_EQ(ds->FieldCount(), 4);  // only the fields defined
    EXPECT_EQ(name->Size(), 10);
    EXPECT_EQ(id->FieldNo(), 1);
    EXPECT_EQ(label->FieldNo(), -1);
    EXPECT_EQ(label->Offset(), 0);
    EXPECT_EQ(twice->Offset(), 14);
    EXPECT_EQ(ds->CalcFieldsSize(), 14 + 9);
    EXPECT_GT(calcRuns, 0);
    EXPECT_EQ(label->AsString(), "N1!");
    ds->Next();
    EXPECT_EQ(label->AsString(), "N2!");
    EXPECT_DOUBLE_EQ(twice->AsFloat(), 4.0);
    ds->Edit();
    name->SetAsString("Zed");
    EXPECT_EQ(label->AsString(), "Zed!");  // recomputed on a field change
    ds->Post();
    EXPECT_EQ(label->AsString(), "Zed!");
    ds->Close();
    EXPECT_EQ(ds->FieldCount(), 4);  // persistent fields stay
    EXPECT_EQ(id->FieldNo(), 0);
    ds->Open();
    EXPECT_EQ(id->AsInteger(), 1);
}

TEST(DataSetFields, MissingOrMistypedPersistentFieldRefusesTheOpen) {
    auto ds = MakeSet(1);
    ds->AddField<TIntegerField>("NOPE");
    EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "T1: Field 'NOPE' not found");
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(ds->liveBuffers, 0);

    auto other = MakeSet(1);
    other->AddField<TDateField>("NAME");
    EXPECT_EQ(ErrorOf([&] { other->Open(); }),
              "T1: Type mismatch for field 'NAME', expecting: Date actual: String");
}

TEST(DataSetFields, FilterEvent) {
    auto ds = MakeSet(10);
    ds->OnFilterRecord = [](TDataSet* sender, bool& accept) {
        EXPECT_EQ(sender->State(), dsFilter);
        accept = sender->FieldByName("ID")->AsInteger() % 3 == 0;
    };
    ds->Open();
    EXPECT_EQ(ForwardIds(*ds), std::vector<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    ds->SetFiltered(true);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(ForwardIds(*ds), std::vector<int>({3, 6, 9}));
    ds->Last();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 9);
    ds->SetFiltered(false);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}

TEST(DataSetFields, MemoThroughBlobStreams) {
    auto ds = std::make_unique<TMemDataSet>(
        std::vector<dbtest::ColumnDef>{{"ID", ftInteger}, {"NOTE", ftMemo}});
    ds->AddRow({"1", "first note"});
    ds->Open();
    TField* note = ds->FieldByName("NOTE");
    EXPECT_EQ(note->DataType(), ftMemo);
    EXPECT_EQ(note->AsString(), "first note");
    EXPECT_EQ(note->DisplayText(), "(MEMO)");
    EXPECT_EQ(ErrorOf([&] { note->SetAsString("x"); }),
              "Table must be in Edit or Insert state to open blob stream in Write Mode.");
    ds->Edit();
    note->SetAsString("second");
    EXPECT_TRUE(ds->Modified());
    EXPECT_EQ(note->AsString(), "second");
    ds->Post();
    EXPECT_EQ(ds->Cell(0, "NOTE"), "second");
    EXPECT_EQ(static_cast<TBlobField*>(note)->BlobSize(), 6);
}

// ---- data sources and links -----------------------------------------------------------------

TEST(DataLinks, Notifications) {
    auto ds = MakeSet(5);
    TDataSource source;
    std::vector<std::string> sourceLog;
    source.OnStateChange = [&](TDataSource* s) {
        sourceLog.push_back("state " + std::to_string(s->State()));
    };
    source.OnDataChange = [&](TDataSource*, TField* f) {
        sourceLog.push_back(f ? "data " + f->FieldName() : "data");
    };
    source.OnUpdateData = [&](TDataSource*) { sourceLog.push_back("update"); };
    source.SetDataSet(ds.get());
    TTestLink link;
    link.SetDataSource(&source);
    EXPECT_FALSE(link.Active());

    ds->Open();
    EXPECT_TRUE(link.Active());
    EXPECT_EQ(link.log, std::vector<std::string>({"active"}));
    EXPECT_EQ(sourceLog, std::vector<std::string>({"state 1", "data"}));

    link.log.clear();
    ds->Next();
    EXPECT_EQ(link.log, std::vector<std::string>({"check", "scrolled 1"}));
    link.log.clear();
    ds->First();
    EXPECT_EQ(link.log, std::vector<std::string>({"check", "changed"}));

    link.log.clear();
    sourceLog.clear();
    ASSERT_TRUE(link.Edit());
    EXPECT_EQ(ds->State(), dsEdit);
    EXPECT_EQ(link.log, std::vector<std::string>({"check", "editing", "record *"}));
    link.log.clear();
    ds->FieldByName("NAME")->SetAsString("Cell");
    EXPECT_EQ(link.log, std::vector<std::string>({"record NAME"}));
    link.log.clear();
    ds->Post();
    EXPECT_EQ(link.log, std::vector<std::string>({"update", "check", "not editing", "changed"}));
    EXPECT_EQ(sourceLog, std::vector<std::string>(
                             {"state 2", "data", "data NAME", "update", "state 1", "data"}));

    link.log.clear();
    ds->Close();
    EXPECT_EQ(link.log, std::vector<std::string>({"inactive"}));
    EXPECT_EQ(link.RecordCount(), 0);
}

TEST(DataLinks, InPlaceEditLikeAGrid) {
    auto ds = MakeSet(3);
    TDataSource source;
    source.SetDataSet(ds.get());
    TTestLink grid;
    grid.SetBufferCount(3);
    grid.SetDataSource(&source);
    ds->Open();
    ds->Next();
    // The user types into the cell of NAME: the grid puts the dataset in edit mode, keeps
    // the text in its editor and writes it when the dataset asks (posting).
    ASSERT_TRUE(grid.Edit());
    grid.editField = ds->FieldByName("NAME");
    grid.pendingName = "Typed";
    ds->Post();
    EXPECT_EQ(ds->Cell(1, "NAME"), "Typed");
    EXPECT_EQ(LinkRows(grid, *ds), std::vector<std::string>({"N1", "Typed", "N3"}));

    // Esc: cancel the pending edit.
    grid.pendingName.clear();
    grid.Edit();
    ds->FieldByName("NAME")->SetText("Nope");
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Typed");
    EXPECT_FALSE(grid.Editing());

    // A read-only link does not edit; a disabled source is inactive for its links.
    grid.SetReadOnly(true);
    EXPECT_FALSE(grid.Edit());
    EXPECT_EQ(ds->State(), dsBrowse);
    source.SetEnabled(false);
    EXPECT_FALSE(grid.Active());
    source.SetEnabled(true);
    EXPECT_TRUE(grid.Active());
    source.SetAutoEdit(false);
    grid.SetReadOnly(false);
    EXPECT_FALSE(grid.Edit());
}

TEST(DataLinks, DisableControlsNests) {
    auto ds = MakeSet(5);
    TDataSource source;
    source.SetDataSet(ds.get());
    TTestLink link;
    link.SetDataSource(&source);
    ds->Open();
    link.log.clear();
    int scrolls = 0;
    ds->AfterScroll = [&scrolls](TDataSet*) { ++scrolls; };
    ds->DisableControls();
    ds->DisableControls();
    EXPECT_TRUE(ds->ControlsDisabled());
    ds->First();
    long total = 0;
    while (!ds->Eof()) {
        total += ds->FieldByName("ID")->AsInteger();
        ds->Next();
    }
    EXPECT_EQ(total, 15);
    EXPECT_GT(scrolls, 0);  // the dataset's own events still run
    ds->EnableControls();
    EXPECT_TRUE(ds->ControlsDisabled());
    EXPECT_TRUE(link.log.empty());
    ds->EnableControls();
    EXPECT_FALSE(ds->ControlsDisabled());
    EXPECT_EQ(link.log, std::vector<std::string>({"changed"}));
    ds->EnableControls();  // unbalanced: nothing
    EXPECT_FALSE(ds->ControlsDisabled());

    // A state change while disabled is told when enabled.
    link.log.clear();
    ds->DisableControls();
    ds->Edit();
    ds->EnableControls();
    EXPECT_EQ(link.log, std::vector<std::string>({"editing", "changed"}));
    ds->Cancel();
}

TEST(DataLinks, TempStateIsSilent) {
    auto ds = MakeSet(2);
    TDataSource source;
    source.SetDataSet(ds.get());
    TTestLink link;
    link.SetDataSource(&source);
    ds->Open();
    link.log.clear();
    TDataSetState saved = ds->SetTempState(dsSetKey);
    EXPECT_EQ(ds->State(), dsSetKey);
    EXPECT_TRUE(ds->ControlsDisabled());
    ds->RestoreState(saved);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_FALSE(ds->ControlsDisabled());
    EXPECT_TRUE(link.log.empty());
}

TEST(DataLinks, DestructionOrderIsSafe) {
    auto ds = MakeSet(2);
    auto source = std::make_unique<TDataSource>();
    auto link = std::make_unique<TTestLink>();
    source->SetDataSet(ds.get());
    link->SetDataSource(source.get());
    ds->Open();
    ds.reset();  // the dataset goes first
    EXPECT_EQ(source->DataSet(), nullptr);
    EXPECT_FALSE(link->Active());
    source.reset();  // then the source
    EXPECT_EQ(link->DataSource(), nullptr);
}
