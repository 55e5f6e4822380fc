#include "ads/adsdata.h"

#include <strings.h>

#include <cstring>

#include "ads/adscnnct.h"

namespace ads {

namespace {

constexpr std::size_t kColumnNameLength = 900;

std::shared_ptr<std::atomic<int>>& threadPendingCount() {
    thread_local std::shared_ptr<std::atomic<int>> count = std::make_shared<std::atomic<int>>(0);
    return count;
}

bool sameText(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool hasPathSeparator(const std::string& path) {
    return path.find_first_of("\\/") != std::string::npos;
}

// The text after `column "` up to the next double quote.
std::string columnNamed(const std::string& message) {
    static const std::string marker = "column \"";
    std::size_t start = message.find(marker);
    if (start == std::string::npos) return "";
    start += marker.size();
    std::size_t end = message.find('"', start);
    std::string name =
        message.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (name.size() > kColumnNameLength) name.resize(kColumnNameLength);
    return name;
}

TAdsTableTypes tableTypeOf(TAdsAliasTableType aliasType, TAdsTableTypes otherwise) {
    switch (aliasType) {
        case attCDX:
            return ttAdsCDX;
        case attNTX:
            return ttAdsNTX;
        case attADT:
            return ttAdsADT;
        case attNone:
            break;
    }
    return otherwise;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Errors

EADSDatabaseError::EADSDatabaseError(TAdsDataSet* dataSet, const std::string& message, int32_t code)
    : db::EDatabaseError(message), errorCode_(code), pendingCount_(threadPendingCount()) {
    bool nested = pendingCount_->fetch_add(1) > 0;
    if (!nested) collectContext(dataSet, message);
}

EADSDatabaseError::EADSDatabaseError(const EADSDatabaseError& other)
    : db::EDatabaseError(other),
      errorCode_(other.errorCode_),
      dataSetName_(other.dataSetName_),
      dataSetOwnerName_(other.dataSetOwnerName_),
      dataSetDatabaseName_(other.dataSetDatabaseName_),
      dataSetPath_(other.dataSetPath_),
      dataSetTableName_(other.dataSetTableName_),
      columnName_(other.columnName_),
      pendingCount_(threadPendingCount()) {
    pendingCount_->fetch_add(1);
}

EADSDatabaseError& EADSDatabaseError::operator=(const EADSDatabaseError& other) {
    if (this == &other) return *this;
    db::EDatabaseError::operator=(other);
    errorCode_ = other.errorCode_;
    dataSetName_ = other.dataSetName_;
    dataSetOwnerName_ = other.dataSetOwnerName_;
    dataSetDatabaseName_ = other.dataSetDatabaseName_;
    dataSetPath_ = other.dataSetPath_;
    dataSetTableName_ = other.dataSetTableName_;
    columnName_ = other.columnName_;
    return *this;  // both objects stay alive: the pending count is unchanged
}

EADSDatabaseError::~EADSDatabaseError() {
    pendingCount_->fetch_sub(1);
}

bool EADSDatabaseError::ErrorPending() {
    return threadPendingCount()->load() > 0;
}

void EADSDatabaseError::collectContext(TAdsDataSet* dataSet, const std::string& message) {
    if (dataSet) {
        // Collecting asks the dataset for its path, which may itself fail; what was collected
        // until then is kept.
        try {
            dataSetName_ = dataSet->Name();
            if (dataSet->Owner()) dataSetOwnerName_ = dataSet->Owner()->Name();
            dataSetDatabaseName_ = dataSet->DatabaseName();
            dataSetPath_ = dataSet->ResolveDataPath();
            dataSetTableName_ = dataSet->TableName();
            if (errorCode_ >= 5147 && errorCode_ <= 5149) columnName_ = columnNamed(message);
        } catch (...) {
        }
    }
    if (!dataSetName_.empty()) SetMessage(dataSetName_ + ": " + message);
}

bool ReadEngineLastError(UNSIGNED32& code, std::string& text) {
    constexpr std::size_t kEngineTextLength = 600;
    UNSIGNED8 buffer[kEngineTextLength + 1] = {};
    UNSIGNED16 length = sizeof buffer;
    code = 0;
    text.clear();
    if (AdsGetLastError(&code, buffer, &length) != AE_SUCCESS) return false;
    text.assign(reinterpret_cast<const char*>(buffer),
                strnlen(reinterpret_cast<const char*>(buffer), kEngineTextLength));
    return true;
}

void EngineFailure(UNSIGNED32 result, UNSIGNED32& code, std::string& text) {
    if (!ReadEngineLastError(code, text) || text.empty())
        text = "Error " + std::to_string(result) + ": the database engine gave no description.";
    // An engine that reports no code for a failure still must not produce an error that reads
    // as success.
    if (code == 0) code = result;
}

void CheckEngineResult(TAdsDataSet* dataSet, UNSIGNED32 result) {
    if (result == AE_SUCCESS) return;
    if (EADSDatabaseError::ErrorPending()) return;
    UNSIGNED32 code = 0;
    std::string text;
    EngineFailure(result, code, text);
    throw EADSDatabaseError(dataSet, text, static_cast<int32_t>(code));
}
TObjectRegistry<TAdsDataSet>& AllDataSets() {
    static TObjectRegistry<TAdsDataSet> registry;
    return registry;
}

// ---------------------------------------------------------------------------------------------
// Dataset: finding the connection

TAdsDataSet::TAdsDataSet(rtl::TComponent* owner) : db::TDataSet(owner) {
    AllDataSets().Add(this);
}

TAdsDataSet::~TAdsDataSet() {
    Destroying();
    if (connection_) connection_->UnregisterDataSet(this);
    connection_ = nullptr;
    AllDataSets().Remove(this);
}

void TAdsDataSet::RaiseLayerError(const std::string& message, int32_t code) {
    throw EADSDatabaseError(this, message, code);
}

TAdsConnection* TAdsDataSet::findConnection(const std::string& name) const {
    TAdsConnection* found = AllConnections().FindFirst([&](TAdsConnection* connection) {
        return sameText(connection->Name(), name) && connection->Owner() == Owner();
    });
    if (found) return found;
    return AllConnections().FindFirst([&](TAdsConnection* connection) {
        if (sameText(connection->Name(), name)) return true;
        return connection->Owner() &&
               sameText(connection->Owner()->Name() + "." + connection->Name(), name);
    });
}

void TAdsDataSet::SetDatabaseName(const std::string& value) {
    if (IsActive()) RaiseLayerError(kOpenDataSetMessage);
    if (value.empty()) {
        databaseName_.clear();
        aliasPath_.clear();
        ResolveDataPath();
        return;
    }
    if (TAdsConnection* connection = findConnection(value)) {
        databaseName_ = value;
        aliasPath_.clear();
        SetAdsConnection(connection);
        return;
    }
    databaseName_ = value;
    aliasPath_.clear();
    TAdsAlias alias;
    if (!hasPathSeparator(value) && LookupAlias(value, alias)) {
        aliasPath_ = alias.Path;
        tableType_ = alias.DataSetType;
    }
}

void TAdsDataSet::SetAdsConnection(TAdsConnection* connection) {
    if (IsActive()) RaiseLayerError(kTableActiveMessage);
    if (connection != connection_) {
        if (connection_) connection_->UnregisterDataSet(this);
        if (connection) connection->RegisterDataSet(this);
    }
    connection_ = connection;
    ResolveDataPath();
}

void TAdsDataSet::SetTableName(const std::string& value) {
    if (IsActive()) RaiseLayerError(kOpenDataSetMessage);
    tableName_ = value;
    RefreshDefaultIndex();
}

void TAdsDataSet::SetTableType(TAdsTableTypes value) {
    if (IsActive()) RaiseLayerError(kOpenDataSetMessage);
    if (!databaseName_.empty()) {
        TAdsAlias alias;
        if (!hasPathSeparator(databaseName_) && LookupAlias(databaseName_, alias) &&
            alias.DataSetType != value)
            RaiseLayerError(kAliasTableTypeMessage);
    } else if (connection_) {
        TAdsAliasTableType required = connection_->GetAliasTableType();
        if (required != attNone && tableTypeOf(required, value) != value)
            RaiseLayerError(kAliasTableTypeMessage);
    }
    tableType_ = value;
}

UNSIGNED16 TAdsDataSet::EngineTableType() const {
    switch (tableType_) {
        case ttAdsCDX:
            return ADS_CDX;
        case ttAdsNTX:
            return ADS_NTX;
        case ttAdsADT:
        case ttAdsDefault:
            break;
    }
    return ADS_ADT;
}

bool TAdsDataSet::namesConnection() const {
    if (databaseName_.empty()) return true;
    if (!connection_) return false;
    if (sameText(databaseName_, connection_->Name())) return true;
    return connection_->Owner() &&
           sameText(databaseName_, connection_->Owner()->Name() + "." + connection_->Name());
}

void TAdsDataSet::applyConnectionAliasType() {
    tableType_ = tableTypeOf(connection_->GetAliasTableType(), tableType_);
}

std::string TAdsDataSet::ResolveDataPath() {
    std::string path;
    if (!aliasPath_.empty()) {
        path = aliasPath_;
    } else if (namesConnection()) {
        if (connection_) {
            path = connection_->GetDataFolder();
            applyConnectionAliasType();
        }
    } else if (hasPathSeparator(databaseName_)) {
        path = databaseName_;
    } else if (TAdsAlias alias; LookupAlias(databaseName_, alias)) {
        aliasPath_ = alias.Path;
        path = alias.Path;
        tableType_ = alias.DataSetType;
    } else {
        path = databaseName_;
    }
    // One trailing separator goes; a root folder keeps its only one.
    if (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

ADSHANDLE TAdsDataSet::GetConnectionHandle() {
    std::string path = ResolveDataPath();
    if (path.empty()) RaiseLayerError(kNoDataPathMessage);
    ADSHANDLE handle = 0;
    if (connection_) {
        if (!connection_->IsConnected()) connection_->Connect();
        handle = connection_->ConnectionHandle();
    } else {
        handle = DynamicConnections().FindConnection(path);
        if (handle == 0) handle = DynamicConnections().AddConnection(path);
    }
    if (handle == 0) RaiseLayerError(kNoConnectionHandleMessage);
    return handle;
}

}  // namespace ads
