#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "process_helpers.h"

using namespace enginetest;

namespace {

class Locks : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        ADSHANDLE t = create("staff", "NAME,Character,10;N,Integer");
        append(t, {"Ann", "1"});
        append(t, {"Bob", "2"});
        append(t, {"Cy", "3"});
        close(t);
    }
    // A child holding its own handle: 'l' locks record 2, 'u' unlocks, 'c' closes, 'x' opens
    // exclusively; each answered with the result's first letter ('0' success, 'f' failure).
    static int holder(Child& c, const std::string& folder) {
        ADSHANDLE connection = 0, t = 0;
        if (AdsConnect(u8(folder.c_str()), &connection)) return 1;
        while (char command = c.receive()) {
            UNSIGNED32 rc = AE_SUCCESS;
            switch (command) {
                case 'o':
                    rc = AdsOpenTable(connection, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                                      &t);
                    break;
                case 'x':
                    rc = AdsOpenTable(connection, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, 1, 1,
                                      ADS_EXCLUSIVE, &t);
                    break;
                case 'l':
                    rc = AdsLockRecord(t, 2);
                    break;
                case 'u':
                    rc = AdsUnlockRecord(t, 2);
                    break;
                case 'c':
                    rc = AdsCloseTable(t);
                    break;
                default:
                    return 2;
            }
            c.send(rc == AE_SUCCESS ? '0' : 'f');
        }
        return 0;
    }
    void expectLocked(UNSIGNED32 rc) {
        EXPECT_EQ(rc, AE_LOCKED);
        EXPECT_NE(lastError().find("locked by another user or handle"), std::string::npos)
            << lastError();
    }
};

TEST_F(Locks, AnotherHandleIsRefusedUntilTheLockGoes) {
    ADSHANDLE a = openOk("staff"), b = openOk("staff");
    ASSERT_EQ(AdsLockRecord(a, 2), AE_SUCCESS);
    ASSERT_EQ(AdsLockRecord(a, 2), AE_SUCCESS);  // a lock held is held again
    expectLocked(AdsLockRecord(b, 2));
    ASSERT_EQ(AdsGotoRecord(b, 2), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(b, u8("NAME"), u8("Bo"), 2), AE_SUCCESS);
    expectLocked(AdsWriteRecord(b));
    ASSERT_EQ(AdsCancelUpdate(b), AE_SUCCESS);
    expectLocked(AdsDeleteRecord(b));
    EXPECT_EQ(AdsLockRecord(b, 3), AE_SUCCESS);  // other rows are free
    // The holder writes its own locked row.
    ASSERT_EQ(AdsGotoRecord(a, 2), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(a, u8("NAME"), u8("Bobby"), 5), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(a), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsUnlockRecord(a, 2), AE_SUCCESS);
    ASSERT_EQ(AdsLockRecord(b, 2), AE_SUCCESS);
    expectLocked(AdsLockRecord(a, 2));
    close(b);  // closing drops its locks
    EXPECT_EQ(AdsLockRecord(a, 2), AE_SUCCESS);
    EXPECT_EQ(AdsLockRecord(a, 3), AE_SUCCESS);
    ASSERT_EQ(AdsUnlockRecord(a, 0), AE_SUCCESS);  // 0: every lock of the handle
}

TEST_F(Locks, ExclusiveOpenTakesTheWholeTable) {
    ADSHANDLE shared = openOk("staff");
    ADSHANDLE h = 0;
    EXPECT_EQ(open("staff", h, ADS_EXCLUSIVE), AE_LOCKED);
    EXPECT_NE(lastError().find("cannot be opened exclusively"), std::string::npos);
    close(shared);
    ADSHANDLE exclusive = openOk("staff", ADS_EXCLUSIVE);
    EXPECT_EQ(open("staff", h), AE_LOCKED);
    EXPECT_NE(lastError().find("opened exclusively by another user or handle"), std::string::npos);
    // An exclusive handle writes without record locks.
    ASSERT_EQ(AdsGotoRecord(exclusive, 1), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(exclusive, u8("N"), u8("10"), 2), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(exclusive), AE_SUCCESS);
    close(exclusive);
    EXPECT_EQ(open("staff", h), AE_SUCCESS);
}

