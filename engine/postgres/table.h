// A table in a database on a PostgreSQL server, as one connection's session sees it. Internal to
// engine/.
//
// The database holds a catalog of its tables, made at the first use:
//   velda_tables      id, folder and file name (lower case, "company/a01", "leave.adt"), the path
//                     as it was created (for texts)
//   velda_fields      the fields in order: name, type, length as given, decimals
//   velda_indexes     the index tags in order: name, field names ("A;B"), unique, descending
//   velda_properties  per table: auto-increment counters ("autoinc.FIELD"), the table password's
//                     salted hash ("password_check") when the table is encrypted
// and the rows of each table in velda_rows_<id>: velda_recno, the record number (the primary key;
// a new row takes the highest plus one, as in a folder), then one column per field: bigint for
// integers and logicals, double precision for numbers, bytea for binary fields, text COLLATE "C"
// for the rest, so that text keys sort by their bytes, as in a folder. A tag is a btree index over
// the key expressions (empty values first, as keyExpression() writes them) and velda_recno.
//
// Locks are the session's advisory locks on (table id, 0) for the open table, shared by every
// handle and exclusive for an exclusive open, and on (table id, record number) for records; this
// process's handles on one session are told apart here. A change another session commits is
// noticed through LISTEN/NOTIFY on the table's channel ("velda_<id>"). Filters are translated into
// the server's SQL (engine/expression.h) over the helper functions of postgres/functions.h.
//
// An encrypted table on a server keeps its rows as they are (the server has no table-level
// encryption); the engine asks for the table password and checks it against the stored salted
// hash before any row is read. What protects the values is TLS, the server's roles and its disk
// encryption.
#ifndef VELDA_ENGINE_POSTGRES_TABLE_H
#define VELDA_ENGINE_POSTGRES_TABLE_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/postgres/session.h"
#include "engine/storage.h"

namespace engine {

class ServerPath;

namespace postgres {

// A table's structure as a session read it from the catalog, with the catalog row's version
// (its xmin, which every change of the structure moves on), so that a later open of the table
// on the session reads one row instead of the whole structure.
struct TableStructure {
    std::string version;
    Schema schema;
    bool encrypted = false;
};

// A table password a session has checked against the table's stored hash (`check`), kept as a
// fast salted hash in memory only.
struct KnownPassword {
    std::string check;
    unsigned char salt[32] = {};
    unsigned char hash[32] = {};
    ~KnownPassword();
};

class ServerTable final : public Storage {
  public:
    ~ServerTable() override;

    // The one ServerTable of the path on this session (opened on first use). A folder exists
    // when a table lies in it or below it, or when it is `connected` (the connection's own
    // folder, ServerPath::folders()) or above it.
    [[nodiscard]] static UNSIGNED32 open(const std::shared_ptr<Session>& session,
                                         const ServerPath& path, std::shared_ptr<ServerTable>& out,
                                         const std::vector<std::string>& connected = {});
    [[nodiscard]] static UNSIGNED32 create(const std::shared_ptr<Session>& session,
                                           const ServerPath& path,
                                           const std::vector<FieldDef>& fields,
                                           std::shared_ptr<ServerTable>& out);
    // Deletes the table; AE_LOCKED while a handle of any session has it open.
    [[nodiscard]] static UNSIGNED32 remove(const std::shared_ptr<Session>& session,
                                           const ServerPath& path);
    // The names of the tables that lie in the folder (not below it), as each was created (with
    // its extension), in any order; none when the database has no tables yet.
    [[nodiscard]] static UNSIGNED32 list(const std::shared_ptr<Session>& session,
                                         const ServerPath& folder, std::vector<std::string>& out);

    // The table's number in the catalog and its rows table ("velda_rows_<id>", quoted), over
    // which SQL statements make their views (engine/statement.h); the record number column.
    int64_t id() const { return id_; }
    const std::string& rowsTable() const { return rows_; }
    static const char* recordColumn();

