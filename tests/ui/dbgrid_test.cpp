#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

#include "tests/support/mem_dataset.h"
#include "tests/support/ui/simulate.h"
#include "ui/dbgrid.h"
#include "ui_test_support.h"

namespace {

using namespace ui;
using dbtest::TMemDataSet;
using uitest::UiTest;

// The company list: a form with a grid over an in-memory company table.
class Grid : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        form = uitest::ShownForm();
        form->SetClientSize(600, 300);
        table = form->CreateOwned<TMemDataSet>(
            std::vector<dbtest::ColumnDef>{{"COMPANY_CODE", db::ftString, 8},
                                           {"COMPANY_NAME", db::ftString, 40},
                                           {"TOTAL_STAFF", db::ftInteger}});
        table->SetName("TableMCompany");
        source = form->CreateOwned<db::TDataSource>();
        source->SetDataSet(table);
        grid = form->CreateOwned<TDBGrid>();
        grid->SetBounds(0, 0, 580, 200);
        grid->AddColumn("COMPANY_CODE", "Code", 9);
        grid->AddColumn("COMPANY_NAME", "Company Name", 40);
        grid->AddColumn("TOTAL_STAFF", "Staff No", 10);
        grid->SetTitleBold(true);
        grid->SetDataSource(source);
    }
    void Fill(int rows) {
        for (int i = 1; i <= rows; ++i)
            table->AddRow(
                {"A" + std::to_string(i), "Company " + std::to_string(i), std::to_string(i * 10)});
        table->Open();
    }
    std::string Current(const char* field) { return table->FieldByName(field)->AsString(); }

    ui::TFormPtr<TForm> form;
    TMemDataSet* table = nullptr;
    db::TDataSource* source = nullptr;
    TDBGrid* grid = nullptr;
};

TEST_F(Grid, ShowsTheColumnsAndFollowsTheCurrentRowBothWays) {
    Fill(3);
    ASSERT_EQ(grid->ColumnCount(), 3);
    EXPECT_EQ(grid->ColumnTitle(1), "Company Name");
    EXPECT_TRUE(grid->View()->horizontalHeader()->font().bold());
    EXPECT_GT(grid->ColumnWidthPixels(1), grid->ColumnWidthPixels(0));
    EXPECT_EQ(grid->VisibleRowCount(), 3);
    EXPECT_EQ(grid->CellText(2, 1), "Company 3");
    EXPECT_EQ(grid->CellText(1, 2), "20");
    auto alignment = [&](int col) {
        return grid->View()
            ->model()
            ->index(0, col)
            .data(Qt::TextAlignmentRole)
            .value<Qt::Alignment>();
    };
    EXPECT_TRUE(alignment(2) & Qt::AlignRight);  // figures line up on their last digit
    EXPECT_TRUE(alignment(1) & Qt::AlignLeft);

    table->Next();
    EXPECT_EQ(grid->Row(), 1);
    sim::ClickCell(*grid, 2, 0);
    EXPECT_EQ(Current("COMPANY_CODE"), "A3");
    sim::PressKey(*grid, VK_UP);
    EXPECT_EQ(Current("COMPANY_CODE"), "A2");
    EXPECT_EQ(grid->Row(), 1);
}

TEST_F(Grid, MovesThroughMoreRowsThanItShows) {
    Fill(40);
    const int shown = grid->VisibleRowCount();
    ASSERT_GT(shown, 2);
    ASSERT_LT(shown, 40);
    for (int i = 0; i < shown + 2; ++i) sim::PressKey(*grid, VK_DOWN);
    EXPECT_EQ(Current("COMPANY_CODE"), "A" + std::to_string(shown + 3));
    EXPECT_EQ(grid->Row(), shown - 1);  // the last row shown is current
    EXPECT_EQ(grid->CellText(shown - 1, 0), "A" + std::to_string(shown + 3));
    sim::PressKey(*grid, VK_END, ssCtrl);
    EXPECT_EQ(Current("COMPANY_CODE"), "A40");
    sim::PressKey(*grid, VK_HOME, ssCtrl);
    EXPECT_EQ(Current("COMPANY_CODE"), "A1");
    sim::PressKey(*grid, VK_NEXT);
    EXPECT_EQ(Current("COMPANY_CODE"), "A" + std::to_string(1 + shown));
}

TEST_F(Grid, TypingEditsTheCellAndEnterPostsIt) {
    Fill(3);
    sim::ClickCell(*grid, 1, 1);
    sim::Type(*grid, "Northgate");
    ASSERT_NE(grid->Editor(), nullptr);
    EXPECT_EQ(grid->Editor()->text(), QString("Northgate"));  // the first key replaced the text
    EXPECT_EQ(table->State(), db::dsEdit);
    sim::PressKey(*grid, VK_RETURN);
    EXPECT_EQ(grid->Editor(), nullptr);
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_EQ(table->Cell(1, "COMPANY_NAME"), "Northgate");
    EXPECT_EQ(grid->CellText(1, 1), "Northgate");
    EXPECT_EQ(grid->Row(), 1);
}

TEST_F(Grid, EscCancelsTheEdit) {
    Fill(3);
    sim::ClickCell(*grid, 0, 1);
    sim::Type(*grid, "Typo");
    EXPECT_EQ(table->State(), db::dsEdit);
    sim::PressKey(*grid, VK_ESCAPE);
    EXPECT_EQ(grid->Editor(), nullptr);
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_EQ(table->Cell(0, "COMPANY_NAME"), "Company 1");
    EXPECT_EQ(grid->CellText(0, 1), "Company 1");
}

TEST_F(Grid, AValueTheFieldRefusesIsShownAndTheRowStaysInEdit) {
    Fill(3);
    sim::ClickCell(*grid, 0, 2);
    sim::Type(*grid, "abc");
    ui::Script().Message(IDOK);
    sim::PressKey(*grid, VK_RETURN);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"'abc' is not a valid integer value."});
    EXPECT_EQ(table->State(), db::dsEdit);
    sim::PressKey(*grid, VK_ESCAPE);  // the grid's Esc cancels the row's edit
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_EQ(table->Cell(0, "TOTAL_STAFF"), "10");
}

TEST_F(Grid, AReadOnlyDatasetOpensNoEditor) {
    table->SetReadOnly(true);
    Fill(2);
    sim::ClickCell(*grid, 0, 1);
    sim::Type(*grid, "x");
    EXPECT_EQ(grid->Editor(), nullptr);
    EXPECT_EQ(table->State(), db::dsBrowse);
}

TEST_F(Grid, DoubleClickRunsTheHandlerOnTheClickedRow) {
    Fill(3);
    std::string picked;
    grid->OnDblClick = [&](rtl::TComponent* sender) {
        EXPECT_EQ(sender, grid);
        picked = Current("COMPANY_CODE");
    };
    sim::DoubleClickCell(*grid, 2, 1);
    EXPECT_EQ(picked, "A3");
    EXPECT_EQ(grid->Editor(), nullptr);  // a double-click does not edit
}

TEST_F(Grid, WithoutColumnsEveryFieldIsShownAndAClosedTableShowsNothing) {
    grid->ClearColumns();
    EXPECT_EQ(grid->ColumnCount(), 0);
    Fill(1);
    EXPECT_EQ(grid->ColumnCount(), 3);
    EXPECT_EQ(grid->ColumnTitle(0), "COMPANY_CODE");
    table->Close();
    EXPECT_EQ(grid->VisibleRowCount(), 0);
    EXPECT_EQ(grid->Row(), -1);
}

}  // namespace
