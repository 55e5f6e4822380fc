// The leave application of a download line: the walk the system has always made, and a fast
// path that gives the same answer.
//
// The walk (WalkLookup) goes to the table's first row, searches the employee number on the
// EMPCODE index, and moves forward: rows of other leave codes are passed over, a row of the
// same leave code of another employee ends the search without a match, a row of the same
// employee, leave code and ID is the match. Every line repeats it, so a year's download over a
// large company reads the employee's applications again and again.
//
// Why one read per employee gives the same answer: the index orders rows by their stored code
// compared byte for byte (texts are stored without trailing blanks, an empty code as the empty
// key) and equal codes by record number, so the rows whose code equals the employee number
// exactly form one run, and a successful key search lands on its first row. Inside the run no
// row can end the walk (they all belong to the employee); after it, no row can match. So the
// walk's match is the first row of that run, in index order, with the leave code and ID asked
// for. When the key search fails the walk starts at the table's first row instead, and the run
// that can match is the one of rows there whose code equals the number (the empty code is the
// only case where that run is not empty). A number longer than the field is cut by the key
// search and lands on another employee's rows, none of which equals the number: no match either
// way.
//
// SelectionLookup goes further for a whole download: one statement reads the applications whose
// employee code, leave code and ID equal those of a selected transaction (about one row per
// line instead of every application of every employee). Where a transaction has exactly one such
// application, that row is the first of the run and so the walk's match; where it has none, the
// walk finds none; the few transactions with several different candidates (the statement gives
// no record order to pick the first), or with an empty leave code or ID (which the statement's
// plain equalities, kept plain so that SQLite indexes the join, cannot meet), are asked of
// FastLookup.
//
// FastLookup reads that run once, the first time an employee is asked for, and keeps the first
// row of each (leave code, ID) in a small map until another employee is asked for. The leave
// selection comes ordered by employee, so each run is read once per download; nothing outlives
// the lookup object, which each download makes afresh.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"
#include "ads/adstable.h"
#include "db/fields.h"
#include "download/core/leavedownload.h"

namespace download {

namespace {

// The application table's columns, looked up once per open.
struct TApplicationColumns {
    db::TField* EmpCode = nullptr;
    db::TField* LeaveCode = nullptr;
    db::TField* Id = nullptr;
    db::TField* AmPm = nullptr;
    db::TField* Reference = nullptr;
    db::TField* Remarks = nullptr;

    void Bind(ads::TAdsDataSet& table) {
        if (!table.Active()) table.Open();
        EmpCode = table.FieldByName("EMPCODE");
        LeaveCode = table.FieldByName("leave_code");
        Id = table.FieldByName("ID");
        AmPm = table.FieldByName("AMPM");
        Reference = table.FieldByName("REFERENCE");
        Remarks = table.FieldByName("REMARKS");
    }
    std::int32_t IdValue() const { return Id->IsNull() ? 0 : Id->AsInteger(); }
    TApplicationFields Fields() const {
        return {AmPm->AsString(), Reference->AsString(), Remarks->AsString()};
    }
};

class TWalkLookup : public TApplicationLookup {
  public:
    explicit TWalkLookup(ads::TAdsDataSet& table) : table_(table) {}

    const TApplicationFields* Find(const std::string& empNo, const std::string& leaveCode,
                                   std::int32_t id) override {
        if (!table_.Active()) columns_.Bind(table_);
        if (columns_.EmpCode == nullptr) columns_.Bind(table_);
        table_.First();
        table_.FindByKey({empNo});  // not found: the table stays on its first row
        while (!table_.Eof()) {
            if (columns_.LeaveCode->AsString() != leaveCode) {
                table_.Next();
                continue;
            }
            if (columns_.EmpCode->AsString() != empNo) return nullptr;
            if (columns_.IdValue() == id) {
                result_ = columns_.Fields();
                return &result_;
            }
            table_.Next();
        }
        return nullptr;
    }

  private:
    ads::TAdsDataSet& table_;
    TApplicationColumns columns_;
    TApplicationFields result_;
};

class TFastLookup : public TApplicationLookup {
  public:
    explicit TFastLookup(ads::TAdsDataSet& table) : table_(table) {}

    const TApplicationFields* Find(const std::string& empNo, const std::string& leaveCode,
                                   std::int32_t id) override {
        if (!loaded_ || empNo != employee_) load(empNo);
        auto found = rows_.find(std::pair<const std::string&, std::int32_t>(leaveCode, id));
        return found == rows_.end() ? nullptr : &found->second;
    }

