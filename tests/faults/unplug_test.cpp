// The adapter pulled out while the Debug page polls, and put back at the same path.
#include <cstdio>

#include "tests/faults/fault_rig.h"
#include "tools/sim/sim_control.h"

namespace faults {
namespace {

class UnplugTest : public FaultRig {};

TEST_F(UnplugTest, PollShowsTimeoutWithoutSpinningAndCloseOpenRecovers) {
    SelectServo1();
    ASSERT_TRUE(StateShows("Normal"));

    ASSERT_EQ(sim::ExecuteControl(bus, "unplug"), "ok");
    EXPECT_FALSE(std::filesystem::exists(link_)) << "the device name goes with the adapter";
    EXPECT_TRUE(StateShows("Timeout"));
    EXPECT_TRUE(debug->Polling());

    // While the line is gone the poll keeps trying every 50 ms; each try must fail at
    // once or wait, never turn the reply time-out into a busy loop.
    const auto cpu0 = ProcessCpuTime();
    const auto wall0 = std::chrono::steady_clock::now();
    WaitFor([] { return false; }, 2000ms);
    const double cpu = std::chrono::duration<double>(ProcessCpuTime() - cpu0).count();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::printf("unplugged: %.1f %% of a core\n", 100.0 * cpu / wall);
    EXPECT_LT(cpu / wall, 0.05) << cpu << " s of CPU in " << wall << " s while unplugged";
    EXPECT_EQ(State(), "Timeout");
    EXPECT_TRUE(debug_view.errors.empty());
    EXPECT_TRUE(view.messages.empty());

    ASSERT_EQ(sim::ExecuteControl(bus, "replug"), "ok");
    EXPECT_TRUE(std::filesystem::is_symlink(link_));
    main->OnOpenClicked();  // "Close"
    EXPECT_FALSE(main->port_open());
    EXPECT_EQ(view.Text(kOpenButton), "Open");
    main->OnOpenClicked();  // "Open"
    ASSERT_TRUE(main->port_open());
    EXPECT_EQ(view.Text(kOpenButton), "Close");
    EXPECT_TRUE(StateShows("Normal"));
    EXPECT_EQ(debug_view.Text(kPositionStatic), "2047");
}

TEST_F(UnplugTest, ControlCommandsReportWhatTheyCannotDo) {
    EXPECT_EQ(sim::ExecuteControl(bus, "replug"), "ok") << "already plugged in: nothing to do";
    EXPECT_EQ(sim::ExecuteControl(bus, "unplug"), "ok");
    EXPECT_TRUE(bus.unplugged());
    EXPECT_EQ(sim::ExecuteControl(bus, "unplug"), "ok");
    EXPECT_EQ(sim::ExecuteControl(bus, "unplug now"), "error: unknown command 'unplug now'");
    bus.Stop();
    EXPECT_EQ(sim::ExecuteControl(bus, "replug"), "error: the bus is not running");
}

}  // namespace
}  // namespace faults
