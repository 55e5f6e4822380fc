// Every change the engine makes, failed at each of its file operations in turn: SQLite's reads,
// writes, truncations and syncs through the failing VFS, and the engine's own opens, syncs,
// renames, links and unlinks through a failing file system, all on one count. Each failure must
// be a clean error with a text, and afterwards the table must open, with faults off, holding
// exactly its old or exactly its new content.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "engine/file_system.h"
#include "tests/engine/failing_file_system.h"
#include "tests/engine/failing_vfs.h"
#include "tests/support/engine_test_helpers.h"

namespace {

using testsupport::lastError;
using testsupport::u8;

constexpr const char* kPassword = "FAULT-PW";
constexpr const char* kFields = "NAME,Character,12;N,Integer,4";

// What a table holds as a reader sees it: whether it is there and encrypted, and its rows.
struct Content {
    bool exists = false;
    bool encrypted = false;
    std::vector<std::string> rows;  // "NAME|N" in record order
    bool operator==(const Content&) const = default;
};

std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

UNSIGNED32 setNumber(ADSHANDLE t, int value) {
    const std::string text = std::to_string(value);
    return AdsSetField(t, u8("N"), u8(text.c_str()), static_cast<UNSIGNED32>(text.size()));
}

std::string describe(const Content& c) {
    if (!c.exists) return "no table";
    std::string out = c.encrypted ? "encrypted:" : "plain:";
    for (const std::string& row : c.rows) out += " [" + row + "]";
    return out;
}

class FaultInjection : public ::testing::Test {
  protected:
    // A connection to the folder (or to a dictionary in it) for the length of one call.
    class Connection {
      public:
        explicit Connection(const std::string& path) {
            const bool dictionary =
                path.size() > 4 && path.compare(path.size() - 4, 4, ".add") == 0;
            rc = dictionary ? AdsConnect60(u8(path.c_str()), ADS_LOCAL_SERVER, u8("ADSSYS"),
                                           nullptr, 0, &handle)
                            : AdsConnect(u8(path.c_str()), &handle);
        }
        ~Connection() {
            if (handle) (void)AdsDisconnect(handle);
        }
        Connection(const Connection&) = delete;
        Connection& operator=(const Connection&) = delete;
        ADSHANDLE handle = 0;
        UNSIGNED32 rc = 0;
    };

    static UNSIGNED32 openTable(ADSHANDLE connection, const char* name, ADSHANDLE& t,
                                UNSIGNED32 options = 0) {
        return AdsOpenTable(connection, u8(name), nullptr, ADS_ADT, ADS_ANSI,
                            ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, options, &t);
    }

