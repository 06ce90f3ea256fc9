// The series player's transmit path: the host calls of play, end, Stop and Resume, the idle release
// and its suppression, failed loads, the File button, start-up settings, saving and closing.

#include "series/series_fixture.h"

namespace tarnwick::test {
namespace {

const Events kKeyedPlay = {"render 1.mp3", "SetPTT true", "run", "position 0"};

TEST_F(SeriesTest, PlayDisconnectsMarksBusyKeysAndStartsTheFanBeforeTheFileRuns) {
    writeIni("DISCONNECTALL=1\nLISTASBUSYCHECK=1\nTXTFILE=C:\\1.mp3\n");
    speech.FanCTRL.setValue(1);
    speech.FanPeriod.setText("3");
    start();
    series->Command3.click();
    Events expected = {"DisconnectAllStations", "SetBusy true"};
    expected.insert(expected.end(), kKeyedPlay.begin(), kKeyedPlay.end());
    EXPECT_EQ(events, expected);
    EXPECT_EQ(series->PTT.caption(), "PTT ON");
    EXPECT_EQ(series->Text3.text(), "00:01:00");
    EXPECT_EQ(series->Text2.text(), "00:00:00");
    EXPECT_EQ(series->H1.max(), 60);
    EXPECT_TRUE(speech.Fan.enabled());
    EXPECT_EQ(speech.FanSeconds.text(), "180");
    // "Play" leaves the series where it was.
    EXPECT_EQ(series->FileNumber.text(), "1");
    // Without those options the file goes on air without the node calls, and without the fan.
    speech.Fan.setEnabled(false);
    speech.FanCTRL.setValue(0);
    series->DisconnectAll.setValue(0);
    series->ListAsBusyCheck.setValue(0);
    events.clear();
    series->Command3.click();
    EXPECT_EQ(only({"Disconnect", "SetBusy", "render", "SetPTT", "run", "position"}), kKeyedPlay);
    EXPECT_FALSE(speech.Fan.enabled());
}

TEST_F(SeriesTest, TheFileIsReleasedWhenItsWholeSecondsHavePlayedWhileTheAudioPlaysOn) {
    addFile("Talk.mp3", 5.7);
    writeIni("TXTFILE=C:\\Talk.mp3\nLISTASBUSYCHECK=1\n");
    start();
    series->Command3.click();
    EXPECT_EQ(series->Text3.text(), "00:00:05");
    EXPECT_EQ(series->H1.max(), 6) << "the bar's length is rounded, the times are cut";
    rt.advance(4950);
    EXPECT_EQ(count("SetPTT false"), 0);
    EXPECT_EQ(series->PTT.caption(), "PTT ON");
    EXPECT_EQ(series->PTT.foreColour(), kRed);
    rt.advance(100);
    EXPECT_GE(count("SetPTT false"), 1);
    EXPECT_GE(count("SetBusy false"), 1);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_FALSE(host.state().busy());
    EXPECT_EQ(series->PTT.caption(), "PTT OFF");
    // The last 0.7 seconds still play: the release neither stops nor lets go of the file.
    EXPECT_TRUE(only({"stop", "release"}).empty());
    EXPECT_EQ(series->Text1.text(), "00:00:00");
}

TEST_F(SeriesTest, IdleReleaseRunsEveryTenthOfASecondWhoeverKeyedUntilTheNewsPlayerTakesTheLengthBox) {
    start();
    // A key from outside the program, which no tool of it holds, is released.
    host.state().call("EchoLink", "SetPTT", {true});
    host.state().call("EchoLink", "SetBusy", {true});
    rt.advance(1050);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_FALSE(host.state().busy());
    // Ten from the transmitter monitor, one more from the clock; the clock leaves the busy flag alone.
    EXPECT_EQ(count("SetPTT false"), 11);
    EXPECT_EQ(count("SetBusy false"), 10);
    EXPECT_EQ(series->PTT.caption(), "PTT OFF");
    EXPECT_EQ(series->PTT.foreColour(), kGreen);

    // Another tool's transmission and busy flag under way are left alone: the release touches the
    // host only for what no other tool holds, and the indicator shows the transmission.
    HostLink other(hub, "Form4");
    other.SetPTT(true);
    other.SetBusy(true);
    events.clear();
    rt.advance(2000);
    EXPECT_TRUE(host.state().ptt());
    EXPECT_TRUE(host.state().busy());
    EXPECT_TRUE(events.empty()) << ::testing::PrintToString(events);
    EXPECT_EQ(series->PTT.caption(), "PTT ON");
    other.SetPTT(false);
    other.SetBusy(false);
    rt.advance(100);
    EXPECT_EQ(series->PTT.caption(), "PTT OFF");

    quietIdle();
    events.clear();
    other.SetPTT(true);
    rt.advance(2000);
    EXPECT_TRUE(events.empty()) << ::testing::PrintToString(events);
    EXPECT_TRUE(host.state().ptt());
    // The indicator mirrors whoever keyed: red while keyed, dark green once released.
    EXPECT_EQ(series->PTT.caption(), "PTT ON");
    EXPECT_EQ(series->PTT.foreColour(), kRed);
    other.SetPTT(false);
    rt.advance(100);
    EXPECT_EQ(series->PTT.caption(), "PTT OFF");
    EXPECT_EQ(series->PTT.foreColour(), Form12::kDarkGreen);
}

TEST_F(SeriesTest, AFileShorterThanASecondIsReleasedAtTheNextMonitorTick) {
    addFile("Blip.wav", 0.5);
    writeIni("TXTFILE=C:\\Blip.wav\n");
    start();
    series->Command3.click();
    EXPECT_EQ(series->Text3.text(), "00:00:00");
    rt.advance(100);
    EXPECT_EQ(only({"SetPTT"}), (Events{"SetPTT true", "SetPTT false"}));
}

TEST_F(SeriesTest, StopUnkeysAndClearsBusyAtOnceAndResumePlaysOnFromThere) {
    writeIni("TXTFILE=C:\\1.mp3\n");
    start();
    series->Command3.click();
    rt.advance(10000);
    events.clear();
    series->Command2.click();
    EXPECT_EQ(events, (Events{"stop", "SetPTT false", "SetBusy false"}));
    rt.advance(100);
    EXPECT_EQ(series->PTT.caption(), "PTT OFF");
    rt.advance(5000);
    EXPECT_EQ(events.size(), 3u) << "a stopped file is no file's end";
    EXPECT_EQ(series->Text2.text(), "00:00:10");

    events.clear();
    series->Command5.click();
    // Busy although "Show As Busy" is not ticked.
    EXPECT_EQ(events, (Events{"SetPTT true", "SetBusy true", "run"}));
    EXPECT_TRUE(host.state().busy());
    rt.advance(49900);
    EXPECT_EQ(count("SetPTT false"), 0);
    rt.advance(200);
    EXPECT_GE(count("SetPTT false"), 1);
    EXPECT_FALSE(host.state().busy());
}

TEST_F(SeriesTest, DraggingThePositionBarSeeksAndTheTimesFollow) {
    writeIni("TXTFILE=C:\\1.mp3\n");
    start();
    series->Command3.click();
    rt.advance(5000);
    events.clear();
    series->H1.scroll(30);
    rt.advance(20);
    EXPECT_EQ(events, Events{"position 30"});
    EXPECT_EQ(series->Text2.text(), "00:00:30");
    EXPECT_EQ(series->Text1.text(), "00:00:29");
    // The monitor moving the bar seeks nothing.
    rt.advance(2000);
    EXPECT_EQ(count("position 30"), 1);
    EXPECT_EQ(only({"position"}).size(), 1u);
}

TEST_F(SeriesTest, ThePositionBarTakesAFileOfAnyLength) {
    // Longer than a 16-bit bar holds and than the news player's limit.
    addFile("Long.mp3", 43200);
    writeIni("TXTFILE=C:\\Long.mp3\n");
    start();
    series->Command3.click();
    EXPECT_EQ(series->PTT.caption(), "PTT ON");
    EXPECT_EQ(series->Text3.text(), "12:00:00");
    EXPECT_EQ(series->H1.max(), 43200);
    rt.advance(40000);
    EXPECT_EQ(series->H1.value(), 40);
}

class ShortPlayback : public SeriesTest, public ::testing::WithParamInterface<bool> {};

// A stream error, or a stream that ends cleanly before its stated length, ends the transmission.
TEST_P(ShortPlayback, EndsTheTransmission) {
    writeIni("TXTFILE=C:\\1.mp3\n");
    start();
    series->Command3.click();
    (GetParam() ? media().failAfter : media().endAfter) = 20;
    rt.advance(20100);
    EXPECT_EQ(series->Text2.text(), "00:01:00");
    EXPECT_FALSE(host.state().ptt());
}

INSTANTIATE_TEST_SUITE_P(SeriesTest, ShortPlayback, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "StreamError" : "EarlyEnd"; });

TEST_F(SeriesTest, WhenTheNewsPlayerHasTheLengthBoxTheSeriesFileReleasesItselfAtItsEnd) {
    writeIni("TXTFILE=C:\\1.mp3\nLISTASBUSYCHECK=1\n");
    start();
    series->Command3.click();
    rt.advance(5000);
    // The news player goes on air meanwhile.
    quietIdle();
    rt.advance(55500);
    EXPECT_EQ(only({"SetPTT", "SetBusy"}), (Events{"SetBusy true", "SetPTT true", "SetPTT false", "SetBusy false"}));
    EXPECT_FALSE(host.state().ptt());
    // The time box keeps a time, so the news player's next transmission stays clear of the release.
    EXPECT_NE(series->Text2.text(), series->Text3.text());
    events.clear();
    rt.advance(3000);
    EXPECT_TRUE(events.empty()) << ::testing::PrintToString(events);
}

struct FailedLoadCase {
    const char* name;
    const char* ini;
    const char* box;
    MsgIcon icon;
};

class FailedLoads : public SeriesTest, public ::testing::WithParamInterface<FailedLoadCase> {};

TEST_P(FailedLoads, KeyNothingAndTakeBackTheBusyFlag) {
    addFile("Broken.mp3", 60);
    durations.erase("Broken.mp3");
    writeIni(std::string("LISTASBUSYCHECK=1\nSTOPCLOCK8=1\n") + GetParam().ini);
    speech.FanCTRL.setValue(1);
    startTicked();
    quietIdle();
    series->kellow();
    EXPECT_EQ(only({"SetBusy", "SetPTT", "run"}), (Events{"SetBusy true", "SetBusy false"}));
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].title, "Error");
    EXPECT_EQ(rt.boxes[0].text, GetParam().box);
    EXPECT_EQ(rt.boxes[0].icon, GetParam().icon);
    EXPECT_EQ(dialogs, 0);
    EXPECT_NE(series->PTT.caption(), "PTT ON");
    EXPECT_FALSE(series->Beacon8.enabled());
    EXPECT_FALSE(speech.Fan.enabled());
    // The series has moved on all the same.
    EXPECT_EQ(series->FileNumber.text(), "21");
    rt.advance(2000);
    EXPECT_EQ(count("SetPTT true"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Series, FailedLoads,
    ::testing::Values(
        FailedLoadCase{"MissingFile", "STARTNO=20\nENDNO=30\n", "Please select a file", MsgIcon::Information},
        FailedLoadCase{"EmptyPathFromATrigger", "STARTNO=20\nENDNO=30\nMP3=0\nWAV=0\n", "Please select a file",
                       MsgIcon::Information},
        FailedLoadCase{"UnrenderableFile", "STARTNO=20\nENDNO=30\nMP3=0\nWAV=0\nTXTFILE=C:\\Broken.mp3\n",
                       "Render error no rendering device found", MsgIcon::Exclamation}),
    [](const ::testing::TestParamInfo<FailedLoadCase>& info) { return std::string(info.param.name); });

// A ten-hour file keyed at 10:15; the 10:16 step finds its file missing. The busy flag the file on air
// was listed with stays up; one that only the failed step raised goes down again.
class FailedStepOnAir : public SeriesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FailedStepOnAir, TakesBackOnlyABusyFlagTheFileOnAirDoesNotNeed) {
    const bool listedBusy = GetParam();
    durations["1.mp3"] = 36000;
    std::filesystem::remove(dir + "/drives/c/2.mp3");
    writeIni(std::string("STARTNO=1\nENDNO=9\nINFOQUARTER=1\nMON=1\nHOUR=10\nMINS=16\n") +
             (listedBusy ? "LISTASBUSYCHECK=1\n" : ""));
    rt.setLocalTime(2026, 12, 7, 10, 14, 0);
    start();
    runTo(10, 15, 30);
    ASSERT_TRUE(host.state().ptt());
    ASSERT_EQ(host.state().busy(), listedBusy);
    series->ListAsBusyCheck.setValue(1);
    runTo(10, 16, 30);
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].text, "Please select a file");
    EXPECT_TRUE(host.state().ptt()) << "the file plays on";
    EXPECT_EQ(host.state().busy(), listedBusy);
    rt.advance(60000);
    EXPECT_EQ(host.state().busy(), listedBusy);
}

