// INSERT, UPDATE and DELETE statements. Internal to engine/.
//
// A statement's tables are read through views (statement.h), which cannot be changed, and a
// change must keep the engine's rules. So the place's own SQL engine selects the rows a statement
// changes and their new values (SQLite in a folder, from the target table's own rows; the server
// on a server); then the statement takes the record locks of those rows through a handle of its
// own (a lock-file descriptor in a folder, advisory locks of its own on a server: a row locked by
// another handle or process answers AE_LOCKED and nothing is changed), and applies every change
// in one write transaction of the table's storage: each value passes the field's own checks
// (AE_COLUMN_VALUE naming the column), auto-increment fields of new rows get their next values,
// and the commit moves the change counter on, so that other handles and processes see the change
// at their next navigation. A failure anywhere keeps nothing.
#ifndef VELDA_ENGINE_SQL_WRITES_H
#define VELDA_ENGINE_SQL_WRITES_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "engine/record_image.h"
#include "engine/sqlite/sqlite.h"

namespace engine {

class SqlStatement;
class Storage;
struct AttachedTable;

namespace writes {

// The table a statement changes: its storage, the name the statement gives it (for texts) and
// every name it is known by (for its password).
struct Target {
    std::shared_ptr<Storage> table;
    std::string name;
    std::vector<std::string> names;
};

// The selected rows, one by one: a changed row's record number first (not for INSERT), then the
// new values in the order of the statement's columns. A failure of the sink stops the reading.
using RowSink = std::function<UNSIGNED32(std::vector<Value>& row)>;
using ReadRows = std::function<UNSIGNED32(const RowSink& sink)>;

// Applies an INSERT, UPDATE or DELETE whose selection gives `columns` columns.
[[nodiscard]] UNSIGNED32 run(SqlStatement& statement, const Target& target, int columns,
                             const ReadRows& read);
// The same for SQLite's prepared selection (parameters bound) on an attached table.
[[nodiscard]] UNSIGNED32 run(SqlStatement& statement, sql::Statement& select,
                             AttachedTable& target);

}  // namespace writes
}  // namespace engine

#endif
