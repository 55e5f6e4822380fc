// velda-export with its companies on the test server (group ServerVeldaExport): the company list
// and the download of a demo folder copied there match the folder's own, named directly or
// through a program folder whose VELDA.ini names the server; an unreachable server and missing
// companies are one line and status 1, no password shown, and an earlier output file stays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/demo_folder.h"
#include "tests/support/server.h"
#include "tests/support/temp_folder.h"
#include "tests/tools/tool_test_support.h"

namespace fs = std::filesystem;

namespace {

using tooltest::Quote;
using tooltest::Tool;

using tooltest::Result;
using tooltest::Slurp;

// The free-table demo folder here and its copy in a folder of its own on the server.
class ServerVeldaExport : public testsupport::OnServer {
  protected:
    void SetUp() override {
        OnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_FALSE(dir_.empty()) << "no temporary folder";
        ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool("velda-db"), "--employees 25", Local()), "");
        root_ = serverPath() + "x" + std::to_string(::getpid()) + "_" + std::to_string(++made_) +
                "_" + std::to_string(std::time(nullptr)) + "/";
        Result r =
            tooltest::RunCaptured("env VELDA_DB_PASSWORD=KORVA4816 " + Tool("velda-db") + " copy " +
                                      Quote(Local().string()) + " " + Quote(root_) + " </dev/null",
                                  dir_);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    Result Export(const std::string& arguments, const char* password = nullptr) {
        std::string command = "cd " + Quote(dir_.string()) + " && env -u VELDA_PASSWORD ";
        if (password) command += "VELDA_PASSWORD=" + Quote(password) + " ";
        return tooltest::RunCaptured(
            command + Tool("velda-export") + " " + arguments + " </dev/null", dir_);
    }
    // A program folder whose VELDA.ini names the server folder as DIR.
    fs::path ProgramFolderOnServer(const std::string& dir) {
        const fs::path program = dir_ / "program";
        fs::create_directories(program);
        std::ofstream(program / "VELDA.ini", std::ios::binary) << "[PATH]\r\nDIR=" << dir << "\r\n";
        return program;
    }
    fs::path Local() const { return dir_ / "demo"; }
    // The path with a password in its user part (the test server trusts its socket, so it is
    // never asked for), or "" when the path has no user part.
    static std::string WithPassword(const std::string& path, const std::string& password) {
        const size_t scheme = path.find("://"), at = path.find('@');
        if (scheme == std::string::npos || at == std::string::npos) return "";
        return path.substr(0, at) + ":" + password + path.substr(at);
    }

    static inline int made_ = 0;
    testsupport::TempFolder temp_{"velda-export-server-test"};
    const fs::path dir_ = temp_.path();
    std::string root_;
};

TEST_F(ServerVeldaExport, ListIsTheFoldersList) {
    const Result here = Export("--list --folder " + Quote(Local().string()));
    ASSERT_EQ(here.exitCode, 0) << here.err;
    ASSERT_NE(here.out.find("A01       Alder Freight Ltd"), std::string::npos) << here.out;
    const std::string withoutSeparator = root_.substr(0, root_.size() - 1);
    const std::string withParameter = root_ + "?application_name=velda-export-test";
    for (const std::string& folder :
         {root_, withoutSeparator, withParameter, ProgramFolderOnServer(root_).string()}) {
        SCOPED_TRACE(folder);
        const Result there = Export("--list --folder " + Quote(folder));
        EXPECT_EQ(there.exitCode, 0) << there.err;
        EXPECT_EQ(there.out, here.out);
        EXPECT_EQ(there.err, "");
    }
}