    // Empties the folder for the next try.
    void emptyFolder() {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder_, ec))
            std::filesystem::remove_all(entry.path(), ec);
    }

    // A fresh folder holding table "t" with three rows, encrypted when asked.
    void makeTable(bool encrypted) {
        emptyFolder();
        Connection c(folder_);
        ASSERT_EQ(c.rc, AE_SUCCESS) << lastError();
        ADSHANDLE t = 0;
        ASSERT_EQ(AdsCreateTable(c.handle, u8("t"), nullptr, ADS_ADT, ADS_ANSI,
                                 ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, u8(kFields), &t),
                  AE_SUCCESS)
            << lastError();
        for (int i = 1; i <= 3; ++i) {
            ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS) << lastError();
            std::string name = "ROW" + std::to_string(i);
            ASSERT_EQ(
                AdsSetField(t, u8("NAME"), u8(name.c_str()), static_cast<UNSIGNED32>(name.size())),
                AE_SUCCESS);
            ASSERT_EQ(setNumber(t, i * 10), AE_SUCCESS) << lastError();
            ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
        }
        if (encrypted) {
            ASSERT_EQ(AdsCloseTable(t), AE_SUCCESS);
            ASSERT_EQ(openTable(c.handle, "t", t, ADS_EXCLUSIVE), AE_SUCCESS) << lastError();
            ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS) << lastError();
            ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << lastError();
        }
        ASSERT_EQ(AdsCloseTable(t), AE_SUCCESS);
    }

    // The table as a new reader finds it, faults off. A table that is there but cannot be read
    // fails the test: that is the mix a failure must never leave.
    Content contentOf(const std::string& connectPath, const char* name = "t") {
        Content out;
        Connection c(connectPath);
        EXPECT_EQ(c.rc, AE_SUCCESS) << lastError();
        ADSHANDLE t = 0;
        UNSIGNED32 rc = openTable(c.handle, name, t);
        if (rc == AE_FILE_NOT_FOUND || rc == AE_NOT_IN_DICTIONARY) return out;
        EXPECT_EQ(rc, AE_SUCCESS) << "the table does not open: " << lastError();
        if (rc != AE_SUCCESS) return out;
        out.exists = true;
        UNSIGNED16 flag = 0;
        EXPECT_EQ(AdsIsTableEncrypted(t, &flag), AE_SUCCESS) << lastError();
        out.encrypted = flag != 0;
        if (out.encrypted) {
            EXPECT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS) << lastError();
        }
        EXPECT_EQ(AdsGotoTop(t), AE_SUCCESS) << lastError();
        for (UNSIGNED16 eof = 0; AdsAtEOF(t, &eof) == AE_SUCCESS && !eof;) {
            UNSIGNED8 text[64];
            UNSIGNED32 len = sizeof text;
            EXPECT_EQ(AdsGetField(t, u8("NAME"), text, &len, ADS_NONE), AE_SUCCESS) << lastError();
            std::string row = trimmed(std::string(reinterpret_cast<char*>(text), len)) + "|";
            len = sizeof text;
            EXPECT_EQ(AdsGetField(t, u8("N"), text, &len, ADS_NONE), AE_SUCCESS) << lastError();
            out.rows.push_back(row + trimmed(std::string(reinterpret_cast<char*>(text), len)));
            if (AdsSkip(t, 1) != AE_SUCCESS) {
                ADD_FAILURE() << "a walk of the table fails: " << lastError();
                break;
            }
        }
        (void)AdsCloseTable(t);
        return out;
    }

    // Runs `change` with the n-th counted file operation failing, for n = 1, 2, ... until a run
    // reaches no fault. `prepare` makes the old state before each run (faults off). After each
    // run: success means the new content; a failure has a text and leaves the old or the new.
    // Answers the number of failure points.
    int everyFailurePoint(const std::function<void()>& prepare,
                          const std::function<UNSIGNED32()>& change, const Content& before,
                          const Content& after, const std::function<Content()>& read = nullptr) {
        auto current = [&] { return read ? read() : contentOf(folder_); };
        int points = 0;
        for (long n = 1; n < 2000; ++n) {
            prepare();
            if (HasFatalFailure()) return points;
            UNSIGNED32 rc;
            bool reached;
            {
                failingvfs::ScopedFailingVfs vfs;
                failingvfs::FailingFileSystem failingFiles;
                engine::fs::ScopedFileSystem files(failingFiles);
                failingvfs::armFaultPoint(n);
                rc = change();
                reached = failingvfs::reached;
                failingvfs::disarmFaultPoint();
            }
            UNSIGNED32 code = 0;
            const std::string text = rc ? lastError(&code) : "";
            // The text reported is the one of the code returned, whatever the clean-up did.
            if (rc) {
                EXPECT_EQ(code, rc) << "failure point " << n << ": " << text;
            }
            Content now = current();
            if (!reached) {
                EXPECT_EQ(rc, AE_SUCCESS) << "without a fault: " << text;
                EXPECT_EQ(now, after) << describe(now);
                return points;
            }
            ++points;
            if (rc == AE_SUCCESS) {
                EXPECT_EQ(now, after)
                    << "failure point " << n << " reported success but left " << describe(now);
            } else {
                EXPECT_FALSE(text.empty()) << "failure point " << n << " gave no text";
                EXPECT_TRUE(now == before || now == after)
                    << "failure point " << n << " (" << rc << " " << text << ") left "
                    << describe(now);
            }
            if (HasFailure()) return points;
        }
        ADD_FAILURE() << "the change never ran to its end";
        return points;
    }

    Content threeRows(bool encrypted = false) const {
        return {true, encrypted, {"ROW1|10", "ROW2|20", "ROW3|30"}};
    }

    testsupport::TempFolder temp_{"velda-faults"};
    const std::string folder_ = temp_.path();
};

