// The one rule for caller buffers: after a buffer that is too small (or none), the in-out length
// is the size that succeeds when the call is tried again with it; every kind of text and bytes
// the engine copies out is tried here.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "engine_fixture.h"

namespace {

using namespace enginetest;

// A copy-out call with its buffer and in-out length (16-bit lengths travel through a 32-bit one).
using CopyCall = std::function<UNSIGNED32(UNSIGNED8* buffer, UNSIGNED32* len)>;

CopyCall with16(std::function<UNSIGNED32(UNSIGNED8*, UNSIGNED16*)> call) {
    return [call](UNSIGNED8* buffer, UNSIGNED32* len) {
        UNSIGNED16 len16 = static_cast<UNSIGNED16>(*len);
        UNSIGNED32 rc = call(buffer, &len16);
        *len = len16;
        return rc;
    };
}

struct CopyCase {
    const char* what;
    CopyCall call;
    std::string expected;  // what the call copies; a text gets its NUL after it
    bool text = true;
    UNSIGNED32 tooSmall = AE_BUFFER_TOO_SMALL;
};

class Buffers : public EngineTest {};

TEST_F(Buffers, TheLengthToldAfterATooSmallBufferSucceedsOnRetry) {
    ADSHANDLE t = create("staff", "NAME,Character,10;PHOTO,Binary;HIRED,Date");
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    append(t, {"Ann", "", "20060301"});
    ASSERT_EQ(AdsSetField(t, u8("PHOTO"), u8("\x01\x02\x03"), 3), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS) << lastError();
    UNSIGNED32 recordLength = 0;
    ASSERT_EQ(AdsGetRecordLength(t, &recordLength), AE_SUCCESS);
    std::vector<UNSIGNED8> record(recordLength), blank(recordLength);
    UNSIGNED32 len = recordLength;
    ASSERT_EQ(AdsGetRecord(t, record.data(), &len), AE_SUCCESS) << lastError();
    len = recordLength;
    ASSERT_EQ(AdsGetNullRecord(t, blank.data(), &len), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsSetScope(byName, ADS_TOP, u8("A"), 1, ADS_STRINGKEY), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsSetAOF(t, u8("NAME = 'Ann'"), ADS_RESOLVE_DYNAMIC), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsSetFilter(t, u8("HIRED > CTOD('01/01/2000')")), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsInitRawKey(byName), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(byName, u8("NAME"), u8("Ann"), 3), AE_SUCCESS) << lastError();
    UNSIGNED8 key[ADS_MAX_KEY_LENGTH];
    UNSIGNED16 keyLen = sizeof key;
    ASSERT_EQ(AdsBuildRawKey(byName, key, &keyLen), AE_SUCCESS) << lastError();
    const UNSIGNED32 recno = 1;
    // A connection to a server names the server's host and port, a folder's the folder.
    std::string serverName = folder;
    if (onServer()) {
        UNSIGNED8 name[512];
        UNSIGNED16 nameLen = sizeof name;
        ASSERT_EQ(AdsGetServerName(connection, name, &nameLen), AE_SUCCESS) << lastError();
        serverName.assign(reinterpret_cast<char*>(name), nameLen);
    }

    const std::vector<CopyCase> cases = {
        {"version", with16([](UNSIGNED8* b, UNSIGNED16* l) {
             UNSIGNED32 major, minor;
             UNSIGNED8 letter;
             return AdsGetVersion(&major, &minor, &letter, b, l);
         }),
         std::string("velda engine on SQLite ") + sqlite3_libversion()},
        {"server name",
         with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetServerName(connection, b, l); }),
         serverName},
        {"date format",
         with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetDateFormat60(connection, b, l); }),
         "MM/DD/YYYY"},
        {"field name",
         with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetFieldName(t, 2, b, l); }), "PHOTO"},
        {"index name",
         with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetIndexName(byName, b, l); }),
         "BYNAME"},
        {"index file name",
         with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetIndexFilename(byName, 2, b, l); }),
         "staff.adt"},
        {"segment field name", with16([&](UNSIGNED8* b, UNSIGNED16* l) {
             return AdsGetSegmentFieldname(byName, 0, b, l);
         }),
         "NAME"},
        {"index condition",
         with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetIndexCondition(byName, b, l); }),
         ""},
        {"scope",
         with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetScope(byName, ADS_TOP, b, l); }),
         "A"},
        {"date text", with16([](UNSIGNED8* b, UNSIGNED16* l) {
             return AdsConvertJulianToString(2453796, b, l);
         }),
         "20060301"},
        {"text field",
         [&](UNSIGNED8* b, UNSIGNED32* l) { return AdsGetField(t, u8("NAME"), b, l, ADS_NONE); },
         "Ann       "},
        {"optimised filter",
         with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetAOF(t, b, l); }), "NAME = 'Ann'",
         true, AE_INSUFFICIENT_BUFFER},
        {"filter", with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetFilter(t, b, l); }),
         "HIRED > CTOD('01/01/2000')", true, AE_INSUFFICIENT_BUFFER},
        {"long expression", with16([&](UNSIGNED8* b, UNSIGNED16* l) {
             return AdsExpressionShortToLong(t, u8("NAME = 'x'"), b, l);
         }),
         "NAME = 'x'", true, AE_INSUFFICIENT_BUFFER},
        {"short expression", with16([&](UNSIGNED8* b, UNSIGNED16* l) {
             return AdsExpressionLongToShort(t, u8("NAME = 'x'"), b, l);
         }),
         "NAME = 'x'", true, AE_INSUFFICIENT_BUFFER},
        {"binary field",
         [&](UNSIGNED8* b, UNSIGNED32* l) { return AdsGetField(t, u8("PHOTO"), b, l, ADS_NONE); },
         "\x01\x02\x03", false},
        {"record", [&](UNSIGNED8* b, UNSIGNED32* l) { return AdsGetRecord(t, b, l); },
         std::string(record.begin(), record.end()), false},
        {"blank record", [&](UNSIGNED8* b, UNSIGNED32* l) { return AdsGetNullRecord(t, b, l); },
         std::string(blank.begin(), blank.end()), false},
        {"bookmark", [&](UNSIGNED8* b, UNSIGNED32* l) { return AdsGetBookmark60(t, b, l); },
         std::string(reinterpret_cast<const char*>(&recno), sizeof recno), false},
        {"raw key",
         with16([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsBuildRawKey(byName, b, l); }),
         std::string(reinterpret_cast<const char*>(key), keyLen), false},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.what);
        const UNSIGNED32 needed = static_cast<UNSIGNED32>(c.expected.size() + (c.text ? 1 : 0));
        // No buffer: the size is asked for.
        UNSIGNED32 told = 0;
        EXPECT_EQ(c.call(nullptr, &told), c.tooSmall);
        EXPECT_EQ(told, needed);
        // One byte short: refused, with the same size told and the text saying it.
        std::vector<UNSIGNED8> buffer(needed + 1, 0xEE);
        told = needed - 1;
        EXPECT_EQ(c.call(buffer.data(), &told), c.tooSmall);
        EXPECT_EQ(told, needed);
        UNSIGNED32 code = 0;
        EXPECT_NE(lastError(&code).find(std::to_string(needed) + " bytes are needed"),
                  std::string::npos)
            << lastError();
        EXPECT_EQ(code, c.tooSmall);
        EXPECT_EQ(buffer[0], 0xEE) << "nothing is copied into a buffer that is too small";
        // The retry with that size succeeds and copies exactly the value (and a text's NUL).
        ASSERT_EQ(c.call(buffer.data(), &told), AE_SUCCESS) << lastError();
        EXPECT_EQ(told, c.expected.size());
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + c.expected.size()), c.expected);
        if (c.text) {
            EXPECT_EQ(buffer[c.expected.size()], 0);
        }
        EXPECT_EQ(buffer[needed], 0xEE) << "nothing is written past the size told";
    }
}

// A text whose size a 16-bit length cannot hold can never succeed on a retry: refused as such.
TEST_F(Buffers, ATextLongerThanA16BitLengthIsRefusedNotCut) {
    ADSHANDLE t = create("staff", "NAME,Character,10");
    const std::string filter = "NAME = '" + std::string(70000, 'x') + "'";
    ASSERT_EQ(AdsSetAOF(t, u8(filter), ADS_RESOLVE_DYNAMIC), AE_SUCCESS) << lastError();
    UNSIGNED16 len = 0;
    EXPECT_EQ(AdsGetAOF(t, nullptr, &len), AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(),
              "Error 6002: The text of optimised filter is too long for a 16-bit length.");
}

}  // namespace
