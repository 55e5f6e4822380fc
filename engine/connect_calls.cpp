// The connection and data dictionary calls of the call surface.
//
// Folders and dictionary files are the local server's: the engine runs inside the calling
// process. A server path (engine/server_path.h) is the remote server's: a session with the
// PostgreSQL server holds the connection, and a dictionary on the server (a path whose last name
// ends in ".ADD") has a session of its own besides (engine/postgres/dictionary.h). Which backend
// keeps a dictionary is chosen here, by the path. AdsGetServerName reports the folder or
// dictionary file, normalised and resolved as the engine uses it, or the server's host and port.
#include <strings.h>

#include <memory>
#include <string>

#include "engine/ace.h"
#include "engine/connection.h"
#include "engine/dictionary.h"
#include "engine/last_error.h"
#include "engine/open_tables.h"
#include "engine/paths.h"
#include "engine/postgres/dictionary.h"
#include "engine/postgres/session.h"
#include "engine/registry.h"
#include "engine/server_path.h"
#include "engine/sqlite/dictionary.h"
#include "engine/statement.h"

namespace {

using engine::fail;

std::string text(const UNSIGNED8* value) {
    return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
}

UNSIGNED32 connectFolder(const std::string& given, ADSHANDLE* phConnect) {
    std::string folder = engine::paths::resolve(engine::paths::normalise(given));
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!engine::paths::folderExists(folder)) {
        if (engine::paths::fileExists(folder))
            return fail(AE_PATH_NOT_FOUND, folder + " is a file, not a folder of tables.");
        return fail(AE_PATH_NOT_FOUND, "The folder " + folder + " does not exist.");
    }
    *phConnect =
        engine::HandleRegistry::instance().add(std::make_shared<engine::Connection>(folder));
    return AE_SUCCESS;
}

UNSIGNED32 connectDictionary(const std::string& given, const std::string& userName,
                             const std::string& password, ADSHANDLE* phConnect) {
    std::unique_ptr<engine::FileDictionary> dictionary;
    if (UNSIGNED32 rc = engine::FileDictionary::open(given, dictionary)) return rc;
    std::string user;
    if (UNSIGNED32 rc = dictionary->login(userName, password, user)) return rc;
    std::string path = dictionary->path();
    std::string folder = dictionary->folder();
    *phConnect = engine::HandleRegistry::instance().add(std::make_shared<engine::Connection>(
        path, folder, std::shared_ptr<engine::Dictionary>(std::move(dictionary)), user));
    return AE_SUCCESS;
}

// A connection to a dictionary on a server, logged in as user: the tables' session, to the
// dictionary's folder.
UNSIGNED32 addServerDictionary(std::unique_ptr<engine::postgres::ServerDictionary> dictionary,
                               const std::string& user, ADSHANDLE* phConnect) {
    engine::ServerPath folder = dictionary->folder();
    std::shared_ptr<engine::postgres::Session> session;
    if (UNSIGNED32 rc = engine::postgres::Session::open(folder, session)) return rc;
    *phConnect = engine::HandleRegistry::instance().add(std::make_shared<engine::Connection>(
        std::move(folder), std::move(session),
        std::shared_ptr<engine::Dictionary>(std::move(dictionary)), user));
    return AE_SUCCESS;
}

UNSIGNED32 connectServerDictionary(const engine::ServerPath& path, const std::string& userName,
                                   const std::string& password, ADSHANDLE* phConnect) {
    std::unique_ptr<engine::postgres::ServerDictionary> dictionary;
    if (UNSIGNED32 rc = engine::postgres::ServerDictionary::open(path, dictionary)) return rc;
    std::string user;
    if (UNSIGNED32 rc = dictionary->login(userName, password, user)) return rc;
    return addServerDictionary(std::move(dictionary), user, phConnect);
}

