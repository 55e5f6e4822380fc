// Engine transactions: AdsBeginTransaction ... AdsCommitTransaction / AdsRollbackTransaction on a
// connection. Internal to engine/.
//
// A transaction belongs to one connection and is one SQLite transaction per table file it
// touches. A table joins at its first use through a handle of that connection while the
// transaction is open (any call on the handle, read or write):
//   - through a writable handle it joins with BEGIN IMMEDIATE, so other writers (other processes,
//     or this process's other connections) wait until the transaction ends;
//   - through a read-only handle it joins with a read transaction that is pinned at once, so every
//     read of the transaction sees the table as it was at that moment (an export is a snapshot).
//     A later write to it through a writable handle of the same connection must upgrade that read
//     and fails with AE_LOCKED when another process has committed meanwhile.
// A table whose rows are hidden (encrypted, no password given yet) does not join; it joins at
// its first use after the password.
//
// What is atomic: everything done to one table inside the transaction. Commit commits the
// tables one after another in the order they joined; a failure while committing one (a full
// disk) rolls that one and every later one back and reports it, while tables committed before it
// stay committed. So a transaction over several tables is atomic per table, not across tables,
// and a process killed during commit may leave the first tables committed. A process killed at
// any other moment loses the whole transaction: SQLite ignores uncommitted WAL frames.
//
// While a table is in one connection's transaction, this process's other connections read the
// transaction's uncommitted rows (one SQLite connection per file per process) and cannot write
// to the table (AE_LOCKED) until it ends. Structure changes, encryption and decryption of a table
// in a transaction are refused. Disconnecting rolls an open transaction back.
//
// How a writer joins: every change goes through WriteScope. Inside a transaction, begin() joins
// the table (as above) and opens a savepoint, so a failed write undoes only itself; commit()
// releases the savepoint and the rows stay pending until the transaction commits. Outside a
// transaction WriteScope is the usual one IMMEDIATE transaction per write. A statement that
// changes several rows opens one WriteScope per table for the whole statement, so the statement
// stays all or nothing inside a transaction as well.
#ifndef VELDA_ENGINE_TRANSACTION_H
#define VELDA_ENGINE_TRANSACTION_H

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "engine/storage.h"

namespace engine {

class Table;
class TableHandle;

class Transaction {
  public:
    bool active() const;
    // Opens the transaction; AE_INVALID_ARGUMENT when one is open already. `where` names the
    // connection in texts.
    [[nodiscard]] UNSIGNED32 begin(const std::string& where);
    // Commits every joined table (see above); fails when none is open.
    [[nodiscard]] UNSIGNED32 commit(const std::string& where);
    // Rolls every joined table back; fails when none is open.
    [[nodiscard]] UNSIGNED32 rollback(const std::string& where);
    // Rolls back whatever is open, quietly (disconnect).
    void abandon();

    // Joins the handle's table (see above). Called with the table's mutex held.
    [[nodiscard]] UNSIGNED32 join(TableHandle& h, ADSHANDLE connection);

  private:
    void endAll(bool commit, UNSIGNED32& rc);
    mutable std::mutex mutex_;
    std::atomic<bool> active_ = false;  // written under mutex_; read without it by join()
    std::vector<std::shared_ptr<Storage>> tables_;  // in the order they joined
};

namespace transaction {

// Joins the handle's table to its connection's open transaction, if any. Called with the
// table's mutex held, before any use of the handle.
[[nodiscard]] UNSIGNED32 joinOpen(TableHandle& h);

// One change to a table: a savepoint inside the connection's transaction, else one IMMEDIATE
// transaction of its own. Rolls back in the destructor unless committed.
class WriteScope {
  public:
    explicit WriteScope(TableHandle& h) : h_(h) {}
    ~WriteScope();
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

    [[nodiscard]] UNSIGNED32 begin();
    [[nodiscard]] UNSIGNED32 commit();
    void rollback();
    bool insideTransaction() const { return joined_; }
    // The next row change is the scope's last before commit() (Storage::commitWithNextChange);
    // inside an engine transaction nothing is committed, so nothing is said.
    void commitWithNextChange();

  private:
    TableHandle& h_;
    bool open_ = false;
    bool joined_ = false;
};

}  // namespace transaction

}  // namespace engine

#endif
