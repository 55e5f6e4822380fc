#include "engine/sqlite/dictionary.h"

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

FileDictionary::FileDictionary(std::string path, sql::Database db)
    : Dictionary(std::move(path)), folder_(paths::folderOf(this->path())), db_(std::move(db)) {}

UNSIGNED32 FileDictionary::open(const std::string& path, std::unique_ptr<FileDictionary>& out) {
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

    out.reset(new FileDictionary(file, std::move(db)));
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::create(const std::string& path, const std::string& description,
                                  std::unique_ptr<FileDictionary>& out) {
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

UNSIGNED32 FileDictionary::sqlFailure(int rc, const std::string& doing) const {
    switch (rc) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return fail(AE_LOCKED, "The data dictionary " + path() +
                                       " is locked by another process; could not " + doing +
                                       ". Try again.");
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return fail(AE_NOT_A_DICTIONARY, "The data dictionary " + path() + " is damaged.");
        case SQLITE_READONLY:
            return fail(AE_READ_ONLY, "The data dictionary " + path() +
                                          " cannot be written; could not " + doing + ".");
        default:
            return fail(AE_IO_ERROR, "Could not " + doing + " in the data dictionary " + path() +
                                         ": " + db_.errorText() + ".");
    }
}

UNSIGNED32 FileDictionary::findUser(const std::string& key, bool& found, User& user) const {
    found = false;
    std::lock_guard lock(mutex_);
    sql::Statement st;
    int rc = db_.prepare("SELECT name, password_hash, is_admin FROM dd_users WHERE name = ?", st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "read its users");
    st.bindText(1, key);  // the column compares without regard to case
    rc = st.step();
    if (rc == SQLITE_ROW) {
        found = true;
        user.name = st.columnText(0);
        user.hash = st.columnText(1);
        user.administrator = st.columnInt(2) != 0;
    } else if (rc != SQLITE_DONE) {
        return sqlFailure(rc, "read its users");
    }
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::insertUser(const std::string&, const User& user,
                                      const std::string& group, const std::string& description,
                                      bool& added) {
    added = false;
    const std::string doing = "add user " + user.name;
    std::lock_guard lock(mutex_);
    WriteTransaction tx(db_);
    if (int rc = tx.begin(); rc != SQLITE_OK) return sqlFailure(rc, doing);
    sql::Statement st;
    int rc = db_.prepare(
        "INSERT INTO dd_users(name, password_hash, group_name, description) VALUES(?, ?, ?, ?)",
        st);
    if (rc != SQLITE_OK) return sqlFailure(rc, doing);
    st.bindText(1, user.name);
    st.bindText(2, user.hash);
    st.bindText(3, group);
    st.bindText(4, description);
    rc = st.step();
    if (rc == SQLITE_CONSTRAINT) return AE_SUCCESS;
    if (rc != SQLITE_DONE) return sqlFailure(rc, doing);
    if (rc = tx.commit(); rc != SQLITE_OK) return sqlFailure(rc, doing);
    added = true;
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::updatePassword(const std::string& key, const std::string& name,
                                          const std::string& hash, bool& found) {
    found = false;
    const std::string doing = "set the password of " + name;
    std::lock_guard lock(mutex_);
    WriteTransaction tx(db_);
    if (int rc = tx.begin(); rc != SQLITE_OK) return sqlFailure(rc, doing);
    sql::Statement st;
    int rc = db_.prepare("UPDATE dd_users SET password_hash = ? WHERE name = ?", st);
    if (rc != SQLITE_OK) return sqlFailure(rc, doing);
    st.bindText(1, hash);
    st.bindText(2, key);
    if (rc = st.step(); rc != SQLITE_DONE) return sqlFailure(rc, doing);
    if (db_.changes() == 0) return AE_SUCCESS;
    if (rc = tx.commit(); rc != SQLITE_OK) return sqlFailure(rc, doing);
    found = true;
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::locateTable(const std::string& tablePath, std::string& stored) const {
    std::string file = paths::resolve(
        paths::join(folder_, paths::withTableExtension(paths::normalise(tablePath))));
    if (!paths::fileExists(file))
        return fail(AE_FILE_NOT_FOUND, "The table file " + file + " does not exist.");
    // Keep the path relative to the dictionary when it was given so: the database folder can
    // then move as a whole.
    stored = file;
    if (!paths::isAbsolute(tablePath) && !folder_.empty()) {
        std::string prefix = folder_.back() == '/' ? folder_ : folder_ + "/";
        if (file.compare(0, prefix.size(), prefix) == 0) stored = file.substr(prefix.size());
    }
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::insertTable(const TableEntry& table, bool& added) {
    added = false;
    const std::string doing = "add table " + table.name;
    std::lock_guard lock(mutex_);
    WriteTransaction tx(db_);
    if (int rc = tx.begin(); rc != SQLITE_OK) return sqlFailure(rc, doing);
    sql::Statement st;
    int rc = db_.prepare(
        "INSERT INTO dd_tables(key, name, path, table_type, char_type, index_files, comments) "
        "VALUES(?, ?, ?, ?, ?, ?, ?)",
        st);
    if (rc != SQLITE_OK) return sqlFailure(rc, doing);
    st.bindText(1, table.key);
    st.bindText(2, table.name);
    st.bindText(3, table.stored);
    st.bindInt(4, ADS_ADT);
    st.bindInt(5, table.charType);
    st.bindText(6, table.indexFiles);
    st.bindText(7, table.comments);
    rc = st.step();
    if (rc == SQLITE_CONSTRAINT) return AE_SUCCESS;
    if (rc != SQLITE_DONE) return sqlFailure(rc, doing);
    if (rc = tx.commit(); rc != SQLITE_OK) return sqlFailure(rc, doing);
    added = true;
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::findTable(const std::string& key, const std::string& name, bool& found,
                                     std::string& stored) const {
    found = false;
    std::lock_guard lock(mutex_);
    sql::Statement st;
    int rc = db_.prepare("SELECT path FROM dd_tables WHERE key = ?", st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "look up table " + name);
    st.bindText(1, key);
    rc = st.step();
    if (rc == SQLITE_DONE) return AE_SUCCESS;
    if (rc != SQLITE_ROW) return sqlFailure(rc, "look up table " + name);
    found = true;
    stored = st.columnText(0);
    return AE_SUCCESS;
}

bool FileDictionary::tableRegistered(const std::string& key, UNSIGNED32& rc) const {
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

UNSIGNED32 FileDictionary::writeTableProperty(const std::string& key, const std::string& table,
                                              UNSIGNED16 property, const std::string& value,
                                              bool& registered) {
    registered = false;
    const std::string doing = "set a property of " + table;
    std::lock_guard lock(mutex_);
    WriteTransaction tx(db_);
    if (int rc = tx.begin(); rc != SQLITE_OK) return sqlFailure(rc, doing);
    UNSIGNED32 failure = AE_SUCCESS;
    if (!tableRegistered(key, failure)) return failure;
    registered = true;
    sql::Statement st;
    int rc = value.empty()
                 ? db_.prepare(
                       "DELETE FROM dd_table_properties WHERE table_key = ? AND property = ?", st)
                 : db_.prepare(
                       "INSERT OR REPLACE INTO dd_table_properties(table_key, property, "
                       "value) VALUES(?, ?, ?)",
                       st);
    if (rc != SQLITE_OK) return sqlFailure(rc, doing);
    st.bindText(1, key);
    st.bindInt(2, property);
    if (!value.empty()) st.bindText(3, value);
    if (rc = st.step(); rc != SQLITE_DONE) return sqlFailure(rc, doing);
    if (rc = tx.commit(); rc != SQLITE_OK) return sqlFailure(rc, doing);
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::readTableProperty(const std::string& key, const std::string& table,
                                             UNSIGNED16 property, bool& registered, bool& found,
                                             std::string& value) const {
    registered = found = false;
    std::lock_guard lock(mutex_);
    UNSIGNED32 failure = AE_SUCCESS;
    if (!tableRegistered(key, failure)) return failure;
    registered = true;
    sql::Statement st;
    int rc = db_.prepare(
        "SELECT value FROM dd_table_properties WHERE table_key = ? AND property = ?", st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "read a property of " + table);
    st.bindText(1, key);
    st.bindInt(2, property);
    rc = st.step();
    if (rc == SQLITE_DONE) return AE_SUCCESS;
    if (rc != SQLITE_ROW) return sqlFailure(rc, "read a property of " + table);
    found = true;
    value = st.columnText(0);
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::listNames(bool users, std::vector<std::string>& out) const {
    const std::string doing = users ? "read its users" : "read its tables";
    std::lock_guard lock(mutex_);
    sql::Statement st;
    int rc = db_.prepare(users ? "SELECT name FROM dd_users" : "SELECT name FROM dd_tables", st);
    if (rc != SQLITE_OK) return sqlFailure(rc, doing);
    while ((rc = st.step()) == SQLITE_ROW) out.push_back(st.columnText(0));
    if (rc != SQLITE_DONE) return sqlFailure(rc, doing);
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::readDescription(std::string& out) const {
    std::lock_guard lock(mutex_);
    sql::Statement st;
    int rc = db_.prepare("SELECT value FROM dd_properties WHERE name = 'description'", st);
    if (rc != SQLITE_OK) return sqlFailure(rc, "read its description");
    rc = st.step();
    if (rc == SQLITE_ROW)
        out = st.columnText(0);
    else if (rc != SQLITE_DONE)
        return sqlFailure(rc, "read its description");
    return AE_SUCCESS;
}

UNSIGNED32 FileDictionary::removeAll() {
    std::lock_guard lock(mutex_);
    {
        // Taking the write lock first tells a dictionary another process is changing.
        WriteTransaction tx(db_);
        if (int rc = tx.begin(); rc != SQLITE_OK) return sqlFailure(rc, "remove it");
    }
    // Closed first, so that SQLite does not write its companions again after they are gone.
    db_.close();
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::string file = path() + suffix;
        if (fs::current().unlink(file) != 0 && errno != ENOENT)
            return fail(AE_IO_ERROR,
                        "Could not delete " + file + ": " + std::strerror(errno) + ".");
    }
    return AE_SUCCESS;
}

}  // namespace engine
