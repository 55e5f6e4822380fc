// SQL statements: the statement handle, and for folders the SQLite connection statements run on
// and the tables attached to it. Internal to engine/.
//
// A statement runs on the SQL engine of its connection's place: SQLite's own for tables in a
// folder (below), the server's for a server connection (server_statements.h); both take the same
// dialect (sql_dialect.h, one pre-pass with a target), give the same cursors and apply changes
// through the same writer, with the same refusals and texts.
//
// In a folder each engine connection keeps one SQLite connection for its statements (a session):
// an in-memory main database, temp store in memory, the engine's SQL functions registered. The
// dialect pre-pass turns the statement into SQLite's dialect; SQLite's own parser then finds its
// tables: a prepare that fails with "no such table: X" resolves X as AdsOpenTable would (folder,
// case, ".adt", or the data dictionary), attaches the file under an alias of its own and creates
// a temp view named exactly X over its rows, and prepares again. An encrypted table is attached
// by its rows file with the raw key derived once per process (sql_keys.h); every later statement
// that reads it through the views must give the same password, checked against a salted hash. At
// most nine tables are attached at once (SQLite allows ten, one is kept for results); the least
// recently used is detached first, never while a statement of the session is running. On a
// server connection the session only serialises the statement's calls and keeps its time limit.
//
// A table named by a path of another place (a server's path on a folder connection; a folder path
// or a server's path on a server connection) is refused: a statement reads the tables of one
// place.
//
// A SELECT becomes a static cursor (result_cursor.h): its rows are copied at execution into an
// in-memory table, so that the read snapshot ends at once and the cursor is navigated like a
// table. An INSERT, UPDATE or DELETE is applied through the engine's own writer (sql_writes.h).
//
// Limits, so that no statement runs without end: a recursive common table expression is refused
// at preparation (its depth is the data's to choose), as are the SQL library's own configuration
// functions (on a server: every function outside the dialect); and a statement that runs longer
// than the session's time limit (five minutes unless a test sets another) is stopped (by SQLite's
// progress handler, or by the server's statement_timeout) and answers AE_SQL_TIMEOUT.
#ifndef VELDA_ENGINE_STATEMENT_H
#define VELDA_ENGINE_STATEMENT_H

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "engine/connection.h"
#include "engine/record_image.h"
#include "engine/registry.h"
#include "engine/secret.h"
#include "engine/sql_dialect.h"
#include "engine/sqlite/sqlite.h"
#include "engine/sqlite/table.h"

namespace engine {

class SqlStatement;

// A table file attached to a session.
struct AttachedTable {
    std::string alias;  // its schema name on the session's connection
    std::string file;
    // The table, held only while a call of a statement runs: between calls the session keeps
    // no table open, so that the table can be encrypted, decrypted or deleted meanwhile.
    std::shared_ptr<Table> table;
    // The file and structure it was attached with (see fingerprint()); a change of either
    // attaches it afresh.
    std::string fingerprint;
    std::vector<std::string> views;  // the names statements gave it, one temp view each
    bool encrypted = false;
    std::array<unsigned char, 32> hashSalt{};
    std::array<unsigned char, 32> passwordHash{};  // of the password it was attached with
    uint64_t lastUse = 0;
};

class SqlSession {
  public:
    // The session of an engine connection, opened on first use.
    [[nodiscard]] static UNSIGNED32 of(const std::shared_ptr<Connection>& connection,
                                       std::shared_ptr<SqlSession>& out);
    // Forgets the connection's session (its statements are closed by the caller).
    static void drop(ADSHANDLE connection);

    std::recursive_mutex mutex;
    sql::Database db;
    std::shared_ptr<Connection> connection;

    // Prepares `sql` (SQLite's dialect) for `statement`, attaching the tables it names.
    // `used` receives the attached tables it reads.
    [[nodiscard]] UNSIGNED32 prepare(SqlStatement& statement, const std::string& sql,
                                     sql::Statement& out, std::vector<AttachedTable*>& used);
    AttachedTable* byAlias(const std::string& alias);
    // The attached table a view name stands for; null when there is none.
    AttachedTable* byView(const std::string& name);
    // Lets go of the tables held during a call.
    void release();

    // How long one execution may run.
    std::chrono::milliseconds timeLimit{std::chrono::minutes(5)};
    // Starts the clock of an execution; it stops when the object goes.
    class Clock {
      public:
        explicit Clock(SqlSession& session);
        ~Clock();
        Clock(const Clock&) = delete;
        Clock& operator=(const Clock&) = delete;
        // Whether the progress handler stopped the execution for running too long.
        bool ranOut() const { return session_.ranOut_; }

      private:
        SqlSession& session_;
    };

