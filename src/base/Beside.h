#pragma once
// Work for a second processor, run on one thread kept for it. Starting a
// thread for each step of the size ladder cost about 50 microseconds here and
// about 4 ms under Wine, as much as a step itself; the kept thread is started
// on first use and then waits, idle, until the process ends.

#include <functional>
#include <future>

namespace snapora {

class Beside {
public:
    Beside() = default;  // nothing running
    // Runs `job` on the kept thread, after any job given to it before; at once
    // when called from that thread itself (a job never waits for itself).
    explicit Beside(std::function<void()> job);
    Beside(Beside&& other) noexcept = default;
    Beside& operator=(Beside&& other) noexcept;  // waits for its own job first
    ~Beside();                                   // waits for the job

    bool Running() const { return done_.valid(); }
    // Waits for the job and rethrows what it threw; nothing is running afterwards.
    void Wait();

private:
    std::future<void> done_;
};

}  // namespace snapora