INSTANTIATE_TEST_SUITE_P(Series, FailedStepOnAir, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "FileListedBusy" : "FileNotListedBusy"; });

TEST_F(SeriesTest, AFileThatCannotBeRenderedDuringATransmissionEndsIt) {
    addFile("Broken.mp3", 60);
    durations.erase("Broken.mp3");
    writeIni("STARTNO=1\nENDNO=9\n");
    startTicked();
    series->kellow();
    rt.advance(3000);
    series->txtFile.setText("C:\\Broken.mp3");
    series->Command3.click();
    rt.advance(100);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_EQ(series->Text2.text(), series->Text3.text());
}

TEST_F(SeriesTest, FileLoadsAndShowsTheLengthWithoutKeyingAndPlaySendsIt) {
    writeIni("TXTFILE=C:\\1.mp3\n");
    start();
    dialogAnswer = "";
    series->Command4.click();
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].text, "Please select a file");
    EXPECT_EQ(series->txtFile.text(), "C:\\1.mp3");

    dialogAnswer = dir + "/drives/c/4.mp3";
    series->Command4.click();
    rt.advance(50);
    EXPECT_EQ(series->txtFile.text(), dialogAnswer);
    EXPECT_EQ(series->Text3.text(), "00:01:00");
    EXPECT_EQ(series->Text1.text(), "00:01:00");
    EXPECT_EQ(count("SetPTT true"), 0);
    events.clear();
    series->Command3.click();
    EXPECT_EQ(played(), Events{"4.mp3"});
    EXPECT_EQ(series->FileNumber.text(), "1");

    // A file chosen while one is on air is the one the next Play sends.
    dialogAnswer = dir + "/drives/c/5.mp3";
    events.clear();
    series->Command4.click();
    EXPECT_TRUE(only({"render", "release", "stop"}).empty());
    EXPECT_TRUE(host.state().ptt());
}

