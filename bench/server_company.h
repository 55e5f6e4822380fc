// A benchmark's company on a server: the company built in a folder, copied to a folder on the
// server with the built velda-db (the engine's own calls, table by table, encrypted tables kept
// encrypted with their password, every copy read back and checked), and the rows tables that the
// engine's catalog names for its tables, over which the hand-written side runs its statements.
//
// Needs VELDA_DB_PROGRAM (the built velda-db) defined when compiled; without it the copy says so
// and ends the run.
#ifndef VELDA_BENCH_SERVER_COMPANY_H
#define VELDA_BENCH_SERVER_COMPANY_H

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "bench/engine_check.h"
#include "bench/libpq.h"
#include "engine/ace.h"

namespace bench {

// Copies every table of the folder to the server folder `target` (tables left there by a run cut
// short are replaced), `password` opening the encrypted ones. velda-db's report goes to standard
// error, so that standard output keeps the figures alone.
inline void copyToServer(const std::string& folder, const std::string& target,
                         const std::string& password) {
#ifdef VELDA_DB_PROGRAM
    const char* program = VELDA_DB_PROGRAM;
#else
    const char* program = "";
#endif
    if (!*program || access(program, X_OK) != 0) {
        std::fprintf(stderr, "velda-db is not built (%s); build the target velda-db\n",
                     *program ? program : "no path known");
        std::exit(1);
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        setenv("VELDA_DB_PASSWORD", password.c_str(), 1);
        execl(program, "velda-db", "copy", "--replace", folder.c_str(), target.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "velda-db copy %s to the server failed\n", folder.c_str());
        std::exit(1);
    }
}

// The rows table ("velda_rows_<id>") of the table `file` in the server folder `folder` (the folder
// as the catalog keeps it: its path inside the database, lower case).
inline std::string rowsTableOf(Pg& pg, const std::string& folder, const std::string& file) {
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    PgResult found = pg.exec("SELECT id FROM velda_tables WHERE folder=$1 AND name=$2",
                             {lower(folder).c_str(), lower(file).c_str()});
    if (PQntuples(found.get()) != 1) {
        std::fprintf(stderr, "the engine's catalog lists %d tables %s in the folder %s\n",
                     PQntuples(found.get()), file.c_str(), folder.c_str());
        std::exit(1);
    }
    return std::string("velda_rows_") + PQgetvalue(found.get(), 0, 0);
}

// Deletes the tables of the server folder `company` (a server path) through the engine, so that a
// server the benchmark was given keeps nothing of the run.
inline void removeServerTables(const std::string& company,
                               std::initializer_list<const char*> tables) {
    auto text = [](const char* value) {
        return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(value));
    };
    ADSHANDLE connection = 0;
    check(AdsConnect(text(company.c_str()), &connection), "connect to the server folder");
    for (const char* table : tables) check(AdsDeleteTable(connection, text(table)), table);
    check(AdsDisconnect(connection), "disconnect");
}

// The download's leave statement written by hand for the server: the join of the employee and
// leave rows tables over one date range ($1 to $2, 'YYYY-MM-DD', both ends included), approved
// rows only or, with `refusedToo`, refused ones as well, in the download's order.
inline std::string handLeaveStatement(const std::string& employees, const std::string& leave,
                                      bool refusedToo) {
    return "SELECT e.\"EMP_NO\", e.\"DEPARTMENT_CODE\", e.\"CATEGORY_CODE\", "
           "e.\"TERMINATION_DATE\", e.\"HIRED_DATE\", t.\"EMPCODE\", t.\"LEAVE_CODE\", "
           "t.\"DATE\", t.\"DAY\", t.\"HOUR\", t.\"APPROVED\", t.\"ID\" FROM " +
           employees + " e, " + leave +
           " t WHERE e.\"EMP_NO\" = t.\"EMPCODE\" AND t.\"DATE\" >= $1 AND t.\"DATE\" <= $2 AND " +
           (refusedToo ? "(t.\"APPROVED\" = 'Y' OR t.\"APPROVED\" = 'N')"
                       : "t.\"APPROVED\" = 'Y'") +
           " ORDER BY t.\"EMPCODE\", t.\"LEAVE_CODE\", t.\"DATE\"";
}

// What the reads add up, kept so that the compiler keeps the reading.
inline volatile double gLeaveSink = 0;

// Reads every column of every row of handLeaveStatement's result as a client does with text
// results: DAY and HOUR and ID parsed, the texts copied out; the rows.
inline size_t readLeaveRows(const PGresult* r) {
    const int rows = PQntuples(r);
    double sum = 0;
    std::string text;
    for (int row = 0; row < rows; ++row) {
        for (int column : {0, 1, 2, 3, 4, 5, 6, 7, 10}) {
            text.assign(PQgetvalue(r, row, column),
                        static_cast<size_t>(PQgetlength(r, row, column)));
            sum += static_cast<double>(text.size());
        }
        sum += std::strtod(PQgetvalue(r, row, 8), nullptr);
        sum += std::strtod(PQgetvalue(r, row, 9), nullptr);
        sum += static_cast<double>(std::strtoll(PQgetvalue(r, row, 11), nullptr, 10));
    }
    gLeaveSink = gLeaveSink + sum;
    return static_cast<size_t>(rows);
}

}  // namespace bench

#endif
