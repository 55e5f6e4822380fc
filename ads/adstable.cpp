#include "ads/adstable.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "ads/adscnnct.h"
#include "ads/engine_text.h"
#include "rtl/serverpath.h"

namespace ads {

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string fileNamePart(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file of the data folder as the engine opens it through the connection to that folder:
// folder + "\" + name. A server path's parameters must stay last, and the engine adds a missing
// extension at the very end of a path; so on a server path with parameters the name goes alone,
// which the connection to that folder finds there.
std::string InFolder(const std::string& folder, const std::string& name) {
    if (rtl::IsServerPath(folder) && folder.find('?') != std::string::npos) return name;
    return folder + "\\" + name;
}

}  // namespace

void TAdsIndexFiles::Add(const std::string& name) {
    if (std::find(names_.begin(), names_.end(), name) != names_.end()) return;
    names_.insert(std::upper_bound(names_.begin(), names_.end(), name), name);
    table_->IndexDefs();  // keep the definitions current with the files
    if (table_->IsActive()) table_->openIndexFile(name);
}

void TAdsIndexFiles::Delete(int index) {
    std::string name = names_.at(static_cast<size_t>(index));
    names_.erase(names_.begin() + index);
    if (table_->IsActive()) table_->closeIndexFile(name);
}

void TAdsIndexFiles::Clear() {
    std::vector<std::string> old;
    old.swap(names_);
    if (table_->IsActive())
        for (const auto& name : old) table_->closeIndexFile(name);
}

TAdsTable::TAdsTable(rtl::TComponent* owner) : TAdsExtendedTable(owner) {}

TAdsTable::~TAdsTable() = default;

void TAdsTable::SetTableName(const std::string& value) {
    if (IsActive()) RaiseLayerError(kOpenDataSetMessage);
    if (value != TableName() && !Loading()) indexFiles_.Clear();
    TAdsDataSet::SetTableName(value);
    RefreshDefaultIndex();
}

ADSHANDLE TAdsTable::OpenCursorHandle() {
    if (TableName().empty()) RaiseLayerError("Missing TableName property");
    UNSIGNED32 options = (Exclusive() ? ADS_EXCLUSIVE : 0u) | (ReadOnly() ? ADS_READONLY : 0u);
    if (AdsConnection() && AdsConnection()->ReadOnly()) {
        options |= ADS_READONLY;
        SetReadOnly(true);
    }
    UNSIGNED16 lockType = AdsTableOptions().AdsLockType() == Proprietary ? ADS_PROPRIETARY_LOCKING
                                                                         : ADS_COMPATIBLE_LOCKING;
    UNSIGNED16 charType = AdsTableOptions().AdsCharType() == ANSI ? ADS_ANSI : ADS_OEM;
    UNSIGNED16 rights = AdsTableOptions().AdsRightsCheck() ? ADS_CHECKRIGHTS : ADS_IGNORERIGHTS;
    std::string path = ResolveDataPath();
    if (path.empty()) RaiseLayerError(kNoDataPathMessage);
    bool dictionary = AdsConnection() && AdsConnection()->UsesDictionary();
    std::string name = dictionary ? TableName() : InFolder(path, TableName());
    ADSHANDLE connection = GetConnectionHandle();
    UNSIGNED16 type = dictionary ? ADS_DEFAULT : EngineTableType();
    ADSHANDLE handle = 0;
    UNSIGNED32 result = AdsOpenTable(connection, EngineText(name), nullptr, type, charType,
                                     lockType, rights, options, &handle);
    if (result == AE_NOT_IN_DICTIONARY && dictionary) {
        std::string byPath = InFolder(path, TableName());
        result = AdsOpenTable(connection, EngineText(byPath), nullptr, EngineTableType(), charType,
                              lockType, rights, options, &handle);
    }
    Check(result);
    try {
        if (dictionary) {
            UNSIGNED16 real = ADS_ADT;
            Check(AdsGetTableType(handle, &real));
            SetTableType(real == ADS_CDX ? ttAdsCDX : real == ADS_NTX ? ttAdsNTX : ttAdsADT);
        }
        for (const auto& file : indexFiles_.Names()) {
            ADSHANDLE indexes[50];
            UNSIGNED16 count = 50;
            Check(AdsOpenIndex(handle, EngineText(InFolder(path, file)), indexes, &count));
        }
    } catch (...) {
        (void)AdsCloseTable(handle);  // the open's own error is the one to raise
        throw;
    }
    return handle;
}

void TAdsTable::openIndexFile(const std::string& name) {
    std::string file =
        name.find_first_of("\\/") == std::string::npos ? InFolder(ResolveDataPath(), name) : name;
    ADSHANDLE indexes[50];
    UNSIGNED16 count = 50;
    Check(AdsOpenIndex(TableHandle(), EngineText(file), indexes, &count));
}

void TAdsTable::closeIndexFile(const std::string& name) {
    ADSHANDLE indexes[50];
    UNSIGNED16 count = 50;
    Check(AdsGetAllIndexes(TableHandle(), indexes, &count));
    for (UNSIGNED16 i = 0; i < count; ++i) {
        UNSIGNED8 file[260];
        UNSIGNED16 length = sizeof file;
        if (AdsGetIndexFilename(indexes[i], 2, file, &length) != AE_SUCCESS) continue;
        if (upper(fileNamePart(std::string(reinterpret_cast<char*>(file), length))) ==
            upper(fileNamePart(name))) {
            Check(AdsCloseIndex(indexes[i]));
            SetIndexName("");
            return;
        }
    }
}

void TAdsTable::RefreshDefaultIndex() {
    if (!AdsConnection() || !AdsConnection()->UsesDictionary() || !AdsConnection()->IsConnected())
        return;
    char buffer[200] = {};
    UNSIGNED16 length = sizeof buffer;
    UNSIGNED32 r =
        AdsDDGetTableProperty(AdsConnection()->ConnectionHandle(), EngineText(TableName()),
                              ADS_DD_TABLE_DEFAULT_INDEX, buffer, &length);
    if (r == AE_PROPERTY_NOT_SET) {
        if (IndexName() == "ADS_DEFAULT") SetIndexName("");
        return;
    }
    if (r != AE_SUCCESS) return;
    SetDefaultIndexTag(std::string(buffer, strnlen(buffer, sizeof buffer)));
    // A table ordered by IndexFieldNames keeps that order: switching it to the dictionary's
    // default would make its key searches fail.
    if (IndexName() == "ADS_DEFAULT" ||
        (IndexName().empty() && IndexFieldNames().empty() && !Loading()))
        UseDictionaryDefaultIndex();
}

UNSIGNED32 TAdsTable::LastAutoInc() {
    UNSIGNED32 value = 0;
    Check(AdsGetLastAutoinc(TableHandle(), &value));
    if (static_cast<int32_t>(value) < 0) RaiseLayerError("Range check error");
    return value;
}

}  // namespace ads
