// Intel HEX and raw image files, the CRC engine and the block packets, byte for byte.
#include "pages/upgrade/firmware_image.h"

#include <gtest/gtest.h>

#include "pages/upgrade/crc16_engine.h"
#include "upgrade_fixture.h"

using namespace upgrade_test;

namespace {

// A page without a bus: enough for loading files and building blocks.
class ImagePage : public ::testing::Test, protected PageObjects {
  protected:
    ImagePage() { page_.InitDialog(&view_); }
    void Open(const std::string& path) {
        view_.file = path;
        page_.OnOpen();
    }
    std::vector<uint8_t> Block(int i) {
        std::vector<uint8_t> p(70, 0);
        EXPECT_EQ(page_.BuildBlock(p.data(), i), 0);
        return p;
    }

    CServoTest page_{modbus, tervion, setup, lock, false, ui_};
};

}  // namespace

TEST(IntelHex, RecordsAreCheckedPlacedAndSkipped) {
    FirmwareImage image;
    // 16 bytes 00..0F at 0x0100, checksum correct; in capitals and in lower case.
    const std::string rec = ":10010000000102030405060708090A0B0C0D0E0F77";
    EXPECT_EQ(LoadHexLine(image, rec), 1);
    EXPECT_EQ(LoadHexLine(image, ":10010000000102030405060708090a0b0c0d0e0f77"), 1);
    EXPECT_EQ(LoadHexLine(image, ":10010000000102030405060708090A0B0C0D0E0F78"), -1);  // checksum
    EXPECT_EQ(LoadHexLine(image, rec + " "), -1);                                      // a blank
    EXPECT_EQ(LoadHexLine(image, ":10010000 00102030405060708090A0B0C0D0E0F77"), -1);
    EXPECT_EQ(LoadHexLine(image, "10010000000102030405060708090A0B0C0D0E0F77"), -1);   // no ':'
    EXPECT_EQ(LoadHexLine(image, ":0F010000000102030405060708090A0B0C0D0E0F77"), -1);  // count
    EXPECT_EQ(LoadHexLine(image, ":00000001F"), -1);                                   // short
    // End-of-file and extended linear address records are accepted and store nothing.
    EXPECT_EQ(LoadHexLine(image, ":00000001FF"), 1);
    EXPECT_EQ(LoadHexLine(image, ":020000040800F2"), 1);
    ASSERT_EQ(image.records.size(), 2u);
    AssembleHex(image);
    EXPECT_EQ(image.length, 16u);
    EXPECT_EQ(image.data[0], 0x00);
    EXPECT_EQ(image.data[15], 0x0F);
    EXPECT_EQ(image.data[16], 0xFF);
}

TEST(IntelHex, OffsetsGapsAndLongRecords) {
    FirmwareImage image;
    // Records at 0x0820 and 0x0800 (out of order): the image starts at 0x0800, with a gap.
    ASSERT_EQ(LoadHexLine(image, ":10082000AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA28"), 1);
    ASSERT_EQ(LoadHexLine(image, ":1008000011111111111111111111111111111111D8"), 1);
    AssembleHex(image);
    EXPECT_EQ(image.length, 48u);
    EXPECT_EQ(image.data[0], 0x11);
    EXPECT_EQ(image.data[16], 0xFF);
    EXPECT_EQ(image.data[31], 0xFF);
    EXPECT_EQ(image.data[32], 0xAA);

    // A 20-byte data record becomes a 16-byte and a 4-byte record.
    FirmwareImage longer;
    ASSERT_EQ(LoadHexLine(longer,
                          ":14000000000102030405060708090A0B0C0D0E0F10111213"
                          "2E"),
              1);
    ASSERT_EQ(longer.records.size(), 2u);
    EXPECT_EQ(longer.records[1].address, 16);
    EXPECT_EQ(longer.records[1].count, 4);
    AssembleHex(longer);
    EXPECT_EQ(longer.length, 20u);
    EXPECT_EQ(longer.data[19], 0x13);
}

