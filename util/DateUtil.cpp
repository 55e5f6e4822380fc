#include "util/DateUtil.h"

#include "base/calendar.h"

namespace util {

bool YearIsLeap(int32_t Year) {
    return velda::calendar::IsLeapYear(Year);
}

int32_t DaysInMonth(int32_t Year, int32_t Month) {
    return velda::calendar::DaysInMonth(Year, Month);
}

}  // namespace util
