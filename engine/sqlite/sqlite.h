// Thin RAII over SQLite (SQLite3 Multiple Ciphers, writing SQLCipher 3 files). Internal to
// engine/.
#ifndef VELDA_ENGINE_SQLITE_H
#define VELDA_ENGINE_SQLITE_H

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace engine::sql {

// Bounds every connection is opened with, so that no statement, filter or value can take the
// process's memory: a text or binary value (and so a whole row) of at most 256 MiB, a statement
// text of at most 16 MiB. Beyond them SQLite answers SQLITE_TOOBIG.
constexpr int kMaxValueBytes = 256 * 1024 * 1024;
constexpr int kMaxStatementBytes = 16 * 1024 * 1024;

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

class Statement;

// One open SQLite database file.
class Database {
  public:
    Database() = default;
    // Opens the file with the bounds above; flags as for sqlite3_open_v2. Returns the SQLite
    // result code.
    int open(const std::string& path, int flags);
    bool isOpen() const { return db_ != nullptr; }
    sqlite3* get() const { return db_.get(); }
    void close() { db_.reset(); }

    int exec(const std::string& sql);
    // Prepares a statement; on failure the statement is empty and the result code returned.
    int prepare(std::string_view sql, Statement& out) const;
    std::string errorText() const;
    int64_t lastInsertRowid() const { return sqlite3_last_insert_rowid(db_.get()); }
    int changes() const { return sqlite3_changes(db_.get()); }

  private:
    std::unique_ptr<sqlite3, DatabaseCloser> db_;
};

// A prepared statement. Binding indexes are 1-based, column indexes 0-based.
class Statement {
  public:
    Statement() = default;
    bool isPrepared() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_.get(); }

    int step() { return sqlite3_step(stmt_.get()); }
    void reset() {
        sqlite3_reset(stmt_.get());
        sqlite3_clear_bindings(stmt_.get());
    }
    void bindNull(int i) { sqlite3_bind_null(stmt_.get(), i); }
    void bindInt(int i, int64_t v) { sqlite3_bind_int64(stmt_.get(), i, v); }
    void bindDouble(int i, double v) { sqlite3_bind_double(stmt_.get(), i, v); }
    void bindText(int i, std::string_view v) {
        sqlite3_bind_text(stmt_.get(), i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    void bindBlob(int i, const void* data, size_t size) {
        sqlite3_bind_blob(stmt_.get(), i, data, static_cast<int>(size), SQLITE_TRANSIENT);
    }

    int columnType(int c) const { return sqlite3_column_type(stmt_.get(), c); }
    bool isNull(int c) const { return columnType(c) == SQLITE_NULL; }
    int64_t columnInt(int c) const { return sqlite3_column_int64(stmt_.get(), c); }
    double columnDouble(int c) const { return sqlite3_column_double(stmt_.get(), c); }
    std::string columnText(int c) const {
        const unsigned char* t = sqlite3_column_text(stmt_.get(), c);
        return t ? std::string(reinterpret_cast<const char*>(t),
                               static_cast<size_t>(sqlite3_column_bytes(stmt_.get(), c)))
                 : std::string();
    }
    std::string columnBlob(int c) const {
        const void* b = sqlite3_column_blob(stmt_.get(), c);
        return b ? std::string(static_cast<const char*>(b),
                               static_cast<size_t>(sqlite3_column_bytes(stmt_.get(), c)))
                 : std::string();
    }

  private:
    friend class Database;
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> stmt_;
};

// Resets a cached statement when the scope ends, on every path. Declared after the statement is
// found, so a failure is read from the connection (for its text) before the reset.
class ResetOnExit {
  public:
    explicit ResetOnExit(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~ResetOnExit() {
        if (stmt_) sqlite3_reset(stmt_);
    }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

  private:
    sqlite3_stmt* stmt_;
};

}  // namespace engine::sql

#endif
