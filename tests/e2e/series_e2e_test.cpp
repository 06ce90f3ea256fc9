#include <gtest/gtest.h>

#include "support/node.h"
#include "support/wav.h"

namespace tarnwick::testing {
namespace {

using std::chrono::seconds;

// The series player's own calls. Releases are matched without their closing bracket, so a release
// that names its kind still counts.
const std::string kSeries = R"("link":"Form12")";
const std::string kKey = R"("op":"SetPTT","args":[true)";
const std::string kUnkey = R"("op":"SetPTT","args":[false)";

// The program's time of day stands a second before the moment until the test steps it there; its
// timers and the sound keep the real time, as does the host.
SteppedClock secondBefore(const std::string& at) { return SteppedClock(at, SteppedClock::Kind::TimeOfDayOnly); }

// The log lines of `lines` that the host saw after `line`.
std::vector<std::string> after(const std::vector<std::string>& lines, const std::string& line) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (Node::seqOf(l) > Node::seqOf(line)) out.push_back(l);
    return out;
}

TEST(SeriesEndToEnd, IdleReleaseRunsEveryTenthOfASecondUntilTheNewsPlayersFirstTransmission) {
    Node node;
    writeToneWav(node.drivePath("c", "News1.wav"), 1.0);
    node.writeSettings("brannock.ini", "[SETTINGS]\nTEXT4=C:\\News1.wav\n");
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    // The series player's monitor unkeys every 100 ms while idle: on average well under 300 ms apart
    // even on a busy machine, where once a second would be a fault.
    ASSERT_TRUE(eventually([&] { return node.lines({kSeries, kUnkey}).size() >= 10; })) << node.log();
    auto idle = node.lines({kSeries, kUnkey});
    const long long span = Node::timeOf(idle.back()) - Node::timeOf(idle.front());
    EXPECT_GE(static_cast<long long>(idle.size()), span / 300) << span;

    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    const std::string newsKey = R"("link":"Form1","op":"SetPTT","args":[true)";
    const std::string newsUnkey = R"("link":"Form1","op":"SetPTT","args":[false)";
    ASSERT_TRUE(eventually([&] {
        auto keys = node.lines({newsKey});
        return !keys.empty() && !after(node.lines({newsUnkey}), keys[0]).empty();
    })) << node.log();
    const std::string keyed = node.lines({newsKey})[0];
    const std::string released = after(node.lines({newsUnkey}), keyed)[0];
    // The news file was on air for its length: the series player did not cut it.
    EXPECT_GE(Node::timeOf(released) - Node::timeOf(keyed), 900);
    ASSERT_TRUE(node.secondsPassed(released, 2)) << node.log();
    EXPECT_TRUE(after(node.lines({kSeries, kUnkey}), keyed).empty()) << node.log();
    EXPECT_TRUE(after(node.lines({kSeries, R"("op":"SetBusy")"}), keyed).empty()) << node.log();
}

// Monday 20:15: the weekly time and the quarter-hour trigger fall into the same second. The first
// step plays 3.wav, the next finds 4.wav missing and keys nothing, the last ends the series.
TEST(SeriesEndToEnd, WeeklyTimePlaysTheSeriesFileKeyedAndReleasesItAtItsWholeSecondLength) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock = secondBefore("2026-12-07 20:15:14");  // a Monday
    Node node;
    const std::string wav = node.drivePath("c", "3.wav");
    writeToneWav(wav, 2.5);
    node.writeSettings("seriesplayer.ini",
                       "[SETTINGS]\nSTARTNO=3\nENDNO=4\nMP3=False\nWAV=True\nMON=1\nHOUR=20\nMINS=15\nTEXT11=20\n"
                       "TEXT12=15\nINFOQUARTER=1\n");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
    EXPECT_TRUE(node.lines({kSeries, kKey}).empty()) << "a second early\n" << node.log();
    clock.step();
    ASSERT_TRUE(eventually([&] {
        auto keys = node.lines({kSeries, kKey});
        return !keys.empty() && !after(node.lines({kSeries, kUnkey}), keys[0]).empty();
    }, seconds(30))) << node.log() << app.err();
    const std::string keyed = node.lines({kSeries, kKey})[0];
    const std::string released = after(node.lines({kSeries, kUnkey}), keyed)[0];
    // "Length" shows 00:00:02: released once two whole seconds have played.
    const long long onAir = Node::timeOf(released) - Node::timeOf(keyed);
    EXPECT_GE(onAir, 1900);
    EXPECT_LE(onAir, 3900) << "a loaded machine may start the sound late";
    ASSERT_TRUE(node.secondsPassed(released, 2)) << node.log();
    EXPECT_EQ(node.lines({kSeries, kKey}).size(), 1u) << node.log();
    const std::string err = app.err();
    EXPECT_NE(err.find("PLAY " + wav), std::string::npos) << err;
    EXPECT_EQ(err.find("PLAY ", err.find("PLAY ") + 1), std::string::npos) << err;
    EXPECT_NE(err.find("MSGBOX Error: Please select a file"), std::string::npos) << err;
    EXPECT_TRUE(app.running());
}

