// A small in-memory dataset over the framework's hooks, for the framework's tests: rows in a
// vector, each row a record image (per field one has-value byte followed by the field's
// native value), bookmarks are stable 32-bit row ids.
#ifndef VELDA_TESTS_DB_MEM_DATASET_H
#define VELDA_TESTS_DB_MEM_DATASET_H

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "db/dataset.h"
#include "db/datasource.h"

namespace dbtest {

using namespace db;

struct ColumnDef {
    std::string name;
    TFieldType type;
    int size = 0;
};

class TMemDataSet : public TDataSet {
  public:
    struct Row {
        std::int32_t id;
        std::vector<std::uint8_t> image;
        std::map<int, std::string> blobs;  // field number -> bytes
    };

    explicit TMemDataSet(std::vector<ColumnDef> columns, rtl::TComponent* owner = nullptr)
        : TDataSet(owner), columns_(std::move(columns)) {}
    TMemDataSet(rtl::TComponent* owner, std::vector<ColumnDef> columns)
        : TMemDataSet(std::move(columns), owner) {}
    ~TMemDataSet() override { Destroying(); }

    // Rows added before or after open (after open: call Refresh or First to see them).
    void AddRow(const std::vector<std::string>& texts);
    int RowCount() const { return static_cast<int>(rows_.size()); }
    std::string Cell(int row, const std::string& fieldName);  // as text, via a scratch field
    void SetReadOnly(bool value) { readOnly_ = value; }
    int Position() const { return pos_; }
    std::vector<std::string> calls;  // hook calls, in order
    bool failPost = false;           // InternalPost raises once per set
    int liveBuffers = 0;

    using TDataSet::ActiveBuffer;
    using TDataSet::BufferCount;
    using TDataSet::RestoreState;
    using TDataSet::SetTempState;

  protected:
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return open_; }
    void InternalInitFieldDefs() override;
    void InternalFirst() override { pos_ = -1; }
    void InternalLast() override { pos_ = static_cast<int>(rows_.size()); }
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer buffer) override;
    int GetRecordSize() const override { return recordSize_; }
    void InternalInitRecord(TRecordBuffer buffer) override;
    void ClearCalcFields(TRecordBuffer buffer) override;
    void GetBookmarkData(TRecordBuffer buffer, void* data) override {
        std::memcpy(data, Info(buffer), 4);
    }
    void SetBookmarkData(TRecordBuffer buffer, const void* data) override {
        std::memcpy(Info(buffer), data, 4);
    }
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override {
        return static_cast<TBookmarkFlag>(Info(buffer)[4]);
    }
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override {
        Info(buffer)[4] = static_cast<std::uint8_t>(flag);
    }
    void InternalGotoBookmark(const void* bookmark) override;
    void InternalSetToRecord(TRecordBuffer buffer) override { InternalGotoBookmark(Info(buffer)); }
    bool BookmarkValidImpl(const void* bookmark) override {
        return IndexOfId(ReadId(bookmark)) >= 0;
    }
    int CompareBookmarksImpl(const void* a, const void* b) override {
        return IndexOfId(ReadId(a)) - IndexOfId(ReadId(b));
    }
    void InternalEdit() override;
    void InternalInsert() override { calls.push_back("InternalInsert"); }
    void InternalPost() override;
    void InternalAddRecord(TRecordBuffer buffer, bool append) override;
    void InternalCancel() override {
        calls.push_back("InternalCancel");
        pendingBlobs_.clear();
    }
    void InternalDelete() override;
    void InternalRefresh() override { calls.push_back("InternalRefresh"); }
    bool GetCanModify() override { return !readOnly_; }
    int GetRecordCount() override { return static_cast<int>(rows_.size()); }
    int GetRecNo() override;

  public:
    bool GetFieldData(TField* field, void* destination) override;
    void SetFieldData(TField* field, const void* value) override;
    std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
    void BlobWritten(int fieldNo, const std::string& bytes, TField* field) {
        pendingBlobs_[fieldNo] = bytes;
        NotifyFieldChanged(field);
    }

  private:
    std::uint8_t* Info(TRecordBuffer buffer) const {
        return buffer + recordSize_ + CalcFieldsSize();
    }
    static std::int32_t ReadId(const void* p) {
        std::int32_t id;
        std::memcpy(&id, p, 4);
        return id;
    }
    int IndexOfId(std::int32_t id) const {
        for (size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].id == id) return static_cast<int>(i);
        return -1;
    }
    TRecordBuffer BufferFor(TField* field) const;
    void Layout();
    void Fill(TRecordBuffer buffer);
    int NativeSize(const ColumnDef& c) const;

    std::vector<ColumnDef> columns_;
    std::vector<Row> rows_;
    std::vector<int> offsets_;  // per column: has-value byte, then value
    int recordSize_ = 0;
    int pos_ = -1;
    bool open_ = false;
    bool readOnly_ = false;
    std::int32_t nextId_ = 1;
    std::map<int, std::string> pendingBlobs_;
    std::vector<std::uint8_t> oldRecord_;
};

}  // namespace dbtest

#endif
