// The simulated devices on their own, without a line: the bytes they answer with and
// what each instruction or function does to their memory.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/bus_frames.h"
#include "tools/sim/fault_injector.h"
#include "tools/sim/instruction_servo.h"
#include "tools/sim/modbus_servo.h"
#include "tools/sim/request_framer.h"
#include "tools/sim/servo_motion.h"
#include "tools/sim/sim_options.h"

using Bytes = std::vector<uint8_t>;
using namespace sim;

namespace {

Bytes Ask(SimDevice& d, const Bytes& request, bool modbus = false) {
    Bytes reply;
    const bool answered = modbus ? d.HandleModbus(request.data(), request.size(), reply)
                                 : d.HandleInstruction(request.data(), request.size(), reply);
    return answered ? reply : Bytes{};
}

InstructionServo Servo(int id, int end = 0, int level = 1) {
    return InstructionServo(BuiltInServoModel(), ServoSettings{id, end, 115200, level});
}

}  // namespace

TEST(SimInstructionServo, AnswersReadsWithItsIdentityAndStatusForWrites) {
    InstructionServo s = Servo(1);
    EXPECT_EQ(Ask(s, {0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x09, 0xEF}),
              (Bytes{0xFF, 0xFF, 0x01, 0x0B, 0x00, 0x03, 0x0A, 0x00, 0x09, 0x03, 0x01, 0x04, 0x00,
                     0x01, 0xD4}));
    // Write 0x22 0x01 to address 9 (a two-byte setting without side effects).
    EXPECT_EQ(Ask(s, {0xFF, 0xFF, 0x01, 0x05, 0x03, 0x09, 0x22, 0x01, 0xCA}),
              (Bytes{0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFC}));
    EXPECT_EQ(s.Peek(9), 0x22);
    EXPECT_EQ(s.Peek(10), 0x01);
    // Another id, or a bad instruction for this one, gets nothing.
    EXPECT_TRUE(Ask(s, {0xFF, 0xFF, 0x02, 0x04, 0x02, 0x00, 0x09, 0xEE}).empty());
    // The error bits raised at run time travel in every status byte.
    s.SetErrorBits(0x04);
    EXPECT_EQ(Ask(s, {0xFF, 0xFF, 0x01, 0x04, 0x02, 0x09, 0x01, 0xEE}),
              (Bytes{0xFF, 0xFF, 0x01, 0x03, 0x04, 0x22, 0xD5}));
}

TEST(SimInstructionServo, LevelZeroAndBroadcastSilenceEverythingButReads) {
    InstructionServo quiet = Servo(1, 0, 0);
    EXPECT_TRUE(Ask(quiet, {0xFF, 0xFF, 0x01, 0x05, 0x03, 0x09, 0x22, 0x01, 0xCA}).empty());
    EXPECT_EQ(quiet.Peek(9), 0x22);  // applied all the same
    EXPECT_FALSE(Ask(quiet, {0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x09, 0xEF}).empty());

    InstructionServo s = Servo(1);
    // Broadcast write of 0x33 to address 9: applied, unanswered.
    EXPECT_TRUE(Ask(s, {0xFF, 0xFF, 0xFE, 0x04, 0x03, 0x09, 0x33, 0xBE}).empty());
    EXPECT_EQ(s.Peek(9), 0x33);
    // Broadcast read: answered under the servo's own id.
    EXPECT_EQ(Ask(s, {0xFF, 0xFF, 0xFE, 0x04, 0x02, 0x09, 0x01, 0xF1}),
              (Bytes{0xFF, 0xFF, 0x01, 0x03, 0x00, 0x33, 0xC8}));
}

