// Text routines on byte strings (single-byte characters; lengths and positions count
// bytes). Every routine returns a new text and leaves its arguments unchanged.
//
// The two padding families differ:
//   PadLeftBuf / PadRightBuf: 8-bit width; when padding happens, S is first cut at its first null
//     character (it goes through a null-terminated buffer), then padded to exactly Width.
//   PadLeft / PadRight / PadLeftSpaces / PadRightSpaces: 32-bit width; null characters remain.
// Both return S unchanged when it is as long as Width or longer (it is never cut), and for
// width 0 or negative.
#ifndef VELDA_UTIL_STRUTIL_H
#define VELDA_UTIL_STRUTIL_H

#include <cstdint>
#include <string>

namespace util {

// The part of S from position Start (1-based; 0 acts as 1), at most Count characters. S is read
// up to its first null character. Empty when Start is past the end or Count is 0.
std::string SubText(const std::string& S, uint8_t Start, uint8_t Count);

// S with copies of C in front of (Left) or behind (Right) it, to Width characters; see above.
// When padding happens the result is always exactly Width characters, also when C is the null
// character (the pad characters are counted, not looked for by their terminator).
std::string PadLeftBuf(const std::string& S, uint8_t Width, char C);
std::string PadRightBuf(const std::string& S, uint8_t Width, char C);

// N copies of C; empty when N is less than 1.
std::string RepeatChar(char C, int32_t N);

// Copies of C in front of / behind S to Width characters, or S unchanged when Width is not
// greater than its length.
std::string PadLeft(char C, const std::string& S, int32_t Width);
std::string PadRight(char C, const std::string& S, int32_t Width);

// PadLeft / PadRight with the blank character (code 32).
std::string PadLeftSpaces(const std::string& S, int32_t Width);
std::string PadRightSpaces(const std::string& S, int32_t Width);

// S for a message: NUL and the other control characters (1 to 31 and 127) as "\x00", "\x1b",
// so that nothing cuts, hides or rewrites the message; other bytes as they are.
std::string ShowControlCharacters(const std::string& S);

}  // namespace util

#endif
