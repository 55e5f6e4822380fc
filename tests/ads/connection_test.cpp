#include <memory>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads_test_support.h"
#include "db/database_error.h"
#include "rtl/progfolder.h"

namespace {

using namespace adstest;
using ads::AdsConnectionError;
using ads::EADSDatabaseError;
using ads::TAdsConnection;

// A connection that records what it hands to the engine and the events it fires.
class WatchedConnection : public TAdsConnection {
  public:
    explicit WatchedConnection(rtl::TComponent* owner = nullptr) : TAdsConnection(owner) {
        auto note = [this](const char* what) {
            return [this, what](rtl::TComponent* sender) {
                EXPECT_EQ(sender, this);
                events.push_back(what);
            };
        };
        BeforeConnect = note("BeforeConnect");
        AfterConnect = note("AfterConnect");
        OnConnect = note("OnConnect");
        BeforeDisconnect = note("BeforeDisconnect");
        AfterDisconnect = note("AfterDisconnect");
        OnDisconnect = note("OnDisconnect");
    }
    // The handlers write to members that are gone before the base destructor fires OnDisconnect.
    ~WatchedConnection() override { OnDisconnect = nullptr; }

    struct Call {
        std::string path, username, password;
        UNSIGNED16 serverTypes;
        UNSIGNED32 options;
    };
    std::vector<Call> calls;
    std::vector<std::string> events;
    rtl::TCursor cursorAtConnect = rtl::crDefault;

