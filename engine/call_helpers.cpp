#include "engine/call_helpers.h"

#include <cstring>

#include "engine/last_error.h"

namespace engine::calls {

std::string textOf(const UNSIGNED8* p) {
    return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
}

UNSIGNED32 missing(const char* what) {
    return fail(AE_INVALID_ARGUMENT, std::string("No place given for ") + what + ".");
}

UNSIGNED32 fieldOf(const TableHandle& h, const UNSIGNED8* name, size_t& out) {
    const Schema& schema = h.table->schema();
    auto number = reinterpret_cast<uintptr_t>(name);
    if (number <= ADS_MAX_FIELD_NUMBER) {
        if (number == 0 || number > schema.fields.size())
            return fail(AE_COLUMN_NOT_FOUND, "Column \"" + std::to_string(number) +
                                                 "\" is not a field of the table " +
                                                 h.table->file() + "; it has " +
                                                 std::to_string(schema.fields.size()) + " fields.");
        out = number - 1;
        return AE_SUCCESS;
    }
    std::string text = textOf(name);
    int found = schema.fieldByName(text);
    if (found < 0)
        return fail(AE_COLUMN_NOT_FOUND,
                    "Column \"" + text + "\" is not a field of the table " + h.table->file() + ".");
    out = static_cast<size_t>(found);
    return AE_SUCCESS;
}

}  // namespace engine::calls
