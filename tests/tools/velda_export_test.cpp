// velda-export driven as a scheduled job drives it: the real program on demo program folders,
// its exit codes, standard output, standard error and the files it leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/demo_folder.h"
#include "tests/support/temp_folder.h"
#include "tests/tools/tool_test_support.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using tooltest::Quote;
using tooltest::Tool;

using tooltest::Result;
using tooltest::Slurp;

void Spit(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

int NextYear() {
    const auto today = std::chrono::year_month_day{
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
    return static_cast<int>(today.year()) + 1;
}

// The last non-empty line of a text.
std::string LastLine(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
    return trimmed.substr(trimmed.rfind('\n') == std::string::npos ? 0 : trimmed.rfind('\n') + 1);
}

class VeldaExport : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        temp_ = std::make_unique<testsupport::TempFolder>("velda-export-test");
        ASSERT_FALSE(temp_->path().empty()) << "no temporary folder";
        root_ = temp_->path();
        for (const char* kind : {"free", "dict"}) {
            const std::string extra = std::string(kind) == "dict" ? " --dictionary" : "";
            ASSERT_EQ(testsupport::CopyOfDemoFolder(Tool("velda-db"), "--employees 25" + extra,
                                                    root_ / kind),
                      "");
        }
    }
    static void TearDownTestSuite() { temp_.reset(); }

    void SetUp() override {
        work_ = root_ / ("work-" + std::to_string(++counter_));
        fs::create_directories(work_);
    }

    // Runs the tool (or a copy at program); password: VELDA_PASSWORD when given (else it is
    // unset); input: stdin.
    // standardOutput: where standard output goes instead of .out (which then reads empty).
    Result Run(const std::string& arguments, const char* password = nullptr,
               const std::string& input = "", const std::string& program = "",
               const std::string& standardOutput = ".out") {
        Spit(work_ / ".in", input);
        Spit(work_ / ".out", "");
        std::string command = "cd " + Quote(work_.string()) + " && env -u VELDA_PASSWORD ";
        if (password) command += "VELDA_PASSWORD=" + Quote(password) + " ";
        command += (program.empty() ? Tool("velda-export") : program) + " " + arguments +
                   " <.in >" + standardOutput + " 2>.err";
        const int status = std::system(command.c_str());
        Result r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = Slurp(work_ / ".out");
        r.err = Slurp(work_ / ".err");
        return r;
    }

    // A demo folder large enough for a run of some seconds (made once, shared).
    static fs::path BigFolder() {
        const fs::path big = root_ / "big";
        if (!fs::exists(big)) {
            EXPECT_EQ(std::system((Tool("velda-db") + " demo " + big.string() +
                                   " --dictionary --employees 1500 >/dev/null")
                                      .c_str()),
                      0);
        }
        return big;
    }

    static std::string Folder(const char* kind = "free") { return (root_ / kind).string(); }
    std::string Login(const char* kind = "free", const std::string& company = "A01") const {
        return "--folder " + Folder(kind) + " --company " + company + " ";
    }
    fs::path Work(const std::string& name) const { return work_ / name; }

    static inline std::unique_ptr<testsupport::TempFolder> temp_;
    static fs::path root_;
    static int counter_;
    fs::path work_;
};
fs::path VeldaExport::root_;
int VeldaExport::counter_ = 0;

