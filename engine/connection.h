// Engine connections: to a folder of free tables, to a data dictionary file, to a database on a
// server, or to a data dictionary on a server. Internal to engine/.
#ifndef VELDA_ENGINE_CONNECTION_H
#define VELDA_ENGINE_CONNECTION_H

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "engine/registry.h"
#include "engine/server_path.h"
#include "engine/transaction.h"

namespace engine {

class Dictionary;
class Storage;
namespace postgres {
class Session;
}

class Connection : public EngineObject {
  public:
    // Free tables in folder (normalised, no trailing "/").
    explicit Connection(std::string folder);
    // A data dictionary file; folder is the file's folder.
    Connection(std::string dictionaryPath, std::string folder,
               std::shared_ptr<Dictionary> dictionary, std::string user);
    // A database on a server (engine/server_path.h) through its session, which its tables and
    // SQL statements share.
    Connection(ServerPath path, std::shared_ptr<postgres::Session> session);
    // A data dictionary on a server: its tables lie on the server of `folder`, the dictionary's
    // folder, and share the session.
    Connection(ServerPath folder, std::shared_ptr<postgres::Session> session,
               std::shared_ptr<Dictionary> dictionary, std::string user);
    ~Connection() override;

    HandleKind kind() const override;
    bool isDictionary() const { return dictionary_ != nullptr; }
    bool onServer() const { return session_ != nullptr; }
    // The session with the server that the tables share; null on a folder or dictionary file
    // connection.
    postgres::Session* session() const { return session_.get(); }
    // The folder of the tables; on a server its path with the password masked, for texts.
    const std::string& folder() const { return folder_; }
    // The folder or dictionary file; on a server the path with its password masked, for texts.
    const std::string& serverPath() const { return serverPath_; }
    // What AdsGetServerName answers: the path, or on a server its host and port.
    std::string serverName() const;
    // The table a name opens, creates or deletes, in this connection's place (table_places.cpp):
    // a folder's file or a server's table, the one resolveTable names (a new table: the name
    // joined to the folder, ".adt" added when the name has no extension).
    [[nodiscard]] UNSIGNED32 openStorage(const std::string& name,
                                         std::shared_ptr<Storage>& out) const;
    [[nodiscard]] UNSIGNED32 createStorage(const std::string& name, const std::string& fields,
                                           std::shared_ptr<Storage>& out) const;
    [[nodiscard]] UNSIGNED32 deleteStorage(const std::string& name) const;
    // The names of the tables in the connection's folder (with their extensions, in any
    // order): a folder's table files or the server's tables of that folder.
    [[nodiscard]] UNSIGNED32 listTables(std::vector<std::string>& out) const;
    // The find handles made on the connection (listing_calls.cpp), which a disconnect closes.
    void addListing(ADSHANDLE listing);
    void dropListing(ADSHANDLE listing);
    std::vector<ADSHANDLE> takeListings();
    Dictionary* dictionary() const { return dictionary_.get(); }
    const std::string& user() const { return user_; }
    // The date format of CTOD in expressions on this connection's tables.
    std::string dateFormat() const;
    void setDateFormat(std::string format);

    // The table file a name opens. A name with a folder part is a path (relative to the data
    // folder unless absolute); on a dictionary connection any other name is looked up in the
    // dictionary (AE_NOT_IN_DICTIONARY when it is not there), and a path must lie in the
    // dictionary's folder or below it (AE_INVALID_ARGUMENT). The result is normalised and
    // resolved without regard to case, ".adt" added when the name has no extension. On a server
    // the same rules give the table's server path (resolveServerTable, for server connections
    // only), and file is that path with its password masked.
    [[nodiscard]] UNSIGNED32 resolveTable(const std::string& name, std::string& file) const;
    [[nodiscard]] UNSIGNED32 resolveServerTable(const std::string& name, ServerPath& out) const;

    // The connection's engine transaction (transaction.h).
    Transaction& transaction() { return *transaction_; }
    // The same, for the table handles opened on the connection: they keep it, so that a call on
    // a handle need not look the connection up to join its transaction.
    std::shared_ptr<Transaction> sharedTransaction() const { return transaction_; }

  private:
    [[nodiscard]] UNSIGNED32 serverTablePath(const std::string& name, ServerPath& out) const;
    [[nodiscard]] UNSIGNED32 outsideFolder(const std::string& name) const;

    std::string serverPath_;
    std::string folder_;
    ServerPath server_;
    std::shared_ptr<postgres::Session> session_;
    std::shared_ptr<Dictionary> dictionary_;
    std::string user_;
    std::shared_ptr<Transaction> transaction_ = std::make_shared<Transaction>();
    std::mutex listingsMutex_;
    std::vector<ADSHANDLE> listings_;
    mutable std::mutex dateFormatMutex_;
    std::string dateFormat_ = "MM/DD/YYYY";
};

// The connection a handle names, or null after failing with AE_INVALID_CONNECTION.
std::shared_ptr<Connection> connectionFor(ADSHANDLE handle);

}  // namespace engine

#endif
