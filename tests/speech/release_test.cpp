// Which of the speech tools' unkeys leave a transmission of another tool alone and which end it.

#include "speech_fixture.h"

namespace tarnwick::test {
namespace {

struct ReleaseCase {
    const char* name;
    std::function<void(SpeechTest&)> run;
    bool cuts;  // ends the other tool's transmission
};

void PrintTo(const ReleaseCase& c, std::ostream* os) { *os << c.name; }

class SpeechReleaseTest : public SpeechTest, public ::testing::WithParamInterface<ReleaseCase> {};

TEST_P(SpeechReleaseTest, OnlyTheOperatorsAndTheClosingPathsCutAnotherToolsTransmission) {
    start();
    HostLink other(hub, "Form12");  // another tool on air, its fan line up
    other.SetPTT(true);
    other.SetDTR(true);
    GetParam().run(*this);
    EXPECT_EQ(host.state().ptt(), !GetParam().cuts);
    EXPECT_EQ(host.state().dtr(), !GetParam().cuts);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SpeechReleaseTest,
    ::testing::Values(
        ReleaseCase{"EndOfSpeech",
                    [](SpeechTest& t) {
                        t.form3.UseDTR.setValue(1);
                        t.form3.SayTheText = std::string("Over");
                        t.form3.SpeakTheText();
                    },
                    false},
        ReleaseCase{"SpeechToolReloaded",
                    [](SpeechTest& t) {
                        t.form3.unload();
                        t.form3.load();
                    },
                    false},
        ReleaseCase{"QuitPromptYes", [](SpeechTest& t) { t.form3.onCloseRequest(); }, true},
        ReleaseCase{"Closing", [](SpeechTest& t) { t.raise("closing"); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpeechTest, TheHelpToolsStartUpLeavesAnotherTransmissionAndItsClosingEndsIt) {
    start();
    HostLink other(hub, "Form12");
    other.SetPTT(true);
    form7.unload();
    form7.load();
    EXPECT_TRUE(host.state().ptt());
    hub.afterClosing = [] {};
    form3.unload();  // only the help tool is left to clean up
    raise("closing");
    EXPECT_FALSE(host.state().ptt());
}

// The host goes away under a keyed speech and comes back while it is still being spoken: the speech
// holds the loop, yet its transmitter is keyed again on the new host at once, and released once, at
// the speech's end.
TEST_F(SpeechTest, AHostThatComesBackUnderAKeyedSpeechIsKeyedAgainAtOnceAndReleasedOnceAtItsEnd) {
    start();
    voice.speechMs = 8000;
    std::int64_t spoken = -1, back = -1, keyedAgain = -1;
    voice.onSpeak = [&](const std::string&) { spoken = rt.monotonicMs(); };
    transport.onKeepUp = [&] {
        const std::int64_t now = rt.monotonicMs();
        if (back < 0 && now >= spoken + 2950) {
            // A new host, every line off, found by this upkeep as the socket transport finds one.
            host.state().call("Host", "SetPTT", {false});
            host.state().clearLog();
            back = now;
            transport.reconnected();
        }
        if (back >= 0 && keyedAgain < 0 && host.state().ptt()) keyedAgain = now;
    };
    form3.SayTheText = std::string("Net tonight at eight");
    form3.SpeakTheText();
    ASSERT_GE(back, 0) << "the speech ran no upkeep of the host link";
    ASSERT_GE(keyedAgain, 0) << "not keyed again while the speech was spoken";
    EXPECT_LE(keyedAgain - back, 1000);
    EXPECT_EQ(pttCalls(), (std::vector<bool>{true, false})) << "one key again, one release at the end";
    EXPECT_FALSE(host.state().ptt());
}

}  // namespace
}  // namespace tarnwick::test
