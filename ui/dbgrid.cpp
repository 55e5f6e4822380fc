#include "ui/dbgrid.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWheelEvent>

#include "ui/application.h"
#include "ui/qtext.h"

namespace ui {

// ---- the data link: the dataset's notifications reach the grid --------------------------------

class TDBGrid::Link : public db::TDataLink {
  public:
    explicit Link(TDBGrid* grid) : grid_(grid) {}

  protected:
    void ActiveChanged() override { grid_->Reload(); }
    void DataSetChanged() override { grid_->Reload(); }
    void DataSetScrolled(int) override { grid_->Reload(); }
    void LayoutChanged() override { grid_->Reload(); }
    void RecordChanged(db::TField*) override { grid_->Reload(); }
    void EditingChanged() override { grid_->Reload(); }
    void UpdateData() override {
        // The dataset is about to post: an open editor's text goes into its field first.
        if (QLineEdit* editor = grid_->Editor()) {
            const int col = grid_->Col();
            if (db::TField* field = grid_->ColumnField(col))
                field->SetText(FromQString(editor->text()));
        }
    }

  private:
    TDBGrid* grid_;
};

// ---- the model: the link's row window as table rows ---------------------------------------------

class TDBGrid::GridModel : public QAbstractTableModel {
  public:
    explicit GridModel(TDBGrid* grid) : grid_(grid) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() || !grid_->link_->Active() ? 0 : grid_->link_->RecordCount();
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : grid_->ColumnCount();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        if (role == Qt::TextAlignmentRole) {
            // Numbers line up on their last digit, as in any table of figures.
            db::TField* field = grid_->ColumnField(index.column());
            bool number =
                field &&
                (field->DataType() == db::ftSmallint || field->DataType() == db::ftInteger ||
                 field->DataType() == db::ftWord || field->DataType() == db::ftFloat ||
                 field->DataType() == db::ftCurrency || field->DataType() == db::ftAutoInc ||
                 field->DataType() == db::ftLargeint || field->DataType() == db::ftBCD);
            return QVariant::fromValue(Qt::AlignVCenter |
                                       (number ? Qt::AlignRight : Qt::AlignLeft));
        }
        if (role != Qt::DisplayRole) return {};
        return ToQString(grid_->DisplayText(index.row(), index.column()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return ToQString(grid_->ColumnTitle(section));
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (grid_->editingAllowed_ && !grid_->readOnly_ && index.isValid())
            flags |= Qt::ItemIsEditable;
        return flags;
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }
    void Changed() {
        const int rows = rowCount({});
        const int cols = columnCount({});
        if (rows > 0 && cols > 0) emit dataChanged(index(0, 0), index(rows - 1, cols - 1));
        if (cols > 0) emit headerDataChanged(Qt::Horizontal, 0, cols - 1);
    }

  private:
    TDBGrid* grid_;
};

// ---- the delegate: the in-place editor ----------------------------------------------------------

class TDBGrid::GridDelegate : public QStyledItemDelegate {
  public:
    GridDelegate(TDBGrid* grid, QObject* parent) : QStyledItemDelegate(parent), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        if (!grid_->BeginCellEdit(index.row(), index.column())) return nullptr;
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        if (db::TField* field = grid_->ColumnField(index.column());
            field && field->DataType() == db::ftString)
            editor->setMaxLength(field->Size());
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        // Only once: later repaints of the row must not overwrite what the user is typing.
        if (editor->property("velda_loaded").toBool()) return;
        editor->setProperty("velda_loaded", true);
        db::TField* field = grid_->ColumnField(index.column());
        std::string text;
        grid_->Dispatch([&] {
            if (field) text = field->Text();
        });
        static_cast<QLineEdit*>(editor)->setText(ToQString(text));
    }
    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        grid_->CommitCell(index.column(), FromQString(static_cast<QLineEdit*>(editor)->text()));
    }

  private:
    TDBGrid* grid_;
};

// ---- the view: keys, clicks, size ---------------------------------------------------------------

class TDBGrid::GridView : public QTableView {
  public:
    GridView(QWidget* parent, TDBGrid* grid) : QTableView(parent), grid_(grid) {}

