// The listing calls of the call surface: the tables of a connection's folder (AdsFindFirstTable)
// and the users and tables of a data dictionary (AdsDDFindFirstObject).
//
// A listing reads every name when it starts and hands them out one at a time through a find
// handle, so that a long walk holds nothing open in the folder, on the server or in the
// dictionary. The connection keeps its find handles, and a disconnect closes them.
#include <fnmatch.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "engine/connection.h"
#include "engine/dictionary.h"
#include "engine/last_error.h"
#include "engine/paths.h"
#include "engine/registry.h"

namespace engine {

namespace {

class Listing final : public EngineObject {
  public:
    // what names the names in texts ("table names").
    Listing(ADSHANDLE owner, std::vector<std::string> names, std::string what)
        : owner_(owner), names_(std::move(names)), what_(std::move(what)) {}
    HandleKind kind() const override { return HandleKind::Find; }
    ADSHANDLE owner() const { return owner_; }

    // Copies the next name out and moves on; a buffer too small keeps it for the retry.
    UNSIGNED32 next(UNSIGNED8* buffer, UNSIGNED16* len) {
        std::lock_guard lock(mutex_);
        if (next_ >= names_.size())
            return fail(AE_FILE_NOT_FOUND, "There are no more " + what_ + " in the listing.");
        if (UNSIGNED32 rc = copyOut(names_[next_], buffer, len, what_.c_str())) return rc;
        ++next_;
        return AE_SUCCESS;
    }