  private:
    [[nodiscard]] UNSIGNED32 open();
    static int onProgress(void* self);
    // Attaches the table a statement names and gives it a temp view under that name; the
    // tables in `keep` stay attached.
    [[nodiscard]] UNSIGNED32 attach(SqlStatement& statement, const std::string& name,
                                    const std::set<std::string>& keep);
    [[nodiscard]] UNSIGNED32 resolve(const std::string& name, std::string& file);
    [[nodiscard]] UNSIGNED32 makeRoom(const std::set<std::string>& keep);
    [[nodiscard]] UNSIGNED32 attachFile(SqlStatement& statement, const std::string& name,
                                        AttachedTable& entry);
    [[nodiscard]] UNSIGNED32 detach(AttachedTable& table);
    [[nodiscard]] UNSIGNED32 checkPassword(SqlStatement& statement, AttachedTable& table);

    std::vector<std::unique_ptr<AttachedTable>> attached_;
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
    bool ranOut_ = false;
    uint64_t clock_ = 0;
    uint64_t nextAlias_ = 0;
};

// A statement's parameter value in its stored form, and whether one was given.
struct Parameter {
    Value value;
    bool given = false;
};

class SqlStatement : public EngineObject {
  public:
    HandleKind kind() const override { return HandleKind::Statement; }

    ADSHANDLE connection = 0;
    // The session of the connection (its mutex is every call's; in a folder it runs the
    // statement); on a server the statement runs on the connection's server session instead
    // (server_statements.h).
    std::shared_ptr<SqlSession> session;
    bool onServer = false;

    // Options (AdsStmtSet...), checked when given.
    UNSIGNED16 lockType = ADS_PROPRIETARY_LOCKING;
    UNSIGNED16 charType = ADS_ANSI;
    UNSIGNED16 rights = ADS_CHECKRIGHTS;
    UNSIGNED16 readOnly = 1;  // 1 read-only cursor, 2 writable asked for (results stay static)
    UNSIGNED16 tableType = ADS_ADT;
    bool constrain = false;
    bool readAllColumns = false;

    // Passwords: the statement's encryption password and per-table passwords by upper-cased
    // name as given.
    bool encryption = false;
    Secret encryptionPassword;
    std::map<std::string, Secret> tablePasswords;
    // The password this statement gives for a table known by these names; null when none.
    const Secret* passwordFor(const std::vector<std::string>& names) const;

    bool prepared = false;
    std::string text;
    sqldialect::Translation translation;
    std::map<std::string, std::string> fingerprints;  // by table file, at preparation
    std::vector<Parameter> parameters;
    UNSIGNED32 lastAutoinc = 0;
    std::vector<ADSHANDLE> cursors;  // result cursors still open
};

// What identifies a table file and its structure: the file itself (a deleted and re-created,
// encrypted or decrypted table is another file), its encryption, fields and index tags.
std::string fingerprint(const std::string& file, const Table& table);

// Closes every statement made on the connection and their cursors, and its session;
// AdsDisconnect calls it.
void closeStatementsOf(ADSHANDLE connection);

namespace statement {
[[nodiscard]] UNSIGNED32 create(ADSHANDLE connection, ADSHANDLE* out);
[[nodiscard]] UNSIGNED32 close(ADSHANDLE handle);
// The live statement a handle names; AE_INVALID_STATEMENT otherwise.
[[nodiscard]] UNSIGNED32 find(ADSHANDLE handle, std::shared_ptr<SqlStatement>& out);
bool isStatement(ADSHANDLE handle);
[[nodiscard]] UNSIGNED32 prepare(SqlStatement& statement, const std::string& text);
// Runs the prepared statement: *cursor is the result cursor of a SELECT, else 0.
[[nodiscard]] UNSIGNED32 execute(SqlStatement& statement, ADSHANDLE* cursor);
// Sets parameter `number` (1-based), or every parameter named `name` when number is 0.
[[nodiscard]] UNSIGNED32 setParameter(SqlStatement& statement, const UNSIGNED8* which, Value value);
// Binds the statement's parameters to a prepared SQLite statement of its text; fails naming a
// parameter that has no value.
[[nodiscard]] UNSIGNED32 bind(SqlStatement& statement, sqlite3_stmt* stmt);
// Fails naming the statement's parameter `index` (0-based), which has no value.
[[nodiscard]] UNSIGNED32 missingParameter(const SqlStatement& statement, size_t index);
// AE_SQL_TIMEOUT: the execution ran longer than the session's time limit.
[[nodiscard]] UNSIGNED32 timedOut(const SqlStatement& statement);
// Refuses a table name that is a path of another place than the connection's (a server's path on
// a folder connection; a folder path or another server's path on a server connection).
[[nodiscard]] UNSIGNED32 refuseOtherPlace(const Connection& connection, const std::string& name);
}  // namespace statement

}  // namespace engine

#endif
