#include "engine/transaction.h"

#include "engine/handles.h"
#include "engine/last_error.h"

namespace engine {

namespace {

UNSIGNED32 noTransaction(const std::string& where) {
    return fail(AE_NO_TRANSACTION, "No transaction is open on the connection to " + where + ".");
}

}  // namespace

bool Transaction::active() const {
    std::lock_guard lock(mutex_);
    return active_;
}

UNSIGNED32 Transaction::begin(const std::string& where) {
    std::lock_guard lock(mutex_);
    if (active_)
        return fail(AE_TRANSACTION_OPEN, "A transaction is open already on the connection to " +
                                             where + "; commit or roll it back first.");
    active_ = true;
    return AE_SUCCESS;
}

UNSIGNED32 Transaction::join(TableHandle& h, ADSHANDLE connection) {
    Storage& t = *h.table;
    if (t.transactionOwner() == connection) return AE_SUCCESS;
    // Every call on a handle comes here; most come with no transaction open.
    if (!active_.load(std::memory_order_acquire)) return AE_SUCCESS;
    std::lock_guard lock(mutex_);
    if (!active_) return AE_SUCCESS;
    if (t.transactionOwner() != 0)
        return fail(AE_LOCKED, "The table " + t.file() +
                                   " is in a transaction of another connection of this program; "
                                   "try again when it ends.");
    // The rows of an encrypted table come from another file once its password is given: join
    // then, not before.
    if (h.hidesRows()) return AE_SUCCESS;
    if (t.inTransaction())
        return fail(AE_LOCKED, "The table " + t.file() + " is busy with another change.");
    if (UNSIGNED32 rc = t.beginHeld(!h.readOnly() && t.notWritableBecause().empty())) return rc;
    t.setTransactionOwner(connection);
    tables_.push_back(h.table);
    return AE_SUCCESS;
}

void Transaction::endAll(bool commit, UNSIGNED32& rc) {
    std::vector<std::shared_ptr<Storage>> tables;
    {
        std::lock_guard lock(mutex_);
        tables.swap(tables_);
        active_ = false;
    }
    bool failed = false;
    for (const auto& table : tables) {
        std::lock_guard lock(table->mutex());
        if (commit && !failed) {
            if (UNSIGNED32 code = table->commitHeld()) {
                failed = true;
                rc = code;
            }
        }
        if (!commit || failed) table->rollback();
        table->setTransactionOwner(0);
        // Every handle re-reads what it shows: rows came or went.
        table->counter().bump();
    }
}

UNSIGNED32 Transaction::commit(const std::string& where) {
    if (!active()) return noTransaction(where);
    UNSIGNED32 rc = AE_SUCCESS;
    endAll(true, rc);
    return rc;
}

UNSIGNED32 Transaction::rollback(const std::string& where) {
    if (!active()) return noTransaction(where);
    UNSIGNED32 rc = AE_SUCCESS;
    endAll(false, rc);
    return AE_SUCCESS;
}

void Transaction::abandon() {
    UNSIGNED32 rc = AE_SUCCESS;
    endAll(false, rc);
}

namespace transaction {

UNSIGNED32 joinOpen(TableHandle& h) {
    // A handle whose connection was gone when it was made has no transaction to join.
    return h.transaction ? h.transaction->join(h, h.connection) : AE_SUCCESS;
}

WriteScope::~WriteScope() {
    if (open_) rollback();
}

UNSIGNED32 WriteScope::begin() {
    Storage& t = *h_.table;
    if (UNSIGNED32 rc = joinOpen(h_)) return rc;
    joined_ = t.transactionOwner() == h_.connection && h_.connection != 0;
    if (joined_) {
        if (UNSIGNED32 rc = t.beginChange()) return rc;
    } else if (UNSIGNED32 rc = t.begin()) {
        return rc;
    }
    open_ = true;
    return AE_SUCCESS;
}

UNSIGNED32 WriteScope::commit() {
    Storage& t = *h_.table;
    if (joined_) {
        if (UNSIGNED32 rc = t.endChange()) return rc;
        // Other handles see the pending rows at their next move, as they would a commit.
        t.counter().bump();
    } else if (UNSIGNED32 rc = t.commit()) {
        return rc;
    }
    open_ = false;
    return AE_SUCCESS;
}

void WriteScope::commitWithNextChange() {
    if (open_ && !joined_) h_.table->commitWithNextChange();
}

void WriteScope::rollback() {
    if (!open_) return;
    open_ = false;
    Storage& t = *h_.table;
    if (!joined_) {
        t.rollback();
        return;
    }
    // Keeps the last error: the caller reports why the write failed, not how the undo went.
    LastError saved = lastError();
    (void)t.undoChange();
    if (saved.code != 0) restore(saved);
}

}  // namespace transaction

}  // namespace engine
