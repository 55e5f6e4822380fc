#include "engine/time_of_day.h"

#include <cctype>
#include <cstdio>

namespace engine::timeofday {

namespace {

std::string_view trimmedBlanks(std::string_view text) {
    const size_t from = text.find_first_not_of(' ');
    if (from == std::string_view::npos) return {};
    return text.substr(from, text.find_last_not_of(' ') - from + 1);
}

// Takes a 12-hour clock's suffix off the text: 0 for AM, 12 for PM, -1 without one.
int clockShift(std::string_view& text) {
    if (text.size() < 2) return -1;
    const char a =
        static_cast<char>(std::toupper(static_cast<unsigned char>(text[text.size() - 2])));
    const char m = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
    if ((a != 'A' && a != 'P') || m != 'M') return -1;
    text.remove_suffix(2);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return a == 'P' ? 12 : 0;
}

}  // namespace

bool parse(std::string_view text, Form form, int64_t& millis) {
    int shift = -1;
    if (form == Form::Loose) {
        text = trimmedBlanks(text);
        shift = clockShift(text);
    }
    // Hours, minutes, seconds and the fraction, separated by ':', ':' and '.'.
    int parts[4] = {0, 0, 0, 0};
    size_t digits[4] = {0, 0, 0, 0};
    size_t count = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        const char c = end ? ' ' : text[i];
        if (c >= '0' && c <= '9') {
            if (++digits[count] > 3) return false;  // wider than any form allows
            parts[count] = parts[count] * 10 + (c - '0');
            continue;
        }
        const bool separator = end || (c == ':' && count < 2) || (c == '.' && count == 2);
        if (!separator || digits[count] == 0) return false;
        ++count;
    }
    const size_t widest = form == Form::Loose ? 3 : 2;
    for (size_t p = 0; p < count && p < 3; ++p) {
        if (digits[p] > widest) return false;
        if (form == Form::Escape && digits[p] != 2) return false;
    }
    if (count < (form == Form::Escape ? 3 : 2) || digits[3] > 3) return false;
    if (digits[3] == 1) parts[3] *= 100;  // ".5" is 500 ms
    if (digits[3] == 2) parts[3] *= 10;
    if (shift >= 0) {
        if (parts[0] < 1 || parts[0] > 12) return false;
        parts[0] = parts[0] % 12 + shift;
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
    millis = ((parts[0] * 60LL + parts[1]) * 60 + parts[2]) * 1000 + parts[3];
    return true;
}

std::string text(int64_t millis) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", static_cast<int>(millis / 3600000),
                  static_cast<int>(millis / 60000 % 60), static_cast<int>(millis / 1000 % 60),
                  static_cast<int>(millis % 1000));
    return buffer;
}

}  // namespace engine::timeofday
