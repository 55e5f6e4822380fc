#include "engine/sqlite/table.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sodium.h>

#include "engine/file_system.h"
#include "engine/files.h"
#include "engine/last_error.h"
#include "engine/paths.h"
#include "engine/sql_functions.h"
#include "engine/sqlite/encryption.h"

namespace engine {

struct TableRegistryAccess {
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::map<std::string, std::weak_ptr<Table>>& tables() {
        static std::map<std::string, std::weak_ptr<Table>> t;
        return t;
    }
    // A live Table of this process for the file; tables inherited through fork() are left alone.
    static std::shared_ptr<Table> find(const std::string& file) {
        auto it = tables().find(file);
        if (it == tables().end()) return nullptr;
        auto table = it->second.lock();
        if (!table || table->pid_ != ::getpid()) return nullptr;
        return table;
    }
    static void add(const std::shared_ptr<Table>& table) { tables()[table->file_] = table; }
};

namespace {

std::string displayName(const std::string& file) {
    return file;
}

off_t fileSize(const std::string& path) {
    struct stat st {};
    return fs::current().stat(path, st) == 0 ? st.st_size : -1;
}

}  // namespace

Table::~Table() {
    sodium_memzero(passwordSalt_, sizeof passwordSalt_);
    sodium_memzero(passwordHash_, sizeof passwordHash_);
}

UNSIGNED32 Table::list(const std::string& folder, std::vector<std::string>& out) {
    if (!paths::folderExists(folder))
        return fail(AE_PATH_NOT_FOUND, "The folder " + folder + " does not exist.");
    errno = 0;
    std::vector<std::string> names = fs::current().list(folder);
    if (names.empty() && errno != 0)
        return fail(AE_IO_ERROR,
                    "Could not read the folder " + folder + ": " + std::strerror(errno) + ".");
    for (std::string& name : names) {
        if (name.size() <= 4 || name[0] == '.' ||
            strcasecmp(name.c_str() + name.size() - 4, ".adt") != 0)
            continue;
        struct stat st {};
        if (fs::current().stat(paths::join(folder, name), st) == 0 && S_ISREG(st.st_mode))
            out.push_back(std::move(name));
    }
    return AE_SUCCESS;
}

bool Table::isOpen(const std::string& file) {
    std::lock_guard lock(TableRegistryAccess::mutex());
    return TableRegistryAccess::find(file) != nullptr;
}

UNSIGNED32 Table::openConnection(bool create) {
    int rc;
    if (immutable_) {
        rc = db_.open(files::immutableUri(file_),
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI);
    } else {
        int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
        rc = db_.open(file_, flags);
    }
    if (rc == SQLITE_CANTOPEN && !create) {
        db_.close();
        rc = db_.open(file_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    }
    if (rc != SQLITE_OK)
        return fail(
            rc == SQLITE_NOTADB ? AE_NOT_A_TABLE : AE_IO_ERROR,
            "Could not open the table " + displayName(file_) + ": " + db_.errorText() + ".");
    sqlite3_busy_timeout(db_.get(), 10000);
    // A connection made again (after a change of form) gets the functions its filters use.
    if (functions_ && sqlfunctions::registerAll(db_.get()) != SQLITE_OK) return sqlFailure("open");
    if (db_.exec("PRAGMA synchronous=NORMAL; PRAGMA cache_size=-131072; PRAGMA "
                 "secure_delete=OFF; PRAGMA temp_store=MEMORY") != SQLITE_OK)
        return sqlFailure("open");
    return AE_SUCCESS;
}

void Table::mapRows() {
    mapped_ = false;
}

UNSIGNED32 Table::mapForWalks() {
    if (encrypted_ || mapped_) return AE_SUCCESS;
    if (db_.exec("PRAGMA mmap_size=1073741824") != SQLITE_OK) return sqlFailure("read");
    mapped_ = true;
    return AE_SUCCESS;
}

void Table::buildSelectList() {
    selectList_ = "rowid";
    for (const FieldDef& f : schema_.fields) {
        selectList_ += ", ";
        if (f.isBlob()) selectList_ += '(';
        selectList_ += f.column();
        if (f.isBlob()) selectList_ += " IS NOT NULL)";
    }
}

UNSIGNED32 Table::open(const std::string& given, std::shared_ptr<Table>& out) {
    struct stat status {};
    const std::string file = files::realFile(given, &status);
    std::lock_guard lock(TableRegistryAccess::mutex());
    if ((out = TableRegistryAccess::find(file))) return AE_SUCCESS;
    files::OwnFiles own;
    if (UNSIGNED32 rc = files::refuseLinks(file, &own, &status)) return rc;
    if (!own.has(file)) {
        std::string folder = paths::folderOf(file);
        if (!folder.empty() && !paths::folderExists(folder))
            return fail(AE_PATH_NOT_FOUND,
                        "The folder " + folder + " of the table " + file + " does not exist.");
        return fail(AE_FILE_NOT_FOUND, "The table " + file + " does not exist.");
    }
    std::shared_ptr<Table> table(new Table());
    table->file_ = file;
    table->pid_ = ::getpid();
    if (UNSIGNED32 rc = table->placeCheck()) return rc;
    if (UNSIGNED32 rc = table->openConnection(false)) return rc;
    OneRead reading(*table, true);  // the structure, the marker, the page checks
    metadata::OpenFacts facts;
    if (UNSIGNED32 rc = metadata::readAtOpen(table->db_, table->schema_, facts, file)) return rc;
    // Read the longer way (structureOnly), the marker and whether the rows can be read come one
    // by one, each with its error.
    if (UNSIGNED32 rc = facts.structureOnly ? table->readEncryption(&own)
                                            : table->takeEncryption(facts.encrypted, &own))
        return rc;
    table->mapRows();
    sql::Statement pages;
    int64_t pageCount = 0;
    if (table->db_.prepare("PRAGMA page_count", pages) == SQLITE_OK && pages.step() == SQLITE_ROW)
        pageCount = pages.columnInt(0);
    sql::Statement pageSize;
    if (table->db_.prepare("PRAGMA page_size", pageSize) == SQLITE_OK &&
        pageSize.step() == SQLITE_ROW)
        table->pageSize_ = static_cast<UNSIGNED32>(pageSize.columnInt(0));
    off_t walSize = fileSize(file + "-wal");
    if (walSize <= 0 && pageCount * static_cast<int64_t>(table->pageSize_) > fileSize(file))
        return fail(AE_NOT_A_TABLE,
                    "The table " + file +
                        " is damaged: the file is shorter than its contents (it was cut off).");
    if (facts.structureOnly) {
        sql::Statement first;  // the rows read once (an empty table reads none)
        int rc = table->db_.prepare("SELECT rowid FROM \"main\".\"records\" LIMIT 1", first);
        if (rc == SQLITE_OK) rc = first.step();
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return table->sqlFailure("open");
    }
    table->buildSelectList();
    table->counter_.open(file);
    out = table;
    TableRegistryAccess::add(table);
    return AE_SUCCESS;
}

UNSIGNED32 Table::placeCheck() {
    const std::string folder = paths::folderOf(file_);
    if (std::string network = files::networkFileSystem(folder); !network.empty()) {
        notWritable_ = "its folder " + folder + " is on a network file system (" + network +
                       "), where tables cannot be changed safely; copy the company to a local "
                       "disk to change it";
    } else if (!files::folderWritable(folder)) {
        notWritable_ = "its folder " + folder + " cannot be written";
        // Read without -wal and -shm; changes still in a -wal would be missed, so refuse then.
        struct stat st {};
        if (fs::current().stat(file_ + "-wal", st) == 0 && st.st_size > 0)
            return fail(AE_IO_ERROR, "The table " + file_ + " cannot be read: " + notWritable_ +
                                         " and its -wal file holds changes not yet in the table. "
                                         "Open it once where its folder can be written.");
        immutable_ = true;
    }
    return AE_SUCCESS;
}

UNSIGNED32 Table::create(const std::string& file, const std::vector<FieldDef>& fields,
                         std::shared_ptr<Table>& out) {
    std::lock_guard lock(TableRegistryAccess::mutex());
    std::string folder = paths::folderOf(file);
    if (!folder.empty() && !paths::folderExists(folder))
        return fail(AE_PATH_NOT_FOUND,
                    "The folder " + folder + " for the new table " + file + " does not exist.");
    if (paths::fileExists(file) || TableRegistryAccess::find(file))
        return fail(AE_ALREADY_EXISTS, "The table " + file + " exists already.");
    // Room for the longest name beside it (".table-new-journal" of an encryption), so that a
    // table can always be encrypted and decrypted.
    const size_t longest = files::kMaxTableFileName;
    if (paths::fileName(file).size() > longest)
        return fail(AE_INVALID_ARGUMENT, "The name of the new table " + file +
                                             " is too long: a table file name has at most " +
                                             std::to_string(longest) + " characters.");
    if (std::string network = files::networkFileSystem(folder); !network.empty())
        return fail(AE_READ_ONLY, "The table " + file + " cannot be created: its folder " + folder +
                                      " is on a network file system (" + network +
                                      "), where tables cannot be changed safely.");
    if (UNSIGNED32 rc = files::refuseLinks(file)) return rc;
    // What a deleted encrypted table of this name may have left behind.
    for (const std::string& part : encryption::companionFiles(file)) fs::current().unlink(part);
    // Made here, private and without following links; SQLite then fills the empty file.
    if (!files::createEmpty(file))
        return fail(errno == EEXIST ? AE_ALREADY_EXISTS : AE_IO_ERROR,
                    errno == EEXIST
                        ? "The table " + file + " exists already."
                        : "Could not create the table " + file + ": " + std::strerror(errno) + ".");
    std::shared_ptr<Table> table(new Table());
    table->file_ = file;
    table->pid_ = ::getpid();
    table->schema_.fields = fields;
    table->schema_.layOut();
    auto discard = [&](UNSIGNED32 rc) {
        table->statements_.clear();
        table->db_.close();
        for (const char* suffix : {"", "-wal", "-shm"}) fs::current().unlink(file + suffix);
        return rc;
    };
    if (UNSIGNED32 rc = table->openConnection(true)) return discard(rc);
    table->mapRows();
    if (table->db_.exec("PRAGMA journal_mode=WAL") != SQLITE_OK)
        return discard(table->sqlFailure("create"));
    if (table->db_.exec("BEGIN IMMEDIATE") != SQLITE_OK)
        return discard(table->sqlFailure("create"));
    if (UNSIGNED32 rc = metadata::create(table->db_, table->schema_, file)) {
        table->db_.exec("ROLLBACK");
        return discard(rc);
    }
    if (table->db_.exec("COMMIT") != SQLITE_OK) {
        UNSIGNED32 rc = table->sqlFailure("create");
        table->db_.exec("ROLLBACK");
        return discard(rc);
    }
    table->buildSelectList();
    table->counter_.open(file);
    out = table;
    TableRegistryAccess::add(table);
    return AE_SUCCESS;
}

std::shared_ptr<Table> Table::overRows(const std::string& name, Schema schema, sql::Database db) {
    std::shared_ptr<Table> table(new Table());
    table->file_ = name;
    table->pid_ = ::getpid();
    table->schema_ = std::move(schema);
    table->schema_.layOut();
    table->db_ = std::move(db);
    table->buildSelectList();
    return table;
}

UNSIGNED32 Table::useFunctions() {
    if (functions_) return AE_SUCCESS;
    if (sqlfunctions::registerAll(db_.get()) != SQLITE_OK) return sqlFailure("prepare a filter on");
    functions_ = true;
    return AE_SUCCESS;
}

sqlite3_stmt* Table::statement(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end()) {
        sql::Statement stmt;
        // A statement naming the expression language's functions finds them at its second try.
        if (db_.prepare(sql, stmt) != SQLITE_OK &&
            (functions_ || useFunctions() != AE_SUCCESS || db_.prepare(sql, stmt) != SQLITE_OK)) {
            (void)sqlFailure("read");  // the caller answers the code of the last error
            return nullptr;
        }
        // A bounded cache: queries differ only by order and scope, but a caller could vary them.
        if (statements_.size() > 200) statements_.clear();
        it = statements_.emplace(sql, std::move(stmt)).first;
    }
    sqlite3_stmt* raw = it->second.get();
    sqlite3_reset(raw);
    sqlite3_clear_bindings(raw);
    return raw;
}

UNSIGNED32 Table::sqlFailure(const std::string& doing) {
    int rc = sqlite3_errcode(db_.get());
    std::string why = db_.errorText();
    switch (rc) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return fail(AE_LOCKED, "The table " + file_ +
                                       " is locked by another process; could not " + doing + " (" +
                                       why + ").");
        case SQLITE_FULL:
            return fail(AE_IO_ERROR,
                        "Could not " + doing + " the table " + file_ + ": the disk is full.");
        case SQLITE_IOERR:
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
            return fail(AE_IO_ERROR, "Could not " + doing + " the table " + file_ +
                                         ": the operating system refused (" + why + ").");
        case SQLITE_READONLY:
            return fail(AE_IO_ERROR, "Could not " + doing + " the table " + file_ +
                                         ": the file cannot be written (" + why + ").");
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return fail(AE_NOT_A_TABLE, "The table " + file_ + " is damaged (" + why + ").");
        default:
            return fail(AE_INTERNAL,
                        "Could not " + doing + " the table " + file_ + ": " + why + ".");
    }
}

