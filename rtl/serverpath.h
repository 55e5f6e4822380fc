// Database paths as the program writes them: a folder, or a database on a server
// ("postgresql://[user[:password]@]host[:port]/DATABASE[/FOLDER/...][?name=value&...]", the
// scheme also "postgres://", in any case). The engine reads server paths; the program only tells
// them apart from folders and adds names to them, keeping a server path's parameters last, where
// they must stay.
#ifndef VELDA_RTL_SERVERPATH_H
#define VELDA_RTL_SERVERPATH_H

#include <string>

namespace rtl {

// Whether the path begins with postgresql:// or postgres:// (in any case).
bool IsServerPath(const std::string& path);

// folder + name, as the program has always joined a folder ending in a separator with a name
// ("COMPANY\A01"). On a server path the name goes before the "?parameters", after a "/" when the
// part before them ends in no separator ("postgresql://h/velda?sslmode=require" and "COMPANY\A01"
// give "postgresql://h/velda/COMPANY\A01?sslmode=require"). A folder is joined as written.
std::string JoinDatabasePath(const std::string& folder, const std::string& name);

// The folder ending in a separator: "/" is added when it ends in neither "/" nor "\" (on a server
// path, the part before its parameters). An empty text stays empty.
std::string WithFolderSeparator(const std::string& folder);

}  // namespace rtl

#endif
