// Devices built from the sample setup files (the demo bus as the search sees it is tested
// with the real search in the app tests).
#include <gtest/gtest.h>

#include <vector>

#include "tools/sim/instruction_servo.h"
#include "tools/sim/modbus_servo.h"
#include "tools/sim/model_catalog.h"

using namespace sim;
using Bytes = std::vector<uint8_t>;

namespace {
const std::string kSetupDir = std::string(VEXA_RESOURCE_DIR) + "/setup";
}

TEST(SimSetupModels, InstructionServosTakeTheirTablesAndDebugRows) {
    ModelCatalog catalog(kSetupDir);
    auto vx62 = catalog.FromSetup(Family::kServo, ModelIdentity{5, 2, 1, 6, 2});
    ASSERT_TRUE(vx62.has_value());
    EXPECT_EQ(vx62->name, "VX62 servo (1024 steps)");
    EXPECT_EQ(vx62->debug.feedback_start, 56);
    EXPECT_EQ(vx62->debug.feedback_end, 72);
    EXPECT_EQ(vx62->debug.motion_address, 41);
    EXPECT_EQ(vx62->debug.position_divisor, 4);
    EXPECT_EQ(vx62->debug.torque_address, 40);

    InstructionServo s(*vx62, ServoSettings{3, 1, 115200, 1});
    // Identity, then "Max angle limit" 1023 high byte first, "Protection current" 400.
    EXPECT_EQ((Bytes{s.Peek(0), s.Peek(1), s.Peek(2), s.Peek(3), s.Peek(4), s.Peek(5), s.Peek(6),
                     s.Peek(7), s.Peek(8)}),
              (Bytes{5, 2, 1, 6, 2, 3, 4, 0, 1}));
    EXPECT_EQ(s.Peek(11), 0x03);
    EXPECT_EQ(s.Peek(12), 0xFF);
    EXPECT_EQ(s.Peek(92), 0x01);
    EXPECT_EQ(s.Peek(93), 0x90);
    EXPECT_EQ(s.Peek(62), 74);  // 7.4 V
    EXPECT_EQ(s.Peek(63), 25);
    EXPECT_EQ(s.Peek(56) << 8 | s.Peek(57), 511);  // rests mid-span of 0..1023

    // "Hardware version" is read-only ("r"): a write leaves it.
    std::vector<uint8_t> reply;
    const Bytes write = {0xFF, 0xFF, 0x03, 0x04, 0x03, 0x53, 0x09, 0x99};
    EXPECT_TRUE(s.HandleInstruction(write.data(), write.size(), reply));
    EXPECT_EQ(s.Peek(83), 3);

    // An identity no memory section describes: nothing from the files, the built-in
    // layout under that identity from Resolve.
    EXPECT_FALSE(catalog.FromSetup(Family::kServo, ModelIdentity{9, 9, 0, 9, 9}).has_value());
    std::string note;
    const ServoModel fallback =
        catalog.Resolve(Family::kServo, ModelIdentity{9, 9, 0, 9, 9}, &note);
    EXPECT_EQ(fallback.fw_major, 9);
    EXPECT_FALSE(note.empty());
}

TEST(SimSetupModels, PwmAndModbusModels) {
    ModelCatalog catalog(kSetupDir);
    auto vxp9 = catalog.FromSetup(Family::kPwm, ModelIdentity{7, 1, 0, 9, 0});
    ASSERT_TRUE(vxp9.has_value());
    EXPECT_EQ(vxp9->debug.feedback_start, 40);
    EXPECT_EQ(vxp9->debug.pwm_goal_address, 34);
    InstructionServo p(*vxp9, ServoSettings{5, 0, 115200, 1});
    EXPECT_EQ((Bytes{p.Peek(0), p.Peek(1), p.Peek(2), p.Peek(3)}), (Bytes{9, 1, 7, 5}));
    EXPECT_EQ(p.Peek(40), 0x00);  // position 2048, low byte first
    EXPECT_EQ(p.Peek(41), 0x08);
    EXPECT_EQ(p.Peek(49), 50);  // 5.0 V

    auto vxm8 = catalog.FromSetup(Family::kModbus, ModelIdentity{2, 10, 1, 8, 5});
    ASSERT_TRUE(vxm8.has_value());
    ModbusServo m(*vxm8, ModbusSettings{6, 115200});
    EXPECT_EQ(m.Register(0), 210);
    EXPECT_EQ(m.Register(1), 805);
    EXPECT_EQ(m.Register(2), 1001);
    EXPECT_EQ(m.Register(3), 2412);
    EXPECT_EQ(m.Register(10), 6);
    EXPECT_EQ(m.Register(11), 2);
    EXPECT_EQ(m.Register(257), 2048);
    EXPECT_EQ(m.Register(260), 120);
    EXPECT_EQ(m.Register(261), 25);
    EXPECT_EQ(m.Register(300), 2048);
}
