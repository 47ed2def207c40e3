#include "gif/TimerEx.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "ui/Application.h"

namespace snapora {

int PlatformThreadPriority(TThreadPriority priority) {
    static constexpr int kValues[] = {-15, -2, -1, 0, 1, 2, 15};
    return kValues[priority];
}

// The worker of threaded mode. It runs on a detached thread and owns itself
// through a shared pointer, so it outlives a timer that is discarded while the
// worker sleeps or waits for the main thread; once Terminate has returned it
// touches neither the timer nor the platform's clock and process again.
// Pausing is observed by the worker at its sleep and before its tick, never at
// an arbitrary point.
class TTimerThread : public std::enable_shared_from_this<TTimerThread> {
public:
    TTimerThread(TTimerEx& timer, const TimerServices& services)
        : timer_(&timer),
          app_(*services.app),
          backend_(services.app->GetBackend()),
          process_(services.platform->process),
          sleep_(services.platform->clock.CreateWorkerSleep()) {
        interval = timer.Interval();
        threadSafe = timer.ThreadSafe();
    }

    // Created paused: the thread waits until it is let run the first time.
    void Start() { std::thread([self = shared_from_this()] { self->Execute(); }).detach(); }

    void Pause() {
        std::lock_guard lock(mutex_);
        paused_ = true;
    }
    void Resume(TThreadPriority priority) {
        std::lock_guard lock(mutex_);
        priority_ = priority;
        paused_ = false;
        changed_.notify_all();
    }
    // Asks the worker to stop and lets it run to its end; from then on it no
    // longer reads the timer. Waits for a tick running on the worker, unless
    // the caller is that tick.
    void Terminate() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            paused_ = false;
            changed_.notify_all();
        }
        sleep_->Wake();
        {
            // The platform may go right after the timer: let a sleep or a
            // priority change in progress end first (woken, a sleep ends at once).
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !inPlatform_; });
        }
        std::lock_guard tick(tickMutex_);
        timer_ = nullptr;
    }

    std::atomic<std::uint32_t> interval{0};
    std::atomic<bool> threadSafe{false};

private:
    // Waits while paused; false once a stop was asked for. Applies a priority
    // handed over with the last resume.
    bool Checkpoint() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !paused_ || stop_; });
        if (stop_) return false;
        if (applied_ != priority_) {
            applied_ = priority_;
            inPlatform_ = true;
            lock.unlock();
            process_.SetCurrentThreadPriority(PlatformThreadPriority(*applied_));
            LeavePlatform();
        }
        return true;
    }

    // Sleeps for the interval; false when woken or asked to stop.
    bool SleepInterval() {
        {
            std::lock_guard lock(mutex_);
            if (stop_) return false;
            inPlatform_ = true;
        }
        const bool slept = sleep_->Sleep(interval.load());
        LeavePlatform();
        return slept;
    }

    void LeavePlatform() {
        std::lock_guard lock(mutex_);
        inPlatform_ = false;
        changed_.notify_all();
    }

    void Execute() {
        if (!Checkpoint()) return;  // its own priority is set here, once it runs
        while (Checkpoint()) {
            if (!SleepInterval()) continue;  // woken: asked to stop
            if (!Checkpoint()) return;
            if (threadSafe.load()) {
                std::lock_guard tick(tickMutex_);
                if (timer_) RunTick(*timer_);
                continue;
            }
            auto self = shared_from_this();
            try {
                backend_.Synchronize([self] {
                    // On the main thread, where the timer is discarded too.
                    std::lock_guard tick(self->tickMutex_);
                    if (self->timer_ && !self->Stopping()) self->RunTick(*self->timer_);
                });
            } catch (...) {
                return;  // the program is ending
            }
        }
    }

    bool Stopping() {
        std::lock_guard lock(mutex_);
        return stop_;
    }

    // An error of the tick goes to the general error handler; the worker goes on.
    void RunTick(TTimerEx& timer) {
        Application& app = app_;
        try {
            timer.Tick();
        } catch (const std::exception& error) {
            app.ShowException(error);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool paused_ = true;
    bool stop_ = false;
    bool inPlatform_ = false;  // sleeping on the clock or setting the priority
    TThreadPriority priority_ = tpNormal;
    std::optional<TThreadPriority> applied_;  // none yet: the first checkpoint applies one

    std::recursive_mutex tickMutex_;  // the timer's discarding waits for a running tick
    TTimerEx* timer_;
    Application& app_;
    Backend& backend_;
    Process& process_;
    std::unique_ptr<WorkerSleep> sleep_;
};

TTimerEx::TTimerEx(Control* owner, TimerServices services) : owner_(owner), services_(services) {
    if (!services_.Complete()) throw std::logic_error("timer without platform or application");
    UpdateTimer();
}

TTimerEx::~TTimerEx() {
    enabled_ = false;
    try {
        UpdateTimer();
    } catch (...) {
        // Stopping never fails; only starting a system timer can.
    }
    if (worker_) {
        worker_->Terminate();
        worker_.reset();
    }
    window_.reset();  // safe inside its own WM_TIMER: the window keeps its handler alive
}

void TTimerEx::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    UpdateTimer();
}

void TTimerEx::SetInterval(std::uint32_t milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    if (worker_) worker_->interval = milliseconds;
    UpdateTimer();
}

void TTimerEx::SetThreaded(bool value) {
    if (value == threaded_) return;
    threaded_ = value;
    UpdateTimer();
}

void TTimerEx::SetThreadPriority(TThreadPriority value) {
    if (value == priority_) return;
    priority_ = value;
    if (threaded_) UpdateTimer();
}

void TTimerEx::SetThreadSafe(bool value) {
    threadSafe_ = value;
    if (worker_) worker_->threadSafe = value;
}

void TTimerEx::SetOnTimer(TimerEvent handler) {
    onTimer_ = std::move(handler);
    UpdateTimer();
}

void TTimerEx::UpdateTimer() {
    if (worker_) worker_->Pause();
    if (window_) window_->StopTimer(1);
    if (threaded_) {
        window_.reset();
        if (!worker_) {
            worker_ = std::make_shared<TTimerThread>(*this, services_);
            worker_->Start();
        }
    } else {
        if (worker_) {
            worker_->Terminate();
            worker_.reset();
        }
        if (!window_)
            window_ = services_.platform->messageWindows.Create(
                [this](unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t& result) {
                    if (message != WM_TIMER_) return false;
                    WindowTick();
                    result = 0;
                    return true;
                });
    }
    if (interval_ == 0 || !enabled_ || !onTimer_) return;
    if (threaded_) {
        worker_->interval = interval_;
        worker_->threadSafe = threadSafe_;
        worker_->Resume(priority_);
    } else if (!window_->StartTimer(1, interval_)) {
        throw EOutOfResources("No More Timers Available");
    }
}

void TTimerEx::WindowTick() {
    Application& app = *services_.app;  // the timer may be gone after its tick
    try {
        Tick();
    } catch (const std::exception& error) {
        app.ShowException(error);
    }
}

void TTimerEx::Tick() {
    if (!enabled_ || !onTimer_) return;
    TimerEvent handler = onTimer_;  // the handler may discard this timer
    handler(*this);
}

}  // namespace snapora