TEST_F(SeriesTest, PlayWithAnEmptyPathAsksForAFile) {
    writeIni("TXTFILE=\n");
    start();
    dialogAnswer = dir + "/drives/c/2.mp3";
    series->Command3.click();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(played(), Events{"2.mp3"});
}

TEST_F(SeriesTest, ClosingReleasesTheTransmitterAndTheBusyFlag) {
    writeIni("TXTFILE=C:\\1.mp3\nLISTASBUSYCHECK=1\n");
    start();
    series->Command3.click();
    events.clear();
    raise("closing");
    EXPECT_EQ(only({"SetPTT", "SetBusy"}), (Events{"SetPTT false", "SetBusy false"}));
    EXPECT_FALSE(host.state().ptt());
    EXPECT_FALSE(host.state().busy());
    EXPECT_TRUE(rt.processEnded());
}

TEST_F(SeriesTest, ClosingTheWindowReleasesAndEndsTheProgramWithoutSaving) {
    writeIni("TXTFILE=C:\\1.mp3\nLISTASBUSYCHECK=1\n");
    start();
    series->Command3.click();
    series->StartNo.setText("7");
    events.clear();
    ASSERT_TRUE(series->onCloseRequest());
    // The program's exit path stops the file on air too.
    EXPECT_EQ(events, (Events{"SetPTT false", "SetBusy false", "release"}));
    EXPECT_TRUE(rt.processEnded());
    EXPECT_TRUE(rt.boxes.empty());
    EXPECT_EQ(readIni().find("STARTNO=7"), std::string::npos);
}

