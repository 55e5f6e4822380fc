#include "engine/sqlite/locks.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/file_system.h"
#include "engine/files.h"
#include "engine/last_error.h"

namespace engine {

namespace {

constexpr int64_t kTableByte = 0x7FFFFFFF;
constexpr int64_t kRecordBase = int64_t{1} << 33;
constexpr size_t kCounterPage = 4096;

int openLockFile(const std::string& tableFile, struct stat* status = nullptr) {
    return files::openPrivate(lockFileOf(tableFile), O_RDWR | O_CREAT, status);
}

}  // namespace

std::string lockFileOf(const std::string& tableFile) {
    return tableFile + ".lck";
}

LockFile::~LockFile() {
    if (fd_ >= 0) fs::current().close(fd_);
}

UNSIGNED32 LockFile::open(const std::string& tableFile, int spare) {
    fd_ = spare >= 0 ? spare : openLockFile(tableFile);
    if (fd_ < 0 && errno == ELOOP) {
        unsafe_ = true;
        return fail(AE_IO_ERROR, "The lock file " + lockFileOf(tableFile) +
                                     " is not a regular file (a symbolic link, a folder or a "
                                     "device); it is never written through. Remove it and try "
                                     "again.");
    }
    if (fd_ < 0)
        return fail(AE_IO_ERROR, "Could not open the lock file " + lockFileOf(tableFile) + ": " +
                                     std::strerror(errno) + ".");
    return AE_SUCCESS;
}

bool LockFile::set(int64_t offset, short type) {
    if (fd_ < 0) return true;
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    return ::fcntl(fd_, F_OFD_SETLK, &lock) == 0;
}

bool LockFile::lockTableShared() {
    return set(kTableByte, F_RDLCK);
}
bool LockFile::lockTableExclusive() {
    return set(kTableByte, F_WRLCK);
}
void LockFile::unlockTable() {
    set(kTableByte, F_UNLCK);
}
bool LockFile::lockRecord(uint32_t record) {
    return set(kRecordBase + record, F_WRLCK);
}
void LockFile::unlockRecord(uint32_t record) {
    set(kRecordBase + record, F_UNLCK);
}

bool LockFile::recordLockedElsewhere(uint32_t record) const {
    if (fd_ < 0) return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kRecordBase + record;
    lock.l_len = 1;
    if (::fcntl(fd_, F_OFD_GETLK, &lock) != 0) return false;
    return lock.l_type != F_UNLCK;
}

LockFileCounter::~LockFileCounter() {
    if (map_) ::munmap(map_, kCounterPage);
    if (spare_ >= 0) fs::current().close(spare_);
}

int LockFileCounter::takeSpare() {
    return std::exchange(spare_, -1);
}

void LockFileCounter::open(const std::string& tableFile) {
    struct stat st {};
    int fd = openLockFile(tableFile, &st);
    if (fd < 0) return;
    fs::FileSystem& disk = fs::current();
    if (st.st_size < static_cast<off_t>(kCounterPage) && disk.ftruncate(fd, kCounterPage) != 0) {
        disk.close(fd);
        return;
    }
    // Populated at once: the page is read at the first move, and a fault costs more than this.
    void* map =
        ::mmap(nullptr, kCounterPage, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (map == MAP_FAILED) {
        disk.close(fd);
        return;
    }
    map_ = map;
    spare_ = fd;
}

uint64_t LockFileCounter::value() const {
    if (!map_) return local_;
    return std::atomic_ref<uint64_t>(*static_cast<uint64_t*>(map_)).load(std::memory_order_acquire);
}

void LockFileCounter::bump() {
    ++local_;
    if (map_)
        std::atomic_ref<uint64_t>(*static_cast<uint64_t*>(map_))
            .fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace engine