TEST(SimInstructionServo, SyncRegisteredRecoveryBackupRestart) {
    InstructionServo one = Servo(1);
    InstructionServo two = Servo(2);
    InstructionServo three = Servo(3);
    // Sync write of 10 00 to address 42 for ids 1 and 2.
    const Bytes sync = {0xFF, 0xFF, 0xFE, 0x0A, 0x83, 0x2A, 0x02,
                        0x01, 0x10, 0x00, 0x02, 0x10, 0x00, 0x25};
    for (InstructionServo* s : {&one, &two, &three}) EXPECT_TRUE(Ask(*s, sync).empty());
    EXPECT_EQ(one.Peek(42), 0x10);
    EXPECT_EQ(two.Peek(42), 0x10);
    EXPECT_EQ(three.Peek(42), 0x00);

    // Registered write of 0x44 to address 9: status now, effect only on action.
    EXPECT_EQ(Ask(one, {0xFF, 0xFF, 0x01, 0x04, 0x04, 0x09, 0x44, 0xA9}),
              (Bytes{0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFC}));
    EXPECT_EQ(one.Peek(9), 0x00);
    EXPECT_TRUE(Ask(one, {0xFF, 0xFF, 0xFE, 0x02, 0x05, 0xFA}).empty());
    EXPECT_EQ(one.Peek(9), 0x44);

    // Backup keeps 0x44; a later write is lost by the restart; recovery brings the factory
    // value back and keeps it over a restart.
    EXPECT_FALSE(Ask(one, {0xFF, 0xFF, 0x01, 0x02, 0x09, 0xF3}).empty());
    Ask(one, {0xFF, 0xFF, 0x01, 0x04, 0x03, 0x09, 0x55, 0x99});
    EXPECT_EQ(one.Peek(9), 0x55);
    EXPECT_TRUE(Ask(one, {0xFF, 0xFF, 0x01, 0x02, 0x08, 0xF4}).empty());
    EXPECT_EQ(one.Peek(9), 0x44);
    // The sync-written goal had switched torque on before the backup; a restart does not.
    EXPECT_EQ(one.Peek(40), 0);
    EXPECT_FALSE(one.motion().torque());
    EXPECT_FALSE(Ask(one, {0xFF, 0xFF, 0x01, 0x02, 0x06, 0xF6}).empty());
    EXPECT_EQ(one.Peek(9), 0x00);
    Ask(one, {0xFF, 0xFF, 0x01, 0x02, 0x08, 0xF4});
    EXPECT_EQ(one.Peek(9), 0x00);
    EXPECT_EQ(one.id(), 1);
}

TEST(SimInstructionServo, RefusesWhatWouldRunPastItsMemory) {
    InstructionServo s = Servo(1);
    // Write of six bytes at 252: the four that fit land, nothing beyond.
    Bytes write = {0xFF, 0xFF, 0x01, 0x09, 0x03, 0xFC, 1, 2, 3, 4, 5, 6};
    write.push_back(static_cast<uint8_t>(~(0x01 + 0x09 + 0x03 + 0xFC + 21) & 0xFF));
    EXPECT_FALSE(Ask(s, write).empty());
    EXPECT_EQ(s.Peek(255), 4);
    // A read of 254 bytes cannot be answered (its length byte would overflow).
    EXPECT_TRUE(Ask(s, {0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0xFE, 0xFA}).empty());
    // Reads past the end give zeros rather than other memory.
    const Bytes tail = Ask(s, {0xFF, 0xFF, 0x01, 0x04, 0x02, 0xFE, 0x04, 0xF6});
    ASSERT_EQ(tail.size(), 10u);
    EXPECT_EQ(tail[5], 3);
    EXPECT_EQ(tail[6], 4);
    EXPECT_EQ(tail[7], 0);
    EXPECT_EQ(tail[8], 0);
    // Identity and feedback bytes are not the bus's to write.
    Ask(s, {0xFF, 0xFF, 0x01, 0x04, 0x03, 0x00, 0x07, 0xF0});
    EXPECT_EQ(s.Peek(0), 3);
}

// Writes 0 to both angle limits (addresses 9 to 12): the servo then takes goals of any sign.
void LiftAngleLimits(InstructionServo& servo, uint8_t id) {
    Bytes write = {0xFF, 0xFF, id, 0x07, 0x03, 0x09, 0, 0, 0, 0};
    write.push_back(static_cast<uint8_t>(~(id + 0x07 + 0x03 + 0x09) & 0xFF));
    ASSERT_FALSE(Ask(servo, write).empty());
}

// A goal for servo `id` at the motion block 41: acc 0, position as given, time 0, speed 0.
Bytes GoalAt(uint8_t id, uint16_t position) {
    return ServoFrame(id, 0x03,
                      {0x29, 0x00, static_cast<uint8_t>(position & 0xFF),
                       static_cast<uint8_t>(position >> 8), 0, 0, 0, 0});
}

