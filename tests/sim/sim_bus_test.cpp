// End to end over a pseudo-terminal: the real serial port, instruction-protocol and
// Modbus masters against the simulator's devices.
#include "tools/sim/sim_bus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "modbus/modbus.h"
#include "protocol/tervion.h"
#include "tests/support/bytes_waiting.h"
#include "tests/support/wait_until.h"
#include "tools/sim/line_collision.h"
#include "transport/cqv_comm.h"

using namespace sim;
using Clock = std::chrono::steady_clock;

namespace {

class SimBusTest : public ::testing::Test {
  protected:
    void Open(int baud = 115200, int extra_ms = 25) {
        std::string error;
        ASSERT_TRUE(bus.Start(&error)) << error;
        ASSERT_EQ(comm.OpenPort(bus.port_path()), 1);
        comm.ConfigurePort(baud, 0, extra_ms);
        tervion.Comm = &comm;
        modbus.Port = &comm;
    }
    void TearDown() override {
        comm.ClosePort();
        bus.Stop();
    }
    void AddServo(int id, int end = 0, int baud = 115200, int level = 1) {
        bus.AddServo(BuiltInServoModel(), ServoSettings{id, end, baud, level});
    }
    uint8_t Peek(int id, int address) {
        uint8_t v = 0;
        EXPECT_TRUE(bus.WithServo(id, [&](InstructionServo& s) { v = s.Peek(address); }));
        return v;
    }
    // Reads the kind-0 feedback block (17 bytes from 56) until pred holds or 5 s pass.
    template <typename Pred>
    bool PollFeedback(int id, Pred pred) {
        uint8_t block[17];
        return WaitUntil([&] { return tervion.Read(id, 56, block, 17) == 17 && pred(block); },
                         std::chrono::seconds(5));
    }
    double MsOf(const std::function<void()>& fn) {
        const auto start = Clock::now();
        fn();
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }

    SimBus bus;
    CQVComm comm;
    Tervion tervion;
    Modbus modbus;
};

}  // namespace

TEST_F(SimBusTest, ReadsAndWritesInBothByteOrders) {
    AddServo(1, 0);
    AddServo(2, 1);
    Open();
    uint8_t record[9];
    ASSERT_EQ(tervion.Read(1, 0, record, 9), 9);
    EXPECT_EQ(std::vector<uint8_t>(record, record + 9),
              (std::vector<uint8_t>{3, 10, 0, 9, 3, 1, 4, 0, 1}));
    ASSERT_EQ(tervion.Read(2, 0, record, 9), 9);
    EXPECT_EQ(record[2], 1);
    EXPECT_EQ(record[5], 2);

    tervion.End = 0;
    EXPECT_NE(tervion.WriteWord(1, 9, 0x0203), 0);
    EXPECT_EQ(Peek(1, 9), 0x03);
    EXPECT_EQ(Peek(1, 10), 0x02);
    tervion.End = 1;
    EXPECT_NE(tervion.WriteWord(2, 9, 0x0203), 0);
    EXPECT_EQ(Peek(2, 9), 0x02);
    EXPECT_EQ(Peek(2, 10), 0x03);
    uint8_t two[2];
    ASSERT_EQ(tervion.Read(2, 9, two, 2), 2);
    EXPECT_EQ(two[0], 0x02);
    EXPECT_EQ(two[1], 0x03);

    // The servo's error bits reach QVS::Error through the status byte.
    bus.WithServo(1, [](InstructionServo& s) { s.SetErrorBits(0x24); });
    ASSERT_EQ(tervion.Read(1, 0, record, 1), 1);
    EXPECT_EQ(tervion.Error, 0x24);
}

TEST_F(SimBusTest, StatusLevelZeroAndBroadcastLeaveTheLineQuiet) {
    AddServo(1, 0, 115200, 0);
    AddServo(2);
    Open();
    // The servo at level 0 applies the write but sends no status: a master expecting one
    // times out, a master at level 0 does not wait.
    tervion.Level = 1;
    EXPECT_EQ(tervion.WriteByte(1, 9, 0x11), 0);
    EXPECT_EQ(Peek(1, 9), 0x11);
    tervion.Level = 0;
    EXPECT_NE(tervion.WriteByte(1, 9, 0x12), 0);
    uint8_t b = 0;
    ASSERT_EQ(tervion.Read(1, 9, &b, 1), 1);  // reads are answered at level 0
    EXPECT_EQ(b, 0x12);

    tervion.Level = 1;
    EXPECT_NE(tervion.WriteByte(0xFE, 9, 0x77), 0);
    ASSERT_EQ(tervion.Read(2, 9, &b, 1), 1);
    EXPECT_EQ(b, 0x77);
    EXPECT_EQ(Peek(1, 9), 0x77);
    // Nothing followed the broadcast write: after a fresh broadcast, the line stays silent.
    comm.PurgeReceive();
    tervion.WriteByte(0xFE, 9, 0x78);
    comm.SetTimeout(100);
    uint8_t stray = 0;
    EXPECT_EQ(comm.ReadBytes(&stray, 1), 0);
}

