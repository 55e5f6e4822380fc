#include "engine/server_statements.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/codepage.h"
#include "engine/connection.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/paths.h"
#include "engine/postgres/functions.h"
#include "engine/postgres/session.h"
#include "engine/postgres/table.h"
#include "engine/result_cursor.h"
#include "engine/sql_writes.h"
#include "engine/statement.h"

namespace engine::serversql {

namespace {

using postgres::Params;
using postgres::Result;
using postgres::ServerTable;
using postgres::Session;

std::string ansi(const std::string& utf8) {
    return codepage::fromUtf8(utf8, codepage::CodePage::Ansi1252);
}

std::string utf8(const std::string& ansi) {
    return codepage::toUtf8(ansi, codepage::CodePage::Ansi1252);
}

std::string upperAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool endsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && equalsNoCase(s.substr(s.size() - tail.size()), tail);
}

std::string withoutExtension(const std::string& name) {
    std::string file = paths::fileName(name);
    size_t dot = file.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, name.size() - (file.size() - dot));
}

// What identifies a table and its structure on the server: its number (a deleted and re-created
// table has another), encryption, fields and index tags.
std::string fingerprint(const ServerTable& table) {
    std::string out = std::to_string(table.id()) + ":" + (table.encrypted() ? "E" : "P");
    for (const FieldDef& f : table.schema().fields)
        out += ";" + f.name + "," + std::to_string(f.type) + "," + std::to_string(f.declared) +
               "," + std::to_string(f.decimals);
    for (const IndexDef& index : table.schema().indexes) out += "|" + index.name;
    return out;
}

// A table the statement names, and the view the call made for it.
struct View {
    std::string name;     // upper-cased, as the statement's text names it on the server
    std::string written;  // as the statement wrote it
    std::shared_ptr<ServerTable> table;
    unsigned oid = 0;
};

