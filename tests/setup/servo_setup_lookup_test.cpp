// The four lookups of ServoSetup against the sample files and against small files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "definitions/servo_setup.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "setup_test_util.h"

using setup_test::kDebug;
using setup_test::kDebugEnd;
using setup_test::kMem;
using setup_test::kMemEnd;
using setup_test::kModel;
using setup_test::kModelEnd;
using setup_test::kUnknown;

namespace {

const std::string kSampleDir = std::string(VEXA_RESOURCE_DIR) + "/setup/";

using Fields = std::array<std::string, 9>;

class SetupTest : public ::testing::Test {
  protected:
    explicit SetupTest(bool chinese = false)
        : strings_(chinese), settings_(dir_.dir() + "config"), setup_(strings_, settings_) {}

    // Writes the main file of the English interface and points every lookup at it.
    void WriteMain(const std::string& text) {
        dir_.Put("setup_en.log", text);
        setup_.SetFolders(dir_.dir());
    }

    TestFolder dir_;
    StringTable strings_;
    SettingsStore settings_;
    ServoSetup setup_;
    std::vector<MemoryEntry> rows_ = std::vector<MemoryEntry>(254);
    // The file the lookups read: the main file of the interface language unless a case
    // names another.
    std::string file_ = setup_.MainName();
};

class SampleEnglish : public SetupTest {
  protected:
    SampleEnglish() { setup_.SetFolders(kSampleDir); }
};

class SampleChinese : public SetupTest {
  protected:
    SampleChinese() : SetupTest(true) { setup_.SetFolders(kSampleDir); }
};

TEST_F(SampleEnglish, ModelNamesOfEveryKind) {
    uint8_t vx40[5] = {3, 6, 0, 4, 0};
    EXPECT_EQ(setup_.LookupModelName(file_, vx40), "VX40 servo (4096 steps)");
    uint8_t vx40hv[5] = {3, 6, 0, 4, 12};
    EXPECT_EQ(setup_.LookupModelName(file_, vx40hv), "VX40-HV servo (4096 steps)");
    uint8_t vx62[5] = {5, 2, 1, 6, 2};
    EXPECT_EQ(setup_.LookupModelName(file_, vx62), "VX62 servo (1024 steps)");
    uint8_t wrong_variant[5] = {5, 2, 0, 6, 2};
    EXPECT_EQ(setup_.LookupModelName(file_, wrong_variant), kUnknown);

    // The record the search builds for a pulse-width servo: byte 2 becomes the variant.
    uint8_t pwm[9] = {7, 1, 255, 9, 255, 1, 5, 255, 1};
    EXPECT_EQ(setup_.LookupModelName(file_, pwm), kUnknown);  // not in the main file
    EXPECT_EQ(pwm[2], 255);
    file_ = "setup_pwm_en.log";
    EXPECT_EQ(setup_.LookupModelName(file_, pwm), "VXP9 pulse-width servo");
    EXPECT_EQ(pwm[2], 0);

    uint8_t modbus[9] = {2, 10, 1, 8, 5, 1, 2, 255, 1};
    file_ = "setup_modbus_en.log";
    EXPECT_EQ(setup_.LookupModelName(file_, modbus), "VXM8 Modbus servo");
}

TEST_F(SampleEnglish, MemoryTablesAndDebugRows) {
    const uint8_t vx40[5] = {3, 6, 0, 4, 0};
    ASSERT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, vx40), 59);
    EXPECT_EQ(rows_[0].field,
              (Fields{"0", "Firmware major", "1", "3", "-1", "EPROM", "r", "-1", "-1"}));
    EXPECT_EQ(rows_[5].field, (Fields{"5", "ID", "1", "1", "-1", "EPROM", "rw", "0", "253"}));
    EXPECT_EQ(rows_[6].field[1], "baud rate");
    EXPECT_EQ(rows_[8].field[1], "Ack Level");
    EXPECT_EQ(rows_[58].field,
              (Fields{"84", "Hardware version", "1", "2", "-1", "DEFAULT", "r", "-1", "-1"}));
    EXPECT_EQ(rows_[59].field[0], "NULL");

    DebugRow row{};
    ASSERT_EQ(setup_.LookupDebugRow(file_, vx40, row), 1);
    EXPECT_EQ(row, (DebugRow{3, 0, 20, 0, 56, 72, 41, 1, 4, 42, 40, 0, 0}));

    const uint8_t vx62[5] = {5, 2, 1, 6, 2};
    std::array<uint8_t, 4> key{};
    EXPECT_EQ(setup_.HasMemoryTable(file_, vx62, &key), 1);
    EXPECT_EQ(key, (std::array<uint8_t, 4>{5, 0, 30, 1}));
    ASSERT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, vx62), 50);
    EXPECT_EQ(rows_[49].field,
              (Fields{"97", "Speed I gain", "1", "10", "-1", "EPROM1", "rw", "0", "254"}));
    ASSERT_EQ(setup_.LookupDebugRow(file_, vx62, row), 1);
    EXPECT_EQ(row, (DebugRow{5, 0, 30, 1, 56, 72, 41, 4, 3, 42, 40, 0, 0}));

    file_ = "setup_pwm_en.log";
    const uint8_t pwm[5] = {7, 1, 0, 9, 255};
    EXPECT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, pwm), 28);
    ASSERT_EQ(setup_.LookupDebugRow(file_, pwm, row), 1);
    EXPECT_EQ(row, (DebugRow{7, 0, 9, 0, 40, 55, 0, 1, 4, 34, 32, 0, 0}));

    file_ = "setup_modbus_en.log";
    const uint8_t modbus[5] = {2, 10, 1, 8, 5};
    EXPECT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, modbus), 37);
    EXPECT_EQ(rows_[4].field, (Fields{"10", "ID", "1", "1", "-1", "EPROM", "rw", "1", "247"}));
    ASSERT_EQ(setup_.LookupDebugRow(file_, modbus, row), 1);
    EXPECT_EQ(row, (DebugRow{2, 0, 99, 1, 256, 265, 128, 1, 4, 128, 129, 0, 0}));
}