TEST_F(SimBusTest, SyncWriteAndRegisteredWrite) {
    AddServo(1);
    AddServo(2);
    AddServo(3);
    Open();
    const uint8_t ids[] = {1, 3};
    const uint8_t data[] = {0x10, 0x20};
    tervion.SyncWrite(ids, 2, 9, data, 2);
    uint8_t two[2];
    ASSERT_EQ(tervion.Read(1, 9, two, 2), 2);  // served after the sync write
    EXPECT_EQ(Peek(1, 9), 0x10);
    EXPECT_EQ(Peek(1, 10), 0x20);
    EXPECT_EQ(Peek(2, 9), 0x00);
    EXPECT_EQ(Peek(3, 9), 0x10);
    EXPECT_EQ(Peek(3, 10), 0x20);

    const uint8_t value = 0x5A;
    EXPECT_NE(tervion.RegWrite(2, 9, &value, 1), 0);
    ASSERT_EQ(tervion.Read(2, 9, two, 1), 1);
    EXPECT_EQ(two[0], 0x00);
    tervion.Action(0xFE);
    ASSERT_EQ(tervion.Read(2, 9, two, 1), 1);
    EXPECT_EQ(two[0], 0x5A);
}

TEST_F(SimBusTest, AnswersOnlyAtItsOwnBaudRate) {
    AddServo(1, 0, 1000000);
    AddServo(2, 0, 250000);
    Open(115200);
    uint8_t record[9];
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 0);
    EXPECT_EQ(tervion.Read(2, 0, record, 9), 0);
    comm.SetBaud(1000000, 0);
    EXPECT_EQ(bus.LineBaud(), 1000000);
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 9);
    EXPECT_EQ(tervion.Read(2, 0, record, 9), 0);
    comm.SetBaud(250000, 0);
    EXPECT_EQ(tervion.Read(2, 0, record, 9), 9);
    // A write at the wrong speed must not reach the servo either.
    tervion.WriteByte(1, 9, 0x66);
    EXPECT_EQ(Peek(1, 9), 0x00);
}

TEST_F(SimBusTest, MissingServoCostsTheTotalTimeout) {
    AddServo(1, 0, 1000000);
    Open(1000000, 25);  // 25 + 1408000 / 1000000 = 26 ms
    EXPECT_EQ(comm.Timeout(), 26);
    uint8_t record[9];
    const double ms = MsOf([&] { EXPECT_EQ(tervion.Read(7, 0, record, 9), 0); });
    EXPECT_GE(ms, 25.0);
    EXPECT_LT(ms, 26.0 + 500.0);  // loose: scheduling noise on a shared machine
    uint16_t regs[4];
    const double mb = MsOf([&] { EXPECT_EQ(modbus.ReadHoldingRegisters(7, 0, regs, 4), 0); });
    EXPECT_EQ(modbus.status(), Rtu::kTimeout);
    EXPECT_GE(mb, 25.0);
    EXPECT_LT(mb, 26.0 + 500.0);
}

TEST_F(SimBusTest, WireTimeAndReplyDelayHoldTheReplyBack) {
    AddServo(1, 0, 9600);
    Open(9600, 25);
    bus.SetWireTime(true);
    uint8_t record[9];
    // 8 request bytes + 15 reply bytes at 9600 baud: 23 ms on the wire.
    const double wired = MsOf([&] { EXPECT_EQ(tervion.Read(1, 0, record, 9), 9); });
    EXPECT_GE(wired, 23.0);
    bus.SetWireTime(false);
    bus.SetReplyDelayUs(60000);
    const double delayed = MsOf([&] { EXPECT_EQ(tervion.Read(1, 0, record, 9), 9); });
    EXPECT_GE(delayed, 60.0);
}

