// The call surface for filters, the exact setting, expression conversions and evaluation, and
// the date format of expressions. The language and its translation: engine/expression.h.
#include <cstring>

#include "engine/ace.h"
#include "engine/call_helpers.h"
#include "engine/connection.h"
#include "engine/expression.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/sql_functions.h"

using namespace engine;
using namespace engine::calls;

namespace {

// Filter and expression texts answer AE_INSUFFICIENT_BUFFER when the buffer is too small, as
// callers ask for the size first (a null buffer) and then read with the size they were told.
UNSIGNED32 copyText(const std::string& text, UNSIGNED8* buffer, UNSIGNED16* len, const char* what) {
    if (!len) return missing(what);
    return copyOut(text, buffer, len, what, AE_INSUFFICIENT_BUFFER);
}

std::string dateFormatOf(const TableHandle& h) {
    auto connection = HandleRegistry::instance().findAs<Connection>(h.connection);
    return connection ? connection->dateFormat() : std::string("MM/DD/YYYY");
}

UNSIGNED32 translateFor(TableHandle& h, const std::string& text, bool exact,
                        expression::Translation& out) {
    expression::Settings settings;
    settings.exact = exact;
    settings.dateFormat = dateFormatOf(h);
    settings.page = h.page;
    settings.tableName = h.table->file();
    return h.table->translateFilter(text, settings, out);
}

UNSIGNED32 setFilter(TableHandle& h, const UNSIGNED8* text, std::optional<FilterSpec>& slot) {
    if (!text) return missing("the filter expression");
    FilterSpec spec;
    spec.text = textOf(text);
    expression::Translation t;
    if (UNSIGNED32 rc = translateFor(h, spec.text, h.exact, t)) return rc;
    spec.condition = Condition{std::move(t.sql), std::move(t.values)};
    slot = std::move(spec);
    h.dropWindow();
    return AE_SUCCESS;
}

UNSIGNED32 clearFilter(TableHandle& h, std::optional<FilterSpec>& slot, const char* which) {
    if (!slot)
        return fail(AE_NO_FILTER,
                    std::string("No ") + which + " is set on the table " + h.table->file() + ".");
    slot.reset();
    h.dropWindow();
    return AE_SUCCESS;
}

UNSIGNED32 getFilter(TableHandle& h, const std::optional<FilterSpec>& slot, const char* which,
                     UNSIGNED8* buffer, UNSIGNED16* len) {
    if (!slot)
        return fail(AE_NO_FILTER,
                    std::string("No ") + which + " is set on the table " + h.table->file() + ".");
    return copyText(slot->text, buffer, len, which);
}

// The stored values the expression sees: the pending change, the current row, or the blank
// record when the handle stands on no row.
UNSIGNED32 rowValues(TableHandle& h, std::vector<Value>& values, int64_t& rowid) {
    const size_t fields = h.table->schema().fields.size();
    values.clear();
    rowid = 0;
    if (h.pending() != PendingKind::None) {
        values = h.pendingValues();
        if (h.pending() == PendingKind::Edit) rowid = h.rowid();
    } else if (h.onRow() && !h.hidesRows()) {
        bool found = false;
        if (UNSIGNED32 rc = h.table->readValues(h.rowid(), values, found)) return rc;
        if (found) rowid = h.rowid();
    }
    if (values.size() != fields) values.assign(fields, Value{});
    return AE_SUCCESS;
}

UNSIGNED32 evaluate(TableHandle& h, const std::string& text, bool& result) {
    expression::Translation t;
    if (UNSIGNED32 rc = translateFor(h, text, h.exact, t)) return rc;
    std::vector<Value> values;
    int64_t rowid = 0;
    if (UNSIGNED32 rc = rowValues(h, values, rowid)) return rc;
    return h.table->evaluate(t.sql, rowid, values, t.values, result);
}

UNSIGNED32 convertExpression(ADSHANDLE hTable, UNSIGNED8* in, UNSIGNED8* out, UNSIGNED16* len) {
    if (!in) return missing("the expression");
    return withTable(hTable, [&](TableHandle&) {
        // ADT tables keep their long field names: the expression stands as it is.
        return copyText(textOf(in), out, len, "the expression");
    });
}

}  // namespace

// Every function below was declared extern "C" in ace.h and keeps that linkage.

