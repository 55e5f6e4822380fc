#include "util/StrUtil.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

TEST(StrUtil, SubTextExamples) {
    EXPECT_EQ(util::SubText("ABCDEF", 1, 4), "ABCD");
    EXPECT_EQ(util::SubText("ABCDEF", 5, 2), "EF");
    EXPECT_EQ(util::SubText("ABCDEF", 7, 2), "");
    EXPECT_EQ(util::SubText("ABCDEF", 6, 5), "F");
    EXPECT_EQ(util::SubText("ABCDEF", 0, 4), "ABCD");
    EXPECT_EQ(util::SubText("ABCDEF", 0, 4), util::SubText("ABCDEF", 1, 4));
    EXPECT_EQ(util::SubText("ABCDEF", 3, 0), "");
    EXPECT_EQ(util::SubText("ABCDEF", 255, 255), "");
    EXPECT_EQ(util::SubText("", 0, 1), "");
    EXPECT_EQ(util::SubText("", 1, 1), "");
}

TEST(StrUtil, SubTextOfAPeriod) {
    EXPECT_EQ(util::SubText("200603", 1, 4), "2006");
    EXPECT_EQ(util::SubText("200603", 5, 2), "03");
}

TEST(StrUtil, SubTextEndsAtTheFirstNull) {
    const std::string s = "AB\0CDEF"s;
    EXPECT_EQ(util::SubText(s, 1, 10), "AB");
    EXPECT_EQ(util::SubText(s, 2, 10), "B");
    EXPECT_EQ(util::SubText(s, 3, 10), "");
    EXPECT_EQ(util::SubText(s, 4, 2), "");  // past the end of the buffer's text
}

TEST(StrUtil, SubTextOfALongText) {
    const std::string s(70000, 'a');
    EXPECT_EQ(util::SubText(s, 1, 255), std::string(255, 'a'));
    EXPECT_EQ(util::SubText(s + "xyz", 0, 3), "aaa");
}

TEST(StrUtil, PadBufExamples) {
    EXPECT_EQ(util::PadLeftBuf("42", 5, '0'), "00042");
    EXPECT_EQ(util::PadLeftBuf("123456", 5, '0'), "123456");
    EXPECT_EQ(util::PadRightBuf("42", 5, ' '), "42   ");
    EXPECT_EQ(util::PadRightBuf("123456", 5, ' '), "123456");
    EXPECT_EQ(util::PadLeftBuf("", 3, '*'), "***");
    EXPECT_EQ(util::PadLeftBuf("AB", 0, '*'), "AB");
    EXPECT_EQ(util::PadRightBuf("AB", 2, '*'), "AB");
    EXPECT_EQ(util::PadLeftBuf("", 255, 'z'), std::string(255, 'z'));
    EXPECT_EQ(util::PadRightBuf("A", 255, 'z'), "A" + std::string(254, 'z'));
}

TEST(StrUtil, PadBufCutsAtANullWhenItPads) {
    const std::string s = "AB\0C"s;  // 4 characters
    EXPECT_EQ(util::PadLeftBuf(s, 6, '0'), "0000AB");
    EXPECT_EQ(util::PadRightBuf(s, 6, '0'), "AB0000");
    // Long enough: returned unchanged, the null character included.
    EXPECT_EQ(util::PadLeftBuf(s, 4, '0'), s);
    EXPECT_EQ(util::PadRightBuf(s, 3, '0'), s);
}

TEST(StrUtil, PadBufWithTheNullCharacter) {
    // Still exactly Width characters: the null pad characters are part of the result.
    EXPECT_EQ(util::PadLeftBuf("AB", 5, '\0'), "\0\0\0AB"s);
    EXPECT_EQ(util::PadRightBuf("AB", 5, '\0'), "AB\0\0\0"s);
    EXPECT_EQ(util::PadLeftBuf("A\0B"s, 4, '\0'), "\0\0\0A"s);
}

TEST(StrUtil, RepeatChar) {
    EXPECT_EQ(util::RepeatChar('x', 0), "");
    EXPECT_EQ(util::RepeatChar('x', -3), "");
    EXPECT_EQ(util::RepeatChar('x', 1), "x");
    EXPECT_EQ(util::RepeatChar('-', 4), "----");
    EXPECT_EQ(util::RepeatChar('\0', 2), "\0\0"s);
}

TEST(StrUtil, PadSpacesExamples) {
    EXPECT_EQ(util::PadRightSpaces("AB", 4), "AB  ");
    EXPECT_EQ(util::PadRightSpaces("AB", 2), "AB");
    EXPECT_EQ(util::PadRightSpaces("AB", 1), "AB");
    EXPECT_EQ(util::PadRightSpaces("AB", 0), "AB");
    EXPECT_EQ(util::PadRightSpaces("AB", -5), "AB");
    EXPECT_EQ(util::PadLeftSpaces("AB", 4), "  AB");
    EXPECT_EQ(util::PadLeftSpaces("ABCDE", 4), "ABCDE");
    EXPECT_EQ(util::PadLeftSpaces("", 3), "   ");
}

TEST(StrUtil, PadLeftAndRight) {
    EXPECT_EQ(util::PadLeft('0', "7", 3), "007");
    EXPECT_EQ(util::PadRight('.', "7", 3), "7..");
    EXPECT_EQ(util::PadLeft('0', "1234", 3), "1234");
    EXPECT_EQ(util::PadRight('0', "1234", -1), "1234");
    // Widths beyond the 8-bit range of the Buf family.
    EXPECT_EQ(util::PadLeft('0', "1", 300), std::string(299, '0') + "1");
    EXPECT_EQ(util::PadLeftSpaces("X", 1000).size(), 1000u);
}

TEST(StrUtil, PadKeepsNullCharacters) {
    const std::string s = "AB\0C"s;
    EXPECT_EQ(util::PadLeft('0', s, 6), "00AB\0C"s);
    EXPECT_EQ(util::PadRight('0', s, 6), "AB\0C00"s);
    EXPECT_EQ(util::PadLeftSpaces(s, 5), " AB\0C"s);
    EXPECT_EQ(util::PadRightSpaces(s, 5), "AB\0C "s);
}

TEST(StrUtil, FamiliesDifferOnNullsButAgreeOtherwise) {
    const std::string s = "A\0B"s;
    EXPECT_NE(util::PadLeftBuf(s, 5, ' '), util::PadLeftSpaces(s, 5));
    EXPECT_EQ(util::PadLeftBuf(s, 5, ' '), "    A");
    EXPECT_EQ(util::PadLeftSpaces(s, 5), "  A\0B"s);
    EXPECT_EQ(util::PadLeftBuf("AB", 5, ' '), util::PadLeftSpaces("AB", 5));
    EXPECT_EQ(util::PadRightBuf("AB", 5, ' '), util::PadRightSpaces("AB", 5));
}

}  // namespace
