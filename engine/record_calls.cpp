// The call surface for records and fields: values, appends, writes, memos and dates.

#include <cstring>

#include "engine/ace.h"
#include "engine/call_helpers.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/open_tables.h"
#include "engine/statement.h"

using namespace engine;
using namespace engine::calls;

// Every function below was declared extern "C" in ace.h and keeps that linkage.

// --- Records and fields -------------------------------------------------------------------------

namespace {

UNSIGNED32 setKeySegment(IndexHandle& index, TableHandle& h, size_t field, const UNSIGNED8* buf,
                         UNSIGNED32 len, bool raw, bool empty) {
    const IndexDef& def = index.def();
    const FieldDef& f = h.table->schema().fields[field];
    size_t segment = def.segments.size();
    for (size_t i = 0; i < def.segments.size(); ++i)
        if (def.segments[i] == field) segment = i;
    if (segment == def.segments.size())
        return fail(
            AE_INVALID_ARGUMENT,
            "Column \"" + f.name + "\" is not a segment of the index tag " + def.name + ".");
    index.key.resize(def.segments.size());
    KeySegment& s = index.key[segment];
    s = KeySegment{};
    s.given = true;
    if (empty) {
        s.bytes.assign(f.length, '\0');
        image::writeEmpty(f, reinterpret_cast<uint8_t*>(s.bytes.data()));
        return AE_SUCCESS;
    }
    std::string_view given(
        reinterpret_cast<const char*>(buf ? buf : reinterpret_cast<const UNSIGNED8*>("")),
        buf ? len : 0);
    if (f.isText()) {
        std::string bytes =
            raw ? std::string(given) : codepage::convert(given, image::CodePage::Ansi1252, h.page);
        if (bytes.size() < f.length) s.partial = true;
        if (bytes.size() > f.length) bytes.resize(f.length);
        s.bytes = bytes;
        return AE_SUCCESS;
    }
    Value value;
    UNSIGNED32 rc = raw ? image::read(f, reinterpret_cast<const uint8_t*>(given.data()),
                                      given.size(), h.page, value)
                        : image::fromText(f, given, value);
    if (rc) return rc;
    s.bytes.assign(f.length, '\0');
    image::write(f, value, h.page, reinterpret_cast<uint8_t*>(s.bytes.data()));
    return AE_SUCCESS;
}

UNSIGNED32 setField(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32 ulLen,
                    bool raw) {
    return withTarget(hObj, false, [&](Target& t) {
        TableHandle& h = *t.table;
        size_t field;
        if (UNSIGNED32 rc = fieldOf(h, pucFldName, field)) return rc;
        if (t.index) return setKeySegment(*t.index, h, field, pucBuf, ulLen, raw, false);
        if (UNSIGNED32 rc = writer::ensureWritable(h)) return rc;
        const FieldDef& f = h.table->schema().fields[field];
        if (!pucBuf && ulLen) return missing("the field value");
        const uint8_t* bytes = pucBuf ? pucBuf : reinterpret_cast<const uint8_t*>("");
        Value value;
        UNSIGNED32 rc =
            raw && !f.isBlob()
                ? image::read(f, bytes, ulLen, h.page, value)
                : image::fromText(f, std::string_view(reinterpret_cast<const char*>(bytes), ulLen),
                                  value);
        if (rc) return rc;
        return writer::setValue(h, field, std::move(value));
    });
}

// The stored value of a field of the current record (with a pending change).
UNSIGNED32 currentValue(TableHandle& h, size_t field, Value& out) {
    out = Value{};
    if (h.pending() == PendingKind::Append ||
        (h.pending() == PendingKind::Edit && h.changedFields()[field])) {
        out = h.pendingValues()[field];
        return AE_SUCCESS;
    }
    if (!h.onRow()) return AE_SUCCESS;
    const FieldDef& f = h.table->schema().fields[field];
    if (!f.isBlob() && !f.isText() && h.imageVersion() == h.table->counter().value())
        return image::read(f, h.image().data() + f.offset, f.length, h.page, out);
    std::vector<Value> values;
    bool found = false;
    if (UNSIGNED32 rc = h.table->readColumns({f.column()}, h.rowid(), values, found)) return rc;
    if (found) out = std::move(values.front());
    return AE_SUCCESS;
}

}  // namespace