TEST(SeriesEndToEnd, AFifteenSecondBreakPeriodUnkeysAndRekeysTheTransmitter) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock = secondBefore("2026-12-10 10:00:14");
    Node node;
    writeToneWav(node.drivePath("c", "1.wav"), 17.5);
    node.writeSettings("seriesplayer.ini",
                       "[SETTINGS]\nMP3=0\nWAV=1\nINFOHOURLY=1\nSTOPCLOCK8=1\nBEACONPERIOD8=0.25\nTEXT6=100\n");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    clock.step();
    // Keyed, unkeyed after 15 s for the break, keyed again, released at the end.
    ASSERT_TRUE(eventually([&] { return node.lines({kSeries, kKey}).size() >= 2; }, seconds(40)))
        << node.log() << app.err();
    auto keys = node.lines({kSeries, kKey});
    auto breakStart = after(node.lines({kSeries, kUnkey}), keys[0]);
    ASSERT_FALSE(breakStart.empty());
    EXPECT_LT(Node::seqOf(breakStart[0]), Node::seqOf(keys[1]));
    const long long transmitted = Node::timeOf(breakStart[0]) - Node::timeOf(keys[0]);
    EXPECT_GE(transmitted, 14500);
    EXPECT_LE(transmitted, 16500);
    // A hundred ticks of the break timer.
    EXPECT_GE(Node::timeOf(keys[1]) - Node::timeOf(breakStart[0]), 900);
    ASSERT_TRUE(eventually([&] { return !after(node.lines({kSeries, kUnkey}), keys[1]).empty(); }, seconds(10)))
        << node.log();
}

// The ident's countdown runs from the window's load. Its first minute ends while a carrier is present:
// no ident, and none when the carrier drops; the next one goes out at the end of the second minute.
TEST(SeriesEndToEnd, CwIdentGoesOutEveryMinuteButNotWhileACarrierIsPresent) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-10 10:01:00");
    Node node;
    node.writeSettings("seriesplayer.ini", "[SETTINGS]\nCWCALLSIGN=N0CALL\nSTOPCLOCK7=1\nBEACONPERIOD7=1\n");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"carrier", "1"}), 0);
    const std::string ident = R"("link":"Form12","op":"SendCWText","args":[0,"N0CALL"])";
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return node.ticks() >= 65; }, 80)) << node.log();
    ASSERT_EQ(node.hostCommand({"carrier", "0"}), 0);
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return !node.lines({ident}).empty(); }, 80)) << node.log();
    const std::string loaded = node.lines({kSeries, R"("op":"Hello")"}).at(0);
    const auto idents = node.lines({ident});
    ASSERT_EQ(idents.size(), 1u) << node.log();
    // The end of the second minute: its 120th tick (the count between the two log lines depends on
    // where in its pass the ident falls).
    const long long at = node.ticksBetween(loaded, idents[0]);
    EXPECT_GE(at, 119) << node.log();
    EXPECT_LE(at, 120) << node.log();
}

}  // namespace
}  // namespace tarnwick::testing
