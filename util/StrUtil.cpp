#include "util/StrUtil.h"

#include <cstring>
#include <vector>

#include "util/_4pchar.h"

namespace util {

namespace {

// A new buffer of the given capacity holding S up to its first null character (S.size() is less
// than the capacity at every call, so the copy and the terminator fit).
std::vector<char> bufferOf(const std::string& S, std::size_t capacity) {
    std::vector<char> buf(capacity, '\0');
    std::memcpy(buf.data(), S.data(), S.size());
    return buf;
}

std::string textOf(CharBuf B) {
    return std::string(B.Data, B.Length());
}

std::string padBuf(const std::string& S, uint8_t Width, char C, bool left) {
    if (S.size() >= Width) return S;
    std::vector<char> buf = bufferOf(S, std::size_t{Width} + 1);
    CharBuf b(buf.data(), buf.size());
    // The buffer holds Width characters and its terminator, so the padding always reaches Width;
    // the result is taken by that count, since a null pad character would end the text early.
    CharBuf padded = left ? PadLeftInPlace(b, Width, C) : PadRightInPlace(b, Width, C);
    return std::string(padded.Data, Width);
}

}  // namespace

std::string SubText(const std::string& S, uint8_t Start, uint8_t Count) {
    std::vector<char> buf = bufferOf(S, S.size() + 1);
    CharBuf b(buf.data(), buf.size());
    return textOf(SubTextInPlace(b, Start, Count));
}

std::string PadLeftBuf(const std::string& S, uint8_t Width, char C) {
    return padBuf(S, Width, C, true);
}

std::string PadRightBuf(const std::string& S, uint8_t Width, char C) {
    return padBuf(S, Width, C, false);
}

std::string RepeatChar(char C, int32_t N) {
    if (N < 1) return std::string();
    return std::string(static_cast<std::size_t>(N), C);
}

std::string PadLeft(char C, const std::string& S, int32_t Width) {
    if (Width > 0 && static_cast<std::size_t>(Width) > S.size())
        return RepeatChar(C, static_cast<int32_t>(static_cast<std::size_t>(Width) - S.size())) + S;
    return S;
}

std::string PadRight(char C, const std::string& S, int32_t Width) {
    if (Width > 0 && static_cast<std::size_t>(Width) > S.size())
        return S + RepeatChar(C, static_cast<int32_t>(static_cast<std::size_t>(Width) - S.size()));
    return S;
}

std::string PadLeftSpaces(const std::string& S, int32_t Width) {
    return PadLeft(' ', S, Width);
}

std::string PadRightSpaces(const std::string& S, int32_t Width) {
    return PadRight(' ', S, Width);
}

std::string ShowControlCharacters(const std::string& S) {
    static const char kDigits[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(S.size());
    for (char c : S) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            shown += "\\x";
            shown.push_back(kDigits[byte >> 4]);
            shown.push_back(kDigits[byte & 0xF]);
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}

}  // namespace util
