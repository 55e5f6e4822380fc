// Helpers shared by the files of the call surface (*_calls.cpp): argument checks, field
// lookup, and running a call under the table's lock. Internal to engine/.
#ifndef VELDA_ENGINE_CALL_HELPERS_H
#define VELDA_ENGINE_CALL_HELPERS_H

#include <cstddef>
#include <mutex>
#include <string>

#include "engine/ace.h"
#include "engine/handles.h"
#include "engine/transaction.h"

namespace engine::calls {

// A C text argument as a string; null gives the empty string.
std::string textOf(const UNSIGNED8* p);
// AE_INVALID_ARGUMENT for an output argument given as null.
[[nodiscard]] UNSIGNED32 missing(const char* what);
// The field a call names, by number (1-based) or by name.
[[nodiscard]] UNSIGNED32 fieldOf(const TableHandle& h, const UNSIGNED8* name, size_t& out);

// What a call does with a handle not placed yet: most place it first (cursor::placeIfNew);
// the moves to either end place it themselves.
enum class Placement { First, ByTheCall };

// Runs f under the table's lock with the handle found.
template <class F>
[[nodiscard]] UNSIGNED32 withTarget(ADSHANDLE handle, bool indexOnly, F&& f,
                                    Placement placement = Placement::First) {
    Target target;
    if (UNSIGNED32 rc = findTarget(handle, target, indexOnly)) return rc;
    std::lock_guard lock(target.table->table->mutex());
    if (UNSIGNED32 rc = transaction::joinOpen(*target.table)) return rc;
    if (placement == Placement::First)
        if (UNSIGNED32 rc = cursor::placeIfNew(*target.table)) return rc;
    return f(target);
}

template <class F>
[[nodiscard]] UNSIGNED32 withTable(ADSHANDLE handle, F&& f) {
    return withTarget(handle, false, [&](Target& t) { return f(*t.table); });
}

template <class F>
[[nodiscard]] UNSIGNED32 withIndex(ADSHANDLE handle, F&& f) {
    return withTarget(handle, true, [&](Target& t) { return f(*t.index, *t.table); });
}

template <class F>
[[nodiscard]] UNSIGNED32 navigate(ADSHANDLE handle, F&& f, Placement placement = Placement::First) {
    return withTarget(
        handle, false,
        [&](Target& t) {
            Nav nav;
            if (UNSIGNED32 rc = navFor(t, nav)) return rc;
            return f(*t.table, nav);
        },
        placement);
}

}  // namespace engine::calls

#endif
