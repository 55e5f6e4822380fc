#include "tools/velda-db/paths.h"

#include <strings.h>

#include <cctype>
#include <string_view>

namespace veldadb {

namespace {

constexpr const char* kSeparators = "/\\";

// Where the scheme's "://" ends, or npos when the text at `at` is not a server path's scheme.
size_t SchemeEnd(const std::string& text, size_t at) {
    for (const char* scheme : {"postgresql://", "postgres://"}) {
        size_t length = std::char_traits<char>::length(scheme);
        if (text.size() - at >= length && strncasecmp(text.c_str() + at, scheme, length) == 0)
            return at + length;
    }
    return std::string::npos;
}

// A server path's parts: what comes before the parameters, and the parameters with their "?".
struct ServerParts {
    std::string body;
    std::string query;
    size_t database = std::string::npos;  // the "/" before the database name in body
};

ServerParts SplitServerPath(const std::string& path) {
    ServerParts parts;
    size_t question = path.find('?');
    parts.body = path.substr(0, question);
    if (question != std::string::npos) parts.query = path.substr(question);
    parts.database = parts.body.find('/', SchemeEnd(path, 0));
    return parts;
}

}  // namespace

bool IsServerPath(const std::string& path) {
    return SchemeEnd(path, 0) != std::string::npos;
}

bool EndsWithSeparator(const std::string& path) {
    const std::string& body = IsServerPath(path) ? SplitServerPath(path).body : path;
    return !body.empty() && (body.back() == '/' || body.back() == '\\');
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!IsServerPath(folder))
        return EndsWithSeparator(folder) ? folder + name : folder + "/" + name;
    ServerParts parts = SplitServerPath(folder);
    return parts.body + (EndsWithSeparator(parts.body) ? "" : "/") + name + parts.query;
}

TablePath SplitTablePath(const std::string& path) {
    if (IsServerPath(path)) {
        ServerParts parts = SplitServerPath(path);
        size_t separator = parts.body.find_last_of(kSeparators);
        if (parts.database == std::string::npos || separator <= parts.database) return {path, ""};
        return {parts.body.substr(0, separator) + parts.query, parts.body.substr(separator + 1)};
    }
    size_t slash = path.find_last_of(kSeparators);
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string Shown(const std::string& text) {
    std::string shown;
    size_t at = 0;
    while (at < text.size()) {
        size_t start = std::string::npos, schemeEnd = std::string::npos;
        for (size_t i = at; i < text.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(text[i])) != 'p') continue;
            schemeEnd = SchemeEnd(text, i);
            if (schemeEnd != std::string::npos) {
                start = i;
                break;
            }
        }
        if (start == std::string::npos) break;
        shown += text.substr(at, schemeEnd - at);
        // The path runs to the next blank or quote; its user part is everything before its
        // last "@" (an "@" elsewhere is written %40), its parameters everything after "?".
        size_t end = schemeEnd;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
               text[end] != '\'' && text[end] != '"')
            ++end;
        // Punctuation that ends a sentence or comes before the text about the path is not part
        // of it ("PATH: the table ...", "... PATH.").
        while (end > schemeEnd &&
               std::string_view(":.,;)").find(text[end - 1]) != std::string::npos)
            --end;
        std::string path = text.substr(schemeEnd, end - schemeEnd);
        size_t question = path.find('?');
        size_t atSign = path.substr(0, question).rfind('@');
        if (atSign != std::string::npos) {
            size_t colon = path.find(':');
            if (colon < atSign) path.replace(colon + 1, atSign - colon - 1, "***");
            question = path.find('?');
        }
        for (size_t p = question; p != std::string::npos && p < path.size();
             p = path.find('&', p + 1)) {
            size_t name = p + 1;
            if (strncasecmp(path.c_str() + name, "password=", 9) != 0) continue;
            size_t value = name + 9, valueEnd = path.find('&', value);
            if (valueEnd == std::string::npos) valueEnd = path.size();
            path.replace(value, valueEnd - value, "***");
        }
        shown += path;
        at = end;
    }
    return shown + text.substr(at);
}

}  // namespace veldadb
