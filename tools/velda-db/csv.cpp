#include "tools/velda-db/csv.h"

namespace veldadb {

bool ParseCsv(const std::string& text, std::vector<CsvRecord>& records, std::string& error) {
    records.clear();
    size_t i = 0, line = 1;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;  // byte order mark
    while (i < text.size()) {
        CsvRecord record;
        record.line = line;
        std::string cell;
        bool endOfRecord = false;
        while (!endOfRecord) {
            cell.clear();
            if (i < text.size() && text[i] == '"') {
                size_t quoteLine = line;
                ++i;
                bool closed = false;
                while (i < text.size()) {
                    char c = text[i++];
                    if (c == '"') {
                        if (i < text.size() && text[i] == '"') {
                            cell.push_back('"');
                            ++i;
                        } else {
                            closed = true;
                            break;
                        }
                    } else {
                        if (c == '\n') ++line;
                        cell.push_back(c);
                    }
                }
                if (!closed) {
                    error = "line " + std::to_string(quoteLine) + ": a quoted value is not closed";
                    return false;
                }
                if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    error = "line " + std::to_string(line) +
                            ": unexpected character after a closing quote";
                    return false;
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    if (text[i] == '"') {
                        error =
                            "line " + std::to_string(line) + ": a quote inside an unquoted value";
                        return false;
                    }
                    cell.push_back(text[i++]);
                }
            }
            record.cells.push_back(cell);
            if (i >= text.size()) {
                endOfRecord = true;
            } else if (text[i] == ',') {
                ++i;
            } else {
                if (text[i] == '\r') ++i;
                if (i < text.size() && text[i] == '\n') ++i;
                ++line;
                endOfRecord = true;
            }
        }
        records.push_back(std::move(record));
    }
    return true;
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