TEST_F(SampleChinese, CodePage936NamesAndCrLfLines) {
    uint8_t vx40[5] = {3, 6, 0, 4, 0};
    EXPECT_EQ(setup_.LookupModelName(file_, vx40), "VX40 \xB6\xE6\xBB\xFA(4096\xB2\xBD)");
    uint8_t vx62[5] = {5, 2, 1, 6, 2};
    EXPECT_EQ(setup_.LookupModelName(file_, vx62), "VX62 \xB6\xE6\xBB\xFA(1024\xB2\xBD)");

    ASSERT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, vx40), 59);
    // Read-write word, and no CR left on the last field.
    EXPECT_EQ(rows_[5].field,
              (Fields{"5", "ID", "1", "1", "-1", "EPROM", "\xB6\xC1\xD0\xB4", "0", "253"}));
    EXPECT_EQ(rows_[6].field[1], "\xB2\xA8\xCC\xD8\xC2\xCA");                          // baud rate
    EXPECT_EQ(rows_[8].field[1], "\xD3\xA6\xB4\xF0\xD7\xB4\xCC\xAC\xBC\xB6\xB1\xF0");  // Ack Level
    EXPECT_EQ(rows_[0].field[6], "\xD6\xBB\xB6\xC1");                                  // read-only
    EXPECT_EQ(rows_[43].field, (Fields{"55", "\xCB\xF8\xB1\xEA\xD6\xBE", "1", "1", "-1", "SRAM",
                                       "\xB6\xC1\xD0\xB4", "0", "1"}));  // Lock
    DebugRow row{};
    ASSERT_EQ(setup_.LookupDebugRow(file_, vx62, row), 1);
    EXPECT_EQ(row, (DebugRow{5, 0, 30, 1, 56, 72, 41, 4, 3, 42, 40, 0, 0}));
    std::array<uint8_t, 4> key{};
    EXPECT_EQ(setup_.HasMemoryTable(file_, vx62, &key), 1);
    EXPECT_EQ(key, (std::array<uint8_t, 4>{5, 0, 30, 1}));

    uint8_t pwm[5] = {7, 1, 255, 9, 255};
    file_ = "setup_pwm.log";
    EXPECT_EQ(setup_.LookupModelName(file_, pwm), "VXP9 PWM\xB6\xE6\xBB\xFA");
    EXPECT_EQ(pwm[2], 0);
    EXPECT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, pwm), 28);
    file_ = "setup_modbus.log";
    uint8_t modbus[5] = {2, 10, 1, 8, 5};
    EXPECT_EQ(setup_.LookupModelName(file_, modbus), "VXM8 Modbus\xB6\xE6\xBB\xFA");
    EXPECT_EQ(setup_.LookupDebugRow(file_, modbus, row), 1);
}

