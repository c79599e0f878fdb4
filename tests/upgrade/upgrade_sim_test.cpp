// The boot-loader exchange against the simulated devices on a pseudo-terminal: a full
// upload to each device kind with the new firmware running afterwards, the faults, and the
// port restored after every ending.
#include "upgrade_fixture.h"

using namespace upgrade_test;

namespace {

// The loader's byte stream cut into 70-byte blocks, from the last access code and the
// start byte on.
std::vector<std::vector<uint8_t>> Blocks(const std::vector<std::vector<uint8_t>>& chunks) {
    std::string stream;
    for (const auto& c : chunks) stream.append(c.begin(), c.end());
    std::vector<std::vector<uint8_t>> blocks;
    const size_t code = stream.rfind("VXBL5");
    if (code == std::string::npos) return blocks;
    for (size_t at = code + 5 + 1; at + 70 <= stream.size(); at += 70)
        blocks.emplace_back(stream.begin() + static_cast<long>(at),
                            stream.begin() + static_cast<long>(at + 70));
    return blocks;
}

class Exchange : public SimPage {};

}  // namespace

TEST_F(Exchange, BusDeviceRunsTheNewFirmware) {
    const std::vector<uint8_t> image = Pattern(1000);
    ASSERT_TRUE(Upgrade(1, WriteFile(folder, "fw.bin", image)));
    EXPECT_TRUE(view_.boxes.empty());
    EXPECT_EQ(bus_.uploads(), 1);
    const std::vector<uint8_t> got = bus_.LastUpload();
    ASSERT_EQ(got.size(), 16u * 64);
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 1000), image);
    EXPECT_EQ(got[1000], 0xFF);
    // Progress 0, then one step per acknowledged block; the port is back at 115200.
    ASSERT_EQ(view_.positions.size(), 17u);  // the exchange's own 0, then 1 to 16
    EXPECT_EQ(view_.positions.front(), 0);
    EXPECT_EQ(view_.positions.back(), 16);
    EXPECT_EQ(comm.BaudRate.load(), 115200);
    EXPECT_EQ(comm.Timeout(), 37);
    EXPECT_TRUE(view_.enabled[kUpgradeButton]);
    // The servo answers again at its own speed with the image's version bytes.
    const ServoInfo r = Identity(1);
    EXPECT_EQ(r[0], image[0]);
    EXPECT_EQ(r[1], image[1]);
    EXPECT_EQ(r[5], 1);
}

TEST_F(Exchange, ModbusDeviceTakesAnIntelHexImage) {
    // Two data records at 0x0000 and 0x0010: the loader gets raw flag 0 in every block.
    folder.Put("fw.hex",
               ":100000000203AABBCCDDEEFF001122334455667714\r\n"
               ":1000100000112233445566778899AABBCCDDEEFFE8\r\n:00000001FF\r\n");
    page_->OnKey('M');
    bus_.RecordRequests(true);
    ASSERT_TRUE(Upgrade(6, folder.path() + "/fw.hex"));
    EXPECT_EQ(page_->raw_flag(), 0);
    const auto blocks = Blocks(bus_.TakeRequests());
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0][2], 0);
    EXPECT_EQ(blocks[0][3], 0x02);
    uint16_t version = 0;
    ASSERT_EQ(modbus.ReadHoldingRegisters(6, 0, &version, 1), 1);
    EXPECT_EQ(version, 2 * 100 + 3);
}

TEST_F(Exchange, PwmDeviceGetsNoHandshakeAndSevenByteAnswers) {
    const std::vector<uint8_t> image = Pattern(200);
    ASSERT_TRUE(Upgrade(5, WriteFile(folder, "fw.fbin", image)));
    EXPECT_EQ(bus_.uploads(), 1);
    const ServoInfo r = Identity(5);  // PWM layout: version major at 2, minor at 1
    EXPECT_EQ(r[2], image[0]);
    EXPECT_EQ(r[1], image[1]);
}

TEST_F(Exchange, OpenDeviceCallsAndTakesItsOwnCode) {
    bus_.AddOpenDevice();
    const std::vector<uint8_t> image = Pattern(130);
    ASSERT_TRUE(Upgrade(0, WriteFile(folder, "fw.xbin", image)));
    EXPECT_EQ(bus_.OpenDeviceVersion(), std::make_pair(int(image[0]), int(image[1])));
    EXPECT_EQ(comm.BaudRate.load(), 115200);
}

TEST_F(Exchange, ARefusedBlockComesAgainWithTheSameNumber) {
    bus_.SetBootFaults({sim::BootFaults::kNakOnce, 3});
    bus_.RecordRequests(true);
    ASSERT_TRUE(Upgrade(1, WriteFile(folder, "fw.bin", Pattern(64 * 5))));
    const auto blocks = Blocks(bus_.TakeRequests());
    ASSERT_EQ(blocks.size(), 6u);
    const std::vector<int> numbers = {blocks[0][0], blocks[1][0], blocks[2][0],
                                      blocks[3][0], blocks[4][0], blocks[5][0]};
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 3, 4, 5}));
    EXPECT_EQ(blocks[2], blocks[3]);
    EXPECT_EQ(view_.positions, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST_F(Exchange, FailuresShowTheBoxAndRestoreThePort) {
    const std::string file = WriteFile(folder, "fw.bin", Pattern(300));
    // No servo selected: there is nobody to restart, so nothing goes on the line.
    bus_.RecordRequests(true);
    view_.file = file;
    page_->OnOpen();
    page_->OnUpgrade();
    ASSERT_TRUE(Until([&] { return !view_.ended.empty(); }));
    EXPECT_FALSE(view_.ended.back());
    EXPECT_EQ(view_.boxes,
              (std::vector<std::string>{"error Firmware upgrade: Firmware upgrade failed"}));
    EXPECT_TRUE(bus_.TakeRequests().empty());
    // (A pseudo-terminal keeps no parity bits, so only the speed can be seen here.)
    struct Case {
        sim::BootFaults faults;
        const char* what;
    };
    for (const Case& c : {Case{{sim::BootFaults::kNakForever, 0}, "NAK forever"},
                          Case{{sim::BootFaults::kSilent, 0}, "no answer"},
                          Case{{sim::BootFaults::kGarbage, 0}, "garbage"}}) {
        bus_.SetBootFaults(c.faults);
        bus_.RecordRequests(true);
        view_.boxes.clear();
        EXPECT_FALSE(Upgrade(1, file)) << c.what;
        EXPECT_EQ(view_.boxes,
                  (std::vector<std::string>{"error Firmware upgrade: Firmware upgrade failed"}))
            << c.what;
        EXPECT_TRUE(view_.enabled[kUpgradeButton]) << c.what;
        EXPECT_EQ(comm.BaudRate.load(), 115200) << c.what;
        EXPECT_EQ(bus_.LineBaud(), 115200) << c.what;
        EXPECT_EQ(comm.Timeout(), 37) << c.what;
        if (c.faults.kind == sim::BootFaults::kNakForever) {
            // Block 1 went out once and was repeated 16 times; then the exchange gave up.
            EXPECT_EQ(Blocks(bus_.TakeRequests()).size(), 17u);
        }
    }
    // The device was left in its loader: "Upgrade" again succeeds.
    bus_.SetBootFaults({});
    view_.boxes.clear();
    EXPECT_TRUE(Upgrade(1, file));
    EXPECT_TRUE(view_.boxes.empty());
}