TEST(IntelHex, ExtendedAddressesAndEmptyRecords) {
    // Under two upper addresses the data are placed by full address: the part at
    // 0x0000FFF0 comes first, the one at 0x00010000 right after it.
    FirmwareImage two;
    ASSERT_EQ(LoadHexText(two,
                          ":020000040000FA\n:10FFF000ABCD11111111111111111111111111119B\n"
                          ":020000040001F9\n:1000000022222222222222222222222222222222D0\n"),
              LoadResult::kLoaded);
    EXPECT_EQ(two.length, 32u);
    EXPECT_EQ(two.data[0], 0xAB);
    EXPECT_EQ(two.data[15], 0x11);
    EXPECT_EQ(two.data[16], 0x22);
    EXPECT_EQ(two.data[32], 0xFF);

    // Spread over more than an image holds: refused, not folded.
    FirmwareImage wide;
    EXPECT_EQ(LoadHexText(wide,
                          ":1000000022222222222222222222222222222222D0\n:020000040002F8\n"
                          ":1000000022222222222222222222222222222222D0\n"),
              LoadResult::kTooLong);
    EXPECT_EQ(wide.length, 0u);
    // An extended address record with a wrong checksum would misplace what follows.
    EXPECT_EQ(LoadHexLine(wide, ":020000040001F8"), -1);

    // An empty data record as the lowest still sets where the image starts.
    FirmwareImage empty_first;
    ASSERT_EQ(
        LoadHexText(empty_first, ":00080000F8\r\n:1008100033333333333333333333333333333333A8\r\n"),
        LoadResult::kLoaded);
    EXPECT_EQ(empty_first.length, 32u);
    EXPECT_EQ(empty_first.data[0], 0xFF);
    EXPECT_EQ(empty_first.data[16], 0x33);
}

TEST(Crc16, CheckValuesOfBothShapes) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16Engine(0, 0, 0x1021, false).Compute(digits, 9), 0x31C3);
    // The same engine reflected with the Modbus settings gives the Modbus check value.
    EXPECT_EQ(Crc16Engine(0xFFFF, 0, 0x8005, true).Compute(digits, 9), 0x4B37);
}

TEST_F(ImagePage, HexFileFailuresOnlyDisableUpgrade) {
    // Nothing to send: "Upgrade" stays disabled and the log says why.
    for (const char* name : {"fw.HEX", "fw.bin"}) {
        view_.enabled[kUpgradeButton] = true;
        Open(WriteFile(folder, name, {}));
        EXPECT_FALSE(view_.enabled[kUpgradeButton]) << name;
        EXPECT_EQ(view_.text[kFirmwareLogEdit], "The firmware file is empty!") << name;
    }
    Open(WriteFile(folder, "fw.txt", Pattern(64)));
    EXPECT_FALSE(view_.enabled[kUpgradeButton]);
    EXPECT_EQ(view_.text[kFirmwareLogEdit],
              "Unknown firmware file type: only .hex, .bin, .fbin, .mbin and .xbin files can be "
              "sent!");
    page_.OnUpgrade();
    EXPECT_FALSE(page_.UpgradeRunning());
    const std::string good = ":10010000000102030405060708090A0B0C0D0E0F77\r\n:00000001FF\r\n";
    folder.Put("good.hex", good);
    Open(folder.path() + "/good.hex");
    EXPECT_TRUE(view_.enabled[kUpgradeButton]);
    EXPECT_EQ(page_.image().length, 16u);
    EXPECT_EQ(page_.raw_flag(), 0);
    EXPECT_EQ(page_.block_count(), 1);
    folder.Put("bad.hex", good + "\r\n");  // an empty line is malformed
    Open(folder.path() + "/bad.hex");
    EXPECT_FALSE(view_.enabled[kUpgradeButton]);
    EXPECT_EQ(page_.image().length, 0u);
    EXPECT_TRUE(view_.boxes.empty());
    Open(folder.path() + "/missing.hex");
    EXPECT_FALSE(view_.enabled[kUpgradeButton]);
}

