// Scalar functions that SQLite lacks, for the engine's SQL dialect and for its expression
// language alike: registered on every SQLite connection that runs statements and on every
// table's connection, where filters are translated into SQLite conditions (engine/expression.h)
// and their constant parts folded. One module, so that a statement and a filter can never
// disagree about a letter's case, a date or a number's text. Internal to engine/.
//
// They work on the stored forms: dates "YYYY-MM-DD", time stamps "YYYY-MM-DD HH:MM:SS.mmm",
// texts UTF-8. An empty (NULL) argument gives an empty result, except in velda_concat, which
// skips it.
//   upper(text), lower(text)                    Windows-1252-aware (engine/text_functions.h)
//   velda_left(text, n), velda_right(text, n)  the first / last n characters
//   velda_concat(a, b, ...)                     the texts joined
//   velda_curdate(), velda_now()                today's local date / the local time stamp
//   velda_year(d), velda_month(d), velda_dayofmonth(d)  parts of a date or time stamp
//   velda_ctod(text, format)  the date of a text in a date format ("MM/DD/YYYY", "DD.MM.YY",
//                             "YYYYMMDD", ...); "" for a blank or invalid text
//   velda_stod(text)          the date of "YYYYMMDD" the same way
//   velda_str(number, length, decimals)
//                             the number right-aligned in length characters with decimals
//                             digits after the point; "*" characters when it does not fit
//   velda_ctot(text)          the time of a text (timeFromText)
//   velda_ctots(text, format) the time stamp of a text (timeStampFromText)
//   velda_chr(code)           the Windows-1252 character of a code 1..255; "" for others
#ifndef VELDA_ENGINE_SQL_FUNCTIONS_H
#define VELDA_ENGINE_SQL_FUNCTIONS_H

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace engine::sqlfunctions {

// The ISO date ("YYYY-MM-DD") of a text in the date format; "" when the text is blank or no
// valid date in that format. Two-digit years are taken as 19YY.
std::string dateFromText(std::string_view text, std::string_view format);
// The ISO date of "YYYYMMDD"; "" when blank or invalid.
std::string dateFromDigits(std::string_view text);
// The stored time ("HH:MM:SS.mmm") of "H:MM", "H:MM:SS" or "H:MM:SS.mmm", with or without
// AM/PM; "" when blank or invalid.
std::string timeFromText(std::string_view text);
// The stored time stamp ("YYYY-MM-DD HH:MM:SS.mmm") of a date in the date format, a blank and
// a time (midnight when none); "" when blank or invalid.
std::string timeStampFromText(std::string_view text, std::string_view format);
// The text STR() gives.
std::string numberText(double value, int length, int decimals);
// Whether a date format can be used: letters D, M and Y (C counts as Y) in runs, each at most
// once, with day, month and year all present.
bool validDateFormat(std::string_view format);

// Registers every function above. Returns the SQLite result code.
int registerAll(sqlite3* db);

}  // namespace engine::sqlfunctions

#endif
