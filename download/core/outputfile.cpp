#include "download/core/outputfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>

#include "rtl/signals.h"

namespace download {

namespace {

constexpr std::size_t kFlushAt = 1 << 16;
constexpr int kMaxLinks = 40;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The real path of a folder, or the path itself when it cannot be had.
std::string RealFolder(const std::string& folder) {
    char buffer[PATH_MAX];
    return ::realpath(folder.c_str(), buffer) ? std::string(buffer) : folder;
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A table, index or memo file, a dictionary, or a file the engine keeps beside one: ".adt",
// ".adi", ".adm" or ".add" as the extension, or followed by SQLite's "-wal", "-shm", "-journal",
// the lock file's ".lck" or an encrypted table's ".rows" and ".table-new" files.
bool TableLikeName(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* extension : {".ADT", ".ADI", ".ADM", ".ADD"}) {
        for (std::size_t at = upper.find(extension); at != std::string::npos;
             at = upper.find(extension, at + 1)) {
            const std::string after = upper.substr(at + 4);
            if (after.empty() || after[0] == '-') return true;
            for (const char* companion : {".LCK", ".ROWS", ".TABLE-NEW"})
                if (after.rfind(companion, 0) == 0) return true;
        }
    }
    return false;
}

bool Protected(const std::string& real, const TProtectedFiles& protect) {
    const std::string folder = RealFolder(FolderOf(real));
    const std::string name = NameOf(real);
    for (const std::string& data : protect.DataFolders)
        if (RealFolder(data) == folder && TableLikeName(name)) return true;
    for (const std::string& file : protect.Files)
        if (RealFolder(FolderOf(file)) == folder &&
            strcasecmp(NameOf(file).c_str(), name.c_str()) == 0)
            return true;
    return false;
}

// Six characters for a hidden name.
std::string RandomPart() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::string part;
    for (int i = 0; i < 6; ++i) part.push_back(kLetters[device() % (sizeof kLetters - 1)]);
    return part;
}

std::string HiddenName(const std::string& folder) {
    return folder + "/" + std::string(kOutputTemporaryPrefix) + std::to_string(::getpid()) + "-" +
           RandomPart();
}

// The process whose hidden file a name is, or 0 when the name is no such file's.
pid_t OwnerOf(const std::string& name) {
    if (name.rfind(kOutputTemporaryPrefix, 0) != 0) return 0;
    const std::string rest = name.substr(kOutputTemporaryPrefix.size());
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string::npos || rest.size() - dash - 1 != 6 || dash > 10)
        return 0;
    long pid = 0;
    for (std::size_t i = 0; i < dash; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return 0;
        pid = pid * 10 + (rest[i] - '0');
    }
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

TProtectedFiles TProtectedFiles::OfCompany(const std::string& connectPath,
                                           const std::string& programFolder) {
    TProtectedFiles files;
    struct stat st {};
    std::string company = connectPath;
    while (company.size() > 1 && (company.back() == '/' || company.back() == '\\'))
        company.pop_back();
    std::replace(company.begin(), company.end(), '\\', '/');
    if (!(::stat(company.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) company = FolderOf(company);
    files.DataFolders.push_back(company);
    files.DataFolders.push_back(FolderOf(FolderOf(company)));  // the company list's
    std::string program = programFolder.empty() ? "." : programFolder;
    while (program.size() > 1 && program.back() == '/') program.pop_back();
    files.DataFolders.push_back(program);
    files.Files.push_back(program + "/VELDA.ini");
    files.Files.push_back(program + "/lvdnpath.ini");
    char self[PATH_MAX];
    if (::realpath("/proc/self/exe", self)) files.Files.emplace_back(self);
    return files;
}

EOutputFileError::EOutputFileError(Stage stage, std::string target, std::string problem,
                                   std::string reason)
    : std::runtime_error(target + ": " + problem + (reason.empty() ? "" : " (" + reason + ")")),
      stage_(stage),
      target_(std::move(target)),
      problem_(std::move(problem)),
      reason_(std::move(reason)) {}

void RemoveOutputLeftovers(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const pid_t owner = OwnerOf(name);
        if (owner == 0 || owner == ::getpid()) continue;
        if (::kill(owner, 0) == 0 || errno != ESRCH)
            continue;  // still running, or not ours to tell
        // The process number may be another machine's (a network folder): a file still being
        // written is locked by its writer.
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

TOutputFile::TOutputFile(const std::string& target, const TProtectedFiles& protect,
                         bool unnamedFiles)
    : target_(target), real_(target) {
    using Stage = EOutputFileError::Stage;
    if (target == "-" || target == "/dev/stdout") {
        stream_ = true;
        fd_ = STDOUT_FILENO;
        return;
    }
    struct stat st {};
    const bool exists = Examine(protect, st);
    const std::string folder = FolderOf(real_);
    if (exists) {
        existed_ = true;
        finalMode_ = st.st_mode & 07777;
        owner_ = st.st_uid;
        group_ = st.st_gid;
    } else {
        struct stat folderStatus {};
        const bool shared =
            ::stat(folder.c_str(), &folderStatus) == 0 && (folderStatus.st_mode & S_ISGID) != 0;
        finalMode_ = (shared ? 0640u : 0600u) & ~CurrentUmask();
    }
    RemoveOutputLeftovers(folder);
    if (unnamedFiles) fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX | LOCK_NB);  // kept once the file has a name
    if (fd_ < 0) {
        // No unnamed files here: a hidden file beside the target, private from the start.
        for (int attempt = 0; fd_ < 0; ++attempt) {
            std::string name = HiddenName(folder);
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ >= 0) {
                ::flock(fd_, LOCK_EX | LOCK_NB);  // tells a writer's file from a leftover
                temporary_ = std::move(name);
                removeAtSignal_ = std::make_unique<rtl::TRemoveAtSignal>(temporary_);
            } else if (errno != EEXIST || attempt > 100) {
                Fail(Stage::Create, "cannot be written", errno);
            }
        }
    }
}

bool TOutputFile::Examine(const TProtectedFiles& protect, struct stat& st) {
    using Stage = EOutputFileError::Stage;
    // Links are followed to the file they name: that file is replaced, the links stay.
    bool exists = false;
    for (int links = 0;; ++links) {
        if (::lstat(real_.c_str(), &st) != 0) {
            if (errno != ENOENT) Fail(Stage::Create, "cannot be written", errno);
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            break;
        }
        if (links == kMaxLinks) Fail(Stage::Create, "cannot be written", ELOOP);
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = ::readlink(real_.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0) Fail(Stage::Create, "cannot be written", errno);
        const std::string to(buffer.data(), static_cast<std::size_t>(n));
        real_ = to.rfind('/', 0) == 0 ? to : FolderOf(real_) + "/" + to;
    }
    if (exists && S_ISDIR(st.st_mode)) Fail(Stage::Create, "is a folder", 0);
    if (exists && !S_ISREG(st.st_mode))
        Fail(Stage::Create,
             "is not a regular file (a device, FIFO or socket); give a file name, or - for "
             "standard output",
             0);
    if (Protected(real_, protect))
        Fail(Stage::Create, "is a file of the company or of the program; give another file name",
             0);

    return exists;
}

void TOutputFile::Check(const std::string& target, const TProtectedFiles& protect) {
    if (target == "-" || target == "/dev/stdout") return;
    TOutputFile probe;
    probe.target_ = probe.real_ = target;
    struct stat st {};
    probe.Examine(protect, st);
    const std::string folder = FolderOf(probe.real_);
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        probe.Fail(EOutputFileError::Stage::Create, "cannot be written", errno);
}

TOutputFile::~TOutputFile() {
    if (stream_) return;
    if (!committed_) Discard();
}

void TOutputFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    removeAtSignal_.reset();
}

void TOutputFile::Fail(EOutputFileError::Stage stage, const std::string& problem, int error) const {
    throw EOutputFileError(stage, target_, problem, error ? std::strerror(error) : "");
}

void TOutputFile::Write(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= kFlushAt) Flush();
}

