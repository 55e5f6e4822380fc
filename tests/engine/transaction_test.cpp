#include <gtest/gtest.h>

#include <memory>

#include "engine_fixture.h"
#include "failing_vfs.h"
#include "process_helpers.h"

using namespace enginetest;

namespace {

// A child that cannot go on tells the parent why before it exits.
int giveUp(Child& self) {
    std::string why = "e" + lastError() + "\n";
    self.send(why.data(), why.size());
    return 1;
}

class Transactions : public EngineTest {
  protected:
    UNSIGNED32 count(ADSHANDLE h) {
        UNSIGNED32 n = 0;
        EXPECT_EQ(AdsGetRecordCount(h, ADS_IGNOREFILTERS | ADS_REFRESHCOUNT, &n), AE_SUCCESS)
            << lastError();
        return n;
    }
    bool inTransaction(ADSHANDLE c) {
        UNSIGNED16 v = 9;
        EXPECT_EQ(AdsInTransaction(c, &v), AE_SUCCESS) << lastError();
        return v;
    }
};

TEST_F(Transactions, CommitKeepsAndRollbackUndoesAppendsEditsAndDeletes) {
    ADSHANDLE t = create("staff", "NAME,Character,10;N,Integer");
    append(t, {"Ann", "1"});
    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS) << lastError();
    EXPECT_TRUE(inTransaction(connection));
    append(t, {"Bob", "2"});
    ASSERT_EQ(AdsGotoRecord(t, 1), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Anna"), 4), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    // Another handle of the same connection sees the pending rows.
    ADSHANDLE other = openOk("staff");
    EXPECT_EQ(walk(other, "NAME"), (std::vector<std::string>{"Anna", "Bob"}));
    ASSERT_EQ(AdsRollbackTransaction(connection), AE_SUCCESS) << lastError();
    EXPECT_FALSE(inTransaction(connection));
    EXPECT_EQ(walk(t, "NAME"), (std::vector<std::string>{"Ann"}));
    EXPECT_EQ(walk(other, "NAME"), (std::vector<std::string>{"Ann"}));

    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS);
    append(t, {"Cid", "3"});
    ASSERT_EQ(AdsGotoRecord(t, 1), AE_SUCCESS);
    ASSERT_EQ(AdsDeleteRecord(t), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsCommitTransaction(connection), AE_SUCCESS) << lastError();
    close(t);
    close(other);
    t = openOk("staff");
    EXPECT_EQ(walk(t, "NAME"), (std::vector<std::string>{"Cid"}));
}

TEST_F(Transactions, AFailedWriteUndoesOnlyItselfAndMisuseIsRefusedWithItsText) {
    ADSHANDLE t = create("staff", "NAME,Character,10");
    index(t, "BYNAME", "NAME", ADS_UNIQUE);
    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS);
    append(t, {"Ann"});
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Ann"), 3), AE_SUCCESS);
    EXPECT_EQ(AdsWriteRecord(t), AE_DUPLICATE_KEY);
    ASSERT_EQ(AdsCancelUpdate(t), AE_SUCCESS);
    append(t, {"Bob"});
    EXPECT_EQ(count(t), 2u);

    UNSIGNED32 code = 0;
    EXPECT_EQ(AdsBeginTransaction(connection), AE_TRANSACTION_OPEN);
    EXPECT_EQ(lastError(&code), "Error 6021: A transaction is open already on the connection to " +
                                    root + "; commit or roll it back first.");
    ADSHANDLE tag = 0;
    EXPECT_EQ(AdsCreateIndex61(t, nullptr, u8("N2"), u8("NAME"), nullptr, nullptr, 0, 512, &tag),
              AE_LOCKED);
    const std::string inTransaction = "Error 5035: The table " + path("staff.adt") +
                                      " is in an open transaction; it cannot be changed outside "
                                      "it until the transaction is committed or rolled back.";
    EXPECT_EQ(lastError(), inTransaction);

    // Another connection of this process cannot write the table until the transaction ends. (On
    // a server two connections are two sessions, which wait for each other as two PCs do.)
    if (onServer()) {
        ASSERT_EQ(AdsCommitTransaction(connection), AE_SUCCESS) << lastError();
        EXPECT_EQ(count(t), 2u);
        return;
    }
    ADSHANDLE second = 0;
    ASSERT_EQ(AdsConnect(u8(root.c_str()), &second), AE_SUCCESS);
    ADSHANDLE elsewhere = 0;
    ASSERT_EQ(AdsOpenTable(second, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, 0, &elsewhere),
              AE_SUCCESS);
    ASSERT_EQ(AdsAppendRecord(elsewhere), AE_SUCCESS);
    EXPECT_EQ(AdsWriteRecord(elsewhere), AE_LOCKED);
    EXPECT_EQ(lastError(), inTransaction + " The change is still pending.");
    ASSERT_EQ(AdsCancelUpdate(elsewhere), AE_SUCCESS);
    // Nor in a transaction of its own.
    ASSERT_EQ(AdsBeginTransaction(second), AE_SUCCESS);
    EXPECT_EQ(AdsGotoTop(elsewhere), AE_LOCKED);
    EXPECT_EQ(lastError(), "Error 5035: The table " + path("staff.adt") +
                               " is in a transaction of another connection of this program; try "
                               "again when it ends.");
    ASSERT_EQ(AdsRollbackTransaction(second), AE_SUCCESS);

    ASSERT_EQ(AdsCommitTransaction(connection), AE_SUCCESS) << lastError();
    EXPECT_EQ(count(t), 2u);
    EXPECT_EQ(AdsCommitTransaction(connection), AE_NO_TRANSACTION);
    EXPECT_EQ(lastError(), "Error 6020: No transaction is open on the connection to " + root + ".");
    EXPECT_EQ(AdsRollbackTransaction(connection), AE_NO_TRANSACTION);
    EXPECT_EQ(AdsInTransaction(connection, nullptr), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsBeginTransaction(0), AE_INVALID_CONNECTION);

    // Now the other connection writes; disconnecting it in a transaction rolls back.
    ASSERT_EQ(AdsBeginTransaction(second), AE_SUCCESS);
    append(elsewhere, {"Cid"});
    ASSERT_EQ(AdsDisconnect(second), AE_SUCCESS);
    EXPECT_EQ(walk(t, "NAME"), (std::vector<std::string>{"Ann", "Bob"}));
}

