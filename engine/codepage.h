// Single-byte code pages of the record image and UTF-8, the form texts are stored in.
// Internal to engine/.
#ifndef VELDA_ENGINE_CODEPAGE_H
#define VELDA_ENGINE_CODEPAGE_H

#include <string>
#include <string_view>

namespace engine::codepage {

// ANSI handles see texts in Windows-1252, OEM handles in code page 850.
enum class CodePage { Ansi1252, Oem850 };

// Every byte maps to one character (the undefined 1252 bytes to the C1 controls), so a text
// survives the round trip through UTF-8 unchanged.
std::string toUtf8(std::string_view bytes, CodePage page);
// Characters the code page cannot show become "?"; malformed UTF-8 bytes are taken as 1252.
std::string fromUtf8(std::string_view utf8, CodePage page);
// As fromUtf8, into out: writes at most capacity bytes and returns how many it wrote.
size_t fromUtf8Into(std::string_view utf8, CodePage page, char* out, size_t capacity);
// Re-encodes a text between the two code pages.
std::string convert(std::string_view bytes, CodePage from, CodePage to);

}  // namespace engine::codepage

#endif
