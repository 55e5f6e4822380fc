// The main window driven as a user drives it, on the road the company form takes: the setup
// table opened, a login, the modal show; its status bar, caption and date format, the change
// of period, and the tables' password on free-table and dictionary companies.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "ads/adstable.h"
#include "app/Login1.h"
#include "app/pay1.h"
#include "download/fmdnload.h"
#include "rtl/progfolder.h"
#include "rtl/sysutils.h"
#include "tests/app/app_test_support.h"
#include "tests/support/ui/simulate.h"

namespace {

using app::TFormLogin;
using app::TFormMain;
namespace sim = ui::sim;

// Types the period and logs in with the Login button.
std::function<void(TFormLogin&)> LogIn(const std::string& id, const std::string& password,
                                       const std::string& period = "") {
    return [=](TFormLogin& l) {
        sim::Click(*l.EditUser);
        sim::Type(*l.EditUser, id);
        sim::Type(*l.EditPwd, password);
        if (!period.empty()) sim::Type(*l.EditPeriod, period);
        sim::Click(*l.BitBtn1);
    };
}

class MainWindow : public apptest::AppTest {
  protected:
    void SetUp() override {
        apptest::AppTest::SetUp();
        folder = dir.path() + "/A01";
        apptest::MakeCompany(folder, "Alder");
        adstest::addRows(
            folder, "paypara1.adt",
            {{"1999", "Alder 1999", "yyyy-mm-dd", "master"}, {"1998", "Alder 1998", "", "master"}});
        apptest::EncryptCompanyTables(folder);
    }
    void TearDown() override {
        login.reset();
        main.reset();
        company.reset();
        apptest::AppTest::TearDown();
    }
    // The company form's steps up to the login: the main window, its setup table, the dialog.
    void pick(const std::string& connectPath, const std::string& user = "",
              const std::string& password = "") {
        company = std::make_unique<apptest::CompanyStandIn>(connectPath);
        company->DatabaseMain->SetUsername(user);
        company->DatabaseMain->SetPassword(password);
        if (!main) main = ui::NewForm<TFormMain>();
        main->TableCoSetup->Open();
        login = ui::NewForm<TFormLogin>(main.get());
        main->FormLogin = login.get();
    }
    bool runLogin(std::function<void(TFormLogin&)> drive) {
        ui::Script().Modal<TFormLogin>(std::move(drive));
        return login->RunLogin();
    }
    void showMain(std::function<void(TFormMain&)> drive) {
        ui::Script().Modal<TFormMain>(std::move(drive));
        main->ShowModal();
    }
    std::string panel(int index) { return main->StatusBar1->Panels(index).Text(); }

