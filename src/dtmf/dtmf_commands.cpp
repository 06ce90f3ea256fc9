// Form4's DTMF side: the codes radio users send, the lock-out that switches DTMF use back on, and
// the acceptance delay that ignores codes in the first seconds of a received over.

#include <algorithm>
#include <limits>

#include "dtmf/dtmf_control.h"
#include "dtmf/dtmf_numbers.h"
#include "hostlink/network_text.h"
#include "runtime/runtime.h"

namespace tarnwick {

void Form4::EchoLink_DTMFString(const std::string& digits) {
    if (!EchoLink) return;
    // An empty code box holds no code.
    auto is = [&digits](const TextBox& code) { return !code.text().empty() && code.text() == digits; };

    // The switches act whatever their state; the steps below see what they set.
    if (is(Text222)) Check1.setValue(1);
    if (is(Text333)) Check1.setValue(0);
    if (is(Text1111)) UseDTMFDelay.setValue(1);
    if (is(Text2222)) UseDTMFDelay.setValue(0);

    // With the delay in use, station codes wait until the over's first seconds have passed.
    const bool admitted = UseDTMFDelay.value() == 0 || (UseDTMFDelay.value() == 1 && delayCount(DTMFDelayPeriod) == 0);
    if (!admitted) return;

    if (is(Text555) && Check1.value() == 1) {
        const std::string last = LastConnected.text();
        if (connectedNow(last)) tryStep("DisconnectFrom", [&] { EchoLink->DisconnectFrom(last); });
    }
    if (is(Text111) && Check1.value() == 1) tryStep("DisconnectAllStations", [this] { EchoLink->DisconnectAllStations(); });
    for (Single& s : singles_)
        if (is(*s.code)) toggleStation(*s.call, true);
    if (is(DTMFGroup1Disc)) disconnectGroup(group1_);
    if (is(DTMFGroup1Connect)) connectGroup(group1_);
    if (is(DTMFGroup2Disc)) disconnectGroup(group2_);
    if (is(DTMFGroup2Connect)) connectGroup(group2_);
}

void Form4::Echolink_connected(const std::string& call) {
    // Kept whole: the disconnect-last code drops this very station.
    LastConnected.setText(cleanNetworkText(call, kNetIdentityMax));
}

// ---- Lock-out ----

void Form4::Timer1_Timer() {
    if (!EchoLink) return;
    if (boxNumber(BeaconPeriod) <= 0) BeaconPeriod.setText("1");
    if (Check1.value() == 0) countDown(BeaconSeconds);
    // A count at or below zero is over, so a cleared switch always comes back.
    if (boxNumber(BeaconSeconds) <= 0) {
        BeaconSeconds.setText(std::to_string(minutesToSeconds(boxNumber(BeaconPeriod))));
        Check1.setValue(1);
    }
}

void Form4::BeaconPeriod_Change() {
    if (BeaconPeriod.text().empty()) BeaconPeriod.setText("0");
    BeaconSeconds.setText(std::to_string(minutesToSeconds(boxNumber(BeaconPeriod))));
}

// ---- Acceptance delay ----

void Form4::DTMFDelay_Timer() {
    ctx_.rt.yield();
    if (!EchoLink || !DTMFDelay.enabled()) return;
    bool receiving = false;  // a host that cannot tell counts as not receiving
    tryStep("IsReceiving", [&] { receiving = EchoLink->IsReceiving(); });
    if (receiving) {
        PTT3.setText(kReceiving);
    } else {
        PTT3.setText(kNotReceiving);
        DTMFDelayPeriod.setText(DTMFDelaySeconds.text());
    }
    // The count stops at 0: an over that began before the reload gets no fresh delay, rather than
    // being shut out as a whole.
    if (UseDTMFDelay.value() == 1 && PTT3.text() == kReceiving)
        DTMFDelayPeriod.setText(std::to_string(std::max(0LL, delayCount(DTMFDelayPeriod) - 1)));
    if (delayCount(DTMFDelayPeriod) == 0) DTMFDelay.setEnabled(false);
}

void Form4::DTMFDelaySeconds_Change() {
    if (DTMFDelaySeconds.text().empty()) DTMFDelaySeconds.setText("0");
    DTMFDelay.setEnabled(boxNumber(DTMFDelaySeconds) > 0);
    DTMFDelayPeriod.setText(DTMFDelaySeconds.text());
}

}  // namespace tarnwick
