// The call surface for tables, indexes, navigation, keys, scopes and records.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "engine/ace.h"
#include "engine/connection.h"
#include "engine/encryption.h"
#include "engine/handles.h"
#include "engine/last_error.h"
#include "engine/open_tables.h"
#include "engine/paths.h"
#include "engine/statement.h"
#include "engine/transaction.h"

using namespace engine;

namespace {

// Table handles by the connection they were opened on.
std::mutex& openTablesMutex() {
    static std::mutex m;
    return m;
}
std::multimap<ADSHANDLE, ADSHANDLE>& openTables() {
    static std::multimap<ADSHANDLE, ADSHANDLE> tables;
    return tables;
}
void forgetTable(ADSHANDLE connection, ADSHANDLE table) {
    std::lock_guard lock(openTablesMutex());
    auto [from, to] = openTables().equal_range(connection);
    for (auto it = from; it != to; ++it)
        if (it->second == table) {
            openTables().erase(it);
            return;
        }
}

std::string textOf(const UNSIGNED8* p) {
    return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
}

UNSIGNED32 missing(const char* what) {
    return fail(AE_INVALID_ARGUMENT, std::string("No place given for ") + what + ".");
}

UNSIGNED32 copyBytes(const void* data, size_t size, void* buffer, UNSIGNED32* len,
                     const char* what) {
    if (!len)
        return fail(AE_INVALID_ARGUMENT, std::string("No buffer length given for ") + what + ".");
    if (!buffer || *len < size) {
        *len = static_cast<UNSIGNED32>(size);
        return fail(AE_BUFFER_TOO_SMALL, std::string("The buffer for ") + what + " is too small; " +
                                             std::to_string(size) + " bytes are needed.");
    }
    if (size) std::memcpy(buffer, data, size);
    *len = static_cast<UNSIGNED32>(size);
    return AE_SUCCESS;
}

UNSIGNED32 fieldOf(const TableHandle& h, const UNSIGNED8* name, size_t& out) {
    const Schema& schema = h.table->schema();
    auto number = reinterpret_cast<uintptr_t>(name);
    if (number <= ADS_MAX_FIELD_NUMBER) {
        if (number == 0 || number > schema.fields.size())
            return fail(AE_COLUMN_NOT_FOUND, "Column \"" + std::to_string(number) +
                                                 "\" is not a field of the table " +
                                                 h.table->file() + "; it has " +
                                                 std::to_string(schema.fields.size()) + " fields.");
        out = number - 1;
        return AE_SUCCESS;
    }
    std::string text = textOf(name);
    int found = schema.fieldByName(text);
    if (found < 0)
        return fail(AE_COLUMN_NOT_FOUND,
                    "Column \"" + text + "\" is not a field of the table " + h.table->file() + ".");
    out = static_cast<size_t>(found);
    return AE_SUCCESS;
}

// Runs f under the table's lock with the handle found.
template <class F>
UNSIGNED32 withTarget(ADSHANDLE handle, bool indexOnly, F&& f) {
    Target target;
    if (UNSIGNED32 rc = findTarget(handle, target, indexOnly)) return rc;
    std::lock_guard lock(target.table->table->mutex());
    if (UNSIGNED32 rc = transaction::joinOpen(*target.table)) return rc;
    return f(target);
}

template <class F>
UNSIGNED32 withTable(ADSHANDLE handle, F&& f) {
    return withTarget(handle, false, [&](Target& t) { return f(*t.table); });
}

template <class F>
UNSIGNED32 withIndex(ADSHANDLE handle, F&& f) {
    return withTarget(handle, true, [&](Target& t) { return f(*t.index, *t.table); });
}

template <class F>
UNSIGNED32 navigate(ADSHANDLE handle, F&& f) {
    return withTarget(handle, false, [&](Target& t) {
        Nav nav;
        if (UNSIGNED32 rc = navFor(t, nav)) return rc;
        return f(*t.table, nav);
    });
}

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

UNSIGNED32 openHandle(const std::shared_ptr<Connection>& connection, const std::string& file,
                      UNSIGNED16 charType, UNSIGNED16 lockType, UNSIGNED16 rights,
                      UNSIGNED32 options, const std::string& alias, ADSHANDLE* phTable) {
    if (charType != ADS_ANSI && charType != ADS_OEM && charType != 0)
        return fail(AE_INVALID_ARGUMENT, "The character type " + std::to_string(charType) +
                                             " is not ANSI (1) or OEM (2).");
    std::shared_ptr<Table> table;
    if (UNSIGNED32 rc = Table::open(file, table)) return rc;
    auto handle = std::make_shared<TableHandle>();
    handle->table = table;
    handle->connection = connection->handle();
    handle->alias = alias;
    handle->options = options & (ADS_EXCLUSIVE | ADS_READONLY);
    handle->charType = charType == ADS_OEM ? ADS_OEM : ADS_ANSI;
    handle->page = charType == ADS_OEM ? image::CodePage::Oem850 : image::CodePage::Ansi1252;
    handle->lockType = lockType;
    handle->rights = rights;
    std::lock_guard lock(table->mutex());
    if (UNSIGNED32 rc = handle->locks.open(table->file());
        rc &&
        ((!handle->readOnly() && table->notWritableBecause().empty()) || handle->locks.unsafe()))
        return rc;
    if (handle->exclusive()) {
        if (!handle->locks.lockTableExclusive())
            return fail(AE_LOCKED, "The table " + table->file() +
                                       " is open elsewhere; it cannot be opened exclusively.");
    } else if (!handle->locks.lockTableShared()) {
        return fail(AE_LOCKED, "The table " + table->file() +
                                   " is opened exclusively by another user or handle.");
    }
    Target target{handle, nullptr};
    Nav nav;
    navFor(target, nav);
    if (UNSIGNED32 rc = cursor::gotoTop(*handle, nav)) return rc;
    *phTable = HandleRegistry::instance().add(handle);
    std::lock_guard tablesLock(openTablesMutex());
    openTables().emplace(handle->connection, *phTable);
    return AE_SUCCESS;
}

UNSIGNED32 checkTableType(UNSIGNED16 type, const std::string& name) {
    if (type == ADS_ADT || type == ADS_DEFAULT) return AE_SUCCESS;
    return fail(AE_NOT_SUPPORTED, "The table " + name + " cannot be used as table type " +
                                      std::to_string(type) +
                                      "; only ADT tables (type 3) are supported.");
}

void closeIndexHandles(TableHandle& h) {
    for (auto& [name, id] : h.indexHandles) HandleRegistry::instance().remove(id);
    h.indexHandles.clear();
}

}  // namespace

