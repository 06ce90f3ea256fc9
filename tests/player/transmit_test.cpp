// The transmit sequence, the playback monitor, breaks, chaining and STOP.

#include "player_fixture.h"

namespace tarnwick::test {
namespace {

TEST_F(PlayerTest, NewsPlayRunsTheWholeSequenceInOrderAndWrapsUpAfterTheEnd) {
    writeIni("CHECK3=1\nCHECK4=1\nLISTASBUSYCHECK=1\nDISCONNECTALL=1\nCHECK5=1\n");
    start();
    speech.FanCTRL.setValue(1);
    const std::int64_t blocked = rt.blockedMs();

    player->Command1.click();  // Play Audio File 1

    EXPECT_EQ(events, (Events{"SendDTMF 1234", "render News1.mp3", "SetBusy true", "DisconnectAllStations", "FanOn",
                              "SetPTT true", "run", "position 0"}));
    // Three delays after the digits, three after disconnecting, two before keying.
    EXPECT_EQ(rt.blockedMs() - blocked, 8 * 500);
    EXPECT_EQ(player->PTT.caption(), "PTT ON");
    EXPECT_EQ(player->PTT.foreColour(), kRed);
    EXPECT_EQ(player->Text3.text(), "00:02:05");
    EXPECT_EQ(series.Text3.text(), "00 00 00");
    EXPECT_FALSE(speech.Beacon3.enabled());
    EXPECT_FALSE(downloader.Beacon4.enabled());
    EXPECT_TRUE(player->transmissionUnderWay());

    // The file lasts 125.7 s; "Time Used" reaches "Length" at 125 s.
    events.clear();
    rt.advance(124'900);
    EXPECT_EQ(events, Events{});
    rt.advance(1'200);  // the supervisor wraps up within a second of the end
    EXPECT_EQ(events, (Events{"release", "SendDTMF 4321", "SetPTT false", "SetBusy false", "SayEndOfFile"}));
    EXPECT_EQ(player->PTT.caption(), "PTT OFF");
    EXPECT_EQ(player->PTT.foreColour(), kGreen);
    EXPECT_TRUE(speech.Beacon3.enabled());
    EXPECT_TRUE(downloader.Beacon4.enabled());
    EXPECT_FALSE(player->transmissionUnderWay());
    EXPECT_FALSE(host.state().ptt());

    // Nothing more happens, and the idle monitor sleeps.
    rt.advance(60'000);
    EXPECT_EQ(events.size(), 5u);
    EXPECT_FALSE(player->Timer1.enabled());
}

struct SlotCase {
    int slot;
    bool newsSteps;  // busy flag and disconnect-all apply
};

class SlotTest : public PlayerTest, public ::testing::WithParamInterface<SlotCase> {};

TEST_P(SlotTest, BusyAndDisconnectOnlyForNewsSlots) {
    writeIni("LISTASBUSYCHECK=1\nDISCONNECTALL=1\nCHECK5=1\nTEXT14=C:\\Beacon.wav\nTEXT41=C:\\Beacon.wav\n");
    start();
    const std::int64_t blocked = rt.blockedMs();
    player->PlayBox = GetParam().slot;
    player->TXFile();
    bool news = GetParam().newsSteps;
    EXPECT_EQ(count("SetBusy true"), news ? 1 : 0);
    EXPECT_EQ(count("DisconnectAllStations"), news ? 1 : 0);
    EXPECT_EQ(rt.blockedMs() - blocked, news ? 2500 : 1000);
    EXPECT_EQ(count("SetPTT true"), 1);
}

INSTANTIATE_TEST_SUITE_P(Slots, SlotTest,
                         ::testing::Values(SlotCase{3, true}, SlotCase{2, true}, SlotCase{1, true},
                                           SlotCase{11, true}, SlotCase{14, false}, SlotCase{41, false}));

TEST_F(PlayerTest, IpModeNeverTouchesThePttButStillClearsBusy) {
    writeIni("IPMODE=1\nCHECK5=1\n");
    start();
    speech.FanCTRL.setValue(1);
    const std::int64_t blocked = rt.blockedMs();
    player->Command7.click();  // Audio File 2, 60 s
    EXPECT_EQ(player->PTT.caption(), "IP TX");
    EXPECT_EQ(player->PTT.foreColour(), kRed);
    EXPECT_EQ(rt.blockedMs() - blocked, 0);
    rt.advance(62'000);
    EXPECT_EQ(player->PTT.caption(), "IP RX");
    EXPECT_EQ(player->PTT.foreColour(), kGreen);
    EXPECT_EQ(only({"SetPTT", "FanOn"}), Events{});
    EXPECT_EQ(count("SetBusy false"), 1);
}

struct FailedLoad {
    const char* path;
    const char* message;
};

class FailedLoadTest : public PlayerTest, public ::testing::WithParamInterface<FailedLoad> {};

TEST_P(FailedLoadTest, KeysNothingMarksNothingPausesNothing) {
    std::ofstream(dir + "/drives/c/Broken.mp3") << "not audio";
    writeIni("LISTASBUSYCHECK=1\nDISCONNECTALL=1\nTEXT4=" + std::string(GetParam().path) + "\n");
    start();
    player->PlayBox = 3;
    player->TXFile();
    EXPECT_EQ(only({"SetPTT", "SetBusy", "Disconnect", "run"}), Events{});
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].title, "Error");
    EXPECT_EQ(rt.boxes[0].text, GetParam().message);
    EXPECT_EQ(dialogs, 0);  // an unattended play never asks for a file
    EXPECT_TRUE(speech.Beacon3.enabled());
    EXPECT_TRUE(downloader.Beacon4.enabled());
    EXPECT_FALSE(player->transmissionUnderWay());
    EXPECT_EQ(player->PTT.caption(), "PTT OFF");
    rt.advance(5'000);
    EXPECT_EQ(only({"SetPTT", "SetBusy"}), Events{});
}

std::string failedLoadName(const ::testing::TestParamInfo<FailedLoad>& info) {
    const char* names[] = {"MissingFile", "EmptyPath", "UnplayableFile"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Loads, FailedLoadTest,
                         ::testing::Values(FailedLoad{"C:\\Missing.mp3", "Please select a file"},
                                           FailedLoad{"", "Please select a file"},
                                           FailedLoad{"C:\\Broken.mp3", "Render error no rendering device found"}),
                         failedLoadName);

TEST_F(PlayerTest, AFileThatCannotBeRenderedDuringATransmissionEndsIt) {
    std::ofstream(dir + "/drives/c/Broken.mp3") << "not audio";
    start();
    player->Command7.click();  // 60 s
    rt.advance(10'000);
    player->Text4.setText("C:\\Broken.mp3");
    raise("dtmf", {"AA"});  // replaces the file on air with one that fails to render
    rt.advance(1'100);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_FALSE(player->transmissionUnderWay());
}

TEST_F(PlayerTest, DisabledAnnouncementsTransmitNothingButTheStartDigits) {
    writeIni("CHECK3=1\n");
    start();
    speech.Check1.setValue(1);
    series.Text3.setText("00:01:00");
    player->Command1.click();
    EXPECT_EQ(series.Text3.text(), "00 00 00");
    EXPECT_EQ(only({"SendDTMF", "render", "SetPTT", "SetBusy"}), Events{"SendDTMF 1234"});
    EXPECT_FALSE(player->transmissionUnderWay());
}

TEST_F(PlayerTest, ABeaconThatTransmitsNothingLeavesTheBeaconFlagClear) {
    // The flag makes the speech tool skip the next end-of-news announcement; a beacon that never
    // went on air must not take that announcement away from the next news.
    writeIni("CHECK3=1\nTEXT14=C:\\Beacon.wav\nTEXT15=C:\\Missing.wav\n");
    start();
    speech.Check1.setValue(1);
    player->Command25.click();
    EXPECT_EQ(only({"SendDTMF", "render"}), Events{"SendDTMF 1234"});
    EXPECT_EQ(player->PlayBox, 14);
    EXPECT_EQ(player->EndDTMF, 1);
    EXPECT_EQ(player->BeaconPlay, 0);
    speech.Check1.setValue(0);
    player->Command26.click();  // a beacon whose file is missing
    EXPECT_EQ(player->BeaconPlay, 0);
    player->Command25.click();
    EXPECT_EQ(player->BeaconPlay, 1);
}

TEST_F(PlayerTest, EndOfStreamOrAPlaybackErrorEndsTheFileShortOfItsLength) {
    start();
    player->Command7.click();  // stated length 60 s
    media().failAfter = 10;
    rt.advance(11'100);
    EXPECT_EQ(player->Text2.text(), player->Text3.text());
    EXPECT_FALSE(host.state().ptt());
    EXPECT_EQ(count("release"), 1);
}

TEST_F(PlayerTest, AudioFile3ChainsThe2ndFileWithoutUnkeying) {
    writeIni("MON=1\nHOUR=10\nMINS=00\nCHECK2=1\nCHECK3=1\nCHECK4=1\n");
    start();
    runTo(10, 0, 16);
    EXPECT_EQ(only({"SendDTMF", "render", "SetPTT"}), (Events{"SendDTMF 1234", "render News3.mp3", "SetPTT true"}));
    rt.advance(30'000);  // Audio File 3 (30 s) ends; the 2nd File follows in the same tick
    EXPECT_EQ(only({"SendDTMF", "render", "SetPTT", "SayEndOfFile"}),
              (Events{"SendDTMF 1234", "render News3.mp3", "SetPTT true", "render News4.mp3", "SetPTT true"}));
    EXPECT_EQ(player->SayFile3, 1);
    rt.advance(21'000);  // the 2nd File (20 s) ends
    EXPECT_EQ(only({"SendDTMF", "SetPTT", "SayEndOfFile"}),
              (Events{"SendDTMF 1234", "SetPTT true", "SetPTT true", "SendDTMF 4321", "SetPTT false",
                      "SayEndOfFile"}));
    EXPECT_EQ(player->SayFile3, 0);
    EXPECT_EQ(player->SayFile2, 0);
}

TEST_F(PlayerTest, BreaksPauseAndResumeWithoutLosingAudio) {
    writeIni("STOPCLOCK8=1\nBEACONPERIOD8=1\nTEXT6=50\n");
    start();
    player->Command1.click();  // 125.7 s
    events.clear();
    rt.advance(60'200);  // the first break falls due after 60 s on air
    EXPECT_EQ(events, (Events{"stop", "SetPTT false"}));
    EXPECT_EQ(player->PTT.caption(), "PTT OFF");
    EXPECT_TRUE(downloader.Beacon4.enabled());
    EXPECT_TRUE(player->transmissionUnderWay());
    rt.advance(400);  // 50 ticks of the break timer
    EXPECT_EQ(events, (Events{"stop", "SetPTT false", "run", "SetPTT true"}));
    EXPECT_FALSE(downloader.Beacon4.enabled());
    EXPECT_EQ(player->Label18.text(), "50");
    // A second break at 120 s of audio; the file ends at 125 s of audio, a second of breaks later.
    rt.advance(125'800 - 60'600);
    EXPECT_EQ(count("release"), 0);
    rt.advance(300);
    EXPECT_EQ(count("release"), 1);
    EXPECT_EQ(count("stop"), 2);
    rt.advance(1'000);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_FALSE(player->transmissionUnderWay());
}

class BreakLength : public PlayerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BreakLength, ThatCannotCountDownStillEnds) {
    writeIni(std::string("STOPCLOCK8=1\nBEACONPERIOD8=1\nTEXT6=") + GetParam() + "\n");
    start();
    player->Command1.click();
    rt.advance(60'100);
    EXPECT_EQ(only({"stop", "run", "SetPTT"}), (Events{"SetPTT true", "run", "stop", "SetPTT false", "run", "SetPTT true"}));
}

// A count far below what a count can hold must not wrap round to a break that never ends.
INSTANTIATE_TEST_SUITE_P(PlayerTest, BreakLength, ::testing::Values("0", "-99999999999999999999"));

TEST_F(PlayerTest, ABreakEndsEvenWhenItsUseBoxIsClearedDuringIt) {
    // Holding the break until the box is ticked again would leave the news stopped and the node
    // busy for good.
    writeIni("STOPCLOCK8=1\nBEACONPERIOD8=1\nTEXT6=50\n");
    start();
    player->Command1.click();
    rt.advance(60'100);
    ASSERT_EQ(player->PTT.caption(), "PTT OFF");
    player->StopClock8.setValue(0);
    rt.advance(1'000);
    EXPECT_EQ(only({"stop", "run", "SetPTT"}),
              (Events{"SetPTT true", "run", "stop", "SetPTT false", "run", "SetPTT true"}));
    EXPECT_EQ(player->PTT.caption(), "PTT ON");
    rt.advance(70'000);  // no further break while the box stays clear; the file plays to its end
    EXPECT_EQ(count("stop"), 1);
    EXPECT_FALSE(host.state().ptt());
}

TEST_F(PlayerTest, ABreakDueAsTheFileEndsIsSkippedAndTheWrapUpRunsOnce) {
    addFile("Short.mp3", 59.5);
    writeIni("STOPCLOCK8=1\nBEACONPERIOD8=1\nTEXT4=C:\\Short.mp3\n");
    start();
    player->Command1.click();
    rt.advance(70'000);
    EXPECT_EQ(only({"stop", "SetPTT", "SayEndOfFile"}), (Events{"SetPTT true", "SetPTT false", "SayEndOfFile"}));
    EXPECT_FALSE(player->transmissionUnderWay());
}

TEST_F(PlayerTest, NoBreakWhileItsUseBoxIsClear) {
    writeIni("STOPCLOCK8=0\nBEACONPERIOD8=1\n");
    start();
    player->Command1.click();
    rt.advance(120'000);
    EXPECT_EQ(count("stop"), 0);
    EXPECT_EQ(player->BeaconSeconds8.text(), "60");
}

TEST_F(PlayerTest, StopEndsTheTransmission) {
    writeIni("CHECK4=1\nLISTASBUSYCHECK=1\nSTOPCLOCK8=1\nBEACONPERIOD8=1\n");
    start();
    player->Command1.click();
    rt.advance(10'000);
    events.clear();
    player->Command2.click();
    EXPECT_EQ(events, (Events{"stop", "SetPTT false", "SetBusy false"}));
    EXPECT_FALSE(player->transmissionUnderWay());
    EXPECT_TRUE(speech.Beacon3.enabled());
    EXPECT_TRUE(downloader.Beacon4.enabled());
    rt.advance(200'000);  // no break resumes it, no digits or announcement follow
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(player->PTT.caption(), "PTT OFF");
}

TEST_F(PlayerTest, ANewPlayReplacesTheFileOnAir) {
    start();
    player->Command1.click();
    rt.advance(5'000);
    player->Command7.click();
    EXPECT_EQ(only({"render", "SetPTT"}), (Events{"render News1.mp3", "SetPTT true", "render News2.mp3", "SetPTT true"}));
    EXPECT_EQ(player->Text3.text(), "00:01:00");
    rt.advance(61'100);
    EXPECT_FALSE(host.state().ptt());
}

TEST_F(PlayerTest, PresetVolumeFollowsANewsPlayWhenItsBoxIsTicked) {
    writeIni("USESETVOL2=1\nVOLSET2=-1500\nUSESETVOL=1\nVOLSET=-200\n");
    start();
    player->Command21.click();  // the 2nd File
    EXPECT_EQ(only({"volume"}), Events{"volume -1500"});
    EXPECT_EQ(player->V2.value(), -1500);
    player->V3.setValue(-3000);  // a slider sets the loaded file at once
    EXPECT_EQ(player->VolSet3.text(), "-3000");
    EXPECT_EQ(only({"volume"}), (Events{"volume -1500", "volume -3000"}));
}

}  // namespace
}  // namespace tarnwick::test