TEST_F(SeriesTest, SettingsAreReadAndWrittenInTheirOrder) {
    writeIni("startno=3\nENDNO=5x\nMP3=0\nWAV=1\nCHECK1=1\nMYDIR=D:\\Series\\\nextra=kept\n");
    start();
    EXPECT_EQ(series->StartNo.text(), "3");
    EXPECT_EQ(series->FileNumber.text(), "3");
    EXPECT_EQ(series->EndNo.text(), "5x");
    EXPECT_TRUE(series->wav.value());
    EXPECT_FALSE(series->mp3.value());
    // The start-up's counts follow the boxes.
    EXPECT_EQ(series->BeaconSeconds7.text(), "900");
    EXPECT_EQ(series->BeaconSeconds8.text(), "150");
    EXPECT_EQ(series->Label18.text(), "100");
    EXPECT_TRUE(series->Beacon7.enabled());
    EXPECT_FALSE(series->Beacon8.enabled());
    EXPECT_EQ(series->windowCaption(), "Tarnwick    N0CALL-L   v7.2.1    Series Audio File Player");

    ASSERT_TRUE(series->SaveData());
    EXPECT_EQ(readIni(),
              "[SETTINGS]\nSTARTNO=3\nENDNO=5x\nMP3=False\nWAV=True\nCHECK1=1\nMYDIR=D:\\Series\\\nextra=kept\n"
              "TXTFILE=\nINFOHOURLY=0\nINFOQUARTER=0\nINFOHALF=0\nSUN=0\nMON=0\nTUE=0\nWED=0\nTHUR=0\nFRI=0\nSAT=0\n"
              "HOUR=24\nMINS=00\nTEXT11=24\nTEXT12=00\nDISCONNECTALL=0\nLISTASBUSYCHECK=0\nLOOPFILES=0\nTEXT6=100\n"
              "BEACONPERIOD8=2.5\nSTOPCLOCK8=0\nCWCALLSIGN=No Call\nBEACONPERIOD7=15\nSTOPCLOCK7=0\n");
}

