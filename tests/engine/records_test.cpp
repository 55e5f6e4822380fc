#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

#include "engine_fixture.h"

using namespace enginetest;

namespace {

class Records : public EngineTest {
  protected:
    struct Slot {
        UNSIGNED32 offset, length;
    };
    Slot slot(ADSHANDLE t, const char* name) {
        Slot s{};
        EXPECT_EQ(AdsGetFieldOffset(t, u8(name), &s.offset), AE_SUCCESS);
        EXPECT_EQ(AdsGetFieldLength(t, u8(name), &s.length), AE_SUCCESS);
        return s;
    }
    std::vector<UNSIGNED8> record(ADSHANDLE t) {
        UNSIGNED32 len = 0;
        (void)AdsGetRecordLength(t, &len);
        std::vector<UNSIGNED8> r(len);
        EXPECT_EQ(AdsGetRecord(t, r.data(), &len), AE_SUCCESS) << lastError();
        return r;
    }
    std::string bytesOf(ADSHANDLE t, const char* name) {
        Slot s = slot(t, name);
        std::vector<UNSIGNED8> r = record(t);
        return std::string(reinterpret_cast<char*>(r.data() + s.offset), s.length);
    }
    template <class T>
    static std::string raw(T v) {
        return std::string(reinterpret_cast<const char*>(&v), sizeof v);
    }
};

constexpr const char* kAllTypes =
    "S,Character,6;N,Numeric,8,2;D,Date;L,Logical;C,CompactDate;F,Double;I,Integer;H,ShortInteger;"
    "T,Time;"
    "TS,TimeStamp;A,AutoInc;R,Raw,4;M,CurDouble;M2,Memo;B,Binary";

TEST_F(Records, EveryTypeRoundTripsThroughItsImageBytes) {
    ADSHANDLE t = create("types", kAllTypes);
    const std::vector<std::pair<const char*, std::string>> values = {
        {"S", "AB    "},
        {"N", "   12.30"},
        {"D", raw<int32_t>(2451545)},  // 2000-01-01
        {"L", "T"},
        {"C",
         std::string("\x0F\xA1\x3F",
                     3)},  // 2000-09-31 is no date; 0x0FA0 year 2000, month 9, day 31 packed below
        {"F", raw<double>(-1.25)},
        {"I", raw<int32_t>(-77)},
        {"H", raw<int16_t>(1234)},
        {"T", raw<int32_t>(45296789)},
        {"TS", raw<int32_t>(2451545) + raw<int32_t>(3600000)},
        {"A", raw<uint32_t>(41)},
        {"R", std::string("\x01\x00\x02\x00", 4)},
        {"M", raw<double>(99.5)},
    };
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    for (const auto& [name, bytes] : values) {
        std::string b = bytes;
        if (std::string(name) == "C") {
            // 2024-02-29: year in the upper 15 bits of two big-endian bytes, month 4 bits, day 5
            // bits.
            unsigned word = (2024u << 1) | (2u >> 3);
            b = {static_cast<char>(word >> 8), static_cast<char>(word & 0xFF),
                 static_cast<char>(((2 & 7) << 5) | 29)};
        }
        ASSERT_EQ(AdsSetFieldRaw(t, u8(name), u8(b.data()), static_cast<UNSIGNED32>(b.size())),
                  AE_SUCCESS)
            << name << ": " << lastError();
    }
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    t = (close(t), openOk("types"));
    for (const auto& [name, bytes] : values) {
        if (std::string(name) == "C") continue;
        EXPECT_EQ(bytesOf(t, name), bytes) << name;
    }
    EXPECT_EQ(field(t, "C"), "2024-02-29");
    EXPECT_EQ(field(t, "D"), "2000-01-01");
    EXPECT_EQ(field(t, "TS"), "2000-01-01 01:00:00.000");
    EXPECT_EQ(field(t, "T"), "12:34:56.789");
    EXPECT_EQ(field(t, "N"), "   12.30");  // the field's text, right-aligned
    EXPECT_EQ(field(t, "L"), "T");
    // The stored columns are plain values for SQL.
    if (onServer()) return;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path("types.adt").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT S, N, D, L, TS, typeof(M2) FROM records", -1, &stmt,
                                 nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "AB");
    EXPECT_DOUBLE_EQ(sqlite3_column_double(stmt, 1), 12.3);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2)), "2000-01-01");
    EXPECT_EQ(sqlite3_column_int(stmt, 3), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 4)),
                 "2000-01-01 01:00:00.000");
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 5)), "null");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

