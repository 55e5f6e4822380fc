// The dataset base of the data-access components (its connection half) and the database
// errors of the layer.
//
// Every engine result other than 0 goes through CheckEngineResult, which raises an
// EADSDatabaseError carrying the engine's code and text. While such an error is alive in a
// thread (ErrorPending), further engine failures in that thread raise nothing: clean-up code
// that runs while one error propagates must not replace it with another.
#ifndef VELDA_ADS_ADSDATA_H
#define VELDA_ADS_ADSDATA_H

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "ads/adsfields.h"
#include "db/database_error.h"
#include "db/dataset.h"
#include "engine/ace.h"
#include "rtl/component.h"

namespace ads {

class TAdsConnection;
class TAdsDataSet;

// The handle of a closed dataset.
inline constexpr ADSHANDLE kClosedHandle = 0xFFFFFFFFu;

// The code of the layer's own dataset checks.
inline constexpr int32_t kLayerErrorCode = 5121;

// Texts of the layer's own dataset checks that belong to finding a connection.
inline constexpr const char* kOpenDataSetMessage =
    "Cannot perform this operation on an open dataset";
inline constexpr const char* kTableActiveMessage = "Table must not be Active.";
inline constexpr const char* kNoDataPathMessage =
    "One of the DatabaseName property or the AdsConnection property must have a value.";
inline constexpr const char* kNoConnectionHandleMessage =
    "Internal Error: invalid connection handle.";
inline constexpr const char* kAliasTableTypeMessage =
    "The table type must remain identical to the table type associated with the alias.";

class EADSDatabaseError : public db::EDatabaseError {
  public:
    // Collects the dataset's context (none for a null dataset) and prefixes the message with
    // the dataset's name when it has one. Made while another EADSDatabaseError is alive in this
    // thread, the error keeps its message and code but collects no context: collecting calls
    // into the dataset, which must not recurse into further errors.
    EADSDatabaseError(TAdsDataSet* dataSet, const std::string& message, int32_t code);
    EADSDatabaseError(const EADSDatabaseError& other);
    EADSDatabaseError& operator=(const EADSDatabaseError& other);
    ~EADSDatabaseError() override;

    int32_t ErrorCode() const { return errorCode_; }
    const std::string& DataSetName() const { return dataSetName_; }
    const std::string& DataSetOwnerName() const { return dataSetOwnerName_; }
    const std::string& DataSetDatabaseName() const { return dataSetDatabaseName_; }
    const std::string& DataSetPath() const { return dataSetPath_; }
    const std::string& DataSetTableName() const { return dataSetTableName_; }
    // For codes 5147 to 5149: the column the engine's text names as column "NAME".
    const std::string& ColumnName() const { return columnName_; }

    // Whether an EADSDatabaseError is alive in the calling thread. Every live object counts,
    // copies made while an exception is thrown or caught included, so this turns false only
    // when the last of them is gone.
    static bool ErrorPending();

  private:
    void collectContext(TAdsDataSet* dataSet, const std::string& message);

