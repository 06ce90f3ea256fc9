#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "support/node.h"

namespace tarnwick::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Only the speech tool's own key-ups count here: the players unkey on their own schedules.
const std::string kKey = R"("link":"Form3","op":"SetPTT","args":[true])";
const std::string kUnkey = R"("link":"Form3","op":"SetPTT","args":[false])";

// The texts the program spoke on air, in order.
std::vector<std::string> spoken(Process& app) {
    std::vector<std::string> out;
    std::istringstream in(app.err());
    for (std::string line; std::getline(in, line);)
        if (line.rfind("SPEAK ", 0) == 0) out.push_back(line.substr(6));
    return out;
}

bool hasSpoken(Process& app, const std::string& text) {
    auto all = spoken(app);
    return std::find(all.begin(), all.end(), text) != all.end();
}

// Waits until `text` is spoken and checks that the speech tool keyed the transmitter before it and
// released it afterwards. The "SPEAK" line is written after the key-up call has been answered, so the
// host's log holds the key-up by the time the line can be read; the release must follow it in the
// host's order, and the transmitter must have stayed keyed for the time the speech took.
::testing::AssertionResult spokenOnAir(Node& node, Process& app, const std::string& text,
                                       milliseconds deadline = seconds(10)) {
    if (!eventually([&] { return hasSpoken(app, text); }, deadline))
        return ::testing::AssertionFailure() << "never spoke \"" << text << "\"\n" << app.err();
    auto keys = node.lines({kKey});
    if (keys.empty()) return ::testing::AssertionFailure() << "\"" << text << "\" spoken unkeyed\n" << node.log();
    const std::string key = keys.back();
    std::string unkey;
    auto released = [&] {
        for (const auto& l : node.lines({kUnkey}))
            if (Node::seqOf(l) > Node::seqOf(key)) {
                unkey = l;
                return true;
            }
        return false;
    };
    if (!eventually(released, deadline))
        return ::testing::AssertionFailure() << "transmitter not released after \"" << text << "\"\n" << node.log();
    // Speech on the null output takes real time; an unkey straight after the key-up means the speech
    // did not happen while on air.
    const long long onAir = Node::timeOf(unkey) - Node::timeOf(key);
    if (onAir < 500)
        return ::testing::AssertionFailure() << "keyed only " << onAir << " ms for \"" << text << "\"\n" << key << "\n"
                                             << unkey;
    return ::testing::AssertionSuccess();
}

TEST(SpeechEndToEnd, DtmfEnableAutoConnectsIsSpokenWithTheTransmitterKeyedAndReleased) {
    Node node;
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "*1*"}), 0);
    ASSERT_TRUE(spokenOnAir(node, app, "Auto Connects Enabled."));
    // Spoken once, on one key-up, and the transmitter is left released.
    EXPECT_EQ(spoken(app), std::vector<std::string>{"Auto Connects Enabled."});
    EXPECT_EQ(node.lines({kKey}).size(), 1u) << node.log();
    EXPECT_NE(node.hostState().find("\"ptt\":false"), std::string::npos) << node.hostState();
}

TEST(SpeechEndToEnd, ConnectingStationIsAnnouncedSpelledThenTheTime) {
    Node node;
    node.writeSettings("brightcalltts.ini", "[SETTINGS]\nCONDISC=1\nADDTIME=1\n");
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"connected", "W1AW", "Ann"}), 0);
    ASSERT_TRUE(spokenOnAir(node, app, "W 1 A W  , Connected"));
    // "Add the time": the time of day follows on its own key-up.
    ASSERT_TRUE(eventually([&] { return spoken(app).size() >= 2; })) << app.err();
    const std::string at = spoken(app)[1];
    EXPECT_TRUE(std::regex_match(at, std::regex("at(1[0-2]|[1-9]) [0-5][0-9]  [AP]M"))) << at;
    ASSERT_TRUE(spokenOnAir(node, app, at));
    EXPECT_EQ(spoken(app).size(), 2u) << app.err();
    EXPECT_EQ(node.lines({kKey}).size(), 2u) << node.log();
}

