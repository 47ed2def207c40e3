#include "work/WorkPool.h"

#include <pthread.h>

#include <algorithm>

namespace snapora::server {

WorkPool::WorkPool(PoolLimits limits, const char* name) : limits_(limits) {
    for (unsigned i = 0; i < std::max(1u, limits_.threads); ++i) {
        threads_.emplace_back([this] { Work(); });
        ::pthread_setname_np(threads_.back().native_handle(), name);
    }
}

WorkPool::~WorkPool() { Stop(); }

bool WorkPool::Submit(const std::string& key, std::function<void()> job) {
    if (!Reserve(key)) return false;
    Run(key, std::move(job));
    return true;
}

bool WorkPool::Reserve(const std::string& key) {
    std::lock_guard lock(mutex_);
    unsigned& share = perKey_[key];
    if (stopping_ || queue_.size() + reserved_ >= limits_.queue || share >= limits_.perKey) {
        if (share == 0) perKey_.erase(key);
        return false;
    }
    ++share;
    ++reserved_;
    return true;
}

void WorkPool::Run(const std::string& key, std::function<void()> job) {
    bool stopping = false;
    {
        std::lock_guard lock(mutex_);
        --reserved_;
        queue_.push_back(Job{key, std::move(job)});
        stopping = stopping_;
    }
    if (stopping) ready_.notify_all();  // the others may end once this is taken
    else ready_.notify_one();
}

void WorkPool::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && threads_.empty()) return;
        stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

void WorkPool::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ready_.wait(lock, [this] { return (stopping_ && reserved_ == 0) || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and nothing left to run
        Job job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        job.run();
        job.run = nullptr;  // whatever it held goes before the count does
        lock.lock();
        if (--perKey_[job.key] == 0) perKey_.erase(job.key);
    }
}

}  // namespace snapora::server
