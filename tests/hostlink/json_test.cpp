#include "hostlink/json.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnwick {
namespace {

TEST(Json, RoundTripKeepsKeyOrderTextsAndNumbers) {
    Json j = Json::object();
    j.set("seq", 12);
    j.set("time", "2026-12-13T10:00:15.204");
    j.set("args", Json::array().push(true).push(-9007199254740993LL).push("a \"quoted\"\\ line\r\nnext\ttab"));
    j.set("nested", Json::object().set("x", nullptr).set("y", 1.5));
    j.set("raw", std::string("\xC3\xA9 caf\xE9"));  // UTF-8 and a stray Latin-1 byte both survive
    const std::string text = j.dump();
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.rfind("{\"seq\":12,\"time\":", 0), 0u);
    EXPECT_EQ(Json::parse(text), j);
    EXPECT_EQ(Json::parse(text).dump(), text);
}

TEST(Json, SetReplacesInPlaceAndGetFindsMembers) {
    Json j = Json::object();
    j.set("a", 1).set("b", 2).set("a", 3);
    EXPECT_EQ(j.dump(), "{\"a\":3,\"b\":2}");
    ASSERT_NE(j.get("b"), nullptr);
    EXPECT_EQ(j.get("b")->asInt(), 2);
    EXPECT_EQ(j.get("c"), nullptr);
    EXPECT_THROW(j.get("a")->asString(), JsonError);
}

TEST(Json, EscapesDecodeToUtf8) {
    EXPECT_EQ(Json::parse(R"("\u00e9\u20ac\ud83d\ude00\/")").asString(), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80/");
    // A lone surrogate half cannot be encoded; it reads as the replacement character.
    EXPECT_EQ(Json::parse(R"("\ud800x")").asString(), "\xEF\xBF\xBDx");
    EXPECT_EQ(Json("\x01").dump(), "\"\\u0001\"");
}

TEST(Json, NumbersKeepWholeValuesExact) {
    EXPECT_EQ(Json::parse("9223372036854775807").asInt(), 9223372036854775807LL);
    EXPECT_TRUE(Json::parse("1e3").isDouble());
    EXPECT_EQ(Json::parse("1e3").asInt(), 1000);
    EXPECT_DOUBLE_EQ(Json::parse("-0.25").asDouble(), -0.25);
    EXPECT_THROW(Json::parse("0.5").asInt(), JsonError);
}

TEST(Json, MalformedTextIsRejected) {
    const char* bad[] = {"",        "{",         "[1,]",       "{\"a\" 1}", "\"open",  "tru",
                         "01",      "1.",        "-",          "[1] x",     "{1:2}",   "\"a\nb\"",
                         "\"\\x\"", "\"\\u12\"", "{\"a\":1,}", "nul"};
    for (const char* text : bad) EXPECT_THROW(Json::parse(text), JsonError) << text;
    // Nesting is bounded so a hostile line cannot exhaust the stack.
    EXPECT_THROW(Json::parse(std::string(100000, '[')), JsonError);
    EXPECT_NO_THROW(Json::parse(std::string(30, '[') + std::string(30, ']')));
}

}  // namespace
}  // namespace tarnwick
