// The engine's own file operations failing on demand: a FileSystem that counts its changing
// operations (open, fsync, ftruncate, rename, link, unlink, chmod, lchown) on the fault point of
// the failing VFS and fails the chosen one with EIO. Queries (stat, access, listing) never fail.
#ifndef VELDA_TESTS_ENGINE_FAILING_FILE_SYSTEM_H
#define VELDA_TESTS_ENGINE_FAILING_FILE_SYSTEM_H

#include <cerrno>
#include <string>

#include "engine/file_system.h"
#include "failing_vfs.h"

namespace failingvfs {

class FailingFileSystem : public engine::fs::FileSystem {
  public:
    int open(const std::string& path, int flags, mode_t mode) override {
        return refused() ? -1 : FileSystem::open(path, flags, mode);
    }
    int fsync(int fd) override { return refused() ? -1 : FileSystem::fsync(fd); }
    int ftruncate(int fd, off_t size) override {
        return refused() ? -1 : FileSystem::ftruncate(fd, size);
    }
    int rename(const std::string& from, const std::string& to) override {
        return refused() ? -1 : FileSystem::rename(from, to);
    }
    int link(const std::string& from, const std::string& to) override {
        return refused() ? -1 : FileSystem::link(from, to);
    }
    int unlink(const std::string& path) override {
        return refused() ? -1 : FileSystem::unlink(path);
    }
    int chmod(const std::string& path, mode_t mode) override {
        return refused() ? -1 : FileSystem::chmod(path, mode);
    }
    int lchown(const std::string& path, uid_t owner, gid_t group) override {
        return refused() ? -1 : FileSystem::lchown(path, owner, group);
    }

  private:
    static bool refused() {
        if (!faultHere()) return false;
        errno = EIO;
        return true;
    }
};

}  // namespace failingvfs

#endif
