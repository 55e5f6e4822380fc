// Server paths: a database on a PostgreSQL server, named where the engine takes a folder.
// Internal to engine/.
//
//   postgresql://[user[:password]@]host[:port]/DATABASE[/FOLDER/...][?name=value&...]
//
// The scheme is postgresql:// or postgres://, in any case. Everything but the folder part is a
// libpq connection URI and goes to libpq as written (only the scheme in lower case), so that
// libpq's own rules hold: a socket folder as the host (%2Ftmp%2Fsock), several hosts
// (h1:5432,h2:5433), [IPv6] addresses, .pgpass, PGHOST, PGUSER, PGSERVICE and parameters such
// as ?sslmode=require. The folder part names a folder inside the database, its names separated
// by "/" or "\" as in folder paths ("" is the top); its last name may be a data dictionary
// (A01.ADD) or a table. "." and ".." are resolved; a path never leaves its database.
//
// Parameters come last: a "?" part may hold no other "?", "/" or "\" (write them %3F, %2F and
// %5C, which libpq decodes), so that a name appended to a path with parameters is refused rather
// than read as part of a parameter. Every "%" starts two hexadecimal digits, in every part; %00 is
// refused. The host may be left out only where libpq is told elsewhere which server to use: a
// host=, hostaddr= or service= parameter, or PGHOST, PGHOSTADDR or PGSERVICE in the environment.
// The database is named in the path, never by a dbname= parameter. An "@" is refused outside the
// user part and the parameters (write %40): a password holding a "/" would otherwise be read as
// a host and a database, and shown.
//
// A password in a path (user:password@, or ?password=) is shown as *** in every text the engine
// makes from it: masked(), maskServerPath() and every error text of this module.
#ifndef VELDA_ENGINE_SERVER_PATH_H
#define VELDA_ENGINE_SERVER_PATH_H

#include <string>
#include <string_view>
#include <vector>

#include "engine/ace.h"

namespace engine {

// Whether the path begins with postgresql:// or postgres:// (in any case).
bool isServerPath(std::string_view path);

class ServerPath {
  public:
    // The libpq connection URI: scheme, user, host and port, database and parameters.
    const std::string& uri() const { return uri_; }
    // The database name, decoded.
    const std::string& database() const { return database_; }
    // The folder part's names, decoded, the top first; empty for the database's top.
    const std::vector<std::string>& folders() const { return folders_; }
    // Whether the last name is a data dictionary file (ends in ".ADD", in any case).
    bool namesDictionary() const;

    // The path written out: "/" between names, each name encoded where it needs it, the
    // parameters last. Holds the password when the path does.
    std::string text() const;
    // text() with a password shown as ***: for every text a user sees.
    std::string masked() const;
    // The host and port as the path writes them ("/tmp/sock:5433", "db.example:5432",
    // "h1:5432,h2:5433", "db.example"), else as its host= and port= parameters give them; ""
    // when it names neither. Never holds the user or password.
    std::string serverName() const;
    // The text with this path's password, as written and decoded, shown as ***: for texts made
    // elsewhere (libpq's) that might repeat it.
    std::string scrub(std::string text) const;

  private:
    friend UNSIGNED32 joinServerPath(const ServerPath&, const std::string&, ServerPath&);
    friend UNSIGNED32 parseServerPath(const std::string&, ServerPath&);
    friend std::string maskServerPath(const std::string&);

    // The parse itself: false with what is wrong, in words that follow "The server path <masked>".
    static bool parse(const std::string& path, ServerPath& out, std::string& problem);

    std::string text(bool mask) const;

    std::string uri_;
    std::string database_;
    std::vector<std::string> folders_;
    std::string scheme_;    // as written
    std::string user_;      // the userinfo before ":" as written, or ""
    std::string password_;  // after ":" as written, or ""
    bool hasUserInfo_ = false, hasPassword_ = false, hasHost_ = false;
    std::string hosts_;  // host[:port][,...] as written
    std::string databaseRaw_;
    std::string query_;  // without "?"
};

// Parses a server path. AE_INVALID_ARGUMENT, with a one-line text naming the masked path and what
// is wrong: not a server path, no database, a bad "%", a "?" before the end, a parameter without
// "=", dbname=, a port that is not a number, no host, an "@" past the host, ".." above the
// database.
[[nodiscard]] UNSIGNED32 parseServerPath(const std::string& path, ServerPath& out);

// The path of `name` on the server of `base`, as a folder path joins a name to its folder: a
// relative name ("COMPANY\A01", "A01.ADD", "sub/../T") goes below base's folders, a name that
// begins with a separator below the database's top, and a server path stands for itself. The
// parameters stay last. AE_INVALID_ARGUMENT as parseServerPath, or for ".." above the database.
[[nodiscard]] UNSIGNED32 joinServerPath(const ServerPath& base, const std::string& name,
                                        ServerPath& out);

// Any text with the password of a server path in it shown as ***, also one that does not parse
// (there the whole user part after the first ":" is hidden); other texts are returned as they
// are.
std::string maskServerPath(const std::string& path);

}  // namespace engine

#endif
