// Texts handed to the engine's C call surface. The calls take texts as writable byte pointers but
// never write through them, so a const text may be passed; this is the one place that casts.
#ifndef VELDA_ADS_ENGINE_TEXT_H
#define VELDA_ADS_ENGINE_TEXT_H

#include <string>

#include "engine/ace.h"

namespace ads {

inline UNSIGNED8* EngineText(const char* text) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(text));
}
inline UNSIGNED8* EngineText(const std::string& text) {
    return EngineText(text.c_str());
}
// Byte buffers the engine only reads (bookmarks, raw keys).
inline UNSIGNED8* EngineBytes(const void* bytes) {
    return static_cast<UNSIGNED8*>(const_cast<void*>(bytes));
}

}  // namespace ads

#endif