  protected:
    UNSIGNED32 EngineConnect(const std::string& path, UNSIGNED16 serverTypes,
                             const std::string& username, const std::string& password,
                             UNSIGNED32 options, ADSHANDLE* handle) override {
        calls.push_back({path, username, password, serverTypes, options});
        cursorAtConnect = rtl::ScreenCursor();
        return TAdsConnection::EngineConnect(path, serverTypes, username, password, options,
                                             handle);
    }
};

template <class Action>
std::string connectionError(Action action) {
    try {
        action();
    } catch (const AdsConnectionError& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

template <class Action>
std::string databaseError(Action action) {
    try {
        action();
    } catch (const EADSDatabaseError& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

class Connection : public ::testing::Test {
  protected:
    TempFolder temp;
    RecordingCursor cursor;
};

TEST_F(Connection, DictionaryFlagFollowsAddAnywhereInThePath) {
    TAdsConnection c;
    EXPECT_FALSE(c.UsesDictionary());
    for (const char* path :
         {"C:\\X\\A1\\A1.ADD", "/srv/a1.add", "C:\\DATA.ADDRESS\\tables", "x.Add", "C:\\x.ADDX"}) {
        c.SetConnectPath(path);
        EXPECT_TRUE(c.UsesDictionary()) << path;
    }
    for (const char* path : {"C:\\X\\A1", "C:\\ADD\\x", "C:\\xADD", ""}) {
        c.SetConnectPath(path);
        EXPECT_FALSE(c.UsesDictionary()) << path;
    }
}

TEST_F(Connection, DataFolderDropsAFileNameWithAThreeLetterExtension) {
    TAdsConnection c;
    auto folderOf = [&](const std::string& path) {
        c.SetConnectPath(path);
        return c.GetDataFolder();
    };
    EXPECT_EQ(folderOf("C:\\X\\COMPANY\\A1\\A1.ADD"), "C:\\X\\COMPANY\\A1");
    EXPECT_EQ(folderOf("A1.ADD"), ".\\");
    EXPECT_EQ(folderOf("C:\\X\\COMPANY\\A1"), "C:\\X\\COMPANY\\A1");
    EXPECT_EQ(folderOf("C:\\X\\DATA.OLD"), "C:\\X");  // looks like a file name
    EXPECT_EQ(folderOf("/srv/company/A1/A1.ADD"), "/srv/company/A1");
    EXPECT_EQ(folderOf("/A1.ADD"), "/");
    EXPECT_EQ(folderOf(".ADD"), ".ADD");  // four characters only
    EXPECT_EQ(folderOf(""), "");
    // A server path's parameters stay after the folder.
    EXPECT_EQ(folderOf("postgresql://db/velda/COMPANY/A1/A1.ADD?sslmode=require"),
              "postgresql://db/velda/COMPANY/A1?sslmode=require");
    EXPECT_EQ(folderOf("postgresql://db/velda/COMPANY/A1/A1.ADD"),
              "postgresql://db/velda/COMPANY/A1");
    EXPECT_EQ(folderOf("postgresql://db/velda/A1/?sslmode=require"),
              "postgresql://db/velda/A1/?sslmode=require");
}

TEST_F(Connection, ConnectsOnceFiresEventsInOrderAndShowsTheBusyCursor) {
    WatchedConnection c;
    c.SetConnectPath(temp.path());
    cursor.cursor = rtl::crIBeam;
    c.SetIsConnected(true);
    c.SetIsConnected(true);
    EXPECT_TRUE(c.IsConnected());
    EXPECT_NE(c.ConnectionHandle(), 0u);
    EXPECT_EQ(c.calls.size(), 1u);
    EXPECT_EQ(c.events, (std::vector<std::string>{"BeforeConnect", "AfterConnect", "OnConnect"}));
    EXPECT_EQ(c.cursorAtConnect, rtl::crHourGlass);
    EXPECT_EQ(cursor.cursor, rtl::crIBeam);
    EXPECT_EQ(c.ServerName(), temp.path());
    EXPECT_EQ(c.GetConnectionKind(), "Local");
    EXPECT_FALSE(c.GetTransactionActive());

    ADSHANDLE handle = c.ConnectionHandle();
    c.events.clear();
    c.Disconnect();
    c.Disconnect();
    EXPECT_EQ(c.events,
              (std::vector<std::string>{"BeforeDisconnect", "AfterDisconnect", "OnDisconnect"}));
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(c.ConnectionHandle(), 0u);
    UNSIGNED16 kind = 0;
    EXPECT_EQ(AdsGetHandleType(handle, &kind), AE_INVALID_HANDLE);
    EXPECT_EQ(c.GetConnectionKind(), "");
}

TEST_F(Connection, FreeTablesGetEmptyCredentialsAndTheMaskAndOptionsFromTheProperties) {
    WatchedConnection c;
    c.SetConnectPath(temp.path());
    c.SetLoginPrompt(false);
    c.SetUsername("velda");
    c.SetPassword("s3cret");
    c.SetAdsServerTypes({ads::stADS_REMOTE, ads::stADS_LOCAL});
    c.Connect();
    ASSERT_EQ(c.calls.size(), 1u);
    EXPECT_EQ(c.calls[0].path, temp.path());
    EXPECT_EQ(c.calls[0].username, "");
    EXPECT_EQ(c.calls[0].password, "");
    EXPECT_EQ(c.calls[0].serverTypes, 3);
    EXPECT_EQ(c.calls[0].options, 0u);
    c.Disconnect();

    c.SetAdsServerTypes({ads::stADS_AIS});
    c.SetMiddleTierConnection(true);
    c.SetStoredProcedureConnection(true);
    // The engine refuses these, which is fine: only what was handed over matters here.
    EXPECT_THROW(c.Connect(), EADSDatabaseError);
    ASSERT_EQ(c.calls.size(), 2u);
    EXPECT_EQ(c.calls[1].serverTypes, 4);
    EXPECT_EQ(c.calls[1].options, 3u);
}

TEST_F(Connection, ADictionaryConnectChecksUserAndPassword) {
    std::string dd = makeDictionary(temp.path(), "A1.ADD");
    WatchedConnection c;
    c.SetConnectPath(dd);
    c.SetLoginPrompt(false);
    c.SetUsername("velda");
    c.SetPassword("wrong");
    try {
        c.Connect();
        FAIL() << "connected with a wrong password";
    } catch (const EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(),
                  "Error 6008: The user name or password is not valid for the data dictionary " +
                      dd + ".");
        EXPECT_EQ(e.ErrorCode(), 6008);
    }
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(c.events, std::vector<std::string>{"BeforeConnect"});
    ASSERT_EQ(c.calls.size(), 1u);
    EXPECT_EQ(c.calls[0].username, "velda");
    EXPECT_EQ(c.calls[0].password, "wrong");

    c.SetPassword("s3cret");
    c.Connect();
    EXPECT_TRUE(c.IsConnected());
    EXPECT_TRUE(c.UsesDictionary());
    EXPECT_EQ(c.GetDataFolder(), temp.path());
    EXPECT_EQ(c.ServerName(), dd);
    c.Disconnect();
}

TEST_F(Connection, AnAddFolderNameCountsAsADictionaryAndSendsTheCredentials) {
    fs::create_directory(temp / "DATA.ADDRESS");
    WatchedConnection c;
    c.SetConnectPath(temp / "DATA.ADDRESS");
    c.SetLoginPrompt(false);
    c.SetUsername("velda");
    c.SetPassword("pw");
    EXPECT_THROW(c.Connect(), EADSDatabaseError);
    ASSERT_EQ(c.calls.size(), 1u);
    EXPECT_EQ(c.calls[0].username, "velda");
    EXPECT_EQ(c.calls[0].password, "pw");
}

TEST_F(Connection, ConnectsToADictionaryOfRegisteredDataSetsRefreshingTheirDefaultIndex) {
    std::string dd = makeDictionary(temp.path(), "A1.ADD");
    TestForm form("FormCompany");
    TAdsConnection c(&form);
    c.SetName("DatabaseMain");
    TestDataSet a(&form), b(&form);
    a.SetAdsConnection(&c);
    b.SetAdsConnection(&c);
    c.SetLoginPrompt(false);
    c.SetConnectPath(temp.path());
    c.Connect();
    EXPECT_EQ(a.refreshed, 0);  // free tables have no default indexes
    c.Disconnect();
    c.SetConnectPath(dd);
    c.SetUsername("velda");
    c.SetPassword("s3cret");
    c.Connect();
    EXPECT_EQ(a.refreshed, 1);
    EXPECT_EQ(b.refreshed, 1);
}

TEST_F(Connection, DisconnectClosesRegisteredDataSetsAndKeepsThemRegistered) {
    TAdsConnection c;
    c.SetConnectPath(temp.path());
    TestDataSet a, b;
    a.SetAdsConnection(&c);
    b.SetAdsConnection(&c);
    a.SetActive(true);  // connects on demand
    b.SetActive(true);
    EXPECT_TRUE(c.IsConnected());
    EXPECT_EQ(a.handle, c.ConnectionHandle());
    c.Disconnect();
    EXPECT_FALSE(a.active);
    EXPECT_FALSE(b.active);
    EXPECT_EQ(a.released, 1);
    EXPECT_EQ(b.released, 1);
    ASSERT_EQ(c.RegisteredDataSetCount(), 2);
    EXPECT_EQ(c.RegisteredDataSet(0), &a);
    EXPECT_EQ(c.RegisteredDataSet(1), &b);
    c.Connect();
    EXPECT_FALSE(a.active);
    EXPECT_FALSE(b.active);
}

TEST_F(Connection, ChecksOfTheComponentItself) {
    TAdsConnection c;
    EXPECT_EQ(connectionError([&] { c.Connect(); }),
              "Must specify connection string before getting a server connection.");
    EXPECT_FALSE(c.IsConnected());
    EXPECT_TRUE(cursor.history.empty());
    EXPECT_EQ(connectionError([&] { c.ServerName(); }),
              "Must be connected to get database server name.");
    for (auto action :
         {&TAdsConnection::BeginTransaction, &TAdsConnection::Commit, &TAdsConnection::Rollback})
        EXPECT_EQ(connectionError([&] { (c.*action)(); }), "No connection to database server.");
    EXPECT_EQ(connectionError([&] { c.GetTransactionActive(); }),
              "No connection to database server.");

    c.SetConnectPath(temp.path());
    c.Connect();
    EXPECT_EQ(connectionError([&] { c.SetConnectPath("/elsewhere"); }),
              "The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE");
    EXPECT_EQ(connectionError([&] { c.SetAliasName("MAIN"); }),
              "The TAdsConnection.AliasName may not be changed when IsConnected is TRUE");
    EXPECT_EQ(c.ConnectPath(), temp.path());
}

// A row appended through the connection's own engine handle.
void appendRow(ADSHANDLE table, const std::string& name) {
    ASSERT_EQ(AdsAppendRecord(table), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(table, ADSFIELD(1), testsupport::u8(name),
                          static_cast<UNSIGNED32>(name.size())),
              AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(table), AE_SUCCESS);
}

UNSIGNED32 rowCount(ADSHANDLE table) {
    UNSIGNED32 count = 0;
    EXPECT_EQ(AdsGetRecordCount(table, ADS_IGNOREFILTERS | ADS_REFRESHCOUNT, &count), AE_SUCCESS);
    return count;
}

TEST_F(Connection, TransactionsCommitAndRollBackWithTheirEvents) {
    WatchedConnection c;
    for (auto [event, name] : {std::pair{&c.BeforeCommit, "BeforeCommit"},
                               {&c.AfterCommit, "AfterCommit"},
                               {&c.BeforeRollback, "BeforeRollback"},
                               {&c.AfterRollback, "AfterRollback"}})
        *event = [&c, name](rtl::TComponent*) {
            c.events.push_back(std::string(name) + (c.GetTransactionActive() ? " open" : ""));
        };
    c.SetConnectPath(temp.path());
    c.Connect();
    ADSHANDLE table = 0;
    ASSERT_EQ(AdsCreateTable(c.ConnectionHandle(), testsupport::u8("T"), nullptr, ADS_ADT, ADS_ANSI,
                             ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0,
                             testsupport::u8("NAME,Character,10"), &table),
              AE_SUCCESS);
    c.events.clear();

    c.BeginTransaction();
    EXPECT_TRUE(c.GetTransactionActive());
    EXPECT_EQ(databaseError([&] { c.BeginTransaction(); }),
              "Error 6021: A transaction is open already on the connection to " + temp.path() +
                  "; commit or roll it back first.");
    appendRow(table, "kept");
    c.Commit();
    EXPECT_FALSE(c.GetTransactionActive());
    EXPECT_EQ(rowCount(table), 1u);

    c.BeginTransaction();
    appendRow(table, "undone");
    appendRow(table, "undone too");
    EXPECT_EQ(rowCount(table), 3u);
    c.Rollback();
    EXPECT_EQ(rowCount(table), 1u);
    EXPECT_EQ(c.events, (std::vector<std::string>{"BeforeCommit open", "AfterCommit",
                                                  "BeforeRollback open", "AfterRollback"}));

    // Without an open transaction the engine refuses; the events before it have fired.
    c.events.clear();
    EXPECT_EQ(databaseError([&] { c.Commit(); }),
              "Error 6020: No transaction is open on the connection to " + temp.path() + ".");
    EXPECT_EQ(c.events, (std::vector<std::string>{"BeforeCommit"}));
    EXPECT_FALSE(c.GetTransactionActive());
    (void)AdsCloseTable(table);
}

TEST_F(Connection, LongPathsAndCredentialsAreRefused) {
    WatchedConnection c;
    c.SetConnectPath("/" + std::string(254, 'p'));
    EXPECT_EQ(connectionError([&] { c.Connect(); }),
              "The connection path has 255 characters; at most 254 are allowed.");
    EXPECT_TRUE(c.calls.empty());
    EXPECT_TRUE(c.events.empty());
    EXPECT_EQ(cursor.cursor, rtl::crDefault);

    c.SetConnectPath(temp / "A1.ADD");
    c.SetLoginPrompt(false);
    c.SetUsername(std::string(261, 'u'));
    EXPECT_EQ(connectionError([&] { c.Connect(); }), "The user name has more than 260 characters.");
    c.SetUsername(std::string(260, 'u'));
    c.SetPassword(std::string(261, 'p'));
    EXPECT_EQ(connectionError([&] { c.Connect(); }), "The password has more than 260 characters.");
    EXPECT_TRUE(c.calls.empty());
    EXPECT_FALSE(c.IsConnected());

    // Free tables send no credentials, so their length does not matter.
    c.SetConnectPath(temp.path());
    c.Connect();
    EXPECT_TRUE(c.IsConnected());
}

TEST_F(Connection, AFailedConnectLeavesEverythingAsItWas) {
    WatchedConnection c;
    c.SetConnectPath(temp / "gone");
    c.SetUsername("u");
    cursor.cursor = rtl::crArrow;
    try {
        c.Connect();
        FAIL() << "connected to a missing folder";
    } catch (const EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Error 6005: The folder " + (temp / "gone") + " does not exist.");
        EXPECT_EQ(e.ErrorCode(), 6005);
        EXPECT_EQ(e.DataSetName(), "");
    }
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(c.ConnectionHandle(), 0u);
    EXPECT_EQ(c.events, std::vector<std::string>{"BeforeConnect"});
    EXPECT_EQ(cursor.cursor, rtl::crArrow);
    EXPECT_EQ(c.ConnectPath(), temp / "gone");
    EXPECT_EQ(c.Username(), "u");
}

TEST_F(Connection, LoginPromptAsksTheHandlerOrTheDialog) {
    std::string dd = makeDictionary(temp.path(), "A1.ADD");
    TestForm form("FormCompany");
    TAdsConnection c(&form);
    c.SetName("DatabaseMain");
    c.SetConnectPath(dd);
    c.SetUsername("velda");
    c.SetPassword("s3cret");
    ASSERT_TRUE(c.LoginPrompt());

    // No handler and the default dialog: the user cancels.
    try {
        c.Connect();
        FAIL() << "connected without a login";
    } catch (const EADSDatabaseError&) {
        FAIL() << "a cancelled login is the framework's error, not an engine failure";
    } catch (const db::EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Cannot connect to database 'DatabaseMain'");
    }
    EXPECT_FALSE(c.IsConnected());

    std::string shownUser;
    TAdsConnection::SetLoginDialog(
        [&](const std::string& name, std::string& user, std::string& pw) {
            EXPECT_EQ(name, "DatabaseMain");
            EXPECT_TRUE(pw.empty());
            shownUser = user;
            user = "VELDA";
            pw = "s3cret";
            return true;
        });
    c.SetUsername("someone");
    c.Connect();
    TAdsConnection::SetLoginDialog(nullptr);
    EXPECT_EQ(shownUser, "someone");
    EXPECT_TRUE(c.IsConnected());
    EXPECT_EQ(c.Username(), "VELDA");
    c.Disconnect();

    c.OnLogin = [&](TAdsConnection* sender, std::string& user, std::string& pw) {
        EXPECT_EQ(sender, &c);
        EXPECT_TRUE(user.empty());
        user = "velda";
        pw = "s3cret";
    };
    c.SetPassword("not used");
    c.Connect();
    EXPECT_TRUE(c.IsConnected());
    EXPECT_EQ(c.Username(), "velda");
    EXPECT_EQ(c.Password(), "not used");
}

TEST_F(Connection, ConnectingWhileTheFormLoadsWaitsForTheEndOfLoading) {
    TestForm form("FormCompany");
    WatchedConnection c(&form);
    c.SetConnectPath(temp.path());
    form.BeginLoading();
    c.SetIsConnected(true);
    EXPECT_FALSE(c.IsConnected());
    EXPECT_TRUE(c.calls.empty());
    form.EndLoading();
    EXPECT_TRUE(c.IsConnected());
    EXPECT_EQ(c.calls.size(), 1u);
}

TEST_F(Connection, DestructionClosesAndReleasesDataSetsAndFiresOnlyOnDisconnect) {
    TestDataSet a;
    ADSHANDLE handle = 0;
    std::vector<std::string> events;
    {
        TAdsConnection c;
        c.SetConnectPath(temp.path());
        a.SetAdsConnection(&c);
        a.SetActive(true);
        handle = c.ConnectionHandle();
        c.BeforeDisconnect = [&](rtl::TComponent*) { events.push_back("BeforeDisconnect"); };
        c.AfterDisconnect = [&](rtl::TComponent*) { events.push_back("AfterDisconnect"); };
        c.OnDisconnect = [&](rtl::TComponent*) { events.push_back("OnDisconnect"); };
        EXPECT_TRUE(ads::AllConnections().Contains(&c));
    }
    EXPECT_EQ(events, std::vector<std::string>{"OnDisconnect"});
    EXPECT_FALSE(a.active);
    EXPECT_EQ(a.released, 1);
    EXPECT_EQ(a.AdsConnection(), nullptr);
    UNSIGNED16 kind = 0;
    EXPECT_EQ(AdsGetHandleType(handle, &kind), AE_INVALID_HANDLE);
}

TEST_F(Connection, DestructionToleratesAHandleTheEngineAlreadyClosed) {
    TestDataSet a;
    auto c = std::make_unique<TAdsConnection>();
    c->SetConnectPath(temp.path());
    c->Connect();
    a.SetAdsConnection(c.get());
    ASSERT_EQ(AdsDisconnect(c->ConnectionHandle()), AE_SUCCESS);
    TAdsConnection* address = c.get();
    EXPECT_NO_THROW(c.reset());
    EXPECT_EQ(a.AdsConnection(), nullptr);
    EXPECT_FALSE(ads::AllConnections().Contains(address));
}

TEST_F(Connection, DisconnectFailureRaisesAdsErrorAndKeepsTheConnection) {
    TAdsConnection c;
    c.SetConnectPath(temp.path());
    c.Connect();
    ADSHANDLE handle = c.ConnectionHandle();
    (void)AdsDisconnect(handle);
    try {
        c.Disconnect();
        FAIL() << "disconnect of a dead handle reported success";
    } catch (const ads::AdsError& e) {
        EXPECT_EQ(e.Message(),
                  "Error 5024: Handle " + std::to_string(handle) + " is not a live connection.");
    }
    EXPECT_TRUE(c.IsConnected());
    EXPECT_EQ(c.ConnectionHandle(), handle);
}

// Aliases of ADS.INI in the program folder.
class Aliases : public Connection {
  protected:
    void SetUp() override {
        writeFile(temp / "ADS.INI",
                  "[Databases]\r\nMAIN=" + temp.path() +
                      ";n\r\nNTX=C:\\DATA;n\r\nCDX=C:\\DATA;c\r\n" +
                      "ADT=C:\\DATA;A\r\nEMPTY=;A\r\nODD=C:\\ODD;x\r\nPLAIN=C:\\PLAIN\r\n" +
                      "DICT=" + temp.path() + "\\A1.add\r\n");
    }
    rtl::ScopedProgramFolderForTesting folder{temp.path()};
};

TEST_F(Aliases, EntriesGivePathAndTableTypes) {
    ads::TAdsAlias alias;
    ASSERT_TRUE(ads::LookupAlias("main", alias));
    EXPECT_EQ(alias.Path, temp.path());
    EXPECT_EQ(alias.ConnectionType, ads::attNTX);
    EXPECT_EQ(alias.DataSetType, ads::ttAdsNTX);
    ASSERT_TRUE(ads::LookupAlias("NTX", alias));
    EXPECT_EQ(alias.Path, "C:\\DATA");
    EXPECT_EQ(alias.ConnectionType, ads::attNTX);
    ASSERT_TRUE(ads::LookupAlias("CDX", alias));
    EXPECT_EQ(alias.ConnectionType, ads::attCDX);
    EXPECT_EQ(alias.DataSetType, ads::ttAdsCDX);
    ASSERT_TRUE(ads::LookupAlias("ADT", alias));
    EXPECT_EQ(alias.ConnectionType, ads::attADT);
    EXPECT_EQ(alias.DataSetType, ads::ttAdsADT);
    ASSERT_TRUE(ads::LookupAlias("ODD", alias));
    EXPECT_EQ(alias.ConnectionType, ads::attNone);
    EXPECT_EQ(alias.DataSetType, ads::ttAdsADT);
    ASSERT_TRUE(ads::LookupAlias("PLAIN", alias));
    EXPECT_EQ(alias.Path, "C:\\PLAIN");
    EXPECT_EQ(alias.ConnectionType, ads::attNone);
    EXPECT_FALSE(ads::LookupAlias("EMPTY", alias));
    EXPECT_FALSE(ads::LookupAlias("UNKNOWN", alias));
}

TEST_F(Aliases, WithoutTheProgramFoldersFileTheBareNameIsRead) {
    TempFolder elsewhere;
    writeFile(elsewhere / "ADS.INI", "[Databases]\nOTHER=/srv/other;C\n");
    rtl::ScopedProgramFolderForTesting noIni(elsewhere / "none");
    ScopedCurrentFolder current(elsewhere.path());
    ads::TAdsAlias alias;
    ASSERT_TRUE(ads::LookupAlias("other", alias));
    EXPECT_EQ(alias.Path, "/srv/other");
    EXPECT_EQ(alias.ConnectionType, ads::attCDX);
}

TEST_F(Aliases, AConnectionAliasReplacesTheConnectPathAndConnects) {
    TestForm form("FormCompany");
    TAdsConnection c(&form);
    c.SetName("AdsConnection1");
    TestDataSet onConnection(&form), namedConnection(&form), other(&form);
    onConnection.SetAdsConnection(&c);
    namedConnection.SetDatabaseName("AdsConnection1");
    other.SetDatabaseName("/somewhere");
    other.SetAdsConnection(&c);
    c.SetConnectPath("/old/A1.ADD");
    c.SetAliasName("MAIN");
    EXPECT_EQ(c.ConnectPath(), "");
    EXPECT_EQ(c.GetEffectivePath(), temp.path());
    EXPECT_EQ(c.GetAliasTableType(), ads::attNTX);
    EXPECT_FALSE(c.UsesDictionary());
    EXPECT_EQ(onConnection.TableType(), ads::ttAdsNTX);
    EXPECT_EQ(namedConnection.TableType(), ads::ttAdsNTX);
    EXPECT_EQ(other.TableType(), ads::ttAdsADT);  // names a folder of its own
    c.Connect();
    EXPECT_EQ(c.ServerName(), temp.path());
    c.Disconnect();

    c.SetAliasName("DICT");
    EXPECT_TRUE(c.UsesDictionary());
    c.SetConnectPath(temp.path());
    EXPECT_EQ(c.AliasName(), "");
    EXPECT_EQ(c.GetAliasTableType(), ads::attNone);
    EXPECT_FALSE(c.UsesDictionary());
}

TEST_F(Aliases, AnUnknownAliasRefusesToConnectUntilItIsKnown) {
    TAdsConnection c;
    c.SetAliasName("EMPTY");
    EXPECT_EQ(c.AliasName(), "EMPTY");
    EXPECT_EQ(c.GetEffectivePath(), "");
    EXPECT_EQ(connectionError([&] { c.Connect(); }), "TAdsConnection.AliasName is not valid");
    // The lookup is made again at connect, so an entry added meanwhile counts.
    writeFile(temp / "ADS.INI", "[Databases]\nEMPTY=" + temp.path() + "\n");
    c.Connect();
    EXPECT_TRUE(c.IsConnected());
}

}  // namespace
