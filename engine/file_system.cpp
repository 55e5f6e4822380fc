#include "engine/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>

namespace engine::fs {

int FileSystem::open(const std::string& path, int flags, mode_t mode) {
    return ::open(path.c_str(), flags, mode);
}
int FileSystem::close(int fd) {
    return ::close(fd);
}
int FileSystem::fsync(int fd) {
    return ::fsync(fd);
}
int FileSystem::ftruncate(int fd, off_t size) {
    return ::ftruncate(fd, size);
}
int FileSystem::fstat(int fd, struct stat& out) {
    return ::fstat(fd, &out);
}
int FileSystem::stat(const std::string& path, struct stat& out) {
    return ::stat(path.c_str(), &out);
}
int FileSystem::lstat(const std::string& path, struct stat& out) {
    return ::lstat(path.c_str(), &out);
}
int FileSystem::access(const std::string& path, int mode) {
    return ::access(path.c_str(), mode);
}
int FileSystem::rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str());
}
int FileSystem::link(const std::string& from, const std::string& to) {
    return ::link(from.c_str(), to.c_str());
}
int FileSystem::unlink(const std::string& path) {
    return ::unlink(path.c_str());
}
int FileSystem::chmod(const std::string& path, mode_t mode) {
    return ::chmod(path.c_str(), mode);
}
int FileSystem::lchown(const std::string& path, uid_t owner, gid_t group) {
    return ::lchown(path.c_str(), owner, group);
}

std::string FileSystem::realPath(const std::string& path) {
    struct Free {
        void operator()(char* p) const { ::free(p); }
    };
    std::unique_ptr<char, Free> real(::realpath(path.c_str(), nullptr));
    return real ? std::string(real.get()) : std::string();
}

std::vector<std::string> FileSystem::list(const std::string& folder) {
    std::vector<std::string> names;
    struct CloseFolder {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    std::unique_ptr<DIR, CloseFolder> dir(::opendir(folder.c_str()));
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    return names;
}

long FileSystem::fileSystemType(const std::string& folder) {
    struct statfs st {};
    if (::statfs(folder.c_str(), &st) != 0) return 0;
    return static_cast<long>(st.f_type);
}

namespace {

FileSystem& posix() {
    static FileSystem real;
    return real;
}

std::atomic<FileSystem*> installed{nullptr};

}  // namespace

FileSystem& current() {
    FileSystem* replacement = installed.load(std::memory_order_acquire);
    return replacement ? *replacement : posix();
}

ScopedFileSystem::ScopedFileSystem(FileSystem& replacement)
    : previous_(installed.exchange(&replacement, std::memory_order_acq_rel)) {}

ScopedFileSystem::~ScopedFileSystem() {
    installed.store(previous_, std::memory_order_release);
}

}  // namespace engine::fs
