// Table and index handles: a table handle's position, its window of rows read ahead, its
// pending change and its locks; an index handle's order, key being built and scopes.
// Internal to engine/.
#ifndef VELDA_ENGINE_HANDLES_H
#define VELDA_ENGINE_HANDLES_H

#include <climits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/locks.h"
#include "engine/raw_key.h"
#include "engine/registry.h"
#include "engine/table.h"

namespace engine {

class TableHandle;

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
    UNSIGNED32 resolve(size_t& position);
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
    std::vector<Condition> conditions;
    IndexHandle* index = nullptr;
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

    std::shared_ptr<Table> table;
    ADSHANDLE connection = 0;
    std::string alias;
    UNSIGNED32 options = 0;
    UNSIGNED16 charType = ADS_ANSI;
    UNSIGNED16 lockType = ADS_PROPRIETARY_LOCKING;
    UNSIGNED16 rights = ADS_CHECKRIGHTS;
    image::CodePage page = image::CodePage::Ansi1252;
    LockFile locks;
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

    // Position: on a row, or before the first / after the last (both on an empty walk).
    bool bof = true, eof = true;
    int64_t rowid = 0;
    std::vector<uint8_t> image;
    uint64_t imageVersion = 0;
    bool onRow() const { return !bof && !eof; }

    // Rows read ahead around the current one in the order `windowOrder`.
    int windowOrder = INT_MIN;
    uint64_t windowVersion = 0;
    RowBatch window;
    size_t windowPos = 0;
    size_t nextBatch = 16;
    void dropWindow() { windowOrder = INT_MIN; }

    // The change being made: the whole record's stored values and which were set.
    PendingKind pending = PendingKind::None;
    std::vector<Value> values;
    std::vector<bool> changed;
};

// Handles of either kind for the calls that take both.
struct Target {
    std::shared_ptr<TableHandle> table;
    std::shared_ptr<IndexHandle> index;
};
// Looks the handle up (table or index); fails with AE_INVALID_HANDLE.
UNSIGNED32 findTarget(ADSHANDLE handle, Target& out, bool indexOnly = false);
UNSIGNED32 navFor(Target& target, Nav& nav);

// Navigation (cursor.cpp).
namespace cursor {
UNSIGNED32 gotoTop(TableHandle& h, const Nav& nav);
UNSIGNED32 gotoBottom(TableHandle& h, const Nav& nav);
UNSIGNED32 skip(TableHandle& h, const Nav& nav, SIGNED32 count);
UNSIGNED32 gotoRecord(TableHandle& h, int64_t record);
UNSIGNED32 seek(TableHandle& h, const Nav& nav, const KeyValues& key, UNSIGNED16 seekType,
                bool& found);
// Re-reads the current row when the table changed since it was read.
UNSIGNED32 refresh(TableHandle& h, bool always);
UNSIGNED32 visible(TableHandle& h, const Nav& nav, bool& out);
UNSIGNED32 count(TableHandle& h, const Nav& nav, UNSIGNED16 option, int64_t& out);
UNSIGNED32 relativePosition(TableHandle& h, const Nav& nav, double& out);
void blank(const Schema& schema, uint8_t* image);
}  // namespace cursor

// Changes (writer.cpp).
namespace writer {
UNSIGNED32 ensureWritable(TableHandle& h);
UNSIGNED32 beginEdit(TableHandle& h);
UNSIGNED32 append(TableHandle& h);
UNSIGNED32 setValue(TableHandle& h, size_t field, Value value);
UNSIGNED32 write(TableHandle& h);
UNSIGNED32 cancel(TableHandle& h);
UNSIGNED32 remove(TableHandle& h);
// Writes a pending change before the handle moves (as the original engine does).
UNSIGNED32 settle(TableHandle& h);
UNSIGNED32 lock(TableHandle& h, uint32_t record);
UNSIGNED32 unlock(TableHandle& h, uint32_t record);
// The current record's image including a pending change.
void currentImage(TableHandle& h, uint8_t* out);
// Gives the empty auto-increment fields of an append (h.values) their next values and moves the
// table's counters on; inside the caller's write transaction.
UNSIGNED32 assignAutoincrements(TableHandle& h);
// The statements that store the changed fields (parameters in field order): an INSERT (DEFAULT
// VALUES when none changed) and an UPDATE by rowid, its last parameter (empty when none changed).
std::string insertSql(const Schema& schema, const std::vector<bool>& changed);
std::string updateSql(const Schema& schema, const std::vector<bool>& changed);
}  // namespace writer

}  // namespace engine

#endif
