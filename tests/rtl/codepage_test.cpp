#include <gtest/gtest.h>

#include "rtl/codepage.h"

namespace {

TEST(Codepage, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
    auto back = rtl::Utf8ToCp1252(rtl::Cp1252ToUtf8(all));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
    EXPECT_EQ(rtl::Cp1252ToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9");  // euro sign, e acute
}

TEST(Codepage, RefusesWhatTheCodePageCannotHold) {
    size_t bad = 99;
    EXPECT_FALSE(rtl::Utf8ToCp1252("ab\xE2\x9C\x93", &bad));  // check mark
    EXPECT_EQ(bad, 2u);
    EXPECT_FALSE(rtl::Utf8ToCp1252("x\xC3", &bad));  // cut short
    EXPECT_EQ(bad, 1u);
    EXPECT_FALSE(rtl::Utf8ToCp1252("\xFF", &bad));
    EXPECT_EQ(bad, 0u);
    // Overlong forms and surrogates are not UTF-8, whatever they would decode to.
    for (const char* overlong :
         {"a\xC0\xAF", "a\xE0\x80\xAF", "a\xF0\x80\x80\xAF", "a\xC1\xBF", "a\xED\xA0\x80"}) {
        bad = 99;
        EXPECT_FALSE(rtl::Utf8ToCp1252(overlong, &bad)) << overlong;
        EXPECT_EQ(bad, 1u) << overlong;
    }
}

}  // namespace
