// The row changes of a table: the statements that store a record's fields,
// its auto-increment counters, and the evaluation of an expression on one row.
#include "engine/expression.h"
#include "engine/last_error.h"
#include "engine/sqlite/table.h"

namespace engine {

namespace {

// The statements that store the given fields (parameters in field order): an INSERT (DEFAULT
// VALUES when none is given) and an UPDATE by rowid, its last parameter (empty when none is).
std::string insertSql(const Schema& schema, const std::vector<bool>& given) {
    std::string columns, marks;
    for (size_t i = 0; i < schema.fields.size(); ++i) {
        if (!given[i]) continue;
        if (!columns.empty()) {
            columns += ',';
            marks += ',';
        }
        columns += schema.fields[i].column();
        marks += '?';
    }
    if (columns.empty()) return "INSERT INTO \"main\".\"records\" DEFAULT VALUES";
    return "INSERT INTO \"main\".\"records\"(" + columns + ") VALUES(" + marks + ")";
}

std::string updateSql(const Schema& schema, const std::vector<bool>& given) {
    std::string sets;
    for (size_t i = 0; i < schema.fields.size(); ++i) {
        if (!given[i]) continue;
        if (!sets.empty()) sets += ',';
        sets += schema.fields[i].column();
        sets += "=?";
    }
    if (sets.empty()) return sets;
    return "UPDATE \"main\".\"records\" SET " + sets + " WHERE rowid=?";
}

// The tag a unique-constraint message names ("... index 'tag_NAME'").
std::string violatedTag(const std::string& message) {
    size_t at = message.find("tag_");
    if (at == std::string::npos) return "";
    std::string tag = message.substr(at + 4);
    size_t end = tag.find_first_of("'\"");
    return end == std::string::npos ? tag : tag.substr(0, end);
}

int bindGiven(sqlite3_stmt* stmt, const Schema& schema, const std::vector<bool>& given,
              const std::vector<Value>& values) {
    int at = 1;
    for (size_t i = 0; i < schema.fields.size(); ++i)
        if (given[i]) image::bind(stmt, at++, values[i]);
    return at;
}

}  // namespace

UNSIGNED32 Table::evaluate(const std::string& sql, int64_t rowid, const std::vector<Value>& values,
                           const std::vector<Value>& parameters, bool& result) {
    // The row as a one-row table under the column names the translation refers to.
    std::string query = "SELECT (" + sql + ") FROM (SELECT ? AS rowid";
    for (const FieldDef& f : schema_.fields) query += ", ? AS " + f.column();
    sqlite3_stmt* stmt = statement(query + ")");
    if (!stmt) return lastError().code;
    sql::ResetOnExit resetting(stmt);
    int at = 1;
    sqlite3_bind_int64(stmt, at++, rowid);
    for (const Value& v : values) image::bind(stmt, at++, v);
    for (const Value& v : parameters) image::bind(stmt, at++, v);
    if (sqlite3_step(stmt) != SQLITE_ROW) return sqlFailure("evaluate an expression on");
    result = sqlite3_column_int64(stmt, 0) != 0;
    return AE_SUCCESS;
}

UNSIGNED32 Table::changeFailure(int rc, const std::string& doing) {
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
        std::string tag = violatedTag(db_.errorText());
        return fail(AE_DUPLICATE_KEY, "The record cannot be written to the table " + file_ +
                                          ": the unique index tag " +
                                          (tag.empty() ? std::string("of the table") : tag) +
                                          " already holds its key.");
    }
    return sqlFailure(doing);
}

UNSIGNED32 Table::insertRow(const std::vector<bool>& given, const std::vector<Value>& values,
                            const std::string& doing, int64_t& rowid) {
    sqlite3_stmt* stmt = statement(insertSql(schema_, given));
    if (!stmt) return lastError().code;
    sql::ResetOnExit resetting(stmt);
    bindGiven(stmt, schema_, given, values);
    if (int rc = sqlite3_step(stmt); rc != SQLITE_DONE) return changeFailure(rc, doing);
    rowid = sqlite3_last_insert_rowid(db_.get());
    return AE_SUCCESS;
}

