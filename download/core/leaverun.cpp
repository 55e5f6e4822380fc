// The whole download on a company connection, without windows: the statement, its passwords, the
// lines and the sink.
#include "ads/adscnnct.h"
#include "ads/adsfunc.h"
#include "ads/adstable.h"
#include "download/core/leavedownload.h"

namespace download {

void GiveLeaveStatementPasswords(ads::TAdsQuery& query) {
    const ads::TAdsConnection* connection = query.AdsConnection();
    // Dictionary tables are not encrypted; free tables share the company's table password.
    if (connection != nullptr && connection->UsesDictionary()) return;
    query.EnableStatementEncryption(kTablePassword);
    query.SetStatementTablePassword("EMPLOYEE", kTablePassword);
    query.SetStatementTablePassword("EMPLOYEE.ADT", kTablePassword);
}

std::int64_t RunLeaveDownload(ads::TAdsQuery& query, ads::TAdsDataSet& applications,
                              rtl::TDateTime from, rtl::TDateTime to, TOutputLayout layout,
                              TLineSink& sink, const TProgress& progress) {
    query.SetSQLText(LeaveSelectionSql(from, to, layout));
    query.Open();
    try {
        std::unique_ptr<TLeaveRows> rows = DataSetRows(query);
        std::unique_ptr<TApplicationLookup> lookup;
        if (layout != TOutputLayout::Extended3)
            lookup = SelectionLookup(applications, from, to, layout);
        const std::int64_t lines = WriteLeaveLines(*rows, layout, lookup.get(), sink, progress);
        sink.Finish();
        query.Close();
        return lines;
    } catch (...) {
        query.Close();  // the next run sets its own statement
        throw;
    }
}

std::int64_t RunLeaveDownload(ads::TAdsConnection& connection, rtl::TDateTime from,
                              rtl::TDateTime to, TOutputLayout layout, TLineSink& sink,
                              const TProgress& progress) {
    rtl::TComponent owner(nullptr);
    auto* query = owner.CreateOwned<ads::TAdsQuery>();
    query->SetName("LeaveSelection");
    // A query names its connection; one without a name is given one.
    if (connection.Name().empty()) connection.SetName("LeaveDownloadConnection");
    const std::string databaseName = connection.Owner() && !connection.Owner()->Name().empty()
                                         ? connection.Owner()->Name() + "." + connection.Name()
                                         : connection.Name();
    query->SetDatabaseName(databaseName);
    query->SetAdsConnection(&connection);
    query->BeforeOpen = [query](db::TDataSet*) { GiveLeaveStatementPasswords(*query); };

    auto* applications = owner.CreateOwned<ads::TAdsTable>();
    applications->SetName("tblleave");
    applications->SetDatabaseName(databaseName);
    applications->SetAdsConnection(&connection);
    applications->SetTableName("empleave.adt");
    applications->SetIndexName("EMPCODE");
    return RunLeaveDownload(*query, *applications, from, to, layout, sink, progress);
}

}  // namespace download
