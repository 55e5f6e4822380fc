// The byte forms of empty values in a record image of an ADT table, as AdsGetRecord hands them
// out and AdsSetRecord-style callers write them: stated once for the engine, which builds the
// images, and the data-access layer, which reads and edits them. Integers are little-endian.
//
//   Logical          a blank
//   Double, CurDouble  the 8 bytes 0x20 0 0 0, 0 0 0 0x80 (the two words below)
//   Integer          0x80000000;   ShortInteger 0x8000
//   AutoInc, Time    0xFFFFFFFF
//   TimeStamp        day 0, then 0xFFFFFFFF for the time
//   Memo, Binary, Image, VarChar  a 9-byte slot whose first word is 0 (empty) or 0xFFFFFFFF
//   anything else    all zero bytes
#ifndef VELDA_BASE_RECORD_FORMS_H
#define VELDA_BASE_RECORD_FORMS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velda::record {

template <class T>
T load(const uint8_t* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

template <class T>
void store(uint8_t* bytes, T value) {
    std::memcpy(bytes, &value, sizeof value);
}

inline constexpr uint8_t kEmptyLogical = ' ';
inline constexpr uint32_t kEmptyDoubleLow = 0x00000020u;   // first word
inline constexpr uint32_t kEmptyDoubleHigh = 0x80000000u;  // second word
inline constexpr uint32_t kEmptyInteger = 0x80000000u;
inline constexpr uint16_t kEmptyShortInteger = 0x8000u;
inline constexpr uint32_t kEmptyAutoInc = 0xFFFFFFFFu;
inline constexpr uint32_t kEmptyTime = 0xFFFFFFFFu;
inline constexpr uint32_t kEmptyTimeStampDay = 0;
inline constexpr uint32_t kEmptyTimeStampTime = 0xFFFFFFFFu;
inline constexpr size_t kBlobSlotLength = 9;
inline constexpr uint32_t kBlobEmpty = 0;
inline constexpr uint32_t kBlobNotEmpty = 0xFFFFFFFFu;

inline void writeEmptyDouble(uint8_t* slot) {
    store<uint32_t>(slot, kEmptyDoubleLow);
    store<uint32_t>(slot + 4, kEmptyDoubleHigh);
}
inline bool isEmptyDouble(const uint8_t* slot) {
    return load<uint32_t>(slot) == kEmptyDoubleLow && load<uint32_t>(slot + 4) == kEmptyDoubleHigh;
}
inline void writeEmptyTimeStamp(uint8_t* slot) {
    store<uint32_t>(slot, kEmptyTimeStampDay);
    store<uint32_t>(slot + 4, kEmptyTimeStampTime);
}
// The first word of a blob slot: whether the field holds anything.
inline void writeBlobMark(bool present, uint8_t* slot) {
    store<uint32_t>(slot, present ? kBlobNotEmpty : kBlobEmpty);
}
inline bool blobMarkEmpty(const uint8_t* slot) {
    return load<uint32_t>(slot) == kBlobEmpty;
}

// The field types whose empty form is not all zero bytes, by the numbers of the engine's call
// surface (engine/ace.h, which base/ does not include; the engine checks that they agree).
inline constexpr int kLogicalType = 1;
inline constexpr int kDoubleType = 10;
inline constexpr int kIntegerType = 11;
inline constexpr int kShortIntegerType = 12;
inline constexpr int kTimeType = 13;
inline constexpr int kTimeStampType = 14;
inline constexpr int kAutoIncType = 15;
inline constexpr int kCurDoubleType = 17;

// Writes the empty form of a field of the type into its slot of length bytes.
inline void writeEmpty(int type, uint8_t* slot, size_t length) {
    switch (type) {
        case kLogicalType:
            slot[0] = kEmptyLogical;
            return;
        case kDoubleType:
        case kCurDoubleType:
            writeEmptyDouble(slot);
            return;
        case kIntegerType:
            store<uint32_t>(slot, kEmptyInteger);
            return;
        case kShortIntegerType:
            store<uint16_t>(slot, kEmptyShortInteger);
            return;
        case kTimeType:
            store<uint32_t>(slot, kEmptyTime);
            return;
        case kAutoIncType:
            store<uint32_t>(slot, kEmptyAutoInc);
            return;
        case kTimeStampType:
            writeEmptyTimeStamp(slot);
            return;
        default:
            std::memset(slot, 0, length);
    }
}

}  // namespace velda::record

#endif