// One call of a statement on the server: the session held, the views made (dropped when the call
// ends), and failed attempts kept out of an open transaction.
class Call {
  public:
    Call(SqlStatement& statement, Connection& connection)
        : s_(statement),
          connection_(connection),
          session_(*connection.session()),
          lock_(session_.mutex()) {}
    ~Call() {
        std::string drop;
        for (const View& v : views_)
            drop += "DROP VIEW IF EXISTS pg_temp." + quoteIdentifier(v.name) + ";";
        if (!drop.empty()) {
            const LastError kept = lastError();
            (void)guarded([&] { return session_.exec(drop); });
            (void)restore(kept);
        }
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    Session& session() { return session_; }
    const std::vector<View>& views() const { return views_; }
    View* byName(const std::string& name) {
        for (View& v : views_)
            if (v.name == name) return &v;
        return nullptr;
    }
    const View* byOid(unsigned oid) const {
        for (const View& v : views_)
            if (v.oid == oid) return &v;
        return nullptr;
    }

    // Runs `run` so that its failure does not abort a transaction open on the session.
    template <class Run>
    Result guarded(Run run) {
        if (!session_.inTransaction()) return run();
        Result mark = session_.exec("SAVEPOINT velda_statement");
        if (!mark.ok()) return mark;
        Result r = run();
        (void)session_.exec(r.ok() ? "RELEASE SAVEPOINT velda_statement"
                                   : "ROLLBACK TO SAVEPOINT velda_statement; "
                                     "RELEASE SAVEPOINT velda_statement");
        return r;
    }

    // Prepares `sql` (the server's dialect), making the views of the tables it names.
    UNSIGNED32 describe(const std::string& sql, Result& out) {
        if (!functionsReady_) {
            if (UNSIGNED32 rc =
                    postgres::ensureFunctions(session_, "prepare the SQL functions in",
                                              "the database of " + connection_.serverPath()))
                return rc;
            functionsReady_ = true;
        }
        // Each round makes at most one view; a statement names at most a few tables.
        for (int round = 0; round < 64; ++round) {
            out = guarded([&] { return session_.describe(sql); });
            if (out.ok()) return AE_SUCCESS;
            if (out.state() != "42P01") return failure(out, sql);
            std::string name = missingRelation(out.message());
            if (name.empty() || byName(name)) return failure(out, sql);
            if (UNSIGNED32 rc = makeView(name)) return rc;
        }
        return fail(AE_INTERNAL, "The SQL statement names too many tables.");
    }

    // The engine's error for a failed statement (not a missing table); `reading`: it failed
    // while its rows were read, as a folder's SQLite fails in a step.
    UNSIGNED32 failure(const Result& r, const std::string& sql, bool reading = false) {
        const std::string state = r.state();
        const std::string message = r.message();
        const sqldialect::Translation& t = s_.translation;
        if (state.empty() || state.rfind("08", 0) == 0 || state.rfind("57P", 0) == 0 ||
            state == "55P03" || state == "40001" || state == "40P01" || state == "53100")
            return session_.failure(r, "run", "the SQL statement");
        if (state == "57014") return statement::timedOut(s_);
        if (state == "42601") {
            const std::string at = "syntax error at or near \"";
            if (message.rfind(at, 0) == 0 && message.size() > at.size()) {
                std::string near = message.substr(at.size(), message.size() - at.size() - 1);
                int offset = sql == t.sql ? byteOffset(sql, r.position()) : -1;
                return fail(AE_SQL_SYNTAX, "Syntax error in the SQL statement " +
                                               sqldialect::locate(t, near, offset) + ".");
            }
            if (message == "syntax error at end of input") {
                if (!t.origins.empty())
                    return fail(AE_SQL_SYNTAX, "Syntax error in the SQL statement " +
                                                   sqldialect::locate(t.origins.back()) + ".");
                return fail(AE_SQL_SYNTAX, "Syntax error in the SQL statement " +
                                               sqldialect::locate(t, "") + ": it ends too early.");
            }
        }
        if (state == "42703") {
            // column "X" does not exist / column T.X does not exist
            std::string name = message;
            if (name.rfind("column ", 0) == 0) name.erase(0, 7);
            size_t end = name.find(" does not exist");
            if (end != std::string::npos) name.resize(end);
            name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
            std::string shown;
            size_t from = 0;
            while (true) {
                size_t dot = name.find('.', from);
                shown += sqldialect::written(t, ansi(name.substr(from, dot - from)));
                if (dot == std::string::npos) break;
                shown += ".";
                from = dot + 1;
            }
            return fail(AE_COLUMN_NOT_FOUND, "The SQL statement names column \"" + shown +
                                                 "\", which none of its tables has.");
        }
        if (state == "54001")
            return fail(AE_SQL_SYNTAX,
                        "The SQL statement is too large or too deeply nested for the engine (" +
                            message + ").");
        if (reading)
            return fail(AE_IO_ERROR, "Could not run the SQL statement: " + ansi(message) + ".");
        return fail(AE_SQL_SYNTAX, "The SQL statement cannot run: " + ansi(message) + ".");
    }

    // Shares every table of the statement as an open handle does, while the call runs: a table
    // opened exclusively elsewhere is not read; and refuses tables in an open transaction.
    UNSIGNED32 shareTables() {
        for (const View& v : views_) {
            std::unique_ptr<HandleLocks> share;
            if (UNSIGNED32 rc = v.table->openLocks(false, share)) return rc;
            if (share && !share->lockTableShared())
                return fail(AE_LOCKED, "The table " + v.written +
                                           " is opened exclusively by another user or handle; "
                                           "the SQL statement cannot use it now.");
            if (share) shares_.push_back(std::move(share));
            if (v.table->transactionOwner() != 0)
                return fail(AE_LOCKED, "The table " + v.written +
                                           " has changes in an open transaction; the SQL "
                                           "statement cannot use it until the transaction is "
                                           "committed or rolled back.");
        }
        return AE_SUCCESS;
    }

    // The password checks of the statement's tables (each call checks them again: the statement's
    // passwords may have changed since).
    UNSIGNED32 checkPassword(const View& v) {
        if (!v.table->encrypted()) return AE_SUCCESS;
        const Secret* password =
            s_.passwordFor({v.written, paths::fileName(v.table->file()), v.name});
        if (!password)
            return fail(AE_WRONG_PASSWORD, "The table " + v.written +
                                               " is encrypted; give the SQL statement its "
                                               "password.");
        std::lock_guard lock(v.table->mutex());
        if (v.table->unlock(*password) != AE_SUCCESS)
            return fail(AE_WRONG_PASSWORD,
                        "The password given to the SQL statement does not open "
                        "the encrypted table " +
                            v.written + ".");
        return AE_SUCCESS;
    }

  private:
    // The name in 'relation "pg_temp.NAME" does not exist' (or without the schema).
    static std::string missingRelation(const std::string& message) {
        size_t open = message.find('"');
        size_t close = message.rfind('"');
        if (open == std::string::npos || close <= open) return "";
        std::string name = message.substr(open + 1, close - open - 1);
        if (name.rfind("pg_temp.", 0) == 0) name.erase(0, 8);
        return name;
    }

    // The byte offset in `sql` of the server's character position (from 1); -1 for none.
    static int byteOffset(const std::string& sql, int position) {
        if (position <= 0) return -1;
        int chars = 0;
        for (size_t i = 0; i < sql.size(); ++i) {
            if ((static_cast<unsigned char>(sql[i]) & 0xC0) == 0x80) continue;
            if (++chars == position) return static_cast<int>(i);
        }
        return -1;
    }

    // The table a name stands for, found as AdsOpenTable finds it ("X.ADT" also as "X" in a
    // dictionary).
    UNSIGNED32 resolve(const std::string& written, std::shared_ptr<ServerTable>& out) {
        if (UNSIGNED32 rc = statement::refuseOtherPlace(connection_, written)) return rc;
        std::shared_ptr<Storage> storage;
        UNSIGNED32 rc = connection_.openStorage(written, storage);
        if (rc == AE_NOT_IN_DICTIONARY && endsWithNoCase(written, ".adt")) {
            const LastError first = lastError();
            rc = connection_.openStorage(withoutExtension(written), storage);
            if (rc == AE_NOT_IN_DICTIONARY) return restore(first);
        }
        if (rc == AE_FILE_NOT_FOUND) {
            std::string file;
            if (connection_.resolveTable(written, file) != AE_SUCCESS) file = written;
            return fail(AE_FILE_NOT_FOUND, "The table " + written +
                                               " named in the SQL statement does not exist (" +
                                               file + ").");
        }
        if (rc) return rc;
        out = std::dynamic_pointer_cast<ServerTable>(storage);
        if (!out) return fail(AE_INTERNAL, "The table " + written + " is not on the server.");
        return AE_SUCCESS;
    }

    UNSIGNED32 makeView(const std::string& name) {
        View v;
        v.name = name;
        v.written = sqldialect::written(s_.translation, ansi(name));
        // The server cuts names to 63 bytes: the statement's own name is the one cut so.
        if (name.size() >= 63)
            for (const auto& [folded, as] : s_.translation.written)
                if (utf8(folded).compare(0, name.size(), name) == 0 &&
                    s_.translation.tables.count(folded))
                    v.written = as;
        if (UNSIGNED32 rc = resolve(v.written, v.table)) return rc;
        if (UNSIGNED32 rc = checkPassword(v)) return rc;
        std::string sql = "CREATE OR REPLACE TEMP VIEW " + quoteIdentifier(name) + " AS SELECT ";
        const auto& fields = v.table->schema().fields;
        for (size_t i = 0; i < fields.size(); ++i)
            sql += std::string(i ? ", " : "") + fields[i].column() + " AS " +
                   quoteIdentifier(utf8(upperAscii(fields[i].name)));
        if (s_.translation.recordOrder)
            sql += std::string(", ") + ServerTable::recordColumn() + " AS \"velda_recno\"";
        sql += " FROM " + v.table->rowsTable();
        Result made = guarded([&] { return session_.exec(sql); });
        if (!made.ok()) return session_.failure(made, "open the table", v.written);
        views_.push_back(v);
        Params params;
        params.addText(name);
        Result oid = session_.run(
            "SELECT oid FROM pg_class WHERE relname=$1 AND relnamespace=pg_my_temp_schema()",
            params);
        if (!oid.ok() || oid.rows() != 1) return session_.failure(oid, "open the table", v.written);
        views_.back().oid = static_cast<unsigned>(oid.integer(0, 0));
        return AE_SUCCESS;
    }

    SqlStatement& s_;
    Connection& connection_;
    Session& session_;
    std::lock_guard<std::recursive_mutex> lock_;
    std::vector<View> views_;
    std::vector<std::unique_ptr<HandleLocks>> shares_;
    bool functionsReady_ = false;
};

// What runs on the server for the statement: a SELECT as it is; for a change, the query that
// selects the rows it changes (their record numbers) and their new values from the target's own
// rows table, under the statement's name for it.
UNSIGNED32 prepareRun(SqlStatement& s, Call& call, std::string& sql, Result& described,
                      View** target) {
    const sqldialect::Translation& t = s.translation;
    if (t.kind == sqldialect::StatementKind::Select) {
        sql = t.sql;
        return call.describe(sql, described);
    }
    const sqldialect::Translation::Write& w = t.write;
    Result probe;
    if (UNSIGNED32 rc =
            call.describe("SELECT * FROM pg_temp." + quoteIdentifier(utf8(w.table)), probe))
        return rc;
    View* view = call.byName(utf8(w.table));
    if (!view) return fail(AE_INTERNAL, "The SQL engine lost the table " + w.table + ".");
    *target = view;
    std::string rows = "(SELECT " + std::string(ServerTable::recordColumn());
    for (const FieldDef& f : view->table->schema().fields)
        rows += ", " + f.column() + " AS " + quoteIdentifier(utf8(upperAscii(f.name)));
    rows += " FROM " + view->table->rowsTable() + ") AS " + quoteIdentifier(utf8(w.alias));
    switch (t.kind) {
        case sqldialect::StatementKind::Insert:
            sql = w.source;
            break;
        case sqldialect::StatementKind::Update:
            sql = std::string("SELECT ") + ServerTable::recordColumn();
            for (const std::string& value : w.values) sql += ", (" + value + ")";
            sql += " FROM " + rows;
            break;
        default:
            sql = std::string("SELECT ") + ServerTable::recordColumn() + " FROM " + rows;
            break;
    }
    if (!w.where.empty()) sql += " WHERE " + w.where;
    return call.describe(sql, described);
}

// A value of a result row as the engine keeps it, from its text and the column's type; a whole
// number the server computed as numeric (SUM of integers) stays whole, as it does in a folder.
Value valueOf(unsigned type, const char* text, int length) {
    Value v = postgres::valueOfText(type, text, length);
    if (v.kind == Value::Kind::Real && type == 1700) {
        bool whole = *text != '\0';
        for (const char* p = text; *p; ++p)
            if (!(std::isdigit(static_cast<unsigned char>(*p)) || (p == text && *p == '-')))
                whole = false;
        if (whole && std::strlen(text) < 19)
            return Value::ofInteger(std::strtoll(text, nullptr, 10));
    }
    return v;
}

Value valueOf(const Result& r, int column) {
    if (r.isNull(0, column)) return Value{};
    return valueOf(r.columnType(column), r.text(0, column), r.length(0, column));
}

// The rows of a SELECT, read from the server one by one as they come: as COPY's lines when the
// statement has no parameters (COPY takes none), else as a result a row.
class ServerRows final : public result::RowSource {
  public:
    ServerRows(SqlStatement& s, Call& call, const std::string& sql, const Result& described,
               const Params& params)
        : s_(s), call_(call), sql_(sql), described_(described), params_(params) {}

