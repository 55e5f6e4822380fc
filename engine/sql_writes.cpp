#include "engine/sql_writes.h"

#include "engine/last_error.h"
#include "engine/statement.h"

namespace engine::writes {

UNSIGNED32 run(SqlStatement&, sql::Statement&, const std::vector<AttachedTable*>&) {
    return fail(AE_NOT_SUPPORTED, "INSERT, UPDATE and DELETE statements are not supported yet.");
}

}  // namespace engine::writes
