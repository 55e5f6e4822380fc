#include "db/dataset.h"

#include <algorithm>
#include <cstring>

#include "db/datasource.h"

namespace db {

namespace {

bool CompatibleTypes(TFieldType field, TFieldType def) {
    if (field == def) return true;
    auto pair = [&](TFieldType a, TFieldType b) {
        return (field == a && def == b) || (field == b && def == a);
    };
    return pair(ftString, ftFixedChar) || pair(ftInteger, ftAutoInc) || pair(ftMemo, ftFmtMemo) ||
           pair(ftBlob, ftGraphic) || pair(ftBlob, ftTypedBinary) || pair(ftFloat, ftCurrency);
}

bool IsWriteState(TDataSetState s) {
    return s == dsEdit || s == dsInsert || s == dsSetKey || s == dsCalcFields || s == dsFilter ||
           s == dsNewValue || s == dsInternalCalc;
}

}  // namespace

void TDataSet::BufferDeleter::operator()(std::uint8_t* buffer) const {
    if (buffer) owner->FreeRecordBuffer(buffer);
}

TDataSet::TDataSet(rtl::TComponent* owner) : rtl::TComponent(owner), fields_(this) {}

TDataSet::~TDataSet() {
    // A descendant has called Destroying() already; this only tidies up what is left. Its
    // hooks can no longer be reached, so the buffers go through the base FreeRecordBuffer.
    destroying_ = true;
    state_ = dsInactive;
    buffers_.clear();
    std::vector<TDataSource*> sources = dataSources_;
    for (TDataSource* source : sources) source->DataSetGone();
    dataSources_.clear();
    fields_.Clear();
}

void TDataSet::Destroying() {
    destroying_ = true;
    if (Active() || internalOpenComplete_) CloseNow(false);
}

// ---- opening and closing --------------------------------------------------------------------

void TDataSet::SetActive(bool value) {
    if (Loading()) {
        streamedActive_ = value;
        return;
    }
    if (Active() == value) return;
    if (value) {
        DoEvent(BeforeOpen);
        try {
            DoInternalOpen();
        } catch (...) {
            state_ = dsInactive;
            try {
                CloseCursor();
            } catch (...) {
            }
            throw;
        }
        SetState(dsBrowse);
        DoEvent(AfterOpen);
        if (!IsEmpty()) DoEvent(AfterScroll);
    } else {
        CloseNow(!destroying_);
    }
}

void TDataSet::CloseNow(bool events) {
    if (events) DoEvent(BeforeClose);
    SetState(dsInactive);
    CloseCursor();
    if (events) DoEvent(AfterClose);
}

void TDataSet::DoInternalOpen() {
    defaultFields_ = fields_.Count() == 0;
    InternalOpen();
    internalOpenComplete_ = true;
    UpdateBufferCount();
    bof_ = true;
}

void TDataSet::CloseCursor() {
    internalOpenComplete_ = false;
    ClearBuffers();
    SetBufListSize(0);
    calcBuffer_ = nullptr;
    filterBuffer_ = nullptr;
    try {
        InternalClose();
    } catch (...) {
        bufferCount_ = 0;
        if (defaultFields_) DestroyFields();
        defaultFields_ = false;
        throw;
    }
    bufferCount_ = 0;
    if (defaultFields_)
        DestroyFields();
    else
        BindFields(false);
    defaultFields_ = false;
}

void TDataSet::Loaded() {
    rtl::TComponent::Loaded();
    if (streamedActive_) {
        streamedActive_ = false;
        try {
            SetActive(true);
        } catch (...) {
            InternalHandleException();
        }
    }
}

void TDataSet::InternalHandleException() {
    throw;
}

// ---- states ---------------------------------------------------------------------------------

void TDataSet::SetState(TDataSetState value) {
    if (state_ != value) {
        state_ = value;
        modified_ = false;
        DataEvent(deUpdateState);
    }
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
    TDataSetState old = state_;
    state_ = value;
    ++disableCount_;
    modified_ = false;
    return old;
}

void TDataSet::RestoreState(TDataSetState value) {
    state_ = value;
    --disableCount_;
    modified_ = false;
}

void TDataSet::CheckActive() const {
    if (!Active()) Error(msg::DataSetClosed);
}

void TDataSet::CheckInactive() const {
    if (Active()) Error(msg::DataSetOpen);
}

void TDataSet::CheckCanModify() {
    if (!CanModify()) Error(msg::DataSetReadOnly);
}

void TDataSet::CheckWriteState() const {
    if (!IsWriteState(state_)) Error(msg::NotEditing);
}

// ---- buffers --------------------------------------------------------------------------------

TRecordBuffer TDataSet::AllocRecordBuffer() {
    size_t size = static_cast<size_t>(std::max(1, GetRecordSize() + calcFieldsSize_));
    return new std::uint8_t[size]();
}

void TDataSet::FreeRecordBuffer(TRecordBuffer buffer) {
    delete[] buffer;
}

void TDataSet::ClearCalcFields(TRecordBuffer) {}

TRecordBuffer TDataSet::ActiveBuffer() const {
    return Buffers(activeRecord_);
}

TRecordBuffer TDataSet::Buffers(int index) const {
    if (index < 0 || index >= static_cast<int>(buffers_.size())) return nullptr;
    return buffers_[static_cast<size_t>(index)].get();
}

void TDataSet::SetBufListSize(int value) {
    value = std::max(0, value);
    while (static_cast<int>(buffers_.size()) < value) {
        BufferPtr buffer(AllocRecordBuffer(), BufferDeleter{this});
        buffers_.push_back(std::move(buffer));
    }
    while (static_cast<int>(buffers_.size()) > value) buffers_.pop_back();
    int rows = std::max(0, value - 1);
    if (recordCount_ > rows) recordCount_ = rows;
    if (currentRecord_ >= recordCount_) currentRecord_ = -1;
}

void TDataSet::MoveBuffer(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    BufferPtr moved = std::move(buffers_[static_cast<size_t>(curIndex)]);
    buffers_.erase(buffers_.begin() + curIndex);
    buffers_.insert(buffers_.begin() + newIndex, std::move(moved));
}

void TDataSet::SetBufferCount(int value) {
    value = std::max(1, value);
    if (value == bufferCount_) return;
    if (value < bufferCount_ && recordCount_ > 0) {
        int drop = std::max(0, activeRecord_ - (value - 1));
        if (drop > 0) {
            std::rotate(buffers_.begin(), buffers_.begin() + drop, buffers_.end());
            activeRecord_ -= drop;
            recordCount_ -= drop;
            currentRecord_ = currentRecord_ >= drop ? currentRecord_ - drop : -1;
        }
        if (recordCount_ > value) recordCount_ = value;
        if (currentRecord_ >= recordCount_) currentRecord_ = -1;
    }
    SetBufListSize(value + 1);
    bufferCount_ = value;
    GetNextRecords();
    if (recordCount_ > 0) GetPriorRecords();
    if (state_ != dsInactive) DataEvent(deDataSetChange);
}

void TDataSet::UpdateBufferCount() {
    if (!internalOpenComplete_ || !IsCursorOpen()) return;
    int count = 1;
    for (TDataSource* source : dataSources_)
        for (TDataLink* link : source->dataLinks_) count = std::max(count, link->bufferCount_);
    SetBufferCount(count);
}

void TDataSet::ClearBuffers() {
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = true;
    eof_ = true;
}

void TDataSet::ActivateBuffers() {
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = false;
    eof_ = false;
}

void TDataSet::SetCurrentRecord(int index) {
    if (currentRecord_ == index) return;
    TRecordBuffer buffer = Buffers(index);
    switch (GetBookmarkFlag(buffer)) {
        case bfCurrent:
        case bfInserted:
            InternalSetToRecord(buffer);
            break;
        case bfBOF:
            InternalFirst();
            break;
        case bfEOF:
            InternalLast();
            break;
    }
    currentRecord_ = index;
}

void TDataSet::UpdateCursorPos() {
    if (recordCount_ > 0) SetCurrentRecord(activeRecord_);
}

bool TDataSet::GetNextRecord() {
    TGetMode mode = gmNext;
    if (recordCount_ > 0) {
        SetCurrentRecord(recordCount_ - 1);
        if (state_ == dsInsert && currentRecord_ == activeRecord_ &&
            GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
            mode = gmCurrent;
    }
    bool ok = GetRecord(Buffers(recordCount_), mode, true) == grOK;
    if (ok) {
        if (recordCount_ == 0)
            ActivateBuffers();
        else if (recordCount_ < bufferCount_)
            ++recordCount_;
        else
            MoveBuffer(0, recordCount_);
        currentRecord_ = recordCount_ - 1;
    } else {
        CursorPosChanged();
    }
    return ok;
}

bool TDataSet::GetPriorRecord() {
    if (recordCount_ > 0) SetCurrentRecord(0);
    bool ok = GetRecord(Buffers(recordCount_), gmPrior, true) == grOK;
    if (ok) {
        if (recordCount_ == 0) {
            ActivateBuffers();
        } else {
            MoveBuffer(recordCount_, 0);
            if (recordCount_ < bufferCount_) {
                ++recordCount_;
                ++activeRecord_;
            }
        }
        currentRecord_ = 0;
    } else {
        CursorPosChanged();
    }
    return ok;
}

int TDataSet::GetNextRecords() {
    int n = 0;
    while (recordCount_ < bufferCount_ && GetNextRecord()) ++n;
    return n;
}

int TDataSet::GetPriorRecords() {
    int n = 0;
    while (recordCount_ < bufferCount_ && GetPriorRecord()) ++n;
    return n;
}

void TDataSet::Resync(TResyncMode mode) {
    if (mode & rmExact) {
        CursorPosChanged();
        if (GetRecord(TempBuffer(), gmCurrent, true) != grOK) Error(msg::RecordNotFound);
    } else if (GetRecord(TempBuffer(), gmCurrent, false) != grOK &&
               GetRecord(TempBuffer(), gmNext, false) != grOK &&
               GetRecord(TempBuffer(), gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange);
        return;
    }
    int count = (mode & rmCenter) ? (bufferCount_ - 1) / 2 : activeRecord_;
    MoveBuffer(recordCount_, 0);
    ActivateBuffers();
    try {
        while (count > 0 && GetPriorRecord()) --count;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange);
        throw;
    }
    DataEvent(deDataSetChange);
}

// ---- navigation -----------------------------------------------------------------------------

void TDataSet::First() {
    CheckBrowseMode();
    DoEvent(BeforeScroll);
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecord();
        GetNextRecords();
    } catch (...) {
        bof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    bof_ = true;
    DataEvent(deDataSetChange);
    DoEvent(AfterScroll);
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoEvent(BeforeScroll);
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecord();
        GetPriorRecords();
    } catch (...) {
        eof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    eof_ = true;
    DataEvent(deDataSetChange);
    DoEvent(AfterScroll);
}

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    int result = 0;
    DoEvent(BeforeScroll);
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = false;
        eof_ = false;
        int scroll = 0;
        try {
            while (distance > 0) {
                if (activeRecord_ < recordCount_ - 1) {
                    ++activeRecord_;
                } else {
                    bool full = recordCount_ >= bufferCount_;
                    if (!GetNextRecord()) {
                        eof_ = true;
                        break;
                    }
                    if (full) --scroll;
                    activeRecord_ = recordCount_ - 1;
                }
                --distance;
                ++result;
            }
            while (distance < 0) {
                if (activeRecord_ > 0) {
                    --activeRecord_;
                } else {
                    bool full = recordCount_ >= bufferCount_;
                    if (!GetPriorRecord()) {
                        bof_ = true;
                        break;
                    }
                    if (full) ++scroll;
                    activeRecord_ = 0;
                }
                ++distance;
                --result;
            }
        } catch (...) {
            DataEvent(deDataSetScroll, scroll);
            throw;
        }
        DataEvent(deDataSetScroll, scroll);
        DoEvent(AfterScroll);
    }
    return result;
}