UNSIGNED32 Table::begin() {
    if (transactionOwner_ != 0 || !sqlite3_get_autocommit(db_.get()))
        return fail(AE_LOCKED, "The table " + file_ +
                                   " is in an open transaction; it cannot be changed outside it "
                                   "until the transaction is committed or rolled back.");
    sqlite3_stmt* stmt = statement("BEGIN IMMEDIATE");
    if (!stmt) return lastError().code;
    return runToEnd(stmt, "write");
}

UNSIGNED32 Table::commit() {
    sqlite3_stmt* stmt = statement("COMMIT");
    if (!stmt) return lastError().code;
    if (UNSIGNED32 rc = runToEnd(stmt, "write")) return rc;
    counter_.bump();
    return AE_SUCCESS;
}

UNSIGNED32 Table::control(const std::string& sql, const std::string& doing) {
    sqlite3_stmt* stmt = statement(sql);
    if (!stmt) return lastError().code;
    return runToEnd(stmt, doing);
}

UNSIGNED32 Table::beginHeld(bool writing) {
    if (writing) return control("BEGIN IMMEDIATE", "write");
    // BEGIN alone takes no snapshot; the first read does, so read once now.
    if (UNSIGNED32 rc = control("BEGIN", "read")) return rc;
    if (UNSIGNED32 rc = control("SELECT count(*) FROM \"main\".sqlite_master", "read")) {
        rollback();
        return rc;
    }
    return AE_SUCCESS;
}

