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

#include "engine/record_image.h"
#include "engine/schema.h"
#include "engine/secret.h"
#include "engine/sqlite/locks.h"
#include "engine/sqlite/metadata.h"
#include "engine/sqlite/sqlite.h"
#include "engine/storage.h"

namespace engine {

namespace files {
class OwnFiles;
}

// A table in a folder: its SQLite file (and, encrypted, the companion of its rows).
class Table final : public Storage {
  public:
    ~Table() override;

    // The one Table of a file in this process (opened on first use).
    [[nodiscard]] static UNSIGNED32 open(const std::string& file, std::shared_ptr<Table>& out);
    [[nodiscard]] static UNSIGNED32 create(const std::string& file,
                                           const std::vector<FieldDef>& fields,
                                           std::shared_ptr<Table>& out);
    // Whether this process has the file open.
    static bool isOpen(const std::string& file);
    // The names of the table files in a folder (regular files whose names end in ".adt" in any
    // case, hidden ones left out), in any order; AE_PATH_NOT_FOUND when the folder is not there.
    [[nodiscard]] static UNSIGNED32 list(const std::string& folder, std::vector<std::string>& out);
    // A table over rows already in `db` ("main"."records", laid out for `schema`): the static
    // result of an SQL statement. It belongs to no file and to no registry; `name` appears in
    // messages in place of a file name.
    static std::shared_ptr<Table> overRows(const std::string& name, Schema schema,
                                           sql::Database db);

    sql::Database& db() { return db_; }
    ChangeCounter& counter() override { return counter_; }
    UNSIGNED32 pageSize() const override { return pageSize_; }
    // Opened immutable, in a folder that cannot be written: whatever else reads the file there
    // must open it so too.
    bool immutable() const { return immutable_; }

    // A cached prepared statement, reset and unbound; null after failing with the SQLite error.
    sqlite3_stmt* statement(const std::string& sql);
    // Fails with the code that fits the connection's last SQLite error.
    [[nodiscard]] UNSIGNED32 sqlFailure(const std::string& doing);
    [[nodiscard]] UNSIGNED32 failure(const std::string& doing) override {
        return sqlFailure(doing);
    }
    // Puts the expression language's functions on the connection, where filters run: at the
    // first filter, not at every open (registering them costs a good part of an open).
    [[nodiscard]] UNSIGNED32 useFunctions();
    [[nodiscard]] UNSIGNED32 translateFilter(const std::string& text,
                                             const expression::Settings& settings,
                                             expression::Translation& out) override;

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

    [[nodiscard]] UNSIGNED32 begin() override;
    [[nodiscard]] UNSIGNED32 commit() override;
    void rollback() override;
    bool inTransaction() const override;
    [[nodiscard]] UNSIGNED32 beginHeld(bool writing) override;
    [[nodiscard]] UNSIGNED32 commitHeld() override;
    [[nodiscard]] UNSIGNED32 beginChange() override;
    [[nodiscard]] UNSIGNED32 endChange() override;
    [[nodiscard]] UNSIGNED32 undoChange() override;

    [[nodiscard]] UNSIGNED32 openLocks(bool required, std::unique_ptr<HandleLocks>& out) override;
    [[nodiscard]] UNSIGNED32 addIndex(const IndexDef& index) override;
    [[nodiscard]] UNSIGNED32 dropIndex(size_t position) override;

    // "rowid, field columns" for reading record images; blob fields give their non-empty flag.
    const std::string& selectList() const { return selectList_; }
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

    // Encryption (encryption.cpp): the rows live in the encrypted companion; unlock() opens it
    // with the password (its key is derived once, here).
    [[nodiscard]] UNSIGNED32 unlock(const Secret& password) override;
    [[nodiscard]] UNSIGNED32 encrypt(const Secret& password) override;
    [[nodiscard]] UNSIGNED32 decrypt(const Secret& password) override;

  private:
    Table() = default;
    // Where the file lies: a network file system or a folder that cannot be written makes the
    // table read-only (notWritable_), the latter opened immutable.
    [[nodiscard]] UNSIGNED32 placeCheck();
    [[nodiscard]] UNSIGNED32 openConnection(bool create);
    // Reads a plain table's file through a memory map, set up by mapForWalks() at the first read
    // of many rows (a walk's batch, a count): a table opened to read a record or two would only
    // pay for the map and its unmap (a costly TLB shootdown). The file of an encrypted table is
    // read a few times at open and then replaced by the rows file's connection: never mapped.
    // Called whenever the connection is made again.
    void mapRows();
    [[nodiscard]] UNSIGNED32 mapForWalks();
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

    pid_t pid_ = 0;
    LockFileCounter counter_;
    sql::Database db_;
    UNSIGNED32 pageSize_ = 4096;
    std::string selectList_;
    std::map<std::string, sql::Statement, std::less<>> statements_;
    bool countValid_ = false;
    bool functions_ = false;  // the expression language's functions are on the connection
    int64_t countCache_ = 0;
    uint64_t countCounter_ = 0;
    int64_t countDataVersion_ = 0;
    bool immutable_ = false;
    bool mapped_ = false;  // mapForWalks() set the map on this connection
    // A salted hash of the password that opened the companion, kept in memory only.
    unsigned char passwordSalt_[32] = {};
    unsigned char passwordHash_[32] = {};

    friend struct TableRegistryAccess;
};

}  // namespace engine

#endif
