#include "rtl/progfolder.h"

#include <dirent.h>
#include <limits.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <optional>
#include <vector>

namespace rtl {

namespace {

std::mutex overrideMutex;
std::optional<std::string> overrideFolder;

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string currentFolder() {
    std::vector<char> buf(PATH_MAX + 1);
    if (getcwd(buf.data(), buf.size())) return withSlash(buf.data());
    return "./";
}

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The entry of folder (a path ending in "/", or empty for the working folder) named like name
// without regard to case, or empty.
std::string findEntry(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return {};
    std::string best;
    while (dirent* entry = ::readdir(dir)) {
        std::string candidate = entry->d_name;
        if (strcasecmp(candidate.c_str(), name.c_str()) == 0 && (best.empty() || candidate < best))
            best = std::move(candidate);
    }
    ::closedir(dir);
    return best;
}

}  // namespace

std::string ProgramFolder() {
    {
        std::lock_guard<std::mutex> lock(overrideMutex);
        if (overrideFolder) return *overrideFolder;
    }
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return currentFolder();
    std::string exe(buf.data(), static_cast<std::size_t>(n));
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return currentFolder();
    return exe.substr(0, slash + 1);
}

void SetProgramFolderForTesting(const std::string& folder) {
    std::lock_guard<std::mutex> lock(overrideMutex);
    overrideFolder = withSlash(folder);
}

void ResetProgramFolderForTesting() {
    std::lock_guard<std::mutex> lock(overrideMutex);
    overrideFolder.reset();
}

std::string ResolveFileName(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    if (p.empty() || exists(p)) return p;

    // Walk the parts; "result" is the resolved folder so far, ending in "/" (or empty).
    std::string result;
    std::size_t pos = 0;
    if (p[0] == '/') {
        result = "/";
        pos = 1;
    }
    bool found = true;  // once a part is missing, later parts cannot be looked up
    while (pos <= p.size()) {
        std::size_t end = p.find('/', pos);
        if (end == std::string::npos) end = p.size();
        std::string part = p.substr(pos, end - pos);
        if (!part.empty()) {
            if (found && part != "." && part != ".." && !exists(result + part)) {
                std::string match = findEntry(result, part);
                if (!match.empty())
                    part = match;
                else
                    found = false;
            }
            result += part;
            if (end < p.size()) result += '/';
        } else if (end < p.size() && !result.empty() && result.back() != '/') {
            result += '/';
        }
        pos = end + 1;
    }
    return result;
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st;
    return ::stat(ResolveFileName(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace rtl
