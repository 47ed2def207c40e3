#pragma once
// Closes connections too slow to be anything but an attempt to hold them: a
// request head (or the next one on a kept-alive connection) not complete
// within its deadline, a body arriving slower than the minimum rate. The
// library's own timeout only counts idle time, so a client trickling one
// byte every few seconds would never be closed by it.
// The watching thread also gives freed memory back to the system now and then.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace snapora::server {

struct WatchLimits {
    unsigned headSeconds = 10;      // for the request line and headers
    std::uint64_t minBodyRate = 4096;  // bytes per second, on average, once headSeconds have passed
};

class ConnectionWatch {
public:
    using Logger = std::function<void(const std::string&)>;
    ConnectionWatch(WatchLimits limits, Logger log);
    ~ConnectionWatch();
    ConnectionWatch(const ConnectionWatch&) = delete;
    ConnectionWatch& operator=(const ConnectionWatch&) = delete;

    // A connection's life: opened, then for each request its head, maybe a
    // body, the answer (no deadline), and the next head; closed. The socket
    // stays valid until Closed, which the library calls before closing it.
    int Opened(int fd, std::string address);
    void AwaitHead(int id);
    void BodyStarted(int id);
    void BodyReceived(int id, std::uint64_t bytes);
    void Answering(int id);
    void Closed(int id);

private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Head, Body, Answer };
    struct Entry {
        int fd;
        std::string address;
        Phase phase = Phase::Head;
        Clock::time_point since = Clock::now();
        std::uint64_t bodyBytes = 0;
        bool closing = false;
    };
    void Set(int id, Phase phase);
    void Run();

    WatchLimits limits_;
    Logger log_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<int, Entry> entries_;
    int next_ = 1;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace snapora::server
