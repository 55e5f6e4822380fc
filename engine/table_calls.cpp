// The call surface for tables: create, open, close and delete; filters.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "engine/ace.h"
#include "engine/call_helpers.h"
#include "engine/connection.h"
#include "engine/file_system.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/open_tables.h"
#include "engine/paths.h"

using namespace engine;
using namespace engine::calls;

namespace {

// Table handles by the connection they were opened on.
std::mutex& openTablesMutex() {
    static std::mutex m;
    return m;
}
std::multimap<ADSHANDLE, ADSHANDLE>& openTables() {
    static std::multimap<ADSHANDLE, ADSHANDLE> tables;
    return tables;
}
void forgetTable(ADSHANDLE connection, ADSHANDLE table) {
    std::lock_guard lock(openTablesMutex());
    auto [from, to] = openTables().equal_range(connection);
    for (auto it = from; it != to; ++it)
        if (it->second == table) {
            openTables().erase(it);
            return;
        }
}

UNSIGNED32 openHandle(const std::shared_ptr<Connection>& connection,
                      const std::shared_ptr<Storage>& table, UNSIGNED16 charType,
                      UNSIGNED16 lockType, UNSIGNED16 rights, UNSIGNED32 options,
                      const std::string& alias, ADSHANDLE* phTable) {
    auto handle = std::make_shared<TableHandle>();
    handle->table = table;
    handle->connection = connection->handle();
    handle->transaction = connection->sharedTransaction();
    handle->alias = alias;
    handle->options = options & (ADS_EXCLUSIVE | ADS_READONLY);
    handle->charType = charType == ADS_OEM ? ADS_OEM : ADS_ANSI;
    handle->page = charType == ADS_OEM ? image::CodePage::Oem850 : image::CodePage::Ansi1252;
    handle->lockType = lockType;
    handle->rights = rights;
    std::lock_guard lock(table->mutex());
    if (UNSIGNED32 rc = table->openLocks(!handle->readOnly() && table->notWritableBecause().empty(),
                                         handle->locks))
        return rc;
    if (handle->exclusive()) {
        if (!handle->locks->lockTableExclusive())
            return fail(AE_LOCKED, "The table " + table->file() +
                                       " is open elsewhere; it cannot be opened exclusively.");
    } else if (!handle->locks->lockTableShared()) {
        return fail(AE_LOCKED, "The table " + table->file() +
                                   " is opened exclusively by another user or handle.");
    }
    handle->leaveUnplaced();
    *phTable = HandleRegistry::instance().add(handle);
    std::lock_guard tablesLock(openTablesMutex());
    openTables().emplace(handle->connection, *phTable);
    return AE_SUCCESS;
}

UNSIGNED32 checkCharType(UNSIGNED16 charType) {
    if (charType == ADS_ANSI || charType == ADS_OEM || charType == 0) return AE_SUCCESS;
    return fail(AE_INVALID_ARGUMENT,
                "The character type " + std::to_string(charType) + " is not ANSI (1) or OEM (2).");
}

UNSIGNED32 checkTableType(UNSIGNED16 type, const std::string& name) {
    if (type == ADS_ADT || type == ADS_DEFAULT) return AE_SUCCESS;
    return fail(AE_NOT_SUPPORTED, "The table " + name + " cannot be used as table type " +
                                      std::to_string(type) +
                                      "; only ADT tables (type 3) are supported.");
}

void closeIndexHandles(TableHandle& h) {
    for (auto& [name, id] : h.indexHandles) HandleRegistry::instance().remove(id);
    h.indexHandles.clear();
}

}  // namespace

// Every function below was declared extern "C" in ace.h and keeps that linkage.

// --- Tables ---------------------------------------------------------------------------------

UNSIGNED32 AdsCreateTable(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucAlias,
                          UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                          UNSIGNED16 usCheckRights, UNSIGNED16 /*usMemoSize*/, UNSIGNED8* pucFields,
                          ADSHANDLE* phTable) {
    if (!phTable) return missing("the table handle");
    auto connection = connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    std::string name = textOf(pucName);
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No name given for the new table.");
    if (UNSIGNED32 rc = checkTableType(usTableType, name)) return rc;
    // Checked before the table is made, so that a refused call leaves no table behind.
    if (UNSIGNED32 rc = checkCharType(usCharType)) return rc;
    std::shared_ptr<Storage> table;
    if (UNSIGNED32 rc = connection->createStorage(name, textOf(pucFields), table)) return rc;
    return openHandle(connection, table, usCharType, usLockType, usCheckRights, 0, textOf(pucAlias),
                      phTable);
}

UNSIGNED32 AdsOpenTable(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucAlias,
                        UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                        UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions, ADSHANDLE* phTable) {
    if (!phTable) return missing("the table handle");
    auto connection = connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    std::string name = textOf(pucName);
    if (UNSIGNED32 rc = checkTableType(usTableType, name)) return rc;
    if (UNSIGNED32 rc = checkCharType(usCharType)) return rc;
    std::shared_ptr<Storage> table;
    if (UNSIGNED32 rc = connection->openStorage(name, table)) return rc;
    return openHandle(connection, table, usCharType, usLockType, usCheckRights, ulOptions,
                      textOf(pucAlias), phTable);
}

UNSIGNED32 AdsCloseTable(ADSHANDLE hTable) {
    auto handle = HandleRegistry::instance().findAs<TableHandle>(hTable);
    if (!handle)
        return fail(AE_INVALID_HANDLE,
                    "Handle " + std::to_string(hTable) + " is not a live table handle.");
    {
        std::lock_guard lock(handle->table->mutex());
        if (UNSIGNED32 rc = writer::settle(*handle)) return rc;
        closeIndexHandles(*handle);
    }
    forgetTable(handle->connection, hTable);
    HandleRegistry::instance().remove(hTable);
    return AE_SUCCESS;
}

namespace engine {

void closeTablesOf(ADSHANDLE connection) {
    std::vector<ADSHANDLE> tables;
    {
        std::lock_guard lock(openTablesMutex());
        auto [from, to] = openTables().equal_range(connection);
        for (auto it = from; it != to; ++it) tables.push_back(it->second);
        openTables().erase(from, to);
    }
    for (ADSHANDLE id : tables) {
        auto handle = HandleRegistry::instance().findAs<TableHandle>(id);
        if (!handle) continue;
        {
            std::lock_guard lock(handle->table->mutex());
            handle->clearPending();
            closeIndexHandles(*handle);
        }
        HandleRegistry::instance().remove(id);
    }
}

}  // namespace engine

UNSIGNED32 AdsDeleteTable(ADSHANDLE hConnect, UNSIGNED8* pucName) {
    auto connection = connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    return connection->deleteStorage(textOf(pucName));
}

UNSIGNED32 AdsCacheOpenTables(UNSIGNED16) {
    return AE_SUCCESS;
}
UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16) {
    return AE_SUCCESS;
}
