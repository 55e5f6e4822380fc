#include "tests/support/mem_dataset.h"

namespace dbtest {

namespace {

class TMemBlobStream : public TMemoryStream {
  public:
    TMemBlobStream(TMemDataSet* ds, TField* field, bool writable)
        : ds_(ds), field_(field), writable_(writable) {}
    ~TMemBlobStream() override {
        if (modified_)
            ds_->BlobWritten(field_->FieldNo(), std::string(Memory().begin(), Memory().end()),
                             field_);
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        if (!writable_) throw EDatabaseError("Error modifying read only blob.");
        modified_ = true;
        return TMemoryStream::Write(buffer, count);
    }
    void MarkModified() { modified_ = true; }

  private:
    TMemDataSet* ds_;
    TField* field_;
    bool writable_;
    bool modified_ = false;
};

}  // namespace

int TMemDataSet::NativeSize(const ColumnDef& c) const {
    switch (c.type) {
        case ftString:
            return c.size + 1;
        case ftSmallint:
        case ftBoolean:
            return 2;
        case ftInteger:
        case ftAutoInc:
        case ftDate:
        case ftTime:
            return 4;
        case ftFloat:
        case ftCurrency:
        case ftDateTime:
            return 8;
        case ftBytes:
            return c.size;
        default:
            return 0;
    }
}

void TMemDataSet::Layout() {
    offsets_.clear();
    recordSize_ = 0;
    for (const auto& c : columns_) {
        offsets_.push_back(recordSize_);
        recordSize_ += 1 + NativeSize(c);
    }
}

void TMemDataSet::AddRow(const std::vector<std::string>& texts) {
    Layout();
    Row row{nextId_++, std::vector<std::uint8_t>(static_cast<size_t>(recordSize_), 0), {}};
    for (size_t i = 0; i < texts.size() && i < columns_.size(); ++i) {
        if (texts[i].empty() && columns_[i].type != ftString) continue;
        std::uint8_t* p = row.image.data() + offsets_[i];
        p[0] = 1;
        const std::string& t = texts[i];
        switch (columns_[i].type) {
            case ftString:
                std::memcpy(p + 1, t.data(),
                            std::min<size_t>(t.size(), static_cast<size_t>(columns_[i].size)));
                break;
            case ftSmallint: {
                auto v = static_cast<std::int16_t>(rtl::StrToInt(t));
                std::memcpy(p + 1, &v, 2);
                break;
            }
            case ftBoolean: {
                std::int16_t v = (t == "T") ? -1 : 0;
                std::memcpy(p + 1, &v, 2);
                break;
            }
            case ftInteger:
            case ftAutoInc: {
                std::int32_t v = rtl::StrToInt(t);
                std::memcpy(p + 1, &v, 4);
                break;
            }
            case ftFloat:
            case ftCurrency: {
                double v = rtl::StrToFloat(t);
                std::memcpy(p + 1, &v, 8);
                break;
            }
            case ftDate: {
                std::int32_t v = rtl::DateTimeToTimeStamp(rtl::StrToDate(t)).Date;
                std::memcpy(p + 1, &v, 4);
                break;
            }
            case ftMemo:
            case ftBlob:
                row.blobs[static_cast<int>(i) + 1] = t;
                break;
            default:
                p[0] = 0;
                break;
        }
    }
    rows_.push_back(std::move(row));
}

void TMemDataSet::InternalInitFieldDefs() {
    FieldDefs().Clear();
    for (const auto& c : columns_) FieldDefs().Add(c.name, c.type, c.size);
    FieldDefs().SetUpdated(true);
}

void TMemDataSet::InternalOpen() {
    calls.push_back("InternalOpen");
    open_ = true;
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    Layout();
    SetBookmarkSize(4);
    pos_ = -1;
}

void TMemDataSet::InternalClose() {
    calls.push_back("InternalClose");
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    open_ = false;
    pendingBlobs_.clear();
}

TRecordBuffer TMemDataSet::AllocRecordBuffer() {
    ++liveBuffers;
    return new std::uint8_t[static_cast<size_t>(recordSize_ + CalcFieldsSize() + 5)]();
}

void TMemDataSet::FreeRecordBuffer(TRecordBuffer buffer) {
    --liveBuffers;
    delete[] buffer;
}

void TMemDataSet::Fill(TRecordBuffer buffer) {
    const Row& row = rows_[static_cast<size_t>(pos_)];
    std::memcpy(buffer, row.image.data(), static_cast<size_t>(recordSize_));
    std::memcpy(Info(buffer), &row.id, 4);
    SetBookmarkFlag(buffer, bfCurrent);
}

TGetResult TMemDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool) {
    const int n = static_cast<int>(rows_.size());
    for (;;) {
        if (mode == gmNext) {
            if (pos_ < n) ++pos_;
        } else if (mode == gmPrior) {
            if (pos_ >= 0) --pos_;
        }
        if (pos_ >= n) {
            pos_ = n;
            return grEOF;
        }
        if (pos_ < 0) {
            pos_ = -1;
            return grBOF;
        }
        Fill(buffer);
        GetCalcFields(buffer);
        if (FilterRecord(buffer)) return grOK;
        if (mode == gmCurrent) mode = gmNext;
    }
}

