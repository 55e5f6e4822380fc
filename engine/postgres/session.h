// A session with a PostgreSQL server: one libpq connection, closed with its owner.
// Internal to engine/.
//
// A session connects with the libpq URI of a server path (engine/server_path.h) over the
// engine's own settings: connect_timeout=10, so that a server that does not answer fails the
// connect instead of hanging it; TCP keepalives (idle 5 s, every 2 s, 3 lost), so that a server
// or network that goes away is noticed within about 11 s; application_name=velda, which shows in
// pg_stat_activity beside the session's locks. The path's own parameters override these. The
// client encoding is always UTF8: the engine converts texts between Windows-1252 and UTF-8 itself,
// and a path's client_encoding would make it store other bytes than it reads back.
//
// A failed connect is one line: the masked path and libpq's reason (its first line), never the
// password, whether the path or ~/.pgpass gave it.
#ifndef VELDA_ENGINE_POSTGRES_SESSION_H
#define VELDA_ENGINE_POSTGRES_SESSION_H

#include <memory>
#include <string>

#include "engine/ace.h"

struct pg_conn;

namespace engine {

class ServerPath;

namespace postgres {

class Session {
  public:
    // Connects to the path's database. AE_SERVER_CONNECT with the reason, as above.
    [[nodiscard]] static UNSIGNED32 open(const ServerPath& path, std::unique_ptr<Session>& out);

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    // The server the session reached: its host (a name, an address or a socket folder) and port,
    // as libpq reports them.
    std::string serverName() const;
    // libpq's connection, for the storage built on the session; owned by the session.
    pg_conn* connection() const { return connection_.get(); }

  private:
    struct Finish {
        void operator()(pg_conn* connection) const;
    };
    explicit Session(std::unique_ptr<pg_conn, Finish> connection);

    std::unique_ptr<pg_conn, Finish> connection_;
};

}  // namespace postgres
}  // namespace engine

#endif