    int32_t errorCode_ = 0;
    std::string dataSetName_;
    std::string dataSetOwnerName_;
    std::string dataSetDatabaseName_;
    std::string dataSetPath_;
    std::string dataSetTableName_;
    std::string columnName_;
    // The pending count of the thread that made this object; shared so that an error destroyed
    // in another thread (through an exception_ptr) still clears the right thread's flag.
    std::shared_ptr<std::atomic<int>> pendingCount_;
};

// The engine's last error of this thread (code and text, up to 600 characters); false when the
// engine cannot tell it. The one reader for EngineFailure.
bool ReadEngineLastError(UNSIGNED32& code, std::string& text);

// What a failed engine result means, for CheckEngineResult and AdsError: the engine's last
// error code and text. A failure the engine cannot describe (no text, or code 0) still reads
// as a failure: result and "Error <result>: the database engine gave no description.".
void EngineFailure(UNSIGNED32 result, UNSIGNED32& code, std::string& text);

// Nothing for 0. Otherwise, unless an error is pending in this thread, raises EADSDatabaseError
// with the engine's last error code and text (up to 600 characters).
void CheckEngineResult(TAdsDataSet* dataSet, UNSIGNED32 result);

// A process-wide list of live objects in creation order, guarded by its own lock.
template <class T>
class TObjectRegistry {
  public:
    void Add(T* object) {
        std::lock_guard lock(mutex_);
        items_.push_back(object);
    }
    void Remove(T* object) {
        std::lock_guard lock(mutex_);
        items_.erase(std::remove(items_.begin(), items_.end(), object), items_.end());
    }
    bool Contains(const T* object) const {
        std::lock_guard lock(mutex_);
        return std::find(items_.begin(), items_.end(), object) != items_.end();
    }
    std::vector<T*> Snapshot() const {
        std::lock_guard lock(mutex_);
        return items_;
    }
    // The first object, in creation order, for which match holds; match runs under the lock.
    template <class Match>
    T* FindFirst(Match match) const {
        std::lock_guard lock(mutex_);
        for (T* item : items_)
            if (match(item)) return item;
        return nullptr;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<T*> items_;
};

// Every TAdsDataSet alive, in creation order.
TObjectRegistry<TAdsDataSet>& AllDataSets();

enum TAdsTableTypes { ttAdsCDX, ttAdsNTX, ttAdsADT, ttAdsDefault };

enum TAdsLockTypes { Proprietary, Compatible };
enum TAdsCharTypes { ANSI, OEM };
enum TAdsRespectFilters { IGNORE_WHEN_COUNTING, RESPECT_WHEN_COUNTING };
enum TAdsRespectScopes { IGNORE_SCOPES_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING };

// Options of a table that the engine takes at open and that tune counting and filtering.
class TAdsTableOptions {
  public:
    explicit TAdsTableOptions(TAdsDataSet* owner) : owner_(owner) {}
    TAdsLockTypes AdsLockType() const { return lockType_; }
    void SetAdsLockType(TAdsLockTypes value);  // closed only
    TAdsCharTypes AdsCharType() const { return charType_; }
    void SetAdsCharType(TAdsCharTypes value);  // closed only
    bool AdsRightsCheck() const { return rightsCheck_; }
    void SetAdsRightsCheck(bool value);  // closed only
    TAdsRespectFilters AdsFilterOptions() const { return filterOptions_; }
    void SetAdsFilterOptions(TAdsRespectFilters value) { filterOptions_ = value; }
    TAdsRespectScopes AdsScopeOptions() const { return scopeOptions_; }
    void SetAdsScopeOptions(TAdsRespectScopes value) { scopeOptions_ = value; }
    bool AdsOptimizedFilters() const { return optimizedFilters_; }
    void SetAdsOptimizedFilters(bool value);
    bool AdsAOFResolveImmediate() const { return resolveImmediate_; }
    void SetAdsAOFResolveImmediate(bool value) { resolveImmediate_ = value; }
    bool AdsFreshRecordCount() const { return freshRecordCount_; }
    void SetAdsFreshRecordCount(bool value) { freshRecordCount_ = value; }
    UNSIGNED32 AdsIndexPageSize() const { return indexPageSize_; }
    void SetAdsIndexPageSize(UNSIGNED32 value) { indexPageSize_ = value; }

  private:
    void checkClosed() const;
    TAdsDataSet* owner_;
    TAdsLockTypes lockType_ = Proprietary;
    TAdsCharTypes charType_ = ANSI;
    bool rightsCheck_ = true;
    TAdsRespectFilters filterOptions_ = IGNORE_WHEN_COUNTING;
    TAdsRespectScopes scopeOptions_ = IGNORE_SCOPES_WHEN_COUNTING;
    bool optimizedFilters_ = true;
    bool resolveImmediate_ = false;
    bool freshRecordCount_ = false;
    UNSIGNED32 indexPageSize_ = 512;
};

struct TIndexDef {
    std::string Name;
    std::string Fields;  // segment fields joined with ";", upper-cased
    bool Unique = false;
    bool Descending = false;
};

class TIndexDefs {
  public:
    int Count() const { return static_cast<int>(items_.size()); }
    const TIndexDef& Items(int i) const { return items_.at(static_cast<size_t>(i)); }
    const TIndexDef* Find(const std::string& name) const;  // case-insensitive
    void Clear() { items_.clear(); }
    void Add(TIndexDef def) { items_.push_back(std::move(def)); }
    bool Stale() const { return stale_; }
    void SetStale(bool value) { stale_ = value; }

