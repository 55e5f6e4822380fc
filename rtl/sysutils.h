// Platform helpers: date-time numbers, regional settings, and conversions between numbers,
// dates and text with the platform's messages.
//
// A TDateTime is a double: whole days since 30 December 1899 (day 0), the time of day as the
// fraction (0.5 is noon). Dates before day 0 are negative; their fraction still counts forward
// from midnight (-1.25 is 29 December 1899 06:00), as in the classic platform.
//
// Texts are byte strings (Windows-1252); nothing here looks at the bytes above 127.
#ifndef VELDA_RTL_SYSUTILS_H
#define VELDA_RTL_SYSUTILS_H

#include <cstdint>
#include <string>

#include "rtl/exception.h"

namespace rtl {

using TDateTime = double;

// A silent exception: ends an operation without an error box (the framework's abort).
class EAbort : public Exception {
  public:
    EAbort() : Exception("Operation aborted") {}
    using Exception::Exception;
};
[[noreturn]] void Abort();

// ---------------------------------------------------------------------------------------------
// Regional settings. One program-wide instance, FormatSettings(); every function below that
// takes no settings uses it. The main window sets ShortDateFormat from the company setup.
struct TFormatSettings {
    char DateSeparator = '/';
    char TimeSeparator = ':';
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    std::string ShortDateFormat = "dd/mm/yyyy";
    std::string LongDateFormat = "dd mmmm yyyy";
    std::string ShortTimeFormat = "hh:nn";
    std::string LongTimeFormat = "hh:nn:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    // Two-digit years: with a window W > 0 a year of one or two digits is placed in the hundred
    // years that begin W years before the current year; with W = 0 in the current century.
    int TwoDigitYearCenturyWindow = 50;
};
TFormatSettings& FormatSettings();

// ---------------------------------------------------------------------------------------------
// Calendar.
constexpr int DateDelta = 693594;  // days from 0001-01-01 (day 1) to 1899-12-30, less 1
constexpr std::int64_t MSecsPerDay = 86400000;

bool IsLeapYear(int year);
int DaysInAMonth(int year, int month);  // 0 for a month outside 1..12

// EncodeDate raises EConvertError "Invalid argument to date encode" for a year outside
// 1..9999, a month outside 1..12 or a day outside the month.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
// EncodeTime raises EConvertError "Invalid argument to time encode" for hour > 23, min > 59,
// sec > 59 or msec > 999.
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
// Date part plus time part, also for dates before 1899-12-30.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);
int DayOfWeek(TDateTime value);  // 1 = Sunday .. 7 = Saturday

TDateTime Date();  // today, local time, at midnight
TDateTime Time();  // the local time of day
TDateTime Now();   // Date() + Time()

// Time stamps: Date = days where 0001-01-01 is day 1 (TDateTime + DateDelta), Time = ms since
// midnight. MSecs = Date * MSecsPerDay + Time (0001-01-01 00:00 is 86400000).
struct TTimeStamp {
    std::int32_t Time = 0;
    std::int32_t Date = 0;
};
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);
TTimeStamp MSecsToTimeStamp(double msecs);
double TimeStampToMSecs(const TTimeStamp& stamp);

// ---------------------------------------------------------------------------------------------
// Conversions. Failures raise EConvertError with the platform's messages:
//   "'%s' is not a valid integer value", "'%s' is not a valid floating point value",
//   "'%s' is not a valid date", "'%s' is not a valid time", "'%s' is not a valid date and time".
std::string IntToStr(std::int64_t value);
int StrToInt(const std::string& text);  // leading blanks, sign, digits or $hex
std::int64_t StrToInt64(const std::string& text);
int StrToIntDef(const std::string& text, int fallback);
bool TryStrToInt(const std::string& text, int& value);
bool TryStrToInt64(const std::string& text, std::int64_t& value);

double StrToFloat(const std::string& text);
double StrToFloat(const std::string& text, const TFormatSettings& settings);
bool TryStrToFloat(const std::string& text, double& value);
bool TryStrToFloat(const std::string& text, double& value, const TFormatSettings& settings);

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber };
// The platform's float formatting: ffGeneral (shortest of fixed and scientific within
// precision significant digits), ffExponent, ffFixed (digits decimals; scientific when the
// integer part needs more than precision digits), ffNumber (ffFixed with thousands separators).
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings);
std::string FloatToStr(double value);  // ffGeneral, 15 digits
std::string FloatToStr(double value, const TFormatSettings& settings);
// Pattern formatting: '0' digit, '#' optional digit, '.' decimal separator, ',' thousands,
// quoted literals and other characters before and after the digits, up to three
// ';'-separated sections (positive, negative, zero). Rounds halves away from zero on the
// decimal value of 15 significant digits ("0.00" makes 2.675 "2.68" and -1/6 "-0.17").
std::string FormatFloat(const std::string& format, double value);
std::string FormatFloat(const std::string& format, double value, const TFormatSettings& settings);

// Date formatting patterns: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz am/pm a/p
// ampm, c (short date, then long time unless midnight), ddddd (short date), t tt, "/" (date
// separator), ":" (time separator), "..." and '...' literals. "m" after "h" means minutes.
std::string FormatDateTime(const std::string& format, TDateTime value);
std::string FormatDateTime(const std::string& format, TDateTime value,
                           const TFormatSettings& settings);
std::string DateToStr(TDateTime value);
std::string DateToStr(TDateTime value, const TFormatSettings& settings);
std::string TimeToStr(TDateTime value);
std::string TimeToStr(TDateTime value, const TFormatSettings& settings);
std::string DateTimeToStr(TDateTime value);  // the time is left out at midnight
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings);

// Date text: one, two or three numbers separated by the date separator, in the order of the
// short date format (d/m/y, m/d/y or y/m/d); a missing year is the current year; a year of one
// or two digits goes through the two-digit-year window. Time text: h[:n[:s[.z]]] [AM|PM].
TDateTime StrToDate(const std::string& text);
TDateTime StrToDate(const std::string& text, const TFormatSettings& settings);
bool TryStrToDate(const std::string& text, TDateTime& value);
bool TryStrToDate(const std::string& text, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToTime(const std::string& text);
TDateTime StrToTime(const std::string& text, const TFormatSettings& settings);
bool TryStrToTime(const std::string& text, TDateTime& value);
bool TryStrToTime(const std::string& text, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToDateTime(const std::string& text);
TDateTime StrToDateTime(const std::string& text, const TFormatSettings& settings);
bool TryStrToDateTime(const std::string& text, TDateTime& value);
bool TryStrToDateTime(const std::string& text, TDateTime& value, const TFormatSettings& settings);

// ---------------------------------------------------------------------------------------------
// Text helpers (ASCII case rules; bytes above 127 are left as they are).
std::string Trim(const std::string& text);  // removes bytes <= ' ' at both ends
std::string TrimLeft(const std::string& text);
std::string TrimRight(const std::string& text);
std::string UpperCase(const std::string& text);
std::string LowerCase(const std::string& text);
int CompareText(const std::string& a, const std::string& b);  // case-insensitive, <0 / 0 / >0
bool SameText(const std::string& a, const std::string& b);

}  // namespace rtl

#endif
