// Password hashes: salted, slow on purpose (libsodium's crypto_pwhash_str). Dictionary users'
// passwords and the check value that tells a wrong table password from a damaged rows file are
// kept as such hashes. Internal to engine/.
#ifndef VELDA_ENGINE_PASSWORD_HASH_H
#define VELDA_ENGINE_PASSWORD_HASH_H

#include <string>

namespace engine {

bool sodiumReady();
// False when the library cannot start or is out of memory.
bool hashPassword(const std::string& password, std::string& hash);
bool verifyPassword(const std::string& hash, const std::string& password);
// Whether a text is a hash hashPassword makes: the same algorithm and limits, so that a hash
// given from outside (a copied dictionary's) cannot make a login cost more than ours do.
bool isPasswordHash(const std::string& hash);
// A hash that no password matches and that costs as much to verify as a real one.
const std::string& decoyHash();

}  // namespace engine

#endif