    std::string folder;
    adstest::TempFolder dir;
    std::unique_ptr<apptest::CompanyStandIn> company;
    ui::TFormPtr<TFormMain> main;
    ui::TFormPtr<TFormLogin> login;
};

TEST_F(MainWindow, StatusBarCaptionAndDateFormatAfterALogin) {
    pick(folder);
    ASSERT_EQ(main->StatusBar1->PanelCount(), 3);
    EXPECT_EQ(panel(0), "User ID : Unknown User");
    EXPECT_EQ(panel(1), "Emp Size :  ");
    EXPECT_EQ(panel(2), "Period :");
    EXPECT_EQ(main->StatusBar1->Panels(0).Width(), 150);
    EXPECT_EQ(main->StatusBar1->Panels(1).Width(), 120);
    EXPECT_EQ(main->StatusBar1->Panels(2).Width(), 50);
    EXPECT_EQ(main->Profiles->Caption(), "Leave Download");
    EXPECT_EQ(main->Reportitem->Caption(), "Change Period");
    EXPECT_TRUE(main->Profiles->FontBold() && main->Reportitem->FontBold());
    EXPECT_FALSE(main->Image1->Picture().Empty());

    rtl::FormatSettings().ShortDateFormat = "mm-dd-yy";
    ASSERT_TRUE(runLogin(LogIn("clerk1", "clerk1")));
    showMain([&](TFormMain& m) {
        EXPECT_EQ(m.Caption(), "Alder");
        EXPECT_EQ(panel(0), "User ID :CLERK1");  // no blank after the colon
        EXPECT_EQ(panel(1), "Emp Size : 3");
        EXPECT_EQ(panel(2), "Period : " + apptest::ThisPeriod());
        EXPECT_EQ(rtl::FormatSettings().ShortDateFormat, "dd/mm/yyyy");
        EXPECT_FALSE(m.TableEmp->Active());  // open only while counting
        {
            // "Leave Download" opens its dialog for the period's month over the main window.
            rtl::ScopedProgramFolderForTesting programFolder(dir.path());
            ui::Script().Modal<download::Tfmdownload>([](download::Tfmdownload& d) {
                EXPECT_EQ(d.Caption(), "Leave Download for " + apptest::ThisPeriod());
                sim::Click(*d.BitBtn4);
            });
            sim::Click(*m.Profiles);
        }
        EXPECT_TRUE(m.Visible());
        sim::CloseWindow(m);
        EXPECT_FALSE(m.Visible());
    });
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainWindow, ChangeOfPeriod) {
    pick(folder);
    ASSERT_TRUE(runLogin(LogIn("MASTER", "master")));
    showMain([&](TFormMain& m) {
        // A new month of another year: that year's setup row gives caption and format.
        ui::Script().Modal<TFormLogin>(LogIn("MASTER", "master", "199912"));
        sim::Click(*m.Reportitem);
        EXPECT_EQ(m.Caption(), "Alder 1999");
        EXPECT_EQ(rtl::FormatSettings().ShortDateFormat, "yyyy-mm-dd");
        EXPECT_EQ(panel(0), "User ID :MASTER");
        EXPECT_EQ(panel(1), "Emp Size : 3");
        EXPECT_EQ(panel(2), "Period : 199912");
        EXPECT_EQ(m.Period, "199912");

        // A year without a setup row (closing the login by its title bar skips the year
        // check): the row the table stands on stays in use, without a message.
        ui::Script().Modal<TFormLogin>([](TFormLogin& l) {
            sim::Type(*l.EditPwd, "master");
            sim::Type(*l.EditPeriod, "199001");
            sim::CloseWindow(l);
        });
        sim::Click(*m.Reportitem);
        EXPECT_EQ(m.Caption(), "Alder 1999");
        EXPECT_EQ(panel(2), "Period : 199001");

        // A setup row without a date format leaves the format in force; the employee count
        // follows the table.
        login->TableEmp->AppendRecord({"E00004", "Dara Dube"});
        ui::Script().Modal<TFormLogin>(LogIn("CLERK1", "clerk1", "199806"));
        sim::Click(*m.Reportitem);
        EXPECT_EQ(m.Caption(), "Alder 1998");
        EXPECT_EQ(rtl::FormatSettings().ShortDateFormat, "yyyy-mm-dd");
        EXPECT_EQ(panel(0), "User ID :CLERK1");
        EXPECT_EQ(panel(1), "Emp Size : 4");
        EXPECT_EQ(panel(2), "Period : 199806");
        EXPECT_TRUE(m.Visible());
        sim::CloseWindow(m);
    });
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainWindow, ChangePeriodThenLogoutClosesTheWindow) {
    pick(folder);
    ASSERT_TRUE(runLogin(LogIn("CLERK1", "clerk1", "200405")));
    showMain([&](TFormMain& m) {
        ui::Script().Modal<TFormLogin>([](TFormLogin& l) { sim::Click(*l.BitBtn2); });
        sim::Click(*m.Reportitem);
        EXPECT_FALSE(m.Visible());
    });
    EXPECT_EQ(main->Period, "200405");
    EXPECT_EQ(panel(2), "Period : 200405");

    // Esc in the login does the same.
    showMain([&](TFormMain& m) {
        ui::Script().Modal<TFormLogin>(
            [](TFormLogin& l) { sim::PressKey(*l.EditPwd, ui::VK_ESCAPE); });
        sim::Click(*m.Reportitem);
        EXPECT_FALSE(m.Visible());
    });
    EXPECT_TRUE(MessageTexts().empty());
}

// Whether a table got the table password is seen in how it opens: the password is applied
// after the open and re-positions the dataset, which on an empty table moves it to its first
// row (a scroll); a table opened without it does not scroll. Counts those scrolls over the
// login dialog's three tables and the main window's employee table, all empty.
class TablePassword : public MainWindow {
  protected:
    int scrollsOnOpen(const std::string& connectPath, const std::string& user = "",
                      const std::string& password = "") {
        int scrolls = 0;
        auto count = [&scrolls](db::TDataSet*) { ++scrolls; };
        pick(connectPath, user, password);
        EXPECT_TRUE(MessageTexts().empty()) << MessageTexts().front();
        for (ads::TAdsTable* t : {login->TableUser, login->TableEmp, login->wwTableServ}) {
            t->Close();
            t->BeforeScroll = count;
            t->Open();
            t->BeforeScroll = nullptr;  // the login's searches scroll too
        }
        main->TableEmp->BeforeScroll = count;
        EXPECT_TRUE(runLogin(LogIn("MASTER", "master")));
        showMain([&](TFormMain& m) {
            EXPECT_EQ(m.Caption(), "Delta");
            EXPECT_EQ(panel(1), "Emp Size : 0");
            sim::CloseWindow(m);
        });
        return scrolls;
    }
    // A company with a setup row for every year and no users, employees or service rows.
    std::string makeEmptyCompany(const std::string& code) {
        std::string path = dir.path() + "/" + code;
        apptest::MakeCompanyTables(path);
        std::vector<std::vector<std::string>> years;
        for (int year = 2000; year <= apptest::ThisYear() + 1; ++year)
            years.push_back({std::to_string(year), "Delta", "dd/mm/yyyy", "master"});
        adstest::addRows(path, "paypara1.adt", years);
        return path;
    }
};

TEST_F(TablePassword, FreeTablesGetItAndDictionaryTablesDoNot) {
    const std::string free = makeEmptyCompany("F01");
    apptest::EncryptCompanyTables(free);  // without the password no setup row would be found
    EXPECT_EQ(scrollsOnOpen(free), 4);

    login.reset();
    main.reset();
    const std::string path = makeEmptyCompany("D01");
    const std::string dictionary =
        apptest::RegisterTablesInDictionary(path, "D01", "ORBELNAX4", "KWENDOLARIX");
    EXPECT_EQ(scrollsOnOpen(dictionary, "ORBELNAX4", "KWENDOLARIX"), 0);
    EXPECT_TRUE(company->DatabaseMain->UsesDictionary());
}

TEST_F(MainWindow, EmployeeTableThatCannotBeOpened) {
    std::filesystem::remove(folder + "/EMPLOYEE.adt");
    ui::Script().Message();  // the login dialog's own employee table
    pick(folder);
    ASSERT_TRUE(runLogin(LogIn("MASTER", "master")));
    app().ClearMessages();

    // At the first show the error ends the show; the status bar is not filled in.
    ui::Script().Message();
    app().HandleEvent([&] { main->ShowModal(); });
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("employee"), std::string::npos) << MessageTexts()[0];
    EXPECT_EQ(app().Messages()[0].icon, ui::TMsgIcon::Error);
    EXPECT_FALSE(main->Visible());
    EXPECT_EQ(panel(0), "User ID : Unknown User");
    EXPECT_EQ(panel(1), "Emp Size :  ");
}

TEST_F(MainWindow, ErrorAfterAChangeOfPeriodKeepsTheWindowOpen) {
    pick(folder);
    ASSERT_TRUE(runLogin(LogIn("MASTER", "master")));
    showMain([&](TFormMain& m) {
        login->TableEmp->Close();
        std::filesystem::rename(folder + "/EMPLOYEE.adt", folder + "/GONE.adt");
        ui::Script().Modal<TFormLogin>(LogIn("MASTER", "master", "199912"));
        ui::Script().Message();
        sim::Click(*m.Reportitem);
        EXPECT_TRUE(m.Visible());
        EXPECT_EQ(m.Caption(), "Alder 1999");  // the steps before the count were done
        EXPECT_EQ(panel(2), "Period : " + apptest::ThisPeriod());
        EXPECT_FALSE(m.TableEmp->Active());
        sim::CloseWindow(m);
    });
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("employee"), std::string::npos) << MessageTexts()[0];
}

}  // namespace
