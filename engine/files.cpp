#include "engine/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "engine/file_system.h"
#include "engine/last_error.h"
#include "engine/sqlite/encryption.h"
#include "engine/sqlite/locks.h"

namespace engine::files {

int openPrivate(const std::string& path, int flags, struct stat* status) {
    fs::FileSystem& disk = fs::current();
    int fd = disk.open(path, flags | O_NOFOLLOW | O_CLOEXEC, kPrivateMode);
    if (fd < 0) return -1;
    struct stat st {};
    if (disk.fstat(fd, st) != 0 || !S_ISREG(st.st_mode)) {
        disk.close(fd);
        errno = ELOOP;
        return -1;
    }
    if (status) *status = st;
    return fd;
}

bool createEmpty(const std::string& path) {
    fs::FileSystem& disk = fs::current();
    int fd = disk.open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateMode);
    if (fd < 0) return false;
    disk.close(fd);
    return true;
}

bool OwnFiles::has(const std::string& path) const {
    return std::find(present_.begin(), present_.end(), path) != present_.end();
}

UNSIGNED32 refuseLinks(const std::string& tableFile, OwnFiles* found,
                       const struct stat* tableStatus) {
    // Named files only: listing the folder at every open would cost more than the open.
    std::vector<std::string> own;
    for (const std::string& base :
         {tableFile, encryption::companionOf(tableFile), encryption::newCompanionOf(tableFile),
          encryption::newTableOf(tableFile)})
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) own.push_back(base + suffix);
    own.push_back(lockFileOf(tableFile));
    for (const std::string& part : own) {
        struct stat st {};
        if (part == tableFile && tableStatus && tableStatus->st_mode != 0)
            st = *tableStatus;
        else if (fs::current().lstat(part, st) != 0)
            continue;
        if (!S_ISREG(st.st_mode))
            return fail(AE_IO_ERROR,
                        part +
                            " is not a regular file (a symbolic link, a folder or a device); "
                            "the table's files are never used through one. Remove it and try "
                            "again.");
        if (found) found->add(part);
    }
    return AE_SUCCESS;
}

bool folderWritable(const std::string& folder) {
    return fs::current().access(folder.empty() ? "." : folder, W_OK | X_OK) == 0;
}

std::string immutableUri(const std::string& path) {
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        } else {
            uri.push_back(static_cast<char>(c));
        }
    }
    return uri + "?immutable=1";
}

std::string networkFileSystem(const std::string& folder) {
    auto type =
        static_cast<unsigned long>(fs::current().fileSystemType(folder.empty() ? "." : folder)) &
        0xFFFFFFFFul;
    switch (type) {
        case 0x6969ul:
            return "NFS";
        case 0x517Bul:
        case 0xFF534D42ul:
        case 0xFE534D42ul:
            return "SMB/CIFS";
        case 0x564Cul:
            return "NetWare";
        case 0x5346414Ful:
            return "AFS";
        case 0x73757245ul:
            return "Coda";
        case 0x01021997ul:
            return "9P";
        case 0x00C36400ul:
            return "Ceph";
        case 0x0BD00BD0ul:
            return "Lustre";
        default:
            return "";
    }
}

std::string realFile(const std::string& path, struct stat* status) {
    struct stat st {};
    fs::FileSystem& disk = fs::current();
    if (status) *status = {};
    if (disk.lstat(path, st) != 0) return path;
    if (!S_ISLNK(st.st_mode)) {
        if (status) *status = st;
        return path;
    }
    std::string real = disk.realPath(path);
    return real.empty() ? path : real;
}

bool keepModeAndOwner(const std::string& from, const std::string& to) {
    struct stat st {};
    fs::FileSystem& disk = fs::current();
    if (disk.stat(from, st) != 0) return false;
    if (disk.chmod(to, st.st_mode & 07777) != 0) return false;
    // Only a privileged process may give a file away; others keep their own files as they are.
    if (disk.lchown(to, st.st_uid, st.st_gid) != 0 && errno != EPERM) return false;
    return true;
}

}  // namespace engine::files