UNSIGNED32 Table::commitHeld() {
    return control("COMMIT", "commit the transaction on");
}

namespace {
constexpr const char* kChangeSavepoint = "velda_write";
}

UNSIGNED32 Table::beginChange() {
    return control(std::string("SAVEPOINT ") + kChangeSavepoint, "write");
}

UNSIGNED32 Table::endChange() {
    return control(std::string("RELEASE ") + kChangeSavepoint, "write");
}

UNSIGNED32 Table::undoChange() {
    UNSIGNED32 rc = control(std::string("ROLLBACK TO ") + kChangeSavepoint, "write");
    UNSIGNED32 released = endChange();
    return rc != AE_SUCCESS ? rc : released;
}

Table::OneRead::OneRead(Table& table, bool wanted) : table_(table) {
    if (!wanted || !sqlite3_get_autocommit(table.db_.get())) return;
    sqlite3_stmt* begin = table.statement("BEGIN");
    if (!begin) return;
    sql::ResetOnExit resetting(begin);
    open_ = sqlite3_step(begin) == SQLITE_DONE;
}

Table::OneRead::~OneRead() {
    if (!open_) return;
    sqlite3_stmt* commit = table_.statement("COMMIT");
    bool ended = false;
    if (commit) {
        sql::ResetOnExit resetting(commit);
        ended = sqlite3_step(commit) == SQLITE_DONE;
    }
    // A read has nothing to keep; a transaction left open would stop the next write's BEGIN.
    if (!ended && !sqlite3_get_autocommit(table_.db_.get())) table_.db_.exec("ROLLBACK");
}

