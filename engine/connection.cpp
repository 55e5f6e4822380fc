#include "engine/connection.h"

#include "engine/dictionary.h"
#include "engine/last_error.h"
#include "engine/paths.h"

namespace engine {

Connection::Connection(std::string folder) : serverPath_(folder), folder_(std::move(folder)) {}

Connection::Connection(std::string dictionaryPath, std::shared_ptr<Dictionary> dictionary,
                       std::string user)
    : serverPath_(std::move(dictionaryPath)),
      folder_(dictionary ? dictionary->folder() : paths::folderOf(serverPath_)),
      dictionary_(std::move(dictionary)),
      user_(std::move(user)) {}

Connection::~Connection() = default;

HandleKind Connection::kind() const {
    return isDictionary() ? HandleKind::DictionaryConnection : HandleKind::Connection;
}

UNSIGNED32 Connection::resolveTable(const std::string& name, std::string& file) const {
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No table name given.");
    std::string path;
    if (paths::hasSeparator(name) || !dictionary_) {
        path = paths::join(folder_, paths::normalise(name));
    } else if (UNSIGNED32 rc = dictionary_->tableFile(name, path); rc != AE_SUCCESS) {
        return rc;
    }
    file = paths::resolve(paths::withTableExtension(path));
    return AE_SUCCESS;
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
