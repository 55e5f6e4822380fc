#include "rtl/busycursor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

// Records every cursor set, as a window layer's hooks would apply them.
class RecordingHooks : public rtl::BusyCursorHooks {
  public:
    rtl::TCursor current() const override { return cursor; }
    void set(rtl::TCursor c) override {
        cursor = c;
        log.push_back(c);
    }
    rtl::TCursor cursor = rtl::crArrow;
    std::vector<rtl::TCursor> log;
};

class BusyCursor : public ::testing::Test {
  protected:
    void SetUp() override { previous_ = rtl::SetBusyCursorHooks(&hooks_); }
    void TearDown() override { rtl::SetBusyCursorHooks(previous_); }
    RecordingHooks hooks_;
    rtl::BusyCursorHooks* previous_ = nullptr;
};

TEST_F(BusyCursor, ShowsTheHourglassAndRestores) {
    {
        rtl::ScopedBusyCursor busy;
        EXPECT_EQ(busy.Remembered(), rtl::crArrow);
        EXPECT_EQ(rtl::ScreenCursor(), rtl::crHourGlass);
    }
    EXPECT_EQ(rtl::ScreenCursor(), rtl::crArrow);
    EXPECT_EQ(hooks_.log, (std::vector<rtl::TCursor>{rtl::crHourGlass, rtl::crArrow}));
}

TEST_F(BusyCursor, RestoresAfterAnException) {
    rtl::SetScreenCursor(rtl::crIBeam);
    EXPECT_THROW(
        {
            rtl::ScopedBusyCursor busy;
            throw std::runtime_error("connect failed");
        },
        std::runtime_error);
    EXPECT_EQ(rtl::ScreenCursor(), rtl::crIBeam);
}

TEST_F(BusyCursor, NestedScopesRestoreInTurn) {
    {
        rtl::ScopedBusyCursor outer;
        {
            rtl::ScopedBusyCursor inner;
            EXPECT_EQ(inner.Remembered(), rtl::crHourGlass);
        }
        EXPECT_EQ(rtl::ScreenCursor(), rtl::crHourGlass);
    }
    EXPECT_EQ(rtl::ScreenCursor(), rtl::crArrow);
}

TEST_F(BusyCursor, RestoresThroughTheHooksItStartedWith) {
    RecordingHooks other;
    {
        rtl::ScopedBusyCursor busy;
        rtl::SetBusyCursorHooks(&other);
    }
    rtl::SetBusyCursorHooks(&hooks_);
    EXPECT_EQ(hooks_.cursor, rtl::crArrow);
    EXPECT_TRUE(other.log.empty());
}

TEST(BusyCursorDefault, RemembersWithoutHooks) {
    rtl::SetBusyCursorHooks(nullptr);
    EXPECT_EQ(rtl::SetBusyCursorHooks(nullptr), &rtl::CurrentBusyCursorHooks());  // the default
    rtl::SetScreenCursor(rtl::crDefault);
    {
        rtl::ScopedBusyCursor busy;
        EXPECT_EQ(rtl::ScreenCursor(), rtl::crHourGlass);
    }
    EXPECT_EQ(rtl::ScreenCursor(), rtl::crDefault);
}

}  // namespace
