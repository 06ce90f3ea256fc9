#pragma once
// What other tools use of the speech tool (Form3): the speech request mailbox, the "Disable
// Announcements" switch, the fan, the news announcements, the speech beacon timer, the reconnect
// switches and the receive indicator.

#include <string>
#include <variant>

#include "controls/controls.h"
#include "runtime/runtime.h"

namespace tarnwick {

// A mailbox text: a plain text, or a text box whose text is read at the moment it is spoken. Boxes
// named here belong to tool models that live as long as the program.
using SpeechText = std::variant<std::string, const TextBox*>;

// The text a mailbox entry stands for right now.
inline std::string speechTextOf(const SpeechText& t) {
    if (const auto* s = std::get_if<std::string>(&t)) return *s;
    const TextBox* box = std::get<const TextBox*>(t);
    return box ? box->text() : std::string();
}

// The mailbox's pending flag. It reads and writes as an int (0 idle, 1 pending) and counts every
// time a request raises it, so the speech tool can tell a request that arrived while it was speaking.
class MailboxFlag {
public:
    MailboxFlag& operator=(int v) {
        value_ = v;
        if (v == 1) ++raised_;
        return *this;
    }
    operator int() const { return value_; }
    unsigned long raised() const { return raised_; }

private:
    int value_ = 0;
    unsigned long raised_ = 0;
};

class SpeechFace {
public:
    // The speech tool's timers run from its start-up on.
    explicit SpeechFace(Runtime& rt) : Beacon3(rt, 1000, false), Fan(rt, 1000, false) {}
    virtual ~SpeechFace() = default;

    // ---- The speech request mailbox ----
    // One slot: a newer request replaces one not yet spoken. To ask for speech, store the text (or
    // a box) in SayTheText and set flag2 to 1; the speech tool's one-second clock speaks it when no
    // carrier, "Disable Announcements" or a player on air holds it back.
    SpeechText SayTheText;
    MailboxFlag flag2;
    // 1: the next keyed speech that reaches its settle delay skips it once.
    int flagtime = 0;
    // Arm flag of SayEndOfFile; the news player's File Player plays set it to 0 before they transmit.
    int flag3 = 0;

    // The mailbox rule in one call.
    void requestSpeech(SpeechText text) {
        SayTheText = std::move(text);
        flag2 = 1;
    }

    // Speaks SayTheText on air now, unless a hold keeps it back.
    virtual void SpeakTheText() = 0;
    // Queues the news player's disconnect warning.
    virtual void kellow() = 0;
    // Arms itself, or queues the end-of-news sentence.
    virtual void SayEndOfFile() = 0;
    // Starts the fan's run-on (or its start delay) when fan control is on.
    virtual void FanOn() = 0;

    // ---- Controls and timers other tools read or write ----
    // The global mute of keyed speech; the players transmit nothing while it is ticked.
    CheckBox Check1{"Check1", "Disable Announcements"};
    // "Text Messages": the conference controller queues received chat lines while it is ticked.
    CheckBox SayText{"SayText", "Text Messages", "Announce Text Messages"};
    // The speech beacon countdown; the news player stops it while it transmits.
    Timer Beacon3;
    // Fan control: the series player starts the run-on itself (Fan enabled, FanSeconds = FanPeriod x 60).
    CheckBox FanCTRL{"FanCTRL", "Use Fan Control"};
    TextBox FanPeriod{"FanPeriod", "1", "xx Minutes fan will fun after TX", TypingStyle::DigitsOnly};
    Label FanSeconds{"FanSeconds", "0"};
    Timer Fan;
    // The two auto-connect keepers' switches; the net scheduler clears and restores them.
    CheckBox StayCon1{"StayCon1", "Stay Con"};
    CheckBox StayCon2{"StayCon2", "Stay Con"};
    // The receive indicator: "Receiving Signal" while EchoLink receives, else six blanks.
    Label PTT2{"PTT2", "      "};
};

}  // namespace tarnwick
