// The rows the engine benchmarks fill their staff table with: record i's name and values, the
// same in every benchmark, so that their figures describe the same table.
#ifndef VELDA_BENCH_STAFF_ROWS_H
#define VELDA_BENCH_STAFF_ROWS_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "ads/engine_text.h"
#include "bench/engine_check.h"
#include "engine/ace.h"

namespace bench {

inline std::string nameOf(uint64_t i) {
    static const char* parts[] = {"AB", "CHAN", "LEE", "WONG", "TAN",
                                  "NG", "LIM",  "HO",  "KOH",  "ONG"};
    uint64_t x = i * 2654435761u % 1000003;
    return std::string(parts[x % 10]) + parts[(x / 10) % 10] + std::to_string(x % 100000);
}

// Sets the fields NAME, CODE, BORN, AMOUNT and N of the record being appended to record i's.
inline void fill(ADSHANDLE t, uint64_t i) {
    std::string name = nameOf(i);
    char code[16], born[16], amount[32], n[24];
    std::snprintf(code, sizeof code, "C%06llu", static_cast<unsigned long long>(i % 1000000));
    std::snprintf(born, sizeof born, "%04llu%02llu%02llu", 1950 + (i % 50) * 1ull,
                  1 + (i % 12) * 1ull, 1 + (i % 28) * 1ull);
    std::snprintf(amount, sizeof amount, "%llu.%02llu", static_cast<unsigned long long>(i % 9999),
                  (i % 100) * 1ull);
    std::snprintf(n, sizeof n, "%llu", static_cast<unsigned long long>(i));
    auto set = [t](const char* field, const std::string& value) {
        check(AdsSetField(t, ads::EngineText(field), ads::EngineText(value),
                          static_cast<UNSIGNED32>(value.size())),
              field);
    };
    set("NAME", name);
    set("CODE", code);
    set("BORN", born);
    set("AMOUNT", amount);
    set("N", n);
}

}  // namespace bench

#endif
