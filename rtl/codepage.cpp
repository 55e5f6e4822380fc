#include "rtl/codepage.h"

#include <cstdint>

#include "base/cp1252.h"

namespace rtl {

namespace {

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

}  // namespace

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else
            appendUtf8(out, velda::cp1252::toUnicode(c));
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
        const int byte = velda::cp1252::fromUnicode(cp);
        if (byte < 0) {
            if (badOffset) *badOffset = start;
            return std::nullopt;
        }
        out.push_back(static_cast<char>(byte));
    }
    return out;
}

}  // namespace rtl
