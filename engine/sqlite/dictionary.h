// A data dictionary in a folder: an .ADD file that is a SQLite database holding the dictionary's
// users, its tables and their properties, and its own properties (engine/dictionary.h says what
// a dictionary keeps and answers). Internal to engine/.
//
// Every change is one IMMEDIATE transaction; the file is opened read-write with a busy timeout
// so that several processes can connect at once. A registered table's path is kept relative to
// the dictionary's folder when it was given so, so that the folder can move as a whole.
#ifndef VELDA_ENGINE_SQLITE_DICTIONARY_H
#define VELDA_ENGINE_SQLITE_DICTIONARY_H

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/dictionary.h"
#include "engine/sqlite/sqlite.h"

namespace engine {

class FileDictionary final : public Dictionary {
  public:
    // Opens an existing dictionary file. The path is normalised and resolved without regard
    // to case. Missing file: AE_FILE_NOT_FOUND; empty, foreign or damaged file:
    // AE_NOT_A_DICTIONARY. Every text names the file.
    [[nodiscard]] static UNSIGNED32 open(const std::string& path,
                                         std::unique_ptr<FileDictionary>& out);

    // Creates a new dictionary file (AE_ALREADY_EXISTS when one is there) holding only the
    // administrator. The file appears complete or not at all.
    [[nodiscard]] static UNSIGNED32 create(const std::string& path, const std::string& description,
                                           std::unique_ptr<FileDictionary>& out);

    // The folder of the dictionary file, which relative table paths start from.
    const std::string& folder() const { return folder_; }

  private:
    FileDictionary(std::string path, sql::Database db);

    UNSIGNED32 findUser(const std::string& key, bool& found, User& user) const override;
    UNSIGNED32 insertUser(const std::string& key, const User& user, const std::string& group,
                          const std::string& description, bool& added) override;
    UNSIGNED32 updatePassword(const std::string& key, const std::string& name,
                              const std::string& hash, bool& found) override;
    UNSIGNED32 locateTable(const std::string& tablePath, std::string& stored) const override;
    UNSIGNED32 insertTable(const TableEntry& table, bool& added) override;
    UNSIGNED32 findTable(const std::string& key, const std::string& name, bool& found,
                         std::string& stored) const override;
    UNSIGNED32 writeTableProperty(const std::string& key, const std::string& table,
                                  UNSIGNED16 property, const std::string& value,
                                  bool& registered) override;
    UNSIGNED32 readTableProperty(const std::string& key, const std::string& table,
                                 UNSIGNED16 property, bool& registered, bool& found,
                                 std::string& value) const override;
    UNSIGNED32 listNames(bool users, std::vector<std::string>& out) const override;
    UNSIGNED32 readDescription(std::string& out) const override;
    UNSIGNED32 removeAll() override;

    [[nodiscard]] UNSIGNED32 sqlFailure(int rc, const std::string& doing) const;
    bool tableRegistered(const std::string& key, UNSIGNED32& rc) const;

    std::string folder_;
    mutable std::mutex mutex_;  // one SQLite connection, used by one call at a time
    sql::Database db_;
};

}  // namespace engine

#endif