TEST_F(SetupTest, MemoryKeyRules) {
    WriteMain(kMem + "\n" + "7,2,5,3\n" + "1,Variant three,1,0,-1,EPROM,r,-1,-1\nNULL\n" + kMemEnd +
              "\n" + kMem + "\n" + "7,2,5,255,1\n" + "1,Five numbers,1,0,-1,EPROM,r,-1,-1\nNULL\n" +
              kMemEnd + "\n" + kMem + "\n" + "7,9,8,255\n" +
              "1,Empty range,1,0,-1,EPROM,r,-1,-1\nNULL\n" + kMemEnd + "\n" + kMem + "\n" +
              "7,2,5,255\n" + "1,Any variant,1,0,-1,EPROM,r,-1,-1\nNULL\n" + kMemEnd + "\n");
    auto first_name = [&](std::array<uint8_t, 3> ident) {
        return setup_.LoadMemoryTable(file_, rows_.data(), 254, ident.data()) == 1
                   ? rows_[0].field[1]
                   : std::string("-");
    };
    EXPECT_EQ(first_name({7, 2, 3}), "Variant three");
    EXPECT_EQ(first_name({7, 5, 3}), "Variant three");
    EXPECT_EQ(first_name({7, 2, 0}), "Any variant");
    EXPECT_EQ(first_name({7, 5, 200}), "Any variant");
    EXPECT_EQ(first_name({7, 9, 3}), "-");
    EXPECT_EQ(first_name({7, 1, 3}), "-");
    EXPECT_EQ(first_name({7, 6, 3}), "-");
    EXPECT_EQ(first_name({8, 3, 3}), "-");

    const uint8_t any[3] = {7, 4, 9};
    std::array<uint8_t, 4> key{};
    EXPECT_EQ(setup_.HasMemoryTable(file_, any, &key), 1);
    EXPECT_EQ(key, (std::array<uint8_t, 4>{7, 2, 5, 255}));
    const uint8_t none[3] = {7, 9, 9};
    EXPECT_EQ(setup_.HasMemoryTable(file_, none), 0);
}

TEST_F(SetupTest, KeyNumbersKeepTheirLowBits) {
    WriteMain(kMem + "\n263,0,511,-1\n1,A,1,0,-1,EPROM,r,-1,-1\nNULL\n" + kMemEnd + "\n" + kDebug +
              "\n7,0,9,-1,1,1,1,1,1,1,1,1,1\n  7, +0,65545,255,300,70000,41,1,10,0,40,0,0\n" +
              kDebugEnd + "\n");
    const uint8_t ident[3] = {7, 200, 255};
    std::array<uint8_t, 4> matched{};
    EXPECT_EQ(setup_.HasMemoryTable(file_, ident, &matched), 1);  // 263 -> 7, 511 -> 255, -1 -> 255
    EXPECT_EQ(matched, (std::array<uint8_t, 4>{7, 0, 255, 255}));
    DebugRow row{};
    // Debug values keep 16 bits: -1 is 65535, which no variant byte equals; 65545 is 9.
    const uint8_t debug_ident[3] = {7, 9, 255};
    ASSERT_EQ(setup_.LookupDebugRow(file_, debug_ident, row), 1);
    EXPECT_EQ(row, (DebugRow{7, 0, 9, 255, 300, 4464, 41, 1, 10, 0, 40, 0, 0}));
    const uint8_t above[3] = {7, 10, 255};
    EXPECT_EQ(setup_.LookupDebugRow(file_, above, row), 0);
}

