// The call surface for a table's structure: type, options, fields and their attributes.

#include "engine/ace.h"
#include "engine/call_helpers.h"
#include "engine/handles.h"
#include "engine/last_error.h"

using namespace engine;
using namespace engine::calls;

// Every function below was declared extern "C" in ace.h and keeps that linkage.

// --- Structure --------------------------------------------------------------------------------

UNSIGNED32 AdsGetTableType(ADSHANDLE hTable, UNSIGNED16* pusType) {
    if (!pusType) return missing("the table type");
    return withTable(hTable, [&](TableHandle&) {
        *pusType = ADS_ADT;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetTableOpenOptions(ADSHANDLE hTable, UNSIGNED32* pulOptions) {
    if (!pulOptions) return missing("the open options");
    return withTable(hTable, [&](TableHandle& h) {
        *pulOptions = h.options;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetRecordLength(ADSHANDLE hTable, UNSIGNED32* pulLength) {
    if (!pulLength) return missing("the record length");
    return withTable(hTable, [&](TableHandle& h) {
        *pulLength = h.table->schema().recordLength;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetNumFields(ADSHANDLE hTable, UNSIGNED16* pusCount) {
    if (!pusCount) return missing("the field count");
    return withTable(hTable, [&](TableHandle& h) {
        *pusCount = static_cast<UNSIGNED16>(h.table->schema().fields.size());
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetFieldName(ADSHANDLE hTable, UNSIGNED16 usFld, UNSIGNED8* pucName,
                           UNSIGNED16* pusLen) {
    return withTable(hTable, [&](TableHandle& h) {
        size_t field;
        if (UNSIGNED32 rc = fieldOf(h, ADSFIELD(usFld), field)) return rc;
        return copyOut(h.table->schema().fields[field].name, pucName, pusLen, "the field name");
    });
}

namespace {

// One attribute of a field named by name or number.
template <class Out, class Member>
UNSIGNED32 fieldAttribute(ADSHANDLE hTable, UNSIGNED8* pucFldName, Out* out, const char* what,
                          Member member) {
    if (!out) return missing(what);
    return withTable(hTable, [&](TableHandle& h) {
        size_t field;
        if (UNSIGNED32 rc = fieldOf(h, pucFldName, field)) return rc;
        *out = static_cast<Out>(h.table->schema().fields[field].*member);
        return AE_SUCCESS;
    });
}

}  // namespace

UNSIGNED32 AdsGetFieldOffset(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED32* pulOffset) {
    return fieldAttribute(hTable, pucFldName, pulOffset, "the field offset", &FieldDef::offset);
}

UNSIGNED32 AdsGetFieldLength(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED32* pulLength) {
    return fieldAttribute(hTable, pucFldName, pulLength, "the field length", &FieldDef::length);
}

UNSIGNED32 AdsGetFieldType(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED16* pusType) {
    return fieldAttribute(hTable, pucFldName, pusType, "the field type", &FieldDef::type);
}

UNSIGNED32 AdsGetFieldDecimals(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED16* pusDecimals) {
    return fieldAttribute(hTable, pucFldName, pusDecimals, "the field decimals",
                          &FieldDef::decimals);
}

UNSIGNED32 AdsGetNullRecord(ADSHANDLE hTable, void* pvBuf, UNSIGNED32* pulLen) {
    return withTable(hTable, [&](TableHandle& h) {
        std::vector<uint8_t> blank(h.table->schema().recordLength);
        cursor::blank(h.table->schema(), blank.data());
        return copyOut(blank.data(), blank.size(), Copy::Bytes, pvBuf, pulLen, "the blank record");
    });
}
