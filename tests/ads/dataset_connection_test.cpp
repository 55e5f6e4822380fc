#include <string>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"
#include "ads_test_support.h"
#include "rtl/progfolder.h"

namespace {

using namespace adstest;
using ads::EADSDatabaseError;
using ads::TAdsConnection;

struct Raised {
    std::string message;
    int32_t code = -1;
};

template <class Action>
Raised databaseError(Action action) {
    try {
        action();
    } catch (const EADSDatabaseError& e) {
        return {e.Message(), e.ErrorCode()};
    }
    return {"(nothing raised)", -1};
}

class DataSetConnection : public ::testing::Test {
  protected:
    TempFolder temp;
    // No ADS.INI unless a test writes one.
    rtl::ScopedProgramFolderForTesting programFolder{temp.path()};
};

TEST_F(DataSetConnection, DatabaseNameFindsTheConnectionOnItsOwnFormFirst) {
    TestForm company("FormCompany"), login("FormLogin"), download("FormDownload");
    TAdsConnection first(&company), second(&login);
    first.SetName("DatabaseMain");
    second.SetName("DatabaseMain");

    TestDataSet onLogin(&login), onDownload(&download), qualified(&download);
    onLogin.SetDatabaseName("databasemain");
    EXPECT_EQ(onLogin.AdsConnection(), &second);
    onDownload.SetDatabaseName("DatabaseMain");
    EXPECT_EQ(onDownload.AdsConnection(), &first);  // first in creation order
    qualified.SetDatabaseName("formlogin.databasemain");
    EXPECT_EQ(qualified.AdsConnection(), &second);
    EXPECT_EQ(qualified.DatabaseName(), "formlogin.databasemain");
    EXPECT_EQ(second.RegisteredDataSetCount(), 2);
    EXPECT_EQ(first.RegisteredDataSetCount(), 1);

    // Moving to another connection unregisters from the old one.
    qualified.SetDatabaseName("FormCompany.DatabaseMain");
    EXPECT_EQ(qualified.AdsConnection(), &first);
    EXPECT_EQ(second.RegisteredDataSetCount(), 1);
    EXPECT_EQ(first.RegisteredDataSetCount(), 2);
}

TEST_F(DataSetConnection, ResolvedPathFollowsConnectionFolderOrName) {
    TestForm company("FormCompany"), main("FormMain");
    TAdsConnection c(&company);
    c.SetName("DatabaseMain");
    c.SetConnectPath("C:\\X\\COMPANY\\A1\\A1.ADD");
    TestDataSet table(&main);
    table.SetDatabaseName("FormCompany.DatabaseMain");
    EXPECT_EQ(table.ResolveDataPath(), "C:\\X\\COMPANY\\A1");
    table.SetAdsConnection(nullptr);
    table.SetDatabaseName("");
    table.SetAdsConnection(&c);
    EXPECT_EQ(table.ResolveDataPath(), "C:\\X\\COMPANY\\A1");
    c.SetConnectPath("C:\\X\\COMPANY\\A1\\");
    EXPECT_EQ(table.ResolveDataPath(), "C:\\X\\COMPANY\\A1");

    TestDataSet loose(&main);
    EXPECT_EQ(loose.ResolveDataPath(), "");
    loose.SetDatabaseName("D:\\TABLES\\");
    EXPECT_EQ(loose.ResolveDataPath(), "D:\\TABLES");
    loose.SetDatabaseName("/srv/tables/");
    EXPECT_EQ(loose.ResolveDataPath(), "/srv/tables");
    // Neither a connection, a path nor an alias: taken as a folder as it is.
    loose.SetDatabaseName("Payroll");
    EXPECT_EQ(loose.AdsConnection(), nullptr);
    EXPECT_EQ(loose.ResolveDataPath(), "Payroll");
}

TEST_F(DataSetConnection, OpenDataSetsRefuseConnectionChanges) {
    TAdsConnection c;
    c.SetConnectPath(temp.path());
    TestForm form("FormMain");
    TestDataSet table(&form);
    table.SetName("TableEmp");
    table.SetAdsConnection(&c);
    table.SetActive(true);
    Raised e = databaseError([&] { table.SetDatabaseName("X"); });
    EXPECT_EQ(e.message, "TableEmp: Cannot perform this operation on an open dataset");
    EXPECT_EQ(e.code, 5121);
    e = databaseError([&] { table.SetAdsConnection(nullptr); });
    EXPECT_EQ(e.message, "TableEmp: Table must not be Active.");
    EXPECT_EQ(e.code, 5121);
    e = databaseError([&] { table.SetTableType(ads::ttAdsCDX); });
    EXPECT_EQ(e.message, "TableEmp: Cannot perform this operation on an open dataset");
    e = databaseError([&] { table.SetTableName("other"); });
    EXPECT_EQ(e.message, "TableEmp: Cannot perform this operation on an open dataset");
    EXPECT_EQ(table.AdsConnection(), &c);
    EXPECT_EQ(table.DatabaseName(), "");
}

TEST_F(DataSetConnection, ConnectionHandleFailures) {
    TestDataSet table;
    table.SetName("TableUser");
    Raised e = databaseError([&] { table.GetConnectionHandle(); });
    EXPECT_EQ(e.message,
              "TableUser: One of the DatabaseName property or the AdsConnection property must have "
              "a value.");
    EXPECT_EQ(e.code, 5121);

    // A connection without a path in force resolves to nothing either.
    TAdsConnection empty;
    table.SetAdsConnection(&empty);
    e = databaseError([&] { table.GetConnectionHandle(); });
    EXPECT_EQ(e.code, 5121);

    // A connection on a form still being read does not connect yet.
    TestForm form("FormLogin");
    TAdsConnection loading(&form);
    loading.SetConnectPath(temp.path());
    table.SetAdsConnection(&loading);
    form.BeginLoading();
    e = databaseError([&] { table.GetConnectionHandle(); });
    form.EndLoading();
    EXPECT_EQ(e.message, "TableUser: Internal Error: invalid connection handle.");
    EXPECT_EQ(e.code, 5121);

    // An engine failure of the shared connection is reported without the dataset.
    table.SetAdsConnection(nullptr);
    table.SetDatabaseName(temp / "missing");
    e = databaseError([&] { table.GetConnectionHandle(); });
    EXPECT_EQ(e.message, "Error 6005: The folder " + (temp / "missing") + " does not exist.");
    EXPECT_EQ(e.code, 6005);
}

TEST_F(DataSetConnection, PathsDifferingOnlyInCaseShareOneEngineConnection) {
    fs::create_directory(temp / "Data");
    TestDataSet a, b, c;
    a.SetDatabaseName(temp / "Data");
    b.SetDatabaseName(temp / "DATA\\");
    c.SetDatabaseName(temp.path());
    int before = ads::DynamicConnections().Count();
    ADSHANDLE first = a.GetConnectionHandle();
    EXPECT_NE(first, 0u);
    EXPECT_EQ(b.GetConnectionHandle(), first);
    EXPECT_EQ(ads::DynamicConnections().FindConnection(temp / "data"), first);
    EXPECT_EQ(ads::DynamicConnections().Count(), before + 1);
    ADSHANDLE other = c.GetConnectionHandle();
    EXPECT_NE(other, first);
    EXPECT_EQ(ads::DynamicConnections().Count(), before + 2);
    // Adding a path that is there already gives its handle instead of a second connection.
    EXPECT_EQ(ads::DynamicConnections().AddConnection(temp / "DATA"), first);
    EXPECT_EQ(ads::DynamicConnections().Count(), before + 2);
    EXPECT_EQ(ads::DynamicConnections().FindConnection(temp / "none"), 0u);
}

TEST_F(DataSetConnection, SharedConnectionsAreNotMadeWhileAnErrorIsPending) {
    TestDataSet table;
    table.SetDatabaseName(temp / "missing");
    EADSDatabaseError pending(nullptr, "first", 1);
    Raised e = databaseError([&] { table.GetConnectionHandle(); });
    EXPECT_EQ(e.message, "Internal Error: invalid connection handle.");
    EXPECT_EQ(ads::DynamicConnections().FindConnection(temp / "missing"), 0u);
}

TEST_F(DataSetConnection, AliasesGiveThePathAndTheTableType) {
    writeFile(temp / "ADS.INI",
              "[Databases]\nNTXDATA=" + temp.path() + "\\;N\nADTDATA=/srv/adt;A\n");
    TestDataSet table;
    table.SetName("TableEmp");
    table.SetDatabaseName("ntxdata");
    EXPECT_EQ(table.TableType(), ads::ttAdsNTX);
    EXPECT_EQ(table.ResolveDataPath(), temp.path());
    EXPECT_EQ(table.EngineTableType(), ADS_NTX);
    Raised e = databaseError([&] { table.SetTableType(ads::ttAdsADT); });
    EXPECT_EQ(e.message,
              "TableEmp: The table type must remain identical to the table type associated with "
              "the alias.");
    EXPECT_EQ(e.code, 5121);
    EXPECT_NO_THROW(table.SetTableType(ads::ttAdsNTX));
    ADSHANDLE handle = table.GetConnectionHandle();
    EXPECT_EQ(handle, ads::DynamicConnections().FindConnection(temp.path()));

    table.SetDatabaseName("ADTDATA");
    EXPECT_EQ(table.TableType(), ads::ttAdsADT);
    EXPECT_EQ(table.ResolveDataPath(), "/srv/adt");
    // An alias is not looked up for a path.
    table.SetDatabaseName("/srv\\NTXDATA");
    EXPECT_NO_THROW(table.SetTableType(ads::ttAdsCDX));
    EXPECT_EQ(table.EngineTableType(), ADS_CDX);
}

TEST_F(DataSetConnection, TheConnectionsAliasTypeBindsItsDataSets) {
    writeFile(temp / "ADS.INI",
              "[Databases]\nCDXDATA=" + temp.path() + ";c\nANY=" + temp.path() + "\n");
    TAdsConnection c;
    c.SetAliasName("CDXDATA");
    TestDataSet table;
    table.SetAdsConnection(&c);
    EXPECT_EQ(table.TableType(), ads::ttAdsCDX);
    Raised e = databaseError([&] { table.SetTableType(ads::ttAdsDefault); });
    EXPECT_EQ(e.message,
              "The table type must remain identical to the table type associated with the alias.");
    c.SetAliasName("ANY");
    EXPECT_NO_THROW(table.SetTableType(ads::ttAdsDefault));
    EXPECT_EQ(table.EngineTableType(), ADS_ADT);
    EXPECT_NO_THROW(table.SetTableType(ads::ttAdsNTX));
    EXPECT_EQ(table.EngineTableType(), ADS_NTX);
}

TEST_F(DataSetConnection, AConnectionNamedLaterLinksDataSetsThatNamedIt) {
    TestForm company("FormCompany"), main("FormMain");
    TestDataSet own(&company), qualified(&main), unrelated(&main);
    own.SetDatabaseName("DatabaseMain");
    qualified.SetDatabaseName("FORMCOMPANY.DATABASEMAIN");
    unrelated.SetDatabaseName("DatabaseMain");
    EXPECT_EQ(own.AdsConnection(), nullptr);

    TAdsConnection c(&company);
    c.SetName("databasemain");
    EXPECT_EQ(own.AdsConnection(), &c);
    EXPECT_EQ(own.DatabaseName(), "databasemain");
    EXPECT_EQ(qualified.AdsConnection(), &c);
    EXPECT_EQ(qualified.DatabaseName(), "FORMCOMPANY.DATABASEMAIN");
    EXPECT_EQ(unrelated.AdsConnection(), nullptr);  // names a connection of its own form
}

TEST_F(DataSetConnection, RegistriesFollowLifetimes) {
    auto c = std::make_unique<TAdsConnection>();
    auto table = std::make_unique<TestDataSet>();
    EXPECT_TRUE(ads::AllDataSets().Contains(table.get()));
    table->SetAdsConnection(c.get());
    table->SetAdsConnection(c.get());
    EXPECT_EQ(c->RegisteredDataSetCount(), 1);
    TestDataSet* address = table.get();
    table.reset();
    EXPECT_EQ(c->RegisteredDataSetCount(), 0);
    EXPECT_FALSE(ads::AllDataSets().Contains(address));

    TestDataSet survivor;
    survivor.SetAdsConnection(c.get());
    c.reset();
    EXPECT_EQ(survivor.AdsConnection(), nullptr);
}

}  // namespace