int TDataSet::RecordCount() {
    CheckActive();
    return GetRecordCount();
}

TBookmark TDataSet::GetBookmark() {
    if (!Active() || state_ == dsInsert || IsEmpty() || bookmarkSize_ <= 0) return {};
    TRecordBuffer buffer = ActiveBuffer();
    if (GetBookmarkFlag(buffer) != bfCurrent) return {};
    TBookmark bookmark(static_cast<size_t>(bookmarkSize_));
    GetBookmarkData(buffer, bookmark.data());
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    CheckBrowseMode();
    DoEvent(BeforeScroll);
    InternalGotoBookmark(bookmark.data());
    Resync(rmExact | rmCenter);
    DoEvent(AfterScroll);
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() && b.empty()) return 0;
    if (a.empty()) return 1;
    if (b.empty()) return -1;
    return CompareBookmarksImpl(a.data(), b.data());
}

bool TDataSet::BookmarkValidImpl(const void*) {
    return false;
}
int TDataSet::CompareBookmarksImpl(const void*, const void*) {
    return 0;
}

// ---- editing --------------------------------------------------------------------------------

void TDataSet::CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& handler) {
    for (;;) {
        try {
            (this->*operation)();
            return;
        } catch (EDatabaseError& error) {
            TDataAction action = daFail;
            if (handler) handler(this, error, action);
            if (action == daFail) throw;
            if (action == daAbort) rtl::Abort();
        }
    }
}

