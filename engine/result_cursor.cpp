#include "engine/result_cursor.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <set>

#include "engine/codepage.h"
#include "engine/connection.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/statement.h"

namespace engine::result {

namespace {

constexpr const char* kResultSchema = "velda_result";

class ResultHandle : public TableHandle {
  public:
    HandleKind kind() const override { return HandleKind::Cursor; }
};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool plainName(const std::string& name) {
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
        return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ' ' ||
              static_cast<unsigned char>(c) >= 0x80))
            return false;
    return true;
}

const char* declaredType(const FieldDef& f) {
    switch (f.storage()) {
        case ColumnClass::Integer:
            return " INTEGER";
        case ColumnClass::Real:
            return " REAL";
        case ColumnClass::Text:
            return " TEXT";
        case ColumnClass::Blob:
            return " BLOB";
    }
    return "";
}

FieldDef fieldOfSpec(const std::string& spec) {
    std::vector<FieldDef> fields;
    if (parseFieldList("X," + spec, "SQL result", fields) != AE_SUCCESS || fields.empty())
        return FieldDef{};
    return fields.front();
}

// Types computed columns by the values they produced.
UNSIGNED32 typeComputed(sql::Database& rows, Schema& schema, const std::vector<size_t>& computed) {
    if (computed.empty()) return AE_SUCCESS;
    std::string sql = "SELECT ";
    for (size_t k = 0; k < computed.size(); ++k) {
        std::string c = schema.fields[computed[k]].column();
        sql += std::string(k ? "," : "") + "max(typeof(" + c + ")='text'),max(typeof(" + c +
               ")='real'),max(typeof(" + c + ")='integer'),max(typeof(" + c +
               ")='blob'),max(CASE WHEN typeof(" + c + ")='text' THEN length(" + c +
               ") END),min(CASE WHEN typeof(" + c + ")='text' THEN length(" + c + ")=10 AND " + c +
               " GLOB '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]' END),max(CASE WHEN typeof(" + c +
               ")='integer' THEN abs(" + c + ") END)";
    }
    sql::Statement stats;
    if (rows.prepare(sql + " FROM \"main\".\"records\"", stats) != SQLITE_OK ||
        stats.step() != SQLITE_ROW)
        return fail(AE_INTERNAL,
                    "Could not type the columns of the SQL result: " + rows.errorText() + ".");
    for (size_t k = 0; k < computed.size(); ++k) {
        int at = static_cast<int>(k * 7);
        bool text = stats.columnInt(at) != 0, real = stats.columnInt(at + 1) != 0,
             integer = stats.columnInt(at + 2) != 0, blob = stats.columnInt(at + 3) != 0;
        int64_t longest = stats.columnInt(at + 4);
        bool dates = !stats.isNull(at + 5) && stats.columnInt(at + 5) != 0;
        int64_t largest = stats.columnInt(at + 6);
        std::string spec;
        if (blob)
            spec = "Binary";
        else if (text && dates && !real && !integer)
            spec = "Date";
        else if (text)
            spec = "Character," + std::to_string(std::clamp<int64_t>(longest, 1, 65000));
        else if (real || (integer && largest > 2147483647))
            spec = "Double";
        else if (integer)
            spec = "Integer";
        else
            spec = "Character,1";
        FieldDef typed = fieldOfSpec(spec);
        typed.name = schema.fields[computed[k]].name;
        schema.fields[computed[k]] = typed;
    }
    schema.layOut();
    return AE_SUCCESS;
}

}  // namespace

std::vector<Column> SqliteRows::columns() {
    SqlSession& session = *statement_.session;
    sqlite3_stmt* st = select_.get();
    const int count = sqlite3_column_count(st);
    std::vector<Column> out;
    for (int i = 0; i < count; ++i) {
        Column column;
        const char* database = sqlite3_column_database_name(st, i);
        const char* table = sqlite3_column_table_name(st, i);
        const char* origin = sqlite3_column_origin_name(st, i);
        if (database && table && origin && std::string(table) == "records") {
            if (AttachedTable* a = session.byAlias(database)) {
                int k = a->table->schema().fieldByName(
                    codepage::fromUtf8(origin, codepage::CodePage::Ansi1252));
                if (k >= 0) {
                    column.field = a->table->schema().fields[static_cast<size_t>(k)];
                    column.known = true;
                }
            }
        }
        const char* given = sqlite3_column_name(st, i);
        column.name = codepage::fromUtf8(given ? given : "", codepage::CodePage::Ansi1252);
        out.push_back(std::move(column));
    }
    return out;
}