UNSIGNED32 Table::updateRow(int64_t rowid, const std::vector<bool>& given,
                            const std::vector<Value>& values, const std::string& doing,
                            bool& found) {
    found = true;
    const std::string sql = updateSql(schema_, given);
    if (sql.empty()) return AE_SUCCESS;
    sqlite3_stmt* stmt = statement(sql);
    if (!stmt) return lastError().code;
    sql::ResetOnExit resetting(stmt);
    sqlite3_bind_int64(stmt, bindGiven(stmt, schema_, given, values), rowid);
    if (int rc = sqlite3_step(stmt); rc != SQLITE_DONE) return changeFailure(rc, doing);
    found = sqlite3_changes(db_.get()) != 0;
    return AE_SUCCESS;
}

UNSIGNED32 Table::deleteRow(int64_t rowid, const std::string& doing) {
    sqlite3_stmt* stmt = statement("DELETE FROM \"main\".\"records\" WHERE rowid=?");
    if (!stmt) return lastError().code;
    sql::ResetOnExit resetting(stmt);
    sqlite3_bind_int64(stmt, 1, rowid);
    if (int rc = sqlite3_step(stmt); rc != SQLITE_DONE) return changeFailure(rc, doing);
    return AE_SUCCESS;
}

UNSIGNED32 Table::lastAutoincrement(const FieldDef& field, int64_t& last) {
    last = 0;
    const std::string key = "autoinc." + field.name;
    sqlite3_stmt* read = statement("SELECT value FROM velda_table WHERE key=?");
    if (!read) return lastError().code;
    {
        sql::ResetOnExit resetting(read);
        sqlite3_bind_text(read, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        int rc = sqlite3_step(read);
        if (rc == SQLITE_ROW) {
            last = sqlite3_column_int64(read, 0);
            return AE_SUCCESS;
        }
        if (rc != SQLITE_DONE) return sqlFailure("write to");
    }
    sqlite3_stmt* highest =
        statement("SELECT ifnull(max(" + field.column() + "),0) FROM \"main\".\"records\"");
    if (!highest) return lastError().code;
    sql::ResetOnExit resetting(highest);
    if (sqlite3_step(highest) != SQLITE_ROW) return sqlFailure("write to");
    last = sqlite3_column_int64(highest, 0);
    return AE_SUCCESS;
}

UNSIGNED32 Table::storeAutoincrement(const FieldDef& field, int64_t value) {
    const std::string key = "autoinc." + field.name;
    sqlite3_stmt* store = statement("INSERT OR REPLACE INTO velda_table(key, value) VALUES(?, ?)");
    if (!store) return lastError().code;
    sql::ResetOnExit resetting(store);
    sqlite3_bind_text(store, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(store, 2, value);
    if (sqlite3_step(store) != SQLITE_DONE) return sqlFailure("write to");
    return AE_SUCCESS;
}

UNSIGNED32 Table::openLocks(bool required, std::unique_ptr<HandleLocks>& out) {
    auto locks = std::make_unique<LockFile>();
    // A lock file that is a link or not a regular file is never tolerated.
    if (UNSIGNED32 rc = locks->open(file_, counter_.takeSpare());
        rc && (required || locks->unsafe()))
        return rc;
    out = std::move(locks);
    return AE_SUCCESS;
}

UNSIGNED32 Table::translateFilter(const std::string& text, const expression::Settings& settings,
                                  expression::Translation& out) {
    if (UNSIGNED32 rc = useFunctions()) return rc;
    return expression::translate(text, schema_, settings, db_.get(), out);
}

bool Table::inTransaction() const {
    return !sqlite3_get_autocommit(db_.get());
}

}  // namespace engine
