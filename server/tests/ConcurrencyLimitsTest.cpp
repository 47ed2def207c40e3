// The bounded pool for slow work and the caps on event streams.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "events/StreamQuota.h"
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

}  // namespace snapora::server
