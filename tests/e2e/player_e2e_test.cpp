#include <gtest/gtest.h>

#include "support/node.h"
#include "support/wav.h"

namespace tarnwick::testing {
namespace {

const std::string kKey = R"("link":"Form1","op":"SetPTT","args":[true])";
const std::string kUnkey = R"("link":"Form1","op":"SetPTT","args":[false])";

// A node with Audio File 1 at C:\News1.wav (or another kind: "mid" is C:\News1.mid), a sound of
// the given length.
struct NewsNode : Node {
    explicit NewsNode(double seconds = 1.5, const std::string& extraKeys = "", const std::string& kind = "wav") {
        wav = drivePath("c", "News1." + kind);
        if (kind == "mid")
            writeNoteMidi(wav, seconds);
        else
            writeToneWav(wav, seconds);
        // Written as an operator's hand edit might be: a lower-case section and key, a number with
        // trailing garbage and an over-long value elsewhere; the file must still be read.
        writeSettings("brannock.ini", "[settings]\ntext4=C:\\News1." + kind + "\nBeaconPeriod1=7x\nTEXT14=" +
                                          std::string(300, 'x') + "\n" + extraKeys);
    }
    std::string wav;
};

class PlayerKinds : public ::testing::TestWithParam<const char*> {};

TEST_P(PlayerKinds, DtmfPlaysAudioFileOneOnAirAndReleasesAtItsEnd) {
    NewsNode node(1.5, "", GetParam());
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    ASSERT_TRUE(eventually([&] { return !node.lines({kUnkey}).empty() && node.lines({kKey}).size() == 1 &&
                                        node.timeOf(node.lines({kUnkey}).back()) >
                                            node.timeOf(node.lines({kKey})[0]); }))
        << node.log();
    long long keyed = node.timeOf(node.lines({kKey})[0]);
    long long released = 0;
    for (const auto& l : node.lines({kUnkey}))
        if (node.timeOf(l) > keyed) {
            released = node.timeOf(l);
            break;
        }
    // On air for the file's length and released at its end (within a second of it; a loaded machine
    // may start the sound late, a missed end would be minutes).
    EXPECT_GE(released - keyed, 1000);
    EXPECT_LE(released - keyed, 1500 + 3000);
    EXPECT_NE(app.err().find("PLAY " + node.wav), std::string::npos) << app.err();
}

// MIDI files are among the player's listed kinds.
INSTANTIATE_TEST_SUITE_P(PlayerEndToEnd, PlayerKinds, ::testing::Values("wav", "mid"));

TEST(PlayerEndToEnd, DisabledAnnouncementsOrAMissingFileKeyNothing) {
    {
        NewsNode node(1.0);
        node.writeSettings("brightcalltts.ini", "[SETTINGS]\nCHECK1=1\n");
        Process& app = node.start();
        ASSERT_TRUE(node.started()) << app.err();
        ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
        ASSERT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
        EXPECT_TRUE(node.lines({kKey}).empty()) << node.log();
        EXPECT_EQ(app.err().find("PLAY "), std::string::npos);
    }
    {
        Node node;
        node.writeSettings("brannock.ini", "[SETTINGS]\nTEXT4=C:\\Missing.wav\n");
        Process& app = node.start();
        ASSERT_TRUE(node.started()) << app.err();
        ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
        ASSERT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
        EXPECT_TRUE(node.lines({kKey}).empty()) << node.log();
        EXPECT_TRUE(app.running());
    }
}

// The program's time of day stands a second before the scheduled moment, until the test steps it
// there; its timers and the sound keep the real time, as does the host.
TEST(PlayerEndToEnd, ScheduledNewsSendsDigitsKeysAtSecondFifteenAndReleases) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-10 10:00:14", SteppedClock::Kind::TimeOfDayOnly);  // a Thursday
    NewsNode node(1.5, "THUR3=1\nHOUR3=10\nMINS3=00\nCHECK3=1\nCHECK4=1\n");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    const std::string startDigits = R"("link":"Form1","op":"SendDTMF","args":["1234"])";
    // Nothing a second early.
    ASSERT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
    EXPECT_TRUE(node.lines({startDigits}).empty()) << node.log();
    EXPECT_TRUE(node.lines({kKey}).empty()) << node.log();
    clock.step();
    const std::string endDigits = R"("link":"Form1","op":"SendDTMF","args":["4321"])";
    // The end digits go out first, then the transmitter is released.
    auto releasedAfterDigits = [&] {
        auto digits = node.lines({endDigits});
        auto unkeys = node.lines({kUnkey});
        return !digits.empty() && !unkeys.empty() && node.seqOf(unkeys.back()) > node.seqOf(digits[0]);
    };
    ASSERT_TRUE(eventually(releasedAfterDigits, std::chrono::seconds(30))) << node.log() << app.err();
    auto start = node.lines({startDigits});
    auto keys = node.lines({kKey});
    ASSERT_EQ(start.size(), 1u);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_LT(node.seqOf(start[0]), node.seqOf(keys[0]));
    EXPECT_LT(node.seqOf(keys[0]), node.seqOf(node.lines({endDigits})[0]));
    EXPECT_NE(app.err().find("PLAY " + node.wav), std::string::npos) << app.err();
}

}  // namespace
}  // namespace tarnwick::testing
