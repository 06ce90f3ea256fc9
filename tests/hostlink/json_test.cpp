#include "hostlink/json.h"

#include <gtest/gtest.h>

#include <string>

#include "hostlink/host_state.h"

namespace tarnwick {
namespace {

TEST(Json, ALineKeepsItsKeyOrderTextsAndNumbersOnOneLine) {
    Json j = Json::object();
    j["seq"] = 12;
    j["time"] = "2026-12-13T10:00:15.204";
    j["args"] = Json::array({true, -9007199254740993LL, "a \"quoted\"\\ line\r\nnext\ttab\x01"});
    j["nested"] = {{"x", nullptr}, {"y", 1.5}};
    const std::string text = dumpJson(j);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.rfind("{\"seq\":12,\"time\":", 0), 0u);
    EXPECT_NE(text.find(R"(line\r\nnext\ttab\u0001")"), std::string::npos) << text;
    EXPECT_EQ(parseJson(text), j);
    EXPECT_EQ(dumpJson(parseJson(text)), text);
}

TEST(Json, BytesThatAreNotUtf8AreWrittenAsReplacementCharacters) {
    // A stranger's Latin-1 byte must not make the line unwritable, nor reach the other end as it is.
    const std::string text = dumpJson(Json::array({std::string("caf\xE9 \xC3\xA9")}));
    EXPECT_EQ(text, "[\"caf\xEF\xBF\xBD \xC3\xA9\"]");
    EXPECT_EQ(parseJson(text).at(0), "caf\xEF\xBF\xBD \xC3\xA9");
    EXPECT_EQ(parseJson(R"("\u00e9\u20ac\ud83d\ude00\/")"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80/");
}

TEST(Json, AMalformedLineIsOneClearError) {
    const char* bad[] = {"",          "{",          "[1,]",     "{\"a\" 1}",    "\"open",    "tru",
                         "01",        "1.",         "-",        "[1] x",        "{1:2}",     "\"a\nb\"",
                         "\"\\x\"",   "\"\\u12\"",  "{\"a\":1,}", "nul",        "\"\xff\"",  "\"\\ud800x\"",
                         "1e400",     "[-1e999]"};
    for (const char* text : bad) {
        try {
            parseJson(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const JsonError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("bad JSON", 0), 0u) << what;
            EXPECT_EQ(what.find('\n'), std::string::npos) << what;
            EXPECT_EQ(what.find("json.exception"), std::string::npos) << what;
        }
    }
    try {
        parseJson("{\"id\":1,\x1b[2J}");
        ADD_FAILURE();
    } catch (const JsonError& e) {
        // The offending byte is named, not written out.
        EXPECT_EQ(std::string(e.what()).find('\x1b'), std::string::npos) << e.what();
    }
}

TEST(Json, NestingIsBounded) {
    auto nested = [](int depth, char open, char close) { return std::string(depth, open) + std::string(depth, close); };
    EXPECT_NO_THROW(parseJson(nested(kJsonMaxDepth, '[', ']')));
    EXPECT_THROW(parseJson(nested(kJsonMaxDepth + 1, '[', ']')), JsonError);
    EXPECT_THROW(parseJson(std::string(100000, '[')), JsonError);
    std::string objects;
    for (int i = 0; i <= kJsonMaxDepth; ++i) objects += "{\"a\":";
    objects += "1" + std::string(kJsonMaxDepth + 1, '}');
    EXPECT_THROW(parseJson(objects), JsonError);
}

TEST(Json, CallValuesAreWholeNumbersTextsBooleansOrNothing) {
    EXPECT_EQ(hostValueFromJson(parseJson("9223372036854775807")), HostValue(9223372036854775807LL));
    EXPECT_EQ(hostValueFromJson(parseJson("-3")), HostValue(-3LL));
    EXPECT_EQ(hostValueFromJson(parseJson("\"x\"")), HostValue(std::string("x")));
    EXPECT_EQ(hostValueFromJson(parseJson("true")), HostValue(true));
    EXPECT_EQ(hostValueFromJson(parseJson("null")), HostValue());
    for (const char* other : {"9223372036854775808", "18446744073709551615", "1e3", "0.5", "[]", "{}"})
        EXPECT_THROW(hostValueFromJson(parseJson(other)), HostError) << other;
    EXPECT_THROW(hostArgsFromJson(parseJson("{\"a\":1}")), HostError);
    EXPECT_EQ(jsonWhole(parseJson("18446744073709551615")), std::nullopt);
}

}  // namespace
}  // namespace tarnwick
