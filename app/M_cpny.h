// The company form: the program's main window. It reads the startup configuration, lists the
// companies of the master table with their staff counts and the grand total, and on a pick
// connects to the company's database and runs the login, the service figures and the main
// window on it.
#ifndef VELDA_APP_M_CPNY_H
#define VELDA_APP_M_CPNY_H

#include <string>

#include "app/core/startup.h"
#include "ui/dbgrid.h"
#include "ui/extctrls.h"
#include "ui/forms.h"
#include "ui/stdctrls.h"

namespace db {
class TDataSource;
class TDataSet;
}  // namespace db

namespace ads {
class TAdsConnection;
class TAdsTable;
}  // namespace ads

namespace app {

class TFormMain;
class TFormLogin;

inline constexpr const char* kApplicationTitle =
    "Leave Download Program - [Northgate Online Format]";

class TFormCompany : public ui::TForm {
  public:
    explicit TFormCompany(rtl::TComponent* owner = nullptr);
    ~TFormCompany() override;

    ui::TDBGrid* wwDBGrid1 = nullptr;
    db::TDataSource* wwDataSource1 = nullptr;
    ui::TLabel* Label2 = nullptr;
    ui::TPanel* Panel1 = nullptr;
    ui::TBitBtn* BitBtn3 = nullptr;
    ui::TBitBtn* BitBtn4 = nullptr;
    ads::TAdsTable* TableMCompany = nullptr;
    ads::TAdsConnection* DatabaseMain = nullptr;
    ads::TAdsConnection* AdsConnection1 = nullptr;

    // Values kept for the run.
    std::string ProgramFolder;
    std::string DictionarySetting;
    std::string MasterFolder;

    // The main window (made on the first pick, kept for the run) and the login dialog of the
    // current pick.
    TFormMain* FormMain() const { return formMain_.get(); }
    TFormLogin* FormLogin() const { return formLogin_.get(); }

    void FormCreate();
    void FormKeyDown(ui::TKey& key, ui::TShiftState shift);
    void BitBtn3Click();
    void BitBtn4Click();
    void FormDestroy();
    void wwDBGrid1DblClick();
    void TableMCompanyNewRecord(db::TDataSet* dataSet);

  private:
    // The company code of the grid's current row.
    std::string CurrentCode() const;
    // Steps 5 to 11 of a pick: hide, the main window, the login, the figures, back to the list.
    void WorkOnCompany();

    ui::TFormPtr<TFormMain> formMain_;
    ui::TFormPtr<TFormLogin> formLogin_;
};

}  // namespace app

#endif