TEST(SimInstructionServo, GoalsStopAtTheAngleLimitsOfTheTable) {
    InstructionServo servo = Servo(1, 0);  // limits 0 and 4095 by default
    const struct {
        uint16_t goal;
        int reached;
    } cases[] = {{30719, 4095}, {0x8064, 0}, {1234, 1234}};
    for (const auto& c : cases) {
        ASSERT_FALSE(Ask(servo, GoalAt(1, c.goal)).empty());
        servo.Advance(30.0);
        EXPECT_EQ(servo.Peek(56) | servo.Peek(57) << 8, c.reached) << c.goal;
        EXPECT_EQ(servo.Peek(66), 0) << c.goal;  // at rest at the limit
    }
    // Limits 1000..2000, written over the bus, hold the next goal.
    ASSERT_FALSE(
        Ask(servo, {0xFF, 0xFF, 0x01, 0x07, 0x03, 0x09, 0xE8, 0x03, 0xD0, 0x07, 0x29}).empty());
    ASSERT_FALSE(Ask(servo, GoalAt(1, 3000)).empty());
    servo.Advance(30.0);
    EXPECT_EQ(servo.Peek(56) | servo.Peek(57) << 8, 2000);
}

TEST(SimInstructionServo, GoalWritesDriveTheFeedbackBlockInBusOrder) {
    InstructionServo low = Servo(1, 0);
    LiftAngleLimits(low, 1);
    // Motion block at 41: acc 0, position -100 (sign-magnitude 0x8064), time 0, speed 0.
    Bytes move = {0xFF, 0xFF, 0x01, 0x0A, 0x03, 0x29, 0x00, 0x64, 0x80, 0, 0, 0, 0};
    move.push_back(static_cast<uint8_t>(~(0x01 + 0x0A + 0x03 + 0x29 + 0x64 + 0x80) & 0xFF));
    EXPECT_FALSE(Ask(low, move).empty());
    EXPECT_EQ(low.Peek(40), 1);  // torque switched on by the goal
    EXPECT_EQ(low.Peek(67), 0x64);
    EXPECT_EQ(low.Peek(68), 0x80);
    low.Advance(5.0);
    EXPECT_EQ(low.Peek(56), 0x64);  // arrived at -100
    EXPECT_EQ(low.Peek(57), 0x80);
    EXPECT_EQ(low.Peek(66), 0);  // no longer moving

    InstructionServo high = Servo(2, 1);
    LiftAngleLimits(high, 2);
    move[2] = 0x02;
    move[7] = 0x80;
    move[8] = 0x64;
    move.back() = static_cast<uint8_t>(~(0x02 + 0x0A + 0x03 + 0x29 + 0x64 + 0x80) & 0xFF);
    EXPECT_FALSE(Ask(high, move).empty());
    high.Advance(5.0);
    EXPECT_EQ(high.Peek(56), 0x80);
    EXPECT_EQ(high.Peek(57), 0x64);
    EXPECT_EQ(high.Peek(62), 120);  // 12.0 V

    // Torque off: a new goal position in memory without a goal write does not move it.
    Ask(high, {0xFF, 0xFF, 0x02, 0x04, 0x03, 0x28, 0x00, 0xCE});
    EXPECT_EQ(high.Peek(40), 0);
    EXPECT_FALSE(high.motion().torque());
}

TEST(SimInstructionServo, PwmFamilyKeepsItsOwnLayout) {
    InstructionServo p(BuiltInPwmModel(), ServoSettings{6, 0, 115200, 1});
    // Identity: model major, firmware minor, firmware major, id.
    EXPECT_EQ(p.Peek(0), 7);
    EXPECT_EQ(p.Peek(1), 4);
    EXPECT_EQ(p.Peek(2), 2);
    EXPECT_EQ(p.id(), 6);
    // Goal word 300 (2C 01) to address 42.
    EXPECT_FALSE(Ask(p, {0xFF, 0xFF, 0x06, 0x05, 0x03, 0x2A, 0x2C, 0x01, 0x9A}).empty());
    p.Advance(5.0);
    EXPECT_EQ(p.Peek(62), 0x2C);  // goal at block offset 6
    EXPECT_EQ(p.Peek(63), 0x01);
    EXPECT_EQ(p.Peek(56), 0x2C);  // position at offset 0
    EXPECT_EQ(p.Peek(65), 74);    // voltage at offset 9
}

