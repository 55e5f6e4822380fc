// The engine's handle registry: 32-bit handles of distinct kinds mapped to live objects.
// Internal to engine/.
#ifndef VELDA_ENGINE_REGISTRY_H
#define VELDA_ENGINE_REGISTRY_H

#include <memory>

#include "engine/ace.h"

namespace engine {

enum class HandleKind : UNSIGNED16 {
    Connection = ADS_CONNECTION,
    Table = ADS_TABLE,
    Index = ADS_INDEX_ORDER,
    Statement = ADS_STATEMENT,
    Cursor = ADS_CURSOR,
    DictionaryConnection = ADS_DATABASE_CONNECTION,
    Find = ADS_FIND_HANDLE,
};

// Base of every object a handle can name.
class EngineObject {
  public:
    virtual ~EngineObject() = default;
    virtual HandleKind kind() const = 0;
    ADSHANDLE handle() const { return handle_; }

  private:
    friend class HandleRegistry;
    ADSHANDLE handle_ = 0;
};

// Process-wide registry. Handles are never 0 nor 0xFFFFFFFF and are not reused while the
// process runs (a 32-bit counter that skips those two values).
class HandleRegistry {
  public:
    static HandleRegistry& instance();

    ADSHANDLE add(std::shared_ptr<EngineObject> object);
    void remove(ADSHANDLE handle);
    std::shared_ptr<EngineObject> find(ADSHANDLE handle) const;

    template <class T>
    std::shared_ptr<T> findAs(ADSHANDLE handle) const {
        return std::dynamic_pointer_cast<T>(find(handle));
    }

  private:
    HandleRegistry() = default;
    struct State;
    State& state() const;
};

}  // namespace engine

#endif
