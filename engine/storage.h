// The storage of one table as the engine's calls see it: its structure, its rows read in a
// walking order, single-row reads, row changes, transactions, index tags and encryption. Each
// place a table can live implements it (table.h: a SQLite file in a folder); the call layer
// (handles, cursors, the writer, the *_calls.cpp files) uses only this. Internal to engine/.
//
// Conditions and order expressions are SQL texts over the stored columns and "rowid", as the
// storage's own engine reads them; filters are translated by the storage (translateFilter).
#ifndef VELDA_ENGINE_STORAGE_H
#define VELDA_ENGINE_STORAGE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/handle_locks.h"
#include "engine/record_image.h"
#include "engine/schema.h"
#include "engine/secret.h"

namespace engine {

namespace expression {
struct Settings;
struct Translation;
}  // namespace expression

// An order to walk rows in: an index tag's key expressions, or none for record-number order.
struct OrderSpec {
    std::vector<std::string> expressions;
    bool descending = false;
};

// A condition on rows with its values, ANDed into a query.
struct Condition {
    std::string sql;
    std::vector<Value> values;
};

// Rows read in one go: record numbers and their record images, in walking order.
struct RowBatch {
    std::vector<int64_t> rowids;
    std::vector<uint8_t> images;
    size_t size() const { return rowids.size(); }
    // Set by Table::scan: fewer rows came than were asked for, so none lies beyond the last one.
    bool complete = false;
    // The order's key of the last row when the batch filled up (a walk goes on from it), read
    // with the rows; keyRowid 0 when none was read. The row after it, read too, shows how many
    // of the phases of a read going on from it (in the same direction) hold no row.
    int64_t keyRowid = 0;
    std::vector<Value> key;
    bool keyForward = true;
    size_t emptyPhasesAfterKey = 0;
    // Set by the cursor on a window of rows: no row of the walk lies before the first one, or
    // after the last one (while the table is unchanged).
    bool first = false, last = false;
};

// Tells the handles of a table that it changed: writers bump it after each commit; readers
// compare it with the value their rows were read at, which costs a memory read instead of asking
// the storage at every navigation. Each storage keeps its own where every process that uses the
// table sees it (a folder table's: in its lock file).
class ChangeCounter {
  public:
    virtual ~ChangeCounter() = default;
    virtual uint64_t value() const = 0;
    virtual void bump() = 0;
};

class Storage {
  public:
    virtual ~Storage() = default;
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // The name messages give the table: its file, or for a statement's rows the statement's.
    const std::string& file() const { return file_; }
    const Schema& schema() const { return schema_; }
    // Moves on whenever the structure changes (a tag added or removed).
    uint64_t schemaGeneration() const { return generation_; }
    // Held by every call that uses the table, for the length of the call.
    std::recursive_mutex& mutex() { return mutex_; }
    virtual ChangeCounter& counter() = 0;
    virtual UNSIGNED32 pageSize() const = 0;
    // Why the table cannot be changed in this place (files.h: a folder that cannot be written, a
    // network file system), or empty when it can.
    const std::string& notWritableBecause() const { return notWritable_; }

    // Fails with the code and text that fit the storage's last failure, naming what was being
    // done ("write to", "read").
    [[nodiscard]] virtual UNSIGNED32 failure(const std::string& doing) = 0;

    // The sort form of a field in this storage's index keys and walking orders: empty values
    // sort first and are not NULL, so that range conditions on the key see every row.
    virtual std::string keyExpression(const FieldDef& field) const { return field.keyExpression(); }

    // Translates a filter expression into a condition over this storage's rows (expression.h).
    [[nodiscard]] virtual UNSIGNED32 translateFilter(const std::string& text,
                                                     const expression::Settings& settings,
                                                     expression::Translation& out) = 0;

    // The most rows a walk reads at once: its reads double up to this.
    static constexpr size_t kLargestScan = 512;
    // Reads the rows of one walk: starting after (or at) `start` (values over the order's
    // expressions and finally the rowid), within the conditions, at most `limit` rows.
    // startOp compares a row's value with the start's last value (">", ">=", "<", "<=" as the
    // walking direction needs; the leading values then walk on strictly). singlePhase reads only
    // rows whose leading values equal the start's; with "=" exactly the rows of that key.
    // `emptyPhases` leading phases are known to hold no row (RowBatch::emptyPhasesAfterKey).
    [[nodiscard]] virtual UNSIGNED32 scan(const OrderSpec& order, bool forward,
                                          const std::vector<Value>* start, const char* startOp,
                                          const std::vector<Condition>& conditions, size_t limit,
                                          image::CodePage page, RowBatch& out,
                                          bool singlePhase = false, size_t emptyPhases = 0) = 0;
    [[nodiscard]] virtual UNSIGNED32 countRows(const std::vector<Condition>& conditions,
                                               int64_t& out) = 0;
    // Counts rows strictly before `start` (order expressions then rowid) in walking order.
    [[nodiscard]] virtual UNSIGNED32 countBefore(const OrderSpec& order,
                                                 const std::vector<Value>& start,
                                                 const std::vector<Condition>& conditions,
                                                 int64_t& out) = 0;
    // The count of all rows, cached while nothing changes (`fresh` asks past the cache).
    [[nodiscard]] virtual UNSIGNED32 totalRows(bool fresh, int64_t& out) = 0;
    // Reads one row's image; false (no failure) when it does not exist.
    [[nodiscard]] virtual UNSIGNED32 readRow(int64_t rowid, image::CodePage page, uint8_t* image,
                                             bool& found) = 0;
    // The given column expressions of one row (none: found, no values).
    [[nodiscard]] virtual UNSIGNED32 readColumns(const std::vector<std::string>& columns,
                                                 int64_t rowid, std::vector<Value>& values,
                                                 bool& found) = 0;
    // Reads one row's stored values; false when it does not exist.
    [[nodiscard]] UNSIGNED32 readValues(int64_t rowid, std::vector<Value>& values, bool& found) {
        std::vector<std::string> columns;
        for (const FieldDef& field : schema_.fields) columns.push_back(field.column());
        return readColumns(columns, rowid, values, found);
    }
    // The exact key values of a row over the order's expressions.
    [[nodiscard]] UNSIGNED32 readKey(int64_t rowid, const OrderSpec& order, std::vector<Value>& key,
                                     bool& found) {
        return readColumns(order.expressions, rowid, key, found);
    }
    // Whether a translated filter (translateFilter) holds for the given values of a row: its
    // rowid and every field in order, then the translation's own parameters.
    [[nodiscard]] virtual UNSIGNED32 evaluate(const std::string& sql, int64_t rowid,
                                              const std::vector<Value>& values,
                                              const std::vector<Value>& parameters,
                                              bool& result) = 0;

