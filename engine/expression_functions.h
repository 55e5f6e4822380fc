// SQL functions of the engine's expression language that SQLite lacks. Internal to engine/.
//
// Filters are translated into SQLite expressions (engine/expression.h), so the few functions
// of the language without a native SQLite form run as registered functions on the table's
// connection. Constant parts of an expression are folded by evaluating them on the same
// connection, so a folded value can never differ from the value a row would see.
//
//   velda_ctod(text, format)  the date of a text in the date format ("MM/DD/YYYY", "DD.MM.YY",
//                             "YYYYMMDD", ...) as "YYYY-MM-DD"; "" for a blank or invalid text
//   velda_stod(text)          the date of "YYYYMMDD" the same way
//   velda_str(number, length, decimals)
//                             the number right-aligned in length characters with decimals
//                             digits after the point; "*" characters when it does not fit
#ifndef VELDA_ENGINE_EXPRESSION_FUNCTIONS_H
#define VELDA_ENGINE_EXPRESSION_FUNCTIONS_H

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace engine::expression {

// The ISO date ("YYYY-MM-DD") of a text in the date format; "" when the text is blank or no
// valid date in that format. Two-digit years are taken as 19YY.
std::string dateFromText(std::string_view text, std::string_view format);
// The ISO date of "YYYYMMDD"; "" when blank or invalid.
std::string dateFromDigits(std::string_view text);
// The text STR() gives.
std::string numberText(double value, int length, int decimals);
// Whether a date format can be used: letters D, M and Y (C counts as Y) in runs, each at most
// once, with day, month and year all present.
bool validDateFormat(std::string_view format);

// Registers the functions above and the Windows-1252-aware upper() and lower() on db.
// Returns the SQLite result code.
int registerFunctions(sqlite3* db);

}  // namespace engine::expression

#endif
