// TAdsDataSet's field values and record editing: moving values between field objects and the
// record image, and edit, append, post, cancel, delete and refresh with the engine's locks.
#include <cmath>
#include <cstring>

#include "ads/adsdata.h"
#include "base/record_forms.h"
#include "rtl/sysutils.h"

namespace ads {

namespace {

bool isStringKind(db::TFieldType t) {
    return t == db::ftString || t == db::ftFixedChar || t == db::ftWideString;
}

std::string trim(const std::string& s) {
    size_t start = s.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    return s.substr(start, s.find_last_not_of(' ') - start + 1);
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The stream a blob field is read and written through: its row buffer's cache.
class TAdsBlobStream : public db::TStream {
  public:
    TAdsBlobStream(TAdsDataSet* dataSet, db::TField* field, db::TBlobStreamMode mode,
                   TAdsBlobCache* cache)
        : dataSet_(dataSet), field_(field), mode_(mode), cache_(cache) {
        if (cache_) cache_->SetPosition(0);
        if (mode_ == db::bmWrite && cache_) {
            cache_->Clear();
            cache_->Modified = true;
            modified_ = true;
        }
    }
    ~TAdsBlobStream() override {
        if (modified_) {
            try {
                dataSet_->NotifyFieldChanged(field_);
            } catch (...) {
            }
        }
    }
    std::int64_t Read(void* buffer, std::int64_t count) override {
        return cache_ ? cache_->Read(buffer, count) : 0;
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        if (mode_ == db::bmRead)
            throw EADSDatabaseError(nullptr, "Error modifying read only blob.", kLayerErrorCode);
        if (!cache_)
            throw EADSDatabaseError(nullptr, "Cannot write to blob in current state.",
                                    kLayerErrorCode);
        std::int64_t written = cache_->Write(buffer, count);
        cache_->Modified = true;
        modified_ = true;
        return written;
    }
    std::int64_t Seek(std::int64_t offset, db::TSeekOrigin origin) override {
        return cache_ ? cache_->Seek(offset, origin) : 0;
    }
    std::int64_t Size() override { return cache_ ? cache_->Size() : 0; }
    void SetSize(std::int64_t size) override {
        if (!cache_) return;
        cache_->SetSize(size);
        cache_->Modified = true;
        modified_ = true;
    }

  private:
    TAdsDataSet* dataSet_;
    db::TField* field_;
    db::TBlobStreamMode mode_;
    TAdsBlobCache* cache_;
    bool modified_ = false;
};

}  // namespace

db::TRecordBuffer TAdsDataSet::bufferForState() {
    switch (State()) {
        case db::dsBrowse:
        case db::dsBlockRead:
            return IsEmpty() ? nullptr : ActiveBuffer();
        case db::dsEdit:
        case db::dsInsert:
        case db::dsNewValue:
            return ActiveBuffer();
        case db::dsSetKey:
            return keyBuffer_ ? keyBuffer_->Image.data() : nullptr;
        case db::dsCalcFields:
        case db::dsInternalCalc:
            return CalcBuffer();
        case db::dsFilter:
            return FilterBuffer();
        case db::dsOldValue:
            return oldRecord_.empty() ? nullptr : oldRecord_.data();
        default:
            return nullptr;
    }
}

bool TAdsDataSet::GetFieldData(db::TField* field, void* destination) {
    db::TRecordBuffer buffer = bufferForState();
    if (!buffer) return false;
    if (field->FieldNo() > 0) {
        if (field->FieldNo() > aceFieldDefs_.Count()) return false;
        const TACEFieldDef& entry = aceFieldDefs_.Items(field->FieldNo() - 1);
        bool empty;
        TAdsBlobCache* cache = nullptr;
        if (IsBlobType(entry.EngineType) && (State() == db::dsEdit || State() == db::dsInsert) &&
            (cache = BlobCache(buffer, entry)) && cache->Modified)
            empty = cache->Size() == 0;
        else
            empty = IsFieldEmpty(entry, buffer, IsAdt());
        if (destination && !empty && !IsBlobType(entry.EngineType))
            ReadFieldValue(entry, buffer, destination);
        return !empty;
    }
    db::TDataSetState s = State();
    if (!(s == db::dsBrowse || s == db::dsEdit || s == db::dsInsert || s == db::dsCalcFields ||
          s == db::dsFilter))
        return false;
    const uint8_t* slot = buffer + recordLength_ + field->Offset();
    if (destination && slot[0])
        std::memcpy(destination, slot + 1, static_cast<size_t>(field->DataSize()));
    return slot[0] != 0;
}

void TAdsDataSet::SetFieldData(db::TField* field, const void* value) {
    db::TDataSetState s = State();
    bool writable = s == db::dsEdit || s == db::dsInsert || s == db::dsSetKey ||
                    s == db::dsCalcFields || s == db::dsFilter || s == db::dsNewValue ||
                    s == db::dsInternalCalc;
    if (!writable) RaiseLayerError("Dataset not in edit mode");
    if (s == db::dsSetKey && field->FieldNo() < 1)
        RaiseLayerError("Field '" + field->DisplayName() + "' cannot be modified");
    db::TRecordBuffer buffer = bufferForState();
    if (!buffer) RaiseLayerError("Dataset not in edit mode");
    if (field->FieldNo() < 1) {
        uint8_t* slot = buffer + recordLength_ + field->Offset();
        slot[0] = value ? 1 : 0;
        if (value) std::memcpy(slot + 1, value, static_cast<size_t>(field->DataSize()));
    } else {
        if (s == db::dsCalcFields) RaiseLayerError("Dataset not in edit mode");
        if (field->ReadOnly() && s != db::dsSetKey && s != db::dsFilter)
            RaiseLayerError("Field '" + field->DisplayName() + "' cannot be modified");
        if (s == db::dsEdit || s == db::dsInsert) field->Validate(value);
        const TACEFieldDef& entry = aceFieldDefs_.Items(field->FieldNo() - 1);
        if (field->FieldKind() != db::fkInternalCalc && !IsBlobType(entry.EngineType))
            WriteFieldValue(this, entry, buffer, value, IsAdt());
        if (s == db::dsSetKey && keyBuffer_) {
            uint16_t mark = 1;
            if (isStringKind(field->DataType()))
                mark =
                    value ? static_cast<uint16_t>(std::strlen(static_cast<const char*>(value))) : 0;
            keyBuffer_->KeyFieldMarks[entry.FieldNumber] = mark;
        }
    }
    if (s != db::dsCalcFields && s != db::dsFilter && s != db::dsNewValue)
        NotifyFieldChanged(field);
}

std::unique_ptr<db::TStream> TAdsDataSet::CreateBlobStream(db::TField* field,
                                                           db::TBlobStreamMode mode) {
    db::TDataSetState s = State();
    if (mode != db::bmRead && s != db::dsEdit && s != db::dsInsert)
        RaiseLayerError("Table must be in Edit or Insert state to open blob stream in Write Mode.");
    TAdsBlobCache* cache = nullptr;
    bool cacheStates = s == db::dsBrowse || s == db::dsEdit || s == db::dsInsert ||
                       s == db::dsCalcFields || s == db::dsNewValue;
    db::TRecordBuffer buffer = cacheStates ? bufferForState() : nullptr;
    if (buffer && field->FieldNo() > 0) {
        UNSIGNED16 type = 0;
        Check(AdsGetFieldType(tableHandle_,
                              ADSFIELD(static_cast<UNSIGNED16>(
                                  aceFieldDefs_.Items(field->FieldNo() - 1).FieldNumber)),
                              &type));
        if (!IsBlobType(type)) RaiseLayerError("Invalid blob open on non-blob field.");
        const TACEFieldDef& entry = aceFieldDefs_.Items(field->FieldNo() - 1);
        cache = BlobCache(buffer, entry);
        UNSIGNED32 recno = BookmarkRecordNumber(buffer);
        bool reload =
            cache->TableHandle != tableHandle_ || cache->RecordNumber != recno ||
            cache->FieldNumber != entry.FieldNumber ||
            (mode == db::bmReadWrite && (s == db::dsEdit || s == db::dsInsert) && !cache->Modified);
        if (reload && !(cache->Modified && cache->RecordNumber == recno &&
                        cache->FieldNumber == entry.FieldNumber)) {
            cache->Reset();
            cache->TableHandle = tableHandle_;
            cache->FieldNumber = entry.FieldNumber;
            cache->RecordNumber = recno;
            if (recno != 0) {
                try {
                    UNSIGNED32 current = 0;
                    Check(AdsGetRecordNum(tableHandle_, ADS_IGNOREFILTERS, &current));
                    if (current != recno) Check(AdsGotoRecord(tableHandle_, recno));
                    UNSIGNED16 memoType = ADS_MEMO_TEXT;
                    bool binary = entry.EngineType == ADS_BINARY || entry.EngineType == ADS_IMAGE;
                    if (entry.EngineType == ADS_MEMO) {
                        Check(AdsGetMemoDataType(tableHandle_, ADSFIELD(entry.FieldNumber),
                                                 &memoType));
                        binary = memoType != ADS_MEMO_TEXT;
                    }
                    UNSIGNED32 length = 0;
                    UNSIGNED32 r =
                        binary
                            ? AdsGetBinaryLength(tableHandle_, ADSFIELD(entry.FieldNumber), &length)
                            : AdsGetMemoLength(tableHandle_, ADSFIELD(entry.FieldNumber), &length);
                    if (r == AE_NO_CURRENT_RECORD) {
                        cache->RecordNumber = 0;
                    } else {
                        Check(r);
                        if (!binary) ++length;
                        cache->Memory().resize(length);
                        UNSIGNED32 got = length;
                        Check(AdsGetField(tableHandle_, ADSFIELD(entry.FieldNumber),
                                          cache->Memory().data(), &got, ADS_NONE));
                        cache->Memory().resize(std::min(got, length));
                    }
                } catch (const EADSDatabaseError& e) {
                    cache->Memory().clear();
                    cache->RecordNumber = 0;
                    if (e.ErrorCode() != static_cast<int32_t>(AE_NO_CURRENT_RECORD) &&
                        e.ErrorCode() != static_cast<int32_t>(AE_NO_SUCH_RECORD))
                        throw;
                }
                CursorPosChanged();
            }
        }
        cache->SetPosition(0);
    }
    return std::make_unique<TAdsBlobStream>(this, field, mode, cache);
}

// ---------------------------------------------------------------------------------------------
// Editing

void TAdsDataSet::InternalEdit() {
    UNSIGNED32 recno = BookmarkRecordNumber(ActiveBuffer());
    if (!exclusive_) {
        UNSIGNED32 r = AdsLockRecord(tableHandle_, recno);
        if (r == AE_STATIC_CURSOR)
            throw EADSDatabaseError(
                this, "This table is based on a static VIEW. Static VIEWs can not be updated.",
                static_cast<int32_t>(AE_STATIC_CURSOR));
        Check(r);
    }
    FetchRecord(ActiveBuffer(), recordLength_, db::gmCurrent);
    if (oldRecord_.empty()) oldRecord_.resize(recordLength_ + 1);
    std::memcpy(oldRecord_.data(), ActiveBuffer(), recordLength_);
}

void TAdsDataSet::InternalInsert() {
    std::memset(BookmarkOf(ActiveBuffer()), 0, sizeof(UNSIGNED32));
}

void TAdsDataSet::InternalInitRecord(db::TRecordBuffer buffer) {
    Check(AdsClearRecordBuffer(tableHandle_, buffer, recordLength_));
    applyDefaultExpressions(buffer);
    db::TDataSetState s = State();
    if (s == db::dsBrowse || s == db::dsEdit || s == db::dsInsert || s == db::dsCalcFields ||
        s == db::dsNewValue)
        resetBlobCaches(buffer);
}

void TAdsDataSet::applyDefaultExpressions(db::TRecordBuffer buffer) {
    bool adt = IsAdt();
    for (int i = 0; i < aceFieldDefs_.Count(); ++i) {
        const TACEFieldDef& entry = aceFieldDefs_.Items(i);
        if (entry.EngineType == ADS_AUTOINC) {
            velda::record::store(buffer + entry.Offset, velda::record::kEmptyAutoInc);
            continue;
        }
        if (IsBlobType(entry.EngineType)) continue;
        db::TField* field = FindField(entry.Name);
        if (!field) continue;
        std::string expression = trim(field->DefaultExpression());
        if (expression.empty()) continue;
        // The first error is gone before the second is raised, so the second collects its context.
        std::string failure;
        bool failed = false;
        try {
            switch (entry.EngineType) {
                case ADS_LOGICAL: {
                    std::string u = upper(expression);
                    int16_t v = (u == "TRUE" || u == "T" || u == ".T." || u == "1") ? -1 : 0;
                    WriteFieldValue(this, entry, buffer, &v, adt);
                    break;
                }
                case ADS_NUMERIC:
                case ADS_DOUBLE:
                case ADS_CURDOUBLE: {
                    double v = rtl::StrToFloat(expression);
                    if (entry.Kind == db::ftSmallint) {
                        auto s16 = static_cast<int16_t>(std::lround(v));
                        WriteFieldValue(this, entry, buffer, &s16, adt);
                    } else {
                        WriteFieldValue(this, entry, buffer, &v, adt);
                    }
                    break;
                }
                case ADS_DATE:
                case ADS_COMPACTDATE: {
                    rtl::TDateTime d = rtl::StrToDate(expression);
                    auto days = static_cast<int32_t>(std::floor(d)) + 693594;
                    WriteFieldValue(this, entry, buffer, &days, adt);
                    break;
                }
                case ADS_STRING:
                    if (expression.size() >= 2 && expression.front() == '\'' &&
                        expression.back() == '\'') {
                        std::string text = expression.substr(1, expression.size() - 2);
                        WriteFieldValue(this, entry, buffer, text.c_str(), adt);
                    }
                    break;
                case ADS_INTEGER:
                case ADS_SHORTINT: {
                    int v = rtl::StrToInt(expression);
                    bool outOfRange = v == INT32_MIN || (entry.EngineType == ADS_SHORTINT &&
                                                         (v > 32767 || v <= -32768));
                    if (outOfRange)
                        throw EADSDatabaseError(nullptr, "Numeric out of range:" + expression, 0);
                    if (entry.EngineType == ADS_SHORTINT) {
                        auto s16 = static_cast<int16_t>(v);
                        WriteFieldValue(this, entry, buffer, &s16, adt);
                    } else {
                        auto s32 = static_cast<int32_t>(v);
                        WriteFieldValue(this, entry, buffer, &s32, adt);
                    }
                    break;
                }
                case ADS_TIME: {
                    rtl::TDateTime t = rtl::StrToTime(expression);
                    double fraction = t - std::floor(t);
                    auto ms = static_cast<int32_t>(std::lround(fraction * kMillisecondsPerDay));
                    WriteFieldValue(this, entry, buffer, &ms, adt);
                    break;
                }
                case ADS_TIMESTAMP: {
                    double ms = (rtl::StrToDateTime(expression) + 693594) * kMillisecondsPerDay;
                    WriteFieldValue(this, entry, buffer, &ms, adt);
                    break;
                }
                default:
                    break;
            }
        } catch (const rtl::Exception& e) {
            failure = e.Message();
            failed = true;
        }
        if (failed)
            throw EADSDatabaseError(
                this,
                "Error setting default field value. (" + field->DisplayName() + ")\r\n" + failure,
                0);
    }
}

void TAdsDataSet::InitRecord(db::TRecordBuffer buffer) {
    db::TDataSet::InitRecord(buffer);
    uint8_t* info = RecordInfo(buffer);
    int32_t recno = -1;
    std::memcpy(info, &recno, sizeof recno);
    info[4] = 0;
    info[5] = db::bfCurrent;
    std::memset(BookmarkOf(buffer), 0, sizeof(UNSIGNED32));
}

void TAdsDataSet::InternalPost() {
    db::TRecordBuffer buffer = ActiveBuffer();
    bool editing = State() == db::dsEdit;
    UNSIGNED32 recno = BookmarkRecordNumber(buffer);
    if (editing) {
        Check(AdsGotoRecord(tableHandle_, recno));
    } else if (GetBookmarkFlag(buffer) != db::bfInserted) {
        Check(AdsAppendRecord(tableHandle_));
        SetBookmarkFlag(buffer, db::bfInserted);
        UNSIGNED32 appended = 0;
        Check(AdsGetRecordNum(tableHandle_, ADS_IGNOREFILTERS, &appended));
        std::memcpy(BookmarkOf(buffer), &appended, sizeof appended);
    }
    UNSIGNED16 count = 0;
    Check(AdsGetNumFields(tableHandle_, &count));
    for (UNSIGNED16 n = count; n >= 1; --n) {
        const TACEFieldDef* entry = aceFieldDefs_.FieldEntryByNumber(n);
        if (!entry || IsBlobType(entry->EngineType) || entry->EngineType == ADS_AUTOINC) continue;
        UNSIGNED8* bytes = buffer + entry->Offset;
        if (entry->EngineType == ADS_STRING) {
            bool blanks = entry->Length > 0;
            for (UNSIGNED32 i = 0; i < entry->Length && blanks; ++i) blanks = bytes[i] == ' ';
            if (blanks)
                Check(AdsSetEmpty(tableHandle_, ADSFIELD(n)));
            else
                Check(AdsSetField(tableHandle_, ADSFIELD(n), bytes, entry->Length));
        } else {
            Check(AdsSetFieldRaw(tableHandle_, ADSFIELD(n), bytes, entry->Length));
        }
    }
    for (UNSIGNED16 n : blobFieldNumbers_) {
        const TACEFieldDef* entry = aceFieldDefs_.FieldEntryByNumber(n);
        TAdsBlobCache* cache = BlobCache(buffer, *entry);
        if (!cache || !cache->Modified) continue;
        velda::record::writeBlobMark(cache->Size() > 0, buffer + entry->Offset);
        // A new record's cache was never loaded; its bytes go to this dataset's table.
        Check(AdsSetField(tableHandle_, ADSFIELD(n), cache->Memory().data(),
                          static_cast<UNSIGNED32>(cache->Size())));
        cache->Modified = false;
    }
    Check(AdsWriteRecord(tableHandle_));
    if (!editing) {
        // The record number of a new record is known for sure once it is written.
        UNSIGNED32 written = 0;
        if (AdsGetRecordNum(tableHandle_, ADS_IGNOREFILTERS, &written) == AE_SUCCESS)
            std::memcpy(BookmarkOf(buffer), &written, sizeof written);
    }
    if (editing && !exclusive_) Check(AdsUnlockRecord(tableHandle_, recno));
}

void TAdsDataSet::InternalAddRecord(db::TRecordBuffer buffer, bool append) {
    (void)append;
    if (buffer != ActiveBuffer()) RaiseLayerError("Unexpected error in InternalAddRecord.");
    InternalPost();
}

void TAdsDataSet::InternalCancel() {
    UNSIGNED32 r = AdsCancelUpdate(tableHandle_);
    if (r != AE_NO_CURRENT_RECORD && r != AE_NO_UPDATE_PENDING) Check(r);
    bool inserting = State() == db::dsInsert;
    if (inserting) {
        if (Eof()) {
            InternalLast();
        } else {
            db::TRecordBuffer next =
                ActiveRecord() + 1 < WindowRecordCount() ? Buffers(ActiveRecord() + 1) : nullptr;
            if (next) {
                UNSIGNED32 nextRecno = BookmarkRecordNumber(next);
                UNSIGNED32 g = AdsGotoBookmark(tableHandle_, nextRecno);
                if (g != AE_NO_SUCH_RECORD) Check(g);
            }
        }
    }
    UNSIGNED32 recno = BookmarkRecordNumber(ActiveBuffer());
    FetchRecord(ActiveBuffer(), recordLength_, db::gmCurrent);
    if (State() == db::dsEdit && !exclusive_) Check(AdsUnlockRecord(tableHandle_, recno));
}

void TAdsDataSet::InternalDelete() {
    UNSIGNED32 r = AdsDeleteRecord(tableHandle_);
    if (r == AE_SUCCESS) r = AdsWriteRecord(tableHandle_);
    if (r != AE_SUCCESS) {
        try {
            Check(r);
        } catch (...) {
            (void)AdsCancelUpdate(tableHandle_);  // the delete's own error is the one to raise
            throw;
        }
    }
    UNSIGNED16 shown = 0;
    Check(AdsGetDeleted(&shown));
    if (!shown) Check(AdsSkip(activeHandle_, 1));
}

void TAdsDataSet::InternalRefresh() {
    UNSIGNED32 r = AdsRefreshRecord(tableHandle_);
    if (r != AE_NO_CURRENT_RECORD) Check(r);
}

}  // namespace ads
