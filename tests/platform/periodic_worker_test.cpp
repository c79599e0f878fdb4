#include "platform/periodic_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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
    std::this_thread::sleep_for(60ms);
    w.Stop();
    const int after_stop = ticks.load();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(max_inside.load(), 1);
    EXPECT_GT(after_stop, 1);
    EXPECT_EQ(ticks.load(), after_stop);  // nothing runs after Stop returned
    EXPECT_FALSE(w.Running());
}

TEST(PeriodicWorker, RestartAndStopWithoutStartAreSafe) {
    PeriodicWorker w;
    w.Stop();
    std::atomic<int> a{0}, b{0};
    w.Start(1ms, [&] { ++a; });
    w.Start(1ms, [&] { ++b; });  // restart replaces the first callback
    std::this_thread::sleep_for(30ms);
    w.Stop();
    const int a_final = a.load();
    EXPECT_GT(b.load(), 0);
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(a.load(), a_final);
}
