#include "tools/velda-db/csv.h"

namespace veldadb {

namespace {
constexpr int kEnd = std::char_traits<char>::eof();
}

bool CsvReader::TooLong(size_t bytes, std::string& error) const {
    if (bytes <= maxRecord_) return false;
    error = "row " + std::to_string(row_) + " (line " + std::to_string(line_) +
            "): a record longer than " + std::to_string(maxRecord_) +
            " bytes, far more than any table's record (a line without end?)";
    return true;
}

bool CsvReader::Next(CsvRecord& record, std::string& error) {
    error.clear();
    record.cells.clear();
    if (!started_) {
        started_ = true;
        const char bom[] = "\xEF\xBB\xBF";
        // Only a whole mark is skipped; anything else is pushed back as it was read.
        std::string seen;
        while (seen.size() < 3 && in_.sgetc() != kEnd &&
               static_cast<char>(in_.sgetc()) == bom[seen.size()])
            seen.push_back(static_cast<char>(in_.sbumpc()));
        if (seen.size() != 3)
            for (size_t i = seen.size(); i > 0; --i) in_.sputbackc(seen[i - 1]);
    }
    if (in_.sgetc() == kEnd) return false;
    record.line = line_;
    ++row_;
    std::string cell;
    size_t bytes = 0;  // of the record's cells before this one
    for (;;) {
        bytes += cell.size();
        cell.clear();
        if (in_.sgetc() == '"') {
            size_t quoteLine = line_;
            in_.sbumpc();
            bool closed = false;
            for (int c = in_.sbumpc(); c != kEnd; c = in_.sbumpc()) {
                if (c == '"') {
                    if (in_.sgetc() == '"') {
                        cell.push_back('"');
                        in_.sbumpc();
                        continue;
                    }
                    closed = true;
                    break;
                }
                if (c == '\n') ++line_;
                cell.push_back(static_cast<char>(c));
                if (TooLong(bytes + cell.size(), error)) return false;
            }
            if (!closed) {
                error = "line " + std::to_string(quoteLine) + ": a quoted value is not closed";
                return false;
            }
            int next = in_.sgetc();
            if (next != kEnd && next != ',' && next != '\r' && next != '\n') {
                error = "line " + std::to_string(line_) +
                        ": unexpected character after a closing quote";
                return false;
            }
        } else {
            for (int c = in_.sgetc(); c != kEnd && c != ',' && c != '\r' && c != '\n';
                 c = in_.sgetc()) {
                if (c == '"') {
                    error = "line " + std::to_string(line_) + ": a quote inside an unquoted value";
                    return false;
                }
                cell.push_back(static_cast<char>(in_.sbumpc()));
                if (TooLong(bytes + cell.size(), error)) return false;
            }
        }
        record.cells.push_back(cell);
        int c = in_.sgetc();
        if (c == kEnd) return true;
        if (c == ',') {
            in_.sbumpc();
            continue;
        }
        if (c == '\r') {
            in_.sbumpc();
            c = in_.sgetc();
        }
        if (c == '\n') in_.sbumpc();
        ++line_;
        return true;
    }
}

std::string FormatCsvRecord(const std::vector<std::string>& cells) {
    std::string out;
    for (size_t c = 0; c < cells.size(); ++c) {
        if (c) out.push_back(',');
        const std::string& cell = cells[c];
        if (cell.find_first_of(",\"\r\n") == std::string::npos) {
            out += cell;
            continue;
        }
        out.push_back('"');
        for (char ch : cell) {
            if (ch == '"') out.push_back('"');
            out.push_back(ch);
        }
        out.push_back('"');
    }
    out += "\r\n";
    return out;
}

}  // namespace veldadb
