#include "auth/LoginThrottle.h"

#include <algorithm>

namespace snapora::server {

void LoginThrottle::Forget(std::deque<std::int64_t>& times, std::int64_t now) const {
    while (!times.empty() && now - times.front() >= limits_.window) times.pop_front();
}

// User names compare without ASCII case, as the accounts table does.
std::string LoginThrottle::AccountKey(const std::string& userName) const {
    std::string key = userName;
    std::transform(key.begin(), key.end(), key.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return key;
}

bool LoginThrottle::Allowed(const std::string& userName, const std::string& address, std::int64_t now) {
    std::lock_guard lock(mutex_);
    auto count = [&](auto& table, const std::string& key) -> int {
        auto it = table.find(key);
        if (it == table.end()) return 0;
        Forget(it->second, now);
        if (it->second.empty()) {
            table.erase(it);
            return 0;
        }
        return int(it->second.size());
    };
    return count(accounts_, AccountKey(userName)) < limits_.perAccount &&
           count(addresses_, address) < limits_.perAddress;
}

void LoginThrottle::Failed(const std::string& userName, const std::string& address, std::int64_t now) {
    std::lock_guard lock(mutex_);
    accounts_[AccountKey(userName)].push_back(now);
    addresses_[address].push_back(now);
    // Bounded memory under a flood of made-up names: drop whatever has aged out.
    if (accounts_.size() > 100000) {
        for (auto it = accounts_.begin(); it != accounts_.end();) {
            Forget(it->second, now);
            it = it->second.empty() ? accounts_.erase(it) : std::next(it);
        }
    }
}

void LoginThrottle::Succeeded(const std::string& userName) {
    std::lock_guard lock(mutex_);
    accounts_.erase(AccountKey(userName));
}

}  // namespace snapora::server