TEST_F(VeldaExport, HelpNamesEveryOptionAndAScheduledRun) {
    Result r = Run("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* option :
         {"--company", "--user", "--folder", "--period", "--from", "--to", "--format", "--output",
          "--check", "--quiet", "--list", "VELDA_PASSWORD", "crontab"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    EXPECT_EQ(r.err, "");
}

TEST_F(VeldaExport, UsageErrorsAreOneLineAndStatusTwo) {
    const std::string base = Login() + "--user MASTER --output x.txt ";
    struct Case {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"", "--company is required"},
        {"--company A01 --output x.txt", "--user is required"},
        {"--company A01 --user MASTER", "--output is required (- for standard output)"},
        {"--bogus", "unknown option --bogus"},
        {"stray", "unexpected argument 'stray'"},
        {base + "--from 2024-02-30", "--from '2024-02-30': not a date YYYY-MM-DD"},
        {base + "--to 31/01/2024", "--to '31/01/2024': not a date YYYY-MM-DD"},
        {base + "--period 202413", "--period '202413': no such month"},
        {base + "--period 2024-1", "--period '2024-1': not a period YYYYMM"},
        {base + "--format extended4",
         "--format 'extended4': unknown format (standard, extended1, extended2, extended3)"},
        {base + "--from 2024-03-02 --to 2024-03-01",
         "--from 2024-03-02 is later than --to 2024-03-01"},
        {base + "--password secret",
         "--password: a password is never taken from the command line; give it in "
         "VELDA_PASSWORD or on standard input"},
        {base + "--period", "--period needs a value"},
        {base + "--quiet=yes", "--quiet takes no value"},
        {Login() + "--user TOOLONGID --output x.txt",
         "--user 'TOOLONGID': an ID has at most 8 characters"},
        {base + "--output y.txt", "--output given twice"},
        {base + "-o y.txt", "--output given twice"},
        {base + "--quiet -q", "-q given twice"},
        {base + "--format 1 --format=2", "--format given twice"},
        {"--list --company A01", "--list takes no other option than --folder"},
        {"--list --folder " + Quote(fs::temp_directory_path().string()),
         "--folder " + fs::temp_directory_path().string() +
             "/: no VELDA.ini there (not a velda program folder)"},
    };
    for (const Case& c : cases) {
        Result r = Run(c.arguments, "master");
        EXPECT_EQ(r.exitCode, 2) << c.arguments;
        EXPECT_EQ(r.err, "velda-export: " + c.message + " (see --help)\n") << c.arguments;
        EXPECT_EQ(r.out, "");
    }
    Result unknown =
        Run("--folder " + Folder() + " --company Z99 --user MASTER --output x.txt", "master");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err, "velda-export: --company Z99: no such company (see --list)\n");
    EXPECT_FALSE(fs::exists(Work("x.txt")));
}

TEST_F(VeldaExport, ListShowsTheCompanyFormsColumnsAndTotal) {
    for (const char* kind : {"free", "dict"}) {
        Result r = Run("--list --folder " + Folder(kind));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::istringstream lines(r.out);
        std::string header, first, line, last;
        std::getline(lines, header);
        std::getline(lines, first);
        EXPECT_EQ(header.substr(0, 10), "Code      ");
        EXPECT_EQ(first, "A01       Alder Freight Ltd                                25");
        int rows = 0;
        while (std::getline(lines, line)) {
            ++rows;
            last = line;
        }
        EXPECT_EQ(rows, 3);  // B02, C03 and the total
        EXPECT_EQ(last.substr(0, 11), "Total Staff");
    }
    // The list comes from where "DIR" puts it, the companies stay under the program folder.
    fs::create_directories(Work("program"));
    fs::copy(Folder(), Work("master"), fs::copy_options::recursive);
    Spit(Work("program/VELDA.ini"), "[PATH]\r\nDIR=" + Work("master").string() + "\r\n");
    Result moved = Run("--list --folder " + Work("program").string());
    EXPECT_EQ(moved.exitCode, 0) << moved.err;
    EXPECT_NE(moved.out.find("A01       Alder Freight Ltd"), std::string::npos);
    // Without --folder: the folder of the program itself, as for velda.
    fs::copy(Folder(), Work("installed"), fs::copy_options::recursive);
    fs::copy_file(Tool("velda-export"), Work("installed/velda-export"));
    const std::string installed = Work("installed/velda-export").string();
    Result beside = Run("--list", nullptr, "", installed);
    EXPECT_EQ(beside.exitCode, 0) << beside.err;
    EXPECT_NE(beside.out.find("A01       Alder Freight Ltd"), std::string::npos);
    fs::remove(Work("installed/VELDA.ini"));
    Result without = Run("--list", nullptr, "", installed);
    EXPECT_EQ(without.exitCode, 2);
    EXPECT_EQ(without.err, "velda-export: --folder " + Work("installed/").string() +
                               ": no VELDA.ini there (not a velda program folder) (see --help)\n");
}