TEST_F(SimBusTest, InjectedFaultsAreRefusedWithoutHanging) {
    AddServo(1);
    bus.AddModbusServo(BuiltInModbusModel(), ModbusSettings{10, 115200});
    Open(115200, 25);
    uint8_t record[9];
    uint16_t regs[4];

    bus.faults().DropReplies(1);
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 0);
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 9);

    bus.faults().CorruptReplies(2);
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 0);
    EXPECT_EQ(modbus.ReadHoldingRegisters(10, 0, regs, 4), 0);
    EXPECT_EQ(modbus.status(), Rtu::kCrc);

    // Garbage ahead of the header is skipped by the instruction protocol; Modbus reads a
    // fixed length and refuses the shifted frame.
    bus.faults().GarbageBeforeReplies(2, {0x12, 0x34, 0xFF, 0x56});
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 9);
    EXPECT_EQ(record[5], 1);
    EXPECT_EQ(modbus.ReadHoldingRegisters(10, 0, regs, 4), 0);
    EXPECT_NE(modbus.status(), Rtu::kOk);

    // Later than the 35 ms time-out: refused; the late bytes are purged by the next
    // request once they have arrived.
    bus.faults().LateReplies(1, 120);
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 0);
    ASSERT_TRUE(WaitUntil([&] { return BytesWaiting(bus.port_path()) == 15; }))
        << "the late reply did not arrive";
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 9);

    // An endless stream without FF FF: the header search gives up, the Modbus read fails.
    bus.faults().SetEndlessGarbage(true);
    auto attempt = std::async(std::launch::async, [&] { return tervion.Read(1, 0, record, 9); });
    ASSERT_EQ(attempt.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "header search did not end";
    EXPECT_EQ(attempt.get(), 0);
    EXPECT_EQ(modbus.ReadHoldingRegisters(10, 0, regs, 4), 0);
    bus.faults().SetEndlessGarbage(false);
    // The stream stops between two chunks; the reads recover once it has.
    EXPECT_TRUE(WaitUntil([&] { return tervion.Read(1, 0, record, 9) == 9; }));
    EXPECT_EQ(modbus.ReadHoldingRegisters(10, 0, regs, 4), 4);
}

TEST_F(SimBusTest, ModbusRegistersThroughTheMaster) {
    bus.AddModbusServo(BuiltInModbusModel(), ModbusSettings{10, 115200});
    bus.AddModbusServo(BuiltInModbusModel(), ModbusSettings{11, 115200});
    AddServo(1);
    Open();
    uint16_t r[4];
    ASSERT_EQ(modbus.ReadHoldingRegisters(10, 0, r, 4), 4);
    EXPECT_EQ(r[0], 212);
    EXPECT_EQ(r[1], 401);
    ASSERT_EQ(modbus.ReadHoldingRegisters(10, 10, r, 3), 3);
    EXPECT_EQ(r[0], 10);
    EXPECT_EQ(r[1], 2);  // baud index of 115200

    EXPECT_TRUE(modbus.WriteRegister(10, 13, 77));
    const uint16_t block[] = {5, 6};
    EXPECT_TRUE(modbus.WriteRegisters(11, 13, block, 2));
    ASSERT_EQ(modbus.ReadHoldingRegisters(10, 13, r, 1), 1);
    EXPECT_EQ(r[0], 77);
    ASSERT_EQ(modbus.ReadHoldingRegisters(11, 13, r, 2), 2);
    EXPECT_EQ(r[0], 5);
    EXPECT_EQ(r[1], 6);

    // Broadcast torque: both switch, nobody answers, the next transaction is clean.
    EXPECT_TRUE(modbus.WriteRegister(0, 129, 1));
    ASSERT_EQ(modbus.ReadHoldingRegisters(11, 129, r, 1), 1);
    EXPECT_EQ(r[0], 1);
    uint16_t torque = 0;
    bus.WithModbusServo(10, [&](ModbusServo& m) { torque = m.Register(129); });
    EXPECT_EQ(torque, 1);

    // Backup, change, restart: the backed-up value returns.
    EXPECT_TRUE(modbus.WriteRegister(10, 133, 64));
    EXPECT_TRUE(modbus.WriteRegister(10, 134, 16));
    EXPECT_TRUE(modbus.WriteRegister(10, 13, 99));
    modbus.Restart(10);
    ASSERT_EQ(modbus.ReadHoldingRegisters(10, 13, r, 1), 1);
    EXPECT_EQ(r[0], 77);

    // The instruction servo on the same line is unaffected by the Modbus traffic.
    uint8_t record[9];
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 9);
}

TEST_F(SimBusTest, IdAndBaudChangesTakeEffectAfterTheReply) {
    AddServo(1);
    Open();
    EXPECT_NE(tervion.WriteByte(1, 5, 9), 0);  // status still comes from the old id
    uint8_t record[9];
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 0);
    ASSERT_EQ(tervion.Read(9, 0, record, 9), 9);
    EXPECT_EQ(record[5], 9);
    EXPECT_NE(tervion.WriteByte(9, 6, 0), 0);  // index 0: 1000000 baud
    EXPECT_EQ(tervion.Read(9, 0, record, 9), 0);
    comm.SetBaud(1000000, 0);
    EXPECT_EQ(tervion.Read(9, 0, record, 9), 9);
}

