#pragma once
// Slows down password guessing: failed logins are counted per account and per
// client address in a sliding window; past the limit, further attempts are
// refused before any password is checked, until old failures age out.

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace snapora::server {

struct ThrottleLimits {
    int perAccount = 5;        // failures per window for one user name
    int perAddress = 20;       // failures per window from one address
    std::int64_t window = 600; // seconds
};

class LoginThrottle {
public:
    explicit LoginThrottle(ThrottleLimits limits = {}) : limits_(limits) {}

    bool Allowed(const std::string& userName, const std::string& address, std::int64_t now);
    void Failed(const std::string& userName, const std::string& address, std::int64_t now);
    // A successful login clears the account's count (not the address's).
    void Succeeded(const std::string& userName);

private:
    void Forget(std::deque<std::int64_t>& times, std::int64_t now) const;
    std::string AccountKey(const std::string& userName) const;

    ThrottleLimits limits_;
    std::mutex mutex_;
    std::map<std::string, std::deque<std::int64_t>> accounts_, addresses_;
};

}  // namespace snapora::server
