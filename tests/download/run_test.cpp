// The download on real tables: the leave selection on the company connection (free tables with
// the employee table encrypted, and a data dictionary), the application lookups and the file,
// through the windowless run and through the dialog's OK.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "ads/adstable.h"
#include "download/core/leavedownload.h"
#include "download/fmdnload.h"
#include "rtl/progfolder.h"
#include "tests/app/app_test_support.h"
#include "tests/download/download_test_support.h"
#include "tests/support/ui/simulate.h"

namespace {

namespace fs = std::filesystem;
namespace sim = ui::sim;
using download::TOutputLayout;
using downloadtest::pad;
using downloadtest::readFile;
using downloadtest::writeFile;

const char* kLeaveFields =
    "EMPCODE,Character,12;LEAVE_CODE,Character,8;DATE,Date;DAY,Double;HOUR,Double;"
    "APPROVED,Character,1;ID,Integer";
const char* kApplicationFields =
    "EMPCODE,Character,12;leave_code,Character,8;ID,Integer;AMPM,Character,2;"
    "REFERENCE,Character,40;REMARKS,Character,40";

// Three employees (E00001 to E00003) and March 2006 leave of every kind.
void MakeLeaveCompany(const std::string& folder) {
    apptest::MakeCompany(folder, "Alder");
    adstest::makeTable(folder, "LEAV_TRX.adt", kLeaveFields,
                       {{"EMPCODE", "EMPCODE;LEAVE_CODE;DATE"}});
    adstest::addRows(folder, "LEAV_TRX.adt",
                     {{"E00002", "MC", "2006-03-02", "2.675", "0", "Y", "4"},
                      {"E00001", "AL", "2006-03-31", "1", "0", "N", "2"},
                      {"E00001", "AL", "2006-03-01", "1.5", "0", "Y", "1"},
                      {"E00001", "NPLHOUR", "2006-03-05", "0", "3.5", "Y", "3"},
                      {"E00002", "MC", "2006-02-28", "1", "0", "Y", "5"},
                      {"E00009", "AL", "2006-03-03", "1", "0", "Y", "6"},
                      {"E00003", "AL", "2006-03-04", "1000", "0", "", "7"},
                      {"E00003", "CL", "2006-03-10", "-0.5", "0", "Y", "8"},
                      {"E00003", "AL", "2006-03-11", "1234.5", "0", "Y", "9"}});
    adstest::makeTable(folder, "empleave.adt", kApplicationFields, {{"EMPCODE", "EMPCODE"}});
    adstest::addRows(folder, "empleave.adt",
                     {{"E00001", "AL", "1", "AM", "LA-1", "Family matters"},
                      {"E00001", "AL", "2", "PM", "LA-2", ""},
                      {"E00002", "MC", "4", "A", "LA-4", "Caf\xE9 flu"},
                      {"E00002", "CL", "8", "PM", "not E00003's", "x"},
                      {"E00003", "AL", "9", "", "LA-9", "Long"}});
}

std::string lines(const std::vector<std::string>& each) {
    std::string bytes;
    for (const auto& line : each) bytes += line + "\r\n";
    return bytes;
}

const std::string d0301 = "01/03/2006", d0302 = "02/03/2006", d0305 = "05/03/2006",
                  d0310 = "10/03/2006", d0311 = "11/03/2006", d0331 = "31/03/2006";
std::string e(const char* code) {
    return pad(code, 12);
}
std::string l(const char* code) {
    return pad(code, 8);
}
std::string app(const char* ampm, const char* ref, const char* rem) {
    return downloadtest::padLeft(ampm, 2) + pad(ref, 40) + pad(rem, 40);
}

// The file each layout writes for March 2006 of the company above.
std::string Expected(TOutputLayout layout) {
    switch (layout) {
        case TOutputLayout::Standard:
            return lines(
                {e("E00001") + l("AL") + d0301 + "  1.50" + d0301 +
                     app("AM", "LA-1", "Family matters") + "Y",
                 e("E00001") + l("NPLHOUR") + d0305 + "  3.50" + d0305 + "Y",
                 e("E00002") + l("MC") + d0302 + "  2.68" + d0302 +
                     app("A", "LA-4", "Caf\xE9 flu") + "Y",
                 e("E00003") + l("AL") + d0311 + "1234.50" + d0311 + app("", "LA-9", "Long") + "Y",
                 e("E00003") + l("CL") + d0310 + " -0.50" + d0310 + "Y"});
        case TOutputLayout::Extended1:
            return lines(
                {e("E00001") + l("AL") + d0301 + d0301 + "  1.50" +
                     app("AM", "LA-1", "Family matters") + "Y",
                 e("E00001") + l("AL") + d0331 + d0331 + "  1.00" + app("PM", "LA-2", "") + "N",
                 e("E00001") + l("NPLHOUR") + d0305 + d0305 + "  3.50" + "Y",
                 e("E00002") + l("MC") + d0302 + d0302 + "  2.68" +
                     app("A", "LA-4", "Caf\xE9 flu") + "Y",
                 e("E00003") + l("AL") + d0311 + d0311 + "1234.50" + app("", "LA-9", "Long") + "Y",
                 e("E00003") + l("CL") + d0310 + d0310 + " -0.50" + "Y"});
        case TOutputLayout::Extended2:
            return lines(
                {e("E00001") + l("AL") + d0301 + "  1.50" + pad("LA-1", 40) +
                     pad("Family matters", 40),
                 e("E00001") + l("NPLHOUR") + d0305 + "  3.50",
                 e("E00002") + l("MC") + d0302 + "  2.68" + pad("LA-4", 40) +
                     pad("Caf\xE9 flu", 40),
                 e("E00003") + l("AL") + d0311 + "1234.50" + pad("LA-9", 40) + pad("Long", 40),
                 e("E00003") + l("CL") + d0310 + " -0.50"});
        case TOutputLayout::Extended3:
            return lines({e("E00001") + l("AL") + d0301 + "  1.50" + d0301,
                          e("E00001") + l("NPLHOUR") + d0305 + "  3.50" + d0305,
                          e("E00002") + l("MC") + d0302 + "  2.68" + d0302,
                          e("E00003") + l("AL") + d0311 + "1234.50" + d0311,
                          e("E00003") + l("CL") + d0310 + " -0.50" + d0310});
    }
    return {};
}

constexpr TOutputLayout kLayouts[] = {TOutputLayout::Standard, TOutputLayout::Extended1,
                                      TOutputLayout::Extended2, TOutputLayout::Extended3};

class LeaveRun : public apptest::AppTest {
  protected:
    void SetUp() override {
        apptest::AppTest::SetUp();
        company_ = folder.path() + "/COMPANY/A01";
        MakeLeaveCompany(company_);
        apptest::EncryptCompanyTables(company_);
        programFolder_ = std::make_unique<rtl::ScopedProgramFolderForTesting>(folder.path());
    }
    void TearDown() override {
        programFolder_.reset();
        apptest::AppTest::TearDown();
    }
    std::string run(ads::TAdsConnection& connection, TOutputLayout layout,
                    rtl::TDateTime from = rtl::EncodeDate(2006, 3, 1),
                    rtl::TDateTime to = rtl::EncodeDate(2006, 3, 31)) {
        std::string path = folder / "run.txt";
        download::TDownloadFile file(path);
        download::RunLeaveDownload(connection, from, to, layout, file);
        file.Close();
        return readFile(path);
    }
    // Shows the download dialog over the company and hands it to drive.
    void dialog(std::function<void(download::Tfmdownload&)> drive) {
        auto d = ui::NewForm<download::Tfmdownload>();
        d->wwDBDateTimePicker1->SetDate(rtl::EncodeDate(2006, 3, 1));
        d->wwDBDateTimePicker2->SetDate(rtl::EncodeDate(2006, 3, 31));
        ui::Script().Modal<download::Tfmdownload>(std::move(drive));
        d->ShowModal();
    }
    std::string savedMessage(const std::string& file) {
        return "Leave download text file has be saved to: [ " + file + " ]";
    }

