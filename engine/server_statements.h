// SQL statements on a server connection. Internal to engine/.
//
// A statement runs on the server's own SQL engine, over the connection's session, with the same
// observable behaviour as in a folder (statement.h). The dialect pre-pass (sql_dialect.h, target
// PostgreSQL) quotes every name upper-cased and looks tables up in the session's temporary schema
// only; the server's own parser then finds the tables: a statement that fails with "relation ...
// does not exist" (SQLSTATE 42P01) resolves the name as AdsOpenTable would on that connection (its
// folder on the server, case, ".adt", or the data dictionary), makes a temporary view named so
// over the table's rows table (each field as its upper-cased name) and is prepared again. The
// views live only for the call that made them: a view depends on its rows table, and a view
// left in a session would keep another client from deleting the table. An encrypted table needs
// the table password from the statement, checked against the table's salted hash.
//
// A failed attempt inside a transaction (an engine transaction holds the session's) is undone
// to a savepoint of its own, so that it never aborts the transaction around it.
//
// A SELECT is read one row at a time as the server sends it (one statement, so one snapshot):
// as the text lines of COPY (...) TO STDOUT, one buffer a row, when it has no parameters, which
// COPY does not take, else in single-row mode; either way into the static cursor of
// result_cursor.h, with the same values; result fields take the field definition of their
// source column (the view and column the server names for it). INSERT, UPDATE and DELETE select
// the changed rows and their new values on the server (from the target's rows table, record
// numbers included) and apply them through the engine's writer (sql_writes.h): advisory record
// locks, auto-increment, field checks, one server transaction.
// An execution that runs longer than the session's time limit is cancelled by the server
// (statement_timeout) and answers AE_SQL_TIMEOUT.
#ifndef VELDA_ENGINE_SERVER_STATEMENTS_H
#define VELDA_ENGINE_SERVER_STATEMENTS_H

#include <string>

#include "engine/ace.h"

namespace engine {

class SqlStatement;

namespace serversql {

[[nodiscard]] UNSIGNED32 prepare(SqlStatement& statement, const std::string& text);
// Runs the prepared statement: *cursor is the result cursor of a SELECT, else 0.
[[nodiscard]] UNSIGNED32 execute(SqlStatement& statement, ADSHANDLE* cursor);

}  // namespace serversql
}  // namespace engine

#endif
