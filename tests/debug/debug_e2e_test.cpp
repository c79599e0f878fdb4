// The Debug page against simulated servos on a pseudo-terminal: the real port, the real
// 50 ms poll thread, goals in every mode as bytes on the wire, and the servo arriving.
#include <chrono>
#include <thread>

#include "tests/debug/debug_fixture.h"
#include "tests/support/wait_until.h"
#include "tools/sim/sim_bus.h"

using namespace debug_test;
using namespace std::chrono_literals;

namespace {

// Records as the search builds them for the simulated devices.
const ServoInfo kServo1 = {3, 10, 0, 9, 3, 1, 0, 0, 1};
const ServoInfo kServo2 = {3, 10, 0, 9, 3, 2, 0, 0, 1};
const ServoInfo kServo3 = {3, 10, 1, 9, 3, 3, 0, 0, 1};  // high byte first
const ServoInfo kPwm4 = {2, 4, 0, 7, 0xFF, 4, 5, 0xFF, 1};
const ServoInfo kModbus5 = {2, 12, 1, 4, 1, 5, 2, 0xFF, 1};

class DebugEndToEnd : public SimLine {
  protected:
    void SetUp() override {
        folder_.Put(setup_->MainName(), DebugSection("3,0,20,0,56,72,41,1,10,0,40,0,0\n"
                                                     "3,0,20,1,56,72,41,1,10,0,40,0,0\n"));
        folder_.Put(setup_->PwmName(), DebugSection("2,0,10,0,56,71,0,4,10,42,40,0,0\n"));
        folder_.Put(setup_->ModbusName(), DebugSection("2,0,20,1,0,0,0,1,10,0,0,0,0\n"));

        bus_.AddServo(sim::BuiltInServoModel(), {.id = 1});
        bus_.AddServo(sim::BuiltInServoModel(), {.id = 2});
        bus_.AddServo(sim::BuiltInServoModel(), {.id = 3, .end = 1});
        bus_.AddServo(sim::BuiltInPwmModel(), {.id = 4});
        bus_.AddModbusServo(sim::BuiltInModbusModel(), {.id = 5});
        ASSERT_EQ(OpenLine(), "");
        page_ = std::make_unique<CRobotDlg>(*setup_, modbus_, tervion_, lock_, false, ui_);
        page_->InitDialog(&view_);  // starts the 50 ms poll
        page_->Graph().InitCanvas(4000, 2000);
    }
    void TearDown() override {
        page_.reset();
        SimLine::TearDown();
    }

    // Selects like the main window: byte order, then the page.
    void Select(int index, ServoKind kind) {
        tervion_.End = records_[index][2];
        found_ = FoundList(records_, kind);
        page_->SelectServo(records_[index][5], found_, index);
    }

    // Runs a user action with the bus held, so only its own bytes are captured.
    template <class F>
    std::string Wire(F action) {
        std::lock_guard<BusLock> g(lock_);
        comm_.Take();
        action();
        return comm_.Take();
    }

    // Lets the poll run (showing its results) until pred holds or the time is up.
    template <class P>
    bool WaitFor(P pred, std::chrono::milliseconds limit = 8000ms) {
        return WaitUntil(pred, limit, [this] {
            ui_.Drain();
            std::this_thread::sleep_for(2ms);
        });
    }
    bool Shows(int control, const std::string& text) {
        return WaitFor([&] { return view_.Text(control) == text; });
    }
    int SimPosition(int id) {
        int p = -1;
        bus_.WithServo(id, [&](sim::InstructionServo& s) { p = s.motion().position(); });
        return p;
    }

