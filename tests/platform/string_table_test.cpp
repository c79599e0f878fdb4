#include "platform/string_table.h"

#include <gtest/gtest.h>

TEST(StringTable, BothLanguagesByIdAndUnknownIdIsEmpty) {
    StringTable en(false), zh(true);
    EXPECT_EQ(en.Get(157), "Ping ID:%d Servo...");
    EXPECT_EQ(en.Get(180), "setup_en.log");
    EXPECT_EQ(zh.Get(180), "setup.log");
    EXPECT_EQ(zh.Get(190), "\xE5\x8F\xAA\xE8\xAF\xBB");  // 只读
    EXPECT_EQ(en.Get(99999), "");
}

// Every id the windows load must exist in both languages: a missing one shows as a blank.
TEST(StringTable, EveryIdTheWindowsUseExistsInBothLanguages) {
    const int ids[] = {153, 154, 155, 156, 157, 158, 159, 160, 161, 162, 163, 164, 166, 167,
                       168, 169, 170, 171, 179, 180, 188, 190, 197, 203, 204, 209, 210, 211};
    for (int id : ids) {
        EXPECT_NE(StringTable(false).Get(id), "") << id;
        EXPECT_NE(StringTable(true).Get(id), "") << id;
    }
    EXPECT_EQ(StringTable(false).Get(169), "Heat");
    EXPECT_EQ(StringTable(true).Get(164),
              "\xE9\x80\x9A\xE4\xBF\xA1\xE6\xAD\xA3\xE5\xB8\xB8");  // 通信正常
}
