// The login dialog: a user ID, a password and a payroll period. It admits users of the
// company's user table, the company's master user (password per year in the company setup
// table) and the built-in super-user, and writes the user's rights and the period into the
// main window's login values.
//
// One dialog serves one pick of a company: the first login and every change of period. Its
// three tables name the company form's connection "FormCompany.DatabaseMain", which must exist
// when the dialog is made; the main window given to it must outlive it.
#ifndef VELDA_APP_LOGIN1_H
#define VELDA_APP_LOGIN1_H

#include <cstdint>
#include <string>

#include "app/core/loginrules.h"
#include "ui/extctrls.h"
#include "ui/forms.h"
#include "ui/stdctrls.h"

namespace db {
class TDataSet;
}

namespace ads {
class TAdsTable;
}

namespace app {

class TFormMain;

class TFormLogin : public ui::TForm {
  public:
    // The main window whose login values the dialog writes and whose company setup table it
    // searches. The tables open at once (FormCreate); an error is shown and the dialog is
    // still made.
    explicit TFormLogin(TFormMain* mainWindow);
    ~TFormLogin() override;

    ui::TGroupBox* GroupBox1 = nullptr;
    ui::TLabel* Label5 = nullptr;
    ui::TMaskEdit* EditUser = nullptr;  // upper case, at most 8, "MASTER" at first
    ui::TLabel* Label6 = nullptr;
    ui::TMaskEdit* EditPwd = nullptr;  // at most 12, shown as '*'
    ui::TLabel* Label1 = nullptr;
    ui::TMaskEdit* EditPeriod = nullptr;  // six digits, year then month
    ui::TSpinButton* SpinButton1 = nullptr;
    ui::TPanel* Panel1 = nullptr;
    ui::TBitBtn* BitBtn1 = nullptr;  // "&Login", the default button
    ui::TBitBtn* BitBtn2 = nullptr;  // "&Logout", the cancel button

    ads::TAdsTable* TableUser = nullptr;    // PASS.adt by ID
    ads::TAdsTable* TableEmp = nullptr;     // EMPLOYEE.adt by EMP_NO
    ads::TAdsTable* wwTableServ = nullptr;  // EMPSERV.adt by EMP_NO;USERID

    // Login presses that passed the year check, from 1 at each showing.
    std::int32_t Attempts = 1;
    // "T": close without a login (Logout, Esc, too many attempts).
    std::string GiveUp;
    // Whether the last showing ended with a user admitted.
    bool LoginOK = false;

    // Shows the dialog modally; true when a user logged in.
    bool RunLogin();

    void FormCreate();
    void TableUserAfterOpen(db::TDataSet* dataSet);
    void FormShow();
    void EditUserClick();
    void EditPwdClick();
    void SpinButton1UpClick();
    void SpinButton1DownClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void FormCloseQuery(bool& canClose);

  private:
    void StepPeriod(int months);
    // Writes the user, the period and the rights into the main window.
    void Grant(const std::string& hideWage, const std::string& viewData, const std::string& audit);

    TFormMain* main_;
};

}  // namespace app

#endif
