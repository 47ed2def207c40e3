#pragma once
// A timer that ticks either from a message-loop timer of a hidden window of
// its own (on the main thread) or from a worker thread of its own, which
// sleeps for the interval and then hands the tick to the main thread (or,
// with ThreadSafe, runs it itself). The owner may discard the timer from
// inside its own tick in both modes.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/Platform.h"

namespace snapora {

class Application;
class Control;
class TTimerThread;

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The value SetThreadPriority receives for a priority.
int PlatformThreadPriority(TThreadPriority priority);

// The system has no timer left.
class EOutOfResources : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a timer needs from its surroundings: hidden windows, the clock, thread
// priorities (the platform) and the main thread with the general error handler
// (the application).
struct TimerServices {
    Platform* platform = nullptr;
    Application* app = nullptr;
    bool Complete() const { return platform && app; }
};

class TTimerEx {
public:
    // Ends with one update: the timer window exists, nothing ticks yet.
    TTimerEx(Control* owner, TimerServices services);
    ~TTimerEx();
    TTimerEx(const TTimerEx&) = delete;
    TTimerEx& operator=(const TTimerEx&) = delete;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    std::uint32_t Interval() const { return interval_; }
    void SetInterval(std::uint32_t milliseconds);
    bool Threaded() const { return threaded_; }
    void SetThreaded(bool value);
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority value);
    // Read by the worker on every pass.
    bool ThreadSafe() const { return threadSafe_; }
    void SetThreadSafe(bool value);

    using TimerEvent = std::function<void(TTimerEx& sender)>;
    const TimerEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TimerEvent handler);  // assigning a handler starts the ticks

    Control* Owner() const { return owner_; }
    // The hidden window (unthreaded mode) and whether a worker exists, for tests.
    const HiddenWindow* TimerWindow() const { return window_.get(); }
    bool HasWorker() const { return worker_ != nullptr; }

    // One tick: OnTimer, if enabled and assigned. The timer may be gone when it returns.
    void Tick();

private:
    void UpdateTimer();
    void WindowTick();
    friend class TTimerThread;

    Control* owner_;
    TimerServices services_;
    bool enabled_ = true;
    std::uint32_t interval_ = 1000;
    bool threaded_ = false;
    TThreadPriority priority_ = tpNormal;
    bool threadSafe_ = false;
    TimerEvent onTimer_;
    std::unique_ptr<HiddenWindow> window_;
    std::shared_ptr<TTimerThread> worker_;
};

}  // namespace snapora
