// Two download files of one layout compared: byte for byte, else line by line allowing lines of
// one employee, leave code and date in another order. The leave statement orders its rows by those
// three values only, so a place that breaks their ties otherwise (a server's sort is not a
// folder's) gives such lines in another order; every other difference is a different download.
#ifndef VELDA_BENCH_DOWNLOAD_FILES_H
#define VELDA_BENCH_DOWNLOAD_FILES_H

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

inline std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a download file, each without its CR LF.
inline std::vector<std::string> linesOf(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// Every layout's line begins with the statement's order: employee code (12), leave code (8) and
// date (10).
inline constexpr size_t kOrderKey = 30;

struct FileComparison {
    bool identical = false;  // byte for byte
    bool sameLines = false;  // identical, or only lines of equal order keys moved
    size_t moved = 0;        // lines not where the other file has them (sameLines only)
    size_t firstByte = 0;    // the first byte that differs (when not identical)
};

// Compares download `a` with download `b`. An empty `a` is never the same as anything: a
// download that wrote nothing must not pass for one that did.
inline FileComparison compareDownloads(const std::string& a, const std::string& b) {
    FileComparison result;
    if (!a.empty() && a == b) {
        result.identical = result.sameLines = true;
        return result;
    }
    while (result.firstByte < a.size() && result.firstByte < b.size() &&
           a[result.firstByte] == b[result.firstByte])
        ++result.firstByte;
    const std::vector<std::string> mine = linesOf(a), theirs = linesOf(b);
    bool same = !a.empty() && mine.size() == theirs.size();
    for (size_t first = 0; same && first < mine.size();) {
        const std::string key = mine[first].substr(0, kOrderKey);
        size_t last = first + 1;
        while (last < mine.size() && mine[last].substr(0, kOrderKey) == key) ++last;
        std::vector<std::string> x(mine.begin() + static_cast<std::ptrdiff_t>(first),
                                   mine.begin() + static_cast<std::ptrdiff_t>(last));
        std::vector<std::string> y(theirs.begin() + static_cast<std::ptrdiff_t>(first),
                                   theirs.begin() + static_cast<std::ptrdiff_t>(last));
        for (size_t i = 0; i < x.size(); ++i) result.moved += x[i] != y[i] ? 1 : 0;
        std::sort(x.begin(), x.end());
        std::sort(y.begin(), y.end());
        same = x == y;
        first = last;
    }
    result.sameLines = same;
    if (!same) result.moved = 0;
    return result;
}

}  // namespace bench

#endif