void TDataSet::Edit() {
    if (state_ == dsEdit || state_ == dsInsert) return;
    CheckActive();
    if (recordCount_ == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoEvent(BeforeEdit);
    UpdateCursorPos();
    CheckOperation(&TDataSet::CallInternalEdit, OnEditError);
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange);
    DoEvent(AfterEdit);
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
    SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    DoEvent(BeforeInsert);
    DoEvent(BeforeScroll);
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        try {
            UpdateCursorPos();
            SetState(dsBrowse);
            Resync();
        } catch (...) {
        }
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange);
    DoEvent(AfterInsert);
    DoEvent(AfterScroll);
}

void TDataSet::Insert() {
    BeginInsertAppend();
    TBookmark oldCurrent = GetBookmark();
    MoveBuffer(recordCount_, activeRecord_);
    CursorPosChanged();
    TRecordBuffer buffer = ActiveBuffer();
    InitRecord(buffer);
    if (recordCount_ == 0)
        SetBookmarkFlag(buffer, bfBOF);
    else if (!oldCurrent.empty())
        SetBookmarkData(buffer, oldCurrent.data());
    if (recordCount_ < bufferCount_) ++recordCount_;
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    ClearBuffers();
    TRecordBuffer buffer = Buffers(0);
    InitRecord(buffer);
    SetBookmarkFlag(buffer, bfEOF);
    recordCount_ = 1;
    bof_ = false;
    GetPriorRecords();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::AddRecord(const std::vector<std::string>& values, bool append) {
    BeginInsertAppend();
    if (!append) UpdateCursorPos();
    DisableControls();
    try {
        MoveBuffer(recordCount_, activeRecord_);
        TRecordBuffer buffer = ActiveBuffer();
        try {
            InitRecord(buffer);
            state_ = dsInsert;
            DoOnNewRecord();
            DoEvent(AfterInsert);
            for (size_t i = 0; i < values.size() && static_cast<int>(i) < fields_.Count(); ++i) {
                TField* field = fields_.Fields(static_cast<int>(i));
                if (values[i].empty())
                    field->Clear();
                else
                    field->SetAsString(values[i]);
            }
            DoEvent(BeforePost);
            InternalAddRecord(buffer, append);
        } catch (...) {
            state_ = dsBrowse;
            modified_ = false;
            MoveBuffer(activeRecord_, recordCount_);
            throw;
        }
        state_ = dsBrowse;
        modified_ = false;
        Resync();
        DoEvent(AfterPost);
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TDataSet::InternalAddRecord(TRecordBuffer, bool) {
    InternalPost();
}

void TDataSet::UpdateRecord() {
    if (!IsWriteState(state_)) Error(msg::NotEditing);
    DataEvent(deUpdateRecord);
}

void TDataSet::Post() {
    UpdateRecord();
    if (state_ != dsEdit && state_ != dsInsert) return;
    DataEvent(deCheckBrowseMode);
    DoEvent(BeforePost);
    if (state_ == dsEdit) UpdateCursorPos();
    CheckOperation(&TDataSet::CallInternalPost, OnPostError);
    SetState(dsBrowse);
    Resync();
    DoEvent(AfterPost);
}

void TDataSet::Cancel() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    DataEvent(deCheckBrowseMode);
    DoEvent(BeforeCancel);
    bool scrollEvents = state_ == dsInsert;
    if (scrollEvents) DoEvent(BeforeScroll);
    UpdateCursorPos();
    InternalCancel();
    SetState(dsBrowse);
    Resync();
    DoEvent(AfterCancel);
    if (scrollEvents) DoEvent(AfterScroll);
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert || state_ == dsSetKey) {
        Cancel();
        return;
    }
    if (recordCount_ == 0) Error(msg::DataSetEmpty);
    CheckCanModify();
    DataEvent(deCheckBrowseMode);
    DoEvent(BeforeDelete);
    DoEvent(BeforeScroll);
    UpdateCursorPos();
    CheckOperation(&TDataSet::CallInternalDelete, OnDeleteError);
    SetState(dsBrowse);
    Resync();
    DoEvent(AfterDelete);
    DoEvent(AfterScroll);
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    DoEvent(BeforeRefresh);
    UpdateCursorPos();
    InternalRefresh();
    Resync();
    DoEvent(AfterRefresh);
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode);
    switch (state_) {
        case dsEdit:
        case dsInsert:
            UpdateRecord();
            if (modified_)
                Post();
            else
                Cancel();
            break;
        case dsSetKey:
            Post();
            break;
        default:
            break;
    }
}

