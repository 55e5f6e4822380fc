#include "engine/password_hash.h"

#include <sodium.h>

namespace engine {

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// Hashes with the interactive limits: about 0.1 s and 64 MiB per connect on a desktop, which
// a login can afford and which makes guessing from a copied dictionary file expensive.
bool hashPassword(const std::string& password, std::string& hash) {
    if (!sodiumReady()) return false;
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return false;
    hash = out;
    return true;
}

bool verifyPassword(const std::string& hash, const std::string& password) {
    if (!sodiumReady()) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

bool isPasswordHash(const std::string& hash) {
    if (!sodiumReady() || hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
    return crypto_pwhash_str_needs_rehash(hash.c_str(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) == 0;
}

// A hash that no password given at login matches; verifying against it for an unknown user
// makes a wrong user name cost as much as a wrong password. It is built from random salt and
// digest with the limits hashPassword uses, not by hashing: computing a real hash on the first
// unknown name would make that first failure take twice as long as a known user's.
const std::string& decoyHash() {
    static const std::string hash = [] {
        unsigned char salt[crypto_pwhash_SALTBYTES], digest[32];
        randombytes_buf(salt, sizeof salt);
        randombytes_buf(digest, sizeof digest);
        char salt64[64], digest64[64];
        sodium_bin2base64(salt64, sizeof salt64, salt, sizeof salt,
                          sodium_base64_VARIANT_ORIGINAL_NO_PADDING);
        sodium_bin2base64(digest64, sizeof digest64, digest, sizeof digest,
                          sodium_base64_VARIANT_ORIGINAL_NO_PADDING);
        return std::string("$argon2id$v=19$m=") +
               std::to_string(crypto_pwhash_MEMLIMIT_INTERACTIVE / 1024) +
               ",t=" + std::to_string(crypto_pwhash_OPSLIMIT_INTERACTIVE) + ",p=1$" + salt64 + "$" +
               digest64;
    }();
    return hash;
}

}  // namespace engine
