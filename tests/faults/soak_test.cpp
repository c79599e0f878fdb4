// A minute of bus work while the simulator drops, corrupts, delays and prefixes garbage to
// its replies at random: nothing crashes or hangs, nothing is reported to the user, and
// once the line is clean again every device reads back as before.
//
// The work is a list of blocks run in turn until the time is up; each block is one round
// of one activity (search, Debug poll, Programming refresh, communication test) and checks
// its own outcome. A
// new activity is one more block.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>

#include "tests/faults/fault_rig.h"
#include "tools/sim/sim_control.h"

namespace faults {
namespace {

std::chrono::seconds SoakLength() {
    const char* env = std::getenv("VEXA_SOAK_SECONDS");
    const int s = env ? std::atoi(env) : 60;
    return std::chrono::seconds(s > 0 ? s : 60);
}

class SoakTest : public FaultRig {
  protected:
    struct Block {
        const char* name;
        std::function<void()> round;
    };

    // One full search; it must end, and whatever it lists must be a demo device.
    void SearchRound() {
        main->OnSearchClicked();
        ASSERT_TRUE(main->searching());
        RunSearchToEnd(*main, ui, std::chrono::seconds(240));
        for (const auto& row : view.rows) {
            const int id = std::atoi(row[0].c_str());
            EXPECT_TRUE(id >= 1 && id <= 7) << "a corrupted reply was taken for servo " << id;
        }
        ++searches_;
    }

    // The Debug page polling servo 1 for a while, with goal writes from the window.
    void DebugPollRound() {
        SelectServo1();
        debug->StartPolling();
        for (int i = 0; i < 10; ++i) {
            debug_view.pos[kGoalSlider] = 500 + 200 * (i % 5);
            debug->OnGoalSliderScroll();
            WaitFor([] { return false; }, 150ms);
        }
        EXPECT_TRUE(debug->Polling());
        ++polls_;
    }

    // The Programming page refreshing servo 1's memory table while the Debug poll runs too.
    void ProgrammingRefreshRound() {
        pg->SelectServo(1, kServo1, kKindServo);
        pg->StartRefreshTimer();
        WaitFor([] { return false; }, 1500ms);
        EXPECT_GT(pg_view.RowCount(), 0) << "the model's memory table";
        EXPECT_TRUE(pg->Refreshing());
        pg->StopRefreshTimer();
        ++refreshes_;
    }

    // The Upgrade page's communication test over servos 1 and 2 (one model) for a few
    // passes, while the Debug poll runs beside it; every pass lists both.
    void CommTestRound() {
        ServoInfo pair[2] = {kServo1, kServo1};
        pair[1][5] = 2;
        upgrade->SetServo(1, FoundList(pair), 0, "");
        const size_t before = upgrade_view.results.size();
        upgrade->OnTest();
        ASSERT_TRUE(upgrade->running());
        WaitFor([&] { return upgrade_view.results.size() >= before + 3; });
        upgrade->OnTest();  // "Stop": the worker ends after its pass
        const int ended = upgrade_view.tests_ended;
        EXPECT_TRUE(WaitFor([&] { return upgrade_view.tests_ended > ended; }));
        ASSERT_GE(upgrade_view.results.size(), before + 3);
        for (size_t k = before; k < upgrade_view.results.size(); ++k) {
            const std::string& pass = upgrade_view.results[k];
            EXPECT_EQ(pass.rfind("Servo ID:1  Response:", 0), 0u) << pass;
            EXPECT_NE(pass.find("\r\nServo ID:2  Response:"), std::string::npos) << pass;
        }
        ++comm_tests_;
    }

    std::vector<Block> Blocks() {
        return {
            {"search", [this] { SearchRound(); }},
            {"debug poll", [this] { DebugPollRound(); }},
            {"programming refresh", [this] { ProgrammingRefreshRound(); }},
            {"communication test", [this] { CommTestRound(); }},
        };
    }

    int searches_ = 0, polls_ = 0, refreshes_ = 0, comm_tests_ = 0;
};

TEST_F(SoakTest, BusWorkSurvivesRandomFaultsAndReadsCleanAfterwards) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("fault seed " + std::to_string(seed));
    const auto blocks = Blocks();
    // Nearly a third of all replies go wrong, each in a way chosen at random.
    ASSERT_EQ(sim::ExecuteControl(bus, "random 30 " + std::to_string(seed)), "ok");
    const auto end = std::chrono::steady_clock::now() + SoakLength();
    // Every block runs at least once, however short the soak.
    for (size_t i = 0; i < blocks.size() || std::chrono::steady_clock::now() < end; ++i) {
        const Block& block = blocks[i % blocks.size()];
        SCOPED_TRACE(block.name);
        block.round();
        if (HasFatalFailure()) return;
    }
    ASSERT_EQ(sim::ExecuteControl(bus, "clear"), "ok");
    EXPECT_EQ(bus.random_faults().percent(), 0);
    std::printf(
        "soak: %d searches, %d poll rounds, %d refresh rounds, %d communication tests, %ld "
        "requests\n",
        searches_, polls_, refreshes_, comm_tests_, bus.requests_seen());
    EXPECT_GE(searches_, 1);
    EXPECT_GE(polls_, 1);
    EXPECT_GE(refreshes_, 1);
    EXPECT_GE(comm_tests_, 1);
    EXPECT_TRUE(view.messages.empty()) << view.messages.front().text;
    EXPECT_TRUE(debug_view.errors.empty()) << debug_view.errors.front();
    EXPECT_TRUE(pg_view.boxes.empty()) << pg_view.boxes.front();
    EXPECT_TRUE(upgrade_view.boxes.empty()) << upgrade_view.boxes.front();

    // A late reply may still be on its way; then the line is clean.
    std::this_thread::sleep_for(100ms);
    SearchRound();
    ASSERT_EQ(view.rows.size(), 7u) << "every demo device found again";
    uint8_t record[9] = {};
    uint16_t registers[4] = {};
    // A read may still miss its short reply time on a loaded machine (the sanitizer builds
    // run several times slower): the devices must answer within a few tries.
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard<BusLock> g(shared.lock);
        return shared.tervion.Read(1, 0, record, 9) == 9;
    }));
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard<BusLock> g(shared.lock);
        return shared.modbus.ReadHoldingRegisters(6, 0, registers, 4) == 4;
    }));
    EXPECT_EQ(ServoInfo(std::to_array(record)), kServo1);
    EXPECT_EQ(registers[0], 210) << "Modbus servo 6, firmware 2.10";
    SelectServo1();
    EXPECT_TRUE(StateShows("Normal"));
}

}  // namespace
}  // namespace faults