void TDataSet::ClearFields() {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey) Error(msg::NotEditing);
    DataEvent(deCheckBrowseMode);
    InternalInitRecord(ActiveBuffer());
    if (state_ != dsSetKey) GetCalcFields(ActiveBuffer());
    DataEvent(deRecordChange);
}

void TDataSet::DoOnNewRecord() {
    if (OnNewRecord) OnNewRecord(this);
}

void TDataSet::DoOnCalcFields() {
    if (OnCalcFields) OnCalcFields(this);
}

// ---- fields ---------------------------------------------------------------------------------

bool TDataSet::GetFieldData(TField*, void*) {
    return false;
}

void TDataSet::SetFieldData(TField* field, const void*) {
    CheckWriteState();
    Error("Field '" + field->DisplayName() + "' cannot be modified");
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField*, TBlobStreamMode) {
    return nullptr;
}

TField* TDataSet::AddField(std::unique_ptr<TField> field) {
    CheckInactive();
    return fields_.Add(std::move(field));
}

void TDataSet::UpdateFieldDefs() {
    if (!fieldDefs_.Updated()) {
        InternalInitFieldDefs();
        fieldDefs_.SetUpdated(true);
    }
}

void TDataSet::CreateFields() {
    for (int i = 0; i < fieldDefs_.Count(); ++i) {
        auto field = fieldDefs_.Items(i).CreateField();
        if (field) fields_.Add(std::move(field));
    }
}