// A numeric field's bytes are printf's "%.*f" of the value, right-aligned, without the sign of
// a zero: ties of the binary value, values just beside them, and ordinary ones.
TEST_F(Records, NumericImagesRoundAsPrintfDoes) {
    ADSHANDLE t = create("numbers", "N,Numeric,20,2;W,Numeric,20,0;F,Numeric,20,5");
    const double values[] = {
        0.125,  2.675,       1.005,      -0.004,  -0.005,         0.5,       -2.5, 1.5,
        12.3,   -12.345,     1e9 + .125, 0.0,     -0.0,           123456.78, 1e-7, 99999999999.995,
        7.0e-3, -1234.56789, 0.015,      1.0 / 3, 4503599627370.5};
    std::vector<std::string> written;  // every row's image as the write left it
    for (double v : values) {
        char given[64];
        std::snprintf(given, sizeof given, "%.17g", v);
        ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
        for (const char* name : {"N", "W", "F"})
            ASSERT_EQ(AdsSetField(t, u8(name), u8(given), static_cast<UNSIGNED32>(strlen(given))),
                      AE_SUCCESS)
                << name << " " << lastError();
        ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
        for (auto [name, decimals] : {std::pair{"N", 2}, {"W", 0}, {"F", 5}}) {
            char text[64];
            std::snprintf(text, sizeof text, "%.*f", decimals, v);
            std::string expected = text;
            if (expected[0] == '-' && expected.find_first_not_of("-0.") == std::string::npos)
                expected.erase(0, 1);
            expected.insert(0, 20 - expected.size(), ' ');
            EXPECT_EQ(bytesOf(t, name), expected) << name << " " << given;
        }
        std::vector<UNSIGNED8> image = record(t);
        written.emplace_back(image.begin(), image.end());
    }
    // A walk builds the images from the stored rows: the same bytes.
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    for (const std::string& expected : written) {
        std::vector<UNSIGNED8> image = record(t);
        EXPECT_EQ(std::string(image.begin(), image.end()), expected);
        ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    }
}

TEST_F(Records, EmptyValuesHaveTheirEmptyForms) {
    ADSHANDLE t = create("types", kAllTypes);
    append(t, {});
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    const std::vector<std::pair<const char*, std::string>> empties = {
        {"S", std::string(6, '\0')},         {"N", std::string(8, '\0')},
        {"D", std::string(4, '\0')},         {"L", " "},
        {"C", std::string(3, '\0')},         {"F", std::string("\x20\0\0\0\0\0\0\x80", 8)},
        {"I", std::string("\0\0\0\x80", 4)}, {"H", std::string("\0\x80", 2)},
        {"T", std::string(4, '\xFF')},       {"TS", std::string(4, '\0') + std::string(4, '\xFF')},
        {"R", std::string(4, '\0')},         {"M2", std::string(9, '\0')},
    };
    for (const auto& [name, bytes] : empties) {
        EXPECT_EQ(bytesOf(t, name), bytes) << name;
        UNSIGNED16 empty = 0;
        ASSERT_EQ(AdsIsEmpty(t, u8(name), &empty), AE_SUCCESS);
        EXPECT_EQ(empty, 1) << name;
    }
    EXPECT_EQ(bytesOf(t, "A"), raw<uint32_t>(1));  // assigned at the write
    UNSIGNED32 last = 0;
    ASSERT_EQ(AdsGetLastAutoinc(t, &last), AE_SUCCESS);
    EXPECT_EQ(last, 1u);
    // Writing the empty forms back keeps them empty.
    for (const auto& [name, bytes] : empties) {
        if (std::string(name) == "M2") continue;
        ASSERT_EQ(
            AdsSetFieldRaw(t, u8(name), u8(bytes.data()), static_cast<UNSIGNED32>(bytes.size())),
            AE_SUCCESS)
            << name;
    }
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS);
    for (const auto& [name, bytes] : empties) EXPECT_EQ(bytesOf(t, name), bytes) << name;
    std::vector<UNSIGNED8> blank(record(t).size());
    UNSIGNED32 len = static_cast<UNSIGNED32>(blank.size());
    ASSERT_EQ(AdsGetNullRecord(t, blank.data(), &len), AE_SUCCESS);
    std::vector<UNSIGNED8> cleared(blank.size(), 0x55);
    ASSERT_EQ(AdsClearRecordBuffer(t, cleared.data(), len), AE_SUCCESS);
    EXPECT_EQ(cleared, blank);
    EXPECT_EQ(AdsClearRecordBuffer(t, cleared.data(), 3), AE_BUFFER_TOO_SMALL);
}

