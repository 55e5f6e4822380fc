// Field values: their stored form in the SQLite columns, their byte form in the record image,
// and their text form (AdsSetField / AdsGetField). Internal to engine/.
//
// Record image forms (little-endian integers):
//   Character  field length bytes, blank padded; all zero bytes when empty
//   Numeric    decimal text right-aligned in field length bytes; all zero bytes when empty
//   Date       4: 32-bit Julian day number, 0 when empty; 8: text CCYYMMDD
//   Logical    "T" / "F", a blank when empty
//   CompactDate 3 bytes: year (15 bits) month (4) day (5), big-endian; zero when empty
//   Double, CurDouble  8-byte double; empty: 0x00000020 then 0x80000000
//   Integer    32-bit, 0x80000000 empty;  ShortInteger 16-bit, 0x8000 empty
//   AutoInc    32-bit, 0xFFFFFFFF empty;  Time 32-bit milliseconds, 0xFFFFFFFF empty
//   TimeStamp  32-bit Julian day then 32-bit milliseconds; day 0 (then 0xFFFFFFFF) empty
//   Raw        field length bytes; all zero when empty
//   Memo, Binary, Image, VarChar  9 bytes: 32-bit 0 (empty) or 0xFFFFFFFF, 32-bit length, 0
// Stored forms: texts in UTF-8 without trailing blanks, dates "YYYY-MM-DD", times
// "HH:MM:SS.mmm", time stamps "YYYY-MM-DD HH:MM:SS.mmm", logicals 0/1, empty values NULL.
#ifndef VELDA_ENGINE_RECORD_IMAGE_H
#define VELDA_ENGINE_RECORD_IMAGE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/codepage.h"
#include "engine/schema.h"
#include "engine/sqlite/sqlite.h"

#include "base/calendar.h"

namespace engine {

// A value in its stored form.
struct Value {
    enum class Kind : uint8_t { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string bytes;

    bool isNull() const { return kind == Kind::Null; }
    static Value ofInteger(int64_t v) {
        Value x;
        x.kind = Kind::Integer;
        x.integer = v;
        return x;
    }
    static Value ofReal(double v) {
        Value x;
        x.kind = Kind::Real;
        x.real = v;
        return x;
    }
    static Value ofText(std::string v) {
        Value x;
        x.kind = Kind::Text;
        x.bytes = std::move(v);
        return x;
    }
    static Value ofBlob(std::string v) {
        Value x;
        x.kind = Kind::Blob;
        x.bytes = std::move(v);
        return x;
    }
    bool operator==(const Value&) const = default;
};

namespace image {

using codepage::CodePage;

void writeEmpty(const FieldDef& field, uint8_t* slot);
// The slot of a memo, binary, image or varchar field: whether it holds a value.
void writePresence(bool present, uint8_t* slot);
void write(const FieldDef& field, const Value& value, CodePage page, uint8_t* slot);
// The fetch path: a result column straight into the image. A blob field's column holds its
// non-empty flag only.
void writeColumn(const FieldDef& field, sqlite3_stmt* stmt, int column, CodePage page,
                 uint8_t* slot);
// Image bytes (len may be shorter than the field) to the stored form; AE_COLUMN_VALUE naming the
// column when the bytes are no value of the field.
[[nodiscard]] UNSIGNED32 read(const FieldDef& field, const uint8_t* bytes, size_t len,
                              CodePage page, Value& out);
// A text (Windows-1252) to the stored form.
[[nodiscard]] UNSIGNED32 fromText(const FieldDef& field, std::string_view text, Value& out);
// The text AdsGetField gives (Windows-1252): character fields blank padded to their length.
std::string toText(const FieldDef& field, const Value& value);
// The key form: an empty value becomes the smallest value of its kind.
Value keyForm(const FieldDef& field, const Value& value);

Value columnValue(sqlite3_stmt* stmt, int column);
void bind(sqlite3_stmt* stmt, int index, const Value& value);

}  // namespace image

// The engine's names for the system's calendar (base/calendar.h).
namespace calendar {
using velda::calendar::kFirstJulianDay;
using velda::calendar::kLastJulianDay;
inline int64_t julianDay(int year, int month, int day) {
    return velda::calendar::JulianFromCivil(year, month, day);
}
// False when the day lies outside 0001-01-01 .. 9999-12-31.
inline bool civil(int64_t julian, int& year, int& month, int& day) {
    return velda::calendar::CivilFromJulian(julian, year, month, day);
}
// "YYYY-MM-DD" or "YYYYMMDD"; false when it is no valid date.
bool parseDate(std::string_view text, int64_t& julian);
std::string isoDate(int64_t julian);
std::string compactDate(int64_t julian);  // CCYYMMDD
}  // namespace calendar

}  // namespace engine

#endif