void TDataSet::DestroyFields() {
    fields_.Clear();
}

void TDataSet::BindFields(bool binding) {
    calcFieldsSize_ = 0;
    for (int i = 0; i < fields_.Count(); ++i) {
        TField* field = fields_.Fields(i);
        if (!binding) {
            field->fieldNo_ = 0;
            field->offset_ = 0;
            continue;
        }
        if (field->fieldKind_ == fkCalculated || field->fieldKind_ == fkLookup) {
            field->fieldNo_ = -1;
            field->offset_ = calcFieldsSize_;
            calcFieldsSize_ += field->DataSize() + 1;
            continue;
        }
        TFieldDef* def = fieldDefs_.Find(field->FieldName());
        if (!def) Error("Field '" + field->DisplayName() + "' not found");
        if (!CompatibleTypes(field->DataType(), def->DataType()))
            Error(std::string("Type mismatch for field '") + field->DisplayName() +
                  "', expecting: " + FieldTypeName(field->DataType()) +
                  " actual: " + FieldTypeName(def->DataType()));
        if (field->DataType() == ftString || field->DataType() == ftFixedChar ||
            field->DataType() == ftBytes)
            field->size_ = def->Size();
        field->fieldNo_ = def->FieldNo();
    }
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
    if (calcFieldsSize_ <= 0) return;
    TDataSetState saved = state_;
    state_ = dsCalcFields;
    calcBuffer_ = buffer;
    try {
        ClearCalcFields(buffer);
        DoOnCalcFields();
    } catch (...) {
        state_ = saved;
        throw;
    }
    state_ = saved;
}

