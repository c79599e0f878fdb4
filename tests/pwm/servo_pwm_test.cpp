// The PWM page against the simulated signal adapter: the bytes each control sends, the
// limits, the sweep and step cycles and the tab activation.
#include <atomic>

#include "pages/pwm/servo_pwm_memory_view.h"
#include "tests/pwm/pwm_fixture.h"

namespace {

class PwmPage : public PwmBus {
  protected:
    void SetUp() override {
        PwmBus::SetUp();
        page_.InitDialog(&view_);
    }
    CServoPwm page_{tervion_, lock_};
    ServoPwmMemoryView view_;
};

TEST_F(PwmPage, PresetIsClampedToLimitsTakenWhenTheSignalIsSwitchedOn) {
    view_.SetText(kPwmMaxEdit, "2000");
    page_.OnSwitch();
    EXPECT_EQ(view_.Text(kPwmSwitchButton), "OFF");
    page_.OnPreset(kPwmPreset2500);
    EXPECT_EQ(view_.Text(kPwmPulseStatic), "2000us");
    EXPECT_EQ(view_.ScrollPos(kPwmPulseBar), 2500);  // the bar moves before the clamp
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"FF FF FD 04 03 23 01 D7", "FF FF FD 05 03 21 D0 07 02",
                                        "FF FF FD 04 03 23 01 D7"}));
    // Off again: 0 to address 35; limits outside 500-2500 are pulled back on the next on.
    page_.OnSwitch();
    EXPECT_EQ(view_.Text(kPwmSwitchButton), "ON");
    view_.SetText(kPwmMinEdit, "12");
    view_.SetText(kPwmMaxEdit, "9999");
    page_.OnSwitch();
    EXPECT_EQ(page_.Minimum(), 500);
    EXPECT_EQ(page_.Maximum(), 2500);
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"FF FF FD 04 03 23 00 D8", "FF FF FD 04 03 23 01 D7"}));
}

// Limits typed outside 500-2500 are pulled back on both sides and put in order when the
// signal is switched on, so no pulse outside 500-2500 reaches the adapter.
TEST_F(PwmPage, LimitsStayInsideTheBarRangeAndInOrder) {
    struct Case {
        const char *min, *max;
        int minimum, maximum;
    };
    const Case cases[] = {{"500", "0", 500, 500},     {"500", "-1", 500, 500},
                          {"-40", "9999", 500, 2500}, {"3000", "2600", 2500, 2500},
                          {"2000", "900", 900, 2000}, {"", "", 500, 500}};
    for (const Case& c : cases) {
        page_.SwitchOff();
        view_.SetText(kPwmMinEdit, c.min);
        view_.SetText(kPwmMaxEdit, c.max);
        page_.SwitchOn();
        EXPECT_EQ(page_.Minimum(), c.minimum) << c.min << " " << c.max;
        EXPECT_EQ(page_.Maximum(), c.maximum) << c.min << " " << c.max;
    }
    // "Max" 0 and preset 1500: the pulse goes out as 500 µs (F4 01).
    Sent();
    page_.SwitchOff();
    view_.SetText(kPwmMinEdit, "500");
    view_.SetText(kPwmMaxEdit, "0");
    page_.SwitchOn();
    page_.OnPreset(kPwmPreset1500);
    EXPECT_EQ(view_.Text(kPwmPulseStatic), "500us");
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"FF FF FD 04 03 23 00 D8", "FF FF FD 04 03 23 01 D7",
                                        "FF FF FD 05 03 21 F4 01 E4", "FF FF FD 04 03 23 01 D7"}));
}

TEST_F(PwmPage, PulseGoesOutLowByteFirstInEitherByteOrder) {
    for (int end : {0, 1}) {
        tervion_.End = static_cast<uint8_t>(end);
        page_.SetPulse(1500);
        EXPECT_EQ(Sent(), (std::vector<std::string>{"FF FF FD 05 03 21 DC 05 F8",
                                                    "FF FF FD 04 03 23 01 D7"}))
            << "End " << end;
    }
    EXPECT_EQ(adapter_.Peek(33), 0xDC);
    EXPECT_EQ(adapter_.Peek(34), 0x05);
}

TEST_F(PwmPage, ActivationAndDeactivationWriteAddressNineWithoutAwaitingStatus) {
    // The adapter answers every write. A page that waited for that status would read the
    // port: reads are counted around each call, and the answer must still lie unread.
    std::atomic<int> reads{0};
    comm_.TransferObserver = [&reads](bool sent, const uint8_t*, int) {
        if (!sent) ++reads;
    };
    auto unread_status = [this] {
        uint8_t status[6] = {};
        const int n = comm_.ReadBytes(status, 6);  // waits up to the port time-out
        return HexOf({status, status + (n > 0 ? n : 0)});
    };
    comm_.SetTimeout(2000);
    tervion_.Level = 2;
    page_.Activate();
    EXPECT_EQ(tervion_.Level.load(), 2);
    EXPECT_EQ(reads.load(), 0);
    EXPECT_EQ(unread_status(), "FF FF FD 02 00 00");

    page_.OnStep();  // its pulse writes take the current level: they await their status
    ASSERT_TRUE(page_.Stepping());
    reads = 0;
    page_.Deactivate();
    EXPECT_EQ(tervion_.Level.load(), 2);
    EXPECT_EQ(reads.load(), 0);
    EXPECT_EQ(unread_status(), "FF FF FD 02 00 00");
    comm_.TransferObserver = nullptr;
    AwaitRequests(4);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent.front(), "FF FF FD 04 03 09 00 F2");
    EXPECT_EQ(sent.back(), "FF FF FD 04 03 09 01 F1");
    EXPECT_EQ(adapter_.Peek(9), 1);
    // Deactivation ends the cycle; one press of "Setp" starts a new one.
    EXPECT_FALSE(page_.Stepping());
    EXPECT_EQ(view_.timers.count(kPwmSignalTimer), 0u);
    EXPECT_EQ(view_.Text(kPwmStepButton), "Setp");
    EXPECT_TRUE(view_.IsEnabled(kPwmSweepButton));
    page_.OnStep();
    EXPECT_TRUE(page_.Stepping());
    EXPECT_EQ(view_.timers.at(kPwmSignalTimer), 10);
}