TEST_F(Records, TextFormsConvertOrAreRefusedNamingTheColumn) {
    ADSHANDLE t = create("types", kAllTypes);
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    struct Good {
        const char* name;
        const char* in;
        const char* out;
    } good[] = {{"D", "20240131", "2024-01-31"},
                {"D", "2024-02-29", "2024-02-29"},
                {"L", "f", "F"},
                {"L", "Y", "T"},
                {"N", "3.456", "    3.46"},
                {"I", " 42 ", "42"},
                {"F", "1e3", "1000"},
                {"T", "07:05", "07:05:00.000"},
                {"TS", "2001-02-03T04:05:06", "2001-02-03 04:05:06.000"},
                {"S", "XY   ", "XY"},
                {"M2", "a memo", "a memo"}};
    for (const Good& g : good) {
        ASSERT_EQ(AdsSetField(t, u8(g.name), u8(g.in), static_cast<UNSIGNED32>(std::strlen(g.in))),
                  AE_SUCCESS)
            << g.name << " " << g.in << ": " << lastError();
        EXPECT_EQ(field(t, g.name), g.out) << g.name;
    }
    struct Bad {
        const char* name;
        const char* in;
        const char* words;
    } bad[] = {
        {"D", "20240230", "a date is written"}, {"L", "maybe", "a logical value is T or F"},
        {"N", "123456.7", "does not fit"},      {"I", "12x", "is not a whole number"},
        {"H", "40000", "lies outside"},         {"S", "TOOLONG", "longer than the field's 6"},
        {"T", "25:00", "a time is written"}};
    for (const Bad& b : bad) {
        UNSIGNED32 code = 0;
        EXPECT_EQ(AdsSetField(t, u8(b.name), u8(b.in), static_cast<UNSIGNED32>(std::strlen(b.in))),
                  AE_COLUMN_VALUE)
            << b.name;
        std::string text = lastError(&code);
        EXPECT_NE(text.find("Column \"" + std::string(b.name) + "\" cannot take the value \"" +
                            b.in + "\""),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(b.words), std::string::npos) << text;
    }
    std::string badDate = raw<int32_t>(5);
    EXPECT_EQ(AdsSetFieldRaw(t, u8("D"), u8(badDate.data()), 4), AE_COLUMN_VALUE);
    EXPECT_EQ(AdsSetFieldRaw(t, u8("I"), u8("ab"), 2), AE_COLUMN_VALUE);
    EXPECT_NE(lastError().find("needs 4 bytes"), std::string::npos);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    UNSIGNED32 memoLength = 0;
    ASSERT_EQ(AdsGetMemoLength(t, u8("M2"), &memoLength), AE_SUCCESS);
    EXPECT_EQ(memoLength, 6u);
    UNSIGNED16 memoType = 0;
    ASSERT_EQ(AdsGetMemoDataType(t, u8("B"), &memoType), AE_SUCCESS);
    EXPECT_EQ(memoType, ADS_MEMO_BINARY);
    EXPECT_EQ(AdsGetMemoLength(t, u8("S"), &memoLength), AE_COLUMN_WRONG_TYPE);
    ASSERT_EQ(AdsSetField(t, u8("B"), u8("\x01\x00\x02"), 3), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS);
    UNSIGNED32 binaryLength = 0;
    ASSERT_EQ(AdsGetBinaryLength(t, u8("B"), &binaryLength), AE_SUCCESS);
    EXPECT_EQ(binaryLength, 3u);
    UNSIGNED8 blob[3];
    UNSIGNED32 blobLen = 3;
    ASSERT_EQ(AdsGetField(t, u8("B"), blob, &blobLen, ADS_NONE), AE_SUCCESS);
    EXPECT_EQ(std::memcmp(blob, "\x01\x00\x02", 3), 0);
    UNSIGNED16 empty = 1;
    ASSERT_EQ(AdsIsEmpty(t, u8("B"), &empty), AE_SUCCESS);
    EXPECT_EQ(empty, 0);
    UNSIGNED8 small[4];
    UNSIGNED32 smallLen = sizeof small;
    EXPECT_EQ(AdsGetField(t, u8("M2"), small, &smallLen, ADS_NONE), AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(smallLen, 7u);
}

TEST_F(Records, OemHandlesSeeCodePage850) {
    close(create("names", "S,Character,4"));
    ADSHANDLE ansi = openOk("names");
    ASSERT_EQ(AdsAppendRecord(ansi), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(ansi, u8("S"), u8("\xE9\xFC"), 2), AE_SUCCESS);  // é ü in 1252
    ASSERT_EQ(AdsWriteRecord(ansi), AE_SUCCESS);
    ADSHANDLE oem = 0;
    ASSERT_EQ(open("names", oem, 0, ADS_OEM), AE_SUCCESS);
    ASSERT_EQ(AdsGotoTop(oem), AE_SUCCESS);
    EXPECT_EQ(bytesOf(oem, "S"), "\x82\x81  ");                          // é ü in 850
    EXPECT_EQ(field(oem, "S"), "\xE9\xFC");                              // AdsGetField gives 1252
    ASSERT_EQ(AdsSetFieldRaw(oem, u8("S"), u8("\x9A"), 1), AE_SUCCESS);  // Ü in 850
    ASSERT_EQ(AdsWriteRecord(oem), AE_SUCCESS);
    ASSERT_EQ(AdsGotoTop(ansi), AE_SUCCESS);
    EXPECT_EQ(field(ansi, "S"), "\xDC");
}

TEST_F(Records, PendingChangesCancelRefreshAndDelete) {
    ADSHANDLE t = create("staff", "ID,AutoInc;NAME,Character,10");
    append(t, {"", "Ann"});
    append(t, {"", "Bob"});
    EXPECT_EQ(AdsCancelUpdate(t), AE_NO_UPDATE_PENDING);
    EXPECT_NE(lastError().find("No change is pending"), std::string::npos);
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Anne"), 4), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Anne");
    ASSERT_EQ(AdsCancelUpdate(t), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Ann");
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Anne"), 4), AE_SUCCESS);
    ASSERT_EQ(AdsRefreshRecord(t), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Ann");
    // Moving writes a pending change first.
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Anna"), 4), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Anna");
    // An append exists from its write on; the record number is known then.
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    EXPECT_EQ(recno(t), 0u);
    EXPECT_EQ(field(t, "ID"), "");
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Cy"), 2), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS);
    EXPECT_EQ(recno(t), 3u);
    EXPECT_EQ(field(t, "ID"), "3");
    ASSERT_EQ(AdsDeleteRecord(t), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS);  // nothing pending: nothing to do
    EXPECT_EQ(AdsGotoRecord(t, 3), AE_NO_SUCH_RECORD);
    UNSIGNED16 deleted = 1;
    ASSERT_EQ(AdsIsRecordDeleted(t, &deleted), AE_SUCCESS);
    EXPECT_EQ(deleted, 0);
    // Auto-increment values are not used again after a delete.
    append(t, {"", "Di"});
    EXPECT_EQ(field(t, "ID"), "4");
    UNSIGNED32 count = 0;
    ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count), AE_SUCCESS);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(AdsSkip(t, 5), AE_SUCCESS);
    EXPECT_EQ(AdsDeleteRecord(t), AE_NO_CURRENT_RECORD);
    EXPECT_EQ(AdsRefreshRecord(t), AE_NO_CURRENT_RECORD);
    EXPECT_EQ(AdsSetField(t, u8("NAME"), u8("x"), 1), AE_NO_CURRENT_RECORD);
}

