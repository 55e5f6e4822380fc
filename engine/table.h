// A table file open in this process: one SQLite connection, the structure, the prepared
// statements and the change counter, shared by every handle of the file. Internal to engine/.
//
// Rows live in "main"."records", one typed column per field, record number = rowid. A plain
// table's connection has its file as "main". An encrypted table keeps its structure readable in
// its file and its rows, index tags and auto-increment counters in a SQLCipher-encrypted
// companion ("<file>.rows"); once a password has opened the companion, the connection has the
// companion as "main" and the table file attached as "meta", so every query stays as it is.
#ifndef VELDA_ENGINE_TABLE_H
#define VELDA_ENGINE_TABLE_H

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/locks.h"
#include "engine/record_image.h"
#include "engine/schema.h"
#include "engine/secret.h"
#include "engine/sqlite.h"

namespace engine {

namespace files {
class OwnFiles;
}

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

class Table {
  public:
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The one Table of a file in this process (opened on first use).
    [[nodiscard]] static UNSIGNED32 open(const std::string& file, std::shared_ptr<Table>& out);
    [[nodiscard]] static UNSIGNED32 create(const std::string& file,
                                           const std::vector<FieldDef>& fields,
                                           std::shared_ptr<Table>& out);
    // Whether this process has the file open.
    static bool isOpen(const std::string& file);
    // A table over rows already in `db` ("main"."records", laid out for `schema`): the static
    // result of an SQL statement. It belongs to no file and to no registry; `name` appears in
    // messages in place of a file name.
    static std::shared_ptr<Table> overRows(const std::string& name, Schema schema,
                                           sql::Database db);

    const std::string& file() const { return file_; }
    const Schema& schema() const { return schema_; }
    uint64_t schemaGeneration() const { return generation_; }
    std::recursive_mutex& mutex() { return mutex_; }
    ChangeCounter& counter() { return counter_; }
    sql::Database& db() { return db_; }
    // Puts the expression language's functions on the connection, where filters run: at the
    // first filter, not at every open (registering them costs a good part of an open).
    [[nodiscard]] UNSIGNED32 useFunctions();
    UNSIGNED32 pageSize() const { return pageSize_; }

    // Why the table cannot be changed in this place (a folder that cannot be written, a network
    // file system; files.h), or empty when it can.
    const std::string& notWritableBecause() const { return notWritable_; }
    // Opened immutable, in a folder that cannot be written: whatever else reads the file there
    // must open it so too.
    bool immutable() const { return immutable_; }

    // A cached prepared statement, reset and unbound; null after failing with the SQLite error.
    sqlite3_stmt* statement(const std::string& sql);
    // Fails with the code that fits the connection's last SQLite error.
    [[nodiscard]] UNSIGNED32 sqlFailure(const std::string& doing);

    // Several statements of one read (an open's, the phases of a scan, the counts before a key)
    // in one read transaction while it lives: alone, each statement takes and gives back the file's
    // read lock, three system calls a time. Does nothing inside a transaction (which holds the
    // lock) or when BEGIN fails.
    class OneRead {
      public:
        OneRead(Table& table, bool wanted);
        ~OneRead();
        OneRead(const OneRead&) = delete;
        OneRead& operator=(const OneRead&) = delete;

      private:
        Table& table_;
        bool open_ = false;
    };
    // Steps a statement from statement() to its end (rows are passed over) and resets it; a
    // failure is reported as sqlFailure(doing).
    [[nodiscard]] UNSIGNED32 runToEnd(sqlite3_stmt* stmt, const std::string& doing);

    // Write transactions: BEGIN IMMEDIATE, COMMIT (bumping the change counter), ROLLBACK.
    // begin() refuses (AE_LOCKED) while an engine transaction holds the table.
    [[nodiscard]] UNSIGNED32 begin();
    [[nodiscard]] UNSIGNED32 commit();
    void rollback();
    // The transaction an engine transaction holds the table in (transaction.h): for writing, or,
    // where the table cannot be written, a snapshot to read from; and its end. Failures name
    // what was being done.
    [[nodiscard]] UNSIGNED32 beginHeld(bool writing);
    [[nodiscard]] UNSIGNED32 commitHeld();
    // One change inside a held transaction, undone alone when it fails: a savepoint, released
    // when the change is written or after it was rolled back to.
    [[nodiscard]] UNSIGNED32 beginChange();
    [[nodiscard]] UNSIGNED32 endChange();
    [[nodiscard]] UNSIGNED32 undoChange();

