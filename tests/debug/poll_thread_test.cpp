// The real 50 ms poll thread against selections changing on the window's thread: every
// value that reaches the screen belongs to the servo selected at that moment, and nothing
// is shown after the page is gone. Meant to run under ThreadSanitizer as well.
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/debug/debug_fixture.h"
#include "tests/support/wait_until.h"

using namespace debug_test;
using namespace std::chrono_literals;

namespace {

// Answers feedback reads like two servos: id 1 (kind 0, 17 bytes, position 111) and id 4
// (PWM family, 16 bytes, position 444). A read with another id or length gets no answer.
class TwoServoComm : public FakePort {
  public:
    TwoServoComm() {
        device = [this](const Bytes& request) {
            Bytes reply;
            size_t at = 0;
            while (at + 6 <= request.size()) {  // each whole frame written since the last read
                const size_t size = request[at + 3] + 4u;
                if (size < 6 || at + size > request.size()) break;
                const uint8_t id = request[at + 2], instruction = request[at + 4];
                const uint8_t count = request[at + 6 < at + size ? at + 6 : at + 5];
                at += size;
                if (instruction != 0x02) continue;
                ++reads_;
                Bytes r;
                if (id == 1 && count == 17) {
                    r = ServoFrame(1, 0, {111, 0, 0, 0, 0, 0, 74, 30, 0, 0, 0, 111, 0, 0, 0, 0, 0});
                } else if (id == 4 && count == 16) {
                    r = ServoFrame(4, 0,
                                   {0xBC, 0x01, 0, 0, 0, 0, 0xBC, 0x01, 30, 74, 0, 0, 0, 0, 0, 0});
                }
                reply.insert(reply.end(), r.begin(), r.end());
            }
            return reply;
        };
    }
    int reads() const { return reads_.load(); }

  private:
    std::atomic<int> reads_{0};
};

// Checks every position and state text against the selection the test made last.
class CheckingView : public FakeView {
  public:
    void SetText(int c, const std::string& t) override {
        FakeView::SetText(c, t);
        if (c == kPositionStatic && t != expected) ++wrong;
        if (c == kPositionStatic) ++shown;
        if (c == kStateStatic && t == "Timeout") ++timeouts;
    }
    std::string expected = "0";
    int wrong = 0, shown = 0, timeouts = 0;
};

}  // namespace

TEST_F(PageTest, PollThreadNeverMixesSelections) {
    TwoServoComm comm;
    tervion_.Comm = &comm;
    CheckingView view;
    auto page = std::make_unique<CRobotDlg>(*setup_, modbus_, tervion_, lock_, false, ui_);
    page->InitDialog(&view);
    page->Graph().InitCanvas(4000, 2000);
    view.text[kSecondsEdit] = "1";  // batches of 20 rows written from the poll thread
    page->OnExport();

    const std::vector<FoundServo> servos = FoundList({Records(), 3});
    const std::vector<FoundServo> pwm = FoundList({Records(), 6}, kKindPwm);
    auto select = [&](bool servo) {
        tervion_.End = 0;
        if (servo) {
            page->SelectServo(1, servos, kServoA);
            view.expected = "111";
        } else {
            page->SelectServo(4, pwm, kPwm);
            view.expected = "444";
        }
    };
    // Until the poll has read `more` times again; `serve` drains the window's posted work.
    auto polled = [&](int more, bool serve) {
        const int target = comm.reads() + more;
        return WaitUntil([&] { return comm.reads() >= target; }, 10s,
                         [&] {
                             if (serve) ui_.Drain();
                             std::this_thread::sleep_for(2ms);
                         });
    };
    bool servo = true;
    select(servo);
    for (int i = 0; i < 8; ++i) {
        // Three reads: the second is surely of this selection, and its result is posted
        // before the third goes out.
        ASSERT_TRUE(polled(3, true));
        ui_.Drain();
        // Slider moves on this thread compete with the poll for the bus.
        view.pos[kGoalSlider] = 100;
        page->OnGoalSliderScroll();
        ASSERT_TRUE(polled(1 + i % 2, false));  // results of this selection wait in the queue
        servo = !servo;
        select(servo);
        ui_.Drain();  // results read for the previous selection must not be shown
    }
    page->StopPolling();
    ui_.Drain();
    page->OnExport();

    EXPECT_GE(view.shown, 8);
    EXPECT_EQ(view.wrong, 0);
    EXPECT_EQ(view.timeouts, 0);

    // Results still queued when the page goes are dropped.
    page->StartPolling();
    ASSERT_TRUE(polled(2, false));
    page.reset();
    const int shown = view.shown;
    ui_.Drain();
    EXPECT_EQ(view.shown, shown);
    tervion_.Comm = &comm_;
}