    std::vector<result::Column> columns() override {
        std::vector<result::Column> out;
        for (int i = 0; i < described_.columns(); ++i) {
            result::Column c;
            if (const View* v = call_.byOid(described_.sourceTable(i))) {
                const auto& fields = v->table->schema().fields;
                int k = described_.sourceColumn(i);
                if (k >= 1 && static_cast<size_t>(k) <= fields.size()) {
                    c.field = fields[static_cast<size_t>(k - 1)];
                    c.known = true;
                }
            }
            // The server names a column by its alias, its (upper-cased) field, or an expression
            // by its own choice ("count", "?column?"), which in a folder is an unnamed EXPR.
            const std::string name = described_.columnName(i);
            if (c.known && equalsNoCase(ansi(name), c.field.name))
                c.name = c.field.name;
            else if (s_.translation.written.count(ansi(name)))
                c.name = sqldialect::written(s_.translation, ansi(name));
            out.push_back(std::move(c));
        }
        return out;
    }

    UNSIGNED32 copy(sql::Database& rows, const std::string& /*uri*/,
                    const std::string& columns) override {
        if (rows.exec("CREATE TABLE \"main\".\"records\"" + columns) != SQLITE_OK)
            return fail(AE_INTERNAL,
                        "Could not make room for the SQL result: " + rows.errorText() + ".");
        const int n = described_.columns();
        std::string insert = "INSERT INTO \"main\".\"records\" VALUES(";
        for (int i = 0; i < n; ++i) insert += i ? ",?" : "?";
        insert += ")";
        sql::Statement add;
        if (rows.prepare(insert, add) != SQLITE_OK)
            return fail(AE_INTERNAL,
                        "Could not make room for the SQL result: " + rows.errorText() + ".");
        rows.exec("BEGIN");
        UNSIGNED32 failed = AE_SUCCESS;
        auto store = [&] {
            if (add.step() != SQLITE_DONE)
                failed =
                    fail(AE_INTERNAL, "Could not keep the SQL result: " + rows.errorText() + ".");
            add.reset();
        };
        Result end = call_.guarded([&] {
            if (params_.size() != 0 || n == 0)
                return call_.session().stream(sql_, params_, [&](const Result& row) {
                    if (failed) return;
                    for (int i = 0; i < n; ++i) image::bind(add.get(), i + 1, valueOf(row, i));
                    store();
                });
            return call_.session().copyRows(
                sql_, [&](const std::vector<postgres::CopyField>& fields) {
                    if (!failed && fields.size() != static_cast<size_t>(n))
                        failed = fail(AE_INTERNAL,
                                      "Could not keep the SQL result: the server sent a row of " +
                                          std::to_string(fields.size()) + " values for " +
                                          std::to_string(n) + " columns.");
                    if (failed) return;
                    for (int i = 0; i < n; ++i) {
                        const postgres::CopyField& f = fields[static_cast<size_t>(i)];
                        const unsigned type = described_.columnType(i);
                        // A text is bound where it lies: the line outlives the insert.
                        if (!f.null && postgres::keptAsText(type))
                            sqlite3_bind_text(add.get(), i + 1, f.text, f.length, SQLITE_STATIC);
                        else
                            image::bind(add.get(), i + 1,
                                        f.null ? Value{} : valueOf(type, f.text, f.length));
                    }
                    store();
                });
        });
        if (failed) return failed;
        if (!end.ok()) return call_.failure(end, sql_, true);
        if (rows.exec("COMMIT") != SQLITE_OK)
            return fail(AE_INTERNAL, "Could not keep the SQL result: " + rows.errorText() + ".");
        return AE_SUCCESS;
    }

