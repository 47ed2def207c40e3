#include "work/RequestPacer.h"

#include <algorithm>
#include <vector>

namespace snapora::server {

RequestPacer::RequestPacer(PaceLimits limits) : limits_(limits), thread_([this] { Run(); }) {}

RequestPacer::~RequestPacer() {
    Stop();
    thread_.join();
}

bool RequestPacer::Admit(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (buckets_.size() > 10000) {  // forget the addresses whose buckets are full again
        for (auto it = buckets_.begin(); it != buckets_.end();) {
            const double seconds = std::chrono::duration<double>(now - it->second.filled).count();
            it = it->second.tokens + seconds * limits_.perSecond >= limits_.burst ? buckets_.erase(it) : std::next(it);
        }
    }
    auto [it, fresh] = buckets_.try_emplace(address, Bucket{limits_.burst, now});
    Bucket& bucket = it->second;
    const double seconds = std::chrono::duration<double>(now - bucket.filled).count();
    bucket.tokens = std::min(limits_.burst, bucket.tokens + std::max(0.0, seconds) * limits_.perSecond);
    bucket.filled = now;
    if (bucket.tokens < 1) return false;
    bucket.tokens -= 1;
    return true;
}

void RequestPacer::Later(std::function<void()> resume) {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            waiting_.emplace_back(Clock::now() + limits_.pause, std::move(resume));
            wake_.notify_one();
            return;
        }
    }
    resume();
}

void RequestPacer::Stop() {
    std::deque<std::pair<Clock::time_point, std::function<void()>>> due;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        due.swap(waiting_);
    }
    wake_.notify_one();
    for (auto& [when, resume] : due) resume();
}

void RequestPacer::Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (waiting_.empty()) {
            wake_.wait(lock);
            continue;
        }
        if (wake_.wait_until(lock, waiting_.front().first) == std::cv_status::no_timeout) continue;
        std::vector<std::function<void()>> due;
        const auto now = Clock::now();
        while (!waiting_.empty() && waiting_.front().first <= now) {  // all wait equally long: kept in order
            due.push_back(std::move(waiting_.front().second));
            waiting_.pop_front();
        }
        lock.unlock();
        for (auto& resume : due) resume();
        lock.lock();
    }
}

}  // namespace snapora::server