    ChangeCounter& counter() override { return counter_; }
    UNSIGNED32 pageSize() const override { return 8192; }
    [[nodiscard]] UNSIGNED32 failure(const std::string& doing) override;
    std::string keyExpression(const FieldDef& field) const override;
    [[nodiscard]] UNSIGNED32 translateFilter(const std::string& text,
                                             const expression::Settings& settings,
                                             expression::Translation& out) override;

    [[nodiscard]] UNSIGNED32 scan(const OrderSpec& order, bool forward,
                                  const std::vector<Value>* start, const char* startOp,
                                  const std::vector<Condition>& conditions, size_t limit,
                                  image::CodePage page, RowBatch& out, bool singlePhase = false,
                                  size_t emptyPhases = 0) override;
    [[nodiscard]] UNSIGNED32 countRows(const std::vector<Condition>& conditions,
                                       int64_t& out) override;
    [[nodiscard]] UNSIGNED32 countBefore(const OrderSpec& order, const std::vector<Value>& start,
                                         const std::vector<Condition>& conditions,
                                         int64_t& out) override;
    [[nodiscard]] UNSIGNED32 totalRows(bool fresh, int64_t& out) override;
    [[nodiscard]] UNSIGNED32 readRow(int64_t rowid, image::CodePage page, uint8_t* image,
                                     bool& found) override;
    [[nodiscard]] UNSIGNED32 readColumns(const std::vector<std::string>& columns, int64_t rowid,
                                         std::vector<Value>& values, bool& found) override;
    [[nodiscard]] UNSIGNED32 evaluate(const std::string& sql, int64_t rowid,
                                      const std::vector<Value>& values,
                                      const std::vector<Value>& parameters, bool& result) override;

    [[nodiscard]] UNSIGNED32 insertRow(const std::vector<bool>& given,
                                       const std::vector<Value>& values, const std::string& doing,
                                       int64_t& rowid) override;
    [[nodiscard]] UNSIGNED32 updateRow(int64_t rowid, const std::vector<bool>& given,
                                       const std::vector<Value>& values, const std::string& doing,
                                       bool& found) override;
    [[nodiscard]] UNSIGNED32 deleteRow(int64_t rowid, const std::string& doing) override;
    [[nodiscard]] UNSIGNED32 lastAutoincrement(const FieldDef& field, int64_t& last) override;
    [[nodiscard]] UNSIGNED32 storeAutoincrement(const FieldDef& field, int64_t value) override;

    [[nodiscard]] UNSIGNED32 begin() override;
    [[nodiscard]] UNSIGNED32 commit() override;
    void rollback() override;
    void commitWithNextChange() override { commitAhead_ = true; }
    bool inTransaction() const override;
    [[nodiscard]] UNSIGNED32 beginHeld(bool writing) override;
    [[nodiscard]] UNSIGNED32 commitHeld() override;
    [[nodiscard]] UNSIGNED32 beginChange() override;
    [[nodiscard]] UNSIGNED32 endChange() override;
    [[nodiscard]] UNSIGNED32 undoChange() override;

    [[nodiscard]] UNSIGNED32 openLocks(bool required, std::unique_ptr<HandleLocks>& out) override;
    [[nodiscard]] UNSIGNED32 addIndex(const IndexDef& index) override;
    [[nodiscard]] UNSIGNED32 dropIndex(size_t position) override;

    [[nodiscard]] UNSIGNED32 unlock(const Secret& password) override;
    [[nodiscard]] UNSIGNED32 encrypt(const Secret& password) override;
    [[nodiscard]] UNSIGNED32 decrypt(const Secret& password) override;

  private:
    class Locks;
    class NoticeCounter final : public ChangeCounter {
      public:
        NoticeCounter(Session& session, std::string channel)
            : session_(session), channel_(std::move(channel)) {}
        uint64_t value() const override;
        void bump() override { ++local_; }

      private:
        Session& session_;
        std::string channel_;
        uint64_t local_ = 0;
    };

