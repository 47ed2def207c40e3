#pragma once
// What the store keeps. Texts are UTF-8; times are seconds since the epoch.

#include <cstdint>
#include <optional>
#include <string>

namespace snapora::server {

struct Screenshot {
    std::int64_t id = 0;
    std::string name;         // the address part: http://HOST/NAME
    std::string fileKey;      // the picture file's own name, chosen by the server
    std::string description;
    std::int64_t uploadedAt = 0;
    std::optional<std::int64_t> accountId;
    std::string clientHash;   // the uploading client's cookie, hashed; for anonymous renames
    std::optional<std::int64_t> sessionId;
    std::int64_t size = 0;
    int width = 0, height = 0;
};

struct NewScreenshot {
    std::string description;
    std::optional<std::int64_t> accountId;
    std::string clientHash;
    std::optional<std::int64_t> sessionId;
    std::int64_t uploadedAt = 0;
    int width = 0, height = 0;
};

// What the store records of an upload before it adds the id, name, key and size.
inline Screenshot RecordOf(const NewScreenshot& n) {
    Screenshot r;
    r.description = n.description;
    r.uploadedAt = n.uploadedAt;
    r.accountId = n.accountId;
    r.clientHash = n.clientHash;
    r.sessionId = n.sessionId;
    r.width = n.width;
    r.height = n.height;
    return r;
}

struct Account {
    std::int64_t id = 0;
    std::string userName;
    std::string passwordHash;  // libsodium's Argon2id string
    std::int64_t createdAt = 0;
    bool disabled = false;     // set by the operator: no login, no upload under it
};

struct StoreTotals {
    std::int64_t screenshots = 0;
    std::int64_t bytes = 0;  // of the pictures as uploaded
};

struct Session {
    std::int64_t id = 0;
    std::string name;
    std::int64_t createdAt = 0;
    std::int64_t lastActive = 0;
    std::string ownerHash;                    // the opening client's cookie, hashed
    std::optional<std::int64_t> ownerAccount; // the account its owner uploads with, once known
};

}  // namespace snapora::server
