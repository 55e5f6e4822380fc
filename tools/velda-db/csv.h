// Comma-separated values as RFC 4180 has them: quoted fields may hold commas, quotes (doubled)
// and line breaks; records end with CRLF or LF.
#ifndef VELDA_TOOLS_CSV_H
#define VELDA_TOOLS_CSV_H

#include <string>
#include <vector>

namespace veldadb {

struct CsvRecord {
    std::vector<std::string> cells;
    size_t line = 0;  // the line the record starts on, 1-based
};

// Parses a whole file's text; false with an error (naming the line) on an unclosed quote or a
// character after a closing quote. A final line break does not make an empty record.
bool ParseCsv(const std::string& text, std::vector<CsvRecord>& records, std::string& error);

// One record, cells quoted where they need it, ended with CRLF.
std::string FormatCsvRecord(const std::vector<std::string>& cells);

}  // namespace veldadb

#endif
