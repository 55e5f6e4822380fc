// The dataset base class of the record-set framework.
//
// HOOK CONTRACT (what a descendant such as TAdsDataSet overrides)
//
// The framework keeps a window of BufferCount() record buffers (plus one spare) that the
// descendant allocates (AllocRecordBuffer/FreeRecordBuffer) and fills (GetRecord). Buffers(0 ..
// RecordCount()-1) hold consecutive rows, ActiveRecord() is the current one. The descendant's
// own cursor stands on one of them, Buffers(CurrentRecord()), or is unknown (-1) after
// CursorPosChanged(); UpdateCursorPos() brings it back to the active row through
// InternalSetToRecord (bfCurrent / bfInserted), InternalFirst (bfBOF) or InternalLast (bfEOF).
//
// The window reads ahead: after navigation the cursor usually stands on another buffer's row
// than the active one. The framework calls UpdateCursorPos() before the hooks that act on the
// current row (InternalEdit, InternalPost in edit, InternalCancel, InternalDelete,
// InternalRefresh); a descendant that acts on the current row by itself (a key search, a
// change of index order) calls UpdateCursorPos() first. Resync(mode) re-reads the window
// around the row the cursor stands on now (GetRecord current, else next, else prior).
//
// Opening (Open / SetActive(true)): BeforeOpen; InternalOpen(); then the framework sizes the
//   window (allocating BufferCount()+1 buffers) and fetches the first rows with
//   GetRecord(next) from wherever InternalOpen left the cursor (it must leave it before the
//   first row, as InternalFirst does); state browse; AfterOpen; AfterScroll when not empty.
//   InternalOpen must: set up its cursor; InternalInitFieldDefs(); if (DefaultFields())
//   CreateFields(); BindFields(true) (this assigns the calculated-field offsets and
//   CalcFieldsSize()); set BookmarkSize(); and only then anything sized from them. A throw
//   from InternalOpen leaves the dataset closed (InternalClose runs: it must cope with a
//   half-made open).
// Closing: BeforeClose; state inactive; buffers freed (FreeRecordBuffer) while the descendant
//   still knows its layout; InternalClose() (which should BindFields(false) and, if
//   DefaultFields(), DestroyFields(); the framework does it afterwards when it did not);
//   AfterClose. A descendant's destructor must call Destroying() (closes without events) —
//   the base destructor can no longer reach the descendant's hooks.
// GetRecord(buffer, mode, doCheck): mode gmNext moves the cursor one row on and reads it,
//   gmPrior one row back, gmCurrent reads the row it stands on. Answer grOK (buffer filled,
//   bookmark data and flag bfCurrent set, calculated fields computed with GetCalcFields(buffer)),
//   grEOF / grBOF when there is no row in that direction (the cursor then stands after the last
//   / before the first row), grError for any other failure (or raise when doCheck). Filtering:
//   skip rows the descendant's filter rejects; FilterRecord(buffer) runs OnFilterRecord in the
//   dsFilter state when Filtered() is set (FilterBuffer() is then the buffer to read from).
// GetFieldData(field, dest): pick the buffer by State(): browse → ActiveBuffer() (none when
//   IsEmpty()), edit/insert → ActiveBuffer(), dsCalcFields/dsInternalCalc → CalcBuffer(),
//   dsFilter → FilterBuffer(), dsSetKey / dsOldValue / dsNewValue → the descendant's own;
//   FieldNo() > 0: data of the record image; calc/lookup: the byte at calc area + Offset()
//   says whether a value is present, the data follows. Answer whether there is a value and
//   copy it (native form, fields.h) when dest is given.
// SetFieldData(field, value or nullptr): refuse outside the write states (CheckWriteState
//   gives the framework's refusal), run field->Validate(value) in edit/insert, write, then
//   (except in dsCalcFields, dsFilter, dsNewValue) NotifyFieldChanged(field).
// Edit: BeforeEdit; InternalEdit() (lock, re-read the active buffer); calc fields; state edit.
// Insert/Append: BeforeInsert, BeforeScroll; the framework takes a buffer for the new row and
//   calls InitRecord(buffer) = InternalInitRecord(buffer) + ClearCalcFields + flag bfInserted,
//   then SetBookmarkFlag(bfEOF) (append, or insert into an empty set: bfBOF) or the old current
//   row's bookmark (insert); InternalInsert(); state insert; DoOnNewRecord() (OnNewRecord);
//   AfterInsert, AfterScroll.
// Post: UpdateRecord (links write pending edits); BeforePost; InternalPost() (on error:
//   OnPostError decides fail / abort / retry; the state stays edit or insert); state browse;
//   Resync() re-reads the window around the cursor, which InternalPost must leave on the
//   posted row; AfterPost.
// Cancel: BeforeCancel; UpdateCursorPos(); InternalCancel() (leave the cursor on the row to
//   show); state browse; Resync(); AfterCancel.
// Delete: BeforeDelete, BeforeScroll; UpdateCursorPos(); InternalDelete() (leave the cursor on
//   the row after the deleted one, or past the end); Resync(); AfterDelete, AfterScroll.
// Refresh: UpdateCursorPos(); InternalRefresh(); Resync().
// GotoBookmark: InternalGotoBookmark(data) then Resync(rmExact | rmCenter) ("Record not found"
//   when GetRecord(current) fails). A descendant that positions its cursor itself (a key
//   search) calls CursorPosChanged() before it moves and Resync(rmExact | rmCenter) after.
//
// Errors of the framework are EDatabaseError, prefixed with Name() + ": " when it has one.
#ifndef VELDA_DB_DATASET_H
#define VELDA_DB_DATASET_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/database_error.h"
#include "db/fields.h"
#include "db/stream.h"
#include "rtl/component.h"