    QLineEdit* OpenEditor() const {
        if (state() != EditingState) return nullptr;
        return qobject_cast<QLineEdit*>(indexWidget(currentIndex()));
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool ctrl = event->modifiers() & Qt::ControlModifier;
        db::TDataSet* ds = grid_->link_->DataSet();
        if (!grid_->link_->Active() || !ds) {
            QTableView::keyPressEvent(event);
            return;
        }
        switch (event->key()) {
            case Qt::Key_Up:
                grid_->MoveBy(-1);
                return;
            case Qt::Key_Down:
                grid_->MoveBy(1);
                return;
            case Qt::Key_PageUp:
                grid_->MoveBy(-grid_->VisibleRowCount());
                return;
            case Qt::Key_PageDown:
                grid_->MoveBy(grid_->VisibleRowCount());
                return;
            case Qt::Key_Home:
            case Qt::Key_End:
                if (ctrl) {
                    grid_->Dispatch(
                        [&] { event->key() == Qt::Key_Home ? ds->First() : ds->Last(); });
                    return;
                }
                break;
            case Qt::Key_Escape:
                if (ds->State() == db::dsEdit || ds->State() == db::dsInsert) {
                    grid_->CancelEdit();
                    return;
                }
                event->ignore();
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                event->ignore();
                return;
            default:
                break;
        }
        QTableView::keyPressEvent(event);
    }
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
        QTableView::currentChanged(current, previous);
        if (!grid_->syncing_ && current.isValid() && current.row() != grid_->link_->ActiveRecord())
            grid_->MoveTo(current.row());
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QTableView::mouseDoubleClickEvent(event);
        grid_->Fire(grid_->OnDblClick);
    }
    void wheelEvent(QWheelEvent* event) override {
        const int steps = event->angleDelta().y() / 120;
        if (steps != 0) grid_->MoveBy(-steps);
        event->accept();
    }
    void resizeEvent(QResizeEvent* event) override {
        QTableView::resizeEvent(event);
        grid_->UpdateBufferCount();
    }
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override {
        QTableView::closeEditor(editor, hint);
        if (hint == QAbstractItemDelegate::RevertModelCache) grid_->CancelEdit();
    }

  private:
    TDBGrid* grid_;
};

// ---- TDBGrid ------------------------------------------------------------------------------------

TDBGrid::TDBGrid(rtl::TComponent* owner, TWinControl* parent)
    : TWinControl(owner, parent), link_(std::make_unique<Link>(this)) {
    auto* view = new GridView(ParentWidget(), this);
    Attach(view);
    model_ = new GridModel(this);
    model_->setParent(Hooks());
    view->setModel(model_);
    view->setItemDelegate(new GridDelegate(this, Hooks()));
    view->setSelectionBehavior(QAbstractItemView::SelectItems);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->resize(320, 120);
}

TDBGrid::~TDBGrid() {
    // The link goes first: the dataset must not reach a grid half destroyed.
    link_.reset();
}

QTableView* TDBGrid::View() const {
    return static_cast<QTableView*>(Widget());
}

db::TDataSource* TDBGrid::DataSource() const {
    return link_->DataSource();
}

void TDBGrid::SetDataSource(db::TDataSource* source) {
    link_->SetDataSource(source);
    UpdateBufferCount();
    Reload();
}

void TDBGrid::AddColumn(const std::string& fieldName, const std::string& title, int widthChars) {
    columns_.emplace_back(fieldName, title, widthChars);
    Reload();
}

void TDBGrid::ClearColumns() {
    columns_.clear();
    Reload();
}

int TDBGrid::ColumnCount() const {
    if (!columns_.empty()) return static_cast<int>(columns_.size());
    db::TDataSet* ds = link_->DataSet();
    if (!ds || !link_->Active()) return 0;
    int count = 0;
    for (int i = 0; i < ds->FieldCount(); ++i)
        if (ds->Fields().Fields(i)->Visible()) ++count;
    return count;
}

db::TField* TDBGrid::ColumnField(int col) const {
    db::TDataSet* ds = link_->DataSet();
    if (!ds || !link_->Active() || col < 0) return nullptr;
    if (!columns_.empty()) {
        if (col >= static_cast<int>(columns_.size())) return nullptr;
        return ds->FindField(columns_[static_cast<size_t>(col)].FieldName());
    }
    int seen = 0;
    for (int i = 0; i < ds->FieldCount(); ++i) {
        db::TField* field = ds->Fields().Fields(i);
        if (!field->Visible()) continue;
        if (seen++ == col) return field;
    }
    return nullptr;
}

std::string TDBGrid::ColumnTitle(int col) const {
    if (!columns_.empty() && col >= 0 && col < static_cast<int>(columns_.size()))
        return columns_[static_cast<size_t>(col)].Title();
    db::TField* field = ColumnField(col);
    return field ? field->DisplayName() : std::string();
}

