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

UNSIGNED32 fail(UNSIGNED32 code, const std::string& what) {
    tlsLastError.code = code;
    tlsLastError.text = "Error " + std::to_string(code) + ": " + what;
    return code;
}

const LastError& lastError() {
    return tlsLastError;
}

UNSIGNED32 copyOut(const std::string& text, UNSIGNED8* buffer, UNSIGNED16* len, const char* what) {
    if (!len)
        return fail(AE_INVALID_ARGUMENT, std::string("No buffer length given for ") + what + ".");
    UNSIGNED32 size = *len;
    UNSIGNED32 result = copyOut32(text, buffer, &size, what);
    *len = static_cast<UNSIGNED16>(size > 0xFFFF ? 0xFFFF : size);
    return result;
}

UNSIGNED32 copyOut32(const std::string& text, UNSIGNED8* buffer, UNSIGNED32* len,
                     const char* what) {
    if (!len)
        return fail(AE_INVALID_ARGUMENT, std::string("No buffer length given for ") + what + ".");
    if (!buffer || *len < text.size() + 1) {
        *len = static_cast<UNSIGNED32>(text.size());
        return fail(AE_BUFFER_TOO_SMALL, std::string("The buffer for ") + what + " is too small; " +
                                             std::to_string(text.size() + 1) +
                                             " bytes are needed.");
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = 0;
    *len = static_cast<UNSIGNED32>(text.size());
    return AE_SUCCESS;
}

}  // namespace engine

extern "C" UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf,
                                      UNSIGNED16* pusBufLen) {
    const engine::LastError& e = engine::lastError();
    if (pulErrCode) *pulErrCode = e.code;
    if (!pucBuf || !pusBufLen) return AE_SUCCESS;
    if (*pusBufLen == 0) return AE_SUCCESS;
    // The text is cut to the buffer rather than refused: a caller reporting an error must get it.
    size_t n = std::min<size_t>(e.text.size(), *pusBufLen - 1u);
    std::memcpy(pucBuf, e.text.data(), n);
    pucBuf[n] = 0;
    *pusBufLen = static_cast<UNSIGNED16>(n);
    return AE_SUCCESS;
}

extern "C" UNSIGNED32 AdsShowError(UNSIGNED8* pucTitle) {
    const engine::LastError& e = engine::lastError();
    const char* title = pucTitle ? reinterpret_cast<const char*>(pucTitle) : "Error";
    std::fprintf(stderr, "%s: %s\n", title, e.code ? e.text.c_str() : "No error.");
    return AE_SUCCESS;
}

extern "C" UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor,
                                    UNSIGNED8* pucLetter, UNSIGNED8* pucDesc,
                                    UNSIGNED16* pusDescLen) {
    if (pulMajor) *pulMajor = 7;
    if (pulMinor) *pulMinor = 10;
    if (pucLetter) *pucLetter = ' ';
    if (pucDesc && pusDescLen)
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
