// A session with a PostgreSQL server: one libpq connection, shared by the connection that made
// it and by every table opened through that connection. Internal to engine/.
//
// A session connects with the libpq URI of a server path (engine/server_path.h) over the
// engine's own settings: connect_timeout=10, so that a server that does not answer fails the
// connect instead of hanging it; TCP keepalives (idle 5 s, every 2 s, 3 lost), so that a server
// or network that goes away is noticed within about 11 s; application_name=velda, which shows in
// pg_stat_activity beside the session's locks. The path's own parameters override these. The
// client encoding is always UTF8: the engine converts texts between Windows-1252 and UTF-8 itself,
// and a path's client_encoding would make it store other bytes than it reads back. A statement
// waits at most 10 s for a row another session has locked (lock_timeout), as a folder table
// waits for another writer.
//
// A failed connect is one line: the masked path and libpq's reason (its first line), never the
// password, whether the path or ~/.pgpass gave it. A session whose connection was lost (the
// server stopped or restarted, the network gone) reconnects at the next statement; what the lost
// connection held (an open transaction, locks) is gone with it.
#ifndef VELDA_ENGINE_POSTGRES_SESSION_H
#define VELDA_ENGINE_POSTGRES_SESSION_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/ace.h"

struct pg_conn;
struct pg_result;

namespace engine {

class ServerPath;
struct Value;

namespace postgres {

// A statement's result; empty when the statement could not be sent.
class Result {
  public:
    Result() = default;
    explicit Result(pg_result* result) : result_(result) {}
    // Whether the statement succeeded (with or without rows).
    bool ok() const;
    int rows() const;
    bool isNull(int row, int column) const;
    const char* text(int row, int column) const;
    int length(int row, int column) const;
    int64_t integer(int row, int column) const;
    // The value of a column as the engine keeps it: integers (and booleans as 0/1), reals,
    // texts and byte strings by the column's type; null as null.
    Value value(int row, int column) const;
    // The SQLSTATE of a failure ("" when the server gave none, as when the connection was lost),
    // the server's message (first line), and the constraint a violation names.
    std::string state() const;
    std::string message() const;
    std::string constraint() const;
    // The character position (from 1) in the statement's text that a failure names; 0 for none.
    int position() const;
    // The columns of a result or a described statement: their count, names (UTF-8), types
    // (pg_type.oid), and the table column each one is taken from as is (the relation's oid and
    // column number; 0 for an expression).
    int columns() const;
    std::string columnName(int column) const;
    unsigned columnType(int column) const;
    unsigned sourceTable(int column) const;
    int sourceColumn(int column) const;
    pg_result* get() const { return result_.get(); }

  private:
    struct Clear {
        void operator()(pg_result* result) const;
    };
    std::unique_ptr<pg_result, Clear> result_;
};

// A value the server sent in its text form (as a result holds it, NUL-terminated), as the engine
// keeps it by the column's type (pg_type.oid): see Result::value.
Value valueOfText(unsigned type, const char* text, int length);
// Whether valueOfText keeps a value of the type as its text, byte for byte.
bool keptAsText(unsigned type);

// One field of a row read in COPY's text form: its text, unescaped and NUL-terminated in the
// row's own buffer (the bytes a result would hold), or null.
struct CopyField {
    const char* text = nullptr;
    int length = 0;
    bool null = false;
};

// The parameters of one statement, in order: texts as UTF-8, integers and reals as text, byte
// strings binary; the server infers each one's type from where it stands.
class Params {
  public:
    void add(const Value& value);
    void addInteger(int64_t value);
    void addText(const std::string& text);
    void addNull();
    size_t size() const { return values_.size(); }
    // The values, lengths and formats (0 text, 1 binary) as libpq takes them; they point into
    // the parameters, which must outlive their use.
    struct Arrays {
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
    };
    Arrays arrays() const;

  private:
    friend class Session;
    std::vector<std::string> storage_;
    std::vector<bool> null_, binary_;
    std::vector<int> values_;  // index into storage_ per parameter

