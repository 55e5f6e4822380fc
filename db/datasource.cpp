#include "db/datasource.h"

#include <algorithm>

namespace db {

// ---- TDataSource ----------------------------------------------------------------------------

TDataSource::TDataSource(rtl::TComponent* owner) : rtl::TComponent(owner) {}

TDataSource::~TDataSource() {
    std::vector<TDataLink*> links = dataLinks_;
    for (TDataLink* link : links) link->SetDataSource(nullptr);
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet_) dataSet_->RemoveDataSource(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->AddDataSource(this);
    SetState((enabled_ && dataSet_) ? dataSet_->State() : dsInactive);
}

void TDataSource::SetEnabled(bool value) {
    enabled_ = value;
    SetState((enabled_ && dataSet_) ? dataSet_->State() : dsInactive);
}

void TDataSource::Edit() {
    if (autoEdit_ && state_ == dsBrowse && dataSet_) dataSet_->Edit();
}

void TDataSource::DataSetGone() {
    dataSet_ = nullptr;
    SetState(dsInactive);
}

void TDataSource::SetState(TDataSetState value) {
    if (state_ == value) return;
    TDataSetState prior = state_;
    state_ = value;
    NotifyLinks(deUpdateState, 0);
    if (OnStateChange) OnStateChange(this);
    if (prior == dsInactive && OnDataChange) OnDataChange(this, nullptr);
}

void TDataSource::NotifyLinks(TDataEvent event, std::intptr_t info) {
    std::vector<TDataLink*> links = dataLinks_;
    for (TDataLink* link : links)
        if (std::find(dataLinks_.begin(), dataLinks_.end(), link) != dataLinks_.end())
            link->DataEvent(event, info);
}

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info) {
    if (event == deUpdateState) {
        SetState((enabled_ && dataSet_) ? dataSet_->State() : dsInactive);
        return;
    }
    if (state_ == dsInactive) return;
    NotifyLinks(event, info);
    switch (event) {
        case deFieldChange:
            if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(info));
            break;
        case deRecordChange:
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange:
            if (OnDataChange) OnDataChange(this, nullptr);
            break;
        case deUpdateRecord:
            if (OnUpdateData) OnUpdateData(this);
            break;
        default:
            break;
    }
}

void TDataSource::AddLink(TDataLink* link) {
    dataLinks_.push_back(link);
    link->dataSource_ = this;
    if (dataSet_) dataSet_->UpdateBufferCount();
    link->UpdateState();
}

void TDataSource::RemoveLink(TDataLink* link) {
    link->dataSource_ = nullptr;
    dataLinks_.erase(std::remove(dataLinks_.begin(), dataLinks_.end(), link), dataLinks_.end());
    link->UpdateState();
    if (dataSet_) dataSet_->UpdateBufferCount();
}

// ---- TDataLink ------------------------------------------------------------------------------

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
    if (dataSource_) {
        TDataSource* source = dataSource_;
        dataSource_ = nullptr;
        source->dataLinks_.erase(
            std::remove(source->dataLinks_.begin(), source->dataLinks_.end(), this),
            source->dataLinks_.end());
        if (source->dataSet_) source->dataSet_->UpdateBufferCount();
    }
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == dataSource_) return;
    if (dataSource_) dataSource_->RemoveLink(this);
    if (source) source->AddLink(this);
}

void TDataLink::UpdateState() {
    bool active = dataSource_ && dataSource_->State() != dsInactive;
    if (active != active_) {
        active_ = active;
        firstRecord_ = 0;
        if (active_) UpdateRange();
        ActiveChanged();
    }
    TDataSetState s = dataSource_ ? dataSource_->State() : dsInactive;
    bool editing = active_ && !readOnly_ && (s == dsEdit || s == dsInsert || s == dsSetKey);
    if (editing != editing_) {
        editing_ = editing;
        EditingChanged();
    }
}

void TDataLink::UpdateRange() {
    TDataSet* ds = DataSet();
    if (!ds) return;
    int min = ds->activeRecord_ - bufferCount_ + 1;
    if (min < 0) min = 0;
    int max = ds->bufferCount_ - bufferCount_;
    if (max < 0) max = 0;
    if (max > ds->activeRecord_) max = ds->activeRecord_;
    if (firstRecord_ < min) firstRecord_ = min;
    if (firstRecord_ > max) firstRecord_ = max;
}

int TDataLink::ActiveRecord() const {
    TDataSet* ds = DataSet();
    return (active_ && ds) ? ds->activeRecord_ - firstRecord_ : 0;
}

void TDataLink::SetActiveRecord(int value) {
    TDataSet* ds = DataSet();
    if (active_ && ds) ds->activeRecord_ = value + firstRecord_;
}

int TDataLink::RecordCount() const {
    TDataSet* ds = DataSet();
    if (!active_ || !ds) return 0;
    return std::max(0, std::min(ds->recordCount_ - firstRecord_, bufferCount_));
}

void TDataLink::SetBufferCount(int value) {
    value = std::max(1, value);
    if (value == bufferCount_) return;
    bufferCount_ = value;
    if (TDataSet* ds = DataSet()) ds->UpdateBufferCount();
    if (active_) UpdateRange();
}

void TDataLink::SetReadOnly(bool value) {
    readOnly_ = value;
    UpdateState();
}

bool TDataLink::Edit() {
    if (!readOnly_ && dataSource_) dataSource_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_) return;
    switch (event) {
        case deFieldChange:
        case deRecordChange:
            if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
            break;
        case deDataSetChange:
            UpdateRange();
            DataSetChanged();
            break;
        case deLayoutChange:
            UpdateRange();
            LayoutChanged();
            break;
        case deDataSetScroll: {
            int old = firstRecord_ + static_cast<int>(info);
            firstRecord_ = old;
            UpdateRange();
            DataSetScrolled(firstRecord_ - old);
            break;
        }
        case deUpdateRecord:
            UpdateRecord();
            break;
        case deCheckBrowseMode:
            CheckBrowseMode();
            break;
        case deFocusControl:
            FocusControl(reinterpret_cast<TField*>(info));
            break;
        default:
            break;
    }
}

}  // namespace db