  private:
    SqlStatement& s_;
    Call& call_;
    const std::string& sql_;
    const Result& described_;
    const Params& params_;
};

// The statement's parameters for the server; fails naming one that has no value.
UNSIGNED32 parametersOf(const SqlStatement& s, Params& out) {
    for (size_t i = 0; i < s.parameters.size(); ++i) {
        const Parameter& p = s.parameters[i];
        if (!p.given) return statement::missingParameter(s, i);
        out.add(p.value);
    }
    return AE_SUCCESS;
}

// The statement's time limit on the server, for one execution; the session's own setting again
// when it ends.
class TimeLimit {
  public:
    TimeLimit(Call& call, std::chrono::milliseconds limit) : call_(call) {
        set_ =
            call_.session().exec("SET statement_timeout = " + std::to_string(limit.count())).ok();
    }
    ~TimeLimit() {
        if (set_) (void)call_.session().exec("RESET statement_timeout");
    }
    TimeLimit(const TimeLimit&) = delete;
    TimeLimit& operator=(const TimeLimit&) = delete;

  private:
    Call& call_;
    bool set_ = false;
};

}  // namespace

UNSIGNED32 prepare(SqlStatement& s, const std::string& text) {
    s.prepared = false;
    auto connection = connectionFor(s.connection);
    if (!connection) return AE_INVALID_CONNECTION;
    if (UNSIGNED32 rc = sqldialect::translate(text, s.translation, sqldialect::Target::Postgres))
        return rc;
    Call call(s, *connection);
    std::string sql;
    Result described;
    View* target = nullptr;
    if (UNSIGNED32 rc = prepareRun(s, call, sql, described, &target)) return rc;
    s.fingerprints.clear();
    for (const View& v : call.views()) s.fingerprints[v.table->file()] = fingerprint(*v.table);
    s.text = text;
    s.parameters.assign(s.translation.parameters.size(), Parameter{});
    s.prepared = true;
    return AE_SUCCESS;
}

