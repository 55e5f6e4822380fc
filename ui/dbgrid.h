// The data-aware grid: shows the rows of a dataset (through a data source) and follows its
// current row; moving in the grid moves the dataset.
//
// The grid shows as many rows as fit; they are the dataset's row window (the grid's data link
// asks for that many buffers), so a dataset of any size is shown without reading it all.
// Up/Down move one row, Page Up/Down one page, Ctrl+Home/End to the first/last row, the wheel
// one row per step; a click makes the clicked row current.
//
// In-place editing (when enabled and the field can be modified): typing or F2 opens an
// editor on the current cell and puts the dataset in edit state; Enter, Tab, another cell or
// leaving the grid writes the text into the field (TField::SetText) and posts the row; Esc
// cancels the edit (TDataSet::Cancel). A failed write or post is shown by the error display
// and leaves the row in edit state, so the user can correct it or press Esc.
#ifndef VELDA_UI_DBGRID_H
#define VELDA_UI_DBGRID_H

#include <memory>
#include <string>
#include <vector>

#include "db/datasource.h"
#include "ui/controls.h"

class QTableView;
class QLineEdit;

namespace ui {

class TDBGrid;

class TColumn {
  public:
    TColumn(std::string fieldName, std::string title, int widthChars)
        : fieldName_(std::move(fieldName)), title_(std::move(title)), widthChars_(widthChars) {}
    const std::string& FieldName() const { return fieldName_; }
    const std::string& Title() const { return title_; }
    int WidthChars() const { return widthChars_; }

  private:
    std::string fieldName_;
    std::string title_;
    int widthChars_;
};

class TDBGrid : public TWinControl {
  public:
    explicit TDBGrid(rtl::TComponent* owner, TWinControl* parent = nullptr);
    ~TDBGrid() override;

    db::TDataSource* DataSource() const;
    void SetDataSource(db::TDataSource* source);

    // Columns in order; without any, every visible field of the dataset is a column, titled
    // with its display label and as wide as its display width.
    void AddColumn(const std::string& fieldName, const std::string& title, int widthChars);
    void ClearColumns();
    int ColumnCount() const;  // the columns shown now
    std::string ColumnTitle(int col) const;
    db::TField* ColumnField(int col) const;  // nullptr when the dataset has no such field
    int ColumnWidthPixels(int col) const;

    void SetTitleBold(bool bold);
    // In-place editing (on by default) and read-only (off).
    bool EditingAllowed() const { return editingAllowed_; }
    void SetEditingAllowed(bool allowed) { editingAllowed_ = allowed; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    // The rows shown (the dataset's row window), the current one and its cells.
    int VisibleRowCount() const;
    int Row() const;  // -1 with no rows
    int Col() const;
    void SetCol(int col);
    std::string CellText(int row, int col) const;

    // The open in-place editor, or nullptr.
    QLineEdit* Editor() const;

    TNotifyEvent OnDblClick;
    QTableView* View() const;

  private:
    class Link;
    class GridModel;
    class GridView;
    class GridDelegate;

    void Reload();
    void SyncCurrent();
    void UpdateBufferCount();
    void ApplyColumnWidths();
    void MoveTo(int row);
    void MoveBy(int distance);
    bool BeginCellEdit(int row, int col);
    void CommitCell(int col, const std::string& text);
    void CancelEdit();
    std::string DisplayText(int row, int col) const;

    std::unique_ptr<Link> link_;
    GridModel* model_ = nullptr;  // owned by the view
    std::vector<TColumn> columns_;
    bool editingAllowed_ = true;
    bool readOnly_ = false;
    bool syncing_ = false;
    int shownRows_ = -1;
    int shownColumns_ = -1;
};

}  // namespace ui

#endif
