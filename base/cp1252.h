// Windows-1252, the code page of the stored texts and of every text below the windows: the one
// table of what its bytes mean, for the engine (record images) and rtl/ (texts meeting Qt, CSV
// files and the terminal). Header-only and dependent on nothing.
#ifndef VELDA_BASE_CP1252_H
#define VELDA_BASE_CP1252_H

namespace velda::cp1252 {

// Unicode code points of the bytes 0x80 to 0x9F. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control characters of the same value, so that
// every byte has a character and a text survives the round trip through Unicode unchanged.
inline constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The character of a byte; the bytes outside 0x80 to 0x9F are their own code points.
constexpr char32_t toUnicode(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

// The byte of a character, or -1 when the code page has none for it.
constexpr int fromUnicode(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c) return 0x80 + i;
    return -1;
}

}  // namespace velda::cp1252

#endif
