// Data dictionaries: a company's users (salted password hashes, engine/password_hash.h), its
// registered tables with their properties, and the dictionary's own description. Internal to
// engine/.
//
// Where a dictionary lives is its backend's: an .ADD file in a folder (engine/sqlite/dictionary.h)
// or the catalog of a database on a server (engine/postgres/dictionary.h). What every place
// shares lives here, so that both answer with the same codes and texts: the checks of names and
// arguments, the login and its timing, and the words of every refusal. A backend stores and
// finds; it fails only for its storage (locked, damaged, unreachable), with its own text.
//
// User names and table names compare without regard to case (ASCII letters, as the key() of a
// name); a table name is the same with or without ".adt". A change is one transaction of the
// backend, independent of any engine transaction of the connection, so that several processes
// may connect and change a dictionary at once.
#ifndef VELDA_ENGINE_DICTIONARY_H
#define VELDA_ENGINE_DICTIONARY_H

#include <string>
#include <vector>

#include "engine/ace.h"

namespace engine {

class Dictionary {
  public:
    // The user every new dictionary gets: its administrator, with an empty password.
    static constexpr const char* kAdministrator = "ADSSYS";
    // The longest user name a dictionary takes.
    static constexpr size_t kMaxUserName = 50;

    virtual ~Dictionary();
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    // The dictionary as texts name it: its file, or its server path with the password masked.
    const std::string& path() const { return path_; }

    // Checks a user name and password. On success user holds the name as registered.
    // A wrong name and a wrong password fail alike (AE_LOGIN_FAILED), in about the same time.
    [[nodiscard]] UNSIGNED32 login(const std::string& userName, const std::string& password,
                                   std::string& user) const;
    // Whether user is the dictionary's administrator; a failure to read the users is the
    // storage's, never a plain "no".
    [[nodiscard]] UNSIGNED32 isAdministrator(const std::string& user, bool& administrator) const;

    // AE_INVALID_ARGUMENT for a name that is empty, longer than kMaxUserName or holds a control
    // character; AE_ALREADY_EXISTS when a user of that name (in any case) is there.
    [[nodiscard]] UNSIGNED32 createUser(const std::string& name, const std::string& password,
                                        const std::string& group, const std::string& description);
    // Replaces a user's password (the name compares without regard to case);
    // AE_INVALID_ARGUMENT when the user is not there.
    [[nodiscard]] UNSIGNED32 setPassword(const std::string& name, const std::string& password);

    // Registers a table; tablePath is relative to the dictionary's folder or absolute, and the
    // table must exist there (".adt" added without an extension): AE_FILE_NOT_FOUND otherwise.
    [[nodiscard]] UNSIGNED32 addTable(const std::string& name, const std::string& tablePath,
                                      UNSIGNED16 tableType, UNSIGNED16 charType,
                                      const std::string& indexFiles, const std::string& comments);

    // The path registered under name as stored: relative to the dictionary's folder, or
    // absolute. AE_NOT_IN_DICTIONARY when the name is not registered.
    [[nodiscard]] UNSIGNED32 tablePath(const std::string& name, std::string& stored) const;

    // Table properties (only ADS_DD_TABLE_DEFAULT_INDEX is offered; ADS_DD_TABLE_PATH reads as
    // tablePath()). An empty value removes the property; reading one that is not set answers
    // AE_PROPERTY_NOT_SET.
    [[nodiscard]] UNSIGNED32 setTableProperty(const std::string& table, UNSIGNED16 property,
                                              const std::string& value);
    [[nodiscard]] UNSIGNED32 tableProperty(const std::string& table, UNSIGNED16 property,
                                           std::string& value) const;