  public:
    bool operator==(const Params&) const = default;
};

class Session {
  public:
    // Connects to the path's database. AE_SERVER_CONNECT with the reason, as above.
    [[nodiscard]] static UNSIGNED32 open(const ServerPath& path, std::shared_ptr<Session>& out);

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    // The server the session reached: its host (a name, an address or a socket folder) and port,
    // as libpq reports them.
    std::string serverName() const;
    // The database's path with its password masked, for texts.
    const std::string& where() const { return where_; }
    // libpq's connection (for tests that look at its settings); owned by the session.
    pg_conn* connection() const { return connection_.get(); }
    // Held by every use of the session: the tables of a connection share it.
    std::recursive_mutex& mutex() { return mutex_; }

    // Runs one statement, prepared once per session by its text. A lost connection is made again
    // first (and the statement fails when that fails: see failure()). A transaction that was
    // open when the connection was lost is gone with it: every statement fails (an empty result)
    // until rollback().
    Result run(const std::string& sql, const Params& params = Params());
    // Runs several statements in one round trip (libpq's pipeline mode), each prepared once per
    // session by its text, in order. After a failure the later statements do not run: their
    // results fail too, so a caller looks at the results in order. With `commit` the open
    // transaction's pending notices and COMMIT go in the same round trip, and the next commit()
    // answers how the COMMIT went.
    struct Step {
        const std::string& sql;
        const Params& params;
    };
    std::vector<Result> runAll(const std::vector<Step>& steps, bool commit = false);
    // Runs statements of the simple protocol (several, separated by ";"), without parameters.
    Result exec(const std::string& sql);
    // Prepares a statement once, without running it or keeping it (SQL statements, each text
    // run once): the result describes its columns, or is the failure.
    Result describe(const std::string& sql);
    // Runs a statement once, reading its rows one by one as they come (single-row mode, so that
    // a large result is never held whole): `row` gets each as a result of one row. The result
    // is the statement's end: ok (without rows), or the failure.
    Result stream(const std::string& sql, const Params& params,
                  const std::function<void(const Result&)>& row);
    // Sends a statement that ran before (so is prepared) ahead of need, outside a transaction
    // only: its answer waits on the connection for takeAhead(). Anything else the session runs
    // first reads and drops it. Answers the id to take it by; 0 when nothing was sent.
    uint64_t sendAhead(const std::string& sql, const Params& params);
    // The answer of what sendAhead() sent as `id`, if that is still the one waiting; else an
    // empty result (it was dropped). The notices that came behind it are counted.
    Result takeAhead(uint64_t id);
    // Runs a statement without parameters once as COPY (...) TO STDOUT: the rows come as they
    // are made, as in stream(), but as lines of text in one buffer each instead of a result each.
    // `row` gets each row's fields (valid during the call). The result is the statement's end,
    // as stream()'s.
    Result copyRows(const std::string& sql,
                    const std::function<void(const std::vector<CopyField>&)>& row);
    // Opens a transaction with the next statement, which carries the BEGIN with it (one round
    // trip instead of two); commit() and rollback() with nothing run in between cost nothing more.
    void beginWithNext() { beginPending_ = true; }
    // Statements of the open transaction (its savepoints) that wait to go with the next
    // statement, in the same round trip; a failure of theirs is that statement's failure.
    void deferUntilNext(const std::string& statement) { deferred_.push_back(statement); }
    // Drops `statement` if it is the last one waiting (it was never sent); whether it was.
    bool dropDeferred(const std::string& statement);
    // Whether a transaction is open, or was open when the connection was lost (until rollback).
    bool inTransaction() const { return transactionOpen_ || beginPending_; }
    // Ends the open transaction, if any, undoing it; on a lost connection only forgets it.
    void rollback();
    // Whether the connection is gone (its last statement found it lost).
    bool lost() const;
    // The code and text of a failed result (`doing` completes "Could not ... <what>"): a lost
    // connection AE_SERVER_CONNECT, a lock or serialization conflict AE_LOCKED, a full disk
    // AE_IO_ERROR, anything else AE_INTERNAL with the server's message.
    [[nodiscard]] UNSIGNED32 failure(const Result& result, const std::string& doing,
                                     const std::string& what);