  private:
    const ADSHANDLE owner_;
    std::mutex mutex_;
    std::vector<std::string> names_;
    const std::string what_;
    size_t next_ = 0;
};

// Hands out the first name and, when more may follow, a find handle for them.
UNSIGNED32 startListing(Connection& connection, std::vector<std::string> names,
                        const std::string& none, const char* what, UNSIGNED8* buffer,
                        UNSIGNED16* len, ADSHANDLE* phFind) {
    if (names.empty()) return fail(AE_FILE_NOT_FOUND, none);
    auto listing = std::make_shared<Listing>(connection.handle(), std::move(names), what);
    if (UNSIGNED32 rc = listing->next(buffer, len)) return rc;
    *phFind = HandleRegistry::instance().add(listing);
    connection.addListing(*phFind);
    return AE_SUCCESS;
}

// The listing a find handle names, made on this connection; null after failing.
std::shared_ptr<Listing> listingOf(ADSHANDLE hConnect, ADSHANDLE hFind) {
    auto listing = HandleRegistry::instance().findAs<Listing>(hFind);
    if (!listing || listing->owner() != hConnect) {
        (void)fail(AE_INVALID_HANDLE, "Handle " + std::to_string(hFind) +
                                          " is not a listing of connection " +
                                          std::to_string(hConnect) + ".");
        return nullptr;
    }
    return listing;
}

UNSIGNED32 closeListing(ADSHANDLE hConnect, ADSHANDLE hFind) {
    auto connection = connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    if (!listingOf(hConnect, hFind)) return AE_INVALID_HANDLE;
    connection->dropListing(hFind);
    HandleRegistry::instance().remove(hFind);
    return AE_SUCCESS;
}

std::string text(const UNSIGNED8* value) {
    return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
}

// Whether a table's name matches the mask: wildcards * and ?, any case; a mask without an
// extension is matched against the name without its own.
bool matches(const std::string& mask, const std::string& name) {
    if (mask.empty() || mask == "*") return true;
    std::string subject = name;
    if (mask.find('.') == std::string::npos) {
        size_t dot = subject.rfind('.');
        if (dot != std::string::npos && dot > 0) subject.resize(dot);
    }
    return fnmatch(mask.c_str(), subject.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

}  // namespace

}  // namespace engine

extern "C" {

UNSIGNED32 AdsFindFirstTable(ADSHANDLE hConnect, UNSIGNED8* pucFileMask, UNSIGNED8* pucFirstFile,
                             UNSIGNED16* pusFileLen, ADSHANDLE* phFind) {
    if (!phFind) return engine::fail(AE_INVALID_ARGUMENT, "No place given for the find handle.");
    *phFind = 0;
    auto connection = engine::connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    std::string mask = engine::text(pucFileMask);
    if (engine::paths::hasSeparator(mask))
        return engine::fail(AE_INVALID_ARGUMENT, "The table mask " + mask +
                                                     " holds a folder; a mask names tables of "
                                                     "the connection's own folder.");
    std::vector<std::string> names;
    if (UNSIGNED32 rc = connection->listTables(names)) return rc;
    names.erase(
        std::remove_if(names.begin(), names.end(),
                       [&](const std::string& name) { return !engine::matches(mask, name); }),
        names.end());
    std::sort(names.begin(), names.end());
    std::string none = "No table" + (mask.empty() ? std::string() : " matching " + mask) +
                       " is in " + connection->folder() + ".";
    return engine::startListing(*connection, std::move(names), none, "table names", pucFirstFile,
                                pusFileLen, phFind);
}

UNSIGNED32 AdsFindNextTable(ADSHANDLE hConnect, ADSHANDLE hFind, UNSIGNED8* pucFileName,
                            UNSIGNED16* pusFileLen) {
    if (!engine::connectionFor(hConnect)) return AE_INVALID_CONNECTION;
    auto listing = engine::listingOf(hConnect, hFind);
    if (!listing) return AE_INVALID_HANDLE;
    return listing->next(pucFileName, pusFileLen);
}

UNSIGNED32 AdsFindClose(ADSHANDLE hConnect, ADSHANDLE hFind) {
    return engine::closeListing(hConnect, hFind);
}

UNSIGNED32 AdsDDFindFirstObject(ADSHANDLE hDictionary, UNSIGNED16 usFindObjectType,
                                UNSIGNED8* pucParentName, UNSIGNED8* pucObjectName,
                                UNSIGNED16* pusObjectNameLen, ADSHANDLE* phFind) {
    if (!phFind) return engine::fail(AE_INVALID_ARGUMENT, "No place given for the find handle.");
    *phFind = 0;
    auto connection = engine::connectionFor(hDictionary);
    if (!connection) return AE_INVALID_CONNECTION;
    if (!connection->isDictionary())
        return engine::fail(AE_INVALID_HANDLE, "Connection " + std::to_string(hDictionary) +
                                                   " to " + connection->serverPath() +
                                                   " is not a data dictionary connection.");
    if (usFindObjectType != ADS_DD_TABLE_OBJECT && usFindObjectType != ADS_DD_USER_OBJECT)
        return engine::fail(AE_NOT_SUPPORTED,
                            "Dictionary objects of type " + std::to_string(usFindObjectType) +
                                " cannot be listed; tables (" +
                                std::to_string(ADS_DD_TABLE_OBJECT) + ") and users (" +
                                std::to_string(ADS_DD_USER_OBJECT) + ") can.");
    if (!engine::text(pucParentName).empty())
        return engine::fail(AE_NOT_SUPPORTED,
                            "Tables and users of a data dictionary have no "
                            "parent object; give no parent name.");
    const bool users = usFindObjectType == ADS_DD_USER_OBJECT;
    std::vector<std::string> names;
    engine::Dictionary& dictionary = *connection->dictionary();
    if (UNSIGNED32 rc = users ? dictionary.userNames(names) : dictionary.tableNames(names))
        return rc;
    std::string none = std::string(users ? "No user" : "No table") + " is in the data dictionary " +
                       dictionary.path() + ".";
    return engine::startListing(*connection, std::move(names), none,
                                users ? "user names" : "table names", pucObjectName,
                                pusObjectNameLen, phFind);
}

UNSIGNED32 AdsDDFindNextObject(ADSHANDLE hDictionary, ADSHANDLE hFind, UNSIGNED8* pucObjectName,
                               UNSIGNED16* pusObjectNameLen) {
    return AdsFindNextTable(hDictionary, hFind, pucObjectName, pusObjectNameLen);
}

UNSIGNED32 AdsDDFindClose(ADSHANDLE hDictionary, ADSHANDLE hFind) {
    return engine::closeListing(hDictionary, hFind);
}

}  // extern "C"
