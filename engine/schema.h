// A table's structure: its fields in order with their record-image layout, and its index tags.
// Each storage keeps it in its own way (sqlite/metadata.h, postgres/table.h). Internal to engine/.
#ifndef VELDA_ENGINE_SCHEMA_H
#define VELDA_ENGINE_SCHEMA_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ace.h"

namespace engine {

// How a field's value is kept in its SQLite column.
enum class ColumnClass { Integer, Real, Text, Blob };

struct FieldDef {
    std::string name;
    UNSIGNED16 type = 0;
    UNSIGNED32 length = 0;    // bytes in the record image
    UNSIGNED32 declared = 0;  // the length given at creation (a VarChar's maximum text length)
    UNSIGNED16 decimals = 0;
    UNSIGNED32 offset = 0;  // position in the record image

    ColumnClass storage() const;
    // Memo, binary, image and varchar fields: kept out of the record image.
    bool isBlob() const;
    bool isText() const { return type == ADS_STRING; }
    std::string column() const;  // the quoted column name
    // The sort form of the column in index keys: empty values sort first and are not NULL,
    // so that range conditions on the key see every row.
    std::string keyExpression() const;
};

struct IndexDef {
    std::string name;
    std::vector<size_t> segments;  // field positions
    bool unique = false;
    bool descending = false;
};

struct Schema {
    std::vector<FieldDef> fields;
    std::vector<IndexDef> indexes;
    UNSIGNED32 recordLength = 0;

    // Field and tag positions by name without regard to case; -1 when unknown.
    int fieldByName(std::string_view name) const;
    int indexByName(std::string_view name) const;
    void layOut();  // offsets and record length from the field lengths
};

std::string quoteIdentifier(std::string_view name);
std::string quoteText(std::string_view text);
const char* typeName(UNSIGNED16 type);
bool equalsNoCase(std::string_view a, std::string_view b);

// Parses "NAME,Type[,Length[,Decimals]];..." for table `table`; fails with AE_INVALID_ARGUMENT
// and a text naming the field.
[[nodiscard]] UNSIGNED32 parseFieldList(std::string_view spec, const std::string& table,
                                        std::vector<FieldDef>& out);

// The index key length of a tag in the raw key (header included).
size_t rawKeyLength(const Schema& schema, const IndexDef& index);

namespace metadata {
// One field of the structure as stored, added to `schema`; AE_NOT_A_TABLE naming the file when
// it makes no sense.
[[nodiscard]] UNSIGNED32 addField(Schema& schema, std::string name, int64_t type, int64_t length,
                                  int64_t decimals, const std::string& file);
// One index tag as stored (its fields' names joined by ";"), added to `schema` after its fields;
// AE_NOT_A_TABLE naming the file when it names an unknown field or has no valid key.
[[nodiscard]] UNSIGNED32 addIndex(Schema& schema, std::string name, std::string_view segments,
                                  bool unique, bool descending, const std::string& file);
}  // namespace metadata

}  // namespace engine

#endif