UNSIGNED32 execute(SqlStatement& s, ADSHANDLE* cursor) {
    auto connection = connectionFor(s.connection);
    if (!connection) return AE_INVALID_CONNECTION;
    Call call(s, *connection);
    std::string sql;
    Result described;
    View* target = nullptr;
    if (UNSIGNED32 rc = prepareRun(s, call, sql, described, &target)) return rc;
    for (const View& v : call.views()) {
        auto it = s.fingerprints.find(v.table->file());
        if (it == s.fingerprints.end() || it->second != fingerprint(*v.table))
            return fail(AE_PREPARE_AGAIN, "The structure of the table " + v.table->file() +
                                              " changed after the SQL statement was prepared; "
                                              "prepare it again.");
    }
    Params params;
    if (UNSIGNED32 rc = parametersOf(s, params)) return rc;
    if (UNSIGNED32 rc = call.shareTables()) return rc;
    if (s.translation.kind != sqldialect::StatementKind::Select &&
        connection->transaction().active())
        return fail(AE_TRANSACTION_OPEN,
                    "SQL statements that change rows cannot run inside a transaction; commit "
                    "or roll back the transaction first.");
    TimeLimit limit(call, s.session->timeLimit);
    if (s.translation.kind == sqldialect::StatementKind::Select) {
        ServerRows rows(s, call, sql, described, params);
        return result::open(s, rows, cursor);
    }
    writes::Target changed;
    changed.table = target->table;
    changed.name = target->written;
    changed.names = {target->written, paths::fileName(target->table->file()), target->name};
    return writes::run(s, changed, described.columns(), [&](const writes::RowSink& sink) {
        UNSIGNED32 failed = AE_SUCCESS;
        const int n = described.columns();
        std::vector<Value> row(static_cast<size_t>(n));
        Result end = call.guarded([&] {
            return call.session().stream(sql, params, [&](const Result& r) {
                if (failed) return;
                for (int i = 0; i < n; ++i) row[static_cast<size_t>(i)] = valueOf(r, i);
                failed = sink(row);
            });
        });
        if (failed) return failed;
        if (!end.ok()) return call.failure(end, sql, true);
        return UNSIGNED32{AE_SUCCESS};
    });
}

}  // namespace engine::serversql
