// The screen's mouse cursor as a hook: code below the windows (a connection that connects, a
// query that opens) shows the hourglass through it, and the window layer installs the hooks that
// really change the cursor. Until then a default stands in that only remembers the last cursor
// set, so the code runs headless and its cursor changes can be watched.
#ifndef VELDA_RTL_BUSYCURSOR_H
#define VELDA_RTL_BUSYCURSOR_H

#include <cstdint>

namespace rtl {

// The cursor kinds, numbered as the windows' own cursor kinds are.
using TCursor = int16_t;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crMultiDrag = -16;
inline constexpr TCursor crSQLWait = -17;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;

class BusyCursorHooks {
  public:
    virtual ~BusyCursorHooks() = default;
    virtual TCursor current() const = 0;
    virtual void set(TCursor cursor) = 0;
};

// Installs the hooks for the whole process and returns the ones they replace; nullptr puts the
// default back. The caller keeps the hooks alive while they are installed.
BusyCursorHooks* SetBusyCursorHooks(BusyCursorHooks* hooks);
// The installed hooks, never null.
BusyCursorHooks& CurrentBusyCursorHooks();

// Shorthands for CurrentBusyCursorHooks().current() and .set(cursor).
TCursor ScreenCursor();
void SetScreenCursor(TCursor cursor);

// Remembers the current cursor and shows the hourglass; the destructor puts the remembered cursor
// back, also when an exception leaves the scope. It keeps to the hooks installed when it was made.
class ScopedBusyCursor {
  public:
    ScopedBusyCursor();
    ~ScopedBusyCursor();
    ScopedBusyCursor(const ScopedBusyCursor&) = delete;
    ScopedBusyCursor& operator=(const ScopedBusyCursor&) = delete;

    TCursor Remembered() const { return saved_; }

  private:
    BusyCursorHooks& hooks_;
    TCursor saved_;
};

}  // namespace rtl

#endif
