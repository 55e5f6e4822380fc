#include "rtl/busycursor.h"

#include <atomic>

namespace rtl {

namespace {

class DefaultHooks : public BusyCursorHooks {
  public:
    TCursor current() const override { return cursor_.load(); }
    void set(TCursor cursor) override { cursor_.store(cursor); }

  private:
    std::atomic<TCursor> cursor_{crDefault};
};

DefaultHooks& defaultHooks() {
    static DefaultHooks hooks;
    return hooks;
}

std::atomic<BusyCursorHooks*> installed{nullptr};

}  // namespace

BusyCursorHooks* SetBusyCursorHooks(BusyCursorHooks* hooks) {
    BusyCursorHooks* previous = installed.exchange(hooks);
    return previous ? previous : &defaultHooks();
}

BusyCursorHooks& CurrentBusyCursorHooks() {
    BusyCursorHooks* hooks = installed.load();
    return hooks ? *hooks : defaultHooks();
}

TCursor ScreenCursor() {
    return CurrentBusyCursorHooks().current();
}

void SetScreenCursor(TCursor cursor) {
    CurrentBusyCursorHooks().set(cursor);
}

ScopedBusyCursor::ScopedBusyCursor() : hooks_(CurrentBusyCursorHooks()), saved_(hooks_.current()) {
    hooks_.set(crHourGlass);
}

ScopedBusyCursor::~ScopedBusyCursor() {
    try {
        hooks_.set(saved_);
    } catch (...) {
        // A destructor must not throw; the cursor then stays as the hooks left it.
    }
}

}  // namespace rtl
