// The benchmarks' check of an engine call: a failure prints the engine's text and ends the run,
// since figures measured after a failed step would mean nothing.
#ifndef VELDA_BENCH_ENGINE_CHECK_H
#define VELDA_BENCH_ENGINE_CHECK_H

#include <cstdio>
#include <cstdlib>

#include "engine/ace.h"

namespace bench {

inline void check(UNSIGNED32 rc, const char* what) {
    if (rc == AE_SUCCESS) return;
    UNSIGNED8 text[600];
    UNSIGNED16 len = sizeof text;
    UNSIGNED32 code = 0;
    (void)AdsGetLastError(&code, text, &len);
    std::fprintf(stderr, "%s failed: %s\n", what, reinterpret_cast<char*>(text));
    std::exit(1);
}

}  // namespace bench

#endif
