// The search worker, a page's periodic bus work and the user-interface thread all at once
// against the simulated bus. Run under ThreadSanitizer it proves the sharing is sound; in
// every build it proves neither side spoils the other's transactions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/servo_main.h"
#include "app_fakes.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "platform/periodic_worker.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "shared_objects.h"
#include "tests/support/demo_bus.h"
#include "tests/support/wait_until.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"
#include "transport/cqv_comm.h"

namespace {

TEST(SearchConcurrency, SearchAndPagePollShareTheBus) {
    sim::SimBus bus;
    ASSERT_EQ(StartDemoBus(bus), "");

    SharedObjects shared;
    Tervion& tervion = shared.tervion;
    BusLock& lock = shared.lock;
    FakeWindow w;
    FakeView& view = w.view;
    QueuedDispatcher& ui = w.ui;
    CServoMain main(view, ui, shared.strings);
    main.Wire({&w.debug, &w.pg, &w.upgrade, &w.pwm}, shared.Bus(), false);
    main.SetPreferredPort(bus.port_path());
    main.OnInitDialog();
    view.texts[kTimeoutEdit] = "5";
    main.OnOpenClicked();
    ASSERT_TRUE(main.port_open());

    // A page poll: the feedback block of servo 1 and its debug row, as fast as it can.
    std::atomic<int> polls{0}, answered{0};
    PeriodicWorker poll;
    poll.Start(std::chrono::milliseconds(2), [&] {
        uint8_t block[17];
        int got;
        {
            std::lock_guard<BusLock> g(lock);
            got = tervion.Read(1, 56, block, 17);
        }
        const uint8_t ident[5] = {3, 6, 0, 4, 0};
        DebugRow row{};
        shared.setup.LookupDebugRow(shared.setup.MainName(), ident, row);
        ++polls;
        if (got == 17) ++answered;
    });

    main.OnSearchClicked();
    int clicks = 0;
    ASSERT_TRUE(WaitUntil([&] { return !main.searching(); }, std::chrono::seconds(180),
                          [&] {
                              ui.Drain();
                              // The user keeps working: selections, id checks and tab changes
                              // during the search.
                              if (main.found_count() > 0) {
                                  main.OnListClicked(clicks % main.found_count());
                                  main.IdInUse(3);
                                  ++clicks;
                              }
                              main.OnTabChanged(clicks % 4);
                              std::this_thread::sleep_for(std::chrono::milliseconds(3));
                          }));
    ui.Drain();
    poll.Stop();

    EXPECT_EQ(main.found_count(), 7) << "the poll's transactions never spoil a probe";
    ASSERT_EQ(view.rows.size(), 7u);
    EXPECT_EQ(view.rows[4][1], "VXP9 pulse-width servo");
    EXPECT_GT(clicks, 0);
    // The lock is not fair: while the search runs flat out the poll gets fewer turns, but
    // it does get them.
    EXPECT_GT(polls.load(), 0);
    EXPECT_EQ(answered.load(), polls.load()) << "every poll read got its own answer";
}

}  // namespace
