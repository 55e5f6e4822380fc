// The whole road of a download in one process, from a folder made by velda-db demo (free tables
// and data dictionaries): the company list, a login, "Leave Download", a file name typed, each
// layout, OK, the message, the file, and the settings file after the close. The lines the file
// must hold are worked out here from the demo's tables as velda-db exports them. velda-export
// must write the same bytes as the dialog for each layout.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>

#include "app/Login1.h"
#include "app/M_cpny.h"
#include "app/pay1.h"
#include "download/fmdnload.h"
#include "rtl/progfolder.h"
#include "tests/app/app_test_support.h"
#include "tests/download/download_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/ui/simulate.h"

namespace {

namespace fs = std::filesystem;
namespace sim = ui::sim;
using downloadtest::pad;
using downloadtest::padLeft;
using downloadtest::readFile;

std::string Tool() {
    return std::string(VELDA_BINARY_DIR) + "/tools/velda-db";
}

std::string ExportTool() {
    return std::string(VELDA_BINARY_DIR) + "/tools/velda-export";
}

int RunCommand(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The rows of a table as velda-db exports them (CSV, header first, record order).
std::vector<std::map<std::string, std::string>> Export(const std::string& table,
                                                       const std::string& password) {
    std::string out = table + ".csv";
    std::string command = Tool() + " export " + table +
                          (password.empty() ? "" : " --password " + password) + " > " + out;
    EXPECT_EQ(RunCommand(command), 0) << command;
    std::istringstream in(readFile(out));
    std::vector<std::vector<std::string>> cells;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> row(1);
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (quoted) {
                if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                    row.back() += '"', ++i;
                else if (c == '"')
                    quoted = false;
                else
                    row.back() += c;
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                row.emplace_back();
            } else {
                row.back() += c;
            }
        }
        cells.push_back(row);
    }
    std::vector<std::map<std::string, std::string>> rows;
    for (size_t r = 1; r < cells.size(); ++r) {
        std::map<std::string, std::string> row;
        for (size_t f = 0; f < cells[0].size() && f < cells[r].size(); ++f)
            row[rtl::UpperCase(cells[0][f])] = cells[r][f];
        rows.push_back(row);
    }
    return rows;
}

std::string Amount(const std::string& text) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", text.empty() ? 0.0 : std::stod(text));
    return buffer;
}

// The lines of each layout for the month, worked out from the exported tables; each line with
// its sort key (employee, leave code, date).
using Keyed =
    std::vector<std::pair<std::tuple<std::string, std::string, std::string>, std::string>>;
Keyed ExpectedLines(const std::string& company, const std::string& password, int layout,
                    const std::string& first, const std::string& last) {
    std::set<std::string> employees;
    for (auto& row : Export(company + "/EMPLOYEE.adt", password)) employees.insert(row["EMP_NO"]);
    std::map<std::tuple<std::string, std::string, std::string>, std::map<std::string, std::string>>
        applications;
    for (auto& row : Export(company + "/empleave.adt", ""))
        applications.emplace(
            std::make_tuple(row["EMPCODE"], row["LEAVE_CODE"], row["ID"].empty() ? "0" : row["ID"]),
            row);  // the first of equal keys, in record order, stays
    Keyed lines;
    for (auto& row : Export(company + "/LEAV_TRX.adt", "")) {
        const std::string& date = row["DATE"];
        if (date < first || date > last || !employees.count(row["EMPCODE"])) continue;
        const std::string& flag = row["APPROVED"];
        if (!(flag == "Y" || (layout == 1 && flag == "N"))) continue;
        std::string shown = date.substr(8, 2) + "/" + date.substr(5, 2) + "/" + date.substr(0, 4);
        std::string amount =
            padLeft(Amount(row["LEAVE_CODE"] == "NPLHOUR" ? row["HOUR"] : row["DAY"]), 6);
        std::string text = pad(row["EMPCODE"], 12) + pad(row["LEAVE_CODE"], 8);
        auto found = applications.find({row["EMPCODE"], row["LEAVE_CODE"], row["ID"]});
        std::string ampm, refs;
        if (found != applications.end()) {
            ampm = padLeft(found->second["AMPM"], 2);
            refs = pad(found->second["REFERENCE"], 40) + pad(found->second["REMARKS"], 40);
        }
        if (layout == 0) text += shown + amount + shown + ampm + refs + flag;
        if (layout == 1) text += shown + shown + amount + ampm + refs + flag;
        if (layout == 2) text += shown + amount + refs;
        if (layout == 3) text += shown + amount + shown;
        lines.emplace_back(std::make_tuple(row["EMPCODE"], row["LEAVE_CODE"], date), text);
    }
    return lines;
}

std::string ThisPeriod(int& year, int& month) {
    std::string period = apptest::ThisPeriod();
    year = std::stoi(period.substr(0, 4));
    month = std::stoi(period.substr(4));
    return period;
}