TEST_F(PwmPage, StepCycleTurnsAtTheLimitsAndTheAdapterRecordsEveryPulse) {
    page_.OnStep();
    EXPECT_EQ(view_.Text(kPwmStepButton), "Stop");
    EXPECT_FALSE(view_.IsEnabled(kPwmSweepButton));
    EXPECT_EQ(view_.timers.at(kPwmSignalTimer), 10);
    std::vector<int> expected = {500};
    for (int v = 504; v <= 2500; v += 4) expected.push_back(v);
    for (int v = 2496; v >= 500; v -= 4) expected.push_back(v);
    expected.push_back(504);
    for (size_t tick = 1; tick < expected.size(); ++tick) {
        page_.OnTimer(kPwmSignalTimer);
        ASSERT_EQ(page_.Pulse(), expected[tick]) << "tick " << tick;
    }
    AwaitRequests(static_cast<long>(expected.size()) * 2);
    EXPECT_EQ(Pulses(), expected);
    const auto train = adapter_.Train();
    ASSERT_FALSE(train.empty());
    for (size_t k = 1; k < train.size(); ++k) EXPECT_LE(train[k - 1].at, train[k].at);
    EXPECT_TRUE(train.back().output_on);

    page_.OnStep();
    EXPECT_FALSE(page_.Stepping());
    EXPECT_EQ(view_.Text(kPwmStepButton), "Setp");
    EXPECT_TRUE(view_.IsEnabled(kPwmSweepButton));
    EXPECT_EQ(view_.timers.count(kPwmSignalTimer), 0u);

    // A step size that would never reach a limit walks by 1.
    view_.SetText(kPwmStepSizeEdit, "0");
    page_.OnStep();
    page_.OnTimer(kPwmSignalTimer);
    EXPECT_EQ(page_.Pulse(), 501);
}

TEST_F(PwmPage, SweepAlternatesBetweenTheLimitsEveryInterval) {
    page_.OnSweep();
    EXPECT_EQ(view_.timers.at(kPwmSignalTimer), 1000);
    EXPECT_EQ(view_.Text(kPwmSweepButton), "Stop");
    EXPECT_FALSE(view_.IsEnabled(kPwmStepButton));
    EXPECT_EQ(page_.Pulse(), 500);
    page_.OnTimer(kPwmSignalTimer);
    EXPECT_EQ(page_.Pulse(), 2500);
    page_.OnTimer(kPwmSignalTimer);
    EXPECT_EQ(page_.Pulse(), 500);
    page_.OnSweep();
    EXPECT_FALSE(page_.Sweeping());
    EXPECT_EQ(view_.Text(kPwmSweepButton), "Sweep");
    EXPECT_TRUE(view_.IsEnabled(kPwmStepButton));
    EXPECT_EQ(view_.timers.count(kPwmSignalTimer), 0u);
    AwaitRequests(6);
    EXPECT_EQ(Pulses(), (std::vector<int>{500, 2500, 500}));

    // An interval of 0 ms would flood the line: the timer runs at its 10 ms minimum.
    view_.SetText(kPwmIntervalEdit, "0");
    page_.OnSweep();
    EXPECT_EQ(view_.timers.at(kPwmSignalTimer), 10);
}

TEST_F(PwmPage, ScrollBarLinesAndPagesStopAtItsEnds) {
    page_.SetPulse(2500);
    Sent();
    page_.OnScroll(ScrollCode::kLineRight);
    EXPECT_EQ(Sent().front(), "FF FF FD 05 03 21 C4 09 0C");

    page_.SetPulse(550);
    Sent();
    page_.OnScroll(ScrollCode::kPageLeft);  // asks for 450: sent as the minimum
    EXPECT_EQ(Sent().front(), "FF FF FD 05 03 21 F4 01 E4");
    EXPECT_EQ(view_.ScrollPos(kPwmPulseBar), 500);
    page_.OnScroll(ScrollCode::kLineLeft);
    EXPECT_EQ(view_.Text(kPwmPulseStatic), "500us");

    page_.OnScroll(ScrollCode::kPageRight);
    EXPECT_EQ(page_.Pulse(), 600);
    page_.OnScroll(ScrollCode::kThumbTrack, 1234);
    EXPECT_EQ(view_.Text(kPwmPulseStatic), "1234us");
}

TEST(PwmTexts, ChinesePage) {
    Tervion t;
    BusLock lock;
    CServoPwm page(t, lock, true);
    ServoPwmMemoryView view;
    page.InitDialog(&view);
    EXPECT_EQ(view.Text(kPwmSweepButton), "扫描");
    EXPECT_EQ(view.Text(kPwmStepButton), "步进");
    EXPECT_EQ(view.Text(kPwmSwitchButton), "开");
    EXPECT_EQ(view.limit.at(kPwmStepSizeEdit), 3);
    EXPECT_EQ(view.Text(kPwmIntervalEdit), "1000");
}

}  // namespace
