#pragma once
// Slows down password guessing without locking an account's owner out:
// failed logins are counted per account and address together, and per
// address; past either limit, further attempts from there are refused before
// any password is checked, until old failures age out. The owner, from any
// other address, is never refused. The counts live in the store, shared by
// every instance.

#include <cstdint>
#include <string>

#include "store/Store.h"

namespace snapora::server {

struct ThrottleLimits {
    int perAccountAndAddress = 5;  // failures per window for one user name from one address
    int perAddress = 20;           // failures per window from one address, whatever the names
    std::int64_t window = 600;     // seconds
};

class LoginThrottle {
public:
    explicit LoginThrottle(Store& store, ThrottleLimits limits = {}) : store_(store), limits_(limits) {}

    bool Allowed(const std::string& userName, const std::string& address, std::int64_t now);
    void Failed(const std::string& userName, const std::string& address, std::int64_t now);
    // A successful login clears the failures of its name and address (not the address's own).
    void Succeeded(const std::string& userName, const std::string& address);

private:
    std::string PairKey(const std::string& userName, const std::string& address) const;

    Store& store_;
    ThrottleLimits limits_;
};

}  // namespace snapora::server