TEST_F(VeldaExport, EveryLoginRefusalHasTheDialogsTextAndLeavesTheFileAlone) {
    Spit(Work("leave.txt"), "earlier file\r\n");
    struct Case {
        std::string user, password, extra, message;
    } cases[] = {
        {"MASTER", "master", "--period 199912", "Database year not defined"},
        {"NOBODY", "x", "", "Invalid ID !"},
        {"MASTER", "Master", "", "Invalid password !"},
        {"CLERK1", "guess", "", "Invalid Pasword !"},
        {"CLERK2", "clerk2", "", "User already logged in!"},
        {"QAVRENTO", "wrong", "", "Unauthorized user"},
    };
    for (const char* kind : {"free", "dict"}) {
        for (const Case& c : cases) {
            Result r = Run(Login(kind) + "--user " + c.user + " --output leave.txt " + c.extra,
                           c.password.c_str());
            EXPECT_EQ(r.exitCode, 1) << kind << " " << c.user;
            EXPECT_EQ(r.err, "velda-export: " + c.message + "\n") << kind << " " << c.user;
            EXPECT_EQ(Slurp(Work("leave.txt")), "earlier file\r\n");
            Result check =
                Run(Login(kind) + "--user " + c.user + " --check " + c.extra, c.password.c_str());
            EXPECT_EQ(check.exitCode, 1) << kind << " " << c.user;
            EXPECT_EQ(check.out, "");
        }
    }
    EXPECT_EQ(fs::directory_iterator(work_) == fs::directory_iterator(), false);
    for (const auto& entry : fs::directory_iterator(work_))
        EXPECT_TRUE(entry.path().filename().string()[0] == '.' ||
                    entry.path().filename() == "leave.txt")
            << entry.path();
}

TEST_F(VeldaExport, PasswordFromTheEnvironmentOrTheFirstLineOfInput) {
    // From standard input, CR LF or LF; the ID in any case, as the ID box takes it.
    Result fromInput =
        Run(Login() + "--user clerk1 --output a.txt --quiet", nullptr, "clerk1\r\nsecond line\n");
    EXPECT_EQ(fromInput.exitCode, 0) << fromInput.err;
    EXPECT_EQ(fromInput.err, "");
    Result fromEnvironment = Run(Login() + "--user ADMIN --output b.txt --quiet", "admin", "x\n");
    EXPECT_EQ(fromEnvironment.exitCode, 0) << fromEnvironment.err;
    // The environment wins over the input; the super-user and the master user of the year.
    Result wins = Run(Login("dict") + "--user QAVRENTO --output c.txt", "4821kwvm37", "wrong\n");
    EXPECT_EQ(wins.exitCode, 0) << wins.err;
    Result master =
        Run(Login() + "--user MASTER --period 200006 --output d.txt", nullptr, "master");
    EXPECT_EQ(master.exitCode, 0) << master.err;
    // No input at all is an empty password.
    Result none = Run(Login() + "--user MASTER --output e.txt");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err, "velda-export: Invalid password !\n");
    // No service figures are written for the user.
    EXPECT_EQ(std::system((Tool("velda-db") + " describe " + Folder() +
                           "/COMPANY/A01/EMPSERV --password KORVA4816 | grep -q '^rows: 0$'")
                              .c_str()),
              0);
}

TEST_F(VeldaExport, LastLineNamesTheLinesTheFileAndTheTime) {
    Result r = Run(Login() +
                       "--user MASTER --from 2000-01-01 --to 2099-12-31 --format 1 "
                       "--output leave.txt",
                   "master");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = Slurp(Work("leave.txt"));
    size_t lines = 0;
    for (size_t at = file.find("\r\n"); at != std::string::npos; at = file.find("\r\n", at + 2))
        ++lines;
    EXPECT_GT(lines, 0u);
    const std::string last = LastLine(r.err);
    EXPECT_EQ(
        last.rfind("velda-export: " + std::to_string(lines) + " lines written to leave.txt in ", 0),
        0u)
        << last;
    EXPECT_EQ(last.substr(last.size() - 2), " s");
    EXPECT_EQ(r.err.find('\r'), std::string::npos);  // no progress bar without a terminal
    Result quiet = Run(Login() + "--user MASTER --output leave.txt --quiet", "master");
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.err, "");
}

TEST_F(VeldaExport, AFolderRelativeToTheWorkingDirectoryWorksAsAnAbsoluteOne) {
    Result absolute = Run(Login() + "--user MASTER --output absolute.txt --quiet", "master");
    ASSERT_EQ(absolute.exitCode, 0) << absolute.err;
    const std::string relative = fs::relative(Folder(), Work("")).string();
    Result r = Run("--folder " + relative + " --company A01 --user MASTER --output relative.txt",
                   "master");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Slurp(Work("relative.txt")), Slurp(Work("absolute.txt")));
    Result list = Run("--list --folder " + relative);
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("A01"), std::string::npos) << list.out;
}