    testsupport::TempFolder folder{"velda-leave"};
    std::string company_;
    std::unique_ptr<rtl::ScopedProgramFolderForTesting> programFolder_;
};

TEST_F(LeaveRun, EachLayoutOnEncryptedFreeTables) {
    apptest::CompanyStandIn company(company_);
    for (TOutputLayout layout : kLayouts)
        EXPECT_EQ(run(*company.DatabaseMain, layout), Expected(layout)) << static_cast<int>(layout);
    // From later than To selects nothing: an empty file.
    EXPECT_EQ(run(*company.DatabaseMain, TOutputLayout::Standard, rtl::EncodeDate(2006, 3, 31),
                  rtl::EncodeDate(2006, 3, 1)),
              "");
    // One day.
    EXPECT_EQ(run(*company.DatabaseMain, TOutputLayout::Extended3, rtl::EncodeDate(2006, 3, 2),
                  rtl::EncodeDate(2006, 3, 2)),
              lines({e("E00002") + l("MC") + d0302 + "  2.68" + d0302}));
}

TEST_F(LeaveRun, PasswordsOnlyForFreeTables) {
    apptest::CompanyStandIn freeTables(company_);
    ads::TAdsQuery query;
    query.SetDatabaseName("FormCompany.DatabaseMain");
    download::GiveLeaveStatementPasswords(query);
    EXPECT_NE(query.StatementHandle(), ads::kClosedHandle);

    // A dictionary over plain copies of the tables: no password call, so no statement yet.
    std::string plain = folder / "plain";
    MakeLeaveCompany(plain);
    std::string dd = apptest::RegisterTablesInDictionary(plain, "A01", "ORBELNAX4", "KWENDOLARIX");
    ADSHANDLE admin = 0;
    ASSERT_EQ(AdsConnect60(adstest::u8(dd), ADS_LOCAL_SERVER, adstest::u8("ADSSYS"),
                           adstest::u8(""), 0, &admin),
              AE_SUCCESS)
        << adstest::engineLastError();
    for (const char* t : {"LEAV_TRX", "empleave"})
        ASSERT_EQ(AdsDDAddTable(admin, adstest::u8(t), adstest::u8(std::string(t) + ".adt"),
                                ADS_ADT, ADS_ANSI, adstest::u8(""), adstest::u8("")),
                  AE_SUCCESS)
            << adstest::engineLastError();
    (void)AdsDisconnect(admin);
    apptest::CompanyStandIn dictionary(dd);
    dictionary.DatabaseMain->SetUsername("ORBELNAX4");
    dictionary.DatabaseMain->SetPassword("KWENDOLARIX");
    ads::TAdsQuery other;
    other.SetDatabaseName("FormCompany.DatabaseMain");
    other.SetAdsConnection(dictionary.DatabaseMain);
    download::GiveLeaveStatementPasswords(other);
    EXPECT_EQ(other.StatementHandle(), ads::kClosedHandle);
    for (TOutputLayout layout : kLayouts)
        EXPECT_EQ(run(*dictionary.DatabaseMain, layout), Expected(layout))
            << static_cast<int>(layout);
}

TEST_F(LeaveRun, OkWritesTheFileAndSaysSo) {
    apptest::CompanyStandIn company(company_);
    std::string target = folder / "march.txt";
    writeFile(target, std::string(10000, 'x'));  // a rerun replaces the file
    for (int index = 0; index < 4; ++index) {
        dialog([&](download::Tfmdownload& d) {
            d.Edit1->SetText(target);
            d.comboFormatOutput->SetItemIndex(index);
            ui::Script().Message();
            sim::Click(*d.BitBtn3);
        });
        EXPECT_EQ(readFile(target), Expected(kLayouts[index])) << index;
        EXPECT_EQ(MessageTexts(), std::vector<std::string>{savedMessage(target)});
        app().ClearMessages();
    }
    EXPECT_EQ(readFile(folder / "lvdnpath.ini"), "filepath=" + target + "\r\n");
}

TEST_F(LeaveRun, AFileThatCannotBeCreatedIsShownWithoutTheClosingMessage) {
    apptest::CompanyStandIn company(company_);
    std::string target = folder / "no-folder/march.txt";
    dialog([&](download::Tfmdownload& d) {
        d.Edit1->SetText(target);
        ui::Script().Message();
        sim::Click(*d.BitBtn3);
        EXPECT_FALSE(d.Query1->Active());  // the statement does not run without its file
    });
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Cannot create file \"" + target +
                                                       "\". No such file or directory."});
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(LeaveRun, AStatementErrorLeavesAnEarlierFileUntouched) {
    apptest::CompanyStandIn company(company_);
    std::string target = folder / "march.txt";
    writeFile(target, "earlier");
    fs::remove(company_ + "/LEAV_TRX.adt");
    dialog([&](download::Tfmdownload& d) {
        d.Edit1->SetText(target);
        ui::Script().Message();
        sim::Click(*d.BitBtn3);
    });
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("LEAV_TRX"), std::string::npos) << MessageTexts()[0];
    EXPECT_EQ(readFile(target), "earlier");
}