int TDBGrid::ColumnWidthPixels(int col) const {
    int chars = 10;
    if (!columns_.empty() && col >= 0 && col < static_cast<int>(columns_.size())) {
        chars = columns_[static_cast<size_t>(col)].WidthChars();
    } else if (db::TField* field = ColumnField(col)) {
        chars = field->DisplayWidth();
    }
    return chars * View()->fontMetrics().averageCharWidth() + 6;
}

void TDBGrid::SetTitleBold(bool bold) {
    QFont font = View()->horizontalHeader()->font();
    font.setBold(bold);
    View()->horizontalHeader()->setFont(font);
}

void TDBGrid::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    link_->SetReadOnly(readOnly);
}

int TDBGrid::VisibleRowCount() const {
    return link_->Active() ? link_->RecordCount() : 0;
}

int TDBGrid::Row() const {
    return link_->Active() && link_->RecordCount() > 0 ? link_->ActiveRecord() : -1;
}

int TDBGrid::Col() const {
    const int col = View()->currentIndex().column();
    return col < 0 ? 0 : col;
}

void TDBGrid::SetCol(int col) {
    if (col < 0 || col >= ColumnCount()) return;
    syncing_ = true;
    View()->setCurrentIndex(model_->index(std::max(0, Row()), col));
    syncing_ = false;
}

std::string TDBGrid::DisplayText(int row, int col) const {
    db::TField* field = ColumnField(col);
    if (!field || row < 0 || row >= link_->RecordCount()) return {};
    // The link shows one row of its window at a time; the active row is put back at once.
    const int active = link_->ActiveRecord();
    link_->SetActiveRecord(row);
    std::string text;
    try {
        text = field->DisplayText();
    } catch (...) {
        text = {};
    }
    link_->SetActiveRecord(active);
    return text;
}

std::string TDBGrid::CellText(int row, int col) const {
    return DisplayText(row, col);
}

QLineEdit* TDBGrid::Editor() const {
    return static_cast<GridView*>(View())->OpenEditor();
}

void TDBGrid::Reload() {
    if (!model_) return;
    const int rows = model_->rowCount({});
    const int cols = model_->columnCount({});
    if (rows != shownRows_ || cols != shownColumns_) {
        shownRows_ = rows;
        shownColumns_ = cols;
        syncing_ = true;
        model_->Reset();
        syncing_ = false;
        ApplyColumnWidths();
    } else {
        model_->Changed();
    }
    SyncCurrent();
}

void TDBGrid::ApplyColumnWidths() {
    for (int col = 0; col < ColumnCount(); ++col)
        View()->setColumnWidth(col, ColumnWidthPixels(col));
}

void TDBGrid::SyncCurrent() {
    if (!link_->Active() || link_->RecordCount() == 0) return;
    const QModelIndex wanted = model_->index(link_->ActiveRecord(), Col());
    if (View()->currentIndex() == wanted) return;
    syncing_ = true;
    View()->setCurrentIndex(wanted);
    syncing_ = false;
}

void TDBGrid::UpdateBufferCount() {
    QTableView* view = View();
    const int rowHeight = std::max(1, view->verticalHeader()->defaultSectionSize());
    const int fits = std::max(1, view->viewport()->height() / rowHeight);
    if (fits != link_->BufferCount()) {
        Dispatch([&] { link_->SetBufferCount(fits); });
        Reload();
    }
}

void TDBGrid::MoveTo(int row) {
    MoveBy(row - link_->ActiveRecord());
}

void TDBGrid::MoveBy(int distance) {
    db::TDataSet* ds = link_->DataSet();
    if (!ds || !link_->Active() || distance == 0) return;
    Dispatch([&] { ds->MoveBy(distance); });
    SyncCurrent();
}

bool TDBGrid::BeginCellEdit(int row, int col) {
    if (!editingAllowed_ || readOnly_) return false;
    bool editing = false;
    Dispatch([&] {
        db::TField* field = ColumnField(col);
        if (!field || !field->CanModify()) return;
        if (row != link_->ActiveRecord()) MoveTo(row);
        editing = link_->Edit();
    });
    return editing;
}

void TDBGrid::CommitCell(int col, const std::string& text) {
    Dispatch([&] {
        db::TDataSet* ds = link_->DataSet();
        db::TField* field = ColumnField(col);
        if (!ds || !field) return;
        if (ds->State() != db::dsEdit && ds->State() != db::dsInsert) return;
        if (field->Text() != text) field->SetText(text);
        // Posts what was changed; an edit that changed nothing is simply ended.
        ds->CheckBrowseMode();
    });
}

void TDBGrid::CancelEdit() {
    db::TDataSet* ds = link_->DataSet();
    if (ds) Dispatch([&] { ds->Cancel(); });
}

}  // namespace ui