// SQLite copies the rows itself, on the session's connection with the result's database
// attached for the copy.
UNSIGNED32 SqliteRows::copy(sql::Database& rows, const std::string& uri,
                            const std::string& columns) {
    (void)rows;
    select_ = sql::Statement();
    sql::Database& db = statement_.session->db;
    {
        sql::Statement attach;
        if (db.prepare("ATTACH ?1 AS " + std::string(kResultSchema) + " KEY ''", attach) !=
                SQLITE_OK ||
            (attach.bindText(1, uri), attach.step()) != SQLITE_DONE)
            return fail(AE_INTERNAL,
                        "Could not make room for the SQL result: " + db.errorText() + ".");
    }
    UNSIGNED32 rc = AE_SUCCESS;
    sql::Statement copy;
    if (db.exec("CREATE TABLE " + std::string(kResultSchema) + ".\"records\"" + columns) !=
        SQLITE_OK)
        rc = fail(AE_INTERNAL, "Could not make room for the SQL result: " + db.errorText() + ".");
    else if (db.prepare("INSERT INTO " + std::string(kResultSchema) + ".\"records\" " +
                            statement_.translation.sql,
                        copy) != SQLITE_OK)
        rc = fail(AE_INTERNAL, "Could not run the SQL statement: " + db.errorText() + ".");
    else if ((rc = statement::bind(statement_, copy.get())) == AE_SUCCESS) {
        int step = copy.step();
        if (step != SQLITE_DONE) {
            std::string why = db.errorText();
            rc = fail((step & 0xFF) == SQLITE_BUSY || (step & 0xFF) == SQLITE_LOCKED ? AE_LOCKED
                                                                                     : AE_IO_ERROR,
                      "Could not run the SQL statement: " + why + ".");
        }
    }
    copy = sql::Statement();
    db.exec("DETACH " + std::string(kResultSchema));
    return rc;
}

UNSIGNED32 open(SqlStatement& s, RowSource& source, ADSHANDLE* cursor) {
    const std::vector<Column> columns = source.columns();
    Schema schema;
    std::vector<size_t> computed;
    std::set<std::string> taken;
    std::string create = "(";
    for (size_t i = 0; i < columns.size(); ++i) {
        const bool known = columns[i].known;
        FieldDef field = known ? columns[i].field : FieldDef{};
        std::string name = columns[i].name;
        // Without an alias a column is called as its source field; an expression is EXPR.
        if (!plainName(name)) name = known ? field.name : "EXPR";
        std::string unique = name;
        for (int n = 1; taken.count(upper(unique)); ++n) unique = name + "_" + std::to_string(n);
        taken.insert(upper(unique));
        field.name = unique;
        if (!known) {
            computed.push_back(i);
            field.type = ADS_STRING;
        }
        // Named as the table reads its fields back (FieldDef::column(), the name's own bytes): a
        // name written otherwise would not be found and SQLite would read it as a text.
        create += std::string(i ? ", " : "") + field.column() + (known ? declaredType(field) : "");
        schema.fields.push_back(field);
    }
    create += ")";

    static std::atomic<uint64_t> serial{0};
    const std::string uri = "file:velda-result-" + std::to_string(::getpid()) + "-" +
                            std::to_string(++serial) + "?mode=memory&cache=shared";
    sql::Database rows;
    if (rows.open(uri, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI |
                           SQLITE_OPEN_NOMUTEX) != SQLITE_OK)
        return fail(AE_INTERNAL,
                    "Could not make room for the SQL result: " + rows.errorText() + ".");
    if (UNSIGNED32 rc = source.copy(rows, uri, create)) return rc;
    if (UNSIGNED32 typed = typeComputed(rows, schema, computed)) return typed;
    schema.layOut();

    auto handle = std::make_shared<ResultHandle>();
    handle->table = Table::overRows("SQL result", std::move(schema), std::move(rows));
    handle->connection = s.connection;
    if (auto connection = HandleRegistry::instance().findAs<Connection>(s.connection))
        handle->transaction = connection->sharedTransaction();
    handle->options = ADS_READONLY;
    handle->staticView = true;
    handle->charType = s.charType;
    handle->page = s.charType == ADS_OEM ? image::CodePage::Oem850 : image::CodePage::Ansi1252;
    {
        std::lock_guard lock(handle->table->mutex());
        Target target{handle, nullptr};
        Nav nav;
        if (UNSIGNED32 navRc = navFor(target, nav)) return navRc;
        if (UNSIGNED32 top = cursor::gotoTop(*handle, nav)) return top;
    }
    *cursor = HandleRegistry::instance().add(handle);
    std::erase_if(s.cursors, [](ADSHANDLE h) { return !HandleRegistry::instance().find(h); });
    s.cursors.push_back(*cursor);
    return AE_SUCCESS;
}

UNSIGNED32 close(ADSHANDLE cursor) {
    return AdsCloseTable(cursor);
}

}  // namespace engine::result
