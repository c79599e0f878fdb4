#include "platform/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(ParseInteger, TakesTheWholeTextOrNothing) {
    EXPECT_EQ(ParseInteger("115200"), 115200);
    EXPECT_EQ(ParseInteger("-40"), -40);
    EXPECT_EQ(ParseInteger("0"), 0);
    for (const char* bad : {"", "-", "+5", " 5", "5 ", "5x", "1,2", "--1", "0x10", "\xE4\xB8\x80"})
        EXPECT_EQ(ParseInteger(bad), std::nullopt) << bad;
}

TEST(ParseInteger, RangeAndTypeLimits) {
    EXPECT_EQ(ParseInteger("65535", 1, 65535), 65535);
    EXPECT_EQ(ParseInteger("65536", 1, 65535), std::nullopt);
    EXPECT_EQ(ParseInteger("0", 1, 65535), std::nullopt);
    EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseInteger("2147483648"), std::nullopt);
    EXPECT_EQ(ParseInteger<int64_t>("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseInteger<int64_t>("9223372036854775808"), std::nullopt);
    EXPECT_EQ(ParseInteger<int64_t>("99999999999999999999999999"), std::nullopt);
    EXPECT_EQ(ParseInteger<uint8_t>("255"), 255);
    EXPECT_EQ(ParseInteger<uint8_t>("256"), std::nullopt);
}

TEST(ParseInteger, BaseFromThePrefix) {
    EXPECT_EQ(ParseInteger("0x1F", 0), 31);
    EXPECT_EQ(ParseInteger("-0x10", 0), -16);
    EXPECT_EQ(ParseInteger("010", 0), 8);
    EXPECT_EQ(ParseInteger("12", 0), 12);
    EXPECT_EQ(ParseInteger("ff", 16), 255);
    EXPECT_EQ(ParseInteger("0x", 0), std::nullopt);
    EXPECT_EQ(ParseInteger("08", 0), std::nullopt);
}

TEST(LeadingInteger, ReadsTheNumberATextBeginsWith) {
    EXPECT_EQ(LeadingInteger("  42abc"), 42);
    EXPECT_EQ(LeadingInteger("\t-7\r\n"), -7);
    EXPECT_EQ(LeadingInteger("+3"), 3);
    EXPECT_EQ(LeadingInteger("abc"), 0);
    EXPECT_EQ(LeadingInteger(""), 0);
    EXPECT_EQ(LeadingInteger("- 5"), 0);
    EXPECT_EQ(LeadingInteger("99999999999999999999"), INT64_MAX);
    EXPECT_EQ(LeadingInteger("-99999999999999999999"), INT64_MIN);
    EXPECT_EQ(LeadingInteger("1700000000000"), 1700000000000LL);
    EXPECT_EQ(LeadingInt(" 2147483648"), 2147483647);
    EXPECT_EQ(LeadingInt("-2147483649,"), -2147483647 - 1);
    EXPECT_EQ(LeadingInt("-12x"), -12);
}
