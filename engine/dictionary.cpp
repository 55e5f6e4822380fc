#include "engine/dictionary.h"

#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "engine/file_system.h"
#include "engine/files.h"
#include "engine/last_error.h"
#include "engine/password_hash.h"
#include "engine/paths.h"

namespace engine {

namespace {

// Marks a SQLite file as one of our dictionaries ("VADD"), with its schema version.
constexpr int kApplicationId = 0x56414444;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema = R"sql(
CREATE TABLE dd_properties(
    name TEXT NOT NULL PRIMARY KEY,
    value TEXT NOT NULL);
CREATE TABLE dd_users(
    name TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
    password_hash TEXT NOT NULL,
    is_admin INTEGER NOT NULL DEFAULT 0,
    group_name TEXT NOT NULL DEFAULT '',
    description TEXT NOT NULL DEFAULT '');
CREATE TABLE dd_tables(
    key TEXT NOT NULL PRIMARY KEY,
    name TEXT NOT NULL,
    path TEXT NOT NULL,
    table_type INTEGER NOT NULL,
    char_type INTEGER NOT NULL,
    index_files TEXT NOT NULL DEFAULT '',
    comments TEXT NOT NULL DEFAULT '');
CREATE TABLE dd_table_properties(
    table_key TEXT NOT NULL REFERENCES dd_tables(key) ON DELETE CASCADE,
    property INTEGER NOT NULL,
    value TEXT NOT NULL,
    PRIMARY KEY(table_key, property));
)sql";

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The key a table name is registered under: upper case, without a trailing ".ADT".
std::string tableKey(const std::string& name) {
    std::string key = upper(name);
    if (key.size() > 4 && key.compare(key.size() - 4, 4, ".ADT") == 0) key.resize(key.size() - 4);
    return key;
}

// Holds an IMMEDIATE write transaction; rolls back unless committed.
class WriteTransaction {
  public:
    explicit WriteTransaction(sql::Database& db) : db_(db) {}
    ~WriteTransaction() {
        if (open_) db_.exec("ROLLBACK");
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    int begin() {
        int rc = db_.exec("BEGIN IMMEDIATE");
        open_ = rc == SQLITE_OK;
        return rc;
    }
    int commit() {
        int rc = db_.exec("COMMIT");
        if (rc == SQLITE_OK) open_ = false;
        return rc;
    }

  private:
    sql::Database& db_;
    bool open_ = false;
};

// Removes a half-made dictionary file (and SQLite's companions) unless released.
class FileRemover {
  public:
    explicit FileRemover(std::string path) : path_(std::move(path)) {}
    ~FileRemover() {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            fs::current().unlink(path_ + suffix);
    }
    FileRemover(const FileRemover&) = delete;
    FileRemover& operator=(const FileRemover&) = delete;

