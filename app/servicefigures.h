// The employee service figures: each employee's age and length of service, written for one
// user into the employee-service table, computed up to the end of the period's year.
#ifndef VELDA_APP_SERVICEFIGURES_H
#define VELDA_APP_SERVICEFIGURES_H

#include <cstdint>
#include <string>

namespace ads {
class TAdsDataSet;
}

namespace app {

// A figure with four decimal places, as a count of ten-thousandths.
using FixedPoint = int64_t;

// The value formatted with "0.00" and read back, as ten-thousandths.
FixedPoint Round2(double value);

struct ServiceFigures {
    FixedPoint age = 0;
    FixedPoint months = 0;
    FixedPoint years = 0;
};

// The figures of one employee for a period year; dates are date-time numbers (an empty date is
// taken as 0, 30 December 1899).
ServiceFigures FiguresFor(int periodYear, double dateOfBirth, double hiredDate);

// Walks the employee table from its first row to its end and, for each employee, edits the
// user's service row (found by employee number and user ID) or appends one, and posts it.
// periodText: the login's period, whose first four characters are the year.
void ComputeServiceFigures(ads::TAdsDataSet* service, ads::TAdsDataSet* employees,
                           const std::string& userId, const std::string& periodText);

}  // namespace app

#endif
