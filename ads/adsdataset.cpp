// TAdsDataSet's cursor half: opening and closing, index orders, navigation, key search,
// counts, and the field values and editing of the rows.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"
#include "ads/engine_text.h"
#include "base/record_forms.h"
#include "rtl/sysutils.h"

namespace ads {

namespace {

constexpr uint16_t kNoKeyValue = 0xFFFF;
constexpr int kMaxIndexes = 50;

bool sameText(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

std::string trim(const std::string& s) {
    size_t start = s.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    return s.substr(start, s.find_last_not_of(' ') - start + 1);
}

bool isLive(ADSHANDLE h) {
    return h != 0 && h != kClosedHandle;
}

std::vector<std::string> splitList(const std::string& list) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t semi = list.find(';', start);
        parts.push_back(
            list.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    return parts;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Options and definitions

void TAdsTableOptions::checkClosed() const {
    if (owner_->IsActive()) throw EADSDatabaseError(owner_, kTableActiveMessage, kLayerErrorCode);
}
void TAdsTableOptions::SetAdsLockType(TAdsLockTypes value) {
    checkClosed();
    lockType_ = value;
}
void TAdsTableOptions::SetAdsCharType(TAdsCharTypes value) {
    checkClosed();
    charType_ = value;
}
void TAdsTableOptions::SetAdsRightsCheck(bool value) {
    checkClosed();
    rightsCheck_ = value;
}
void TAdsTableOptions::SetAdsOptimizedFilters(bool value) {
    if (value == optimizedFilters_) return;
    if (!owner_->IsActive() || !owner_->Filtered() || owner_->Loading()) {
        optimizedFilters_ = value;
        return;
    }
    bool old = optimizedFilters_;
    try {
        owner_->DeactivateFilter();
        optimizedFilters_ = value;
        owner_->ActivateFilter();
        owner_->First();
    } catch (...) {
        optimizedFilters_ = old;
        throw;
    }
}

const TIndexDef* TIndexDefs::Find(const std::string& name) const {
    for (const auto& d : items_)
        if (sameText(d.Name, name)) return &d;
    return nullptr;
}

void TAdsBlobCache::Reset() {
    Clear();
    TableHandle = kClosedHandle;
    RecordNumber = 0;
    FieldNumber = 0;
    Modified = false;
}

// ---------------------------------------------------------------------------------------------
// Properties

void TAdsDataSet::SetExclusive(bool value) {
    CheckInactive();
    exclusive_ = value;
}

void TAdsDataSet::SetReadOnly(bool value) {
    CheckInactive();
    readOnly_ = value;
}

std::string TAdsDataSet::Version() const {
    UNSIGNED32 major = 0, minor = 0;
    UNSIGNED8 letter = ' ';
    UNSIGNED8 description[128];
    UNSIGNED16 length = sizeof description;
    // Cannot fail with valid out-parameters; on failure the zeros above are shown.
    (void)AdsGetVersion(&major, &minor, &letter, description, &length);
    std::string text = "6.11 (Engine " + std::to_string(major) + "." + (minor <= 9 ? "0" : "") +
                       std::to_string(minor);
    if (letter != ' ' && letter != 0) text.push_back(static_cast<char>(letter));
    return text + ")";
}

void TAdsDataSet::BatchMove() {
    RaiseLayerError("The method BatchMove in TAdsDataSet is not supported.");
}
void TAdsDataSet::RenameTable() {
    RaiseLayerError("The method RenameTable in TAdsDataSet is not supported.");
}
void TAdsDataSet::UpdateStatus() {
    RaiseLayerError("The method UpdateStatus in TAdsDataSet is not supported.");
}

bool TAdsDataSet::IsAdt() {
    if (!isLive(tableHandle_)) return true;
    if (typeHandle_ != tableHandle_) {
        UNSIGNED16 type = ADS_ADT;
        Check(AdsGetTableType(tableHandle_, &type));
        typeIsAdt_ = type == ADS_ADT;
        typeHandle_ = tableHandle_;
    }
    return typeIsAdt_;
}

// ---------------------------------------------------------------------------------------------
// Index order

void TAdsDataSet::SetIndexFieldNames(const std::string& value) {
    if (scoped_) SetScoped(false);
    std::string trimmed = trim(value);
    std::string oldFields = indexFieldNames_, oldName = indexName_;
    TIndexMode oldMode = indexMode_;
    indexFieldNames_ = trimmed;
    indexName_.clear();
    indexMode_ = trimmed.empty() ? TIndexMode::None : TIndexMode::ByFields;
    if (IsCursorOpen() && !opening_) {
        try {
            SwitchIndexOrder();
        } catch (...) {
            indexFieldNames_ = oldFields;
            indexName_ = oldName;
            indexMode_ = oldMode;
            throw;
        }
        if (IsActive()) ReReadWindow(TReRead::Centred, true);
    }
}

void TAdsDataSet::SetIndexName(const std::string& value) {
    std::string oldFields = indexFieldNames_, oldName = indexName_;
    TIndexMode oldMode = indexMode_;
    indexName_ = value;
    indexFieldNames_.clear();
    indexMode_ = value.empty() ? TIndexMode::None : TIndexMode::ByName;
    if (upper(value) == "ADS_DEFAULT") indexMode_ = TIndexMode::DictionaryDefault;
    if (IsCursorOpen() && !opening_) {
        try {
            if (scoped_) {
                SetScoped(false);
            } else {
                UNSIGNED32 r = AdsClearAllScopes(tableHandle_);
                if (r != AE_NO_SCOPE) Check(r);
                UNSIGNED16 eof = 0, bof = 0;
                Check(AdsAtEOF(tableHandle_, &eof));
                Check(AdsAtBOF(tableHandle_, &bof));
                if (eof && bof) Check(AdsGotoTop(activeHandle_));
            }
            SwitchIndexOrder();
        } catch (...) {
            indexFieldNames_ = oldFields;
            indexName_ = oldName;
            indexMode_ = oldMode;
            throw;
        }
        if (IsActive()) ReReadWindow(TReRead::Centred, true);
    }
}

TIndexDefs& TAdsDataSet::IndexDefs() {
    if (indexDefs_.Stale()) RebuildIndexDefs();
    return indexDefs_;
}

void TAdsDataSet::RebuildIndexDefs() {
    ADSHANDLE handle = tableHandle_;
    bool temporary = false;
    if (!isLive(handle)) {
        if (TableName().empty()) {
            indexDefs_.Clear();
            indexDefs_.SetStale(false);
            return;
        }
        handle = OpenCursorHandle();
        temporary = true;
    }
    struct Closer {
        ADSHANDLE h;
        bool active;
        ~Closer() {
            if (active) (void)AdsCloseTable(h);  // a cursor only read: nothing pending to lose
        }
    } closer{handle, temporary};

    indexDefs_.Clear();
    ADSHANDLE indexes[kMaxIndexes];
    UNSIGNED16 count = kMaxIndexes;
    Check(AdsGetAllIndexes(handle, indexes, &count));
    for (UNSIGNED16 i = 0; i < count; ++i) {
        TIndexDef def;
        UNSIGNED8 name[260];
        UNSIGNED16 length = sizeof name;
        Check(AdsGetIndexName(indexes[i], name, &length));
        def.Name.assign(reinterpret_cast<char*>(name), length);
        UNSIGNED16 segments = 0;
        Check(AdsGetNumSegments(indexes[i], &segments));
        for (UNSIGNED16 s = 0; s < segments; ++s) {
            UNSIGNED8 field[510];
            UNSIGNED16 fieldLength = sizeof field;
            Check(AdsGetSegmentFieldname(indexes[i], s, field, &fieldLength));
            if (s) def.Fields += ";";
            def.Fields += upper(std::string(reinterpret_cast<char*>(field), fieldLength));
        }
        UNSIGNED16 flag = 0;
        Check(AdsIsIndexUnique(indexes[i], &flag));
        def.Unique = flag == 1;
        Check(AdsIsIndexDescending(indexes[i], &flag));
        def.Descending = flag == 1;
        indexDefs_.Add(std::move(def));
    }
    indexDefs_.SetStale(false);
}

const TIndexDef* TAdsDataSet::indexForFields(const std::string& fields) {
    TIndexDefs& defs = IndexDefs();
    for (int i = 0; i < defs.Count(); ++i)
        if (!defs.Items(i).Descending && sameText(defs.Items(i).Fields, fields))
            return &defs.Items(i);
    for (int i = 0; i < defs.Count(); ++i) {
        const TIndexDef& d = defs.Items(i);
        if (d.Descending || d.Fields.size() < fields.size()) continue;
        if (strncasecmp(d.Fields.c_str(), fields.c_str(), fields.size()) != 0) continue;
        if (d.Fields.size() == fields.size() || d.Fields[fields.size()] == ';') return &d;
    }
    return nullptr;
}

void TAdsDataSet::SwitchIndexOrder() {
    if (IsActive() && !opening_) UpdateCursorPos();
    ADSHANDLE handle = tableHandle_;
    switch (indexMode_) {
        case TIndexMode::None:
            break;
        case TIndexMode::ByName:
            Check(AdsGetIndexHandle(tableHandle_, EngineText(indexName_), &handle));
            break;
        case TIndexMode::ByFields: {
            const TIndexDef* def = indexForFields(indexFieldNames_);
            if (!def) RaiseLayerError("Not a valid index field name:" + indexFieldNames_);
            Check(AdsGetIndexHandle(tableHandle_, EngineText(def->Name), &handle));
            break;
        }
        case TIndexMode::DictionaryDefault:
            // Without a default tag from the dictionary the table keeps its natural order.
            if (!defaultIndexTag_.empty())
                Check(AdsGetIndexHandle(tableHandle_, EngineText(defaultIndexTag_), &handle));
            break;
    }
    activeHandle_ = handle;
    if (opening_) return;
    // The bookmark length of the new order may differ: the window is made again.
    try {
        SetBufListSize(0);
        Check(AdsGetBookmarkLength(isLive(activeHandle_) ? activeHandle_ : tableHandle_,
                                   &bookmarkLength_));
        computeLayout();
        SetBookmarkSize(static_cast<int>(bookmarkLength_));
        SetBufListSize(BufferCount() + 1);
    } catch (...) {
        SetState(db::dsInactive);
        InternalClose();
        throw;
    }
}

void TAdsDataSet::ReReadWindow(TReRead mode, bool pastEndToFirst) {
    auto tolerating5068 = [this](UNSIGNED32 result) {
        if (result != AE_NO_CURRENT_RECORD) Check(result);
    };
    UNSIGNED16 eof = 0, bof = 0;
    tolerating5068(AdsAtEOF(tableHandle_, &eof));
    tolerating5068(AdsAtBOF(tableHandle_, &bof));
    CursorPosChanged();
    if (bof || (eof && pastEndToFirst))
        First();
    else if (eof)
        Last();
    else
        Resync(mode == TReRead::Centred ? db::rmCenter : 0);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TAdsDataSet::computeLayout() {
    blobRefsOffset_ = recordLength_ + static_cast<size_t>(CalcFieldsSize());
    recordInfoOffset_ = blobRefsOffset_ + blobFieldNumbers_.size() * sizeof(TAdsBlobCache*);
    bookmarkOffset_ = recordInfoOffset_ + 6;
    bufferSize_ = bookmarkOffset_ + std::max<UNSIGNED32>(bookmarkLength_, 4);
}

void TAdsDataSet::InternalOpen() {
    if (isLive(tableHandle_)) RaiseLayerError("Table is already open.");
    opening_ = true;
    struct OpeningFlag {
        bool& flag;
        ~OpeningFlag() { flag = false; }
    } openingFlag{opening_};
    tableHandle_ = isLive(activeHandle_) ? activeHandle_ : OpenCursorHandle();
    activeHandle_ = kClosedHandle;
    typeHandle_ = kClosedHandle;

    Check(AdsGetRecordLength(tableHandle_, &recordLength_));
    options_.SetAdsIndexPageSize(512);
    {
        ADSHANDLE first[1];
        UNSIGNED16 count = 1;
        UNSIGNED32 pageSize = 0;
        if (AdsGetAllIndexes(tableHandle_, first, &count) == AE_SUCCESS && count > 0 &&
            AdsGetIndexPageSize(first[0], &pageSize) == AE_SUCCESS)
            options_.SetAdsIndexPageSize(pageSize);
    }
    Check(AdsGetBookmarkLength(tableHandle_, &bookmarkLength_));
    mayModify_ = true;
    for (auto& key : keyBuffers_) clearKeyBuffer(key);
    keyBuffer_ = &keyBuffers_[0];

    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    computeLayout();
    SetBookmarkSize(static_cast<int>(bookmarkLength_));
    indexDefs_.SetStale(true);
    RebuildIndexDefs();
    SwitchIndexOrder();
    Check(AdsGetBookmarkLength(isLive(activeHandle_) ? activeHandle_ : tableHandle_,
                               &bookmarkLength_));
    computeLayout();
    SetBookmarkSize(static_cast<int>(bookmarkLength_));
    if (scoped_) ActivateScope();
    if (Filtered()) ActivateFilter();
    InternalFirst();
}

void TAdsDataSet::InternalClose() {
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    for (auto& key : keyBuffers_) {
        key.Image.clear();
        key.KeyFieldMarks.clear();
    }
    oldRecord_.clear();
    // Pending changes were posted or cancelled before; the handle is given up either way.
    if (isLive(tableHandle_)) (void)AdsCloseTable(tableHandle_);
    tableHandle_ = kClosedHandle;
    activeHandle_ = kClosedHandle;
    typeHandle_ = kClosedHandle;  // a handle number may come back for another table
    mayModify_ = false;
}

void TAdsDataSet::InternalInitFieldDefs() {
    FieldDefs().Clear();
    aceFieldDefs_.Clear();
    blobFieldNumbers_.clear();
    UNSIGNED16 count = 0;
    Check(AdsGetNumFields(tableHandle_, &count));
    for (UNSIGNED16 n = 1; n <= count; ++n) {
        TACEFieldDef entry;
        UNSIGNED8 name[129];
        UNSIGNED16 length = sizeof name;
        Check(AdsGetFieldName(tableHandle_, n, name, &length));
        entry.Name.assign(reinterpret_cast<char*>(name), length);
        entry.FieldNumber = n;
        Check(AdsGetFieldType(tableHandle_, ADSFIELD(n), &entry.EngineType));
        Check(AdsGetFieldOffset(tableHandle_, ADSFIELD(n), &entry.Offset));
        Check(AdsGetFieldLength(tableHandle_, ADSFIELD(n), &entry.Length));
        if (entry.EngineType == ADS_NUMERIC)
            Check(AdsGetFieldDecimals(tableHandle_, ADSFIELD(n), &entry.Decimals));
        entry.Kind = FieldKindOf(entry.EngineType, entry.Length, entry.Decimals, entry.Size);
        if (entry.Kind == db::ftUnknown) continue;
        FieldDefs().Add(entry.Name, entry.Kind, entry.Size);
        if (IsBlobType(entry.EngineType)) blobFieldNumbers_.push_back(n);
        aceFieldDefs_.Add(std::move(entry));
    }
    FieldDefs().SetUpdated(true);
}

void TAdsDataSet::clearKeyBuffer(TKeyBuffer& key) {
    key.Image.assign(recordLength_ + 1, 0);
    UNSIGNED32 length = recordLength_ + 1;
    if (isLive(tableHandle_)) Check(AdsGetNullRecord(tableHandle_, key.Image.data(), &length));
    UNSIGNED16 fields = 0;
    if (isLive(tableHandle_)) Check(AdsGetNumFields(tableHandle_, &fields));
    key.KeyFieldMarks.assign(fields + 1u, kNoKeyValue);
    key.Modified = false;
    key.Exclusive = false;
    key.FieldCount = 0;
}

// ---------------------------------------------------------------------------------------------
// Row buffers

db::TRecordBuffer TAdsDataSet::AllocRecordBuffer() {
    auto memory = std::make_unique<uint8_t[]>(bufferSize_);
    std::memset(memory.get(), 0, bufferSize_);
    db::TRecordBuffer buffer = memory.get();
    auto& caches = blobCaches_[buffer];
    for (size_t i = 0; i < blobFieldNumbers_.size(); ++i) {
        caches.push_back(std::make_unique<TAdsBlobCache>());
        TAdsBlobCache* raw = caches.back().get();
        std::memcpy(buffer + blobRefsOffset_ + i * sizeof raw, &raw, sizeof raw);
    }
    ownedBuffers_.emplace(buffer, std::move(memory));
    return buffer;
}

void TAdsDataSet::FreeRecordBuffer(db::TRecordBuffer buffer) {
    blobCaches_.erase(buffer);
    ownedBuffers_.erase(buffer);
}

TAdsBlobCache* TAdsDataSet::BlobCache(db::TRecordBuffer buffer, const TACEFieldDef& field) const {
    auto it = std::find(blobFieldNumbers_.begin(), blobFieldNumbers_.end(), field.FieldNumber);
    if (!buffer || it == blobFieldNumbers_.end()) return nullptr;
    TAdsBlobCache* cache = nullptr;
    std::memcpy(&cache,
                buffer + blobRefsOffset_ +
                    static_cast<size_t>(it - blobFieldNumbers_.begin()) * sizeof cache,
                sizeof cache);
    return cache;
}

void TAdsDataSet::resetBlobCaches(db::TRecordBuffer buffer) {
    auto it = blobCaches_.find(buffer);
    if (it == blobCaches_.end()) return;
    for (auto& cache : it->second) cache->Reset();
}

void TAdsDataSet::ClearCalcFields(db::TRecordBuffer buffer) {
    if (CalcFieldsSize() > 0)
        std::memset(buffer + recordLength_, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TAdsDataSet::GetBookmarkData(db::TRecordBuffer buffer, void* data) {
    std::memcpy(data, BookmarkOf(buffer), bookmarkLength_);
}

void TAdsDataSet::SetBookmarkData(db::TRecordBuffer buffer, const void* data) {
    std::memcpy(BookmarkOf(buffer), data, bookmarkLength_);
}

db::TBookmarkFlag TAdsDataSet::GetBookmarkFlag(db::TRecordBuffer buffer) {
    return static_cast<db::TBookmarkFlag>(RecordInfo(buffer)[5]);
}

void TAdsDataSet::SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) {
    RecordInfo(buffer)[5] = static_cast<uint8_t>(flag);
}

UNSIGNED32 TAdsDataSet::BookmarkRecordNumber(db::TRecordBuffer buffer) const {
    UNSIGNED32 recno = 0;
    if (buffer) std::memcpy(&recno, BookmarkOf(buffer), sizeof recno);
    return recno;
}

// ---------------------------------------------------------------------------------------------
// Navigation

void TAdsDataSet::InternalFirst() {
    Check(AdsGotoTop(activeHandle_));
    Check(AdsSkip(activeHandle_, -1));
}

void TAdsDataSet::InternalLast() {
    Check(AdsGotoBottom(activeHandle_));
    Check(AdsSkip(activeHandle_, 1));
}

db::TGetResult TAdsDataSet::GetRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool doCheck) {
    (void)doCheck;
    db::TGetResult none = mode == db::gmNext    ? db::grEOF
                          : mode == db::gmPrior ? db::grBOF
                                                : db::grError;
    if (!isLive(tableHandle_) || State() == db::dsInsert) return none;
    if (mode == db::gmNext)
        Check(AdsSkip(activeHandle_, 1));
    else if (mode == db::gmPrior)
        Check(AdsSkip(activeHandle_, -1));
    db::TGetResult result = FetchRecord(buffer, static_cast<UNSIGNED32>(bufferSize_), mode);
    if (result == db::grOK) {
        uint8_t* info = RecordInfo(buffer);
        int32_t recno = CurrentRecordNumber();
        std::memcpy(info, &recno, sizeof recno);
        info[4] = 0;
        info[5] = db::bfCurrent;
    }
    return result;
}

db::TGetResult TAdsDataSet::FetchRecord(db::TRecordBuffer buffer, UNSIGNED32 length,
                                        db::TGetMode mode) {
    for (;;) {
        UNSIGNED16 eof = 0, bof = 0;
        Check(AdsAtEOF(tableHandle_, &eof));
        if (eof && (mode == db::gmCurrent || mode == db::gmNext)) return db::grEOF;
        Check(AdsAtBOF(tableHandle_, &bof));
        if (bof && (mode == db::gmCurrent || mode == db::gmPrior)) return db::grBOF;
        UNSIGNED16 visible = 1;
        UNSIGNED32 r = AdsIsRecordVisible(activeHandle_, &visible);
        if (r != AE_NO_CURRENT_RECORD) Check(r);
        if (!visible)
            return mode == db::gmPrior ? db::grBOF : mode == db::gmNext ? db::grEOF : db::grError;

        UNSIGNED32 recordLength = length;
        Check(AdsGetRecord(tableHandle_, buffer, &recordLength));
        UNSIGNED32 bookmarkLength = bookmarkLength_;
        Check(AdsGetBookmark60(isLive(activeHandle_) ? activeHandle_ : tableHandle_,
                               BookmarkOf(buffer), &bookmarkLength));
        if (!blobFieldNumbers_.empty()) {
            for (UNSIGNED16 n : blobFieldNumbers_) {
                UNSIGNED16 empty = 1;
                Check(AdsIsEmpty(tableHandle_, ADSFIELD(n), &empty));
                velda::record::writeBlobMark(!empty,
                                             buffer + aceFieldDefs_.FieldEntryByNumber(n)->Offset);
            }
            db::TDataSetState s = State();
            if (s == db::dsBrowse || s == db::dsEdit || s == db::dsInsert ||
                s == db::dsCalcFields || s == db::dsNewValue)
                resetBlobCaches(buffer);
        }
        if (options_.AdsCharType() == OEM) {
            for (int i = 0; i < aceFieldDefs_.Count(); ++i) {
                const TACEFieldDef& f = aceFieldDefs_.Items(i);
                if (f.EngineType != ADS_STRING) continue;
                uint8_t after = buffer[f.Offset + f.Length];
                UNSIGNED32 fieldLength = f.Length + 1;
                Check(AdsGetField(tableHandle_, ADSFIELD(f.FieldNumber), buffer + f.Offset,
                                  &fieldLength, ADS_NONE));
                buffer[f.Offset + f.Length] = after;
            }
        }
        GetCalcFields(buffer);
        if (OnFilterRecord && Filtered() && !FilterRecord(buffer)) {
            Check(AdsSkip(activeHandle_, mode == db::gmPrior ? -1 : 1));
            continue;
        }
        return db::grOK;
    }
}

void TAdsDataSet::InternalGotoBookmark(const void* bookmark) {
    if (State() == db::dsInsert) return;
    UNSIGNED32 recno = 0;
    std::memcpy(&recno, bookmark, sizeof recno);
    UNSIGNED32 r = AdsGotoBookmark(tableHandle_, recno);
    if (r != AE_NO_SUCH_RECORD) Check(r);
}

void TAdsDataSet::InternalSetToRecord(db::TRecordBuffer buffer) {
    InternalGotoBookmark(BookmarkOf(buffer));
}

bool TAdsDataSet::BookmarkValidImpl(const void* bookmark) {
    if (!isLive(tableHandle_) || !bookmark) return false;
    CursorPosChanged();
    UNSIGNED32 recno = 0;
    std::memcpy(&recno, bookmark, sizeof recno);
    if (AdsGotoBookmark(tableHandle_, recno) != AE_SUCCESS) return false;
    UNSIGNED16 eof = 1;
    if (AdsAtEOF(tableHandle_, &eof) != AE_SUCCESS || eof) return false;
    if (tableType_ == ttAdsCDX || tableType_ == ttAdsNTX) {
        UNSIGNED16 deleted = 0, shown = 0;
        if (AdsIsRecordDeleted(tableHandle_, &deleted) != AE_SUCCESS) return false;
        if (AdsGetDeleted(&shown) != AE_SUCCESS) return false;
        if (deleted && !shown) return false;
    }
    return true;
}

int TAdsDataSet::CompareBookmarksImpl(const void* a, const void* b) {
    if (!a && !b) return 0;
    if (!a) return 1;
    if (!b) return -1;
    SIGNED32 result = 0;
    Check(AdsCompareBookmarks(EngineBytes(a), EngineBytes(b), &result));
    return result < 0 ? -1 : result > 0 ? 1 : 0;
}

int32_t TAdsDataSet::CurrentRecordNumber() {
    if ((indexName_.empty() && indexFieldNames_.empty()) || !sequenced_) {
        UNSIGNED32 recno = 0;
        Check(AdsGetRecordNum(tableHandle_, ADS_IGNOREFILTERS, &recno));
        return static_cast<int32_t>(recno);
    }
    UNSIGNED32 count = 0;
    Check(AdsGetRecordCount(tableHandle_, ADS_IGNOREFILTERS, &count));
    DOUBLE position = 0;
    UNSIGNED32 r = AdsGetRelKeyPos(activeHandle_, &position);
    if (r == AE_NO_KEY_POSITION)
        position = 0;
    else
        Check(r);
    return static_cast<int32_t>(count * position);
}

int TAdsDataSet::GetRecNo() {
    db::TRecordBuffer buffer = ActiveBuffer();
    if (!buffer || IsEmpty()) return -1;
    int32_t recno = 0;
    std::memcpy(&recno, RecordInfo(buffer), sizeof recno);
    return recno;
}

int TAdsDataSet::GetRecordCount() {
    CheckActive();
    UNSIGNED16 option = ADS_IGNOREFILTERS;
    if (options_.AdsFilterOptions() == RESPECT_WHEN_COUNTING)
        option = ADS_RESPECTFILTERS;
    else if (options_.AdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING)
        option = ADS_RESPECTSCOPES;
    ADSHANDLE handle = activeHandle_;
    if (option == ADS_RESPECTFILTERS && activeHandle_ != tableHandle_) {
        UNSIGNED32 flags = 0;
        Check(AdsGetIndexFlags(activeHandle_, &flags));
        if (tableType_ == ttAdsADT || (flags & 1u) == 0) {
            UNSIGNED8 condition[510];
            UNSIGNED16 length = sizeof condition;
            Check(AdsGetIndexCondition(activeHandle_, condition, &length));
            UNSIGNED8 scope[256];
            UNSIGNED16 scopeLength = sizeof scope;
            bool noTop = AdsGetScope(activeHandle_, ADS_TOP, scope, &scopeLength) == AE_NO_SCOPE;
            scopeLength = sizeof scope;
            bool noBottom =
                AdsGetScope(activeHandle_, ADS_BOTTOM, scope, &scopeLength) == AE_NO_SCOPE;
            if (length == 0 && noTop && noBottom) handle = tableHandle_;
        }
    }
    if (options_.AdsFreshRecordCount()) option = static_cast<UNSIGNED16>(option + ADS_REFRESHCOUNT);
    UNSIGNED32 count = 0;
    Check(AdsGetRecordCount(handle, option, &count));
    return static_cast<int>(count);
}

// ---------------------------------------------------------------------------------------------
// Key search

bool TAdsDataSet::FindByKey(const std::vector<TKeyValue>& values) {
    CheckBrowseMode();
    std::string keyFields;
    if (indexMode_ == TIndexMode::ByFields) {
        keyFields = indexFieldNames_;
    } else if (indexMode_ == TIndexMode::ByName) {
        if (const TIndexDef* def = IndexDefs().Find(indexName_)) keyFields = def->Fields;
    }
    if (keyFields.empty()) RaiseLayerError("No parseable expressions in setting key fields");
    std::vector<std::string> names = splitList(keyFields);
    if (names.size() < values.size()) RaiseLayerError("Too many values given for current index");

    db::TDataSetState saved = SetTempState(db::dsSetKey);
    try {
        keyBuffer_ = &keyBuffers_[0];
        clearKeyBuffer(*keyBuffer_);
        for (size_t i = values.size(); i-- > 0;) {
            db::TField* field = FieldByName(names[i]);
            std::visit(
                [field](const auto& v) {
                    using V = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<V, std::string>)
                        field->SetAsString(v);
                    else if constexpr (std::is_same_v<V, int>)
                        field->SetAsInteger(v);
                    else
                        field->SetAsFloat(v);
                },
                values[i]);
        }
        keyBuffer_->FieldCount = static_cast<int32_t>(values.size());
        keyBuffer_->Modified = Modified();
    } catch (...) {
        RestoreState(saved);
        throw;
    }
    RestoreState(saved);

    CheckBrowseMode();
    if (BeforeScroll) BeforeScroll(this);
    CursorPosChanged();
    UNSIGNED32 remembered = IsEmpty() ? 0 : BookmarkRecordNumber(ActiveBuffer());
    bool wasEof = Eof(), wasBof = Bof();

    std::vector<uint8_t> key;
    buildSeekKey(key);
    UNSIGNED16 found = 0;
    Check(AdsSeek(activeHandle_, key.data(), static_cast<UNSIGNED16>(key.size()), ADS_RAWKEY,
                  ADS_HARDSEEK, &found));
    if (found) {
        Resync(db::rmExact | db::rmCenter);
        if (AfterScroll) AfterScroll(this);
        return true;
    }
    if (wasEof) {
        Last();
    } else if (wasBof) {
        First();
    } else {
        UNSIGNED32 r = AdsGotoRecord(tableHandle_, remembered);
        if (r == AE_NO_SUCH_RECORD)
            Last();
        else
            Check(r);
    }
    return false;
}

void TAdsDataSet::buildSeekKey(std::vector<uint8_t>& key) {
    Check(AdsInitRawKey(activeHandle_));
    for (UNSIGNED16 segment = 0;; ++segment) {
        UNSIGNED8 name[129];
        UNSIGNED16 length = sizeof name;
        if (AdsGetSegmentFieldname(activeHandle_, segment, name, &length) != AE_SUCCESS) break;
        const TACEFieldDef* field =
            aceFieldDefs_.FindByName(std::string(reinterpret_cast<char*>(name), length));
        if (!field || keyBuffer_->KeyFieldMarks[field->FieldNumber] == kNoKeyValue) continue;
        UNSIGNED8* bytes = keyBuffer_->Image.data() + field->Offset;
        if (field->EngineType == ADS_STRING)
            Check(AdsSetField(activeHandle_, EngineText(field->Name), bytes, field->Length));
        else
            Check(AdsSetFieldRaw(activeHandle_, EngineText(field->Name), bytes, field->Length));
    }
    key.assign(ADS_MAX_KEY_LENGTH, 0);
    UNSIGNED16 keyLength = ADS_MAX_KEY_LENGTH;
    Check(AdsBuildRawKey(activeHandle_, key.data(), &keyLength));
    key.resize(keyLength);
}

}  // namespace ads
