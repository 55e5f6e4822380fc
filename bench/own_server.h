// The server a benchmark runs against: the path in VELDA_BENCH_SERVER when set, else a server of
// the benchmark's own, started with scripts/server in a temporary folder and stopped (which
// removes the folder) when the process that started it ends, also on SIGINT, SIGTERM or SIGHUP
// and when a step fails (bench::check ends the run through exit()). Child processes the benchmark
// forks never stop it: only the process that started the server does.
//
// Needs VELDA_SOURCE_DIR (the source tree, for scripts/server) defined when compiled.
#ifndef VELDA_BENCH_OWN_SERVER_H
#define VELDA_BENCH_OWN_SERVER_H

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

// scripts/server, the folder of the server this process started (empty: none) and the process
// that started it. Plain values, as a signal handler reads them.
inline char gScript[4096];
inline char gFolder[256];
inline pid_t gServerOwner = 0;

// Stops the server this process started (scripts/server stop removes its folder). Uses only
// calls that a signal handler may make.
inline void stopOwnServer() {
    if (gFolder[0] == '\0' || getpid() != gServerOwner) return;
    pid_t child = fork();
    if (child == 0) {
        char stop[] = "stop";
        char* argv[] = {gScript, stop, nullptr};
        execv(gScript, argv);
        _exit(127);
    }
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    gFolder[0] = '\0';
}

inline void stopOnSignal(int signal) {
    stopOwnServer();
    _exit(128 + signal);
}

// Starts a server in a fresh temporary folder; its path.
inline std::string startOwnServer() {
    std::snprintf(gScript, sizeof gScript, "%s/scripts/server", VELDA_SOURCE_DIR);
    char pattern[] = "/tmp/velda-bench-server-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::fprintf(stderr, "cannot make a temporary folder for the server\n");
        std::exit(1);
    }
    std::snprintf(gFolder, sizeof gFolder, "%s", pattern);
    gServerOwner = getpid();
    setenv("VELDA_SERVER_DIR", gFolder, 1);
    std::atexit(stopOwnServer);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) ::signal(number, stopOnSignal);
    FILE* out = popen((std::string("'") + gScript + "' start").c_str(), "r");
    char line[1024] = "";
    const bool read = out && std::fgets(line, sizeof line, out) != nullptr;
    const int status = out ? pclose(out) : -1;
    std::string path = read ? line : "";
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    if (status != 0 || path.empty()) {
        std::fprintf(stderr, "scripts/server start failed (is PostgreSQL installed?)\n");
        std::exit(1);
    }
    return path;
}

// The server path to run against: VELDA_BENCH_SERVER when set, else a server of our own.
inline std::string serverPath() {
    const char* given = std::getenv("VELDA_BENCH_SERVER");
    const std::string path = given && *given ? std::string(given) : startOwnServer();
    std::fprintf(stderr, "server %s\n", path.c_str());
    return path;
}

// libpq's connection string of a server path: the path up to its database, and its query.
inline std::string connectionOf(const std::string& path) {
    const size_t scheme = path.find("://");
    const size_t query = path.find('?');
    const size_t database = path.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    if (scheme == std::string::npos || database == std::string::npos || database > query) {
        std::fprintf(stderr, "%s is not a server path\n", path.c_str());
        std::exit(1);
    }
    const size_t end = path.find_first_of("/?", database + 1);
    return path.substr(0, end) + (query == std::string::npos ? "" : path.substr(query));
}

// The path of a folder inside the server path's folder: "<path>/<name>/", the query kept last.
inline std::string serverFolder(const std::string& path, const std::string& name) {
    const size_t query = path.find('?');
    std::string base = path.substr(0, query);
    if (base.empty() || base.back() != '/') base += '/';
    return base + name + "/" + (query == std::string::npos ? "" : path.substr(query));
}

}  // namespace bench

#endif
