// Scalar functions of the engine's SQL dialect that SQLite lacks, registered on every SQLite
// connection that runs statements (and usable by any other that translates expressions).
// Internal to engine/.
//
// They work on the stored forms: dates "YYYY-MM-DD", time stamps "YYYY-MM-DD HH:MM:SS.mmm",
// texts UTF-8. An empty (NULL) argument gives an empty result, except in velda_concat, which
// skips it, and velda_iif, whose condition is then false.
//   velda_left(text, n), velda_right(text, n)  the first / last n characters
//   velda_concat(a, b, ...)                     the texts joined
//   velda_iif(condition, then, else)            then when the condition is true (non-zero)
//   velda_curdate(), velda_now()                today's local date / the local time stamp
//   velda_year(d), velda_month(d), velda_dayofmonth(d)  parts of a date or time stamp
#ifndef VELDA_ENGINE_SQL_FUNCTIONS_H
#define VELDA_ENGINE_SQL_FUNCTIONS_H

#include <sqlite3.h>

namespace engine::sqlfunctions {

// Registers the functions above with the Windows-1252-aware upper() and lower(). Returns the
// SQLite result code.
int registerAll(sqlite3* db);

}  // namespace engine::sqlfunctions

#endif
