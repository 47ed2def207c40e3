#pragma once
// Makes each screenshot's thumbnail once and keeps it in the store: soon
// after the upload on a small pool of its own (picture decoding never runs on
// the connection threads), or at the latest when a page first asks for it.
// After an upload it decodes the bytes the upload brought along, so the
// store is not asked for the picture it has just been given.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "store/Store.h"

namespace snapora::server {

class ThumbnailMaker {
public:
    // threads 0: made on the calling thread (tests and fuzzing). At most
    // queueLimit waiting, and pictures brought along of at most heldBytes in all.
    ThumbnailMaker(Store& store, unsigned threads, std::size_t queueLimit = 256,
                   std::size_t heldBytes = 64 * 1024 * 1024);
    ~ThumbnailMaker();
    ThumbnailMaker(const ThumbnailMaker&) = delete;
    ThumbnailMaker& operator=(const ThumbnailMaker&) = delete;

    // Makes it soon, from `picture` (the stored picture's bytes) if given;
    // when the queue is full, the first request will.
    void Prepare(const Screenshot& screenshot, std::string picture = {});
    // The kept thumbnail, or one made now on the pool while the caller waits;
    // nullopt when the picture cannot be read (or the pool took too long).
    std::optional<std::string> Get(const Screenshot& screenshot);

private:
    using Result = std::shared_future<std::optional<std::string>>;
    struct Job {
        Screenshot screenshot;
        std::promise<std::optional<std::string>> promise;
        std::string picture;  // empty: read from the store
    };

    Result Schedule(const Screenshot& screenshot, bool urgent, std::string picture = {});  // mutex held
    std::optional<std::string> Make(const Screenshot& screenshot, const std::string& picture = {});
    void Run();

    Store& store_;
    const std::size_t queueLimit_, heldLimit_;
    std::size_t held_ = 0;  // bytes of the pictures waiting in the queue
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    std::map<std::int64_t, Result> inFlight_;  // by screenshot id: one making at a time
    std::set<std::int64_t> unreadable_;        // tried once this run, not again
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace snapora::server
