// Changes to records: the pending change of a handle, its write in one IMMEDIATE transaction,
// record locks.
#include <cstring>

#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/transaction.h"

namespace engine::writer {

namespace {

std::string recordName(const TableHandle& h, int64_t record) {
    return "Record " + std::to_string(record) + " of the table " + h.table->file();
}

// A failed write: its text with the note that the change is still pending.
UNSIGNED32 stillPending(UNSIGNED32 rc) {
    return fail(rc, lastError().message + " The change is still pending.");
}

// Keeps the record locked for the duration of a write unless this handle holds the lock already.
class WriteLock {
  public:
    WriteLock(TableHandle& h, int64_t record) : h_(h), record_(static_cast<uint32_t>(record)) {}
    ~WriteLock() {
        if (taken_) h_.locks->unlockRecord(record_);
    }
    UNSIGNED32 take() {
        if (h_.exclusive() || h_.heldRecords.count(record_)) return AE_SUCCESS;
        if (!h_.locks->lockRecord(record_))
            return fail(AE_LOCKED,
                        recordName(h_, record_) + " is locked by another user or handle.");
        taken_ = true;
        return AE_SUCCESS;
    }

  private:
    TableHandle& h_;
    uint32_t record_;
    bool taken_ = false;
};

UNSIGNED32 passwordNeeded(const TableHandle& h) {
    return fail(AE_WRONG_PASSWORD, "The table " + h.table->file() +
                                       " is encrypted; give its password before changing it.");
}

UNSIGNED32 staticViewRefuses(const TableHandle& h) {
    return fail(AE_STATIC_CURSOR, "The " + h.table->file() +
                                      " is a static view of a statement's rows; it cannot be "
                                      "changed.");
}

}  // namespace

UNSIGNED32 assignAutoincrements(TableHandle& h) {
    Storage& t = *h.table;
    const Schema& schema = t.schema();
    for (size_t i = 0; i < schema.fields.size(); ++i) {
        const FieldDef& f = schema.fields[i];
        if (f.type != ADS_AUTOINC) continue;
        int64_t last = 0;
        if (UNSIGNED32 rc = t.lastAutoincrement(f, last)) return stillPending(rc);
        int64_t next =
            h.pendingValues()[i].isNull() ? last + 1 : std::max(last, h.pendingValues()[i].integer);
        if (h.pendingValues()[i].isNull()) {
            if (next > 0xFFFFFFFELL)
                return fail(AE_COLUMN_VALUE,
                            "Column \"" + f.name + "\" has no auto-increment values left.");
            h.setPendingValue(i, Value::ofInteger(next));
        }
        if (UNSIGNED32 rc = t.storeAutoincrement(f, next)) return stillPending(rc);
        h.lastAutoinc = static_cast<UNSIGNED32>(h.pendingValues()[i].integer);
    }
    return AE_SUCCESS;
}

UNSIGNED32 ensureWritable(TableHandle& h) {
    if (h.staticView) return staticViewRefuses(h);
    if (h.readOnly())
        return fail(AE_READ_ONLY, "The table " + h.table->file() +
                                      " was opened read-only; it cannot be changed.");
    if (!h.table->notWritableBecause().empty())
        return fail(AE_READ_ONLY,
                    "The table " + h.table->file() +
                        " can be read but not changed: " + h.table->notWritableBecause() + ".");
    if (h.hidesRows()) return passwordNeeded(h);
    return AE_SUCCESS;
}

UNSIGNED32 beginEdit(TableHandle& h) {
    if (h.pending() != PendingKind::None) return AE_SUCCESS;
    if (UNSIGNED32 rc = ensureWritable(h)) return rc;
    if (!h.onRow())
        return fail(AE_NO_CURRENT_RECORD,
                    "There is no current record in the table " + h.table->file() + ".");
    // Only the fields set are kept (and written); the others read from the record as it is.
    h.beginPending(PendingKind::Edit);
    return AE_SUCCESS;
}

UNSIGNED32 append(TableHandle& h) {
    if (UNSIGNED32 rc = ensureWritable(h)) return rc;
    if (UNSIGNED32 rc = settle(h)) return rc;
    h.beginPending(PendingKind::Append);
    return AE_SUCCESS;
}

UNSIGNED32 setValue(TableHandle& h, size_t field, Value value) {
    if (UNSIGNED32 rc = ensureWritable(h)) return rc;
    if (UNSIGNED32 rc = beginEdit(h)) return rc;
    h.setPendingValue(field, std::move(value));
    return AE_SUCCESS;
}

UNSIGNED32 write(TableHandle& h) {
    if (h.pending() == PendingKind::None) return AE_SUCCESS;
    Storage& t = *h.table;
    const Schema& schema = t.schema();
    std::optional<WriteLock> lock;
    if (h.pending() == PendingKind::Edit) {
        lock.emplace(h, h.rowid());
        if (UNSIGNED32 rc = lock->take()) return rc;
    }
    // Auto-increment values assigned in a failed write are taken back with it.
    std::vector<Value> saved;
    std::vector<bool> savedChanged;
    if (h.pending() == PendingKind::Append) {
        saved = h.pendingValues();
        savedChanged = h.changedFields();
    }
    transaction::WriteScope scope(h);
    auto restore = [&] {
        scope.rollback();
        if (h.pending() == PendingKind::Append) {
            h.restorePending(saved, savedChanged);
        }
    };
    if (UNSIGNED32 rc = scope.begin()) return stillPending(rc);
    int64_t rowid = h.rowid();
    if (h.pending() == PendingKind::Append) {
        if (UNSIGNED32 rc = assignAutoincrements(h)) {
            restore();
            return rc;
        }
        scope.commitWithNextChange();
        if (UNSIGNED32 rc = t.insertRow(h.changedFields(), h.pendingValues(), "write to", rowid)) {
            UNSIGNED32 code = stillPending(rc);
            restore();
            return code;
        }
    } else {
        bool found = true;
        scope.commitWithNextChange();
        if (UNSIGNED32 rc =
                t.updateRow(rowid, h.changedFields(), h.pendingValues(), "write to", found)) {
            UNSIGNED32 code = stillPending(rc);
            restore();
            return code;
        }
        if (!found) {
            restore();
            return fail(AE_NO_SUCH_RECORD,
                        recordName(h, rowid) + " has been deleted by another user.");
        }
    }
    if (scope.commit() != AE_SUCCESS) {
        // Named as a failed write, whichever step of ending the transaction failed.
        UNSIGNED32 code = stillPending(t.failure("write to"));
        restore();
        return code;
    }
    // The record as written: the image it had with the values set laid over it.
    std::vector<uint8_t> written = h.image();
    written.resize(schema.recordLength);
    if (h.pending() == PendingKind::Append) cursor::blank(schema, written.data());
    for (size_t i = 0; i < schema.fields.size(); ++i)
        if (h.changedFields()[i])
            image::write(schema.fields[i], h.pendingValues()[i], h.page,
                         written.data() + schema.fields[i].offset);
    h.clearPending();
    h.dropWindow();
    h.placeOn(rowid, std::move(written), t.counter().value());
    return AE_SUCCESS;
}

UNSIGNED32 cancel(TableHandle& h) {
    if (h.pending() == PendingKind::None)
        return fail(AE_NO_UPDATE_PENDING,
                    "No change is pending on the table " + h.table->file() + ".");
    h.clearPending();
    return AE_SUCCESS;
}

UNSIGNED32 remove(TableHandle& h) {
    if (UNSIGNED32 rc = ensureWritable(h)) return rc;
    if (h.pending() == PendingKind::Append) return cancel(h);
    if (!h.onRow())
        return fail(AE_NO_CURRENT_RECORD,
                    "There is no current record to delete in the table " + h.table->file() + ".");
    WriteLock lock(h, h.rowid());
    if (UNSIGNED32 rc = lock.take()) return rc;
    Storage& t = *h.table;
    transaction::WriteScope scope(h);
    if (UNSIGNED32 rc = scope.begin()) return rc;
    scope.commitWithNextChange();
    if (UNSIGNED32 rc = t.deleteRow(h.rowid(), "delete a record of")) return rc;
    if (UNSIGNED32 code = scope.commit()) return code;
    h.clearPending();
    h.dropWindow();
    return AE_SUCCESS;
}

UNSIGNED32 settle(TableHandle& h) {
    return h.pending() == PendingKind::None ? AE_SUCCESS : write(h);
}

UNSIGNED32 lock(TableHandle& h, uint32_t record) {
    if (h.staticView) return staticViewRefuses(h);
    if (h.hidesRows()) return passwordNeeded(h);
    if (h.exclusive()) return AE_SUCCESS;
    if (!h.locks->lockRecord(record))
        return fail(AE_LOCKED, recordName(h, record) + " is locked by another user or handle.");
    h.heldRecords.insert(record);
    return AE_SUCCESS;
}

UNSIGNED32 unlock(TableHandle& h, uint32_t record) {
    if (record == 0) {
        for (uint32_t r : h.heldRecords) h.locks->unlockRecord(r);
        h.heldRecords.clear();
        return AE_SUCCESS;
    }
    if (h.heldRecords.erase(record)) h.locks->unlockRecord(record);
    return AE_SUCCESS;
}

void currentImage(TableHandle& h, uint8_t* out) {
    const Schema& schema = h.table->schema();
    if (h.pending() == PendingKind::Append) {
        for (size_t i = 0; i < schema.fields.size(); ++i) {
            const FieldDef& f = schema.fields[i];
            image::write(f, h.pendingValues()[i], h.page, out + f.offset);
        }
        return;
    }
    if (h.pending() == PendingKind::Edit) {
        std::memcpy(out, h.image().data(), schema.recordLength);
        for (size_t i = 0; i < schema.fields.size(); ++i)
            if (h.changedFields()[i])
                image::write(schema.fields[i], h.pendingValues()[i], h.page,
                             out + schema.fields[i].offset);
        return;
    }
    if (h.onRow() && h.image().size() == schema.recordLength) {
        std::memcpy(out, h.image().data(), schema.recordLength);
        return;
    }
    cursor::blank(schema, out);
}

}  // namespace engine::writer
