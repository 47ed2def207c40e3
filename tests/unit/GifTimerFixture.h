#pragma once
// The GIF control and its timer on the headless backend and the fake
// platform, whose clock the tests move.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "GifTestSupport.h"
#include "platform/fake/FakePlatform.h"
#include "ui/Application.h"
#include "ui/headless/HeadlessBackend.h"

namespace snapora::giftest {

class TimedTest : public ::testing::Test {
protected:
    TimerServices Services() { return {&fake.platform, &app}; }
    // Serves handed-over ticks until the condition holds (at most five seconds).
    template <class Pred>
    bool PumpUntil(Pred done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            backend.ProcessMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    HeadlessBackend backend;
    FakePlatform fake;
    Application app{backend};
};

}  // namespace snapora::giftest
