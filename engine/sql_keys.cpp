#include "engine/sql_keys.h"

#include <openssl/evp.h>
#include <sodium.h>

#include <array>
#include <map>
#include <mutex>

#include "engine/last_error.h"
#include "engine/sqlite.h"

namespace engine::sqlkeys {

namespace {

constexpr int kSaltSize = 16;
constexpr int kKeySize = 32;
constexpr int kRounds = 64000;  // SQLCipher 3's default

struct Derived {
    std::array<unsigned char, kSaltSize> fileSalt{};
    std::array<unsigned char, 32> hashSalt{};
    std::array<unsigned char, 32> passwordHash{};
    Secret literal;
};

std::mutex& cacheMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, Derived>& cache() {
    static std::map<std::string, Derived> c;
    return c;
}

void hashPassword(const Secret& password, const unsigned char* salt, unsigned char* out) {
    crypto_generichash(out, 32, reinterpret_cast<const unsigned char*>(password.data()),
                       static_cast<unsigned long long>(password.size()), salt, 32);
}

UNSIGNED32 readSalt(const std::string& rowsFile, std::array<unsigned char, kSaltSize>& salt) {
    sql::Database db;
    if (db.open(rowsFile, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX) != SQLITE_OK)
        return fail(AE_IO_ERROR, "Could not open the rows of the encrypted table " + rowsFile +
                                     ": " + db.errorText() + ".");
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods ||
        file->pMethods->xRead(file, salt.data(), kSaltSize, 0) != SQLITE_OK)
        return fail(AE_NOT_A_TABLE, "The rows file " + rowsFile +
                                        " of an encrypted table is damaged: it has no salt.");
    return AE_SUCCESS;
}

}  // namespace

UNSIGNED32 rawKey(const std::string& rowsFile, const Secret& password, Secret& keyLiteral) {
    std::array<unsigned char, kSaltSize> salt{};
    if (UNSIGNED32 rc = readSalt(rowsFile, salt)) return rc;
    std::lock_guard lock(cacheMutex());
    auto it = cache().find(rowsFile);
    if (it != cache().end() && it->second.fileSalt == salt) {
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
                               kKeySize, key) != 1)
        return fail(AE_INTERNAL,
                    "Could not derive the key of the encrypted table " + rowsFile + ".");
    char hex[2 * kKeySize + 1];
    sodium_bin2hex(hex, sizeof hex, key, kKeySize);
    sodium_memzero(key, sizeof key);
    std::string literal = "x'" + std::string(hex) + "'";
    sodium_memzero(hex, sizeof hex);
    Derived entry;
    entry.fileSalt = salt;
    randombytes_buf(entry.hashSalt.data(), entry.hashSalt.size());
    hashPassword(password, entry.hashSalt.data(), entry.passwordHash.data());
    entry.literal = Secret(literal);
    sodium_memzero(literal.data(), literal.size());
    keyLiteral = entry.literal;
    cache()[rowsFile] = std::move(entry);
    return AE_SUCCESS;
}

}  // namespace engine::sqlkeys