    // Row changes, inside a write transaction. `given` marks the fields whose `values` are
    // stored (values in field order). A unique tag that holds the key already answers
    // AE_DUPLICATE_KEY naming the tag; any other failure as failure(doing).
    [[nodiscard]] virtual UNSIGNED32 insertRow(const std::vector<bool>& given,
                                               const std::vector<Value>& values,
                                               const std::string& doing, int64_t& rowid) = 0;
    // `found` false (no failure) when no row has that record number any more.
    [[nodiscard]] virtual UNSIGNED32 updateRow(int64_t rowid, const std::vector<bool>& given,
                                               const std::vector<Value>& values,
                                               const std::string& doing, bool& found) = 0;
    [[nodiscard]] virtual UNSIGNED32 deleteRow(int64_t rowid, const std::string& doing) = 0;
    // An auto-increment field's counter: the last value given (the highest in the rows when the
    // table keeps none), and the counter moved on to `value`.
    [[nodiscard]] virtual UNSIGNED32 lastAutoincrement(const FieldDef& field, int64_t& last) = 0;
    [[nodiscard]] virtual UNSIGNED32 storeAutoincrement(const FieldDef& field, int64_t value) = 0;

    // Write transactions of one change: begin() refuses (AE_LOCKED) while an engine transaction
    // holds the table; commit() moves the change counter on.
    [[nodiscard]] virtual UNSIGNED32 begin() = 0;
    [[nodiscard]] virtual UNSIGNED32 commit() = 0;
    virtual void rollback() = 0;
    // Says that the next row change (insertRow, updateRow, deleteRow) is the last statement of
    // the transaction begin() opened, so that a storage may send the commit with it; commit()
    // then answers how that went. A storage that sends nothing ahead ignores it.
    virtual void commitWithNextChange() {}
    // Whether a transaction is open on the storage's connection.
    virtual bool inTransaction() const = 0;
    // The transaction an engine transaction holds the table in (transaction.h): for writing, or,
    // where the table cannot be written, a snapshot to read from; and its end.
    [[nodiscard]] virtual UNSIGNED32 beginHeld(bool writing) = 0;
    [[nodiscard]] virtual UNSIGNED32 commitHeld() = 0;
    // One change inside a held transaction, undone alone when it fails.
    [[nodiscard]] virtual UNSIGNED32 beginChange() = 0;
    [[nodiscard]] virtual UNSIGNED32 endChange() = 0;
    [[nodiscard]] virtual UNSIGNED32 undoChange() = 0;
    // The connection whose engine transaction holds this table (0: none).
    ADSHANDLE transactionOwner() const { return transactionOwner_; }
    void setTransactionOwner(ADSHANDLE connection) { transactionOwner_ = connection; }

    // A new handle's locks. `required`: a handle that may change the table; otherwise, where
    // locks cannot be kept (a folder that cannot be written), the handle gets none.
    [[nodiscard]] virtual UNSIGNED32 openLocks(bool required,
                                               std::unique_ptr<HandleLocks>& out) = 0;

    // Structure changes (inside a write transaction).
    [[nodiscard]] virtual UNSIGNED32 addIndex(const IndexDef& index) = 0;
    [[nodiscard]] virtual UNSIGNED32 dropIndex(size_t position) = 0;

    // Encryption: whether the rows are encrypted, and whether this process has opened them with
    // the password. unlock() opens them (or checks the password against the one in force);
    // AE_WRONG_PASSWORD when it does not open the table. encrypt/decrypt keep every row, record
    // number, tag and counter; the caller holds the table exclusively.
    bool encrypted() const { return encrypted_; }
    bool keyed() const { return keyed_; }
    [[nodiscard]] virtual UNSIGNED32 unlock(const Secret& password) = 0;
    [[nodiscard]] virtual UNSIGNED32 encrypt(const Secret& password) = 0;
    [[nodiscard]] virtual UNSIGNED32 decrypt(const Secret& password) = 0;

  protected:
    Storage() = default;

    std::string file_;
    Schema schema_;
    uint64_t generation_ = 0;
    std::recursive_mutex mutex_;
    std::string notWritable_;
    bool encrypted_ = false;
    bool keyed_ = false;
    ADSHANDLE transactionOwner_ = 0;
};

}  // namespace engine

#endif
