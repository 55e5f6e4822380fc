// Streams: the abstract byte stream that a dataset hands out for blob and memo fields
// (TDataSet::CreateBlobStream), and a memory stream for caches and tests.
#ifndef VELDA_DB_STREAM_H
#define VELDA_DB_STREAM_H

#include <cstdint>
#include <string>
#include <vector>

namespace db {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };
enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

class TStream {
  public:
    virtual ~TStream() = default;
    // Reads up to count bytes at the position, moves the position on; answers the bytes read.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Writes count bytes at the position, moves the position on; answers the bytes written.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Moves the position; answers the new position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size);  // default: not supported (nothing happens)

    std::int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
    // Everything from the beginning, as bytes in a string.
    std::string ReadAll();
    void WriteText(const std::string& bytes) {
        Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    }
};

class TMemoryStream : public TStream {
  public:
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
    void SetSize(std::int64_t size) override;
    void Clear();

    std::vector<std::uint8_t>& Memory() { return data_; }
    const std::vector<std::uint8_t>& Memory() const { return data_; }

  private:
    std::vector<std::uint8_t> data_;
    std::int64_t position_ = 0;
};

}  // namespace db

#endif
