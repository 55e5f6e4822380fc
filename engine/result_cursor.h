// The result of a SELECT: a static, read-only cursor. Internal to engine/.
//
// At execution the statement's rows are copied, in the statement's order, into a table of an
// in-memory SQLite database of their own, so that the read snapshot of the statement's tables
// ends at once. The cursor is then an ordinary table handle over that table (record number = row
// number of the result), served by every navigation, field, structure and count call, flagged
// static so that every change and lock answers AE_STATIC_CURSOR, and read-only in its open
// options. Both places feed it through one small interface (RowSource): in a folder SQLite's
// statement copies its rows itself (INSERT ... SELECT on the session's connection, with the
// result's database attached for the copy); on a server the rows are read one by one as they
// come (COPY's text lines, or single-row mode for a statement with parameters) and inserted.
//
// Fields take the name, type, length and decimals of their source column; a computed column gets
// its type from the values it produced (texts as Character of their longest length, texts that
// are all dates as Date, whole numbers as Integer, other numbers as Double, bytes as Binary).
// Unnamed expressions are called EXPR; duplicate names get "_1", "_2" ... appended.
#ifndef VELDA_ENGINE_RESULT_CURSOR_H
#define VELDA_ENGINE_RESULT_CURSOR_H

#include <string>
#include <vector>

#include "engine/ace.h"
#include "engine/schema.h"
#include "engine/sqlite/sqlite.h"

namespace engine {

class SqlStatement;

namespace result {

// One column of a result as its source describes it: the name the statement gives it (empty or
// not a plain name for an unnamed expression), and the field it is taken from as is, if any.
struct Column {
    std::string name;
    bool known = false;
    FieldDef field;
};

// Where a result's rows come from.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual std::vector<Column> columns() = 0;
    // Makes the table "records" with the result's `columns` ("(A TEXT, B, ...)") in the
    // result's database `rows` (shared-cache memory database `uri`) and copies every row into it,
    // in order.
    [[nodiscard]] virtual UNSIGNED32 copy(sql::Database& rows, const std::string& uri,
                                          const std::string& columns) = 0;
};

// A prepared SQLite SELECT of the statement's session (parameters bound).
class SqliteRows final : public RowSource {
  public:
    SqliteRows(SqlStatement& statement, sql::Statement& select)
        : statement_(statement), select_(select) {}
    std::vector<Column> columns() override;
    [[nodiscard]] UNSIGNED32 copy(sql::Database& rows, const std::string& uri,
                                  const std::string& columns) override;

  private:
    SqlStatement& statement_;
    sql::Statement& select_;
};

// Runs the source's rows into a new cursor of the statement; *cursor is its handle.
[[nodiscard]] UNSIGNED32 open(SqlStatement& statement, RowSource& source, ADSHANDLE* cursor);
// Closes a result cursor.
[[nodiscard]] UNSIGNED32 close(ADSHANDLE cursor);

}  // namespace result
}  // namespace engine

#endif
