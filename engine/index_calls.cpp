// The call surface for index tags: create, delete, open, and their attributes.

#include <mutex>

#include "engine/ace.h"
#include "engine/call_helpers.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/open_tables.h"
#include "engine/paths.h"

using namespace engine;
using namespace engine::calls;

namespace {

ADSHANDLE indexHandleFor(const std::shared_ptr<TableHandle>& table, const IndexDef& index) {
    std::string key = index.name;
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto it = table->indexHandles.find(key);
    if (it != table->indexHandles.end() && HandleRegistry::instance().find(it->second))
        return it->second;
    auto handle = std::make_shared<IndexHandle>();
    handle->owner = table;
    handle->tag = index.name;
    ADSHANDLE id = HandleRegistry::instance().add(handle);
    table->indexHandles[key] = id;
    return id;
}

}  // namespace

// Every function below was declared extern "C" in ace.h and keeps that linkage.

// --- Indexes ----------------------------------------------------------------------------------

UNSIGNED32 AdsCreateIndex61(ADSHANDLE hTable, UNSIGNED8* /*pucFileName*/, UNSIGNED8* pucTag,
                            UNSIGNED8* pucExpr, UNSIGNED8* pucCondition, UNSIGNED8* pucWhile,
                            UNSIGNED32 ulOptions, UNSIGNED32 /*ulPageSize*/, ADSHANDLE* phIndex) {
    Target target;
    if (UNSIGNED32 rc = findTarget(hTable, target)) return rc;
    TableHandle& h = *target.table;
    std::lock_guard lock(h.table->mutex());
    if (UNSIGNED32 rc = writer::ensureWritable(h)) return rc;
    std::string tag = textOf(pucTag);
    const std::string& file = h.table->file();
    if (tag.empty())
        return fail(AE_INVALID_ARGUMENT,
                    "No tag name given for the new index of the table " + file + ".");
    if (tag.size() > 128)
        return fail(AE_INVALID_ARGUMENT, "The tag name " + tag + " is longer than 128 characters.");
    if (!textOf(pucCondition).empty() || !textOf(pucWhile).empty())
        return fail(AE_NOT_SUPPORTED, "Index conditions are not supported (index tag " + tag +
                                          " of the table " + file + ").");
    if (ulOptions & ADS_CUSTOM)
        return fail(AE_NOT_SUPPORTED, "Custom indexes are not supported (index tag " + tag +
                                          " of the table " + file + ").");
    const Schema& schema = h.table->schema();
    if (schema.indexByName(tag) >= 0)
        return fail(AE_ALREADY_EXISTS,
                    "The table " + file + " has an index tag " + tag + " already.");
    IndexDef index;
    index.name = tag;
    index.unique = ulOptions & ADS_UNIQUE;
    index.descending = ulOptions & ADS_DESCENDING;
    std::string expr = textOf(pucExpr);
    size_t start = 0;
    while (start <= expr.size()) {
        size_t end = expr.find_first_of(";+", start);
        std::string part =
            expr.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t b = part.find_first_not_of(" \t"), e = part.find_last_not_of(" \t");
        part = b == std::string::npos ? "" : part.substr(b, e - b + 1);
        if (part.empty())
            return fail(AE_INVALID_ARGUMENT, "The key of index tag " + tag + " (\"" + expr +
                                                 "\") names no field in every part.");
        int field = schema.fieldByName(part);
        if (field < 0)
            return fail(AE_COLUMN_NOT_FOUND,
                        "Column \"" + part + "\" is not a field of the table " + file + ".");
        if (schema.fields[static_cast<size_t>(field)].isBlob())
            return fail(AE_COLUMN_WRONG_TYPE,
                        "Column \"" + part + "\" is a memo or binary field and cannot be indexed.");
        index.segments.push_back(static_cast<size_t>(field));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (rawKeyLength(schema, index) > ADS_MAX_KEY_LENGTH)
        return fail(AE_INVALID_ARGUMENT, "The key of index tag " + tag + " is longer than " +
                                             std::to_string(ADS_MAX_KEY_LENGTH) + " bytes.");
    if (UNSIGNED32 rc = h.table->addIndex(index)) return rc;
    if (phIndex) *phIndex = indexHandleFor(target.table, index);
    return AE_SUCCESS;
}

UNSIGNED32 AdsDeleteIndex(ADSHANDLE hIndex) {
    Target target;
    if (UNSIGNED32 rc = findTarget(hIndex, target, true)) return rc;
    TableHandle& h = *target.table;
    std::lock_guard lock(h.table->mutex());
    if (UNSIGNED32 rc = writer::ensureWritable(h)) return rc;
    size_t position;
    if (UNSIGNED32 rc = target.index->resolve(position)) return rc;
    if (UNSIGNED32 rc = h.table->dropIndex(position)) return rc;
    h.dropWindow();
    for (auto it = h.indexHandles.begin(); it != h.indexHandles.end(); ++it)
        if (it->second == hIndex) {
            h.indexHandles.erase(it);
            break;
        }
    HandleRegistry::instance().remove(hIndex);
    return AE_SUCCESS;
}

UNSIGNED32 AdsOpenIndex(ADSHANDLE hTable, UNSIGNED8* pucName, ADSHANDLE[], UNSIGNED16*) {
    return withTable(hTable, [&](TableHandle& h) {
        return fail(AE_NOT_SUPPORTED, "Index files are not supported (" + textOf(pucName) +
                                          "): the index tags live in the table " + h.table->file() +
                                          ".");
    });
}

UNSIGNED32 AdsCloseIndex(ADSHANDLE hIndex) {
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle&) {
        return fail(
            AE_INVALID_INDEX_KIND,
            "The index tag " + index.tag + " lives in its table and cannot be closed on its own.");
    });
}

