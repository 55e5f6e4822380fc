#include "util/DateUtil.h"

namespace util {

bool YearIsLeap(int32_t Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

int32_t DaysInMonth(int32_t Year, int32_t Month) {
    if (Month < 1 || Month > 12) return 0;
    int32_t days = MonthLengths[static_cast<std::size_t>(Month - 1)];
    if (Month == 2 && YearIsLeap(Year)) ++days;
    return days;
}

}  // namespace util