TEST_F(ImagePage, RawSizesKindsAndKeys) {
    EXPECT_EQ(page_.device_kind(), 0);  // before any key: bus device
    EXPECT_EQ(page_.filter().substr(0, 18), "bus device (*.bin)");
    page_.OnKey('m');
    EXPECT_EQ(page_.device_kind(), 2);
    EXPECT_EQ(page_.filter(),
              "modbus device (*.hex)|*.hex|bus device (*.bin)|*.bin|pwm device (*.fbin)|*.fbin|"
              "modbus device (*.mbin)|*.mbin|open device (*.xbin)|*.xbin||");

    struct Case {
        const char* name;
        size_t size;
        int blocks, kind, open;
    };
    for (const Case& c :
         {Case{"a.bin", 100, 2, 0, 0}, Case{"b.BIN", 128, 2, 0, 0}, Case{"c.fbin", 129, 3, 1, 0},
          Case{"d.mbin", 65537, 1025, 2, 0}, Case{"e.xbin", 131072, 2048, 0, 1}}) {
        Open(WriteFile(folder, c.name, Pattern(c.size)));
        EXPECT_TRUE(view_.enabled[kUpgradeButton]) << c.name;
        EXPECT_EQ(page_.image().length, c.size) << c.name;
        EXPECT_EQ(page_.block_count(), c.blocks) << c.name;
        EXPECT_EQ(view_.range, std::make_pair(0, c.blocks)) << c.name;
        EXPECT_EQ(page_.device_kind(), c.kind) << c.name;
        EXPECT_EQ(page_.open_flag(), c.open) << c.name;
        EXPECT_EQ(page_.raw_flag(), 1) << c.name;
    }
    EXPECT_EQ(view_.extension, "bin");
    // A HEX file goes the way of the last key, whatever file was opened before it.
    page_.OnKey('b');
    Open(WriteFile(folder, "m.mbin", Pattern(64)));
    EXPECT_EQ(page_.device_kind(), 2);
    folder.Put("k.hex", ":0400000001020304F2\n");
    Open(folder.path() + "/k.hex");
    EXPECT_EQ(page_.device_kind(), 0);
    Open(WriteFile(folder, "f.bin", Pattern(131073)));
    EXPECT_FALSE(view_.enabled[kUpgradeButton]);
    EXPECT_EQ(page_.image().length, 0u);
}

TEST_F(ImagePage, BlockPacketsByteForByte) {
    // Open device, 64 bytes of 0xFF: the CRC covers the data only.
    Open(WriteFile(folder, "ff.xbin", std::vector<uint8_t>(64, 0xFF)));
    std::vector<uint8_t> b = Block(1);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(b[1], 0xFE);
    EXPECT_EQ(b[2], 0x01);
    EXPECT_EQ(b[67], 0x27);
    EXPECT_EQ(b[68], 0x8E);
    EXPECT_EQ(b[69], 4);
    EXPECT_EQ(page_.Handshake(), "VXBL7");

    // Bus device, same image: the CRC covers 01 FE 01 and 61 bytes of 0xFF.
    Open(WriteFile(folder, "ff.bin", std::vector<uint8_t>(64, 0xFF)));
    b = Block(1);
    EXPECT_EQ(b[67], 0xD4);
    EXPECT_EQ(b[68], 0x43);
    EXPECT_EQ(page_.Handshake(), "VXBL5");

    // 100 bytes: block 2 carries image bytes 64..99 (36) then 28 bytes of 0xFF.
    const std::vector<uint8_t> image = Pattern(100);
    Open(WriteFile(folder, "100.bin", image));
    EXPECT_EQ(Block(1)[69], 6);
    b = Block(2);
    EXPECT_EQ(b[69], 4);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 3, b.begin() + 39),
              std::vector<uint8_t>(image.begin() + 64, image.end()));
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 39, b.begin() + 67), std::vector<uint8_t>(28, 0xFF));
    std::vector<uint8_t> p(70);
    EXPECT_EQ(page_.BuildBlock(p.data(), 3), -1);
    EXPECT_EQ(page_.BuildBlock(p.data(), 0), -1);

    // Block numbers wrap in their byte only: 256 is 00 FF, 257 is 01 FE; the data of
    // block 257 is image bytes 16384.. (no 16-bit wrap of the length).
    const std::vector<uint8_t> big = Pattern(300 * 64);
    Open(WriteFile(folder, "big.bin", big));
    b = Block(256);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0xFF);
    b = Block(257);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(b[1], 0xFE);
    EXPECT_EQ(b[3], big[256 * 64]);
    EXPECT_EQ(b[69], 6);
    EXPECT_EQ(Block(300)[69], 4);
}