TEST_F(SeriesTest, FreshSettingsAreWrittenWholeInTheirOrder) {
    start();
    ASSERT_TRUE(series->SaveData());
    EXPECT_EQ(readIni(),
              "[SETTINGS]\nSTARTNO=1\nENDNO=1\nTXTFILE=\nINFOHOURLY=0\nINFOQUARTER=0\nINFOHALF=0\nSUN=0\nMON=0\n"
              "TUE=0\nWED=0\nTHUR=0\nFRI=0\nSAT=0\nHOUR=24\nMINS=00\nTEXT11=24\nTEXT12=00\nDISCONNECTALL=0\n"
              "LISTASBUSYCHECK=0\nLOOPFILES=0\nMYDIR=C:\\\nTEXT6=100\nBEACONPERIOD8=2.5\nSTOPCLOCK8=0\n"
              "CWCALLSIGN=No Call\nBEACONPERIOD7=15\nSTOPCLOCK7=0\nCHECK1=0\nMP3=True\nWAV=False\n");
}

// A host that refuses one kind of call never stops the player's other steps.
class RefusedCalls : public SeriesTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedCalls, ArePassedOverAndTheRestGoesOn) {
    writeIni("STARTNO=1\nENDNO=9\nDISCONNECTALL=1\nLISTASBUSYCHECK=1\nSTOPCLOCK7=1\nBEACONPERIOD7=1\nSTOPCLOCK8=1\n"
             "BEACONPERIOD8=0.25\n");
    durations["1.mp3"] = 30;
    transport.failOp = GetParam();
    startTicked();
    series->kellow();
    rt.advance(61000);
    series->Command2.click();
    series->Command5.click();
    series->SendCW.click();
    rt.advance(1000);
    EXPECT_EQ(series->Playing.text(), "1");
    EXPECT_FALSE(rt.processEnded());
    EXPECT_FALSE(host.state().ptt());
}

INSTANTIATE_TEST_SUITE_P(Series, RefusedCalls,
                         ::testing::Values("SetPTT", "SetBusy", "IsTransmitting", "DisconnectAllStations",
                                           "IsCarrierDetected", "SendCWText"));

}  // namespace
}  // namespace tarnwick::test
