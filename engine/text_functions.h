// Letter case of Windows-1252 texts, and the SQL functions that apply it. Internal to engine/.
//
// Stored texts are UTF-8 (every Windows-1252 character has a code point), and SQLite's own
// upper() and lower() know only ASCII. Statements and filters both run on SQLite, so both
// register these functions on every connection they prepare on, and "é" and "É" compare as
// the engine's users expect.
#ifndef VELDA_ENGINE_TEXT_FUNCTIONS_H
#define VELDA_ENGINE_TEXT_FUNCTIONS_H

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace engine::text {

// One Windows-1252 byte in upper or lower case; bytes without a case partner are unchanged
// (ß, µ, ×, ÷, and every non-letter).
char upper1252(char c);
char lower1252(char c);

// The same on UTF-8 text: characters outside Windows-1252 and malformed bytes pass unchanged.
std::string upperUtf8(std::string_view utf8);
std::string lowerUtf8(std::string_view utf8);

// Replaces SQLite's upper() and lower() on db with the Windows-1252-aware ones above.
// Returns the SQLite result code.
int registerTextFunctions(sqlite3* db);

}  // namespace engine::text

#endif
