// The login dialog driven as a user drives it: typing into its boxes, the spin button, Login
// and Logout, Enter and Esc, the title bar's close button; the refusals it shows and the
// login values it writes into the main window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <cctype>
#include <functional>
#include <memory>
#include <string>

#include "ads/adstable.h"
#include "app/Login1.h"
#include "app/pay1.h"
#include "rtl/sysutils.h"
#include "tests/app/app_test_support.h"
#include "tests/support/ui/simulate.h"

namespace {

using app::TFormLogin;
using app::TFormMain;
namespace sim = ui::sim;

// A company of encrypted free tables, its stand-in company form, the main window with its setup
// table open and a login dialog, as the company form prepares them for a login.
class Login : public apptest::AppTest {
  protected:
    void SetUp() override {
        apptest::AppTest::SetUp();
        folder = dir.path() + "/A01";
        apptest::MakeCompany(folder, "Alder");
    }
    void TearDown() override {
        login.reset();
        main.reset();
        company.reset();
        apptest::AppTest::TearDown();
    }
    // Extra user rows (ID, password, lock, hidewage, viewdata, audit, printer); before start().
    void addUsers(const std::vector<std::vector<std::string>>& rows) {
        adstest::addRows(folder, "PASS.adt", rows);
    }
    // Encrypts the company's tables (as the program finds them) and prepares a login.
    void start(int printers = 2) {
        apptest::EncryptCompanyTables(folder);
        company = std::make_unique<apptest::CompanyStandIn>(folder);
        main = ui::NewForm<TFormMain>();
        main->Printer.PretendPrinters(printers);
        main->TableCoSetup->Open();
        login = ui::NewForm<TFormLogin>(main.get());
        main->FormLogin = login.get();
    }
    // Shows the dialog, lets drive act on it and answers whether a user logged in.
    bool run(std::function<void(TFormLogin&)> drive) {
        ui::Script().Modal<TFormLogin>(std::move(drive));
        return login->RunLogin();
    }

    std::string folder;
    adstest::TempFolder dir;
    std::unique_ptr<apptest::CompanyStandIn> company;
    ui::TFormPtr<TFormMain> main;
    ui::TFormPtr<TFormLogin> login;
};

// The user clicks into a box (which selects its text) and types over it.
void typeInto(ui::TMaskEdit& edit, const std::string& text) {
    sim::Click(edit);
    sim::Type(edit, text);
}

void typeLogin(TFormLogin& l, const std::string& id, const std::string& password) {
    typeInto(*l.EditUser, id);
    typeInto(*l.EditPwd, password);
}

// The next message box is answered with OK.
void expectMessage() {
    ui::Script().Message(ui::IDOK);
}

TEST_F(Login, InputRulesOfTheBoxesAndEnter) {
    start();
    EXPECT_TRUE(run([&](TFormLogin& l) {
        EXPECT_EQ(l.EditUser->Text() + "/" + l.EditPeriod->Text(),
                  "MASTER/" + apptest::ThisPeriod());
        sim::Click(*l.EditUser);  // a click selects the whole ID
        EXPECT_EQ(l.EditUser->SelText(), "MASTER");
        sim::Type(*l.EditUser, "clerk1xyz");  // forced to upper case, cut at 8
        EXPECT_EQ(l.EditUser->Text(), "CLERK1XY");
        sim::PressKey(*l.EditUser, ui::VK_BACK);
        sim::PressKey(*l.EditUser, ui::VK_BACK);
        sim::Type(*l.EditPwd, "clerk1-and-more");  // at most 12, shown as stars
        EXPECT_EQ(l.EditPwd->LineEdit()->displayText().toStdString(), "************");
        sim::Click(*l.EditPwd);
        EXPECT_EQ(l.EditPwd->SelText(), "clerk1-and-m");
        sim::Type(*l.EditPwd, "clerk1");
        sim::Type(*l.EditPeriod, "2005x0345");  // six digits only
        EXPECT_EQ(l.EditPeriod->Text(), "200503");
        sim::PressKey(l, ui::VK_RETURN);  // Enter presses Login
    }));
    EXPECT_EQ(main->UserId + " " + main->Period + " " + main->PeriodYear, "CLERK1 200503 2005");
}

TEST_F(Login, SpinningStepsTheMonthAcrossYearEnds) {
    start();
    EXPECT_FALSE(run([&](TFormLogin& l) {
        QAbstractButton* up = l.SpinButton1->UpButton();
        QAbstractButton* down = l.SpinButton1->DownButton();
        struct Step {
            const char* typed;  // empty: keep the period
            QAbstractButton* arrow;
            const char* shown;
        };
        for (const Step& step :
             {Step{"199912", up, "200001"}, Step{"", down, "199912"}, Step{"200509", up, "200510"},
              Step{"", down, "200509"}, Step{"200601", down, "200512"}}) {
            if (*step.typed) sim::Type(*l.EditPeriod, step.typed);
            sim::Click(step.arrow);
            EXPECT_EQ(l.EditPeriod->Text(), step.shown) << step.typed;
        }

        // A month part left blank is no number: the platform's error, the period unchanged.
        sim::Type(*l.EditPeriod, "2005");
        sim::PressKey(*l.EditPeriod, ui::VK_END);
        sim::PressKey(*l.EditPeriod, ui::VK_BACK);
        sim::PressKey(*l.EditPeriod, ui::VK_BACK);
        expectMessage();
        sim::Click(up);
        EXPECT_EQ(l.EditPeriod->Text(), "2005  ");
        sim::PressKey(l, ui::VK_ESCAPE);
    }));
    ASSERT_EQ(app().Messages().size(), 1u);
    EXPECT_EQ(app().Messages()[0].text, "'  ' is not a valid integer value.");
    EXPECT_EQ(app().Messages()[0].icon, ui::TMsgIcon::Error);
}

TEST_F(Login, YearWithoutSetupRowIsRefusedAndNotCounted) {
    start();
    EXPECT_FALSE(run([&](TFormLogin& l) {
        typeLogin(l, "CLERK1", "clerk1");
        sim::Type(*l.EditPeriod, "199901");
        for (int press = 0; press < 5; ++press) {
            expectMessage();
            sim::Click(*l.BitBtn1);
        }
        EXPECT_EQ(l.Attempts, 1);
        EXPECT_TRUE(l.Visible());
        sim::Click(*l.BitBtn2);
    }));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>(5, "Database year not defined"));
    EXPECT_EQ(app().Messages()[0].caption, apptest::kTitle);
    EXPECT_EQ(app().Messages()[0].icon, ui::TMsgIcon::None);
    EXPECT_EQ(main->UserId, "");
}

