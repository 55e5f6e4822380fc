// The SQLite side of the benchmarks: the same work done by SQLite directly on the engine's files,
// timed in the same run, so that a figure is read against its baseline on the same loaded
// machine. A connection here takes the settings the engine gives its own (synchronous=NORMAL
// under WAL, the same cache and memory map), so durability and caching compare like with like.
#ifndef VELDA_BENCH_BASELINE_H
#define VELDA_BENCH_BASELINE_H

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// "name value unit" for a figure, its baseline ("sqlite_<name>") and "<ratio> ratio": engine
// time over SQLite time, so that above 1 the engine is slower. `perSecond` figures are rates.
inline void printSideBySide(const char* name, const char* ratio, double engine, double sqlite,
                            const char* unit, bool perSecond) {
    const char* format = perSecond ? "%s %.0f %s\n" : "%s %.3f %s\n";
    std::printf(format, name, engine, unit);
    std::printf(format, ("sqlite_" + std::string(name)).c_str(), sqlite, unit);
    std::printf("%s %.2f ratio\n", ratio, perSecond ? sqlite / engine : engine / sqlite);
    std::fflush(stdout);
}

// Engine and SQLite timings taken in turns, each turn one run of each side. The figures printed
// are each side's median; the ratio is the median of the turns' own ratios, so that a moment when
// the shared machine is slow weighs on both sides of one turn instead of on one side of the
// figure. The baseline's lines are named "<baseline>_<name>" ("sqlite_" unless told otherwise).
class Turns {
  public:
    explicit Turns(std::string baseline = "sqlite") : baseline_(std::move(baseline)) {}
    // The seconds each side took for `work` units (rows, records, seeks; 1 for one operation).
    void add(double engineSeconds, double sqliteSeconds, double work = 1) {
        engine_.push_back(engineSeconds / work);
        sqlite_.push_back(sqliteSeconds / work);
        ratios_.push_back(engineSeconds / sqliteSeconds);
    }
    // As printSideBySide: rates (units a second) when `perSecond`, else the time of one unit in
    // seconds times `scale` (1000 for ms, 1e6 for us).
    void print(const char* name, const char* ratio, const char* unit, bool perSecond,
               double scale = 1000) const {
        const char* format = perSecond ? "%s %.0f %s\n" : "%s %.3f %s\n";
        auto shown = [&](const std::vector<double>& times) {
            return perSecond ? 1 / median(times) : median(times) * scale;
        };
        std::printf(format, name, shown(engine_), unit);
        std::printf(format, (baseline_ + "_" + name).c_str(), shown(sqlite_), unit);
        std::printf("%s %.2f ratio\n", ratio, median(ratios_));
        std::fflush(stdout);
    }
    // The same figures named from a stem, the baseline after it: "<stem>_<unit><tail>",
    // "<stem>_<baseline>_<unit><tail>" and "<stem>_ratio<tail>" (download_year_server_ms,
    // download_year_server_libpq_ms, download_year_server_ratio), times of one unit in seconds
    // times `scale`.
    void printStem(const std::string& stem, const std::string& tail = "", const char* unit = "ms",
                   double scale = 1000) const {
        std::printf("%s_%s%s %.1f %s\n", stem.c_str(), unit, tail.c_str(), engineMedian() * scale,
                    unit);
        std::printf("%s_%s_%s%s %.1f %s\n", stem.c_str(), baseline_.c_str(), unit, tail.c_str(),
                    baselineMedian() * scale, unit);
        std::printf("%s_ratio%s %.2f ratio\n", stem.c_str(), tail.c_str(), ratio());
        std::fflush(stdout);
    }
    // Each side's median time of one unit in seconds, and the median of the turns' ratios.
    double engineMedian() const { return median(engine_); }
    double baselineMedian() const { return median(sqlite_); }
    double ratio() const { return median(ratios_); }
    static double median(std::vector<double> values) {
        if (values.empty()) return 0;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

  private:
    std::string baseline_;
    std::vector<double> engine_, sqlite_, ratios_;
};

class Baseline {
  public:
    Baseline() = default;
    ~Baseline() { close(); }
    Baseline(const Baseline&) = delete;
    Baseline& operator=(const Baseline&) = delete;

    // Opens a database file as the engine does; `key`, when given, is a SQLCipher key literal.
    void open(const std::string& file, const std::string& key = "") {
        close();
        check(sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                              nullptr),
              "open");
        if (!key.empty()) exec("PRAGMA key=\"" + key + "\"");
        sqlite3_busy_timeout(db_, 10000);
        exec(
            "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-131072; PRAGMA mmap_size=1073741824;"
            " PRAGMA secure_delete=OFF; PRAGMA temp_store=MEMORY");
    }
    void close() {
        for (sqlite3_stmt* stmt : statements_) sqlite3_finalize(stmt);
        statements_.clear();
        if (db_) sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    sqlite3* get() const { return db_; }

    void exec(const std::string& sql) {
        check(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), sql.c_str());
    }
    sqlite3_stmt* prepare(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        check(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr), sql.c_str());
        statements_.push_back(stmt);
        return stmt;
    }
    // Steps a statement to its end, reading every column of every row as the engine's record
    // image needs it; the number of rows.
    uint64_t drain(sqlite3_stmt* stmt) {
        uint64_t rows = 0;
        int rc;
        const int columns = sqlite3_column_count(stmt);
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c)
                if (sqlite3_column_type(stmt, c) == SQLITE_TEXT)
                    sqlite3_column_text(stmt, c);
                else
                    sqlite3_column_double(stmt, c);
            ++rows;
        }
        if (rc != SQLITE_DONE) check(rc, "step");
        sqlite3_reset(stmt);
        return rows;
    }
    void run(sqlite3_stmt* stmt) {
        int rc = sqlite3_step(stmt);
        while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
        if (rc != SQLITE_DONE) check(rc, sqlite3_sql(stmt));
        sqlite3_reset(stmt);
    }

    void check(int rc, const char* what) {
        if (rc == SQLITE_OK) return;
        std::fprintf(stderr, "SQLite %s failed: %s\n", what, db_ ? sqlite3_errmsg(db_) : "");
        std::exit(1);
    }

  private:
    sqlite3* db_ = nullptr;
    std::vector<sqlite3_stmt*> statements_;  // finalized with the connection
};

}  // namespace bench

#endif