class DownloadRoad : public apptest::AppTest {
  protected:
    static void SetUpTestSuite() {
        temp_ = std::make_unique<testsupport::TempFolder>("velda-download-road");
        ASSERT_FALSE(temp_->path().empty()) << "no temporary folder";
        root_ = temp_->path();
        for (const char* kind : {"free", "dict"}) {
            std::string command = Tool() + " demo " + (root_ / kind).string() +
                                  (std::string(kind) == "dict" ? " --dictionary" : "") +
                                  " >/dev/null 2>&1";
            ASSERT_EQ(RunCommand(command), 0) << command;
        }
    }
    static void TearDownTestSuite() { temp_.reset(); }

    // Company A01 of the demo folder: logs in, makes a download of each layout for the period's
    // month and compares each file with the lines worked out from the tables.
    void road(const char* kind, const std::string& password) {
        rtl::ScopedProgramFolderForTesting folder((root_ / kind).string());
        int year = 0, month = 0;
        std::string period = ThisPeriod(year, month);
        char first[16], last[16];
        std::snprintf(first, sizeof first, "%04d-%02d-01", year, month);
        std::snprintf(last, sizeof last, "%04d-%02d-%02d", year, month,
                      rtl::DaysInAMonth(year, month));
        std::string company = (root_ / kind / "COMPANY" / "A01").string();
        std::string target = (root_ / kind / "leave.txt").string();

        auto form = ui::NewForm<app::TFormCompany>();
        form->Show();
        auto& script = ui::Script();
        script.Modal<app::TFormLogin>([](app::TFormLogin& login) {
            sim::Click(*login.EditUser);
            sim::Type(*login.EditUser, "CLERK1");
            sim::Click(*login.EditPwd);
            sim::Type(*login.EditPwd, "clerk1");
            login.BitBtn1->Click();
        });
        script.Modal<app::TFormMain>([&](app::TFormMain& main) {
            for (int layout = 0; layout < 4; ++layout) {
                ui::Script().Modal<download::Tfmdownload>([&](download::Tfmdownload& d) {
                    EXPECT_EQ(d.Caption(), "Leave Download for " + period);
                    EXPECT_EQ(d.comboFormatOutput->ItemIndex(), 0);
                    d.Edit1->SelectAll();
                    sim::Type(*d.Edit1, target);
                    d.comboFormatOutput->SetItemIndex(layout);
                    ui::Script().Message();
                    sim::Click(*d.BitBtn3);
                });
                app().ClearMessages();
                sim::Click(*main.Profiles);
                EXPECT_EQ(MessageTexts(),
                          std::vector<std::string>{"Leave download text file has be saved to: [ " +
                                                   target + " ]"});

                Keyed expected = ExpectedLines(company, password, layout, first, last);
                std::string bytes = readFile(target);
                std::vector<std::string> got;
                for (size_t at = 0; at < bytes.size();) {
                    size_t end = bytes.find("\r\n", at);
                    ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
                    got.push_back(bytes.substr(at, end - at));
                    at = end + 2;
                }
                ASSERT_EQ(got.size(), expected.size()) << "layout " << layout;
                EXPECT_GE(got.size(), 20u) << "layout " << layout;
                // In the statement's order; lines of equal key may come in either order.
                std::stable_sort(expected.begin(), expected.end(),
                                 [](auto& a, auto& b) { return a.first < b.first; });
                for (size_t i = 0; i < got.size(); ++i) {
                    size_t j = i;
                    while (j < expected.size() && expected[j].first == expected[i].first &&
                           expected[j].second != got[i])
                        ++j;
                    ASSERT_TRUE(j < expected.size() && expected[j].first == expected[i].first)
                        << "layout " << layout << " line " << i << ": " << got[i];
                    std::swap(expected[i], expected[j]);
                }

                // velda-export, the same range (its default: the period's month) and layout:
                // the same bytes, through free tables and the dictionary alike.
                std::string exported = (root_ / kind / "exported.txt").string();
                std::string command = "VELDA_PASSWORD=master " + ExportTool() + " --folder " +
                                      (root_ / kind).string() +
                                      " --company A01 --user MASTER --quiet --format " +
                                      std::to_string(layout) + " --output " + exported;
                ASSERT_EQ(RunCommand(command), 0) << command;
                EXPECT_EQ(readFile(exported), bytes) << "velda-export, layout " << layout;
            }
            sim::CloseWindow(main);
        });
        form->BitBtn3->Click();
        EXPECT_EQ(readFile((root_ / kind / "lvdnpath.ini").string()),
                  "filepath=" + target + "\r\n");
        form.reset();
    }

    static inline std::unique_ptr<testsupport::TempFolder> temp_;
    static fs::path root_;
};
fs::path DownloadRoad::root_;

TEST_F(DownloadRoad, FreeTablesOfTheDemoFolder) {
    road("free", "KORVA4816");
}

TEST_F(DownloadRoad, DictionaryOfTheDemoFolder) {
    road("dict", "");
}

}  // namespace