namespace db {

class TDataSource;

enum TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsInternalCalc,
    dsBlockRead,
    dsOpening
};

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };

using TResyncMode = unsigned;
constexpr TResyncMode rmExact = 1;   // the cursor's row must still exist ("Record not found")
constexpr TResyncMode rmCenter = 2;  // put the current row in the middle of the window

enum TDataEvent {
    deFieldChange,
    deRecordChange,
    deDataSetChange,
    deDataSetScroll,
    deLayoutChange,
    deUpdateRecord,
    deUpdateState,
    deCheckBrowseMode,
    dePropertyChange,
    deFieldListChange,
    deFocusControl
};

enum TDataAction { daFail, daAbort, daRetry };

using TRecordBuffer = std::uint8_t*;
using TBookmark = std::vector<std::uint8_t>;  // empty: no bookmark

// Framework messages.
namespace msg {
inline constexpr const char* NotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* DataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* DataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* DataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* DataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* RecordNotFound = "Record not found";
inline constexpr const char* NotBrowsing = "Dataset not in browse mode";  // kept for descendants
inline constexpr const char* CircularDataLink = "Circular datalinks are not allowed";
}  // namespace msg

class TDataSet : public rtl::TComponent {
  public:
    using TDataSetNotifyEvent = std::function<void(TDataSet* sender)>;
    using TFilterRecordEvent = std::function<void(TDataSet* sender, bool& accept)>;
    using TDataSetErrorEvent =
        std::function<void(TDataSet* sender, EDatabaseError& error, TDataAction& action)>;

    explicit TDataSet(rtl::TComponent* owner = nullptr);
    ~TDataSet() override;

    // ---- opening and state ---------------------------------------------------------------
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Active() const { return state_ != dsInactive; }
    // While the owner is loading, the value is kept and applied by Loaded().
    void SetActive(bool value);
    TDataSetState State() const { return state_; }
    // Temporary states (key entry, filter, calc, old/new value): no notifications while set.
    TDataSetState SetTempState(TDataSetState value);
    void RestoreState(TDataSetState value);