    QueuedDispatcher ui_;
    FakeView view_;
    std::unique_ptr<CRobotDlg> page_;
    std::vector<ServoInfo> records_ = {kServo1, kServo2, kPwm4, kModbus5};
    std::vector<FoundServo> found_;  // the page keeps a span of it
};

TEST_F(DebugEndToEnd, WriteGoalArrivesAndThePollShowsTheServoArriving) {
    Select(0, kKindServo);
    EXPECT_TRUE(page_->Polling());
    view_.pos[kGoalSlider] = 300;
    EXPECT_EQ(Wire([&] { page_->OnGoalSliderScroll(); }),
              "FF FF 01 0A 03 29 00 2C 01 00 00 00 00 9B");
    EXPECT_TRUE(Shows(kMovingStatic, "1")) << "the servo starts moving";
    EXPECT_TRUE(Shows(kPositionStatic, "300"));
    EXPECT_TRUE(Shows(kMovingStatic, "0"));
    EXPECT_EQ(view_.Text(kGoalStatic), "300");
    EXPECT_EQ(view_.Text(kStateStatic), "Normal");
    EXPECT_EQ(view_.Text(kVoltageStatic), "12.0 V");
    EXPECT_EQ(SimPosition(1), 300);
    EXPECT_EQ(SimPosition(2), 2047);  // a simulated servo starts in the middle

    chart::ChartState s;
    page_->Graph().Snapshot(s);
    ASSERT_FALSE(s.samples[chart::kPosition].empty());
    EXPECT_EQ(s.samples[chart::kPosition][0], 300);
}

TEST_F(DebugEndToEnd, RegisteredWriteMovesOnlyAfterAction) {
    Select(0, kKindServo);
    page_->OnWriteModeChanged(CRobotDlg::kRegWrite);
    view_.pos[kGoalSlider] = 600;
    const long seen = bus_.requests_seen();
    EXPECT_EQ(Wire([&] { page_->OnGoalSliderScroll(); }),
              "FF FF 01 0A 04 29 00 58 02 00 00 00 00 6D");
    // The polls after the write have reached the servo: it holds the goal without moving.
    ASSERT_TRUE(WaitFor([&] { return bus_.requests_seen() >= seen + 6; }));
    EXPECT_EQ(view_.Text(kPositionStatic), "2047");
    EXPECT_EQ(view_.Text(kMovingStatic), "0");
    EXPECT_EQ(SimPosition(1), 2047);

    EXPECT_EQ(Wire([&] { page_->OnAction(); }), "FF FF FE 02 05 FA");
    EXPECT_TRUE(Shows(kPositionStatic, "600"));
}

TEST_F(DebugEndToEnd, SyncWriteMovesEveryServoOfTheSameByteOrder) {
    records_ = {kServo1, kServo2, kServo3};
    Select(0, kKindServo);
    page_->OnWriteModeChanged(CRobotDlg::kSyncWrite);
    view_.text[kGoalEdit] = "1000";
    view_.text[kSpeedEdit] = "500";
    EXPECT_EQ(Wire([&] { page_->OnSet(); }),
              "FF FF FE 14 83 29 07 01 00 E8 03 00 00 F4 01 02 00 E8 03 00 00 F4 01 77");
    EXPECT_TRUE(Shows(kPositionStatic, "1000"));
    EXPECT_TRUE(WaitFor([&] { return SimPosition(2) == 1000; }));
    EXPECT_EQ(SimPosition(3), 2047);

    // The servo of the other byte order reads its own block high byte first.
    Select(2, kKindServo);
    EXPECT_TRUE(Shows(kPositionStatic, "2047"));
}

TEST_F(DebugEndToEnd, TorqueAndErrorBitsReachTheState) {
    Select(0, kKindServo);
    view_.checked[kTorqueCheck] = false;
    EXPECT_EQ(Wire([&] { page_->OnTorqueClicked(); }), "FF FF 01 04 03 28 00 CF");
    bool torque = true;
    bus_.WithServo(1, [&](sim::InstructionServo& s) { torque = s.motion().torque(); });
    EXPECT_FALSE(torque);

    bus_.WithServo(1, [](sim::InstructionServo& s) { s.SetErrorBits(0x04); });
    EXPECT_TRUE(Shows(kStateStatic, "Heat"));
    bus_.WithServo(1, [](sim::InstructionServo& s) { s.SetErrorBits(0); });
    EXPECT_TRUE(Shows(kStateStatic, "Normal"));

    // A servo that stops answering shows "Timeout" and keeps its last values.
    Select(1, kKindServo);
    EXPECT_TRUE(Shows(kStateStatic, "Normal"));
    bus_.faults().DropReplies(1000);
    EXPECT_TRUE(Shows(kStateStatic, "Timeout"));
}

TEST_F(DebugEndToEnd, PwmAndModbusGoals) {
    Select(2, kKindPwm);
    EXPECT_EQ(view_.range[kGoalSlider], std::make_pair(0, 1023));
    view_.pos[kGoalSlider] = 800;
    EXPECT_EQ(Wire([&] { page_->OnGoalSliderScroll(); }), "FF FF 04 05 03 2A 20 03 A6");
    EXPECT_TRUE(Shows(kPositionStatic, "800"));

    Select(3, kKindModbus);
    view_.text[kGoalEdit] = "1500";
    view_.text[kAccEdit] = "10";
    view_.text[kSpeedEdit] = "800";
    EXPECT_EQ(Wire([&] { page_->OnSet(); }), "05 10 00 80 00 04 08 05 DC 00 01 00 0A 03 20 71 1F");
    EXPECT_TRUE(Shows(kPositionStatic, "1500"));
    EXPECT_EQ(view_.Text(kGoalStatic), "1500");
}

}  // namespace
