// Base64 decoded as one stream: any split of the text and line breaks anywhere give the
// same bytes.
#include "updater/base64_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string DecodeInPieces(const std::string& text, size_t piece) {
    Base64StreamDecoder d;
    std::string out;
    for (size_t at = 0; at < text.size(); at += piece)
        d.Feed(text.data() + at, std::min(piece, text.size() - at), out);
    d.Finish(out);
    return out;
}

TEST(Base64Stream, GroupsPaddingAndLineBreaksWhereverTheTextIsCut) {
    EXPECT_EQ(DecodeInPieces("QQ==", 4), "A");
    for (size_t piece : {1, 2, 3, 5, 7}) {
        EXPECT_EQ(DecodeInPieces("QUJD\r\nQUJD", piece), "ABCABC") << piece;
        EXPECT_EQ(DecodeInPieces("QU\r\nJDQ\nUI=", piece), "ABCAB") << piece;
    }
    // A final group cut short reads as padded; a lone last character yields nothing.
    EXPECT_EQ(DecodeInPieces("QUJDQUI", 3), "ABCAB");
    EXPECT_EQ(DecodeInPieces("QUJDQ", 3), "ABC");
    EXPECT_EQ(DecodeInPieces("/+/+", 1), "\xFF\xEF\xFE");
}

TEST(Base64Stream, ALineBreakBeforeABlockEndDoesNotShiftTheGroupsAfterIt) {
    // 1024-character blocks: the CR LF at 510 moves every later group two characters, so
    // one group straddles the first block end.
    std::string text;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        if (i == 127) text += "\r\n";
        text += "AAEC";  // 00 01 02
        expected += std::string("\x00\x01\x02", 3);
    }
    EXPECT_EQ(DecodeInPieces(text, 1024), expected);
}

}  // namespace
