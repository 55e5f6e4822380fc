#include "db/stream.h"

#include <algorithm>
#include <cstring>

namespace db {

std::int64_t TStream::Size() {
    std::int64_t here = Seek(0, soCurrent);
    std::int64_t end = Seek(0, soEnd);
    Seek(here, soBeginning);
    return end;
}

void TStream::SetSize(std::int64_t) {}

std::string TStream::ReadAll() {
    Seek(0, soBeginning);
    std::string out;
    char chunk[4096];
    for (;;) {
        std::int64_t n = Read(chunk, sizeof chunk);
        if (n <= 0) break;
        out.append(chunk, static_cast<size_t>(n));
    }
    return out;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0 || position_ >= Size()) return 0;
    std::int64_t n = std::min(count, Size() - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    if (position_ + count > Size()) data_.resize(static_cast<size_t>(position_ + count));
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : Size();
    position_ = std::max<std::int64_t>(0, base + offset);
    return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
    data_.resize(static_cast<size_t>(std::max<std::int64_t>(0, size)));
    position_ = std::min(position_, Size());
}

void TMemoryStream::Clear() {
    data_.clear();
    position_ = 0;
}

}  // namespace db
