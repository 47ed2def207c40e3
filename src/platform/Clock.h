#pragma once

#include <cstdint>
#include <memory>

namespace snapora {

struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// A worker thread's wait: ends when its time is up or when another thread wakes it.
class WorkerSleep {
public:
    virtual ~WorkerSleep() = default;
    // Blocks the calling thread; true when the full time passed, false when woken.
    virtual bool Sleep(std::uint32_t milliseconds) = 0;
    // From any thread: ends the current sleep and every later one at once.
    virtual void Wake() = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime Now() = 0;  // the local date and time (GetLocalTime)
    // Milliseconds since the system started, wrapping at 2^32 (GetTickCount).
    virtual std::uint32_t TickCount() = 0;
    virtual std::unique_ptr<WorkerSleep> CreateWorkerSleep() = 0;
};

}  // namespace snapora