// One call on table "t" of the folder, opened with `options` (and the password when asked),
// closed afterwards; the first failure is the answer.
UNSIGNED32 onTable(const std::string& folder, UNSIGNED32 options, bool password,
                   const std::function<UNSIGNED32(ADSHANDLE)>& call) {
    ADSHANDLE connection = 0;
    if (UNSIGNED32 rc = AdsConnect(u8(folder.c_str()), &connection)) return rc;
    ADSHANDLE t = 0;
    UNSIGNED32 rc = AdsOpenTable(connection, u8("t"), nullptr, ADS_ADT, ADS_ANSI,
                                 ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, options, &t);
    if (rc == AE_SUCCESS && password) rc = AdsEnableEncryption(t, u8(kPassword));
    if (rc == AE_SUCCESS) rc = call(t);
    // A failed close still frees the handle; its failure counts when the call succeeded.
    if (t) {
        UNSIGNED32 closed = AdsCloseTable(t);
        if (rc == AE_SUCCESS) rc = closed;
    }
    UNSIGNED32 disconnected = AdsDisconnect(connection);
    return rc ? rc : disconnected;
}

TEST_F(FaultInjection, RecordChangesLeaveTheOldOrTheNewRows) {
    const Content before = threeRows();
    auto prepare = [&] { makeTable(false); };

    Content appended = before;
    appended.rows.push_back("ROW4|40");
    EXPECT_GT(everyFailurePoint(
                  prepare,
                  [&] {
                      return onTable(folder_, 0, false, [](ADSHANDLE t) {
                          if (UNSIGNED32 rc = AdsAppendRecord(t)) return rc;
                          if (UNSIGNED32 rc = AdsSetField(t, u8("NAME"), u8("ROW4"), 4)) return rc;
                          if (UNSIGNED32 rc = setNumber(t, 40)) return rc;
                          return AdsWriteRecord(t);
                      });
                  },
                  before, appended),
              10);

    Content updated = before;
    updated.rows[1] = "CHANGED|21";
    EXPECT_GT(everyFailurePoint(
                  prepare,
                  [&] {
                      return onTable(folder_, 0, false, [](ADSHANDLE t) {
                          if (UNSIGNED32 rc = AdsGotoRecord(t, 2)) return rc;
                          if (UNSIGNED32 rc = AdsSetField(t, u8("NAME"), u8("CHANGED"), 7))
                              return rc;
                          if (UNSIGNED32 rc = setNumber(t, 21)) return rc;
                          return AdsWriteRecord(t);
                      });
                  },
                  before, updated),
              10);

    Content deleted = before;
    deleted.rows.erase(deleted.rows.begin() + 1);
    EXPECT_GT(everyFailurePoint(
                  prepare,
                  [&] {
                      return onTable(folder_, 0, false, [](ADSHANDLE t) {
                          if (UNSIGNED32 rc = AdsGotoRecord(t, 2)) return rc;
                          return AdsDeleteRecord(t);
                      });
                  },
                  before, deleted),
              10);
}

TEST_F(FaultInjection, ACreatedTableIsThereWholeOrNotAtAll) {
    EXPECT_GT(
        everyFailurePoint([&] { emptyFolder(); },
                          [&] {
                              ADSHANDLE connection = 0;
                              if (UNSIGNED32 rc = AdsConnect(u8(folder_.c_str()), &connection))
                                  return rc;
                              ADSHANDLE t = 0;
                              UNSIGNED32 rc = AdsCreateTable(connection, u8("t"), nullptr, ADS_ADT,
                                                             ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                                                             ADS_CHECKRIGHTS, 0, u8(kFields), &t);
                              if (rc == AE_SUCCESS) rc = AdsCloseTable(t);
                              (void)AdsDisconnect(connection);
                              return rc;
                          },
                          Content{}, Content{true, false, {}}),
        5);
}