TEST(SimModbusServo, RegistersExceptionsAndBroadcast) {
    ModbusServo m(BuiltInModbusModel(), ModbusSettings{1, 115200});
    EXPECT_EQ(
        Ask(m, {0x01, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0x09}, true),
        (Bytes{0x01, 0x03, 0x08, 0x00, 0xD4, 0x01, 0x91, 0x00, 0x00, 0x00, 0x00, 0xFD, 0xD6}));
    // Write 77 to register 13: echoed.
    EXPECT_EQ(Ask(m, {0x01, 0x06, 0x00, 0x0D, 0x00, 0x4D, 0xD8, 0x3C}, true),
              (Bytes{0x01, 0x06, 0x00, 0x0D, 0x00, 0x4D, 0xD8, 0x3C}));
    EXPECT_EQ(m.Register(13), 77);
    EXPECT_EQ(Ask(m, {0x01, 0x10, 0x00, 0x0D, 0x00, 0x02, 0x04, 0x00, 0x05, 0x00, 0x06, 0xA2, 0x35},
                  true),
              (Bytes{0x01, 0x10, 0x00, 0x0D, 0x00, 0x02, 0xD0, 0x0B}));
    EXPECT_EQ(m.Register(14), 6);
    // Past the register space, a zero count, an unknown function, a write to the status
    // registers.
    EXPECT_EQ(Ask(m, {0x01, 0x03, 0x01, 0x3F, 0x00, 0x02, 0xF5, 0xFB}, true),
              (Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}));
    EXPECT_EQ(Ask(m, {0x01, 0x03, 0x00, 0x0D, 0x00, 0x00, 0xD4, 0x09}, true),
              (Bytes{0x01, 0x83, 0x03, 0x01, 0x31}));
    EXPECT_EQ(Ask(m, {0x01, 0x07, 0x41, 0xE2}, true), (Bytes{0x01, 0x87, 0x01, 0x82, 0x30}));
    EXPECT_EQ(Ask(m, {0x01, 0x06, 0x01, 0x00, 0x00, 0x01, 0x49, 0xF6}, true),
              (Bytes{0x01, 0x86, 0x02, 0xC3, 0xA1}));
    // Another id: silence. Broadcast torque on register 129: applied, silent.
    EXPECT_TRUE(Ask(m, {0x02, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x39}, true).empty());
    EXPECT_TRUE(Ask(m, {0x00, 0x06, 0x00, 0x81, 0x00, 0x01, 0x19, 0xF3}, true).empty());
    EXPECT_EQ(m.Register(129), 1);
    EXPECT_TRUE(m.motion().torque());
}

TEST(SimModbusServo, StoreCommandsAndRestart) {
    ModbusServo m(BuiltInModbusModel(), ModbusSettings{1, 115200});
    const uint16_t v = 33, unlock = 64, backup = 16, recovery = 8;
    Bytes reply;
    // The device trusts the framer's CRC check, so the CRC bytes are left zero here; the
    // frames themselves are checked literally above.
    auto write = [&](int reg, uint16_t value) {
        const Bytes f = {
            0x01, 0x06, 0x00, static_cast<uint8_t>(reg), 0x00, static_cast<uint8_t>(value),
            0x00, 0x00};
        m.HandleModbus(f.data(), f.size(), reply);
    };
    write(13, v);
    write(133, unlock);
    write(134, backup);
    write(13, 99);
    const Bytes restart = {0x01, 0x41, 0x00, 0x00};
    EXPECT_FALSE(m.HandleModbus(restart.data(), restart.size(), reply));
    EXPECT_EQ(m.Register(13), 33);
    write(133, unlock);
    write(134, recovery);
    EXPECT_EQ(m.Register(13), 0);
    EXPECT_EQ(m.Register(10), 1);
}

