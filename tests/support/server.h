// A PostgreSQL server for the tests that need one: the path of a throwaway server's database
// "velda" (postgresql://postgres@%2F<socket folder>:<port>/velda/), found once per process:
//
//   1. VELDA_TEST_SERVER, when it is set: a server of the tester's choosing;
//   2. else the one the CTest fixture started in the build's shared folder (VELDA_TEST_SERVER_DIR,
//      given by CMakeLists.txt), when `scripts/server status` says it runs: under ctest every
//      case runs in a process of its own, and they share that server;
//   3. else one this process starts with scripts/server in a temporary folder of its own and stops
//      when it ends (a suite run as one program, outside ctest).
//
// Tests derive their fixture from testsupport::OnServer. Where no server can be had, its SetUp
// skips the test with the reason, or fails it with the reason when CI is "true", so that a
// machine without PostgreSQL passes and a CI run without it does not.
// Header-only: it needs the suite's VELDA_SOURCE_DIR to find scripts/server.
#ifndef VELDA_TESTS_SUPPORT_SERVER_H
#define VELDA_TESTS_SUPPORT_SERVER_H

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testsupport {

namespace server_detail {

inline std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs scripts/server COMMAND on FOLDER; its standard output and error, and its exit status.
inline std::string runScript(const std::string& folder, const std::string& command, int& status) {
    std::string line = "VELDA_SERVER_DIR=" + quoted(folder) + " " +
                       quoted(std::string(VELDA_SOURCE_DIR) + "/scripts/server") + " " + command +
                       " 2>&1";
    std::string output;
    status = -1;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) return "could not run scripts/server";
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

// The last line of the output: the path on success, the reason on failure.
inline std::string lastLine(const std::string& output) {
    size_t newline = output.rfind('\n');
    return newline == std::string::npos ? output : output.substr(newline + 1);
}

// A server this process started; stopped, and its folder removed, when the process ends.
struct OwnServer {
    std::string folder;
    ~OwnServer() {
        if (folder.empty()) return;
        int status = 0;
        (void)runScript(folder, "stop", status);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

}  // namespace server_detail

struct TestServer {
    std::string path;    // empty when there is none
    std::string reason;  // why there is none
};

inline const TestServer& testServer() {
    static server_detail::OwnServer own;
    static const TestServer server = [] {
        TestServer found;
        if (const char* given = std::getenv("VELDA_TEST_SERVER"); given && *given) {
            found.path = given;
            return found;
        }
        int status = 0;
#ifdef VELDA_TEST_SERVER_DIR
        std::string shared = server_detail::runScript(VELDA_TEST_SERVER_DIR, "status", status);
        if (status == 0) {
            found.path = server_detail::lastLine(shared);
            return found;
        }
#endif
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velda-test-server-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            found.reason = "no test server: cannot make a temporary folder for one";
            return found;
        }
        std::string output = server_detail::runScript(pattern, "start", status);
        if (status != 0) {
            std::error_code ec;
            std::filesystem::remove_all(pattern, ec);
            found.reason = "no test server: " + server_detail::lastLine(output);
            return found;
        }
        own.folder = pattern;
        found.path = server_detail::lastLine(output);
        return found;
    }();
    return server;
}

inline bool inCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// The fixture of tests that need a server: serverPath() is its database's path ("…/velda/").
class OnServer : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testServer().path.empty()) return;
        if (inCi()) FAIL() << testServer().reason;
        GTEST_SKIP() << testServer().reason;
    }
    const std::string& serverPath() const { return testServer().path; }
    // A folder path on the server that no other case of any run has used: the prefix, the
    // process, a count and the time, ending in a separator.
    std::string freshFolder(const std::string& prefix) const {
        static int made = 0;
        return serverPath() + prefix + std::to_string(::getpid()) + "_" + std::to_string(++made) +
               "_" + std::to_string(std::time(nullptr)) + "/";
    }
};

}  // namespace testsupport

#endif
