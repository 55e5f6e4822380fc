#include "engine/sqlite/sqlite.h"

namespace engine::sql {

int Database::open(const std::string& path, int flags) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    db_.reset(raw);  // a handle is returned even on failure and must be closed
    if (rc != SQLITE_OK) return rc;
    sqlite3_extended_result_codes(raw, 0);
    sqlite3_limit(raw, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    sqlite3_limit(raw, SQLITE_LIMIT_SQL_LENGTH, kMaxStatementBytes);
    return SQLITE_OK;
}

int Database::exec(const std::string& sql) {
    return sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr);
}

int Database::prepare(std::string_view sql, Statement& out) const {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
    out.stmt_.reset(raw);
    return rc;
}

std::string Database::errorText() const {
    return db_ ? sqlite3_errmsg(db_.get()) : "the database is not open";
}

}  // namespace engine::sql