TEST_F(SetupTest, ModelKeyRules) {
    WriteMain("free text, with, commas, before, the section\n" + kModel + "\n" +
              "4,5,3,2,Reversed range\n" + "4,0,9,1,Plain\n" + "4,10,19,1,Upper range\n" +
              "6,0,9,1,Has, a comma\n" + "6,0,9,1,Also matches\n" +
              "6,0,9,2,After the comma line\n" + "9,0,0,5,Wild\n" + kModelEnd + "\n" + kModel +
              "\n" + "8,0,9,1,Second section\n" + kModelEnd + "\n");
    // An identity (variant, major, minor), the name found and the variant afterwards: a
    // variant of 255 takes the first line with the right major number, whatever its ranges,
    // and learns that line's variant; a matching line whose name holds a comma ends the
    // lookup without a name; only the first model section is read.
    const struct {
        uint8_t variant, major, minor;
        std::string name;
        uint8_t learned;
    } cases[] = {{1, 4, 4, "Plain", 1},
                 {1, 4, 19, "Upper range", 1},
                 {2, 4, 4, kUnknown, 2},  // only the reversed line has variant 2
                 {1, 4, 20, kUnknown, 1},
                 {255, 4, 200, "Reversed range", 2},
                 {255, 9, 77, "Wild", 5},
                 {1, 6, 3, kUnknown, 1},
                 {2, 6, 3, "After the comma line", 2},
                 {1, 8, 1, kUnknown, 1}};
    for (const auto& c : cases) {
        uint8_t ident[5] = {0, 0, c.variant, c.major, c.minor};
        EXPECT_EQ(setup_.LookupModelName(file_, ident), c.name)
            << int(c.major) << "." << int(c.minor);
        EXPECT_EQ(ident[2], c.learned) << int(c.major) << "." << int(c.minor);
    }
}

TEST_F(SetupTest, DebugRowNeedsThirteenNumbersAndAnExactVariant) {
    WriteMain(kDebug + "\n" + "3,0,9,0,56,70,41,1,10,0,40,0\n" +  // 12 numbers
              "3,0,9,0,56,70,41,1,10,0,40,0,0,0\n" +              // 14 numbers
              "3,0,9,0,56,x,41,1,10,0,40,0,0\n" +                 // not all numbers
              "3,0,9,255,1,2,3,4,5,6,7,8,9\n" + "3,0,9,0,56,72,41,4,15,42,40,11,12\n" +
              "3,0,9,0,1,1,1,1,1,1,1,1,1\n" + kDebugEnd + "\n" + "3,0,9,1,9,9,9,9,9,9,9,9,9\n");
    DebugRow row{};
    const uint8_t ident[3] = {3, 4, 0};
    ASSERT_EQ(setup_.LookupDebugRow(file_, ident, row), 1);
    EXPECT_EQ(row, (DebugRow{3, 0, 9, 0, 56, 72, 41, 4, 15, 42, 40, 11, 12}));
    const uint8_t wild[3] = {3, 4, 255};
    ASSERT_EQ(setup_.LookupDebugRow(file_, wild, row), 1);
    EXPECT_EQ(row, (DebugRow{3, 0, 9, 255, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

    DebugRow untouched{};
    untouched.fill(77);
    const uint8_t after_end[3] = {3, 4, 1};
    EXPECT_EQ(setup_.LookupDebugRow(file_, after_end, untouched), 0);
    const uint8_t outside[3] = {3, 10, 0};
    EXPECT_EQ(setup_.LookupDebugRow(file_, outside, untouched), 0);
    EXPECT_EQ(untouched[0], 77);
    EXPECT_EQ(untouched[12], 77);
}

TEST_F(SetupTest, EntriesUpToTheNullLine) {
    std::string text = kMem + "\n3,0,9,255\n";
    for (int i = 0; i < 10; ++i) {
        text += std::to_string(i) + ",P" + std::to_string(i) + ",1,0,-1,SRAM,rw,0,9,ignored,too\n";
    }
    text += "NULL,end,x\n0,After null,1,0,-1,SRAM,rw,0,9\n" + kMemEnd + "\n";
    WriteMain(text);
    const uint8_t ident[3] = {3, 1, 0};
    ASSERT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, ident), 10);
    EXPECT_EQ(rows_[9].field, (Fields{"9", "P9", "1", "0", "-1", "SRAM", "rw", "0", "9"}));
    EXPECT_EQ(rows_[10].field[0], "NULL");
    EXPECT_EQ(rows_[10].field[1], "end");
    EXPECT_EQ(rows_[10].field[2], "x");

    // Exactly room for ten entries and the "NULL" row.
    std::vector<MemoryEntry> eleven(11);
    EXPECT_EQ(setup_.LoadMemoryTable(file_, eleven.data(), 11, ident), 10);
    EXPECT_EQ(eleven[10].field[0], "NULL");
}

TEST_F(SetupTest, SectionTooLongForTheCallersArrayIsRefused) {
    std::string text = kMem + "\n3,0,9,255\n";
    for (int i = 0; i < 300; ++i) text += std::to_string(i) + ",P,1,0,-1,SRAM,rw,0,9\n";
    text += "NULL\n" + kMemEnd + "\n";
    WriteMain(text);
    const uint8_t ident[3] = {3, 1, 0};
    EXPECT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, ident), 0);
    EXPECT_EQ(rows_[0].field[0], "NULL");

    std::vector<MemoryEntry> ten(10);
    EXPECT_EQ(setup_.LoadMemoryTable(file_, ten.data(), 10, ident), 0);
    EXPECT_EQ(ten[0].field[0], "NULL");
    MemoryEntry one;
    EXPECT_EQ(setup_.LoadMemoryTable(file_, &one, 1, ident), 0);
    EXPECT_EQ(one.field[0], "NULL");
    EXPECT_EQ(setup_.LoadMemoryTable(file_, nullptr, 10, ident), 0);
    EXPECT_EQ(setup_.LoadMemoryTable(file_, ten.data(), 0, ident), 0);
}