TEST_F(ServerVeldaExport, DownloadIsTheFoldersForEveryLayout) {
    const std::string program = ProgramFolderOnServer(root_).string();
    for (const char* format : {"standard", "extended1", "extended2", "extended3"}) {
        SCOPED_TRACE(format);
        const std::string run = std::string("--company A01 --user MASTER --from 2000-01-01 ") +
                                "--to 2099-12-31 --quiet --format " + format + " --output ";
        const Result here =
            Export("--folder " + Quote(Local().string()) + " " + run + "here.txt", "master");
        ASSERT_EQ(here.exitCode, 0) << here.err;
        ASSERT_FALSE(Slurp(dir_ / "here.txt").empty());
        for (const std::string& folder : {root_, program}) {
            SCOPED_TRACE(folder);
            fs::remove(dir_ / "there.txt");
            const Result there =
                Export("--folder " + Quote(folder) + " " + run + "there.txt", "master");
            ASSERT_EQ(there.exitCode, 0) << there.err;
            EXPECT_EQ(Slurp(dir_ / "there.txt"), Slurp(dir_ / "here.txt"));
        }
    }
}

TEST_F(ServerVeldaExport, LoginIsRefusedAsOnTheFolder) {
    // The login reads the company's tables on the server; its refusal is the dialog's.
    Result r =
        Export("--folder " + Quote(root_) + " --company A01 --user MASTER --output x.txt", "wrong");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("velda-export: ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "x.txt"));
    const Result folderRefusal = Export(
        "--folder " + Quote(Local().string()) + " --company A01 --user MASTER --output x.txt",
        "wrong");
    EXPECT_EQ(r.err, folderRefusal.err);
}

TEST_F(ServerVeldaExport, FailuresAreOneLineWithoutThePassword) {
    const std::string secret = "Topsecret-42";
    const std::string nowhere =
        "postgresql://velda:" + secret + "@%2Fnonexistent-velda-socket-folder:1/velda/";
    const std::string shown = "postgresql://velda:***@%2Fnonexistent-velda-socket-folder:1/velda/";
    // A copy with the company list but not the companies.
    const std::string listOnly = serverPath() + "l" + std::to_string(::getpid()) + "_" +
                                 std::to_string(std::time(nullptr)) + "/";
    Result copied = tooltest::RunCaptured(Tool("velda-db") + " copy " +
                                              Quote((Local() / "MCOMPANY.adt").string()) + " " +
                                              Quote(listOnly) + " </dev/null",
                                          dir_);
    ASSERT_EQ(copied.exitCode, 0) << copied.err;
    const std::string listOnlyWithPassword = WithPassword(listOnly, secret);

    struct Case {
        const char* what;
        std::string arguments;
        int status;
        std::string contains;
    } cases[] = {
        {"an unreachable server's list", "--list --folder " + Quote(nowhere), 1,
         "Error 6040: Cannot connect to " + shown.substr(0, shown.size() - 1)},
        {"an unreachable server's download",
         "--folder " + Quote(nowhere) + " --company A01 --user MASTER --output x.txt", 1,
         "Error 6040: Cannot connect to " + shown.substr(0, shown.size() - 1)},
        {"unreachable through VELDA.ini",
         "--list --folder " + Quote(ProgramFolderOnServer(nowhere).string()), 1,
         "Error 6040: Cannot connect to " + shown.substr(0, shown.size() - 1)},
        {"a company not in the list",
         "--folder " + Quote(root_) + " --company Z99 --user MASTER --output x.txt", 2,
         "velda-export: --company Z99: no such company (see --list)\n"},
        {"a company without its tables",
         "--folder " + Quote(listOnlyWithPassword.empty() ? listOnly : listOnlyWithPassword) +
             " --company A01 --user MASTER --output x.txt",
         1, "Error 6004: The table postgresql://"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(dir_ / "x.txt", std::ios::binary) << "earlier\r\n";
        const Result r = Export(c.arguments, "master");
        EXPECT_EQ(r.exitCode, c.status) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("velda-export: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.contains), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
        EXPECT_EQ(r.err.find(secret), std::string::npos) << r.err;
        EXPECT_EQ(Slurp(dir_ / "x.txt"), "earlier\r\n");  // an earlier file stays as it was
    }
}

}  // namespace
