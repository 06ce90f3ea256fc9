// Speech on air: the speak operation behind the request mailbox, the speech buttons and the two
// news announcements the player asks for.

#include "speech/speech_settings.h"
#include "speech/speech_tool.h"
#include "toolbox/player_face.h"
#include "toolbox/series_face.h"
#include "toolbox/tool_registry.h"

namespace tarnwick {

namespace {
constexpr const char* kEndOfNews = " End of Local News . Link : On.";

std::string starsToBlanks(std::string s) {
    for (char& c : s)
        if (c == '*') c = ' ';
    return s;
}
}  // namespace

bool Form3::airHeld() const {
    // Only exactly "PTT ON" holds: the news player's "IP TX" does not key this node's transmitter.
    if (const PlayerFace* p = player(); p && p->PTT.caption() == "PTT ON") return true;
    if (const SeriesPlayerFace* s = series(); s && s->PTT.caption() == "PTT ON") return true;
    return false;
}

void Form3::SpeakTheText() {
    Runtime& rt = ctx_.rt;
    // A call that arrives while a speech is under way (from inside its yield) counts as held, so no
    // text is spoken twice and the transmitter is keyed by one run at a time.
    if (speaking_) return;
    // The holds: a local carrier, "Disable Announcements", a player on air. A held run changes nothing.
    try {
        if (!EchoLink || EchoLink->IsCarrierDetected()) return;
    } catch (const HostError& e) {
        rt.error("Form3.SpeakTheText", e.what());
        return;
    }
    if (Check1.value() == 1) return;
    if (airHeld()) return;

    speaking_ = true;
    const unsigned long requestsBefore = flag2.raised();
    try {
        if (!EchoLink->IsCarrierDetected()) {
            PTT.setForeColour(kOnAirRed);
            PTT.setCaption("PTT ON");
            if (FanCTRL.value() == 1) {
                DelaySeconds.setText(DelayPeriod.text());
                FanOn();
            }
            EchoLink->SetPTT(true);
        }
        const std::string text = starsToBlanks(speechTextOf(SayTheText));
        SayTheText = text;

        // After a beacon the player's beacon flag swallows the end-of-news sentence; anything else is
        // spoken and the flag waits for the end-of-news step.
        PlayerFace* p = player();
        if (p && p->BeaconPlay == 1 && text == kEndOfNews) {
            p->BeaconPlay = 0;
        } else {
            if (TTSCTRL.value() == 1) {
                if (leadingNumber(TTSPeriod.text()).value_or(0) > 9) TTSPeriod.setText("9");
                if (flagtime == 1) {
                    flagtime = 0;
                } else {
                    const long long n = leadingNumber(TTSPeriod.text()).value_or(0);
                    for (long long i = 0; i < n; ++i) SleepTTS();
                }
            }
            if (Form8* f = speechSettings()) {
                f->load();
                if (voice_) {
                    voice_->setRate(f->VoiceSpeed.value());
                    voice_->setVolume(f->VolLev.value());
                }
            }
            rt.diag("SPEAK", text);
            if (voice_) voice_->speakSync(text);
        }
    } catch (const std::exception& e) {
        rt.error("Form3.SpeakTheText", e.what());
    }

    try {
        rt.yield();
    } catch (const std::exception& e) {
        rt.error("Form3.SpeakTheText", e.what());
    }
    // A request stored while this run yielded stays pending; the one just served is done.
    if (flag2.raised() == requestsBefore) flag2 = 0;
    try {
        EchoLink->SetPTT(false);
    } catch (const HostError& e) {
        rt.error("Form3.SpeakTheText", e.what());
    }
    PTT.setForeColour(kOffAirGreen);
    PTT.setCaption("PTT OFF");
    try {
        if (UseDTR.value()) EchoLink->SetDTR(false);
        if (UseRTS.value()) EchoLink->SetRTS(false);
    } catch (const HostError& e) {
        rt.error("Form3.SpeakTheText", e.what());
    }
    speaking_ = false;
}

void Form3::SleepTTS() {
    ctx_.rt.blockingDelay(100);
    HowLongSec = 10000;
}

void Form3::speakButton(TextBox& box, const std::string& placeholder, bool direct) {
    if (box.text().empty()) box.setText(placeholder);
    if (direct) {
        SayTheText = &box;
        SpeakTheText();
    } else {
        requestSpeech(&box);
    }
}

void Form3::speakUnkeyed(TextBox& box, const std::string& placeholder) {
    if (box.text().empty()) box.setText(placeholder);
    if (!voice_) return;
    try {
        voice_->speakAsync(box.text());
    } catch (const std::exception& e) {
        ctx_.rt.error("Form3.SpeakUnkeyed", e.what());
    }
}

void Form3::say(const std::string& sentence) {
    SayTheText = sentence;
    SpeakTheText();
    if (AddTime.value() == 1) TheTimeBit();
}

// ---- News announcements ----

void Form3::kellow() {
    const PlayerFace* p = player();
    const std::string minutes = p ? p->Warn.text() : "1";
    const std::string sentence = p ? p->WarnText.text() : "Warning Auto Disconnect For Local News.";
    requestSpeech(minutes + "Minute, " + sentence);
}

void Form3::SayEndOfFile() {
    if (flag3 == 0) {
        flag3 = 1;
        return;
    }
    PlayerFace* p = player();
    if (p && p->BeaconPlay == 1) {
        p->BeaconPlay = 0;
        return;
    }
    if (flag3 == 1) requestSpeech(std::string(kEndOfNews));
}

}  // namespace tarnwick