// Every function below was declared extern "C" in ace.h and keeps that linkage.

// --- Tables ---------------------------------------------------------------------------------

UNSIGNED32 AdsCreateTable(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucAlias,
                          UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                          UNSIGNED16 usCheckRights, UNSIGNED16 /*usMemoSize*/, UNSIGNED8* pucFields,
                          ADSHANDLE* phTable) {
    if (!phTable) return missing("the table handle");
    auto connection = connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    std::string name = textOf(pucName);
    if (name.empty()) return fail(AE_INVALID_ARGUMENT, "No name given for the new table.");
    if (UNSIGNED32 rc = checkTableType(usTableType, name)) return rc;
    std::string file = paths::resolve(
        paths::withTableExtension(paths::join(connection->folder(), paths::normalise(name))));
    std::vector<FieldDef> fields;
    if (UNSIGNED32 rc = parseFieldList(textOf(pucFields), file, fields)) return rc;
    std::shared_ptr<Table> table;
    if (UNSIGNED32 rc = Table::create(file, fields, table)) return rc;
    return openHandle(connection, file, usCharType, usLockType, usCheckRights, 0, textOf(pucAlias),
                      phTable);
}

UNSIGNED32 AdsOpenTable(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucAlias,
                        UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                        UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions, ADSHANDLE* phTable) {
    if (!phTable) return missing("the table handle");
    auto connection = connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    std::string name = textOf(pucName);
    if (UNSIGNED32 rc = checkTableType(usTableType, name)) return rc;
    std::string file;
    if (UNSIGNED32 rc = connection->resolveTable(name, file)) return rc;
    return openHandle(connection, file, usCharType, usLockType, usCheckRights, ulOptions,
                      textOf(pucAlias), phTable);
}

