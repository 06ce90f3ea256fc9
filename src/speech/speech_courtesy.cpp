// Courtesy CW letters at the end of each over, with the anti-kerchunk test for local key-ups, and
// the link-in-use flag that the periodic announcements obey.

#include "speech/speech_tool.h"

namespace tarnwick {

void Form3::onCarrier(bool cd) {
    if (cd) {
        InUse = 1;
        Kerchunker.setEnabled(true);
    } else {
        InUse = 0;
        KickBackCheck.setEnabled(true);
    }
}

void Form3::onRX(bool rx) {
    // The in-use flag follows internet audio also in silence mode; otherwise idents and clock
    // announcements would stay held after silence ends. Only the letter is silenced.
    InUse = rx ? 1 : 0;
    if (rx || Check1.value() == 1) return;
    if (UseCT.value() == 1 && !carrierDetected("Form3.RX")) sendCW(IPCourtesy.text(), "Form3.RX");
}

void Form3::onKerchunkerTick() {
    ctx_.rt.yield();
    if (Check1.value() == 1) return;
    Kerchunker.setEnabled(false);
    // Only a carrier still present one anti-kerchunk interval after it came up earns a letter.
    if (UseCT.value() == 1 && carrierDetected("Form3.Kerchunker")) {
        OK2Kerchunk.setCaption("Yes");
        KickBackCheck.setEnabled(true);
    }
}

void Form3::onKickBackTick() {
    ctx_.rt.yield();
    if (Check1.value() == 1) return;
    if (carrierDetected("Form3.KickBackCheck")) return;
    if (UseCT.value() != 1 || OK2Kerchunk.caption() != "Yes") return;
    KickBackCheck.setEnabled(false);
    sendCW(CourtesyID.text(), "Form3.KickBackCheck");
    OK2Kerchunk.setCaption("No");
}

void Form3::onIntervalEdit(TextBox& box, Timer& timer) {
    box.setStyle(TypingStyle::DigitsOnly);
    if (box.text().empty()) box.setText("0");
    const long long ms = leadingNumber(box.text()).value_or(-1);
    // A value the timer cannot take leaves the interval as it was; 0 stops the timer firing.
    if (ms >= 0 && ms <= 0x7FFFFFFF) setTimerInterval(timer, static_cast<int>(ms));
}

void Form3::setTimerInterval(Timer& timer, int ms) {
    // Stopped around the change, so that an interval of 0 takes the timer off the schedule at once.
    const bool on = timer.enabled();
    timer.setEnabled(false);
    timer.setInterval(ms);
    timer.setEnabled(on);
}

}  // namespace tarnwick