// A text field of a row read in a batch (a walk) or gone to, read again after another handle
// changed the row, or after a transaction that changed it was rolled back, is the row's value
// now, not the one read with the batch.
TEST_F(Records, TextFieldsReadAfterAChangeElsewhereAreCurrent) {
    ADSHANDLE t = create("staff", "NAME,Character,10;N,Integer");
    for (const char* name : {"Ann", "Bob", "Cy", "Di", "Ed"}) append(t, {name, "1"});
    ADSHANDLE other = openOk("staff");
    auto change = [&](UNSIGNED32 record, const char* name) {
        ASSERT_EQ(AdsGotoRecord(other, record), AE_SUCCESS) << lastError();
        ASSERT_EQ(AdsSetField(other, u8("NAME"), u8(name), static_cast<UNSIGNED32>(strlen(name))),
                  AE_SUCCESS)
            << lastError();
        ASSERT_EQ(AdsWriteRecord(other), AE_SUCCESS) << lastError();
    };
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Bob");
    change(2, "Bobby");
    EXPECT_EQ(field(t, "NAME"), "Bobby");
    ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    change(3, "Cyd");
    EXPECT_EQ(field(t, "NAME"), "Cyd");
    ASSERT_EQ(AdsGotoRecord(t, 4), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Di");
    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS) << lastError();
    change(4, "Dee");
    EXPECT_EQ(field(t, "NAME"), "Dee");
    ASSERT_EQ(AdsRollbackTransaction(connection), AE_SUCCESS) << lastError();
    EXPECT_EQ(field(t, "NAME"), "Di");
    ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Ed");
}

