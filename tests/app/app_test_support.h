// Helpers for the window suites of the program: the one headless, scripted application object
// of the test program, the fixture that checks each test used up its script, and company
// databases built in temporary folders through the engine's own calls.
#ifndef VELDA_TESTS_APP_APP_TEST_SUPPORT_H
#define VELDA_TESTS_APP_APP_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <QLineEdit>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "rtl/serverpath.h"
#include "rtl/sysutils.h"
#include "tests/ads/ads_test_support.h"
#include "tests/ads/table_fixture.h"
#include "tests/support/ui/headless_app.h"
#include "tests/support/ui/script.h"
#include "ui/application.h"

namespace apptest {

inline constexpr const char* kTitle = "Leave Download Program - [Northgate Online Format]";

// The payroll period of today's month, "YYYYMM".
inline std::string ThisPeriod() {
    int year = 0, month = 0, day = 0;
    rtl::DecodeDate(rtl::Date(), year, month, day);
    return std::to_string(year) + (month < 10 ? "0" : "") + std::to_string(month);
}

// Each test starts with an empty script and no messages, and ends with no script step unused
// and no prompt unanswered. The program-wide short date format (the main window sets it) is
// put back afterwards.
class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::Script().Clear();
        app().ClearMessages();
        app().SetTitle(kTitle);
        savedDateFormat_ = rtl::FormatSettings().ShortDateFormat;
    }
    void TearDown() override {
        EXPECT_EQ(ui::Script().Pending(), 0) << "script steps left unused";
        EXPECT_EQ(ui::Script().Errors(), std::vector<std::string>{});
        ui::Script().Clear();
        app().DestroyForms();
        rtl::FormatSettings().ShortDateFormat = savedDateFormat_;
    }
    static ui::TApplication& app() { return ui::Application(); }
    // The texts of the message boxes shown so far.
    static std::vector<std::string> MessageTexts() {
        std::vector<std::string> texts;
        for (const auto& m : app().Messages()) texts.push_back(m.text);
        return texts;
    }

  private:
    std::string savedDateFormat_;
};

// The company tables, with the fields of the demo program's companies.
inline constexpr const char* kSetupFields =
    "YEAR,Character,4;company,Character,40;G_DATEFORMAT,Character,12;MASTER,Character,12";
inline constexpr const char* kUserFields =
    "ID,Character,8;PASSWORD,Character,12;LOCK,Character,1;hidewage,Character,1;"
    "viewdata,Character,1;audit,Character,1;printer,Character,3";
inline constexpr const char* kEmployeeFields =
    "EMP_NO,Character,12;NAME,Character,40;DOB,Date;HIRED_DATE,Date;"
    "DEPARTMENT_CODE,Character,8;CATEGORY_CODE,Character,8;TERMINATION_DATE,Date";
inline constexpr const char* kServiceFields =
    "USERID,Character,8;EMP_NO,Character,12;AGE,Double;LEN_OF_SVS_MTH,Double;"
    "LEN_OF_SVS_YRS,Double";

inline int ThisYear() {
    int year = 0, month = 0, day = 0;
    rtl::DecodeDate(rtl::Date(), year, month, day);
    return year;
}

// Creates the folder and its four company tables, empty. A folder on a server needs no making.
inline void MakeCompanyTables(const std::string& folder) {
    if (!rtl::IsServerPath(folder)) std::filesystem::create_directories(folder);
    adstest::makeTable(folder, "paypara1.adt", kSetupFields, {{"YEAR", "YEAR"}});
    adstest::makeTable(folder, "PASS.adt", kUserFields, {{"ID", "ID"}});
    adstest::makeTable(folder, "EMPLOYEE.adt", kEmployeeFields, {{"EMP_NO", "EMP_NO"}});
    adstest::makeTable(folder, "EMPSERV.adt", kServiceFields, {{"EMP_NO", "EMP_NO;USERID"}});
}

