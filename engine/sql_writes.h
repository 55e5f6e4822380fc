// INSERT, UPDATE and DELETE statements, applied through the engine's own writer.
// Internal to engine/.
#ifndef VELDA_ENGINE_SQL_WRITES_H
#define VELDA_ENGINE_SQL_WRITES_H

#include <vector>

#include "engine/ace.h"
#include "engine/sqlite.h"

namespace engine {

class SqlStatement;
struct AttachedTable;

namespace writes {

// Runs the prepared INSERT, UPDATE or DELETE (parameters bound).
UNSIGNED32 run(SqlStatement& statement, sql::Statement& prepared,
               const std::vector<AttachedTable*>& used);

}  // namespace writes
}  // namespace engine

#endif
