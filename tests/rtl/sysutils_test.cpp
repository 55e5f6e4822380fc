#include "rtl/sysutils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "tests/support/error_of.h"

using namespace rtl;

namespace {

// Only conversion errors count: any other escapes and fails the test.
template <class F>
std::string ErrorOf(F&& f) {
    return testsupport::ErrorOf<EConvertError>(std::forward<F>(f));
}

class SysUtils : public ::testing::Test {
  protected:
    void TearDown() override { FormatSettings() = TFormatSettings(); }
};

}  // namespace

TEST_F(SysUtils, DateNumbers) {
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 31), 1.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_DOUBLE_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_DOUBLE_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    // The date form: 0001-01-01 is day 1.
    EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(1, 1, 1)).Date, 1);
    EXPECT_EQ(DateTimeToTimeStamp(0).Date, 693594);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime({0, 1}), -693593.0);
    EXPECT_DOUBLE_EQ(TimeStampToMSecs(DateTimeToTimeStamp(EncodeDate(1, 1, 1))), 86400000.0);
    TTimeStamp ts = MSecsToTimeStamp(86400000.0 * 693595 + 43200000.0);
    EXPECT_EQ(ts.Date, 693595);
    EXPECT_EQ(ts.Time, 43200000);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(ts), 1.5);

    int y, m, d;
    DecodeDate(36526.75, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000101);
    DecodeDate(-693593, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
    DecodeDate(-1.25, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
    for (double day = -693593; day < 2958466; day += 997) {
        DecodeDate(day, y, m, d);
        EXPECT_DOUBLE_EQ(EncodeDate(y, m, d), day);
    }
}

TEST_F(SysUtils, LeapDaysAndInvalidDates) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_TRUE(IsLeapYear(2004));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_FALSE(IsLeapYear(2003));
    EXPECT_EQ(DaysInAMonth(2000, 2), 29);
    EXPECT_EQ(DaysInAMonth(1900, 2), 28);
    EXPECT_EQ(DaysInAMonth(2005, 4), 30);
    EXPECT_DOUBLE_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 28), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1900, 3, 1) - EncodeDate(1900, 2, 28), 1.0);
    const std::string message = "Invalid argument to date encode";
    EXPECT_EQ(ErrorOf([] { EncodeDate(1900, 2, 29); }), message);
    EXPECT_EQ(ErrorOf([] { EncodeDate(2006, 13, 1); }), message);
    EXPECT_EQ(ErrorOf([] { EncodeDate(2006, 0, 1); }), message);
    EXPECT_EQ(ErrorOf([] { EncodeDate(2006, 4, 31); }), message);
    EXPECT_EQ(ErrorOf([] { EncodeDate(0, 1, 1); }), message);
    EXPECT_EQ(ErrorOf([] { EncodeDate(10000, 1, 1); }), message);
    EXPECT_EQ(ErrorOf([] { EncodeDate(2006, 1, 0); }), message);
    TDateTime out = 7;
    EXPECT_FALSE(TryEncodeDate(2001, 2, 29, out));
    EXPECT_DOUBLE_EQ(out, 7.0);
    EXPECT_TRUE(TryEncodeDate(2004, 2, 29, out));
}

TEST_F(SysUtils, Times) {
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    int h, n, s, ms;
    DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, ms);
    EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 235959999);
    DecodeTime(36526.5, h, n, s, ms);
    EXPECT_EQ(h, 12);
    EXPECT_EQ(ErrorOf([] { EncodeTime(24, 0, 0, 0); }), "Invalid argument to time encode");
    EXPECT_DOUBLE_EQ(ComposeDateTime(-1, 0.25), -1.25);
    EXPECT_DOUBLE_EQ(ComposeDateTime(2, 0.25), 2.25);
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 6, 2)), 1);  // a Sunday
    EXPECT_EQ(DayOfWeek(0), 7);                       // 1899-12-30 was a Saturday
}

TEST_F(SysUtils, TodayAndNow) {
    TDateTime today = Date();
    EXPECT_EQ(today, std::trunc(today));
    TDateTime now = Now();
    EXPECT_GE(now, today);
    EXPECT_LT(now, today + 1.0001);
    int y, m, d;
    DecodeDate(today, y, m, d);
    EXPECT_GE(y, 2020);
}

TEST_F(SysUtils, Integers) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("  -7"), -7);
    EXPECT_EQ(StrToInt("+3"), 3);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(ErrorOf([] { StrToInt("2147483648"); }), "'2147483648' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { StrToInt("12a"); }), "'12a' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { StrToInt(""); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { StrToInt("12 "); }), "'12 ' is not a valid integer value");
    EXPECT_EQ(StrToIntDef("zz", 5), 5);
    EXPECT_EQ(StrToInt64("9000000000"), 9000000000LL);
    EXPECT_EQ(IntToStr(-15), "-15");
}

