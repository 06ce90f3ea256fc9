// The DTMF control and its nets, on the real programs.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/node.h"

namespace tarnwick::testing {
namespace {

const std::string kDisconnectAll = R"("link":"Form4","op":"DisconnectAllStations")";

TEST(DtmfEndToEnd, DisconnectAllCodeDropsEveryStationOnce) {
    Node node;
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"connected", "W1AW", "Ann"}), 0);
    ASSERT_EQ(node.hostCommand({"dtmf", "73"}), 0);
    ASSERT_TRUE(eventually([&] { return !node.lines({kDisconnectAll}).empty(); })) << node.log();
    ASSERT_TRUE(node.secondsPassed(node.lines({kDisconnectAll}).front(), 2)) << node.log();
    EXPECT_EQ(node.lines({kDisconnectAll}).size(), 1u) << node.log();
    EXPECT_EQ(node.lines({R"("op":"DisconnectAllStations")"}).size(), 1u) << node.log();
}

TEST(DtmfEndToEnd, SingleStationCodeConnectsThenDrops) {
    Node node;
    node.writeSettings("dtmfctrl.ini", "[SETTINGS]\nDTMF1=11\nCALL1=W1AW\n");
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "11"}), 0);
    ASSERT_TRUE(eventually([&] { return !node.lines({R"("link":"Form4","op":"ConnectTo","args":["W1AW",true])"}).empty(); }))
        << node.log();
    // The host reports the station connected once the connect has gone through.
    ASSERT_TRUE(eventually([&] { return !node.lines({R"("event":"connected")", "W1AW"}).empty(); })) << node.log();
    ASSERT_EQ(node.hostCommand({"dtmf", "11"}), 0);
    EXPECT_TRUE(eventually([&] { return !node.lines({R"("link":"Form4","op":"DisconnectFrom","args":["W1AW"])"}).empty(); }))
        << node.log();
}

// A callsign longer than the 16 characters that are shown is the station the "Last Call" code drops,
// and what its arrival is looked up by.
TEST(DtmfEndToEnd, TheLastCallCodeDropsALongCallsignWhole) {
    Node node;
    node.writeSettings("dtmfctrl.ini", "[SETTINGS]\nTEXT555=55\n");
    node.writeSettings("brightcalltts.ini", "[SETTINGS]\nCONDISC=0\n");
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"connected", "Q0VERYLONGCALLSIGN-L", "Ann"}), 0);
    ASSERT_TRUE(eventually([&] { return app.err().find("PAGE https://www.qrz.com/db/Q0VERYLONGCALLSIGN-\n") != std::string::npos; }))
        << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "55"}), 0);
    EXPECT_TRUE(eventually([&] {
        return !node.lines({R"("link":"Form4","op":"DisconnectFrom","args":["Q0VERYLONGCALLSIGN-L"])"}).empty();
    })) << node.log();
    const std::string state = node.hostState();
    ASSERT_FALSE(state.empty());
    EXPECT_NE(state.find(R"("stations":[])"), std::string::npos) << state;
}

// Steps the clock, sending "73" after every tick from the `from`th after the log line `since` on, until
// the DTMF control disconnects all stations; the ticks from `since` to that call, or -1.
long long ticksToDisconnectAll(SteppedClock& clock, Node& node, const std::string& since, long long from, int most) {
    const bool acted = stepUntil(
        clock, {&node},
        [&] {
            if (!node.lines({kDisconnectAll}).empty()) return true;
            if (node.ticksAfter(since) >= from) node.hostCommand({"dtmf", "73"});
            return false;
        },
        most);
    return acted ? node.ticksBetween(since, node.lines({kDisconnectAll}).front()) : -1;
}

// After the disable code, "73" does nothing until the re-enable minute has passed: from a few ticks
// before, "73" is sent after every tick until it acts.
TEST(DtmfEndToEnd, DisableCodeLocksOutDisconnectAllForTheReEnableMinute) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-10 10:00:00");
    Node node;
    node.writeSettings("dtmfctrl.ini", "[SETTINGS]\nTEXT333=00\nBEACONPERIOD=1\n");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "00"}), 0);
    ASSERT_EQ(node.hostCommand({"dtmf", "73"}), 0);
    const std::string off = node.lines({R"("event":"DTMFString")", R"(["00"])"}).at(0);
    // Acted on the first "73" after the 60th tick (or the one after, should the program take the
    // code after the next step).
    const long long after = ticksToDisconnectAll(clock, node, off, 57, 75);
    EXPECT_GE(after, 60) << node.log();
    EXPECT_LE(after, 61) << node.log();
    EXPECT_EQ(node.lines({kDisconnectAll}).size(), 1u) << node.log();
}