UNSIGNED32 AdsSetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16 usOptions) {
    if (usOptions > ADS_RESOLVE_DYNAMIC)
        return fail(AE_NOT_SUPPORTED, "The filter option " + std::to_string(usOptions) +
                                          " is not offered; use 1 (resolve at once) or 2 "
                                          "(resolve as the cursor moves).");
    return withTable(hTable, [&](TableHandle& h) { return setFilter(h, pucFilter, h.aof); });
}

UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
    return withTable(hTable, [&](TableHandle& h) {
        return getFilter(h, h.aof, "optimised filter", pucFilter, pusLen);
    });
}

UNSIGNED32 AdsClearAOF(ADSHANDLE hTable) {
    return withTable(hTable,
                     [&](TableHandle& h) { return clearFilter(h, h.aof, "optimised filter"); });
}

UNSIGNED32 AdsSetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter) {
    return withTable(hTable, [&](TableHandle& h) { return setFilter(h, pucFilter, h.filter); });
}

UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
    return withTable(hTable, [&](TableHandle& h) {
        return getFilter(h, h.filter, "filter", pucFilter, pusLen);
    });
}

UNSIGNED32 AdsClearFilter(ADSHANDLE hTable) {
    return withTable(hTable, [&](TableHandle& h) { return clearFilter(h, h.filter, "filter"); });
}

UNSIGNED32 AdsSetExact22(ADSHANDLE hObj, UNSIGNED16 bExact) {
    return withTable(hObj, [&](TableHandle& h) {
        const bool exact = bExact != 0;
        if (exact == h.exact) return AE_SUCCESS;
        // The filters compare as the setting says from now on: translate them again.
        std::optional<FilterSpec> aof = h.aof, filter = h.filter;
        for (std::optional<FilterSpec>* slot : {&aof, &filter}) {
            if (!*slot) continue;
            expression::Translation t;
            if (UNSIGNED32 rc = translateFor(h, (*slot)->text, exact, t)) return rc;
            (*slot)->condition = Condition{std::move(t.sql), std::move(t.values)};
        }
        h.exact = exact;
        h.aof = std::move(aof);
        h.filter = std::move(filter);
        h.dropWindow();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetExact22(ADSHANDLE hObj, UNSIGNED16* pbExact) {
    if (!pbExact) return missing("the exact setting");
    return withTable(hObj, [&](TableHandle& h) {
        *pbExact = h.exact ? 1 : 0;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsExpressionLongToShort(ADSHANDLE hTable, UNSIGNED8* pucLongExpr,
                                    UNSIGNED8* pucShortExpr, UNSIGNED16* pusBufferLen) {
    return convertExpression(hTable, pucLongExpr, pucShortExpr, pusBufferLen);
}

UNSIGNED32 AdsExpressionShortToLong(ADSHANDLE hTable, UNSIGNED8* pucShortExpr,
                                    UNSIGNED8* pucLongExpr, UNSIGNED16* pusBufferLen) {
    return convertExpression(hTable, pucShortExpr, pucLongExpr, pusBufferLen);
}

UNSIGNED32 AdsEvalLogicalExpr(ADSHANDLE hTable, UNSIGNED8* pucExpr, UNSIGNED16* pbResult) {
    if (!pucExpr) return missing("the expression");
    if (!pbResult) return missing("the result");
    return withTable(hTable, [&](TableHandle& h) {
        bool result = false;
        if (UNSIGNED32 rc = evaluate(h, textOf(pucExpr), result)) return rc;
        *pbResult = result ? 1 : 0;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsSetDateFormat60(ADSHANDLE hConnect, UNSIGNED8* pucFormat) {
    if (!pucFormat) return missing("the date format");
    auto connection = connectionFor(hConnect);
    if (!connection) return lastError().code;
    std::string format = textOf(pucFormat);
    if (!sqlfunctions::validDateFormat(format))
        return fail(AE_INVALID_ARGUMENT,
                    "The date format \"" + format +
                        "\" is not usable: it needs a day (DD), a month (MM) and a year (YY or "
                        "YYYY), each once.");
    connection->setDateFormat(std::move(format));
    return AE_SUCCESS;
}

UNSIGNED32 AdsGetDateFormat60(ADSHANDLE hConnect, UNSIGNED8* pucFormat, UNSIGNED16* pusLen) {
    auto connection = connectionFor(hConnect);
    if (!connection) return lastError().code;
    return copyOut(connection->dateFormat(), pucFormat, pusLen, "the date format");
}
