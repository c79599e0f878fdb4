// The Modbus master on a recording byte stream: request frames, reply checks, status codes.
#include "modbus/rtu.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "modbus/modbus.h"
#include "tests/support/byte_script.h"
#include "transport/cqv_comm.h"

namespace {

class RecordingRtu : public Rtu {
  public:
    void Discard() override {
        line.clear();
        calls.push_back("discard");
    }
    void AfterSend() override {
        line.insert(line.end(), reply.begin(), reply.end());
        calls.push_back("after");
    }
    void Send(const uint8_t* buffer, int n) override {
        sent.insert(sent.end(), buffer, buffer + n);
        calls.push_back("send");
    }
    int Receive(uint8_t* buffer, int n) override {
        asked.push_back(n);
        int k = 0;
        while (k < n && !line.empty()) {
            buffer[k++] = line.front();
            line.pop_front();
        }
        return k;
    }
    std::string Sent() const { return HexOf(sent); }

    std::vector<uint8_t> sent;
    std::vector<std::string> calls;
    std::vector<int> asked;
    std::deque<uint8_t> line;
    std::vector<uint8_t> reply;
};

TEST(RtuFrames, ReadRegistersAndUnpackBigEndianValues) {
    RecordingRtu m;
    m.line.assign({0x01, 0x03});  // stale bytes are discarded before the request
    m.reply = Hex("01 03 08 01 38 04 D2 00 00 FF FF 55 FE");
    uint16_t r[4] = {};
    EXPECT_EQ(m.ReadHoldingRegisters(1, 0, r, 4), 4);
    EXPECT_EQ(m.Sent(), "01 03 00 00 00 04 44 09");
    EXPECT_EQ(m.asked, std::vector<int>{13});
    EXPECT_EQ(m.calls, (std::vector<std::string>{"discard", "send", "after"}));
    EXPECT_EQ(m.status(), Rtu::kOk);
    EXPECT_EQ(m.reply_id(), 1);
    EXPECT_EQ(r[0], 312);
    EXPECT_EQ(r[1], 1234);
    EXPECT_EQ(r[2], 0);
    EXPECT_EQ(r[3], 65535);
}

TEST(RtuFrames, WritesAndRestart) {
    RecordingRtu one;
    one.reply = Hex("01 06 00 85 00 80 99 83");
    EXPECT_TRUE(one.WriteRegister(1, 133, 128));
    EXPECT_EQ(one.Sent(), "01 06 00 85 00 80 99 83");
    EXPECT_EQ(one.asked, std::vector<int>{8});

    RecordingRtu many;
    many.reply = Hex("01 10 00 80 00 04 C0 22");
    const uint16_t values[4] = {100, 1, 20, 300};
    EXPECT_TRUE(many.WriteRegisters(1, 128, values, 4));
    EXPECT_EQ(many.Sent(), "01 10 00 80 00 04 08 00 64 00 01 00 14 01 2C EC 4B");
    EXPECT_EQ(many.asked, std::vector<int>{8});

    RecordingRtu restart;
    restart.Restart(1);
    EXPECT_EQ(restart.Sent(), "01 41 C0 10");
    EXPECT_TRUE(restart.asked.empty());

    RecordingRtu broadcast;
    EXPECT_TRUE(broadcast.WriteRegister(0, 133, 128));
    EXPECT_EQ(broadcast.Sent(), "00 06 00 85 00 80 98 52");
    EXPECT_TRUE(broadcast.asked.empty());
    EXPECT_EQ(broadcast.status(), Rtu::kOk);
}

TEST(RtuFrames, FrameLimitsAndSlaveIdRangeSendNothing) {
    RecordingRtu m;
    std::vector<uint16_t> values(28, 7);
    EXPECT_TRUE(m.WriteRegisters(1, 0, values.data(), 27) == false);  // sent, no reply
    EXPECT_EQ(m.sent.size(), 63u);
    EXPECT_EQ(m.status(), Rtu::kTimeout);

    RecordingRtu over;
    EXPECT_FALSE(over.WriteRegisters(1, 0, values.data(), 28));
    EXPECT_EQ(over.status(), Rtu::kOverflow);
    EXPECT_TRUE(over.sent.empty());

    uint16_t r[30];
    RecordingRtu read29;
    EXPECT_EQ(read29.ReadHoldingRegisters(1, 0, r, 29), 0);
    EXPECT_EQ(read29.asked, std::vector<int>{63});
    RecordingRtu read30;
    EXPECT_EQ(read30.ReadHoldingRegisters(1, 0, r, 30), 0);
    EXPECT_EQ(read30.status(), Rtu::kOverflow);
    EXPECT_TRUE(read30.sent.empty());
    EXPECT_TRUE(read30.asked.empty());

    RecordingRtu far;
    EXPECT_FALSE(far.WriteRegister(248, 1, 1));
    EXPECT_EQ(far.status(), Rtu::kWrongId);
    EXPECT_TRUE(far.sent.empty());
    far.Restart(248);
    EXPECT_TRUE(far.sent.empty());
}

TEST(RtuReplies, EachRefusalHasItsStatus) {
    struct Case {
        const char* reply;
        uint8_t status;
        uint8_t reply_id;
    };
    const Case cases[] = {
        {"01 03 08 01 38 04 D3 00 00 FF FF 55 FE", Rtu::kCrc, 0},        // one byte corrupted
        {"02 03 08 01 38 04 D2 00 00 FF FF 5A BA", Rtu::kWrongId, 2},    // foreign id
        {"01 83 08 01 38 04 D2 00 00 FF FF 52 16", Rtu::kException, 1},  // exception bit
        {"01 04 08 01 38 04 D2 00 00 FF FF E4 24", Rtu::kException, 1},  // not a register reply
        {"01 03 06 01 38 04 D2 00 00 FF FF 19 9E", Rtu::kException, 1},  // byte count off
        {"01 83 02 C0 F1", Rtu::kTimeout, 0},  // a short exception reply reads as a time-out
        {"01 03 08 01 38", Rtu::kTimeout, 0},
        {"", Rtu::kTimeout, 0},
    };
    for (const Case& c : cases) {
        RecordingRtu m;
        m.reply = Hex(c.reply);
        uint16_t r[4] = {9, 9, 9, 9};
        EXPECT_EQ(m.ReadHoldingRegisters(1, 0, r, 4), 0) << c.reply;
        EXPECT_EQ(m.status(), c.status) << c.reply;
        EXPECT_EQ(m.reply_id(), c.reply_id) << c.reply;
        EXPECT_EQ(r[0], 9) << c.reply;
    }

    // A broadcast request takes the answer of whichever id gives it.
    RecordingRtu b;
    b.reply = Hex("02 03 08 01 38 04 D2 00 00 FF FF 5A BA");
    uint16_t r[4];
    EXPECT_EQ(b.ReadHoldingRegisters(0, 0, r, 4), 4);
    EXPECT_EQ(b.reply_id(), 2);

    RecordingRtu echo;
    echo.reply = Hex("02 06 00 85 00 80 99 B0");
    EXPECT_FALSE(echo.WriteRegister(1, 133, 128));
    EXPECT_EQ(echo.status(), Rtu::kWrongId);
}

TEST(RtuReplies, ASuccessAfterAFailureClearsTheStatus) {
    RecordingRtu m;
    uint16_t r[4];
    EXPECT_EQ(m.ReadHoldingRegisters(1, 0, r, 4), 0);
    EXPECT_EQ(m.status(), Rtu::kTimeout);
    m.reply = Hex("01 06 00 85 00 80 99 83");
    EXPECT_TRUE(m.WriteRegister(1, 133, 128));
    EXPECT_EQ(m.status(), Rtu::kOk);
}

TEST(ModbusBinding, UnboundOrClosedPortGivesTimeouts) {
    Modbus unbound;
    uint16_t r[4];
    EXPECT_EQ(unbound.ReadHoldingRegisters(1, 0, r, 4), 0);
    EXPECT_EQ(unbound.status(), Rtu::kTimeout);

    CQVComm closed;
    Modbus m;
    m.Port = &closed;
    EXPECT_FALSE(m.WriteRegister(1, 133, 128));
    EXPECT_EQ(m.status(), Rtu::kTimeout);
}

}  // namespace