TEST_F(Transactions, AKilledWriterLeavesTheTableAsItWas) {
    ADSHANDLE t = create("staff", "NAME,Character,10;N,Integer");
    index(t, "BYN", "N", ADS_UNIQUE);
    append(t, {"Ann", "0"});
    close(t);
    std::string where = root;
    Child child([where](Child& self) {
        ADSHANDLE c = 0, h = 0;
        if (AdsConnect(u8(where.c_str()), &c) ||
            AdsOpenTable(c, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                         ADS_CHECKRIGHTS, 0, &h) ||
            AdsBeginTransaction(c))
            return giveUp(self);
        for (int i = 1; i <= 3000; ++i) {
            std::string n = std::to_string(i);
            if (AdsAppendRecord(h) || AdsSetField(h, u8("N"), u8(n.c_str()), n.size()) ||
                AdsWriteRecord(h))
                return giveUp(self);
            if (i == 2000) self.send('w');
        }
        self.receive();
        return 0;
    });
    ASSERT_EQ(child.receive(), 'w') << child.receiveLine();
    child.kill();
    t = openOk("staff");
    EXPECT_EQ(count(t), 1u);
    // A retry of the same rows is not refused by the unique tag.
    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS);
    for (int i = 1; i <= 20; ++i) append(t, {"", std::to_string(i)});
    ASSERT_EQ(AdsCommitTransaction(connection), AE_SUCCESS) << lastError();
    EXPECT_EQ(count(t), 21u);
}

TEST_F(Transactions, AReadOnlyHandleReadsOneSnapshotUntilTheTransactionEnds) {
    ADSHANDLE t = create("staff", "NAME,Character,10");
    append(t, {"Ann"});
    close(t);
    ADSHANDLE reader = openOk("staff", ADS_READONLY);
    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS);
    EXPECT_EQ(count(reader), 1u);
    std::string where = root;
    Child writer([where](Child&) {
        ADSHANDLE c = 0, h = 0;
        if (AdsConnect(u8(where.c_str()), &c) ||
            AdsOpenTable(c, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                         ADS_CHECKRIGHTS, 0, &h) ||
            AdsAppendRecord(h) || AdsSetField(h, u8("NAME"), u8("Bob"), 3) || AdsWriteRecord(h))
            return 1;
        return 0;
    });
    ASSERT_EQ(writer.wait(), 0);
    EXPECT_EQ(walk(reader, "NAME"), (std::vector<std::string>{"Ann"}));
    EXPECT_EQ(count(reader), 1u);
    ASSERT_EQ(AdsRollbackTransaction(connection), AE_SUCCESS);
    EXPECT_EQ(walk(reader, "NAME"), (std::vector<std::string>{"Ann", "Bob"}));
}

class TransactionsOnAFailingDisk : public Transactions {
  protected:
    void SetUp() override {
        vfs_ = std::make_unique<failingvfs::ScopedFailingVfs>();
        ASSERT_TRUE(vfs_->registered());
        Transactions::SetUp();
    }
    void TearDown() override {
        failingvfs::failing = false;
        Transactions::TearDown();
        vfs_.reset();
    }
    std::unique_ptr<failingvfs::ScopedFailingVfs> vfs_;
};

TEST_F(TransactionsOnAFailingDisk, AFailedCommitKeepsNothingOfTheTransaction) {
    FOLDER_ONLY();
    ADSHANDLE t = create("staff", "NAME,Character,200");
    append(t, {"Ann"});
    ASSERT_EQ(AdsBeginTransaction(connection), AE_SUCCESS);
    // Enough rows that some pages reach the disk before the commit.
    for (int i = 0; i < 3000; ++i) append(t, {std::string(150, 'x') + std::to_string(i)});
    failingvfs::failing = true;
    EXPECT_EQ(AdsCommitTransaction(connection), AE_IO_ERROR);
    UNSIGNED32 code = 0;
    std::string text = lastError(&code);
    EXPECT_NE(text.find("Could not commit the transaction on the table " + path("staff.adt")),
              std::string::npos)
        << text;
    failingvfs::failing = false;
    EXPECT_FALSE(inTransaction(connection));
    close(t);
    t = openOk("staff");
    EXPECT_EQ(walk(t, "NAME"), (std::vector<std::string>{"Ann"}));
}

}  // namespace
