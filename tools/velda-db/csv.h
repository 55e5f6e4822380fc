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
class CsvReader {
  public:
    explicit CsvReader(std::istream& in) : in_(*in.rdbuf()) {}
    // The next record: true with it, false at the end or on an error (then error names the line:
    // an unclosed quote, a character after a closing quote, a quote inside an unquoted value).
    bool Next(CsvRecord& record, std::string& error);

  private:
    std::streambuf& in_;
    size_t line_ = 1;
    bool started_ = false;
};

// One record, cells quoted where they need it, ended with CRLF.
std::string FormatCsvRecord(const std::vector<std::string>& cells);

}  // namespace veldadb

#endif
