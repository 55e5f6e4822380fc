// The connection component on a server path (a throwaway server, tests/support/server.h): what a
// form sees of a company database on a PostgreSQL server in this build.
#include <unistd.h>

#include <ctime>
#include <string>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "tests/ads/table_fixture.h"
#include "tests/support/server.h"

namespace {

using ads::EADSDatabaseError;

class ServerConnection : public testsupport::OnServer {};

TEST_F(ServerConnection, IsRemoteNamesItsServerAndNamesAMissingTableByItsPath) {
    adstest::FreeTableForm company(serverPath() + "COMPANY/A01/");
    ads::TAdsConnection& c = *company.connection;
    c.SetAdsServerTypes({ads::stADS_LOCAL, ads::stADS_REMOTE});
    c.Connect();
    ASSERT_TRUE(c.IsConnected());
    EXPECT_EQ(c.GetConnectionKind(), "Remote");
    // The host is the socket folder scripts/server made: "/…:port".
    EXPECT_EQ(c.ServerName().substr(0, 1), "/");
    EXPECT_NE(c.ServerName().find(':'), std::string::npos);

    ads::TAdsTable* employees = company.table("TableEmployee", "EMPLOYEE");
    try {
        employees->Open();
        FAIL() << "a missing table opened on a server";
    } catch (const EADSDatabaseError& e) {
        EXPECT_EQ(e.ErrorCode(), AE_FILE_NOT_FOUND);
        EXPECT_NE(e.Message().find("The table postgresql://"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("/velda/COMPANY/A01/EMPLOYEE.adt does not exist."),
                  std::string::npos)
            << e.Message();
    }
    EXPECT_FALSE(employees->Active());
    c.Disconnect();
    EXPECT_FALSE(c.IsConnected());
}

TEST_F(ServerConnection, AFailedConnectShowsTheEnginesTextWithoutThePassword) {
    std::string path = serverPath();
    path.replace(path.find("/velda/"), 7, "/no_such_db/");
    path.insert(path.find('@'), ":Secr3t");
    adstest::FreeTableForm company(path);
    try {
        company.connection->Connect();
        FAIL() << "connected to a database that does not exist";
    } catch (const EADSDatabaseError& e) {
        EXPECT_EQ(e.ErrorCode(), AE_SERVER_CONNECT);
        EXPECT_EQ(e.Message().find("Error 6040: Cannot connect to postgresql://postgres:***@"), 0u)
            << e.Message();
        EXPECT_NE(e.Message().find("database \"no_such_db\" does not exist"), std::string::npos)
            << e.Message();
        EXPECT_EQ(e.Message().find("Secr3t"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(company.connection->IsConnected());
}

TEST_F(ServerConnection, TablesOpenThroughAPathWithParameters) {
    // The parameters stay last whichever table the connection opens: a DIR such as
    // "postgresql://db/velda/?sslmode=verify-full" must open MCOMPANY.
    const std::string folder = freshFolder("params");
    adstest::makeTable(folder, "MCOMPANY.adt", "COMPANY_CODE,Character,8",
                       {{"COMPANY_CODE", "COMPANY_CODE"}});
    adstest::addRows(folder, "MCOMPANY.adt", {{"B02"}, {"A01"}});
    for (const std::string& path : {folder + "?application_name=velda-ads-test",
                                    folder.substr(0, folder.size() - 1) +
                                        "?application_name=velda-ads-test&connect_timeout=5"}) {
        SCOPED_TRACE(path);
        adstest::FreeTableForm company(path);
        company.connection->SetAdsServerTypes({ads::stADS_REMOTE});
        ads::TAdsTable* list = company.table("TableMCompany", "MCOMPANY");
        list->SetIndexFieldNames("COMPANY_CODE");
        list->Open();
        EXPECT_EQ(list->FieldByName("COMPANY_CODE")->AsString(), "A01");
        EXPECT_EQ(list->RecordCount(), 2);
        list->Close();
    }
}

}  // namespace
