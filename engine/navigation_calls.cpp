// The call surface for navigation: moves, positions, bookmarks and counts.

#include <cstring>

#include "engine/ace.h"
#include "engine/call_helpers.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/statement.h"

using namespace engine;
using namespace engine::calls;

// Every function below was declared extern "C" in ace.h and keeps that linkage.

// --- Navigation -------------------------------------------------------------------------------

namespace {
// A move to either end settles the pending change and places a handle not placed yet itself.
UNSIGNED32 gotoEnd(ADSHANDLE hObj, bool top) {
    return navigate(
        hObj,
        [top](TableHandle& h, Nav& nav) {
            if (UNSIGNED32 rc = writer::settle(h)) return rc;
            return top ? cursor::gotoTop(h, nav) : cursor::gotoBottom(h, nav);
        },
        Placement::ByTheCall);
}
}  // namespace

UNSIGNED32 AdsGotoTop(ADSHANDLE hObj) {
    return gotoEnd(hObj, true);
}

UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj) {
    return gotoEnd(hObj, false);
}

UNSIGNED32 AdsSkip(ADSHANDLE hObj, SIGNED32 lRecs) {
    return navigate(hObj, [&](TableHandle& h, Nav& nav) {
        if (UNSIGNED32 rc = writer::settle(h)) return rc;
        return cursor::skip(h, nav, lRecs);
    });
}

UNSIGNED32 AdsAtEOF(ADSHANDLE hObj, UNSIGNED16* pbEof) {
    if (!pbEof) return missing("the end flag");
    return withTable(hObj, [&](TableHandle& h) {
        *pbEof = h.pending() == PendingKind::Append ? 0 : h.atEof();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsAtBOF(ADSHANDLE hObj, UNSIGNED16* pbBof) {
    if (!pbBof) return missing("the start flag");
    return withTable(hObj, [&](TableHandle& h) {
        *pbBof = h.pending() == PendingKind::Append ? 0 : h.atBof();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetRecord(ADSHANDLE hObj, UNSIGNED8* pucRec, UNSIGNED32* pulLen) {
    return withTable(hObj, [&](TableHandle& h) {
        const UNSIGNED32 length = h.table->schema().recordLength;
        if (!pulLen) return missing("the record length");
        if (!pucRec || *pulLen < length)
            return copyOut(nullptr, length, Copy::Bytes, nullptr, pulLen, "the record");
        if (h.pending() == PendingKind::None)
            if (UNSIGNED32 rc = cursor::refresh(h, false)) return rc;
        writer::currentImage(h, pucRec);
        *pulLen = length;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 /*usFilterOption*/, UNSIGNED32* pulRecNum) {
    if (!pulRecNum) return missing("the record number");
    return withTable(hObj, [&](TableHandle& h) {
        *pulRecNum = h.pending() == PendingKind::Append || !h.onRow()
                         ? 0
                         : static_cast<UNSIGNED32>(h.rowid());
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGotoRecord(ADSHANDLE hObj, UNSIGNED32 ulRec) {
    return withTable(hObj, [&](TableHandle& h) {
        // Going to the record being edited keeps its pending change (a post tried again).
        if (h.pending() == PendingKind::Edit && h.onRow() && h.rowid() == ulRec) return AE_SUCCESS;
        if (UNSIGNED32 rc = writer::settle(h)) return rc;
        return cursor::gotoRecord(h, ulRec);
    });
}

UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark) {
    if (!phBookmark) return missing("the bookmark");
    return withTable(hObj, [&](TableHandle& h) {
        *phBookmark =
            h.onRow() && h.pending() != PendingKind::Append ? static_cast<ADSHANDLE>(h.rowid()) : 0;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength) {
    return withTable(hObj, [&](TableHandle& h) {
        UNSIGNED32 record = h.onRow() && h.pending() != PendingKind::Append
                                ? static_cast<UNSIGNED32>(h.rowid())
                                : 0;
        return copyOut(&record, sizeof record, Copy::Bytes, pucBookmark, pulLength, "the bookmark");
    });
}

UNSIGNED32 AdsGetBookmarkLength(ADSHANDLE hObj, UNSIGNED32* pulLength) {
    if (!pulLength) return missing("the bookmark length");
    return withTable(hObj, [&](TableHandle&) {
        *pulLength = sizeof(UNSIGNED32);
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGotoBookmark(ADSHANDLE hObj, ADSHANDLE hBookmark) {
    return AdsGotoRecord(hObj, hBookmark);
}

UNSIGNED32 AdsCompareBookmarks(UNSIGNED8* pucBookmark1, UNSIGNED8* pucBookmark2,
                               SIGNED32* plResult) {
    if (!pucBookmark1 || !pucBookmark2 || !plResult) return missing("the bookmarks to compare");
    UNSIGNED32 a, b;
    std::memcpy(&a, pucBookmark1, sizeof a);
    std::memcpy(&b, pucBookmark2, sizeof b);
    *plResult = a < b ? -1 : a > b ? 1 : 0;
    return AE_SUCCESS;
}

UNSIGNED32 AdsGetRecordCount(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulCount) {
    if (!pulCount) return missing("the record count");
    UNSIGNED16 which = usFilterOption & 3;
    if (which == 0 || (usFilterOption & ~7u))
        return fail(AE_INVALID_ARGUMENT, "The record count option " +
                                             std::to_string(usFilterOption) +
                                             " is not 1, 2 or 3 (plus 4).");
    if (statement::isStatement(hObj))
        return fail(AE_NO_RECORD_COUNT, "An SQL statement has no record count; ask its cursor.");
    return navigate(hObj, [&](TableHandle& h, Nav& nav) {
        int64_t n = 0;
        if (UNSIGNED32 rc = cursor::count(h, nav, usFilterOption, n)) return rc;
        *pulCount = static_cast<UNSIGNED32>(n);
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetRelKeyPos(ADSHANDLE hIndex, DOUBLE* pdPos) {
    if (!pdPos) return missing("the key position");
    return navigate(hIndex, [&](TableHandle& h, Nav& nav) {
        if (h.pending() == PendingKind::Append)
            return fail(AE_NO_KEY_POSITION, "A new record of the table " + h.table->file() +
                                                " has no key position yet.");
        return cursor::relativePosition(h, nav, *pdPos);
    });
}

UNSIGNED32 AdsIsRecordVisible(ADSHANDLE hObj, UNSIGNED16* pbVisible) {
    if (!pbVisible) return missing("the visible flag");
    return navigate(hObj, [&](TableHandle& h, Nav& nav) {
        bool visible = false;
        if (UNSIGNED32 rc = cursor::visible(h, nav, visible)) return rc;
        *pbVisible = visible;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsIsRecordDeleted(ADSHANDLE hTable, UNSIGNED16* pbDeleted) {
    if (!pbDeleted) return missing("the deleted flag");
    return withTable(hTable, [&](TableHandle&) {
        *pbDeleted = 0;  // a deleted record is gone
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetDeleted(UNSIGNED16* pbShowDeleted) {
    if (!pbShowDeleted) return missing("the show-deleted flag");
    *pbShowDeleted = 0;
    return AE_SUCCESS;
}