TEST_F(SimBusTest, ServosMoveToTheirGoalAndReportIt) {
    AddServo(1, 0);
    AddServo(2, 1);
    bus.AddServo(BuiltInPwmModel(), ServoSettings{6, 0, 115200, 1});
    bus.AddModbusServo(BuiltInModbusModel(), ModbusSettings{10, 115200});
    Open();
    tervion.PosAddress = 41;

    tervion.End = 0;
    const uint8_t no_limits[4] = {};  // both angle limits 0: goals of any sign are taken
    ASSERT_NE(tervion.Write(1, 9, no_limits, 4), 0);
    bus.RecordRequests(true);
    EXPECT_NE(tervion.WritePosition(1, -100, 0, 3000, 0), 0);
    EXPECT_EQ(bus.TakeRequests(),
              (std::vector<std::vector<uint8_t>>{{0xFF, 0xFF, 0x01, 0x0A, 0x03, 0x29, 0x00, 0x64,
                                                  0x80, 0x00, 0x00, 0xB8, 0x0B, 0x21}}));
    bus.RecordRequests(false);
    EXPECT_TRUE(PollFeedback(1, [](const uint8_t* f) {
        return f[0] == 0x64 && f[1] == 0x80 && f[10] == 0 && f[11] == 0x64 && f[12] == 0x80;
    }));

    // Registered: nothing moves until the action.
    tervion.End = 1;
    EXPECT_NE(tervion.RegWritePosition(2, 1000, 0, 0, 0), 0);
    uint8_t f[17];  // the next request: a plain write would have the servo moving by now
    ASSERT_EQ(tervion.Read(2, 56, f, 17), 17);
    EXPECT_EQ(f[0] << 8 | f[1], 2047);
    EXPECT_EQ(f[10], 0);
    tervion.Action(0xFE);
    EXPECT_TRUE(PollFeedback(2, [](const uint8_t* b) { return (b[0] << 8 | b[1]) == 1000; }));

    // Torque off: a goal written without the torque byte does not hold the shaft.
    EXPECT_NE(tervion.WriteByte(2, 40, 0), 0);
    ASSERT_EQ(tervion.Read(2, 56, f, 17), 17);
    EXPECT_EQ(f[4], 0);
    EXPECT_EQ(f[5], 0);

    // PWM family: a goal word, the feedback in its own order, two's complement.
    tervion.End = 0;
    EXPECT_NE(tervion.WriteWord(6, 42, 300), 0);
    uint8_t p[16];
    EXPECT_TRUE(WaitUntil([&] { return tervion.Read(6, 56, p, 16) == 16 && p[0] == 0x2C; }));
    EXPECT_EQ(p[0] | p[1] << 8, 300);
    EXPECT_EQ(p[6] | p[7] << 8, 300);

    // Modbus: goal with acceleration and speed; the feedback registers follow.
    const uint16_t goal[] = {500, 1, 50, 1500};
    EXPECT_TRUE(modbus.WriteRegisters(10, 128, goal, 4));
    uint16_t r[10] = {};
    EXPECT_TRUE(WaitUntil([&] {
        return modbus.ReadHoldingRegisters(10, 256, r, 10) == 10 && r[1] == 500 && r[6] == 0;
    }));
    EXPECT_EQ(r[1], 500);
    EXPECT_EQ(r[8], 500);
    EXPECT_EQ(r[4], 120);
    bus.WithModbusServo(10, [](ModbusServo& m) { m.SetErrorBits(0x04); });
    ASSERT_EQ(modbus.ReadHoldingRegisters(10, 256, r, 1), 1);
    EXPECT_EQ(r[0], 0x04);
}

// Two devices answering one id overlap on the line: the master gets bytes, but no valid
// reply. Two headers FF FF skewed by 13 bit times merge into FF FB FF (the second sender's
// start bit lands on bit 2 of the first sender's second byte).
TEST_F(SimBusTest, ServosSharingAnIdAnswerWithCollidedBytes) {
    EXPECT_EQ(CollideOnLine({{0xFF, 0xFF}, {0xFF, 0xFF}}, 13),
              (std::vector<uint8_t>{0xFF, 0xFB, 0xFF}));
    EXPECT_EQ(CollideOnLine({{0xFF, 0x01, 0x0B}}), (std::vector<uint8_t>{0xFF, 0x01, 0x0B}));

    AddServo(1);
    AddServo(1, 1);
    AddServo(2);
    Open();
    long received = 0;
    comm.TransferObserver = [&](bool sent, const uint8_t*, int n) {
        if (!sent) received += n;
    };
    uint8_t record[9];
    EXPECT_EQ(tervion.Read(1, 0, record, 9), 0);
    EXPECT_GT(received, 0);
    EXPECT_EQ(tervion.Read(2, 0, record, 9), 9);  // a lone servo still answers cleanly
}
