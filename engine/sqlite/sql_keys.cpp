#include "engine/sqlite/sql_keys.h"

#include <openssl/evp.h>
#include <sodium.h>

#include <array>
#include <map>
#include <mutex>

#include "engine/last_error.h"

namespace engine::sqlkeys {

namespace {

constexpr int kSaltSize = 16;
constexpr int kKeySize = 32;
constexpr int kRounds = 64000;  // SQLCipher 3's default

using Salt = std::array<unsigned char, kSaltSize>;

struct Derived {
    Salt fileSalt{};
    std::array<unsigned char, 32> hashSalt{};
    std::array<unsigned char, 32> passwordHash{};
    Secret literal;
};

struct Cache {
    std::mutex mutex;
    std::map<std::string, Derived> keys;
    unsigned derivations = 0;
};

Cache& cache() {
    static Cache c;
    return c;
}

void hashPassword(const Secret& password, const unsigned char* salt, unsigned char* out) {
    crypto_generichash(out, 32, reinterpret_cast<const unsigned char*>(password.data()),
                       static_cast<unsigned long long>(password.size()), salt, 32);
}

UNSIGNED32 noSalt(const std::string& rowsFile) {
    return fail(AE_NOT_A_TABLE,
                "The rows file " + rowsFile + " of an encrypted table is damaged: it has no salt.");
}

UNSIGNED32 readSalt(const sql::Database& db, const std::string& rowsFile, Salt& salt) {
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods ||
        file->pMethods->xRead(file, salt.data(), kSaltSize, 0) != SQLITE_OK)
        return noSalt(rowsFile);
    return AE_SUCCESS;
}

// The hex digits of `bytes` appended to `out`, the buffer wiped.
void appendHex(std::string& out, const unsigned char* bytes, size_t size) {
    char hex[2 * kKeySize + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, size);
    out.append(hex, 2 * size);
    sodium_memzero(hex, sizeof hex);
}

// The cached or newly derived key of the file with this salt; `withSalt` adds the salt to the
// literal for a file yet to be made.
UNSIGNED32 keyFor(const std::string& rowsFile, const Salt& salt, const Secret& password,
                  bool withSalt, Secret& keyLiteral) {
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    auto it = c.keys.find(rowsFile);
    if (!withSalt && it != c.keys.end() && it->second.fileSalt == salt) {
        unsigned char hash[32];
        hashPassword(password, it->second.hashSalt.data(), hash);
        bool same = sodium_memcmp(hash, it->second.passwordHash.data(), sizeof hash) == 0;
        sodium_memzero(hash, sizeof hash);
        if (same) {
            keyLiteral = it->second.literal;
            return AE_SUCCESS;
        }
    }
    unsigned char key[kKeySize];
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), password.size(), salt.data(), kSaltSize, kRounds,
                               kKeySize, key) != 1) {
        sodium_memzero(key, sizeof key);
        return fail(AE_INTERNAL,
                    "Could not derive the key of the encrypted table " + rowsFile + ".");
    }
    ++c.derivations;
    // Reserved in full, so that no reallocation leaves a copy of the key behind unwiped.
    std::string literal;
    literal.reserve(2 + 2 * kKeySize + 2 * kSaltSize + 1);
    literal = "x'";
    appendHex(literal, key, kKeySize);
    sodium_memzero(key, sizeof key);
    literal.push_back('\'');
    Derived entry;
    entry.fileSalt = salt;
    randombytes_buf(entry.hashSalt.data(), entry.hashSalt.size());
    hashPassword(password, entry.hashSalt.data(), entry.passwordHash.data());
    entry.literal = Secret(literal);
    if (withSalt) {
        literal.pop_back();
        appendHex(literal, salt.data(), kSaltSize);
        literal.push_back('\'');
        keyLiteral = Secret(literal);
    } else {
        keyLiteral = entry.literal;
    }
    sodium_memzero(literal.data(), literal.size());
    c.keys[rowsFile] = std::move(entry);
    return AE_SUCCESS;
}

}  // namespace

UNSIGNED32 rawKey(const std::string& rowsFile, const Secret& password, Secret& keyLiteral) {
    sql::Database db;
    if (db.open(rowsFile, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX) != SQLITE_OK)
        return fail(AE_IO_ERROR, "Could not open the rows of the encrypted table " + rowsFile +
                                     ": " + db.errorText() + ".");
    return rawKey(db, rowsFile, password, keyLiteral);
}

UNSIGNED32 rawKey(const sql::Database& db, const std::string& rowsFile, const Secret& password,
                  Secret& keyLiteral) {
    Salt salt{};
    if (UNSIGNED32 rc = readSalt(db, rowsFile, salt)) return rc;
    return keyFor(rowsFile, salt, password, false, keyLiteral);
}

UNSIGNED32 newFileKey(const std::string& rowsFile, const Secret& password, Secret& keyLiteral) {
    Salt salt{};
    randombytes_buf(salt.data(), salt.size());
    return keyFor(rowsFile, salt, password, true, keyLiteral);
}

void forgetAll() {
    std::lock_guard lock(cache().mutex);
    cache().keys.clear();
}

unsigned derivations() {
    std::lock_guard lock(cache().mutex);
    return cache().derivations;
}

}  // namespace engine::sqlkeys
