// The download from a company on the test server writes the same bytes as from the folder it was
// copied from (group ServerDownloadBytes): every layout, through the windowless run and through
// velda-export, over the demo (free tables and a data dictionary) and over companies of random
// leave built from the awkward cases of the download's own tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/company_credentials.h"
#include "download/core/leavedownload.h"
#include "tests/app/app_test_support.h"
#include "tests/download/download_test_support.h"
#include "tests/support/demo_folder.h"
#include "tests/support/server.h"
#include "tests/support/temp_folder.h"
#include "tests/tools/tool_test_support.h"

namespace {

using tooltest::Quote;
using tooltest::Tool;

namespace fs = std::filesystem;
using download::TOutputLayout;
using downloadtest::readFile;
using tooltest::Result;

constexpr TOutputLayout kLayouts[] = {TOutputLayout::Standard, TOutputLayout::Extended1,
                                      TOutputLayout::Extended2, TOutputLayout::Extended3};
constexpr const char* kFormats[] = {"standard", "extended1", "extended2", "extended3"};

// ---- companies of random leave ------------------------------------------------------------

const char* kLeaveFields =
    "EMPCODE,Character,12;LEAVE_CODE,Character,8;DATE,Date;DAY,Double;HOUR,Double;"
    "APPROVED,Character,1;ID,Integer";
const char* kApplicationFields =
    "EMPCODE,Character,12;leave_code,Character,8;ID,Integer;AMPM,Character,2;"
    "REFERENCE,Character,40;REMARKS,Character,40";

template <class T>
const T& Pick(std::mt19937& random, const std::vector<T>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
}

// A text of up to `length` bytes, Windows-1252 letters 0x80 to 0xFF among plain ones; the
// longest the field holds about a third of the time.
std::string AwkwardText(std::mt19937& random, size_t length) {
    size_t size = std::uniform_int_distribution<size_t>(0, 2)(random) == 0
                      ? length
                      : std::uniform_int_distribution<size_t>(0, length)(random);
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        if (std::uniform_int_distribution<int>(0, 2)(random) == 0)
            text += static_cast<char>(std::uniform_int_distribution<int>(0x80, 0xFF)(random));
        else
            text += static_cast<char>(std::uniform_int_distribution<int>('A', 'z')(random));
    }
    // Trailing blanks are not kept by a text field; a leading one is.
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// A company (login tables as the demo's, not yet encrypted) with leave for March 2006 and the
// days around it: NPLHOUR and its near misses, halves and odd decimals, the longest values,
// Windows-1252 letters, several applications per line with the right one after others, lines
// without their application, transactions of missing employees and empty or other approvals.
void MakeRandomCompany(const std::string& folder, unsigned seed) {
    std::mt19937 random(seed);
    apptest::MakeCompany(folder, "Random " + std::to_string(seed));
    std::vector<std::string> employees = {"E00001", "E00002", "E00003"};
    const std::vector<std::string> more = {"Z12345678901",
                                           "e00004",
                                           "E0000\xE9",
                                           "\x80MP",
                                           "\x9A"
                                           "EMP",
                                           "EMP\xFF",
                                           "E\xC4\xD6\xDC"};
    std::vector<std::vector<std::string>> employeeRows;
    for (const std::string& code : more) {
        employees.push_back(code);
        employeeRows.push_back(
            {code, AwkwardText(random, 40), "19700101", "20010531", "D\xE9PT", "S", ""});
    }
    adstest::addRows(folder, "EMPLOYEE.adt", employeeRows);
    // Codes of no employee: their leave is never selected.
    std::vector<std::string> codes = employees;
    for (const char* missing : {"E0000", "E000011", "E99999"}) codes.push_back(missing);

    const std::vector<std::string> leaveCodes = {"NPLHOUR", "NPLHOURS",  "NPLHOU",  "nplhour", "AL",
                                                 "MC",      "\xC9T\xC9", "\x80URO", "LONGCODE"};
    const std::vector<std::string> amounts = {
        "0",      "0.5",      "1",     "1.5",  "2.675", "1.005",  "0.125",  "-0.5", "3.5",
        "1234.5", "99999.99", "0.005", "7.25", "0.375", "12.345", "-2.675", "1000", "0.995"};
    const std::vector<std::string> approvals = {"Y", "Y", "Y", "Y", "N", "N", "", "y", "X"};
    const std::vector<std::string> ampm = {"AM", "PM", "A", "", "P", "\xC0\xFF"};

    std::vector<std::vector<std::string>> leave, applications;
    for (int n = 0; n < 40; ++n) {
        const std::string code = Pick(random, codes);
        const std::string leaveCode = Pick(random, leaveCodes);
        const int day = std::uniform_int_distribution<int>(-2, 33)(random);  // a few outside
        char date[32];
        if (day < 1)
            std::snprintf(date, sizeof date, "2006-02-%02d", 28 + day);
        else if (day > 31)
            std::snprintf(date, sizeof date, "2006-04-%02d", day - 31);
        else
            std::snprintf(date, sizeof date, "2006-03-%02d", day);
        const int id = std::uniform_int_distribution<int>(1, 9)(random);
        leave.push_back({code, leaveCode, date, Pick(random, amounts), Pick(random, amounts),
                         Pick(random, approvals), std::to_string(id)});

        auto application = [&](const std::string& emp, const std::string& lc, int appId) {
            applications.push_back({emp, lc, std::to_string(appId), Pick(random, ampm),
                                    AwkwardText(random, 40), AwkwardText(random, 40)});
        };
        switch (std::uniform_int_distribution<int>(0, 5)(random)) {
            case 0:  // none: the line is shorter
                break;
            case 1:  // the right one after others of the employee's
                application(code, Pick(random, leaveCodes), id);
                application(code, leaveCode, id + 10);
                application(code, leaveCode, id);
                break;
            case 2:  // two of the same key: the first in index order counts
                application(code, leaveCode, id);
                application(code, leaveCode, id);
                break;
            case 3:  // another employee's of the same leave code and ID only
                application(Pick(random, employees), leaveCode, id);
                break;
            default:
                application(code, leaveCode, id);
                break;
        }
    }
    std::shuffle(applications.begin(), applications.end(), random);
    adstest::makeTable(folder, "LEAV_TRX.adt", kLeaveFields,
                       {{"EMPCODE", "EMPCODE;LEAVE_CODE;DATE"}});
    adstest::addRows(folder, "LEAV_TRX.adt", leave);
    adstest::makeTable(folder, "empleave.adt", kApplicationFields, {{"EMPCODE", "EMPCODE"}});
    adstest::addRows(folder, "empleave.adt", applications);
}

// ---- the fixture ------------------------------------------------------------------------------

class ServerDownloadBytes : public testsupport::OnServer {
  protected:
    void SetUp() override {
        OnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_FALSE(dir_.empty()) << "no temporary folder";
        root_ = freshFolder("b");
    }

