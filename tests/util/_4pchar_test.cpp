#include "util/_4pchar.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

using util::CharBuf;

namespace {

// A heap buffer of exactly the given capacity, so that AddressSanitizer catches any access past
// it, holding the text (which must fit with its terminator).
struct HeapBuf {
    std::unique_ptr<char[]> data;
    std::size_t capacity;
    HeapBuf(const std::string& text, std::size_t cap) : data(new char[cap]), capacity(cap) {
        std::memset(data.get(), 'x', cap);
        std::memcpy(data.get(), text.data(), text.size());
        data[text.size()] = '\0';
    }
    CharBuf view() { return CharBuf(data.get(), capacity); }
    std::string text() const { return std::string(data.get(), strnlen(data.get(), capacity)); }
};

std::string textAt(CharBuf b) {
    return std::string(b.Data, b.Length());
}

TEST(PChar, LengthStopsAtTheCapacity) {
    char raw[4] = {'a', 'b', 'c', 'd'};  // no terminator
    EXPECT_EQ(CharBuf(raw, 4).Length(), 4u);
    EXPECT_EQ(CharBuf(raw, 2).Length(), 2u);
    EXPECT_EQ(CharBuf(nullptr, 10).Length(), 0u);
    EXPECT_EQ(CharBuf(nullptr, 10).Capacity, 0u);
    char arr[8] = "abc";
    CharBuf b(arr);
    EXPECT_EQ(b.Capacity, 8u);
    EXPECT_EQ(b.Length(), 3u);
}

TEST(PChar, TruncateInPlace) {
    HeapBuf b("ABCDEF", 7);
    CharBuf r = util::TruncateInPlace(b.view(), 10);
    EXPECT_EQ(r.Data, b.data.get());
    EXPECT_EQ(b.text(), "ABCDEF");
    util::TruncateInPlace(b.view(), 6);
    EXPECT_EQ(b.text(), "ABCDEF");
    util::TruncateInPlace(b.view(), 4);
    EXPECT_EQ(b.text(), "ABCD");
    util::TruncateInPlace(b.view(), 0);
    EXPECT_EQ(b.text(), "");
}

TEST(PChar, TailOf) {
    HeapBuf b("ABCDEF", 7);
    CharBuf t = util::TailOf(b.view(), 2);
    EXPECT_EQ(t.Data, b.data.get() + 4);
    EXPECT_EQ(t.Capacity, 3u);
    EXPECT_EQ(textAt(t), "EF");
    EXPECT_EQ(util::TailOf(b.view(), 6).Data, b.data.get());
    EXPECT_EQ(util::TailOf(b.view(), 60).Data, b.data.get());
    CharBuf none = util::TailOf(b.view(), 0);
    EXPECT_EQ(none.Data, b.data.get() + 6);
    EXPECT_EQ(textAt(none), "");
}

TEST(PChar, SubTextInPlace) {
    struct Case {
        uint16_t start, count;
        const char* expected;
    };
    for (Case c : {Case{1, 4, "ABCD"}, Case{5, 2, "EF"}, Case{7, 2, ""}, Case{6, 5, "F"},
                   Case{0, 3, "ABC"}, Case{1, 0, ""}, Case{3, 65535, "CDEF"}, Case{200, 1, ""}}) {
        HeapBuf b("ABCDEF", 7);
        EXPECT_EQ(textAt(util::SubTextInPlace(b.view(), c.start, c.count)), c.expected)
            << "start " << c.start << " count " << c.count;
    }
    HeapBuf past("ABCDEF", 7);
    CharBuf r = util::SubTextInPlace(past.view(), 8, 1);
    EXPECT_EQ(r.Data, past.data.get());
    EXPECT_EQ(past.text(), "");  // emptied
    HeapBuf empty("", 1);
    EXPECT_EQ(textAt(util::SubTextInPlace(empty.view(), 0, 5)), "");
    EXPECT_EQ(textAt(util::SubTextInPlace(empty.view(), 1, 5)), "");
}

TEST(PChar, SubTextInPlaceOnCapacityZeroWritesNothing) {
    CharBuf none;
    EXPECT_EQ(util::SubTextInPlace(none, 1, 1).Length(), 0u);
    EXPECT_STREQ(none.CStr(), "");
}

TEST(PChar, PadLeftInPlace) {
    HeapBuf b("42", 6);
    util::PadLeftInPlace(b.view(), 5, '0');
    EXPECT_EQ(b.text(), "00042");
    HeapBuf same("123456", 7);
    util::PadLeftInPlace(same.view(), 5, '0');
    EXPECT_EQ(same.text(), "123456");
    HeapBuf zero("AB", 3);
    util::PadLeftInPlace(zero.view(), 0, '*');
    EXPECT_EQ(zero.text(), "AB");
}

TEST(PChar, PadRightInPlace) {
    HeapBuf b("42", 6);
    util::PadRightInPlace(b.view(), 5, '.');
    EXPECT_EQ(b.text(), "42...");
    HeapBuf empty("", 4);
    util::PadRightInPlace(empty.view(), 3, '#');
    EXPECT_EQ(empty.text(), "###");
}

TEST(PChar, PaddingNeverOverrunsASmallBuffer) {
    // Capacity 4 holds at most 3 characters: Width 10 pads only to 3.
    HeapBuf left("A", 4);
    CharBuf r = util::PadLeftInPlace(left.view(), 10, '0');
    EXPECT_EQ(r.Data, left.data.get());
    EXPECT_EQ(left.text(), "00A");
    HeapBuf right("A", 4);
    util::PadRightInPlace(right.view(), 10, '0');
    EXPECT_EQ(right.text(), "A00");
    // A full buffer: nothing to add.
    HeapBuf full("ABC", 4);
    util::PadLeftInPlace(full.view(), 65535, '0');
    EXPECT_EQ(full.text(), "ABC");
    util::PadRightInPlace(full.view(), 65535, '0');
    EXPECT_EQ(full.text(), "ABC");
    // Capacity 1: only the terminator.
    HeapBuf one("", 1);
    util::PadLeftInPlace(one.view(), 5, '0');
    util::PadRightInPlace(one.view(), 5, '0');
    EXPECT_EQ(one.text(), "");
    // Capacity 0 and an unterminated buffer: left alone.
    CharBuf none;
    util::PadLeftInPlace(none, 5, '0');
    util::PadRightInPlace(none, 5, '0');
    char raw[3] = {'a', 'b', 'c'};
    util::PadLeftInPlace(CharBuf(raw, 3), 5, '0');
    util::PadRightInPlace(CharBuf(raw, 3), 5, '0');
    EXPECT_EQ(std::string(raw, 3), "abc");
}

TEST(PChar, RoutinesOnAnUnterminatedBufferStayInside) {
    HeapBuf b("", 3);
    std::memcpy(b.data.get(), "xyz", 3);  // no terminator
    EXPECT_EQ(util::TailOf(b.view(), 1).Data, b.data.get() + 2);
    util::TruncateInPlace(b.view(), 2);
    EXPECT_EQ(b.text(), "xy");
}

}  // namespace
