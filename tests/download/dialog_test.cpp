// The download dialog without a download: the dates and caption "Leave Download" presets, the
// settings file, the layout list, the browse button, the layout preview, Enter and the refusal
// of a typed layout.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <filesystem>

#include "app/pay1.h"
#include "download/fmdnload.h"
#include "download/previewOutput.h"
#include "rtl/progfolder.h"
#include "tests/app/app_test_support.h"
#include "tests/download/download_test_support.h"
#include "tests/support/ui/simulate.h"

namespace {

namespace fs = std::filesystem;
namespace sim = ui::sim;
using download::Tfmdownload;
using downloadtest::readFile;
using downloadtest::writeFile;

class DownloadDialog : public apptest::AppTest {
  protected:
    void SetUp() override {
        apptest::AppTest::SetUp();
        programFolder_ = std::make_unique<rtl::ScopedProgramFolderForTesting>(folder.path());
    }
    void TearDown() override {
        programFolder_.reset();
        apptest::AppTest::TearDown();
    }
    std::string settingsFile() const { return folder / "lvdnpath.ini"; }
    // Shows a dialog and hands it to drive (which must close it).
    void show(std::function<void(Tfmdownload&)> drive) {
        auto dialog = ui::NewForm<Tfmdownload>();
        ui::Script().Modal<Tfmdownload>(std::move(drive));
        dialog->ShowModal();
    }
    std::string home() const { return folder.path() + "/"; }
    // "Leave Download" as its button runs it (an error goes to the error display).
    static void leaveDownload(app::TFormMain& main) {
        app().HandleEvent([&] { main.ProfilesClick(); });
    }

    testsupport::TempFolder folder{"velda-dialog"};
    std::unique_ptr<rtl::ScopedProgramFolderForTesting> programFolder_;
};

TEST_F(DownloadDialog, LeaveDownloadPresetsTheMonthOfThePeriod) {
    apptest::CompanyStandIn company(folder.path());
    auto main = ui::NewForm<app::TFormMain>();
    struct Case {
        const char* period;
        const char* to;
    } cases[] = {{"202402", "29/02/2024"}, {"202302", "28/02/2023"}, {"200002", "29/02/2000"},
                 {"190002", "28/02/1900"}, {"202604", "30/04/2026"}, {"202605", "31/05/2026"},
                 {"202612", "31/12/2026"}};
    rtl::FormatSettings().ShortDateFormat = "dd/mm/yyyy";
    for (const Case& c : cases) {
        main->Period = c.period;
        main->PeriodYear = std::string(c.period).substr(0, 4);
        ui::Script().Modal<Tfmdownload>([&](Tfmdownload& d) {
            EXPECT_EQ(d.wwDBDateTimePicker1->Text(),
                      "01/" + std::string(c.period).substr(4, 2) + "/" + main->PeriodYear);
            EXPECT_EQ(d.wwDBDateTimePicker2->Text(), c.to);
            EXPECT_EQ(d.Caption(), std::string("Leave Download for ") + c.period);
            sim::Click(*d.BitBtn4);
        });
        leaveDownload(*main);
    }
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(DownloadDialog, APeriodThatIsNoMonthShowsTheErrorAndNoDialog) {
    apptest::CompanyStandIn company(folder.path());
    auto main = ui::NewForm<app::TFormMain>();
    for (const char* period : {"202613", "202600", "20AB01", "2026XY"}) {
        main->Period = period;
        main->PeriodYear = std::string(period).substr(0, 4);
        ui::Script().Message();
        leaveDownload(*main);  // no modal step: a dialog shown would be an error
    }
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{
                  "Invalid argument to date encode.", "Invalid argument to date encode.",
                  "'20AB' is not a valid integer value.", "'XY' is not a valid integer value."}));
    EXPECT_FALSE(fs::exists(settingsFile()));
}

TEST_F(DownloadDialog, FirstUseCreatesTheSettingsFileAndRemembersTheName) {
    show([&](Tfmdownload& d) {
        EXPECT_TRUE(fs::exists(settingsFile()));
        EXPECT_EQ(readFile(settingsFile()), "");
        EXPECT_EQ(d.Edit1->Text(), home() + "download.txt");
        EXPECT_EQ(d.ApplicationFolder(), home());
        sim::Click(*d.BitBtn4);
    });
    EXPECT_EQ(readFile(settingsFile()), "filepath=" + home() + "download.txt\r\n");
    show([&](Tfmdownload& d) {
        d.Edit1->SetText("/data/out put.txt");
        sim::CloseWindow(d);  // the title bar's close button saves too
    });
    EXPECT_EQ(readFile(settingsFile()), "filepath=/data/out put.txt\r\n");
    show([&](Tfmdownload& d) {
        EXPECT_EQ(d.Edit1->Text(), "/data/out put.txt");
        d.Edit1->SetText("");
        sim::Click(*d.BitBtn4);
    });
    EXPECT_EQ(readFile(settingsFile()), "");
    show([&](Tfmdownload& d) {
        EXPECT_EQ(d.Edit1->Text(), home() + "download.txt");
        sim::Click(*d.BitBtn4);
    });
}

TEST_F(DownloadDialog, OtherLinesSurviveAndACapitalisedEntryIsReplacedInPlace) {
    writeFile(settingsFile(), "[x]\nFILEPATH= /old/a.txt \r\nlast=1");
    show([&](Tfmdownload& d) {
        EXPECT_EQ(d.Edit1->Text(), " /old/a.txt ");  // everything after "=", blanks included
        d.Edit1->SetText("/new/b.txt");
        sim::Click(*d.BitBtn4);
    });
    EXPECT_EQ(readFile(settingsFile()), "[x]\r\nfilepath=/new/b.txt\r\nlast=1\r\n");
}

