#include "engine/statement.h"

#include "engine/transaction.h"

#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>

#include "engine/file_system.h"
#include "engine/files.h"
#include "engine/last_error.h"
#include "engine/paths.h"
#include "engine/result_cursor.h"
#include "engine/server_statements.h"
#include "engine/sql_functions.h"
#include "engine/sql_writes.h"
#include "engine/sqlite/encryption.h"
#include "engine/sqlite/locks.h"
#include "engine/sqlite/sql_keys.h"

namespace engine {

namespace {

// Tables attached at once; SQLite allows ten and one is kept for copying results.
constexpr size_t kMaxAttached = 9;
constexpr const char* kAliasPrefix = "velda_t";

std::mutex& sessionsMutex() {
    static std::mutex m;
    return m;
}
std::map<ADSHANDLE, std::shared_ptr<SqlSession>>& sessions() {
    static std::map<ADSHANDLE, std::shared_ptr<SqlSession>> s;
    return s;
}
// Statement handles by the connection they were made on.
std::multimap<ADSHANDLE, ADSHANDLE>& statementsByConnection() {
    static std::multimap<ADSHANDLE, ADSHANDLE> s;
    return s;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool endsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && upper(s.substr(s.size() - tail.size())) == upper(tail);
}

std::string withoutExtension(const std::string& name) {
    std::string file = paths::fileName(name);
    size_t dot = file.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, name.size() - (file.size() - dot));
}

void hashPassword(const Secret& password, const unsigned char* salt, unsigned char* out) {
    crypto_generichash(out, 32, reinterpret_cast<const unsigned char*>(password.data()),
                       static_cast<unsigned long long>(password.size()), salt, 32);
}

// Collects the attached tables a statement reads or writes, and refuses what no statement of the
// dialect may do (the pre-pass refuses these first; this is the second line): anything but reading
// and changing rows, a recursive common table expression, and the SQL library's own functions
// (they would reconfigure the session's encryption).
struct Authorizer {
    std::set<std::string> aliases;
    bool recursive = false;
    std::string function;  // a function refused, as named

    static bool libraryFunction(const char* name) {
        std::string n = name ? upper(name) : std::string();
        return n.rfind("SQLITE3MC", 0) == 0 || n.rfind("VLE_", 0) == 0 || n == "LOAD_EXTENSION";
    }

    static int callback(void* self, int action, const char*, const char* detail,
                        const char* database, const char*) {
        auto* me = static_cast<Authorizer*>(self);
        switch (action) {
            case SQLITE_FUNCTION:
                if (libraryFunction(detail)) {
                    me->function = detail;
                    return SQLITE_DENY;
                }
                break;
            case SQLITE_RECURSIVE:
                me->recursive = true;
                return SQLITE_DENY;
            case SQLITE_READ:
            case SQLITE_SELECT:
            case SQLITE_INSERT:
            case SQLITE_UPDATE:
            case SQLITE_DELETE:
                break;
            default:
                return SQLITE_DENY;
        }
        if (database && std::string(database).rfind(kAliasPrefix, 0) == 0)
            me->aliases.insert(database);
        return SQLITE_OK;
    }

