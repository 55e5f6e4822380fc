// INSERT, UPDATE and DELETE statements. Internal to engine/.
//
// Views cannot be changed, and a change must keep the engine's rules: SQLite selects the rows a
// statement changes and their new values (from the target table's own rows, see statement.h);
// then the statement takes the record locks of those rows through a lock-file descriptor of its
// own (a row locked by another handle or process answers AE_LOCKED and nothing is changed), and
// applies every change in one write transaction on the table's connection: each value passes the
// field's own checks (AE_COLUMN_VALUE naming the column), auto-increment fields of new rows get
// their next values, and the commit moves the change counter on, so that other handles and
// processes see the change at their next navigation. A failure anywhere keeps nothing.
#ifndef VELDA_ENGINE_SQL_WRITES_H
#define VELDA_ENGINE_SQL_WRITES_H

#include <vector>

#include "engine/ace.h"
#include "engine/sqlite/sqlite.h"

namespace engine {

class SqlStatement;
struct AttachedTable;

namespace writes {

// Runs the prepared selection of an INSERT, UPDATE or DELETE (parameters bound) on the target.
[[nodiscard]] UNSIGNED32 run(SqlStatement& statement, sql::Statement& select,
                             AttachedTable& target);

}  // namespace writes
}  // namespace engine

#endif
