// The whole road from the demo program folder, in one process: the company list, a login, the
// service figures, the main window, a change of period, and back to the list.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "app/Login1.h"
#include "app/M_cpny.h"
#include "app/pay1.h"
#include "rtl/progfolder.h"
#include "rtl/sysutils.h"
#include "tests/app/app_test_support.h"
#include "tests/support/server.h"
#include "tests/support/temp_folder.h"
#include "tests/support/ui/simulate.h"

namespace {

namespace fs = std::filesystem;
namespace sim = ui::sim;
using app::TFormLogin;
using app::TFormMain;

// A demo folder made by the tool (built once per suite: the tool run is the slow part).
class Road : public apptest::AppTest {
  protected:
    static void SetUpTestSuite() {
        temp_ = std::make_unique<testsupport::TempFolder>("velda-road");
        ASSERT_FALSE(temp_->path().empty()) << "no temporary folder";
        root_ = temp_->path();
        for (const char* kind : {"free", "dict"}) {
            std::string command = std::string(VELDA_BINARY_DIR) + "/tools/velda-db demo " +
                                  (root_ / kind).string() + " --employees 12" +
                                  (std::string(kind) == "dict" ? " --dictionary" : "") +
                                  " >/dev/null 2>&1";
            int status = std::system(command.c_str());
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
        }
    }
    static void TearDownTestSuite() { temp_.reset(); }
    void TearDown() override {
        form_.reset();
        folder_.reset();
        apptest::AppTest::TearDown();
    }
    app::TFormCompany& start(const char* kind) {
        folder_ = std::make_unique<rtl::ScopedProgramFolderForTesting>((root_ / kind).string());
        form_ = ui::NewForm<app::TFormCompany>();
        form_->Show();
        return *form_;
    }
    // The service rows of a user, as "EMP_NO AGE MONTHS YEARS".
    std::vector<std::string> serviceRows(const std::string& user) {
        ads::TAdsTable* t = form_->CreateOwned<ads::TAdsTable>();
        t->SetAdsConnection(form_->DatabaseMain);
        t->SetTableName("EMPSERV.adt");
        t->Open();
        if (!form_->DatabaseMain->UsesDictionary()) ads_password(t);
        std::vector<std::string> rows;
        for (t->First(); !t->Eof(); t->Next())
            if (t->FieldByName("USERID")->AsString() == user)
                rows.push_back(t->FieldByName("EMP_NO")->AsString());
        t->Close();
        return rows;
    }
    static void ads_password(ads::TAdsTable* t);