TEST_F(SetupTest, SectionWithoutNullLineEndsWithAnAddedNullRow) {
    const uint8_t ident[3] = {3, 1, 0};
    // Ends at its end marker.
    WriteMain(kMem + "\n3,0,9,255\n0,A,1,0,-1,SRAM,rw,0,9\n1,B,1,0,-1,SRAM,rw,0,9\n" + kMemEnd +
              "\n");
    rows_[2].field[0] = "stale";
    EXPECT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, ident), 2);
    EXPECT_EQ(rows_[2].field[0], "NULL");
    // Ends at the end of the file, without a final line end.
    WriteMain(kMem + "\n3,0,9,255\n0,A,1,0,-1,SRAM,rw,0,9\n1,B,1,0,-1,SRAM,rw,0,9");
    rows_[2].field[0] = "stale";
    EXPECT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, ident), 2);
    EXPECT_EQ(rows_[1].field[8], "9");
    EXPECT_EQ(rows_[2].field[0], "NULL");
    // Runs into the next section: its lines are not entries of this one.
    WriteMain(kMem + "\n3,0,9,255\n0,A,1,0,-1,SRAM,rw,0,9\n" + kMem + "\n3,0,9,255\n" +
              "5,Other,1,0,-1,SRAM,rw,0,9\nNULL\n" + kMemEnd + "\n" + kModel + "\n");
    EXPECT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, ident), 1);
    EXPECT_EQ(rows_[1].field[0], "NULL");
}

TEST_F(SetupTest, ShortEntryLinesGetInertDefaults) {
    WriteMain(kMem + "\n3,0,9,255\n4,Speed\n\n5\n6,Mode,1,2,-1,SRAM\nNULL\n" + kMemEnd + "\n");
    const uint8_t ident[3] = {3, 1, 0};
    ASSERT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, ident),
              3);  // the blank line is no entry
    EXPECT_EQ(rows_[0].field, (Fields{"4", "Speed", "1", "0", "-1", "", "r", "-1", "-1"}));
    EXPECT_EQ(rows_[1].field, (Fields{"5", "--", "1", "0", "-1", "", "r", "-1", "-1"}));
    EXPECT_EQ(rows_[2].field, (Fields{"6", "Mode", "1", "2", "-1", "SRAM", "r", "-1", "-1"}));

    StringTable chinese(true);
    ServoSetup zh(chinese, settings_);
    dir_.Put("setup.log", kMem + "\r\n3,0,9,255\r\n4,Speed\r\nNULL\r\n");
    zh.SetFolders(dir_.dir());
    ASSERT_EQ(zh.LoadMemoryTable(zh.MainName(), rows_.data(), 254, ident), 1);
    EXPECT_EQ(rows_[0].field[6], "\xD6\xBB\xB6\xC1");
}

TEST_F(SetupTest, LineEndsAndUntrimmedFields) {
    // CR LF ends lines; a CR elsewhere and blanks are part of the text.
    WriteMain(kMem +
              "\r\n3,0,9,255\r\n0, Name ,1,0,-1,SRAM,rw,0,9\r\n1,A\rB,1,0,-1,SRAM,rw,0,9\r\n"
              "NULL\r\n" +
              kMemEnd + "\r\n" + kModel + " \r\n" + "4,0,9,1,Blank marker\r\n" + kModel +
              "\r\n4,0,9,1,Name\r\n" + kModelEnd + "\r\n");
    const uint8_t ident[5] = {3, 1, 1, 4, 0};
    ASSERT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, ident), 2);
    EXPECT_EQ(rows_[0].field, (Fields{"0", " Name ", "1", "0", "-1", "SRAM", "rw", "0", "9"}));
    EXPECT_EQ(rows_[1].field[1], "A\rB");
    uint8_t model[5] = {3, 1, 1, 4, 0};
    // The marker with a trailing blank opens nothing, and the first real model section's
    // line is read without its CR.
    EXPECT_EQ(setup_.LookupModelName(file_, model), "Name");
}

