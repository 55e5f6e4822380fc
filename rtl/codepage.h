// Windows-1252, the code page of every text below the windows, and its conversion to and
// from UTF-8 where texts meet Qt, CSV files and the terminal.
#ifndef VELDA_RTL_CODEPAGE_H
#define VELDA_RTL_CODEPAGE_H

#include <optional>
#include <string>

namespace rtl {

// Every Windows-1252 byte has a UTF-8 form; the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control characters of the same value.
std::string Cp1252ToUtf8(const std::string& text);

// The Windows-1252 form of a UTF-8 text, or nothing when the text is not valid UTF-8 or holds a
// character that Windows-1252 cannot hold. badOffset then receives the byte offset of the
// first such character.
std::optional<std::string> Utf8ToCp1252(const std::string& text, size_t* badOffset = nullptr);

}  // namespace rtl

#endif