TEST_F(FaultInjection, EncryptionAndDecryptionLeaveAWholeTable) {
    const Content plain = threeRows(false), encrypted = threeRows(true);
    EXPECT_GT(everyFailurePoint([&] { makeTable(false); },
                                [&] {
                                    return onTable(folder_, ADS_EXCLUSIVE, true,
                                                   [](ADSHANDLE t) { return AdsEncryptTable(t); });
                                },
                                plain, encrypted),
              20);
    EXPECT_GT(everyFailurePoint([&] { makeTable(true); },
                                [&] {
                                    return onTable(folder_, ADS_EXCLUSIVE, true,
                                                   [](ADSHANDLE t) { return AdsDecryptTable(t); });
                                },
                                encrypted, plain),
              20);
}

// The rename that makes a table encrypted fails, and the table file is spoilt meanwhile, so the
// table cannot be opened again either: the answer is the failed encryption's code with its own
// text, and the text tells the second failure too. Before, the reopening's error replaced the
// text, which then named another failure than the code answered.
TEST_F(FaultInjection, AFailedEncryptionThatCannotReopenTellsBothFailures) {
    makeTable(false);
    class RenameFailsAndSpoils : public engine::fs::FileSystem {
      public:
        explicit RenameFailsAndSpoils(std::string table) : table_(std::move(table)) {}
        int rename(const std::string&, const std::string&) override {
            std::ofstream(table_, std::ios::trunc) << "not a table any more";
            errno = EIO;
            return -1;
        }

      private:
        std::string table_;
    } spoiling(folder_ + "/t.adt");
    Connection c(folder_);
    ASSERT_EQ(c.rc, AE_SUCCESS) << lastError();
    ADSHANDLE t = 0;
    ASSERT_EQ(openTable(c.handle, "t", t, ADS_EXCLUSIVE), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS) << lastError();
    UNSIGNED32 rc;
    {
        engine::fs::ScopedFileSystem files(spoiling);
        rc = AdsEncryptTable(t);
    }
    UNSIGNED32 code = 0;
    const std::string text = lastError(&code);
    EXPECT_EQ(rc, AE_IO_ERROR);
    EXPECT_EQ(code, rc);
    const std::string failed = "Error 6009: Could not encrypt the table " + folder_ + "/t.adt: ";
    EXPECT_EQ(text.rfind(failed, 0), 0u) << text;
    EXPECT_NE(text.find(". Opening it again failed too: "), std::string::npos) << text;
    (void)AdsCloseTable(t);
}

TEST_F(FaultInjection, DictionaryChangesAreWholeOrNone) {
    const std::string dictionary = folder_ + "/company.add";
    auto prepare = [&] {
        makeTable(false);
        ADSHANDLE admin = 0;
        ASSERT_EQ(AdsDDCreate(u8(dictionary.c_str()), 0, u8("faults"), &admin), AE_SUCCESS)
            << lastError();
        (void)AdsDisconnect(admin);
    };
    auto read = [&] {
        // The dictionary must still open; the table is there by its name or not at all.
        return contentOf(dictionary, "T");
    };
    EXPECT_GT(everyFailurePoint(
                  prepare,
                  [&] {
                      ADSHANDLE admin = 0;
                      if (UNSIGNED32 rc = AdsConnect60(u8(dictionary.c_str()), ADS_LOCAL_SERVER,
                                                       u8("ADSSYS"), nullptr, 0, &admin))
                          return rc;
                      UNSIGNED32 rc = AdsDDAddTable(admin, u8("T"), u8("t.adt"), ADS_ADT, ADS_ANSI,
                                                    nullptr, nullptr);
                      UNSIGNED32 disconnected = AdsDisconnect(admin);
                      return rc ? rc : disconnected;
                  },
                  Content{}, threeRows(), read),
              5);
}

}  // namespace
