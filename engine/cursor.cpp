// Navigation: positions, the window of rows read ahead, seeks, counts.
#include <algorithm>
#include <cstring>

#include "engine/handles.h"
#include "engine/last_error.h"

namespace engine {

namespace {

constexpr size_t kMaxBatch = Storage::kLargestScan;
// A move to either end reads one row: most such moves (every open, a grid's first look) are
// followed by a move elsewhere, and the rows of an index order lie on scattered pages that a
// fresh connection must fault in one by one. The next read in the same order takes 16 and doubles.
constexpr size_t kFirstBatch = 1;
// Rows kept by a filter or scope are read to be walked (an employee's leave of a period, a
// download's rows): there the first read takes 128, often all of them in one statement. A read
// costs a read transaction (locks on the shared memory, a look at the file's size) and a seek,
// about as much as twenty rows; a second read for a walk of a hundred-odd rows cost a sixth of
// the walk, where the rows read beyond a first screen cost little.
constexpr size_t kFirstFilteredBatch = 128;

Value withHighByte(const Value& v) {
    Value out = v;
    out.bytes.push_back('\xFF');  // sorts after every UTF-8 text that begins with the prefix
    return out;
}

const char* nonStrict(const std::string& op) {
    return op[0] == '>' ? ">=" : "<=";
}

Condition compare(const std::vector<std::string>& exprs, const std::vector<Value>& values,
                  const std::string& op) {
    Condition c;
    size_t k = values.size();
    if (k == 1) {
        c.sql = exprs[0] + op + "?";
        c.values = values;
        return c;
    }
    std::string left = "(", right = "(";
    for (size_t i = 0; i < k; ++i) {
        left += (i ? "," : "") + exprs[i];
        right += i ? ",?" : "?";
    }
    // The row value selects; the plain comparison of the first expression lets SQLite use the
    // index.
    c.sql = left + ")" + op + right + ") AND " + exprs[0] + nonStrict(op) + "?";
    c.values = values;
    c.values.push_back(values[0]);
    return c;
}

std::vector<Value> lastRaised(const KeyValues& key) {
    std::vector<Value> v = key.values;
    v.back() = withHighByte(v.back());
    return v;
}

Condition atLeast(const std::vector<std::string>& e, const KeyValues& k) {
    return compare(e, k.values, ">=");
}
Condition atMost(const std::vector<std::string>& e, const KeyValues& k) {
    return k.lastPartial ? compare(e, lastRaised(k), "<") : compare(e, k.values, "<=");
}

uint64_t version(TableHandle& h) {
    return h.table->counter().value();
}

void reverseBatch(RowBatch& batch, size_t length) {
    std::reverse(batch.rowids.begin(), batch.rowids.end());
    size_t n = batch.size();
    for (size_t i = 0; i < n / 2; ++i)
        std::swap_ranges(batch.images.begin() + static_cast<long>(i * length),
                         batch.images.begin() + static_cast<long>((i + 1) * length),
                         batch.images.begin() + static_cast<long>((n - 1 - i) * length));
}

bool windowUsable(TableHandle& h, const Nav& nav) {
    return h.windowOrder() == nav.id && h.windowVersion() == version(h) && h.onRow() &&
           h.windowPos() < h.window().size() && h.window().rowids[h.windowPos()] == h.rowid();
}

// Whether the current row is the one whose key the last read of the window gave.
bool onWindowKeyRow(TableHandle& h, const Nav& nav) {
    return windowUsable(h, nav) && h.window().keyRowid == h.rowid() &&
           h.window().key.size() == nav.order->expressions.size();
}

// Key of the current row in the order: as the scan that read it gave it, else read exactly, or
// decoded from its image once it is gone.
UNSIGNED32 currentKey(TableHandle& h, const Nav& nav, std::vector<Value>& key) {
    if (onWindowKeyRow(h, nav)) {
        key = h.window().key;
        key.push_back(Value::ofInteger(h.rowid()));
        return AE_SUCCESS;
    }
    bool found = false;
    if (UNSIGNED32 rc = h.table->readKey(h.rowid(), *nav.order, key, found)) return rc;
    if (!found && nav.index) {
        key.clear();
        const Schema& schema = h.table->schema();
        for (size_t s : nav.index->def().segments) {
            const FieldDef& field = schema.fields[s];
            Value v;
            if (image::read(field, h.image().data() + field.offset, field.length, h.page, v) !=
                AE_SUCCESS)
                v = Value{};
            key.push_back(image::keyForm(field, v));
        }
    }
    key.push_back(Value::ofInteger(h.rowid()));
    return AE_SUCCESS;
}

UNSIGNED32 toEnd(TableHandle& h, const Nav& nav, bool top) {
    RowBatch batch = h.spareBatch();
    const uint64_t v = version(h);
    const size_t limit = nav.conditions().empty() ? kFirstBatch : kFirstFilteredBatch;
    if (UNSIGNED32 rc = h.table->scan(*nav.order, top, nullptr, nullptr, nav.conditions(), limit,
                                      h.page, batch))
        return rc;
    h.dropWindow();
    if (batch.size() == 0) {
        h.placeNowhere();
        return AE_SUCCESS;
    }
    if (!top) reverseBatch(batch, h.table->schema().recordLength);
    // The window starts (or ends) the walk, and holds all of it when fewer rows came than asked.
    batch.first = top || batch.complete;
    batch.last = !top || batch.complete;
    const size_t rows = batch.size();
    h.keepWindow(std::move(batch), nav.id, v);
    // A filtered walk that goes past its first read is mostly walked to its end (a download, a
    // report): the next read takes the most at once (512), as each read costs a read
    // transaction and a seek of its own, which weigh more than the rows themselves on SQLite.
    if (limit == kFirstFilteredBatch)
        h.restartBatches(4 * kFirstFilteredBatch);
    else
        h.restartBatches();
    h.takeWindowRow(top ? 0 : rows - 1);
    return AE_SUCCESS;
}

// A step past the last row (or before the first) leaves the rows.
UNSIGNED32 walkEnded(TableHandle& h, bool forward) {
    h.dropWindow();
    if (forward)
        h.placeAfterLast();
    else
        h.placeBeforeFirst();
    return AE_SUCCESS;
}

UNSIGNED32 stepOne(TableHandle& h, const Nav& nav, bool forward, bool& moved) {
    moved = false;
    if (!h.onRow()) {
        if (forward && h.atBof()) {
            if (UNSIGNED32 rc = toEnd(h, nav, true)) return rc;
            moved = h.onRow();
        } else if (!forward && h.atEof()) {
            if (UNSIGNED32 rc = toEnd(h, nav, false)) return rc;
            moved = h.onRow();
        }
        return AE_SUCCESS;
    }
    if (windowUsable(h, nav)) {
        if (forward && h.windowPos() + 1 < h.window().size()) {
            h.takeWindowRow(h.windowPos() + 1);
            moved = true;
            return AE_SUCCESS;
        }
        if (!forward && h.windowPos() > 0) {
            h.takeWindowRow(h.windowPos() - 1);
            moved = true;
            return AE_SUCCESS;
        }
        // At the window's edge where the walk ends: no row to read beyond it.
        if (forward ? h.window().last : h.window().first) return walkEnded(h, forward);
    } else {
        h.restartBatches();
    }
    std::vector<Value> start;
    uint64_t v = version(h);
    // Going on from the row whose key the last read gave, the way it read: what it saw beyond.
    const size_t emptyPhases = onWindowKeyRow(h, nav) && h.window().keyForward == forward
                                   ? h.window().emptyPhasesAfterKey
                                   : 0;
    if (UNSIGNED32 rc = currentKey(h, nav, start)) return rc;
    bool ascending = forward != nav.order->descending;
    RowBatch batch = h.spareBatch();
    if (UNSIGNED32 rc =
            h.table->scan(*nav.order, forward, &start, ascending ? ">" : "<", nav.conditions(),
                          h.nextBatch(), h.page, batch, false, emptyPhases))
        return rc;
    h.growBatches(kMaxBatch);
    const size_t length = h.table->schema().recordLength;
    if (batch.size() == 0) return walkEnded(h, forward);
    // The window: the current row and the rows read, in walking order.
    if (forward) {
        batch.rowids.insert(batch.rowids.begin(), h.rowid());
        batch.images.insert(batch.images.begin(), h.image().begin(), h.image().end());
        batch.last = batch.complete;
        batch.complete = false;
    } else {
        reverseBatch(batch, length);
        batch.rowids.push_back(h.rowid());
        batch.images.insert(batch.images.end(), h.image().begin(), h.image().end());
        batch.first = batch.complete;
    }
    h.keepWindow(std::move(batch), nav.id, v);
    h.takeWindowRow(forward ? 1 : h.window().size() - 2);
    moved = true;
    return AE_SUCCESS;
}

UNSIGNED32 placeOn(TableHandle& h, const Nav& nav, RowBatch& batch, uint64_t version) {
    h.dropWindow();
    if (batch.size() == 0) {
        h.placeAfterLast();
        return AE_SUCCESS;
    }
    h.keepWindow(std::move(batch), nav.id, version);
    h.restartBatches();
    h.takeWindowRow(0);
    return AE_SUCCESS;
}

}  // namespace

UNSIGNED32 IndexHandle::resolve(size_t& position) {
    const Storage& t = *owner->table;
    if (generation_ != t.schemaGeneration()) {
        int found = t.schema().indexByName(tag);
        if (found < 0)
            return fail(AE_INDEX_NOT_FOUND, "The index tag " + tag + " of the table " + t.file() +
                                                " has been deleted.");
        position_ = static_cast<size_t>(found);
        generation_ = t.schemaGeneration();
        order_.expressions.clear();
        const IndexDef& index = t.schema().indexes[position_];
        for (size_t s : index.segments)
            order_.expressions.push_back(t.keyExpression(t.schema().fields[s]));
        order_.descending = index.descending;
    }
    position = position_;
    return AE_SUCCESS;
}

const IndexDef& IndexHandle::def() const {
    return owner->table->schema().indexes[position_];
}
const OrderSpec& IndexHandle::order() {
    return order_;
}

std::vector<Condition> IndexHandle::scopeConditions() const {
    std::vector<Condition> out;
    bool desc = order_.descending;
    if (top && !top->key.values.empty())
        out.push_back(desc ? atMost(order_.expressions, top->key)
                           : atLeast(order_.expressions, top->key));
    if (bottom && !bottom->key.values.empty())
        out.push_back(desc ? atLeast(order_.expressions, bottom->key)
                           : atMost(order_.expressions, bottom->key));
    return out;
}

UNSIGNED32 findTarget(ADSHANDLE handle, Target& out, bool indexOnly) {
    std::shared_ptr<EngineObject> object = HandleRegistry::instance().find(handle);
    out = Target{};
    // Every call starts here: the kind names the class, so no dynamic cast is needed (result
    // cursors are table handles).
    const HandleKind kind = object ? object->kind() : HandleKind::Connection;
    if (kind == HandleKind::Index) {
        out.index = std::static_pointer_cast<IndexHandle>(std::move(object));
        out.table = out.index->owner;
        size_t position;
        return out.index->resolve(position);
    }
    if (!indexOnly && (kind == HandleKind::Table || kind == HandleKind::Cursor)) {
        out.table = std::static_pointer_cast<TableHandle>(std::move(object));
        return AE_SUCCESS;
    }
    return fail(AE_INVALID_HANDLE, "Handle " + std::to_string(handle) + " is not a live " +
                                       (indexOnly ? "index handle." : "table or index handle."));
}

const std::vector<Condition>& Nav::conditions() const {
    if (conditions_) return *conditions_;
    std::vector<Condition>& all = conditions_.emplace();
    if (index) all = index->scopeConditions();
    // Without its password an encrypted table walks, seeks and counts as an empty one; the
    // table's filters hold for every order.
    if (handle->hidesRows()) all.push_back(Condition{"0", {}});
    if (handle->aof) all.push_back(handle->aof->condition);
    if (handle->filter) all.push_back(handle->filter->condition);
    return all;
}

namespace {
const OrderSpec kRecordOrder;
}  // namespace

UNSIGNED32 navFor(Target& target, Nav& nav) {
    nav = Nav{};
    nav.handle = target.table.get();
    if (!target.index) {
        nav.order = &kRecordOrder;
        return AE_SUCCESS;
    }
    size_t position;
    if (UNSIGNED32 rc = target.index->resolve(position)) return rc;
    nav.id = static_cast<int>(position);
    nav.order = &target.index->order();
    nav.index = target.index.get();
    return AE_SUCCESS;
}

namespace cursor {

void blank(const Schema& schema, uint8_t* image) {
    for (const FieldDef& f : schema.fields) image::writeEmpty(f, image + f.offset);
}

UNSIGNED32 placeIfNew(TableHandle& h) {
    if (!h.unplaced()) return AE_SUCCESS;
    Nav nav;
    nav.order = &kRecordOrder;
    nav.handle = &h;
    return toEnd(h, nav, true);
}

UNSIGNED32 gotoTop(TableHandle& h, const Nav& nav) {
    return toEnd(h, nav, true);
}
UNSIGNED32 gotoBottom(TableHandle& h, const Nav& nav) {
    return toEnd(h, nav, false);
}

UNSIGNED32 skip(TableHandle& h, const Nav& nav, SIGNED32 count) {
    if (count == 0) return refresh(h, true);
    bool forward = count > 0;
    int64_t steps = count > 0 ? count : -static_cast<int64_t>(count);
    for (int64_t i = 0; i < steps; ++i) {
        bool moved = false;
        if (UNSIGNED32 rc = stepOne(h, nav, forward, moved)) return rc;
        if (!moved) break;
    }
    return AE_SUCCESS;
}

UNSIGNED32 gotoRecord(TableHandle& h, int64_t record) {
    bool found = false;
    std::vector<uint8_t> image(h.table->schema().recordLength);
    uint64_t v = version(h);
    if (h.hidesRows())
        return fail(AE_NO_SUCH_RECORD, "The table " + h.table->file() + " has no record " +
                                           std::to_string(record) +
                                           " to show: it is encrypted and its password has not "
                                           "been given.");
    if (record > 0)
        if (UNSIGNED32 rc = h.table->readRow(record, h.page, image.data(), found)) return rc;
    if (!found)
        return fail(AE_NO_SUCH_RECORD, "The table " + h.table->file() + " has no record " +
                                           std::to_string(record) + ".");
    h.dropWindow();
    h.placeOn(record, std::move(image), v);
    return AE_SUCCESS;
}

UNSIGNED32 seek(TableHandle& h, const Nav& nav, const KeyValues& key, UNSIGNED16 seekType,
                bool& found) {
    found = false;
    const std::vector<std::string>& e = nav.order->expressions;
    bool desc = nav.order->descending;
    RowBatch batch = h.spareBatch();
    const uint64_t v = version(h);
    if (key.values.empty()) {
        // An empty key matches every row: the first row of the order.
        if (UNSIGNED32 rc = h.table->scan(*nav.order, true, nullptr, nullptr, nav.conditions(), 1,
                                          h.page, batch))
            return rc;
        found = batch.size() > 0;
        return placeOn(h, nav, batch, v);
    }
    if (seekType & ADS_SEEKGT) {
        std::vector<Value> start = key.lastPartial && !desc ? lastRaised(key) : key.values;
        const char* op = desc ? "<" : (key.lastPartial ? ">=" : ">");
        if (UNSIGNED32 rc =
                h.table->scan(*nav.order, true, &start, op, nav.conditions(), 1, h.page, batch))
            return rc;
        found = batch.size() > 0;
        return placeOn(h, nav, batch, v);
    }
    // The rows of exactly the key: equal leading values, and the last equal or beginning with it.
    std::vector<Condition> exact = nav.conditions();
    std::vector<Value> start = key.values;
    const char* op = "=";
    if (key.lastPartial) {
        const std::string& last = e[key.values.size() - 1];
        if (desc) {
            start = lastRaised(key);
            op = "<";
            exact.push_back(Condition{last + ">=?", {key.values.back()}});
        } else {
            op = ">=";
            exact.push_back(Condition{last + "<?", {withHighByte(key.values.back())}});
        }
    }
    if (UNSIGNED32 rc = h.table->scan(*nav.order, true, &start, op, exact, 1, h.page, batch, true))
        return rc;
    found = batch.size() > 0;
    if (found || !(seekType & ADS_SOFTSEEK)) return placeOn(h, nav, batch, v);
    start = key.lastPartial && desc ? lastRaised(key) : key.values;
    op = desc ? (key.lastPartial ? "<" : "<=") : ">=";
    if (UNSIGNED32 rc =
            h.table->scan(*nav.order, true, &start, op, nav.conditions(), 1, h.page, batch))
        return rc;
    return placeOn(h, nav, batch, v);
}

UNSIGNED32 refresh(TableHandle& h, bool always) {
    if (!h.onRow()) return AE_SUCCESS;
    uint64_t v = version(h);
    if (!always && h.imageVersion() == v) return AE_SUCCESS;
    bool found = false;
    std::vector<uint8_t> image(h.table->schema().recordLength);
    if (UNSIGNED32 rc = h.table->readRow(h.rowid(), h.page, image.data(), found)) return rc;
    // A row deleted elsewhere keeps its last image; the next move leaves it.
    h.reread(found ? std::optional(std::move(image)) : std::nullopt, v);
    return AE_SUCCESS;
}

UNSIGNED32 visible(TableHandle& h, const Nav& nav, bool& out) {
    out = h.onRow();
    if (!out || nav.conditions().empty()) return AE_SUCCESS;
    std::vector<Condition> conditions = nav.conditions();
    conditions.push_back(Condition{"rowid=?", {Value::ofInteger(h.rowid())}});
    int64_t n = 0;
    if (UNSIGNED32 rc = h.table->countRows(conditions, n)) return rc;
    out = n > 0;
    return AE_SUCCESS;
}

UNSIGNED32 count(TableHandle& h, const Nav& nav, UNSIGNED16 option, int64_t& out) {
    bool fresh = option & ADS_REFRESHCOUNT;
    UNSIGNED16 which = option & 3;
    if (h.hidesRows()) {
        out = 0;
        return AE_SUCCESS;
    }
    if (which == ADS_RESPECTFILTERS && !nav.conditions().empty())
        return h.table->countRows(nav.conditions(), out);
    if (which == ADS_RESPECTSCOPES && nav.index) {
        std::vector<Condition> scopes = nav.index->scopeConditions();
        if (!scopes.empty()) return h.table->countRows(scopes, out);
    }
    return h.table->totalRows(fresh, out);
}

UNSIGNED32 relativePosition(TableHandle& h, const Nav& nav, double& out) {
    if (h.atBof() && !h.atEof()) {
        out = 0.0;
        return AE_SUCCESS;
    }
    if (h.atEof()) {
        out = h.atBof() ? 0.0 : 1.0;
        return AE_SUCCESS;
    }
    int64_t total = 0, before = 0;
    if (UNSIGNED32 rc = count(h, nav, ADS_RESPECTFILTERS, total)) return rc;
    std::vector<Value> start;
    if (UNSIGNED32 rc = currentKey(h, nav, start)) return rc;
    if (UNSIGNED32 rc = h.table->countBefore(*nav.order, start, nav.conditions(), before))
        return rc;
    if (total <= 0) {
        out = 0.0;
        return AE_SUCCESS;
    }
    // (position + 1) / count, so that count * position truncates to the 1-based position.
    out = std::min(1.0, (static_cast<double>(before) + 1.0 + 1e-9) / static_cast<double>(total));
    return AE_SUCCESS;
}

}  // namespace cursor

}  // namespace engine
