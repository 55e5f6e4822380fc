// The files of an encrypted table beside its table file, and their upkeep. Internal to engine/.
//
// An encrypted table is its table file (structure only, plaintext, marked "encrypted" in
// velda_table) and its companion "<file>.rows" (SQLCipher: rows, index tags, auto-increment
// counters). Encrypting and decrypting build the new form under temporary names
// ("<file>.rows-new", "<file>.table-new"), make them durable, and switch by renaming the new
// table file over the old one: that rename is the moment the table changes form. Whatever a crash
// leaves beside the table (temporary files, a companion of a plain table) is removed at the next
// open while nobody has the table open.
#ifndef VELDA_ENGINE_ENCRYPTION_H
#define VELDA_ENGINE_ENCRYPTION_H

#include <string>
#include <vector>

namespace engine::encryption {

std::string companionOf(const std::string& tableFile);
std::string newCompanionOf(const std::string& tableFile);
std::string newTableOf(const std::string& tableFile);

// Every file that belongs to a table besides the table file, its -wal and -shm and its lock file:
// the companion and the temporary files of an unfinished change of form, with SQLite's journals.
std::vector<std::string> companionFiles(const std::string& tableFile);

// Removes an SQLite database file with its journal, WAL and shared-memory files; false (errno
// set) when one exists and cannot be removed.
bool removeDatabase(const std::string& path);

// Makes renames and removals in the folder durable.
bool syncFolder(const std::string& folder);

}  // namespace engine::encryption

#endif