TEST_F(Records, ReadOnlyHandlesRefuseChanges) {
    close(create("staff", "NAME,Character,10"));
    ADSHANDLE writer = openOk("staff");
    append(writer, {"Ann"});
    ADSHANDLE t = openOk("staff", ADS_READONLY);
    UNSIGNED32 options = 0;
    ASSERT_EQ(AdsGetTableOpenOptions(t, &options), AE_SUCCESS);
    EXPECT_EQ(options, ADS_READONLY);
    EXPECT_EQ(AdsAppendRecord(t), AE_READ_ONLY);
    EXPECT_NE(lastError().find("was opened read-only"), std::string::npos);
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    EXPECT_EQ(AdsSetField(t, u8("NAME"), u8("x"), 1), AE_READ_ONLY);
    EXPECT_EQ(AdsDeleteRecord(t), AE_READ_ONLY);
    ADSHANDLE tag = 0;
    EXPECT_EQ(AdsCreateIndex61(t, nullptr, u8("X"), u8("NAME"), nullptr, nullptr, 0, 512, &tag),
              AE_READ_ONLY);
    EXPECT_EQ(field(t, "NAME"), "Ann");
}

TEST_F(Records, ClearingAbsentFiltersAndAnUnencryptedTablesPassword) {
    ADSHANDLE t = create("staff", "NAME,Character,10");
    EXPECT_EQ(AdsClearAOF(t), AE_NO_FILTER);
    EXPECT_EQ(AdsClearFilter(t), AE_NO_FILTER);
    UNSIGNED8 buffer[16];
    UNSIGNED16 len = sizeof buffer;
    EXPECT_EQ(AdsGetAOF(t, buffer, &len), AE_NO_FILTER);
    EXPECT_EQ(AdsGetFilter(t, buffer, &len), AE_NO_FILTER);
    EXPECT_EQ(AdsEnableEncryption(t, u8("KORVA4816")), AE_SUCCESS);
    UNSIGNED16 encrypted = 1;
    ASSERT_EQ(AdsIsTableEncrypted(t, &encrypted), AE_SUCCESS);
    EXPECT_EQ(encrypted, 0);
}

TEST(Julian, ConvertsBothWays) {
    double jd = 0;
    ASSERT_EQ(AdsConvertStringToJulian(u8("00010101"), 8, &jd), AE_SUCCESS);
    EXPECT_EQ(jd, 1721426.0);
    ASSERT_EQ(AdsConvertStringToJulian(u8("20000101"), 8, &jd), AE_SUCCESS);
    EXPECT_EQ(jd, 2451545.0);
    ASSERT_EQ(AdsConvertStringToJulian(u8("        "), 8, &jd), AE_SUCCESS);
    EXPECT_EQ(jd, 0.0);
    EXPECT_EQ(AdsConvertStringToJulian(u8("20001301"), 8, &jd), AE_INVALID_ARGUMENT);
    UNSIGNED8 text[13];
    UNSIGNED16 len = sizeof text;
    ASSERT_EQ(AdsConvertJulianToString(2460370.0, text, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "20240229");
    len = sizeof text;
    EXPECT_EQ(AdsConvertJulianToString(5.0, text, &len), AE_INVALID_ARGUMENT);
}

}  // namespace

TEST_F(Records, EveryByteOfATextAndAMemoRoundTrips) {
    ADSHANDLE t = create("bytes", "S,Character,255;M,Memo;B,Binary");
    std::string all;
    for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("S"), u8(all.data()), static_cast<UNSIGNED32>(all.size())),
              AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsSetField(t, u8("M"), u8(all.data()), static_cast<UNSIGNED32>(all.size())),
              AE_SUCCESS)
        << lastError();
    std::string binary = std::string(1, '\0') + all;
    ASSERT_EQ(AdsSetField(t, u8("B"), u8(binary.data()), static_cast<UNSIGNED32>(binary.size())),
              AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    t = (close(t), openOk("bytes"));
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    EXPECT_EQ(field(t, "S"), all.substr(0, all.size() - 1) + "\xFF");
    std::vector<UNSIGNED8> buffer(1024);
    UNSIGNED32 len = static_cast<UNSIGNED32>(buffer.size());
    ASSERT_EQ(AdsGetField(t, u8("M"), buffer.data(), &len, ADS_NONE), AE_SUCCESS) << lastError();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), len), all);
    len = static_cast<UNSIGNED32>(buffer.size());
    ASSERT_EQ(AdsGetField(t, u8("B"), buffer.data(), &len, ADS_NONE), AE_SUCCESS) << lastError();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), len), binary);
}
