// The communication test against the simulated bus: which servos a pass reads, its lines,
// time-out counts, "Clear", one worker at a time and the bus lock around each read.
#include <regex>

#include "upgrade_fixture.h"

using namespace upgrade_test;

namespace {

class CommTest : public SimPage {
  protected:
    // Servos 1 and 2 (one model), 3 (another), and 9 with servo 1's identity but silent.
    void SelectFirst() {
        records_ = {Identity(1), Identity(2), Identity(3), Identity(1)};
        records_[3][5] = 9;
        page_->SetServo(1, FoundList(records_), 0, "VX40");
    }
    // Runs `passes` passes through the worker and returns the result texts.
    std::vector<std::string> Passes(int passes) {
        view_.results.clear();
        page_->SetPassLimit(passes);
        const int ended = view_.tests_ended;
        page_->OnTest();
        EXPECT_TRUE(Until([&] { return view_.tests_ended > ended; }));
        return view_.results;
    }
    std::vector<ServoInfo> records_;
};

const std::regex kAnswered(
    R"(Servo ID:(\d+)  Response:(\d+)us, Timeout:(\d+) Speed:(\d+\.\d\d)kb/s)");

}  // namespace

TEST_F(CommTest, APassReadsTheSelectedModelAndCountsTimeOuts) {
    SelectFirst();
    EXPECT_EQ(view_.text[kTestButton], "Test");
    const std::vector<std::string> texts = Passes(2);
    ASSERT_EQ(texts.size(), 2u);
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::string> lines;
        const std::string& t = texts[pass];
        for (size_t at = 0; at < t.size();) {
            const size_t end = t.find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
            lines.push_back(t.substr(at, end - at));
            at = end + 2;
        }
        ASSERT_EQ(lines.size(), 3u) << "servo 3 is of another model";
        std::smatch m;
        for (int k = 0; k < 2; ++k) {
            ASSERT_TRUE(std::regex_match(lines[k], m, kAnswered)) << lines[k];
            EXPECT_EQ(m[1], k == 0 ? "1" : "2");
            EXPECT_EQ(m[3], "0");
            // 17 bytes read from address 56 to 72: 8 request and 23 reply bytes, in kb/s.
            const long long us = std::stoll(m[2]);
            char speed[32];
            std::snprintf(speed, sizeof speed, "%.2f", (31 * 8000000LL / us) / 1000.0);
            EXPECT_EQ(m[4], speed) << "reply time " << us;
        }
        ASSERT_TRUE(std::regex_match(lines[2], m, kAnswered)) << lines[2];
        EXPECT_EQ(m[1], "9");
        EXPECT_EQ(m[3], std::to_string(pass + 1));
        EXPECT_EQ(m[4], "0.00");
        EXPECT_GE(std::stoi(m[2]), 25000) << "the time spent waiting";
    }
    EXPECT_EQ(page_->timeout_count(9), 2);

    // "Clear" empties the edit and the counts: the next pass counts from 1 again.
    page_->OnClear();
    EXPECT_EQ(view_.text[kResultEdit], "");
    EXPECT_EQ(page_->timeout_count(9), 0);
    const std::string again = Passes(1).at(0);
    EXPECT_NE(again.find("Servo ID:9  Response:"), std::string::npos);
    EXPECT_NE(again.find("Timeout:1 Speed:0.00kb/s\r\n"), std::string::npos);
}

TEST_F(CommTest, ModbusServosAreReadByRegisters) {
    uint16_t regs[4] = {};
    ASSERT_EQ(modbus.ReadHoldingRegisters(6, 0, regs, 4), 4);
    const ServoInfo modbus{static_cast<uint8_t>(regs[0] / 100),
                           static_cast<uint8_t>(regs[0] % 100),
                           1,
                           static_cast<uint8_t>(regs[1] / 100),
                           static_cast<uint8_t>(regs[1] % 100),
                           6,
                           0,
                           0,
                           1};
    page_->SetServo(6, FoundList(modbus, kKindModbus), 0, "VXM8");
    ASSERT_NE(page_->servo_count(), 0) << "the sample Modbus model has a debug row";
    bus_.RecordRequests(true);
    const std::string text = Passes(1).at(0);
    std::smatch m;
    const std::string line = text.substr(0, text.find("\r\n"));
    ASSERT_TRUE(std::regex_match(line, m, kAnswered)) << text;
    EXPECT_EQ(m[1], "6");
    const auto requests = bus_.TakeRequests();
    ASSERT_FALSE(requests.empty());
    // Function 3 from register 256, ten registers.
    const std::vector<uint8_t>& q = requests.back();
    EXPECT_EQ(std::vector<uint8_t>(q.begin(), q.begin() + 6),
              (std::vector<uint8_t>{0x06, 0x03, 0x01, 0x00, 0x00, 0x0A}));
}

TEST_F(CommTest, NoDebugRowShowsStopButNoLine) {
    ServoInfo unknown{9, 9, 0, 99, 99, 1, 0, 0, 1};
    page_->SetServo(1, FoundList(unknown), 0, "");
    EXPECT_EQ(page_->servo_count(), 0);
    page_->OnTest();
    EXPECT_EQ(view_.text[kTestButton], "Stop");
    ASSERT_TRUE(Until([&] { return view_.tests_ended == 1; }));
    EXPECT_TRUE(view_.results.empty());
    EXPECT_EQ(view_.text[kTestButton], "Stop");
}

TEST_F(CommTest, SelectingAnotherServoMidTestChangesNothing) {
    SelectFirst();
    view_.results.clear();
    page_->SetPassLimit(3);
    page_->OnTest();
    ASSERT_TRUE(Until([&] { return !view_.results.empty(); }));
    ServoInfo unknown{9, 9, 0, 99, 99, 1, 0, 0, 1};
    page_->SetServo(3, FoundList(unknown), 0, "");
    ASSERT_TRUE(Until([&] { return view_.tests_ended == 1; }));
    ASSERT_EQ(view_.results.size(), 3u) << "the limit ends the test, not the new selection";
    for (const std::string& pass : view_.results) {
        EXPECT_EQ(pass.find("Servo ID:1  "), 0u) << pass;
        EXPECT_NE(pass.find("Servo ID:9  "), std::string::npos) << pass;
    }
    EXPECT_EQ(view_.text[kTestButton], "Test");
}

TEST_F(CommTest, TestRightAfterStopKeepsOneWorker) {
    SelectFirst();
    page_->OnTest();
    for (int k = 0; k < 20; ++k) {
        page_->OnTest();  // Stop
        EXPECT_EQ(view_.text[kTestButton], "Test");
        page_->OnTest();  // Test again before the pass has ended
        EXPECT_EQ(view_.text[kTestButton], "Stop");
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(Until([&] { return view_.results.size() >= 2; }));
    EXPECT_EQ(view_.tests_ended, 0) << "the reused worker is still testing";
    page_->StopTest();
    ASSERT_TRUE(Until([&] { return view_.tests_ended > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ui_.Drain();
    EXPECT_EQ(view_.tests_ended, 1) << "exactly one worker ran";
}

TEST_F(CommTest, EachReadWaitsForTheBusLock) {
    SelectFirst();
    page_->OnTest();
    ASSERT_TRUE(Until([&] { return !view_.results.empty(); }));
    {
        std::lock_guard<BusLock> g(lock);
        const long seen = bus_.requests_seen();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(bus_.requests_seen(), seen) << "no read while another holds the lock";
    }
    page_->StopTest();
    ASSERT_TRUE(Until([&] { return view_.tests_ended > 0; }));
}