UNSIGNED32 Table::runToEnd(sqlite3_stmt* stmt, const std::string& doing) {
    sql::ResetOnExit resetting(stmt);
    int rc = sqlite3_step(stmt);
    while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
    return rc == SQLITE_DONE ? AE_SUCCESS : sqlFailure(doing);
}

void Table::rollback() {
    if (sqlite3_get_autocommit(db_.get())) return;
    // Quiet: the caller reports why it rolls back, and a failed ROLLBACK leaves nothing it could
    // act on (SQLite ends the transaction itself when it cannot go on).
    if (sqlite3_stmt* stmt = statement("ROLLBACK")) {
        sql::ResetOnExit resetting(stmt);
        (void)sqlite3_step(stmt);
    }
}

UNSIGNED32 Table::addIndex(const IndexDef& index) {
    if (UNSIGNED32 rc = begin()) return rc;
    std::string segments;
    for (size_t s : index.segments)
        segments += (segments.empty() ? "" : ";") + schema_.fields[s].name;
    std::string sql =
        metadata::createIndexSql(schema_, index) +
        ";INSERT INTO velda_indexes(position, name, segments, is_unique, is_descending) VALUES("
        "(SELECT ifnull(max(position),0)+1 FROM velda_indexes)," +
        quoteText(index.name) + "," + quoteText(segments) + "," + (index.unique ? "1" : "0") + "," +
        (index.descending ? "1" : "0") + ")";
    if (db_.exec(sql) != SQLITE_OK) {
        int rc = sqlite3_errcode(db_.get());
        UNSIGNED32 code = rc == SQLITE_CONSTRAINT
                              ? fail(AE_DUPLICATE_KEY, "Cannot create the unique index tag " +
                                                           index.name + " on the table " + file_ +
                                                           ": rows of the table share a key.")
                              : sqlFailure("index");
        rollback();
        return code;
    }
    if (UNSIGNED32 rc = commit()) {
        rollback();
        return rc;
    }
    schema_.indexes.push_back(index);
    ++generation_;
    return AE_SUCCESS;
}