UNSIGNED32 AdsGetAllIndexes(ADSHANDLE hTable, ADSHANDLE ahIndex[], UNSIGNED16* pusArrayLen) {
    if (!pusArrayLen) return missing("the index count");
    Target target;
    if (UNSIGNED32 rc = findTarget(hTable, target)) return rc;
    std::lock_guard lock(target.table->table->mutex());
    const Schema& schema = target.table->table->schema();
    UNSIGNED16 capacity = ahIndex ? *pusArrayLen : 0;
    UNSIGNED16 n = 0;
    for (const IndexDef& index : schema.indexes) {
        if (n >= capacity) break;
        ahIndex[n++] = indexHandleFor(target.table, index);
    }
    *pusArrayLen = ahIndex ? n : static_cast<UNSIGNED16>(schema.indexes.size());
    return AE_SUCCESS;
}

UNSIGNED32 AdsGetIndexHandle(ADSHANDLE hTable, UNSIGNED8* pucIndexOrder, ADSHANDLE* phIndex) {
    if (!phIndex) return missing("the index handle");
    Target target;
    if (UNSIGNED32 rc = findTarget(hTable, target)) return rc;
    std::lock_guard lock(target.table->table->mutex());
    const Schema& schema = target.table->table->schema();
    std::string name = textOf(pucIndexOrder);
    int found = schema.indexByName(name);
    if (found < 0)
        return fail(AE_INDEX_NOT_FOUND, "The table " + target.table->table->file() +
                                            " has no index tag \"" + name + "\".");
    *phIndex = indexHandleFor(target.table, schema.indexes[static_cast<size_t>(found)]);
    return AE_SUCCESS;
}

UNSIGNED32 AdsGetIndexName(ADSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle&) {
        return copyOut(index.def().name, pucName, pusLen, "the index name");
    });
}

UNSIGNED32 AdsGetIndexFilename(ADSHANDLE hIndex, UNSIGNED16 usOption, UNSIGNED8* pucName,
                               UNSIGNED16* pusLen) {
    return withIndex(hIndex, [&](IndexHandle&, TableHandle& h) {
        const std::string& file = h.table->file();
        std::string name = paths::fileName(file);
        if (usOption == 1) name = name.substr(0, name.rfind('.'));
        if (usOption != 1 && usOption != 2) name = file;
        return copyOut(name, pucName, pusLen, "the index file name");
    });
}

UNSIGNED32 AdsGetNumSegments(ADSHANDLE hIndex, UNSIGNED16* pusSegments) {
    if (!pusSegments) return missing("the segment count");
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle&) {
        *pusSegments = static_cast<UNSIGNED16>(index.def().segments.size());
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetSegmentFieldname(ADSHANDLE hIndex, UNSIGNED16 usSegment, UNSIGNED8* pucName,
                                  UNSIGNED16* pusLen) {
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle& h) {
        const IndexDef& def = index.def();
        if (usSegment >= def.segments.size())
            return fail(AE_INVALID_ARGUMENT, "The index tag " + def.name + " has " +
                                                 std::to_string(def.segments.size()) +
                                                 " segments; there is no segment " +
                                                 std::to_string(usSegment) + ".");
        return copyOut(h.table->schema().fields[def.segments[usSegment]].name, pucName, pusLen,
                       "the segment field name");
    });
}

UNSIGNED32 AdsIsIndexUnique(ADSHANDLE hIndex, UNSIGNED16* pbUnique) {
    if (!pbUnique) return missing("the unique flag");
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle&) {
        *pbUnique = index.def().unique;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsIsIndexDescending(ADSHANDLE hIndex, UNSIGNED16* pbDescending) {
    if (!pbDescending) return missing("the descending flag");
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle&) {
        *pbDescending = index.def().descending;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsIsIndexCustom(ADSHANDLE hIndex, UNSIGNED16* pbCustom) {
    if (!pbCustom) return missing("the custom flag");
    return withIndex(hIndex, [&](IndexHandle&, TableHandle&) {
        *pbCustom = 0;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetIndexFlags(ADSHANDLE hIndex, UNSIGNED32* pulFlags) {
    if (!pulFlags) return missing("the index flags");
    return withIndex(hIndex, [&](IndexHandle& index, TableHandle&) {
        const IndexDef& def = index.def();
        *pulFlags = (def.unique ? ADS_UNIQUE : 0u) | (def.descending ? ADS_DESCENDING : 0u) |
                    (def.segments.size() > 1 ? ADS_COMPOUND : 0u);
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetIndexCondition(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen) {
    return withIndex(hIndex, [&](IndexHandle&, TableHandle&) {
        return copyOut("", pucExpr, pusLen, "the index condition");
    });
}

UNSIGNED32 AdsGetIndexPageSize(ADSHANDLE hIndex, UNSIGNED32* pulPageSize) {
    if (!pulPageSize) return missing("the page size");
    return withIndex(hIndex, [&](IndexHandle&, TableHandle& h) {
        *pulPageSize = h.table->pageSize();
        return AE_SUCCESS;
    });
}
