// Keys of an index tag: the values AdsSetField / AdsSetFieldRaw put into an index handle's key,
// the raw key AdsBuildRawKey serialises them to, and their conversion to key values for queries.
//
// Raw key: byte 0xB7, the number of segments n, then per segment a flag byte (1 given, 2 shorter
// than the field), a length byte and the segment's record-image bytes. A key with fewer segments
// than its tag matches on its leading segments; a character segment shorter than its field
// matches the values beginning with it (its trailing blanks ignored). Internal to engine/.
#ifndef VELDA_ENGINE_RAW_KEY_H
#define VELDA_ENGINE_RAW_KEY_H

#include <string>
#include <vector>

#include "engine/record_image.h"
#include "engine/schema.h"

namespace engine {

struct KeySegment {
    bool given = false;
    bool partial = false;
    std::string bytes;  // record-image form in the handle's code page
};

// Key values over the tag's leading segments, in their key form.
struct KeyValues {
    std::vector<Value> values;
    bool lastPartial = false;  // the last value is a text prefix
};

std::string encodeRawKey(const std::vector<KeySegment>& segments);
[[nodiscard]] UNSIGNED32 decodeRawKey(const uint8_t* key, size_t length, const Schema& schema,
                                      const IndexDef& index, std::vector<KeySegment>& out);
// A plain text for the first segment (ADS_STRINGKEY), in Windows-1252.
[[nodiscard]] UNSIGNED32 stringKey(const uint8_t* key, size_t length, const Schema& schema,
                                   const IndexDef& index, image::CodePage page,
                                   std::vector<KeySegment>& out);
// A double for the first segment (ADS_DOUBLEKEY).
[[nodiscard]] UNSIGNED32 doubleKey(const uint8_t* key, size_t length, const Schema& schema,
                                   const IndexDef& index, std::vector<KeySegment>& out);
[[nodiscard]] UNSIGNED32 keyValues(const Schema& schema, const IndexDef& index,
                                   const std::vector<KeySegment>& segments, image::CodePage page,
                                   KeyValues& out);

}  // namespace engine

#endif