TEST_F(VeldaExport, StandardOutputGetsTheSameBytesAsTheFile) {
    for (const char* format : {"standard", "EXTENDED1", "Extended Format 2", "3"}) {
        const std::string range =
            "--from 2000-01-01 --to 2099-12-31 --format " + Quote(format) + " ";
        Result toFile = Run(Login() + "--user MASTER " + range + "--output leave.txt", "master");
        ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
        Result toStdout = Run(Login() + "--user MASTER " + range + "--output -", "master");
        ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
        EXPECT_FALSE(toStdout.out.empty());
        EXPECT_EQ(toStdout.out, Slurp(Work("leave.txt"))) << format;
        EXPECT_NE(LastLine(toStdout.err).find("written to standard output"), std::string::npos);
    }
}

TEST_F(VeldaExport, FileThatCannotBeWrittenIsAFailureAndKeepsNothing) {
    Result r = Run(Login() + "--user MASTER --output no/such/folder/leave.txt", "master");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "velda-export: no/such/folder/leave.txt: cannot be written (No such file or "
              "directory)\n");
    fs::create_directories(Work("folder.txt"));
    Result folder = Run(Login() + "--user MASTER --output folder.txt", "master");
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_EQ(folder.err, "velda-export: folder.txt: is a folder\n");
}

TEST_F(VeldaExport, DatabaseErrorsAreFailuresAndKeepTheEarlierFile) {
    fs::copy(Folder(), Work("program"), fs::copy_options::recursive);
    const std::string program = Work("program").string();
    Spit(Work("leave.txt"), "earlier file\r\n");
    // A listed company whose folder is gone.
    fs::remove_all(Work("program/COMPANY/B02"));
    Result gone =
        Run("--folder " + program + " --company B02 --user MASTER --output leave.txt", "master");
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(gone.err,
              "velda-export: Error 6005: The folder " + program + "/COMPANY/B02 does not exist.\n");
    // The leave transactions are missing: the statement fails after the login.
    for (const auto& entry : fs::directory_iterator(Work("program/COMPANY/A01")))
        if (entry.path().filename().string().rfind("LEAV_TRX", 0) == 0) fs::remove(entry.path());
    Result missing =
        Run("--folder " + program + " --company A01 --user MASTER --output leave.txt", "master");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err,
              "velda-export: LeaveSelection: Error 6004: The table LEAV_TRX.ADT named in the SQL "
              "statement does not exist (" +
                  program + "/COMPANY/A01/LEAV_TRX.ADT).\n");
    Result check = Run("--folder " + program + " --company A01 --user MASTER --check", "master");
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_EQ(check.out, "");
    EXPECT_EQ(Slurp(Work("leave.txt")), "earlier file\r\n");
    for (const auto& entry : fs::directory_iterator(work_))
        EXPECT_TRUE(entry.path().filename().string()[0] == '.' ||
                    entry.path().filename() == "leave.txt" || entry.path().filename() == "program")
            << entry.path();
}