UNSIGNED32 connectServer(const std::string& given, UNSIGNED16 serverTypes,
                         const std::string& userName, const std::string& password,
                         ADSHANDLE* phConnect) {
    if (serverTypes != 0 && (serverTypes & ADS_REMOTE_SERVER) == 0)
        return fail(AE_NOT_SUPPORTED,
                    "A server path is reached through the remote server (2), "
                    "and the server types " +
                        std::to_string(serverTypes) + " given for " +
                        engine::maskServerPath(given) + " do not include it.");
    engine::ServerPath path;
    if (UNSIGNED32 rc = engine::parseServerPath(given, path)) return rc;
    if (path.namesDictionary()) return connectServerDictionary(path, userName, password, phConnect);
    std::shared_ptr<engine::postgres::Session> session;
    if (UNSIGNED32 rc = engine::postgres::Session::open(path, session)) return rc;
    *phConnect = engine::HandleRegistry::instance().add(
        std::make_shared<engine::Connection>(std::move(path), std::move(session)));
    return AE_SUCCESS;
}

// The dictionary behind a connection handle, or null after failing.
std::shared_ptr<engine::Connection> dictionaryConnection(ADSHANDLE hDictionary) {
    auto connection = engine::connectionFor(hDictionary);
    if (connection && !connection->isDictionary()) {
        (void)fail(AE_INVALID_HANDLE, "Connection " + std::to_string(hDictionary) + " to " +
                                          connection->serverPath() +
                                          " is not a data dictionary connection.");
        return nullptr;
    }
    return connection;
}

// Only the dictionary's administrator may change it.
UNSIGNED32 requireAdministrator(const engine::Connection& connection) {
    bool administrator = false;
    if (UNSIGNED32 rc = connection.dictionary()->isAdministrator(connection.user(), administrator))
        return rc;
    if (administrator) return AE_SUCCESS;
    return fail(AE_READ_ONLY, "User " + connection.user() + " may not change the data dictionary " +
                                  connection.serverPath() + "; connect as its administrator.");
}

}  // namespace

