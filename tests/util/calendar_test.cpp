#include "base/calendar.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

// Every day of the engine's range against the standard library's calendar.
TEST(Calendar, EveryDayFromYear1To9999MatchesTheStandardCalendar) {
    using namespace std::chrono;
    int mismatches = 0;
    for (int64_t julian = velda::calendar::kFirstJulianDay;
         julian <= velda::calendar::kLastJulianDay; ++julian) {
        int y = 0, m = 0, d = 0;
        ASSERT_TRUE(velda::calendar::CivilFromJulian(julian, y, m, d));
        const year_month_day expected{sys_days{days{julian - velda::calendar::kJulianOfUnixEpoch}}};
        if (static_cast<int>(expected.year()) != y ||
            static_cast<unsigned>(expected.month()) != static_cast<unsigned>(m) ||
            static_cast<unsigned>(expected.day()) != static_cast<unsigned>(d) ||
            velda::calendar::JulianFromCivil(y, m, d) != julian)
            ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
    int y = 0, m = 0, d = 0;
    EXPECT_FALSE(velda::calendar::CivilFromJulian(velda::calendar::kFirstJulianDay - 1, y, m, d));
    EXPECT_FALSE(velda::calendar::CivilFromJulian(velda::calendar::kLastJulianDay + 1, y, m, d));
}

TEST(Calendar, EpochsMonthLengthsAndValidDates) {
    EXPECT_EQ(velda::calendar::JulianFromCivil(1899, 12, 30),
              velda::calendar::kJulianOfDateTimeEpoch);
    EXPECT_EQ(velda::calendar::JulianFromCivil(1970, 1, 1), velda::calendar::kJulianOfUnixEpoch);
    EXPECT_EQ(velda::calendar::DaysInMonth(2024, 2), 29);
    EXPECT_EQ(velda::calendar::DaysInMonth(1900, 2), 28);
    EXPECT_EQ(velda::calendar::DaysInMonth(2000, 2), 29);
    EXPECT_EQ(velda::calendar::DaysInMonth(2023, 4), 30);
    EXPECT_EQ(velda::calendar::DaysInMonth(2023, 0), 0);
    EXPECT_EQ(velda::calendar::DaysInMonth(2023, 13), 0);
    EXPECT_TRUE(velda::calendar::IsValidDate(2024, 2, 29));
    EXPECT_FALSE(velda::calendar::IsValidDate(2023, 2, 29));
    EXPECT_FALSE(velda::calendar::IsValidDate(0, 1, 1));
    EXPECT_FALSE(velda::calendar::IsValidDate(10000, 1, 1));
    EXPECT_TRUE(
        velda::calendar::IsLeapYear(-4));  // zero remainders: negative years follow the rule
}

}  // namespace
