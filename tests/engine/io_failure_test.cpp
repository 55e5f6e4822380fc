#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>

#include "engine_fixture.h"
#include "failing_vfs.h"

using namespace enginetest;

namespace {

class IoFailure : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        vfs_ = std::make_unique<failingvfs::ScopedFailingVfs>();
        ASSERT_TRUE(vfs_->registered());
    }
    void TearDown() override {
        failingvfs::failing = false;
        EngineTest::TearDown();
        vfs_.reset();
    }
    std::unique_ptr<failingvfs::ScopedFailingVfs> vfs_;
};
using failingvfs::failing;

TEST_F(IoFailure, AFailedWriteIsAnErrorAndLeavesTheTableAndThePendingChange) {
    ADSHANDLE t = create("staff", "NAME,Character,10;N,Integer");
    append(t, {"Ann", "1"});
    ADSHANDLE byName = index(t, "BYNAME", "NAME");
    failing = true;
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Bob"), 3), AE_SUCCESS);
    UNSIGNED32 code = 0;
    EXPECT_EQ(AdsWriteRecord(t), AE_IO_ERROR);
    std::string text = lastError(&code);
    EXPECT_EQ(code, AE_IO_ERROR);
    EXPECT_NE(text.find("staff.adt"), std::string::npos) << text;
    EXPECT_NE(text.find("still pending"), std::string::npos) << text;
    ASSERT_EQ(AdsGotoRecord(t, 1), AE_IO_ERROR);  // moving would write the pending change first
    ASSERT_EQ(AdsSetField(t, u8("N"), u8("2"), 1), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Bob");
    failing = false;
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    EXPECT_EQ(walk(byName, "NAME"), (std::vector<std::string>{"Ann", "Bob"}));
    failing = true;
    ASSERT_EQ(AdsGotoRecord(t, 1), AE_SUCCESS);
    EXPECT_EQ(AdsDeleteRecord(t), AE_IO_ERROR);
    failing = false;
    close(t);
    t = openOk("staff");
    UNSIGNED32 count = 0;
    ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count), AE_SUCCESS);
    EXPECT_EQ(count, 2u);
}

}  // namespace
