#include "events/ChangeBoard.h"

namespace snapora::server {

int ChangeBoard::Subscribe(std::int64_t topic, Waker waker) {
    std::lock_guard lock(mutex_);
    int id = next_++;
    entries_.emplace(id, Entry{topic, std::move(waker)});
    return id;
}

void ChangeBoard::Unsubscribe(int subscription) {
    std::lock_guard lock(mutex_);
    entries_.erase(subscription);
}

void ChangeBoard::Changed(std::int64_t topic) {
    ChangedElsewhere(topic);
    if (ChangeRelay* relay = relay_) relay->Publish(topic);
}

// Wakers run under the lock, so none runs after its Unsubscribe has returned.
void ChangeBoard::ChangedElsewhere(std::int64_t topic) {
    std::lock_guard lock(mutex_);
    for (auto& [id, entry] : entries_)
        if (entry.topic == topic) entry.waker();
}

void ChangeBoard::SetRelay(ChangeRelay* relay) { relay_ = relay; }

void ChangeBoard::WakeAll() {
    std::lock_guard lock(mutex_);
    for (auto& [id, entry] : entries_) entry.waker();
}

std::size_t ChangeBoard::Subscribers() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace snapora::server