TEST(SimFramer, FindsRequestsAmongGarbageAndSplits) {
    RequestFramer f;
    RequestFramer::Frame frame;
    // Garbage, a bad-checksum packet, then a good read split over two feeds.
    const Bytes stream = {0x00, 0x13, 0xFF, 0xFF, 0x01, 0x04, 0x02, 0x38,
                          0x02, 0x00, 0xFF, 0xFF, 0xFF, 0x01, 0x04, 0x02};
    f.Feed(stream.data(), stream.size());
    EXPECT_FALSE(f.Next(frame));
    const Bytes rest = {0x38, 0x02, 0xBE, 0x01, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0x09};
    f.Feed(rest.data(), rest.size());
    ASSERT_TRUE(f.Next(frame));
    EXPECT_EQ(frame.kind, RequestFramer::Kind::kInstruction);
    EXPECT_EQ(frame.bytes, (Bytes{0xFF, 0xFF, 0x01, 0x04, 0x02, 0x38, 0x02, 0xBE}));
    ASSERT_TRUE(f.Next(frame));
    EXPECT_EQ(frame.kind, RequestFramer::Kind::kModbus);
    EXPECT_EQ(frame.bytes, (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0x09}));
    EXPECT_FALSE(f.Next(frame));
    EXPECT_EQ(f.buffered(), 0u);
    // A Modbus frame with a broken CRC is not taken.
    const Bytes broken = {0x01, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0x08};
    f.Feed(broken.data(), broken.size());
    EXPECT_FALSE(f.Next(frame));
}

TEST(SimMotion, SpeedRampTorqueAndHeat) {
    ServoMotion m;
    m.SetPosition(0);
    m.SetTorque(true);
    m.Command(1000, 1000, 0, 0);
    m.Advance(0.5);
    EXPECT_NEAR(m.position(), 500, 2);
    EXPECT_EQ(m.speed(), 1000);
    EXPECT_TRUE(m.moving());
    m.Advance(0.6);
    EXPECT_EQ(m.position(), 1000);
    EXPECT_FALSE(m.moving());

    // With a ramp (10 = 1000 steps/s^2) the same half second covers far less.
    ServoMotion ramp;
    ramp.SetPosition(0);
    ramp.SetTorque(true);
    ramp.Command(1000, 1000, 10, 0);
    ramp.Advance(0.5);
    EXPECT_NEAR(ramp.position(), 125, 3);
    EXPECT_GT(ramp.load(), 0);

    // A time of 2000 ms with no speed spreads the move over two seconds.
    ServoMotion timed;
    timed.SetPosition(0);
    timed.SetTorque(true);
    timed.Command(-400, 0, 0, 2000);
    timed.Advance(1.0);
    EXPECT_NEAR(timed.position(), -200, 2);
    EXPECT_LT(timed.load(), 0);

    ServoMotion off;
    off.SetPosition(10);
    off.Command(900, 0, 0, 0);
    off.Advance(1.0);
    EXPECT_EQ(off.position(), 10);
    EXPECT_EQ(off.load(), 0);
    EXPECT_EQ(off.current(), 0);

    // Holding full speed for minutes warms the motor above the 30-degree ambient.
    ServoMotion hot;
    hot.SetTorque(true);
    hot.Command(30000, 3000, 0, 0);
    hot.Advance(9.0);
    EXPECT_GT(hot.temperature(), 30);
}

TEST(SimFaults, EachKindCountsDown) {
    FaultInjector f;
    Bytes reply = {0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFC};
    int extra = 0;
    f.DropReplies(1);
    EXPECT_FALSE(f.Apply(reply, extra));
    EXPECT_TRUE(f.Apply(reply, extra));

    f.CorruptReplies(1);
    f.GarbageBeforeReplies(1, {0x12, 0x34});
    f.LateReplies(1, 40);
    EXPECT_TRUE(f.Apply(reply, extra));
    EXPECT_EQ(reply, (Bytes{0x12, 0x34, 0xFF, 0xFF, 0x01, 0x02, 0xFF, 0xFC}));
    EXPECT_EQ(extra, 40);
    Bytes clean = {0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFC};
    extra = 0;
    EXPECT_TRUE(f.Apply(clean, extra));
    EXPECT_EQ(clean, (Bytes{0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFC}));
    EXPECT_EQ(extra, 0);

    f.SetEndlessGarbage(true);
    EXPECT_FALSE(f.Apply(clean, extra));
    uint8_t stream[2000];
    f.FillGarbage(stream, sizeof stream);
    for (size_t i = 1; i < sizeof stream; ++i)
        ASSERT_FALSE(stream[i - 1] == 0xFF && stream[i] == 0xFF) << i;
}