// A company of free tables as the demo builds it (not yet encrypted): setup rows for 2000 to next
// year with the master password "master" and the format "dd/mm/yyyy"; users CLERK1/clerk1
// (rights Y,N,N), CLERK2/clerk2 (logged in elsewhere) and ADMIN/admin (printer 0); three
// employees; no service rows.
inline void MakeCompany(const std::string& folder, const std::string& companyName) {
    MakeCompanyTables(folder);
    std::vector<std::vector<std::string>> years;
    for (int year = 2000; year <= ThisYear() + 1; ++year)
        years.push_back({std::to_string(year), companyName, "dd/mm/yyyy", "master"});
    adstest::addRows(folder, "paypara1.adt", years);
    adstest::addRows(folder, "PASS.adt",
                     {{"CLERK1", "clerk1", "", "Y", "N", "N", ""},
                      {"CLERK2", "clerk2", "T", "N", "N", "N", ""},
                      {"ADMIN", "admin", "", "N", "Y", "Y", "0"}});
    adstest::addRows(folder, "EMPLOYEE.adt",
                     {{"E00001", "Alice Abbott", "19700309", "19950101", "ADMIN", "S", ""},
                      {"E00002", "Bram Baker", "19811201", "20050310", "OPS", "W", ""},
                      {"E00003", "Chen Castillo", "", "", "IT", "S", ""}});
}

// Encrypts the company tables of a folder with the table password, as the demo does.
inline void EncryptCompanyTables(const std::string& folder) {
    using adstest::u8;
    ADSHANDLE c = 0;
    ASSERT_EQ(AdsConnect(u8(folder), &c), AE_SUCCESS) << adstest::engineLastError();
    for (const char* name : {"paypara1.adt", "PASS.adt", "EMPLOYEE.adt", "EMPSERV.adt"}) {
        if (!std::filesystem::exists(folder + "/" + name)) continue;  // a test removed it
        ADSHANDLE t = 0;
        ASSERT_EQ(AdsOpenTable(c, u8(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                               ADS_CHECKRIGHTS, ADS_EXCLUSIVE, &t),
                  AE_SUCCESS)
            << adstest::engineLastError();
        EXPECT_EQ(AdsEnableEncryption(t, u8("KORVA4816")), AE_SUCCESS);
        EXPECT_EQ(AdsEncryptTable(t), AE_SUCCESS) << adstest::engineLastError();
        (void)AdsCloseTable(t);
    }
    (void)AdsDisconnect(c);
}

// Makes folder/code.ADD (user and password as the program's dictionary login) and registers
// the four company tables of the folder in it; returns the dictionary's path.
inline std::string RegisterTablesInDictionary(const std::string& folder, const std::string& code,
                                              const std::string& user,
                                              const std::string& password) {
    using adstest::u8;
    const std::string path = folder + "/" + code + ".ADD";
    ADSHANDLE dd = 0;
    EXPECT_EQ(AdsDDCreate(u8(path), 0, nullptr, &dd), AE_SUCCESS) << adstest::engineLastError();
    EXPECT_EQ(AdsDDCreateUser(dd, nullptr, u8(user), u8(password), nullptr), AE_SUCCESS)
        << adstest::engineLastError();
    const char* tables[][2] = {{"paypara1", "paypara1.adt"},
                               {"PASS", "PASS.adt"},
                               {"EMPLOYEE", "EMPLOYEE.adt"},
                               {"EMPSERV", "EMPSERV.adt"}};
    for (const auto& t : tables)
        EXPECT_EQ(AdsDDAddTable(dd, u8(t[0]), u8(t[1]), ADS_ADT, ADS_ANSI, u8(""), u8("")),
                  AE_SUCCESS)
            << adstest::engineLastError();
    (void)AdsDisconnect(dd);
    return path;
}

// Stands in for the company form: a component named "FormCompany" that owns the connection
// "DatabaseMain", which the windows' tables name.
struct CompanyStandIn {
    explicit CompanyStandIn(const std::string& connectPath) : form("FormCompany") {
        DatabaseMain = form.CreateOwned<ads::TAdsConnection>();
        DatabaseMain->SetName("DatabaseMain");
        DatabaseMain->SetLoginPrompt(false);
        DatabaseMain->SetConnectPath(connectPath);
    }
    adstest::TestForm form;
    ads::TAdsConnection* DatabaseMain = nullptr;
};

}  // namespace apptest

#endif
