// The memory table's pure parts: values per kind, size and sign, area descriptors and the
// tables refused, editing rules and range texts, and the parameter-file layouts.
#include "pages/programming/memory_table.h"

#include <gtest/gtest.h>

#include "pages/programming/parameter_files.h"
#include "pages/programming/pg_texts.h"

using namespace pg;

namespace {

MemoryEntry Row(const std::string& address, const std::string& name, const std::string& size,
                const std::string& sign, const std::string& area,
                const std::string& access = "rw") {
    return MemoryEntry{{address, name, size, "7", sign, area, access, "-1", "-1"}};
}

std::string Text(const std::vector<std::pair<int, std::string>>& v, int row) {
    for (const auto& [r, t] : v)
        if (r == row) return t;
    return "(unchanged)";
}

}  // namespace

TEST(ProgrammingValues, EachKindSizeAndSign) {
    const std::vector<MemoryEntry> rows = {
        Row("30", "Offset", "2", "11", "EPROM"), Row("32", "Trim", "1", "-2", "EPROM"),
        Row("33", "Plain", "1", "-1", "EPROM"),  Row("34", "Word", "2", "-1", "EPROM"),
        Row("36", "--", "1", "-1", "EPROM"),     Row("37", "Small", "1", "7", "EPROM"),
        Row("40", "Status", "1", "-1", "RONLY"), Row("41", "Torque", "1", "-1", "SRAM")};
    const AreaLayout l = ComputeAreas(rows);
    EXPECT_EQ(l.area[kEprom].start, 30);
    EXPECT_EQ(l.area[kEprom].length, 8);
    EXPECT_EQ(l.area[kRonly].length, 1);
    EXPECT_EQ(l.total, 10);

    Images img;
    const uint8_t eprom[8] = {0x64, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x09, 0x85};
    std::copy(eprom, eprom + 8, img.bytes[kEprom].begin());
    img.bytes[kSram][0] = 1;
    auto v = ValueTexts(rows, l, img, kKindServo, 0);
    EXPECT_EQ(Text(v, 0), "-100");
    EXPECT_EQ(Text(v, 1), "-1");
    EXPECT_EQ(Text(v, 2), "255");
    EXPECT_EQ(Text(v, 3), "-1");
    EXPECT_EQ(Text(v, 4), "(unchanged)");  // placeholder
    EXPECT_EQ(Text(v, 5), "-5");           // bit 7 set: minus the rest
    EXPECT_EQ(Text(v, 6), "(unchanged)");  // RONLY is not read for kinds 0 and 1
    EXPECT_EQ(Text(v, 7), "1");
    // High byte first.
    img.bytes[kEprom][0] = 0x08;
    img.bytes[kEprom][1] = 0x64;
    EXPECT_EQ(Text(ValueTexts(rows, l, img, kKindServo, 1), 0), "-100");

    EXPECT_EQ(EncodeSignMagnitude(-100, 11), 0x0864);
    EXPECT_EQ(DecodeSignMagnitude(0x0864, 11), -100);
    EXPECT_EQ(EncodeSignMagnitude(100, 11), 100);

    // Kind 2: registers, signed only for "-2".
    const std::vector<MemoryEntry> regs = {Row("256", "Status", "1", "-1", "RONLY"),
                                           Row("257", "Speed", "1", "-2", "RONLY"),
                                           Row("258", "Goal", "1", "-1", "RONLY")};
    const AreaLayout rl = ComputeAreas(regs);
    Images ri;
    ri.regs[kRonly][0] = 0x21;
    ri.regs[kRonly][1] = 0xFFFF;
    ri.regs[kRonly][2] = 0xFFFF;
    v = ValueTexts(regs, rl, ri, kKindModbus, 0);
    EXPECT_EQ(Text(v, 1), "-1");
    EXPECT_EQ(Text(v, 2), "65535");
}

TEST(ProgrammingValues, AreasThatDoNotFitTheirImageAreRefused) {
    // One write carries at most 252 bytes: a larger area could be read but never loaded.
    std::vector<MemoryEntry> rows = {Row("0", "First", "1", "-1", "EPROM"),
                                     Row("251", "Last", "1", "-1", "EPROM")};
    EXPECT_TRUE(FitsImages(ComputeAreas(rows), kKindServo));  // 252 bytes
    rows[1] = Row("252", "Last", "1", "-1", "EPROM");
    EXPECT_FALSE(FitsImages(ComputeAreas(rows), kKindServo));
    rows = {Row("0", "First", "1", "-1", "SRAM"), Row("252", "Last", "1", "-1", "SRAM")};
    EXPECT_FALSE(FitsImages(ComputeAreas(rows), kKindPwm));  // 253 bytes
    rows = {Row("0", "First", "1", "-1", "SRAM"), Row("127", "Last", "1", "-1", "SRAM")};
    EXPECT_TRUE(FitsImages(ComputeAreas(rows), kKindModbus));
    rows[1] = Row("128", "Last", "1", "-1", "SRAM");
    EXPECT_FALSE(FitsImages(ComputeAreas(rows), kKindModbus));
    // Rows running backwards give a negative length.
    rows = {Row("20", "A", "1", "-1", "SRAM"), Row("10", "B", "1", "-1", "SRAM")};
    EXPECT_FALSE(FitsImages(ComputeAreas(rows), kKindServo));
}

