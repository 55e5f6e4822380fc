#include "engine/registry.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace engine {

struct HandleRegistry::State {
    mutable std::mutex mutex;
    std::unordered_map<ADSHANDLE, std::shared_ptr<EngineObject>> objects;
    ADSHANDLE next = 0x100;
    // Bumped under the mutex at every removal: a lookup remembered at an older count may name a
    // removed object.
    std::atomic<uint64_t> removals = 0;
};

namespace {
// Each thread's last lookup. A program walking a table asks for the same handle three times a
// row; the remembered answer spares the registry's lock while no handle has been removed since.
// Handles are still looked up after a thread's own objects are gone (the program's static
// objects disconnect at exit), so the flag, which needs no destructor, says when not to use it.
thread_local bool lastLookupGone = false;
struct LastLookup {
    ADSHANDLE handle = 0;
    uint64_t removals = 0;
    std::weak_ptr<EngineObject> object;
    ~LastLookup() { lastLookupGone = true; }
};
thread_local LastLookup lastLookup;
}  // namespace

HandleRegistry& HandleRegistry::instance() {
    static HandleRegistry registry;
    return registry;
}

HandleRegistry::State& HandleRegistry::state() const {
    static State s;
    return s;
}

ADSHANDLE HandleRegistry::add(std::shared_ptr<EngineObject> object) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    ADSHANDLE handle;
    do {
        handle = s.next++;
    } while (handle == 0 || handle == 0xFFFFFFFFu || s.objects.count(handle));
    object->handle_ = handle;
    s.objects.emplace(handle, std::move(object));
    return handle;
}

void HandleRegistry::remove(ADSHANDLE handle) {
    std::shared_ptr<EngineObject> doomed;  // destroyed outside the lock
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        auto it = s.objects.find(handle);
        if (it == s.objects.end()) return;
        doomed = std::move(it->second);
        s.objects.erase(it);
        s.removals.fetch_add(1, std::memory_order_release);
    }
}

std::shared_ptr<EngineObject> HandleRegistry::find(ADSHANDLE handle) const {
    State& s = state();
    const bool remembering = !lastLookupGone;
    if (remembering) {
        const LastLookup& last = lastLookup;
        if (last.handle == handle && handle != 0 &&
            last.removals == s.removals.load(std::memory_order_acquire))
            if (std::shared_ptr<EngineObject> object = last.object.lock()) return object;
    }
    std::lock_guard lock(s.mutex);
    auto it = s.objects.find(handle);
    if (it == s.objects.end()) return nullptr;
    if (remembering) {
        lastLookup.handle = handle;
        lastLookup.removals = s.removals.load(std::memory_order_relaxed);
        lastLookup.object = it->second;
    }
    return it->second;
}

}  // namespace engine
