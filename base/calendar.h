// The one calendar of the system: proleptic Gregorian civil dates, Julian day numbers and
// day counts. Header-only and dependent on nothing, so that every layer, the engine included,
// uses these same rules.
//
//   Julian day number   days since 4713 BC as the engine stores them (0001-01-01 is 1721426,
//                       1970-01-01 is 2440588);
//   date-time number    days since 1899-12-30 (the time as the fraction): Julian day - 2415019.
#ifndef VELDA_BASE_CALENDAR_H
#define VELDA_BASE_CALENDAR_H

#include <cstdint>

namespace velda::calendar {

inline constexpr int64_t kJulianOfUnixEpoch = 2440588;      // 1970-01-01
inline constexpr int64_t kJulianOfDateTimeEpoch = 2415019;  // 1899-12-30, date-time number 0
inline constexpr int64_t kFirstJulianDay = 1721426;         // 0001-01-01
inline constexpr int64_t kLastJulianDay = 5373484;          // 9999-12-31

constexpr bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// 28 to 31 for months 1 to 12; 0 for any other month.
constexpr int DaysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

constexpr bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && day >= 1 && day <= DaysInMonth(year, month);
}

// Days since 1970-01-01 of a civil date (negative before it). The date is not checked.
constexpr int64_t DaysFromCivil(int year, int month, int day) {
    const int64_t y = year - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The civil date of a count of days since 1970-01-01.
constexpr void CivilFromDays(int64_t days, int& year, int& month, int& day) {
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

constexpr int64_t JulianFromCivil(int year, int month, int day) {
    return DaysFromCivil(year, month, day) + kJulianOfUnixEpoch;
}

// False, leaving the outputs alone, outside 0001-01-01 to 9999-12-31.
constexpr bool CivilFromJulian(int64_t julian, int& year, int& month, int& day) {
    if (julian < kFirstJulianDay || julian > kLastJulianDay) return false;
    CivilFromDays(julian - kJulianOfUnixEpoch, year, month, day);
    return true;
}

}  // namespace velda::calendar

#endif