    // The names of its users, or of its registered tables, as registered, sorted without regard
    // to case.
    [[nodiscard]] UNSIGNED32 userNames(std::vector<std::string>& out) const;
    [[nodiscard]] UNSIGNED32 tableNames(std::vector<std::string>& out) const;
    // The description the dictionary was created with.
    [[nodiscard]] UNSIGNED32 description(std::string& out) const;
    // A user's password as stored: its salted hash (engine/password_hash.h), never the password.
    // AE_INVALID_ARGUMENT when the user is not there.
    [[nodiscard]] UNSIGNED32 passwordHash(const std::string& name, std::string& hash) const;
    // Stores a hash another dictionary keeps (passwordHash) as a user's password, so that the
    // user logs in with the password they had there. AE_INVALID_ARGUMENT for a text that is not
    // such a hash (isPasswordHash), or a user not there.
    [[nodiscard]] UNSIGNED32 setPasswordHash(const std::string& name, const std::string& hash);
    // Removes the dictionary with its users, registrations and properties; the tables stay. The
    // dictionary answers nothing sensible afterwards: its connection is closed with it.
    [[nodiscard]] UNSIGNED32 remove();

    // The key a user or table name is registered under: ASCII letters in upper case; a table's
    // without a trailing ".ADT".
    static std::string userKey(const std::string& name);
    static std::string tableKey(const std::string& name);

  protected:
    explicit Dictionary(std::string path) : path_(std::move(path)) {}

    struct User {
        std::string name;  // as registered
        std::string hash;
        bool administrator = false;
    };
    struct TableEntry {
        std::string key, name, stored;
        UNSIGNED16 charType = ADS_ANSI;
        std::string indexFiles, comments;
    };

    // The backend's part. Each answers AE_SUCCESS, or fails (fail()) for its storage only; the
    // names given are the caller's, for texts.
    [[nodiscard]] virtual UNSIGNED32 findUser(const std::string& key, bool& found,
                                              User& user) const = 0;
    // added is false when a user of that key is there already.
    [[nodiscard]] virtual UNSIGNED32 insertUser(const std::string& key, const User& user,
                                                const std::string& group,
                                                const std::string& description, bool& added) = 0;
    [[nodiscard]] virtual UNSIGNED32 updatePassword(const std::string& key, const std::string& name,
                                                    const std::string& hash, bool& found) = 0;
    // Finds the table that tablePath names (as addTable takes it): AE_FILE_NOT_FOUND when it is
    // not there. stored is what to register: relative to the dictionary's folder when given so
    // and lying below it, else absolute.
    [[nodiscard]] virtual UNSIGNED32 locateTable(const std::string& tablePath,
                                                 std::string& stored) const = 0;
    // added is false when a table of that key is registered already.
    [[nodiscard]] virtual UNSIGNED32 insertTable(const TableEntry& table, bool& added) = 0;
    [[nodiscard]] virtual UNSIGNED32 findTable(const std::string& key, const std::string& name,
                                               bool& found, std::string& stored) const = 0;
    // Sets the property (removes it when value is empty) in one transaction with the check that
    // the table is registered; registered is false (and nothing changed) when it is not.
    [[nodiscard]] virtual UNSIGNED32 writeTableProperty(const std::string& key,
                                                        const std::string& table,
                                                        UNSIGNED16 property,
                                                        const std::string& value,
                                                        bool& registered) = 0;
    [[nodiscard]] virtual UNSIGNED32 readTableProperty(const std::string& key,
                                                       const std::string& table,
                                                       UNSIGNED16 property, bool& registered,
                                                       bool& found, std::string& value) const = 0;

    // The names of the users (users) or registered tables, as registered, in any order.
    [[nodiscard]] virtual UNSIGNED32 listNames(bool users, std::vector<std::string>& out) const = 0;
    [[nodiscard]] virtual UNSIGNED32 readDescription(std::string& out) const = 0;
    // Removes the whole dictionary in one step: it is there as it was, or gone.
    [[nodiscard]] virtual UNSIGNED32 removeAll() = 0;

  private:
    [[nodiscard]] UNSIGNED32 notInDictionary(const std::string& table) const;
    // Stores a hash made or checked by the caller as the user's password.
    [[nodiscard]] UNSIGNED32 storePasswordHash(const std::string& name, const std::string& hash);

    std::string path_;
};

}  // namespace engine

#endif
