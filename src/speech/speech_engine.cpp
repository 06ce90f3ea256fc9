// Speech on air: the speak operation behind the request mailbox, the speech buttons and the two
// news announcements the player asks for.

#include "runtime/termination_signals.h"
#include "speech/speech_settings.h"
#include "speech/speech_tool.h"
#include "toolbox/player_face.h"
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
    // Any other tool's transmission under way holds too: the one the host link knows of, never a
    // mirror of the host's transmitter (the series player's indicator), which also shows this tool's
    // own key a moment after it let go.
    return EchoLink && EchoLink->othersHold("SetPTT");
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
    struct SpeakingGuard {
        bool& flag;
        ~SpeakingGuard() { flag = false; }
    } guard{speaking_};
    const unsigned long requestsBefore = flag2.raised();
    // From here each step is passed over when it fails, so a failing call neither loses the text
    // nor leaves the transmitter keyed.
    try {
        speakOnAir();
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
    if (EchoLink) tryStep("SpeakTheText SetPTT", [this] { EchoLink->SetPTT(false); });
    PTT.setForeColour(kOffAirGreen);
    PTT.setCaption("PTT OFF");
    if (EchoLink) {
        if (UseDTR.value()) tryStep("SpeakTheText SetDTR", [this] { EchoLink->SetDTR(false); });
        if (UseRTS.value()) tryStep("SpeakTheText SetRTS", [this] { EchoLink->SetRTS(false); });
    }
}

// The keyed part of a speech that passed its holds: key, settle, speak. A carrier that cannot be
// asked about counts as present: the text is spoken without keying.
void Form3::speakOnAir() {
    if (!carrierDetected("Form3.SpeakTheText")) {
        PTT.setForeColour(kOnAirRed);
        PTT.setCaption("PTT ON");
        if (FanCTRL.value() == 1) {
            DelaySeconds.setText(DelayPeriod.text());
            tryStep("SpeakTheText FanOn", [this] { FanOn(); });
        }
        tryStep("SpeakTheText SetPTT", [this] { EchoLink->SetPTT(true); });
        // The speech holds the thread until it ends, so nothing would be painted before then: the
        // indicator alone is painted now, or the window shows "PTT OFF" all the time it is on air.
        PTT.paintNow();
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
            if (boxCount(TTSPeriod.text()) > 9) TTSPeriod.setText("9");
            if (flagtime == 1) {
                flagtime = 0;
            } else {
                const long long n = boxCount(TTSPeriod.text());
                for (long long i = 0; i < n; ++i) SleepTTS();
            }
        }
        if (Form8* f = speechSettings()) {
            tryStep("SpeakTheText voice settings", [this, f] {
                f->load();
                if (voice_) {
                    voice_->setRate(f->VoiceSpeed.value());
                    voice_->setVolume(f->VolLev.value());
                }
            });
        }
        ctx_.rt.diag("SPEAK", text);
        if (voice_) tryStep("SpeakTheText Speak", [this, &text] { voice_->speakSync(text); });
    }
}

void Form3::SleepTTS() {
    // The transmitter is keyed already: once a stop signal has come the wait is skipped, so the
    // clean-up that unkeys comes at once.
    if (stopRequested()) return;
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
