// The call surface for record locks.

#include "engine/ace.h"
#include "engine/call_helpers.h"
#include "engine/handles.h"
#include "engine/last_error.h"

using namespace engine;
using namespace engine::calls;

// Every function below was declared extern "C" in ace.h and keeps that linkage.

// --- Locks ------------------------------------------------------------------------------------

UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return withTable(hTable, [&](TableHandle& h) {
        int64_t record = ulRec ? ulRec : (h.onRow() ? h.rowid() : 0);
        if (record == 0)
            return fail(AE_NO_CURRENT_RECORD,
                        "There is no current record to lock in the table " + h.table->file() + ".");
        return writer::lock(h, static_cast<uint32_t>(record));
    });
}

UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return withTable(hTable, [&](TableHandle& h) { return writer::unlock(h, ulRec); });
}
