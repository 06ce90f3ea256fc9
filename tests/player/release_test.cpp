// The player's unkeys when the host refuses them: the indicator keeps "PTT ON" until a retry goes
// through, and the node ends up unkeyed.

#include "player_fixture.h"

namespace tarnwick::test {
namespace {

struct UnkeyCase {
    const char* name;
    const char* ini;
    // Brings a playing transmission to the unkey.
    std::function<void(PlayerTest&, Form1&, VirtualRuntime&)> unkey;
};

void PrintTo(const UnkeyCase& c, std::ostream* os) { *os << c.name; }

class RefusedUnkeyTest : public PlayerTest, public ::testing::WithParamInterface<UnkeyCase> {};

TEST_P(RefusedUnkeyTest, TheIndicatorWaitsForTheRetryThatUnkeys) {
    writeIni(GetParam().ini);
    start();
    player->Command1.click();  // Audio File 1, 125.7 s
    rt.advance(10'000);
    ASSERT_TRUE(host.state().ptt());
    host.set("fail", "SetPTT");
    ::testing::internal::CaptureStderr();
    GetParam().unkey(*this, *player, rt);
    EXPECT_TRUE(host.state().ptt());
    EXPECT_EQ(player->PTT.caption(), "PTT ON") << "the node is still keyed";
    EXPECT_EQ(player->PTT.foreColour(), kRed);

    rt.advance(3'000);
    EXPECT_TRUE(host.state().ptt());
    EXPECT_EQ(player->PTT.caption(), "PTT ON");
    host.set("fail", "none");
    rt.advance(1'000);
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(host.state().ptt()) << "the refused unkey was tried again";
    EXPECT_EQ(player->PTT.caption(), "PTT OFF");
    EXPECT_EQ(player->PTT.foreColour(), kGreen);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RefusedUnkeyTest,
    ::testing::Values(UnkeyCase{"WrapUp", "",
                                [](PlayerTest&, Form1&, VirtualRuntime& rt) { rt.advance(117'000); }},
                      UnkeyCase{"BreakStart", "STOPCLOCK8=1\nBEACONPERIOD8=1\nTEXT6=100000\n",
                                [](PlayerTest&, Form1&, VirtualRuntime& rt) { rt.advance(51'000); }},
                      UnkeyCase{"Stop", "", [](PlayerTest&, Form1& p, VirtualRuntime&) { p.Command2.click(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerTest, ItsWrapUpLeavesAnotherToolOnAirAndItsStopEndsEveryTransmission) {
    start();
    HostLink other(hub, "Form3");  // a speech keyed while the file plays
    player->Command1.click();
    other.SetPTT(true);
    rt.advance(127'000);  // Audio File 1 ends and wraps up
    EXPECT_TRUE(host.state().ptt()) << "the player's routine unkey cut the speech";
    EXPECT_EQ(player->PTT.caption(), "PTT OFF") << "the player itself is off the air";

    player->Command1.click();
    rt.advance(1'000);
    player->Command2.click();  // STOP: the operator wants the transmitter off
    EXPECT_FALSE(host.state().ptt());
}

TEST_F(PlayerTest, ARefusedUnkeyThatANewPlaySupersedesLeavesTheIndicatorOnAir) {
    start();
    player->Command1.click();
    host.set("fail", "SetPTT");
    ::testing::internal::CaptureStderr();
    player->Command2.click();  // STOP refused
    ::testing::internal::GetCapturedStderr();
    host.set("fail", "none");
    player->Command1.click();  // played again before the retry
    rt.advance(3'000);
    EXPECT_TRUE(host.state().ptt());
    EXPECT_EQ(player->PTT.caption(), "PTT ON");
}

TEST_F(PlayerTest, TheWrapUpGoesOnWhileTheChainedFilesBoxWaitsForTheOperator) {
    writeIni("MON=1\nHOUR=10\nMINS=00\nCHECK2=1\nTEXT8=C:\\Missing.mp3\n");
    start();
    bool keyedWhileOpen = true;
    std::string captionWhileOpen;
    rt.whileBoxOpen = [&](const RecordedBox& box) {
        if (box.text != "Please select a file") return;
        rt.advance(3'000);  // nobody presses OK for a while
        keyedWhileOpen = host.state().ptt();
        captionWhileOpen = player->PTT.caption();
    };
    runTo(10, 0, 16);
    ASSERT_TRUE(host.state().ptt());
    rt.advance(31'000);  // Audio File 3 (30 s) ends; its 2nd File cannot be loaded
    ASSERT_EQ(rt.boxes.size(), 1u) << "one box, however long it stays open";
    EXPECT_FALSE(keyedWhileOpen) << "the transmitter stayed keyed with nothing to play";
    EXPECT_EQ(captionWhileOpen, "PTT OFF");
    EXPECT_FALSE(player->transmissionUnderWay());
}

}  // namespace
}  // namespace tarnwick::test
