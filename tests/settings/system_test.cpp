#include "platform/system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "env_value.h"

namespace {

// Sets or clears an environment variable for the lifetime of the object.

}  // namespace

TEST(TempFolder, FollowsTmpdirAndEndsWithASeparator) {
    const std::string here = std::filesystem::current_path().string();
    {
        EnvValue tmpdir("TMPDIR", here.c_str());
        EXPECT_EQ(TempFolder(), here + "/");
    }
    {
        EnvValue tmpdir("TMPDIR", (here + "/").c_str());
        EXPECT_EQ(TempFolder(), here + "/");
    }
    {
        EnvValue tmpdir("TMPDIR", nullptr);
        EXPECT_EQ(TempFolder(), "/tmp/");
    }
    {
        EnvValue tmpdir("TMPDIR", "");
        EXPECT_EQ(TempFolder(), "/tmp/");
    }
    {
        EnvValue tmpdir("TMPDIR", "/no/such/folder");
        EXPECT_EQ(TempFolder(), "");
    }
    {
        // 261 characters with the separator: too long.
        std::string deep = "/tmp/" + std::string(255, 'd');
        EnvValue tmpdir("TMPDIR", deep.c_str());
        EXPECT_EQ(TempFolder(), "");
    }
}

TEST(UserIsChinese, FirstNonEmptyLocaleVariableDecides) {
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        bool chinese;
    };
    const Case cases[] = {
        {nullptr, nullptr, "zh_CN.UTF-8", true},
        {nullptr, nullptr, "zh_CN", true},
        {nullptr, nullptr, "zh_CN.GBK", true},
        {nullptr, nullptr, "zh_CN@stroke", true},
        {nullptr, nullptr, "zh_TW.UTF-8", false},
        {nullptr, nullptr, "zh_CNX", false},
        {nullptr, nullptr, "en_US.UTF-8", false},
        {nullptr, nullptr, nullptr, false},
        {"", "", "zh_CN.UTF-8", true},
        {nullptr, "en_GB.UTF-8", "zh_CN.UTF-8", false},
        {nullptr, "zh_CN.UTF-8", "en_US.UTF-8", true},
        {"C", "zh_CN.UTF-8", "zh_CN.UTF-8", false},
        {"zh_CN.UTF-8", "en_US", "en_US", true},
    };
    for (const Case& c : cases) {
        EnvValue all("LC_ALL", c.all), messages("LC_MESSAGES", c.messages), lang("LANG", c.lang);
        EXPECT_EQ(UserIsChinese(), c.chinese)
            << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

TEST(GbkToUtf8, ConvertsAndReplacesBadBytes) {
    // "未知型号" and "[内存]" in code page 936.
    EXPECT_EQ(GbkToUtf8("\xCE\xB4\xD6\xAA\xD0\xCD\xBA\xC5"),
              "\xE6\x9C\xAA\xE7\x9F\xA5\xE5\x9E\x8B\xE5\x8F\xB7");
    EXPECT_EQ(GbkToUtf8("[\xC4\xDA\xB4\xE6]"), "[\xE5\x86\x85\xE5\xAD\x98]");
    EXPECT_EQ(GbkToUtf8("ID, Lock"), "ID, Lock");
    EXPECT_EQ(GbkToUtf8(""), "");
    // A lead byte with an impossible second byte, and a lead byte cut off at the end.
    EXPECT_EQ(GbkToUtf8("a\xFF"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(GbkToUtf8("ok\xCE"), "ok\xEF\xBF\xBD");
    // Long input crosses the converter's internal buffer.
    std::string many, expected;
    for (int i = 0; i < 500; ++i) {
        many += "\xD0\xCD";
        expected += "\xE5\x9E\x8B";
    }
    EXPECT_EQ(GbkToUtf8(many), expected);
}
