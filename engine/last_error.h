// The calling thread's last engine error. Internal to engine/.
#ifndef VELDA_ENGINE_LAST_ERROR_H
#define VELDA_ENGINE_LAST_ERROR_H

#include <cstddef>
#include <string>

#include "engine/ace.h"

namespace engine {

// The last failure as a value: its code and what went wrong, kept apart. The text callers see
// ("Error <code>: <message>") is made from them only when it is asked for.
struct LastError {
    UNSIGNED32 code = 0;
    std::string message;
    std::string text() const;
};

// Records code and message as this thread's last error; returns the code so that a call can
// end with `return fail(AE_..., "...")`.
[[nodiscard]] UNSIGNED32 fail(UNSIGNED32 code, const std::string& message);
// Puts back a last error saved before work that may fail on its own (a clean-up after a
// failure), so that the text reported matches the code returned; returns its code.
UNSIGNED32 restore(const LastError& saved);
const LastError& lastError();

// The one copy into a caller's buffer of *len bytes, for texts and bytes alike (the rule is
// stated in engine/ace.h). A text needs its size plus the NUL. When the buffer is null or too
// small, *len becomes the size that succeeds on a retry and the call fails with tooSmall
// (AE_BUFFER_TOO_SMALL, or AE_INSUFFICIENT_BUFFER where a call answers that) naming what.
// On success *len is the number of bytes copied, the NUL not counted.
enum class Copy { Text, Bytes };
[[nodiscard]] UNSIGNED32 copyOut(const void* data, size_t size, Copy kind, void* buffer,
                                 UNSIGNED32* len, const char* what,
                                 UNSIGNED32 tooSmall = AE_BUFFER_TOO_SMALL);
[[nodiscard]] UNSIGNED32 copyOut(const std::string& text, UNSIGNED8* buffer, UNSIGNED16* len,
                                 const char* what, UNSIGNED32 tooSmall = AE_BUFFER_TOO_SMALL);

}  // namespace engine

#endif