  private:
    std::string path_;
};

int singleInt(const sql::Database& db, const char* query, int& value) {
    sql::Statement st;
    int rc = db.prepare(query, st);
    if (rc != SQLITE_OK) return rc;
    rc = st.step();
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? SQLITE_CORRUPT : rc;
    value = static_cast<int>(st.columnInt(0));
    return SQLITE_OK;
}

int configure(sql::Database& db) {
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    int rc = db.exec("PRAGMA foreign_keys=ON");
    if (rc == SQLITE_OK) rc = db.exec("PRAGMA synchronous=NORMAL");
    return rc;
}

}  // namespace

Dictionary::Dictionary(std::string path, sql::Database db)
    : path_(std::move(path)), folder_(paths::folderOf(path_)), db_(std::move(db)) {}

UNSIGNED32 Dictionary::open(const std::string& path, std::unique_ptr<Dictionary>& out) {
    std::string file = paths::resolve(paths::normalise(path));
    if (!paths::fileExists(file)) {
        if (paths::folderExists(file))
            return fail(AE_NOT_A_DICTIONARY, file + " is a folder, not a data dictionary file.");
        return fail(AE_FILE_NOT_FOUND, "The data dictionary " + file + " does not exist.");
    }
    struct stat st {};
    if (fs::current().stat(file, st) == 0 && st.st_size == 0)
        return fail(AE_NOT_A_DICTIONARY,
                    "The file " + file + " is empty; it is not a data dictionary.");

    sql::Database db;
    if (int rc = db.open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX); rc != SQLITE_OK)
        return fail(AE_IO_ERROR,
                    "Cannot open the data dictionary " + file + ": " + db.errorText() + ".");
    int appId = 0, version = 0;
    int rc = configure(db);
    if (rc == SQLITE_OK) rc = singleInt(db, "PRAGMA application_id", appId);
    if (rc == SQLITE_NOTADB)
        return fail(AE_NOT_A_DICTIONARY, "The file " + file + " is not a data dictionary.");
    if (rc == SQLITE_CORRUPT)
        return fail(AE_NOT_A_DICTIONARY, "The data dictionary " + file + " is damaged.");
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        return fail(AE_LOCKED,
                    "The data dictionary " + file + " is locked by another process; try again.");
    if (rc != SQLITE_OK)
        return fail(AE_IO_ERROR,
                    "Cannot read the data dictionary " + file + ": " + db.errorText() + ".");
    if (appId != kApplicationId)
        return fail(AE_NOT_A_DICTIONARY, "The file " + file + " is not a data dictionary.");
    if (singleInt(db, "PRAGMA user_version", version) != SQLITE_OK || version > kSchemaVersion)
        return fail(AE_NOT_A_DICTIONARY,
                    "The data dictionary " + file + " was made by a newer version of the program.");

    // A dictionary is small, so checking all of it costs little and turns a damaged file into
    // one clear error at connect instead of odd failures later.
    sql::Statement check;
    rc = db.prepare("PRAGMA quick_check", check);
    if (rc == SQLITE_OK) rc = check.step();
    if (rc != SQLITE_ROW || check.columnText(0) != "ok")
        return fail(AE_NOT_A_DICTIONARY, "The data dictionary " + file + " is damaged.");

    out.reset(new Dictionary(file, std::move(db)));
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::create(const std::string& path, const std::string& description,
                              std::unique_ptr<Dictionary>& out) {
    std::string file = paths::resolve(paths::normalise(path));
    if (file.empty()) return fail(AE_INVALID_ARGUMENT, "No data dictionary path given.");
    if (!paths::namesDictionary(file))
        return fail(AE_INVALID_ARGUMENT,
                    "The data dictionary name " + file + " must contain .ADD, as in COMPANY.ADD.");
    std::string folder = paths::folderOf(file);
    if (!paths::folderExists(folder))
        return fail(AE_PATH_NOT_FOUND, "The folder " + folder + " does not exist.");
    struct stat st {};
    if (fs::current().lstat(file, st) == 0)
        return fail(AE_ALREADY_EXISTS, "The data dictionary " + file + " exists already.");
    if (!sodiumReady()) return fail(AE_INTERNAL, "The password library could not start.");

    // Build the dictionary under a private name and link it into place: no other process ever
    // sees a half-made dictionary, and an existing file is never overwritten.
    unsigned char random[8];
    randombytes_buf(random, sizeof random);
    char hex[2 * sizeof random + 1];
    sodium_bin2hex(hex, sizeof hex, random, sizeof random);
    std::string tempName = ".";
    tempName += paths::fileName(file);
    tempName += ".new-";
    tempName += hex;
    std::string temp = paths::join(folder, tempName);
    FileRemover removeTemp(temp);

    std::string adminHash;
    if (!hashPassword("", adminHash))
        return fail(AE_INTERNAL, "Could not hash the administrator password (out of memory).");
    {
        sql::Database db;
        // Private from the start: the file holds the users' password hashes.
        if (!files::createEmpty(temp) ||
            db.open(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) != SQLITE_OK)
            return fail(AE_IO_ERROR,
                        "Cannot create the data dictionary " + file + ": " + db.errorText() + ".");
        int rc = configure(db);
        if (rc == SQLITE_OK) rc = db.exec("PRAGMA journal_mode=WAL");
        WriteTransaction tx(db);
        if (rc == SQLITE_OK) rc = tx.begin();
        if (rc == SQLITE_OK) rc = db.exec(kSchema);
        if (rc == SQLITE_OK)
            rc = db.exec("PRAGMA application_id=" + std::to_string(kApplicationId) +
                         "; PRAGMA user_version=" + std::to_string(kSchemaVersion));
        sql::Statement st;
        if (rc == SQLITE_OK)
            rc = db.prepare("INSERT INTO dd_users(name, password_hash, is_admin) VALUES(?, ?, 1)",
                            st);
        if (rc == SQLITE_OK) {
            st.bindText(1, kAdministrator);
            st.bindText(2, adminHash);
            rc = st.step() == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
        }
        sql::Statement prop;
        if (rc == SQLITE_OK)
            rc =
                db.prepare("INSERT INTO dd_properties(name, value) VALUES('description', ?)", prop);
        if (rc == SQLITE_OK) {
            prop.bindText(1, description);
            rc = prop.step() == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
        }
        if (rc == SQLITE_OK) rc = tx.commit();
        if (rc != SQLITE_OK)
            return fail(AE_IO_ERROR,
                        "Cannot create the data dictionary " + file + ": " + db.errorText() + ".");
    }  // closing checkpoints the write-ahead log into the file

    if (fs::current().link(temp, file) != 0) {
        if (errno == EEXIST)
            return fail(AE_ALREADY_EXISTS, "The data dictionary " + file + " exists already.");
        return fail(AE_IO_ERROR, "Cannot create the data dictionary " + file + ": " +
                                     std::strerror(errno) + ".");
    }
    return open(file, out);
}

UNSIGNED32 Dictionary::sqlFailure(int rc, const std::string& doing) const {
    switch (rc) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return fail(AE_LOCKED, "The data dictionary " + path_ +
                                       " is locked by another process; could not " + doing +
                                       ". Try again.");
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return fail(AE_NOT_A_DICTIONARY, "The data dictionary " + path_ + " is damaged.");
        case SQLITE_READONLY:
            return fail(AE_READ_ONLY, "The data dictionary " + path_ +
                                          " cannot be written; could not " + doing + ".");
        default:
            return fail(AE_IO_ERROR, "Could not " + doing + " in the data dictionary " + path_ +
                                         ": " + db_.errorText() + ".");
    }
}