UNSIGNED32 AdsSetField(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return setField(hObj, pucFldName, pucBuf, ulLen, false);
}

UNSIGNED32 AdsSetFieldRaw(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                          UNSIGNED32 ulLen) {
    return setField(hObj, pucFldName, pucBuf, ulLen, true);
}

UNSIGNED32 AdsSetEmpty(ADSHANDLE hObj, UNSIGNED8* pucFldName) {
    if (std::shared_ptr<SqlStatement> s;
        statement::isStatement(hObj) && statement::find(hObj, s) == AE_SUCCESS)
        return statement::setParameter(*s, pucFldName, Value{});
    return withTarget(hObj, false, [&](Target& t) {
        TableHandle& h = *t.table;
        size_t field;
        if (UNSIGNED32 rc = fieldOf(h, pucFldName, field)) return rc;
        if (t.index) return setKeySegment(*t.index, h, field, nullptr, 0, true, true);
        return writer::setValue(h, field, Value{});
    });
}

UNSIGNED32 AdsGetField(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32* pulLen,
                       UNSIGNED16 /*usOption*/) {
    return withTable(hObj, [&](TableHandle& h) {
        size_t field;
        if (UNSIGNED32 rc = fieldOf(h, pucFldName, field)) return rc;
        const FieldDef& f = h.table->schema().fields[field];
        Value value;
        if (UNSIGNED32 rc = currentValue(h, field, value)) return rc;
        std::string text = image::toText(f, value);
        const bool bytes = f.type == ADS_BINARY || f.type == ADS_IMAGE || f.type == ADS_RAW;
        return copyOut(text.data(), text.size(), bytes ? Copy::Bytes : Copy::Text, pucBuf, pulLen,
                       "the field value");
    });
}

