// Buffer routines: in-place cutting and padding of a text ended by a null character in
// a caller's character buffer that knows its capacity.
//
// A buffer is described by a CharBuf: the first character and the capacity, the number of
// characters (terminator included) the buffer was allocated for. Counts, positions and widths are
// 16-bit unsigned values. A "position in B" is returned as a CharBuf that starts at
// that character and whose capacity is what is left of B from there on.
//
// Safety: no routine reads or writes outside [Data, Data + Capacity). The text's length is the
// number of characters before the first null character, looked for only inside the capacity. A
// buffer whose capacity holds no null character at all breaks the routines' precondition; the
// routines then take the whole capacity as the text and never write a terminator past it (padding
// does nothing). A buffer of capacity 0 (or a null Data) holds no text and is never written.
#ifndef VELDA_UTIL_4PCHAR_H
#define VELDA_UTIL_4PCHAR_H

#include <cstddef>
#include <cstdint>

namespace util {

struct CharBuf {
    char* Data = nullptr;
    std::size_t Capacity = 0;  // characters, terminator included

    CharBuf() = default;
    CharBuf(char* data, std::size_t capacity) : Data(data), Capacity(data ? capacity : 0) {}
    template <std::size_t K>
    explicit CharBuf(char (&array)[K]) : Data(array), Capacity(K) {}

    // Length of the text: characters before the first null character, at most Capacity.
    std::size_t Length() const;
    // The buffer's first character, or an empty text for a buffer of capacity 0.
    const char* CStr() const { return Capacity ? Data : ""; }
};

// B, its text cut to at most N characters.
CharBuf TruncateInPlace(CharBuf B, uint16_t N);

// Position in B of the last N characters of its text, or B itself when the text has N characters
// or fewer.
CharBuf TailOf(CharBuf B, uint16_t N);

// Position in B where the part from Start (1-based; 0 acts as 1), cut to Count characters,
// begins. When the text is shorter than Start the text is emptied and B is returned.
CharBuf SubTextInPlace(CharBuf B, uint16_t Start, uint16_t Count);

// B, its text padded in front (Left) or behind (Right) with C to Width characters, but never to
// more than Capacity - 1 characters. A text of Width characters or more is left unchanged.
CharBuf PadLeftInPlace(CharBuf B, uint16_t Width, char C);
CharBuf PadRightInPlace(CharBuf B, uint16_t Width, char C);

}  // namespace util

#endif
