// The company form driven as a user drives it: the startup configuration, the company list
// and its total, picking a company, and the errors on the way.
#include <gtest/gtest.h>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "app/Login1.h"
#include "app/M_cpny.h"
#include "app/core/startup.h"
#include "app/pay1.h"
#include "rtl/progfolder.h"
#include "tests/ads/table_fixture.h"
#include "tests/app/app_test_support.h"
#include "tests/support/ui/simulate.h"

namespace {

using adstest::addRows;
using adstest::makeTable;

// A program folder with a company list and two free-table companies.
class CompanyForm : public apptest::AppTest {
  protected:
    void SetUp() override {
        apptest::AppTest::SetUp();
        folder_ = std::make_unique<rtl::ScopedProgramFolderForTesting>(dir.path());
        makeTable(dir.path(), "MCOMPANY.adt",
                  "COMPANY_CODE,Character,8;COMPANY_NAME,Character,40;TOTAL_STAFF,Integer",
                  {{"COMPANY_CODE", "COMPANY_CODE"}});
        addRows(dir.path(), "MCOMPANY.adt",
                {{"B02", "Birchwood", "7"}, {"A01", "Alder", "30"}, {"C03", "Cobalt", ""}});
        apptest::MakeCompany(dir.path() + "/COMPANY/A01", "Alder");
        apptest::MakeCompany(dir.path() + "/COMPANY/B02", "Birchwood");
    }
    void TearDown() override {
        form_.reset();
        folder_.reset();
        apptest::AppTest::TearDown();
    }
    app::TFormCompany& start() {
        form_ = ui::NewForm<app::TFormCompany>();
        form_->Show();
        return *form_;
    }
    void writeIni(const std::string& text) { adstest::writeFile(dir / "VELDA.ini", text); }
    // Answers the next login dialog by logging out of it.
    void logOutOfTheLogin() {
        ui::Script().Modal(std::function<void(app::TFormLogin&)>(
            [](app::TFormLogin& login) { login.BitBtn2->Click(); }));
    }

    adstest::TempFolder dir;
    std::unique_ptr<rtl::ScopedProgramFolderForTesting> folder_;
    ui::TFormPtr<app::TFormCompany> form_;
};

TEST_F(CompanyForm, ListsTheCompaniesInCodeOrderWithTheirTotal) {
    app::TFormCompany& f = start();
    EXPECT_EQ(f.Caption(), "Leave Download Program - ver 8.3");
    EXPECT_EQ(f.Panel1->Caption(), "37");  // an empty count counts 0
    ASSERT_EQ(f.wwDBGrid1->ColumnCount(), 3);
    EXPECT_EQ(f.wwDBGrid1->ColumnTitle(0), "Code");
    EXPECT_EQ(f.wwDBGrid1->ColumnTitle(1), "Company Name");
    EXPECT_EQ(f.wwDBGrid1->ColumnTitle(2), "Staff No");
    EXPECT_EQ(f.wwDBGrid1->CellText(0, 0), "A01");
    EXPECT_EQ(f.wwDBGrid1->CellText(1, 1), "Birchwood");
    EXPECT_EQ(f.TableMCompany->FieldByName("COMPANY_CODE")->AsString(), "A01");
    EXPECT_EQ(f.MasterFolder, dir.path() + "/");
    EXPECT_EQ(f.DictionarySetting, "");
}

TEST_F(CompanyForm, EmptyMasterTableShowsZero) {
    adstest::TempFolder other;
    makeTable(other.path(), "MCOMPANY.adt",
              "COMPANY_CODE,Character,8;COMPANY_NAME,Character,40;TOTAL_STAFF,Integer",
              {{"COMPANY_CODE", "COMPANY_CODE"}});
    writeIni("[PATH]\r\nDIR=" + other.path() + "\r\n");
    app::TFormCompany& f = start();
    EXPECT_EQ(f.MasterFolder, other.path());
    EXPECT_EQ(f.Panel1->Caption(), "0");
}

TEST_F(CompanyForm, MasterTableThatCannotBeOpenedIsReported) {
    writeIni("[PATH]\r\nDIR=" + dir.path() + "/nowhere\r\n");
    ui::Script().Message(ui::IDOK);
    app::TFormCompany& f = start();
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("nowhere"), std::string::npos) << MessageTexts()[0];
    EXPECT_EQ(MessageTexts()[0].back(), '.');
    EXPECT_EQ(app().Messages()[0].caption, app::kApplicationTitle);
    EXPECT_TRUE(f.Visible());
    EXPECT_EQ(f.Panel1->Caption(), "");
    EXPECT_EQ(f.wwDBGrid1->VisibleRowCount(), 0);
}