TEST_F(Locks, AnotherProcessIsRefusedUntilItsHolderUnlocksClosesOrDies) {
    ADSHANDLE t = openOk("staff");
    std::string dir = root;
    Child child([&](Child& c) { return holder(c, dir); });
    auto ask = [&](char command) {
        child.send(command);
        return child.receive();
    };
    ASSERT_EQ(ask('o'), '0');
    ASSERT_EQ(ask('l'), '0');
    expectLocked(AdsLockRecord(t, 2));
    ASSERT_EQ(AdsGotoRecord(t, 2), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("N"), u8("20"), 2), AE_SUCCESS);
    expectLocked(AdsWriteRecord(t));
    ASSERT_EQ(AdsCancelUpdate(t), AE_SUCCESS);
    EXPECT_EQ(AdsLockRecord(t, 1), AE_SUCCESS);
    ASSERT_EQ(ask('u'), '0');
    ASSERT_EQ(AdsLockRecord(t, 2), AE_SUCCESS);
    ASSERT_EQ(ask('l'), 'f');  // now the parent holds it
    ASSERT_EQ(AdsUnlockRecord(t, 2), AE_SUCCESS);
    ASSERT_EQ(ask('l'), '0');
    ASSERT_EQ(ask('c'), '0');
    ASSERT_EQ(AdsLockRecord(t, 2), AE_SUCCESS);
    ASSERT_EQ(AdsUnlockRecord(t, 2), AE_SUCCESS);
    ASSERT_EQ(ask('o'), '0');
    ASSERT_EQ(ask('l'), '0');
    expectLocked(AdsLockRecord(t, 2));
    child.kill();
    EXPECT_EQ(afterKill([&] { return AdsLockRecord(t, 2); }), AE_SUCCESS);
}

TEST_F(Locks, AnExclusiveOpenInAnotherProcessRefusesOpensUntilItDies) {
    std::string dir = root;
    Child child([&](Child& c) { return holder(c, dir); });
    child.send('x');
    ASSERT_EQ(child.receive(), '0');
    ADSHANDLE h = 0;
    EXPECT_EQ(open("staff", h), AE_LOCKED);
    child.kill();
    EXPECT_EQ(afterKill([&] { return open("staff", h); }), AE_SUCCESS) << lastError();
}

TEST_F(Locks, TwoProcessesEditingDifferentRowsBothSucceed) {
    std::string dir = root;
    auto editor = [dir](UNSIGNED32 record) {
        return [dir, record](Child& c) {
            ADSHANDLE connection = 0, t = 0;
            if (AdsConnect(u8(dir.c_str()), &connection)) return 1;
            if (AdsOpenTable(connection, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &t))
                return 2;
            c.receive();
            for (int i = 1; i <= 200; ++i) {
                std::string n = std::to_string(i);
                if (AdsGotoRecord(t, record) || AdsLockRecord(t, record) ||
                    AdsSetField(t, u8("N"), u8(n.c_str()), static_cast<UNSIGNED32>(n.size())) ||
                    AdsWriteRecord(t) || AdsUnlockRecord(t, record))
                    return 3;
            }
            return 0;
        };
    };
    Child first(editor(1)), second(editor(3));
    first.send('g');
    second.send('g');
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(second.wait(), 0);
    ADSHANDLE t = openOk("staff");
    ASSERT_EQ(AdsGotoRecord(t, 1), AE_SUCCESS);
    EXPECT_EQ(field(t, "N"), "200");
    ASSERT_EQ(AdsGotoRecord(t, 3), AE_SUCCESS);
    EXPECT_EQ(field(t, "N"), "200");
}

TEST_F(Locks, AnotherProcessesCommitIsSeenAtTheNextNavigation) {
    ADSHANDLE t = openOk("staff");
    ADSHANDLE byName = 0;
    ASSERT_EQ(
        AdsCreateIndex61(t, nullptr, u8("BYNAME"), u8("NAME"), nullptr, nullptr, 0, 512, &byName),
        AE_SUCCESS);
    ASSERT_EQ(AdsGotoTop(byName), AE_SUCCESS);  // the rows after it are read ahead
    UNSIGNED32 count = 0;
    ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count), AE_SUCCESS);
    ASSERT_EQ(count, 3u);
    std::string dir = root;
    Child child([dir](Child& c) {
        ADSHANDLE connection = 0, h = 0;
        if (AdsConnect(u8(dir.c_str()), &connection)) return 1;
        if (AdsOpenTable(connection, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &h))
            return 2;
        if (AdsGotoRecord(h, 2) || AdsSetField(h, u8("NAME"), u8("Bea"), 3) || AdsWriteRecord(h))
            return 3;
        if (AdsAppendRecord(h) || AdsSetField(h, u8("NAME"), u8("Al"), 2) || AdsWriteRecord(h))
            return 4;
        c.send('d');
        return 0;
    });
    ASSERT_EQ(child.receive(), 'd');
    EXPECT_EQ(child.wait(), 0);
    // On a server the news of another session's commit comes from the server a moment after the
    // commit (a notice); the kept count is dropped when it comes.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (onServer() && std::chrono::steady_clock::now() < until &&
           AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count) == AE_SUCCESS && count != 4)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(AdsSkip(byName, 1), AE_SUCCESS);
    EXPECT_EQ(field(t, "NAME"), "Bea");
    ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count), AE_SUCCESS);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(walk(byName, "NAME"), (std::vector<std::string>{"Al", "Ann", "Bea", "Cy"}));
}

}  // namespace
