// Courtesy CW letters with the anti-kerchunk test, and the transmitter fan.

#include "speech_fixture.h"

namespace tarnwick::test {
namespace {

class CourtesyTest : public SpeechTest {
protected:
    void SetUp() override {
        start();
        form3.Timer4.setEnabled(false);
        // Let the start-up's own anti-kerchunk tick pass.
        rt.advance(5000);
        host.state().clearLog();
    }
    std::vector<std::string> letters() const { return textCalls("SendCWText"); }
};

TEST_F(CourtesyTest, KerchunkEarnsNoLetter) {
    raise("carrier", {"1"});
    rt.advance(1000);
    raise("carrier", {"0"});
    rt.advance(10000);
    EXPECT_TRUE(letters().empty());
    EXPECT_EQ(form3.OK2Kerchunk.caption(), "No");
}

TEST_F(CourtesyTest, LongOverEarnsTheRfLetterAfterTheCarrierDrops) {
    raise("carrier", {"1"});
    EXPECT_EQ(form3.InUse, 1);
    rt.advance(2900);
    EXPECT_EQ(form3.OK2Kerchunk.caption(), "No");
    rt.advance(200);
    EXPECT_EQ(form3.OK2Kerchunk.caption(), "Yes");
    rt.advance(7000);
    EXPECT_TRUE(letters().empty());
    raise("carrier", {"0"});
    EXPECT_EQ(form3.InUse, 0);
    rt.advance(510);
    EXPECT_EQ(letters(), std::vector<std::string>{"K"});
    EXPECT_EQ(form3.OK2Kerchunk.caption(), "No");
    rt.advance(10000);
    EXPECT_EQ(letters().size(), 1u);
}

TEST_F(CourtesyTest, InternetOverEarnsTheInternetLetterUnlessACarrierIsPresent) {
    form3.IPCourtesy.type("s");
    raise("rx", {"1"});
    EXPECT_EQ(form3.InUse, 1);
    raise("rx", {"0"});
    EXPECT_EQ(letters(), std::vector<std::string>{"S"});
    host.state().clearLog();
    raise("carrier", {"1"});
    raise("rx", {"1"});
    raise("rx", {"0"});
    EXPECT_TRUE(letters().empty());
}

TEST_F(CourtesyTest, SilenceModeHoldsLettersButNotTheInUseFlag) {
    form3.Check1.setValue(1);
    raise("rx", {"1"});
    EXPECT_EQ(form3.InUse, 1);
    raise("rx", {"0"});
    EXPECT_EQ(form3.InUse, 0);
    raise("carrier", {"1"});
    rt.advance(10000);
    raise("carrier", {"0"});
    rt.advance(10000);
    EXPECT_TRUE(letters().empty());
    // The letter that became due is sent once silence ends.
    raise("carrier", {"1"});
    rt.advance(4000);
    form3.Check1.setValue(0);
    rt.advance(4000);
    raise("carrier", {"0"});
    rt.advance(600);
    EXPECT_EQ(letters(), std::vector<std::string>{"K"});
}

TEST_F(CourtesyTest, EmptyHangTimeStopsRfLetters) {
    form3.HangTime.setText("");
    EXPECT_EQ(form3.HangTime.text(), "0");
    EXPECT_EQ(form3.KickBackCheck.interval(), 0);
    raise("carrier", {"1"});
    rt.advance(5000);
    EXPECT_EQ(form3.OK2Kerchunk.caption(), "Yes");
    raise("carrier", {"0"});
    rt.advance(10000);
    EXPECT_TRUE(letters().empty());
    form3.HangTime.setText("250");
    rt.advance(300);
    EXPECT_EQ(letters(), std::vector<std::string>{"K"});
}

class FanTest : public SpeechTest {
protected:
    void SetUp() override {
        start();
        host.state().clearLog();
    }
    HostLink other{hub, "Form1"};
};

TEST_F(FanTest, DefaultsRunTheFanDuringTransmissionAndAMinuteAfter) {
    other.SetPTT(true);
    rt.advance(100);
    EXPECT_EQ(form3.PTT.caption(), "PTT ON");
    EXPECT_EQ(form3.PTT.foreColour(), kOnAirRed);
    rt.advance(1000);
    EXPECT_TRUE(host.state().dtr());
    EXPECT_EQ(form3.FanOnOff.caption(), "Fan ON");
    rt.advance(30000);
    EXPECT_TRUE(host.state().dtr());
    other.SetPTT(false);
    rt.advance(200);
    EXPECT_EQ(form3.PTT.caption(), "PTT OFF");
    rt.advance(58000);
    EXPECT_TRUE(host.state().dtr());
    rt.advance(2000);
    EXPECT_FALSE(host.state().dtr());
    EXPECT_EQ(form3.FanSeconds.text(), "60");
    EXPECT_EQ(form3.FanOnOff.caption(), "Fan OFF");
    EXPECT_EQ(form3.FanOnOff.foreColour(), kFanOffMaroon);
    EXPECT_FALSE(form3.Fan.enabled());
    EXPECT_TRUE(host.state().calls("SetRTS").empty());
}

TEST_F(FanTest, StartDelayLeavesShortTransmissionsAlone) {
    form3.DelayCTRL.setValue(1);
    other.SetPTT(true);
    rt.advance(5000);
    other.SetPTT(false);
    rt.advance(20000);
    EXPECT_TRUE(host.state().calls("SetDTR").empty());

    other.SetPTT(true);
    rt.advance(10500);
    EXPECT_FALSE(host.state().dtr());
    rt.advance(1500);
    EXPECT_TRUE(host.state().dtr());
    other.SetPTT(false);
}

TEST_F(FanTest, FanControlOffHoldsTheCountAndTheLineDown) {
    other.SetPTT(true);
    rt.advance(500);
    other.SetPTT(false);
    rt.advance(10300);
    const std::string count = form3.FanSeconds.text();
    form3.FanCTRL.setValue(0);
    rt.advance(5000);
    EXPECT_FALSE(host.state().dtr());
    EXPECT_EQ(form3.FanOnOff.caption(), "Fan OFF");
    EXPECT_EQ(form3.FanSeconds.text(), count);
    form3.FanCTRL.setValue(1);
    rt.advance(1000);
    EXPECT_TRUE(host.state().dtr());
    EXPECT_EQ(form3.FanSeconds.text(), std::to_string(std::stoi(count) - 1));
}

TEST_F(FanTest, RtsLineAndLockedChoice) {
    rt.advance(1000);
    EXPECT_FALSE(form3.UseDTR.enabled());
    form3.FanCTRL.setValue(0);
    rt.advance(1000);
    EXPECT_TRUE(form3.UseRTS.enabled());
    form3.UseRTS.setValue(true);
    form3.FanCTRL.setValue(1);
    other.SetPTT(true);
    rt.advance(1500);
    other.SetPTT(false);
    EXPECT_TRUE(host.state().rts());
    rt.advance(62000);
    EXPECT_FALSE(host.state().rts());
    EXPECT_TRUE(host.state().calls("SetDTR").empty());
}

TEST_F(FanTest, EmptyingTheRunOnStopsTheFan) {
    // While the fan is idle, emptying the box touches no line.
    form3.FanPeriod.setText("");
    EXPECT_EQ(form3.FanPeriod.text(), "1");
    EXPECT_FALSE(form3.Fan.enabled());
    EXPECT_TRUE(host.state().calls("SetDTR").empty());

    other.SetPTT(true);
    rt.advance(1500);
    other.SetPTT(false);
    rt.advance(200);
    ASSERT_TRUE(host.state().dtr());
    form3.FanPeriod.setText("");
    EXPECT_EQ(form3.FanPeriod.text(), "1");
    EXPECT_FALSE(form3.Fan.enabled());
    EXPECT_EQ(form3.FanOnOff.caption(), "Fan OFF");
    EXPECT_FALSE(host.state().dtr());
    EXPECT_EQ(form3.FanSeconds.text(), "60");
}

TEST_F(FanTest, CountsStartingAtZeroStillEnd) {
    // A run-on of "00" minutes gives the fan a moment and then drops the line for good.
    form3.FanPeriod.setText("00");
    other.SetPTT(true);
    rt.advance(1500);
    other.SetPTT(false);
    rt.advance(3000);
    EXPECT_FALSE(form3.Fan.enabled());
    EXPECT_FALSE(host.state().dtr());
    EXPECT_EQ(form3.FanOnOff.caption(), "Fan OFF");

    // A start delay of "00" seconds ends at its first tick and starts the run-on.
    form3.FanPeriod.setText("1");
    form3.DelayCTRL.setValue(1);
    form3.DelayPeriod.setText("00");
    other.SetPTT(true);
    rt.advance(2500);
    EXPECT_TRUE(host.state().dtr());
    EXPECT_TRUE(form3.Fan.enabled());
    other.SetPTT(false);
}

TEST_F(SpeechTest, LoadingTheFanSettingsDoesNotStartTheFan) {
    writeIni("brightcalltts.ini", "FANPERIOD=2\nFANCTRL=1\nDELAYPERIOD=5\nDELAYCTRL=1\n");
    start();
    EXPECT_EQ(form3.FanSeconds.text(), "120");
    EXPECT_EQ(form3.DelaySeconds.text(), "5");
    rt.advance(10000);
    EXPECT_FALSE(form3.Fan.enabled());
    EXPECT_FALSE(form3.FanDelay.enabled());
    for (const auto& e : host.state().calls("SetDTR")) EXPECT_FALSE(std::get<bool>(e.args.at(0)));
    // Before the fan has ever run, its state reads as it does after every run.
    EXPECT_EQ(form3.FanOnOff.caption(), "Fan OFF");
    EXPECT_EQ(form3.FanOnOff.foreColour(), kFanOffMaroon);
}

TEST_F(FanTest, SpeechKeysTheFanAndDropsTheLineWhenDone) {
    form3.Timer4.setEnabled(false);
    form3.SayTheText = std::string("fan test");
    form3.SpeakTheText();
    EXPECT_TRUE(form3.Fan.enabled());
    EXPECT_FALSE(host.state().dtr());
    rt.advance(1000);
    EXPECT_TRUE(host.state().dtr());
}

}  // namespace
}  // namespace tarnwick::test
