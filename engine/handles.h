// Table and index handles: a table handle's position, its window of rows read ahead, its
// pending change and its locks; an index handle's order, key being built and scopes.
// Internal to engine/.
#ifndef VELDA_ENGINE_HANDLES_H
#define VELDA_ENGINE_HANDLES_H

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/raw_key.h"
#include "engine/registry.h"
#include "engine/storage.h"

namespace engine {

class TableHandle;
class Transaction;

// A scope end: the key as given (AdsGetScope answers it) and its key values.
struct ScopeKey {
    std::string given;
    KeyValues key;
};

class IndexHandle : public EngineObject {
  public:
    HandleKind kind() const override { return HandleKind::Index; }

    std::shared_ptr<TableHandle> owner;
    std::string tag;
    std::vector<KeySegment> key;  // being built between AdsInitRawKey and AdsBuildRawKey
    std::optional<ScopeKey> top, bottom;

    // The tag's current position in the table's structure; fails when it has been deleted.
    [[nodiscard]] UNSIGNED32 resolve(size_t& position);
    const IndexDef& def() const;
    const OrderSpec& order();
    // Scope conditions in the tag's order.
    std::vector<Condition> scopeConditions() const;

  private:
    size_t position_ = 0;
    uint64_t generation_ = UINT64_MAX;
    OrderSpec order_;
};

// Which order a navigation call walks in.
struct Nav {
    int id = -1;  // -1 record-number order, else the tag's position
    const OrderSpec* order = nullptr;
    IndexHandle* index = nullptr;
    const TableHandle* handle = nullptr;
    // The order's scopes and the table's filters, ANDed into every read (cursor.cpp). Made at
    // first use: most calls, a step among the rows read ahead, need none.
    const std::vector<Condition>& conditions() const;

  private:
    mutable std::optional<std::vector<Condition>> conditions_;
};

enum class PendingKind { None, Edit, Append };

// A filter of a table handle: the expression as given and its translation (filter_calls.cpp).
struct FilterSpec {
    std::string text;
    Condition condition;
};

class TableHandle : public EngineObject {
  public:
    HandleKind kind() const override { return HandleKind::Table; }

    std::shared_ptr<Storage> table;
    ADSHANDLE connection = 0;
    std::shared_ptr<Transaction> transaction;  // the connection's (transaction.h)
    std::string alias;
    UNSIGNED32 options = 0;
    UNSIGNED16 charType = ADS_ANSI;
    UNSIGNED16 lockType = ADS_PROPRIETARY_LOCKING;
    UNSIGNED16 rights = ADS_CHECKRIGHTS;
    image::CodePage page = image::CodePage::Ansi1252;
    std::unique_ptr<HandleLocks> locks = std::make_unique<NoLocks>();
    std::set<uint32_t> heldRecords;
    std::map<std::string, ADSHANDLE> indexHandles;  // by upper-cased tag name
    // The password given with AdsEnableEncryption; `unlocked` once it has opened the encrypted
    // table. An encrypted table shows no rows through a handle that is not unlocked.
    Secret password;
    bool unlocked = false;
    UNSIGNED32 lastAutoinc = 0;
    // The static result of an SQL statement: it reads like a table and refuses every change.
    bool staticView = false;

    // The optimised filter (AdsSetAOF) and the plain one (AdsSetFilter), ANDed into every walk of
    // the table's orders; the exact setting they were translated with.
    std::optional<FilterSpec> aof, filter;
    bool exact = false;

    bool exclusive() const { return options & ADS_EXCLUSIVE; }
    bool hidesRows() const { return table->encrypted() && !(unlocked && table->keyed()); }
    bool readOnly() const { return options & ADS_READONLY; }

    // --- Position ---
    // On a row (its record number and image, as read at table version imageVersion()), or off
    // the rows: before the first, after the last, or both on an empty walk. A handle on a row
    // has neither end set; every placement sets the ends and the row together.
    bool atBof() const { return bof_; }
    bool atEof() const { return eof_; }
    bool onRow() const { return !bof_ && !eof_; }
    // A handle just opened is placed on its first row at its first call (cursor::placeIfNew), so
    // that an open followed by a move elsewhere reads no row it does not show.
    bool unplaced() const { return unplaced_; }
    void leaveUnplaced() { unplaced_ = true; }
    int64_t rowid() const { return rowid_; }
    const std::vector<uint8_t>& image() const { return image_; }
    uint64_t imageVersion() const { return imageVersion_; }

    void placeOn(int64_t rowid, std::vector<uint8_t> image, uint64_t version);
    // The current row read again (or found gone: the last image kept) at table version `version`.
    void reread(std::optional<std::vector<uint8_t>> image, uint64_t version);
    void placeBeforeFirst();
    void placeAfterLast();
    void placeNowhere();  // an empty walk: before the first and after the last
    void forgetRow();     // off the rows and record number 0, as a handle that shows no rows

    // --- Rows read ahead ---
    // The rows read around the current one in the order windowOrder(), valid while the table's
    // version is windowVersion(); the current row is window().rowids[windowPos()] when it came
    // from the window. Reads grow from 16 rows, doubling up to a limit, while a walk goes on.
    const RowBatch& window() const { return window_; }
    size_t windowPos() const { return windowPos_; }
    int windowOrder() const { return windowOrder_; }
    uint64_t windowVersion() const { return windowVersion_; }
    size_t nextBatch() const { return nextBatch_; }