    static inline std::unique_ptr<testsupport::TempFolder> temp_;
    static fs::path root_;
    std::unique_ptr<rtl::ScopedProgramFolderForTesting> folder_;
    ui::TFormPtr<app::TFormCompany> form_;
};
fs::path Road::root_;

void Road::ads_password(ads::TAdsTable* t) {
    UNSIGNED8 password[] = "KORVA4816";
    ASSERT_EQ(AdsEnableEncryption(t->TableHandle(), password), AE_SUCCESS);
    t->First();
}

void typeInto(ui::TMaskEdit& edit, const std::string& text) {
    sim::Click(edit);
    sim::Type(edit, text);
}

// Logs in, looks at the main window, changes the period, and logs out of the second login.
void walk(apptest::AppTest* test, app::TFormCompany& company, const std::string& id,
          const std::string& password, const std::string& companyName, bool& sawMain) {
    (void)test;
    auto& script = ui::Script();
    script.Modal<TFormLogin>([id, password](TFormLogin& login) {
        typeInto(*login.EditUser, id);
        typeInto(*login.EditPwd, password);
        login.BitBtn1->Click();
    });
    script.Modal<TFormMain>([&, companyName](TFormMain& main) {
        sawMain = true;
        EXPECT_EQ(main.Caption(), companyName);
        EXPECT_EQ(main.StatusBar1->Panels(0).Text(), "User ID :" + id);
        EXPECT_EQ(main.StatusBar1->Panels(2).Text(), "Period : " + apptest::ThisPeriod());
        EXPECT_EQ(rtl::FormatSettings().ShortDateFormat, "dd/mm/yyyy");
        // Change Period: the login comes again; a new month, then Logout closes the window.
        ui::Script().Modal<TFormLogin>([&](TFormLogin& again) {
            EXPECT_EQ(again.EditUser->Text(), id);
            EXPECT_EQ(again.EditPwd->Text(), "");
            again.SpinButton1UpClick();
            again.BitBtn2->Click();
        });
        main.ReportitemClick();
    });
    company.BitBtn3->Click();
}

TEST_F(Road, FreeTableCompanyFromTheDemoFolder) {
    app::TFormCompany& company = start("free");
    EXPECT_EQ(company.Panel1->Caption(), std::to_string(12 + 12 * 3 / 5 + 12 * 3 / 10));
    bool sawMain = false;
    walk(this, company, "CLERK1", "clerk1", "Alder Freight Ltd", sawMain);
    EXPECT_TRUE(sawMain);
    EXPECT_TRUE(company.Visible());
    EXPECT_TRUE(MessageTexts().empty()) << MessageTexts().front();
    EXPECT_EQ(company.FormMain()->StatusBar1->Panels(1).Text(), "Emp Size : 12");
    EXPECT_EQ(serviceRows("CLERK1").size(), 12u);

    // The built-in super-user on the second company.
    company.TableMCompany->Next();
    sawMain = false;
    walk(this, company, "QAVRENTO", "4821kwvm37", "Birchwood Catering", sawMain);
    EXPECT_TRUE(sawMain);
    EXPECT_EQ(serviceRows("QAVRENTO").size(), 7u);
}

TEST_F(Road, DictionaryCompanyFromTheDemoFolder) {
    app::TFormCompany& company = start("dict");
    EXPECT_EQ(company.DictionarySetting, "YES");
    bool sawMain = false;
    walk(this, company, "MASTER", "master", "Alder Freight Ltd", sawMain);
    EXPECT_TRUE(sawMain);
    EXPECT_TRUE(company.DatabaseMain->UsesDictionary());
    EXPECT_TRUE(MessageTexts().empty()) << MessageTexts().front();
    EXPECT_EQ(serviceRows("MASTER").size(), 12u);
}

// A folder of its own on the test server, and a program folder whose VELDA.ini names it as DIR:
// the same road as from a folder.
class ServerRoad : public testsupport::OnServer {
  protected:
    void SetUp() override {
        OnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ui::Script().Clear();
        app().ClearMessages();
        app().SetTitle(apptest::kTitle);
        savedDateFormat_ = rtl::FormatSettings().ShortDateFormat;
        ASSERT_FALSE(program_.path().empty()) << "no temporary folder";
        dir_ = freshFolder("r");
        adstest::writeFile(fs::path(program_.path()) / "VELDA.ini",
                           "[PATH]\r\nDIR=" + dir_ + "\r\n");
        folder_ = std::make_unique<rtl::ScopedProgramFolderForTesting>(program_.path());
    }
    void TearDown() override {
        if (IsSkipped()) return;
        form_.reset();
        folder_.reset();
        EXPECT_EQ(ui::Script().Pending(), 0) << "script steps left unused";
        ui::Script().Clear();
        app().DestroyForms();
        rtl::FormatSettings().ShortDateFormat = savedDateFormat_;
    }
    static ui::TApplication& app() { return ui::Application(); }
    // The free-table demo in the server folder.
    void BuildDemo() {
        const std::string command = std::string(VELDA_BINARY_DIR) + "/tools/velda-db demo '" +
                                    dir_ + "' --employees 12 >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    }

    testsupport::TempFolder program_{"velda-road-server"};
    std::string dir_;
    std::string savedDateFormat_;
    std::unique_ptr<rtl::ScopedProgramFolderForTesting> folder_;
    ui::TFormPtr<app::TFormCompany> form_;
};

TEST_F(ServerRoad, FreeTableCompanyOnTheServer) {
    ASSERT_NO_FATAL_FAILURE(BuildDemo());
    form_ = ui::NewForm<app::TFormCompany>();
    form_->Show();
    app::TFormCompany& company = *form_;
    EXPECT_EQ(company.MasterFolder, dir_);
    EXPECT_EQ(company.wwDBGrid1->CellText(0, 1), "Alder Freight Ltd");
    EXPECT_EQ(company.Panel1->Caption(), std::to_string(12 + 12 * 3 / 5 + 12 * 3 / 10));
    bool sawMain = false;
    walk(nullptr, company, "CLERK1", "clerk1", "Alder Freight Ltd", sawMain);
    EXPECT_TRUE(sawMain);
    EXPECT_EQ(company.DatabaseMain->ConnectPath(), dir_ + "COMPANY\\A01");
    EXPECT_TRUE(company.Visible());
    std::vector<std::string> messages;
    for (const auto& m : app().Messages()) messages.push_back(m.text);
    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_EQ(company.FormMain()->StatusBar1->Panels(1).Text(), "Emp Size : 12");

    // A wrong password is refused as on a folder, and the list stays usable.
    company.TableMCompany->Next();
    ui::Script().Modal<TFormLogin>([](TFormLogin& login) {
        typeInto(*login.EditUser, "CLERK1");
        typeInto(*login.EditPwd, "wrong");
        ui::Script().Message(ui::IDOK);
        login.BitBtn1->Click();
        login.BitBtn2->Click();
    });
    company.BitBtn3->Click();
    EXPECT_EQ(company.DatabaseMain->ConnectPath(), dir_ + "COMPANY\\B02");
    ASSERT_EQ(app().Messages().size(), 1u);
    EXPECT_EQ(app().Messages()[0].text, "Invalid Pasword !");
    EXPECT_TRUE(company.Visible());
}

TEST_F(ServerRoad, DictionaryCompanyOnTheServer) {
    // A company kept as a data dictionary in the server folder, found as
    // DIR + "COMPANY\code\code.ADD" when VELDA.ini says DICTIONARY=YES.
    const std::string company = dir_ + "COMPANY/D01";
    adstest::makeTable(dir_, "MCOMPANY.adt",
                       "COMPANY_CODE,Character,8;COMPANY_NAME,Character,40;TOTAL_STAFF,Integer",
                       {{"COMPANY_CODE", "COMPANY_CODE"}});
    adstest::addRows(dir_, "MCOMPANY.adt", {{"D01", "Dogwood Dictionary", "3"}});
    apptest::MakeCompany(company, "Dogwood Dictionary");
    apptest::RegisterTablesInDictionary(company, "D01", "ORBELNAX4", "KWENDOLARIX");
    adstest::writeFile(fs::path(program_.path()) / "VELDA.ini",
                       "[PATH]\r\nDICTIONARY=YES\r\nDIR=" + dir_ + "\r\n");
    form_ = ui::NewForm<app::TFormCompany>();
    form_->Show();
    app::TFormCompany& f = *form_;
    ASSERT_EQ(f.wwDBGrid1->CellText(0, 0), "D01");
    bool sawMain = false;
    walk(nullptr, f, "CLERK1", "clerk1", "Dogwood Dictionary", sawMain);
    EXPECT_TRUE(sawMain);
    EXPECT_EQ(f.DatabaseMain->ConnectPath(), dir_ + "COMPANY\\D01\\D01.ADD");
    EXPECT_TRUE(f.DatabaseMain->UsesDictionary());
    std::vector<std::string> messages;
    for (const auto& m : app().Messages()) messages.push_back(m.text);
    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_EQ(f.FormMain()->StatusBar1->Panels(1).Text(), "Emp Size : 3");
}

}  // namespace