TEST_F(Login, TheFourthJudgedPressGivesUpWhateverWasTyped) {
    start();
    EXPECT_FALSE(run([&](TFormLogin& l) {
        typeLogin(l, "CLERK1", "wrong");
        for (int press = 0; press < 3; ++press) {
            expectMessage();
            sim::Click(*l.BitBtn1);
            EXPECT_TRUE(l.Visible());
        }
        typeInto(*l.EditPwd, "clerk1");
        sim::Click(*l.BitBtn1);  // right now, but too late
    }));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>(3, "Invalid Pasword !"));
    EXPECT_EQ(main->UserId, "");
    EXPECT_EQ(login->GiveUp, "T");

    // The next showing starts counting again; the fourth wrong press shows its message first.
    app().ClearMessages();
    EXPECT_FALSE(run([&](TFormLogin& l) {
        EXPECT_EQ(l.Attempts, 1);
        typeInto(*l.EditPwd, "wrong");
        for (int press = 0; press < 4; ++press) {
            expectMessage();
            sim::Click(*l.BitBtn1);
        }
    }));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>(4, "Invalid Pasword !"));
}

TEST_F(Login, RefusalsOfTheLoginPress) {
    start();
    EXPECT_FALSE(run([&](TFormLogin& l) {
        typeLogin(l, "MASTER", "Master");  // passwords are case-sensitive
        expectMessage();
        sim::Click(*l.BitBtn1);
        typeLogin(l, "NOBODY", "master");
        expectMessage();
        sim::Click(*l.BitBtn1);
        typeLogin(l, "QAVRENTO", "wrong");  // silently refused
        sim::Click(*l.BitBtn1);
        EXPECT_EQ(l.Attempts, 4);
        EXPECT_TRUE(l.Visible());
        sim::Click(*l.BitBtn2);
    }));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Invalid password !", "Invalid ID !"}));
}