    // The window's rows; the storage of the window let go becomes the spare batch.
    void keepWindow(RowBatch rows, int order, uint64_t version);
    // Storage for the next read to fill (Storage::scan empties it): a walk reads batch after batch
    // into the memory of windows it let go, as fresh heap pages would each cost a page fault.
    RowBatch spareBatch() { return std::exchange(spare_, RowBatch{}); }
    // Makes row `pos` of the window the current row.
    void takeWindowRow(size_t pos);
    void dropWindow() { windowOrder_ = INT_MIN; }
    // The next read takes `next` rows, and each one after twice the one before.
    void restartBatches(size_t next = kFirstWalkBatch) { nextBatch_ = next; }
    void growBatches(size_t limit) { nextBatch_ = std::min(nextBatch_ * 2, limit); }

    // --- The change being made ---
    // None, or an edit of the current row or an append: the whole record's stored values and
    // which of them were set (only those are written; the others keep the row's values).
    PendingKind pending() const { return pending_; }
    const std::vector<Value>& pendingValues() const { return values_; }
    const std::vector<bool>& changedFields() const { return changed_; }

    void beginPending(PendingKind kind);  // every field unset
    void setPendingValue(size_t field, Value value);
    // Puts back values and set-flags taken earlier (a failed write takes its assignments back).
    void restorePending(std::vector<Value> values, std::vector<bool> changed);
    void clearPending();

  private:
    static constexpr size_t kFirstWalkBatch = 16;

    bool unplaced_ = false;
    bool bof_ = true, eof_ = true;
    int64_t rowid_ = 0;
    std::vector<uint8_t> image_;
    uint64_t imageVersion_ = 0;

    int windowOrder_ = INT_MIN;
    uint64_t windowVersion_ = 0;
    RowBatch window_;
    RowBatch spare_;
    size_t windowPos_ = 0;
    size_t nextBatch_ = kFirstWalkBatch;

    PendingKind pending_ = PendingKind::None;
    std::vector<Value> values_;
    std::vector<bool> changed_;
};

// Handles of either kind for the calls that take both.
struct Target {
    std::shared_ptr<TableHandle> table;
    std::shared_ptr<IndexHandle> index;
};
// Looks the handle up (table or index); fails with AE_INVALID_HANDLE.
[[nodiscard]] UNSIGNED32 findTarget(ADSHANDLE handle, Target& out, bool indexOnly = false);
[[nodiscard]] UNSIGNED32 navFor(Target& target, Nav& nav);

// Navigation (cursor.cpp).
namespace cursor {
// Places a handle that has not been placed yet on its first row in record order.
[[nodiscard]] UNSIGNED32 placeIfNew(TableHandle& h);
[[nodiscard]] UNSIGNED32 gotoTop(TableHandle& h, const Nav& nav);
[[nodiscard]] UNSIGNED32 gotoBottom(TableHandle& h, const Nav& nav);
[[nodiscard]] UNSIGNED32 skip(TableHandle& h, const Nav& nav, SIGNED32 count);
[[nodiscard]] UNSIGNED32 gotoRecord(TableHandle& h, int64_t record);
[[nodiscard]] UNSIGNED32 seek(TableHandle& h, const Nav& nav, const KeyValues& key,
                              UNSIGNED16 seekType, bool& found);
// Re-reads the current row when the table changed since it was read.
[[nodiscard]] UNSIGNED32 refresh(TableHandle& h, bool always);
[[nodiscard]] UNSIGNED32 visible(TableHandle& h, const Nav& nav, bool& out);
[[nodiscard]] UNSIGNED32 count(TableHandle& h, const Nav& nav, UNSIGNED16 option, int64_t& out);
[[nodiscard]] UNSIGNED32 relativePosition(TableHandle& h, const Nav& nav, double& out);
void blank(const Schema& schema, uint8_t* image);
}  // namespace cursor

// Changes (writer.cpp).
namespace writer {
[[nodiscard]] UNSIGNED32 ensureWritable(TableHandle& h);
[[nodiscard]] UNSIGNED32 beginEdit(TableHandle& h);
[[nodiscard]] UNSIGNED32 append(TableHandle& h);
[[nodiscard]] UNSIGNED32 setValue(TableHandle& h, size_t field, Value value);
[[nodiscard]] UNSIGNED32 write(TableHandle& h);
[[nodiscard]] UNSIGNED32 cancel(TableHandle& h);
[[nodiscard]] UNSIGNED32 remove(TableHandle& h);
// Writes a pending change before the handle moves (as the original engine does).
[[nodiscard]] UNSIGNED32 settle(TableHandle& h);
[[nodiscard]] UNSIGNED32 lock(TableHandle& h, uint32_t record);
[[nodiscard]] UNSIGNED32 unlock(TableHandle& h, uint32_t record);
// The current record's image including a pending change.
void currentImage(TableHandle& h, uint8_t* out);
// Gives the empty auto-increment fields of an append (h.values) their next values and moves the
// table's counters on; inside the caller's write transaction.
[[nodiscard]] UNSIGNED32 assignAutoincrements(TableHandle& h);
}  // namespace writer

}  // namespace engine

#endif
