// Telling a whole reply from one cut short, fed in pieces of any size.
#include "updater/reply_closure.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool ClosedInPieces(const std::string& text, size_t piece) {
    ReplyClosure closure;
    for (size_t at = 0; at < text.size(); at += piece)
        closure.Feed(text.data() + at, std::min(piece, text.size() - at));
    return closure.Closed();
}

TEST(ReplyClosure, OnlyTheClosedOutermostObjectCounts) {
    const std::string whole = R"({"code":0,"data":{"filename":"Vexa","wenjian":"QUJD"}})";
    for (size_t piece : {1, 2, 7, 1000}) {
        EXPECT_TRUE(ClosedInPieces(whole, piece)) << piece;
        for (size_t cut = 0; cut < whole.size(); ++cut)
            EXPECT_FALSE(ClosedInPieces(whole.substr(0, cut), piece)) << piece << " " << cut;
    }
    // Braces and escaped quotes inside strings are text, not structure.
    EXPECT_FALSE(ClosedInPieces(R"({"a":"}}\"}}")", 3));
    EXPECT_TRUE(ClosedInPieces(R"({"a":"}}\"}}"})", 3));
    EXPECT_TRUE(ClosedInPieces(R"({"a":"x\\"})", 1));  // an escaped backslash ends nothing
    // What follows the end changes nothing; a stray closing brace before any object opens
    // closes nothing.
    EXPECT_TRUE(ClosedInPieces(R"({"a":{}}   {"b":")", 4));
    EXPECT_FALSE(ClosedInPieces(R"(}{"a":1)", 4));
}

}  // namespace
