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
