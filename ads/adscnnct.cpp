#include "ads/adscnnct.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "ads/engine_text.h"
#include "db/database_error.h"
#include "rtl/busycursor.h"
#include "rtl/inifiles.h"
#include "rtl/progfolder.h"
#include "rtl/serverpath.h"

namespace ads {

namespace {

constexpr UNSIGNED16 kServerNameBuffer = 255;

bool sameText(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool containsDictionaryExtension(const std::string& path) {
    std::string upper(path);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper.find(".ADD") != std::string::npos;
}

TAdsLoginDialog& loginDialog() {
    static TAdsLoginDialog dialog;
    return dialog;
}

}  // namespace

AdsError::AdsError(UNSIGNED32 result) : rtl::Exception("") {
    std::string text;
    EngineFailure(result, code_, text);
    SetMessage(std::move(text));
}
bool LookupAlias(const std::string& alias, TAdsAlias& found) {
    std::string file = rtl::ProgramFolder() + "ADS.INI";
    if (!rtl::FileExists(file)) file = "ADS.INI";
    std::string entry = rtl::TIniFile(file).ReadString("Databases", alias, "");
    std::size_t semicolon = entry.find(';');
    found = TAdsAlias{};
    found.Path = entry.substr(0, semicolon);
    char letter = 0;
    if (semicolon != std::string::npos && semicolon + 1 < entry.size())
        letter = static_cast<char>(std::toupper(static_cast<unsigned char>(entry[semicolon + 1])));
    switch (letter) {
        case 'C':
            found.ConnectionType = attCDX;
            found.DataSetType = ttAdsCDX;
            break;
        case 'N':
            found.ConnectionType = attNTX;
            found.DataSetType = ttAdsNTX;
            break;
        case 'A':
            found.ConnectionType = attADT;
            break;
        default:
            break;
    }
    return !found.Path.empty();
}

TObjectRegistry<TAdsConnection>& AllConnections() {
    static TObjectRegistry<TAdsConnection> registry;
    return registry;
}

// ---------------------------------------------------------------------------------------------
// Connection component

TAdsConnection::TAdsConnection(rtl::TComponent* owner) : rtl::TComponent(owner) {
    AllConnections().Add(this);
}

TAdsConnection::~TAdsConnection() {
    // Nothing may escape a destructor: a dataset that fails to close, an event handler that
    // raises or an engine failure must still leave the component fully taken apart.
    std::vector<TAdsDataSet*> registered = dataSets_;
    dataSets_.clear();
    if (connected_) {
        for (TAdsDataSet* dataSet : registered) {
            try {
                dataSet->SetActive(false);
                dataSet->ReleaseConnectionHandles();
            } catch (...) {
            }
            dataSet->connection_ = nullptr;
        }
        UNSIGNED32 rc = AdsDisconnect(handle_);
        if (rc != AE_SUCCESS && rc != AE_INVALID_CONNECTION) {
            std::string title = "Ads Exception Error";
            (void)AdsShowError(EngineText(title));
        }
        try {
            DoOnDisconnect();
        } catch (...) {
        }
        handle_ = 0;
        connected_ = false;
    } else {
        for (TAdsDataSet* dataSet : registered) dataSet->connection_ = nullptr;
    }
    AllConnections().Remove(this);
}

void TAdsConnection::SetLoginDialog(TAdsLoginDialog dialog) {
    loginDialog() = std::move(dialog);
}

void TAdsConnection::fire(const TNotifyEvent& event) {
    if (event) event(this);
}

void TAdsConnection::DoAfterCommit() {
    fire(AfterCommit);
}
void TAdsConnection::DoBeforeCommit() {
    fire(BeforeCommit);
}
void TAdsConnection::DoAfterRollback() {
    fire(AfterRollback);
}
void TAdsConnection::DoBeforeRollback() {
    fire(BeforeRollback);
}
void TAdsConnection::DoOnConnect() {
    fire(OnConnect);
}
void TAdsConnection::DoOnDisconnect() {
    fire(OnDisconnect);
}

void TAdsConnection::SetConnectPath(const std::string& value) {
    if (connected_)
        throw AdsConnectionError(
            "The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE");
    connectPath_ = value;
    usesDictionary_ = containsDictionaryExtension(value);
    aliasName_.clear();
    aliasPath_.clear();
    aliasTableType_ = attNone;
}

void TAdsConnection::SetAliasName(const std::string& value) {
    if (connected_)
        throw AdsConnectionError(
            "The TAdsConnection.AliasName may not be changed when IsConnected is TRUE");
    aliasValid_ = true;
    aliasName_ = value;
    aliasPath_.clear();
    aliasTableType_ = attNone;
    if (value.empty()) return;
    TAdsAlias alias;
    if (!LookupAlias(value, alias)) {
        aliasValid_ = false;
        return;
    }
    connectPath_.clear();
    aliasPath_ = alias.Path;
    aliasTableType_ = alias.ConnectionType;
    usesDictionary_ = containsDictionaryExtension(aliasPath_);
    applyAliasTypeToOwnDataSets();
}

void TAdsConnection::applyAliasTypeToOwnDataSets() {
    if (!Owner() || aliasTableType_ == attNone) return;
    for (int i = 0; i < Owner()->ComponentCount(); ++i) {
        auto* dataSet = dynamic_cast<TAdsDataSet*>(Owner()->Components(i));
        if (!dataSet || dataSet->connection_ != this) continue;
        if (!dataSet->databaseName_.empty() && dataSet->databaseName_ != Name()) continue;
        dataSet->applyConnectionAliasType();
    }
}

std::string TAdsConnection::GetEffectivePath() const {
    return connectPath_.empty() ? aliasPath_ : connectPath_;
}

std::string TAdsConnection::GetDataFolder() const {
    std::string path = GetEffectivePath();
    // A server path's parameters stay last: the file name is looked for before them.
    std::string parameters;
    if (std::size_t mark = path.find('?'); rtl::IsServerPath(path) && mark != std::string::npos) {
        parameters = path.substr(mark);
        path.resize(mark);
    }
    if (path.size() > 4 && path[path.size() - 4] == '.') {
        std::size_t cut = path.find_last_of("\\/");
        if (cut == std::string::npos) return ".\\";
        path = cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
    }
    return path + parameters;
}

void TAdsConnection::SetIsConnected(bool value) {
    if (value == connected_) return;
    if (!value) {
        disconnectNow();
        return;
    }
    if (Loading()) {
        connectAfterLoad_ = true;
        return;
    }
    connectNow();
}

void TAdsConnection::Loaded() {
    rtl::TComponent::Loaded();
    if (connectAfterLoad_ && !connected_) {
        connectAfterLoad_ = false;
        connectNow();
    }
}

void TAdsConnection::connectNow() {
    if (!aliasValid_) {
        SetAliasName(aliasName_);
        if (!aliasValid_) throw AdsConnectionError("TAdsConnection.AliasName is not valid");
    }
    std::string path = GetEffectivePath();
    if (path.empty())
        throw AdsConnectionError(
            "Must specify connection string before getting a server connection.");
    {
        rtl::ScopedBusyCursor busy;
        if (path.size() > kMaxConnectPath)
            throw AdsConnectionError("The connection path has " + std::to_string(path.size()) +
                                     " characters; at most " + std::to_string(kMaxConnectPath) +
                                     " are allowed.");
        fire(BeforeConnect);
        InternalConnect(path);
    }
    // An engine failure that was not raised because another database error is on its way
    // leaves no handle: the connection then stays disconnected.
    if (handle_ == 0) return;
    connected_ = true;
    if (UsesDictionary()) {
        for (TAdsDataSet* dataSet : std::vector<TAdsDataSet*>(dataSets_))
            if (std::find(dataSets_.begin(), dataSets_.end(), dataSet) != dataSets_.end())
                dataSet->RefreshDefaultIndex();
    }
    fire(AfterConnect);
    DoOnConnect();
}

void TAdsConnection::InternalConnect(const std::string& path) {
    std::string username;
    std::string password;
    if (LoginPrompt() && UsesDictionary()) {
        if (OnLogin) {
            OnLogin(this, username, password);
        } else {
            username = username_;
            const TAdsLoginDialog& dialog = loginDialog();
            if (!dialog || !dialog(Name(), username, password))
                throw db::EDatabaseError("Cannot connect to database '" + Name() + "'");
        }
        username_ = username;
    } else {
        username = username_;
        password = password_;
    }
    if (!UsesDictionary()) {
        // Free tables know no users: nothing of the dictionary credentials leaves the component.
        username.clear();
        password.clear();
    }
    if (username.size() > kMaxCredential)
        throw AdsConnectionError("The user name has more than " + std::to_string(kMaxCredential) +
                                 " characters.");
    if (password.size() > kMaxCredential)
        throw AdsConnectionError("The password has more than " + std::to_string(kMaxCredential) +
                                 " characters.");

    UNSIGNED16 serverTypes = 0;
    if (serverTypes_.count(stADS_REMOTE)) serverTypes |= ADS_REMOTE_SERVER;
    if (serverTypes_.count(stADS_LOCAL)) serverTypes |= ADS_LOCAL_SERVER;
    if (serverTypes_.count(stADS_AIS)) serverTypes |= ADS_AIS_SERVER;
    UNSIGNED32 options = 0;
    if (middleTier_) options |= 1;
    if (storedProcedure_) options |= 2;

    ADSHANDLE handle = 0;
    UNSIGNED32 rc = EngineConnect(path, serverTypes, username, password, options, &handle);
    handle_ = rc == AE_SUCCESS ? handle : 0;
    CheckEngineResult(nullptr, rc);
}

UNSIGNED32 TAdsConnection::EngineConnect(const std::string& path, UNSIGNED16 serverTypes,
                                         const std::string& username, const std::string& password,
                                         UNSIGNED32 options, ADSHANDLE* handle) {
    std::string pathText = path, userText = username, passwordText = password;
    return AdsConnect60(EngineText(pathText), serverTypes, EngineText(userText),
                        EngineText(passwordText), options, handle);
}

void TAdsConnection::disconnectNow() {
    fire(BeforeDisconnect);
    for (TAdsDataSet* dataSet : std::vector<TAdsDataSet*>(dataSets_)) {
        if (std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end()) continue;
        dataSet->SetActive(false);
        dataSet->ReleaseConnectionHandles();
    }
    CloseCachedStatements();
    if (UNSIGNED32 rc = AdsDisconnect(handle_); rc != AE_SUCCESS) throw AdsError(rc);
    handle_ = 0;
    fire(AfterDisconnect);
    DoOnDisconnect();
    connected_ = false;
}

void TAdsConnection::NameChanged() {
    rtl::TComponent::NameChanged();
    if (!Owner() || Name().empty()) return;
    const std::string qualified = Owner()->Name() + "." + Name();
    for (TAdsDataSet* dataSet : AllDataSets().Snapshot()) {
        if (!AllDataSets().Contains(dataSet) || !dataSet->Owner() || dataSet->IsActive()) continue;
        if (sameText(dataSet->Owner()->Name() + "." + dataSet->DatabaseName(), qualified)) {
            dataSet->SetDatabaseName(Name());
        } else if (sameText(dataSet->DatabaseName(), qualified) &&
                   dataSet->AdsConnection() != this) {
            // A dataset of another form that named this connection as "Form.Connection" before
            // the connection had its name.
            dataSet->SetDatabaseName(dataSet->DatabaseName());
        }
    }
}

std::string TAdsConnection::ServerName() {
    if (!connected_) throw AdsConnectionError("Must be connected to get database server name.");
    UNSIGNED8 buffer[kServerNameBuffer] = {};
    UNSIGNED16 length = kServerNameBuffer;
    if (UNSIGNED32 rc = AdsGetServerName(handle_, buffer, &length); rc != AE_SUCCESS)
        throw AdsError(rc);
    return std::string(reinterpret_cast<const char*>(buffer),
                       strnlen(reinterpret_cast<const char*>(buffer), kServerNameBuffer));
}

std::string TAdsConnection::GetConnectionKind() {
    if (!connected_) return "";
    UNSIGNED16 type = 0;
    if (UNSIGNED32 rc = AdsGetConnectionType(handle_, &type); rc != AE_SUCCESS) throw AdsError(rc);
    switch (type) {
        case ADS_LOCAL_SERVER:
            return "Local";
        case ADS_REMOTE_SERVER:
            return "Remote";
        case ADS_AIS_SERVER:
            return "Internet";
        default:
            return "";
    }
}

void TAdsConnection::requireConnection() const {
    if (!connected_) throw AdsConnectionError("No connection to database server.");
}

bool TAdsConnection::GetTransactionActive() {
    requireConnection();
    UNSIGNED16 active = 0;
    if (UNSIGNED32 rc = AdsInTransaction(handle_, &active); rc != AE_SUCCESS) throw AdsError(rc);
    inTransaction_ = active != 0;
    return inTransaction_;
}

void TAdsConnection::BeginTransaction() {
    requireConnection();
    CheckEngineResult(nullptr, AdsBeginTransaction(handle_));
    inTransaction_ = true;
}

void TAdsConnection::Commit() {
    requireConnection();
    DoBeforeCommit();
    UNSIGNED32 rc = AdsCommitTransaction(handle_);
    // A commit that fails ends the transaction all the same (engine/ace.h).
    inTransaction_ = false;
    CheckEngineResult(nullptr, rc);
    DoAfterCommit();
}

void TAdsConnection::Rollback() {
    requireConnection();
    DoBeforeRollback();
    UNSIGNED32 rc = AdsRollbackTransaction(handle_);
    inTransaction_ = false;
    CheckEngineResult(nullptr, rc);
    DoAfterRollback();
}

TAdsDataSet* TAdsConnection::RegisteredDataSet(int index) const {
    return dataSets_.at(static_cast<std::size_t>(index));
}

int TAdsConnection::RegisteredDataSetCount() const {
    return static_cast<int>(dataSets_.size());
}

void TAdsConnection::RegisterDataSet(TAdsDataSet* dataSet) {
    // Registered once only: the dataset unregisters once when it goes.
    if (dataSet && std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end())
        dataSets_.push_back(dataSet);
}

void TAdsConnection::UnregisterDataSet(TAdsDataSet* dataSet) {
    auto it = std::find(dataSets_.begin(), dataSets_.end(), dataSet);
    if (it != dataSets_.end()) dataSets_.erase(it);
}

// ---------------------------------------------------------------------------------------------
// Engine connections shared by path

TDynamicConnList::TDynamicConnList() {
    // Touch the engine's handle registry first, so that it is made before this list and thus
    // still there when this list disconnects at program end.
    UNSIGNED16 type = 0;
    (void)AdsGetHandleType(0, &type);  // handle 0 is never live: only the side effect counts
}

TDynamicConnList::~TDynamicConnList() {
    // At program end nothing can show an error any more, and raising here would abort the
    // program: failures are ignored.
    for (const TDynamicConn& entry : entries_) (void)AdsDisconnect(entry.Handle);
}

ADSHANDLE TDynamicConnList::FindConnection(const std::string& path) const {
    try {
        std::lock_guard lock(mutex_);
        for (const TDynamicConn& entry : entries_)
            if (sameText(entry.Path, path)) return entry.Handle;
    } catch (...) {
    }
    return 0;
}

ADSHANDLE TDynamicConnList::AddConnection(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (const TDynamicConn& entry : entries_)
        if (sameText(entry.Path, path)) return entry.Handle;
    std::string pathText = path;
    ADSHANDLE handle = 0;
    UNSIGNED32 rc = AdsConnect(EngineText(pathText), &handle);
    CheckEngineResult(nullptr, rc);
    if (rc != AE_SUCCESS) return 0;  // not raised: another database error is on its way
    try {
        entries_.push_back(TDynamicConn{handle, path});
    } catch (...) {
        (void)AdsDisconnect(handle);  // out of memory already: nothing better to report
        return 0;
    }
    return handle;
}

int TDynamicConnList::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(entries_.size());
}

TDynamicConnList& DynamicConnections() {
    static TDynamicConnList list;
    return list;
}

}  // namespace ads
