// The connection component: one engine connection to a folder of free tables or to a data
// dictionary file (a path containing ".ADD"), the datasets registered with it, the aliases of
// ADS.INI and the engine connections the layer shares between datasets by folder path.
//
// Limits: a connect path holds at most 254 characters, a user name and a password at most 260
// each; longer values are refused with an AdsConnectionError rather than cut, since a cut path
// or password would reach a different database or fail in a way that hides the cause.
#ifndef VELDA_ADS_ADSCNNCT_H
#define VELDA_ADS_ADSCNNCT_H

#include <cstddef>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ads/adsdata.h"
#include "engine/ace.h"
#include "rtl/component.h"
#include "rtl/exception.h"

namespace ads {

// An engine failure of a connection-level call: the engine's last error, its code and its text
// as the message (see EngineFailure).
class AdsError : public rtl::Exception {
  public:
    explicit AdsError(UNSIGNED32 result);
    UNSIGNED32 ErrorCode() const { return code_; }

  private:
    UNSIGNED32 code_ = 0;
};

// A check of the connection component itself failed.
class AdsConnectionError : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

inline constexpr std::size_t kMaxConnectPath = 254;
inline constexpr std::size_t kMaxCredential = 260;

enum TAdsServerType { stADS_REMOTE, stADS_LOCAL, stADS_AIS };
using TAdsServerTypes = std::set<TAdsServerType>;

// The table type an alias of ADS.INI gives a connection.
enum TAdsAliasTableType { attNone = 0, attCDX = 1, attNTX = 2, attADT = 3 };

// An entry of section "Databases" of ADS.INI: "path" or "path;letter" (C, N or A).
struct TAdsAlias {
    std::string Path;
    TAdsAliasTableType ConnectionType = attNone;  // the letter's type; none without one
    TAdsTableTypes DataSetType = ttAdsADT;        // N gives NTX, C gives CDX, anything else ADT
};
// Reads ADS.INI from the program folder when it is there, else the bare name "ADS.INI". An
// alias is found when its path is not empty.
bool LookupAlias(const std::string& alias, TAdsAlias& found);

class TAdsConnection;
using TNotifyEvent = std::function<void(rtl::TComponent* Sender)>;
using TAdsDatabaseLoginEvent =
    std::function<void(TAdsConnection* connection, std::string& username, std::string& password)>;
// The login dialog shown for a dictionary connection with LoginPrompt and no OnLogin: given the
// connection's name and the user name to show, returns whether the user confirmed, with the
// user name and password entered.
using TAdsLoginDialog = std::function<bool(const std::string& databaseName, std::string& username,
                                           std::string& password)>;

class TAdsConnection : public rtl::TComponent {
  public:
    explicit TAdsConnection(rtl::TComponent* owner = nullptr);
    ~TAdsConnection() override;

    const std::string& AliasName() const { return aliasName_; }
    virtual void SetAliasName(const std::string& value);
    bool IsConnected() const { return connected_; }
    virtual void SetIsConnected(bool value);
    virtual std::string ConnectPath() const { return connectPath_; }
    virtual void SetConnectPath(const std::string& value);
    // The path the engine reports for the live connection.
    virtual std::string ServerName();
    // The engine handle while connected, else 0.
    virtual ADSHANDLE ConnectionHandle() const { return connected_ ? handle_ : 0; }

