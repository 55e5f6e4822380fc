// The byte forms of field values in a record image.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ads/adsdata.h"
#include "ads/adsfields.h"
#include "tests/ads/table_fixture.h"

namespace {

using ads::TACEFieldDef;

TACEFieldDef field(UNSIGNED16 type, UNSIGNED32 length, UNSIGNED16 decimals = 0,
                   UNSIGNED32 offset = 0) {
    TACEFieldDef f;
    f.Name = "F";
    f.FieldNumber = 1;
    f.EngineType = type;
    f.Length = length;
    f.Decimals = decimals;
    f.Offset = offset;
    f.Kind = ads::FieldKindOf(type, length, decimals, f.Size);
    return f;
}

TEST(FieldCodec, StringsTrailingBlanksAndEmptiness) {
    TACEFieldDef f = field(ADS_STRING, 6);
    uint8_t image[6];
    std::memcpy(image, "AB    ", 6);
    char text[7];
    ads::ReadFieldValue(f, image, text);
    EXPECT_STREQ(text, "AB");
    std::memcpy(image, "      ", 6);
    EXPECT_FALSE(ads::IsFieldEmpty(f, image, true));  // blanks are a value on ADT tables
    EXPECT_TRUE(ads::IsFieldEmpty(f, image, false));
    ads::ReadFieldValue(f, image, text);
    EXPECT_STREQ(text, "");
    // An empty text fills zero bytes on ADT tables, blanks elsewhere.
    ads::WriteFieldValue(nullptr, f, image, "", true);
    EXPECT_TRUE(ads::IsFieldEmpty(f, image, true));
    ads::WriteFieldValue(nullptr, f, image, "", false);
    EXPECT_EQ(std::memcmp(image, "      ", 6), 0);
    ads::WriteFieldValue(nullptr, f, image, "XY", true);
    EXPECT_EQ(std::memcmp(image, "XY    ", 6), 0);
}

TEST(FieldCodec, NumericTextFields) {
    TACEFieldDef f = field(ADS_NUMERIC, 5, 2);
    EXPECT_EQ(f.Kind, db::ftFloat);
    uint8_t image[5];
    double v = 12.3;
    ads::WriteFieldValue(nullptr, f, image, &v, true);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image), 5), "12.30");
    double back = 0;
    ads::ReadFieldValue(f, image, &back);
    EXPECT_DOUBLE_EQ(back, 12.3);
    for (double refused : {123.456, 1e20, -99.999}) {
        try {
            ads::WriteFieldValue(nullptr, f, image, &refused, true);
            ADD_FAILURE() << refused << " was taken";
        } catch (const ads::EADSDatabaseError& e) {
            EXPECT_EQ(e.Message(), "Numeric out of range.");
            EXPECT_EQ(e.ErrorCode(), 5121);
        }
    }
    TACEFieldDef small = field(ADS_NUMERIC, 4);
    EXPECT_EQ(small.Kind, db::ftSmallint);
    int16_t n = 123;
    ads::WriteFieldValue(nullptr, small, image, &n, true);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image), 4), " 123");
    int16_t m = 0;
    ads::ReadFieldValue(small, image, &m);
    EXPECT_EQ(m, 123);
    n = -9999;
    EXPECT_THROW(ads::WriteFieldValue(nullptr, small, image, &n, true), ads::EADSDatabaseError);
    // A text that does not convert leaves the value as it was.
    std::memcpy(image, "12x4", 4);
    m = 7;
    ads::ReadFieldValue(small, image, &m);
    EXPECT_EQ(m, 7);
}

TEST(FieldCodec, LogicalsDatesAndTimeStamps) {
    TACEFieldDef logical = field(ADS_LOGICAL, 1);
    uint8_t image[8] = {'y'};
    int16_t b = 0;
    ads::ReadFieldValue(logical, image, &b);
    EXPECT_EQ(b, -1);
    b = -1;
    ads::WriteFieldValue(nullptr, logical, image, &b, true);
    EXPECT_EQ(image[0], 'T');
    ads::WriteFieldValue(nullptr, logical, image, nullptr, true);
    EXPECT_TRUE(ads::IsFieldEmpty(logical, image, true));

    TACEFieldDef date = field(ADS_DATE, 4);
    std::memset(image, 0, sizeof image);
    EXPECT_TRUE(ads::IsFieldEmpty(date, image, true));
    int32_t day = 738000;
    ads::WriteFieldValue(nullptr, date, image, &day, true);
    int32_t julian;
    std::memcpy(&julian, image, 4);
    EXPECT_EQ(julian, 738000 + 1721425);

    TACEFieldDef stamp = field(ADS_TIMESTAMP, 8);
    std::memset(image, 0, sizeof image);
    EXPECT_TRUE(ads::IsFieldEmpty(stamp, image, true));
    int32_t parts[2] = {100, 5000};  // a Julian day long before 0001-01-01
    std::memcpy(image, parts, 8);
    double ms = -1;
    ads::ReadFieldValue(stamp, image, &ms);
    EXPECT_EQ(ms, 0.0);
    double when = 738000.0 * 86400000.0 + 45296789.0;
    ads::WriteFieldValue(nullptr, stamp, image, &when, true);
    ads::ReadFieldValue(stamp, image, &ms);
    EXPECT_DOUBLE_EQ(ms, when);
}