TEST_F(SysUtils, Floats) {
    EXPECT_DOUBLE_EQ(StrToFloat("3.5"), 3.5);
    EXPECT_DOUBLE_EQ(StrToFloat(" -1.25e2 "), -125.0);
    EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
    EXPECT_EQ(ErrorOf([] { StrToFloat("1,5"); }), "'1,5' is not a valid floating point value");
    EXPECT_EQ(ErrorOf([] { StrToFloat("abc"); }), "'abc' is not a valid floating point value");
    EXPECT_EQ(ErrorOf([] { StrToFloat(""); }), "'' is not a valid floating point value");
    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    EXPECT_DOUBLE_EQ(StrToFloat("1,5", comma), 1.5);

    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(3.5), "3.5");
    EXPECT_EQ(FloatToStr(-0.1), "-0.1");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(100), "100");
    EXPECT_EQ(FloatToStr(1e20), "1E20");
    EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    EXPECT_EQ(FloatToStrF(12.3, ffFixed, 4, 2), "12.30");
    EXPECT_EQ(FloatToStrF(123.456, ffFixed, 4, 2), "123.50");  // 4 significant digits first
    EXPECT_EQ(FloatToStrF(123.456, ffFixed, 5, 2), "123.46");
    EXPECT_EQ(FloatToStrF(123456.0, ffFixed, 4, 0), "1.235E+5");
    EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 2), "1,234,567.89");
    EXPECT_EQ(FloatToStrF(1.5, ffExponent, 3, 2), "1.50E+00");
}

TEST_F(SysUtils, FormatFloatRoundsHalvesAwayFromZero) {
    EXPECT_EQ(FormatFloat("0.00", 0), "0.00");
    EXPECT_EQ(FormatFloat("0.00", 3.5), "3.50");
    EXPECT_EQ(FormatFloat("0.00", 1000), "1000.00");
    EXPECT_EQ(FormatFloat("0.00", 0.125), "0.13");
    EXPECT_EQ(FormatFloat("0.00", -0.125), "-0.13");
    EXPECT_EQ(FormatFloat("0.00", 2.675), "2.68");
    EXPECT_EQ(FormatFloat("0.00", -0.001), "0.00");
    const char* twelfths[] = {"0.00", "0.08", "0.17", "0.25", "0.33", "0.42", "0.50",
                              "0.58", "0.67", "0.75", "0.83", "0.92", "1.00"};
    for (int i = 0; i <= 12; ++i) EXPECT_EQ(FormatFloat("0.00", i / 12.0), twelfths[i]) << i;
    EXPECT_EQ(FormatFloat("0.00", -2 / 12.0), "-0.17");
    EXPECT_EQ(FormatFloat("#,##0.00", 1234567.5), "1,234,567.50");
    EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
    EXPECT_EQ(FormatFloat("0.###", 1.5), "1.5");
    EXPECT_EQ(FormatFloat("000", 7), "007");
    EXPECT_EQ(FormatFloat("0", 2.5), "3");
    EXPECT_EQ(FormatFloat("0.00;(0.00)", -4), "(4.00)");
    EXPECT_EQ(FormatFloat("0.00;-0.00;'zero'", 0), "zero");
    EXPECT_EQ(FormatFloat("'$'0.00", 2), "$2.00");
    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    EXPECT_EQ(FormatFloat("0.00", 1.5, comma), "1,50");
    EXPECT_DOUBLE_EQ(StrToFloat(FormatFloat("0.00", 5 / 12.0)), 0.42);
}

TEST_F(SysUtils, DateFormatting) {
    TDateTime t = EncodeDate(2006, 3, 9) + EncodeTime(14, 5, 7, 30);
    EXPECT_EQ(DateToStr(t), "09/03/2006");
    EXPECT_EQ(FormatDateTime("d/m/yy", t), "9/3/06");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", t), "2006-03-09 14:05:07.030");
    EXPECT_EQ(FormatDateTime("hh:mm", t), "14:05");  // m after h is minutes
    EXPECT_EQ(FormatDateTime("h:nn am/pm", t), "2:05 pm");
    EXPECT_EQ(FormatDateTime("dddd d mmmm yyyy", t), "Thursday 9 March 2006");
    EXPECT_EQ(FormatDateTime("ddd mmm", t), "Thu Mar");
    EXPECT_EQ(FormatDateTime("'day' dd", t), "day 09");
    EXPECT_EQ(TimeToStr(t), "14:05:07");
    EXPECT_EQ(DateTimeToStr(t), "09/03/2006 14:05:07");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2006, 3, 9)), "09/03/2006");
    FormatSettings().ShortDateFormat = "mm/dd/yyyy";
    EXPECT_EQ(DateToStr(t), "03/09/2006");
    FormatSettings().DateSeparator = '-';
    EXPECT_EQ(DateToStr(t), "03-09-2006");
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy", t), "09-03-2006");
}

