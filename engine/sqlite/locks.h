// Record and table locks, and the change counter that tells other handles a table changed.
//
// Both live in a lock file beside the table ("<table file>.lck"), never in the SQLite files:
// closing any descriptor of those would drop this process's SQLite locks. Locks are Linux
// open-file-description locks, so they belong to the descriptor of one handle: two handles in
// one process exclude each other as two processes do, and a lock dies with its descriptor
// (closing the handle, or the process ending in any way). Internal to engine/.
#ifndef VELDA_ENGINE_LOCKS_H
#define VELDA_ENGINE_LOCKS_H

#include <cstdint>
#include <string>

#include "engine/ace.h"
#include "engine/handle_locks.h"
#include "engine/storage.h"

namespace engine {

std::string lockFileOf(const std::string& tableFile);

// One handle's descriptor of the lock file.
class LockFile final : public HandleLocks {
  public:
    LockFile() = default;
    ~LockFile() override;
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Opens (creating, private) the lock file; AE_IO_ERROR naming it on failure. A lock file
    // that is a link or not a regular file is refused and marked unsafe. `spare`, when not -1,
    // is a descriptor of the lock file that holds no lock (LockFileCounter::takeSpare), taken
    // instead of opening the file again.
    [[nodiscard]] UNSIGNED32 open(const std::string& tableFile, int spare = -1);
    bool isOpen() const { return fd_ >= 0; }
    // Whether open refused the file as a link or not a regular file (never to be tolerated,
    // unlike a read-only folder where no lock file can be made).
    bool unsafe() const { return unsafe_; }

    // The whole-table byte: shared by every open handle, exclusive for an exclusive open.
    bool lockTableShared() override;
    bool lockTableExclusive() override;
    void unlockTable();
    // A record's byte; false when another handle or process holds it.
    bool lockRecord(uint32_t record) override;
    void unlockRecord(uint32_t record) override;
    // Whether another handle or process holds the record (this descriptor's own lock does not
    // count).
    bool recordLockedElsewhere(uint32_t record) const;

  private:
    bool set(int64_t offset, short type);
    int fd_ = -1;
    bool unsafe_ = false;
};

// The change counter of a folder table (storage.h): 64 bits in the lock file, shared by every
// process that has the table open.
class LockFileCounter final : public ChangeCounter {
  public:
    LockFileCounter() = default;
    ~LockFileCounter() override;
    LockFileCounter(const LockFileCounter&) = delete;
    LockFileCounter& operator=(const LockFileCounter&) = delete;

    // Maps the counter; without a lock file (a read-only folder) the counter is this process's.
    void open(const std::string& tableFile);
    uint64_t value() const override;
    void bump() override;
    // The descriptor the counter was mapped through, once, for the table's first handle to take
    // as its own (LockFile::open): a mapping needs no open descriptor, and a fresh one holds no
    // lock. -1 once taken or without a lock file.
    int takeSpare();

  private:
    int spare_ = -1;
    void* map_ = nullptr;
    uint64_t local_ = 0;
};

}  // namespace engine

#endif
