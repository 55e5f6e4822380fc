// The one reader of times of day, in each of its forms: texts in, milliseconds or refusals out.
#include <gtest/gtest.h>

#include <string>

#include "base/cp1252.h"
#include "engine/codepage.h"
#include "engine/time_of_day.h"

namespace {

using engine::timeofday::Form;

constexpr int64_t kRefused = -1;

struct TimeCase {
    const char* text;
    Form form;
    int64_t millis;  // kRefused: not a time of that form
};

TEST(TimeOfDay, EachFormReadsItsOwnTextsAndRefusesTheRest) {
    const TimeCase cases[] = {
        // Stored values: one or two digits, seconds and fraction optional.
        {"12:30", Form::Stored, 45000000},
        {"1:5:7", Form::Stored, 3907000},
        {"23:59:59.999", Form::Stored, 86399999},
        {"08:00:00.5", Form::Stored, 28800500},
        {"08:00:00.05", Form::Stored, 28800050},
        {"24:00", Form::Stored, kRefused},
        {"12:60", Form::Stored, kRefused},
        {"12:30:60", Form::Stored, kRefused},
        {"123:00", Form::Stored, kRefused},
        {"12:30.5", Form::Stored, kRefused},
        {"12:30:00.", Form::Stored, kRefused},
        {"12:30:00.1234", Form::Stored, kRefused},
        {" 12:30", Form::Stored, kRefused},
        {"12", Form::Stored, kRefused},
        {"", Form::Stored, kRefused},
        {"12:30 PM", Form::Stored, kRefused},
        {"99999999999:00", Form::Stored, kRefused},
        // The escape {t '...'}: exactly two digits each, seconds required.
        {"07:05:09", Form::Escape, 25509000},
        {"07:05:09.1", Form::Escape, 25509100},
        {"07:05:09.123", Form::Escape, 25509123},
        {"7:05:09", Form::Escape, kRefused},
        {"07:05", Form::Escape, kRefused},
        {"07:05:09.", Form::Escape, kRefused},
        {"07:05:09.1234", Form::Escape, kRefused},
        {"25:00:00", Form::Escape, kRefused},
        // The functions' text: blanks, three-digit parts and a 12-hour clock.
        {"  9:15  ", Form::Loose, 33300000},
        {"9:15 pm", Form::Loose, 76500000},
        {"12:00 AM", Form::Loose, 0},
        {"12:00PM", Form::Loose, 43200000},
        {"009:015", Form::Loose, 33300000},
        {"13:00 PM", Form::Loose, kRefused},
        {"0:30 AM", Form::Loose, kRefused},
        {"9", Form::Loose, kRefused},
        {"9:15 XM", Form::Loose, kRefused},
        {"   ", Form::Loose, kRefused},
    };
    for (const TimeCase& c : cases) {
        int64_t millis = kRefused;
        const bool read = engine::timeofday::parse(c.text, c.form, millis);
        EXPECT_EQ(read ? millis : kRefused, c.millis)
            << "\"" << c.text << "\" as form " << static_cast<int>(c.form);
    }
    EXPECT_EQ(engine::timeofday::text(0), "00:00:00.000");
    EXPECT_EQ(engine::timeofday::text(86399999), "23:59:59.999");
}

// The engine's record images and rtl/'s texts read Windows-1252 from the one table: every byte
// keeps its character both ways.
TEST(CodePage1252, TheOneTableKeepsEveryByteBothWays) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 =
            engine::codepage::toUtf8(byte, engine::codepage::CodePage::Ansi1252);
        EXPECT_EQ(engine::codepage::fromUtf8(utf8, engine::codepage::CodePage::Ansi1252), byte)
            << b;
        EXPECT_EQ(
            velda::cp1252::fromUnicode(velda::cp1252::toUnicode(static_cast<unsigned char>(b))), b);
    }
    EXPECT_EQ(velda::cp1252::toUnicode(0x80), U'\u20AC');
    EXPECT_EQ(velda::cp1252::fromUnicode(U'\u20AC'), 0x80);
    EXPECT_EQ(velda::cp1252::fromUnicode(U'\u0100'), -1);
}

}  // namespace
