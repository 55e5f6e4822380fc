// Demo program folders for the suites that need one, built once per build tree and copied.
//
// Every test case runs in a process of its own, and a suite's SetUpTestSuite builds its demo
// folders in each of them: seconds of `velda-db demo` per case where a copy takes milliseconds.
// CopyOfDemoFolder builds the folder that `velda-db demo FOLDER ARGUMENTS` makes once, under
// the build folder (keyed by the arguments, the tool's file and today's date, since the demo's
// leave follows the current month), and copies it to the caller's folder, modes included. A lock
// on the cache keeps parallel cases from building the same folder twice; a build that fails
// leaves nothing in the cache.
#ifndef VELDA_TESTS_SUPPORT_DEMO_FOLDER_H
#define VELDA_TESTS_SUPPORT_DEMO_FOLDER_H

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace testsupport {

// Copies the demo folder of velda-db (the tool's path) and arguments to target, which must not
// exist yet. Answers the empty text, or what went wrong.
inline std::string CopyOfDemoFolder(const std::string& velda_db, const std::string& arguments,
                                    const std::filesystem::path& target) {
    namespace fs = std::filesystem;
    std::error_code error;
    const auto tool = fs::last_write_time(velda_db, error);
    if (error) return velda_db + ": " + error.message();
    const auto day = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    const std::string key = arguments + "|" + velda_db + "|" +
                            std::to_string(tool.time_since_epoch().count()) + "|" +
                            std::to_string(day.time_since_epoch().count());
    const fs::path cacheRoot = fs::path(velda_db).parent_path().parent_path() / "test-cache";
    fs::create_directories(cacheRoot, error);
    const fs::path cached = cacheRoot / ("demo-" + std::to_string(std::hash<std::string>{}(key)));

    const std::string lockName = cached.string() + ".lock";
    const int lock = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        if (lock >= 0) ::close(lock);
        return "cannot lock " + lockName;
    }
    struct Unlock {
        int fd;
        ~Unlock() { ::close(fd); }  // closing releases the lock
    } unlock{lock};

    if (!fs::exists(cached / ".complete")) {
        const fs::path staging = cached.string() + ".new";
        fs::remove_all(staging, error);
        fs::remove_all(cached, error);
        const std::string command =
            velda_db + " demo '" + staging.string() + "' " + arguments + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fs::remove_all(staging, error);
            return "failed: " + command;
        }
        fs::rename(staging, cached, error);
        if (error) return "cannot keep " + cached.string() + ": " + error.message();
        std::ofstream(cached / ".complete").put('\n');
    }
    fs::copy(cached, target, fs::copy_options::recursive, error);
    if (error) return "cannot copy " + cached.string() + ": " + error.message();
    fs::remove(target / ".complete", error);
    return {};
}

}  // namespace testsupport

#endif