extern "C" {

UNSIGNED32 AdsConnect60(UNSIGNED8* pucServerPath, UNSIGNED16 usServerTypes, UNSIGNED8* pucUserName,
                        UNSIGNED8* pucPassword, UNSIGNED32 ulOptions, ADSHANDLE* phConnect) {
    if (!phConnect) return fail(AE_INVALID_ARGUMENT, "No place given for the connection handle.");
    *phConnect = 0;
    std::string path = text(pucServerPath);
    if (path.empty())
        return fail(AE_INVALID_ARGUMENT, "No folder or data dictionary given to connect to.");
    if (ulOptions != 0)
        return fail(AE_NOT_SUPPORTED,
                    "Connection option " + std::to_string(ulOptions) + " is not supported.");
    if (engine::isServerPath(path))
        return connectServer(path, usServerTypes, text(pucUserName), text(pucPassword), phConnect);
    if (usServerTypes != 0 && (usServerTypes & ADS_LOCAL_SERVER) == 0)
        return fail(AE_NOT_SUPPORTED,
                    "A folder or data dictionary is reached through the local server (1), and the "
                    "server types " +
                        std::to_string(usServerTypes) + " given for " + path +
                        " do not include it.");
    if (engine::paths::namesDictionary(path))
        return connectDictionary(path, text(pucUserName), text(pucPassword), phConnect);
    return connectFolder(path, phConnect);
}

UNSIGNED32 AdsConnect(UNSIGNED8* pucServerPath, ADSHANDLE* phConnect) {
    return AdsConnect60(pucServerPath, 0, nullptr, nullptr, 0, phConnect);
}

UNSIGNED32 AdsDisconnect(ADSHANDLE hConnect) {
    auto connection = engine::connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    connection->transaction().abandon();
    engine::closeStatementsOf(hConnect);
    engine::closeTablesOf(hConnect);
    for (ADSHANDLE listing : connection->takeListings())
        engine::HandleRegistry::instance().remove(listing);
    engine::HandleRegistry::instance().remove(hConnect);
    return AE_SUCCESS;
}

UNSIGNED32 AdsGetServerName(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    auto connection = engine::connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    return engine::copyOut(connection->serverName(), pucName, pusLen, "the server name");
}

UNSIGNED32 AdsGetConnectionType(ADSHANDLE hConnect, UNSIGNED16* pusConnectType) {
    if (!pusConnectType)
        return fail(AE_INVALID_ARGUMENT, "No place given for the connection type.");
    auto connection = engine::connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    *pusConnectType = connection->onServer() ? ADS_REMOTE_SERVER : ADS_LOCAL_SERVER;
    return AE_SUCCESS;
}

UNSIGNED32 AdsDDCreate(UNSIGNED8* pucDictionaryPath, UNSIGNED16 usEncrypt,
                       UNSIGNED8* pucDescription, ADSHANDLE* phDictionary) {
    if (!phDictionary)
        return fail(AE_INVALID_ARGUMENT, "No place given for the connection handle.");
    *phDictionary = 0;
    if (usEncrypt != 0)
        return fail(AE_NOT_SUPPORTED, "Encrypted data dictionaries are not supported.");
    if (std::string given = text(pucDictionaryPath); engine::isServerPath(given)) {
        engine::ServerPath path;
        if (UNSIGNED32 rc = engine::parseServerPath(given, path)) return rc;
        if (!path.namesDictionary())
            return fail(AE_INVALID_ARGUMENT, "The data dictionary name " + path.masked() +
                                                 " must end in .ADD, as in COMPANY.ADD.");
        std::unique_ptr<engine::postgres::ServerDictionary> dictionary;
        if (UNSIGNED32 rc =
                engine::postgres::ServerDictionary::create(path, text(pucDescription), dictionary))
            return rc;
        return addServerDictionary(std::move(dictionary), engine::Dictionary::kAdministrator,
                                   phDictionary);
    }
    std::unique_ptr<engine::FileDictionary> dictionary;
    if (UNSIGNED32 rc = engine::FileDictionary::create(text(pucDictionaryPath),
                                                       text(pucDescription), dictionary))
        return rc;
    std::string path = dictionary->path();
    std::string folder = dictionary->folder();
    *phDictionary = engine::HandleRegistry::instance().add(std::make_shared<engine::Connection>(
        path, folder, std::shared_ptr<engine::Dictionary>(std::move(dictionary)),
        engine::Dictionary::kAdministrator));
    return AE_SUCCESS;
}

UNSIGNED32 AdsDDCreateUser(ADSHANDLE hDictionary, UNSIGNED8* pucGroupName, UNSIGNED8* pucUserName,
                           UNSIGNED8* pucPassword, UNSIGNED8* pucDescription) {
    auto connection = dictionaryConnection(hDictionary);
    if (!connection) return engine::lastError().code;
    if (UNSIGNED32 rc = requireAdministrator(*connection)) return rc;
    return connection->dictionary()->createUser(text(pucUserName), text(pucPassword),
                                                text(pucGroupName), text(pucDescription));
}

UNSIGNED32 AdsDDAddTable(ADSHANDLE hDictionary, UNSIGNED8* pucTableName, UNSIGNED8* pucTablePath,
                         UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED8* pucIndexFiles,
                         UNSIGNED8* pucComments) {
    auto connection = dictionaryConnection(hDictionary);
    if (!connection) return engine::lastError().code;
    if (UNSIGNED32 rc = requireAdministrator(*connection)) return rc;
    return connection->dictionary()->addTable(text(pucTableName), text(pucTablePath), usTableType,
                                              usCharType, text(pucIndexFiles), text(pucComments));
}

UNSIGNED32 AdsDDSetTableProperty(ADSHANDLE hDictionary, UNSIGNED8* pucTableName,
                                 UNSIGNED16 usPropertyID, void* pvProperty,
                                 UNSIGNED16 usPropertyLen) {
    auto connection = dictionaryConnection(hDictionary);
    if (!connection) return engine::lastError().code;
    if (UNSIGNED32 rc = requireAdministrator(*connection)) return rc;
    std::string value;
    if (pvProperty && usPropertyLen > 0) {
        value.assign(static_cast<const char*>(pvProperty), usPropertyLen);
        value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
    }
    return connection->dictionary()->setTableProperty(text(pucTableName), usPropertyID, value);
}

UNSIGNED32 AdsDDSetUserProperty(ADSHANDLE hDictionary, UNSIGNED8* pucUserName,
                                UNSIGNED16 usPropertyID, void* pvProperty,
                                UNSIGNED16 usPropertyLen) {
    auto connection = dictionaryConnection(hDictionary);
    if (!connection) return engine::lastError().code;
    std::string user = text(pucUserName);
    if (usPropertyID != ADS_DD_USER_PASSWORD && usPropertyID != ADS_DD_USER_PASSWORD_HASH)
        return fail(AE_NOT_SUPPORTED, "User property " + std::to_string(usPropertyID) +
                                          " is not supported; only the password (" +
                                          std::to_string(ADS_DD_USER_PASSWORD) +
                                          ") and its hash (" +
                                          std::to_string(ADS_DD_USER_PASSWORD_HASH) + ") are.");
    // A stored hash is the administrator's to give, even for their own password.
    bool own = usPropertyID == ADS_DD_USER_PASSWORD &&
               strcasecmp(user.c_str(), connection->user().c_str()) == 0;
    if (!own)
        if (UNSIGNED32 rc = requireAdministrator(*connection)) return rc;
    std::string value;
    if (pvProperty && usPropertyLen > 0) {
        value.assign(static_cast<const char*>(pvProperty), usPropertyLen);
        value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
    }
    if (usPropertyID == ADS_DD_USER_PASSWORD_HASH)
        return connection->dictionary()->setPasswordHash(user, value);
    return connection->dictionary()->setPassword(user, value);
}

UNSIGNED32 AdsDDGetTableProperty(ADSHANDLE hDictionary, UNSIGNED8* pucTableName,
                                 UNSIGNED16 usPropertyID, void* pvProperty,
                                 UNSIGNED16* pusPropertyLen) {
    auto connection = dictionaryConnection(hDictionary);
    if (!connection) return engine::lastError().code;
    std::string value;
    if (UNSIGNED32 rc =
            connection->dictionary()->tableProperty(text(pucTableName), usPropertyID, value))
        return rc;
    return engine::copyOut(value, static_cast<UNSIGNED8*>(pvProperty), pusPropertyLen,
                           "the table property");
}

UNSIGNED32 AdsDDGetDatabaseProperty(ADSHANDLE hDictionary, UNSIGNED16 usPropertyID,
                                    void* pvProperty, UNSIGNED16* pusPropertyLen) {
    auto connection = dictionaryConnection(hDictionary);
    if (!connection) return engine::lastError().code;
    if (usPropertyID != ADS_DD_COMMENT)
        return fail(AE_NOT_SUPPORTED, "Data dictionary property " + std::to_string(usPropertyID) +
                                          " is not supported; only its description (" +
                                          std::to_string(ADS_DD_COMMENT) + ") is.");
    std::string value;
    if (UNSIGNED32 rc = connection->dictionary()->description(value)) return rc;
    return engine::copyOut(value, static_cast<UNSIGNED8*>(pvProperty), pusPropertyLen,
                           "the dictionary's description");
}

UNSIGNED32 AdsDDGetUserProperty(ADSHANDLE hDictionary, UNSIGNED8* pucUserName,
                                UNSIGNED16 usPropertyID, void* pvProperty,
                                UNSIGNED16* pusPropertyLen) {
    auto connection = dictionaryConnection(hDictionary);
    if (!connection) return engine::lastError().code;
    if (usPropertyID != ADS_DD_USER_PASSWORD_HASH)
        return fail(AE_NOT_SUPPORTED, "User property " + std::to_string(usPropertyID) +
                                          " cannot be read; only the password hash (" +
                                          std::to_string(ADS_DD_USER_PASSWORD_HASH) + ") can.");
    if (UNSIGNED32 rc = requireAdministrator(*connection)) return rc;
    std::string hash;
    if (UNSIGNED32 rc = connection->dictionary()->passwordHash(text(pucUserName), hash)) return rc;
    return engine::copyOut(hash, static_cast<UNSIGNED8*>(pvProperty), pusPropertyLen,
                           "the password hash");
}

UNSIGNED32 AdsDDRemove(ADSHANDLE hDictionary) {
    auto connection = dictionaryConnection(hDictionary);
    if (!connection) return engine::lastError().code;
    if (UNSIGNED32 rc = requireAdministrator(*connection)) return rc;
    if (UNSIGNED32 rc = connection->dictionary()->remove()) return rc;
    return AdsDisconnect(hDictionary);
}

}  // extern "C"
