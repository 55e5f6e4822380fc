// A child process for the engine's lock and concurrency tests, talking to its parent through
// two pipes. The child runs its function with engine handles of its own and ends with _exit, so
// nothing it inherited is closed or flushed there.
#ifndef VELDA_TESTS_ENGINE_PROCESS_HELPERS_H
#define VELDA_TESTS_ENGINE_PROCESS_HELPERS_H

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace enginetest {

class Child {
  public:
    // fn reads commands with receive() and answers with send(); its return value is the exit code.
    explicit Child(const std::function<int(Child&)>& fn) {
        int toChild[2], toParent[2];
        if (pipe(toChild) != 0 || pipe(toParent) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(toChild[1]);
            close(toParent[0]);
            in_ = toChild[0];
            out_ = toParent[1];
            _exit(fn(*this));
        }
        close(toChild[0]);
        close(toParent[1]);
        in_ = toParent[0];
        out_ = toChild[1];
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) kill();
        if (in_ >= 0) close(in_);
        if (out_ >= 0) close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool send(char c) { return write(out_, &c, 1) == 1; }
    // The next byte, or 0 when the other side has gone.
    char receive() {
        char c = 0;
        return read(in_, &c, 1) == 1 ? c : 0;
    }
    // Reads exactly n bytes; false at the end of the stream.
    bool receive(void* data, size_t n) {
        auto* p = static_cast<char*>(data);
        while (n) {
            ssize_t got = read(in_, p, n);
            if (got <= 0) return false;
            p += got;
            n -= static_cast<size_t>(got);
        }
        return true;
    }
    // The rest of the stream up to a newline: a child's reason for giving up.
    std::string receiveLine() {
        std::string line;
        for (char c = receive(); c && c != '\n'; c = receive()) line += c;
        return line;
    }
    bool send(const void* data, size_t n) {
        return write(out_, data, n) == static_cast<ssize_t>(n);
    }
    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    bool reaped_ = false;
};

}  // namespace enginetest

#endif
