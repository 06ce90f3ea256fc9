#include <gtest/gtest.h>

#include "support/node.h"

namespace tarnwick::testing {
namespace {

std::string chatBy(const std::string& link, const std::string& text) {
    return "\"link\":\"" + link + "\",\"op\":\"SendChatText\",\"args\":[\"" + text + "\"]";
}

// On a stepped clock, nothing is spoken: the speech tool does not announce arrivals (it would hold the
// thread while it speaks, too).
const char* const kSilent = "[SETTINGS]\nCONDISC=0\n";

TEST(ConferenceEndToEnd, VersionIsAnsweredAndAnArrivalIsLookedUpThenAnnounced) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-10 10:00:00");
    Node node;
    node.writeSettings("brightcalltts.ini", kSilent);
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"chat", "what /ver/ is it"}), 0);
    ASSERT_TRUE(eventually([&] { return !node.lines({chatBy("Form6", "Tarnwick  v7.2")}).empty(); })) << node.log();

    ASSERT_EQ(node.hostCommand({"connected", "Q0ABC", "Ann"}), 0);
    ASSERT_TRUE(eventually([&] { return app.err().find("PAGE https://www.qrz.com/db/Q0ABC\n") != std::string::npos; }))
        << app.err();
    const std::string welcome = "Q0ABC Ann Connected";
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return !node.lines({"\"link\":\"Form10\"", welcome}).empty(); }, 10))
        << node.log();
    const std::string greeting = node.lines({"\"link\":\"Form10\"", welcome}).at(0);
    EXPECT_NE(greeting.find(R"("args":["(10:00) Q0ABC Ann Connected"])"), std::string::npos) << greeting;
    // Three seconds after the arrival.
    const std::string arrived = node.lines({"\"event\":\"connected\"", "Q0ABC"}).at(0);
    const long long after = node.ticksBetween(arrived, greeting);
    EXPECT_GE(after, 2) << node.log();
    EXPECT_LE(after, 3) << node.log();
    // Showing the page never started a browser, ticks later.
    EXPECT_EQ(app.err().find("OPEN "), std::string::npos) << app.err();
}

TEST(ConferenceEndToEnd, UsersIsPolledEveryThirtyFiveSecondsWhileLinkedAndAlone) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-10 10:00:00");
    Node node;
    node.writeSettings("castrel.ini", "[SETTINGS]\nCONFERENCE=*ECHOTEST*\nSTOPCLOCK=1\n");
    node.writeSettings("brightcalltts.ini", kSilent);
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"connected", "*ECHOTEST*"}), 0);
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return node.lines({chatBy("Form6", ".users")}).size() >= 2; }, 90))
        << node.log();
    const auto polls = node.lines({chatBy("Form6", ".users")});
    EXPECT_EQ(node.ticksBetween(polls[0], polls[1]), 35) << node.log();
    const std::string linked = node.lines({"\"event\":\"connected\"", "*ECHOTEST*"}).at(0);
    EXPECT_GE(node.ticksBetween(linked, polls[0]), 30) << node.log();
}

TEST(ConferenceEndToEnd, OneMinuteAutoMuteMutesAfterAMinuteOfReception) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-10 10:00:00");
    Node node;
    node.writeSettings("castrel.ini", "[SETTINGS]\nBEACONPERIOD2=1\nCHECK1=0\n");
    node.writeSettings("brightcalltts.ini", kSilent);
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"rx", "1"}), 0);
    const std::string notice =
        "** Auto Mute ** Has been sent to the station or stations exceeding the conference key down limit of 1 minutes "
        "without a break. Disconnect and reconnect to remove the Mute. << Admin Bot >>";
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return !node.lines({chatBy("Form6", notice)}).empty(); }, 80))
        << node.log();
    const auto mute = node.lines({chatBy("Form6", ".mute .")});
    ASSERT_EQ(mute.size(), 1u);
    EXPECT_LT(Node::seqOf(mute[0]), Node::seqOf(node.lines({chatBy("Form6", notice)})[0]));
    // A minute of reception, counted in the program's ticks (the count between the two log lines
    // depends on where in its pass the mute falls).
    const std::string rx = node.lines({"\"event\":\"RX\""}).at(0);
    const long long after = node.ticksBetween(rx, mute[0]);
    EXPECT_GE(after, 59) << node.log();
    EXPECT_LE(after, 60) << node.log();
    EXPECT_TRUE(node.lines({"WARNING"}).empty());
}

TEST(ConferenceEndToEnd, ClosingWritesTheStationInfoAndGreetingsFiles) {
    Node node;
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"closing"}), 0);
    EXPECT_EQ(app.wait(), 0) << app.err();
    EXPECT_EQ(node.settings("fennick.ini"), "[SETTINGS]\nCHECK9=1\n");
    const std::string greetings = node.settings("wendlow.ini");
    EXPECT_NE(greetings.find("OPTION10=True\n"), std::string::npos) << greetings;
    EXPECT_NE(greetings.find("USEGREETING=1\n"), std::string::npos) << greetings;
    EXPECT_TRUE(node.settings("castrel.ini").empty());
}

}  // namespace
}  // namespace tarnwick::testing
