#include "imaging/ThumbnailMaker.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "imaging/Thumbnail.h"

namespace snapora::server {

namespace {
constexpr auto LongestWait = std::chrono::seconds(10);
constexpr std::size_t MostRemembered = 10000;
}  // namespace

ThumbnailMaker::ThumbnailMaker(Store& store, unsigned threads, std::size_t queueLimit, std::size_t heldBytes,
                               std::chrono::milliseconds quietFor)
    : store_(store), queueLimit_(queueLimit), heldLimit_(heldBytes), quietFor_(quietFor) {
    for (unsigned i = 0; i < threads; ++i) {
        threads_.emplace_back([this] { Run(); });
        ::pthread_setname_np(threads_.back().native_handle(), "thumbnails");
    }
}

ThumbnailMaker::~ThumbnailMaker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    for (Job& job : queue_) job.promise.set_value(std::nullopt);
}

ThumbnailMaker::Result ThumbnailMaker::Schedule(const Screenshot& screenshot, bool urgent, ScaledPicture decoded) {
    auto running = inFlight_.find(screenshot.id);
    if (running != inFlight_.end()) {
        // A page waits for one still waiting for a pause: it goes first now.
        auto waiting = std::find_if(queue_.begin(), queue_.end(),
                                    [&](const Job& job) { return job.screenshot.id == screenshot.id; });
        if (urgent && waiting != queue_.end() && !waiting->urgent) {
            Job job = std::move(*waiting);
            queue_.erase(waiting);
            job.urgent = true;
            queue_.push_front(std::move(job));
            wake_.notify_one();
        }
        return running->second;
    }
    if (held_ + decoded.pixels.size() > heldLimit_) decoded = {};  // read from the store when its turn comes
    held_ += decoded.pixels.size();
    Job job{screenshot, {}, std::move(decoded), urgent};
    Result result = job.promise.get_future().share();
    inFlight_.emplace(screenshot.id, result);
    if (urgent)
        queue_.push_front(std::move(job));
    else
        queue_.push_back(std::move(job));
    wake_.notify_one();
    return result;
}

void ThumbnailMaker::Prepare(const Screenshot& screenshot, ScaledPicture decoded) {
    if (threads_.empty()) {
        Make(screenshot, decoded);
        return;
    }
    std::lock_guard lock(mutex_);
    lastPrepared_ = std::chrono::steady_clock::now();
    if (!stopping_ && queue_.size() < queueLimit_) Schedule(screenshot, false, std::move(decoded));
}

std::optional<std::string> ThumbnailMaker::Get(const Screenshot& screenshot) {
    if (std::optional<std::string> kept = store_.LoadThumbnail(screenshot)) return kept;
    if (threads_.empty()) return Make(screenshot);
    Result result;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || unreadable_.count(screenshot.id)) return std::nullopt;
        result = Schedule(screenshot, true);
    }
    if (result.wait_for(LongestWait) != std::future_status::ready) return std::nullopt;
    return result.get();
}

std::optional<std::string> ThumbnailMaker::Make(const Screenshot& screenshot, const ScaledPicture& decoded) {
    std::optional<std::string> thumbnail;
    if (!decoded.pixels.empty()) {
        thumbnail = EncodeThumbnail(decoded);  // just uploaded: nothing kept yet
    } else {
        if (std::optional<std::string> kept = store_.LoadThumbnail(screenshot)) return kept;  // made by an earlier run
        try {
            if (std::unique_ptr<PictureReader> stored = store_.OpenPicture(screenshot))
                thumbnail = MakeThumbnail(ReadWholePicture(*stored));
        } catch (const StoreError&) {
            return std::nullopt;  // not readable just now (the database away): not remembered as unreadable
        }
    }
    if (thumbnail) {
        try {
            store_.SaveThumbnail(screenshot, *thumbnail);
        } catch (const StoreError&) {
            // Served all the same; the next request tries to keep it again.
        }
    } else {
        std::lock_guard lock(mutex_);
        if (unreadable_.size() < MostRemembered) unreadable_.insert(screenshot.id);
    }
    return thumbnail;
}

void ThumbnailMaker::Run() {
    // Thumbnails wait for a free processor: on a busy machine the answers to uploads come first.
    ::setpriority(PRIO_PROCESS, ::gettid(), 10);
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        // Urgent jobs are at the front; the others wait for a pause in the uploads.
        const auto quietAt = lastPrepared_ + quietFor_;
        if (!queue_.front().urgent && std::chrono::steady_clock::now() < quietAt) {
            wake_.wait_until(lock, quietAt);
            continue;
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        held_ -= job.decoded.pixels.size();
        lock.unlock();
        std::optional<std::string> thumbnail;
        try {
            thumbnail = Make(job.screenshot, job.decoded);
        } catch (const std::exception&) {
            // A failing store: nothing to serve, the page falls back to the picture.
        }
        job.promise.set_value(std::move(thumbnail));
        lock.lock();
        inFlight_.erase(job.screenshot.id);
    }
}

}  // namespace snapora::server