    // The engine's error for what the callback refused, or AE_SUCCESS when it refused nothing.
    UNSIGNED32 refusal() const {
        if (recursive)
            return fail(AE_NOT_SUPPORTED,
                        "The SQL statement uses a recursive common table expression, which the "
                        "engine does not run.");
        if (!function.empty())
            return fail(AE_NOT_SUPPORTED, "The SQL statement calls the function " + function +
                                              ", which the engine does not offer.");
        return AE_SUCCESS;
    }
};

UNSIGNED32 sessionFailure(sqlite3* db, const std::string& doing) {
    return fail(AE_INTERNAL, "Could not " + doing + " for the SQL statement: " +
                                 std::string(sqlite3_errmsg(db)) + ".");
}

// The engine's error for a failed prepare that is not a missing table.
// `offset` is SQLite's byte offset of the error in the translated statement, or -1.
UNSIGNED32 prepareFailure(const SqlStatement& statement, const std::string& message, int offset) {
    const std::string syntax = "near \"";
    if (message.rfind(syntax, 0) == 0) {
        size_t end = message.find("\": syntax error");
        std::string near =
            end == std::string::npos ? "" : message.substr(syntax.size(), end - syntax.size());
        return fail(AE_SQL_SYNTAX, "Syntax error in the SQL statement " +
                                       sqldialect::locate(statement.translation, near, offset) +
                                       ".");
    }
    // SQLite names no token when the text ends early: name the last one, where it stops.
    if (message == "incomplete input") {
        const auto& origins = statement.translation.origins;
        if (!origins.empty())
            return fail(AE_SQL_SYNTAX, "Syntax error in the SQL statement " +
                                           sqldialect::locate(origins.back()) + ".");
        return fail(AE_SQL_SYNTAX, "Syntax error in the SQL statement " +
                                       sqldialect::locate(statement.translation, "") +
                                       ": it ends too early.");
    }
    const std::string noColumn = "no such column: ";
    if (message.rfind(noColumn, 0) == 0)
        return fail(AE_COLUMN_NOT_FOUND, "The SQL statement names column \"" +
                                             codepage::fromUtf8(message.substr(noColumn.size()),
                                                                codepage::CodePage::Ansi1252) +
                                             "\", which none of its tables has.");
    // SQLite's own bounds: the statement is too large or too deeply nested.
    for (const char* bound :
         {"Expression tree is too large", "parser stack overflow", "Recursion limit",
          "statement too long", "too many terms in compound SELECT",
          "too many arguments on function"})
        if (message.rfind(bound, 0) == 0)
            return fail(AE_SQL_SYNTAX,
                        "The SQL statement is too large or too deeply nested for the engine (" +
                            message + ").");
    if (message == "not authorized")
        return fail(AE_NOT_SUPPORTED,
                    "The SQL statement does something the engine does not allow (it may only "
                    "read and change the rows of tables).");
    return fail(AE_SQL_SYNTAX, "The SQL statement cannot run: " +
                                   codepage::fromUtf8(message, codepage::CodePage::Ansi1252) + ".");
}

}  // namespace

std::string fingerprint(const std::string& file, const Table& table) {
    struct stat st {};
    fs::current().stat(file, st);
    std::string out = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
                      (table.encrypted() ? "E" : "P");
    for (const FieldDef& f : table.schema().fields)
        out += ";" + f.name + "," + std::to_string(f.type) + "," + std::to_string(f.declared) +
               "," + std::to_string(f.decimals);
    for (const IndexDef& index : table.schema().indexes) out += "|" + index.name;
    return out;
}

const Secret* SqlStatement::passwordFor(const std::vector<std::string>& names) const {
    for (const std::string& name : names) {
        for (const std::string& key :
             {upper(name), upper(withoutExtension(name)), upper(withoutExtension(name) + ".ADT")}) {
            auto it = tablePasswords.find(key);
            if (it != tablePasswords.end()) return &it->second;
        }
    }
    return encryption ? &encryptionPassword : nullptr;
}

UNSIGNED32 SqlSession::of(const std::shared_ptr<Connection>& connection,
                          std::shared_ptr<SqlSession>& out) {
    std::lock_guard lock(sessionsMutex());
    auto& s = sessions()[connection->handle()];
    if (!s) {
        auto session = std::make_shared<SqlSession>();
        session->connection = connection;
        if (UNSIGNED32 rc = session->open()) {
            sessions().erase(connection->handle());
            return rc;
        }
        s = session;
    }
    out = s;
    return AE_SUCCESS;
}

void SqlSession::drop(ADSHANDLE connection) {
    std::lock_guard lock(sessionsMutex());
    sessions().erase(connection);
}

