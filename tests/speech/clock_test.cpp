// The one-second clock: time and info announcements, the speech beacon, the idents, the idle
// cut-off, period edits and the spoken time; and the clock-walking helper underneath.

#include "runtime/clock_moments.h"
#include "speech/spoken_time.h"
#include "speech_fixture.h"

namespace tarnwick::test {
namespace {

LocalTime at(int h, int m, int s, int day = 14) {
    LocalTime t;
    t.year = 2026;
    t.month = 12;
    t.day = day;
    t.hour = h;
    t.minute = m;
    t.second = s;
    t.weekday = localTimeAtEpochSeconds(localEpochSeconds(t)).weekday;
    return t;
}

std::vector<std::string> hmsOf(const std::vector<LocalTime>& v) {
    std::vector<std::string> out;
    for (const auto& t : v) out.push_back(t.hms());
    return out;
}

TEST(ClockMoments, HandsOutEachSecondOnceAndCatchesUpAMinute) {
    ClockMoments c;
    EXPECT_EQ(hmsOf(c.since(at(14, 59, 58))), std::vector<std::string>{"14:59:58"});
    EXPECT_TRUE(c.since(at(14, 59, 58)).empty());
    EXPECT_EQ(hmsOf(c.since(at(15, 0, 1))), (std::vector<std::string>{"14:59:59", "15:00:00", "15:00:01"}));
    // Across midnight the weekday moves on with the date.
    ClockMoments d;
    d.since(at(23, 59, 59, 14));
    auto next = d.since(at(0, 0, 0, 15));
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].weekday, 3);  // Tuesday 15 December 2026
    // Seconds a held thread let pass are caught across midnight too, each with its own day.
    ClockMoments held;
    held.since(at(23, 59, 58, 14));
    const auto caught = held.since(at(0, 0, 3, 15));
    EXPECT_EQ(hmsOf(caught), (std::vector<std::string>{"23:59:59", "00:00:00", "00:00:01", "00:00:02", "00:00:03"}));
    std::vector<int> days;
    for (const auto& m : caught) days.push_back(m.day * 10 + m.weekday);
    EXPECT_EQ(days, (std::vector<int>{142, 153, 153, 153, 153}));  // Monday 14th, then Tuesday 15th
    // A jump of more than a minute, forward or back, starts again from the present.
    EXPECT_EQ(hmsOf(c.since(at(15, 5, 0))), std::vector<std::string>{"15:05:00"});
    EXPECT_EQ(hmsOf(c.since(at(15, 4, 0))), std::vector<std::string>{"15:04:00"});
}

TEST(SpokenTime, Forms) {
    EXPECT_EQ(fullHourTime(at(15, 0, 0), true), "3 PM");
    EXPECT_EQ(fullHourTime(at(15, 0, 0), false), "15 00 ");
    EXPECT_EQ(fullHourTime(at(0, 0, 0), true), "12 AM");
    EXPECT_EQ(quarterHourTime(at(15, 15, 0), true), "3 15 PM");
    EXPECT_EQ(quarterHourTime(at(0, 30, 0), true), "12 30 AM");
    EXPECT_EQ(quarterHourTime(at(9, 45, 0), false), "09 45");
    EXPECT_EQ(spokenClockTime(at(9, 5, 0), true, " "), "9 05 AM");
    EXPECT_EQ(spokenClockTime(at(12, 0, 0), true, "  "), "12 00  PM");
    EXPECT_EQ(spokenClockTime(at(15, 5, 0), false, " "), "15 05");
    EXPECT_EQ(historyTime(at(13, 7, 0)), " 1:07 PM -- ");
}

class ClockTest : public SpeechTest {
protected:
    void SetUp() override {
        start();
        form3.Timer4.setEnabled(false);
    }
    // Keys the transmitter from another tool, as a player would.
    HostLink other{hub, "Form1"};
};

