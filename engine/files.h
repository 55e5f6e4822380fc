// The engine's own files on disk: created private, never written through a link. Internal to
// engine/.
//
// Payroll data must not be readable by everyone: every file the engine creates (table files and
// through them SQLite's -wal and -shm, which take the table file's mode, companions, lock files,
// dictionaries) is created with mode 0660 less what the umask removes. A file the engine creates
// is created exclusively and without following links, and a file it opens outside SQLite (the
// lock file) is opened without following links and must be a regular file: a link planted where
// a table's file would be is refused, never written through. A table file that is itself a
// symbolic link is used through its real path, so its lock file, companions and the files of a
// change of form sit beside the real file and an encryption replaces the real file's contents.
#ifndef VELDA_ENGINE_FILES_H
#define VELDA_ENGINE_FILES_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "engine/ace.h"

namespace engine::files {

constexpr mode_t kPrivateMode = 0660;

// The longest table file name: a file name has at most 255 bytes, and the longest file the
// engine makes beside a table adds ".table-new-journal".
constexpr size_t kMaxTableFileName = 255 - 18;

// Opens (with O_CREAT in flags: creating with kPrivateMode) without following a link; -1 with
// errno set, ELOOP when the path is a link or not a regular file. `status`, when given, receives
// the file's status as the check read it.
int openPrivate(const std::string& path, int flags, struct stat* status = nullptr);

// Creates an empty file with kPrivateMode; false (errno set) when anything is there already,
// a dangling link included.
bool createEmpty(const std::string& path);

// The table's own files that refuseLinks found on disk, so that an open need not look again.
class OwnFiles {
  public:
    bool has(const std::string& path) const;
    void add(std::string path) { present_.push_back(std::move(path)); }

  private:
    std::vector<std::string> present_;
};

// Fails with AE_IO_ERROR naming the first of the table's own files (the file, its -wal, -shm
// and journal, its companions and its lock file) that exists and is not a regular file; the
// others that exist go into `found` when given. `tableStatus`, when given and not zero, is what
// lstat found of the table file itself (realFile), which is then not looked at again.
[[nodiscard]] UNSIGNED32 refuseLinks(const std::string& tableFile, OwnFiles* found = nullptr,
                                     const struct stat* tableStatus = nullptr);

// The real path of a file reached through a symbolic link; the path itself otherwise.
// `status`, when given, gets what lstat found of a path that exists and is no link (zero else).
std::string realFile(const std::string& path, struct stat* status = nullptr);

// Read-only folders. SQLite reads a WAL-mode file only through its -shm file, which a folder
// that cannot be written cannot hold. There a table whose -wal is empty or gone (every clean
// close leaves it so) is opened immutable: read-only, no locks, no -wal or -shm. Writes are
// refused with the reason.
bool folderWritable(const std::string& folder);
// The SQLite URI that opens a file immutable (SQLITE_OPEN_URI needed).
std::string immutableUri(const std::string& path);

// Network file systems (NFS, SMB/CIFS and the like) cannot hold SQLite's WAL safely: the -shm
// file is shared memory, which does not reach across machines. The name of the network file
// system the folder is on, or empty for a local one (the type comes from fs::FileSystem, which
// tests replace to pretend one).
std::string networkFileSystem(const std::string& folder);

// Gives `to` the permission bits, owner and group of `from` (a file that replaces another
// keeps what the old one had). The owner is kept where the process may set it.
bool keepModeAndOwner(const std::string& from, const std::string& to);

}  // namespace engine::files

#endif