UNSIGNED32 SqlSession::open() {
    if (db.open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX |
                                SQLITE_OPEN_URI) != SQLITE_OK)
        return fail(AE_INTERNAL, "Could not open the SQL engine: " + db.errorText() + ".");
    sqlite3_busy_timeout(db.get(), 10000);
    sqlite3_progress_handler(db.get(), 4096, &SqlSession::onProgress, this);
    if (db.exec("PRAGMA temp_store=MEMORY") != SQLITE_OK ||
        sqlfunctions::registerAll(db.get()) != SQLITE_OK)
        return sessionFailure(db.get(), "set up the SQL engine");
    return AE_SUCCESS;
}

int SqlSession::onProgress(void* self) {
    auto* session = static_cast<SqlSession*>(self);
    if (std::chrono::steady_clock::now() < session->deadline_) return 0;
    session->ranOut_ = true;
    return 1;
}

SqlSession::Clock::Clock(SqlSession& session) : session_(session) {
    session_.ranOut_ = false;
    session_.deadline_ = std::chrono::steady_clock::now() + session_.timeLimit;
}

SqlSession::Clock::~Clock() {
    session_.deadline_ = std::chrono::steady_clock::time_point::max();
}

AttachedTable* SqlSession::byAlias(const std::string& alias) {
    for (auto& a : attached_)
        if (a->alias == alias) return a.get();
    return nullptr;
}

UNSIGNED32 SqlSession::detach(AttachedTable& table) {
    for (const std::string& view : table.views)
        db.exec("DROP VIEW IF EXISTS temp." + quoteIdentifier(view));
    if (db.exec("DETACH " + quoteIdentifier(table.alias)) != SQLITE_OK)
        return sessionFailure(db.get(), "release the table " + table.file);
    attached_.erase(std::find_if(attached_.begin(), attached_.end(),
                                 [&](const auto& a) { return a.get() == &table; }));
    return AE_SUCCESS;
}

UNSIGNED32 SqlSession::checkPassword(SqlStatement& statement, AttachedTable& table) {
    if (!table.encrypted) return AE_SUCCESS;
    std::vector<std::string> names = table.views;
    names.push_back(paths::fileName(table.file));
    const std::string shown = table.views.empty() ? table.file : table.views.front();
    const Secret* password = statement.passwordFor(names);
    if (!password)
        return fail(AE_WRONG_PASSWORD,
                    "The table " + shown + " is encrypted; give the SQL statement its password.");
    unsigned char hash[32];
    hashPassword(*password, table.hashSalt.data(), hash);
    bool same = sodium_memcmp(hash, table.passwordHash.data(), sizeof hash) == 0;
    sodium_memzero(hash, sizeof hash);
    if (!same)
        return fail(AE_WRONG_PASSWORD,
                    "The password given to the SQL statement does not open "
                    "the encrypted table " +
                        shown + ".");
    return AE_SUCCESS;
}

namespace {

// A file of a table in a folder that cannot be written is attached as the table opens it,
// immutable (no -wal, no -shm, which such a folder cannot hold).
std::string attachName(const Table& table, const std::string& file) {
    return table.immutable() ? files::immutableUri(file) : file;
}

}  // namespace

// The file a statement's table name stands for, found as AdsOpenTable finds it ("X.ADT" also as
// "X" in a dictionary).
UNSIGNED32 SqlSession::resolve(const std::string& name, std::string& file) {
    if (UNSIGNED32 rc = statement::refuseOtherPlace(*connection, name)) return rc;
    UNSIGNED32 rc = connection->resolveTable(name, file);
    if (rc == AE_NOT_IN_DICTIONARY && endsWithNoCase(name, ".adt")) {
        const LastError first = lastError();
        rc = connection->resolveTable(withoutExtension(name), file);
        if (rc) return restore(first);
    }
    if (rc) return rc;
    if (!paths::fileExists(file))
        return fail(
            AE_FILE_NOT_FOUND,
            "The table " + name + " named in the SQL statement does not exist (" + file + ").");
    return AE_SUCCESS;
}

