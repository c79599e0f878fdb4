#include <gtest/gtest.h>

#include <string>

#include "definitions/server_query.h"

namespace {

ReplyMap Parse(const std::string& text) {
    ReplyMap map;
    ParseReply(map, text);
    return map;
}

}  // namespace

TEST(ParseReply, VersionReplyAndItsDataObject) {
    const ReplyMap outer = Parse(R"({"code":0,"data":{"createdDate":"160","banben":"1.9.8.1"}})");
    EXPECT_EQ(outer, (ReplyMap{{"code", "0"}, {"data", "{createdDate:160,banben:1.9.8.1}"}}));

    const ReplyMap inner = Parse(outer.at("data"));
    EXPECT_EQ(inner, (ReplyMap{{"createdDate", "160"}, {"banben", "1.9.8.1"}}));
}

TEST(ParseReply, NullDataAndMissingData) {
    EXPECT_EQ(Parse(R"({"code":0,"data":null})"), (ReplyMap{{"code", "0"}, {"data", "null"}}));
    // Without a comma the opening brace stays on the only item's name.
    EXPECT_EQ(Parse(R"({"code":404})"), (ReplyMap{{"{code", "404"}}));
    EXPECT_TRUE(Parse("").empty());
    EXPECT_TRUE(Parse(R"("")").empty());
}

TEST(ParseReply, ValuesKeepEveryColonAfterTheFirst) {
    const ReplyMap inner = Parse(R"({"createdDate":"2020-01-01 10:00:00","url":"http://x:1/"})");
    EXPECT_EQ(inner.at("createdDate"), "2020-01-01 10:00:00");
    EXPECT_EQ(inner.at("url"), "http://x:1/");
}

TEST(ParseReply, LaterMemberReplacesEarlierAndMapIsAddedTo) {
    ReplyMap map{{"kept", "yes"}, {"a", "old"}};
    ParseReply(map, R"({"a":"1","b":"2","a":"3"})");
    EXPECT_EQ(map, (ReplyMap{{"kept", "yes"}, {"a", "3"}, {"b", "2"}}));
}

TEST(ParseReply, ItemsWithoutColonGoUnderTheEmptyName) {
    EXPECT_EQ(Parse(R"({"a":"1",lonely,"b":"2"})"),
              (ReplyMap{{"a", "1"}, {"", "lonely"}, {"b", "2"}}));
    // Empty items between commas, and a trailing comma.
    EXPECT_EQ(Parse("a:1,,b:2,"), (ReplyMap{{"a", "1"}, {"", ""}, {"b", "2"}}));
}

TEST(ParseReply, MalformedRepliesFollowTheFlatRules) {
    // "data" first: its item starts with a brace, so the braces go instead of being kept.
    EXPECT_EQ(Parse(R"({"data":{"x":"1","y":"2"},"code":0})"),
              (ReplyMap{{"data", "x:1"}, {"y", "2}"}, {"code", "0"}}));
    // Unclosed object at the end: the rest is one item.
    EXPECT_EQ(Parse(R"({"code":0,"data":{"a":"1")"), (ReplyMap{{"code", "0"}, {"data", "{a:1"}}));
    // An object inside the nested object is cut at its first closing brace.
    EXPECT_EQ(Parse(R"({"code":0,"data":{"a":{"b":"1"},"c":"2"}})"),
              (ReplyMap{{"code", "0"}, {"data", "{a:{b:1}"}, {"", ""}, {"c", "2"}}));
    // A closing brace before the opening one in the same stretch.
    EXPECT_EQ(Parse("x}y:{z,w:1"), (ReplyMap{{"", "x}"}, {"y", "z"}, {"w", "1"}}));
    // Only punctuation.
    EXPECT_EQ(Parse("}}}{{{,,,::"), (ReplyMap{{"", ":"}}));
}

TEST(ParseReply, HugeValueAndManyMembersAreHandledWhole) {
    const std::string big(8 * 1024 * 1024, 'Q');
    const ReplyMap outer =
        Parse(R"({"code":0,"data":{"filename":"f.bin","wenjian":")" + big + R"("}})");
    const ReplyMap inner = Parse(outer.at("data"));
    EXPECT_EQ(inner.at("filename"), "f.bin");
    EXPECT_EQ(inner.at("wenjian").size(), big.size());

    // 200,000 members: a parser that copies the rest of the text per member would not
    // finish in any reasonable time.
    std::string many = "{";
    for (int i = 0; i < 200000; ++i) many += "\"m" + std::to_string(i) + "\":\"v\",";
    many += "\"last\":\"end\"}";
    const ReplyMap map = Parse(many);
    EXPECT_EQ(map.size(), 200001u);
    EXPECT_EQ(map.at("m199999"), "v");
    EXPECT_EQ(map.at("last"), "end");
}