// The dialog writes beside the file and renames as velda-export does: a write that fails (here
// a file size limit, as a full disk would) shows the input/output error and leaves the earlier
// file whole, and nothing else in its folder.
TEST_F(LeaveRun, AFailedWriteShowsTheErrorAndLeavesTheEarlierFileWhole) {
    apptest::CompanyStandIn company(company_);
    fs::create_directory(folder / "out");
    std::string target = folder / "out/march.txt";
    writeFile(target, "earlier");
    // Some 1,500 lines, about 72 KB: more than the limit below, which leaves room for the
    // engine's -shm files (32 KB).
    std::vector<std::vector<std::string>> more;
    for (int i = 0; i < 1500; ++i)
        more.push_back({"E00001", "AL", "2006-03-" + std::to_string(10 + i % 18), "1", "0", "Y",
                        std::to_string(100 + i)});
    adstest::addRows(company_, "LEAV_TRX.adt", more);
    dialog([&](download::Tfmdownload& d) {
        d.Edit1->SetText(target);
        ui::Script().Message();
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        auto* previous = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 48 * 1024;
        setrlimit(RLIMIT_FSIZE, &limit);
        sim::Click(*d.BitBtn3);
        setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, previous);
    });
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"Cannot write file \"" + target + "\". File too large."});
    EXPECT_TRUE(readFile(target) == "earlier") << readFile(target).size() << " bytes";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "out"), fs::directory_iterator()), 1);
}

