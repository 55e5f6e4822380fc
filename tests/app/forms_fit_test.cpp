// Every window of the program shows its texts whole: the walk from the company list through the
// login and the main window to the download dialog and its layout preview, each window measured
// as it is shown, with the demo's company names and the desktop's own font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <string>
#include <vector>

#include "app/Login1.h"
#include "app/M_cpny.h"
#include "app/pay1.h"
#include "download/fmdnload.h"
#include "download/previewOutput.h"
#include "rtl/progfolder.h"
#include "tests/ads/table_fixture.h"
#include "tests/app/app_test_support.h"
#include "tests/support/ui/fit.h"
#include "tests/support/ui/simulate.h"

namespace {

namespace sim = ui::sim;
using adstest::addRows;
using adstest::makeTable;

class FormsFit : public apptest::AppTest {
  protected:
    void SetUp() override {
        apptest::AppTest::SetUp();
        makeTable(dir.path(), "MCOMPANY.adt",
                  "COMPANY_CODE,Character,8;COMPANY_NAME,Character,40;TOTAL_STAFF,Integer",
                  {{"COMPANY_CODE", "COMPANY_CODE"}});
        addRows(dir.path(), "MCOMPANY.adt",
                {{"A01", "Alder Freight Ltd", "30"},
                 {"B02", "Birchwood Catering", "18"},
                 {"C03", "Cobalt Print Works", "9"}});
        apptest::MakeCompany(dir.path() + "/COMPANY/A01", "Alder Freight Ltd");
    }

    // Each window as it is shown, named in the failure.
    static void ExpectFits(const ui::TForm& form, const std::string& which) {
        EXPECT_EQ(ui::fit::TextsThatDoNotFit(form), std::vector<std::string>{}) << which;
    }

    // Company list, login, main window, download dialog, layout preview.
    void WalkEveryWindow() {
        rtl::ScopedProgramFolderForTesting folder(dir.path());
        auto company = ui::NewForm<app::TFormCompany>();
        company->Show();
        ExpectFits(*company, "company list");
        int windows = 1;
        auto& script = ui::Script();
        script.Modal<app::TFormLogin>([&](app::TFormLogin& login) {
            ++windows;
            ExpectFits(login, "login");
            sim::Click(*login.EditUser);
            sim::Type(*login.EditUser, "CLERK1");
            sim::Click(*login.EditPwd);
            sim::Type(*login.EditPwd, "clerk1");
            ExpectFits(login, "login, filled in");
            login.BitBtn1->Click();
        });
        script.Modal<app::TFormMain>([&](app::TFormMain& main) {
            ++windows;
            ExpectFits(main, "main window");
            ui::Script().Modal<download::Tfmdownload>([&](download::Tfmdownload& dialog) {
                ++windows;
                ExpectFits(dialog, "download dialog");
                EXPECT_EQ(dialog.comboFormatOutput->Text(), "Standard Format");
                ui::Script().Modal<download::TfmOutput>([&](download::TfmOutput& preview) {
                    ++windows;
                    ExpectFits(preview, "layout preview");
                    sim::CloseWindow(preview);
                });
                sim::Click(*dialog.Button1);
                sim::Click(*dialog.BitBtn4);
            });
            sim::Click(*main.Profiles);
            sim::CloseWindow(main);
        });
        company->BitBtn3->Click();
        EXPECT_EQ(windows, 5);
        EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
    }

    adstest::TempFolder dir;
};

TEST_F(FormsFit, EveryWindowShowsItsTextsWhole) {
    WalkEveryWindow();
}

// A desktop whose font is half as large again: the windows grow with it.
TEST_F(FormsFit, EveryWindowShowsItsTextsWholeInALargerFont) {
    struct LargerFont {
        QFont previous = QApplication::font();
        LargerFont() {
            QFont larger = previous;
            larger.setPointSizeF(previous.pointSizeF() * 1.5);
            QApplication::setFont(larger);
        }
        ~LargerFont() { QApplication::setFont(previous); }
    } font;
    WalkEveryWindow();
}

}  // namespace
