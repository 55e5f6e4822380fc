#include "engine/text_functions.h"

#include <cstdint>

namespace engine::text {

namespace {

// Code points of the Windows-1252 letters above ASCII that have a partner in the other case.
struct CasePair {
    char32_t upper;
    char32_t lower;
};
constexpr CasePair kHighPairs[] = {
    {0x0160, 0x0161},  // Š š (0x8A, 0x9A)
    {0x0152, 0x0153},  // Œ œ (0x8C, 0x9C)
    {0x017D, 0x017E},  // Ž ž (0x8E, 0x9E)
    {0x0178, 0x00FF},  // Ÿ ÿ (0x9F, 0xFF)
};

// 0xC0-0xDE and 0xE0-0xFE are Latin-1 and pair up 32 apart, except × and ÷ (and ß, 0xDF).
bool isLatin1Upper(char32_t c) {
    return c >= 0xC0 && c <= 0xDE && c != 0xD7;
}
bool isLatin1Lower(char32_t c) {
    return c >= 0xE0 && c <= 0xFE && c != 0xF7;
}

char32_t upperCodePoint(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (isLatin1Lower(c)) return c - 32;
    for (const auto& p : kHighPairs)
        if (p.lower == c) return p.upper;
    return c;
}

char32_t lowerCodePoint(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (isLatin1Upper(c)) return c + 32;
    for (const auto& p : kHighPairs)
        if (p.upper == c) return p.lower;
    return c;
}

// The Windows-1252 bytes 0x80-0x9F that are letters, as code points; the rest of the upper half
// is Latin-1 and equals its byte.
char32_t codePointOf1252(unsigned char b) {
    switch (b) {
        case 0x8A:
            return 0x0160;
        case 0x8C:
            return 0x0152;
        case 0x8E:
            return 0x017D;
        case 0x9A:
            return 0x0161;
        case 0x9C:
            return 0x0153;
        case 0x9E:
            return 0x017E;
        case 0x9F:
            return 0x0178;
        default:
            return b;
    }
}

char byteOf(char32_t c, char original) {
    switch (c) {
        case 0x0160:
            return static_cast<char>(0x8A);
        case 0x0152:
            return static_cast<char>(0x8C);
        case 0x017D:
            return static_cast<char>(0x8E);
        case 0x0161:
            return static_cast<char>(0x9A);
        case 0x0153:
            return static_cast<char>(0x9C);
        case 0x017E:
            return static_cast<char>(0x9E);
        case 0x0178:
            return static_cast<char>(0x9F);
        default:
            return c <= 0xFF ? static_cast<char>(c) : original;
    }
}

template <typename Map>
std::string mapUtf8(std::string_view in, Map map) {
    std::string out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        if (b0 < 0x80) {
            out.push_back(static_cast<char>(map(b0)));
            ++i;
            continue;
        }
        // Only two-byte forms can be Windows-1252 letters that change case.
        if ((b0 & 0xE0) == 0xC0 && i + 1 < in.size() &&
            (static_cast<unsigned char>(in[i + 1]) & 0xC0) == 0x80 && b0 >= 0xC2) {
            const char32_t c = (static_cast<char32_t>(b0 & 0x1F) << 6) |
                               (static_cast<unsigned char>(in[i + 1]) & 0x3F);
            const char32_t m = map(c);
            if (m < 0x800 && m >= 0x80) {
                out.push_back(static_cast<char>(0xC0 | (m >> 6)));
                out.push_back(static_cast<char>(0x80 | (m & 0x3F)));
            } else {
                out.append(in.substr(i, 2));
            }
            i += 2;
            continue;
        }
        out.push_back(static_cast<char>(b0));
        ++i;
    }
    return out;
}

template <std::string (*Map)(std::string_view)>
void sqlCaseFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const unsigned char* text = sqlite3_value_text(argv[0]);
    const int size = sqlite3_value_bytes(argv[0]);
    if (text == nullptr) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const std::string mapped =
        Map(std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(size)));
    sqlite3_result_text(context, mapped.data(), static_cast<int>(mapped.size()), SQLITE_TRANSIENT);
}

}  // namespace

char upper1252(char c) {
    const char32_t cp = codePointOf1252(static_cast<unsigned char>(c));
    return byteOf(upperCodePoint(cp), c);
}

char lower1252(char c) {
    const char32_t cp = codePointOf1252(static_cast<unsigned char>(c));
    return byteOf(lowerCodePoint(cp), c);
}

std::string upperUtf8(std::string_view utf8) {
    // Every Windows-1252 letter above ASCII, Š Œ Ž Ÿ included, is a two-byte form in UTF-8,
    // and so is its partner: the mapping never changes a text's length.
    return mapUtf8(utf8, upperCodePoint);
}

std::string lowerUtf8(std::string_view utf8) {
    return mapUtf8(utf8, lowerCodePoint);
}

int registerTextFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    int rc = sqlite3_create_function(db, "upper", 1, flags, nullptr, sqlCaseFunction<upperUtf8>,
                                     nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
    return sqlite3_create_function(db, "lower", 1, flags, nullptr, sqlCaseFunction<lowerUtf8>,
                                   nullptr, nullptr);
}

}  // namespace engine::text