  private:
    std::vector<TIndexDef> items_;
    bool stale_ = true;
};

// A key being built for a search: a record image and, per engine field, what was given.
struct TKeyBuffer {
    bool Modified = false;
    bool Exclusive = false;
    int32_t FieldCount = 0;
    std::vector<uint8_t> Image;
    std::vector<uint16_t> KeyFieldMarks;  // 0xFFFF: no value; strings: text length; others 1
};

// The bytes of one blob field of one row buffer, loaded on demand from the engine.
class TAdsBlobCache : public db::TMemoryStream {
  public:
    ADSHANDLE TableHandle = kClosedHandle;
    UNSIGNED32 RecordNumber = 0;
    UNSIGNED16 FieldNumber = 0;
    bool Modified = false;
    void Reset();
};

using TKeyValue = std::variant<std::string, int, double>;

// A value for SearchByFieldValues; monostate stands for no value (an empty field).
using TSearchValue = std::variant<std::monostate, std::string, int, double, bool>;
struct TSearchOptions {
    bool CaseInsensitive = false;  // never seeks: compares UPPER() of both sides
    bool PartialKey = false;       // texts match at their start (exact matching off)
};

// The longest ScopeBegin / ScopeEnd.
inline constexpr size_t kMaxScopeText = 256;

// The dataset base of the data-access components: one engine cursor under the record-set
// framework, and how the dataset finds its connection and the folder its tables open from.
//
// A dataset names its connection through AdsConnection, or through DatabaseName: the Name of a
// connection (one on the dataset's own form first), "Form.Connection", an alias of ADS.INI, or
// a folder path for which the layer keeps one shared engine connection per path.
//
// Row buffers: the record image (record length bytes), the calculated-field area, one
// reference per blob field to its cache, RecordInfo (record number, a zero byte, the bookmark
// flag) and the engine bookmark, whose first 32 bits are the row's record number.
class TAdsDataSet : public db::TDataSet {
  public:
    explicit TAdsDataSet(rtl::TComponent* owner = nullptr);
    ~TAdsDataSet() override;

    // ---- connection -----------------------------------------------------------------------
    const std::string& DatabaseName() const { return databaseName_; }
    virtual void SetDatabaseName(const std::string& value);
    TAdsConnection* AdsConnection() const { return connection_; }
    void SetAdsConnection(TAdsConnection* connection);
    const std::string& TableName() const { return tableName_; }
    virtual void SetTableName(const std::string& value);
    TAdsTableTypes TableType() const { return tableType_; }
    virtual void SetTableType(TAdsTableTypes value);
    UNSIGNED16 EngineTableType() const;
    std::string ResolveDataPath();
    bool IsActive() const { return Active(); }
    virtual void ReleaseConnectionHandles() {}
    virtual void RefreshDefaultIndex() {}

    // ---- table options and order -----------------------------------------------------------
    TAdsTableOptions& AdsTableOptions() { return options_; }
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    const std::string& IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const std::string& value);
    const std::string& IndexName() const { return indexName_; }
    void SetIndexName(const std::string& value);
    TIndexDefs& IndexDefs();  // rebuilt when stale
    bool Sequenced() const { return sequenced_; }
    void SetSequenced(bool value) { sequenced_ = value; }
    bool Scoped() const { return scoped_; }
    void SetScoped(bool value);
    // At most kMaxScopeText characters each ("Scope text length exceeded 256" otherwise).
    const std::string& ScopeBegin() const { return scopeBegin_; }
    void SetScopeBegin(const std::string& value);
    const std::string& ScopeEnd() const { return scopeEnd_; }
    void SetScopeEnd(const std::string& value);
    std::string Version() const;

    // ---- cursor ---------------------------------------------------------------------------
    // Brings the row window back to the engine cursor's row after the cursor moved beneath the
    // dataset (a new index order, a table password). Before the first row the first row becomes
    // current; past the last row the last (or, with pastEndToFirst, the first); otherwise the
    // window is re-read around the current row, centred or kept where it is. 5068 (no current
    // record, an empty table) counts as success.
    enum class TReRead { Centred, InPlace };
    void ReReadWindow(TReRead mode, bool pastEndToFirst);
    ADSHANDLE TableHandle() const { return tableHandle_; }
    ADSHANDLE ActiveHandle() const { return activeHandle_; }
    // Searches the active index for the values (the last value for the last key field). Found:
    // the row becomes current. Not found: the dataset stays where it was (see the notes in the
    // implementation).
    bool FindByKey(const std::vector<TKeyValue>& values);
    virtual int32_t CurrentRecordNumber();
    const TACEFieldDefs& ACEFieldDefs() const { return aceFieldDefs_; }
    const std::string& DefaultIndexTag() const { return defaultIndexTag_; }

