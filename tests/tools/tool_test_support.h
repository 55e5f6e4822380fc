// What the tool tests share: the tools' paths and shell quoting, a finished run of a program, a
// whole file read back, and a program stopped by a signal at its password prompt.
#ifndef VELDA_TESTS_TOOLS_TOOL_TEST_SUPPORT_H
#define VELDA_TESTS_TOOLS_TOOL_TEST_SUPPORT_H

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tooltest {

// A program's exit status and what it wrote to standard output and standard error.
struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A word for the shell: the text in single quotes.
inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A program of the build's tools folder.
inline std::string Tool(const char* name) {
    return std::string(VELDA_BINARY_DIR) + "/tools/" + name;
}

inline std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a shell command line with its standard output and error caught in files of `scratch`.
inline Result RunCaptured(const std::string& command, const std::filesystem::path& scratch) {
    const std::filesystem::path out = scratch / ".out", err = scratch / ".err";
    int status = std::system((command + " >" + out.string() + " 2>" + err.string()).c_str());
    Result r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
}

// How a program ended that was sent a signal while it asked for a password on a terminal.
struct PromptEnd {
    bool prompted = false;        // the prompt was seen
    bool killedBySignal = false;  // the program ended by the signal
    bool echoAfter = false;       // the terminal echoes again afterwards
    std::string screen;           // what the program showed
};

// Runs argv on a new terminal (without VELDA_PASSWORD and the velda-db password variables),
// waits for the prompt, sends the signal and reads the terminal's settings once it has ended.
inline PromptEnd SignalAtPrompt(std::vector<std::string> argv, const std::string& prompt,
                                int signal) {
    PromptEnd end;
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) return end;
    if (pid == 0) {
        for (const char* name : {"VELDA_PASSWORD", "VELDA_DB_ADMIN_PASSWORD",
                                 "VELDA_DB_NEW_PASSWORD", "VELDA_DB_PASSWORD"})
            unsetenv(name);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    while (!end.prompted && std::chrono::steady_clock::now() < deadline) {
        pollfd fds[1] = {{terminal, POLLIN, 0}};
        if (poll(fds, 1, 100) <= 0) continue;
        const ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0) break;
        end.screen.append(buffer, static_cast<size_t>(n));
        end.prompted = end.screen.find(prompt) != std::string::npos;
    }
    // The prompt shows once echo is off; a moment more for the program to wait for input.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    end.killedBySignal = WIFSIGNALED(status) && WTERMSIG(status) == signal;
    termios settings{};
    // On a pseudo-terminal's master side the settings read are those of the terminal itself.
    end.echoAfter = tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
    close(terminal);
    return end;
}

}  // namespace tooltest

#endif
