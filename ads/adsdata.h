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
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/database_error.h"
#include "engine/ace.h"
#include "rtl/component.h"

namespace ads {

class TAdsConnection;
class TAdsDataSet;

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

// The dataset base: how a dataset finds its connection and the folder its tables open from.
//
// A dataset names its connection through AdsConnection, or through DatabaseName: the Name of a
// connection (one on the dataset's own form first), "Form.Connection", an alias of ADS.INI, or
// a folder path for which the layer keeps one shared engine connection per path.
class TAdsDataSet : public rtl::TComponent {
  public:
    explicit TAdsDataSet(rtl::TComponent* owner = nullptr);
    ~TAdsDataSet() override;

    const std::string& DatabaseName() const { return databaseName_; }
    virtual void SetDatabaseName(const std::string& value);

    TAdsConnection* AdsConnection() const { return connection_; }
    void SetAdsConnection(TAdsConnection* connection);

    const std::string& TableName() const { return tableName_; }
    virtual void SetTableName(const std::string& value);

    TAdsTableTypes TableType() const { return tableType_; }
    virtual void SetTableType(TAdsTableTypes value);
    // The engine table type kept with TableType: CDX 2, NTX 1, ADT and default 3.
    UNSIGNED16 EngineTableType() const;

    // The folder or path the dataset's tables open from (no trailing separator). May set the
    // table type from the alias or connection it resolves through.
    std::string ResolveDataPath();

    // Open state; the dataset classes implement them (the base is never open).
    virtual bool IsActive() const { return false; }
    virtual void SetActive(bool) {}

    // Called by the connection after it closed this dataset while disconnecting.
    virtual void ReleaseConnectionHandles() {}
    // Called by a dictionary connection for each of its datasets after it connected.
    virtual void RefreshDefaultIndex() {}

  protected:
    // The engine connection handle to open a table on: the connection component's (connecting
    // it first when needed), else the shared connection for the resolved path.
    ADSHANDLE GetConnectionHandle();

    [[noreturn]] void RaiseLayerError(const std::string& message, int32_t code = kLayerErrorCode);

  private:
    friend class TAdsConnection;

    bool namesConnection() const;
    void applyConnectionAliasType();
    // The connection a DatabaseName names: on this dataset's form first, then anywhere.
    TAdsConnection* findConnection(const std::string& name) const;

    std::string databaseName_;
    std::string aliasPath_;  // cached when DatabaseName is an alias of ADS.INI
    std::string tableName_;
    TAdsConnection* connection_ = nullptr;
    TAdsTableTypes tableType_ = ttAdsADT;
};

}  // namespace ads

#endif
