// The field entries of a data-access dataset and the byte forms of field values in the
// engine's record image: decoding into the framework's value forms and encoding back.
#ifndef VELDA_ADS_ADSFIELDS_H
#define VELDA_ADS_ADSFIELDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "db/fields.h"
#include "engine/ace.h"

namespace ads {

class TAdsDataSet;

// One engine field of a supported type.
struct TACEFieldDef {
    std::string Name;
    UNSIGNED16 FieldNumber = 0;  // the engine's 1-based field number
    UNSIGNED32 Offset = 0;       // position in the record image
    UNSIGNED32 Length = 0;
    UNSIGNED16 EngineType = 0;
    UNSIGNED16 Decimals = 0;  // numeric fields only
    db::TFieldType Kind = db::ftUnknown;
    int Size = 0;  // the framework field size
};

class TACEFieldDefs {
  public:
    void Clear() {
        items_.clear();
        byNumber_.clear();
    }
    void Add(TACEFieldDef entry);
    int Count() const { return static_cast<int>(items_.size()); }
    const TACEFieldDef& Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    // Case-insensitive, first match; null when absent.
    const TACEFieldDef* FindByName(const std::string& name) const;
    // The entry of an engine field number; null for numbers without one.
    const TACEFieldDef* FieldEntryByNumber(UNSIGNED16 number) const;

  private:
    std::vector<TACEFieldDef> items_;
    std::vector<int> byNumber_;  // engine number -> index + 1, 0 for none
};

// The framework kind and size of an engine field; ftUnknown for types without a definition.
db::TFieldType FieldKindOf(UNSIGNED16 engineType, UNSIGNED32 length, UNSIGNED16 decimals,
                           int& size);

bool IsBlobType(UNSIGNED16 engineType);

// Julian day number of day 0 of the framework's date form (0001-01-01 is day 1).
inline constexpr int32_t kDateFormJulianOffset = 1721425;
inline constexpr double kMillisecondsPerDay = 86400000.0;

// Whether the field's bytes hold its empty form; adt: the table is of engine type 3.
bool IsFieldEmpty(const TACEFieldDef& field, const uint8_t* image, bool adt);

// Decodes a non-empty field into its value form. Blob kinds are read through their caches and
// are not decoded here. A numeric text that does not convert leaves destination unset.
void ReadFieldValue(const TACEFieldDef& field, const uint8_t* image, void* destination);

// Encodes a value form (or, for null, the empty form) into the field's bytes. Refusals raise
// EADSDatabaseError naming dataSet ("Numeric out of range.", code 5121).
void WriteFieldValue(TAdsDataSet* dataSet, const TACEFieldDef& field, uint8_t* image,
                     const void* value, bool adt);

}  // namespace ads

#endif