// With the delay in use, a code in the first five ticks of an over is ignored and one after the
// fifth acts: "73" is sent after every tick of the over until it acts.
TEST(DtmfEndToEnd, AcceptanceDelayIgnoresTheFirstSecondsOfAnOver) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-10 10:00:00");
    Node node;
    node.writeSettings("dtmfctrl.ini", "[SETTINGS]\nUSEDTMFDELAY=1\nDTMFDELAYSECONDS=5\n");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return node.ticks() >= 2; }, 5));
    ASSERT_EQ(node.hostCommand({"rx", "1"}), 0);
    const std::string rx = node.lines({R"("event":"RX")"}).at(0);
    // Not after the fourth tick; after the fifth (or the sixth, should the program take the code
    // after the next step).
    const long long after = ticksToDisconnectAll(clock, node, rx, 0, 15);
    EXPECT_GE(after, 5) << node.log();
    EXPECT_LE(after, 6) << node.log();
    EXPECT_EQ(node.lines({kDisconnectAll}).size(), 1u) << node.log();
}

// A net at 20:00 on a ticked Monday: busy, disconnect-all and the connect at 20:00:15, the busy flag
// cleared and the net dropped after a minute of the countdown's ticks. The speech tool's keeper of a
// "Stay Con" station holds off while the net runs and reconnects its station after it. The clock is
// stepped, so nothing is spoken (the arrivals are not announced): speech could not end on it.
TEST(DtmfEndToEnd, MondayNetRunsItsMinuteAndTheKeeperWaitsForIt) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-14 20:00:05");  // a Monday
    Node node;
    node.writeSettings("dtmfctrl.ini", "[SETTINGS]\nMON=1\nHOUR=20\nMINS=00\nNETCALL1=w1aw\nDISCMINS1=1\nCHECK3=1\n"
                                       "SHOWBUSY1=1\nDISCONNECTALL1=1\n");
    node.writeSettings("brightcalltts.ini", "[SETTINGS]\nSTAYCON1=1\nCONNECTSTATION1=K1ABC\nCONDISC=0\n");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    const std::string busy = R"("link":"Form4","op":"SetBusy","args":[true])";
    const std::string all = kDisconnectAll;
    const std::string connect = R"("link":"Form4","op":"ConnectTo","args":["W1AW",true])";
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return !node.lines({connect}).empty(); }, 20)) << node.log();
    // Not before second 15 (the DTMF control's clock may take it a step late, at every other step).
    EXPECT_GE(clock.now(), "2026-12-14 20:00:15");
    const auto seqOf = [&](const std::string& piece) {
        auto l = node.lines({piece});
        return l.empty() ? -1 : Node::seqOf(l.front());
    };
    EXPECT_EQ(node.lines({busy}).size(), 1u) << node.log();
    EXPECT_LT(seqOf(busy), seqOf(all));
    EXPECT_LT(seqOf(all), seqOf(connect));

    const std::string free = R"("link":"Form4","op":"SetBusy","args":[false])";
    const std::string drop = R"("link":"Form4","op":"DisconnectFrom","args":["W1AW"])";
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return !node.lines({drop}).empty(); }, 75)) << node.log();
    EXPECT_LT(seqOf(free), seqOf(drop));
    // A minute of the countdown's one-second ticks, whatever the machine's load (the count between
    // the two log lines depends on where in their passes the connect and the drop fall).
    const long long ran = node.ticksBetween(node.lines({connect}).front(), node.lines({drop}).front());
    EXPECT_GE(ran, 59) << node.log();
    EXPECT_LE(ran, 60) << node.log();

    const std::string keeper = R"("link":"Form3","op":"ConnectTo","args":["K1ABC",true])";
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return !node.lines({keeper}).empty(); }, 75)) << node.log();
    EXPECT_GT(seqOf(keeper), seqOf(drop)) << "the keeper held off while the net ran";
}

TEST(DtmfEndToEnd, EchoLinkClosingWritesNoSettingsFile) {
    Node node;
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"closing"}), 0);
    EXPECT_EQ(app.wait(), 0) << app.err();
    EXPECT_FALSE(std::filesystem::exists(node.dir().file("cfg/dtmfctrl.ini")));
}

}  // namespace
}  // namespace tarnwick::testing
