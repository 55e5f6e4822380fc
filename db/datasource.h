// Data sources and data links: how display controls (the data-aware grid, edits) follow a
// dataset. A TDataSource sits on one dataset; any number of TDataLink objects sit on a source.
// Each link sees a window of BufferCount() rows of the dataset's row window (the dataset keeps
// as many buffers as its largest link asks for) and is told of changes through its virtual
// notifications.
#ifndef VELDA_DB_DATASOURCE_H
#define VELDA_DB_DATASOURCE_H

#include <functional>
#include <vector>

#include "db/dataset.h"

namespace db {

class TDataLink;

class TDataSource : public rtl::TComponent {
  public:
    using TNotifyEvent = std::function<void(TDataSource* sender)>;
    using TDataChangeEvent = std::function<void(TDataSource* sender, TField* field)>;

    explicit TDataSource(rtl::TComponent* owner = nullptr);
    ~TDataSource() override;

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* dataSet);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool value) { autoEdit_ = value; }
    // The dataset's state as the links see it (inactive while disabled or without dataset).
    TDataSetState State() const { return state_; }
    // Puts the dataset in edit mode when AutoEdit and the dataset is browsing.
    void Edit();
    bool IsLinkedTo(const TDataSet* dataSet) const {
        return dataSet_ != nullptr && dataSet_ == dataSet;
    }

    TDataChangeEvent OnDataChange;  // field: the changed field, nullptr for the whole row
    TNotifyEvent OnStateChange;
    TNotifyEvent OnUpdateData;

    int LinkCount() const { return static_cast<int>(dataLinks_.size()); }
    TDataLink* Links(int index) const { return dataLinks_.at(static_cast<size_t>(index)); }

  private:
    friend class TDataSet;
    friend class TDataLink;
    void DataEvent(TDataEvent event, std::intptr_t info);
    void NotifyLinks(TDataEvent event, std::intptr_t info);
    void SetState(TDataSetState value);
    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);
    void DataSetGone();

    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    bool autoEdit_ = true;
    TDataSetState state_ = dsInactive;
    std::vector<TDataLink*> dataLinks_;
};

class TDataLink {
  public:
    TDataLink();
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }
    // Active: the source is enabled and its dataset open.
    bool Active() const { return active_; }
    // The link's own row window: ActiveRecord 0 .. RecordCount-1 inside BufferCount rows.
    // Setting ActiveRecord makes that row the dataset's active row without any event (a grid
    // sets it to paint each row and sets it back).
    int ActiveRecord() const;
    void SetActiveRecord(int value);
    int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int value);
    int RecordCount() const;
    // Editing: the dataset is in edit or insert state (or key entry).
    bool Editing() const { return editing_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    // Asks the source to put the dataset in edit mode; answers Editing().
    bool Edit();
    // Has UpdateData run (the dataset asks for pending edits before posting).
    void UpdateRecord();

  protected:
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
    virtual void EditingChanged() {}
    virtual void FocusControl(TField* /*field*/) {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField* /*field*/) {}
    virtual void UpdateData() {}

  private:
    friend class TDataSource;
    friend class TDataSet;
    void DataEvent(TDataEvent event, std::intptr_t info);
    void UpdateState();
    void UpdateRange();

    TDataSource* dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
    int bufferCount_ = 1;
    int firstRecord_ = 0;  // the dataset buffer index of this link's first row
};

}  // namespace db

#endif
