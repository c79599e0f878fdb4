// Devices built from the sample setup files, and the demo bus as the tool's search sees it.
#include <gtest/gtest.h>

#include <vector>

#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "protocol/tervion.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"
#include "transport/cqv_comm.h"

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

TEST(SimSetupModels, TheDemoBusAnswersTheSearch) {
    SimBus bus;
    ModelCatalog catalog(kSetupDir);
    std::vector<std::string> notes;
    AddDevices(bus, catalog, DemoDevices(), &notes);
    EXPECT_TRUE(notes.empty()) << notes.front();
    std::string error;
    ASSERT_TRUE(bus.Start(&error)) << error;
    CQVComm comm;
    ASSERT_EQ(comm.OpenPort(bus.port_path()), 1);
    comm.ConfigurePort(115200, 0, 10);
    Tervion tervion;
    tervion.Comm = &comm;
    Modbus modbus;
    modbus.Port = &comm;

    StringTable strings(false);
    SettingsStore settings(kSetupDir);
    ServoSetup setup(strings, settings);
    setup.SetFolders(kSetupDir);

    std::vector<std::pair<int, std::string>> found;
    for (int id = 0; id <= 8; ++id) {
        uint8_t r[9];
        if (tervion.Read(id, 0, r, 9) == 9) {
            setup.SelectFile(setup.MainName());
            std::string name = setup.LookupModelName(r);
            if (name == ServoSetup::kUnknownModel) {
                uint8_t pwm[9] = {r[2], r[1], 0xFF, r[0], 0xFF, r[3], 5, 0xFF, 1};
                setup.SelectFile(setup.PwmName());
                name = setup.LookupModelName(pwm);
            }
            found.emplace_back(id, name);
            continue;
        }
        uint16_t a[4];
        uint16_t b[3];
        if (modbus.ReadHoldingRegisters(id, 0, a, 4) == 4 &&
            modbus.ReadHoldingRegisters(id, 10, b, 3) == 3) {
            uint8_t rec[9] = {static_cast<uint8_t>(a[0] / 100),
                              static_cast<uint8_t>(a[0] % 100),
                              1,
                              static_cast<uint8_t>(a[1] / 100),
                              static_cast<uint8_t>(a[1] % 100),
                              static_cast<uint8_t>(b[0]),
                              static_cast<uint8_t>(b[1]),
                              0xFF,
                              1};
            EXPECT_EQ(rec[5], id);
            setup.SelectFile(setup.ModbusName());
            found.emplace_back(id, setup.LookupModelName(rec));
        }
    }
    const std::vector<std::pair<int, std::string>> expected = {
        {1, "VX40 servo (4096 steps)"}, {2, "VX40 servo (4096 steps)"},
        {3, "VX62 servo (1024 steps)"}, {4, "VX62 servo (1024 steps)"},
        {5, "VXP9 pulse-width servo"},  {6, "VXM8 Modbus servo"},
        {7, "VXM8 Modbus servo"}};
    EXPECT_EQ(found, expected);
    comm.ClosePort();
    bus.Stop();
}
