// The road through the windows with the company database on the test server (group
// ServerDownloadRoad): the demo folder copied there and a program folder whose VELDA.ini names
// it as DIR; the company list, a login, "Leave Download" with each layout, the message and the
// files, which are byte for byte those of the same road from the demo folder itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/Login1.h"
#include "app/M_cpny.h"
#include "app/pay1.h"
#include "download/fmdnload.h"
#include "rtl/progfolder.h"
#include "tests/app/app_test_support.h"
#include "tests/download/download_test_support.h"
#include "tests/support/demo_folder.h"
#include "tests/support/server.h"
#include "tests/support/temp_folder.h"
#include "tests/support/ui/simulate.h"
#include "tests/tools/tool_test_support.h"

namespace {

using tooltest::Quote;
using tooltest::Tool;

namespace fs = std::filesystem;
namespace sim = ui::sim;
using downloadtest::readFile;

// What the clerk saw and what the downloads wrote, on one road.
struct RoadSeen {
    std::vector<std::string> list;  // the company list's cells, row by row
    std::string total;
    std::string mainCaption;
    std::vector<std::string> messages;
    std::vector<std::string> files;  // one a layout
};

class ServerDownloadRoad : public testsupport::OnServer {
  protected:
    void SetUp() override {
        OnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ui::Script().Clear();
        app().ClearMessages();
        app().SetTitle(apptest::kTitle);
        savedDateFormat_ = rtl::FormatSettings().ShortDateFormat;
        ASSERT_FALSE(dir_.empty()) << "no temporary folder";
        root_ = freshFolder("w");
        ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool("velda-db"), "--employees 10", Demo()), "");
        const tooltest::Result r =
            tooltest::RunCaptured("env VELDA_DB_PASSWORD=KORVA4816 " + Tool("velda-db") + " copy " +
                                      Quote(Demo().string()) + " " + Quote(root_) + " </dev/null",
                                  dir_);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        fs::create_directories(Program());
        downloadtest::writeFile((Program() / "VELDA.ini").string(),
                                "[PATH]\r\nDIR=" + root_ + "\r\n");
    }
    void TearDown() override {
        if (IsSkipped()) return;
        EXPECT_EQ(ui::Script().Pending(), 0) << "script steps left unused";
        EXPECT_EQ(ui::Script().Errors(), std::vector<std::string>{});
        ui::Script().Clear();
        app().DestroyForms();
        rtl::FormatSettings().ShortDateFormat = savedDateFormat_;
    }
    static ui::TApplication& app() { return ui::Application(); }

    fs::path Demo() const { return dir_ / "demo"; }
    fs::path Program() const { return dir_ / "program"; }

    // From the company list of the program folder: company A01, CLERK1's login, and a download
    // of each layout into `out`-N.txt in the period's month (or into the files given, one a
    // layout from the first).
    RoadSeen Road(const fs::path& programFolder, const std::string& out,
                  const std::vector<std::string>& targets = {}) {
        RoadSeen seen;
        rtl::ScopedProgramFolderForTesting folder(programFolder.string());
        app().ClearMessages();
        auto form = ui::NewForm<app::TFormCompany>();
        form->Show();
        for (int row = 0; row < form->wwDBGrid1->VisibleRowCount(); ++row)
            for (int col = 0; col < 3; ++col)
                seen.list.push_back(form->wwDBGrid1->CellText(row, col));
        seen.total = form->Panel1->Caption();

        auto& script = ui::Script();
        script.Modal<app::TFormLogin>([](app::TFormLogin& login) {
            sim::Click(*login.EditUser);
            sim::Type(*login.EditUser, "CLERK1");
            sim::Click(*login.EditPwd);
            sim::Type(*login.EditPwd, "clerk1");
            login.BitBtn1->Click();
        });
        script.Modal<app::TFormMain>([&](app::TFormMain& main) {
            seen.mainCaption = main.Caption();
            const int layouts = targets.empty() ? 4 : static_cast<int>(targets.size());
            for (int layout = 0; layout < layouts; ++layout) {
                const std::string target = targets.empty()
                                               ? out + "-" + std::to_string(layout) + ".txt"
                                               : targets[static_cast<size_t>(layout)];
                ui::Script().Modal<download::Tfmdownload>([&](download::Tfmdownload& d) {
                    EXPECT_EQ(d.Caption(), "Leave Download for " + apptest::ThisPeriod());
                    d.Edit1->SelectAll();
                    sim::Type(*d.Edit1, target);
                    d.comboFormatOutput->SetItemIndex(layout);
                    ui::Script().Message();
                    sim::Click(*d.BitBtn3);
                });
                sim::Click(*main.Profiles);
                seen.files.push_back(readFile(target));
            }
            sim::CloseWindow(main);
        });
        form->BitBtn3->Click();
        EXPECT_TRUE(form->Visible());
        for (const auto& m : app().Messages()) seen.messages.push_back(m.text);
        form.reset();
        return seen;
    }

    testsupport::TempFolder temp_{"velda-download-server-road"};
    const fs::path dir_ = temp_.path();
    std::string root_;
    std::string savedDateFormat_;
};

