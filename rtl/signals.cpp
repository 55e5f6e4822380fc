#include "rtl/signals.h"

#include <limits.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace rtl {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSlots = 8;

// The handler reads only these: a slot is filled before it is marked in use.
struct FileSlot {
    std::atomic<bool> reserved{false};
    std::atomic<bool> used{false};
    char path[PATH_MAX] = {};
};
struct TerminalSlot {
    std::atomic<bool> reserved{false};
    std::atomic<bool> used{false};
    int fd = -1;
    termios saved{};
};
FileSlot fileSlots[kSlots];
TerminalSlot terminalSlots[kSlots];
struct sigaction previous[sizeof kSignals / sizeof kSignals[0]];
std::atomic<bool> installed{false};

void Undo(int signal) {
    const int saved = errno;
    for (FileSlot& slot : fileSlots)
        if (slot.used.load()) ::unlink(slot.path);
    for (TerminalSlot& slot : terminalSlots)
        if (slot.used.load()) ::tcsetattr(slot.fd, TCSANOW, &slot.saved);
    // End as the signal would have ended the program without this handler.
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        if (kSignals[i] == signal) ::sigaction(signal, &previous[i], nullptr);
    errno = saved;
    ::raise(signal);
}

void Install() {
    if (installed.exchange(true)) return;
    {
        for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
            struct sigaction action {};
            action.sa_handler = Undo;
            sigemptyset(&action.sa_mask);
            for (int other : kSignals) sigaddset(&action.sa_mask, other);
            if (::sigaction(kSignals[i], nullptr, &previous[i]) != 0) continue;
            if (previous[i].sa_handler == SIG_IGN) continue;  // ignored by choice: stays so
            ::sigaction(kSignals[i], &action, nullptr);
        }
    }
}

// A free slot, reserved for the caller; -1 when all are taken.
template <typename Slot>
int Take(Slot (&slots)[kSlots]) {
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (slots[i].reserved.compare_exchange_strong(expected, true)) return i;
    }
    return -1;
}

template <typename Slot>
void Give(Slot& slot) {
    slot.used.store(false);
    slot.reserved.store(false);
}

}  // namespace

TRemoveAtSignal::TRemoveAtSignal(const std::string& path) {
    if (path.size() >= PATH_MAX) return;
    Install();
    slot_ = Take(fileSlots);
    if (slot_ < 0) return;
    std::memcpy(fileSlots[slot_].path, path.c_str(), path.size() + 1);
    fileSlots[slot_].used.store(true);
}

TRemoveAtSignal::~TRemoveAtSignal() {
    if (slot_ >= 0) Give(fileSlots[slot_]);
}

TEchoOff::TEchoOff(int fd) : fd_(fd) {
    if (::tcgetattr(fd_, &saved_) != 0) return;
    Install();
    slot_ = Take(terminalSlots);
    if (slot_ >= 0) {
        terminalSlots[slot_].fd = fd_;
        terminalSlots[slot_].saved = saved_;
        terminalSlots[slot_].used.store(true);
    }
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = ::tcsetattr(fd_, TCSANOW, &quiet) == 0;
}

TEchoOff::~TEchoOff() {
    if (active_) ::tcsetattr(fd_, TCSANOW, &saved_);
    if (slot_ >= 0) Give(terminalSlots[slot_]);
}

}  // namespace rtl
