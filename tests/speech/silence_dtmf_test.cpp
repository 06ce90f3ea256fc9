// Silence mode on weekly schedules, and the speech tool's DTMF commands.

#include "speech_fixture.h"

namespace tarnwick::test {
namespace {

constexpr int kMonday = 14, kTuesday = 15;

class SilenceTest : public SpeechTest {
protected:
    void SetUp() override {
        start();
        form3.Timer4.setEnabled(false);
        form3.UseCT.setValue(0);
    }
};

TEST_F(SilenceTest, ScheduleFiresAtSecond15OnTickedDaysOnly) {
    form3.Mon.setValue(1);
    form3.HourOFF1.setText("22");
    form3.MinsOFF1.setText("30");
    jumpTo(kMonday, 22, 30, 10);
    rt.advance(4000);
    EXPECT_EQ(form3.Check1.value(), 0);
    rt.advance(1000);
    EXPECT_EQ(form3.Check1.value(), 1);
    // Nothing switches it off by schedule ("24" is no time); Tuesday is not ticked.
    form3.Check1.setValue(0);
    jumpTo(kTuesday, 22, 30, 10);
    rt.advance(10000);
    EXPECT_EQ(form3.Check1.value(), 0);
    jumpTo(kMonday + 7, 22, 30, 10);
    rt.advance(10000);
    EXPECT_EQ(form3.Check1.value(), 1);
    EXPECT_TRUE(textCalls("SendChatText").empty());
}

TEST_F(SilenceTest, OneDigitHourNeverMatches) {
    form3.Mon.setValue(1);
    form3.HourOFF1.setText("7");
    form3.MinsOFF1.setText("30");
    jumpTo(kMonday, 7, 30, 0);
    rt.advance(30000);
    EXPECT_EQ(form3.Check1.value(), 0);
}

TEST_F(SilenceTest, WarningsAreSpokenAndSentAsChat) {
    form3.Check2.setValue(1);
    form3.Mon.setValue(1);
    form3.HourOFF1.setText("11");
    form3.MinsOFF1.setText("00");
    form3.HourON1b.setText("11");
    form3.MinsON1b.setText("05");
    jumpTo(kMonday, 11, 0, 10);
    rt.advance(10000);
    EXPECT_EQ(form3.Check1.value(), 1);
    ASSERT_EQ(voice.texts(), std::vector<std::string>{"Silence Mode Enabled"});
    EXPECT_TRUE(voice.sync[0].keyed);
    EXPECT_EQ(textCalls("SendChatText"), std::vector<std::string>{"11:00:15  <Silence Mode Enabled>"});
    jumpTo(kMonday, 11, 5, 10);
    rt.advance(10000);
    EXPECT_EQ(form3.Check1.value(), 0);
    EXPECT_EQ(voice.texts(), (std::vector<std::string>{"Silence Mode Enabled", "Silence Mode Disabled"}));
    EXPECT_EQ(textCalls("SendChatText").back(), "11:05:15  <Silence Mode Disabled>");
}

TEST_F(SilenceTest, SchedulesActInOrderAndTheLastDecides) {
    form3.Mon.setValue(1);
    form3.Mon2.setValue(1);
    form3.HourON1b.setText("09");
    form3.MinsON1b.setText("00");
    form3.HourOFF2.setText("09");
    form3.MinsOFF2.setText("00");
    jumpTo(kMonday + 7, 9, 0, 10);
    rt.advance(10000);
    EXPECT_EQ(form3.Check1.value(), 1);
}

// A speech that holds the thread over the start second: the schedule fires at the next tick, also
// when the speech ends after midnight (Monday's 23:59:15 is caught on Tuesday, which is not ticked).
TEST_F(SilenceTest, ScheduleSecondSkippedByALongSpeechStillFires) {
    const struct {
        const char* hour;
        const char* mins;
        int speechMs;
    } cases[] = {{"10", "20", 4000}, {"23", "59", 50000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.hour) + ":" + c.mins);
        form3.Check1.setValue(0);
        voice.sync.clear();
        form3.Mon.setValue(1);
        form3.HourOFF1.setText(c.hour);
        form3.MinsOFF1.setText(c.mins);
        voice.speechMs = c.speechMs;
        jumpTo(kMonday, std::stoi(c.hour), std::stoi(c.mins), 10);
        rt.advance(2000);
        form3.requestSpeech(std::string("long"));
        rt.advance(c.speechMs + 4000);
        EXPECT_EQ(voice.texts(), std::vector<std::string>{"long"});
        EXPECT_EQ(form3.Check1.value(), 1);
    }
    EXPECT_EQ(rt.localTime().day, kTuesday);
}

class DtmfCommandTest : public SilenceTest {
protected:
    void dtmfString(const std::string& digits) {
        raise("dtmf", {digits});
    }
};

TEST_F(DtmfCommandTest, AutoConnectCodesAnswerKeyedAndRelease) {
    dtmfString("*1*");
    EXPECT_EQ(form3.StayCon1.value(), 1);
    EXPECT_EQ(form3.StayCon2.value(), 1);
    rt.advance(1000);
    ASSERT_EQ(voice.texts(), std::vector<std::string>{"Auto Connects Enabled."});
    EXPECT_TRUE(voice.sync[0].keyed);
    EXPECT_EQ(pttCalls(), (std::vector<bool>{true, false}));
    dtmfString("*0*");
    EXPECT_EQ(form3.StayCon1.value(), 0);
    EXPECT_EQ(form3.StayCon2.value(), 0);
    rt.advance(1000);
    EXPECT_EQ(voice.texts().back(), "Auto Connects Disabled.");
}

TEST_F(DtmfCommandTest, Commands) {
    form3.ToggleText.setText("71");
    form3.AnnounceOff.setText("72");
    form3.AnnounceOn.setText("73");
    struct Case {
        const char* digits;
        int check2;
        int sayTextAfter, check1After;
        const char* reply;  // nullptr: no request
        std::size_t chatLines;
    } cases[] = {
        {"71", 0, 1, 0, "Text Message Enabled", 0},
        {"71", 0, 0, 0, "Text Message Disabled", 0},
        {"72", 0, 0, 1, nullptr, 0},
        {"73", 0, 0, 0, nullptr, 0},
        {"73", 1, 0, 0, "Silence Mode Disabled", 1},
        {"999", 1, 0, 0, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits);
        form3.Check2.setValue(c.check2);
        form3.flag2 = 0;
        form3.SayTheText = std::string();
        host.state().clearLog();
        dtmfString(c.digits);
        EXPECT_EQ(form3.SayText.value(), c.sayTextAfter);
        EXPECT_EQ(form3.Check1.value(), c.check1After);
        EXPECT_EQ(form3.flag2, c.reply ? 1 : 0);
        if (c.reply) {
            EXPECT_EQ(speechTextOf(form3.SayTheText), c.reply);
        }
        EXPECT_EQ(textCalls("SendChatText").size(), c.chatLines);
    }
    // An empty code box matches nothing, not even an empty string.
    form3.ToggleText.setText("");
    form3.hostLink()->DTMFString("");
    EXPECT_EQ(form3.flag2, 0);
}

TEST_F(DtmfCommandTest, SilenceOnCodeWarnsEvenWhenSilenceIsAlreadyOn) {
    form3.AnnounceOff.setText("72");
    form3.Check2.setValue(1);
    form3.Check1.setValue(1);
    dtmfString("72");
    EXPECT_EQ(form3.Check1.value(), 1);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"Silence Mode Enabled"});
    EXPECT_EQ(textCalls("SendChatText").size(), 1u);
    // Behind a carrier the warning waits in the mailbox, held by the switch as well.
    voice.sync.clear();
    raise("carrier", {"1"});
    dtmfString("72");
    EXPECT_EQ(form3.flag2, 1);
    EXPECT_TRUE(voice.sync.empty());
}

TEST_F(DtmfCommandTest, LocalTimeFollowsItsUseBoxNotEnableDtmfUse) {
    jumpTo(kMonday, 15, 5, 0);
    dtmf.Check1.setValue(0);
    dtmfString("123");
    EXPECT_EQ(speechTextOf(form3.SayTheText), "The Time Is3 05 PM");
    form3.flag2 = 0;
    dtmf.UseDTMF.setValue(0);
    dtmfString("123");
    EXPECT_EQ(form3.flag2, 0);
}

TEST_F(DtmfCommandTest, SharedCodeActsTwiceAndTheLastReplyWins) {
    form3.ToggleText.setText("55");
    form3.AnnounceOn.setText("55");
    form3.Check2.setValue(1);
    dtmfString("55");
    EXPECT_EQ(form3.SayText.value(), 1);
    EXPECT_EQ(speechTextOf(form3.SayTheText), "Silence Mode Disabled");
}

}  // namespace
}  // namespace tarnwick::test
