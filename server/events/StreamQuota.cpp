#include "events/StreamQuota.h"

namespace snapora::server {

namespace {

template <class Key>
void Decrement(std::map<Key, unsigned>& counts, const Key& key) {
    auto it = counts.find(key);
    if (it != counts.end() && --it->second == 0) counts.erase(it);
}

template <class Key>
unsigned CountOf(const std::map<Key, unsigned>& counts, const Key& key) {
    auto it = counts.find(key);
    return it == counts.end() ? 0 : it->second;
}

}  // namespace

bool StreamQuota::Admit(const std::string& address, std::int64_t topic) {
    std::lock_guard lock(mutex_);
    if (total_ >= limits_.total || CountOf(perAddress_, address) >= limits_.perAddress ||
        CountOf(perTopic_, topic) >= limits_.perTopic)
        return false;
    ++total_;
    ++perAddress_[address];
    ++perTopic_[topic];
    return true;
}

void StreamQuota::Release(const std::string& address, std::int64_t topic) {
    std::lock_guard lock(mutex_);
    if (total_ > 0) --total_;
    Decrement(perAddress_, address);
    Decrement(perTopic_, topic);
}

unsigned StreamQuota::Open() const {
    std::lock_guard lock(mutex_);
    return total_;
}

}  // namespace snapora::server