TEST_F(SetupTest, MissingFileGivesNoMatchAndEveryLookupRereadsTheFile) {
    setup_.SetFolders(dir_.dir());
    uint8_t ident[5] = {3, 1, 0, 4, 0};
    DebugRow row{};
    rows_[0].field[0] = "stale";
    EXPECT_EQ(setup_.LoadMemoryTable(file_, rows_.data(), 254, ident), 0);
    EXPECT_EQ(rows_[0].field[0], "NULL");
    EXPECT_EQ(setup_.HasMemoryTable(file_, ident), 0);
    EXPECT_EQ(setup_.LookupModelName(file_, ident), kUnknown);
    EXPECT_EQ(setup_.LookupDebugRow(file_, ident, row), 0);

    WriteMain(kModel + "\n4,0,9,0,First\n" + kModelEnd + "\n");
    EXPECT_EQ(setup_.LookupModelName(file_, ident), "First");
    WriteMain(kModel + "\n4,0,9,0,Second\n" + kModelEnd + "\n");
    EXPECT_EQ(setup_.LookupModelName(file_, ident), "Second");
}

// Ctrl+N: the lookups read the working folder even when a copy sits in the download folder.
TEST_F(SetupTest, UseLocalFilesReadsTheWorkingFolder) {
    TestFolder work;
    work.Put("setup_en.log", kModel + "\n4,0,9,0,Local copy\n" + kModelEnd + "\n");
    dir_.Put("setup_en.log", kModel + "\n4,0,9,0,Downloaded\n" + kModelEnd + "\n");
    const std::string previous = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(work.dir().c_str()), 0);
    setup_.SetFolders(dir_.dir());
    uint8_t ident[5] = {0, 0, 0, 4, 0};
    const std::string before = setup_.LookupModelName(file_, ident);
    setup_.UseLocalFiles();
    const std::string after = setup_.LookupModelName(file_, ident);
    ASSERT_EQ(chdir(previous.c_str()), 0);
    EXPECT_EQ(before, "Downloaded");
    EXPECT_EQ(after, "Local copy");
}

// Lookups on timer threads, each naming its file, while the UI thread changes the folders:
// each lookup reads one whole file and never a mixture; run under TSan to check the locking.
TEST_F(SampleEnglish, ConcurrentLookupsAndFolderChanges) {
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    const std::set<std::string> names = {"VX40 servo (4096 steps)", "VXP9 pulse-width servo",
                                         kUnknown};
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t) {
        workers.emplace_back([&, t] {
            std::vector<MemoryEntry> rows(254);
            const std::string& file = t == 0 ? setup_.MainName() : setup_.PwmName();
            for (int i = 0; i < 150; ++i) {
                uint8_t vx40[5] = {3, 6, 0, 4, 0};
                uint8_t pwm[5] = {7, 1, 255, 9, 255};
                if (!names.count(setup_.LookupModelName(file, t == 0 ? vx40 : pwm))) ++bad;
                const int count = setup_.LoadMemoryTable(file, rows.data(), 254, vx40);
                if ((count != 0 && count != 59) || rows[count].field[0] != "NULL") ++bad;
                DebugRow row{};
                if (setup_.LookupDebugRow(file, vx40, row) == 1 && row[7] != 1) ++bad;
                const uint8_t vx62[3] = {5, 2, 1};
                std::array<uint8_t, 4> key{};
                if (setup_.HasMemoryTable(setup_.MainName(), vx62, &key) != 1 || key[0] != 5) ++bad;
            }
        });
    }
    std::thread ui([&] {
        while (!stop) {
            setup_.SetFolders(kSampleDir);
            std::this_thread::yield();
        }
    });
    for (auto& w : workers) w.join();
    stop = true;
    ui.join();
    EXPECT_EQ(bad, 0);
}

}  // namespace