    // The connection whose engine transaction holds this table's SQLite transaction (0: none).
    // See transaction.h.
    ADSHANDLE transactionOwner() const { return transactionOwner_; }
    void setTransactionOwner(ADSHANDLE connection) { transactionOwner_ = connection; }

    // Structure changes (inside a write transaction).
    [[nodiscard]] UNSIGNED32 addIndex(const IndexDef& index);
    [[nodiscard]] UNSIGNED32 dropIndex(size_t position);

    // "rowid, field columns" for reading record images; blob fields give their non-empty flag.
    const std::string& selectList() const { return selectList_; }
    // Reads the rows of one walk: starting after (or at) `start` (values over the order's
    // expressions and finally the rowid), within the conditions, at most `limit` rows.
    // startOp compares a row's value with the start's last value (">", ">=", "<", "<=" as the
    // walking direction needs; the leading values then walk on strictly). singlePhase reads only
    // rows whose leading values equal the start's; with "=" exactly the rows of that key.
    // `emptyPhases` leading phases are known to hold no row (RowBatch::emptyPhasesAfterKey).
    [[nodiscard]] UNSIGNED32 scan(const OrderSpec& order, bool forward,
                                  const std::vector<Value>* start, const char* startOp,
                                  const std::vector<Condition>& conditions, size_t limit,
                                  image::CodePage page, RowBatch& out, bool singlePhase = false,
                                  size_t emptyPhases = 0);
    [[nodiscard]] UNSIGNED32 countRows(const std::vector<Condition>& conditions, int64_t& out);
    // Counts rows strictly before `start` (order expressions then rowid) in walking order.
    [[nodiscard]] UNSIGNED32 countBefore(const OrderSpec& order, const std::vector<Value>& start,
                                         const std::vector<Condition>& conditions, int64_t& out);
    // Reads one row's image; false (no failure) when it does not exist.
    [[nodiscard]] UNSIGNED32 readRow(int64_t rowid, image::CodePage page, uint8_t* image,
                                     bool& found);
    // Reads one row's stored values; false when it does not exist.
    [[nodiscard]] UNSIGNED32 readValues(int64_t rowid, std::vector<Value>& values, bool& found);
    // The exact key values of a row over the order's expressions.
    [[nodiscard]] UNSIGNED32 readKey(int64_t rowid, const OrderSpec& order, std::vector<Value>& key,
                                     bool& found);
    // The given column expressions of one row (none: found, no values).
    [[nodiscard]] UNSIGNED32 readColumns(const std::vector<std::string>& columns, int64_t rowid,
                                         std::vector<Value>& values, bool& found);

    // One field's stored value of a row (empty when the row does not exist).
    [[nodiscard]] UNSIGNED32 readField(int64_t rowid, const FieldDef& field, Value& out);
    // Whether the translated expression `sql` (table_rows.cpp) holds for the given values of a
    // row: its rowid and every field in order, then the expression's own parameters.
    [[nodiscard]] UNSIGNED32 evaluate(const std::string& sql, int64_t rowid,
                                      const std::vector<Value>& values,
                                      const std::vector<Value>& parameters, bool& result);

    // Row changes, inside a write transaction. `given` marks the fields whose `values` are
    // stored (values in field order). A unique tag that holds the key already answers
    // AE_DUPLICATE_KEY naming the tag; any other failure as sqlFailure(doing).
    [[nodiscard]] UNSIGNED32 insertRow(const std::vector<bool>& given,
                                       const std::vector<Value>& values, const std::string& doing,
                                       int64_t& rowid);
    // `found` false (no failure) when no row has that record number any more.
    [[nodiscard]] UNSIGNED32 updateRow(int64_t rowid, const std::vector<bool>& given,
                                       const std::vector<Value>& values, const std::string& doing,
                                       bool& found);
    [[nodiscard]] UNSIGNED32 deleteRow(int64_t rowid, const std::string& doing);
    // An auto-increment field's counter: the last value given (the highest in the rows when the
    // table keeps none), and the counter moved on to `value`.
    [[nodiscard]] UNSIGNED32 lastAutoincrement(const FieldDef& field, int64_t& last);
    [[nodiscard]] UNSIGNED32 storeAutoincrement(const FieldDef& field, int64_t value);
    // Whether a transaction is open on the table's connection.
    bool inTransaction() const;