UNSIGNED32 Dictionary::notInDictionary(const std::string& table) const {
    return fail(AE_NOT_IN_DICTIONARY,
                "Table " + table + " is not in the data dictionary " + path_ + ".");
}

UNSIGNED32 Dictionary::login(const std::string& userName, const std::string& password,
                             std::string& user) const {
    std::string hash;
    std::string name;
    {
        std::lock_guard lock(mutex_);
        sql::Statement st;
        int rc = db_.prepare("SELECT name, password_hash FROM dd_users WHERE name = ?", st);
        if (rc != SQLITE_OK) return sqlFailure(rc, "read its users");
        st.bindText(1, userName);
        rc = st.step();
        if (rc == SQLITE_ROW) {
            name = st.columnText(0);
            hash = st.columnText(1);
        } else if (rc != SQLITE_DONE) {
            return sqlFailure(rc, "read its users");
        }
    }
    if (!sodiumReady()) return fail(AE_INTERNAL, "The password library could not start.");
    bool known = !name.empty();
    bool matches = verifyPassword(known ? hash : decoyHash(), password);
    if (!known || !matches)
        return fail(
            AE_LOGIN_FAILED,
            "The user name or password is not valid for the data dictionary " + path_ + ".");
    user = name;
    return AE_SUCCESS;
}

bool Dictionary::isAdministrator(const std::string& user) const {
    std::lock_guard lock(mutex_);
    sql::Statement st;
    if (db_.prepare("SELECT is_admin FROM dd_users WHERE name = ?", st) != SQLITE_OK) return false;
    st.bindText(1, user);
    return st.step() == SQLITE_ROW && st.columnInt(0) != 0;
}

