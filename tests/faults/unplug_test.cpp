// The adapter pulled out while the Debug page polls, and put back at the same path.
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
    EXPECT_LT(CoreShareWhile("unplugged", 2000ms), 0.05);
    EXPECT_EQ(State(), "Timeout");
    EXPECT_TRUE(debug_view.errors.empty());
    EXPECT_TRUE(view.messages.empty());

    ASSERT_EQ(sim::ExecuteControl(bus, "replug"), "ok");
    EXPECT_TRUE(std::filesystem::is_symlink(link_));
    ASSERT_TRUE(CloseAndOpen());
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
