// Data dictionaries: an .ADD file is a SQLite database with the dictionary's users, its tables
// and their properties, and the dictionary's own properties. Internal to engine/.
//
// Every change is one IMMEDIATE transaction; the file is opened read-write with a busy timeout
// so that several processes can connect at once. User names and table names compare without
// regard to case; a table name is the same with or without ".adt".
#ifndef VELDA_ENGINE_DICTIONARY_H
#define VELDA_ENGINE_DICTIONARY_H

#include <memory>
#include <mutex>
#include <string>

#include "engine/ace.h"
#include "engine/sqlite/sqlite.h"

namespace engine {

class Dictionary {
  public:
    // The user every new dictionary gets: its administrator, with an empty password.
    static constexpr const char* kAdministrator = "ADSSYS";

    // Opens an existing dictionary file. The path is normalised and resolved without regard
    // to case. Missing file: AE_FILE_NOT_FOUND; empty, foreign or damaged file:
    // AE_NOT_A_DICTIONARY. Every text names the file.
    [[nodiscard]] static UNSIGNED32 open(const std::string& path, std::unique_ptr<Dictionary>& out);

    // Creates a new dictionary file (AE_ALREADY_EXISTS when one is there) holding only the
    // administrator. The file appears complete or not at all.
    [[nodiscard]] static UNSIGNED32 create(const std::string& path, const std::string& description,
                                           std::unique_ptr<Dictionary>& out);

    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }

    // Checks a user name and password. On success user holds the name as registered.
    // A wrong name and a wrong password fail alike (AE_LOGIN_FAILED), in about the same time.
    [[nodiscard]] UNSIGNED32 login(const std::string& userName, const std::string& password,
                                   std::string& user) const;
    bool isAdministrator(const std::string& user) const;

    // The longest user name a dictionary takes.
    static constexpr size_t kMaxUserName = 50;
    // AE_INVALID_ARGUMENT for a name that is empty, longer than kMaxUserName or holds a control
    // character.
    [[nodiscard]] UNSIGNED32 createUser(const std::string& name, const std::string& password,
                                        const std::string& group, const std::string& description);
    // Replaces a user's password (the name compares without regard to case);
    // AE_INVALID_ARGUMENT when the user is not there.
    [[nodiscard]] UNSIGNED32 setPassword(const std::string& name, const std::string& password);

    // Registers a table file; tablePath is relative to the dictionary's folder or absolute, and
    // the file must exist (found without regard to case, ".adt" added without an extension).
    [[nodiscard]] UNSIGNED32 addTable(const std::string& name, const std::string& tablePath,
                                      UNSIGNED16 tableType, UNSIGNED16 charType,
                                      const std::string& indexFiles, const std::string& comments);

    // The file registered under name, joined with the dictionary's folder when relative.
    // AE_NOT_IN_DICTIONARY when the name is not registered.
    [[nodiscard]] UNSIGNED32 tableFile(const std::string& name, std::string& file) const;

    // Table properties (only ADS_DD_TABLE_DEFAULT_INDEX is offered). An empty value removes the
    // property; reading one that is not set answers AE_PROPERTY_NOT_SET.
    [[nodiscard]] UNSIGNED32 setTableProperty(const std::string& table, UNSIGNED16 property,
                                              const std::string& value);
    [[nodiscard]] UNSIGNED32 tableProperty(const std::string& table, UNSIGNED16 property,
                                           std::string& value) const;

  private:
    Dictionary(std::string path, sql::Database db);

    [[nodiscard]] UNSIGNED32 sqlFailure(int rc, const std::string& doing) const;
    [[nodiscard]] UNSIGNED32 notInDictionary(const std::string& table) const;
    bool tableRegistered(const std::string& key, UNSIGNED32& rc) const;

    std::string path_;
    std::string folder_;
    mutable std::mutex mutex_;  // one SQLite connection, used by one call at a time
    sql::Database db_;
};

}  // namespace engine

#endif
