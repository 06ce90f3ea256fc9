// Faults that once slipped past the other tests: which info text goes with which quarter, the
// clock's own carrier check, the order of one silence schedule's times, the fan restarted by an edit
// of its run-on, and a courtesy letter already due when silence begins.

#include "speech_fixture.h"

namespace tarnwick::test {
namespace {

constexpr int kMonday = 14;

class CaughtTest : public SpeechTest {
protected:
    void SetUp() override {
        start();
        form3.Timer4.setEnabled(false);
        form3.UseCT.setValue(0);
    }
    // Runs the clock across hh:mm:00 of Monday and returns what was spoken.
    std::vector<std::string> spokenAcross(int h, int m) {
        voice.sync.clear();
        const int before = h * 3600 + m * 60 - 30;
        jumpTo(kMonday, before / 3600, before / 60 % 60, before % 60);
        rt.advance(31000);
        return voice.texts();
    }
};

TEST_F(CaughtTest, EachInfoBoxSpeaksTheInfoTextAtItsOwnMoments) {
    form3.InfoText.setText("Net tonight");
    struct Case {
        CheckBox& box;
        bool at00, at15, at30, at45;
    } cases[] = {{form3.InfoHourly, true, false, false, false},
                 {form3.InfoQuarter, false, true, false, true},
                 {form3.InfoHalf, false, false, true, false}};
    const std::vector<std::string> info{"Net tonight"}, none;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box.name());
        c.box.setValue(1);
        EXPECT_EQ(spokenAcross(15, 0), c.at00 ? info : none);
        EXPECT_EQ(spokenAcross(15, 15), c.at15 ? info : none);
        EXPECT_EQ(spokenAcross(15, 30), c.at30 ? info : none);
        EXPECT_EQ(spokenAcross(15, 45), c.at45 ? info : none);
        c.box.setValue(0);
    }
}

TEST_F(CaughtTest, AnAnnouncementDueUnderACarrierLeavesAWaitingRequestAlone) {
    form3.QuarterHour.setValue(1);
    form3.requestSpeech(std::string("Auto Connects Enabled."));
    raise("carrier", {"1"});
    form3.InUse = 0;  // the clock's own carrier check is what holds the announcement here
    spokenAcross(16, 15);
    EXPECT_TRUE(voice.sync.empty());
    EXPECT_EQ(speechTextOf(form3.SayTheText), "Auto Connects Enabled.");
    raise("carrier", {"0"});
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"Auto Connects Enabled."});
}

TEST_F(CaughtTest, OneScheduleWithTheSameOffAndOnTimeEndsWithSilenceOff) {
    form3.Check2.setValue(1);
    form3.Mon.setValue(1);
    form3.HourOFF1.setText("22");
    form3.MinsOFF1.setText("30");
    form3.HourON1b.setText("22");
    form3.MinsON1b.setText("30");
    jumpTo(kMonday, 22, 30, 10);
    rt.advance(10000);
    EXPECT_EQ(form3.Check1.value(), 0);
    // Off first, then on (the time in each line is when it was sent: the first warning is spoken).
    std::vector<std::string> warnings;
    for (const std::string& line : textCalls("SendChatText")) warnings.push_back(line.substr(10));
    EXPECT_EQ(warnings, (std::vector<std::string>{"<Silence Mode Enabled>", "<Silence Mode Disabled>"}));
}

TEST_F(CaughtTest, EditingTheRunOnRestartsTheFanOnlyWhenFanControlIsOn) {
    struct Case {
        int fanCtrl, delayCtrl;
        bool fan, delay;
    } cases[] = {{1, 0, true, false}, {1, 1, false, true}, {0, 0, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.fanCtrl) + "/" + std::to_string(c.delayCtrl));
        form3.Fan.setEnabled(false);
        form3.FanDelay.setEnabled(false);
        form3.FanCTRL.setValue(c.fanCtrl);
        form3.DelayCTRL.setValue(c.delayCtrl);
        form3.FanPeriod.setText(form3.FanPeriod.text() == "3" ? "4" : "3");
        EXPECT_EQ(form3.Fan.enabled(), c.fan);
        EXPECT_EQ(form3.FanDelay.enabled(), c.delay);
        EXPECT_EQ(form3.FanSeconds.text(), std::to_string(std::stoi(form3.FanPeriod.text()) * 60));
    }
}

TEST_F(CaughtTest, ALetterAlreadyDueWaitsWhileAnnouncementsAreDisabled) {
    form3.UseCT.setValue(1);
    rt.advance(5000);  // the start-up's own anti-kerchunk tick
    raise("carrier", {"1"});
    rt.advance(6000);  // a real over: the letter is earned
    raise("carrier", {"0"});  // and now due
    form3.Check1.setValue(1);
    rt.advance(3000);
    EXPECT_TRUE(textCalls("SendCWText").empty());
    form3.Check1.setValue(0);
    rt.advance(1000);
    EXPECT_EQ(textCalls("SendCWText"), std::vector<std::string>{"K"});
}

}  // namespace
}  // namespace tarnwick::test