UNSIGNED32 Table::dropIndex(size_t position) {
    const IndexDef& index = schema_.indexes[position];
    if (UNSIGNED32 rc = begin()) return rc;
    std::string sql = "DROP INDEX IF EXISTS \"main\"." + metadata::sqliteIndexName(index) +
                      ";DELETE FROM velda_indexes WHERE name=" + quoteText(index.name);
    if (db_.exec(sql) != SQLITE_OK) {
        UNSIGNED32 rc = sqlFailure("delete an index tag of");
        rollback();
        return rc;
    }
    if (UNSIGNED32 rc = commit()) {
        rollback();
        return rc;
    }
    schema_.indexes.erase(schema_.indexes.begin() + static_cast<long>(position));
    statements_.clear();
    ++generation_;
    return AE_SUCCESS;
}

namespace {

// One range query of a walk: the key's first `level` values equal, the next compared.
struct Phase {
    std::string where;
    size_t orderFrom = 0;
    std::vector<const Value*> values;
};

// Splits "the key tuple compared with start" into range queries on index prefixes (SQLite uses
// an index for a range on one expression after equal leading ones, not for row values over
// expressions). Phases come in walking order.
std::vector<Phase> phases(const std::vector<std::string>& keys, const std::vector<Value>& start,
                          const char* lastOp, const char* strictOp) {
    std::vector<Phase> out;
    size_t k = start.size();
    for (size_t level = k; level >= 1; --level) {
        Phase p;
        for (size_t i = 0; i + 1 < level; ++i) {
            p.where += (p.where.empty() ? "" : " AND ") + keys[i] + "=?";
            p.values.push_back(&start[i]);
        }
        p.where += (p.where.empty() ? "" : " AND ") + keys[level - 1] +
                   (level == k ? lastOp : strictOp) + "?";
        p.values.push_back(&start[level - 1]);
        p.orderFrom = level - 1;
        out.push_back(std::move(p));
    }
    return out;
}

// Whether two key values are surely different as SQLite orders them (BINARY text, numbers); a
// pair of different kinds counts as possibly equal.
bool surelyDifferent(const Value& a, const Value& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case Value::Kind::Text:
        case Value::Kind::Blob:
            return a.bytes != b.bytes;
        case Value::Kind::Integer:
            return a.integer != b.integer;
        case Value::Kind::Real:
            return a.real != b.real;
        default:
            return false;
    }
}

