// The engine's own file operations, behind one small interface. Internal to engine/.
//
// SQLite reaches the disk through its VFS; everything the engine does to files itself (the lock
// file, creating and removing table files, the renames and folder syncs of a change of form, the
// encryption companion, the dictionary's link into place, the checks of what is on disk) goes
// through FileSystem. The calls keep the POSIX forms: 0 or a descriptor on success, -1 with errno
// set on failure. Only the operations the engine uses are here.
//
// The default is the real file system. Tests install a replacement that fails any operation on
// demand, or pretends the folder is on a network file system, with ScopedFileSystem. This is the
// engine's one replaceable process-wide instance besides the handle and table registries; nothing
// but tests installs one, and only while no other thread uses the engine.
#ifndef VELDA_ENGINE_FILE_SYSTEM_H
#define VELDA_ENGINE_FILE_SYSTEM_H

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace engine::fs {

class FileSystem {
  public:
    FileSystem() = default;
    virtual ~FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    virtual int open(const std::string& path, int flags, mode_t mode);
    virtual int close(int fd);
    virtual int fsync(int fd);
    virtual int ftruncate(int fd, off_t size);
    virtual int fstat(int fd, struct stat& out);
    virtual int stat(const std::string& path, struct stat& out);
    virtual int lstat(const std::string& path, struct stat& out);
    virtual int access(const std::string& path, int mode);
    virtual int rename(const std::string& from, const std::string& to);
    virtual int link(const std::string& from, const std::string& to);
    virtual int unlink(const std::string& path);
    virtual int chmod(const std::string& path, mode_t mode);
    virtual int lchown(const std::string& path, uid_t owner, gid_t group);
    // The real path of `path` (links resolved); empty with errno set on failure.
    virtual std::string realPath(const std::string& path);
    // The names in a folder ("." and ".." left out); empty when it cannot be read.
    virtual std::vector<std::string> list(const std::string& folder);
    // The type of the file system a folder is on (statfs's f_type); 0 when it cannot be told.
    virtual long fileSystemType(const std::string& folder);
};

// The file system the engine uses now.
FileSystem& current();

// Installs a replacement for its lifetime and restores the one before at the end.
class ScopedFileSystem {
  public:
    explicit ScopedFileSystem(FileSystem& replacement);
    ~ScopedFileSystem();
    ScopedFileSystem(const ScopedFileSystem&) = delete;
    ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

  private:
    FileSystem* previous_;
};

}  // namespace engine::fs

#endif
