// The thread-capable timer on the fake platform: its window timer and its
// worker, both driven by the test clock.

#include <atomic>
#include <memory>
#include <stdexcept>

#include "GifTimerFixture.h"
#include "gif/TimerEx.h"

namespace snapora {

using giftest::TimedTest;

namespace {

class TimerEx : public TimedTest {
protected:
    std::unique_ptr<TTimerEx> Make(bool threaded, std::uint32_t interval) {
        auto timer = std::make_unique<TTimerEx>(nullptr, Services());
        timer->SetThreaded(threaded);
        timer->SetInterval(interval);
        return timer;
    }
    // The system timer 1 of the timer's window, 0 when none runs.
    unsigned SystemTimer(const TTimerEx& timer) {
        if (!timer.TimerWindow()) return 0;
        auto& ids = fake.messageWindows.timers[timer.TimerWindow()->Handle()];
        return ids.count(1) ? ids[1] : 0;
    }
    // Lets a sleeping worker's interval pass and serves the tick it hands over.
    bool WorkerTick(std::uint32_t interval, const std::atomic<int>& ticks) {
        const int before = ticks;
        if (!fake.clock.WaitForSleepers(1)) return false;
        fake.AdvanceTime(interval);
        return PumpUntil([&] { return ticks > before; });
    }
};

}  // namespace

TEST(TimerPriority, PlatformValues) {
    const int expected[] = {-15, -2, -1, 0, 1, 2, 15};
    for (int p = tpIdle; p <= tpTimeCritical; ++p)
        EXPECT_EQ(PlatformThreadPriority(TThreadPriority(p)), expected[p]) << p;
}

TEST_F(TimerEx, NothingTicksWithoutIntervalEnabledOrHandler) {
    for (bool threaded : {false, true}) {
        SCOPED_TRACE(threaded);
        std::atomic<int> ticks = 0;
        auto count = [&](TTimerEx&) { ++ticks; };
        auto noInterval = Make(threaded, 0);
        EXPECT_TRUE(noInterval->Enabled());
        noInterval->SetOnTimer(count);
        auto disabled = Make(threaded, 100);
        disabled->SetEnabled(false);
        disabled->SetOnTimer(count);
        auto unassigned = Make(threaded, 100);
        fake.AdvanceTime(1000);
        for (auto* timer : {noInterval.get(), disabled.get(), unassigned.get()}) {
            EXPECT_EQ(SystemTimer(*timer), 0u);
            EXPECT_EQ(timer->HasWorker(), threaded);
        }
        EXPECT_EQ(fake.clock.Sleepers(), 0);  // the workers stay paused
        backend.ProcessMessages();
        EXPECT_EQ(ticks, 0);
    }
}

TEST_F(TimerEx, WindowTimerTicksAndRestartsOnIntervalChange) {
    auto timer = Make(false, 1000);
    ASSERT_NE(timer->TimerWindow(), nullptr);
    EXPECT_EQ(SystemTimer(*timer), 0u);  // no handler yet
    std::vector<std::uint32_t> at;
    timer->SetOnTimer([&](TTimerEx& sender) {
        EXPECT_EQ(&sender, timer.get());
        at.push_back(fake.clock.TickCount());
    });
    EXPECT_EQ(SystemTimer(*timer), 1000u);
    const std::uint32_t start = fake.clock.TickCount();
    fake.AdvanceTime(2500);
    timer->SetInterval(300);  // the period starts again now
    fake.AdvanceTime(700);
    EXPECT_EQ(at, (std::vector<std::uint32_t>{start + 1000, start + 2000, start + 2800, start + 3100}));
}

TEST_F(TimerEx, RefusedSystemTimerFailsTheSetter) {
    auto timer = Make(false, 100);
    fake.messageWindows.outOfTimers = true;
    try {
        timer->SetOnTimer([](TTimerEx&) {});
        FAIL() << "no error";
    } catch (const EOutOfResources& error) {
        EXPECT_STREQ(error.what(), "No More Timers Available");
    }
}

TEST_F(TimerEx, TickErrorsReachTheErrorHandlerAndTicksGoOn) {
    for (bool threaded : {false, true}) {
        SCOPED_TRACE(threaded);
        backend.Messages.clear();
        std::atomic<int> ticks = 0;
        auto timer = Make(threaded, 50);
        timer->SetOnTimer([&](TTimerEx&) {
            ++ticks;
            throw std::runtime_error("Fehler im Takt");
        });
        if (threaded) {
            ASSERT_TRUE(WorkerTick(50, ticks));
            ASSERT_TRUE(WorkerTick(50, ticks));
        } else {
            fake.AdvanceTime(100);
        }
        EXPECT_EQ(ticks, 2);
        ASSERT_EQ(backend.Messages.size(), 2u);
        EXPECT_EQ(backend.Messages[0].text, "Fehler im Takt");
    }
}

TEST_F(TimerEx, WorkerHandsTicksToTheMainThreadUnlessThreadSafe) {
    std::atomic<int> ticks = 0;
    std::thread::id ranOn;
    auto timer = Make(true, 40);
    timer->SetThreadPriority(tpHigher);
    EXPECT_EQ(timer->TimerWindow(), nullptr);
    ASSERT_TRUE(timer->HasWorker());
    timer->SetOnTimer([&](TTimerEx&) {
        ranOn = std::this_thread::get_id();
        ++ticks;
    });
    ASSERT_TRUE(fake.clock.WaitForSleepers(1));
    fake.AdvanceTime(39);
    backend.ProcessMessages();
    EXPECT_EQ(ticks, 0);
    fake.AdvanceTime(1);
    ASSERT_TRUE(PumpUntil([&] { return ticks == 1; }));
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    // The worker gave itself the priority once it ran.
    auto priorities = fake.process.Priorities();
    ASSERT_FALSE(priorities.empty());
    EXPECT_NE(priorities[0].first, std::this_thread::get_id());
    EXPECT_EQ(priorities[0].second, 1);

    // Interval and ThreadSafe are read anew on every pass.
    ASSERT_TRUE(fake.clock.WaitForSleepers(1));
    timer->SetThreadSafe(true);
    timer->SetInterval(500);
    ASSERT_TRUE(fake.clock.WaitForSleepers(1));
    fake.AdvanceTime(40);  // the sleep under way used the old interval
    ASSERT_TRUE(PumpUntil([&] { return ticks == 2; }));
    EXPECT_NE(ranOn, std::this_thread::get_id());
    ASSERT_TRUE(fake.clock.WaitForSleepers(1));
    fake.AdvanceTime(499);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ticks, 2);
    fake.AdvanceTime(1);
    ASSERT_TRUE(PumpUntil([&] { return ticks == 3; }));
}