// The phases of a read going on from the batch's key row that hold no row, seen from the row
// that follows it (the statement's current row): every phase that keeps the key's values equal
// up to and past the first value in which the two rows surely differ.
size_t emptyPhasesBetween(const RowBatch& batch, sqlite3_stmt* stmt, int firstKeyColumn) {
    const size_t values = batch.key.size();
    size_t differ = values;  // the record number, where two rows always differ
    for (size_t i = 0; i < values; ++i)
        if (surelyDifferent(batch.key[i],
                            image::columnValue(stmt, firstKeyColumn + static_cast<int>(i)))) {
            differ = i;
            break;
        }
    return values - differ;
}

}  // namespace

UNSIGNED32 Table::scan(const OrderSpec& order, bool forward, const std::vector<Value>* start,
                       const char* startOp, const std::vector<Condition>& conditions, size_t limit,
                       image::CodePage page, RowBatch& out, bool singlePhase, size_t emptyPhases) {
    out.rowids.clear();
    out.images.clear();
    if (limit > 1)
        if (UNSIGNED32 rc = mapForWalks()) return rc;
    std::vector<std::string> keys = order.expressions;
    keys.push_back("rowid");
    bool ascending = forward != order.descending;
    const char* direction = ascending ? "" : " DESC";
    std::vector<Phase> list;
    if (start && !start->empty()) {
        list = phases(keys, *start, startOp, ascending ? ">" : "<");
        if (singlePhase) list.resize(1);
        // An equal expression must not lead ORDER BY, or SQLite sorts the matching rows itself.
        if (std::string(startOp) == "=") list[0].orderFrom = start->size();
        list.erase(list.begin(),
                   list.begin() + static_cast<long>(std::min(emptyPhases, list.size() - 1)));
    } else {
        list.push_back(Phase{});
    }
    std::string extra;
    for (const Condition& c : conditions)
        extra += (extra.empty() ? "" : " AND ") + ("(" + c.sql + ")");
    const size_t fields = schema_.fields.size();
    const UNSIGNED32 length = schema_.recordLength;
    // Room for every row at once and for the row a walk puts before them, zero-filled once; cut
    // to the rows read at the end. Storage used before keeps its room.
    out.rowids.reserve(limit + 1);
    out.images.reserve((static_cast<size_t>(limit) + 1) * length);
    out.images.assign(static_cast<size_t>(limit) * length, 0);
    auto cutToRows = [&](UNSIGNED32 rc) {
        out.images.resize(out.rowids.size() * length);
        return rc;
    };
    out.complete = out.first = out.last = false;
    out.keyRowid = 0;
    out.key.clear();
    out.keyForward = forward;
    out.emptyPhasesAfterKey = 0;
    bool more = false;  // a row lies beyond the last one kept: read, not kept
    // A read of one row (a move to either end, a seek) is mostly not walked on: it reads no
    // row more, which could lie on a page of its own.
    const size_t ahead = limit > 1 ? 1 : 0;
    // The key expressions come with the rows: the last row's key is where a walk goes on.
    std::string keyColumns;
    for (const std::string& e : order.expressions) keyColumns += ", " + e;
    const int firstKeyColumn = static_cast<int>(fields) + 1;
    OneRead reading(*this, list.size() > 1);
    for (const Phase& p : list) {
        if (more || out.size() >= limit + ahead) break;
        std::string sql = "SELECT " + selectList_ + keyColumns + " FROM \"main\".\"records\"";
        std::string where = p.where;
        if (!extra.empty()) where += (where.empty() ? "" : " AND ") + extra;
        if (!where.empty()) sql += " WHERE " + where;
        sql += " ORDER BY ";
        for (size_t i = p.orderFrom; i < keys.size(); ++i)
            sql += (i > p.orderFrom ? "," : "") + keys[i] + direction;
        sql += " LIMIT ?";
        sqlite3_stmt* stmt = statement(sql);
        if (!stmt) return cutToRows(lastError().code);
        int bindAt = 1;
        for (const Value* v : p.values) image::bind(stmt, bindAt++, *v);
        for (const Condition& c : conditions)
            for (const Value& v : c.values) image::bind(stmt, bindAt++, v);
        sqlite3_bind_int64(stmt, bindAt, static_cast<int64_t>(limit + ahead - out.size()));
        sql::ResetOnExit resetting(stmt);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (out.size() == limit) {
                more = true;
                out.emptyPhasesAfterKey = emptyPhasesBetween(out, stmt, firstKeyColumn);
                break;
            }
            uint8_t* image = out.images.data() + out.rowids.size() * length;
            out.rowids.push_back(sqlite3_column_int64(stmt, 0));
            for (size_t f = 0; f < fields; ++f) {
                const FieldDef& field = schema_.fields[f];
                image::writeColumn(field, stmt, static_cast<int>(f + 1), page,
                                   image + field.offset);
            }
            if (out.size() == limit) {
                out.keyRowid = out.rowids.back();
                for (size_t k = 0; k < order.expressions.size(); ++k)
                    out.key.push_back(
                        image::columnValue(stmt, firstKeyColumn + static_cast<int>(k)));
            }
        }
        if (rc != SQLITE_DONE && !more) return cutToRows(sqlFailure("read"));
    }
    cutToRows(AE_SUCCESS);
    out.complete = !more && out.size() < limit + ahead && !singlePhase;
    return AE_SUCCESS;
}

