#pragma once
// The tool as start-up wires it (the shared bus objects, the main window, a real Debug page
// with its 50 ms poll thread, a real Programming page with its 100 ms refresh, a real
// Upgrade page with its test and exchange workers) against the
// simulated demo bus on a pseudo-terminal reached through a link path, the way a technician's
// adapter sits at a fixed device name.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/servo_main.h"
#include "pages/debug/robot_dlg.h"
#include "pages/programming/servo_pg.h"
#include "pages/upgrade/servo_test.h"
#include "tests/app/app_fakes.h"
#include "tests/app/shared_objects.h"
#include "tests/debug/debug_fixture.h"
#include "tests/programming/pg_fixture.h"
#include "tests/support/demo_bus.h"
#include "tests/support/wait_until.h"
#include "tests/upgrade/upgrade_fixture.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"

namespace faults {

using namespace std::chrono_literals;

// Demo servo 1 (VX40, instruction protocol) and its record as the search builds it.
inline constexpr ServoInfo kServo1 = {3, 6, 0, 4, 0, 1, 4, 0, 1};

inline std::string LinkPath() {
    return (std::filesystem::temp_directory_path() /
            ("vexa-faults-" + std::to_string(::getpid()) + "-bus"))
        .string();
}

// CPU time (user + system) this process has used so far.
inline std::chrono::microseconds ProcessCpuTime() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto us = [](const timeval& t) {
        return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
    };
    return std::chrono::duration_cast<std::chrono::microseconds>(us(u.ru_utime) + us(u.ru_stime));
}

// The real Debug, Programming and Upgrade pages over the simulated bus, in a main window
// with the test view and a logging PWM page.
class FaultRig : public ::testing::Test {
  protected:
    FaultRig() : link_(LinkPath()), bus({.link_path = link_}) {}

    void SetUp() override {
        ASSERT_EQ(StartDemoBus(bus), "");
        debug = std::make_unique<CRobotDlg>(shared.setup, shared.modbus, shared.tervion,
                                            shared.lock, false, ui);
        main = std::make_unique<CServoMain>(view, ui, shared.strings);
        pg = std::make_unique<CServoPG>(shared.setup, shared.lock, shared.modbus, shared.tervion,
                                        *main, false, ui);
        pg->InitDialog(&pg_view);
        upgrade = std::make_unique<CServoTest>(shared.modbus, shared.tervion, shared.setup,
                                               shared.lock, false, ui);
        upgrade->InitDialog(&upgrade_view);
        main->Wire({debug.get(), pg.get(), upgrade.get(), &pwm}, shared.Bus(), false);
        main->SetPreferredPort(link_);
        main->OnInitDialog();
        debug->InitDialog(&debug_view);  // starts the poll, as the page's creation does
        // A short extra reply time keeps empty ids quick; the simulator answers well
        // within it.
        view.texts[kTimeoutEdit] = "5";
        main->OnOpenClicked();
        ASSERT_TRUE(main->port_open());
    }
    void TearDown() override {
        if (main) main->Shutdown();
        if (debug) debug->StopPolling();
        if (pg) pg->StopRefreshTimer();
        ui.Drain();
        pg.reset();  // it calls the main window's services
        main.reset();
        upgrade.reset();
        debug.reset();
        bus.Stop();
    }

    // Selects the demo servo 1 on the Debug page, as a click on its row does.
    void SelectServo1() {
        found_[0] = FoundServo{kServo1, kKindServo, 0};
        shared.tervion.End = kServo1[2];
        debug->SelectServo(1, found_, 0);
    }

    // Runs the window's posted work until pred holds or the time is up.
    template <class P>
    bool WaitFor(P pred, std::chrono::milliseconds limit = 10000ms) {
        return WaitUntil(pred, limit, [this] {
            ui.Drain();
            std::this_thread::sleep_for(2ms);
        });
    }
    // Serves the window for `span` and gives the share of one core the whole process used
    // meanwhile, printed under `what`.
    double CoreShareWhile(const char* what, std::chrono::milliseconds span) {
        const auto cpu0 = ProcessCpuTime();
        const auto wall0 = std::chrono::steady_clock::now();
        WaitFor([] { return false; }, span);
        const double cpu = std::chrono::duration<double>(ProcessCpuTime() - cpu0).count();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        std::printf("%s: %.1f %% of a core\n", what, 100.0 * cpu / wall);
        return cpu / wall;
    }
    // "Close" then "Open" on the main window; true when the port ended up open.
    bool CloseAndOpen() {
        main->OnOpenClicked();
        EXPECT_FALSE(main->port_open());
        EXPECT_EQ(view.Text(kOpenButton), "Open");
        main->OnOpenClicked();
        EXPECT_EQ(view.Text(kOpenButton), "Close");
        return main->port_open();
    }
    std::string State() const { return debug_view.Text(kStateStatic); }
    bool StateShows(const std::string& text, std::chrono::milliseconds limit = 10000ms) {
        return WaitFor([&] { return State() == text; }, limit);
    }

    FakeView view;
    QueuedDispatcher ui;
    PageLog log;
    FakePwmPage pwm{log};
    std::string link_;
    sim::SimBus bus;
    SharedObjects shared;
    debug_test::FakeView debug_view;
    pg_test::FakeView pg_view;
    upgrade_test::FakeView upgrade_view;
    std::unique_ptr<CRobotDlg> debug;
    std::unique_ptr<CServoPG> pg;
    std::unique_ptr<CServoTest> upgrade;
    std::unique_ptr<CServoMain> main;
    FoundServo found_[1] = {};  // the Debug page keeps a span of it
};

}  // namespace faults
