// The series rotation and its triggers: which file each step puts on air, when the series ends or
// loops, and at which seconds the quarter-hour and weekly triggers step.

#include "series/series_fixture.h"

namespace tarnwick::test {
namespace {

struct RotationCase {
    const char* name;
    const char* ini;
    int steps;
    Events played;
    const char* label2;
    const char* nextFile;
};

class RotationTable : public SeriesTest, public ::testing::WithParamInterface<RotationCase> {};

TEST_P(RotationTable, StepsPlayTheSeriesInTurn) {
    const RotationCase& c = GetParam();
    addFile("05.mp3", 60);
    addFile("3.wav", 60);
    addFile("Fixed.mp3", 60);
    addFile("Series7.mp3", 60);
    writeIni(c.ini);
    startTicked();
    for (int i = 0; i < c.steps; ++i) series->kellow();
    EXPECT_EQ(played(), c.played);
    EXPECT_EQ(series->Label2.text(), c.label2);
    EXPECT_EQ(series->FileNumber.text(), c.nextFile);
}

INSTANTIATE_TEST_SUITE_P(
    Series, RotationTable,
    ::testing::Values(
        RotationCase{"StopsOneStepAfterTheLastFile", "STARTNO=3\nENDNO=5\n", 6, {"3.mp3", "4.mp3", "5.mp3"},
                     "NO MORE FILES", "End"},
        RotationCase{"LoopsBackToTheStart", "STARTNO=3\nENDNO=5\nLOOPFILES=1\n", 7,
                     {"3.mp3", "4.mp3", "5.mp3", "3.mp3", "4.mp3", "5.mp3", "3.mp3"}, "Files Ready", "4"},
        RotationCase{"NumberAsTypedNamesTheFirstFile", "STARTNO=05\nENDNO=7\n", 4, {"05.mp3", "6.mp3", "7.mp3"},
                     "NO MORE FILES", "End"},
        RotationCase{"StartJustPastTheEndEndsAtOnceEvenLooping", "STARTNO=6\nENDNO=5\nLOOPFILES=1\n", 2, {},
                     "NO MORE FILES", "End"},
        RotationCase{"StartAboveTheEndRunsOnUpwards", "STARTNO=8\nENDNO=5\n", 2, {"8.mp3", "9.mp3"}, "Files Ready",
                     "10"},
        RotationCase{"WavChosen", "STARTNO=3\nENDNO=3\nMP3=False\nWAV=1\n", 1, {"3.wav"}, "Files Ready", "4"},
        RotationCase{"NeitherExtensionKeepsThePathInTheBox",
                     "STARTNO=1\nENDNO=2\nMP3=0\nWAV=False\nTXTFILE=C:\\Fixed.mp3\n", 2, {"Fixed.mp3", "Fixed.mp3"},
                     "Files Ready", "3"},
        RotationCase{"FolderWithoutBackslashRunsIntoTheNumber", "STARTNO=7\nENDNO=7\nMYDIR=C:\\Series\n", 1,
                     {"Series7.mp3"}, "Files Ready", "8"}),
    [](const ::testing::TestParamInfo<RotationCase>& info) { return std::string(info.param.name); });

TEST_F(SeriesTest, SetStartFileRewindsAnEndedSeriesWhileTheLabelStays) {
    writeIni("STARTNO=3\nENDNO=4\n");
    startTicked();
    for (int i = 0; i < 4; ++i) series->kellow();
    ASSERT_EQ(series->FileNumber.text(), "End");
    EXPECT_EQ(series->Playing.text(), "4");
    series->Command7.click();
    EXPECT_EQ(series->FileNumber.text(), "3");
    events.clear();
    series->Command8.click();
    EXPECT_EQ(played(), Events{"3.mp3"});
    EXPECT_EQ(series->txtFile.text(), "C:\\3.mp3");
    EXPECT_EQ(series->Playing.text(), "3");
    EXPECT_EQ(series->Label2.text(), "NO MORE FILES");
}

TEST_F(SeriesTest, NumbersThatAreNoNumbersEndTheStepWithoutTransmitting) {
    writeIni("STARTNO=x1\nENDNO=2\nLOOPFILES=1\n");
    // Before the clock's first tick the end number is still "X".
    start();
    series->FileNumber.setText("1");
    series->kellow();
    EXPECT_TRUE(played().empty());
    EXPECT_EQ(series->FileNumber.text(), "1");

    rt.advance(1100);
    series->FileNumber.setText("abc");
    series->kellow();
    EXPECT_EQ(series->FileNumber.text(), "abc");
    // The loop rule brings in a start that is no number.
    series->FileNumber.setText("3");
    series->kellow();
    EXPECT_EQ(series->FileNumber.text(), "x1");
    EXPECT_EQ(count("SetPTT true"), 0) << ::testing::PrintToString(events);
    EXPECT_EQ(only({"render"}).size(), 0u);
}

TEST_F(SeriesTest, AnEndNumberEditedWithinTheSecondTakesEffectAtTheNextTick) {
    writeIni("STARTNO=1\nENDNO=1\n");
    startTicked();
    series->EndNo.setText("2");
    series->kellow();
    series->kellow();
    EXPECT_EQ(played(), Events{"1.mp3"});
    EXPECT_EQ(series->FileNumber.text(), "End");
    rt.advance(1000);
    EXPECT_EQ(series->EndNox.text(), "2");
}

TEST_F(SeriesTest, AStepWithDisconnectAllAndShowAsBusyDropsTheStationsThenListsBusyThenKeys) {
    writeIni("STARTNO=1\nENDNO=5\nDISCONNECTALL=1\nLISTASBUSYCHECK=1\n");
    startTicked();
    series->kellow();
    EXPECT_EQ(only({"DisconnectAllStations", "SetBusy", "SetPTT"}),
              (Events{"DisconnectAllStations", "SetBusy true", "SetPTT true"}));
}

TEST_F(SeriesTest, StepsDuringATransmissionReplaceTheFileAtOnce) {
    writeIni("STARTNO=1\nENDNO=5\n");
    startTicked();
    series->kellow();
    rt.advance(5000);
    events.clear();
    series->kellow();
    EXPECT_EQ(only({"release", "render", "SetPTT true", "run", "position"}),
              (Events{"release", "render 2.mp3", "SetPTT true", "run", "position 0"}));
    EXPECT_EQ(series->Text2.text(), "00:00:00");
}

// ---- Triggers ----

struct QuarterCase {
    const char* name;
    const char* ini;
    std::vector<std::string> keyed;
};

class QuarterTriggers : public SeriesTest, public ::testing::WithParamInterface<QuarterCase> {};

TEST_P(QuarterTriggers, StepAtSecondFifteenOfTheirMinutes) {
    for (int n = 1; n <= 9; ++n) durations[std::to_string(n) + ".mp3"] = 1;
    writeIni(std::string("STARTNO=1\nENDNO=9\n") + GetParam().ini);
    rt.setLocalTime(2026, 12, 7, 9, 59, 0);
    start();
    runTo(11, 0, 20);
    EXPECT_EQ(transport.keyedAt, GetParam().keyed);
}

INSTANTIATE_TEST_SUITE_P(
    Series, QuarterTriggers,
    ::testing::Values(QuarterCase{"OnTheHour", "INFOHOURLY=1\n", {"Mon 10:00:15", "Mon 11:00:15"}},
                      QuarterCase{"Quarter", "INFOQUARTER=1\n", {"Mon 10:15:15", "Mon 10:45:15"}},
                      QuarterCase{"Half", "INFOHALF=1\n", {"Mon 10:30:15"}},
                      QuarterCase{"AllThree", "INFOHOURLY=1\nINFOQUARTER=1\nINFOHALF=1\n",
                                  {"Mon 10:00:15", "Mon 10:15:15", "Mon 10:30:15", "Mon 10:45:15", "Mon 11:00:15"}},
                      QuarterCase{"None", "", {}}),
    [](const ::testing::TestParamInfo<QuarterCase>& info) { return std::string(info.param.name); });

struct WeeklyCase {
    const char* name;
    const char* ini;
    std::vector<std::string> keyed;
};

class WeeklyTriggers : public SeriesTest, public ::testing::WithParamInterface<WeeklyCase> {};

// From Monday 20:14 to Tuesday 20:16.
TEST_P(WeeklyTriggers, StepOnTickedDaysAtTheTimesAsTyped) {
    for (int n = 1; n <= 9; ++n) durations[std::to_string(n) + ".mp3"] = 1;
    writeIni(std::string("STARTNO=1\nENDNO=9\n") + GetParam().ini);
    rt.setLocalTime(2026, 12, 7, 20, 14, 0);
    start();
    // Only the triggers are looked at here.
    series->TimerPTT.setEnabled(false);
    runTo(20, 16, 0, 3);
    EXPECT_EQ(transport.keyedAt, GetParam().keyed);
}

INSTANTIATE_TEST_SUITE_P(
    Series, WeeklyTriggers,
    ::testing::Values(WeeklyCase{"MondayOnly", "MON=1\nHOUR=20\nMINS=15\n", {"Mon 20:15:15"}},
                      WeeklyCase{"TuesdayOnly", "TUE=1\nHOUR=20\nMINS=15\n", {"Tue 20:15:15"}},
                      WeeklyCase{"SecondTime", "TUE=1\nTEXT11=07\nTEXT12=05\n", {"Tue 07:05:15"}},
                      WeeklyCase{"OneDigitHourNeverMatches", "TUE=1\nHOUR=9\nMINS=30\n", {}},
                      WeeklyCase{"HourTwentyFourIsUnset", "MON=1\nTUE=1\nHOUR=24\nMINS=00\n", {}},
                      WeeklyCase{"HourZeroIsAfterMidnight", "TUE=1\nHOUR=00\nMINS=30\n", {"Tue 00:30:15"}},
                      WeeklyCase{"BothTimesEqualStepTwice", "MON=1\nHOUR=20\nMINS=15\nTEXT11=20\nTEXT12=15\n",
                                 {"Mon 20:15:15", "Mon 20:15:15"}}),
    [](const ::testing::TestParamInfo<WeeklyCase>& info) { return std::string(info.param.name); });

TEST_F(SeriesTest, AWeeklyTimeOnAQuarterHourStepsOnceForEachTimer) {
    writeIni("STARTNO=1\nENDNO=9\nMON=1\nHOUR=10\nMINS=15\nINFOQUARTER=1\n");
    rt.setLocalTime(2026, 12, 7, 10, 14, 0);
    start();
    runTo(10, 15, 30);
    EXPECT_EQ(transport.keyedAt, (std::vector<std::string>{"Mon 10:15:15", "Mon 10:15:15"}));
    EXPECT_EQ(series->Playing.text(), "2");
}

TEST_F(SeriesTest, ATriggerSecondSkippedByAHeldThreadIsCaughtUp) {
    writeIni("STARTNO=1\nENDNO=9\nMON=1\nHOUR=10\nMINS=15\nINFOHALF=1\n");
    rt.setLocalTime(2026, 12, 7, 10, 14, 0);
    start();
    runTo(10, 15, 14);
    rt.advance(500);
    // Something holds the thread across both trigger seconds' ticks.
    rt.blockingDelay(3000);
    rt.advance(1000);
    EXPECT_EQ(transport.keyedAt.size(), 1u);
    runTo(10, 30, 13);
    rt.advance(500);
    rt.blockingDelay(3000);
    rt.advance(1000);
    EXPECT_EQ(transport.keyedAt.size(), 2u);
}

}  // namespace
}  // namespace tarnwick::test
