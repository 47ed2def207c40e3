#pragma once
// Argon2id password hashes (libsodium), and keyed hashes for tokens.

#include <string>
#include <string_view>

namespace snapora::server {

// Call once before anything else of libsodium; throws when it cannot start.
void StartCrypto();

// The self-describing Argon2id string; throws std::runtime_error when out of memory.
std::string HashPassword(std::string_view password);
bool VerifyPassword(const std::string& hash, std::string_view password);
// A hash of a password nobody knows, made once: checking against it takes as
// long as checking a real account, so an unknown name does not answer faster.
const std::string& DummyHash();

// A hex digest of text under a key: cookie tokens are kept only this way,
// and the CSRF field is the digest of the form cookie.
std::string KeyedHash(std::string_view key, std::string_view text);
bool SameText(std::string_view a, std::string_view b);  // in constant time for equal lengths

inline constexpr std::size_t MinPasswordLength = 6;
inline constexpr std::size_t MaxPasswordLength = 256;

}  // namespace snapora::server