    // Change notices: the session listens on a table's channel; notices(channel) is how many
    // have come for it (each commit of a change sends one, this session's own included). The
    // socket is read for new notices at most once a millisecond.
    void listen(const std::string& channel);
    uint64_t notices(const std::string& channel);
    // Channels to notify at the next COMMIT of this session, which sends them with it.
    void notifyAtCommit(const std::string& channel) { pendingNotices_.insert(channel); }
    // COMMIT with the pending notices, in one round trip; the notices are dropped either way.
    Result commit();
    void dropPendingNotices() { pendingNotices_.clear(); }

    // Whether the database's catalog of tables is known to exist (postgres/table.h).
    bool catalogReady = false;
    // The structures of the tables this session opened, by table id (postgres/table.cpp).
    std::map<int64_t, std::shared_ptr<const struct TableStructure>> structures;
    // The table passwords this session has checked, by table id (postgres/table.cpp).
    std::map<int64_t, std::shared_ptr<const struct KnownPassword>> knownPasswords;
    // How many tables hold the session's transaction for an engine transaction.
    int heldBy = 0;
    // Moves on whenever the connection is made again: locks taken before are gone.
    uint64_t generation() const { return generation_; }

  private:
    struct Finish {
        void operator()(pg_conn* connection) const;
    };
    explicit Session(std::unique_ptr<pg_conn, Finish> connection);
    [[nodiscard]] bool revive();
    // Reads and drops what was sent and not read: a statement sent ahead, or the rest of a
    // command whose reader stopped (it threw while reading). libpq refuses the next command
    // until then.
    void settle();
    // Finds out, at most every 10 ms and outside a transaction, whether the server closed the
    // connection while the session was idle: a lost connection reads as alive until then, and
    // the next statement would fail on it instead of connecting again.
    void noticeIdleLoss();
    // The prepared statement's name for `sql`, and whether it must be prepared first (the cache
    // is emptied when full).
    std::string statementName(const std::string& sql, bool& fresh);
    // The next result of what was sent, as PQgetResult answers it, but never waiting for ever: a
    // server silent for several seconds that does not answer a new connection either is given
    // up, and the connection taken for lost.
    Result next();
    // Waits for the server's next bytes and reads them in; false when the connection is lost.
    bool receive();
    // Every result of what was sent; the last (after a failure, the failure), as PQexec answers.
    Result collect();
    // Statements of the simple protocol, sent and collected (no BEGIN pending, no revive).
    Result simple(const std::string& sql);
    // Whether the server answers a new connection (libpq's ping, with a short timeout).
    bool serverAnswers() const;
    void poll();
    // The statements that wait for the next one (deferUntilNext), taken as one text of the
    // simple protocol ("A;B;").
    std::string takeDeferred();
    // Sends the pending BEGIN and the statements that wait on their own, for a statement that
    // cannot carry them; false, with their failure in `failed`, when they fail.
    bool sendWaiting(Result& failed);
    // Notes after each statement whether a transaction is open.
    void noteTransaction();

    std::unique_ptr<pg_conn, Finish> connection_;
    std::string where_;
    std::string uri_;  // libpq's connection string, for the ping; never shown
    std::recursive_mutex mutex_;
    std::map<std::string, std::string, std::less<>> prepared_;
    std::set<std::string> channels_;
    std::map<std::string, uint64_t, std::less<>> notices_;
    std::set<std::string> pendingNotices_;
    std::chrono::steady_clock::time_point lastPoll_{};
    std::chrono::steady_clock::time_point lastIdleCheck_{};
    uint64_t generation_ = 0;
    uint64_t statementsMade_ = 0;
    bool transactionOpen_ = false;
    bool transactionLost_ = false;
    bool beginPending_ = false;
    std::vector<std::string> deferred_;  // deferUntilNext()
    // The connection was given up because the server stopped answering.
    bool silenced_ = false;
    // The statement sent ahead and not yet read (sendAhead), 0 for none; ids never repeat.
    uint64_t aheadId_ = 0;
    uint64_t aheadsSent_ = 0;
    // The answer to a COMMIT sent ahead by runAll(), for the next commit().
    Result committed_;
};

}  // namespace postgres
}  // namespace engine

#endif
