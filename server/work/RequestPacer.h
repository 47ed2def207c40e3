#pragma once
// Slows down an address that sends requests faster than anyone honest does.
// Each address has a bucket of requests that refills at a steady rate; a
// request that finds it empty waits a second before it is served, its
// connection parked meanwhile at no cost. A flood of cheap requests from one
// address then takes no more of the processor than the rate allows, and
// leaves it to everyone else. (Per process, like the connection limits.)

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace snapora::server {

struct PaceLimits {
    double perSecond = 100;  // requests an address may send, on average
    double burst = 200;      // and at once
    std::chrono::milliseconds pause{1000};
};

class RequestPacer {
public:
    using Clock = std::chrono::steady_clock;
    explicit RequestPacer(PaceLimits limits);
    ~RequestPacer();
    RequestPacer(const RequestPacer&) = delete;
    RequestPacer& operator=(const RequestPacer&) = delete;

    // Takes one request from the address's bucket; false when it was empty.
    bool Admit(const std::string& address, Clock::time_point now = Clock::now());
    // Runs `resume` once the pause is over (at once after Stop).
    void Later(std::function<void()> resume);
    // Runs every waiting resume now; later ones run at once.
    void Stop();

private:
    struct Bucket {
        double tokens;
        Clock::time_point filled;
    };
    void Run();

    PaceLimits limits_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, Bucket> buckets_;
    std::deque<std::pair<Clock::time_point, std::function<void()>>> waiting_;  // in order of time
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace snapora::server
