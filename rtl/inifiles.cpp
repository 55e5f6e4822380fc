#include "rtl/inifiles.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <utility>

#include "rtl/progfolder.h"
#include "rtl/stringlist.h"

namespace rtl {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string trimmedRight(std::string s) {
    while (!s.empty() && isBlank(s.back())) s.pop_back();
    return s;
}

std::string unquoted(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

bool readAll(const std::string& path, std::string& content) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    content = s.str();
    return true;
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string IniFilePath(const std::string& fileName) {
    // A bare name and a relative one both resolve against the working folder.
    return ResolveFileName(fileName);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    std::string content;
    if (fileName_.empty() || !readAll(IniFilePath(fileName_), content))
        return trimmedRight(defaultValue);

    TStringList lines;  // splits on CR, LF and CR LF and drops a UTF-8 byte order mark
    lines.SetText(content);

    const std::string wantedSection = trimmed(section);
    const std::string wantedKey = trimmed(key);
    enum { before, inside, after } state = before;
    for (int i = 0; i < lines.Count() && state != after; ++i) {
        const std::string line = trimmed(lines.Strings(i));
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::size_t close = line.rfind(']');
            if (close == std::string::npos) continue;  // not a section header
            const bool match = SameTextAnsi(trimmed(line.substr(1, close - 1)), wantedSection);
            if (state == inside)
                state = after;  // only the first section of that name is searched
            else if (match)
                state = inside;
            continue;
        }
        if (state != inside) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (SameTextAnsi(trimmed(line.substr(0, eq)), wantedKey))
            return unquoted(trimmed(line.substr(eq + 1)));
    }
    return trimmedRight(defaultValue);
}

std::string ReadIniString(const std::string& fileName, const std::string& section,
                          const std::string& key, const std::string& defaultValue) {
    return TIniFile(fileName).ReadString(section, key, defaultValue);
}

}  // namespace rtl
