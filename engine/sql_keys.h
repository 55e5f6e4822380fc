// Raw keys for attaching encrypted tables to a statement's SQLite connection. Internal to engine/.
//
// SQLCipher derives a page key from a password with PBKDF2 (64,000 rounds of HMAC-SHA1 over the
// 16-byte salt at the start of the encrypted file): about 30 to 48 ms at every ATTACH ... KEY
// 'password'. Given the derived key as x'...' instead, the attach costs about 1 ms. So the key of
// each encrypted file is derived once per process and password and kept in memory, with a salted
// hash of the password that produced it (never the password itself); a re-encrypted file has a
// new salt and gets a new key. The salt is read through an SQLite connection of its own, never a
// descriptor outside SQLite, which could drop this process's SQLite locks on the file.
#ifndef VELDA_ENGINE_SQL_KEYS_H
#define VELDA_ENGINE_SQL_KEYS_H

#include <string>

#include "engine/ace.h"
#include "engine/secret.h"

namespace engine::sqlkeys {

// The key literal ("x'<64 hex digits>'") for the encrypted file `rowsFile` and the password.
// Whether the password is right is not known here: the attach tells.
UNSIGNED32 rawKey(const std::string& rowsFile, const Secret& password, Secret& keyLiteral);

}  // namespace engine::sqlkeys

#endif
