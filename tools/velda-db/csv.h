// Comma-separated values as RFC 4180 has them: quoted fields may hold commas, quotes (doubled)
// and line breaks; records end with CRLF or LF.
#ifndef VELDA_TOOLS_CSV_H
#define VELDA_TOOLS_CSV_H

#include <istream>
#include <string>
#include <vector>

namespace veldadb {

struct CsvRecord {
    std::vector<std::string> cells;
    size_t line = 0;  // the line the record starts on, 1-based
};

// Reads records one at a time from a stream, so that a file of any size takes the memory of one
// record. A byte order mark at the start is skipped; a final line break does not make an empty
// record.
// The longest record read: far above any table's record (a record of the widest table is some
// kilobytes; memo texts rarely reach a megabyte), so that an endless line (a device such as
// /dev/zero, a file without line ends) ends with an error, not with all memory taken.
constexpr size_t kMaxCsvRecord = size_t{16} << 20;

class CsvReader {
  public:
    explicit CsvReader(std::istream& in, size_t maxRecord = kMaxCsvRecord)
        : in_(*in.rdbuf()), maxRecord_(maxRecord) {}
    // The next record: true with it, false at the end or on an error (then error names the line:
    // an unclosed quote, a character after a closing quote, a quote inside an unquoted value; or
    // the row and line of a record longer than maxRecord bytes).
    bool Next(CsvRecord& record, std::string& error);

  private:
    bool TooLong(size_t bytes, std::string& error) const;

    std::streambuf& in_;
    size_t maxRecord_;
    size_t line_ = 1;
    size_t row_ = 0;
    bool started_ = false;
};

// One record, cells quoted where they need it, ended with CRLF.
std::string FormatCsvRecord(const std::vector<std::string>& cells);

}  // namespace veldadb

#endif
