// libFuzzer entry of the engine fuzz target (see engine_target.h). scripts/fuzz builds it
// (CMake with -DVELDA_FUZZ=ON and clang) and runs it.
#include "fuzz/engine_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return veldafuzz::runOne(data, size);
}