// Detaches the least recently used tables, never those in `keep`, until one more fits.
UNSIGNED32 SqlSession::makeRoom(const std::set<std::string>& keep) {
    while (attached_.size() >= kMaxAttached) {
        AttachedTable* oldest = nullptr;
        for (auto& a : attached_)
            if (!keep.count(a->alias) && (!oldest || a->lastUse < oldest->lastUse))
                oldest = a.get();
        if (!oldest)
            return fail(AE_NOT_SUPPORTED, "The SQL statement uses more than " +
                                              std::to_string(kMaxAttached) +
                                              " tables, which the engine does not support.");
        if (UNSIGNED32 rc = detach(*oldest)) return rc;
    }
    return AE_SUCCESS;
}

// Attaches the table's file (an encrypted table's rows file, with the raw key of the password the
// statement gives for it) and reads it once, which checks the key against the file.
UNSIGNED32 SqlSession::attachFile(SqlStatement& statement, const std::string& name,
                                  AttachedTable& entry) {
    const std::string& file = entry.file;
    const Table& table = *entry.table;
    sql::Statement attach;
    if (db.prepare("ATTACH ?1 AS " + quoteIdentifier(entry.alias) + " KEY ?2", attach) != SQLITE_OK)
        return sessionFailure(db.get(), "attach the table " + name);
    Secret key;
    if (entry.encrypted) {
        const Secret* password = statement.passwordFor({name, paths::fileName(file)});
        if (!password)
            return fail(
                AE_WRONG_PASSWORD,
                "The table " + name + " is encrypted; give the SQL statement its password.");
        if (UNSIGNED32 rc = sqlkeys::rawKey(encryption::companionOf(file), *password, key))
            return rc;
        randombytes_buf(entry.hashSalt.data(), entry.hashSalt.size());
        hashPassword(*password, entry.hashSalt.data(), entry.passwordHash.data());
        attach.bindText(1, attachName(table, encryption::companionOf(file)));
        sqlite3_bind_text(attach.get(), 2, key.data(), key.size(), SQLITE_STATIC);
    } else {
        attach.bindText(1, attachName(table, file));
        attach.bindText(2, "");
    }
    int attachRc = attach.step();
    attach = sql::Statement();
    bool attachedOk = attachRc == SQLITE_DONE;
    int probeRc = attachRc;
    if (attachedOk) {
        sql::Statement probe;
        probeRc = db.prepare(
            "SELECT count(*) FROM " + quoteIdentifier(entry.alias) + ".sqlite_master", probe);
        if (probeRc == SQLITE_OK) probeRc = probe.step() == SQLITE_ROW ? SQLITE_OK : SQLITE_ERROR;
    }
    if (probeRc == SQLITE_OK) return AE_SUCCESS;
    int code = sqlite3_extended_errcode(db.get());
    std::string why = db.errorText();
    if (attachedOk) (void)db.exec("DETACH " + quoteIdentifier(entry.alias));
    if ((code & 0xFF) == SQLITE_NOTADB)
        return fail(AE_WRONG_PASSWORD,
                    entry.encrypted
                        ? "The password given to the SQL statement does not open the "
                          "encrypted table " +
                              name + "."
                        : "The file of the table " + name + " is not a table (" + why + ").");
    return fail(AE_IO_ERROR,
                "Could not read the table " + name + " for the SQL statement: " + why + ".");
}

