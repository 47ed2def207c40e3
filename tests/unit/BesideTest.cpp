// The thread kept for the second processor's work: jobs run there and not on
// the caller, what they throw comes back, a job given from the kept thread
// itself runs at once instead of waiting for itself, and nothing outlives the
// handle that waits for it.

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "base/Beside.h"

namespace snapora {

TEST(Beside, RunsJobsOnOneKeptThreadAndBringsBackTheirFaults) {
    std::thread::id first, second, nested;
    Beside([&] { first = std::this_thread::get_id(); }).Wait();
    Beside([&] { second = std::this_thread::get_id(); }).Wait();
    EXPECT_NE(first, std::this_thread::get_id());
    EXPECT_EQ(first, second) << "one thread, kept";

    Beside([&] { Beside([&] { nested = std::this_thread::get_id(); }).Wait(); }).Wait();
    EXPECT_EQ(nested, first);

    Beside failing([] { throw std::runtime_error("out of memory"); });
    EXPECT_THROW(failing.Wait(), std::runtime_error);
    EXPECT_FALSE(failing.Running());

    int written = 0;
    {
        Beside slow([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            written = 1;
        });
        EXPECT_TRUE(slow.Running());
    }
    EXPECT_EQ(written, 1) << "the handle waits as it goes";
}

}  // namespace snapora
