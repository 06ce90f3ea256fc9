// The speak operation and its request mailbox: holds, keying, the settle delay, the beacon flag,
// the speech buttons, the speech settings window and the player's news announcements.

#include <signal.h>

#include "runtime/termination_signals.h"
#include "speech_fixture.h"

namespace tarnwick::test {
namespace {

class MailboxTest : public SpeechTest {
protected:
    void SetUp() override {
        start();
        // The 100 ms monitor is not what these tests look at.
        form3.Timer4.setEnabled(false);
    }
};

struct Hold {
    const char* name;
    std::function<void(MailboxTest&, bool)> set;
};

TEST_F(MailboxTest, HeldRequestIsSpokenWithinASecondAfterTheHoldEnds) {
    HostLink seriesLink(hub, "Form12");
    const Hold holds[] = {
        {"carrier", [](MailboxTest& t, bool on) { t.raise("carrier", {on ? "1" : "0"}); }},
        {"disable announcements", [](MailboxTest& t, bool on) { t.form3.Check1.setValue(on ? 1 : 0); }},
        {"news player on air", [](MailboxTest& t, bool on) { t.player.PTT.setCaption(on ? "PTT ON" : "PTT OFF"); }},
        {"another tool keyed", [&seriesLink](MailboxTest&, bool on) { seriesLink.SetPTT(on); }},
    };
    for (const Hold& h : holds) {
        SCOPED_TRACE(h.name);
        voice.sync.clear();
        h.set(*this, true);
        form3.requestSpeech(std::string("Held text"));
        rt.advance(5000);
        EXPECT_TRUE(voice.sync.empty());
        EXPECT_EQ(form3.flag2, 1);
        h.set(*this, false);
        rt.advance(1000);
        ASSERT_EQ(voice.texts(), std::vector<std::string>{"Held text"});
        EXPECT_TRUE(voice.sync[0].keyed);
        EXPECT_FALSE(host.state().ptt());
        EXPECT_EQ(form3.flag2, 0);
        rt.advance(5000);
        EXPECT_EQ(voice.sync.size(), 1u);
    }
}

TEST_F(MailboxTest, IpModeOfTheNewsPlayerDoesNotHold) {
    player.PTT.setCaption("IP TX");
    form3.requestSpeech(std::string("Over IP"));
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"Over IP"});
}

TEST_F(MailboxTest, HeldDirectCallIsLostButReplacesThePendingText) {
    form3.Check1.setValue(1);
    form3.requestSpeech(std::string("Queued"));
    form3.SayTheText = std::string("Direct");
    form3.SpeakTheText();
    EXPECT_TRUE(voice.sync.empty());
    form3.Check1.setValue(0);
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"Direct"});
}

TEST_F(MailboxTest, LastWriterWinsAndStarsBecomeBlanks) {
    form3.requestSpeech(std::string("first"));
    form3.requestSpeech(std::string("*1*"));
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{" 1 "});
    EXPECT_EQ(speechTextOf(form3.SayTheText), " 1 ");
    EXPECT_EQ(pttCalls(), (std::vector<bool>{true, false}));
}

