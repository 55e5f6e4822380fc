// The engine's expression language, translated into conditions over a table's stored columns:
// SQLite's SQL for tables in folders, PostgreSQL's for tables on a server (one reader, one typing
// and one set of errors; only the SQL written differs). Internal to engine/.
//
// Filters (AdsSetAOF, AdsSetFilter) and AdsEvalLogicalExpr take expressions such as
//   UPPER(NAME) = 'SMI' .AND. BORN >= CTOD('01/01/1970') .OR. .NOT. EMPTY(LEFT_ON)
// A filter is translated once and ANDed into the navigation statements' conditions, so a
// filtered walk runs at SQLite's speed, and a comparison of a tag's leading field with a
// constant is written in the tag's key form (the same expression the storage's index is built
// on, Storage::keyExpression), so the database answers it from the index instead of scanning the
// table. Constant parts are folded in-process on SQLite for both targets, so both fold alike.
// On a server the translation calls the helper functions of engine/postgres/functions.h
// (velda_upper, velda_ctod, ...), which repeat the SQLite functions of engine/sql_functions.h.
//
// The language: field names (any case), texts in single or double quotes, numbers, logicals
// .T. .F. .TRUE. .FALSE., the operators (loosest first) .OR./OR, .AND./AND, .NOT./NOT/!,
// the comparisons = == <> # != < > <= >= $ (contained in), + -, * /, unary + -, and the
// functions UPPER LOWER TRIM RTRIM LTRIM ALLTRIM SUBSTR LEFT RIGHT LEN STR VAL DTOS CTOD STOD
// YEAR MONTH DAY DATE EMPTY IIF DELETED RECNO, CHR (the character of a Windows-1252 code,
// which the data-access layer's searches join into texts holding a double quote), and CTOT and
// CTOTS (a time, and a date in the CTOD format with a time, as time and time stamp fields
// store them; the layer's searches compare such fields with them).
//
// Values have four types: text, number, date and logical. Empty values are NULL in the
// columns and read as the engine's empty values: "" for texts and dates (an empty date sorts
// before every date), 0 for numbers, false for logicals. Texts are read as stored, without
// trailing blanks. A text comparison with `=` (and <>, <, >, <=, >=) compares only as many
// characters of the left side as the right side has, unless the table's exact setting is on;
// `==` is always exact; trailing blanks never count. Comparing values of different types is an
// error, not a false.
//
// Failures: AE_EXPRESSION_ERROR with a text naming the position (1-based) for anything the
// translator cannot read or type; AE_COLUMN_NOT_FOUND naming the column for an unknown field;
// AE_COLUMN_WRONG_TYPE naming the column for a field of a type the language cannot compare.
#ifndef VELDA_ENGINE_EXPRESSION_H
#define VELDA_ENGINE_EXPRESSION_H

#include <sqlite3.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/codepage.h"
#include "engine/record_image.h"
#include "engine/schema.h"

namespace engine::expression {

// The SQL the translation is written in.
enum class Target { Sqlite, Postgres };

struct Settings {
    Target target = Target::Sqlite;
    // The storage's key form of a field (empty: FieldDef::keyExpression(), SQLite's).
    std::function<std::string(const FieldDef&)> keyExpression;
    bool exact = false;                                      // AdsSetExact22
    std::string dateFormat = "MM/DD/YYYY";                   // for CTOD
    codepage::CodePage page = codepage::CodePage::Ansi1252;  // of the expression's texts
    std::string tableName;                                   // for messages
};

// A logical expression as a condition in the target's SQL: placeholders in `sql` take `values` in
// order.
struct Translation {
    std::string sql;
    std::vector<Value> values;
};

// Translates a logical expression over the fields of `schema`. `db` is an SQLite connection with
// sqlfunctions::registerAll() applied (engine/sql_functions.h); constant parts are evaluated on
// it, whatever the target.
[[nodiscard]] UNSIGNED32 translate(std::string_view text, const Schema& schema,
                                   const Settings& settings, sqlite3* db, Translation& out);

}  // namespace engine::expression

#endif