TEST_F(TimerEx, SwitchingModesSwapsWindowAndWorker) {
    std::atomic<int> ticks = 0;
    auto timer = Make(true, 100);
    timer->SetOnTimer([&](TTimerEx&) { ++ticks; });
    ASSERT_TRUE(fake.clock.WaitForSleepers(1));
    timer->SetThreaded(false);  // the worker ends, the system timer starts
    EXPECT_FALSE(timer->HasWorker());
    EXPECT_EQ(SystemTimer(*timer), 100u);
    PumpUntil([&] { return fake.clock.Sleepers() == 0; });
    EXPECT_EQ(fake.clock.Sleepers(), 0);
    fake.AdvanceTime(100);
    EXPECT_EQ(ticks, 1);
    timer->SetThreaded(true);
    EXPECT_EQ(timer->TimerWindow(), nullptr);
    EXPECT_TRUE(fake.messageWindows.windows.empty());
    ASSERT_TRUE(WorkerTick(100, ticks));
    EXPECT_EQ(ticks, 2);

    // In unthreaded mode the priority is only stored.
    timer->SetThreaded(false);
    timer->SetThreadPriority(tpIdle);
    EXPECT_EQ(timer->ThreadPriority(), tpIdle);
    EXPECT_FALSE(timer->HasWorker());
}

TEST_F(TimerEx, DiscardedFromItsOwnTickInBothModes) {
    for (bool threaded : {false, true}) {
        SCOPED_TRACE(threaded);
        std::atomic<int> ticks = 0;
        std::unique_ptr<TTimerEx> timer = Make(threaded, 30);
        timer->SetOnTimer([&](TTimerEx&) {
            ++ticks;
            timer.reset();
        });
        if (threaded)
            ASSERT_TRUE(WorkerTick(30, ticks));
        else
            fake.AdvanceTime(30);
        EXPECT_EQ(timer, nullptr);
        fake.AdvanceTime(300);
        backend.ProcessMessages();
        EXPECT_EQ(ticks, 1);
        EXPECT_TRUE(fake.messageWindows.windows.empty());
        EXPECT_TRUE(PumpUntil([&] { return fake.clock.Sleepers() == 0; }));
    }
}

}  // namespace snapora
