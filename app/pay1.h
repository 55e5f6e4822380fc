// The main window: what the user works from after logging in to a company. Its caption is the
// company's name; its status bar shows the user, the number of employees and the period. It
// offers "Leave Download" and "Change Period", and holds the login values that the login
// dialog writes.
//
// Its tables name the company form's connection "FormCompany.DatabaseMain", which must exist
// when the window is made. Each show sets the program-wide short date format
// (rtl::FormatSettings().ShortDateFormat) from the company setup row of the period's year.
#ifndef VELDA_APP_PAY1_H
#define VELDA_APP_PAY1_H

#include <cstdint>
#include <string>

#include "ui/extctrls.h"
#include "ui/forms.h"
#include "ui/printers.h"

namespace db {
class TDataSet;
}

namespace ads {
class TAdsTable;
}

namespace app {

class TFormLogin;

class TFormMain : public ui::TForm {
  public:
    explicit TFormMain(rtl::TComponent* owner = nullptr);
    ~TFormMain() override;

    ui::TImage* Image1 = nullptr;
    ui::TSpeedButton* Profiles = nullptr;    // "Leave Download"
    ui::TSpeedButton* Reportitem = nullptr;  // "Change Period"
    ui::TStatusBar* StatusBar1 = nullptr;    // user, employee count, period

    // paypara1.adt by YEAR: opened by the company form before each login and left open.
    ads::TAdsTable* TableCoSetup = nullptr;
    // The employee table, counted (all rows) by RefreshStatusBar, open only while it counts.
    ads::TAdsTable* TableEmp = nullptr;

    // The login values, written by the login dialog's closing check.
    std::string UserId;
    std::string Period;      // six digits: year, then month
    std::string PeriodYear;  // its first four
    std::string HideWage, ViewData, Audit;
    std::int16_t PrinterIndex = -1;  // -1: the default printer

    // The printers, and the one the login selected.
    ui::TPrinter Printer;
    // The login dialog of the current pick of a company (set and cleared by the company form);
    // "Change Period" runs it again.
    TFormLogin* FormLogin = nullptr;

    void TableCoSetupAfterOpen(db::TDataSet* dataSet);
    void FormShow();
    void RefreshStatusBar();
    void ReportitemClick();
    void ProfilesClick();
};

}  // namespace app

#endif
