// One handle's locks on the records of its table and on the whole table. Two handles exclude
// each other as two processes do, and a lock dies with its handle and with the process that
// holds it. Each storage provides its own (Storage::openLocks; a folder's: locks.h).
// Internal to engine/.
#ifndef VELDA_ENGINE_HANDLE_LOCKS_H
#define VELDA_ENGINE_HANDLE_LOCKS_H

#include <cstdint>

namespace engine {

class HandleLocks {
  public:
    virtual ~HandleLocks() = default;
    // The whole table: shared by every open handle, exclusive for an exclusive open. False when
    // another handle or process holds it the other way.
    virtual bool lockTableShared() = 0;
    virtual bool lockTableExclusive() = 0;
    // A record; false when another handle or process holds it.
    virtual bool lockRecord(uint32_t record) = 0;
    virtual void unlockRecord(uint32_t record) = 0;
};

// The locks of a handle that takes none (a statement's static rows, a table where no lock can
// be kept): every lock is granted.
class NoLocks final : public HandleLocks {
  public:
    bool lockTableShared() override { return true; }
    bool lockTableExclusive() override { return true; }
    bool lockRecord(uint32_t) override { return true; }
    void unlockRecord(uint32_t) override {}
};

}  // namespace engine

#endif