    // The count of all rows, cached while nothing changes.
    [[nodiscard]] UNSIGNED32 totalRows(bool fresh, int64_t& out);

    // Encryption (encryption.cpp). Whether the rows live in the encrypted companion, and whether
    // this process's connection has opened it.
    bool encrypted() const { return encrypted_; }
    bool keyed() const { return keyed_; }
    // Opens the companion with the password (its key is derived once, here), or checks the
    // password against the one in force; AE_WRONG_PASSWORD when it does not open the table.
    [[nodiscard]] UNSIGNED32 unlock(const Secret& password);
    // Turn a plain table into an encrypted one and back, keeping every row, record number, tag and
    // counter. The caller holds the table exclusively; decrypt needs the companion open.
    [[nodiscard]] UNSIGNED32 encrypt(const Secret& password);
    [[nodiscard]] UNSIGNED32 decrypt(const Secret& password);

  private:
    Table() = default;
    // Where the file lies: a network file system or a folder that cannot be written makes the
    // table read-only (notWritable_), the latter opened immutable.
    [[nodiscard]] UNSIGNED32 placeCheck();
    [[nodiscard]] UNSIGNED32 openConnection(bool create);
    // Reads the table file through a memory map once it is known to hold the rows (a plain table).
    // The file of an encrypted table is read a few times at open and then replaced by the rows
    // file's connection: mapping it would only add an unmap (a costly TLB shootdown) to the open.
    [[nodiscard]] UNSIGNED32 mapRows();
    // Reads the encrypted marker of the table file and takes it (below).
    [[nodiscard]] UNSIGNED32 readEncryption(const files::OwnFiles* own = nullptr);
    // Takes the encrypted marker read and clears what a crash left half-made; `own` is what an
    // open found on disk, when there is such a look to go by.
    [[nodiscard]] UNSIGNED32 takeEncryption(bool encrypted, const files::OwnFiles* own = nullptr);
    [[nodiscard]] UNSIGNED32 openCompanion(const Secret& password, sql::Database& out);
    void rememberPassword(const Secret& password);
    bool passwordMatches(const Secret& password) const;
    // Closes the connection (its WAL checkpointed away) and opens the table file again, then the
    // companion when a password is given.
    [[nodiscard]] UNSIGNED32 closeConnection();
    [[nodiscard]] UNSIGNED32 reconnect(const Secret* password);
    // After a failed encryption or decryption (rc, the last error): opens the table again as it
    // now is and answers rc; when that fails too, the last error tells both.
    [[nodiscard]] UNSIGNED32 reopenAfter(UNSIGNED32 rc, const Secret* password);
    void buildSelectList();
    // Runs one statement of transaction control; the failure names what was being done.
    [[nodiscard]] UNSIGNED32 control(const std::string& sql, const std::string& doing);
    // The failure of a row change that SQLite answered with `rc` (table_rows.cpp).
    [[nodiscard]] UNSIGNED32 changeFailure(int rc, const std::string& doing);

    std::string file_;
    pid_t pid_ = 0;
    sql::Database db_;
    Schema schema_;
    uint64_t generation_ = 0;
    std::recursive_mutex mutex_;
    ChangeCounter counter_;
    UNSIGNED32 pageSize_ = 4096;
    std::string selectList_;
    std::map<std::string, sql::Statement, std::less<>> statements_;
    bool countValid_ = false;
    bool functions_ = false;  // the expression language's functions are on the connection
    int64_t countCache_ = 0;
    uint64_t countCounter_ = 0;
    int64_t countDataVersion_ = 0;
    bool encrypted_ = false;
    bool keyed_ = false;
    ADSHANDLE transactionOwner_ = 0;
    bool immutable_ = false;
    std::string notWritable_;
    // A salted hash of the password that opened the companion, kept in memory only.
    unsigned char passwordSalt_[32] = {};
    unsigned char passwordHash_[32] = {};

    friend struct TableRegistryAccess;
};

}  // namespace engine

#endif