UNSIGNED32 Table::countRows(const std::vector<Condition>& conditions, int64_t& out) {
    if (UNSIGNED32 rc = mapForWalks()) return rc;
    std::string sql = "SELECT count(*) FROM \"main\".\"records\"";
    std::string where;
    for (const Condition& c : conditions)
        where += (where.empty() ? "" : " AND ") + ("(" + c.sql + ")");
    if (!where.empty()) sql += " WHERE " + where;
    sqlite3_stmt* stmt = statement(sql);
    if (!stmt) return lastError().code;
    int bindAt = 1;
    for (const Condition& c : conditions)
        for (const Value& v : c.values) image::bind(stmt, bindAt++, v);
    sql::ResetOnExit resetting(stmt);
    if (sqlite3_step(stmt) != SQLITE_ROW) return sqlFailure("count the rows of");
    out = sqlite3_column_int64(stmt, 0);
    return AE_SUCCESS;
}

UNSIGNED32 Table::countBefore(const OrderSpec& order, const std::vector<Value>& start,
                              const std::vector<Condition>& conditions, int64_t& out) {
    std::vector<std::string> keys = order.expressions;
    keys.push_back("rowid");
    const char* before = order.descending ? ">" : "<";
    out = 0;
    const std::vector<Phase> list = phases(keys, start, before, before);
    OneRead reading(*this, list.size() > 1);
    for (const Phase& p : list) {
        std::vector<Condition> all = conditions;
        Condition c{p.where, {}};
        for (const Value* v : p.values) c.values.push_back(*v);
        all.push_back(std::move(c));
        int64_t n = 0;
        if (UNSIGNED32 rc = countRows(all, n)) return rc;
        out += n;
    }
    return AE_SUCCESS;
}

