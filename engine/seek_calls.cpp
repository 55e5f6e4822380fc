// The call surface for keys, seeks and scopes.

#include "engine/ace.h"
#include "engine/call_helpers.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/open_tables.h"

using namespace engine;
using namespace engine::calls;

// Every function below was declared extern "C" in ace.h and keeps that linkage.

// --- Keys, seeks, scopes ----------------------------------------------------------------------

UNSIGNED32 AdsInitRawKey(ADSHANDLE hIndex) {
    return withIndex(hIndex, [](IndexHandle& index, TableHandle&) {
        index.key.assign(index.def().segments.size(), KeySegment{});
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsBuildRawKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen) {
    if (!pusKeyLen) return missing("the key length");
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle&) {
        index.key.resize(index.def().segments.size());
        std::string key = encodeRawKey(index.key);
        UNSIGNED32 len = *pusKeyLen;
        UNSIGNED32 rc = copyOut(key.data(), key.size(), Copy::Bytes, pucKey, &len, "the key");
        *pusKeyLen = static_cast<UNSIGNED16>(len);
        return rc;
    });
}

namespace {
UNSIGNED32 decodeKey(IndexHandle& index, TableHandle& h, const UNSIGNED8* key, UNSIGNED16 len,
                     UNSIGNED16 dataType, KeyValues& out) {
    const Schema& schema = h.table->schema();
    std::vector<KeySegment> segments;
    UNSIGNED32 rc;
    switch (dataType) {
        case ADS_RAWKEY:
            rc = decodeRawKey(key, len, schema, index.def(), segments);
            break;
        case ADS_STRINGKEY:
            rc = stringKey(key, len, schema, index.def(), h.page, segments);
            break;
        case ADS_DOUBLEKEY:
            rc = doubleKey(key, len, schema, index.def(), segments);
            break;
        default:
            return fail(AE_INVALID_ARGUMENT, "The key type " + std::to_string(dataType) +
                                                 " is not a raw, string or double key.");
    }
    if (rc) return rc;
    return keyValues(schema, index.def(), segments, h.page, out);
}
}  // namespace

UNSIGNED32 AdsSeek(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usKeyLen, UNSIGNED16 usDataType,
                   UNSIGNED16 usSeekType, UNSIGNED16* pbFound) {
    return withTarget(hIndex, true, [&](Target& t) {
        Nav nav;
        if (UNSIGNED32 rc = navFor(t, nav)) return rc;
        TableHandle& h = *t.table;
        KeyValues key;
        if (UNSIGNED32 rc = decodeKey(*t.index, h, pucKey, usKeyLen, usDataType, key)) return rc;
        if (UNSIGNED32 rc = writer::settle(h)) return rc;
        bool found = false;
        if (UNSIGNED32 rc =
                cursor::seek(h, nav, key, usSeekType ? usSeekType : ADS_HARDSEEK, found))
            return rc;
        if (pbFound) *pbFound = found;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsSetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                       UNSIGNED16 usScopeLen, UNSIGNED16 usDataType) {
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle& h) {
        if (usScopeOption != ADS_TOP && usScopeOption != ADS_BOTTOM)
            return fail(AE_INVALID_ARGUMENT, "The scope option " + std::to_string(usScopeOption) +
                                                 " is not top (1) or bottom (2).");
        ScopeKey scope;
        if (UNSIGNED32 rc = decodeKey(index, h, pucScope, usScopeLen, usDataType, scope.key))
            return rc;
        scope.given.assign(reinterpret_cast<const char*>(
                               pucScope ? pucScope : reinterpret_cast<const UNSIGNED8*>("")),
                           usScopeLen);
        (usScopeOption == ADS_TOP ? index.top : index.bottom) = std::move(scope);
        h.dropWindow();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                       UNSIGNED16* pusBufLen) {
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle&) {
        if (usScopeOption != ADS_TOP && usScopeOption != ADS_BOTTOM)
            return fail(AE_INVALID_ARGUMENT, "The scope option " + std::to_string(usScopeOption) +
                                                 " is not top (1) or bottom (2).");
        const auto& scope = usScopeOption == ADS_TOP ? index.top : index.bottom;
        if (!scope)
            return fail(AE_NO_SCOPE, std::string("No ") +
                                         (usScopeOption == ADS_TOP ? "top" : "bottom") +
                                         " scope is set on the index tag " + index.tag + ".");
        return copyOut(scope->given, pucScope, pusBufLen, "the scope");
    });
}

UNSIGNED32 AdsClearScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption) {
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle& h) {
        if (usScopeOption != ADS_TOP && usScopeOption != ADS_BOTTOM)
            return fail(AE_INVALID_ARGUMENT, "The scope option " + std::to_string(usScopeOption) +
                                                 " is not top (1) or bottom (2).");
        auto& scope = usScopeOption == ADS_TOP ? index.top : index.bottom;
        if (!scope)
            return fail(AE_NO_SCOPE, std::string("No ") +
                                         (usScopeOption == ADS_TOP ? "top" : "bottom") +
                                         " scope is set on the index tag " + index.tag + ".");
        scope.reset();
        h.dropWindow();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsClearAllScopes(ADSHANDLE hTable) {
    return withTable(hTable, [&](TableHandle& h) {
        for (auto& [name, id] : h.indexHandles)
            if (auto index = HandleRegistry::instance().findAs<IndexHandle>(id)) {
                index->top.reset();
                index->bottom.reset();
            }
        h.dropWindow();
        return AE_SUCCESS;
    });
}
