// Helpers of the download suites: rows given as literals, a lookup given as a map, and file
// contents.
#ifndef VELDA_TESTS_DOWNLOAD_TEST_SUPPORT_H
#define VELDA_TESTS_DOWNLOAD_TEST_SUPPORT_H

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "download/core/leavedownload.h"
#include "rtl/sysutils.h"

namespace downloadtest {

// One leave selection row: the fields the layouts read, by upper-case name.
struct Row {
    std::string empNo;
    std::string leaveCode;
    rtl::TDateTime date = 0;
    double day = 0;
    double hour = 0;
    std::string approved = "Y";
    int id = 0;
};

class LiteralRows : public download::TLeaveRows {
  public:
    explicit LiteralRows(std::vector<Row> rows) : rows_(std::move(rows)) {}
    bool Eof() override { return at_ >= rows_.size(); }
    void Next() override { ++at_; }
    std::int64_t Count() override { return static_cast<std::int64_t>(rows_.size()); }
    std::string Text(const char* field) override {
        std::string f = field;
        if (f == "EMP_NO" || f == "EMPCODE") return rows_[at_].empNo;
        if (f == "LEAVE_CODE") return rows_[at_].leaveCode;
        if (f == "APPROVED") return rows_[at_].approved;
        throw std::runtime_error("no text field " + f);
    }
    double Float(const char* field) override {
        std::string f = field;
        reads.push_back(f);
        if (f == "DAY") return rows_[at_].day;
        if (f == "HOUR") return rows_[at_].hour;
        throw std::runtime_error("no float field " + f);
    }
    std::int32_t Integer(const char*) override { return rows_[at_].id; }
    rtl::TDateTime Date(const char*) override { return rows_[at_].date; }

    std::vector<std::string> reads;  // the amount fields read, in order

  private:
    std::vector<Row> rows_;
    size_t at_ = 0;
};

class MapLookup : public download::TApplicationLookup {
  public:
    void Add(const std::string& emp, const std::string& leave, int id,
             download::TApplicationFields fields) {
        rows_[{emp, leave, id}] = std::move(fields);
    }
    const download::TApplicationFields* Find(const std::string& emp, const std::string& leave,
                                             std::int32_t id) override {
        ++calls;
        auto it = rows_.find({emp, leave, id});
        return it == rows_.end() ? nullptr : &it->second;
    }
    int calls = 0;

  private:
    std::map<std::tuple<std::string, std::string, int>, download::TApplicationFields> rows_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string pad(const std::string& s, size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}
inline std::string padLeft(const std::string& s, size_t width) {
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

}  // namespace downloadtest

#endif