UNSIGNED32 Table::readRow(int64_t rowid, image::CodePage page, uint8_t* image, bool& found) {
    sqlite3_stmt* stmt =
        statement("SELECT " + selectList_ + " FROM \"main\".\"records\" WHERE rowid=?");
    if (!stmt) return lastError().code;
    sqlite3_bind_int64(stmt, 1, rowid);
    sql::ResetOnExit resetting(stmt);
    int rc = sqlite3_step(stmt);
    found = rc == SQLITE_ROW;
    if (found) {
        for (size_t f = 0; f < schema_.fields.size(); ++f) {
            const FieldDef& field = schema_.fields[f];
            image::writeColumn(field, stmt, static_cast<int>(f + 1), page, image + field.offset);
        }
    } else if (rc != SQLITE_DONE) {
        return sqlFailure("read");
    }
    return AE_SUCCESS;
}

UNSIGNED32 Table::readColumns(const std::vector<std::string>& columns, int64_t rowid,
                              std::vector<Value>& values, bool& found) {
    values.clear();
    found = true;
    if (columns.empty()) return AE_SUCCESS;
    std::string sql = "SELECT ";
    for (size_t i = 0; i < columns.size(); ++i) sql += (i ? "," : "") + columns[i];
    sqlite3_stmt* stmt = statement(sql + " FROM \"main\".\"records\" WHERE rowid=?");
    if (!stmt) return lastError().code;
    sqlite3_bind_int64(stmt, 1, rowid);
    sql::ResetOnExit resetting(stmt);
    int rc = sqlite3_step(stmt);
    found = rc == SQLITE_ROW;
    if (found) {
        for (size_t i = 0; i < columns.size(); ++i)
            values.push_back(image::columnValue(stmt, static_cast<int>(i)));
    } else if (rc != SQLITE_DONE) {
        return sqlFailure("read");
    }
    return AE_SUCCESS;
}

UNSIGNED32 Table::totalRows(bool fresh, int64_t& out) {
    // A count made afresh reads the data version and the rows in one snapshot.
    OneRead reading(*this, fresh);
    sqlite3_stmt* version = statement("PRAGMA data_version");
    if (!version) return lastError().code;
    int64_t dataVersion = -1;
    {
        sql::ResetOnExit resetting(version);
        if (sqlite3_step(version) == SQLITE_ROW) dataVersion = sqlite3_column_int64(version, 0);
    }
    uint64_t changes = counter_.value();
    if (!fresh && countValid_ && dataVersion == countDataVersion_ && changes == countCounter_) {
        out = countCache_;
        return AE_SUCCESS;
    }
    if (UNSIGNED32 rc = countRows({}, out)) return rc;
    countValid_ = true;
    countCache_ = out;
    countCounter_ = changes;
    countDataVersion_ = dataVersion;
    return AE_SUCCESS;
}

}  // namespace engine
