// The DTMF control and its nets, on the real programs.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "support/node.h"

namespace tarnwick::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const char* const kFaketime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
const std::string kDisconnectAll = R"("link":"Form4","op":"DisconnectAllStations")";

void sleepFor(milliseconds ms) { std::this_thread::sleep_for(ms); }

// Sends "73" once a second until the DTMF control disconnects all stations.
bool sendUntilDisconnectAll(Node& node, milliseconds deadline) {
    return eventually(
        [&] {
            node.hostCommand({"dtmf", "73"});
            sleepFor(seconds(1));
            return !node.lines({kDisconnectAll}).empty();
        },
        deadline);
}

TEST(DtmfEndToEnd, DisconnectAllCodeDropsEveryStationOnce) {
    Node node;
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"connected", "W1AW", "Ann"}), 0);
    ASSERT_EQ(node.hostCommand({"dtmf", "73"}), 0);
    ASSERT_TRUE(eventually([&] { return !node.lines({kDisconnectAll}).empty(); })) << node.log();
    sleepFor(milliseconds(1500));
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
    ASSERT_EQ(node.hostCommand({"state"}), 0);
    const std::string state = Process::slurp(node.dir().file("cli.err.out"));
    EXPECT_NE(state.find(R"("stations":[])"), std::string::npos) << state;
}

// After the disable code, "73" does nothing until the re-enable minute has passed.
TEST(DtmfEndToEnd, DisableCodeLocksOutDisconnectAllForTheReEnableMinute) {
    Node node;
    node.writeSettings("dtmfctrl.ini", "[SETTINGS]\nTEXT333=00\nBEACONPERIOD=1\n");
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "00"}), 0);
    const auto disabled = std::chrono::steady_clock::now();
    ASSERT_EQ(node.hostCommand({"dtmf", "73"}), 0);
    sleepFor(seconds(2));
    EXPECT_TRUE(node.lines({kDisconnectAll}).empty()) << node.log();
    // From shortly before the minute is over, "73" is sent every second until it acts.
    std::this_thread::sleep_until(disabled + milliseconds(57000));
    ASSERT_TRUE(sendUntilDisconnectAll(node, seconds(30))) << node.log();
    const auto off = node.lines({R"("event":"DTMFString")", R"(["00"])"});
    ASSERT_EQ(off.size(), 1u) << node.log();
    EXPECT_GE(Node::timeOf(node.lines({kDisconnectAll}).front()) - Node::timeOf(off.front()), 59000) << node.log();
}

// With the delay in use, a code three seconds into an over is ignored and one after the fifth second acts.
TEST(DtmfEndToEnd, AcceptanceDelayIgnoresTheFirstSecondsOfAnOver) {
    Node node;
    node.writeSettings("dtmfctrl.ini", "[SETTINGS]\nUSEDTMFDELAY=1\nDTMFDELAYSECONDS=5\n");
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    sleepFor(seconds(2));
    ASSERT_EQ(node.hostCommand({"rx", "1"}), 0);
    const auto over = std::chrono::steady_clock::now();
    std::this_thread::sleep_until(over + milliseconds(3000));
    ASSERT_EQ(node.hostCommand({"dtmf", "73"}), 0);
    sleepFor(seconds(1));
    EXPECT_TRUE(node.lines({kDisconnectAll}).empty()) << node.log();
    // From the sixth second on, "73" is sent every second until it acts.
    std::this_thread::sleep_until(over + milliseconds(5500));
    ASSERT_TRUE(sendUntilDisconnectAll(node, seconds(15))) << node.log();
    const auto rx = node.lines({R"("event":"RX")"});
    ASSERT_EQ(rx.size(), 1u) << node.log();
    EXPECT_GE(Node::timeOf(node.lines({kDisconnectAll}).front()) - Node::timeOf(rx.front()), 5000) << node.log();
}

// A net at 20:00 on a ticked Monday: busy, disconnect-all and the connect at 20:00:15, the busy flag
// cleared and the net dropped a minute later. The speech tool's keeper of a "Stay Con" station holds
// off while the net runs and reconnects its station after it.
TEST(DtmfEndToEnd, MondayNetRunsItsMinuteAndTheKeeperWaitsForIt) {
    if (!std::filesystem::exists(kFaketime)) GTEST_SKIP() << "libfaketime is not installed";
    Node node;
    node.writeSettings("dtmfctrl.ini", "[SETTINGS]\nMON=1\nHOUR=20\nMINS=00\nNETCALL1=w1aw\nDISCMINS1=1\nCHECK3=1\n"
                                       "SHOWBUSY1=1\nDISCONNECTALL1=1\n");
    node.writeSettings("brightcalltts.ini", "[SETTINGS]\nSTAYCON1=1\nCONNECTSTATION1=K1ABC\n");
    // 2026-12-14 is a Monday.
    Process& app = node.start("ok", {{"LD_PRELOAD", kFaketime},
                                     {"FAKETIME", "@2026-12-14 20:00:05"},
                                     {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
                                     {"FAKETIME_NO_CACHE", "1"}});
    ASSERT_TRUE(node.started()) << app.err();
    const std::string busy = R"("link":"Form4","op":"SetBusy","args":[true])";
    const std::string all = kDisconnectAll;
    const std::string connect = R"("link":"Form4","op":"ConnectTo","args":["W1AW",true])";
    ASSERT_TRUE(eventually([&] { return !node.lines({connect}).empty(); }, seconds(20))) << node.log();
    const auto seqOf = [&](const std::string& piece) {
        auto l = node.lines({piece});
        return l.empty() ? -1 : Node::seqOf(l.front());
    };
    EXPECT_EQ(node.lines({busy}).size(), 1u) << node.log();
    EXPECT_LT(seqOf(busy), seqOf(all));
    EXPECT_LT(seqOf(all), seqOf(connect));

    const std::string free = R"("link":"Form4","op":"SetBusy","args":[false])";
    const std::string drop = R"("link":"Form4","op":"DisconnectFrom","args":["W1AW"])";
    ASSERT_TRUE(eventually([&] { return !node.lines({drop}).empty(); }, seconds(75))) << node.log();
    EXPECT_LT(seqOf(free), seqOf(drop));
    const long long ran = Node::timeOf(node.lines({drop}).front()) - Node::timeOf(node.lines({connect}).front());
    // A minute of one-second ticks; a loaded machine that holds the thread may stretch it a little.
    EXPECT_GE(ran, 59000);
    EXPECT_LT(ran, 70000);

    const std::string keeper = R"("link":"Form3","op":"ConnectTo","args":["K1ABC",true])";
    ASSERT_TRUE(eventually([&] { return !node.lines({keeper}).empty(); }, seconds(70))) << node.log();
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
