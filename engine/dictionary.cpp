#include "engine/dictionary.h"

#include <algorithm>
#include <cctype>

#include "engine/last_error.h"
#include "engine/password_hash.h"
#include "engine/paths.h"

namespace engine {

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return c < 0x80 ? static_cast<char>(std::toupper(c)) : static_cast<char>(c);
    });
    return text;
}

}  // namespace

Dictionary::~Dictionary() = default;

std::string Dictionary::userKey(const std::string& name) {
    return upper(name);
}

std::string Dictionary::tableKey(const std::string& name) {
    std::string key = upper(name);
    if (key.size() > 4 && key.compare(key.size() - 4, 4, ".ADT") == 0) key.resize(key.size() - 4);
    return key;
}

UNSIGNED32 Dictionary::notInDictionary(const std::string& table) const {
    return fail(AE_NOT_IN_DICTIONARY,
                "Table " + table + " is not in the data dictionary " + path_ + ".");
}

UNSIGNED32 Dictionary::login(const std::string& userName, const std::string& password,
                             std::string& user) const {
    bool known = false;
    User found;
    if (UNSIGNED32 rc = findUser(userKey(userName), known, found)) return rc;
    if (!sodiumReady()) return fail(AE_INTERNAL, "The password library could not start.");
    // An unknown name costs a verification too, so that the time taken does not tell which of
    // the two was wrong.
    bool matches = verifyPassword(known ? found.hash : decoyHash(), password);
    if (!known || !matches)
        return fail(
            AE_LOGIN_FAILED,
            "The user name or password is not valid for the data dictionary " + path_ + ".");
    user = found.name;
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::isAdministrator(const std::string& user, bool& administrator) const {
    bool known = false;
    User found;
    if (UNSIGNED32 rc = findUser(userKey(user), known, found)) return rc;
    administrator = known && found.administrator;
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::createUser(const std::string& name, const std::string& password,
                                  const std::string& group, const std::string& description) {
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No user name given.");
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F)
            return fail(AE_INVALID_ARGUMENT,
                        "A user name cannot hold control characters (character " +
                            std::to_string(c) + " given).");
    if (name.size() > kMaxUserName)
        return fail(AE_INVALID_ARGUMENT, "The user name " + name.substr(0, 20) + "... has " +
                                             std::to_string(name.size()) +
                                             " characters; a user name has at most " +
                                             std::to_string(kMaxUserName) + ".");
    User user;
    user.name = name;
    if (!hashPassword(password, user.hash))
        return fail(AE_INTERNAL, "Could not hash the password of user " + name + ".");
    bool added = false;
    if (UNSIGNED32 rc = insertUser(userKey(name), user, group, description, added)) return rc;
    if (!added)
        return fail(AE_ALREADY_EXISTS,
                    "User " + name + " is already in the data dictionary " + path_ + ".");
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::setPassword(const std::string& name, const std::string& password) {
    std::string hash;
    if (!hashPassword(password, hash))
        return fail(AE_INTERNAL, "Could not hash the password of user " + name + ".");
    return storePasswordHash(name, hash);
}

UNSIGNED32 Dictionary::addTable(const std::string& name, const std::string& tablePath,
                                UNSIGNED16 tableType, UNSIGNED16 charType,
                                const std::string& indexFiles, const std::string& comments) {
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No table name given.");
    if (paths::hasSeparator(name))
        return fail(AE_INVALID_ARGUMENT,
                    "The dictionary table name " + name + " cannot contain a folder.");
    if (tablePath.empty())
        return fail(AE_INVALID_ARGUMENT, "No table file given for table " + name + ".");
    if (tableType != ADS_ADT && tableType != ADS_DEFAULT)
        return fail(AE_NOT_SUPPORTED, "Table type " + std::to_string(tableType) +
                                          " is not supported; a dictionary holds ADT tables.");
    TableEntry entry;
    if (UNSIGNED32 rc = locateTable(tablePath, entry.stored)) return rc;
    entry.key = tableKey(name);
    entry.name = name;
    entry.charType = charType;
    entry.indexFiles = indexFiles;
    entry.comments = comments;
    bool added = false;
    if (UNSIGNED32 rc = insertTable(entry, added)) return rc;
    if (!added)
        return fail(AE_ALREADY_EXISTS,
                    "Table " + name + " is already in the data dictionary " + path_ + ".");
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::tablePath(const std::string& name, std::string& stored) const {
    bool found = false;
    if (UNSIGNED32 rc = findTable(tableKey(name), name, found, stored)) return rc;
    return found ? AE_SUCCESS : notInDictionary(name);
}

UNSIGNED32 Dictionary::setTableProperty(const std::string& table, UNSIGNED16 property,
                                        const std::string& value) {
    if (property != ADS_DD_TABLE_DEFAULT_INDEX)
        return fail(AE_NOT_SUPPORTED,
                    "Table property " + std::to_string(property) + " is not supported.");
    bool registered = false;
    if (UNSIGNED32 rc = writeTableProperty(tableKey(table), table, property, value, registered))
        return rc;
    return registered ? AE_SUCCESS : notInDictionary(table);
}

UNSIGNED32 Dictionary::tableProperty(const std::string& table, UNSIGNED16 property,
                                     std::string& value) const {
    if (property == ADS_DD_TABLE_PATH) return tablePath(table, value);
    if (property != ADS_DD_TABLE_DEFAULT_INDEX)
        return fail(AE_NOT_SUPPORTED,
                    "Table property " + std::to_string(property) + " is not supported.");
    bool registered = false, found = false;
    if (UNSIGNED32 rc =
            readTableProperty(tableKey(table), table, property, registered, found, value))
        return rc;
    if (!registered) return notInDictionary(table);
    if (!found)
        return fail(
            AE_PROPERTY_NOT_SET,
            "Table " + table + " has no default index in the data dictionary " + path_ + ".");
    return AE_SUCCESS;
}

namespace {

void sortNames(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        std::string ua = upper(a), ub = upper(b);
        return ua != ub ? ua < ub : a < b;
    });
}

}  // namespace

UNSIGNED32 Dictionary::userNames(std::vector<std::string>& out) const {
    out.clear();
    if (UNSIGNED32 rc = listNames(true, out)) return rc;
    sortNames(out);
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::tableNames(std::vector<std::string>& out) const {
    out.clear();
    if (UNSIGNED32 rc = listNames(false, out)) return rc;
    sortNames(out);
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::description(std::string& out) const {
    out.clear();
    return readDescription(out);
}

UNSIGNED32 Dictionary::passwordHash(const std::string& name, std::string& hash) const {
    bool known = false;
    User found;
    if (UNSIGNED32 rc = findUser(userKey(name), known, found)) return rc;
    if (!known)
        return fail(AE_INVALID_ARGUMENT,
                    "User " + name + " is not in the data dictionary " + path_ + ".");
    hash = found.hash;
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::setPasswordHash(const std::string& name, const std::string& hash) {
    if (!isPasswordHash(hash))
        return fail(AE_INVALID_ARGUMENT, "The password hash given for user " + name +
                                             " is not one this engine makes; the password of " +
                                             name + " is left as it was.");
    return storePasswordHash(name, hash);
}

UNSIGNED32 Dictionary::storePasswordHash(const std::string& name, const std::string& hash) {
    bool found = false;
    if (UNSIGNED32 rc = updatePassword(userKey(name), name, hash, found)) return rc;
    if (!found)
        return fail(AE_INVALID_ARGUMENT,
                    "User " + name + " is not in the data dictionary " + path_ + ".");
    return AE_SUCCESS;
}

UNSIGNED32 Dictionary::remove() {
    return removeAll();
}

}  // namespace engine
