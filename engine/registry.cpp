#include "engine/registry.h"

#include <mutex>
#include <unordered_map>

namespace engine {

struct HandleRegistry::State {
    mutable std::mutex mutex;
    std::unordered_map<ADSHANDLE, std::shared_ptr<EngineObject>> objects;
    ADSHANDLE next = 0x100;
};

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
    }
}

std::shared_ptr<EngineObject> HandleRegistry::find(ADSHANDLE handle) const {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.objects.find(handle);
    return it == s.objects.end() ? nullptr : it->second;
}

}  // namespace engine
