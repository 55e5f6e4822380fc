#include "rtl/serverpath.h"

#include <strings.h>

#include <cstring>

namespace rtl {

namespace {

bool EndsWithSeparator(const std::string& text) {
    return !text.empty() && (text.back() == '/' || text.back() == '\\');
}

}  // namespace

bool IsServerPath(const std::string& path) {
    for (const char* scheme : {"postgresql://", "postgres://"}) {
        const std::size_t length = std::strlen(scheme);
        if (path.size() >= length && strncasecmp(path.c_str(), scheme, length) == 0) return true;
    }
    return false;
}

std::string JoinDatabasePath(const std::string& folder, const std::string& name) {
    if (!IsServerPath(folder)) return folder + name;
    const std::size_t question = folder.find('?');
    const std::string body = folder.substr(0, question);
    const std::string parameters = question == std::string::npos ? "" : folder.substr(question);
    return body + (EndsWithSeparator(body) ? "" : "/") + name + parameters;
}

std::string WithFolderSeparator(const std::string& folder) {
    if (folder.empty()) return folder;
    if (IsServerPath(folder)) return JoinDatabasePath(folder, "");
    return EndsWithSeparator(folder) ? folder : folder + "/";
}

}  // namespace rtl