TEST_F(ServerDownloadRoad, TheFilesAreTheFoldersByteForByte) {
    const std::string out = (dir_ / "out").string();
    const RoadSeen folder = Road(Demo(), out + "-folder");
    const RoadSeen server = Road(Program(), out + "-server");

    EXPECT_EQ(server.list, folder.list);
    ASSERT_GE(folder.list.size(), 9u);
    EXPECT_EQ(folder.list[1], "Alder Freight Ltd");
    EXPECT_EQ(server.total, folder.total);
    EXPECT_EQ(server.mainCaption, "Alder Freight Ltd");
    std::vector<std::string> said;
    for (int layout = 0; layout < 4; ++layout)
        said.push_back("Leave download text file has be saved to: [ " + out + "-server-" +
                       std::to_string(layout) + ".txt ]");
    EXPECT_EQ(server.messages, said);
    ASSERT_EQ(server.files.size(), 4u);
    ASSERT_EQ(folder.files.size(), 4u);
    for (int layout = 0; layout < 4; ++layout) {
        EXPECT_NE(folder.files[layout], "") << layout;
        EXPECT_TRUE(server.files[layout] == folder.files[layout])
            << "layout " << layout << ": " << server.files[layout].size() << " bytes against "
            << folder.files[layout].size();
    }
    // The dialog's settings file lies in the program folder, beside VELDA.ini.
    EXPECT_EQ(readFile((Program() / "lvdnpath.ini").string()),
              "filepath=" + out + "-server-3.txt\r\n");
}

// With the companies on a server the program folder holds only VELDA.ini, lvdnpath.ini and the
// program: the download never replaces them.
TEST_F(ServerDownloadRoad, TheProgramFoldersFilesAreNotTheDownloadsTarget) {
    const std::string ini = (Program() / "VELDA.ini").string();
    const std::string settings = (Program() / "lvdnpath.ini").string();
    downloadtest::writeFile(settings, "filepath=" + (dir_ / "out.txt").string() + "\r\n");
    const std::string iniBefore = readFile(ini);
    const RoadSeen seen = Road(Program(), "", {ini, settings});
    const std::string refusal =
        "\". It is a file of the company or of the program; give another file name.";
    EXPECT_EQ(seen.messages,
              (std::vector<std::string>{"Cannot create file \"" + ini + refusal,
                                        "Cannot create file \"" + settings + refusal}));
    EXPECT_EQ(readFile(ini), iniBefore);
    // Closing the dialog keeps the name typed last, as it does for any file name.
    EXPECT_EQ(readFile(settings), "filepath=" + settings + "\r\n");
}

}  // namespace
