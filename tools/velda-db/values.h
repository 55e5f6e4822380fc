// Field values as CSV cells: parsing a cell into what the engine takes for the field, and
// formatting a field of a record image back into a cell. Cells are Windows-1252 here.
#ifndef VELDA_TOOLS_VALUES_H
#define VELDA_TOOLS_VALUES_H

#include <optional>
#include <string>

#include "tools/velda-db/engine_session.h"

namespace veldadb {

// What a cell puts into a field.
struct FieldValue {
    enum class Kind { Empty, Text, Raw, Skip } kind = Kind::Empty;
    std::string bytes;  // Text: the text (AdsSetField); Raw: record-image bytes (AdsSetFieldRaw)
};

// Parses a cell for a field; a value that does not fit the field gives an error text saying
// why (the caller adds row and column).
FieldValue ParseCell(const FieldInfo& field, const std::string& cell, std::string& error);

// Formats the field from a record image (fields whose value lives outside the image, the memo
// and binary kinds, are read by the caller).
std::string FormatCell(const FieldInfo& field, const unsigned char* image);

// Hexadecimal digits for the binary kinds.
std::string ToHex(const std::string& bytes);
std::optional<std::string> FromHex(const std::string& hex);

// Julian day numbers of civil dates (0001-01-01 is 1721426).
long JulianFromCivil(int year, int month, int day);
void CivilFromJulian(long julian, int& year, int& month, int& day);

}  // namespace veldadb

#endif
