// Where a connection's tables live: files in a folder, or a database on a server. The one place
// that chooses the storage by the connection; everything after the open uses engine/storage.h.
#include <cerrno>
#include <cstring>

#include "engine/connection.h"
#include "engine/file_system.h"
#include "engine/last_error.h"
#include "engine/paths.h"
#include "engine/postgres/table.h"
#include "engine/sqlite/encryption.h"
#include "engine/sqlite/table.h"

namespace engine {

UNSIGNED32 Connection::serverTablePath(const std::string& name, ServerPath& out) const {
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No table name given.");
    return joinServerPath(server_, paths::withTableExtension(name), out);
}

UNSIGNED32 Connection::openStorage(const std::string& name, std::shared_ptr<Storage>& out) const {
    if (session_) {
        ServerPath path;
        if (UNSIGNED32 rc = resolveServerTable(name, path)) return rc;
        std::shared_ptr<postgres::ServerTable> table;
        if (UNSIGNED32 rc = postgres::ServerTable::open(session_, path, table, server_.folders()))
            return rc;
        out = std::move(table);
        return AE_SUCCESS;
    }
    std::string file;
    if (UNSIGNED32 rc = resolveTable(name, file)) return rc;
    std::shared_ptr<Table> table;
    if (UNSIGNED32 rc = Table::open(file, table)) return rc;
    out = std::move(table);
    return AE_SUCCESS;
}

UNSIGNED32 Connection::createStorage(const std::string& name, const std::string& fieldList,
                                     std::shared_ptr<Storage>& out) const {
    std::vector<FieldDef> fields;
    if (session_) {
        ServerPath path;
        if (UNSIGNED32 rc = serverTablePath(name, path)) return rc;
        if (UNSIGNED32 rc = parseFieldList(fieldList, path.masked(), fields)) return rc;
        std::shared_ptr<postgres::ServerTable> table;
        if (UNSIGNED32 rc = postgres::ServerTable::create(session_, path, fields, table)) return rc;
        out = std::move(table);
        return AE_SUCCESS;
    }
    std::string file =
        paths::resolve(paths::withTableExtension(paths::join(folder_, paths::normalise(name))));
    if (UNSIGNED32 rc = parseFieldList(fieldList, file, fields)) return rc;
    std::shared_ptr<Table> table;
    if (UNSIGNED32 rc = Table::create(file, fields, table)) return rc;
    out = std::move(table);
    return AE_SUCCESS;
}

UNSIGNED32 Connection::listTables(std::vector<std::string>& out) const {
    out.clear();
    if (session_) return postgres::ServerTable::list(session_, server_, out);
    return Table::list(folder_, out);
}

UNSIGNED32 Connection::deleteStorage(const std::string& name) const {
    if (session_) {
        ServerPath path;
        if (UNSIGNED32 rc = resolveServerTable(name, path)) return rc;
        return postgres::ServerTable::remove(session_, path);
    }
    std::string file;
    if (UNSIGNED32 rc = resolveTable(name, file)) return rc;
    if (!paths::fileExists(file))
        return fail(AE_FILE_NOT_FOUND, "The table " + file + " does not exist.");
    if (Table::isOpen(file))
        return fail(AE_LOCKED, "The table " + file + " is open; close it before deleting it.");
    LockFile probe;
    if (probe.open(file) == AE_SUCCESS && !probe.lockTableExclusive())
        return fail(AE_LOCKED, "The table " + file + " is open elsewhere; it cannot be deleted.");
    // The table file first: a companion left without it is removed when the name is used again,
    // while a table file left without its companion would be damaged.
    std::vector<std::string> parts;
    for (const char* suffix : {"", "-wal", "-shm"}) parts.push_back(file + suffix);
    for (const std::string& part : encryption::companionFiles(file)) parts.push_back(part);
    for (const std::string& part : parts) {
        if (fs::current().unlink(part) != 0 && errno != ENOENT)
            return fail(AE_IO_ERROR,
                        "Could not delete " + part + ": " + std::strerror(errno) + ".");
    }
    fs::current().unlink(lockFileOf(file));
    return AE_SUCCESS;
}

}  // namespace engine
