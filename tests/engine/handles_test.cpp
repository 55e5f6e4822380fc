#include <gtest/gtest.h>

#include <string>

#include "engine/ace.h"

namespace {

std::string lastErrorText(UNSIGNED32* code = nullptr) {
    UNSIGNED8 buffer[601];
    UNSIGNED16 len = sizeof buffer;
    UNSIGNED32 c = 0;
    EXPECT_EQ(AdsGetLastError(&c, buffer, &len), AE_SUCCESS);
    if (code) *code = c;
    return std::string(reinterpret_cast<char*>(buffer), len);
}

TEST(Handles, UnknownHandleIsAnErrorWithText) {
    UNSIGNED16 type = 0;
    EXPECT_EQ(AdsGetHandleType(0, &type), AE_INVALID_HANDLE);
    UNSIGNED32 code = 0;
    EXPECT_EQ(lastErrorText(&code), "Error 6001: Handle 0 is not a live handle.");
    EXPECT_EQ(code, AE_INVALID_HANDLE);
    EXPECT_EQ(AdsGetHandleType(0xFFFFFFFFu, &type), AE_INVALID_HANDLE);
}

TEST(Handles, LastErrorIsCutToTheCallersBuffer) {
    UNSIGNED16 type = 0;
    (void)AdsGetHandleType(12345, &type);
    UNSIGNED8 small[8];
    UNSIGNED16 len = sizeof small;
    UNSIGNED32 code = 0;
    ASSERT_EQ(AdsGetLastError(&code, small, &len), AE_SUCCESS);
    EXPECT_EQ(len, 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(small)), "Error 6");
}

TEST(Handles, VersionIsReported) {
    UNSIGNED32 major = 0, minor = 0;
    UNSIGNED8 letter = 0;
    ASSERT_EQ(AdsGetVersion(&major, &minor, &letter, nullptr, nullptr), AE_SUCCESS);
    EXPECT_GT(major, 0u);
}

}  // namespace
