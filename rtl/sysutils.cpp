#include "rtl/sysutils.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <vector>

#include "base/calendar.h"

namespace rtl {

namespace {

using namespace std::chrono;

// Days from 1970-01-01 to 1899-12-30, the date-time numbers' day 0.
constexpr int64_t kDateTimeEpochFromUnix =
    velda::calendar::kJulianOfDateTimeEpoch - velda::calendar::kJulianOfUnixEpoch;

[[noreturn]] void ConvertError(const std::string& message) {
    throw EConvertError(message);
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// ---- decimal digits of a double ------------------------------------------------------------
// value = (negative ? -1 : 1) * 0.d1d2d3... * 10^exponent; digits has no trailing zeros; zero
// has empty digits.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Decimal ToDecimal(double value, int precision) {
    Decimal d;
    if (precision < 1) precision = 1;
    if (precision > 17) precision = 17;
    d.negative = std::signbit(value);
    double magnitude = std::fabs(value);
    if (magnitude == 0.0) {
        d.negative = false;
        return d;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", precision - 1, magnitude);
    std::string s(text);
    size_t e = s.find('e');
    std::string mantissa = s.substr(0, e);
    int exp10 = std::atoi(s.c_str() + e + 1);
    for (char c : mantissa)
        if (IsDigit(c)) d.digits += c;
    d.exponent = exp10 + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) d.negative = false;
    return d;
}

// Rounds to `decimals` digits after the point, halves away from zero.
void RoundDecimal(Decimal& d, int decimals) {
    if (d.digits.empty()) return;
    int keep = d.exponent + decimals;  // number of digits kept
    if (keep >= static_cast<int>(d.digits.size())) return;
    if (keep < 0) {
        d.digits.clear();
        d.negative = false;
        d.exponent = 0;
        return;
    }
    bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
            d.digits[static_cast<size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            d.exponent += 1;
        } else {
            d.digits[static_cast<size_t>(i)] += 1;
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) {
        d.negative = false;
        d.exponent = 0;
    }
}

char DigitAt(const Decimal& d, int position) {  // position 0 = first digit after "0."
    if (position < 0 || position >= static_cast<int>(d.digits.size())) return '0';
    return d.digits[static_cast<size_t>(position)];
}

std::string IntegerPart(const Decimal& d) {
    std::string out;
    for (int i = 0; i < d.exponent; ++i) out += DigitAt(d, i);
    return out.empty() ? "0" : out;
}

std::string FractionPart(const Decimal& d, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += DigitAt(d, d.exponent + i);
    return out;
}

std::string GroupThousands(const std::string& integer, char separator) {
    std::string out;
    int n = static_cast<int>(integer.size());
    for (int i = 0; i < n; ++i) {
        out += integer[static_cast<size_t>(i)];
        int left = n - 1 - i;
        if (left > 0 && left % 3 == 0) out += separator;
    }
    return out;
}

std::string Scientific(const Decimal& d, int minDigitsAfter, int minExpDigits, bool plusSign,
                       char decimalSeparator) {
    std::string out = d.negative ? "-" : "";
    if (d.digits.empty()) {
        out += "0";
    } else {
        out += d.digits[0];
    }
    std::string rest = d.digits.size() > 1 ? d.digits.substr(1) : "";
    while (static_cast<int>(rest.size()) < minDigitsAfter) rest += '0';
    if (!rest.empty()) out += decimalSeparator + rest;
    int e = d.digits.empty() ? 0 : d.exponent - 1;
    out += 'E';
    if (e < 0)
        out += '-';
    else if (plusSign)
        out += '+';
    std::string ed = std::to_string(std::abs(e));
    while (static_cast<int>(ed.size()) < minExpDigits) ed.insert(ed.begin(), '0');
    return out + ed;
}

// ---- date and time scanning -----------------------------------------------------------------
struct Scanner {
    const std::string& s;
    size_t pos = 0;
    void Blanks() {
        while (pos < s.size() && s[pos] == ' ') ++pos;
    }
    bool Char(char c) {
        Blanks();
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    bool Number(int& value, int& length) {
        Blanks();
        size_t start = pos;
        value = 0;
        while (pos < s.size() && IsDigit(s[pos]) && pos - start < 4) {
            value = value * 10 + (s[pos] - '0');
            ++pos;
        }
        length = static_cast<int>(pos - start);
        return length > 0;
    }
    bool Word(const std::string& word) {
        Blanks();
        if (word.empty() || s.size() - pos < word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i)
            if (Upper(s[pos + i]) != Upper(word[i])) return false;
        pos += word.size();
        return true;
    }
    bool AtEnd() {
        Blanks();
        return pos >= s.size();
    }
};

enum class DateOrder { DMY, MDY, YMD };

DateOrder OrderOf(const std::string& format) {
    for (char c : format) {
        switch (Upper(c)) {
            case 'D':
                return DateOrder::DMY;
            case 'M':
                return DateOrder::MDY;
            case 'Y':
                return DateOrder::YMD;
            default:
                break;
        }
    }
    return DateOrder::DMY;
}

int CurrentYear() {
    int y, m, d;
    DecodeDate(Date(), y, m, d);
    return y;
}

bool ScanDate(Scanner& sc, TDateTime& value, const TFormatSettings& fs) {
    int n1, n2, n3 = 0, l1, l2, l3 = 0;
    if (!sc.Number(n1, l1) || !sc.Char(fs.DateSeparator) || !sc.Number(n2, l2)) return false;
    bool three = false;
    if (sc.Char(fs.DateSeparator)) {
        if (!sc.Number(n3, l3)) return false;
        three = true;
    }
    int y, m, d, ylen;
    switch (OrderOf(fs.ShortDateFormat)) {
        case DateOrder::MDY:
            m = n1, d = n2, y = n3, ylen = l3;
            break;
        case DateOrder::YMD:
            if (three)
                y = n1, m = n2, d = n3, ylen = l1;
            else
                m = n1, d = n2, y = 0, ylen = 0;
            break;
        default:
            d = n1, m = n2, y = n3, ylen = l3;
            break;
    }
    if (!three) {
        y = CurrentYear();
    } else if (ylen <= 2) {
        int base = CurrentYear() - fs.TwoDigitYearCenturyWindow;
        y += base / 100 * 100;
        if (fs.TwoDigitYearCenturyWindow > 0 && y < base) y += 100;
    }
    return TryEncodeDate(y, m, d, value);
}

bool ScanTime(Scanner& sc, TDateTime& value, const TFormatSettings& fs) {
    int hour, min = 0, sec = 0, msec = 0, len;
    if (!sc.Number(hour, len)) return false;
    bool separated = false;
    if (sc.Char(fs.TimeSeparator)) {
        separated = true;
        if (!sc.Number(min, len)) return false;
        if (sc.Char(fs.TimeSeparator)) {
            if (!sc.Number(sec, len)) return false;
            if (sc.Char('.')) {
                if (!sc.Number(msec, len)) return false;
            }
        }
    }
    int ampm = 0;
    if (sc.Word(fs.TimeAMString) || sc.Word("AM"))
        ampm = 1;
    else if (sc.Word(fs.TimePMString) || sc.Word("PM"))
        ampm = 2;
    if (!separated && ampm == 0) return false;
    if (ampm != 0) {
        if (hour == 0 || hour > 12) return false;
        if (ampm == 1 && hour == 12)
            hour = 0;
        else if (ampm == 2 && hour < 12)
            hour += 12;
    }
    return TryEncodeTime(hour, min, sec, msec, value);
}

}  // namespace

void Abort() {
    throw EAbort();
}

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

// ---- calendar -----------------------------------------------------------------------------

bool IsLeapYear(int y) {
    return velda::calendar::IsLeapYear(y);
}

int DaysInAMonth(int y, int m) {
    return velda::calendar::DaysInMonth(y, m);
}

bool TryEncodeDate(int y, int m, int d, TDateTime& result) {
    if (!velda::calendar::IsValidDate(y, m, d)) return false;
    result = static_cast<double>(velda::calendar::JulianFromCivil(y, m, d) -
                                 velda::calendar::kJulianOfDateTimeEpoch);
    return true;
}

TDateTime EncodeDate(int y, int m, int d) {
    TDateTime result;
    if (!TryEncodeDate(y, m, d, result)) ConvertError("Invalid argument to date encode");
    return result;
}

void DecodeDate(TDateTime value, int& y, int& m, int& d) {
    TTimeStamp ts = DateTimeToTimeStamp(value);
    velda::calendar::CivilFromDays(ts.Date - DateDelta + kDateTimeEpochFromUnix, y, m, d);
}

bool TryEncodeTime(int h, int n, int s, int ms, TDateTime& result) {
    if (h < 0 || h > 23 || n < 0 || n > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return false;
    result =
        static_cast<double>(((h * 60 + n) * 60 + s) * 1000 + ms) / static_cast<double>(MSecsPerDay);
    return true;
}

TDateTime EncodeTime(int h, int n, int s, int ms) {
    TDateTime result;
    if (!TryEncodeTime(h, n, s, ms, result)) ConvertError("Invalid argument to time encode");
    return result;
}

void DecodeTime(TDateTime value, int& h, int& n, int& s, int& ms) {
    std::int32_t t = DateTimeToTimeStamp(value).Time;
    ms = t % 1000;
    t /= 1000;
    s = t % 60;
    t /= 60;
    n = t % 60;
    h = t / 60;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
    double whole = std::trunc(date);
    double fraction = std::fabs(time - std::trunc(time));
    return whole < 0 ? whole - fraction : whole + fraction;
}

int DayOfWeek(TDateTime value) {
    std::int64_t d = DateTimeToTimeStamp(value).Date;  // day 1 = 0001-01-01, a Monday
    return static_cast<int>(d % 7) + 1;
}

TDateTime Date() {
    return std::trunc(Now());
}

TDateTime Time() {
    TDateTime now = Now();
    return now - std::trunc(now);
}

TDateTime Now() {
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    auto ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    if (ms < 0) ms += 1000;
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, ms);
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
    auto ms = static_cast<std::int64_t>(std::llround(value * static_cast<double>(MSecsPerDay)));
    TTimeStamp ts;
    ts.Date = static_cast<std::int32_t>(DateDelta + ms / MSecsPerDay);
    ts.Time = static_cast<std::int32_t>((ms < 0 ? -ms : ms) % MSecsPerDay);
    return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& ts) {
    double whole = static_cast<double>(ts.Date - DateDelta);
    double fraction = static_cast<double>(ts.Time) / static_cast<double>(MSecsPerDay);
    return whole < 0 ? whole - fraction : whole + fraction;
}

TTimeStamp MSecsToTimeStamp(double msecs) {
    TTimeStamp ts;
    double day = std::trunc(msecs / static_cast<double>(MSecsPerDay));
    ts.Date = static_cast<std::int32_t>(day);
    ts.Time = static_cast<std::int32_t>(msecs - day * static_cast<double>(MSecsPerDay));
    return ts;
}

double TimeStampToMSecs(const TTimeStamp& ts) {
    return static_cast<double>(ts.Date) * static_cast<double>(MSecsPerDay) + ts.Time;
}

// ---- integers -------------------------------------------------------------------------------

std::string IntToStr(std::int64_t value) {
    return std::to_string(value);
}

bool TryStrToInt64(const std::string& text, std::int64_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$')
        base = 16, ++i;
    else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        base = 16, i += 2;
    if (i >= text.size()) return false;
    unsigned long long magnitude = 0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, magnitude, base);
    if (ec != std::errc() || ptr != last) return false;
    const unsigned long long limit = negative ? 9223372036854775808ull : 9223372036854775807ull;
    if (magnitude > limit) return false;
    value =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

bool TryStrToInt(const std::string& text, int& value) {
    std::int64_t v;
    if (!TryStrToInt64(text, v) || v < std::numeric_limits<int>::min() ||
        v > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(const std::string& text) {
    int v;
    if (!TryStrToInt(text, v)) ConvertError("'" + text + "' is not a valid integer value");
    return v;
}

std::int64_t StrToInt64(const std::string& text) {
    std::int64_t v;
    if (!TryStrToInt64(text, v)) ConvertError("'" + text + "' is not a valid integer value");
    return v;
}

int StrToIntDef(const std::string& text, int fallback) {
    int v;
    return TryStrToInt(text, v) ? v : fallback;
}

// ---- floats ---------------------------------------------------------------------------------

bool TryStrToFloat(const std::string& text, double& value, const TFormatSettings& fs) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    std::string normal;
    size_t i = 0;
    if (t[i] == '+' || t[i] == '-') normal += t[i++];
    bool digits = false;
    while (i < t.size() && IsDigit(t[i])) normal += t[i++], digits = true;
    if (i < t.size() && t[i] == fs.DecimalSeparator) {
        normal += '.';
        ++i;
        while (i < t.size() && IsDigit(t[i])) normal += t[i++], digits = true;
    }
    if (!digits) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        normal += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) normal += t[i++];
        bool expDigits = false;
        while (i < t.size() && IsDigit(t[i])) normal += t[i++], expDigits = true;
        if (!expDigits) return false;
    }
    if (i != t.size()) return false;
    const char* first = normal.data();
    if (*first == '+') ++first;
    double v = 0;
    auto [ptr, ec] = std::from_chars(first, normal.data() + normal.size(), v);
    if (ec != std::errc() || ptr != normal.data() + normal.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool TryStrToFloat(const std::string& text, double& value) {
    return TryStrToFloat(text, value, FormatSettings());
}

double StrToFloat(const std::string& text, const TFormatSettings& fs) {
    double v;
    if (!TryStrToFloat(text, v, fs))
        ConvertError("'" + text + "' is not a valid floating point value");
    return v;
}

double StrToFloat(const std::string& text) {
    return StrToFloat(text, FormatSettings());
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& fs) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (precision < 1) precision = 1;
    if (precision > 15 && format != ffExponent) precision = 15;
    Decimal d = ToDecimal(value, precision);
    std::string sign = d.negative ? "-" : "";
    switch (format) {
        case ffExponent:
            return Scientific(d, precision - 1, digits, true, fs.DecimalSeparator);
        case ffFixed:
        case ffNumber: {
            if (d.exponent > precision) return Scientific(d, 0, 0, true, fs.DecimalSeparator);
            if (digits < 0) digits = 0;
            if (digits > 18) digits = 18;
            RoundDecimal(d, digits);
            std::string integer = IntegerPart(d);
            if (format == ffNumber) integer = GroupThousands(integer, fs.ThousandSeparator);
            std::string out = (d.negative ? "-" : "") + integer;
            if (digits > 0) out += fs.DecimalSeparator + FractionPart(d, digits);
            return out;
        }
        case ffGeneral:
        default: {
            if (d.digits.empty()) return "0";
            if (d.exponent > precision || d.exponent < -3)
                return Scientific(d, 0, 0, false, fs.DecimalSeparator);
            std::string out = sign + IntegerPart(d);
            int fraction = static_cast<int>(d.digits.size()) - d.exponent;
            if (fraction > 0) out += fs.DecimalSeparator + FractionPart(d, fraction);
            return out;
        }
    }
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
    return FloatToStrF(value, format, precision, digits, FormatSettings());
}

std::string FloatToStr(double value, const TFormatSettings& fs) {
    return FloatToStrF(value, ffGeneral, 15, 0, fs);
}
std::string FloatToStr(double value) {
    return FloatToStr(value, FormatSettings());
}

std::string FormatFloat(const std::string& format, double value, const TFormatSettings& fs) {
    if (std::isnan(value) || std::isinf(value)) return FloatToStr(value, fs);
    // Split into sections, respecting quotes.
    std::vector<std::string> sections(1);
    char quote = 0;
    for (char c : format) {
        if (quote) {
            if (c == quote) quote = 0;
            sections.back() += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            sections.back() += c;
        } else if (c == ';') {
            sections.emplace_back();
        } else {
            sections.back() += c;
        }
    }
    struct Section {
        std::string prefix, suffix;
        int requiredInt = 0, decimalsRequired = 0, decimalsOptional = 0;
        bool thousands = false, hasDigits = false, point = false;
    };
    auto parse = [](const std::string& text) {
        Section s;
        bool inNumber = false, after = false;
        int firstZero = -1, intPlaceholders = 0;
        char q = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (q) {
                if (c == q)
                    q = 0;
                else
                    (after ? s.suffix : s.prefix) += c;
                continue;
            }
            if (c == '"' || c == '\'') {
                q = c;
                if (inNumber) after = true;
                continue;
            }
            bool placeholder = c == '0' || c == '#';
            if (!after && (placeholder || (inNumber && (c == '.' || c == ',')) ||
                           (!inNumber && c == '.' && i + 1 < text.size() &&
                            (text[i + 1] == '0' || text[i + 1] == '#')))) {
                inNumber = true;
                s.hasDigits = s.hasDigits || placeholder;
                if (c == '.') {
                    s.point = true;
                } else if (c == ',') {
                    s.thousands = true;
                } else if (!s.point) {
                    if (c == '0' && firstZero < 0) firstZero = intPlaceholders;
                    ++intPlaceholders;
                } else if (c == '0') {
                    s.decimalsRequired += 1 + s.decimalsOptional;
                    s.decimalsOptional = 0;
                } else {
                    ++s.decimalsOptional;
                }
                continue;
            }
            if (inNumber) after = true;
            (after ? s.suffix : s.prefix) += c;
        }
        s.requiredInt = firstZero < 0 ? 0 : intPlaceholders - firstZero;
        return s;
    };
    Decimal d = ToDecimal(value, 15);
    size_t which = 0;
    Section sec = parse(sections[0]);
    RoundDecimal(d, sec.decimalsRequired + sec.decimalsOptional);
    bool negative = d.negative;
    if (negative && sections.size() > 1 && !sections[1].empty()) {
        which = 1;
    } else if (d.digits.empty() && sections.size() > 2 && !sections[2].empty()) {
        which = 2;
    }
    if (which != 0) {
        sec = parse(sections[which]);
        d = ToDecimal(value, 15);
        RoundDecimal(d, sec.decimalsRequired + sec.decimalsOptional);
    }
    if (!sec.hasDigits) return sec.prefix + sec.suffix;
    std::string integer;
    for (int i = 0; i < d.exponent; ++i) integer += DigitAt(d, i);
    while (static_cast<int>(integer.size()) < sec.requiredInt) integer.insert(integer.begin(), '0');
    if (sec.thousands) integer = GroupThousands(integer, fs.ThousandSeparator);
    std::string fraction = FractionPart(d, sec.decimalsRequired + sec.decimalsOptional);
    while (static_cast<int>(fraction.size()) > sec.decimalsRequired && fraction.back() == '0')
        fraction.pop_back();
    std::string out = sec.prefix;
    if (negative && which == 0 && !d.digits.empty()) out += '-';
    out += integer;
    if (!fraction.empty()) out += fs.DecimalSeparator + fraction;
    return out + sec.suffix;
}

std::string FormatFloat(const std::string& format, double value) {
    return FormatFloat(format, value, FormatSettings());
}

// ---- date formatting ------------------------------------------------------------------------

namespace {

const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

std::string Pad(int value, int width) {
    std::string s = std::to_string(value);
    while (static_cast<int>(s.size()) < width) s.insert(s.begin(), '0');
    return s;
}

void AppendFormat(std::string& out, const std::string& f, TDateTime value,
                  const TFormatSettings& fs, int depth) {
    int y, m, d, h, n, s, ms;
    DecodeDate(value, y, m, d);
    DecodeTime(value, h, n, s, ms);
    bool hourSeen = false;
    // Whether an am/pm marker follows: then hours are 12-hour.
    auto hasAmPm = [&f]() {
        std::string u = UpperCase(f);
        return u.find("AM/PM") != std::string::npos || u.find("A/P") != std::string::npos ||
               u.find("AMPM") != std::string::npos;
    };
    bool twelve = hasAmPm();
    size_t i = 0;
    auto count = [&](char c) {
        size_t k = i;
        while (k < f.size() && Upper(f[k]) == c) ++k;
        return static_cast<int>(k - i);
    };
    while (i < f.size()) {
        char c = f[i];
        char u = Upper(c);
        if (c == '"' || c == '\'') {
            size_t end = f.find(c, i + 1);
            if (end == std::string::npos) end = f.size();
            out.append(f, i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == '/') {
            out += fs.DateSeparator;
            ++i;
            continue;
        }
        if (c == ':') {
            out += fs.TimeSeparator;
            ++i;
            continue;
        }
        int k = count(u);
        switch (u) {
            case 'Y':
                out += k <= 2 ? Pad(y % 100, 2) : Pad(y, 4);
                i += static_cast<size_t>(k);
                hourSeen = false;
                continue;
            case 'M':
                if (hourSeen && k <= 2) {
                    out += k == 1 ? std::to_string(n) : Pad(n, 2);
                } else if (k == 1)
                    out += std::to_string(m);
                else if (k == 2)
                    out += Pad(m, 2);
                else if (k == 3)
                    out += kShortMonths[m - 1];
                else
                    out += kLongMonths[m - 1];
                i += static_cast<size_t>(k);
                hourSeen = false;
                continue;
            case 'D':
                if (k == 1)
                    out += std::to_string(d);
                else if (k == 2)
                    out += Pad(d, 2);
                else if (k == 3)
                    out += kShortDays[DayOfWeek(value) - 1];
                else if (k == 4)
                    out += kLongDays[DayOfWeek(value) - 1];
                else if (k == 5 && depth < 2)
                    AppendFormat(out, fs.ShortDateFormat, value, fs, depth + 1);
                else if (depth < 2)
                    AppendFormat(out, fs.LongDateFormat, value, fs, depth + 1);
                i += static_cast<size_t>(k);
                hourSeen = false;
                continue;
            case 'H': {
                int hh = h;
                if (twelve) {
                    hh = h % 12;
                    if (hh == 0) hh = 12;
                }
                out += k == 1 ? std::to_string(hh) : Pad(hh, 2);
                i += static_cast<size_t>(std::min(k, 2));
                hourSeen = true;
                continue;
            }
            case 'N':
                out += k == 1 ? std::to_string(n) : Pad(n, 2);
                i += static_cast<size_t>(std::min(k, 2));
                hourSeen = false;
                continue;
            case 'S':
                out += k == 1 ? std::to_string(s) : Pad(s, 2);
                i += static_cast<size_t>(std::min(k, 2));
                hourSeen = false;
                continue;
            case 'Z':
                out += k < 3 ? std::to_string(ms) : Pad(ms, 3);
                i += static_cast<size_t>(std::min(k, 3));
                continue;
            case 'T':
                if (depth < 2)
                    AppendFormat(out, k == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, value, fs,
                                 depth + 1);
                i += static_cast<size_t>(std::min(k, 2));
                continue;
            case 'C':
                if (depth < 2) {
                    AppendFormat(out, fs.ShortDateFormat, value, fs, depth + 1);
                    if (h != 0 || n != 0 || s != 0) {
                        out += ' ';
                        AppendFormat(out, fs.LongTimeFormat, value, fs, depth + 1);
                    }
                }
                ++i;
                continue;
            case 'A': {
                std::string rest = UpperCase(f.substr(i));
                if (rest.rfind("AM/PM", 0) == 0) {
                    bool lower = f[i] == 'a';
                    std::string mark = h < 12 ? "am" : "pm";
                    out += lower ? mark : UpperCase(mark);
                    i += 5;
                } else if (rest.rfind("A/P", 0) == 0) {
                    char mark = h < 12 ? 'a' : 'p';
                    out += f[i] == 'a' ? mark : Upper(mark);
                    i += 3;
                } else if (rest.rfind("AMPM", 0) == 0) {
                    out += h < 12 ? fs.TimeAMString : fs.TimePMString;
                    i += 4;
                } else {
                    out += c;
                    ++i;
                }
                continue;
            }
            default:
                out += c;
                ++i;
                continue;
        }
    }
}

}  // namespace

std::string FormatDateTime(const std::string& format, TDateTime value, const TFormatSettings& fs) {
    std::string out;
    AppendFormat(out, format.empty() ? std::string("c") : format, value, fs, 0);
    return out;
}
std::string FormatDateTime(const std::string& format, TDateTime value) {
    return FormatDateTime(format, value, FormatSettings());
}
std::string DateToStr(TDateTime value, const TFormatSettings& fs) {
    return FormatDateTime("ddddd", value, fs);
}
std::string DateToStr(TDateTime value) {
    return DateToStr(value, FormatSettings());
}
std::string TimeToStr(TDateTime value, const TFormatSettings& fs) {
    return FormatDateTime("tt", value, fs);
}
std::string TimeToStr(TDateTime value) {
    return TimeToStr(value, FormatSettings());
}
std::string DateTimeToStr(TDateTime value, const TFormatSettings& fs) {
    return FormatDateTime("c", value, fs);
}
std::string DateTimeToStr(TDateTime value) {
    return DateTimeToStr(value, FormatSettings());
}

// ---- date parsing ---------------------------------------------------------------------------

bool TryStrToDate(const std::string& text, TDateTime& value, const TFormatSettings& fs) {
    Scanner sc{text};
    TDateTime v;
    if (!ScanDate(sc, v, fs) || !sc.AtEnd()) return false;
    value = v;
    return true;
}
bool TryStrToDate(const std::string& text, TDateTime& value) {
    return TryStrToDate(text, value, FormatSettings());
}

TDateTime StrToDate(const std::string& text, const TFormatSettings& fs) {
    TDateTime v;
    if (!TryStrToDate(text, v, fs)) ConvertError("'" + text + "' is not a valid date");
    return v;
}
TDateTime StrToDate(const std::string& text) {
    return StrToDate(text, FormatSettings());
}

bool TryStrToTime(const std::string& text, TDateTime& value, const TFormatSettings& fs) {
    Scanner sc{text};
    TDateTime v;
    if (!ScanTime(sc, v, fs) || !sc.AtEnd()) return false;
    value = v;
    return true;
}
bool TryStrToTime(const std::string& text, TDateTime& value) {
    return TryStrToTime(text, value, FormatSettings());
}

TDateTime StrToTime(const std::string& text, const TFormatSettings& fs) {
    TDateTime v;
    if (!TryStrToTime(text, v, fs)) ConvertError("'" + text + "' is not a valid time");
    return v;
}
TDateTime StrToTime(const std::string& text) {
    return StrToTime(text, FormatSettings());
}

bool TryStrToDateTime(const std::string& text, TDateTime& value, const TFormatSettings& fs) {
    Scanner sc{text};
    TDateTime date, time = 0;
    if (ScanDate(sc, date, fs)) {
        if (!sc.AtEnd()) {
            if (!ScanTime(sc, time, fs) || !sc.AtEnd()) return false;
        }
        value = ComposeDateTime(date, time);
        return true;
    }
    return TryStrToTime(text, value, fs);
}
bool TryStrToDateTime(const std::string& text, TDateTime& value) {
    return TryStrToDateTime(text, value, FormatSettings());
}

TDateTime StrToDateTime(const std::string& text, const TFormatSettings& fs) {
    TDateTime v;
    if (!TryStrToDateTime(text, v, fs)) ConvertError("'" + text + "' is not a valid date and time");
    return v;
}
TDateTime StrToDateTime(const std::string& text) {
    return StrToDateTime(text, FormatSettings());
}

// ---- text -----------------------------------------------------------------------------------

std::string TrimLeft(const std::string& t) {
    size_t i = 0;
    while (i < t.size() && static_cast<unsigned char>(t[i]) <= ' ') ++i;
    return t.substr(i);
}
std::string TrimRight(const std::string& t) {
    size_t n = t.size();
    while (n > 0 && static_cast<unsigned char>(t[n - 1]) <= ' ') --n;
    return t.substr(0, n);
}
std::string Trim(const std::string& t) {
    return TrimLeft(TrimRight(t));
}
std::string UpperCase(const std::string& t) {
    std::string r = t;
    for (char& c : r) c = Upper(c);
    return r;
}
std::string LowerCase(const std::string& t) {
    std::string r = t;
    for (char& c : r) c = Lower(c);
    return r;
}
int CompareText(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = static_cast<unsigned char>(Upper(a[i]));
        int cb = static_cast<unsigned char>(Upper(b[i]));
        if (ca != cb) return ca - cb;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}
bool SameText(const std::string& a, const std::string& b) {
    return CompareText(a, b) == 0;
}

}  // namespace rtl
