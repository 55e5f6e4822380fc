// libFuzzer entry of the engine fuzz target (see engine_target.h). Build line, from the repository
// root:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. -DSQLITE_HAS_CODEC \
//     $(pkg-config --cflags sqlcipher) fuzz/engine_fuzzer.cpp engine/*.cpp \
//     $(pkg-config --libs sqlcipher libsodium) -lpthread -o build-fuzz/engine_fuzzer
#include "fuzz/engine_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return veldafuzz::runOne(data, size);
}
