// The helper functions filters on a server call (engine/expression.h, target Postgres), made in
// the database once, and the SQLite connection the translation folds constant parts on.
// Internal to engine/.
//
// Each one gives on the server what its SQLite counterpart (engine/sql_functions.h) gives in a
// folder, on the same stored forms (dates "YYYY-MM-DD", texts UTF-8):
//   velda_upper(t), velda_lower(t)      Windows-1252 letters, from the engine's own mapping
//   velda_left(t, n), velda_right(t, n) the first / last n characters ("" for n <= 0)
//   velda_substr(t, from[, count])      SUBSTR: from below 1 counts as 1, count below 0 as 0
//   velda_str(n, length, decimals)      STR, rounded as printf rounds the exact binary value
//   velda_val(t)                        the number at the start of a text, 0 without one
//   velda_chr(code)                     the Windows-1252 character of a code 1..255, else ""
//   velda_ctod(t, format), velda_stod(t), velda_ctot(t), velda_ctots(t, format)
//   velda_year(d), velda_month(d), velda_dayofmonth(d)  parts of a date, 0 when empty
//   velda_date_add(d, n)                the date n days later ("" for an empty date)
//   velda_date_diff(a, b)               the days from b to a (0 when either is empty)
// and for SQL statements (sql_dialect.h), as SQL's own functions of those names in a folder:
//   velda_sql_year(d), velda_sql_month(d), velda_sql_dayofmonth(d)  null when no date
//   velda_curdate(), velda_now()        the server's local date / time stamp
//   velda_round(x[, n])                 rounded half away from zero (n decimals below 0 as 0)
//   velda_cast_int(x)                   CAST AS INTEGER: numbers truncated, texts by their
//                                       leading number (0 without one)
//   operators = and <> between boolean and bigint, so that a comparison's result compares with
//   TRUE and FALSE (1 and 0) as in a folder
// They are made with CREATE OR REPLACE under an advisory lock, IMMUTABLE, in the session's
// schema; a marker function named after their version tells that they are there.
#ifndef VELDA_ENGINE_POSTGRES_FUNCTIONS_H
#define VELDA_ENGINE_POSTGRES_FUNCTIONS_H

#include <sqlite3.h>

#include <string>

#include "engine/ace.h"

namespace engine::postgres {

class Session;

// Makes the helper functions in the session's database unless they are there. Outside a
// transaction this is done once per database and process. Failures as Session::failure:
// "Could not <doing> <what>: ..." (the filter functions for a table, the SQL functions for a
// statement's database).
[[nodiscard]] UNSIGNED32 ensureFunctions(Session& session, const std::string& doing,
                                         const std::string& what);

// The statements that make the functions, and the name of the marker function (for tests).
std::string functionsSql();
const char* functionsMarker();

// An in-memory SQLite connection of this thread with the engine's SQL functions, on which
// constant parts of a filter are folded; null (with the failure set) when it cannot be opened.
sqlite3* foldingConnection();

}  // namespace engine::postgres

#endif
