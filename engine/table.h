// A table file open in this process: one SQLite connection, the structure, the prepared
// statements and the change counter, shared by every handle of the file. Internal to engine/.
//
// Rows live in "main"."records" (the rows database; a later encrypted form keeps them in a
// companion database behind the same name), one typed column per field, record number = rowid.
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
#include "engine/sqlite.h"

namespace engine {

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
};

class Table {
  public:
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The one Table of a file in this process (opened on first use).
    static UNSIGNED32 open(const std::string& file, std::shared_ptr<Table>& out);
    static UNSIGNED32 create(const std::string& file, const std::vector<FieldDef>& fields,
                             std::shared_ptr<Table>& out);
    // Whether this process has the file open.
    static bool isOpen(const std::string& file);

    const std::string& file() const { return file_; }
    const Schema& schema() const { return schema_; }
    uint64_t schemaGeneration() const { return generation_; }
    std::recursive_mutex& mutex() { return mutex_; }
    ChangeCounter& counter() { return counter_; }
    sql::Database& db() { return db_; }
    UNSIGNED32 pageSize() const { return pageSize_; }

    // A cached prepared statement, reset and unbound; null after failing with the SQLite error.
    sqlite3_stmt* statement(const std::string& sql);
    // Fails with the code that fits the connection's last SQLite error.
    UNSIGNED32 sqlFailure(const std::string& doing);

    // Write transactions: BEGIN IMMEDIATE, COMMIT (bumping the change counter), ROLLBACK.
    UNSIGNED32 begin();
    UNSIGNED32 commit();
    void rollback();

    // Structure changes (inside a write transaction).
    UNSIGNED32 addIndex(const IndexDef& index);
    UNSIGNED32 dropIndex(size_t position);

    // "rowid, field columns" for reading record images; blob fields give their non-empty flag.
    const std::string& selectList() const { return selectList_; }
    // Reads the rows of one walk: starting after (or at) `start` (values over the order's
    // expressions and finally the rowid), within the conditions, at most `limit` rows.
    // startOp compares a row's value with the start's last value (">", ">=", "<", "<=" as the
    // walking direction needs; the leading values then walk on strictly). singlePhase reads only
    // rows whose leading values equal the start's; with "=" exactly the rows of that key.
    UNSIGNED32 scan(const OrderSpec& order, bool forward, const std::vector<Value>* start,
                    const char* startOp, const std::vector<Condition>& conditions, size_t limit,
                    image::CodePage page, RowBatch& out, bool singlePhase = false);
    UNSIGNED32 countRows(const std::vector<Condition>& conditions, int64_t& out);
    // Counts rows strictly before `start` (order expressions then rowid) in walking order.
    UNSIGNED32 countBefore(const OrderSpec& order, const std::vector<Value>& start,
                           const std::vector<Condition>& conditions, int64_t& out);
    // Reads one row's image; false (no failure) when it does not exist.
    UNSIGNED32 readRow(int64_t rowid, image::CodePage page, uint8_t* image, bool& found);
    // Reads one row's stored values; false when it does not exist.
    UNSIGNED32 readValues(int64_t rowid, std::vector<Value>& values, bool& found);
    // The exact key values of a row over the order's expressions.
    UNSIGNED32 readKey(int64_t rowid, const OrderSpec& order, std::vector<Value>& key, bool& found);

    // The count of all rows, cached while nothing changes.
    UNSIGNED32 totalRows(bool fresh, int64_t& out);

  private:
    Table() = default;
    UNSIGNED32 openConnection(bool create);
    void buildSelectList();

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
    int64_t countCache_ = 0;
    uint64_t countCounter_ = 0;
    int64_t countDataVersion_ = 0;

    friend struct TableRegistryAccess;
};

}  // namespace engine

#endif