    // ---- navigation ------------------------------------------------------------------------
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance);  // answers the rows actually moved (signed)
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return activeRecord_ >= recordCount_; }
    int RecordCount();  // GetRecordCount(); the dataset must be open
    int RecNo() { return GetRecNo(); }
    void SetRecNo(int value) { SetRecNoImpl(value); }
    TBookmark GetBookmark();  // empty when the current row has none (empty set, inserting)
    void GotoBookmark(const TBookmark& bookmark);
    bool BookmarkValid(const TBookmark& bookmark) {
        return !bookmark.empty() && BookmarkValidImpl(bookmark.data());
    }
    int CompareBookmarks(const TBookmark& a, const TBookmark& b);

    // ---- editing ---------------------------------------------------------------------------
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    void Refresh();
    void CheckBrowseMode();  // posts a modified pending edit, cancels an unmodified one
    void UpdateRecord();     // links write their pending edits (deUpdateRecord)
    bool CanModify() { return GetCanModify(); }
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    void ClearFields();  // all data fields of the row in edit/insert to no value
    // A new row with the given texts for the first fields in order (empty text: no value),
    // posted at once through InternalAddRecord.
    void AppendRecord(const std::vector<std::string>& values) { AddRecord(values, true); }
    void InsertRecord(const std::vector<std::string>& values) { AddRecord(values, false); }

    // ---- fields ----------------------------------------------------------------------------
    TFields& Fields() { return fields_; }
    int FieldCount() const { return fields_.Count(); }
    TField* FindField(const std::string& name) const { return fields_.FindField(name); }
    TField* FieldByName(const std::string& name) const { return fields_.FieldByName(name); }
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    // Brings FieldDefs up to date (InternalInitFieldDefs) unless they are.
    void UpdateFieldDefs();
    // Adds a field object defined before open ("persistent" field); the dataset owns it.
    TField* AddField(std::unique_ptr<TField> field);
    template <class F, class... Args>
    F* AddField(Args&&... args) {
        return static_cast<F*>(AddField(std::make_unique<F>(std::forward<Args>(args)...)));
    }
    bool DefaultFields() const { return defaultFields_; }
    int CalcFieldsSize() const { return calcFieldsSize_; }
    bool AutoCalcFields() const { return autoCalcFields_; }
    void SetAutoCalcFields(bool value) { autoCalcFields_ = value; }

    // ---- display links ---------------------------------------------------------------------
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ != 0; }

    // ---- filtering -------------------------------------------------------------------------
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool value) { SetFilteredImpl(value); }
    const std::string& Filter() const { return filterText_; }
    void SetFilter(const std::string& text) { SetFilterText(text); }

    // ---- events (Sender = this dataset) ----------------------------------------------------
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    TFilterRecordEvent OnFilterRecord;
    TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

    // ---- field data hooks (public: field objects call them) --------------------------------
    virtual bool GetFieldData(TField* field, void* destination);
    virtual void SetFieldData(TField* field, const void* value);
    virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);

    // ---- the row window (for descendants and data links) -----------------------------------
    int BufferCount() const { return bufferCount_; }
    int ActiveRecord() const { return activeRecord_; }
    int CurrentRecord() const { return currentRecord_; }
    int WindowRecordCount() const { return recordCount_; }  // rows held in the window
    TRecordBuffer ActiveBuffer() const;
    TRecordBuffer Buffers(int index) const;
    TRecordBuffer CalcBuffer() const { return calcBuffer_; }
    TRecordBuffer FilterBuffer() const { return filterBuffer_; }
    TRecordBuffer TempBuffer() const { return Buffers(recordCount_); }
    int BookmarkSize() const { return bookmarkSize_; }
    void Resync(TResyncMode mode = 0);
    void CursorPosChanged() { currentRecord_ = -1; }
    void UpdateCursorPos();

    // Data events go to the data sources (and their links) unless controls are disabled.
    virtual void DataEvent(TDataEvent event, std::intptr_t info = 0);
    void NotifyFieldChanged(TField* field) {
        DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
    }

  protected:
    // ---- hooks: cursor -------------------------------------------------------------------
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual bool IsCursorOpen() const = 0;
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalFirst() = 0;  // cursor before the first row
    virtual void InternalLast() = 0;   // cursor after the last row
    virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
    virtual void InternalHandleException();  // default: rethrows the current exception

    // ---- hooks: buffers and bookmarks -----------------------------------------------------
    virtual TRecordBuffer
    AllocRecordBuffer();  // default: GetRecordSize()+CalcFieldsSize() zero bytes
    virtual void FreeRecordBuffer(TRecordBuffer buffer);  // default: frees what the default made
    virtual int GetRecordSize() const { return 0; }
    virtual void InternalInitRecord(TRecordBuffer buffer) = 0;  // blank record image
    virtual void InitRecord(
        TRecordBuffer buffer);  // InternalInitRecord + ClearCalcFields + bfInserted
    virtual void ClearCalcFields(TRecordBuffer buffer);                  // default: nothing
    virtual void GetBookmarkData(TRecordBuffer buffer, void* data) = 0;  // BookmarkSize() bytes
    virtual void SetBookmarkData(TRecordBuffer buffer, const void* data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
    virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
    virtual void InternalGotoBookmark(const void* bookmark) = 0;
    virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;      // cursor to this buffer's row
    virtual bool BookmarkValidImpl(const void* bookmark);            // default: false
    virtual int CompareBookmarksImpl(const void* a, const void* b);  // default: 0

    // ---- hooks: editing ------------------------------------------------------------------
    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalPost() = 0;
    virtual void InternalCancel() {}
    virtual void InternalDelete() = 0;
    virtual void InternalRefresh() {}
    // Appends or inserts the record built in buffer (the active buffer; state dsInsert).
    // Default: InternalPost().
    virtual void InternalAddRecord(TRecordBuffer buffer, bool append);
    virtual bool GetCanModify() { return true; }
    virtual int GetRecordCount() { return -1; }
    virtual int GetRecNo() { return -1; }
    virtual void SetRecNoImpl(int) {}
    virtual void SetFilteredImpl(bool value);  // base: store; when open, re-read from First
    virtual void SetFilterText(const std::string& text);  // base: store; refilter when filtered
    virtual void DoOnNewRecord();                         // OnNewRecord
    virtual void DoOnCalcFields();                        // OnCalcFields

    // ---- framework services for descendants -------------------------------------------------
    void CreateFields();  // default field objects from FieldDefs (types without one skipped)
    void DestroyFields();
    void BindFields(bool binding);  // FieldNo from FieldDefs ("Field 'X' not found"); calc offsets
    void SetBookmarkSize(int size) { bookmarkSize_ = size; }
    void SetBufListSize(int value);  // allocates / frees buffers so that exactly value exist
    void SetBufferCount(int value);
    void UpdateBufferCount();  // BufferCount := the largest any data link asks for (>= 1)
    void GetCalcFields(TRecordBuffer buffer);  // OnCalcFields in dsCalcFields for buffer
    // Runs OnFilterRecord on buffer in dsFilter; true when accepted (or no filter event /
    // not Filtered()).
    bool FilterRecord(TRecordBuffer buffer);
    // Store the filter settings without re-reading, for descendants that apply them themselves.
    void StoreFiltered(bool value) { filtered_ = value; }
    void StoreFilterText(const std::string& text) { filterText_ = text; }
    // The buffer field values are read from and written to in dsFilter (a descendant's search
    // fills a scratch row there).
    void SetFilterBuffer(TRecordBuffer buffer) { filterBuffer_ = buffer; }
    void SetState(TDataSetState value);
    void CheckActive() const;
    void CheckInactive() const;
    void CheckCanModify();
    // The framework's refusal of a field write outside dsEdit, dsInsert, dsSetKey,
    // dsCalcFields, dsFilter, dsNewValue, dsInternalCalc.
    void CheckWriteState() const;
    [[noreturn]] void Error(const std::string& message) const { DatabaseError(message, this); }
    void ClearBuffers();
    int GetNextRecords();
    int GetPriorRecords();
    bool GetNextRecord();
    bool GetPriorRecord();
    void SetCurrentRecord(int index);
    void Destroying();  // for the descendant's destructor: close without events
    void Loaded() override;

  private:
    friend class TDataSource;
    friend class TDataLink;
    struct BufferDeleter {
        TDataSet* owner;
        void operator()(std::uint8_t* buffer) const;
    };
    using BufferPtr = std::unique_ptr<std::uint8_t, BufferDeleter>;

    void CloseCursor();
    void CloseNow(bool events);
    void DoInternalOpen();
    void MoveBuffer(int curIndex, int newIndex);
    void ActivateBuffers();
    void BeginInsertAppend();
    void EndInsertAppend();
    void AddRecord(const std::vector<std::string>& values, bool append);
    void CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& handler);
    void DoEvent(const TDataSetNotifyEvent& event) {
        if (event) event(this);
    }
    void UpdateCalcFields();
    void AddDataSource(TDataSource* source);
    void RemoveDataSource(TDataSource* source);
    void CallInternalEdit() { InternalEdit(); }
    void CallInternalPost() { InternalPost(); }
    void CallInternalDelete() { InternalDelete(); }

    TDataSetState state_ = dsInactive;
    TFields fields_;
    TFieldDefs fieldDefs_;
    std::vector<BufferPtr> buffers_;
    int bufferCount_ = 0;
    int recordCount_ = 0;
    int activeRecord_ = 0;
    int currentRecord_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    bool modified_ = false;
    bool defaultFields_ = false;
    bool internalOpenComplete_ = false;
    bool streamedActive_ = false;
    bool destroying_ = false;
    bool autoCalcFields_ = true;
    bool filtered_ = false;
    std::string filterText_;
    int calcFieldsSize_ = 0;
    int bookmarkSize_ = 0;
    int disableCount_ = 0;
    TDataSetState disableState_ = dsInactive;
    TDataEvent enableEvent_ = deDataSetChange;
    TRecordBuffer calcBuffer_ = nullptr;
    TRecordBuffer filterBuffer_ = nullptr;
    std::vector<TDataSource*> dataSources_;
};

}  // namespace db

#endif
