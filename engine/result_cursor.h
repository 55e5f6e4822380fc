// The result of a SELECT: a static, read-only cursor. Internal to engine/.
//
// At execution the statement's rows are copied, in the statement's order, into a table of an
// in-memory database of their own (a shared-cache memory database that the session attaches
// only for the copy), so that the read snapshot of the statement's tables ends at once. The
// cursor is then an ordinary table handle over that table (record number = row number of the
// result), served by every navigation, field, structure and count call, flagged static so that
// every change and lock answers AE_STATIC_CURSOR, and read-only in its open options.
//
// Fields take the name, type, length and decimals of their source column; a computed column gets
// its type from the values it produced (texts as Character of their longest length, texts that
// are all dates as Date, whole numbers as Integer, other numbers as Double, bytes as Binary).
// Unnamed expressions are called EXPR; duplicate names get "_1", "_2" ... appended.
#ifndef VELDA_ENGINE_RESULT_CURSOR_H
#define VELDA_ENGINE_RESULT_CURSOR_H

#include <vector>

#include "engine/ace.h"
#include "engine/sqlite/sqlite.h"

namespace engine {

class SqlStatement;
struct AttachedTable;

namespace result {

// Runs the prepared SELECT (parameters bound) into a new cursor; *cursor is its handle.
[[nodiscard]] UNSIGNED32 open(SqlStatement& statement, sql::Statement& select,
                              const std::vector<AttachedTable*>& used, ADSHANDLE* cursor);
// Closes a result cursor.
[[nodiscard]] UNSIGNED32 close(ADSHANDLE cursor);

}  // namespace result
}  // namespace engine

#endif
