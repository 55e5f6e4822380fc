// The structure of a table file as SQLite keeps it: the metadata tables velda_table (format,
// encryption marker, counters), velda_fields and velda_indexes, beside the rows table "records".
// Internal to engine/.
#ifndef VELDA_ENGINE_SQLITE_METADATA_H
#define VELDA_ENGINE_SQLITE_METADATA_H

#include <string>

#include "engine/schema.h"
#include "engine/sqlite/sqlite.h"

namespace engine::metadata {

// Creates the metadata tables and the rows table `rows` ("main"."records") of a new table.
[[nodiscard]] UNSIGNED32 create(sql::Database& db, const Schema& schema, const std::string& file);
// Reads the structure; fails with AE_NOT_A_TABLE naming the file when it is not one of ours.
[[nodiscard]] UNSIGNED32 read(sql::Database& db, Schema& schema, const std::string& file);
// What opening a table reads besides the structure: the encryption marker, and that the rows
// can be read. `structureOnly` when only the structure was read (by read(), the file not having
// answered the shorter way); the rest is then read step by step.
struct OpenFacts {
    bool structureOnly = true;
    bool encrypted = false;
};
// The structure and the facts in two statements, with read()'s errors.
[[nodiscard]] UNSIGNED32 readAtOpen(sql::Database& db, Schema& schema, OpenFacts& facts,
                                    const std::string& file);
// The CREATE INDEX statement of a tag, in the database `in`.
std::string createIndexSql(const Schema& schema, const IndexDef& index,
                           const std::string& in = "main");
// The CREATE TABLE statements of the metadata tables, and of the rows table, in the database `in`.
std::string createMetadataSql(const std::string& in);
std::string createRowsSql(const Schema& schema, const std::string& in);
// "rowid, field columns": every stored value of a row, for copying rows between databases.
std::string copyColumns(const Schema& schema);
std::string sqliteIndexName(const IndexDef& index);
}  // namespace engine::metadata

#endif