  private:
    struct TKeyLess {
        using is_transparent = void;
        template <class A, class B>
        bool operator()(const A& a, const B& b) const {
            return a.first < b.first || (!(b.first < a.first) && a.second < b.second);
        }
    };

    void load(const std::string& empNo) {
        loaded_ = false;
        rows_.clear();
        if (!table_.Active() || columns_.EmpCode == nullptr) columns_.Bind(table_);
        // The walk starts at the first row when the key is not found.
        if (!table_.FindByKey({empNo})) table_.First();
        for (; !table_.Eof() && columns_.EmpCode->AsString() == empNo; table_.Next())
            rows_.try_emplace({columns_.LeaveCode->AsString(), columns_.IdValue()},
                              columns_.Fields());
        employee_ = empNo;
        loaded_ = true;
    }

    ads::TAdsDataSet& table_;
    TApplicationColumns columns_;
    bool loaded_ = false;
    std::string employee_;
    std::map<std::pair<std::string, std::int32_t>, TApplicationFields, TKeyLess> rows_;
};

class TSelectionLookup : public TApplicationLookup {
  public:
    TSelectionLookup(ads::TAdsDataSet& table, rtl::TDateTime from, rtl::TDateTime to,
                     TOutputLayout layout)
        : table_(table), sql_(ApplicationSelectionSql(from, to, layout)) {}

    const TApplicationFields* Find(const std::string& empNo, const std::string& leaveCode,
                                   std::int32_t id) override {
        if (!loaded_) load();
        // Empty values never meet in the statement's equalities: the walk's way for them.
        if (empNo.empty() || leaveCode.empty() || id == 0) return fallback(empNo, leaveCode, id);
        const TEntry* found = find(empNo, leaveCode, id, hashOf(empNo, leaveCode, id));
        if (found == nullptr) return nullptr;
        if (found->count > 1) return fallback(empNo, leaveCode, id);
        return &found->fields;
    }

  private:
    // One application key (employee code, leave code, ID) with the texts of its first
    // candidate and how many candidates showing other texts there are (1 or 2: more than one).
    struct TEntry {
        std::string empNo;
        std::string leaveCode;
        std::int32_t id = 0;
        int count = 0;
        std::size_t hash = 0;
        TApplicationFields fields;
    };

    static std::size_t hashOf(std::string_view empNo, std::string_view leaveCode, std::int32_t id) {
        std::uint64_t h = std::hash<std::string_view>()(empNo);
        h ^= std::hash<std::string_view>()(leaveCode) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        h ^= static_cast<std::uint32_t>(id);
        // Slots are chosen by the low bits: every input bit moves them.
        h ^= h >> 31;
        h *= 0xbf58476d1ce4e5b9ULL;
        h ^= h >> 29;
        return static_cast<std::size_t>(h);
    }

    // The entries lie in blocks of a thousand, made as they fill: they grow without moving, so a
    // large year never holds two copies at once, and the table of blocks stays small enough to
    // be cached (a deque's blocks hold two entries each, and reading its table of them cost a
    // cache miss of its own per lookup). They are found through an open-addressed table of their
    // positions (plus one; 0 is a free slot), twice as large as the entries at least: a line's
    // lookup touches one slot run and one entry instead of a chain of list nodes. Each slot keeps
    // the high half of its entry's hash, so that the slots passed over on the way are told apart
    // without reading their entries, which lie scattered over far more memory than the slots.
    static constexpr std::size_t kBlockBits = 10;
    static constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;

    TEntry& entryAt(std::size_t position) {
        return blocks_[position >> kBlockBits][position & (kBlockSize - 1)];
    }

    struct TSlot {
        std::uint32_t position = 0;
        std::uint32_t tag = 0;
    };

    static std::uint32_t tagOf(std::size_t hash) {
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> 32);
    }

    TEntry* find(std::string_view empNo, std::string_view leaveCode, std::int32_t id,
                 std::size_t hash) {
        if (slots_.empty()) return nullptr;
        const std::size_t mask = slots_.size() - 1;
        const std::uint32_t tag = tagOf(hash);
        for (std::size_t i = hash & mask; slots_[i].position != 0; i = (i + 1) & mask) {
            if (slots_[i].tag != tag) continue;
            TEntry& entry = entryAt(slots_[i].position - 1);
            if (entry.hash == hash && entry.id == id && entry.empNo == empNo &&
                entry.leaveCode == leaveCode)
                return &entry;
        }
        return nullptr;
    }

