// Raw keys of encrypted rows files, derived once per process and password. Internal to engine/.
//
// SQLCipher derives a page key from a password with PBKDF2 (64,000 rounds of HMAC-SHA1 over the
// 16-byte salt at the start of the encrypted file): about 30 to 48 ms at every open or
// ATTACH ... KEY 'password'. Given the derived key as x'...' instead, opening costs about 1 ms.
// So the key of each encrypted file is derived once per process and password and kept in
// memory, with a salted hash of the password that produced it (never the password itself); a
// re-encrypted file has a new salt and gets a new key. Opening a table's rows and attaching them
// to a statement's connection both take their keys here. Whether the password is right is not
// known here: the first read with the key tells.
#ifndef VELDA_ENGINE_SQL_KEYS_H
#define VELDA_ENGINE_SQL_KEYS_H

#include <string>

#include "engine/ace.h"
#include "engine/secret.h"
#include "engine/sqlite/sqlite.h"

namespace engine::sqlkeys {

// The key literal ("x'<64 hex digits>'") for the encrypted file `rowsFile` and the password. The
// salt is read through an SQLite connection of its own, never a descriptor outside SQLite, which
// could drop this process's SQLite locks on the file.
[[nodiscard]] UNSIGNED32 rawKey(const std::string& rowsFile, const Secret& password,
                                Secret& keyLiteral);
// The same for `rowsFile` open in `db` as "main" and not yet keyed: the salt is read through
// that connection's file.
[[nodiscard]] UNSIGNED32 rawKey(const sql::Database& db, const std::string& rowsFile,
                                const Secret& password, Secret& keyLiteral);
// The key literal for a new encrypted file `rowsFile` ("x'<64 hex key><32 hex salt>'", which
// makes SQLCipher write that salt): a fresh random salt, its key derived and kept as for an
// existing file, so that opening the file afterwards derives nothing.
[[nodiscard]] UNSIGNED32 newFileKey(const std::string& rowsFile, const Secret& password,
                                    Secret& keyLiteral);

// Forgets every derived key (for tests: the next open derives again).
void forgetAll();
// How many keys have been derived in this process (for tests).
unsigned derivations();

}  // namespace engine::sqlkeys

#endif
