#include "util/DateUtil.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DateUtil, YearIsLeap) {
    EXPECT_FALSE(util::YearIsLeap(1900));
    EXPECT_TRUE(util::YearIsLeap(2000));
    EXPECT_TRUE(util::YearIsLeap(2004));
    EXPECT_FALSE(util::YearIsLeap(2005));
    EXPECT_FALSE(util::YearIsLeap(2100));
    EXPECT_TRUE(util::YearIsLeap(2400));
    EXPECT_TRUE(util::YearIsLeap(0));
    EXPECT_TRUE(util::YearIsLeap(-4));
    EXPECT_FALSE(util::YearIsLeap(-100));
    EXPECT_TRUE(util::YearIsLeap(-400));
    EXPECT_FALSE(util::YearIsLeap(-1));
    EXPECT_TRUE(util::YearIsLeap(INT32_MIN));  // -2147483648: divisible by 4, not by 100
}

TEST(DateUtil, DaysInMonthExamples) {
    EXPECT_EQ(util::DaysInMonth(2000, 2), 29);
    EXPECT_EQ(util::DaysInMonth(1900, 2), 28);
    EXPECT_EQ(util::DaysInMonth(2004, 2), 29);
    EXPECT_EQ(util::DaysInMonth(2005, 2), 28);
    EXPECT_EQ(util::DaysInMonth(2005, 4), 30);
    EXPECT_EQ(util::DaysInMonth(2005, 12), 31);
    EXPECT_EQ(util::DaysInMonth(2005, 1), 31);
    EXPECT_EQ(util::DaysInMonth(2004, 3), 31);  // the leap day touches only February
}

TEST(DateUtil, DaysInMonthOutsideTheTableIsZero) {
    EXPECT_EQ(util::DaysInMonth(2005, 0), 0);
    EXPECT_EQ(util::DaysInMonth(2005, 13), 0);
    EXPECT_EQ(util::DaysInMonth(2000, -1), 0);
    EXPECT_EQ(util::DaysInMonth(2000, INT32_MIN), 0);
    EXPECT_EQ(util::DaysInMonth(2000, INT32_MAX), 0);
}

}  // namespace
