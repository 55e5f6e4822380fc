#include "engine/codepage.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "base/cp1252.h"

namespace engine::codepage {

namespace {

// Upper halves (0x80-0xFF) as Unicode code points.
constexpr std::array<char16_t, 128> kAnsiHigh = [] {
    std::array<char16_t, 128> high{};
    for (unsigned i = 0; i < high.size(); ++i)
        high[i] =
            static_cast<char16_t>(velda::cp1252::toUnicode(static_cast<unsigned char>(0x80 + i)));
    return high;
}();

constexpr std::array<char16_t, 128> kOemHigh = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

const std::array<char16_t, 128>& table(CodePage page) {
    return page == CodePage::Oem850 ? kOemHigh : kAnsiHigh;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

char encodeOne(char32_t c, CodePage page) {
    if (c < 0x80) return static_cast<char>(c);
    const auto& high = table(page);
    for (size_t i = 0; i < high.size(); ++i)
        if (high[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

std::string toUtf8(std::string_view bytes, CodePage page) {
    std::string out;
    out.reserve(bytes.size());
    const auto& high = table(page);
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out.push_back(ch);
        else
            appendUtf8(out, high[b - 0x80]);
    }
    return out;
}

size_t fromUtf8Into(std::string_view utf8, CodePage page, char* out, size_t capacity) {
    // Most text is ASCII, the same in every code page: copied whole once that is known.
    if (utf8.size() <= capacity) {
        unsigned char high = 0;
        for (char c : utf8) high |= static_cast<unsigned char>(c);
        if (high < 0x80) {
            std::memcpy(out, utf8.data(), utf8.size());
            return utf8.size();
        }
    }
    size_t written = 0;
    size_t i = 0;
    while (i < utf8.size() && written < capacity) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out[written++] = static_cast<char>(b);
            ++i;
            continue;
        }
        size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        char32_t c = extra == 3 ? (b & 0x07) : extra == 2 ? (b & 0x0F) : (b & 0x1F);
        bool valid = extra > 0;
        for (size_t k = 1; valid && k <= extra; ++k) {
            if (i + k >= utf8.size()) {
                valid = false;
                break;
            }
            auto cont = static_cast<unsigned char>(utf8[i + k]);
            if ((cont & 0xC0) != 0x80) valid = false;
            c = (c << 6) | (cont & 0x3F);
        }
        if (!valid) {
            // Not UTF-8: a byte written by some other program; keep it as a 1252 byte.
            out[written++] = page == CodePage::Ansi1252 ? static_cast<char>(b)
                                                        : encodeOne(kAnsiHigh[b - 0x80], page);
            ++i;
            continue;
        }
        out[written++] = encodeOne(c, page);
        i += extra + 1;
    }
    return written;
}

std::string fromUtf8(std::string_view utf8, CodePage page) {
    std::string out(utf8.size(), '\0');
    out.resize(fromUtf8Into(utf8, page, out.data(), out.size()));
    return out;
}

std::string convert(std::string_view bytes, CodePage from, CodePage to) {
    if (from == to) return std::string(bytes);
    return fromUtf8(toUtf8(bytes, from), to);
}

}  // namespace engine::codepage
