#include "engine/server_path.h"

#include <strings.h>

#include <cstdlib>
#include <optional>

#include "engine/last_error.h"

namespace engine {

namespace {

constexpr std::string_view kSchemes[] = {"postgresql://", "postgres://"};

size_t schemeLength(std::string_view path) {
    for (std::string_view scheme : kSchemes)
        if (path.size() >= scheme.size() &&
            strncasecmp(path.data(), scheme.data(), scheme.size()) == 0)
            return scheme.size();
    return 0;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decodes; nothing when a "%" is not followed by two hexadecimal digits, or is %00.
std::optional<std::string> decode(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size()) return std::nullopt;
        int high = hexValue(in[i + 1]), low = hexValue(in[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// A folder name as the path writes it: what would end or split the name encoded.
std::string encodeName(const std::string& name) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (c == '%' || c == '/' || c == '\\' || c == '?' || c < 0x20 || c == 0x7f) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// The decoded name of a parameter (name=value); the whole item when it has no "=".
std::string parameterName(std::string_view item) {
    std::string_view raw = item.substr(0, item.find('='));
    return decode(raw).value_or(std::string(raw));
}

// The parameters with the value of password= shown as ***.
std::string maskQuery(std::string_view query) {
    std::string out;
    bool first = true;
    for (std::string_view item : split(query, '&')) {
        if (!first) out += '&';
        first = false;
        size_t equals = item.find('=');
        if (equals != std::string_view::npos && parameterName(item) == "password")
            out += std::string(item.substr(0, equals + 1)) + "***";
        else
            out += item;
    }
    return out;
}

bool hasEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Whether every "%" of the text begins two hexadecimal digits other than 00.
bool percentsValid(std::string_view text) {
    return decode(text).has_value();
}

// A port as libpq takes it: empty (its default) or a number up to 65535.
bool portValid(std::string_view port) {
    if (port.size() > 5) return false;
    for (char c : port)
        if (c < '0' || c > '9') return false;
    if (port.empty()) return true;
    int number = std::atoi(std::string(port).c_str());
    return number >= 1 && number <= 65535;
}

}  // namespace

bool isServerPath(std::string_view path) {
    return schemeLength(path) > 0;
}

bool ServerPath::namesDictionary() const {
    if (folders_.empty()) return false;
    const std::string& last = folders_.back();
    return last.size() > 4 && strcasecmp(last.c_str() + last.size() - 4, ".ADD") == 0;
}

std::string ServerPath::text(bool mask) const {
    std::string out = scheme_;
    if (hasUserInfo_) {
        out += user_;
        if (hasPassword_) out += ":" + (mask ? std::string("***") : password_);
        out += "@";
    }
    out += hosts_ + "/" + databaseRaw_;
    for (const std::string& folder : folders_) out += "/" + encodeName(folder);
    if (!query_.empty()) out += "?" + (mask ? maskQuery(query_) : query_);
    return out;
}

std::string ServerPath::text() const {
    return text(false);
}

std::string ServerPath::masked() const {
    return text(true);
}

std::string ServerPath::scrub(std::string text) const {
    std::vector<std::string> secrets;
    if (hasPassword_ && !password_.empty()) secrets.push_back(password_);
    for (std::string_view item : split(query_, '&'))
        if (size_t equals = item.find('=');
            equals != std::string_view::npos && parameterName(item) == "password")
            secrets.emplace_back(item.substr(equals + 1));
    for (size_t i = 0, n = secrets.size(); i < n; ++i)
        if (auto decoded = decode(secrets[i]); decoded && *decoded != secrets[i])
            secrets.push_back(*decoded);
    for (const std::string& secret : secrets) {
        if (secret.empty()) continue;
        for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
            text.replace(at, secret.size(), "***");
    }
    return text;
}

std::string ServerPath::serverName() const {
    std::string name;
    if (hasHost_) {
        name = decode(hosts_).value_or(hosts_);
    } else {
        std::string host, port;
        for (std::string_view item : split(query_, '&')) {
            size_t equals = item.find('=');
            if (equals == std::string_view::npos) continue;
            std::string key = parameterName(item);
            std::string value = decode(item.substr(equals + 1)).value_or("");
            if (key == "host") host = value;
            if (key == "port") port = value;
        }
        name = host;
        if (!host.empty() && !port.empty()) name += ":" + port;
    }
    return name;
}

bool ServerPath::parse(const std::string& path, ServerPath& out, std::string& problem) {
    out = ServerPath();
    size_t schemeEnd = schemeLength(path);
    if (schemeEnd == 0) {
        problem = "does not begin with postgresql:// or postgres://.";
        return false;
    }
    if (!percentsValid(path)) {
        problem =
            "has a \"%\" that does not begin two hexadecimal digits (or begins %00); write a % "
            "itself as %25.";
        return false;
    }
    out.scheme_ = path.substr(0, schemeEnd);
    std::string_view rest(path);
    rest.remove_prefix(schemeEnd);

    // Parameters come last and hold no separator.
    std::string_view query;
    if (size_t mark = rest.find('?'); mark != std::string_view::npos) {
        query = rest.substr(mark + 1);
        rest = rest.substr(0, mark);
        if (query.find_first_of("/\\?") != std::string_view::npos) {
            problem =
                "has a \"?\" before its end: parameters (?name=value&...) come last, with a / or "
                "\\ in them written as %2F or %5C.";
            return false;
        }
        for (std::string_view item : split(query, '&')) {
            if (query.empty()) break;
            size_t equals = item.find('=');
            if (equals == std::string_view::npos || equals == 0) {
                problem = "has a parameter that is not name=value.";
                return false;
            }
            if (parameterName(item) == "dbname") {
                problem =
                    "names its database with dbname=; name it in the path instead "
                    "(postgresql://host/DATABASE/).";
                return false;
            }
        }
    }
    out.query_ = std::string(query);

    // The user and password, then the hosts and ports, as libpq reads them.
    size_t authorityEnd = rest.find_first_of("/\\");
    std::string_view authority = rest.substr(0, authorityEnd);
    const std::string_view userAndHosts = authority;
    rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    if (size_t at = authority.find('@'); at != std::string_view::npos) {
        std::string_view userInfo = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        out.hasUserInfo_ = true;
        size_t colon = userInfo.find(':');
        out.user_ = std::string(userInfo.substr(0, colon));
        if (colon != std::string_view::npos) {
            out.hasPassword_ = true;
            out.password_ = std::string(userInfo.substr(colon + 1));
        }
    }
    if (authority.find('@') != std::string_view::npos) {
        problem = "has an \"@\" in its host; write an @ in a user name or password as %40.";
        return false;
    }
    bool anyHost = false;
    for (std::string_view spec : split(authority, ',')) {
        std::string_view host = spec, port;
        if (!spec.empty() && spec.front() == '[') {
            size_t close = spec.find(']');
            if (close == std::string_view::npos ||
                (close + 1 < spec.size() && spec[close + 1] != ':')) {
                problem = "has an address in [ ] that is not closed by ]:port or its end.";
                return false;
            }
            host = spec.substr(0, close + 1);
            if (close + 1 < spec.size()) port = spec.substr(close + 2);
        } else if (size_t colon = spec.find(':'); colon != std::string_view::npos) {
            host = spec.substr(0, colon);
            port = spec.substr(colon + 1);
        }
        if (!portValid(port)) {
            problem = "has a port that is not a number from 1 to 65535.";
            return false;
        }
        if (!host.empty()) anyHost = true;
    }
    out.hosts_ = std::string(authority);
    out.hasHost_ = anyHost;
    if (!anyHost) {
        bool elsewhere =
            hasEnvironment("PGHOST") || hasEnvironment("PGHOSTADDR") || hasEnvironment("PGSERVICE");
        for (std::string_view item : split(query, '&')) {
            std::string key = parameterName(item);
            if (key == "host" || key == "hostaddr" || key == "service") elsewhere = true;
        }
        if (!elsewhere) {
            problem =
                "names no server: give its host (a name, an address, or a socket folder written "
                "as %2F...), or set PGHOST.";
            return false;
        }
    }

    // An "@" past the host is a password's that holds a "/": refused, so that it is masked.
    if (rest.find('@') != std::string_view::npos) {
        problem = "has an \"@\" after its host; write an @ in a password or a name as %40.";
        return false;
    }

    // The database, then the folders.
    if (!rest.empty()) rest.remove_prefix(1);
    size_t databaseEnd = rest.find_first_of("/\\");
    out.databaseRaw_ = std::string(rest.substr(0, databaseEnd));
    out.database_ = *decode(out.databaseRaw_);
    if (out.database_.empty()) {
        problem = "names no database (postgresql://host/DATABASE/...).";
        return false;
    }
    rest = databaseEnd == std::string_view::npos ? std::string_view() : rest.substr(databaseEnd);
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = rest.size();
        std::string name = *decode(rest.substr(start, end - start));
        start = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (out.folders_.empty()) {
                problem = "goes above its database with \"..\".";
                return false;
            }
            out.folders_.pop_back();
            continue;
        }
        out.folders_.push_back(std::move(name));
    }

    out.uri_ = "postgresql://" + std::string(userAndHosts) + "/" + out.databaseRaw_;
    if (!out.query_.empty()) out.uri_ += "?" + out.query_;
    return true;
}

UNSIGNED32 parseServerPath(const std::string& path, ServerPath& out) {
    std::string problem;
    if (ServerPath::parse(path, out, problem)) return AE_SUCCESS;
    return fail(AE_INVALID_ARGUMENT, "The server path " + maskServerPath(path) + " " + problem);
}

UNSIGNED32 joinServerPath(const ServerPath& base, const std::string& name, ServerPath& out) {
    if (isServerPath(name)) return parseServerPath(name, out);
    ServerPath top = base;
    top.query_.clear();
    if (!name.empty() && (name.front() == '/' || name.front() == '\\')) top.folders_.clear();
    std::string joined = top.text() + "/" + name;
    if (!base.query_.empty()) joined += "?" + base.query_;
    return parseServerPath(joined, out);
}

std::string maskServerPath(const std::string& path) {
    size_t schemeEnd = schemeLength(path);
    if (schemeEnd == 0) return path;
    ServerPath parsed;
    std::string problem;
    if (ServerPath::parse(path, parsed, problem)) return parsed.masked();
    // It does not parse: hide everything that may be a password, which is more than libpq would
    // take as one. A password with a "/", "?" or "@" in it runs to the last "@".
    std::string out = path;
    size_t after = schemeEnd;
    if (size_t at = out.rfind('@'); at != std::string::npos && at >= schemeEnd) {
        size_t colon = out.find(':', schemeEnd);
        if (colon < at) {
            out.replace(colon + 1, at - colon - 1, "***");
            after = colon + 4;
        } else {
            after = at;
        }
    }
    if (size_t mark = out.find('?', after); mark != std::string::npos)
        out = out.substr(0, mark + 1) + maskQuery(std::string_view(out).substr(mark + 1));
    return out;
}

}  // namespace engine