UNSIGNED32 SqlSession::attach(SqlStatement& statement, const std::string& name,
                              const std::set<std::string>& keep) {
    std::string file;
    if (UNSIGNED32 rc = resolve(name, file)) return rc;
    AttachedTable* target = nullptr;
    for (auto& a : attached_)
        if (a->file == file) target = a.get();
    std::shared_ptr<Table> table;
    if (UNSIGNED32 rc = Table::open(file, table)) return rc;
    // A file attached before under another name is used again, unless it changed meanwhile.
    if (target && fingerprint(file, *table) != target->fingerprint) {
        if (UNSIGNED32 rc = detach(*target)) return rc;
        target = nullptr;
    }
    if (target) {
        target->table = table;
    } else {
        if (UNSIGNED32 rc = makeRoom(keep)) return rc;
        auto entry = std::make_unique<AttachedTable>();
        entry->alias = kAliasPrefix + std::to_string(++nextAlias_);
        entry->file = file;
        entry->table = table;
        entry->fingerprint = fingerprint(file, *table);
        entry->encrypted = table->encrypted();
        if (UNSIGNED32 rc = attachFile(statement, name, *entry)) return rc;
        target = entry.get();
        attached_.push_back(std::move(entry));
    }
    target->lastUse = ++clock_;
    if (db.exec("CREATE TEMP VIEW " + quoteIdentifier(name) + " AS SELECT * FROM " +
                quoteIdentifier(target->alias) + ".\"records\"") != SQLITE_OK)
        return sessionFailure(db.get(), "open the table " + name);
    target->views.push_back(name);
    return AE_SUCCESS;
}

AttachedTable* SqlSession::byView(const std::string& name) {
    for (auto& a : attached_)
        for (const std::string& view : a->views)
            if (equalsNoCase(view, name)) return a.get();
    return nullptr;
}

UNSIGNED32 SqlSession::prepare(SqlStatement& statement, const std::string& sql, sql::Statement& out,
                               std::vector<AttachedTable*>& used) {
    std::set<std::string> keep;
    // Each round attaches at most one table; a statement names at most a few.
    for (int round = 0; round < 64; ++round) {
        Authorizer authorizer;
        sqlite3_set_authorizer(db.get(), &Authorizer::callback, &authorizer);
        int rc = db.prepare(sql, out);
        sqlite3_set_authorizer(db.get(), nullptr, nullptr);
        if (rc != SQLITE_OK)
            if (UNSIGNED32 code = authorizer.refusal()) return code;
        if (rc == SQLITE_OK) {
            used.clear();
            bool again = false;
            for (const std::string& alias : authorizer.aliases) {
                AttachedTable* table = byAlias(alias);
                if (!table) continue;
                bool same = false;
                if (table->table || Table::open(table->file, table->table) == AE_SUCCESS)
                    same = fingerprint(table->file, *table->table) == table->fingerprint;
                if (!same) {
                    // The structure changed under the views: attach it afresh.
                    out = sql::Statement();
                    if (UNSIGNED32 code = detach(*table)) return code;
                    again = true;
                    break;
                }
                if (UNSIGNED32 code = checkPassword(statement, *table)) {
                    out = sql::Statement();
                    return code;
                }
                table->lastUse = ++clock_;
                used.push_back(table);
            }
            if (again) continue;
            return AE_SUCCESS;
        }
        std::string message = db.errorText();
        const std::string missing = "no such table: ";
        if (message.rfind(missing, 0) != 0)
            return prepareFailure(
                statement, message,
                sql == statement.translation.sql ? sqlite3_error_offset(db.get()) : -1);
        std::string name =
            codepage::fromUtf8(message.substr(missing.size()), codepage::CodePage::Ansi1252);
        for (auto& a : attached_)
            for (const std::string& view : a->views)
                if (equalsNoCase(view, name)) {
                    // The view exists but its schema is gone: SQLite names the schema's table.
                    return fail(AE_INTERNAL, "The SQL engine lost the table " + name + ".");
                }
        if (UNSIGNED32 code = attach(statement, name, keep)) return code;
        for (auto& a : attached_)
            for (const std::string& view : a->views)
                if (equalsNoCase(view, name)) keep.insert(a->alias);
    }
    return fail(AE_INTERNAL, "The SQL statement names too many tables.");
}

