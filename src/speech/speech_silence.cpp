// Silence mode ("Disable Announcements") on three weekly schedules, and the speech tool's own DTMF
// commands: text messages, silence off and on, the local time and the auto-connect keepers.

#include "speech/speech_tool.h"
#include "speech/spoken_time.h"
#include "toolbox/dtmf_face.h"
#include "toolbox/tool_registry.h"

namespace tarnwick {

void Form3::onSilenceTick() {
    Runtime& rt = ctx_.rt;
    const LocalTime now = rt.localTime();
    const std::vector<LocalTime> moments = silenceMoments_.since(now);
    ShowTime2.setText(now.hms());
    rt.yield();
    // A schedule fires during second 15 of its minute; the targets are compared as text, so an hour
    // must be written with two digits and "24" never matches.
    for (const LocalTime& m : moments) {
        const std::string hms = m.hms();
        for (const SilenceSchedule& s : schedules_) {
            if (s.days[m.weekday - 1]->value() != 1) continue;
            if (hms == s.hourOff->text() + ":" + s.minsOff->text() + ":15") {
                SilenceOn();
                Check1.setValue(1);
            }
            if (hms == s.hourOn->text() + ":" + s.minsOn->text() + ":15") {
                SilenceOFF();
                Check1.setValue(0);
            }
        }
    }
}

void Form3::SilenceOn() {
    if (Check2.value() != 1) return;
    requestSpeech(std::string("Silence Mode Enabled"));
    chat(ctx_.rt.localTime().hms() + "  <Silence Mode Enabled>", "Form3.SilenceOn");
    // Spoken before the caller ticks the switch; when held back it stays in the mailbox.
    SpeakTheText();
}

void Form3::SilenceOFF() {
    if (Check2.value() != 1) return;
    requestSpeech(std::string("Silence Mode Disabled"));
    chat(ctx_.rt.localTime().hms() + "  <Silence Mode Disabled>", "Form3.SilenceOFF");
}

void Form3::onDTMF(const std::string& sDigits) {
    const std::string digits = sDigits;
    ctx_.rt.yield();
    // Each code is compared whole and exactly; an empty code box matches nothing. Every match acts;
    // the mailbox keeps the reply of the last one.
    auto is = [&digits](const TextBox& code) { return !code.text().empty() && code.text() == digits; };

    if (is(ToggleText)) {
        if (SayText.value() != 1) {
            SayText.setValue(1);
            requestSpeech(std::string("Text Message Enabled"));
        } else {
            SayText.setValue(0);
            requestSpeech(std::string("Text Message Disabled"));
        }
    }
    if (is(AnnounceOff)) {
        if (Check2.value() == 1) {
            // Cleared for the moment of the warning, so that it is spoken when the air is free.
            Check1.setValue(0);
            SilenceOn();
        }
        Check1.setValue(1);
    }
    if (is(AnnounceOn)) {
        Check1.setValue(0);
        if (Check2.value() == 1) SilenceOFF();
    }
    if (const DtmfControlFace* d = dtmfControl(); d && d->UseDTMF.value() == 1 && is(d->DTMF)) {
        queueTime("The Time Is", " ");
    }
    if (is(EnableAutoConnect)) {
        StayCon1.setValue(1);
        StayCon2.setValue(1);
        requestSpeech(std::string("Auto Connects Enabled."));
    }
    if (is(DisableAutoConnect)) {
        StayCon1.setValue(0);
        StayCon2.setValue(0);
        requestSpeech(std::string("Auto Connects Disabled."));
    }
}

}  // namespace tarnwick