UNSIGNED32 AdsIsEmpty(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty) {
    if (!pbEmpty) return missing("the empty flag");
    return withTable(hObj, [&](TableHandle& h) {
        size_t field;
        if (UNSIGNED32 rc = fieldOf(h, pucFldName, field)) return rc;
        const FieldDef& f = h.table->schema().fields[field];
        bool pendingValue = h.pending() == PendingKind::Append ||
                            (h.pending() == PendingKind::Edit && h.changedFields()[field]);
        if (!pendingValue && h.onRow() && f.isBlob()) {
            if (UNSIGNED32 rc = cursor::refresh(h, false)) return rc;
            uint32_t flag;
            std::memcpy(&flag, h.image().data() + f.offset, sizeof flag);
            *pbEmpty = flag == 0;
            return AE_SUCCESS;
        }
        Value value;
        if (UNSIGNED32 rc = currentValue(h, field, value)) return rc;
        *pbEmpty = value.isNull();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsAppendRecord(ADSHANDLE hTable) {
    return withTable(hTable, [](TableHandle& h) { return writer::append(h); });
}

UNSIGNED32 AdsWriteRecord(ADSHANDLE hTable) {
    return withTable(hTable, [](TableHandle& h) { return writer::write(h); });
}

UNSIGNED32 AdsCancelUpdate(ADSHANDLE hTable) {
    return withTable(hTable, [](TableHandle& h) { return writer::cancel(h); });
}

UNSIGNED32 AdsDeleteRecord(ADSHANDLE hTable) {
    return withTable(hTable, [](TableHandle& h) { return writer::remove(h); });
}

UNSIGNED32 AdsRefreshRecord(ADSHANDLE hTable) {
    return withTable(hTable, [](TableHandle& h) {
        if (h.pending() == PendingKind::Append)
            if (UNSIGNED32 rc = writer::cancel(h)) return rc;
        if (!h.onRow())
            return fail(
                AE_NO_CURRENT_RECORD,
                "There is no current record to refresh in the table " + h.table->file() + ".");
        if (h.pending() != PendingKind::None)
            if (UNSIGNED32 rc = writer::cancel(h)) return rc;
        h.dropWindow();
        return cursor::refresh(h, true);
    });
}

UNSIGNED32 AdsClearRecordBuffer(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return withTable(hTable, [&](TableHandle& h) {
        const UNSIGNED32 length = h.table->schema().recordLength;
        if (!pucBuf || ulLen < length)
            return fail(AE_BUFFER_TOO_SMALL, "The buffer for the blank record is too small; " +
                                                 std::to_string(length) + " bytes are needed.");
        cursor::blank(h.table->schema(), pucBuf);
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetLastAutoinc(ADSHANDLE hObj, UNSIGNED32* pulAutoIncVal) {
    if (!pulAutoIncVal) return missing("the auto-increment value");
    if (std::shared_ptr<SqlStatement> s;
        statement::isStatement(hObj) && statement::find(hObj, s) == AE_SUCCESS) {
        *pulAutoIncVal = s->lastAutoinc;
        return AE_SUCCESS;
    }
    return withTable(hObj, [&](TableHandle& h) {
        *pulAutoIncVal = h.lastAutoinc;
        return AE_SUCCESS;
    });
}

namespace {
// The memo or binary field a call names; AE_COLUMN_WRONG_TYPE for a field of another type.
UNSIGNED32 blobFieldOf(TableHandle& h, UNSIGNED8* pucFldName, size_t& field) {
    if (UNSIGNED32 rc = fieldOf(h, pucFldName, field)) return rc;
    const FieldDef& def = h.table->schema().fields[field];
    if (!def.isBlob())
        return fail(AE_COLUMN_WRONG_TYPE, "Column \"" + def.name + "\" is a " + typeName(def.type) +
                                              " field, not a memo or binary field.");
    return AE_SUCCESS;
}

template <class F>
UNSIGNED32 blobField(ADSHANDLE hTable, UNSIGNED8* pucFldName, F&& f) {
    return withTable(hTable, [&](TableHandle& h) {
        size_t field;
        if (UNSIGNED32 rc = blobFieldOf(h, pucFldName, field)) return rc;
        Value value;
        if (UNSIGNED32 rc = currentValue(h, field, value)) return rc;
        return f(h.table->schema().fields[field], value);
    });
}
}  // namespace

UNSIGNED32 AdsGetMemoLength(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED32* pulLength) {
    if (!pulLength) return missing("the memo length");
    return blobField(hTable, pucFldName, [&](const FieldDef& def, const Value& value) {
        *pulLength = static_cast<UNSIGNED32>(image::toText(def, value).size());
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetBinaryLength(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED32* pulLength) {
    if (!pulLength) return missing("the binary length");
    return blobField(hTable, pucFldName, [&](const FieldDef& def, const Value& value) {
        *pulLength = static_cast<UNSIGNED32>(image::toText(def, value).size());
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetMemoDataType(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED16* pusType) {
    if (!pusType) return missing("the memo type");
    return withTable(hTable, [&](TableHandle& h) {
        size_t field;
        if (UNSIGNED32 rc = blobFieldOf(h, pucFldName, field)) return rc;
        const FieldDef& def = h.table->schema().fields[field];
        *pusType =
            def.type == ADS_MEMO || def.type == ADS_VARCHAR ? ADS_MEMO_TEXT : ADS_MEMO_BINARY;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsConvertStringToJulian(UNSIGNED8* pucJulian, UNSIGNED16 usLen, DOUBLE* pdJulian) {
    if (!pdJulian) return missing("the Julian day");
    std::string text(reinterpret_cast<const char*>(
                         pucJulian ? pucJulian : reinterpret_cast<const UNSIGNED8*>("")),
                     pucJulian ? usLen : 0);
    if (size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    size_t b = text.find_first_not_of(' '), e = text.find_last_not_of(' ');
    text = b == std::string::npos ? "" : text.substr(b, e - b + 1);
    if (text.empty() || text == "00000000") {
        *pdJulian = 0;
        return AE_SUCCESS;
    }
    int64_t jd;
    if (!calendar::parseDate(text, jd))
        return fail(AE_INVALID_ARGUMENT, "\"" + text + "\" is not a date CCYYMMDD.");
    *pdJulian = static_cast<double>(jd);
    return AE_SUCCESS;
}

UNSIGNED32 AdsConvertJulianToString(DOUBLE dJulian, UNSIGNED8* pucJulian, UNSIGNED16* pusLen) {
    auto jd = static_cast<int64_t>(dJulian);
    std::string text;
    if (jd != 0) {
        text = calendar::compactDate(jd);
        if (text.empty())
            return fail(AE_INVALID_ARGUMENT, "The Julian day " + std::to_string(jd) +
                                                 " lies outside 0001-01-01 .. 9999-12-31.");
    }
    return copyOut(text, pucJulian, pusLen, "the date");
}