void SqlSession::release() {
    for (auto& a : attached_) a->table.reset();
}

namespace {
// Lets the session's tables go when a call ends, however it ends.
struct Release {
    SqlSession& session;
    ~Release() { session.release(); }
};
}  // namespace

void closeStatementsOf(ADSHANDLE connection) {
    std::vector<ADSHANDLE> handles;
    {
        std::lock_guard lock(sessionsMutex());
        auto [from, to] = statementsByConnection().equal_range(connection);
        for (auto it = from; it != to; ++it) handles.push_back(it->second);
    }
    for (ADSHANDLE h : handles) (void)statement::close(h);  // one closed meanwhile is gone already
    SqlSession::drop(connection);
}

namespace statement {

UNSIGNED32 find(ADSHANDLE handle, std::shared_ptr<SqlStatement>& out) {
    out = HandleRegistry::instance().findAs<SqlStatement>(handle);
    if (!out)
        return fail(AE_INVALID_STATEMENT,
                    "Handle " + std::to_string(handle) + " is not an open SQL statement.");
    return AE_SUCCESS;
}

bool isStatement(ADSHANDLE handle) {
    return HandleRegistry::instance().findAs<SqlStatement>(handle) != nullptr;
}

UNSIGNED32 create(ADSHANDLE connection, ADSHANDLE* out) {
    auto c = connectionFor(connection);
    if (!c) return AE_INVALID_CONNECTION;
    auto s = std::make_shared<SqlStatement>();
    s->connection = connection;
    s->onServer = c->onServer();
    if (UNSIGNED32 rc = SqlSession::of(c, s->session)) return rc;
    *out = HandleRegistry::instance().add(s);
    std::lock_guard lock(sessionsMutex());
    statementsByConnection().emplace(connection, *out);
    return AE_SUCCESS;
}

UNSIGNED32 close(ADSHANDLE handle) {
    std::shared_ptr<SqlStatement> s;
    if (UNSIGNED32 rc = find(handle, s)) return rc;
    for (ADSHANDLE cursor : s->cursors)
        if (HandleRegistry::instance().find(cursor)) (void)result::close(cursor);  // gone meanwhile
    HandleRegistry::instance().remove(handle);
    std::lock_guard lock(sessionsMutex());
    auto [from, to] = statementsByConnection().equal_range(s->connection);
    for (auto it = from; it != to; ++it)
        if (it->second == handle) {
            statementsByConnection().erase(it);
            break;
        }
    return AE_SUCCESS;
}

// Prepares what runs in SQLite for the statement: a SELECT as it is; for a change, the query
// that selects the rows it changes and their new values from the target table's own rows
// (views cannot be changed), with the target attached.
UNSIGNED32 prepareRun(SqlStatement& s, sql::Statement& out, std::vector<AttachedTable*>& used,
                      AttachedTable** target) {
    SqlSession& session = *s.session;
    if (s.translation.kind == sqldialect::StatementKind::Select)
        return session.prepare(s, s.translation.sql, out, used);
    const sqldialect::Translation::Write& w = s.translation.write;
    sql::Statement probe;
    if (UNSIGNED32 rc =
            session.prepare(s, "SELECT * FROM " + quoteIdentifier(w.table), probe, used))
        return rc;
    probe = sql::Statement();
    AttachedTable* table = session.byView(w.table);
    if (!table) return fail(AE_INTERNAL, "The SQL engine lost the table " + w.table + ".");
    if (target) *target = table;
    std::string rows =
        quoteIdentifier(table->alias) + ".\"records\" AS " + quoteIdentifier(w.alias);
    std::string sql;
    switch (s.translation.kind) {
        case sqldialect::StatementKind::Insert:
            sql = w.source;
            break;
        case sqldialect::StatementKind::Update:
            sql = "SELECT rowid";
            for (const std::string& value : w.values) sql += ", (" + value + ")";
            sql += " FROM " + rows;
            break;
        default:
            sql = "SELECT rowid FROM " + rows;
            break;
    }
    if (!w.where.empty()) sql += " WHERE " + w.where;
    if (UNSIGNED32 rc = session.prepare(s, sql, out, used)) return rc;
    // The statement reads its own target through the alias: count it among the tables used.
    if (std::find(used.begin(), used.end(), table) == used.end()) used.push_back(table);
    return AE_SUCCESS;
}

UNSIGNED32 prepare(SqlStatement& s, const std::string& text) {
    std::lock_guard lock(s.session->mutex);
    if (s.onServer) return serversql::prepare(s, text);
    Release release{*s.session};
    s.prepared = false;
    if (UNSIGNED32 rc = sqldialect::translate(text, s.translation)) return rc;
    sql::Statement prepared;
    std::vector<AttachedTable*> used;
    if (UNSIGNED32 rc = prepareRun(s, prepared, used, nullptr)) return rc;
    s.fingerprints.clear();
    for (AttachedTable* t : used) s.fingerprints[t->file] = t->fingerprint;
    s.text = text;
    s.parameters.assign(s.translation.parameters.size(), Parameter{});
    s.prepared = true;
    return AE_SUCCESS;
}

UNSIGNED32 setParameter(SqlStatement& s, const UNSIGNED8* which, Value value) {
    if (!s.prepared)
        return fail(
            AE_INVALID_ARGUMENT,
            "The SQL statement has not been prepared; prepare it before giving parameters.");
    auto number = reinterpret_cast<uintptr_t>(which);
    if (number <= ADS_MAX_FIELD_NUMBER) {
        if (number == 0 || number > s.parameters.size())
            return fail(AE_COLUMN_NOT_FOUND, "Parameter column \"" + std::to_string(number) +
                                                 "\" is not in the SQL statement; it has " +
                                                 std::to_string(s.parameters.size()) +
                                                 " parameters.");
        s.parameters[number - 1] = Parameter{std::move(value), true};
        return AE_SUCCESS;
    }
    std::string name(reinterpret_cast<const char*>(which));
    if (!name.empty() && name[0] == ':') name.erase(0, 1);
    bool found = false;
    for (size_t i = 0; i < s.parameters.size(); ++i)
        if (equalsNoCase(s.translation.parameters[i], name)) {
            s.parameters[i] = Parameter{value, true};
            found = true;
        }
    if (!found)
        return fail(AE_COLUMN_NOT_FOUND,
                    "Parameter column \"" + name + "\" is not in the SQL statement.");
    return AE_SUCCESS;
}

UNSIGNED32 missingParameter(const SqlStatement& s, size_t index) {
    const std::string& name = s.translation.parameters[index];
    return fail(AE_INVALID_ARGUMENT, "Parameter " + std::to_string(index + 1) +
                                         (name.empty() ? "" : " (:" + name + ")") +
                                         " of the SQL statement has no value.");
}

UNSIGNED32 bind(SqlStatement& s, sqlite3_stmt* stmt) {
    for (size_t i = 0; i < s.parameters.size(); ++i) {
        const Parameter& p = s.parameters[i];
        if (!p.given) return missingParameter(s, i);
        image::bind(stmt, static_cast<int>(i + 1), p.value);
    }
    return AE_SUCCESS;
}

UNSIGNED32 execute(SqlStatement& s, ADSHANDLE* cursor) {
    *cursor = 0;
    std::lock_guard lock(s.session->mutex);
    if (!s.prepared)
        return fail(AE_INVALID_ARGUMENT,
                    "The SQL statement has not been prepared; prepare it before executing it.");
    if (s.onServer) return serversql::execute(s, cursor);
    Release release{*s.session};
    for (const auto& [file, print] : s.fingerprints) {
        std::shared_ptr<Table> table;
        bool same = paths::fileExists(file) && Table::open(file, table) == AE_SUCCESS &&
                    fingerprint(file, *table) == print;
        if (!same)
            return fail(AE_PREPARE_AGAIN, "The structure of the table " + file +
                                              " changed after the SQL statement was prepared; "
                                              "prepare it again.");
    }
    sql::Statement prepared;
    std::vector<AttachedTable*> used;
    AttachedTable* target = nullptr;
    if (UNSIGNED32 rc = prepareRun(s, prepared, used, &target)) return rc;
    if (UNSIGNED32 rc = bind(s, prepared.get())) return rc;
    // The statement shares its tables as an open handle does, while it runs: a table opened
    // exclusively elsewhere is not read.
    std::vector<std::unique_ptr<LockFile>> shares;
    for (AttachedTable* t : used) {
        auto share = std::make_unique<LockFile>();
        if (share->open(t->file) != AE_SUCCESS) continue;  // a read-only folder has no lock file
        if (!share->lockTableShared())
            return fail(AE_LOCKED, "The table " + (t->views.empty() ? t->file : t->views.front()) +
                                       " is opened exclusively by another user or handle; the "
                                       "SQL statement cannot use it now.");
        shares.push_back(std::move(share));
    }
    // A statement reads through a connection of its own, which cannot see the rows an open
    // transaction has not committed: it would read stale rows, and a change would overwrite the
    // transaction's. So tables in a transaction, and changes inside one, are refused.
    for (AttachedTable* t : used) {
        std::lock_guard tableLock(t->table->mutex());
        if (t->table->transactionOwner() != 0)
            return fail(AE_LOCKED, "The table " + (t->views.empty() ? t->file : t->views.front()) +
                                       " has changes in an open transaction; the SQL statement "
                                       "cannot use it until the transaction is committed or "
                                       "rolled back.");
    }
    if (s.translation.kind != sqldialect::StatementKind::Select) {
        auto connection = HandleRegistry::instance().findAs<Connection>(s.connection);
        if (connection && connection->transaction().active())
            return fail(AE_TRANSACTION_OPEN,
                        "SQL statements that change rows cannot run inside a transaction; commit "
                        "or roll back the transaction first.");
    }
    SqlSession::Clock clock(*s.session);
    UNSIGNED32 rc = AE_SUCCESS;
    if (s.translation.kind == sqldialect::StatementKind::Select) {
        result::SqliteRows rows(s, prepared);
        rc = result::open(s, rows, cursor);
    } else {
        rc = writes::run(s, prepared, *target);
    }
    if (rc != AE_SUCCESS && clock.ranOut()) return timedOut(s);
    return rc;
}

UNSIGNED32 timedOut(const SqlStatement& s) {
    const auto ms = s.session->timeLimit.count();
    std::string limit = std::to_string(ms / 1000);
    if (ms % 1000) limit += "." + std::to_string(ms % 1000 + 1000).substr(1);
    return fail(AE_SQL_TIMEOUT, "The SQL statement ran longer than the engine allows (" + limit +
                                    " seconds) and was stopped; nothing of it was kept.");
}

UNSIGNED32 refuseOtherPlace(const Connection& connection, const std::string& name) {
    const bool serverName =
        name.rfind("postgresql://", 0) == 0 || name.rfind("postgres://", 0) == 0;
    const bool folderPath =
        name.rfind('/', 0) == 0 || name.rfind('\\', 0) == 0 ||
        (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':');
    if (connection.onServer() ? (serverName || folderPath) : serverName)
        return fail(AE_NOT_SUPPORTED,
                    "The SQL statement mixes places: the table " + name +
                        " is not in the place of its connection (" + connection.serverPath() +
                        "); a statement reads and changes the tables of one place only.");
    return AE_SUCCESS;
}

}  // namespace statement

}  // namespace engine