TEST(SimOptions, DeviceSyntax) {
    DeviceOption d;
    std::string error;
    ASSERT_TRUE(
        ParseDevice(Family::kServo, "7:end=1,baud=1000000,level=0,fw=3.10,model=9.3", d, &error))
        << error;
    EXPECT_EQ(d.id, 7);
    EXPECT_EQ(d.end, 1);
    EXPECT_EQ(d.baud, 1000000);
    EXPECT_EQ(d.level, 0);
    ASSERT_TRUE(d.identity.has_value());
    EXPECT_EQ(d.identity->fw_minor, 10);
    EXPECT_EQ(d.identity->variant, 1);
    EXPECT_EQ(d.identity->model_major, 9);

    EXPECT_FALSE(ParseDevice(Family::kServo, "254", d, &error));
    EXPECT_FALSE(ParseDevice(Family::kModbus, "0", d, &error));
    EXPECT_FALSE(ParseDevice(Family::kModbus, "3:end=1", d, &error));
    EXPECT_FALSE(ParseDevice(Family::kServo, "3:fw=3.10", d, &error));
    EXPECT_FALSE(ParseDevice(Family::kServo, "3:baud=fast", d, &error));

    SimOptions o;
    ASSERT_TRUE(
        ParseOptions({"--link", "/tmp/x", "--wire-time", "--modbus", "12", "--demo"}, o, &error));
    EXPECT_EQ(o.config.link_path, "/tmp/x");
    EXPECT_TRUE(o.config.wire_time);
    ASSERT_EQ(o.devices.size(), 1u);
    EXPECT_EQ(o.devices[0].family, Family::kModbus);
    EXPECT_FALSE(ParseOptions({"--link"}, o, &error));
    EXPECT_FALSE(ParseOptions({"--bogus"}, o, &error));
}

// Random requests with valid checksums reach every handler branch with arbitrary lengths,
// addresses and counts; under the sanitizers this proves the devices never read or write
// outside their tables. The framer gets the same bytes mixed with noise.
TEST(SimRobustness, RandomRequestsAndNoise) {
    uint32_t state = 12345;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return static_cast<uint8_t>(state >> 16);
    };
    InstructionServo servo = Servo(1);
    InstructionServo pwm(BuiltInPwmModel(), ServoSettings{1, 1, 115200, 1});
    ModbusServo modbus(BuiltInModbusModel(), ModbusSettings{1, 115200});
    RequestFramer framer;
    RequestFramer::Frame frame;
    size_t framed = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes packet;
        if (round % 2 == 0) {
            Bytes params(next() % 40);
            const uint8_t id = next() % 3 == 0 ? 0xFE : 1;
            uint8_t instruction = next();
            if (round % 6 == 0) instruction = static_cast<uint8_t>(2 + round / 6 % 8);
            if (round % 10 == 0) instruction = 0x83;
            for (uint8_t& b : params) b = next();
            packet = ServoFrame(id, instruction, params);
            Bytes reply;
            servo.HandleInstruction(packet.data(), packet.size(), reply);
            pwm.HandleInstruction(packet.data(), packet.size(), reply);
        } else {
            const uint8_t functions[] = {0x03, 0x06, 0x10, 0x41, next()};
            packet = {static_cast<uint8_t>(next() % 3), functions[next() % 5]};
            const size_t body = packet[1] == 0x10 ? 5 + next() % 60 : next() % 8;
            for (size_t i = 0; i < body; ++i) packet.push_back(next());
            if (packet[1] == 0x10 && packet.size() > 6) packet[6] = static_cast<uint8_t>(body - 5);
            AppendModbusCrc(packet);
            Bytes reply;
            modbus.HandleModbus(packet.data(), packet.size(), reply);
        }
        Bytes noise(next() % 5);
        for (uint8_t& b : noise) b = next();
        framer.Feed(noise.data(), noise.size());
        framer.Feed(packet.data(), packet.size());
        while (framer.Next(frame)) ++framed;
        ASSERT_LE(framer.buffered(), RequestFramer::kMaxBuffered);
    }
    // Most requests survive the noise around them.
    EXPECT_GT(framed, 10000u);
}
