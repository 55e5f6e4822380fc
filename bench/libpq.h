// The benchmarks' hand-written side on a server: one libpq connection and its prepared statements,
// with text results as a plain client takes them. A failed statement ends the run, since figures
// measured after a failed step would mean nothing.
#ifndef VELDA_BENCH_LIBPQ_H
#define VELDA_BENCH_LIBPQ_H

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace bench {

struct ClearResult {
    void operator()(PGresult* r) const { PQclear(r); }
};
using PgResult = std::unique_ptr<PGresult, ClearResult>;

class Pg {
  public:
    explicit Pg(const std::string& conninfo) : connection_(PQconnectdb(conninfo.c_str())) {
        if (PQstatus(connection_.get()) != CONNECTION_OK) {
            std::fprintf(stderr, "libpq cannot connect: %s", PQerrorMessage(connection_.get()));
            std::exit(1);
        }
    }
    PgResult exec(const std::string& sql) {
        return checked(PQexec(connection_.get(), sql.c_str()), sql);
    }
    // Runs a statement with text parameters ($1, $2, ...), unprepared.
    PgResult exec(const std::string& sql, std::initializer_list<const char*> params) {
        std::vector<const char*> values(params);
        return checked(PQexecParams(connection_.get(), sql.c_str(), static_cast<int>(values.size()),
                                    nullptr, values.data(), nullptr, nullptr, 0),
                       sql);
    }
    void prepare(const char* name, const std::string& sql) {
        checked(PQprepare(connection_.get(), name, sql.c_str(), 0, nullptr), sql);
    }
    // Runs a prepared statement with text parameters.
    PgResult run(const char* name, std::initializer_list<const char*> params) {
        std::vector<const char*> values(params);
        return checked(PQexecPrepared(connection_.get(), name, static_cast<int>(values.size()),
                                      values.data(), nullptr, nullptr, 0),
                       name);
    }

  private:
    PgResult checked(PGresult* raw, const std::string& what) {
        PgResult r(raw);
        const ExecStatusType status = PQresultStatus(r.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            std::fprintf(stderr, "libpq %s failed: %s", what.c_str(),
                         PQerrorMessage(connection_.get()));
            std::exit(1);
        }
        return r;
    }
    struct Finish {
        void operator()(PGconn* c) const { PQfinish(c); }
    };
    std::unique_ptr<PGconn, Finish> connection_;
};

}  // namespace bench

#endif
