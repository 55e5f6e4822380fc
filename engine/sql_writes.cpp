#include "engine/sql_writes.h"
#include "engine/transaction.h"

#include <cctype>
#include <cstdio>

#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/paths.h"
#include "engine/sqlite/locks.h"
#include "engine/statement.h"

namespace engine::writes {

namespace {

// A result value as the text AdsSetField would be given, so that the field's own checks apply.
std::string textOf(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Integer:
            return std::to_string(v.integer);
        case Value::Kind::Real: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.17g", v.real);
            return buf;
        }
        case Value::Kind::Text:
            return codepage::fromUtf8(v.bytes, codepage::CodePage::Ansi1252);
        case Value::Kind::Blob:
            return v.bytes;
        case Value::Kind::Null:
            break;
    }
    return "";
}

// The stored form of a value for a field; AE_COLUMN_VALUE naming the column when it does not fit.
UNSIGNED32 storedValue(const FieldDef& field, const Value& given, Value& out) {
    if (given.isNull()) {
        out = Value{};
        return AE_SUCCESS;
    }
    if (given.kind == Value::Kind::Blob && field.storage() == ColumnClass::Blob) {
        out = given;
        return AE_SUCCESS;
    }
    if (field.type == ADS_LOGICAL && given.kind == Value::Kind::Integer &&
        (given.integer == 0 || given.integer == 1)) {
        out = given;
        return AE_SUCCESS;
    }
    if (image::fromText(field, textOf(given), out) == AE_SUCCESS) return AE_SUCCESS;
    // The field's own refusal, worded for a statement: "... column "NAME" cannot take ...".
    std::string why = lastError().message;
    if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    return fail(AE_COLUMN_VALUE, "The SQL statement changed nothing: " + why);
}

UNSIGNED32 columnOf(const Storage& table, const std::string& name, size_t& out) {
    int found = table.schema().fieldByName(name);
    if (found < 0)
        return fail(AE_COLUMN_NOT_FOUND, "The SQL statement names column \"" + name +
                                             "\", which the table " + table.file() +
                                             " does not have.");
    out = static_cast<size_t>(found);
    return AE_SUCCESS;
}

// One change the statement makes: the row (0 for a new one) and its values by field.
struct Change {
    int64_t rowid = 0;
    std::vector<Value> values;
    std::vector<bool> given;
};

UNSIGNED32 stepFailure(sql::Database& db, const std::string& doing) {
    int rc = sqlite3_errcode(db.get());
    return fail(rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? AE_LOCKED : AE_IO_ERROR,
                "Could not " + doing + ": " + db.errorText() + ".");
}

// Reads the rows to change and their new values (nothing is changed yet).
UNSIGNED32 collect(SqlStatement& s, const Target& target, int columns, const ReadRows& read,
                   std::vector<Change>& changes) {
    const auto kind = s.translation.kind;
    const auto& w = s.translation.write;
    const Storage& table = *target.table;
    const Schema& schema = table.schema();
    std::vector<size_t> fields;
    if (kind == sqldialect::StatementKind::Insert && w.columns.empty()) {
        for (size_t i = 0; i < schema.fields.size(); ++i) fields.push_back(i);
    } else {
        for (const std::string& column : w.columns) {
            size_t f = 0;
            if (UNSIGNED32 rc = columnOf(table, sqldialect::written(s.translation, column), f))
                return rc;
            fields.push_back(f);
        }
    }
    const int first = kind == sqldialect::StatementKind::Insert ? 0 : 1;
    if (kind != sqldialect::StatementKind::Delete &&
        columns - first != static_cast<int>(fields.size()))
        return fail(AE_SQL_SYNTAX, "The SQL statement gives " + std::to_string(columns - first) +
                                       " values for " + std::to_string(fields.size()) +
                                       " columns of the table " + table.file() + ".");
    return read([&](std::vector<Value>& row) -> UNSIGNED32 {
        Change change;
        change.values.assign(schema.fields.size(), Value{});
        change.given.assign(schema.fields.size(), false);
        if (first) change.rowid = row[0].integer;
        if (kind != sqldialect::StatementKind::Delete) {
            for (size_t k = 0; k < fields.size(); ++k) {
                if (UNSIGNED32 code = storedValue(schema.fields[fields[k]], row[k + first],
                                                  change.values[fields[k]]))
                    return code;
                change.given[fields[k]] = true;
            }
        }
        changes.push_back(std::move(change));
        return AE_SUCCESS;
    });
}