    // Filter and scope in the engine. Filter is an engine expression; a "*" just before the
    // closing quote of a literal asks for a partial match (see PrepareFilterText).
    virtual void ActivateFilter();
    virtual void DeactivateFilter();
    virtual void ActivateScope();
    virtual void DeactivateScope();

    // Searches the rows for the values of the named fields (";"-separated; one value per field,
    // in order; an empty value matches an empty field). Seeks on an index whose leading
    // segments are exactly these fields, else walks a temporary engine filter. Found: the row
    // becomes current and true is returned. Not found: the current row stays, false.
    bool SearchByFieldValues(const std::string& fieldNames, const std::vector<TSearchValue>& values,
                             TSearchOptions options = {});

    // ---- framework hooks (public ones) --------------------------------------------------------
    bool GetFieldData(db::TField* field, void* destination) override;
    void SetFieldData(db::TField* field, const void* value) override;
    std::unique_ptr<db::TStream> CreateBlobStream(db::TField* field,
                                                  db::TBlobStreamMode mode) override;

    [[noreturn]] void BatchMove();
    [[noreturn]] void RenameTable();
    [[noreturn]] void UpdateStatus();

  protected:
    // The engine handle of a freshly opened cursor.
    virtual ADSHANDLE OpenCursorHandle() = 0;
    ADSHANDLE GetConnectionHandle();
    [[noreturn]] void RaiseLayerError(const std::string& message, int32_t code = kLayerErrorCode);
    void Check(UNSIGNED32 result) { CheckEngineResult(this, result); }

