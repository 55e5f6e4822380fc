#include "engine/postgres/session.h"

#include <libpq-fe.h>

#include "engine/last_error.h"
#include "engine/server_path.h"

namespace engine::postgres {

namespace {

// libpq prints a server's notices to standard error unless told otherwise; the engine prints
// nothing.
void ignoreNotice(void*, const char*) {}

// The first line of libpq's message, or a word for its absence.
std::string firstLine(const char* message) {
    std::string text = message ? message : "";
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text.empty() ? std::string("libpq gave no reason") : text;
}

}  // namespace

void Session::Finish::operator()(pg_conn* connection) const {
    PQfinish(connection);
}

Session::Session(std::unique_ptr<pg_conn, Finish> connection)
    : connection_(std::move(connection)) {}

Session::~Session() = default;

UNSIGNED32 Session::open(const ServerPath& path, std::unique_ptr<Session>& out) {
    // In libpq's order: what comes later wins, so the path (dbname, expanded) overrides the
    // settings before it and not the encoding after it.
    const char* const keywords[] = {"connect_timeout",
                                    "keepalives",
                                    "keepalives_idle",
                                    "keepalives_interval",
                                    "keepalives_count",
                                    "application_name",
                                    "dbname",
                                    "client_encoding",
                                    nullptr};
    const char* const values[] = {"10",   "1",    "5", "2", "3", "velda", path.uri().c_str(),
                                  "UTF8", nullptr};
    std::unique_ptr<pg_conn, Finish> connection(PQconnectdbParams(keywords, values, 1));
    if (!connection)
        return fail(AE_SERVER_CONNECT,
                    "Cannot connect to " + path.masked() + ": libpq is out of memory.");
    if (PQstatus(connection.get()) != CONNECTION_OK) {
        std::string reason = path.scrub(firstLine(PQerrorMessage(connection.get())));
        if (reason.back() != '.') reason += '.';
        return fail(AE_SERVER_CONNECT, "Cannot connect to " + path.masked() + ": " + reason);
    }
    PQsetNoticeProcessor(connection.get(), ignoreNotice, nullptr);
    out.reset(new Session(std::move(connection)));
    return AE_SUCCESS;
}

std::string Session::serverName() const {
    const char* host = PQhost(connection_.get());
    const char* port = PQport(connection_.get());
    std::string name = host ? host : "";
    if (port && *port) name += ":" + std::string(port);
    return name;
}

}  // namespace engine::postgres
