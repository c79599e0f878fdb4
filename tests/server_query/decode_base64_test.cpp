#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "definitions/server_query.h"

namespace {

// Decodes text into a buffer of the given capacity; the result code goes to *result.
std::vector<uint8_t> Decode(const std::string& text, int capacity = 64, int* result = nullptr) {
    std::vector<uint8_t> out(static_cast<size_t>(capacity) + 8, 0xEE);
    const int n = DecodeBase64(text.data(), static_cast<int>(text.size()), out.data(), capacity);
    if (result != nullptr) *result = n;
    // Nothing beyond the capacity is ever touched.
    for (size_t i = static_cast<size_t>(capacity); i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE);
    out.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return out;
}

using Bytes = std::vector<uint8_t>;

}  // namespace

TEST(DecodeBase64, GroupsAndPadding) {
    EXPECT_EQ(Decode("QUJD"), (Bytes{0x41, 0x42, 0x43}));
    EXPECT_EQ(Decode("QUI="), (Bytes{0x41, 0x42}));
    EXPECT_EQ(Decode("QQ=="), (Bytes{0x41}));
    EXPECT_EQ(Decode("+/+/AAEC"), (Bytes{0xFB, 0xFF, 0xBF, 0x00, 0x01, 0x02}));
    const Bytes hello = Decode("SGVsbG8sIFdvcmxkIQ==");
    EXPECT_EQ(std::string(hello.begin(), hello.end()), "Hello, World!");
    EXPECT_EQ(Decode(""), Bytes{});
}

TEST(DecodeBase64, LineBreaksBetweenGroupsAreSkippedButNotInsideThem) {
    EXPECT_EQ(Decode("QUJD\r\nQUJD"), (Bytes{0x41, 0x42, 0x43, 0x41, 0x42, 0x43}));
    EXPECT_EQ(Decode("\n\n\rQUJD\r\n"), (Bytes{0x41, 0x42, 0x43}));
    // Inside a group a line break is just a character outside the alphabet (value 0).
    EXPECT_EQ(Decode("QU\r\nJD"), (Bytes{0x41, 0x40, 0x00, 0x24}));
}

TEST(DecodeBase64, CharactersOutsideTheAlphabetCountAsZero) {
    EXPECT_EQ(Decode("Q!!!"), (Bytes{0x40, 0x00, 0x00}));
    EXPECT_EQ(Decode("=QUJ"), (Bytes{0x01, 0x05, 0x09}));
    const std::string with_nul("Q\0JD", 4);
    EXPECT_EQ(Decode(with_nul), (Bytes{0x40, 0x02, 0x43}));
}

TEST(DecodeBase64, FinalShortGroupReadsAsPadded) {
    EXPECT_EQ(Decode("QUJDQUI"), (Bytes{0x41, 0x42, 0x43, 0x41, 0x42}));
    EXPECT_EQ(Decode("QUJDQQ"), (Bytes{0x41, 0x42, 0x43, 0x41}));
    // One character alone holds less than a byte.
    EXPECT_EQ(Decode("QUJDQ"), (Bytes{0x41, 0x42, 0x43}));
    // Only length characters are read, even when the text goes on.
    const char text[] = "QUJDQUJD";
    uint8_t out[8] = {};
    EXPECT_EQ(DecodeBase64(text, 4, out, 8), 3);
    EXPECT_EQ(DecodeBase64(text, 6, out, 8), 4);
    EXPECT_EQ(DecodeBase64(text, 0, out, 8), 0);
    EXPECT_EQ(DecodeBase64(text, -5, out, 8), 0);
}

TEST(DecodeBase64, DataThatDoesNotFitIsRefusedWithoutWritingPastTheBuffer) {
    int result = 0;
    Decode("QUJD", 3, &result);
    EXPECT_EQ(result, 3);
    Decode("QUJD", 2, &result);
    EXPECT_EQ(result, -1);
    Decode("QQ==", 0, &result);
    EXPECT_EQ(result, -1);
    Decode("QUI=", 1, &result);
    EXPECT_EQ(result, -1);

    // The setup-file buffer: 51,200 bytes fit, 51,201 do not.
    std::string fits;
    for (int i = 0; i < 17066; ++i) fits += "AAAA";
    std::string too_big = fits + "AAAA";
    fits += "AAA=";
    const Bytes zeros = Decode(fits, 51200, &result);
    EXPECT_EQ(result, 51200);
    EXPECT_EQ(zeros, Bytes(51200, 0x00));
    Decode(too_big, 51200, &result);
    EXPECT_EQ(result, -1);
}