TEST(ProgrammingRules, EditingAndRangeTexts) {
    const PgTexts en(false), zh(true);
    EXPECT_FALSE(Editable("r", true, true, en));
    EXPECT_FALSE(Editable("d", false, true, en));
    EXPECT_TRUE(Editable("d", true, false, en));
    EXPECT_FALSE(Editable("--", false, true, en));  // a click keeps "--" for hidden mode
    EXPECT_TRUE(Editable("--", false, false, en));  // Up/Down does not
    EXPECT_TRUE(Editable("rw", false, true, en));
    EXPECT_FALSE(Editable("只读", true, true, zh));
    EXPECT_EQ(RangeMessage(en.too_small, "Offset", 0), "Offset Cannot less than 0");
    EXPECT_EQ(RangeMessage(en.too_large, "ID", 253), "ID Cannot be greater than 253");
    EXPECT_EQ(RangeMessage(zh.too_large, "ID", 253), "ID不能大于253");
    EXPECT_EQ(StatusText(0x00, en), "Normal");
    EXPECT_EQ(StatusText(0x2F, en), "Voltage\r\nHeat\r\nCurrent\r\nLoad\r\nSensor\r\n");
    EXPECT_EQ(zh.backed_up, "参数备份成功");
}

TEST(ParameterFiles, LayoutsAndBoundsOfEveryBlock) {
    // ".xdat": EPROM 0..9, DEFAULT 80..81, EPROM1 90.
    const std::vector<MemoryEntry> rows = {
        Row("0", "A", "1", "-1", "EPROM"), Row("9", "B", "1", "-1", "EPROM"),
        Row("80", "C", "2", "-1", "DEFAULT"), Row("90", "D", "1", "-1", "EPROM1")};
    const AreaLayout l = ComputeAreas(rows);
    Images img;
    for (int k = 0; k < 10; ++k) img.bytes[kEprom][k] = static_cast<uint8_t>(k + 1);
    img.bytes[kDefault][0] = 0xAA;
    img.bytes[kDefault][1] = 0xBB;
    img.bytes[kEprom1][0] = 0xCC;
    const std::vector<uint8_t> x = BuildParameterFile(FileFormat::kXdat, l, img);
    EXPECT_EQ(x, (std::vector<uint8_t>{0, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 80, 2, 0xAA, 0xBB, 90,
                                       1, 0xCC}));
    EXPECT_EQ(BuildParameterFile(FileFormat::kDat, l, img).size(), 10u);
    EXPECT_TRUE(BuildParameterFile(FileFormat::kNone, l, img).empty());

    XdatLayout p;
    ASSERT_TRUE(ParseXdat(x.data(), 19, p));
    EXPECT_EQ(p.x, 1);
    EXPECT_EQ(p.eprom1_at, 18);
    // Without the EPROM1 block (e + d + 4 bytes) and with one stray byte (e + d + 5).
    ASSERT_TRUE(ParseXdat(x.data(), 16, p));
    EXPECT_EQ(p.x, 0);
    ASSERT_TRUE(ParseXdat(x.data(), 17, p));
    EXPECT_EQ(p.x, 0);
    // Blocks reaching past the bytes read.
    EXPECT_FALSE(ParseXdat(x.data(), 18, p));  // EPROM1 announced, its byte missing
    EXPECT_FALSE(ParseXdat(x.data(), 15, p));  // DEFAULT cut
    EXPECT_FALSE(ParseXdat(x.data(), 11, p));  // EPROM cut
    EXPECT_FALSE(ParseXdat(x.data(), 1, p));

    // ".mdat": little-endian words, three blocks.
    const std::vector<uint8_t> m = {0,    0, 2, 0, 0xD2, 0, 0x25, 3,  // INFO 0, 2: 210, 805
                                    10,   0, 1, 0, 7,    0,           // EPROM 10, 1: 7
                                    0x2C, 1, 0, 0};                   // DEFAULT 300, 0
    MdatLayout mp;
    ASSERT_TRUE(ParseMdat(m.data(), static_cast<int>(m.size()), mp));
    EXPECT_EQ(mp.info.regs, (std::vector<uint16_t>{210, 805}));
    EXPECT_EQ(mp.eprom.start, 10);
    EXPECT_EQ(mp.def.start, 300);
    EXPECT_FALSE(ParseMdat(m.data(), static_cast<int>(m.size()) - 2, mp));
    std::vector<uint8_t> longer = m;
    longer[2] = 40;  // INFO count past the end
    EXPECT_FALSE(ParseMdat(longer.data(), static_cast<int>(longer.size()), mp));

    EXPECT_EQ(FormatOfPath("/a/b/SET.XDAT"), FileFormat::kXdat);
    EXPECT_EQ(FormatOfPath("/a.mdat/b"), FileFormat::kNone);
    EXPECT_EQ(FormatOfStoredName("abc.xdat"), FileFormat::kXdat);
    EXPECT_EQ(FormatOfStoredName("abc.mdat"), FileFormat::kMdat);
    EXPECT_EQ(FormatOfStoredName("abc.dat"), FileFormat::kDat);
    EXPECT_EQ(FormatOfStoredName("abc.bin"), FileFormat::kNone);
}
