#include "rtl/codepage.h"

#include <cstdint>

namespace rtl {

namespace {

// Unicode code points of the bytes 0x80 to 0x9F.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::optional<unsigned char> toCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] == cp) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

}  // namespace

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else if (c < 0xA0)
            appendUtf8(out, kHighControls[c - 0x80]);
        else
            appendUtf8(out, c);
    }
    return out;
}

std::optional<std::string> Utf8ToCp1252(const std::string& text, size_t* badOffset) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = 0;
        int extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            if (badOffset) *badOffset = start;
            return std::nullopt;
        }
        ++i;
        for (int k = 0; k < extra; ++k, ++i) {
            if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                if (badOffset) *badOffset = start;
                return std::nullopt;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        // An overlong form ("\xC0\xAF" for "/") or a surrogate is not UTF-8: taking it would let
        // a character slip past any check made on the text.
        static constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kShortest[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            if (badOffset) *badOffset = start;
            return std::nullopt;
        }
        auto byte = toCp1252(cp);
        if (!byte) {
            if (badOffset) *badOffset = start;
            return std::nullopt;
        }
        out.push_back(static_cast<char>(*byte));
    }
    return out;
}

}  // namespace rtl