TEST_F(CompanyForm, DictionaryIsChosenOnlyByExactlyYes) {
    for (const char* value : {"yes", "YES more", "Yes"}) {
        writeIni(std::string("[PATH]\r\nDICTIONARY=") + value + "\r\n");
        app::TFormCompany& f = start();
        logOutOfTheLogin();
        f.BitBtn3->Click();
        EXPECT_EQ(f.DatabaseMain->ConnectPath(), dir.path() + "/COMPANY\\A01") << value;
        EXPECT_FALSE(f.DatabaseMain->UsesDictionary());
        form_.reset();
    }
    writeIni("[PATH]\r\nDICTIONARY=YES\r\n");
    app::TFormCompany& f = start();
    ui::Script().Message(ui::IDOK);
    f.BitBtn3->Click();  // no dictionary file in the demo company: the connect fails
    EXPECT_EQ(f.DatabaseMain->ConnectPath(), dir.path() + "/COMPANY\\A01\\A01.ADD");
    EXPECT_EQ(f.DatabaseMain->Username(), "ORBELNAX4");
    EXPECT_EQ(f.DatabaseMain->Password(), "KWENDOLARIX");
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("A01.ADD"), std::string::npos);
    EXPECT_FALSE(f.DatabaseMain->IsConnected());
    EXPECT_TRUE(f.Visible());
}

TEST_F(CompanyForm, CompaniesStayUnderTheProgramFolderWhenDirMovesTheList) {
    adstest::TempFolder other;
    makeTable(other.path(), "MCOMPANY.adt",
              "COMPANY_CODE,Character,8;COMPANY_NAME,Character,40;TOTAL_STAFF,Integer",
              {{"COMPANY_CODE", "COMPANY_CODE"}});
    addRows(other.path(), "MCOMPANY.adt", {{"B02", "Birchwood", "7"}});
    writeIni("[PATH]\r\nDIR=" + other.path() + "\r\n");
    app::TFormCompany& f = start();
    logOutOfTheLogin();
    f.BitBtn3->Click();
    EXPECT_EQ(f.DatabaseMain->ConnectPath(), dir.path() + "/COMPANY\\B02");
    EXPECT_TRUE(f.DatabaseMain->IsConnected());
    EXPECT_TRUE(f.Visible());
}

TEST_F(CompanyForm, CompanyThatCannotBeConnectedLeavesTheListUsable) {
    app::TFormCompany& f = start();
    f.TableMCompany->Last();  // C03 has no database folder
    ui::Script().Message(ui::IDOK);
    f.BitBtn3->Click();
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("C03"), std::string::npos) << MessageTexts()[0];
    EXPECT_FALSE(f.DatabaseMain->IsConnected());
    EXPECT_TRUE(f.Visible());
    f.TableMCompany->First();
    logOutOfTheLogin();
    f.BitBtn3->Click();  // the next pick works
    EXPECT_TRUE(f.DatabaseMain->IsConnected());
}