void TOutputFile::Flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            buffer_.clear();
            Fail(EOutputFileError::Stage::Write, "cannot be written", error);
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void TOutputFile::Commit() {
    using Stage = EOutputFileError::Stage;
    if (committed_) return;
    Flush();
    if (stream_) {
        committed_ = true;
        return;
    }
    if (::fsync(fd_) != 0) Fail(Stage::Write, "cannot be written", errno);
    // A replaced file's owner and group (where the process may set them), then its mode.
    if (existed_ && ::fchown(fd_, owner_, group_) != 0 && errno != EPERM)
        Fail(Stage::Write, "cannot be written", errno);
    if (::fchmod(fd_, finalMode_) != 0) Fail(Stage::Write, "cannot be written", errno);
    const std::string folder = FolderOf(real_);
    if (temporary_.empty()) {
        // Give the unnamed file a hidden name beside the target, then move it over the target.
        const std::string link = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; temporary_.empty(); ++attempt) {
            std::string name = HiddenName(folder);
            removeAtSignal_ = std::make_unique<rtl::TRemoveAtSignal>(name);
            if (::linkat(AT_FDCWD, link.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                temporary_ = std::move(name);
            else if (errno != EEXIST || attempt > 100)
                Fail(Stage::Write, "cannot be written", errno);
        }
    }
    if (::rename(temporary_.c_str(), real_.c_str()) != 0)
        Fail(Stage::Write, "cannot be replaced", errno);  // the destructor removes the file
    committed_ = true;
    temporary_.clear();
    removeAtSignal_.reset();
    ::close(fd_);
    fd_ = -1;
    // The rename itself is made durable with the folder.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
}

}  // namespace download
