// The call surface for table encryption.

#include "engine/ace.h"
#include "engine/call_helpers.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/sqlite/encryption.h"

using namespace engine;
using namespace engine::calls;

// Every function below was declared extern "C" in ace.h and keeps that linkage.

// --- Encryption -------------------------------------------------------------------------------

namespace {

UNSIGNED32 changeOfForm(TableHandle& h, const char* doing) {
    const std::string& file = h.table->file();
    if (!h.exclusive())
        return fail(AE_INVALID_ARGUMENT,
                    "The table " + file + " must be opened exclusively to " + doing + " it.");
    // An exclusive handle excludes every other handle, but a read-only folder has no lock file.
    if (h.table.use_count() > 1)
        return fail(AE_LOCKED, "The table " + file + " is open on another handle; it cannot be " +
                                   doing + "ed now.");
    if (UNSIGNED32 rc = writer::ensureWritable(h)) return rc;
    return writer::settle(h);
}

}  // namespace

UNSIGNED32 AdsEnableEncryption(ADSHANDLE hTable, UNSIGNED8* pucPassword) {
    return withTable(hTable, [&](TableHandle& h) {
        Secret password(textOf(pucPassword));
        if (password.empty())
            return fail(AE_INVALID_ARGUMENT,
                        "No password given for the table " + h.table->file() + ".");
        if (!h.table->encrypted()) {
            h.password = password;  // for a later AdsEncryptTable
            return AE_SUCCESS;
        }
        if (UNSIGNED32 rc = h.table->unlock(password)) return rc;
        if (!h.unlocked) h.dropWindow();
        h.password = password;
        h.unlocked = true;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsDisableEncryption(ADSHANDLE hTable) {
    return withTable(hTable, [&](TableHandle& h) {
        if (h.table->encrypted() && h.unlocked) {
            if (UNSIGNED32 rc = writer::settle(h)) return rc;
            h.dropWindow();
            h.forgetRow();
            h.unlocked = false;
        }
        h.password.clear();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsIsTableEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted) {
    if (!pbEncrypted) return missing("the encrypted flag");
    return withTable(hTable, [&](TableHandle& h) {
        *pbEncrypted = h.table->encrypted();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsEncryptTable(ADSHANDLE hTable) {
    return withTable(hTable, [](TableHandle& h) {
        const std::string& file = h.table->file();
        if (h.table->encrypted())
            return fail(AE_ALREADY_ENCRYPTED, "The table " + file + " is encrypted already.");
        if (h.password.empty())
            return fail(AE_INVALID_ARGUMENT, "No password has been given for the table " + file +
                                                 "; give one with AdsEnableEncryption first.");
        if (UNSIGNED32 rc = changeOfForm(h, "encrypt")) return rc;
        if (UNSIGNED32 rc = h.table->encrypt(h.password)) return rc;
        h.unlocked = true;
        h.dropWindow();
        return cursor::refresh(h, true);
    });
}

UNSIGNED32 AdsDecryptTable(ADSHANDLE hTable) {
    return withTable(hTable, [](TableHandle& h) {
        const std::string& file = h.table->file();
        if (!h.table->encrypted())
            return fail(AE_NOT_ENCRYPTED, "The table " + file + " is not encrypted.");
        if (h.hidesRows())
            return fail(AE_WRONG_PASSWORD, "The password of the encrypted table " + file +
                                               " has not been given; give it with "
                                               "AdsEnableEncryption first.");
        if (UNSIGNED32 rc = changeOfForm(h, "decrypt")) return rc;
        if (UNSIGNED32 rc = h.table->decrypt(h.password)) return rc;
        h.dropWindow();
        return cursor::refresh(h, true);
    });
}
