#include "ops/Retention.h"

#include "handlers/Gallery.h"

namespace snapora::server {

namespace {
constexpr int Batch = 200;
constexpr std::int64_t Day = 24 * 3600;
}  // namespace

SweepResult SweepOldScreenshots(Context& context, int keepDays) {
    SweepResult result;
    const std::int64_t cutoff = context.Now() - keepDays * Day;
    for (;;) {
        std::vector<Screenshot> deleted = context.store.DeleteScreenshotsBefore(cutoff, Batch);
        result.screenshots += deleted.size();
        AnnounceDeleted(context, deleted);
        if (deleted.size() < std::size_t(Batch)) break;
    }
    result.sessions = context.store.RemoveEmptySessions(cutoff);
    return result;
}

Periodic::Periodic(std::chrono::seconds interval, std::function<void()> task)
    : thread_([this, interval, task = std::move(task)] {
          std::unique_lock lock(mutex_);
          while (!stopping_) {
              lock.unlock();
              task();
              lock.lock();
              wake_.wait_for(lock, interval, [this] { return stopping_; });
          }
      }) {}

Periodic::~Periodic() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

}  // namespace snapora::server
