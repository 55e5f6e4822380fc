// Encrypted tables: the companion of rows, opening it with a password, and turning a table from
// one form into the other so that a crash at any moment leaves one whole form.
#include "engine/sqlite/encryption.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/file_system.h"
#include "engine/files.h"
#include "engine/last_error.h"
#include "engine/password_hash.h"
#include "engine/paths.h"
#include "engine/sql_functions.h"
#include "engine/sqlite/locks.h"
#include "engine/sqlite/sql_keys.h"
#include "engine/sqlite/table.h"

namespace engine {

namespace encryption {

namespace {
constexpr const char* kSqliteSuffixes[] = {"", "-journal", "-wal", "-shm"};
}

std::string companionOf(const std::string& tableFile) {
    return tableFile + ".rows";
}
std::string newCompanionOf(const std::string& tableFile) {
    return tableFile + ".rows-new";
}
std::string newTableOf(const std::string& tableFile) {
    return tableFile + ".table-new";
}

std::vector<std::string> companionFiles(const std::string& tableFile) {
    std::vector<std::string> files;
    for (const std::string& base :
         {companionOf(tableFile), newCompanionOf(tableFile), newTableOf(tableFile)})
        for (const char* suffix : kSqliteSuffixes) files.push_back(base + suffix);
    // Super-journals of a multi-file build that a crash interrupted.
    const std::string prefix = paths::fileName(tableFile) + "-mj";
    const std::string folder = paths::folderOf(tableFile);
    for (const std::string& name : fs::current().list(folder.empty() ? "." : folder))
        if (name.rfind(prefix, 0) == 0) files.push_back(paths::join(folder, name));
    return files;
}

bool removeDatabase(const std::string& path) {
    bool ok = true;
    for (const char* suffix : kSqliteSuffixes) {
        std::string part = path + suffix;
        if (fs::current().unlink(part) != 0 && errno != ENOENT) ok = false;
    }
    return ok;
}

bool syncFolder(const std::string& folder) {
    fs::FileSystem& disk = fs::current();
    int fd = disk.open(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = disk.fsync(fd) == 0;
    disk.close(fd);
    return ok;
}

}  // namespace encryption

namespace {

using encryption::companionOf;
using encryption::newCompanionOf;
using encryption::newTableOf;

// Kept in the table file of an encrypted table: a password hash that tells a wrong password from
// a damaged rows file, and a random mark that the table's rows file carries too.
constexpr const char* kPasswordCheck = "password_check";
constexpr const char* kCompanionId = "companion_id";

// A value of velda_table in the given database, empty when it is not there.
std::string tableValue(const sql::Database& db, const char* schema, const char* key) {
    sql::Statement st;
    if (db.prepare(std::string("SELECT value FROM \"") + schema + "\".velda_table WHERE key=?",
                   st) != SQLITE_OK)
        return "";
    st.bindText(1, key);
    return st.step() == SQLITE_ROW ? st.columnText(0) : "";
}

bool exists(const std::string& path) {
    return fs::current().access(path, F_OK) == 0;
}

// Whether a file is there: as an open found it a moment ago (`own`), else as the disk says now.
bool there(const std::string& path, const files::OwnFiles* own) {
    return own ? own->has(path) : exists(path);
}

// Removes what an interrupted change of form left beside the table: the temporary files, and
// the companion of a table that is plain. Only while nobody has the table open (an exclusive
// holder may be building them right now).
void tidy(const std::string& file, bool encrypted, const files::OwnFiles* own) {
    bool stale = false;
    for (const std::string& base : {newCompanionOf(file), newTableOf(file)})
        for (const char* suffix : {"", "-journal", "-wal"})
            stale = stale || there(base + suffix, own);
    if (!encrypted)
        for (const char* suffix : {"", "-wal"})
            stale = stale || there(companionOf(file) + suffix, own);
    if (!stale) return;
    LockFile probe;
    if (probe.open(file) != AE_SUCCESS || !probe.lockTableExclusive()) return;
    encryption::removeDatabase(newCompanionOf(file));
    encryption::removeDatabase(newTableOf(file));
    if (!encrypted) encryption::removeDatabase(companionOf(file));
    for (const std::string& part : encryption::companionFiles(file))
        if (part.find("-mj") != std::string::npos) fs::current().unlink(part);
    encryption::syncFolder(paths::folderOf(file));
}

// Creates an empty database file, so that a connection opened without SQLITE_OPEN_CREATE can
// attach it.
bool createEmpty(const std::string& path) {
    if (!files::createEmpty(path)) return false;
    sql::Database maker;
    return maker.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX) ==
           SQLITE_OK;
}

// Attaches a database under `name`; a null key attaches it unencrypted.
int attach(sql::Database& db, const std::string& path, const char* name, const Secret* key) {
    sql::Statement stmt;
    int rc = db.prepare("ATTACH ?1 AS " + quoteIdentifier(name) + " KEY ?2", stmt);
    if (rc != SQLITE_OK) return rc;
    stmt.bindText(1, path);
    if (key)
        sqlite3_bind_text(stmt.get(), 2, key->data(), key->size(), SQLITE_STATIC);
    else
        stmt.bindText(2, "");
    rc = stmt.step();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

std::string systemError(const std::string& doing) {
    return doing + ": " + std::strerror(errno);
}

}  // namespace

UNSIGNED32 Table::readEncryption(const files::OwnFiles* own) {
    bool encrypted = false;
    sql::Statement marker;
    if (db_.prepare("SELECT value FROM \"main\".velda_table WHERE key='encrypted'", marker) !=
        SQLITE_OK)
        return sqlFailure("open");
    int rc = marker.step();
    if (rc == SQLITE_ROW)
        encrypted = marker.columnInt(0) != 0;
    else if (rc != SQLITE_DONE)
        return sqlFailure("open");
    return takeEncryption(encrypted, own);
}

UNSIGNED32 Table::takeEncryption(bool encrypted, const files::OwnFiles* own) {
    encrypted_ = encrypted;
    tidy(file_, encrypted_, own);
    if (encrypted_ && !there(companionOf(file_), own))
        return fail(AE_NOT_A_TABLE, "The encrypted table " + file_ + " is damaged: its rows file " +
                                        companionOf(file_) + " is missing.");
    return AE_SUCCESS;
}

UNSIGNED32 Table::openCompanion(const Secret& password, sql::Database& out) {
    const std::string rows = companionOf(file_);
    if (immutable_) {
        struct stat st {};
        if (fs::current().stat(rows + "-wal", st) == 0 && st.st_size > 0)
            return fail(AE_IO_ERROR, "The encrypted table " + file_ +
                                         " cannot be read: " + notWritable_ +
                                         " and the -wal file of its rows holds changes not yet "
                                         "in them. Open it once where its folder can be written.");
    }
    auto damaged = [&](const std::string& why) {
        return fail(AE_NOT_A_TABLE, "The encrypted table " + file_ + " is damaged: its rows file " +
                                        rows + " " + why + ".");
    };
    struct stat rowsStat {};
    if (fs::current().stat(rows, rowsStat) == 0 && rowsStat.st_size == 0)
        return damaged("is empty");
    int rc = immutable_ ? out.open(files::immutableUri(rows),
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI)
                        : out.open(rows, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    if (rc == SQLITE_CANTOPEN && !immutable_) {
        out.close();
        rc = out.open(rows, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    }
    if (rc != SQLITE_OK)
        return fail(AE_IO_ERROR, "Could not open the rows of the encrypted table " + file_ + " (" +
                                     rows + "): " + out.errorText() + ".");
    // The key derived from the password once per process (sql_keys.h), not at every open.
    Secret key;
    if (UNSIGNED32 rc2 = sqlkeys::rawKey(out, rows, password, key)) return rc2;
    if (sqlite3_key(out.get(), key.data(), key.size()) != SQLITE_OK)
        return fail(AE_INTERNAL, "Could not set the key of the encrypted table " + file_ + ": " +
                                     out.errorText() + ".");
    key.clear();
    sqlite3_busy_timeout(out.get(), 10000);
    // Functions go on at the first filter, as on a plain table's connection.
    if (functions_ && sqlfunctions::registerAll(out.get()) != SQLITE_OK)
        return fail(AE_INTERNAL, "Could not prepare the encrypted table " + file_ + ": " +
                                     out.errorText() + ".");
    // The first read checks the key against the file, and finds the rows table.
    bool hasRows = false;
    {
        sql::Statement probe;
        rc = out.prepare("SELECT count(*) FROM \"main\".sqlite_master WHERE name='records'", probe);
        if (rc == SQLITE_OK) rc = probe.step();
        if (rc == SQLITE_ROW) hasRows = probe.columnInt(0) != 0;
    }
    if (rc == SQLITE_NOTADB) {
        // The check value tells a damaged or foreign rows file from a wrong password.
        std::string check = tableValue(db_, "main", kPasswordCheck);
        std::string given(password.data(), password.size());
        bool right = !check.empty() && verifyPassword(check, given);
        sodium_memzero(given.data(), given.size());
        if (right)
            return damaged(
                "does not open with the table's password (it is damaged or "
                "belongs to another table)");
        return fail(AE_WRONG_PASSWORD,
                    "The password does not open the encrypted table " + file_ + ".");
    }
    if (rc != SQLITE_ROW)
        return fail(rc == SQLITE_BUSY ? AE_LOCKED : AE_IO_ERROR,
                    "Could not read the rows of the encrypted table " + file_ + ": " +
                        out.errorText() + ".");
    if (out.exec("PRAGMA synchronous=NORMAL; PRAGMA cache_size=-131072; PRAGMA temp_store=MEMORY;"
                 " PRAGMA secure_delete=OFF") != SQLITE_OK ||
        attach(out, immutable_ ? files::immutableUri(file_) : file_, "meta", nullptr) != SQLITE_OK)
        return fail(AE_IO_ERROR,
                    "Could not open the encrypted table " + file_ + ": " + out.errorText() + ".");
    // Rows files made with the table carry its mark; an older table has none to compare.
    std::string mark = tableValue(db_, "main", kCompanionId);
    if (!mark.empty() && tableValue(out, "main", kCompanionId) != mark)
        return damaged("belongs to another table or is damaged");
    if (!hasRows) return damaged("has no rows table");
    return AE_SUCCESS;
}

void Table::rememberPassword(const Secret& password) {
    randombytes_buf(passwordSalt_, sizeof passwordSalt_);
    crypto_generichash(passwordHash_, sizeof passwordHash_,
                       reinterpret_cast<const unsigned char*>(password.data()),
                       static_cast<unsigned long long>(password.size()), passwordSalt_,
                       sizeof passwordSalt_);
}

bool Table::passwordMatches(const Secret& password) const {
    unsigned char hash[sizeof passwordHash_];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(password.data()),
                       static_cast<unsigned long long>(password.size()), passwordSalt_,
                       sizeof passwordSalt_);
    bool same = sodium_memcmp(hash, passwordHash_, sizeof hash) == 0;
    sodium_memzero(hash, sizeof hash);
    return same;
}

UNSIGNED32 Table::unlock(const Secret& password) {
    if (!encrypted_) return AE_SUCCESS;
    if (keyed_)
        return passwordMatches(password)
                   ? AE_SUCCESS
                   : fail(AE_WRONG_PASSWORD,
                          "The password does not open the encrypted table " + file_ + ".");
    sql::Database rows;
    if (UNSIGNED32 rc = openCompanion(password, rows)) return rc;
    statements_.clear();
    db_ = std::move(rows);
    keyed_ = true;
    countValid_ = false;
    rememberPassword(password);
    return AE_SUCCESS;
}

UNSIGNED32 Table::closeConnection() {
    statements_.clear();
    // No WAL may stay behind to be paired with the file that replaces this one.
    for (const char* db : {"main", "meta"}) {
        if (std::string(db) == "meta" && !keyed_) continue;
        sql::Statement checkpoint;
        if (db_.prepare(std::string("PRAGMA ") + db + ".wal_checkpoint(TRUNCATE)", checkpoint) !=
                SQLITE_OK ||
            checkpoint.step() != SQLITE_ROW)
            return sqlFailure("change the form of");
        if (checkpoint.columnInt(0) != 0)
            return fail(AE_LOCKED, "The table " + file_ +
                                       " is being read by another process; try again later.");
    }
    db_.close();
    keyed_ = false;
    countValid_ = false;
    return AE_SUCCESS;
}

UNSIGNED32 Table::reconnect(const Secret* password) {
    statements_.clear();
    db_.close();
    keyed_ = false;
    countValid_ = false;
    if (UNSIGNED32 rc = openConnection(false)) return rc;
    if (UNSIGNED32 rc = readEncryption()) return rc;
    mapRows();
    if (encrypted_ && password) return unlock(*password);
    return AE_SUCCESS;
}

UNSIGNED32 Table::reopenAfter(UNSIGNED32 rc, const Secret* password) {
    const LastError failure = lastError();
    if (reconnect(password) == AE_SUCCESS) return rc;
    return fail(rc, failure.message + " Opening it again failed too: " + lastError().message);
}

UNSIGNED32 Table::encrypt(const Secret& password) {
    if (transactionOwner_ != 0)
        return fail(
            AE_LOCKED,
            "The table " + file_ +
                " is in an open transaction; it cannot be encrypted until the transaction ends.");
    if (encrypted_)
        return fail(AE_ALREADY_ENCRYPTED, "The table " + file_ + " is encrypted already.");
    const std::string rows = companionOf(file_), rowsNew = newCompanionOf(file_),
                      tableNew = newTableOf(file_), folder = paths::folderOf(file_);
    encryption::removeDatabase(rowsNew);
    encryption::removeDatabase(tableNew);
    statements_.clear();
    auto discard = [&](UNSIGNED32 rc) {
        if (!sqlite3_get_autocommit(db_.get())) db_.exec("ROLLBACK");
        db_.exec("DETACH \"enc\"");
        db_.exec("DETACH \"out\"");
        encryption::removeDatabase(rowsNew);
        encryption::removeDatabase(tableNew);
        return rc;
    };
    if (!createEmpty(rowsNew) || !createEmpty(tableNew))
        return discard(fail(AE_IO_ERROR, "Could not encrypt the table " + file_ +
                                             ": its new files cannot be created in " + folder +
                                             "."));
    // The new rows file gets its salt from here, and its key is kept, so that opening it once
    // it is in place derives nothing.
    Secret key;
    if (UNSIGNED32 rc = sqlkeys::newFileKey(rows, password, key)) return discard(rc);
    if (attach(db_, rowsNew, "enc", &key) != SQLITE_OK ||
        attach(db_, tableNew, "out", nullptr) != SQLITE_OK ||
        db_.exec("PRAGMA enc.journal_mode=DELETE; PRAGMA out.journal_mode=DELETE;"
                 " PRAGMA enc.synchronous=FULL; PRAGMA out.synchronous=FULL") != SQLITE_OK)
        return discard(sqlFailure("encrypt"));
    key.clear();
    std::string check, given(password.data(), password.size());
    bool hashed = hashPassword(given, check);
    sodium_memzero(given.data(), given.size());
    if (!hashed)
        return discard(fail(AE_INTERNAL, "Could not encrypt the table " + file_ +
                                             ": its password check cannot be made."));
    unsigned char random[16];
    randombytes_buf(random, sizeof random);
    char mark[2 * sizeof random + 1];
    sodium_bin2hex(mark, sizeof mark, random, sizeof random);
    // The companion: rows under their record numbers, tags, counters, the mark. The new table
    // file: the structure, an empty rows table, the marker, the password check and the mark.
    const std::string columns = metadata::copyColumns(schema_);
    std::string sql = "BEGIN IMMEDIATE;" + metadata::createRowsSql(schema_, "enc") +
                      "CREATE TABLE enc.velda_table(key TEXT PRIMARY KEY, value);"
                      "INSERT INTO enc.\"records\"(" +
                      columns + ") SELECT " + columns +
                      " FROM \"main\".\"records\" ORDER BY rowid;";
    for (const IndexDef& index : schema_.indexes)
        sql += metadata::createIndexSql(schema_, index, "enc") + ";";
    sql +=
        "INSERT INTO enc.velda_table SELECT key, value FROM \"main\".velda_table"
        " WHERE key LIKE 'autoinc.%';"
        "INSERT INTO enc.velda_table VALUES('" +
        std::string(kCompanionId) + "', " + quoteText(mark) + ");" +
        metadata::createMetadataSql("out") + metadata::createRowsSql(schema_, "out") +
        "INSERT INTO out.velda_table SELECT key, value FROM \"main\".velda_table"
        " WHERE key NOT LIKE 'autoinc.%';"
        "INSERT OR REPLACE INTO out.velda_table VALUES('encrypted', 1), ('" +
        std::string(kPasswordCheck) + "', " + quoteText(check) + "), ('" + kCompanionId + "', " +
        quoteText(mark) +
        ");"
        "INSERT INTO out.velda_fields SELECT * FROM \"main\".velda_fields;"
        "INSERT INTO out.velda_indexes SELECT * FROM \"main\".velda_indexes;"
        "COMMIT;"
        // The table file of an encrypted table holds only its structure, which is read at every
        // open and almost never written: a rollback journal spares each open the making and
        // removing of a write-ahead log and its shared index (a third of an open's system calls).
        "PRAGMA enc.journal_mode=WAL;";
    if (db_.exec(sql) != SQLITE_OK) return discard(sqlFailure("encrypt"));
    if (db_.exec("DETACH \"enc\"; DETACH \"out\"") != SQLITE_OK)
        return discard(sqlFailure("encrypt"));
    if (UNSIGNED32 rc = closeConnection()) return reopenAfter(discard(rc), nullptr);
    // The switch: the companion first (beside a plain table it is a leftover), then the table
    // file, whose rename makes the table encrypted.
    auto undo = [&](const std::string& doing) {
        UNSIGNED32 rc = fail(
            AE_IO_ERROR, "Could not encrypt the table " + file_ + ": " + systemError(doing) + ".");
        encryption::removeDatabase(rowsNew);
        encryption::removeDatabase(tableNew);
        encryption::removeDatabase(rows);
        return reopenAfter(rc, nullptr);
    };
    if (!files::keepModeAndOwner(file_, rowsNew) || !files::keepModeAndOwner(file_, tableNew))
        return undo("giving the new files the mode and owner of " + file_);
    encryption::removeDatabase(rows);
    if (fs::current().rename(rowsNew, rows) != 0) return undo("renaming " + rowsNew);
    if (!encryption::syncFolder(folder)) return undo("syncing " + folder);
    if (fs::current().rename(tableNew, file_) != 0) return undo("renaming " + tableNew);
    encryption::syncFolder(folder);
    counter_.bump();
    return reconnect(&password);
}

UNSIGNED32 Table::decrypt(const Secret& password) {
    if (transactionOwner_ != 0)
        return fail(
            AE_LOCKED,
            "The table " + file_ +
                " is in an open transaction; it cannot be decrypted until the transaction ends.");
    if (!encrypted_) return fail(AE_NOT_ENCRYPTED, "The table " + file_ + " is not encrypted.");
    const std::string rows = companionOf(file_), tableNew = newTableOf(file_),
                      folder = paths::folderOf(file_);
    encryption::removeDatabase(tableNew);
    statements_.clear();
    auto discard = [&](UNSIGNED32 rc) {
        if (!sqlite3_get_autocommit(db_.get())) db_.exec("ROLLBACK");
        db_.exec("DETACH \"out\"");
        encryption::removeDatabase(tableNew);
        return rc;
    };
    if (!createEmpty(tableNew))
        return discard(fail(AE_IO_ERROR, "Could not decrypt the table " + file_ +
                                             ": its new file cannot be created in " + folder +
                                             "."));
    if (attach(db_, tableNew, "out", nullptr) != SQLITE_OK ||
        db_.exec("PRAGMA out.journal_mode=DELETE; PRAGMA out.synchronous=FULL") != SQLITE_OK)
        return discard(sqlFailure("decrypt"));
    const std::string columns = metadata::copyColumns(schema_);
    std::string sql = "BEGIN IMMEDIATE;" + metadata::createMetadataSql("out") +
                      metadata::createRowsSql(schema_, "out") +
                      "INSERT INTO out.velda_table SELECT key, value FROM meta.velda_table"
                      " WHERE key NOT IN ('encrypted', 'password_check', 'companion_id');"
                      "INSERT OR REPLACE INTO out.velda_table SELECT key, value FROM "
                      "\"main\".velda_table WHERE key<>'companion_id';"
                      "INSERT INTO out.velda_fields SELECT * FROM meta.velda_fields;"
                      "INSERT INTO out.velda_indexes SELECT * FROM meta.velda_indexes;"
                      "INSERT INTO out.\"records\"(" +
                      columns + ") SELECT " + columns +
                      " FROM \"main\".\"records\" ORDER BY rowid;";
    for (const IndexDef& index : schema_.indexes)
        sql += metadata::createIndexSql(schema_, index, "out") + ";";
    sql += "COMMIT; PRAGMA out.journal_mode=WAL;";
    if (db_.exec(sql) != SQLITE_OK) return discard(sqlFailure("decrypt"));
    if (db_.exec("DETACH \"out\"") != SQLITE_OK) return discard(sqlFailure("decrypt"));
    if (UNSIGNED32 rc = closeConnection()) return reopenAfter(discard(rc), &password);
    // The rename makes the table plain; the companion is a leftover from then on.
    if (!files::keepModeAndOwner(file_, tableNew) || fs::current().rename(tableNew, file_) != 0) {
        UNSIGNED32 rc = fail(AE_IO_ERROR, "Could not decrypt the table " + file_ + ": " +
                                              systemError("renaming " + tableNew) + ".");
        encryption::removeDatabase(tableNew);
        return reopenAfter(rc, &password);
    }
    encryption::syncFolder(folder);
    encryption::removeDatabase(rows);
    encryption::syncFolder(folder);
    counter_.bump();
    return reconnect(nullptr);
}

}  // namespace engine