    ServerTable(std::shared_ptr<Session> session, int64_t id, std::string shown);
    // Takes the structure from the catalog (fields, index tags, whether a password check is
    // kept), or from the session's copy when the catalog row's `version` is the copy's.
    [[nodiscard]] UNSIGNED32 readStructure(const std::string& version);
    // Whether the next row change sends the commit with it (commitWithNextChange()), cleared.
    bool takeCommitAhead() { return std::exchange(commitAhead_, false); }
    // The statement's failure, as the session words it.
    [[nodiscard]] UNSIGNED32 failed(const Result& result, const std::string& doing);
    [[nodiscard]] UNSIGNED32 control(const std::string& sql, const std::string& doing);
    [[nodiscard]] UNSIGNED32 readOne(const std::string& columns, int64_t rowid, Result& out,
                                     bool& found);
    void buildSelectList();
    // Room for the stored values of a row just read (a field per column of the select list).
    Value* remember(int64_t rowid);
    // The stored values of a row of the last read, or null.
    const Value* recentRow(int64_t rowid);
    void forgetRecent() { recent_.valid = false; }
    void startRecent(uint64_t version);
    // Writes row `row` of a read of the select list into a record image, its fields' stored
    // values into `values` (null for a blob, of which only the presence was read).
    void writeImage(const Result& r, int row, image::CodePage page, uint8_t* image,
                    Value* values) const;
    // A row change's failure: a unique tag's violation as AE_DUPLICATE_KEY naming the tag.
    [[nodiscard]] UNSIGNED32 changeFailed(const Result& result, const std::string& doing);
    // One change in a transaction of its own, rolled back when `change` or the commit fails.
    [[nodiscard]] UNSIGNED32 alone(const std::function<UNSIGNED32()>& change);
    // The table's properties (auto-increment counters, the password check).
    [[nodiscard]] UNSIGNED32 property(const std::string& key, std::string& value, bool& found,
                                      const std::string& doing);
    [[nodiscard]] UNSIGNED32 setProperty(const std::string& key, const std::string& value,
                                         const std::string& doing);
    void rememberPassword(const Secret& password);

    std::shared_ptr<Session> session_;
    int64_t id_ = 0;
    std::string rows_;     // "velda_rows_<id>", quoted
    std::string channel_;  // "velda_<id>"
    NoticeCounter counter_;
    std::string selectList_;
    std::vector<std::string> columns_;  // each field's quoted column name
    // The stored values of the rows the last read gave, while the table has not changed since
    // (the change counter and the connection as they were before the read): a field of one of
    // them is answered from here instead of by a statement of its own.
    struct RecentRows {
        bool valid = false;
        uint64_t version = 0, generation = 0;
        std::vector<int64_t> rowids;  // in the order read
        std::vector<Value> values;    // the rows' fields, row after row
        size_t hint = 0;              // the row asked for last
    } recent_;
    // The next read of a walk, sent while the caller walks the rows of the last one (a long walk
    // then waits for the server about half as long): taken by the read that asks for the same
    // rows, while the table has not changed since it was sent.
    struct ReadAhead {
        uint64_t id = 0;  // Session::sendAhead's, 0 for none
        std::string sql;
        postgres::Params params;  // but the limit
        size_t limit = 0;         // the rows it reads, at most
        uint64_t version = 0, generation = 0;
    } ahead_;
    bool commitAhead_ = false;
    bool countValid_ = false;
    int64_t countCache_ = 0;
    uint64_t countCounter_ = 0;
    // This process's handles on the session: who holds which lock.
    int sharedOpens_ = 0;
    const void* exclusiveOpen_ = nullptr;
    std::map<uint32_t, const void*> recordHolders_;
    // A salted hash of the password that opened the table, kept in memory only.
    unsigned char passwordSalt_[32] = {};
    unsigned char passwordHash_[32] = {};
};

}  // namespace postgres
}  // namespace engine

#endif
