#include "tools/velda-export/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "tools/velda-export/company.h"

namespace veldaexport {

namespace {

constexpr std::size_t kFlushAt = 1 << 16;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

Output::Output(const std::string& target) : target_(target) {
    if (target == "-") {
        toStdout_ = true;
        fd_ = STDOUT_FILENO;
        return;
    }
    struct stat existing;
    if (::stat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))
        throw RunError(target + ": is a folder");
    const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777)
                                                               : (0666 & ~CurrentUmask());
    const std::string folder = FolderOf(target);
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd_ < 0) {
        // No unnamed files here: a hidden file beside the target.
        std::string pattern = folder + "/." + NameOf(target) + ".XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        fd_ = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd_ < 0) Fail("cannot be written");
        temporary_ = name.data();
    }
    if (::fchmod(fd_, mode) != 0) Fail("cannot be written");
}

Output::~Output() {
    if (toStdout_ || fd_ < 0) return;
    ::close(fd_);
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void Output::Fail(const std::string& what) const {
    throw RunError(target_ + ": " + what + " (" + std::strerror(errno) + ")");
}

void Output::Write(std::string_view bytes) {
    lines_ += static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    buffer_.append(bytes);
    if (buffer_.size() >= kFlushAt) Flush();
}

void Output::Flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot be written");
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void Output::Commit() {
    Flush();
    if (toStdout_) {
        committed_ = true;
        return;
    }
    if (::fsync(fd_) != 0) Fail("cannot be written");
    if (temporary_.empty()) {
        // Give the unnamed file a hidden name beside the target, then move it over the target.
        const std::string link = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0;; ++attempt) {
            std::string name = FolderOf(target_) + "/." + NameOf(target_) + "." +
                               std::to_string(::getpid()) + "." + std::to_string(attempt);
            if (::linkat(AT_FDCWD, link.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                temporary_ = std::move(name);
                break;
            }
            if (errno != EEXIST || attempt > 100) Fail("cannot be written");
        }
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary_.c_str());
        errno = error;
        Fail("cannot be replaced");
    }
    committed_ = true;
    // The rename itself is made durable with the folder.
    const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

std::string Output::Describe() const {
    return toStdout_ ? "standard output" : target_;
}

}  // namespace veldaexport