    Result Run(const std::string& command) { return tooltest::RunCaptured(command, dir_); }

    // Copies a local program folder or company folder into the server folder `to`.
    void Copy(const fs::path& from, const std::string& to) {
        const Result r = Run("env VELDA_DB_PASSWORD=KORVA4816 " + Tool("velda-db") + " copy " +
                             Quote(from.string()) + " " + Quote(to) + " </dev/null");
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    // The file the windowless run writes from a company connection.
    std::string Core(const std::string& companyPath, TOutputLayout layout, bool dictionary,
                     rtl::TDateTime from, rtl::TDateTime to) {
        apptest::CompanyStandIn company(companyPath);
        if (dictionary) {
            company.DatabaseMain->SetUsername(ads::kDictionaryUser);
            company.DatabaseMain->SetPassword(ads::kDictionaryPassword);
        }
        const std::string path = (dir_ / "core.txt").string();
        fs::remove(path);
        try {
            download::TDownloadFile file(path);
            download::RunLeaveDownload(*company.DatabaseMain, from, to, layout, file);
            file.Close();
        } catch (const std::exception& e) {
            ADD_FAILURE() << companyPath << ": " << e.what();
            return "(failed)";
        }
        return readFile(path);
    }

    // The file velda-export writes from a program folder (or a server path) for a company.
    std::string Export(const std::string& folder, const std::string& company, int layout,
                       const std::string& range) {
        const fs::path out = dir_ / "export.txt";
        fs::remove(out);
        const Result r = Run("cd " + Quote(dir_.string()) + " && env VELDA_PASSWORD=master " +
                             Tool("velda-export") + " --folder " + Quote(folder) + " --company " +
                             company + " --user MASTER " + range + " --quiet --format " +
                             kFormats[layout] + " --output " + Quote(out.string()) + " </dev/null");
        EXPECT_EQ(r.exitCode, 0) << folder << ": " << r.err;
        EXPECT_EQ(r.err, "");
        return r.exitCode == 0 ? readFile(out.string()) : "(failed: " + r.err + ")";
    }

    // Both ways on both places, every layout: the same bytes. Answers the folder's files.
    std::vector<std::string> Compare(const fs::path& program, const std::string& serverProgram,
                                     const std::string& company, bool dictionary,
                                     rtl::TDateTime from, rtl::TDateTime to,
                                     const std::string& range) {
        std::vector<std::string> files;
        const std::string here =
            (program / "COMPANY" / company).string() + (dictionary ? "/" + company + ".ADD" : "");
        const std::string there =
            root_ + "COMPANY/" + company + (dictionary ? "/" + company + ".ADD" : "");
        for (int layout = 0; layout < 4; ++layout) {
            SCOPED_TRACE(std::string(company) + " " + kFormats[layout]);
            const std::string folderBytes = Core(here, kLayouts[layout], dictionary, from, to);
            EXPECT_EQ(Core(there, kLayouts[layout], dictionary, from, to), folderBytes);
            EXPECT_EQ(Export(program.string(), company, layout, range), folderBytes);
            EXPECT_EQ(Export(serverProgram, company, layout, range), folderBytes);
            files.push_back(folderBytes);
        }
        return files;
    }

    testsupport::TempFolder temp_{"velda-download-server-bytes"};
    const fs::path dir_ = temp_.path();
    std::string root_;
};

// The demo's leave lies in the current month; the range takes in all of it.
const rtl::TDateTime kAllFrom = rtl::EncodeDate(2000, 1, 1), kAllTo = rtl::EncodeDate(2099, 12, 31);
const std::string kAllRange = "--from 2000-01-01 --to 2099-12-31";

TEST_F(ServerDownloadBytes, DemoOfFreeTables) {
    const fs::path program = dir_ / "demo";
    ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool("velda-db"), "--employees 10", program), "");
    Copy(program, root_);
    // velda-export takes the server path itself as its program folder.
    for (const char* company : {"A01", "B02"}) {
        const auto files = Compare(program, root_, company, false, kAllFrom, kAllTo, kAllRange);
        EXPECT_GE(files[1].size(), files[0].size());
        EXPECT_NE(files[0], "");
    }
}