// Ten kilobytes from a stranger are cut before they are spoken: seconds on air, not minutes.
struct LongTextCase {
    const char* name;
    const char* settings;
    std::vector<std::string> event;
    std::string text;  // what is spoken
};

void PrintTo(const LongTextCase& c, std::ostream* os) { *os << c.name; }

class LongText : public ::testing::TestWithParam<LongTextCase> {};

TEST_P(LongText, IsSpokenCut) {
    const LongTextCase& c = GetParam();
    Node node;
    node.writeSettings("brightcalltts.ini", c.settings);
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand(c.event), 0);
    ASSERT_TRUE(spokenOnAir(node, app, c.text));
    EXPECT_EQ(spoken(app).size(), 1u) << app.err();
    const auto keys = node.lines({kKey});
    const auto unkeys = node.lines({kUnkey});
    ASSERT_FALSE(keys.empty());
    ASSERT_FALSE(unkeys.empty());
    EXPECT_LT(Node::timeOf(unkeys.back()) - Node::timeOf(keys.back()), 30'000) << node.log();
}

INSTANTIATE_TEST_SUITE_P(
    SpeechEndToEnd, LongText,
    ::testing::Values(
        // Cut to 16 characters, the callsign is spelled (the time, ticked by default, left off: it
        // would follow on a key-up of its own).
        LongTextCase{"ATenKilobyteCallsign", "[SETTINGS]\nCONDISC=1\nADDTIME=0\n",
                     {"connected", "W1AW" + std::string(10'000, 'X'), std::string(10'000, 'n')},
                     "W 1 A W X X X X X X X X X X X X  , Connected"},
        // Cut to 256 characters, its control characters turned into blanks.
        LongTextCase{"ATenKilobyteChatLine", "[SETTINGS]\nSAYTEXT=1\n",
                     {"chat", "net\a\x1b" + std::string(10'000, 'x')},
                     "Message from  net  " + std::string(251, 'x')},
        // A right-to-left override and a C1 control are blanks: nothing is read out reversed.
        LongTextCase{"BidiAndC1Controls", "[SETTINGS]\nSAYTEXT=1\n",
                     {"chat", "SPEAK \xe2\x80\xae" "exe.txt\xc2\x85" "done"}, "Message from  SPEAK  exe.txt done"}),
    [](const auto& info) { return std::string(info.param.name); });

// A request waiting in the mailbox is neither spoken nor keyed while a hold lasts, and is spoken once
// when the hold clears.
struct HoldCase {
    const char* name;
    const char* settings;
    std::vector<std::string> hold;     // a host command that raises the hold, if any
    std::vector<std::string> request;  // the host command that fills the mailbox
    const char* text;                  // what is then spoken
    std::vector<std::string> release;  // the host command that clears the hold
};

void PrintTo(const HoldCase& c, std::ostream* os) { *os << c.name; }

class SpeechHold : public ::testing::TestWithParam<HoldCase> {};

TEST_P(SpeechHold, MailboxRequestWaitsUntilTheHoldClears) {
    const HoldCase& c = GetParam();
    Node node;
    node.writeSettings("brightcalltts.ini", c.settings);
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    if (!c.hold.empty()) {
        ASSERT_EQ(node.hostCommand(c.hold), 0);
    }
    ASSERT_EQ(node.hostCommand(c.request), 0);
    // The mailbox pump runs at every tick of the speech tool's clock: two ticks give it two tries.
    ASSERT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
    EXPECT_TRUE(spoken(app).empty()) << app.err();
    EXPECT_TRUE(node.lines({kKey}).empty()) << node.log();

    ASSERT_EQ(node.hostCommand(c.release), 0);
    ASSERT_TRUE(spokenOnAir(node, app, c.text));
    EXPECT_EQ(spoken(app), std::vector<std::string>{c.text});
    EXPECT_EQ(node.lines({kKey}).size(), 1u) << node.log();
}

INSTANTIATE_TEST_SUITE_P(
    SpeechEndToEnd, SpeechHold,
    ::testing::Values(
        HoldCase{"DtmfReplyHeldByCarrier", "[SETTINGS]\n", {"carrier", "1"}, {"dtmf", "*1*"},
                 "Auto Connects Enabled.", {"carrier", "0"}},
        // "Text Messages" ticked: the conference controller queues each received chat line.
        HoldCase{"ChatMessageHeldByCarrier", "[SETTINGS]\nSAYTEXT=1\n", {"carrier", "1"}, {"chat", "net at eight"},
                 "Message from  net at eight", {"carrier", "0"}},
        // Ticked in the settings file, unticked by the operator's DTMF "announcements on" code.
        HoldCase{"DtmfReplyHeldByDisabledAnnouncements", "[SETTINGS]\nCHECK1=1\nANNOUNCEON=*9*\n", {}, {"dtmf", "*1*"},
                 "Auto Connects Enabled.", {"dtmf", "*9*"}}),
    [](const ::testing::TestParamInfo<HoldCase>& info) { return std::string(info.param.name); });

// The program's time of day stands a second before the moment until the test steps it there; its
// timers and the sound keep the real time, as does the host. Nothing happens a second early.
SteppedClock secondBefore(Node& node, const std::string& at, const std::map<std::string, std::string>& extra = {}) {
    SteppedClock clock(at, SteppedClock::Kind::TimeOfDayOnly);
    auto env = clock.env();
    env.insert(extra.begin(), extra.end());
    Process& app = node.start("ok", env);
    EXPECT_TRUE(node.started()) << app.err();
    EXPECT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
    EXPECT_TRUE(spoken(app).empty()) << "a second early\n" << app.err();
    EXPECT_TRUE(node.lines({R"("op":"SendChatText")"}).empty()) << "a second early\n" << node.log();
    clock.step();
    return clock;
}

TEST(SpeechEndToEnd, SilenceScheduleWarnsByChatAndSpeechAtSecondFifteenThenHoldsAnnouncements) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    Node node;
    // 2026-12-10 is a Thursday: schedule 1 turns announcements off at 10:00 on Thursdays.
    node.writeSettings("brightcalltts.ini", "[SETTINGS]\nTHUR=1\nHOUROFF1=10\nMINSOFF1=00\nCHECK2=1\n");
    SteppedClock clock = secondBefore(node, "2026-12-10 10:00:14");
    if (HasFailure()) return;
    Process& app = node.app();
    const std::string chatLine = R"("link":"Form3","op":"SendChatText","args":["10:00:15  <Silence Mode Enabled>"])";
    ASSERT_TRUE(eventually([&] { return !node.lines({chatLine}).empty(); }, seconds(25))) << node.log() << app.err();
    // The warning is spoken on air before announcements stop.
    ASSERT_TRUE(spokenOnAir(node, app, "Silence Mode Enabled"));
    EXPECT_LT(Node::seqOf(node.lines({chatLine})[0]), Node::seqOf(node.lines({kKey})[0]));
    EXPECT_EQ(node.lines({R"("op":"SendChatText")"}).size(), 1u) << node.log();

    // From now on a reply waits in the mailbox.
    ASSERT_EQ(node.hostCommand({"dtmf", "*1*"}), 0);
    ASSERT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
    EXPECT_EQ(spoken(app), std::vector<std::string>{"Silence Mode Enabled"});
    EXPECT_EQ(node.lines({kKey}).size(), 1u) << node.log();
}

TEST(SpeechEndToEnd, QuarterHourTimeIsSpokenAtSecondZero) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    Node node;
    node.writeSettings("brightcalltts.ini", "[SETTINGS]\nTXQUARTERHOUR=1\n");
    SteppedClock clock = secondBefore(node, "2026-12-10 10:14:59");
    if (HasFailure()) return;
    Process& app = node.app();
    ASSERT_TRUE(spokenOnAir(node, app, "The Time Is10 15 AM", seconds(25)));
    EXPECT_EQ(spoken(app), std::vector<std::string>{"The Time Is10 15 AM"});
    EXPECT_EQ(node.lines({kKey}).size(), 1u) << node.log();
}

}  // namespace
}  // namespace tarnwick::testing