UNSIGNED32 AdsCloseTable(ADSHANDLE hTable) {
    auto handle = HandleRegistry::instance().findAs<TableHandle>(hTable);
    if (!handle)
        return fail(AE_INVALID_HANDLE,
                    "Handle " + std::to_string(hTable) + " is not a live table handle.");
    {
        std::lock_guard lock(handle->table->mutex());
        if (UNSIGNED32 rc = writer::settle(*handle)) return rc;
        closeIndexHandles(*handle);
    }
    forgetTable(handle->connection, hTable);
    HandleRegistry::instance().remove(hTable);
    return AE_SUCCESS;
}

namespace engine {

void closeTablesOf(ADSHANDLE connection) {
    std::vector<ADSHANDLE> tables;
    {
        std::lock_guard lock(openTablesMutex());
        auto [from, to] = openTables().equal_range(connection);
        for (auto it = from; it != to; ++it) tables.push_back(it->second);
        openTables().erase(from, to);
    }
    for (ADSHANDLE id : tables) {
        auto handle = HandleRegistry::instance().findAs<TableHandle>(id);
        if (!handle) continue;
        {
            std::lock_guard lock(handle->table->mutex());
            handle->pending = PendingKind::None;
            closeIndexHandles(*handle);
        }
        HandleRegistry::instance().remove(id);
    }
}

}  // namespace engine

UNSIGNED32 AdsDeleteTable(ADSHANDLE hConnect, UNSIGNED8* pucName) {
    auto connection = connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    std::string file;
    if (UNSIGNED32 rc = connection->resolveTable(textOf(pucName), file)) return rc;
    if (!paths::fileExists(file))
        return fail(AE_FILE_NOT_FOUND, "The table " + file + " does not exist.");
    if (Table::isOpen(file))
        return fail(AE_LOCKED, "The table " + file + " is open; close it before deleting it.");
    LockFile probe;
    if (probe.open(file) == AE_SUCCESS && !probe.lockTableExclusive())
        return fail(AE_LOCKED, "The table " + file + " is open elsewhere; it cannot be deleted.");
    // The table file first: a companion left without it is removed when the name is used again,
    // while a table file left without its companion would be damaged.
    std::vector<std::string> parts;
    for (const char* suffix : {"", "-wal", "-shm"}) parts.push_back(file + suffix);
    for (const std::string& part : encryption::companionFiles(file)) parts.push_back(part);
    for (const std::string& part : parts) {
        if (::unlink(part.c_str()) != 0 && errno != ENOENT)
            return fail(AE_IO_ERROR,
                        "Could not delete " + part + ": " + std::strerror(errno) + ".");
    }
    ::unlink(lockFileOf(file).c_str());
    return AE_SUCCESS;
}

UNSIGNED32 AdsCacheOpenTables(UNSIGNED16) {
    return AE_SUCCESS;
}
UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16) {
    return AE_SUCCESS;
}

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
        return copyBytes(blank.data(), blank.size(), pvBuf, pulLen, "the blank record");
    });
}

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

// --- Navigation -------------------------------------------------------------------------------

UNSIGNED32 AdsGotoTop(ADSHANDLE hObj) {
    return navigate(hObj, [](TableHandle& h, Nav& nav) {
        if (UNSIGNED32 rc = writer::settle(h)) return rc;
        return cursor::gotoTop(h, nav);
    });
}

UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj) {
    return navigate(hObj, [](TableHandle& h, Nav& nav) {
        if (UNSIGNED32 rc = writer::settle(h)) return rc;
        return cursor::gotoBottom(h, nav);
    });
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
        *pbEof = h.pending == PendingKind::Append ? 0 : h.eof;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsAtBOF(ADSHANDLE hObj, UNSIGNED16* pbBof) {
    if (!pbBof) return missing("the start flag");
    return withTable(hObj, [&](TableHandle& h) {
        *pbBof = h.pending == PendingKind::Append ? 0 : h.bof;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetRecord(ADSHANDLE hObj, UNSIGNED8* pucRec, UNSIGNED32* pulLen) {
    return withTable(hObj, [&](TableHandle& h) {
        const UNSIGNED32 length = h.table->schema().recordLength;
        if (!pulLen) return missing("the record length");
        if (!pucRec || *pulLen < length)
            return copyBytes(nullptr, length, nullptr, pulLen, "the record");
        if (h.pending == PendingKind::None)
            if (UNSIGNED32 rc = cursor::refresh(h, false)) return rc;
        writer::currentImage(h, pucRec);
        *pulLen = length;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 /*usFilterOption*/, UNSIGNED32* pulRecNum) {
    if (!pulRecNum) return missing("the record number");
    return withTable(hObj, [&](TableHandle& h) {
        *pulRecNum =
            h.pending == PendingKind::Append || !h.onRow() ? 0 : static_cast<UNSIGNED32>(h.rowid);
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGotoRecord(ADSHANDLE hObj, UNSIGNED32 ulRec) {
    return withTable(hObj, [&](TableHandle& h) {
        // Going to the record being edited keeps its pending change (a post tried again).
        if (h.pending == PendingKind::Edit && h.onRow() && h.rowid == ulRec) return AE_SUCCESS;
        if (UNSIGNED32 rc = writer::settle(h)) return rc;
        return cursor::gotoRecord(h, ulRec);
    });
}

UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark) {
    if (!phBookmark) return missing("the bookmark");
    return withTable(hObj, [&](TableHandle& h) {
        *phBookmark =
            h.onRow() && h.pending != PendingKind::Append ? static_cast<ADSHANDLE>(h.rowid) : 0;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength) {
    return withTable(hObj, [&](TableHandle& h) {
        UNSIGNED32 record =
            h.onRow() && h.pending != PendingKind::Append ? static_cast<UNSIGNED32>(h.rowid) : 0;
        return copyBytes(&record, sizeof record, pucBookmark, pulLength, "the bookmark");
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
        if (h.pending == PendingKind::Append)
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
        UNSIGNED32 rc = copyBytes(key.data(), key.size(), pucKey, &len, "the key");
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

// --- Filters ------------------------------------------------------------------------------------

UNSIGNED32 AdsSetAOF(ADSHANDLE hTable, UNSIGNED8*, UNSIGNED16) {
    return withTable(hTable, [](TableHandle&) {
        return fail(AE_NOT_SUPPORTED, "Filters are not supported yet.");
    });
}
UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8*, UNSIGNED16*) {
    return withTable(hTable, [](TableHandle&) {
        return fail(AE_NOT_SUPPORTED, "Filters are not supported yet.");
    });
}
UNSIGNED32 AdsSetFilter(ADSHANDLE hTable, UNSIGNED8*) {
    return withTable(hTable, [](TableHandle&) {
        return fail(AE_NOT_SUPPORTED, "Filters are not supported yet.");
    });
}
UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8*, UNSIGNED16*) {
    return withTable(hTable, [](TableHandle&) {
        return fail(AE_NOT_SUPPORTED, "Filters are not supported yet.");
    });
}
UNSIGNED32 AdsClearAOF(ADSHANDLE hTable) {
    return withTable(hTable, [](TableHandle& h) {
        return fail(AE_NO_FILTER, "No filter is set on the table " + h.table->file() + ".");
    });
}
UNSIGNED32 AdsClearFilter(ADSHANDLE hTable) {
    return withTable(hTable, [](TableHandle& h) {
        return fail(AE_NO_FILTER, "No filter is set on the table " + h.table->file() + ".");
    });
}

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
    if (h.pending == PendingKind::Append || (h.pending == PendingKind::Edit && h.changed[field])) {
        out = h.values[field];
        return AE_SUCCESS;
    }
    if (!h.onRow()) return AE_SUCCESS;
    const FieldDef& f = h.table->schema().fields[field];
    if (!f.isBlob() && !f.isText() && h.imageVersion == h.table->counter().value())
        return image::read(f, h.image.data() + f.offset, f.length, h.page, out);
    sqlite3_stmt* stmt =
        h.table->statement("SELECT " + f.column() + " FROM \"main\".\"records\" WHERE rowid=?");
    if (!stmt) return lastError().code;
    sqlite3_bind_int64(stmt, 1, h.rowid);
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) out = image::columnValue(stmt, 0);
    sqlite3_reset(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return h.table->sqlFailure("read");
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
        if (f.type == ADS_BINARY || f.type == ADS_IMAGE || f.type == ADS_RAW)
            return copyBytes(text.data(), text.size(), pucBuf, pulLen, "the field value");
        return copyOut32(text, pucBuf, pulLen, "the field value");
    });
}

UNSIGNED32 AdsIsEmpty(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty) {
    if (!pbEmpty) return missing("the empty flag");
    return withTable(hObj, [&](TableHandle& h) {
        size_t field;
        if (UNSIGNED32 rc = fieldOf(h, pucFldName, field)) return rc;
        const FieldDef& f = h.table->schema().fields[field];
        bool pendingValue = h.pending == PendingKind::Append ||
                            (h.pending == PendingKind::Edit && h.changed[field]);
        if (!pendingValue && h.onRow() && f.isBlob()) {
            if (UNSIGNED32 rc = cursor::refresh(h, false)) return rc;
            uint32_t flag;
            std::memcpy(&flag, h.image.data() + f.offset, sizeof flag);
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
        if (h.pending == PendingKind::Append) writer::cancel(h);
        if (!h.onRow())
            return fail(
                AE_NO_CURRENT_RECORD,
                "There is no current record to refresh in the table " + h.table->file() + ".");
        if (h.pending != PendingKind::None) writer::cancel(h);
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

UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return withTable(hTable, [&](TableHandle& h) {
        int64_t record = ulRec ? ulRec : (h.onRow() ? h.rowid : 0);
        if (record == 0)
            return fail(AE_NO_CURRENT_RECORD,
                        "There is no current record to lock in the table " + h.table->file() + ".");
        return writer::lock(h, static_cast<uint32_t>(record));
    });
}

UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return withTable(hTable, [&](TableHandle& h) { return writer::unlock(h, ulRec); });
}

namespace {
template <class F>
UNSIGNED32 blobField(ADSHANDLE hTable, UNSIGNED8* pucFldName, F&& f) {
    return withTable(hTable, [&](TableHandle& h) {
        size_t field;
        if (UNSIGNED32 rc = fieldOf(h, pucFldName, field)) return rc;
        const FieldDef& def = h.table->schema().fields[field];
        if (!def.isBlob())
            return fail(AE_COLUMN_WRONG_TYPE, "Column \"" + def.name + "\" is a " +
                                                  typeName(def.type) +
                                                  " field, not a memo or binary field.");
        Value value;
        if (UNSIGNED32 rc = currentValue(h, field, value)) return rc;
        return f(def, value);
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
        if (UNSIGNED32 rc = fieldOf(h, pucFldName, field)) return rc;
        const FieldDef& def = h.table->schema().fields[field];
        if (!def.isBlob())
            return fail(AE_COLUMN_WRONG_TYPE, "Column \"" + def.name + "\" is a " +
                                                  typeName(def.type) +
                                                  " field, not a memo or binary field.");
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
            h.bof = h.eof = true;
            h.rowid = 0;
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