void TMemDataSet::InternalInitRecord(TRecordBuffer buffer) {
    std::memset(buffer, 0, static_cast<size_t>(recordSize_));
    std::int32_t none = 0;
    std::memcpy(Info(buffer), &none, 4);
}

void TMemDataSet::ClearCalcFields(TRecordBuffer buffer) {
    std::memset(buffer + recordSize_, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TMemDataSet::InternalGotoBookmark(const void* bookmark) {
    int i = IndexOfId(ReadId(bookmark));
    if (i >= 0) pos_ = i;
}

void TMemDataSet::InternalEdit() {
    calls.push_back("InternalEdit");
    Fill(ActiveBuffer());
    oldRecord_.assign(ActiveBuffer(), ActiveBuffer() + recordSize_);
}

void TMemDataSet::InternalPost() {
    calls.push_back("InternalPost");
    if (failPost) {
        failPost = false;
        throw EDatabaseError("post failed");
    }
    TRecordBuffer buffer = ActiveBuffer();
    if (State() == dsEdit) {
        int i = IndexOfId(ReadId(Info(buffer)));
        rows_[static_cast<size_t>(i)].image.assign(buffer, buffer + recordSize_);
        for (auto& [no, bytes] : pendingBlobs_) rows_[static_cast<size_t>(i)].blobs[no] = bytes;
        pos_ = i;
    } else {
        Row row{nextId_++, std::vector<std::uint8_t>(buffer, buffer + recordSize_), pendingBlobs_};
        int at = static_cast<int>(rows_.size());
        TBookmarkFlag flag = GetBookmarkFlag(buffer);
        if (flag == bfBOF)
            at = 0;
        else if (flag == bfInserted) {
            int i = IndexOfId(ReadId(Info(buffer)));
            if (i >= 0) at = i;
        }
        rows_.insert(rows_.begin() + at, std::move(row));
        pos_ = at;
    }
    pendingBlobs_.clear();
}

void TMemDataSet::InternalAddRecord(TRecordBuffer buffer, bool append) {
    calls.push_back("InternalAddRecord");
    int at = append ? static_cast<int>(rows_.size())
                    : std::max(0, std::min(pos_, static_cast<int>(rows_.size())));
    rows_.insert(rows_.begin() + at,
                 Row{nextId_++, std::vector<std::uint8_t>(buffer, buffer + recordSize_), {}});
    pos_ = at;
}

void TMemDataSet::InternalDelete() {
    calls.push_back("InternalDelete");
    if (pos_ >= 0 && pos_ < static_cast<int>(rows_.size())) rows_.erase(rows_.begin() + pos_);
}

int TMemDataSet::GetRecNo() {
    if (IsEmpty() || State() == dsInsert) return -1;
    return IndexOfId(ReadId(Info(ActiveBuffer()))) + 1;
}

TRecordBuffer TMemDataSet::BufferFor(TField*) const {
    switch (State()) {
        case dsBrowse:
            return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit:
        case dsInsert:
            return ActiveBuffer();
        case dsCalcFields:
        case dsInternalCalc:
            return CalcBuffer();
        case dsFilter:
            return FilterBuffer();
        case dsOldValue:
            return oldRecord_.empty() ? nullptr : const_cast<std::uint8_t*>(oldRecord_.data());
        default:
            return nullptr;
    }
}

bool TMemDataSet::GetFieldData(TField* field, void* destination) {
    TRecordBuffer buffer = BufferFor(field);
    if (!buffer) return false;
    const std::uint8_t* p;
    int size = field->DataSize();
    if (field->FieldNo() > 0) {
        size_t i = static_cast<size_t>(field->FieldNo() - 1);
        p = buffer + offsets_[i];
        size = NativeSize(columns_[i]);
    } else {
        if (State() == dsOldValue) return false;
        p = buffer + recordSize_ + field->Offset();
    }
    if (p[0] == 0) return false;
    if (destination) std::memcpy(destination, p + 1, static_cast<size_t>(size));
    return true;
}

void TMemDataSet::SetFieldData(TField* field, const void* value) {
    CheckWriteState();
    if (field->ReadOnly() && State() != dsSetKey && State() != dsFilter)
        Error("Field '" + field->DisplayName() + "' cannot be modified");
    TRecordBuffer buffer = BufferFor(field);
    if (!buffer) Error(msg::NotEditing);
    std::uint8_t* p;
    int size = field->DataSize();
    if (field->FieldNo() > 0) {
        if (State() == dsCalcFields) Error(msg::NotEditing);
        if (State() == dsEdit || State() == dsInsert) field->Validate(value);
        size_t i = static_cast<size_t>(field->FieldNo() - 1);
        p = buffer + offsets_[i];
        size = NativeSize(columns_[i]);
    } else {
        p = buffer + recordSize_ + field->Offset();
    }
    p[0] = value ? 1 : 0;
    if (value)
        std::memcpy(p + 1, value, static_cast<size_t>(size));
    else
        std::memset(p + 1, 0, static_cast<size_t>(size));
    if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
        NotifyFieldChanged(field);
}

std::unique_ptr<TStream> TMemDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    if (mode != bmRead && State() != dsEdit && State() != dsInsert)
        Error("Table must be in Edit or Insert state to open blob stream in Write Mode.");
    auto stream = std::make_unique<TMemBlobStream>(this, field, mode != bmRead);
    if (mode == bmWrite) {
        stream->MarkModified();
        return stream;
    }
    std::string bytes;
    auto pending = pendingBlobs_.find(field->FieldNo());
    if ((State() == dsEdit || State() == dsInsert) && pending != pendingBlobs_.end()) {
        bytes = pending->second;
    } else if (TRecordBuffer buffer = BufferFor(field); buffer && State() != dsInsert) {
        int i = IndexOfId(ReadId(Info(buffer)));
        if (i >= 0) {
            auto it = rows_[static_cast<size_t>(i)].blobs.find(field->FieldNo());
            if (it != rows_[static_cast<size_t>(i)].blobs.end()) bytes = it->second;
        }
    }
    stream->TMemoryStream::Write(bytes.data(),
                                 static_cast<std::int64_t>(bytes.size()));  // not a change
    stream->SetPosition(0);
    return stream;
}

std::string TMemDataSet::Cell(int row, const std::string& fieldName) {
    size_t i = 0;
    while (i < columns_.size() && !rtl::SameText(columns_[i].name, fieldName)) ++i;
    if (i == columns_.size()) return "?";
    Layout();
    const Row& r = rows_.at(static_cast<size_t>(row));
    const std::uint8_t* p = r.image.data() + offsets_[i];
    if (columns_[i].type == ftMemo || columns_[i].type == ftBlob) {
        auto it = r.blobs.find(static_cast<int>(i) + 1);
        return it == r.blobs.end() ? "" : it->second;
    }
    if (p[0] == 0) return "";
    switch (columns_[i].type) {
        case ftString:
            return std::string(reinterpret_cast<const char*>(p + 1));
        case ftInteger:
        case ftAutoInc: {
            std::int32_t v;
            std::memcpy(&v, p + 1, 4);
            return rtl::IntToStr(v);
        }
        case ftFloat:
        case ftCurrency: {
            double v;
            std::memcpy(&v, p + 1, 8);
            return rtl::FloatToStr(v);
        }
        default:
            return "*";
    }
}

}  // namespace dbtest
