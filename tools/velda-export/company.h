// The program folder and one company of it, as the company form and the login dialog reach
// them: the startup configuration, the company list, the company connection and the login.
#ifndef VELDA_TOOLS_EXPORT_COMPANY_H
#define VELDA_TOOLS_EXPORT_COMPANY_H

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/loginrules.h"
#include "app/core/startup.h"
#include "rtl/component.h"

namespace ads {
class TAdsConnection;
class TAdsTable;
}  // namespace ads

namespace veldaexport {

// The run cannot go on: one line for standard error; the program ends with status 1.
class RunError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The login was refused: its text is the dialog's; status 1.
class LoginRefused : public RunError {
  public:
    using RunError::RunError;
};

struct CompanyRow {
    std::string Code, Name;
    long long Staff = 0;
};

// The configuration of a program folder. Throws UsageError when the folder has no "VELDA.ini".
// A server path is the company list's database or folder, holding "COMPANY/" of free-table
// companies: there is no "VELDA.ini" to read there.
app::StartupConfiguration OpenProgramFolder(const std::string& folder);

// The company list in code order, as the company form shows it (an empty staff count is 0).
std::vector<CompanyRow> ReadCompanyList(const app::StartupConfiguration& configuration);

// One company's database, connected as the company form connects it: the connection is
// "FormCompany.DatabaseMain", so datasets that name it reach it. Its tables get the table
// password when they open unless the company is a data dictionary.
class CompanySession {
  public:
    // Throws UsageError when the code is not in the company list.
    CompanySession(const app::StartupConfiguration& configuration, const std::string& code);
    ~CompanySession();
    CompanySession(const CompanySession&) = delete;
    CompanySession& operator=(const CompanySession&) = delete;

    ads::TAdsConnection& Connection() { return *connection_; }
    const CompanyRow& Company() const { return company_; }

    // Opens a table of the company in the order of the index fields; the session owns it.
    ads::TAdsTable* OpenTable(const std::string& name, const std::string& indexFields);

    // Logs in as the login dialog would for the period; throws LoginRefused with the dialog's
    // text. No service figures are written.
    void Login(const std::string& user, const std::string& password, const std::string& period);

  private:
    CompanyRow company_;
    rtl::TComponent owner_;  // "FormCompany"
    ads::TAdsConnection* connection_ = nullptr;
};

}  // namespace veldaexport

#endif
