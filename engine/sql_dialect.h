// The engine's SQL dialect and its translation into the SQL of the engine that runs a statement:
// SQLite for tables in folders, PostgreSQL for tables on a server. Internal to engine/.
//
// One tokenizer and one pre-pass for both targets: it maps the constructs of the engine's
// dialect that the target spells differently, and refuses the ones it cannot map, so that
// nothing reaches the target that it would run with another meaning. Both targets refuse the
// same statements with the same texts.
//
// What the dialect accepts, and what each construct means:
//   Statements   one SELECT, INSERT (VALUES or SELECT), UPDATE or DELETE; a closing ";" is
//                allowed. Anything else (CREATE, DROP, PRAGMA, ATTACH, several statements ...)
//                is refused.
//   SELECT       DISTINCT, TOP n (outermost SELECT only, not with UNION; becomes LIMIT n),
//                comma joins, [INNER|LEFT [OUTER]] JOIN ... ON, WHERE, GROUP BY, HAVING,
//                ORDER BY with names, aliases, column numbers, ASC/DESC, UNION [ALL],
//                subqueries with IN and EXISTS, the aggregates COUNT, SUM, AVG, MIN, MAX.
//   Tables       named by their file name with or without extension in any case, quoted or not
//                ("EMPLOYEE.ADT", EMPLOYEE.ADT, employee); they are found as AdsOpenTable finds
//                them: in the connection's folder or its data dictionary, or on its server.
//   Identifiers  plain, or quoted with "..." or [...]; the case of a name does not matter.
//   Literals     texts in single quotes ('' for a quote); numbers; TRUE and FALSE (1 and 0);
//                {d 'YYYY-MM-DD'}, {ts 'YYYY-MM-DD HH:MM:SS[.mmm]'}, {t 'HH:MM:SS'}; {fn ...}
//                and {oj ...} escapes are unwrapped.
//   Comparisons  dates are stored as 'YYYY-MM-DD' texts (in both places), so a date column
//                compared with such a text compares as a date. Texts are stored without trailing
//                blanks and a text literal compared with =, <>, !=, <, >, <=, >= loses its
//                trailing blanks, so comparisons ignore them. LIKE ignores the case of ASCII
//                letters.
//   Operators    + with a text literal on either side concatenates (as ||); between other
//                operands it adds.
//   Functions    UPPER, LOWER (Windows-1252 letters), TRIM, LTRIM, RTRIM, SUBSTRING, SUBSTR,
//                LEFT, RIGHT, LENGTH, CONCAT, IFNULL, IIF, CAST, CURDATE, NOW, YEAR, MONTH,
//                DAYOFMONTH, ABS, ROUND, COALESCE, NULLIF.
//   Parameters   ? and :name, numbered 1, 2, 3 ... in the order they appear.
// Refused with an error naming the construct: every other statement, several statements, TOP in
// a subquery, a second TOP, TOP with PERCENT, LIMIT or UNION, RIGHT and FULL joins, CAST to an
// unknown type. Not caught: + between two text columns (SQLite adds them, the server refuses
// them); only + next to a text literal is known to join texts.
//
// What differs by target:
//   SQLite      names are quoted as written (SQLite ignores their case itself); the functions
//               SQLite lacks are the engine's (sql_functions.h); parameters ?1, ?2 ...
//   PostgreSQL  every name is quoted upper-cased (the server folds unquoted names to lower case
//               and keeps the case of quoted ones; its views expose the fields upper-cased, see
//               statement.h); a table name is looked for in the session's temporary schema only
//               (pg_temp."NAME"), where the statement's views are, never among the server's own
//               relations; an outermost ORDER BY (without DISTINCT, GROUP BY, aggregates,
//               UNION, LIMIT or "*") ends with the tables' record numbers, so that rows that tie
//               in the order come as SQLite gives them in a folder; functions are the helpers of
//               postgres/functions.h or the server's own of the same meaning, and any other
//               function is refused as unknown; TRUE and FALSE are 1 and 0 (logicals are stored as
//               integers); IIF becomes CASE; LIKE becomes ILIKE; CAST's types are the stored column
//               types; parameters $1, $2 ...
#ifndef VELDA_ENGINE_SQL_DIALECT_H
#define VELDA_ENGINE_SQL_DIALECT_H

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ace.h"

namespace engine::sqldialect {

enum class StatementKind { Select, Insert, Update, Delete };
enum class Target { Sqlite, Postgres };

struct Translation {
    std::string sql;  // the target's dialect, UTF-8
    Target target = Target::Sqlite;
    StatementKind kind = StatementKind::Select;
    // PostgreSQL: each upper-cased name as the statement first wrote it (for texts), and the
    // table names (upper-cased) the statement reads.
    std::map<std::string, std::string> written;
    std::set<std::string> tables;
    // PostgreSQL: the order ends with the record numbers of the tables ("velda_recno" of their
    // views), so that rows that tie come as they do in a folder.
    bool recordOrder = false;
    // One entry per marker, in order: the :name without its colon, or "" for ?.
    std::vector<std::string> parameters;
    // Where each emitted token came from, to name the position of an error SQLite reports.
    struct Origin {
        std::string emitted;
        size_t position = 0;  // 1-based character position in the statement's text
        std::string source;
        size_t offset = 0;  // byte offset of `emitted` in `sql`
    };
    std::vector<Origin> origins;

    // The parts of an INSERT, UPDATE or DELETE, each in the target's dialect: the target table (as
    // named, and the name its columns are qualified with), the columns set (INSERT: empty for
    // every field in order), UPDATE's value expressions, INSERT's row source (a VALUES list or
    // a SELECT) and the condition of UPDATE and DELETE ("" for every row).
    struct Write {
        std::string table;
        std::string alias;
        std::vector<std::string> columns;
        std::vector<std::string> values;
        std::string source;
        std::string where;
    };
    Write write;
};

// Translates a statement (Windows-1252). Fails with AE_SQL_SYNTAX naming the position and the
// token, or AE_NOT_SUPPORTED naming a construct the engine does not support.
[[nodiscard]] UNSIGNED32 translate(std::string_view text, Translation& out,
                                   Target target = Target::Sqlite);
// The name as the statement wrote it, for an upper-cased name of a PostgreSQL translation; the
// name itself otherwise.
std::string written(const Translation& translation, const std::string& name);

// Whether the text's tokens are well formed (quotes, comments and escapes closed); an empty or
// unfinished statement passes. AE_SQL_SYNTAX naming the position otherwise.
[[nodiscard]] UNSIGNED32 checkTokens(std::string_view text);

// The source token and position behind the target's complaint about the token `near`, as
// "at position P (near "X")"; "at the end of the statement" when `near` is empty. SQLite's byte
// offset into `sql` (sqlite3_error_offset; negative when it names none) picks the very token
// when it falls on one, since the same text may stand in several places.
std::string locate(const Translation& translation, const std::string& near, int offset = -1);
// "at position P (near "X")" for one emitted token.
std::string locate(const Translation::Origin& origin);

}  // namespace engine::sqldialect

#endif
