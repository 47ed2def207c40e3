#pragma once
// Event streams held open by the HTTP adapter: each stream's connection is
// parked (suspended) while its source has nothing to say and resumed when its
// topic changes on the change board, or every few seconds for a keep-alive.
// Part of the adapter: only it and HttpServer.cpp know libmicrohttpd.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "events/ChangeBoard.h"
#include "events/StreamQuota.h"
#include "http/Response.h"

struct MHD_Connection;
struct MHD_Response;

namespace snapora::server {

class EventStreams {
public:
    // Each stream ends after `lifetimeSeconds`; the browser reconnects by itself.
    EventStreams(ChangeBoard& board, StreamLimits limits, unsigned lifetimeSeconds);
    ~EventStreams();

    // A response that reads `source` until the connection ends or the
    // stream's lifetime is over; nullptr when the caps allow no more streams
    // (for all, for `address`, or for the source's topic).
    MHD_Response* Open(std::shared_ptr<EventSource> source, MHD_Connection* connection, const std::string& address);
    // Every stream ends at its next read; parked ones are woken for it.
    void EndAll();
    // After EndAll, before the library stops: no connection may stay parked.
    void Finish();

    struct Stream;

private:
    void Wake(const std::shared_ptr<Stream>& stream);
    void ResumeQueued(std::unique_lock<std::mutex>& lock);
    void Run();
    static ssize_t Read(void* cls, std::uint64_t position, char* buffer, std::size_t max);
    static void Free(void* cls);

    ChangeBoard& board_;
    StreamQuota quota_;
    std::chrono::seconds lifetime_;
    std::atomic<bool> ending_{false};
    std::mutex mutex_;
    std::condition_variable signal_;
    std::deque<std::shared_ptr<Stream>> toWake_;
    bool threadEnds_ = false;
    std::thread thread_;  // resumes woken streams, never under the board's lock
};

}  // namespace snapora::server
