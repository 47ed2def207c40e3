#pragma once
// Who is waiting for news of which topic (a session's id). Handlers call
// Changed() after an upload lands; open event streams subscribe and are woken.
// With several server instances a relay carries each change to the others.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace snapora::server {

// Carries changes between the instances that share one store.
class ChangeRelay {
public:
    virtual ~ChangeRelay() = default;
    // Tells the other instances; never throws (a change it cannot pass on
    // reaches their pages with their next keep-alive look).
    virtual void Publish(std::int64_t topic) = 0;
};

class ChangeBoard {
public:
    using Waker = std::function<void()>;

    int Subscribe(std::int64_t topic, Waker waker);
    void Unsubscribe(int subscription);
    // A change made here: wakes this instance's subscribers and passes it on.
    void Changed(std::int64_t topic);
    // A change another instance made (from the relay): wakes only this one's.
    void ChangedElsewhere(std::int64_t topic);
    // Set before serving, cleared before the relay goes.
    void SetRelay(ChangeRelay* relay);
    // Wakes every subscriber (keep-alive and shutdown).
    void WakeAll();
    std::size_t Subscribers() const;

private:
    struct Entry {
        std::int64_t topic;
        Waker waker;
    };
    mutable std::mutex mutex_;
    std::map<int, Entry> entries_;
    int next_ = 1;
    std::atomic<ChangeRelay*> relay_{nullptr};
};

}  // namespace snapora::server
