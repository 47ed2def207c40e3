// The bounded pool for slow work, the caps on event streams and the pace of requests.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "events/StreamQuota.h"
#include "work/RequestPacer.h"
#include "work/WorkPool.h"

namespace snapora::server {

TEST(WorkPool, RefusesAtOnceWhenTheQueueOrTheKeysShareIsFull) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> started{0}, ran{0};
    auto job = [&] {
        ++started;
        released.wait();
        ++ran;
    };
    WorkPool pool(PoolLimits{1, 2, 2});
    struct Case { const char* key; bool taken; } cases[] = {
        {"a", true},   // runs (and waits)
        {"a", true},   // queued
        {"a", false},  // a's share is two
        {"b", true},   // queued: the queue is full now
        {"c", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pool.Submit(c.key, job), c.taken) << c.key;
        while (started == 0) std::this_thread::yield();  // the first one is running before the next comes
    }
    release.set_value();
    pool.Stop();  // runs what was queued
    EXPECT_EQ(ran, 3);
    EXPECT_FALSE(pool.Submit("d", job));
}

TEST(StreamQuota, CapsStreamsInAllPerAddressAndPerTopic) {
    StreamQuota quota(StreamLimits{5, 2, 3});
    struct Case { const char* address; std::int64_t topic; bool admitted; } cases[] = {
        {"a", 1, true}, {"a", 1, true}, {"a", 2, false},  // two per address
        {"b", 1, true}, {"c", 1, false},                  // three per topic
        {"c", 2, true}, {"d", 2, true}, {"e", 3, false},  // five in all
    };
    for (const Case& c : cases) EXPECT_EQ(quota.Admit(c.address, c.topic), c.admitted) << c.address << c.topic;
    EXPECT_EQ(quota.Open(), 5u);
    quota.Release("a", 1);
    EXPECT_TRUE(quota.Admit("c", 1));
    EXPECT_FALSE(quota.Admit("e", 3));
}

TEST(RequestPacer, AnAddressPastItsRateWaitsAndOthersDoNot) {
    RequestPacer pacer(PaceLimits{10, 3, std::chrono::milliseconds(50)});
    const auto t = RequestPacer::Clock::now();
    using std::chrono::milliseconds;
    struct Case { const char* address; int atMs; bool now; } cases[] = {
        {"a", 0, true}, {"a", 0, true}, {"a", 0, true}, {"a", 0, false},  // a burst of three
        {"b", 0, true},                                                   // another address has its own
        {"a", 50, false}, {"a", 100, true}, {"a", 100, false},            // ten a second: one per 100 ms
        {"a", 1000, true}, {"a", 1000, true}, {"a", 1000, true}, {"a", 1000, false},
    };
    for (const Case& c : cases) EXPECT_EQ(pacer.Admit(c.address, t + milliseconds(c.atMs)), c.now) << c.address << c.atMs;

    std::promise<void> resumed;
    const auto parked = RequestPacer::Clock::now();
    pacer.Later([&] { resumed.set_value(); });
    resumed.get_future().wait();
    EXPECT_GE(RequestPacer::Clock::now() - parked, milliseconds(50));
    pacer.Stop();
    bool atOnce = false;
    pacer.Later([&] { atOnce = true; });
    EXPECT_TRUE(atOnce);
}

}  // namespace snapora::server