TEST_F(SysUtils, DateParsing) {
    EXPECT_DOUBLE_EQ(StrToDate("31/12/2005"), EncodeDate(2005, 12, 31));
    EXPECT_DOUBLE_EQ(StrToDate(" 1/2/2005"), EncodeDate(2005, 2, 1));
    EXPECT_DOUBLE_EQ(StrToDate("29/02/2004"), EncodeDate(2004, 2, 29));
    EXPECT_EQ(ErrorOf([] { StrToDate("29/02/2005"); }), "'29/02/2005' is not a valid date");
    EXPECT_EQ(ErrorOf([] { StrToDate("2005-12-31"); }), "'2005-12-31' is not a valid date");
    EXPECT_EQ(ErrorOf([] { StrToDate("31/12/2005x"); }), "'31/12/2005x' is not a valid date");
    EXPECT_EQ(ErrorOf([] { StrToDate(""); }), "'' is not a valid date");

    int y, m, d;
    DecodeDate(Date(), y, m, d);
    DecodeDate(StrToDate("5/6"), y, m, d);
    int thisYear, mm, dd;
    DecodeDate(Date(), thisYear, mm, dd);
    EXPECT_EQ(y, thisYear);
    EXPECT_EQ(m, 6);

    // Two-digit years fall in the hundred years from (current year - window).
    TFormatSettings fs;
    fs.TwoDigitYearCenturyWindow = 50;
    int base = thisYear - 50;
    int yy = (base % 100 + 1) % 100;  // the year just after the window's start
    DecodeDate(StrToDate("01/01/" + std::to_string(yy), fs), y, m, d);
    EXPECT_EQ(y % 100, yy);
    EXPECT_GE(y, base);
    EXPECT_LT(y, base + 100);
    fs.TwoDigitYearCenturyWindow = 0;
    DecodeDate(StrToDate("01/01/05", fs), y, m, d);
    EXPECT_EQ(y, thisYear / 100 * 100 + 5);

    FormatSettings().ShortDateFormat = "mm/dd/yyyy";
    EXPECT_DOUBLE_EQ(StrToDate("12/31/2005"), EncodeDate(2005, 12, 31));
    FormatSettings().ShortDateFormat = "yyyy/mm/dd";
    EXPECT_DOUBLE_EQ(StrToDate("2005/12/31"), EncodeDate(2005, 12, 31));
}

TEST_F(SysUtils, TimeAndDateTimeParsing) {
    EXPECT_DOUBLE_EQ(StrToTime("12:00"), 0.5);
    EXPECT_DOUBLE_EQ(StrToTime("06:00:00"), 0.25);
    EXPECT_DOUBLE_EQ(StrToTime("6 PM"), 0.75);
    EXPECT_DOUBLE_EQ(StrToTime("12:00 AM"), 0.0);
    EXPECT_DOUBLE_EQ(StrToTime("1:02:03.004"), EncodeTime(1, 2, 3, 4));
    EXPECT_EQ(ErrorOf([] { StrToTime("25:00"); }), "'25:00' is not a valid time");
    EXPECT_EQ(ErrorOf([] { StrToTime("noon"); }), "'noon' is not a valid time");
    EXPECT_DOUBLE_EQ(StrToDateTime("02/01/2000 06:00"), EncodeDate(2000, 1, 2) + 0.25);
    EXPECT_DOUBLE_EQ(StrToDateTime("02/01/2000"), EncodeDate(2000, 1, 2));
    EXPECT_DOUBLE_EQ(StrToDateTime("18:00"), 0.75);
    EXPECT_DOUBLE_EQ(StrToDateTime("29/12/1899 06:00"), -1.25);
    EXPECT_EQ(ErrorOf([] { StrToDateTime("02/01/2000 x"); }),
              "'02/01/2000 x' is not a valid date and time");
}

TEST_F(SysUtils, TextHelpers) {
    EXPECT_EQ(Trim("  a b \t"), "a b");
    EXPECT_EQ(TrimRight("ab  "), "ab");
    EXPECT_EQ(TrimLeft("  ab"), "ab");
    EXPECT_EQ(UpperCase("emp_no"), "EMP_NO");
    EXPECT_EQ(LowerCase("ABC"), "abc");
    EXPECT_TRUE(SameText("Emp_No", "EMP_NO"));
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_THROW(Abort(), EAbort);
}
