// Calendar routines: leap years and month lengths (proleptic Gregorian rule).
#ifndef VELDA_UTIL_DATEUTIL_H
#define VELDA_UTIL_DATEUTIL_H

#include <array>
#include <cstdint>

namespace util {

// The days of months 1 to 12 in a common year, January first.
inline constexpr std::array<int32_t, 12> MonthLengths = {31, 28, 31, 30, 31, 30,
                                                         31, 31, 30, 31, 30, 31};

// True when Year is divisible by 4 and either not by 100 or by 400 (zero remainders, so negative
// years follow the same rule).
bool YearIsLeap(int32_t Year);

// The days of Month in Year: the MonthLengths entry, plus 1 for February of a leap year.
// A Month outside 1 to 12 has no entry: the result is 0 and nothing outside the table is read
// (the caller's date construction then fails for such a month).
int32_t DaysInMonth(int32_t Year, int32_t Month);

}  // namespace util

#endif