void TDataSet::UpdateCalcFields() {
    if ((state_ == dsEdit || state_ == dsInsert) && autoCalcFields_) GetCalcFields(ActiveBuffer());
}

bool TDataSet::FilterRecord(TRecordBuffer buffer) {
    if (!filtered_ || !OnFilterRecord) return true;
    bool savedModified = modified_;
    TRecordBuffer savedBuffer = filterBuffer_;
    TDataSetState saved = SetTempState(dsFilter);
    filterBuffer_ = buffer;
    bool accept = true;
    try {
        OnFilterRecord(this, accept);
    } catch (...) {
        RestoreState(saved);
        filterBuffer_ = savedBuffer;
        modified_ = savedModified;
        throw;
    }
    RestoreState(saved);
    filterBuffer_ = savedBuffer;
    modified_ = savedModified;
    return accept;
}

void TDataSet::SetFilteredImpl(bool value) {
    if (Active()) {
        CheckBrowseMode();
        if (filtered_ != value) {
            filtered_ = value;
            First();
        }
    } else {
        filtered_ = value;
    }
}

void TDataSet::SetFilterText(const std::string& text) {
    if (Active() && filtered_) {
        CheckBrowseMode();
        filterText_ = text;
        First();
    } else {
        filterText_ = text;
    }
}

// ---- display links --------------------------------------------------------------------------

void TDataSet::DisableControls() {
    if (disableCount_ == 0) {
        disableState_ = state_;
        enableEvent_ = deDataSetChange;
    }
    ++disableCount_;
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    --disableCount_;
    if (disableCount_ == 0) {
        if (disableState_ != state_) DataEvent(deUpdateState);
        if (disableState_ != dsInactive && state_ != dsInactive) DataEvent(enableEvent_);
    }
}

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
    switch (event) {
        case deFieldChange: {
            auto* field = reinterpret_cast<TField*>(info);
            if (field && (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc))
                modified_ = true;
            UpdateCalcFields();
            if (field) field->Change();
            break;
        }
        case dePropertyChange:
            fieldDefs_.SetUpdated(false);
            break;
        default:
            break;
    }
    if (disableCount_ == 0) {
        std::vector<TDataSource*> sources = dataSources_;
        for (TDataSource* source : sources) source->DataEvent(event, info);
    } else if ((event == deUpdateState && state_ == dsInactive) || event == deLayoutChange) {
        enableEvent_ = deLayoutChange;
    }
}

void TDataSet::AddDataSource(TDataSource* source) {
    dataSources_.push_back(source);
    UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source),
                       dataSources_.end());
    UpdateBufferCount();
}

}  // namespace db