TEST_F(Login, UserOfTheUserTableGetsTheRightsOfTheRow) {
    start();
    main->HideWage = main->ViewData = main->Audit = "?";
    EXPECT_TRUE(run([&](TFormLogin& l) {
        typeLogin(l, "clerk1", "clerk1");
        sim::Type(*l.EditPeriod, "200612");
        sim::Click(*l.BitBtn1);
    }));
    EXPECT_TRUE(login->LoginOK);
    EXPECT_EQ(main->UserId, "CLERK1");
    EXPECT_EQ(main->Period, "200612");
    EXPECT_EQ(main->PeriodYear, "2006");
    EXPECT_EQ(main->HideWage + main->ViewData + main->Audit, "YNN");
    EXPECT_EQ(main->PrinterIndex, -1);  // no printer value: none selected
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(Login, MasterAndSuperUserGetNoRights) {
    start();
    EXPECT_TRUE(run([&](TFormLogin& l) {
        typeInto(*l.EditPwd, "master");
        sim::Type(*l.EditPeriod, "200102");
        sim::PressKey(l, ui::VK_RETURN);
    }));
    EXPECT_EQ(main->UserId, "MASTER");
    EXPECT_EQ(main->Period, "200102");
    EXPECT_EQ(main->HideWage + main->ViewData + main->Audit, "NNN");

    EXPECT_TRUE(run([&](TFormLogin& l) {
        typeLogin(l, "QAVRENTO", "4821kwvm37");
        sim::Click(*l.BitBtn1);
    }));
    EXPECT_EQ(main->UserId, "QAVRENTO");
    EXPECT_EQ(main->Period, apptest::ThisPeriod());
    EXPECT_EQ(main->HideWage + main->ViewData + main->Audit, "NNN");
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(Login, LockedUserIsTurnedAwayAndTheIdEmptied) {
    start();
    EXPECT_FALSE(run([&](TFormLogin& l) {
        typeLogin(l, "CLERK2", "clerk2");
        expectMessage();
        sim::Click(*l.BitBtn1);
        EXPECT_TRUE(l.Visible());
        EXPECT_EQ(l.EditUser->Text(), "");
        EXPECT_FALSE(l.LoginOK);
        sim::Click(*l.BitBtn2);
    }));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"User already logged in!"});
    EXPECT_EQ(main->UserId, "");
}

TEST_F(Login, PrinterOfTheUserRow) {
    addUsers({{"FAR", "far", "", "N", "N", "N", "2"},
              {"LOW", "low", "", "N", "N", "N", "-5"},
              {"BAD", "bad", "", "N", "N", "N", "x1"}});
    start(2);
    // The users' passwords are their IDs in lower case.
    auto logIn = [&](const std::string& id) {
        return run([&](TFormLogin& l) {
            std::string password = id;
            for (char& c : password) c = static_cast<char>(std::tolower(c));
            typeLogin(l, id, password);
            sim::Click(*l.BitBtn1);
        });
    };
    EXPECT_TRUE(logIn("ADMIN"));  // printer 0 of two
    EXPECT_EQ(main->PrinterIndex, 0);
    EXPECT_EQ(main->Printer.PrinterIndex(), 0);
    EXPECT_EQ(main->Printer.PrinterName(), "Printer 1");
    EXPECT_EQ(main->HideWage + main->ViewData + main->Audit, "NYY");

    EXPECT_TRUE(logIn("FAR"));  // past the last printer: the default one
    EXPECT_EQ(main->PrinterIndex, -1);
    EXPECT_EQ(main->Printer.PrinterIndex(), -1);
    EXPECT_TRUE(logIn("LOW"));  // below the first: the default one too
    EXPECT_EQ(main->PrinterIndex, -1);

    main->Printer.PretendPrinters(0);  // no printer installed at all
    EXPECT_TRUE(logIn("ADMIN"));
    EXPECT_EQ(main->PrinterIndex, -1);

    // A printer value that is no number: the platform's error, the dialog stays open and the
    // login values stay as they were.
    EXPECT_FALSE(run([&](TFormLogin& l) {
        typeLogin(l, "BAD", "bad");
        expectMessage();
        sim::Click(*l.BitBtn1);
        EXPECT_TRUE(l.Visible());
        sim::Click(*l.BitBtn2);
    }));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"'x1' is not a valid integer value."});
    EXPECT_EQ(main->UserId, "ADMIN");
    EXPECT_EQ(main->HideWage + main->ViewData + main->Audit, "NYY");
}

TEST_F(Login, EmptyMasterPasswordOfTheYear) {
    adstest::addRows(folder, "paypara1.adt", {{"1999", "Alder", "dd/mm/yyyy", ""}});
    start();
    EXPECT_TRUE(run([&](TFormLogin& l) {
        sim::Type(*l.EditPeriod, "199906");
        sim::Click(*l.BitBtn1);  // "MASTER" and nothing typed as password
    }));
    EXPECT_EQ(main->UserId, "MASTER");
    EXPECT_EQ(main->PeriodYear, "1999");
    // The other years keep their password.
    EXPECT_FALSE(run([&](TFormLogin& l) {
        expectMessage();
        sim::Click(*l.BitBtn1);
        sim::Click(*l.BitBtn2);
    }));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Invalid password !"});
}

TEST_F(Login, UserRowNamedMasterTakesTheMasterGrantWithTheMasterPassword) {
    addUsers({{"MASTER", "master", "", "Y", "Y", "Y", "0"}});
    start();
    EXPECT_TRUE(run([&](TFormLogin& l) {
        typeInto(*l.EditPwd, "master");
        sim::Click(*l.BitBtn1);
    }));
    EXPECT_EQ(main->UserId, "MASTER");
    EXPECT_EQ(main->HideWage + main->ViewData + main->Audit, "NNN");
    EXPECT_EQ(main->PrinterIndex, -1);  // the row's printer is not looked at
}