    // framework hooks
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return tableHandle_ != kClosedHandle; }
    void InternalInitFieldDefs() override;
    void InternalFirst() override;
    void InternalLast() override;
    db::TGetResult GetRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool doCheck) override;
    db::TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(db::TRecordBuffer buffer) override;
    int GetRecordSize() const override { return static_cast<int>(recordLength_); }
    void InternalInitRecord(db::TRecordBuffer buffer) override;
    void InitRecord(db::TRecordBuffer buffer) override;
    void ClearCalcFields(db::TRecordBuffer buffer) override;
    void GetBookmarkData(db::TRecordBuffer buffer, void* data) override;
    void SetBookmarkData(db::TRecordBuffer buffer, const void* data) override;
    db::TBookmarkFlag GetBookmarkFlag(db::TRecordBuffer buffer) override;
    void SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) override;
    void InternalGotoBookmark(const void* bookmark) override;
    void InternalSetToRecord(db::TRecordBuffer buffer) override;
    bool BookmarkValidImpl(const void* bookmark) override;
    int CompareBookmarksImpl(const void* a, const void* b) override;
    void InternalEdit() override;
    void InternalInsert() override;
    void InternalPost() override;
    void InternalCancel() override;
    void InternalDelete() override;
    void InternalRefresh() override;
    void InternalAddRecord(db::TRecordBuffer buffer, bool append) override;
    bool GetCanModify() override { return mayModify_ && !readOnly_; }
    int GetRecordCount() override;
    int GetRecNo() override;
    void SetFilteredImpl(bool value) override;
    void SetFilterText(const std::string& text) override;

    // The filter text handed to the engine: a trailing "*" inside a quoted literal removed
    // (exact := false when one was); long field names through the engine's conversions for ADT
    // tables.
    std::string PrepareFilterText(const std::string& text, bool& exact);
    // The filter expression matching the values of the fields in the filter buffer, one term
    // per field joined with " AND "; only in the filter state. exactCompare writes "==";
    // padStrings pads string values to the field length.
    std::string BuildFilterString(const std::vector<db::TField*>& fields, bool caseInsensitive,
                                  bool exactCompare = false, bool padStrings = false);

    // The index a search by these fields seeks on; 0 when it has to filter.
    ADSHANDLE searchIndex(const std::vector<db::TField*>& fields);

    // Reads the row the cursor stands on (after the move the mode asks for was made).
    db::TGetResult FetchRecord(db::TRecordBuffer buffer, UNSIGNED32 length, db::TGetMode mode);
    void SwitchIndexOrder();
    void RebuildIndexDefs();
    bool IsAdt();
    bool Opening() const { return opening_; }
    void SetDefaultIndexTag(const std::string& tag) { defaultIndexTag_ = tag; }
    // Orders the table by the dictionary's default index from its next open.
    void UseDictionaryDefaultIndex() {
        indexMode_ = TIndexMode::DictionaryDefault;
        indexName_ = "ADS_DEFAULT";
    }

    // Row-buffer layout.
    uint8_t* RecordInfo(db::TRecordBuffer buffer) const { return buffer + recordInfoOffset_; }
    uint8_t* BookmarkOf(db::TRecordBuffer buffer) const { return buffer + bookmarkOffset_; }
    UNSIGNED32 BookmarkRecordNumber(db::TRecordBuffer buffer) const;
    TAdsBlobCache* BlobCache(db::TRecordBuffer buffer, const TACEFieldDef& field) const;

  private:
    friend class TAdsConnection;
    friend class TAdsTableOptions;
    enum class TIndexMode { None, ByName, ByFields, DictionaryDefault };

    bool namesConnection() const;
    void applyConnectionAliasType();
    TAdsConnection* findConnection(const std::string& name) const;
    void computeLayout();
    db::TRecordBuffer bufferForState();
    const TIndexDef* indexForFields(const std::string& fields);
    // SearchByFieldValues' parts (adsdataset_filter.cpp).
    bool restrictedOrder(ADSHANDLE index);
    std::string engineDateFormat();  // of CTOD on the dataset's connection
    bool seekOnIndex(ADSHANDLE index, const std::vector<db::TField*>& fields,
                     db::TRecordBuffer scratch, bool partialKey);
    bool searchByFilter(const std::vector<db::TField*>& fields, TSearchOptions options);
    void buildSeekKey(std::vector<uint8_t>& key);
    void clearKeyBuffer(TKeyBuffer& buffer);
    void resetBlobCaches(db::TRecordBuffer buffer);
    void applyDefaultExpressions(db::TRecordBuffer buffer);

    // connection
    std::string databaseName_;
    std::string aliasPath_;
    std::string tableName_;
    TAdsConnection* connection_ = nullptr;
    TAdsTableTypes tableType_ = ttAdsADT;

    // cursor
    ADSHANDLE tableHandle_ = kClosedHandle;
    ADSHANDLE activeHandle_ = kClosedHandle;
    // IsAdt's answer for the open handle: the engine's table type of a handle never changes,
    // and every field read asks for it.
    ADSHANDLE typeHandle_ = kClosedHandle;
    bool typeIsAdt_ = true;
    TIndexMode indexMode_ = TIndexMode::None;
    std::string defaultIndexTag_;
    std::string indexFieldNames_;
    std::string indexName_;
    TIndexDefs indexDefs_;
    TAdsTableOptions options_{this};
    bool exclusive_ = false;
    bool readOnly_ = false;
    bool sequenced_ = false;
    bool scoped_ = false;
    std::string scopeBegin_, scopeEnd_;
    bool mayModify_ = false;
    bool opening_ = false;
    TACEFieldDefs aceFieldDefs_;
    std::vector<UNSIGNED16> blobFieldNumbers_;

    // layout
    UNSIGNED32 recordLength_ = 0;
    UNSIGNED32 bookmarkLength_ = 0;
    size_t blobRefsOffset_ = 0, recordInfoOffset_ = 0, bookmarkOffset_ = 0, bufferSize_ = 0;
    std::map<db::TRecordBuffer, std::unique_ptr<uint8_t[]>> ownedBuffers_;
    std::map<db::TRecordBuffer, std::vector<std::unique_ptr<TAdsBlobCache>>> blobCaches_;

    // key buffers: lookup, range start, range end, current range start, current range end, saved
    std::array<TKeyBuffer, 6> keyBuffers_;
    TKeyBuffer* keyBuffer_ = nullptr;
    std::vector<uint8_t> oldRecord_;
};

}  // namespace ads

#endif
