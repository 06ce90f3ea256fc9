// The transmitter fan on DTR or RTS: kept running while the node transmits and for a run-on after
// each transmission, optionally only for transmissions longer than a start delay; and the 100 ms
// transmitter monitor that paints the speech tool's indicator.

#include "speech/speech_tool.h"

namespace tarnwick {

void Form3::FanOn() {
    if (DelayCTRL.value() == 1) {
        FanDelay.setEnabled(true);
    } else if (FanCTRL.value() == 1) {
        Fan.setEnabled(true);
        FanSeconds.setText(std::to_string(boxCount(FanPeriod.text()) * 60));
    }
}

void Form3::fanLine(bool up, const char* where) {
    if (!EchoLink) return;
    try {
        if (UseDTR.value())
            EchoLink->SetDTR(up);
        else if (UseRTS.value())
            EchoLink->SetRTS(up);
    } catch (const HostError& e) {
        ctx_.rt.error(where, e.what());
    }
}

void Form3::showFan(bool on) {
    FanOnOff.setForeColour(on ? kOffAirGreen : kFanOffMaroon);
    FanOnOff.setCaption(on ? "Fan ON" : "Fan OFF");
}

void Form3::onMonitorTick() {
    ctx_.rt.yield();
    bool keyed = false;
    try {
        if (!EchoLink) return;
        keyed = EchoLink->IsTransmitting();
    } catch (const HostError& e) {
        ctx_.rt.error("Form3.Timer4", e.what());
        return;
    }
    if (keyed) {
        PTT.setForeColour(kOnAirRed);
        PTT.setCaption("PTT ON");
        // Reloaded every 100 ms while keyed, so the run-on counts only after the release.
        if (FanCTRL.value() == 1) FanOn();
    } else {
        PTT.setForeColour(kOffAirGreen);
        PTT.setCaption("PTT OFF");
    }
}

void Form3::onFanTick() {
    ctx_.rt.yield();
    if (FanPeriod.text() == "0") FanPeriod.setText("1");
    if (FanCTRL.value() == 1) {
        FanSeconds.setText(std::to_string(boxCount(FanSeconds.text()) - 1));
        showFan(true);
        fanLine(true, "Form3.Fan");
    } else {
        // Fan control switched off: the count stands still and the line stays down.
        showFan(false);
        fanLine(false, "Form3.Fan");
    }
    // A count at or below 0 ends the run-on: a period such as "00" starts it at 0, and a count that
    // went past 0 would otherwise keep the fan line up for good.
    if (boxCount(FanSeconds.text()) <= 0) {
        FanSeconds.setText(std::to_string(boxCount(FanPeriod.text()) * 60));
        Fan.setEnabled(false);
        showFan(false);
        fanLine(false, "Form3.Fan");
    }
}

void Form3::onFanDelayTick() {
    ctx_.rt.yield();
    if (DelayPeriod.text() == "0") DelayPeriod.setText("1");
    if (DelayCTRL.value() != 0) DelaySeconds.setText(std::to_string(boxCount(DelaySeconds.text()) - 1));
    // As with the run-on, a count at or below 0 ends the delay; one that went past 0 never would.
    if (boxCount(DelaySeconds.text()) <= 0) {
        DelaySeconds.setText(DelayPeriod.text());
        FanDelay.setEnabled(false);
        if (FanCTRL.value() == 1 && PTT.caption() == "PTT ON") {
            Fan.setEnabled(true);
            FanSeconds.setText(std::to_string(boxCount(FanPeriod.text()) * 60));
        }
    }
}

void Form3::onFanPeriodEdit() {
    FanPeriod.setStyle(TypingStyle::DigitsOnly);
    if (FanPeriod.text().empty()) {
        const bool running = Fan.enabled();
        FanPeriod.setText("1");
        Fan.setEnabled(false);
        // Emptying the run-on while it counts stops the fan with it.
        if (running) {
            showFan(false);
            fanLine(false, "Form3.FanPeriod");
        }
    } else {
        DelaySeconds.setText(DelayPeriod.text());
        FanOn();
    }
    FanSeconds.setText(std::to_string(boxCount(FanPeriod.text()) * 60));
}

void Form3::onDelayPeriodEdit() {
    DelayPeriod.setStyle(TypingStyle::DigitsOnly);
    if (DelayPeriod.text().empty()) {
        DelayPeriod.setText("1");
        FanDelay.setEnabled(false);
    }
    DelaySeconds.setText(DelayPeriod.text());
}

}  // namespace tarnwick
