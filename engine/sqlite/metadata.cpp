// The structure of a table file as SQLite keeps it: the metadata tables velda_table, velda_fields
// and velda_indexes beside the rows table "records".
#include "engine/sqlite/metadata.h"

#include "engine/last_error.h"

namespace engine {

namespace metadata {

namespace {

const char* sqlType(const FieldDef& f) {
    switch (f.storage()) {
        case ColumnClass::Integer:
            return "INTEGER";
        case ColumnClass::Real:
            return "REAL";
        case ColumnClass::Blob:
            return "BLOB";
        case ColumnClass::Text:
            break;
    }
    return "TEXT";
}

UNSIGNED32 sqlFailure(sql::Database& db, const std::string& file, const char* doing) {
    int rc = sqlite3_errcode(db.get());
    UNSIGNED32 code = (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) ? AE_NOT_A_TABLE
                      : (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)  ? AE_LOCKED
                      : (rc == SQLITE_IOERR || rc == SQLITE_FULL || rc == SQLITE_CANTOPEN ||
                         rc == SQLITE_READONLY)
                          ? AE_IO_ERROR
                          : AE_INTERNAL;
    if (code == AE_NOT_A_TABLE)
        return fail(code,
                    "The file " + file + " is not a table or is damaged (" + db.errorText() + ").");
    return fail(code, std::string("Could not ") + doing + " the table " + file + ": " +
                          db.errorText() + ".");
}

}  // namespace

std::string sqliteIndexName(const IndexDef& index) {
    return quoteIdentifier("tag_" + index.name);
}

std::string createIndexSql(const Schema& schema, const IndexDef& index, const std::string& in) {
    std::string sql = index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
    sql += quoteIdentifier(in) + "." + sqliteIndexName(index) + " ON \"records\"(";
    for (size_t i = 0; i < index.segments.size(); ++i) {
        if (i) sql += ",";
        sql += schema.fields[index.segments[i]].keyExpression();
    }
    return sql + ")";
}

std::string createMetadataSql(const std::string& in) {
    std::string db = quoteIdentifier(in) + ".";
    return "CREATE TABLE " + db +
           "velda_table(key TEXT PRIMARY KEY, value);"
           "CREATE TABLE " +
           db +
           "velda_fields(number INTEGER PRIMARY KEY, name TEXT NOT NULL, type INTEGER NOT NULL,"
           " length INTEGER NOT NULL, decimals INTEGER NOT NULL);"
           "CREATE TABLE " +
           db +
           "velda_indexes(position INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
           " segments TEXT NOT NULL, is_unique INTEGER NOT NULL, is_descending INTEGER NOT NULL);";
}

std::string createRowsSql(const Schema& schema, const std::string& in) {
    std::string sql = "CREATE TABLE " + quoteIdentifier(in) + ".\"records\"(";
    for (size_t i = 0; i < schema.fields.size(); ++i) {
        const FieldDef& f = schema.fields[i];
        if (i) sql += ", ";
        sql += f.column() + " " + sqlType(f);
    }
    return sql + ");";
}

std::string copyColumns(const Schema& schema) {
    std::string columns = "rowid";
    for (const FieldDef& f : schema.fields) columns += ", " + f.column();
    return columns;
}

UNSIGNED32 create(sql::Database& db, const Schema& schema, const std::string& file) {
    std::string sql = createMetadataSql("main") + "INSERT INTO velda_table VALUES('format', 1);" +
                      createRowsSql(schema, "main");
    for (size_t i = 0; i < schema.fields.size(); ++i) {
        const FieldDef& f = schema.fields[i];
        sql += "INSERT INTO velda_fields VALUES(" + std::to_string(i + 1) + "," +
               quoteText(f.name) + "," + std::to_string(f.type) + "," + std::to_string(f.declared) +
               "," + std::to_string(f.decimals) + ");";
    }
    if (db.exec(sql) != SQLITE_OK) return sqlFailure(db, file, "create");
    return AE_SUCCESS;
}

namespace {

// The index tags, after the fields; fails naming the file when one makes no sense.
UNSIGNED32 readIndexes(sql::Database& db, Schema& schema, const std::string& file) {
    sql::Statement indexes;
    if (db.prepare(
            "SELECT name, segments, is_unique, is_descending FROM velda_indexes ORDER BY position",
            indexes) != SQLITE_OK)
        return sqlFailure(db, file, "read");
    int rc;
    while ((rc = indexes.step()) == SQLITE_ROW)
        if (UNSIGNED32 bad = addIndex(schema, indexes.columnText(0), indexes.columnText(1),
                                      indexes.columnInt(2) != 0, indexes.columnInt(3) != 0, file))
            return bad;
    if (rc != SQLITE_DONE) return sqlFailure(db, file, "read");
    schema.layOut();
    return AE_SUCCESS;
}

UNSIGNED32 noFields(const std::string& file) {
    return fail(AE_NOT_A_TABLE, "The file " + file + " is damaged: it lists no fields.");
}

}  // namespace

UNSIGNED32 read(sql::Database& db, Schema& schema, const std::string& file) {
    schema = Schema{};
    sql::Statement check;
    if (db.prepare("SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN "
                   "('velda_table','velda_fields','velda_indexes','records')",
                   check) != SQLITE_OK)
        return sqlFailure(db, file, "read");
    int rc = check.step();
    if (rc != SQLITE_ROW) return sqlFailure(db, file, "read");
    if (check.columnInt(0) != 4)
        return fail(AE_NOT_A_TABLE,
                    "The file " + file + " is not a table: it holds no table structure.");
    sql::Statement fields;
    if (db.prepare("SELECT name, type, length, decimals FROM velda_fields ORDER BY number",
                   fields) != SQLITE_OK)
        return sqlFailure(db, file, "read");
    while ((rc = fields.step()) == SQLITE_ROW)
        if (UNSIGNED32 bad = addField(schema, fields.columnText(0), fields.columnInt(1),
                                      fields.columnInt(2), fields.columnInt(3), file))
            return bad;
    if (rc != SQLITE_DONE) return sqlFailure(db, file, "read");
    if (schema.fields.empty()) return noFields(file);
    return readIndexes(db, schema, file);
}

UNSIGNED32 readAtOpen(sql::Database& db, Schema& schema, OpenFacts& facts,
                      const std::string& file) {
    // Opening is mostly preparing statements, so the fields come with the encryption marker and
    // the first record number (which reads the rows table once, at its first pages: the last
    // ones lie anywhere in the file, and each page first touched through the memory map costs a
    // page fault). Whatever goes wrong this way, the file is read again by read(), whose checks
    // come in their order with their errors.
    schema = Schema{};
    facts = OpenFacts{};
    sql::Statement fields;
    if (db.prepare("SELECT name, type, length, decimals,"
                   " (SELECT value FROM \"main\".velda_table WHERE key='encrypted'),"
                   " (SELECT rowid FROM \"main\".\"records\" LIMIT 1)"
                   " FROM \"main\".velda_fields ORDER BY number",
                   fields) != SQLITE_OK)
        return read(db, schema, file);
    int rc;
    while ((rc = fields.step()) == SQLITE_ROW) {
        facts.encrypted = fields.columnInt(4) != 0;
        if (addField(schema, fields.columnText(0), fields.columnInt(1), fields.columnInt(2),
                     fields.columnInt(3), file))
            return read(db, schema, file);
    }
    if (rc != SQLITE_DONE || schema.fields.empty() || readIndexes(db, schema, file))
        return read(db, schema, file);
    facts.structureOnly = false;
    return AE_SUCCESS;
}

}  // namespace metadata

}  // namespace engine
