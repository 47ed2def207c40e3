#pragma once
// Work for a second processor, run on one thread kept for it. Starting and
// joining a thread for each step of the size ladder cost 65-80 microseconds
// natively and about 4 ms under Wine, as much as a step itself; the kept
// thread is started on first use and then waits, idle, until the process
// ends. Where threads have processor sets of their own (Linux), it keeps its
// creator's: the ladder gives it work only when two processors are usable.

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
