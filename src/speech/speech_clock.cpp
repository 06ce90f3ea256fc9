// The speech tool's sense of time: the one-second clock with the mailbox pump and the time and info
// announcements, the speech beacon, the speech and CW idents, the idle cut-off and "Send ID".

#include "hostlink/network_text.h"
#include "speech/speech_tool.h"
#include "speech/spoken_time.h"
#include "toolbox/dtmf_face.h"
#include "toolbox/tool_registry.h"

namespace tarnwick {

namespace {

// Counts a seconds label down by one.
void countDown(Label& seconds) { seconds.setText(std::to_string(boxCount(seconds.text()) - 1)); }
}  // namespace

void Form3::onClockTick() {
    Runtime& rt = ctx_.rt;
    // The clock is read once; every second since the last tick is looked at below, so a quarter hour
    // that passed while a speech held the thread is still announced.
    const LocalTime now = rt.localTime();
    const std::vector<LocalTime> moments = clockMoments_.since(now);
    ShowTime.setText(now.hms());
    rt.yield();
    Label19.setText(std::to_string(textCharacters(TextInput3.text())));
    Label20.setText(std::to_string(textCharacters(InfoText.text())));
    Label21.setText(std::to_string(textCharacters(Callsign.text())));

    if (flag2 == 1) SpeakTheText();

    if (receiving("Form3.Timer1")) {
        PTT2.setText("Receiving Signal");
        Beacon7.setEnabled(false);
        Beacon3.setEnabled(false);
    } else {
        PTT2.setText("      ");
        Beacon7.setEnabled(Beacon6.enabled());
        Beacon3.setEnabled(true);
        if (DtmfControlFace* d = dtmfControl()) d->DTMFDelay.setEnabled(true);
    }

    const bool active = linkActive("Form3.Timer1");
    const bool rx = receiving("Form3.Timer1");
    const bool cd = carrierDetected("Form3.Timer1");
    if (active || rx || cd) {
        IDTimer.setEnabled(true);
        Beacon6.setEnabled(true);
        Beacon7.setEnabled(true);
    }

    if (InUse == 1) return;
    if (carrierDetected("Form3.Timer1")) return;
    for (const LocalTime& m : moments) clockAnnouncements(m);
}

void Form3::clockAnnouncements(const LocalTime& moment) {
    // Direct calls: an announcement held back by the speak operation is not repeated.
    const std::string mmss = moment.hms().substr(3);
    const bool twelve = Option1.value();
    auto announce = [this](CheckBox& time, const std::string& sentence, CheckBox& info) {
        if (time.value() == 1) {
            SayTheText = sentence;
            SpeakTheText();
        }
        if (info.value() == 1) {
            SayTheText = InfoText.text();
            SpeakTheText();
        }
    };
    if (mmss == "00:00")
        announce(OnHour, "The Time Is" + fullHourTime(moment, twelve), InfoHourly);
    else if (mmss == "15:00" || mmss == "45:00")
        announce(QuarterHour, "The Time Is" + quarterHourTime(moment, twelve), InfoQuarter);
    else if (mmss == "30:00")
        announce(HalfHour, "The Time Is" + quarterHourTime(moment, twelve), InfoHalf);
}

void Form3::onSpeechCountdownTick(Timer& /*timer*/, TextBox& period, Label& seconds, CheckBox& use, TextBox& text) {
    ctx_.rt.yield();
    if (period.text() == "0") period.setText("1");
    if (use.value() == 1) countDown(seconds);
    if (seconds.text() != "0") return;
    seconds.setText(std::to_string(boxCount(period.text()) * 60));
    // While the link is in use the announcement is dropped (the next one comes a full period later),
    // and a request already waiting in the mailbox keeps its text.
    if (InUse == 1) return;
    requestSpeech(&text);
}

void Form3::onCwIdentTick() {
    ctx_.rt.yield();
    if (BeaconPeriod7.text() == "0") BeaconPeriod7.setText("1");
    if (Check1.value() == 1) return;
    if (StopClock7.value() == 1) countDown(BeaconSeconds7);
    if (BeaconSeconds7.text() == "0") {
        BeaconSeconds7.setText(std::to_string(boxCount(BeaconPeriod7.text()) * 60));
        if (carrierDetected("Form3.Beacon7"))
            CwIdentPending = "1";
        else
            sendCW(CWCallsign.text(), "Form3.Beacon7");
    }
    // An ident that met a carrier goes out with the next keyed moment.
    if (PTT.caption() == "PTT ON" && CwIdentPending == "1") {
        sendCW(CWCallsign.text(), "Form3.Beacon7");
        CwIdentPending = "0";
    }
}

void Form3::onIdleTick() {
    ctx_.rt.yield();
    if (VoicePeriod.text() == "0") VoicePeriod.setText("1");
    if (IDCheck.value() == 1) countDown(IDSeconds);
    if (IDCheck.value() == 1 && IDSeconds.text() == "0") {
        Beacon6.setEnabled(false);
        Beacon7.setEnabled(false);
        BeaconSeconds6.setText("15");
        BeaconSeconds7.setText("10");
    }
    const bool active = linkActive("Form3.IDTimer");
    const bool rx = receiving("Form3.IDTimer");
    const bool cd = carrierDetected("Form3.IDTimer");
    if (active || rx || cd) {
        IDSeconds.setText(std::to_string(boxCount(VoicePeriod.text()) * 60));
        IDTimer.setEnabled(true);
    }
    if (IDSeconds.text() == "0") {
        IDSeconds.setText(std::to_string(boxCount(VoicePeriod.text()) * 60));
        IDTimer.setEnabled(false);
    }
}

void Form3::onPeriodEdit(TextBox& period, Label& seconds, const std::function<void(bool)>& setSwitch) {
    period.setStyle(TypingStyle::DigitsOnly);
    // An empty box, "0" or any other zero ("00") would leave a countdown that never fires: it reads
    // "1" instead and the member is switched off.
    if (boxCount(period.text()) <= 0) {
        period.setText("1");
        setSwitch(false);
    } else {
        setSwitch(true);
    }
    seconds.setText(std::to_string(boxCount(period.text()) * 60));
}

void Form3::onSendCW() {
    if (Check1.value() == 1) return;
    if (CWCallsign.text().empty()) CWCallsign.setText(" ");
    if (carrierDetected("Form3.SendCW"))
        CwIdentPending = "1";
    else
        sendCW(CWCallsign.text(), "Form3.SendCW");
}

void Form3::queueTime(const std::string& prefix, const std::string& separator) {
    requestSpeech(prefix + spokenClockTime(ctx_.rt.localTime(), Option1.value(), separator));
}

void Form3::TheTimeBit() {
    SayTheText = "at" + spokenClockTime(ctx_.rt.localTime(), Option1.value(), "  ");
    flagtime = 1;
    flag2 = 1;
}

}  // namespace tarnwick
