#include "platform/periodic_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/wait_until.h"

using namespace std::chrono_literals;

TEST(PeriodicWorker, TicksNeverOverlapAndStopJoins) {
    PeriodicWorker w;
    std::atomic<int> inside{0}, max_inside{0}, ticks{0};
    w.Start(2ms, [&] {
        int now = ++inside;
        if (now > max_inside) max_inside = now;
        std::this_thread::sleep_for(5ms);  // longer than the period
        --inside;
        ++ticks;
    });
    ASSERT_TRUE(WaitUntil([&] { return ticks.load() >= 4; }));
    w.Stop();
    const int after_stop = ticks.load();
    std::this_thread::sleep_for(20ms);  // time for a stray tick to show, if Stop let one run
    EXPECT_EQ(max_inside.load(), 1);
    EXPECT_EQ(ticks.load(), after_stop);  // nothing runs after Stop returned
    EXPECT_FALSE(w.Running());
}

TEST(PeriodicWorker, RestartAndStopWithoutStartAreSafe) {
    PeriodicWorker w;
    w.Stop();
    std::atomic<int> a{0}, b{0};
    w.Start(1ms, [&] { ++a; });
    w.Start(1ms, [&] { ++b; });  // restart replaces the first callback
    const int a_final = a.load();
    ASSERT_TRUE(WaitUntil([&] { return b.load() >= 5; }));
    w.Stop();
    EXPECT_EQ(a.load(), a_final);
}
