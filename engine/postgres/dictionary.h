// A data dictionary in a database on a PostgreSQL server (engine/dictionary.h says what a
// dictionary keeps and answers). Internal to engine/.
//
// The database keeps its dictionaries in a catalog of their own, made at the first use beside the
// catalog of tables (engine/postgres/table.h):
//   velda_dictionaries           id, folder and name (lower case, "company/a01", "a01.add"), the
//                                path as it was created (for texts), the description
//   velda_dictionary_users       per dictionary: the user's key (the name in upper case), the name
//                                as registered, the salted password hash (never the password),
//                                the administrator flag, group and description
//   velda_dictionary_tables      per dictionary: the table's key, name, path (relative to the
//                                dictionary's folder, or from the database's top after a "/"),
//                                type, character type, index files, comments
//   velda_dictionary_properties  per registered table: property number and value
// Texts are kept in UTF-8 and read back in Windows-1252, as the engine's texts are.
//
// A dictionary has a session of its own, beside the one its connection's tables share: a change
// of the dictionary is one server transaction of its own, never part of (or undone with) an
// engine transaction of the tables, as with a dictionary file in a folder.
#ifndef VELDA_ENGINE_POSTGRES_DICTIONARY_H
#define VELDA_ENGINE_POSTGRES_DICTIONARY_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/dictionary.h"
#include "engine/postgres/session.h"
#include "engine/server_path.h"

namespace engine::postgres {

class ServerDictionary final : public Dictionary {
  public:
    // Opens the dictionary the path names (its last name ends in ".ADD"): AE_SERVER_CONNECT when
    // the server cannot be reached, AE_FILE_NOT_FOUND when the database has no such dictionary.
    [[nodiscard]] static UNSIGNED32 open(const ServerPath& path,
                                         std::unique_ptr<ServerDictionary>& out);
    // Creates one holding only the administrator (AE_ALREADY_EXISTS when one is there); it
    // appears complete or not at all.
    [[nodiscard]] static UNSIGNED32 create(const ServerPath& path, const std::string& description,
                                           std::unique_ptr<ServerDictionary>& out);

    // The folder the dictionary lies in, which relative table paths start from.
    const ServerPath& folder() const { return folder_; }

  private:
    ServerDictionary(std::shared_ptr<Session> session, ServerPath folder, std::string shown,
                     int64_t id);

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

    // The failed statement's code and text: "could not <doing>" in the data dictionary.
    [[nodiscard]] UNSIGNED32 failed(const Result& result, const std::string& doing) const;

    std::shared_ptr<Session> session_;
    ServerPath folder_;
    int64_t id_ = 0;
};

}  // namespace engine::postgres

#endif