TEST(FieldCodec, EmptyFormsOfBinaryNumbers) {
    uint8_t image[8];
    TACEFieldDef integer = field(ADS_INTEGER, 4);
    int32_t minimum = INT32_MIN;
    std::memcpy(image, &minimum, 4);
    EXPECT_TRUE(ads::IsFieldEmpty(integer, image, true));  // the empty form, not a value
    EXPECT_FALSE(ads::IsFieldEmpty(integer, image, false));
    for (UNSIGNED16 type : {ADS_DOUBLE, ADS_SHORTINT, ADS_TIME, ADS_AUTOINC, ADS_CURDOUBLE}) {
        TACEFieldDef f = field(type, type == ADS_SHORTINT                      ? 2
                                     : type == ADS_TIME || type == ADS_AUTOINC ? 4
                                                                               : 8);
        ads::WriteFieldValue(nullptr, f, image, nullptr, true);
        EXPECT_TRUE(ads::IsFieldEmpty(f, image, true)) << type;
    }
}

TEST(FieldCodec, CompactDatePacking) {
    TACEFieldDef f = field(ADS_COMPACTDATE, 3);
    uint8_t image[3];
    int32_t day = 730120;  // 2000-01-01 is day 730120 of the date form
    ads::WriteFieldValue(nullptr, f, image, &day, true);
    unsigned first = (static_cast<unsigned>(image[0]) << 8) | image[1];
    EXPECT_EQ(first >> 1, 2000u);
    EXPECT_EQ(((first & 1u) << 3) | (image[2] >> 5), 1u);
    EXPECT_EQ(image[2] & 31u, 1u);
    int32_t back = 0;
    ads::ReadFieldValue(f, image, &back);
    EXPECT_EQ(back, day);
}

}  // namespace

// The engine builds record images and this layer reads and edits them: both must agree on every
// type's empty form, or an empty field would read as a value (or a value as empty).
TEST(FieldCodec, EmptyFormsAgreeWithTheEnginesImages) {
    adstest::TempFolder dir;
    const std::string fields =
        "C,Character,6;N,Numeric,6,2;D,Date;L,Logical;F,Double;CD,CurDouble;I,Integer;"
        "S,ShortInteger;A,AutoInc;T,Time;TS,TimeStamp;R,Raw,4;M,Memo;B,Binary";
    adstest::makeTable(dir.path(), "FORMS.adt", fields);
    ADSHANDLE c = 0, t = 0;
    ASSERT_EQ(AdsConnect(adstest::u8(dir.path()), &c), AE_SUCCESS);
    ASSERT_EQ(AdsOpenTable(c, adstest::u8("FORMS.adt"), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
              AE_SUCCESS);
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS);
    UNSIGNED32 length = 0;
    ASSERT_EQ(AdsGetRecordLength(t, &length), AE_SUCCESS);
    std::vector<uint8_t> image(length);
    ASSERT_EQ(AdsGetRecord(t, image.data(), &length), AE_SUCCESS);
    UNSIGNED16 count = 0;
    ASSERT_EQ(AdsGetNumFields(t, &count), AE_SUCCESS);
    for (UNSIGNED16 n = 1; n <= count; ++n) {
        TACEFieldDef f;
        UNSIGNED16 decimals = 0;
        ASSERT_EQ(AdsGetFieldType(t, ADSFIELD(n), &f.EngineType), AE_SUCCESS);
        ASSERT_EQ(AdsGetFieldLength(t, ADSFIELD(n), &f.Length), AE_SUCCESS);
        ASSERT_EQ(AdsGetFieldOffset(t, ADSFIELD(n), &f.Offset), AE_SUCCESS);
        ASSERT_EQ(AdsGetFieldDecimals(t, ADSFIELD(n), &decimals), AE_SUCCESS);
        f.Decimals = decimals;
        f.Kind = ads::FieldKindOf(f.EngineType, f.Length, f.Decimals, f.Size);
        // AutoInc got its value at the write; every other field is empty.
        if (f.EngineType == ADS_AUTOINC) continue;
        EXPECT_TRUE(ads::IsFieldEmpty(f, image.data(), true)) << "field " << n;
        std::vector<uint8_t> written(image.size(), 0xAB);
        ads::WriteFieldValue(nullptr, f, written.data(), nullptr, true);
        EXPECT_EQ(std::memcmp(written.data() + f.Offset, image.data() + f.Offset,
                              ads::IsBlobType(f.EngineType) ? 4 : f.Length),
                  0)
            << "field " << n;
    }
    (void)AdsCloseTable(t);
    (void)AdsDisconnect(c);
}