TEST_F(ClockTest, TimeAnnouncements) {
    struct Case {
        int h, m;
        bool twelve;
        CheckBox* box;
        const char* spoken;
    } cases[] = {
        {15, 0, true, &form3.OnHour, "The Time Is3 PM"},
        {16, 0, false, &form3.OnHour, "The Time Is16 00 "},
        {16, 15, true, &form3.QuarterHour, "The Time Is4 15 PM"},
        {16, 45, false, &form3.QuarterHour, "The Time Is16 45"},
        {17, 30, true, &form3.HalfHour, "The Time Is5 30 PM"},
        {0, 30, true, &form3.HalfHour, "The Time Is12 30 AM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spoken);
        voice.sync.clear();
        form3.Option1.setValue(c.twelve);
        form3.Option2.setValue(!c.twelve);
        const int before = (c.h * 3600 + c.m * 60 + 86400 - 30) % 86400;
        jumpTo(c.h == 0 ? 15 : 14, before / 3600, before / 60 % 60, before % 60);
        c.box->setValue(1);
        rt.advance(31000);
        ASSERT_EQ(voice.texts(), std::vector<std::string>{c.spoken});
        EXPECT_TRUE(voice.sync[0].keyed);
        c.box->setValue(0);
    }
}

TEST_F(ClockTest, HourSpeaksTimeThenInfoAsTwoTransmissions) {
    form3.OnHour.setValue(1);
    form3.InfoHourly.setValue(1);
    form3.InfoText.setText("Net tonight at eight");
    jumpTo(14, 10, 59, 50);
    rt.advance(15000);
    EXPECT_EQ(voice.texts(), (std::vector<std::string>{"The Time Is11 AM", "Net tonight at eight"}));
    EXPECT_EQ(pttCalls(), (std::vector<bool>{true, false, true, false}));
}

TEST_F(ClockTest, AQuarterHourPassedDuringASpeechIsStillAnnounced) {
    form3.QuarterHour.setValue(1);
    voice.speechMs = 3000;
    runTo(10, 14, 58);
    form3.requestSpeech(std::string("long"));
    runTo(10, 15, 10);
    EXPECT_EQ(voice.texts(), (std::vector<std::string>{"long", "The Time Is10 15 AM"}));
}

TEST_F(ClockTest, AnnouncementSkippedWhileInUseOrHeldIsNotRepeated) {
    form3.OnHour.setValue(1);
    raise("rx", {"1"});
    jumpTo(14, 10, 59, 50);
    rt.advance(40000);
    raise("rx", {"0"});
    form3.Check1.setValue(1);
    jumpTo(14, 11, 59, 50);
    rt.advance(40000);
    form3.Check1.setValue(0);
    rt.advance(60000);
    EXPECT_TRUE(voice.sync.empty());
}

TEST_F(ClockTest, SpeechBeaconFillsTheMailboxEachPeriod) {
    form3.TextInput3.setText("Beacon text");
    form3.BeaconPeriod3.setText("1");
    form3.StopClock3.setValue(1);
    EXPECT_EQ(form3.BeaconSeconds3.text(), "60");
    rt.advance(61000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"Beacon text"});
    rt.advance(60000);
    EXPECT_EQ(voice.sync.size(), 2u);
}

TEST_F(ClockTest, BeaconDueWhileInUseIsDroppedAndKeepsAPendingRequest) {
    form3.TextInput3.setText("Beacon text");
    form3.BeaconPeriod3.setText("1");
    form3.StopClock3.setValue(1);
    raise("carrier", {"1"});
    form3.requestSpeech(std::string("waiting"));
    rt.advance(62000);
    EXPECT_EQ(speechTextOf(form3.SayTheText), "waiting");
    raise("carrier", {"0"});
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"waiting"});
    // The next beacon comes a full period after the dropped one.
    rt.advance(50000);
    EXPECT_EQ(voice.sync.size(), 1u);
    rt.advance(10000);
    EXPECT_EQ(voice.texts(), (std::vector<std::string>{"waiting", "Beacon text"}));
}

TEST_F(ClockTest, CwIdentWaitsForTheCarrierAndGoesOutWhenKeyed) {
    form3.UseCT.setValue(0);
    form3.CWCallsign.setText("Q0TWK");
    form3.BeaconPeriod7.setText("1");
    form3.StopClock7.setValue(1);
    rt.advance(30000);
    raise("carrier", {"1"});
    rt.advance(31000);
    EXPECT_TRUE(textCalls("SendCWText").empty());
    EXPECT_EQ(form3.cwIdentPending(), "1");
    raise("carrier", {"0"});
    form3.Timer4.setEnabled(true);
    other.SetPTT(true);
    rt.advance(1500);
    EXPECT_EQ(textCalls("SendCWText"), std::vector<std::string>{"Q0TWK"});
    EXPECT_EQ(form3.cwIdentPending(), "0");
    other.SetPTT(false);
    rt.advance(60000);
    EXPECT_EQ(textCalls("SendCWText").size(), 2u);
}

TEST_F(ClockTest, CwIdentStandsStillInSilenceMode) {
    form3.BeaconPeriod7.setText("1");
    form3.StopClock7.setValue(1);
    form3.Check1.setValue(1);
    rt.advance(120000);
    EXPECT_EQ(form3.BeaconSeconds7.text(), "60");
    EXPECT_TRUE(textCalls("SendCWText").empty());
}

TEST_F(ClockTest, IdleCutOffStopsTheIdentsUntilTheNextActivity) {
    form3.Callsign.setText("Q zero T W K");
    form3.StopClock6.setValue(1);
    form3.StopClock7.setValue(1);
    form3.VoicePeriod.setText("2");
    form3.IDCheck.setValue(1);
    // The cut-off counts ticks: the idents spoken meanwhile hold the thread for a while.
    rt.advance(130000);
    EXPECT_FALSE(form3.Beacon6.enabled());
    EXPECT_FALSE(form3.Beacon7.enabled());
    EXPECT_EQ(form3.BeaconSeconds6.text(), "15");
    EXPECT_EQ(form3.BeaconSeconds7.text(), "10");
    EXPECT_FALSE(form3.IDTimer.enabled());
    voice.sync.clear();
    host.state().clearLog();
    rt.advance(600000);
    EXPECT_TRUE(voice.sync.empty());
    EXPECT_TRUE(textCalls("SendCWText").empty());

    host.set("linkactive", "1");
    rt.advance(1000);
    EXPECT_TRUE(form3.Beacon6.enabled());
    EXPECT_TRUE(form3.IDTimer.enabled());
    rt.advance(10500);
    EXPECT_EQ(textCalls("SendCWText").size(), 1u);
    EXPECT_TRUE(voice.sync.empty());
    rt.advance(5000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"Q zero T W K"});
}

