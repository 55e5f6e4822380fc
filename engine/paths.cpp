#include "engine/paths.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace engine::paths {

std::string normalise(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        char s = c == '\\' ? '/' : c;
        if (s == '/' && !out.empty() && out.back() == '/') continue;
        out.push_back(s);
    }
    return out;
}

bool isAbsolute(const std::string& path) { return !path.empty() && (path[0] == '/' || path[0] == '\\'); }

bool hasSeparator(const std::string& name) { return name.find_first_of("/\\") != std::string::npos; }

std::string join(const std::string& folder, const std::string& name) {
    if (isAbsolute(name) || folder.empty()) return normalise(name);
    return normalise(folder + "/" + name);
}

std::string fileName(const std::string& path) {
    std::string p = normalise(path);
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string folderOf(const std::string& path) {
    std::string p = normalise(path);
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : p.substr(0, slash);
}

bool namesDictionary(const std::string& path) {
    std::string upper(path);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return upper.find(".ADD") != std::string::npos;
}

std::string withTableExtension(const std::string& name) {
    std::string last = fileName(name);
    if (last.find('.') != std::string::npos) return name;
    return name + ".adt";
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The entry of folder whose name equals part without regard to case, or "".
std::string findWithoutCase(const std::string& folder, const std::string& part) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
    if (!dir) return "";
    while (dirent* entry = ::readdir(dir.get())) {
        if (strcasecmp(entry->d_name, part.c_str()) == 0) return entry->d_name;
    }
    return "";
}

}  // namespace

std::string resolve(const std::string& path) {
    std::string p = normalise(path);
    std::string out = isAbsolute(p) ? "/" : "";
    size_t start = isAbsolute(p) ? 1 : 0;
    bool parentExists = true;
    while (start <= p.size()) {
        size_t slash = p.find('/', start);
        std::string part = p.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty()) {
            std::string folder = out.empty() ? "" : out;
            std::string candidate = folder.empty() ? part : (folder.back() == '/' ? folder + part : folder + "/" + part);
            if (parentExists && !exists(candidate) && part != "." && part != "..") {
                std::string found = findWithoutCase(folder.empty() ? "." : folder, part);
                if (!found.empty()) {
                    candidate = folder.empty() ? found : (folder.back() == '/' ? folder + found : folder + "/" + found);
                } else {
                    parentExists = false;
                }
            }
            out = candidate;
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return out;
}

}  // namespace engine::paths
