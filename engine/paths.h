// Paths as the engine takes them: "\" and "/" both separate parts, names resolve exactly first
// and then without regard to case, and a table name without an extension gets ".adt".
// Internal to engine/.
#ifndef VELDA_ENGINE_PATHS_H
#define VELDA_ENGINE_PATHS_H

#include <string>

namespace engine::paths {

// Both separators become "/"; runs of separators collapse (a leading "//" stays one "/").
std::string normalise(const std::string& path);

// Joins a folder and a name; an absolute name is returned as it is.
std::string join(const std::string& folder, const std::string& name);

bool isAbsolute(const std::string& path);
bool hasSeparator(const std::string& name);

// The last part of a path and everything before it ("" when there is no folder part).
std::string fileName(const std::string& path);
std::string folderOf(const std::string& path);

// Whether the upper-cased path contains ".ADD" anywhere.
bool namesDictionary(const std::string& path);

// The name with ".adt" added when its last part has no extension; a server path's parameters
// ("?…") stay at its end and are no part of the name.
std::string withTableExtension(const std::string& name);

// Resolves each part of the path: an existing part as written, else the one entry of its folder
// whose name matches without regard to case. Parts that exist in neither form are kept as
// written, so the result is where a new file of that name would go.
std::string resolve(const std::string& path);

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);

}  // namespace engine::paths

#endif
