#pragma once
// Makes each screenshot's thumbnail once and keeps it in the store: on a
// small pool of its own (picture decoding never runs on the connection
// threads) once uploads have paused for a moment, or at the latest when a
// page first asks for it. While uploads keep coming, their answers have the
// processors: the thumbnails wait, and those beyond the queue's limit are
// made when first asked for.
// After an upload it starts from the pixels the upload's check decoded, so
// the picture is neither read back from the store nor decoded twice.

#include <chrono>
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

#include "imaging/ScaledDecode.h"
#include "store/Store.h"

namespace snapora::server {

class ThumbnailMaker {
public:
    // threads 0: made on the calling thread (tests and fuzzing). At most
    // queueLimit waiting, and decoded pixels brought along of at most heldBytes in all.
    ThumbnailMaker(Store& store, unsigned threads, std::size_t queueLimit = 256,
                   std::size_t heldBytes = 64 * 1024 * 1024,
                   std::chrono::milliseconds quietFor = std::chrono::milliseconds(100));
    ~ThumbnailMaker();
    ThumbnailMaker(const ThumbnailMaker&) = delete;
    ThumbnailMaker& operator=(const ThumbnailMaker&) = delete;

    // Makes it once no upload has been prepared for `quietFor`, from the
    // upload's decoded pixels if given (otherwise from the stored picture);
    // when the queue is full, the first request will.
    void Prepare(const Screenshot& screenshot, ScaledPicture decoded = {});
    // The kept thumbnail, or one made now on the pool while the caller waits;
    // nullopt when the picture cannot be read (or the pool took too long).
    std::optional<std::string> Get(const Screenshot& screenshot);

private:
    using Result = std::shared_future<std::optional<std::string>>;
    struct Job {
        Screenshot screenshot;
        std::promise<std::optional<std::string>> promise;
        ScaledPicture decoded;  // no pixels: read from the store
        bool urgent = false;    // a page waits for it
    };

    Result Schedule(const Screenshot& screenshot, bool urgent, ScaledPicture decoded = {});  // mutex held
    std::optional<std::string> Make(const Screenshot& screenshot, const ScaledPicture& decoded = {});
    void Run();

    Store& store_;
    const std::size_t queueLimit_, heldLimit_;
    const std::chrono::milliseconds quietFor_;
    std::chrono::steady_clock::time_point lastPrepared_{};
    std::size_t held_ = 0;  // bytes of the pixels waiting in the queue
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    std::map<std::int64_t, Result> inFlight_;  // by screenshot id: one making at a time
    std::set<std::int64_t> unreadable_;        // tried once this run, not again
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace snapora::server
