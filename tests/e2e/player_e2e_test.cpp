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
    // On air for the file's length, released within a second of its end.
    EXPECT_GE(released - keyed, 1000);
    EXPECT_LE(released - keyed, 1500 + 1000);
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
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_TRUE(node.lines({kKey}).empty()) << node.log();
        EXPECT_EQ(app.err().find("PLAY "), std::string::npos);
    }
    {
        Node node;
        node.writeSettings("brannock.ini", "[SETTINGS]\nTEXT4=C:\\Missing.wav\n");
        Process& app = node.start();
        ASSERT_TRUE(node.started()) << app.err();
        ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_TRUE(node.lines({kKey}).empty()) << node.log();
        EXPECT_TRUE(app.running());
    }
}

// The program's clock is set to just before the scheduled minute; the host keeps the real time.
TEST(PlayerEndToEnd, ScheduledNewsSendsDigitsKeysAtSecondFifteenAndReleases) {
    const char* faketime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
    if (!std::filesystem::exists(faketime)) GTEST_SKIP() << "libfaketime is not installed";
    // 2026-12-10 is a Thursday.
    NewsNode node(1.5, "THUR3=1\nHOUR3=10\nMINS3=00\nCHECK3=1\nCHECK4=1\n");
    auto t0 = std::chrono::steady_clock::now();
    Process& app = node.start("ok", {{"LD_PRELOAD", faketime},
                                     {"FAKETIME", "@2026-12-10 10:00:07"},
                                     {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
                                     {"FAKETIME_NO_CACHE", "1"}});
    ASSERT_TRUE(node.started()) << app.err();
    const std::string endDigits = R"("link":"Form1","op":"SendDTMF","args":["4321"])";
    // The end digits go out first, then the transmitter is released.
    auto releasedAfterDigits = [&] {
        auto digits = node.lines({endDigits});
        auto unkeys = node.lines({kUnkey});
        return !digits.empty() && !unkeys.empty() && node.seqOf(unkeys.back()) > node.seqOf(digits[0]);
    };
    ASSERT_TRUE(eventually(releasedAfterDigits, std::chrono::seconds(25))) << node.log() << app.err();
    // The key-up waited for second 15 of the minute: about eight seconds after start (the margin
    // lets a slow start-up on a busy machine still come before it).
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    auto start = node.lines({R"("link":"Form1","op":"SendDTMF","args":["1234"])"});
    auto keys = node.lines({kKey});
    ASSERT_EQ(start.size(), 1u);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_LT(node.seqOf(start[0]), node.seqOf(keys[0]));
    EXPECT_LT(node.seqOf(keys[0]), node.seqOf(node.lines({endDigits})[0]));
    EXPECT_NE(app.err().find("PLAY " + node.wav), std::string::npos) << app.err();
}

}  // namespace
}  // namespace tarnwick::testing
