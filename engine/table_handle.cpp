// TableHandle's position, rows read ahead and pending change: each placement keeps the ends,
// the record number and the image together.
#include "engine/handles.h"

#include <utility>

namespace engine {

void TableHandle::placeOn(int64_t rowid, std::vector<uint8_t> image, uint64_t version) {
    unplaced_ = false;
    rowid_ = rowid;
    image_ = std::move(image);
    imageVersion_ = version;
    bof_ = eof_ = false;
}

void TableHandle::reread(std::optional<std::vector<uint8_t>> image, uint64_t version) {
    if (image) image_ = std::move(*image);
    imageVersion_ = version;
}

void TableHandle::placeBeforeFirst() {
    unplaced_ = false;
    bof_ = true;
    eof_ = false;
}

void TableHandle::placeAfterLast() {
    unplaced_ = false;
    bof_ = false;
    eof_ = true;
}

void TableHandle::placeNowhere() {
    unplaced_ = false;
    bof_ = eof_ = true;
}

void TableHandle::forgetRow() {
    unplaced_ = false;
    bof_ = eof_ = true;
    rowid_ = 0;
}

void TableHandle::keepWindow(RowBatch rows, int order, uint64_t version) {
    spare_ = std::exchange(window_, std::move(rows));
    // Wide records make large windows: their storage is not kept twice.
    constexpr size_t kLargestSpare = size_t{1} << 20;
    if (spare_.images.capacity() > kLargestSpare) spare_ = RowBatch{};
    windowOrder_ = order;
    windowVersion_ = version;
}

void TableHandle::takeWindowRow(size_t pos) {
    unplaced_ = false;
    // The image is copied into the buffer the handle has (a walk takes a row at every step).
    const size_t length = table->schema().recordLength;
    windowPos_ = pos;
    rowid_ = window_.rowids[pos];
    image_.assign(window_.images.begin() + static_cast<long>(pos * length),
                  window_.images.begin() + static_cast<long>((pos + 1) * length));
    imageVersion_ = windowVersion_;
    bof_ = eof_ = false;
}

void TableHandle::beginPending(PendingKind kind) {
    const size_t fields = table->schema().fields.size();
    values_.assign(fields, Value{});
    changed_.assign(fields, false);
    pending_ = kind;
}

void TableHandle::setPendingValue(size_t field, Value value) {
    values_[field] = std::move(value);
    changed_[field] = true;
}

void TableHandle::restorePending(std::vector<Value> values, std::vector<bool> changed) {
    values_ = std::move(values);
    changed_ = std::move(changed);
}

void TableHandle::clearPending() {
    pending_ = PendingKind::None;
    values_.clear();
    changed_.clear();
}

}  // namespace engine
