// The weekly news scheduler, the beacon countdowns and the CW ident.

#include "player_fixture.h"

namespace tarnwick::test {
namespace {

TEST_F(PlayerTest, ScheduledNewsWarnsAtSecondZeroAndStartsAtSecond15) {
    writeIni("MON3=1\nHOUR3=10\nMINS3=00\nWARNCHECK=1\nDISCONNECTALL=1\nWARN=1\nCHECK3=1\nCHECK4=1\n");
    start();
    runTo(9, 58, 59);
    EXPECT_EQ(events, Events{});
    runTo(9, 59, 0);
    rt.advance(100);
    EXPECT_EQ(events, (Events{"SendChatText 09:59:00  <1> Minute Warning Auto Disconnect For Local News.", "kellow"}));
    events.clear();
    runTo(10, 0, 15);
    rt.advance(100);
    EXPECT_EQ(only({"SendDTMF", "SetPTT"}), (Events{"SendDTMF 1234", "SetPTT true"}));
    EXPECT_EQ(host.state().calls("SetPTT").back().time.substr(11, 8), "10:00:16");  // after the digits' 1.5 s
    rt.advance(130'000);
    EXPECT_EQ(only({"SendDTMF", "SetPTT"}), (Events{"SendDTMF 1234", "SetPTT true", "SendDTMF 4321", "SetPTT false"}));
}

TEST_F(PlayerTest, AWeekOfSchedulesFiresEachTickedDayOnceAtBothTimes) {
    // Audio File 1 on Monday and Wednesday at 10:00 and 18:30; Audio File 2 on Sunday at 07:05.
    writeIni("MON3=1\nWED3=1\nHOUR3=10\nMINS3=00\nHOUR3b=18\nMINS3b=30\nSUN2=1\nHOUR2=07\nMINS2=05\n"
             "HOUR=9\nMINS=30\nSUN=1\nMON=1\nTUE=1\nWED=1\nTHUR=1\nFRI=1\nSAT=1\n");
    start();
    rt.advance(7LL * 86'400'000);
    std::vector<std::string> starts;
    for (const auto& e : host.state().calls("SetPTT"))
        if (e.link == "Form1" && std::get<bool>(e.args.at(0))) starts.push_back(e.time.substr(0, 16));
    // Audio File 3's hour "9" never matches the clock's "09"; Monday's 10:00 had not passed at 09:00.
    EXPECT_EQ(starts, (std::vector<std::string>{"2026-12-07T10:00", "2026-12-07T18:30", "2026-12-09T10:00",
                                                "2026-12-09T18:30", "2026-12-13T07:05"}));
    EXPECT_EQ(count("render News3.mp3"), 0);
}

struct HourCase {
    const char* hour;
    bool starts;
};

class HourBoxTest : public PlayerTest, public ::testing::WithParamInterface<HourCase> {};

// The start compares the boxes as typed with the clock's "hh:mm": only two digits match.
TEST_P(HourBoxTest, StartMatchesTheHourOnlyAsTheClockWritesIt) {
    writeIni("MON3=1\nMINS3=30\n");
    start();
    player->Hour3.setText(GetParam().hour);
    runTo(9, 30, 20);
    EXPECT_EQ(count("SetPTT true"), GetParam().starts ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Hours, HourBoxTest,
                         ::testing::Values(HourCase{"09", true}, HourCase{"9", false}, HourCase{" 9", false},
                                           HourCase{"9 ", false}, HourCase{"24", false}));

TEST_F(PlayerTest, HourAndMinuteBoxesTakeTwoTypedDigits) {
    start();
    for (TextBox* b : {&player->Hour3, &player->Mins2b, &player->Text11, &player->Text12}) {
        b->type("1a23");
        EXPECT_EQ(b->text(), "12") << b->name();
    }
}

TEST_F(PlayerTest, AStartSkippedByAHeldThreadIsCaughtOnceWithinAMinute) {
    writeIni("MON3=1\nHOUR3=10\nMINS3=00\n");
    start();
    runTo(10, 0, 10);
    rt.blockingDelay(20'000);  // the thread is held across 10:00:15
    rt.advance(1'000);
    EXPECT_EQ(count("SetPTT true"), 1);
    rt.advance(3'000);
    EXPECT_EQ(count("SetPTT true"), 1);
    EXPECT_EQ(count("render News1.mp3"), 1);
}

TEST_F(PlayerTest, AWarningForAStartJustAfterMidnightFallsTheEveningBefore) {
    // Tuesday 00:00, warned 2 minutes before: Monday 23:58:00.
    writeIni("TUE3=1\nHOUR3=00\nMINS3=00\nWARN=2\nWARNCHECK=1\nDISCONNECTALL=1\n");
    start();
    runTo(23, 58, 1);
    EXPECT_EQ(only({"SendChatText"}),
              Events{"SendChatText 23:58:00  <2> Minute Warning Auto Disconnect For Local News."});
}

TEST_F(PlayerTest, NoWarningWithoutDisconnectAll) {
    writeIni("MON3=1\nHOUR3=10\nMINS3=00\nWARNCHECK=1\nDISCONNECTALL=0\n");
    start();
    runTo(10, 0, 20);
    EXPECT_EQ(only({"SendChatText", "kellow"}), Events{});
    EXPECT_EQ(count("SetPTT true"), 1);
}

TEST_F(PlayerTest, BeaconCountdownFiresEveryPeriodWhileUsed) {
    writeIni("TEXT14=C:\\Beacon.wav\nBEACONPERIOD1=1\nSTOPCLOCK1=1\nCHECK4=1\n");
    start();
    EXPECT_EQ(player->BeaconSeconds1.text(), "60");
    rt.advance(59'500);
    EXPECT_EQ(count("SetPTT true"), 0);
    rt.advance(1'000);
    EXPECT_EQ(count("SetPTT true"), 1);
    EXPECT_EQ(player->BeaconPlay, 1);
    EXPECT_EQ(player->BeaconSeconds1.text(), "60");
    rt.advance(7'000);  // the 5 s beacon ends with its end digits and the wrap-up
    EXPECT_EQ(only({"SendDTMF", "SetPTT"}), (Events{"SetPTT true", "SendDTMF 4321", "SetPTT false"}));
    rt.advance(60'000);
    EXPECT_EQ(count("SetPTT true"), 2);
}

TEST_F(PlayerTest, BeaconHeldBackByCarrierOrByTheNewsOnAir) {
    writeIni("TEXT14=C:\\Beacon.wav\nBEACONPERIOD1=1\nSTOPCLOCK1=1\nIPMODE=1\nCHECK3=1\n");
    start();
    raise("carrier", {"1"});
    rt.advance(60'500);
    EXPECT_EQ(count("render Beacon.wav"), 0);
    EXPECT_EQ(player->BeaconSeconds1.text(), "60");  // dropped, the next try a full period later
    raise("carrier", {"0"});
    player->Command1.click();  // news on air in IP mode: the indicator never reads "PTT ON"
    rt.advance(60'000);
    EXPECT_EQ(count("render Beacon.wav"), 0);
    EXPECT_EQ(count("SendDTMF 1234"), 1);  // the news's own start digits only
    EXPECT_EQ(player->PlayBox, 3);
    EXPECT_EQ(player->PTT.caption(), "IP TX");
    EXPECT_EQ(player->Text3.text(), "00:02:05");
}

TEST_F(PlayerTest, BeaconsDueDuringATransmissionGoOnAirAfterItInBeaconOrder) {
    addFile("Beacon2.wav", 5);
    addFile("Beacon3.wav", 5);
    writeIni("TEXT14=C:\\Beacon.wav\nBEACONPERIOD1=1\nSTOPCLOCK1=1\n"
             "TEXT15=C:\\Beacon2.wav\nBEACONPERIOD2=1\nSTOPCLOCK2=1\n"
             "TEXT16=C:\\Beacon3.wav\nBEACONPERIOD3=2\nSTOPCLOCK3=1\n");
    start();
    player->Command1.click();  // 125.7 s of news: every beacon falls due while it plays
    rt.advance(140'000);
    // Each beacon that fell due goes once, after the news, one after the other.
    EXPECT_EQ(only({"render"}), (Events{"render News1.mp3", "render Beacon.wav", "render Beacon2.wav",
                                        "render Beacon3.wav"}));
    // Beacons due together with equal periods: both go on air, Beacon 1 first, every period.
    events.clear();
    rt.advance(60'000);
    EXPECT_EQ(only({"render"}), (Events{"render Beacon.wav", "render Beacon2.wav"}));
    EXPECT_FALSE(host.state().ptt());
}

struct PeriodCase {
    const char* typed;
    const char* box;
    const char* seconds;
    bool running;
};

class PeriodTest : public PlayerTest, public ::testing::WithParamInterface<PeriodCase> {};

TEST_P(PeriodTest, PeriodBoxRule) {
    start();
    player->BeaconPeriod2.setText(GetParam().typed);
    EXPECT_EQ(player->BeaconPeriod2.text(), GetParam().box);
    EXPECT_EQ(player->BeaconSeconds2.text(), GetParam().seconds);
    EXPECT_EQ(player->Beacon2.enabled(), GetParam().running);
}

INSTANTIATE_TEST_SUITE_P(Periods, PeriodTest,
                         ::testing::Values(PeriodCase{"5", "5", "300", true}, PeriodCase{"", "0", "0", false},
                                           PeriodCase{"0", "0", "0", false}, PeriodCase{"00", "0", "0", false},
                                           PeriodCase{"x1", "0", "0", false}));

TEST_F(PlayerTest, StoredZeroPeriodComesBackStoppedAndUnusedCountsStandStill) {
    writeIni("BEACONPERIOD3=0\nBEACONPERIOD2=2\nSTOPCLOCK2=0\n");
    start();
    EXPECT_FALSE(player->Beacon3.enabled());
    EXPECT_EQ(player->BeaconSeconds3.text(), "0");
    rt.advance(10'000);
    EXPECT_EQ(player->BeaconSeconds2.text(), "120");
    player->StopClock2.setValue(1);
    rt.advance(3'000);
    EXPECT_EQ(player->BeaconSeconds2.text(), "117");
}

TEST_F(PlayerTest, CwIdentCountsOnlyWhileAFileIsOnAirWhenAsked) {
    writeIni("BEACONPERIOD7=1\nSTOPCLOCK7=1\nCHECK1=1\nCWCALLSIGN=N0CALL\n");
    start();
    rt.advance(30'000);
    EXPECT_EQ(player->BeaconSeconds7.text(), "60");
    player->Command1.click();
    rt.advance(60'500);
    EXPECT_EQ(only({"SendCWText"}), Events{"SendCWText 0 N0CALL"});
    speech.Check1.setValue(1);  // "Disable Announcements" drops the next one
    rt.advance(60'000);
    EXPECT_EQ(count("SendCWText 0 N0CALL"), 1);
    EXPECT_EQ(player->BeaconSeconds7.text(), "60");
}

TEST_F(PlayerTest, SendIdWritesABlankForAnEmptyCallsign) {
    start();
    player->CWCallsign.setText("");
    player->SendCW.click();
    EXPECT_EQ(player->CWCallsign.text(), " ");
    EXPECT_EQ(only({"SendCWText"}), Events{"SendCWText 0  "});
}

}  // namespace
}  // namespace tarnwick::test
