#include "tools/velda-export/company.h"

#include <filesystem>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "rtl/progfolder.h"
#include "rtl/serverpath.h"
#include "tools/velda-export/options.h"

namespace veldaexport {

namespace {

// The master table through its own connection, in code order; closed with the object.
struct MasterTable {
    explicit MasterTable(const app::StartupConfiguration& configuration) {
        connection.SetAdsServerTypes({ads::stADS_REMOTE, ads::stADS_LOCAL});
        connection.SetLoginPrompt(false);
        connection.SetStoreConnected(false);
        connection.SetConnectPath(configuration.MasterFolder);
        table.SetAdsConnection(&connection);
        table.SetTableName("MCOMPANY");
        table.SetIndexFieldNames("COMPANY_CODE");
        table.Open();
    }
    CompanyRow Row() {
        return {table.FieldByName("COMPANY_CODE")->AsString(),
                table.FieldByName("COMPANY_NAME")->AsString(),
                table.FieldByName("TOTAL_STAFF")->AsInteger()};
    }
    ads::TAdsConnection connection;
    ads::TAdsTable table;
};

}  // namespace

app::StartupConfiguration OpenProgramFolder(const std::string& folder) {
    if (rtl::IsServerPath(folder)) {
        // Whether the server can be reached and the folder holds a company list shows when the
        // list is opened, in the engine's words.
        app::StartupConfiguration configuration;
        configuration.ProgramFolder = configuration.MasterFolder = folder;
        return configuration;
    }
    if (!rtl::FileExists(folder + app::kStartupFileName))
        throw UsageError("--folder " + folder + ": no " + app::kStartupFileName +
                         " there (not a velda program folder)");
    // The company list and the companies are found relative to the program folder, so a folder
    // given relative to the working directory is made absolute first.
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(folder, ec).string();
    if (ec) absolute = folder;
    if (!absolute.empty() && absolute.back() != '/') absolute += '/';
    return app::ReadStartupConfiguration(absolute);
}

std::vector<CompanyRow> ReadCompanyList(const app::StartupConfiguration& configuration) {
    MasterTable master(configuration);
    std::vector<CompanyRow> rows;
    for (master.table.First(); !master.table.Eof(); master.table.Next())
        rows.push_back(master.Row());
    return rows;
}

CompanySession::CompanySession(const app::StartupConfiguration& configuration,
                               const std::string& code) {
    {
        MasterTable master(configuration);
        bool found = false;
        for (master.table.First(); !found && !master.table.Eof(); master.table.Next()) {
            if (master.table.FieldByName("COMPANY_CODE")->AsString() == code) {
                company_ = master.Row();
                found = true;
            }
        }
        if (!found) throw UsageError("--company " + code + ": no such company (see --list)");
    }
    owner_.SetName("FormCompany");
    connection_ = owner_.CreateOwned<ads::TAdsConnection>();
    connection_->SetName("DatabaseMain");
    connection_->SetAdsServerTypes({ads::stADS_REMOTE, ads::stADS_LOCAL});
    connection_->SetLoginPrompt(false);
    connection_->SetStoreConnected(false);
    if (configuration.UsesDictionaries()) {
        connection_->SetUsername(ads::kDictionaryUser);
        connection_->SetPassword(ads::kDictionaryPassword);
    }
    connection_->SetConnectPath(app::CompanyConnectPath(configuration, code));
    connection_->Connect();
}

CompanySession::~CompanySession() {
    // The tables go before their connection.
    owner_.DestroyComponents();
}

ads::TAdsTable* CompanySession::OpenTable(const std::string& name, const std::string& indexFields) {
    auto* table = owner_.CreateOwned<ads::TAdsTable>();
    table->SetAdsConnection(connection_);
    table->SetTableName(name);
    table->SetIndexFieldNames(indexFields);
    table->AfterOpen = [](db::TDataSet* dataSet) {
        app::ApplyCompanyTablePassword(dynamic_cast<ads::TAdsDataSet*>(dataSet));
    };
    table->Open();
    return table;
}

void CompanySession::Login(const std::string& user, const std::string& password,
                           const std::string& period) {
    app::AdsLoginTables tables(OpenTable("paypara1.adt", "YEAR"), OpenTable("PASS.adt", "ID"));
    const app::ClosingVerdict verdict = app::LoginOnce(tables, user, password, period);
    if (!verdict.Grant) throw LoginRefused(app::LoginRefusalText(verdict.Refusal));
}

}  // namespace veldaexport