// A new file is private; a file of the company is never the download's target.
TEST_F(LeaveRun, ANewFileIsPrivateAndTheCompanysTablesAreRefused) {
    apptest::CompanyStandIn company(company_);
    const mode_t mask = umask(022);
    const std::string table = company_ + "/LEAV_TRX.adt";
    const std::string before = readFile(table);
    for (const std::string& target : {folder / "new.txt", table}) {
        dialog([&](download::Tfmdownload& d) {
            d.Edit1->SetText(target);
            ui::Script().Message();
            sim::Click(*d.BitBtn3);
        });
    }
    umask(mask);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{savedMessage(folder / "new.txt"),
                                        "Cannot create file \"" + table +
                                            "\". It is a file of the company or of the program; "
                                            "give another file name."}));
    EXPECT_EQ(fs::status(folder / "new.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(readFile(table), before);
}

TEST_F(LeaveRun, AnEmptyRangeWritesAnEmptyFileAndSaysSo) {
    apptest::CompanyStandIn company(company_);
    std::string target = folder / "empty.txt";
    writeFile(target, "earlier");
    auto d = ui::NewForm<download::Tfmdownload>();
    d->wwDBDateTimePicker1->SetDate(rtl::EncodeDate(2006, 3, 31));
    d->wwDBDateTimePicker2->SetDate(rtl::EncodeDate(2006, 3, 1));
    ui::Script().Modal<download::Tfmdownload>([&](download::Tfmdownload& dialog) {
        dialog.Edit1->SetText(target);
        dialog.comboFormatOutput->SetItemIndex(1);
        ui::Script().Message();
        sim::Click(*dialog.BitBtn3);
    });
    d->ShowModal();
    EXPECT_EQ(readFile(target), "");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{savedMessage(target)});
}

}  // namespace