TEST_F(DownloadDialog, AlwaysOpensOnTheStandardFormatAndTheListIsEditable) {
    show([&](Tfmdownload& d) {
        EXPECT_EQ(d.comboFormatOutput->Items().Lines(),
                  (std::vector<std::string>{"Standard Format", "Extended Format 1",
                                            "Extended Format 2", "Extended Format 3"}));
        EXPECT_EQ(d.comboFormatOutput->Style(), ui::csDropDown);
        EXPECT_EQ(d.comboFormatOutput->ItemIndex(), 0);
        d.comboFormatOutput->SetItemIndex(3);
        sim::Click(*d.BitBtn4);
    });
    show([&](Tfmdownload& d) {
        EXPECT_EQ(d.comboFormatOutput->Text(), "Standard Format");
        EXPECT_EQ(d.wwDBDateTimePicker1->Format(), "dd/mm/yyyy");
        EXPECT_EQ(d.wwDBDateTimePicker1->Epoch(), 1950);
        EXPECT_EQ(d.wwDBDateTimePicker2->Format(), "");
        EXPECT_EQ(d.wwDBDateTimePicker2->Epoch(), 1950);
        EXPECT_EQ(d.DefaultButton(), d.BitBtn3);
        EXPECT_EQ(d.BitBtn3->ModalResult(), ui::mrOk);
        sim::Click(*d.BitBtn4);
    });
}

TEST_F(DownloadDialog, BrowseProposesLvTransInTheFolderOfTheName) {
    show([&](Tfmdownload& d) {
        d.Edit1->SetText("/srv/payroll/march.txt");
        ui::Script().FileDialog([](ui::TOpenDialog& o, QFileDialog& box) {
            EXPECT_EQ(o.InitialDir(), "/srv/payroll/");
            EXPECT_EQ(o.FileName(), "lv_trans.txt");
            EXPECT_EQ(o.Filter(), "*.txt|*.txt");
            EXPECT_EQ(o.DefaultExt(), "txt");
            box.reject();
        });
        sim::Click(*d.SpeedButton1);
        EXPECT_EQ(d.Edit1->Text(), "/srv/payroll/march.txt");  // cancelled: unchanged

        std::string chosen = folder / "april.txt";  // need not exist
        ui::Script().ChooseFile(chosen);
        sim::Click(*d.SpeedButton1);
        EXPECT_EQ(d.Edit1->Text(), chosen);

        d.Edit1->SetText("plain.txt");
        ui::Script().FileDialog([](ui::TOpenDialog& o, QFileDialog& box) {
            EXPECT_EQ(o.InitialDir(), "");
            box.reject();
        });
        sim::Click(*d.SpeedButton1);
        sim::Click(*d.BitBtn4);
    });
}

TEST_F(DownloadDialog, EnterPressesOkAndATypedLayoutIsRefused) {
    std::string target = folder / "never.txt";
    show([&](Tfmdownload& d) {
        d.Edit1->SetText(target);
        d.comboFormatOutput->SetText("My Format");
        EXPECT_EQ(d.comboFormatOutput->ItemIndex(), -1);
        ui::Script().Message();
        sim::PressKey(*d.Edit1, ui::VK_RETURN);
        // The OK button's modal result closes the dialog after the refusal.
    });
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Invalid Output Format Type!"});
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(readFile(settingsFile()), "filepath=" + target + "\r\n");
}

TEST_F(DownloadDialog, FormatSpecShowsThePreview) {
    show([&](Tfmdownload& d) {
        ui::Script().Modal<download::TfmOutput>([](download::TfmOutput& p) {
            EXPECT_EQ(p.Caption(), "Preview Output Format");
            EXPECT_TRUE(p.PreviewWindow->ReadOnly());
            std::vector<std::string> lines = p.PreviewWindow->Lines().Lines();
            ASSERT_EQ(lines.size(), 48u);
            EXPECT_EQ(lines[0], "Standard Format");
            EXPECT_EQ(lines[3], "Leave Code (8) - Left pad with traliing space");
            EXPECT_EQ(lines[12], std::string(66, '-') + " More");
            EXPECT_EQ(lines[32], "Date (10) - dd/MM/yyyy");
            EXPECT_EQ(lines[47], std::string(66, '-') + " End");
            EXPECT_EQ(lines, download::PreviewLines());
            sim::CloseWindow(p);
        });
        d.comboFormatOutput->SetItemIndex(2);
        sim::Click(*d.Button1);
        EXPECT_EQ(d.comboFormatOutput->ItemIndex(), 2);  // settings unchanged
        sim::Click(*d.BitBtn4);
    });
}

TEST_F(DownloadDialog, SettingsThatCannotBeReadOrSavedAreReported) {
    fs::create_directory(settingsFile());  // a folder in the settings file's place
    ui::Script().Message();
    show([&](Tfmdownload& d) {
        EXPECT_EQ(d.Edit1->Text(), home() + "download.txt");
        sim::Click(*d.BitBtn4);  // nothing to save: closes
    });
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("lvdnpath.ini"), std::string::npos) << MessageTexts()[0];
    fs::remove(settingsFile());
    app().ClearMessages();

    show([&](Tfmdownload& d) {
        fs::remove_all(folder.path());  // the program folder is gone before the close
        ui::Script().Message();
        sim::Click(*d.BitBtn4);
        EXPECT_TRUE(d.Visible());  // the close was abandoned
        ui::Script().Message();
        sim::Click(*d.BitBtn4);  // a second failure closes after reporting it
    });
    ASSERT_EQ(MessageTexts().size(), 2u);
    EXPECT_NE(MessageTexts()[0].find("Cannot create file"), std::string::npos) << MessageTexts()[0];
    fs::create_directories(folder.path());
}

}  // namespace