UNSIGNED32 apply(SqlStatement& s, TableHandle& h, std::vector<Change>& changes) {
    Storage& t = *h.table;
    const auto kind = s.translation.kind;
    for (Change& change : changes) {
        UNSIGNED32 rc = AE_SUCCESS;
        if (kind == sqldialect::StatementKind::Delete) {
            rc = t.deleteRow(change.rowid, "change");
        } else if (kind == sqldialect::StatementKind::Update) {
            bool found = true;
            rc = t.updateRow(change.rowid, change.given, change.values, "change", found);
        } else {
            h.restorePending(change.values, change.given);
            if (UNSIGNED32 code = writer::assignAutoincrements(h)) return code;
            int64_t rowid = 0;
            rc = t.insertRow(h.changedFields(), h.pendingValues(), "change", rowid);
            if (rc == AE_SUCCESS) s.lastAutoinc = h.lastAutoinc;
        }
        if (rc == AE_DUPLICATE_KEY)
            return fail(AE_DUPLICATE_KEY, "The SQL statement cannot change the table " + t.file() +
                                              ": a unique index tag already holds a key it "
                                              "gives. Nothing was changed.");
        if (rc != AE_SUCCESS) return rc;
    }
    return AE_SUCCESS;
}

}  // namespace

UNSIGNED32 run(SqlStatement& s, const Target& target, int columns, const ReadRows& read) {
    const std::string& name = target.name;
    std::shared_ptr<Storage> table = target.table;
    if (table->encrypted()) {
        const Secret* password = s.passwordFor(target.names);
        if (!password)
            return fail(
                AE_WRONG_PASSWORD,
                "The table " + name + " is encrypted; give the SQL statement its password.");
        std::lock_guard lock(table->mutex());
        if (UNSIGNED32 rc = table->unlock(*password)) return rc;
    }
    std::vector<Change> changes;
    if (UNSIGNED32 rc = collect(s, target, columns, read, changes)) return rc;

    // The statement's own handle on the table: its locks (a lock-file descriptor of its own in
    // a folder, its own holder of advisory locks on a server) hold the rows it changes until it
    // is done, as a user's handle would.
    TableHandle h;
    h.table = table;
    if (UNSIGNED32 rc = table->openLocks(true, h.locks)) return rc;
    if (!h.locks->lockTableShared())
        return fail(AE_LOCKED, "The table " + name +
                                   " is opened exclusively by another user or handle; the SQL "
                                   "statement changed nothing.");
    if (s.translation.kind != sqldialect::StatementKind::Insert) {
        for (const Change& change : changes) {
            auto record = static_cast<uint32_t>(change.rowid);
            if (!h.locks->lockRecord(record))
                return fail(AE_LOCKED, "Record " + std::to_string(change.rowid) + " of the table " +
                                           name +
                                           " is locked by another user or handle; the SQL "
                                           "statement changed nothing.");
        }
    }
    // One transaction of its own (statements that change rows are refused inside a connection's
    // transaction before they get here).
    std::lock_guard lock(table->mutex());
    transaction::WriteScope scope(h);
    if (UNSIGNED32 rc = scope.begin()) return rc;
    if (UNSIGNED32 rc = apply(s, h, changes)) return rc;
    return scope.commit();
}

UNSIGNED32 run(SqlStatement& s, sql::Statement& select, AttachedTable& target) {
    Target t;
    t.table = target.table;
    t.name = s.translation.write.table;
    t.names = target.views;
    t.names.push_back(paths::fileName(target.file));
    const int columns = sqlite3_column_count(select.get());
    UNSIGNED32 rc = run(s, t, columns, [&](const RowSink& sink) -> UNSIGNED32 {
        int step;
        std::vector<Value> row(static_cast<size_t>(columns));
        while ((step = select.step()) == SQLITE_ROW) {
            for (int k = 0; k < columns; ++k) row[k] = image::columnValue(select.get(), k);
            if (UNSIGNED32 code = sink(row)) return code;
        }
        if (step != SQLITE_DONE)
            return stepFailure(s.session->db, "read the rows the SQL statement changes");
        select = sql::Statement();
        return AE_SUCCESS;
    });
    select = sql::Statement();
    return rc;
}

}  // namespace engine::writes