    const TAdsServerTypes& AdsServerTypes() const { return serverTypes_; }
    void SetAdsServerTypes(TAdsServerTypes value) { serverTypes_ = std::move(value); }
    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool value) { loginPrompt_ = value; }
    const std::string& Username() const { return username_; }
    void SetUsername(const std::string& value) { username_ = value; }
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& value) { password_ = value; }
    bool MiddleTierConnection() const { return middleTier_; }
    void SetMiddleTierConnection(bool value) { middleTier_ = value; }
    bool StoreConnected() const { return storeConnected_; }
    void SetStoreConnected(bool value) { storeConnected_ = value; }
    bool StoredProcedureConnection() const { return storedProcedure_; }
    void SetStoredProcedureConnection(bool value) { storedProcedure_ = value; }
    // Every table and query opened through a read-only connection opens read-only.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }

    TAdsDatabaseLoginEvent OnLogin;
    TNotifyEvent BeforeConnect, AfterConnect, OnConnect;
    TNotifyEvent BeforeDisconnect, AfterDisconnect, OnDisconnect;
    TNotifyEvent AfterCommit, BeforeCommit, AfterRollback, BeforeRollback;

    // "Local", "Remote" or "Internet"; empty while not connected or for another kind.
    virtual std::string GetConnectionKind();
    // Whether the engine has a transaction open on the connection; needs a live connection.
    virtual bool GetTransactionActive();
    virtual TAdsDataSet* RegisteredDataSet(int index) const;
    virtual int RegisteredDataSetCount() const;
    // The connection keeps no statement cache, so there is nothing to close.
    virtual void CloseCachedStatements() {}

    virtual void DoAfterCommit();
    virtual void DoBeforeCommit();
    virtual void DoAfterRollback();
    virtual void DoBeforeRollback();
    virtual void DoOnConnect();
    virtual void DoOnDisconnect();

    // Whether the path in force names a data dictionary (contains ".ADD" in any case).
    virtual bool UsesDictionary() const { return usesDictionary_; }
    virtual void InternalConnect(const std::string& path);
    virtual void Connect() { SetIsConnected(true); }
    virtual void Disconnect() { SetIsConnected(false); }
    virtual void RegisterDataSet(TAdsDataSet* dataSet);
    // The folder of the tables: the effective path, without its file name when it names a file
    // with a three-letter extension (".\" when it has no folder part).
    virtual std::string GetDataFolder() const;
    // ConnectPath, else the alias path.
    virtual std::string GetEffectivePath() const;
    virtual TAdsAliasTableType GetAliasTableType() const { return aliasTableType_; }
    virtual void UnregisterDataSet(TAdsDataSet* dataSet);

    // The engine's transaction on this connection. Without a connection these raise "No
    // connection to database server."; an engine refusal (none open, one open already) raises
    // its error. Commit fires BeforeCommit, commits, then AfterCommit; Rollback likewise.
    virtual void BeginTransaction();
    virtual void Commit();
    virtual void Rollback();

    // The standard login dialog, replaceable by the window layer. The default cancels.
    static void SetLoginDialog(TAdsLoginDialog dialog);

  protected:
    void Loaded() override;
    void NameChanged() override;

    // The engine connect call; a seam so that tests can watch what is handed to the engine.
    virtual UNSIGNED32 EngineConnect(const std::string& path, UNSIGNED16 serverTypes,
                                     const std::string& username, const std::string& password,
                                     UNSIGNED32 options, ADSHANDLE* handle);

  private:
    void connectNow();
    void disconnectNow();
    void fire(const TNotifyEvent& event);
    void requireConnection() const;
    void applyAliasTypeToOwnDataSets();

    std::string aliasName_;
    std::string connectPath_;
    TAdsServerTypes serverTypes_;
    bool loginPrompt_ = true;
    std::string username_;
    std::string password_;
    bool middleTier_ = false;
    bool storeConnected_ = true;
    bool storedProcedure_ = false;
    bool readOnly_ = false;

    ADSHANDLE handle_ = 0;
    bool connected_ = false;
    bool usesDictionary_ = false;
    std::string aliasPath_;
    TAdsAliasTableType aliasTableType_ = attNone;
    bool aliasValid_ = true;
    bool connectAfterLoad_ = false;
    bool inTransaction_ = false;
    std::vector<TAdsDataSet*> dataSets_;  // registered, not owned
};

// Every TAdsConnection alive, in creation order.
TObjectRegistry<TAdsConnection>& AllConnections();

// One engine connection the layer made for a folder path.
struct TDynamicConn {
    ADSHANDLE Handle = 0;
    std::string Path;
};

// The engine connections shared by datasets that name a folder without a connection component:
// one per path (compared without regard to case), made on first need, closed at program end.
class TDynamicConnList {
  public:
    TDynamicConnList();
    ~TDynamicConnList();
    TDynamicConnList(const TDynamicConnList&) = delete;
    TDynamicConnList& operator=(const TDynamicConnList&) = delete;

    // The handle for the path, or 0.
    ADSHANDLE FindConnection(const std::string& path) const;
    // Connects to the path (engine failures raise EADSDatabaseError) and records the handle;
    // when another caller recorded the path meanwhile, that handle is returned instead.
    ADSHANDLE AddConnection(const std::string& path);
    int Count() const;

  private:
    mutable std::mutex mutex_;
    std::vector<TDynamicConn> entries_;
};

TDynamicConnList& DynamicConnections();

}  // namespace ads

#endif