TEST_F(CompanyForm, PickingTheSameCompanyTwiceReconnects) {
    app::TFormCompany& f = start();
    logOutOfTheLogin();
    f.BitBtn3->Click();
    ADSHANDLE first = f.DatabaseMain->ConnectionHandle();
    logOutOfTheLogin();
    ui::sim::DoubleClickCell(*f.wwDBGrid1, 0, 0);
    EXPECT_TRUE(f.DatabaseMain->IsConnected());
    EXPECT_NE(f.DatabaseMain->ConnectionHandle(), first);
    EXPECT_TRUE(f.Visible());
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(CompanyForm, KeysAndCellEditing) {
    app::TFormCompany& f = start();
    ui::sim::PressKey(f, ui::VK_ESCAPE);  // nothing to cancel: nothing happens
    EXPECT_EQ(f.TableMCompany->State(), db::dsBrowse);
    ui::sim::PressKey(f, ui::VK_NEXT);
    EXPECT_EQ(f.TableMCompany->FieldByName("COMPANY_CODE")->AsString(), "B02");
    ui::sim::PressKey(f, ui::VK_PRIOR);
    EXPECT_EQ(f.TableMCompany->FieldByName("COMPANY_CODE")->AsString(), "A01");

    ui::sim::ClickCell(*f.wwDBGrid1, 0, 2);
    ui::sim::PressKey(*f.wwDBGrid1, ui::VK_F2);
    ASSERT_NE(f.wwDBGrid1->Editor(), nullptr);
    EXPECT_EQ(f.TableMCompany->State(), db::dsEdit);
    f.wwDBGrid1->Editor()->selectAll();
    ui::sim::Type(f.wwDBGrid1->Editor(), "31");
    ui::sim::PressKey(f.wwDBGrid1->Editor(), ui::VK_RETURN);
    EXPECT_EQ(f.TableMCompany->State(), db::dsBrowse);
    f.TableMCompany->Close();
    f.TableMCompany->Open();
    EXPECT_EQ(f.TableMCompany->FieldByName("TOTAL_STAFF")->AsInteger(), 31);
}

TEST_F(CompanyForm, UnreachableServerIsReportedWithoutItsPassword) {
    // No server listens on a socket folder that does not exist: the connect fails at once.
    writeIni(
        "[PATH]\r\nDIR=postgresql://velda:Topsecret-42@%2Fnonexistent-velda-socket:1/velda/"
        "\r\n");
    ui::Script().Message(ui::IDOK);
    app::TFormCompany& f = start();
    EXPECT_EQ(f.MasterFolder,
              "postgresql://velda:Topsecret-42@%2Fnonexistent-velda-socket:1/velda/");
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("Error 6040"), std::string::npos) << MessageTexts()[0];
    EXPECT_NE(MessageTexts()[0].find("postgresql://velda:***@"), std::string::npos)
        << MessageTexts()[0];
    EXPECT_EQ(MessageTexts()[0].find("Topsecret-42"), std::string::npos) << MessageTexts()[0];
    EXPECT_TRUE(f.Visible());
    EXPECT_EQ(f.Panel1->Caption(), "");
    EXPECT_EQ(f.wwDBGrid1->VisibleRowCount(), 0);
}

TEST(CompanyConnectPath, ServerDirHoldsTheCompaniesFolderKeepsThemInTheProgramFolder) {
    struct Case {
        const char* master;
        const char* dictionary;
        const char* path;
    } cases[] = {
        {"/prog/", "", "/prog/COMPANY\\A01"},
        {"/srv/list/", "", "/prog/COMPANY\\A01"},
        {"/srv/list/", "YES", "/prog/COMPANY\\A01\\A01.ADD"},
        {"postgresql://db/velda/", "", "postgresql://db/velda/COMPANY\\A01"},
        {"POSTGRES://db/velda/office/", "YES", "POSTGRES://db/velda/office/COMPANY\\A01\\A01.ADD"},
        {"postgresql://db/velda", "", "postgresql://db/velda/COMPANY\\A01"},
        {"postgresql://db/velda/?sslmode=verify-full", "",
         "postgresql://db/velda/COMPANY\\A01?sslmode=verify-full"},
        {"postgresql://db/velda/?sslmode=verify-full", "YES",
         "postgresql://db/velda/COMPANY\\A01\\A01.ADD?sslmode=verify-full"},
    };
    for (const auto& c : cases) {
        const app::StartupConfiguration configuration{"/prog/", c.dictionary, c.master};
        EXPECT_EQ(app::CompanyConnectPath(configuration, "A01"), c.path) << c.master;
    }
}

TEST_F(CompanyForm, ExitClosesTheForm) {
    app::TFormCompany& f = start();
    f.BitBtn4->Click();
    EXPECT_FALSE(f.Visible());
}

}  // namespace