TEST_F(VeldaExport, ReplacedFileKeepsItsPermissions) {
    Spit(Work("leave.txt"), "earlier\r\n");
    fs::permissions(Work("leave.txt"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    Result r = Run(Login() + "--user MASTER --from 2000-01-01 --to 2099-12-31 --output leave.txt",
                   "master");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(Slurp(Work("leave.txt")), "earlier\r\n");
    EXPECT_EQ(fs::status(Work("leave.txt")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// A run stopped while it writes (the file it writes has data but is not yet in place), then
// killed: the earlier file is whole and nothing else is left in its folder.
TEST_F(VeldaExport, KilledWhileWritingLeavesTheEarlierFileWhole) {
    const fs::path big = BigFolder();
    ASSERT_TRUE(fs::exists(big));
    Spit(Work("leave.txt"), "earlier file\r\n");
    const std::string tool = Tool("velda-export");
    std::vector<std::string> args = {
        tool,         "--folder", big.string(), "--company",  "A01",
        "--user",     "MASTER",   "--from",     "2000-01-01", "--to",
        "2099-12-31", "--format", "1",          "--output",   Work("leave.txt").string(),
        "--quiet"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(setenv("VELDA_PASSWORD", "master", 1), 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    unsetenv("VELDA_PASSWORD");

    // Watch the program's open files for the download being written.
    bool caught = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!caught && std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) break;  // finished before it was caught
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
            std::error_code linkError;
            const std::string target = fs::read_symlink(fd.path(), linkError).string();
            if (linkError || target.rfind(work_.string() + "/", 0) != 0) continue;
            if (target.find("leave.txt") != std::string::npos &&
                target.find(".leave.txt") == std::string::npos)
                continue;  // already in place
            struct stat st;
            if (::stat(fd.path().c_str(), &st) == 0 && st.st_size > 0) {
                kill(pid, SIGSTOP);
                caught = true;
                break;
            }
        }
    }
    if (caught) {
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
    }
    ASSERT_TRUE(caught) << "the run ended before it could be stopped while writing";
    EXPECT_EQ(Slurp(Work("leave.txt")), "earlier file\r\n");
    for (const auto& entry : fs::directory_iterator(work_)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "leave.txt" || name == ".in" || name == ".out" || name == ".err")
            << name;
    }
}

// On a terminal: the password is asked for and not echoed, and a run of more than a moment
// draws a progress bar on standard error, cleared before the last line. The download goes to
// standard output, a pipe read slowly here, so that the run takes some seconds.
TEST_F(VeldaExport, OnATerminalThePasswordIsNotEchoedAndProgressIsShown) {
    const fs::path big = BigFolder();
    ASSERT_TRUE(fs::exists(big));
    const std::string tool = Tool("velda-export");
    std::vector<std::string> args = {tool,         "--folder", big.string(), "--company",  "A01",
                                     "--user",     "MASTER",   "--from",     "2000-01-01", "--to",
                                     "2099-12-31", "--format", "1",          "--output",   "-"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        unsetenv("VELDA_PASSWORD");
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string screen, download;
    bool answered = false, screenOpen = true, pipeOpen = true;
    char buffer[16384];
    while (screenOpen || pipeOpen) {
        pollfd fds[2] = {{screenOpen ? terminal : -1, POLLIN, 0},
                         {pipeOpen ? pipeEnds[0] : -1, POLLIN, 0}};
        poll(fds, 2, 100);
        if (fds[0].revents) {
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0)
                screenOpen = false;  // EIO once the program has ended
            else
                screen.append(buffer, static_cast<size_t>(n));
            if (!answered && screen.find("Password: ") != std::string::npos) {
                ASSERT_EQ(write(terminal, "master\n", 7), 7);
                answered = true;
            }
        }
        if (fds[1].revents) {
            const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
            if (n <= 0)
                pipeOpen = false;
            else
                download.append(buffer, static_cast<size_t>(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(terminal);
    close(pipeEnds[0]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << screen;
    EXPECT_TRUE(answered) << screen;
    EXPECT_EQ(screen.find("master"), std::string::npos) << "password echoed: " << screen;
    EXPECT_NE(screen.find("\r["), std::string::npos) << "no progress bar: " << screen;
    EXPECT_NE(screen.find("% "), std::string::npos) << screen;
    const size_t cleared = screen.rfind("\r\033[K");
    ASSERT_NE(cleared, std::string::npos) << screen;
    const std::string last = screen.substr(cleared + 4);
    EXPECT_EQ(last.rfind("velda-export: ", 0), 0u) << last;
    EXPECT_NE(last.find(" lines written to standard output in "), std::string::npos) << last;
    // Nothing of the bar reaches the download.
    EXPECT_GT(download.size(), 1000000u);
    EXPECT_EQ(download.find('\033'), std::string::npos);
    EXPECT_EQ(download.substr(download.size() - 2), "\r\n");
}

// --output names a file to replace, never anything else: a device or FIFO is refused (with
// "-" and "/dev/stdout" as the ways to standard output), a link is followed to the file it names
// and that file replaced, the link left as it was.
TEST_F(VeldaExport, OutputIsARegularFileAndLinksAreFollowed) {
    const std::string run = Login() + "--user MASTER --quiet --output ";
    Result reference = Run(run + "reference.txt", "master");
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    const std::string bytes = Slurp(Work("reference.txt"));
    ASSERT_FALSE(bytes.empty());

    ASSERT_EQ(mkfifo(Work("fifo").c_str(), 0600), 0);
    for (const std::string& device : {std::string("/dev/null"), Work("fifo").string()}) {
        Result r = Run(run + device, "master");
        EXPECT_EQ(r.exitCode, 1) << device;
        EXPECT_EQ(r.err, "velda-export: " + device +
                             ": is not a regular file (a device, FIFO or socket); give a file "
                             "name, or - for standard output\n");
    }
    struct stat st {};
    ASSERT_EQ(lstat(Work("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    Result toStdout = Run(run + "/dev/stdout", "master");
    EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_EQ(toStdout.out, bytes);

    // A link to an earlier file and a link to a file not there yet: the files behind them get the
    // download, the links stay links.
    Spit(Work("earlier.txt"), "earlier\r\n");
    fs::create_symlink("earlier.txt", Work("link.txt"));
    fs::create_symlink(Work("later.txt"), Work("dangling.txt"));
    for (const char* link : {"link.txt", "dangling.txt"}) {
        Result r = Run(run + link, "master");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(fs::is_symlink(Work(link))) << link;
    }
    EXPECT_EQ(Slurp(Work("earlier.txt")), bytes);
    EXPECT_EQ(Slurp(Work("later.txt")), bytes);
}

// The company's own files (its tables, their companions and lock files, the company list,
// VELDA.ini) are never a download's target, also not through a link; the table stays whole.
TEST_F(VeldaExport, OutputIsNeverAFileOfTheCompany) {
    fs::copy(Folder(), Work("program"), fs::copy_options::recursive);
    const std::string program = Work("program").string();
    const std::string table = program + "/COMPANY/A01/LEAV_TRX.adt";
    const std::string before = Slurp(table);
    fs::create_symlink(table, Work("innocent.txt"));
    for (const std::string& target :
         {table, program + "/COMPANY/A01/leav_trx.ADT", program + "/COMPANY/A01/LEAV_TRX.adt.lck",
          program + "/COMPANY/A01/EMPLOYEE.adt.rows", program + "/MCOMPANY.adt",
          program + "/VELDA.ini", Work("innocent.txt").string()}) {
        Result r = Run("--folder " + program + " --company A01 --user MASTER --output " + target,
                       "master");
        EXPECT_EQ(r.exitCode, 1) << target;
        EXPECT_EQ(r.err, "velda-export: " + target +
                             ": is a file of the company or of the program; give another file "
                             "name\n");
    }
    EXPECT_EQ(Slurp(table), before);
    // --check looks at the output too, and writes nothing.
    Result check = Run(
        "--folder " + program + " --company A01 --user MASTER --check --output " + table, "master");
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_EQ(check.out, "");
    Result missing = Run(Login() + "--user MASTER --check --output no/such/leave.txt", "master");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err,
              "velda-export: no/such/leave.txt: cannot be written (No such file or directory)\n");
    Result fine = Run(Login() + "--user MASTER --check --output leave.txt", "master");
    EXPECT_NE(fine.exitCode, 1) << fine.err;
    EXPECT_NE(fine.out.find("check: "), std::string::npos);
    EXPECT_FALSE(fs::exists(Work("leave.txt")));
    for (const auto& entry : fs::directory_iterator(work_))
        EXPECT_EQ(entry.path().filename().string().rfind(".velda-", 0), std::string::npos)
            << entry.path();
}

// A new download is private to its owner (0600 less the umask, 0640 in a folder shared by its
// set-group-ID bit); a replaced one keeps its owner, group and mode; the longest name the file
// system takes works (the hidden name beside it is short).
TEST_F(VeldaExport, NewFilesArePrivateAndReplacedFilesKeepTheirOwner) {
    const std::string run = Login() + "--user MASTER --quiet --output ";
    const mode_t mask = umask(022);
    Result r = Run(run + "new.txt", "master");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fs::status(Work("new.txt")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directory(Work("shared"));
    ASSERT_EQ(chmod(Work("shared").c_str(), 02770), 0);
    r = Run(run + "shared/new.txt", "master");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fs::status(Work("shared/new.txt")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string longest(254, 'n');
    r = Run(run + longest, "master");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(Work(longest)));
    umask(mask);

    if (geteuid() != 0) GTEST_SKIP() << "a file of another user can only be made by root";
    Spit(Work("theirs.txt"), "theirs\r\n");
    ASSERT_EQ(chown(Work("theirs.txt").c_str(), 12345, 23456), 0);
    ASSERT_EQ(chmod(Work("theirs.txt").c_str(), 0604), 0);
    r = Run(run + "theirs.txt", "master");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(stat(Work("theirs.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 12345u);
    EXPECT_EQ(st.st_gid, 23456u);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_NE(Slurp(Work("theirs.txt")), "theirs\r\n");
}

// What cannot reach standard output or standard error is a failure, status 1, also for --check
// (which would otherwise say 3 or 0 with nothing reported) and --list.
TEST_F(VeldaExport, StandardOutputThatCannotBeWrittenIsAFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string full =
        "velda-export: standard output cannot be written (No space left on "
        "device)\n";
    for (const std::string& arguments :
         {Login() + "--user MASTER --check", Login() + "--user MASTER --check --to 2000-01-01",
          "--list --folder " + Folder(), std::string("--help")}) {
        Result r = Run(arguments, "master", "", "", "/dev/full");
        EXPECT_EQ(r.exitCode, 1) << arguments;
        EXPECT_EQ(r.err, full) << arguments;
    }
    Result stream =
        Run(Login() + "--user MASTER --output - --quiet", "master", "", "", "/dev/full");
    EXPECT_EQ(stream.exitCode, 1);
    EXPECT_EQ(stream.err,
              "velda-export: standard output: cannot be written (No space left on "
              "device)\n");
    // The closing line on standard error.
    const std::string command = "cd " + Quote(work_.string()) + " && VELDA_PASSWORD=master " +
                                Tool("velda-export") + " " + Login() +
                                "--user MASTER --output leave.txt 2>/dev/full";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}

TEST_F(VeldaExport, AnEmptyPasswordVariableIsAnError) {
    Result r = Run(Login() + "--user MASTER --output leave.txt", "", "master\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err,
              "velda-export: VELDA_PASSWORD is set but empty: give the password there, or unset "
              "it to give it on standard input (see --help)\n");
    EXPECT_FALSE(fs::exists(Work("leave.txt")));
}

// SIGINT or SIGTERM at the password prompt: the terminal gets its echo back.
TEST_F(VeldaExport, ASignalAtThePasswordPromptRestoresTheTerminal) {
    for (int signal : {SIGTERM, SIGINT}) {
        std::string screen;
        const tooltest::PromptEnd end = tooltest::SignalAtPrompt(
            {Tool("velda-export"), "--folder", Folder(), "--company", "A01", "--user", "MASTER",
             "--output", Work("leave.txt").string()},
            "Password: ", signal);
        EXPECT_TRUE(end.prompted) << end.screen;
        EXPECT_TRUE(end.killedBySignal) << end.screen;
        EXPECT_TRUE(end.echoAfter) << "echo left off after signal " << signal;
    }
    EXPECT_FALSE(fs::exists(Work("leave.txt")));
}

// A company with one case of every finding in January of next year (which the demo's master
// user knows but no demo transaction falls in), and two sound lines in February.
class Check : public VeldaExport {
  protected:
    void SetUp() override {
        VeldaExport::SetUp();
        fs::copy(Folder("free"), Work("program"), fs::copy_options::recursive);
        const std::string y = std::to_string(NextYear());
        const std::string company = Work("program/COMPANY/A01/").string();
        Spit(Work("leave.csv"),
             "EMPCODE,LEAVE_CODE,DATE,DAY,HOUR,APPROVED,ID\n"
             "A00001,AL," +
                 y +
                 "-01-10,1234.5,0,Y,900001\n"
                 "A00002,MC," +
                 y +
                 "-01-11,1,0,Y,900002\n"
                 "A00003,AL," +
                 y +
                 "-01-12,1,0,X,900003\n"
                 "Z99999,AL," +
                 y +
                 "-01-13,1,0,Y,900004\n"
                 "A00005,AL," +
                 y +
                 "-02-03,1,0,Y,900006\n"
                 "A00006,NPLHOUR," +
                 y + "-02-04,0,3.5,N,900007\n");
        Spit(Work("applications.csv"),
             "EMPCODE,leave_code,ID,AMPM,REFERENCE,REMARKS\n"
             "A00001,AL,900001,AM,LA-900001,long leave\n"
             "A00005,AL,900006,,LA-900006,\n"
             "A00006,NPLHOUR,900007,PM,LA-900007,hours\n");
        for (const auto& [table, csv] :
             {std::pair{"LEAV_TRX", "leave.csv"}, std::pair{"empleave", "applications.csv"}}) {
            ASSERT_EQ(std::system((Tool("velda-db") + " import " + company + table + " " +
                                   Work(csv).string() + " >/dev/null")
                                      .c_str()),
                      0);
        }
        year_ = y;
    }
    // A transaction without a date: it belongs to no range, so every check reports it.
    void AddUndatedTransaction() {
        Spit(Work("undated.csv"),
             "EMPCODE,LEAVE_CODE,DATE,DAY,HOUR,APPROVED,ID\n"
             "A00004,AL,,1,0,Y,900005\n");
        ASSERT_EQ(std::system((Tool("velda-db") + " import " +
                               Work("program/COMPANY/A01/LEAV_TRX").string() + " " +
                               Work("undated.csv").string() + " >/dev/null")
                                  .c_str()),
                  0);
    }
    std::string Arguments(const std::string& extra) const {
        return "--folder " + Work("program").string() + " --company A01 --user MASTER --check " +
               extra;
    }
    std::string year_;
};

TEST_F(Check, ReportsEveryKindOfFindingAndWritesNothing) {
    AddUndatedTransaction();
    Result r = Run(Arguments("--period " + year_ + "01"), "master");
    EXPECT_EQ(r.exitCode, 3) << r.err;
    const std::string y = year_;
    EXPECT_EQ(r.out,
              "line 1 (A00001 AL 10/01/" + y +
                  ", ID 900001): Amount is 7 characters, width 6; the line grows by 1 to 130\n"
                  "line 2 (A00002 MC 11/01/" +
                  y +
                  ", ID 900002): no leave application of this employee, leave code and ID; "
                  "written without its application fields, 47 characters instead of 129\n"
                  "transaction A00003 AL 12/01/" +
                  y +
                  ", ID 900003: approval flag \"X\" is neither \"Y\" nor \"N\"; no layout selects "
                  "it\n"
                  "transaction A00004 AL, ID 900005: no date; no range selects it\n"
                  "transaction Z99999 AL 13/01/" +
                  y +
                  ", ID 900004: no employee \"Z99999\"; no layout selects it\n"
                  "check: 5 findings in 2 lines of \"Standard Format\" from " +
                  y + "-01-01 to " + y + "-01-31\n");
    EXPECT_EQ(r.err, "");
    // Extended Format 3 looks nothing up: only the overflow and the transactions remain.
    Result third = Run(Arguments("--period " + year_ + "01 --format extended3"), "master");
    EXPECT_EQ(third.exitCode, 3);
    EXPECT_NE(third.out.find("line 1 (A00001 AL 10/01/" + y +
                             ", ID 900001): Amount is 7 characters, width 6; the line grows by 1 "
                             "to 47\n"),
              std::string::npos)
        << third.out;
    EXPECT_EQ(third.out.find("without its application fields"), std::string::npos);
    EXPECT_NE(third.out.find("check: 4 findings in 2 lines"), std::string::npos) << third.out;
    for (const auto& entry : fs::directory_iterator(work_))
        EXPECT_TRUE(entry.path().filename().string()[0] == '.' || entry.is_directory() ||
                    entry.path().extension() == ".csv")
            << entry.path();
}

TEST_F(Check, CleanRangeIsStatusZeroAndReversedRangeAFinding) {
    Result clean = Run(Arguments("--period " + year_ + "02 --format 1"), "master");
    EXPECT_EQ(clean.exitCode, 0) << clean.out << clean.err;
    EXPECT_EQ(clean.out, "check: nothing found in 2 lines of \"Extended Format 1\" from " + year_ +
                             "-02-01 to " + year_ + "-02-" + (std::stoi(year_) % 4 ? "28" : "29") +
                             "\n");

    Result reversed =
        Run(Arguments("--from " + year_ + "-02-28 --to " + year_ + "-02-01"), "master");
    EXPECT_EQ(reversed.exitCode, 3);
    EXPECT_EQ(reversed.out.substr(0, reversed.out.find('\n')),
              "range: From " + year_ + "-02-28 is later than To " + year_ +
                  "-02-01; nothing is selected");
}

}  // namespace
