#pragma once
// Retention: screenshots older than the operator's limit are deleted in the
// background, pictures and records together, and the session pages that
// show them are told.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "handlers/Context.h"

namespace snapora::server {

struct SweepResult {
    std::size_t screenshots = 0;
    int sessions = 0;
};

// Deletes the screenshots uploaded more than keepDays days before now (in
// batches, so uploads wait for no long transaction), then the sessions that
// have been idle as long and hold none any more.
SweepResult SweepOldScreenshots(Context& context, int keepDays);

// Runs a task at once and then every interval on a thread of its own, until destroyed.
class Periodic {
public:
    Periodic(std::chrono::seconds interval, std::function<void()> task);
    ~Periodic();
    Periodic(const Periodic&) = delete;
    Periodic& operator=(const Periodic&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace snapora::server
