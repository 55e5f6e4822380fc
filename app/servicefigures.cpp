#include "app/servicefigures.h"

#include <cmath>

#include "ads/adsdata.h"
#include "rtl/sysutils.h"
#include "util/StrUtil.h"

namespace app {

namespace {

constexpr FixedPoint kOne = 10000;

double ToDouble(FixedPoint value) {
    return static_cast<double>(value) / static_cast<double>(kOne);
}

}  // namespace

FixedPoint Round2(double value) {
    double rounded = rtl::StrToFloat(rtl::FormatFloat("0.00", value));
    return static_cast<FixedPoint>(std::llround(rounded * kOne));
}

ServiceFigures FiguresFor(int periodYear, double dateOfBirth, double hiredDate) {
    ServiceFigures figures;
    int birthYear = 0, birthMonth = 0, birthDay = 0;
    rtl::DecodeDate(dateOfBirth, birthYear, birthMonth, birthDay);
    figures.age =
        static_cast<FixedPoint>(periodYear - birthYear) * kOne + Round2(birthMonth / 12.0);
    int hireYear = 0, hireMonth = 0, hireDay = 0;
    rtl::DecodeDate(hiredDate, hireYear, hireMonth, hireDay);
    int64_t months = 12LL * periodYear + 12 - hireMonth - 12LL * hireYear + (hireDay <= 15 ? 1 : 0);
    figures.months = months * kOne;
    figures.years = Round2(static_cast<double>(months) / 12.0);
    return figures;
}

void ComputeServiceFigures(ads::TAdsDataSet* service, ads::TAdsDataSet* employees,
                           const std::string& userId, const std::string& periodText) {
    int periodYear = rtl::StrToInt(util::SubText(periodText, 1, 4));
    employees->First();
    while (!employees->Eof()) {
        std::string employee = employees->FieldByName("emp_no")->AsString();
        if (service->FindByKey({employee, userId})) {
            service->Edit();
        } else {
            service->Append();
        }
        ServiceFigures figures = FiguresFor(periodYear, employees->FieldByName("DOB")->AsDateTime(),
                                            employees->FieldByName("Hired_date")->AsDateTime());
        service->FieldByName("userid")->SetAsString(userId);
        service->FieldByName("emp_no")->SetAsString(employee);
        service->FieldByName("age")->SetAsFloat(ToDouble(figures.age));
        service->FieldByName("len_of_svs_mth")->SetAsFloat(ToDouble(figures.months));
        service->FieldByName("len_of_svs_yrs")->SetAsFloat(ToDouble(figures.years));
        service->Post();
        employees->Next();
    }
}

}  // namespace app