TEST_F(ClockTest, EmptyOrZeroPeriodReadsOneWithTheCountdownOff) {
    for (const char* entry : {"", "0", "00"}) {
        SCOPED_TRACE(entry);
        form3.BeaconPeriod6.setText("7");
        ASSERT_TRUE(form3.Beacon6.enabled());
        form3.BeaconPeriod6.setText(entry);
        EXPECT_EQ(form3.BeaconPeriod6.text(), "1");
        EXPECT_FALSE(form3.Beacon6.enabled());
        EXPECT_EQ(form3.BeaconSeconds6.text(), "60");
    }
    form3.VoicePeriod.setText("0");
    EXPECT_FALSE(form3.IDCheck.enabled());
    EXPECT_EQ(form3.IDSeconds.text(), "60");
}

TEST_F(ClockTest, HugePeriodsAndCountsAreHeldToWhatABoxHolds) {
    // Read as they are, these overflow: a period times 60 wraps to a negative count, and a count
    // below the lowest one wraps round to the highest.
    const std::string huge = "99999999999999999999";
    struct Case {
        TextBox& period;
        Label& seconds;
    } cases[] = {{form3.BeaconPeriod3, form3.BeaconSeconds3}, {form3.BeaconPeriod6, form3.BeaconSeconds6},
                 {form3.BeaconPeriod7, form3.BeaconSeconds7}, {form3.VoicePeriod, form3.IDSeconds},
                 {form3.FanPeriod, form3.FanSeconds}};
    for (const Case& c : cases) {
        c.period.setText(huge);
        EXPECT_EQ(c.seconds.text(), std::to_string(kBoxCountMax * 60)) << c.period.name();
    }
    form3.StopClock3.setValue(1);
    form3.StopClock7.setValue(1);
    form3.BeaconSeconds3.setText("-" + huge);
    form3.BeaconSeconds7.setText("-" + huge);
    rt.advance(1000);
    EXPECT_EQ(form3.BeaconSeconds3.text(), std::to_string(-kBoxCountMax - 1));
    EXPECT_EQ(form3.BeaconSeconds7.text(), std::to_string(-kBoxCountMax - 1));
}

TEST_F(ClockTest, SayTheTimeAndTheTimeBitQueueWithoutSpeaking) {
    jumpTo(15, 9, 5, 0);
    form3.TheTime.click();
    EXPECT_EQ(speechTextOf(form3.SayTheText), "The Time Is9 05 AM");
    EXPECT_EQ(form3.flag2, 1);
    EXPECT_EQ(form3.flagtime, 0);
    form3.flag2 = 0;
    jumpTo(15, 12, 0, 0);
    form3.flag2 = 0;
    form3.TheTimeBit();
    EXPECT_EQ(speechTextOf(form3.SayTheText), "at12 00  PM");
    EXPECT_EQ(form3.flagtime, 1);
    EXPECT_EQ(form3.flag2, 1);
}

TEST_F(ClockTest, SendId) {
    form3.CWCallsign.setText("");
    form3.Check1.setValue(1);
    form3.SendCW.click();
    EXPECT_TRUE(textCalls("SendCWText").empty());
    form3.Check1.setValue(0);
    form3.SendCW.click();
    EXPECT_EQ(textCalls("SendCWText"), std::vector<std::string>{" "});
    raise("carrier", {"1"});
    form3.SendCW.click();
    EXPECT_EQ(textCalls("SendCWText").size(), 1u);
    EXPECT_EQ(form3.cwIdentPending(), "1");
}

TEST_F(ClockTest, ClockShowsReceiveAndRestartsTheDtmfDelay) {
    raise("rx", {"1"});
    rt.advance(1000);
    EXPECT_EQ(form3.PTT2.text(), "Receiving Signal");
    EXPECT_FALSE(form3.Beacon3.enabled());
    raise("rx", {"0"});
    dtmf.DTMFDelay.setEnabled(false);
    rt.advance(1000);
    EXPECT_EQ(form3.PTT2.text(), "      ");
    EXPECT_TRUE(form3.Beacon3.enabled());
    EXPECT_TRUE(dtmf.DTMFDelay.enabled());
    form3.TextInput3.setText("twelve chars");
    rt.advance(1000);
    EXPECT_EQ(form3.Label19.text(), "12");
}

}  // namespace
}  // namespace tarnwick::test
