#pragma once
// A few threads for slow work (password hashing, picture decoding) with a
// short queue: work that finds the queue full, or whose key (the client's
// address) already has its share waiting or running, is refused at once
// rather than waiting behind everyone else.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace snapora::server {

struct PoolLimits {
    unsigned threads = 2;
    std::size_t queue = 16;  // waiting, not yet running
    unsigned perKey = 2;     // waiting or running for one key
};

class WorkPool {
public:
    // name: the threads' name in top -H and perf (at most 15 characters).
    WorkPool(PoolLimits limits, const char* name = "work");
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    // false when there is no room; the job then never runs.
    bool Submit(const std::string& key, std::function<void()> job);
    // The same in two steps, for a caller that must get ready in between:
    // Reserve takes a place for key or says no; Run fills a reserved place.
    bool Reserve(const std::string& key);
    void Run(const std::string& key, std::function<void()> job);
    // Runs what is already queued, then ends the threads; later submissions are refused.
    void Stop();

private:
    struct Job {
        std::string key;
        std::function<void()> run;
    };
    void Work();

    PoolLimits limits_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Job> queue_;
    std::map<std::string, unsigned> perKey_;
    std::size_t reserved_ = 0;  // places taken but not filled yet
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace snapora::server
