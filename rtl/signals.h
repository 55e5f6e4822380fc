// What a program must undo when SIGINT, SIGTERM, SIGHUP or SIGQUIT ends it: a terminal whose echo
// it switched off is given its settings back, and a file it was writing and has not yet put in
// place is removed. The handler does only that (with calls that are safe in a signal handler),
// then ends the program by the same signal as before. A signal the program ignored (SIGHUP under
// nohup) stays ignored.
#ifndef VELDA_RTL_SIGNALS_H
#define VELDA_RTL_SIGNALS_H

#include <termios.h>

#include <string>

namespace rtl {

// Removes a file at a fatal signal for as long as the object lives (files whose names do not fit
// the handler's room, PATH_MAX, are not removed).
class TRemoveAtSignal {
  public:
    explicit TRemoveAtSignal(const std::string& path);
    ~TRemoveAtSignal();
    TRemoveAtSignal(const TRemoveAtSignal&) = delete;
    TRemoveAtSignal& operator=(const TRemoveAtSignal&) = delete;

  private:
    int slot_ = -1;
};

// Switches echo off on a terminal for as long as the object lives; the settings come back also
// when a fatal signal ends the program meanwhile. Nothing happens when fd is no terminal.
class TEchoOff {
  public:
    explicit TEchoOff(int fd);
    ~TEchoOff();
    TEchoOff(const TEchoOff&) = delete;
    TEchoOff& operator=(const TEchoOff&) = delete;

  private:
    int fd_;
    termios saved_{};
    bool active_ = false;
    int slot_ = -1;
};

}  // namespace rtl

#endif