TEST_F(MailboxTest, RequestStoredWhileSpeakingIsNotLost) {
    voice.onSpeak = [this](const std::string& text) {
        // Runs in the speak operation's yield, after the text has been spoken.
        if (text == "first") rt.post([this] { form3.requestSpeech(std::string("second")); });
    };
    form3.requestSpeech(std::string("first"));
    rt.advance(1000);
    EXPECT_EQ(form3.flag2, 1);
    rt.advance(3000);
    EXPECT_EQ(voice.texts(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(MailboxTest, CallWhileSpeakingCountsAsHeld) {
    voice.onSpeak = [this](const std::string& text) {
        if (text == "once") rt.post([this] { form3.SpeakTheText(); });
    };
    form3.requestSpeech(std::string("once"));
    rt.advance(5000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"once"});
    EXPECT_EQ(pttCalls(), (std::vector<bool>{true, false}));
}

TEST_F(MailboxTest, CarrierBetweenTheTwoTestsSpeaksUnkeyed) {
    int carrierAsks = 0;
    transport.before = [&](const std::string& link, const std::string& op) {
        if (link == "Form3" && op == "IsCarrierDetected" && form3.flag2 == 1 && ++carrierAsks == 2)
            host.raise("carrier", {"1"});
    };
    form3.requestSpeech(std::string("sneaky"));
    form3.SpeakTheText();
    transport.before = nullptr;
    ASSERT_EQ(voice.sync.size(), 1u);
    EXPECT_FALSE(voice.sync[0].keyed);
    EXPECT_EQ(form3.PTT.caption(), "PTT OFF");
    EXPECT_EQ(pttCalls(), std::vector<bool>{false});
}

TEST_F(MailboxTest, FailingVoiceStillReleasesTheTransmitter) {
    voice.fail = true;
    form3.requestSpeech(std::string("boom"));
    rt.advance(1000);
    EXPECT_EQ(pttCalls(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(host.state().ptt());
    EXPECT_EQ(form3.PTT.caption(), "PTT OFF");
    EXPECT_EQ(form3.flag2, 0);
}

TEST_F(MailboxTest, FailingHostCallsArePassedOver) {
    struct Case {
        const char* op;
        bool spoken;  // false: the run counts as held and the request stays pending
    } cases[] = {{"SetPTT", true}, {"SetDTR", true}, {"IsCarrierDetected", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        voice.sync.clear();
        host.set("fail", c.op);
        form3.requestSpeech(std::string("on air"));
        rt.advance(1000);
        host.set("fail", "none");
        EXPECT_EQ(voice.texts(), c.spoken ? std::vector<std::string>{"on air"} : std::vector<std::string>{});
        EXPECT_EQ(form3.flag2, c.spoken ? 0 : 1);
        EXPECT_EQ(form3.PTT.caption(), "PTT OFF");
        EXPECT_FALSE(host.state().ptt());
        rt.advance(1000);
        EXPECT_EQ(form3.flag2, 0);
    }
}

TEST_F(MailboxTest, SettleDelay) {
    voice.speechMs = 0;
    struct Case {
        int ttsCtrl;
        const char* period;
        int flagtime;
        std::int64_t blockedMs;
        const char* periodAfter;
        int flagtimeAfter;
    } cases[] = {
        {1, "15", 0, 900, "9", 0}, {1, "3", 0, 300, "3", 0}, {1, "0", 0, 0, "0", 0},
        {1, "5", 1, 0, "5", 0},    {0, "15", 1, 0, "15", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.period);
        form3.TTSCTRL.setValue(c.ttsCtrl);
        form3.TTSPeriod.setText(c.period);
        form3.flagtime = c.flagtime;
        form3.SayTheText = std::string("x");
        const std::int64_t before = rt.blockedMs();
        form3.SpeakTheText();
        EXPECT_EQ(rt.blockedMs() - before, c.blockedMs);
        EXPECT_EQ(form3.TTSPeriod.text(), c.periodAfter);
        EXPECT_EQ(form3.flagtime, c.flagtimeAfter);
    }
}

// A stop signal while a keyed speech waits out its settle delay: the rest of the wait is skipped, and
// the speech still ends with the transmitter released.
TEST_F(MailboxTest, AStopSignalSkipsTheSettleDelay) {
    voice.speechMs = 0;
    form3.TTSCTRL.setValue(1);
    form3.TTSPeriod.setText("9");
    TerminationSignals signals(rt, [](int) {});
    bool raised = false;
    transport.before = [&](const std::string& link, const std::string& op) {
        // The stop comes as the speech keys the transmitter, before the delay.
        if (link == "Form3" && op == "SetPTT" && !raised) {
            raised = true;
            ::raise(SIGTERM);
        }
    };
    host.state().clearLog();
    form3.SayTheText = std::string("x");
    const std::int64_t before = rt.blockedMs();
    form3.SpeakTheText();
    EXPECT_EQ(rt.blockedMs() - before, 0);
    EXPECT_EQ(pttCalls(), (std::vector<bool>{true, false}));
}

TEST_F(MailboxTest, BeaconFlagSwallowsOnlyTheEndOfNewsSentence) {
    player.BeaconPlay = 1;
    form3.requestSpeech(std::string("The Time Is3 PM"));
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"The Time Is3 PM"});
    EXPECT_EQ(player.BeaconPlay, 1);

    form3.requestSpeech(std::string(" End of Local News . Link : On."));
    rt.advance(1000);
    EXPECT_EQ(voice.sync.size(), 1u);
    EXPECT_EQ(player.BeaconPlay, 0);
    EXPECT_EQ(form3.flag2, 0);
    EXPECT_FALSE(host.state().ptt());
}

TEST_F(MailboxTest, SpeechButtons) {
    struct Case {
        CommandButton* button;
        TextBox* box;
        const char* placeholder;
        bool keyed;
    } cases[] = {
        {&form3.SayCall, &form3.Callsign, "NoCall", true},
        {&form3.SayCallNoPTT, &form3.Callsign, "No Callsign", false},
        {&form3.Speak3, &form3.TextInput3, "No information at this time.", true},
        {&form3.TextNoPTT3, &form3.TextInput3, "No information at this time.", false},
        {&form3.SpeakInfo, &form3.InfoText, "No information at this time.", true},
        {&form3.InfoNoPTT, &form3.InfoText, "No information at this time.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button->caption());
        voice.sync.clear();
        voice.async.clear();
        c.box->setText("");
        c.button->click();
        rt.advance(1000);
        EXPECT_EQ(c.box->text(), c.placeholder);
        if (c.keyed) {
            ASSERT_EQ(voice.texts(), std::vector<std::string>{c.placeholder});
            EXPECT_TRUE(voice.sync[0].keyed);
            EXPECT_TRUE(voice.async.empty());
        } else {
            EXPECT_EQ(voice.async, std::vector<std::string>{c.placeholder});
            EXPECT_TRUE(voice.sync.empty());
        }
    }
    // The unkeyed buttons ignore silence mode.
    form3.Check1.setValue(1);
    form3.InfoNoPTT.click();
    EXPECT_EQ(voice.async.size(), 2u);
}

TEST_F(MailboxTest, VoiceSettingsApplyAtTheNextKeyedSpeechSavedOrNot) {
    form8.VoiceSpeed.setValue(-5);
    form8.VolLev.setValue(0);
    EXPECT_EQ(form8.Label6.text(), "-5");
    form8.Text1.setText("Testing");
    form8.Command3.click();
    ASSERT_EQ(voice.sync.size(), 1u);
    EXPECT_EQ(voice.sync[0].text, "Testing");
    EXPECT_EQ(voice.sync[0].rate, -5);
    EXPECT_EQ(voice.sync[0].volume, 0);

    // Closing the settings window drops unsaved values; the next keyed speech reloads the file.
    form8.VoiceSpeed.setValue(3);
    form8.Command2.click();
    form8.VolLev.setValue(80);
    ASSERT_TRUE(form8.onCloseRequest());
    EXPECT_FALSE(form8.loaded());
    form3.SayTheText = std::string("again");
    form3.SpeakTheText();
    EXPECT_EQ(voice.sync.back().rate, 3);
    EXPECT_EQ(voice.sync.back().volume, 0);
    EXPECT_NE(readIni("ttssettings.ini").find("VOLLEV=0"), std::string::npos);
}

TEST_F(MailboxTest, KeyedSpeechDropsTheFanLine) {
    struct Case {
        bool dtr, rts;
        std::size_t dtrCalls, rtsCalls;
    } cases[] = {{true, false, 1, 0}, {false, true, 0, 1}, {false, false, 0, 0}};
    form3.FanCTRL.setValue(0);
    for (const Case& c : cases) {
        form3.UseDTR.setValue(c.dtr);
        form3.UseRTS.setValue(c.rts);
        host.state().clearLog();
        form3.SayTheText = std::string("x");
        form3.SpeakTheText();
        EXPECT_EQ(host.state().calls("SetDTR").size(), c.dtrCalls);
        EXPECT_EQ(host.state().calls("SetRTS").size(), c.rtsCalls);
    }
}

TEST_F(MailboxTest, EndOfNewsAnnouncement) {
    // Armed from start-up: the first news is announced too.
    EXPECT_EQ(form3.flag3, 1);
    form3.SayEndOfFile();
    EXPECT_EQ(form3.flag2, 1);
    EXPECT_EQ(speechTextOf(form3.SayTheText), " End of Local News . Link : On.");

    form3.flag2 = 0;
    player.BeaconPlay = 1;
    form3.SayEndOfFile();
    EXPECT_EQ(form3.flag2, 0);
    EXPECT_EQ(player.BeaconPlay, 0);
    form3.SayEndOfFile();
    EXPECT_EQ(form3.flag2, 1);

    form3.flag2 = 0;
    form3.flag3 = 0;  // a File Player play: no announcement, only re-arming
    form3.SayEndOfFile();
    EXPECT_EQ(form3.flag2, 0);
    EXPECT_EQ(form3.flag3, 1);
}

TEST_F(MailboxTest, NewsWarning) {
    player.Warn.setText("5");
    form3.kellow();
    EXPECT_EQ(form3.flag2, 1);
    EXPECT_EQ(speechTextOf(form3.SayTheText), "5Minute, Warning Auto Disconnect For Local News.");
}

}  // namespace
}  // namespace tarnwick::test
