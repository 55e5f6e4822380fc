// Helpers shared by the suites that call the engine: text arguments and the engine's last
// error (and the temporary folder of tests/support/temp_folder.h).
#ifndef VELDA_TESTS_SUPPORT_ENGINE_TEST_HELPERS_H
#define VELDA_TESTS_SUPPORT_ENGINE_TEST_HELPERS_H

#include <string>

#include "engine/ace.h"
#include "tests/support/temp_folder.h"

namespace testsupport {

inline UNSIGNED8* u8(const char* text) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(text));
}
inline UNSIGNED8* u8(const std::string& text) {
    return u8(text.c_str());
}

// The engine's last error text; its code into *code when given.
inline std::string lastError(UNSIGNED32* code = nullptr) {
    UNSIGNED8 buffer[1024];
    UNSIGNED16 len = sizeof buffer;
    UNSIGNED32 c = 0;
    (void)AdsGetLastError(&c, buffer, &len);  // always 0
    if (code) *code = c;
    return std::string(reinterpret_cast<char*>(buffer), len);
}

}  // namespace testsupport

#endif
