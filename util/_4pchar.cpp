#include "util/_4pchar.h"

#include <cstring>

namespace util {

std::size_t CharBuf::Length() const {
    if (!Data || Capacity == 0) return 0;
    const void* nul = std::memchr(Data, '\0', Capacity);
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - Data) : Capacity;
}

namespace {

// The text of B from its character Offset (0-based) on; Offset is at most the text's length,
// which is at most the capacity.
CharBuf at(CharBuf B, std::size_t offset) {
    return CharBuf(B.Data + offset, B.Capacity - offset);
}

// TailOf with a count of any size (SubTextInPlace computes L - Start + 1, which may exceed the
// 16-bit range for texts longer than 65534 characters; the result stays correct).
CharBuf tailOf(CharBuf B, std::size_t n) {
    const std::size_t len = B.Length();
    if (len > n) return at(B, len - n);
    return B;
}

CharBuf truncate(CharBuf B, std::size_t n) {
    // len <= Capacity, and n < len, so B.Data[n] lies inside the buffer.
    if (B.Length() > n) B.Data[n] = '\0';
    return B;
}

// The number of pad characters: min(Width, K - 1) - L, or 0 when the buffer has no room (or no
// terminator inside its capacity).
std::size_t padCount(CharBuf B, uint16_t width, std::size_t len) {
    if (B.Capacity == 0) return 0;
    const std::size_t target = width < B.Capacity - 1 ? width : B.Capacity - 1;
    return target > len ? target - len : 0;
}

}  // namespace

CharBuf TruncateInPlace(CharBuf B, uint16_t N) {
    return truncate(B, N);
}

CharBuf TailOf(CharBuf B, uint16_t N) {
    return tailOf(B, N);
}

CharBuf SubTextInPlace(CharBuf B, uint16_t Start, uint16_t Count) {
    const std::size_t len = B.Length();
    if (len < Start) {
        // Start >= 1 here, so len < Capacity and position 0 is inside the buffer.
        if (B.Capacity > 0) B.Data[0] = '\0';
        return B;
    }
    CharBuf p = tailOf(B, len - Start + 1);  // Start 0 asks for L + 1 characters: all of them
    return truncate(p, Count);
}

CharBuf PadLeftInPlace(CharBuf B, uint16_t Width, char C) {
    const std::size_t len = B.Length();
    if (len >= Width) return B;
    const std::size_t n = padCount(B, Width, len);
    if (n == 0) return B;  // no room: the text keeps its terminator where it is
    // len + n <= Capacity - 1: the moved text and its terminator fit.
    std::memmove(B.Data + n, B.Data, len);
    std::memset(B.Data, static_cast<unsigned char>(C), n);
    B.Data[len + n] = '\0';
    return B;
}

CharBuf PadRightInPlace(CharBuf B, uint16_t Width, char C) {
    const std::size_t len = B.Length();
    if (len >= Width) return B;
    const std::size_t n = padCount(B, Width, len);
    if (n == 0) return B;  // no room: the text keeps its terminator where it is
    std::memset(B.Data + len, static_cast<unsigned char>(C), n);
    B.Data[len + n] = '\0';
    return B;
}

}  // namespace util
