#pragma once
// Who is waiting for news of which topic (a session's id). Handlers call
// Changed() after an upload lands; open event streams subscribe and are woken.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace snapora::server {

class ChangeBoard {
public:
    using Waker = std::function<void()>;

    int Subscribe(std::int64_t topic, Waker waker);
    void Unsubscribe(int subscription);
    void Changed(std::int64_t topic);
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
};

}  // namespace snapora::server