TEST_F(ServerDownloadBytes, DemoOfDataDictionaries) {
    const fs::path program = dir_ / "demo";
    ASSERT_EQ(
        testsupport::CopyOfDemoFolder(Tool("velda-db"), "--employees 10 --dictionary", program),
        "");
    // The whole program folder, each company's dictionary with it, as an office copies it.
    Copy(program, root_);
    // The copy is a dictionary on the server, not tables only: its user logs in there.
    ADSHANDLE dd = 0;
    ASSERT_EQ(AdsConnect60(adstest::u8(root_ + "COMPANY/A01/A01.ADD"), ADS_REMOTE_SERVER,
                           adstest::u8(ads::kDictionaryUser), adstest::u8(ads::kDictionaryPassword),
                           0, &dd),
              AE_SUCCESS)
        << adstest::engineLastError();
    (void)AdsDisconnect(dd);

    // A program folder whose VELDA.ini names the server folder and dictionaries.
    const fs::path serverProgram = dir_ / "program";
    fs::create_directories(serverProgram);
    downloadtest::writeFile((serverProgram / "VELDA.ini").string(),
                            "[PATH]\r\nDICTIONARY=YES\r\nDIR=" + root_ + "\r\n");
    const auto files =
        Compare(program, serverProgram.string(), "A01", true, kAllFrom, kAllTo, kAllRange);
    EXPECT_NE(files[0], "");
}

TEST_F(ServerDownloadBytes, CompaniesOfRandomLeave) {
    const fs::path program = dir_ / "random";
    fs::create_directories(program);
    downloadtest::writeFile((program / "VELDA.ini").string(), "[PATH]\r\n");
    adstest::makeTable(program.string(), "MCOMPANY.adt",
                       "COMPANY_CODE,Character,8;COMPANY_NAME,Character,40;TOTAL_STAFF,Integer",
                       {{"COMPANY_CODE", "COMPANY_CODE"}});
    const unsigned seeds[] = {11, 2024, 31337, 777777};
    std::vector<std::vector<std::string>> list;
    for (unsigned seed : seeds) {
        const std::string code = "R" + std::to_string(seed);
        list.push_back({code, "Random " + std::to_string(seed), "11"});
        const std::string company = (program / "COMPANY" / code).string();
        MakeRandomCompany(company, seed);
        apptest::EncryptCompanyTables(company);
    }
    adstest::addRows(program.string(), "MCOMPANY.adt", list);
    if (HasFatalFailure()) return;
    Copy(program, root_);

    // What the companies hold between them, so that the comparison covers the awkward cases.
    std::string all;
    for (unsigned seed : seeds) {
        const std::string code = "R" + std::to_string(seed);
        for (const std::string& bytes :
             Compare(program, root_, code, false, rtl::EncodeDate(2006, 3, 1),
                     rtl::EncodeDate(2006, 3, 31), "--period 200603"))
            all += bytes;
    }
    for (const char* seen : {"NPLHOUR ", "NPLHOURS", "NPLHOU  ", "\xC9T\xC9", "\x80MP", "E0000\xE9",
                             "1234.50", "99999.99", "  2.68", "  1.01", " -0.50"})
        EXPECT_NE(all.find(seen), std::string::npos) << seen;
    EXPECT_EQ(all.find("E99999"), std::string::npos);
    EXPECT_EQ(all.find("/02/2006"), std::string::npos);
    EXPECT_EQ(all.find("/04/2006"), std::string::npos);
    size_t shortLines = 0, highBytes = 0;
    for (size_t at = 0; at < all.size();) {
        const size_t end = all.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        if (end - at == 47) ++shortLines;
        at = end + 2;
    }
    for (char c : all) highBytes += static_cast<unsigned char>(c) >= 0x80;
    EXPECT_GT(shortLines, 0u);
    EXPECT_GT(highBytes, 100u);
}

}  // namespace
