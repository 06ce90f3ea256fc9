// The series player's CW ident countdown, its "Send ID" button and the timed transmit breaks.

#include "series/series_fixture.h"

namespace tarnwick::test {
namespace {

struct IdentCase {
    const char* name;
    bool carrierAtFirst;
    bool announcementsDisabled;
    int sentAtFirst;
};

class IdentCountdown : public SeriesTest, public ::testing::WithParamInterface<IdentCase> {};

TEST_P(IdentCountdown, SendsEveryPeriodUnlessACarrierOrTheMuteHoldsItBack) {
    const IdentCase& c = GetParam();
    writeIni("CWCALLSIGN=N0CALL\nSTOPCLOCK7=1\n");
    speech.Check1.setValue(c.announcementsDisabled ? 1 : 0);
    start();
    quietIdle();
    if (c.carrierAtFirst) raise("carrier", {"1"});
    rt.advance(899900);
    EXPECT_EQ(count("SendCWText 0 N0CALL"), 0);
    rt.advance(200);
    EXPECT_EQ(count("SendCWText 0 N0CALL"), c.sentAtFirst);
    // A skipped ident is not made up: the next one comes a full period later.
    EXPECT_EQ(series->BeaconSeconds7.text(), "900");
    raise("carrier", {"0"});
    rt.advance(900000);
    EXPECT_EQ(count("SendCWText 0 N0CALL"), c.sentAtFirst + (c.announcementsDisabled ? 0 : 1));
}

INSTANTIATE_TEST_SUITE_P(Series, IdentCountdown,
                         ::testing::Values(IdentCase{"Clear", false, false, 1}, IdentCase{"Carrier", true, false, 0},
                                           IdentCase{"AnnouncementsDisabled", false, true, 0}),
                         [](const ::testing::TestParamInfo<IdentCase>& info) { return std::string(info.param.name); });

TEST_F(SeriesTest, OnlyWhenFileTxingCountsTheIdentOnlyWhileOnAir) {
    writeIni("CWCALLSIGN=N0CALL\nSTOPCLOCK7=1\nCHECK1=1\nBEACONPERIOD7=1\n");
    start();
    quietIdle();
    rt.advance(120000);
    EXPECT_EQ(series->BeaconSeconds7.text(), "60");
    HostLink other(hub, "Form1");
    other.SetPTT(true);
    rt.advance(60100);
    EXPECT_EQ(count("SendCWText 0 N0CALL"), 1);
}

TEST_F(SeriesTest, IdentPeriodZeroBecomesOneAndAnEmptiedPeriodStopsTheCountdown) {
    writeIni("STOPCLOCK7=1\n");
    start();
    series->BeaconPeriod7.type("0");
    EXPECT_EQ(series->BeaconSeconds7.text(), "0");
    rt.advance(1050);
    EXPECT_EQ(series->BeaconPeriod7.text(), "1");
    EXPECT_EQ(series->BeaconSeconds7.text(), "59");

    series->BeaconPeriod7.type("");
    EXPECT_EQ(series->BeaconPeriod7.text(), "0");
    EXPECT_EQ(series->BeaconSeconds7.text(), "0");
    EXPECT_FALSE(series->Beacon7.enabled());
    rt.advance(5000);
    EXPECT_EQ(series->BeaconPeriod7.text(), "0");
    EXPECT_EQ(count("SendCWText 0 No Call"), 0);
}

TEST_F(SeriesTest, SendIdSendsAtOnceWhateverTheCarrierAndTheMute) {
    writeIni("CWCALLSIGN=\n");
    start();
    raise("carrier", {"1"});
    speech.Check1.setValue(1);
    events.clear();
    series->SendCW.click();
    EXPECT_EQ(series->CWCallsign.text(), " ");
    EXPECT_EQ(events, Events{"SendCWText 0  "});
}

// ---- Transmit breaks ----

const char* const kBreaks = "TXTFILE=C:\\Long.mp3\nSTOPCLOCK8=1\nBEACONPERIOD8=0.5\nTEXT6=100\n";

TEST_F(SeriesTest, BreaksUnkeyAndPauseAfterEachPeriodOfTransmissionThenCarryOn) {
    addFile("Long.mp3", 70);
    writeIni(kBreaks);
    start();
    series->Command3.click();
    rt.advance(29900);
    EXPECT_TRUE(only({"stop"}).empty());
    rt.advance(200);
    EXPECT_EQ(only({"stop", "run", "SetPTT"}), (Events{"SetPTT true", "run", "stop", "SetPTT false"}));
    EXPECT_EQ(series->PTT.caption(), "PTT OFF");
    EXPECT_EQ(series->BeaconSeconds8.text(), "30");
    EXPECT_TRUE(series->Timer3.enabled());
    // A hundred ticks of the break timer, a second on this platform.
    rt.advance(800);
    EXPECT_EQ(count("SetPTT true"), 1);
    rt.advance(300);
    EXPECT_EQ(only({"stop", "run", "SetPTT"}),
              (Events{"SetPTT true", "run", "stop", "SetPTT false", "run", "SetPTT true"}));
    EXPECT_EQ(series->PTT.caption(), "PTT ON");
    EXPECT_EQ(series->Label18.text(), "100");
    // The play position stood still during the break.
    EXPECT_EQ(series->Text2.text(), "00:00:30");
    // A second break, then the end of the file stops the countdown and reloads it.
    rt.advance(45000);
    EXPECT_EQ(count("stop"), 2);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_FALSE(series->Beacon8.enabled());
    EXPECT_EQ(series->BeaconSeconds8.text(), "30");
}

// A break that starts as the file's whole seconds run out: the file has ended during the break, and
// the break's end keys nothing again.
TEST_F(SeriesTest, AFileThatEndsDuringABreakIsNotKeyedAgain) {
    addFile("Edge.mp3", 30.5);
    writeIni("TXTFILE=C:\\Edge.mp3\nSTOPCLOCK8=1\nBEACONPERIOD8=0.5\nTEXT6=100\n");
    start();
    series->Command3.click();
    rt.advance(30100);
    ASSERT_TRUE(series->Timer3.enabled()) << "the break has started";
    rt.advance(3000);
    EXPECT_EQ(count("SetPTT true"), 1);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_EQ(series->PTT.caption(), "PTT OFF");
}

TEST_F(SeriesTest, StopDuringABreakKeepsTheFileOffAir) {
    addFile("Long.mp3", 70);
    writeIni(kBreaks);
    start();
    series->Command3.click();
    rt.advance(30200);
    ASSERT_TRUE(series->Timer3.enabled());
    series->Command2.click();
    events.clear();
    rt.advance(5000);
    EXPECT_EQ(count("SetPTT true"), 0);
    EXPECT_EQ(count("run"), 0);
    EXPECT_FALSE(series->Beacon8.enabled());
    EXPECT_FALSE(series->Timer3.enabled());
    EXPECT_EQ(series->BeaconSeconds8.text(), "30");
    EXPECT_EQ(series->Label18.text(), "100");
}

struct BreakCountCase {
    const char* name;
    const char* period;
    const char* length;
    int msToBreak;  // after the key-up
    int msOfBreak;
};

class BreakCounts : public SeriesTest, public ::testing::WithParamInterface<BreakCountCase> {};

// Every count ends: fractional periods still start their break, a length of 0 ends at once.
TEST_P(BreakCounts, StartAndEndTheirBreak) {
    const BreakCountCase& c = GetParam();
    addFile("Long.mp3", 600);
    writeIni(std::string("TXTFILE=C:\\Long.mp3\nSTOPCLOCK8=1\nBEACONPERIOD8=") + c.period + "\nTEXT6=" + c.length + "\n");
    start();
    series->Command3.click();
    rt.advance(c.msToBreak + 50);
    ASSERT_EQ(count("stop"), 1);
    rt.advance(c.msOfBreak);
    EXPECT_EQ(count("SetPTT true"), 2);
}

INSTANTIATE_TEST_SUITE_P(Series, BreakCounts,
                         ::testing::Values(BreakCountCase{"FractionalSeconds", "0.01", "100", 1000, 1000},
                                           BreakCountCase{"DefaultPeriod", "2.5", "100", 150000, 1000},
                                           BreakCountCase{"ZeroLength", "1", "0", 60000, 10},
                                           BreakCountCase{"EmptiedLength", "1", "", 60000, 10}),
                         [](const ::testing::TestParamInfo<BreakCountCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(SeriesTest, UseUntickedDuringABreakHoldsTheBreakUntilTickedAgain) {
    addFile("Long.mp3", 600);
    writeIni(kBreaks);
    start();
    series->Command3.click();
    rt.advance(30200);
    series->StopClock8.setValue(0);
    rt.advance(5000);
    EXPECT_EQ(count("SetPTT true"), 1);
    EXPECT_TRUE(series->Timer3.enabled());
    series->StopClock8.setValue(1);
    rt.advance(1100);
    EXPECT_EQ(count("SetPTT true"), 2);
}

TEST_F(SeriesTest, EditingTheBreakBoxesStartsNothingButRestartsARunningCountdown) {
    addFile("Long.mp3", 600);
    writeIni(kBreaks);
    start();
    series->BeaconPeriod8.type("3");
    series->Text6.type("50");
    EXPECT_FALSE(series->Beacon8.enabled());
    EXPECT_FALSE(series->Timer3.enabled());
    EXPECT_EQ(series->BeaconSeconds8.text(), "180");
    EXPECT_EQ(series->Label18.text(), "50");

    series->Command3.click();
    rt.advance(100000);
    series->BeaconPeriod8.type("1");
    rt.advance(59900);
    EXPECT_EQ(count("stop"), 0);
    rt.advance(200);
    EXPECT_EQ(count("stop"), 1);
}

TEST_F(SeriesTest, AFileStartedWithoutBreaksGetsNoneWhenUseIsTickedLater) {
    addFile("Long.mp3", 600);
    writeIni("TXTFILE=C:\\Long.mp3\nBEACONPERIOD8=0.5\n");
    start();
    series->Command3.click();
    series->StopClock8.setValue(1);
    rt.advance(120000);
    EXPECT_EQ(count("stop"), 0);
    series->Command3.click();
    rt.advance(30100);
    EXPECT_EQ(count("stop"), 1);
}

}  // namespace
}  // namespace tarnwick::test