    void place(std::uint32_t position) {
        const std::size_t mask = slots_.size() - 1;
        const std::size_t hash = entryAt(position).hash;
        std::size_t i = hash & mask;
        while (slots_[i].position != 0) i = (i + 1) & mask;
        slots_[i] = {position + 1, tagOf(hash)};
    }

    TEntry& add(std::string empNo, std::string leaveCode, std::int32_t id, std::size_t hash) {
        if ((entries_ + 1) * 2 > slots_.size()) {
            slots_.assign(std::max<std::size_t>(1024, slots_.size() * 2), TSlot{});
            for (std::size_t i = 0; i < entries_; ++i) place(static_cast<std::uint32_t>(i));
        }
        if (entries_ == blocks_.size() * kBlockSize)
            blocks_.push_back(std::make_unique<TEntry[]>(kBlockSize));
        TEntry& entry = entryAt(entries_++);
        entry.empNo = std::move(empNo);
        entry.leaveCode = std::move(leaveCode);
        entry.id = id;
        entry.hash = hash;
        place(static_cast<std::uint32_t>(entries_ - 1));
        return entry;
    }

    static bool sameTexts(const TApplicationColumns& columns, const TApplicationFields& fields) {
        return columns.AmPm->AsString() == fields.AmPm &&
               columns.Reference->AsString() == fields.Reference &&
               columns.Remarks->AsString() == fields.Remarks;
    }

    void load() {
        ads::TAdsQuery query;
        query.SetName("ApplicationSelection");
        // The statement runs where the table lives: its connection component, named as a query
        // must name it.
        ads::TAdsConnection* connection = table_.AdsConnection();
        std::string databaseName = table_.DatabaseName();
        if (databaseName.empty() && connection != nullptr)
            databaseName = connection->Owner() && !connection->Owner()->Name().empty()
                               ? connection->Owner()->Name() + "." + connection->Name()
                               : connection->Name();
        query.SetDatabaseName(databaseName);
        if (connection != nullptr) query.SetAdsConnection(connection);
        query.SetSQLText(sql_);
        // As for the leave selection: free tables may be encrypted with the table password.
        if (connection == nullptr || !connection->UsesDictionary())
            query.EnableStatementEncryption(kTablePassword);
        query.Open();
        TApplicationColumns columns;
        columns.EmpCode = query.FieldByName("EMPCODE");
        columns.LeaveCode = query.FieldByName("leave_code");
        columns.Id = query.FieldByName("ID");
        columns.AmPm = query.FieldByName("AMPM");
        columns.Reference = query.FieldByName("REFERENCE");
        columns.Remarks = query.FieldByName("REMARKS");
        for (; !query.Eof(); query.Next()) {
            std::string empNo = columns.EmpCode->AsString();
            std::string leaveCode = columns.LeaveCode->AsString();
            const std::int32_t id = columns.IdValue();
            const std::size_t hash = hashOf(empNo, leaveCode, id);
            TEntry* found = find(empNo, leaveCode, id, hash);
            TEntry& entry = found ? *found : add(std::move(empNo), std::move(leaveCode), id, hash);
            // The statement repeats an application once per transaction of its key: only a
            // candidate that shows other texts than the first makes the answer ambiguous.
            if (entry.count == 0) {
                entry.fields = columns.Fields();
                entry.count = 1;
            } else if (entry.count == 1 && !sameTexts(columns, entry.fields)) {
                entry.count = 2;
            }
        }
        query.Close();
        loaded_ = true;
    }

    const TApplicationFields* fallback(const std::string& empNo, const std::string& leaveCode,
                                       std::int32_t id) {
        if (!fast_) fast_ = FastLookup(table_);
        return fast_->Find(empNo, leaveCode, id);
    }

    ads::TAdsDataSet& table_;
    std::string sql_;
    bool loaded_ = false;
    std::vector<std::unique_ptr<TEntry[]>> blocks_;
    std::size_t entries_ = 0;
    std::vector<TSlot> slots_;
    std::unique_ptr<TApplicationLookup> fast_;
};

}  // namespace

std::unique_ptr<TApplicationLookup> SelectionLookup(ads::TAdsDataSet& applications,
                                                    rtl::TDateTime from, rtl::TDateTime to,
                                                    TOutputLayout layout) {
    return std::make_unique<TSelectionLookup>(applications, from, to, layout);
}

std::unique_ptr<TApplicationLookup> WalkLookup(ads::TAdsDataSet& applications) {
    return std::make_unique<TWalkLookup>(applications);
}

std::unique_ptr<TApplicationLookup> FastLookup(ads::TAdsDataSet& applications) {
    return std::make_unique<TFastLookup>(applications);
}

}  // namespace download
