#include "engine/connection.h"

#include <strings.h>

#include <algorithm>
#include <utility>

#include "engine/dictionary.h"
#include "engine/file_system.h"
#include "engine/last_error.h"
#include "engine/paths.h"
#include "engine/postgres/session.h"

namespace engine {

Connection::Connection(std::string folder) : serverPath_(folder), folder_(std::move(folder)) {}

Connection::Connection(std::string dictionaryPath, std::string folder,
                       std::shared_ptr<Dictionary> dictionary, std::string user)
    : serverPath_(std::move(dictionaryPath)),
      folder_(std::move(folder)),
      dictionary_(std::move(dictionary)),
      user_(std::move(user)) {}

Connection::Connection(ServerPath path, std::shared_ptr<postgres::Session> session)
    : serverPath_(path.masked()),
      folder_(serverPath_),
      server_(std::move(path)),
      session_(std::move(session)) {}

Connection::Connection(ServerPath folder, std::shared_ptr<postgres::Session> session,
                       std::shared_ptr<Dictionary> dictionary, std::string user)
    : serverPath_(dictionary->path()),
      folder_(folder.masked()),
      server_(std::move(folder)),
      session_(std::move(session)),
      dictionary_(std::move(dictionary)),
      user_(std::move(user)) {}

Connection::~Connection() = default;

std::string Connection::serverName() const {
    if (!session_) return serverPath_;
    std::string name = session_->serverName();
    return name.empty() ? server_.serverName() : name;
}

HandleKind Connection::kind() const {
    return isDictionary() ? HandleKind::DictionaryConnection : HandleKind::Connection;
}

namespace {

// The real path of a path whose last parts may not exist yet: the longest existing start
// resolved (links followed, "." and ".." gone), the rest kept as written; empty when a ".."
// follows a part that does not exist.
std::string realPrefix(const std::string& path) {
    std::string rest;
    std::string start = path;
    for (;;) {
        std::string real = fs::current().realPath(start.empty() ? "." : start);
        if (!real.empty()) return rest.empty() ? real : real + "/" + rest;
        const std::string folder = paths::folderOf(start);
        const std::string last = paths::fileName(start);
        if (last == "..") return "";  // ".." past a missing folder leads nowhere
        rest = rest.empty() ? last : last + "/" + rest;
        if (folder.empty() || folder == start) return path;
        start = folder;
    }
}

// Whether file lies in folder or a folder below it, with links followed.
bool below(const std::string& file, const std::string& folder) {
    const std::string real = realPrefix(file);
    if (real.empty()) return false;
    std::string top = realPrefix(folder.empty() ? "." : folder);
    if (top.size() > 1 && top.back() == '/') top.pop_back();
    if (top == "/") return real.rfind('/', 0) == 0;
    return real.size() > top.size() && real.compare(0, top.size(), top) == 0 &&
           real[top.size()] == '/';
}

}  // namespace

UNSIGNED32 Connection::outsideFolder(const std::string& name) const {
    return fail(AE_INVALID_ARGUMENT,
                "The table " + name + " is outside the folder " + folder_ +
                    " of the data dictionary " + serverPath_ +
                    "; a dictionary connection opens the tables of its own folder and the "
                    "folders below it only.");
}

UNSIGNED32 Connection::resolveTable(const std::string& name, std::string& file) const {
    if (session_) {
        ServerPath path;
        if (UNSIGNED32 rc = resolveServerTable(name, path)) return rc;
        file = path.masked();
        return AE_SUCCESS;
    }
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No table name given.");
    std::string path;
    if (paths::hasSeparator(name) || !dictionary_) {
        path = paths::join(folder_, paths::normalise(name));
    } else {
        std::string stored;
        if (UNSIGNED32 rc = dictionary_->tablePath(name, stored)) return rc;
        path = paths::join(folder_, stored);
    }
    file = paths::resolve(paths::withTableExtension(path));
    // A dictionary's users reach its tables and the free tables of its own folder, not the
    // tables of other companies by a path.
    if (dictionary_ && paths::hasSeparator(name) && !below(file, folder_))
        return outsideFolder(name);
    return AE_SUCCESS;
}

UNSIGNED32 Connection::resolveServerTable(const std::string& name, ServerPath& out) const {
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No table name given.");
    if (dictionary_ && !paths::hasSeparator(name)) {
        std::string stored;
        if (UNSIGNED32 rc = dictionary_->tablePath(name, stored)) return rc;
        return joinServerPath(server_, paths::withTableExtension(stored), out);
    }
    if (UNSIGNED32 rc = joinServerPath(server_, paths::withTableExtension(name), out)) return rc;
    if (!dictionary_) return AE_SUCCESS;
    // As in a folder: the tables of the dictionary's folder and the folders below it only. Names
    // on a server compare without regard to case.
    const std::vector<std::string>& top = server_.folders();
    const std::vector<std::string>& names = out.folders();
    bool inside = out.uri() == server_.uri() && names.size() > top.size();
    for (size_t i = 0; inside && i < top.size(); ++i)
        inside = strcasecmp(names[i].c_str(), top[i].c_str()) == 0;
    return inside ? AE_SUCCESS : outsideFolder(name);
}

void Connection::addListing(ADSHANDLE listing) {
    std::lock_guard lock(listingsMutex_);
    listings_.push_back(listing);
}

void Connection::dropListing(ADSHANDLE listing) {
    std::lock_guard lock(listingsMutex_);
    listings_.erase(std::remove(listings_.begin(), listings_.end(), listing), listings_.end());
}

std::vector<ADSHANDLE> Connection::takeListings() {
    std::lock_guard lock(listingsMutex_);
    return std::exchange(listings_, {});
}

std::string Connection::dateFormat() const {
    std::lock_guard lock(dateFormatMutex_);
    return dateFormat_;
}

void Connection::setDateFormat(std::string format) {
    std::lock_guard lock(dateFormatMutex_);
    dateFormat_ = std::move(format);
}

std::shared_ptr<Connection> connectionFor(ADSHANDLE handle) {
    auto connection = HandleRegistry::instance().findAs<Connection>(handle);
    if (!connection)  // the caller answers the code of the last error
        (void)fail(AE_INVALID_CONNECTION,
                   "Handle " + std::to_string(handle) + " is not a live connection.");
    return connection;
}

}  // namespace engine
