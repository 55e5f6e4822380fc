#include "engine/paths.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "engine/codepage.h"
#include "engine/file_system.h"
#include "engine/server_path.h"
#include "engine/text_functions.h"

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

bool isAbsolute(const std::string& path) {
    return !path.empty() && (path[0] == '/' || path[0] == '\\');
}

bool hasSeparator(const std::string& name) {
    return name.find_first_of("/\\") != std::string::npos;
}

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
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    return upper.find(".ADD") != std::string::npos;
}

std::string withTableExtension(const std::string& name) {
    if (size_t query = name.find('?'); query != std::string::npos && isServerPath(name))
        return withTableExtension(name.substr(0, query)) + name.substr(query);
    std::string last = fileName(name);
    if (last.find('.') != std::string::npos) return name;
    return name + ".adt";
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return fs::current().stat(path, st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path) {
    struct stat st {};
    return fs::current().stat(path.empty() ? "." : path, st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return fs::current().lstat(path, st) == 0;
}

bool wellFormedUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t extra = c < 0x80             ? 0
                       : (c & 0xE0) == 0xC0 ? 1
                       : (c & 0xF0) == 0xE0 ? 2
                       : (c & 0xF8) == 0xF0 ? 3
                                            : 4;
        if (extra == 4 || i + extra > text.size() - 1) return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

// A name in the form its letters compare in without regard to case: UTF-8 upper case with the
// letters of Windows-1252, so that "T\xC3\xA4" (UTF-8, as the tools write names) and "T\xC4"
// (Windows-1252, as the program gives them) both find "T\xC3\x84".
std::string caseKey(const std::string& name) {
    return text::upperUtf8(
        wellFormedUtf8(name) ? name : codepage::toUtf8(name, codepage::CodePage::Ansi1252));
}

// The entry of folder whose name equals part without regard to case, or "".
std::string findWithoutCase(const std::string& folder, const std::string& part) {
    const std::string key = caseKey(part);
    for (const std::string& name : fs::current().list(folder.empty() ? "." : folder))
        if (strcasecmp(name.c_str(), part.c_str()) == 0 || caseKey(name) == key) return name;
    return "";
}

}  // namespace

std::string resolve(const std::string& path) {
    std::string p = normalise(path);
    // A path that exists as given resolves to itself part by part too: one look instead of one
    // a part, as every open of a table whose name is written right makes it.
    if (exists(p)) return p;
    std::string out = isAbsolute(p) ? "/" : "";
    size_t start = isAbsolute(p) ? 1 : 0;
    bool parentExists = true;
    while (start <= p.size()) {
        size_t slash = p.find('/', start);
        std::string part =
            p.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty()) {
            std::string folder = out.empty() ? "" : out;
            std::string candidate =
                folder.empty() ? part
                               : (folder.back() == '/' ? folder + part : folder + "/" + part);
            if (parentExists && !exists(candidate) && part != "." && part != "..") {
                std::string found = findWithoutCase(folder.empty() ? "." : folder, part);
                if (!found.empty()) {
                    candidate = folder.empty() ? found
                                               : (folder.back() == '/' ? folder + found
                                                                       : folder + "/" + found);
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
