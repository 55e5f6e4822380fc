// A SQLite VFS over the default one whose operations fail on demand, as a full or broken disk.
// Installed as the default VFS for the lifetime of a ScopedFailingVfs: only databases opened
// after that go through it.
//
// Two ways to fail: `failing` makes every write fail until it is cleared; a fault point
// (armFaultPoint(n)) makes the n-th counted operation fail, once. Opens, deletions, reads,
// writes, truncations, syncs and shared-memory mappings are counted here;
// tests/engine/failing_file_system.h counts the engine's own file operations on the same count, so
// that one loop over n reaches every failure point of a call.
#ifndef VELDA_TESTS_ENGINE_FAILING_VFS_H
#define VELDA_TESTS_ENGINE_FAILING_VFS_H

#include <sqlite3.h>

#include <atomic>
#include <cstring>

namespace failingvfs {

inline std::atomic<bool> failing{false};

// The fault point: operations counted since arming, the one that fails (0: none), and whether it
// was reached.
inline std::atomic<long> counted{0};
inline std::atomic<long> failAt{0};
inline std::atomic<bool> reached{false};

inline void armFaultPoint(long n) {
    counted = 0;
    reached = false;
    failAt = n;
}
inline void disarmFaultPoint() {
    failAt = 0;
}
// Counts one operation; true when it is the one to fail.
inline bool faultHere() {
    if (failAt == 0) return false;
    if (++counted != failAt) return false;
    reached = true;
    return true;
}
inline sqlite3_vfs* base = nullptr;
inline sqlite3_io_methods methods;
inline const sqlite3_io_methods* baseMethods = nullptr;

struct FailingFile {
    sqlite3_file file;
    sqlite3_file* real;
};

inline sqlite3_file* realOf(sqlite3_file* f) {
    return reinterpret_cast<FailingFile*>(f)->real;
}

inline int failingWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
    if (failing || faultHere()) return SQLITE_IOERR_WRITE;
    return realOf(f)->pMethods->xWrite(realOf(f), data, amount, offset);
}

inline int openFile(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* wrapper = reinterpret_cast<FailingFile*>(file);
    if (faultHere()) {
        wrapper->real = nullptr;
        file->pMethods = nullptr;
        return SQLITE_CANTOPEN;
    }
    wrapper->real = static_cast<sqlite3_file*>(sqlite3_malloc(base->szOsFile));
    std::memset(wrapper->real, 0, static_cast<size_t>(base->szOsFile));
    int rc = base->xOpen(base, name, wrapper->real, flags, outFlags);
    if (rc != SQLITE_OK || !wrapper->real->pMethods) {
        sqlite3_free(wrapper->real);
        wrapper->real = nullptr;
        file->pMethods = nullptr;
        return rc;
    }
    baseMethods = wrapper->real->pMethods;
    methods = *baseMethods;
    methods.xWrite = failingWrite;
    methods.xClose = [](sqlite3_file* f) {
        int rc = realOf(f)->pMethods->xClose(realOf(f));
        sqlite3_free(realOf(f));
        return rc;
    };
    methods.xRead = [](sqlite3_file* f, void* d, int n, sqlite3_int64 o) {
        if (faultHere()) return SQLITE_IOERR_READ;
        return realOf(f)->pMethods->xRead(realOf(f), d, n, o);
    };
    methods.xTruncate = [](sqlite3_file* f, sqlite3_int64 s) {
        if (faultHere()) return SQLITE_IOERR_TRUNCATE;
        return realOf(f)->pMethods->xTruncate(realOf(f), s);
    };
    methods.xSync = [](sqlite3_file* f, int fl) {
        if (faultHere()) return SQLITE_IOERR_FSYNC;
        return realOf(f)->pMethods->xSync(realOf(f), fl);
    };
    methods.xFileSize = [](sqlite3_file* f, sqlite3_int64* s) {
        return realOf(f)->pMethods->xFileSize(realOf(f), s);
    };
    methods.xLock = [](sqlite3_file* f, int l) { return realOf(f)->pMethods->xLock(realOf(f), l); };
    methods.xUnlock = [](sqlite3_file* f, int l) {
        return realOf(f)->pMethods->xUnlock(realOf(f), l);
    };
    methods.xCheckReservedLock = [](sqlite3_file* f, int* r) {
        return realOf(f)->pMethods->xCheckReservedLock(realOf(f), r);
    };
    methods.xFileControl = [](sqlite3_file* f, int op, void* a) {
        return realOf(f)->pMethods->xFileControl(realOf(f), op, a);
    };
    methods.xSectorSize = [](sqlite3_file* f) {
        return realOf(f)->pMethods->xSectorSize(realOf(f));
    };
    methods.xDeviceCharacteristics = [](sqlite3_file* f) {
        return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f));
    };
    methods.xShmMap = [](sqlite3_file* f, int i, int s, int e, void volatile** p) {
        if (faultHere()) return SQLITE_IOERR_SHMMAP;
        return realOf(f)->pMethods->xShmMap(realOf(f), i, s, e, p);
    };
    methods.xShmLock = [](sqlite3_file* f, int o, int n, int fl) {
        return realOf(f)->pMethods->xShmLock(realOf(f), o, n, fl);
    };
    methods.xShmBarrier = [](sqlite3_file* f) { realOf(f)->pMethods->xShmBarrier(realOf(f)); };
    methods.xShmUnmap = [](sqlite3_file* f, int d) {
        return realOf(f)->pMethods->xShmUnmap(realOf(f), d);
    };
    methods.iVersion = 2;
    methods.xFetch = nullptr;
    methods.xUnfetch = nullptr;
    file->pMethods = &methods;
    return SQLITE_OK;
}

inline sqlite3_vfs failingVfs;

class ScopedFailingVfs {
  public:
    ScopedFailingVfs() {
        base = sqlite3_vfs_find(nullptr);
        failingVfs = *base;
        failingVfs.zName = "velda-failing";
        failingVfs.szOsFile = sizeof(FailingFile);
        failingVfs.xOpen = openFile;
        failingVfs.xDelete = [](sqlite3_vfs*, const char* name, int syncDir) {
            if (faultHere()) return SQLITE_IOERR_DELETE;
            return base->xDelete(base, name, syncDir);
        };
        failingVfs.pNext = nullptr;
        registered_ = sqlite3_vfs_register(&failingVfs, 1) == SQLITE_OK;
    }
    ~ScopedFailingVfs() {
        failing = false;
        disarmFaultPoint();
        sqlite3_vfs_register(base, 1);
        sqlite3_vfs_unregister(&failingVfs);
    }
    ScopedFailingVfs(const ScopedFailingVfs&) = delete;
    ScopedFailingVfs& operator=(const ScopedFailingVfs&) = delete;
    bool registered() const { return registered_; }
    void setFailing(bool value) { failing = value; }

  private:
    bool registered_ = false;
};

}  // namespace failingvfs

#endif