UNSIGNED32 Dictionary::createUser(const std::string& name, const std::string& password,
                                  const std::string& group, const std::string& description) {
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No user name given.");
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F)
            return fail(AE_INVALID_ARGUMENT,
                        "A user name cannot hold control characters (character " +
                            std::to_string(c) + " given).");
    if (name.size() > kMaxUserName)
        return fail(AE_INVALID_ARGUMENT, "The user name " + name.substr(0, 20) + "... has " +
                                             std::to_string(name.size()) +
                                             " characters; a user name has at most " +
                                             std::to_string(kMaxUserName) + ".");
    std::string hash;
    if (!hashPassword(password, hash))
        return fail(AE_INTERNAL, "Could not hash the password of user " + name + ".");

    std::lock_guard lock(mutex_);
    WriteTransaction tx(db_);
    if (int rc = tx.begin(); rc != SQLITE_OK) return sqlFailure(rc, "add user " + name);
    sql::Statement st;
    int rc = db_.prepare(
        "INSERT INTO dd_users(name, password_hash, group_name, description) VALUES(?, ?, ?, ?)",
        st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "add user " + name);
    st.bindText(1, name);
    st.bindText(2, hash);
    st.bindText(3, group);
    st.bindText(4, description);
    rc = st.step();
    if (rc == SQLITE_CONSTRAINT)
        return fail(AE_ALREADY_EXISTS,
                    "User " + name + " is already in the data dictionary " + path_ + ".");
    if (rc != SQLITE_DONE) return sqlFailure(rc, "add user " + name);
    if (rc = tx.commit(); rc != SQLITE_OK) return sqlFailure(rc, "add user " + name);
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::setPassword(const std::string& name, const std::string& password) {
    std::string hash;
    if (!hashPassword(password, hash))
        return fail(AE_INTERNAL, "Could not hash the password of user " + name + ".");
    std::lock_guard lock(mutex_);
    WriteTransaction tx(db_);
    if (int rc = tx.begin(); rc != SQLITE_OK) return sqlFailure(rc, "set the password of " + name);
    sql::Statement st;
    int rc = db_.prepare("UPDATE dd_users SET password_hash = ? WHERE name = ?", st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "set the password of " + name);
    st.bindText(1, hash);
    st.bindText(2, name);
    if (rc = st.step(); rc != SQLITE_DONE) return sqlFailure(rc, "set the password of " + name);
    if (db_.changes() == 0)
        return fail(AE_INVALID_ARGUMENT,
                    "User " + name + " is not in the data dictionary " + path_ + ".");
    if (rc = tx.commit(); rc != SQLITE_OK) return sqlFailure(rc, "set the password of " + name);
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::addTable(const std::string& name, const std::string& tablePath,
                                UNSIGNED16 tableType, UNSIGNED16 charType,
                                const std::string& indexFiles, const std::string& comments) {
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No table name given.");
    if (paths::hasSeparator(name))
        return fail(AE_INVALID_ARGUMENT,
                    "The dictionary table name " + name + " cannot contain a folder.");
    if (tablePath.empty())
        return fail(AE_INVALID_ARGUMENT, "No table file given for table " + name + ".");
    if (tableType != ADS_ADT && tableType != ADS_DEFAULT)
        return fail(AE_NOT_SUPPORTED, "Table type " + std::to_string(tableType) +
                                          " is not supported; a dictionary holds ADT tables.");
    std::string file = paths::resolve(
        paths::join(folder_, paths::withTableExtension(paths::normalise(tablePath))));
    if (!paths::fileExists(file))
        return fail(AE_FILE_NOT_FOUND, "The table file " + file + " does not exist.");
    // Keep the path relative to the dictionary when it was given so: the database folder can
    // then move as a whole.
    std::string stored = file;
    if (!paths::isAbsolute(tablePath) && !folder_.empty()) {
        std::string prefix = folder_.back() == '/' ? folder_ : folder_ + "/";
        if (file.compare(0, prefix.size(), prefix) == 0) stored = file.substr(prefix.size());
    }

    std::lock_guard lock(mutex_);
    WriteTransaction tx(db_);
    if (int rc = tx.begin(); rc != SQLITE_OK) return sqlFailure(rc, "add table " + name);
    sql::Statement st;
    int rc = db_.prepare(
        "INSERT INTO dd_tables(key, name, path, table_type, char_type, index_files, comments) "
        "VALUES(?, ?, ?, ?, ?, ?, ?)",
        st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "add table " + name);
    st.bindText(1, tableKey(name));
    st.bindText(2, name);
    st.bindText(3, stored);
    st.bindInt(4, ADS_ADT);
    st.bindInt(5, charType);
    st.bindText(6, indexFiles);
    st.bindText(7, comments);
    rc = st.step();
    if (rc == SQLITE_CONSTRAINT)
        return fail(AE_ALREADY_EXISTS,
                    "Table " + name + " is already in the data dictionary " + path_ + ".");
    if (rc != SQLITE_DONE) return sqlFailure(rc, "add table " + name);
    if (rc = tx.commit(); rc != SQLITE_OK) return sqlFailure(rc, "add table " + name);
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::tableFile(const std::string& name, std::string& file) const {
    std::lock_guard lock(mutex_);
    sql::Statement st;
    int rc = db_.prepare("SELECT path FROM dd_tables WHERE key = ?", st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "look up table " + name);
    st.bindText(1, tableKey(name));
    rc = st.step();
    if (rc == SQLITE_DONE) return notInDictionary(name);
    if (rc != SQLITE_ROW) return sqlFailure(rc, "look up table " + name);
    file = paths::join(folder_, st.columnText(0));
    return AE_SUCCESS;
}

bool Dictionary::tableRegistered(const std::string& key, UNSIGNED32& rc) const {
    sql::Statement st;
    int r = db_.prepare("SELECT 1 FROM dd_tables WHERE key = ?", st);
    if (r == SQLITE_OK) {
        st.bindText(1, key);
        r = st.step();
    }
    if (r == SQLITE_ROW) return true;
    rc = r == SQLITE_DONE ? AE_SUCCESS : sqlFailure(r, "look up table " + key);
    return false;
}

UNSIGNED32 Dictionary::setTableProperty(const std::string& table, UNSIGNED16 property,
                                        const std::string& value) {
    if (property != ADS_DD_TABLE_DEFAULT_INDEX)
        return fail(AE_NOT_SUPPORTED,
                    "Table property " + std::to_string(property) + " is not supported.");
    std::string key = tableKey(table);
    std::lock_guard lock(mutex_);
    WriteTransaction tx(db_);
    if (int rc = tx.begin(); rc != SQLITE_OK) return sqlFailure(rc, "set a property of " + table);
    UNSIGNED32 failure = AE_SUCCESS;
    if (!tableRegistered(key, failure)) return failure ? failure : notInDictionary(table);
    sql::Statement st;
    int rc = value.empty()
                 ? db_.prepare(
                       "DELETE FROM dd_table_properties WHERE table_key = ? AND property = ?", st)
                 : db_.prepare(
                       "INSERT OR REPLACE INTO dd_table_properties(table_key, property, "
                       "value) VALUES(?, ?, ?)",
                       st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "set a property of " + table);
    st.bindText(1, key);
    st.bindInt(2, property);
    if (!value.empty()) st.bindText(3, value);
    if (rc = st.step(); rc != SQLITE_DONE) return sqlFailure(rc, "set a property of " + table);
    if (rc = tx.commit(); rc != SQLITE_OK) return sqlFailure(rc, "set a property of " + table);
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::tableProperty(const std::string& table, UNSIGNED16 property,
                                     std::string& value) const {
    if (property != ADS_DD_TABLE_DEFAULT_INDEX)
        return fail(AE_NOT_SUPPORTED,
                    "Table property " + std::to_string(property) + " is not supported.");
    std::string key = tableKey(table);
    std::lock_guard lock(mutex_);
    UNSIGNED32 failure = AE_SUCCESS;
    if (!tableRegistered(key, failure)) return failure ? failure : notInDictionary(table);
    sql::Statement st;
    int rc = db_.prepare(
        "SELECT value FROM dd_table_properties WHERE table_key = ? AND property = ?", st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "read a property of " + table);
    st.bindText(1, key);
    st.bindInt(2, property);
    rc = st.step();
    if (rc == SQLITE_DONE)
        return fail(
            AE_PROPERTY_NOT_SET,
            "Table " + table + " has no default index in the data dictionary " + path_ + ".");
    if (rc != SQLITE_ROW) return sqlFailure(rc, "read a property of " + table);
    value = st.columnText(0);
    return AE_SUCCESS;
}

}  // namespace engine
