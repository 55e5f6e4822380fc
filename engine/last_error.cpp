#include "engine/last_error.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/registry.h"

namespace engine {

namespace {
thread_local LastError tlsLastError;
}

UNSIGNED32 fail(UNSIGNED32 code, const std::string& message) {
    tlsLastError.code = code;
    tlsLastError.message = message;
    return code;
}

UNSIGNED32 restore(const LastError& saved) {
    tlsLastError = saved;
    return saved.code;
}

std::string LastError::text() const {
    if (code == 0 && message.empty()) return {};  // nothing has failed yet in this thread
    return "Error " + std::to_string(code) + ": " + message;
}

const LastError& lastError() {
    return tlsLastError;
}

UNSIGNED32 copyOut(const void* data, size_t size, Copy kind, void* buffer, UNSIGNED32* len,
                   const char* what, UNSIGNED32 tooSmall) {
    if (!len)
        return fail(AE_INVALID_ARGUMENT, std::string("No buffer length given for ") + what + ".");
    const size_t needed = size + (kind == Copy::Text ? 1 : 0);
    if (!buffer || *len < needed) {
        *len = static_cast<UNSIGNED32>(needed);
        return fail(tooSmall, std::string("The buffer for ") + what + " is too small; " +
                                  std::to_string(needed) + " bytes are needed.");
    }
    if (size) std::memcpy(buffer, data, size);
    if (kind == Copy::Text) static_cast<UNSIGNED8*>(buffer)[size] = 0;
    *len = static_cast<UNSIGNED32>(size);
    return AE_SUCCESS;
}

UNSIGNED32 copyOut(const std::string& text, UNSIGNED8* buffer, UNSIGNED16* len, const char* what,
                   UNSIGNED32 tooSmall) {
    if (!len)
        return fail(AE_INVALID_ARGUMENT, std::string("No buffer length given for ") + what + ".");
    // A size the 16-bit length cannot hold could never succeed on a retry.
    if (text.size() + 1 > 0xFFFF)
        return fail(AE_INVALID_ARGUMENT,
                    std::string("The text of ") + what + " is too long for a 16-bit length.");
    UNSIGNED32 size = *len;
    UNSIGNED32 result =
        copyOut(text.data(), text.size(), Copy::Text, buffer, &size, what, tooSmall);
    *len = static_cast<UNSIGNED16>(size);
    return result;
}

}  // namespace engine

extern "C" UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf,
                                      UNSIGNED16* pusBufLen) {
    const engine::LastError& e = engine::lastError();
    if (pulErrCode) *pulErrCode = e.code;
    if (!pucBuf || !pusBufLen) return AE_SUCCESS;
    if (*pusBufLen == 0) return AE_SUCCESS;
    // The text is cut to the buffer rather than refused: a caller reporting an error must get it.
    const std::string text = e.text();
    size_t n = std::min<size_t>(text.size(), *pusBufLen - 1u);
    std::memcpy(pucBuf, text.data(), n);
    pucBuf[n] = 0;
    *pusBufLen = static_cast<UNSIGNED16>(n);
    return AE_SUCCESS;
}

extern "C" UNSIGNED32 AdsShowError(UNSIGNED8* pucTitle) {
    const engine::LastError& e = engine::lastError();
    const char* title = pucTitle ? reinterpret_cast<const char*>(pucTitle) : "Error";
    std::fprintf(stderr, "%s: %s\n", title, e.code ? e.text().c_str() : "No error.");
    return AE_SUCCESS;
}

extern "C" UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor,
                                    UNSIGNED8* pucLetter, UNSIGNED8* pucDesc,
                                    UNSIGNED16* pusDescLen) {
    if (pulMajor) *pulMajor = 7;
    if (pulMinor) *pulMinor = 10;
    if (pucLetter) *pucLetter = ' ';
    if (pusDescLen)  // a null buffer asks for the size, as everywhere
        return engine::copyOut(std::string("velda engine on SQLite ") + sqlite3_libversion(),
                               pucDesc, pusDescLen, "the version text");
    return AE_SUCCESS;
}

extern "C" UNSIGNED32 AdsGetHandleType(ADSHANDLE hObj, UNSIGNED16* pusType) {
    if (!pusType) return engine::fail(AE_INVALID_ARGUMENT, "No place given for the handle type.");
    auto object = engine::HandleRegistry::instance().find(hObj);
    if (!object)
        return engine::fail(AE_INVALID_HANDLE,
                            "Handle " + std::to_string(hObj) + " is not a live handle.");
    *pusType = static_cast<UNSIGNED16>(object->kind());
    return AE_SUCCESS;
}
