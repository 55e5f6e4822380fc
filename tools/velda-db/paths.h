// Paths as velda-db takes them: a local one ("COMPANY/A01/EMPLOYEE.adt") or a server path
// ("postgresql://[user@]host[:port]/DATABASE[/FOLDER/...][?name=value&...]"), whose folder part
// follows the database and whose parameters come last. The engine parses server paths; the tool
// only splits and joins them, keeping the parameters at the end, and hides their passwords.
#ifndef VELDA_TOOLS_PATHS_H
#define VELDA_TOOLS_PATHS_H

#include <string>

namespace veldadb {

// Whether the path begins with postgresql:// or postgres:// (in any case).
bool IsServerPath(const std::string& path);

// Whether the path ends with "/" or "\": it names a folder to which names are added. On a server
// path the parameters do not count ("postgresql://h/velda/?sslmode=require" ends with one).
bool EndsWithSeparator(const std::string& path);

// A name added to a folder: "folder/name", the separator not doubled; on a server path the name
// goes before the parameters.
std::string JoinPath(const std::string& folder, const std::string& name);

// A table path as the user gives it: the folder part and the name, ".adt" optional. The folder
// part of a server path is everything up to the last separator after the database, with the
// path's parameters ("postgresql://h/velda/A01/T?sslmode=require" gives
// "postgresql://h/velda/A01?sslmode=require" and "T"); a server path that names only a database
// has no name ("").
struct TablePath {
    std::string folder;
    std::string name;
};
TablePath SplitTablePath(const std::string& path);

// The text with the password of every server path in it shown as *** (the user part after the
// first ":", and the values of password= parameters): for every path the tool prints.
std::string Shown(const std::string& text);

}  // namespace veldadb

#endif
