#include "auth/LoginThrottle.h"

#include <algorithm>

#include "limits/RateLimits.h"

namespace snapora::server {

// User names compare without ASCII case, as the accounts table does.
std::string LoginThrottle::PairKey(const std::string& userName, const std::string& address) const {
    std::string name = userName.substr(0, 256);
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return "login-failed|" + AddressKey(address) + "|" + name;
}

bool LoginThrottle::Allowed(const std::string& userName, const std::string& address, std::int64_t now) {
    const std::int64_t since = now - limits_.window;
    return store_.Counted("login-failed|" + AddressKey(address), since) < limits_.perAddress &&
           store_.Counted(PairKey(userName, address), since) < limits_.perAccountAndAddress;
}

void LoginThrottle::Failed(const std::string& userName, const std::string& address, std::int64_t now) {
    store_.Count("login-failed|" + AddressKey(address), 1, now);
    store_.Count(PairKey(userName, address), 1, now);
}

void LoginThrottle::Succeeded(const std::string& userName, const std::string& address) {
    store_.Forget(PairKey(userName, address));
}

}  // namespace snapora::server
