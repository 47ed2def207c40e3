#include "auth/Passwords.h"

#include <sodium.h>

#include <stdexcept>

namespace snapora::server {

void StartCrypto() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium could not be started");
}

std::string HashPassword(std::string_view password) {
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("hashing a password ran out of memory");
    return hash;
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

const std::string& DummyHash() {
    static const std::string hash = [] {
        unsigned char secret[32];
        randombytes_buf(secret, sizeof secret);
        return HashPassword(std::string_view(reinterpret_cast<char*>(secret), sizeof secret));
    }();
    return hash;
}

std::string KeyedHash(std::string_view key, std::string_view text) {
    unsigned char digest[32];
    unsigned char keyBytes[crypto_generichash_KEYBYTES];
    crypto_generichash(keyBytes, sizeof keyBytes, reinterpret_cast<const unsigned char*>(key.data()), key.size(),
                       nullptr, 0);
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                       keyBytes, sizeof keyBytes);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a.empty() || sodium_memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace snapora::server
