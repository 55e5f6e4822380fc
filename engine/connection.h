// Engine connections: to a folder of free tables, or to a data dictionary file.
// Internal to engine/.
#ifndef VELDA_ENGINE_CONNECTION_H
#define VELDA_ENGINE_CONNECTION_H

#include <memory>
#include <mutex>
#include <string>

#include "engine/ace.h"
#include "engine/registry.h"
#include "engine/transaction.h"

namespace engine {

class Dictionary;

class Connection : public EngineObject {
  public:
    // Free tables in folder (normalised, no trailing "/").
    explicit Connection(std::string folder);
    // A data dictionary; its folder is the dictionary file's folder.
    Connection(std::string dictionaryPath, std::shared_ptr<Dictionary> dictionary,
               std::string user);
    ~Connection() override;

    HandleKind kind() const override;
    bool isDictionary() const { return dictionary_ != nullptr; }
    const std::string& folder() const { return folder_; }
    const std::string& serverPath() const { return serverPath_; }
    Dictionary* dictionary() const { return dictionary_.get(); }
    const std::string& user() const { return user_; }
    // The date format of CTOD in expressions on this connection's tables.
    std::string dateFormat() const;
    void setDateFormat(std::string format);

    // The table file a name opens. A name with a folder part is a path (relative to the data
    // folder unless absolute); on a dictionary connection any other name is looked up in the
    // dictionary (AE_NOT_IN_DICTIONARY when it is not there). The result is normalised and
    // resolved without regard to case, ".adt" added when the name has no extension.
    [[nodiscard]] UNSIGNED32 resolveTable(const std::string& name, std::string& file) const;

    // The connection's engine transaction (transaction.h).
    Transaction& transaction() { return *transaction_; }
    // The same, for the table handles opened on the connection: they keep it, so that a call on
    // a handle need not look the connection up to join its transaction.
    std::shared_ptr<Transaction> sharedTransaction() const { return transaction_; }

  private:
    std::string serverPath_;
    std::string folder_;
    std::shared_ptr<Dictionary> dictionary_;
    std::string user_;
    std::shared_ptr<Transaction> transaction_ = std::make_shared<Transaction>();
    mutable std::mutex dateFormatMutex_;
    std::string dateFormat_ = "MM/DD/YYYY";
};

// The connection a handle names, or null after failing with AE_INVALID_CONNECTION.
std::shared_ptr<Connection> connectionFor(ADSHANDLE handle);

}  // namespace engine

#endif
