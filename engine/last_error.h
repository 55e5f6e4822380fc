// The calling thread's last engine error. Internal to engine/.
#ifndef VELDA_ENGINE_LAST_ERROR_H
#define VELDA_ENGINE_LAST_ERROR_H

#include <string>

#include "engine/ace.h"

namespace engine {

// Records code and "Error <code>: <what>" as this thread's last error; returns the code so
// that a call can end with `return fail(AE_..., "...")`.
UNSIGNED32 fail(UNSIGNED32 code, const std::string& what);

struct LastError {
    UNSIGNED32 code = 0;
    std::string text;
};
const LastError& lastError();

// Copies text into a caller buffer of *len bytes (NUL included). When it does not fit, sets
// *len to the size needed (without the NUL) and fails with AE_BUFFER_TOO_SMALL naming what.
// On success *len is the text's length without the NUL.
UNSIGNED32 copyOut(const std::string& text, UNSIGNED8* buffer, UNSIGNED16* len, const char* what);
UNSIGNED32 copyOut32(const std::string& text, UNSIGNED8* buffer, UNSIGNED32* len, const char* what);

}  // namespace engine

#endif