TEST_F(Login, TitleBarCloseRunsTheClosingCheck) {
    start();
    // The master password of the setup table's current row logs in without a Login press.
    EXPECT_TRUE(run([&](TFormLogin& l) {
        typeInto(*l.EditPwd, "master");
        sim::CloseWindow(l);
    }));
    EXPECT_EQ(main->UserId, "MASTER");
    EXPECT_EQ(main->Period, apptest::ThisPeriod());

    // Any other password goes on to the user table, which has no MASTER row.
    EXPECT_FALSE(run([&](TFormLogin& l) {
        typeInto(*l.EditPwd, "guess");
        expectMessage();
        sim::CloseWindow(l);
        EXPECT_TRUE(l.Visible());
        EXPECT_TRUE(l.EditUser->Focused());

        typeLogin(l, "CLERK1", "guess");
        expectMessage();
        sim::CloseWindow(l);
        EXPECT_TRUE(l.Visible());
        EXPECT_TRUE(l.EditPwd->Focused());
        EXPECT_EQ(l.Attempts, 1);  // closing is no attempt
        sim::Click(*l.BitBtn2);
    }));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Unauthorized user", "Invalid Password!"}));
    EXPECT_EQ(main->UserId, "MASTER");
}

TEST_F(Login, EmptySetupTableHasNoMasterPassword) {
    adstest::TempFolder other;
    apptest::MakeCompanyTables(other.path());
    folder = other.path();
    start();
    EXPECT_FALSE(run([&](TFormLogin& l) {
        expectMessage();
        sim::CloseWindow(l);  // "MASTER", empty password, no setup row at all
        EXPECT_TRUE(l.Visible());
        sim::Click(*l.BitBtn2);
    }));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Unauthorized user"});
    EXPECT_EQ(main->UserId, "");
}

TEST_F(Login, LogoutAndEscLeaveWithoutALogin) {
    start();
    main->UserId = "BEFORE";
    EXPECT_FALSE(run([&](TFormLogin& l) {
        typeLogin(l, "CLERK1", "clerk1");  // even with the right password typed
        sim::Click(*l.BitBtn2);
    }));
    EXPECT_FALSE(run([&](TFormLogin& l) {
        typeInto(*l.EditPwd, "master");
        sim::PressKey(*l.EditPwd, ui::VK_ESCAPE);
    }));
    EXPECT_EQ(main->UserId, "BEFORE");
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(Login, SecondShowingForAChangeOfPeriod) {
    start();
    EXPECT_TRUE(run([&](TFormLogin& l) {
        typeLogin(l, "CLERK1", "wrong");
        sim::Type(*l.EditPeriod, "200407");
        expectMessage();
        sim::Click(*l.BitBtn1);
        typeInto(*l.EditPwd, "clerk1");
        sim::Click(*l.BitBtn1);
    }));
    EXPECT_EQ(main->Period, "200407");
    EXPECT_TRUE(run([&](TFormLogin& l) {
        EXPECT_EQ(l.EditUser->Text(), "CLERK1");
        EXPECT_EQ(l.EditPwd->Text(), "");
        EXPECT_EQ(l.EditPeriod->Text(), apptest::ThisPeriod());
        EXPECT_EQ(l.Attempts, 1);
        typeInto(*l.EditPwd, "clerk1");
        sim::Click(*l.BitBtn1);
    }));
    EXPECT_EQ(main->Period, apptest::ThisPeriod());
}

TEST_F(Login, TableThatCannotBeOpened) {
    std::filesystem::remove(folder + "/PASS.adt");
    expectMessage();
    start();
    // The dialog is made all the same and says why.
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("PASS"), std::string::npos) << MessageTexts()[0];
    EXPECT_EQ(app().Messages()[0].icon, ui::TMsgIcon::Error);
    EXPECT_FALSE(login->TableUser->Active());
    app().ClearMessages();

    // A search in it fails with the error; the dialog stays open.
    EXPECT_FALSE(run([&](TFormLogin& l) {
        typeLogin(l, "CLERK1", "clerk1");
        expectMessage();
        sim::Click(*l.BitBtn1);
        EXPECT_TRUE(l.Visible());
        expectMessage();
        sim::CloseWindow(l);
        EXPECT_TRUE(l.Visible());
        sim::Click(*l.BitBtn2);
    }));
    ASSERT_EQ(MessageTexts().size(), 2u);
    EXPECT_EQ(app().Messages()[0].icon, ui::TMsgIcon::Error);
    EXPECT_EQ(app().Messages()[1].icon, ui::TMsgIcon::Error);
}

}  // namespace
