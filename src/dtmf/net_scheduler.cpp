// Form4's weekly nets: the one-second clock that starts them at second 15 of their minute, their
// disconnect countdowns, and the "Stay Con" switches that are held off while a net runs.

#include "dtmf/dtmf_control.h"
#include "dtmf/dtmf_numbers.h"
#include "runtime/runtime.h"
#include "toolbox/conference_face.h"
#include "toolbox/speech_face.h"

namespace tarnwick {

void Form4::Timer2_Timer() {
    ctx_.rt.yield();
    if (!EchoLink) return;
    // The clock is read once for all four nets; every second since the last tick is looked at, so a
    // start second that a held thread let pass is still made.
    const LocalTime now = ctx_.rt.localTime();
    ShowTime.setText(now.hms());
    const std::vector<LocalTime> moments = moments_.since(now);

    // While the local receiver is busy no net starts, and the seconds passed are spent.
    SpeechFace* sp = speech();
    if (sp && sp->PTT2.text() == kReceiving && RFBusy.value() == 1) return;

    const std::int64_t today = daysFromCivil(now.year, now.month, now.day);
    for (auto it = started_.begin(); it != started_.end();)
        it = std::get<1>(*it) < today - 1 ? started_.erase(it) : std::next(it);

    for (const LocalTime& m : moments) {
        const std::string time = m.hms();
        const std::int64_t day = daysFromCivil(m.year, m.month, m.day);
        for (int i = 3; i >= 0; --i) {
            Net& n = nets_[i];
            if (n.days[m.weekday - 1]->value() != 1) continue;
            const std::string start = n.hour->text() + ":" + n.mins->text() + ":15";
            if (time != start) continue;
            if (upperCase(n.call->text()).empty()) continue;
            // Once a day at a start time, also when the clock is set back over it.
            if (!started_.insert({n.number, day, start}).second) continue;
            startNet(n);
        }
    }
}

bool Form4::anyNetCounting(const Net* besides) const {
    // A net runs while its countdown counts its minutes down. One whose "Use" box is clear never
    // ends, and its timer stays on for good: it holds nothing back.
    for (const Net& n : nets_)
        if (&n != besides && n.timer->enabled() && n.use->value() != 0) return true;
    return false;
}

void Form4::startNet(Net& net) {
    SpeechFace* sp = speech();
    ConferenceFace* conf = conference();
    // One snapshot for all nets: only the first of overlapping nets saves the operator's switches,
    // so the last net to end puts them back as they were before any net began. A net is never
    // another net to itself.
    if (!anyNetCounting(&net)) {
        stayCon.SavedStayCon1 = sp ? sp->StayCon1.value() : 0;
        stayCon.SavedStayCon2 = sp ? sp->StayCon2.value() : 0;
        stayCon.SavedConfStayCon1 = conf ? conf->StayCon1.value() : 0;
    }
    if (sp) {
        sp->StayCon1.setValue(0);
        sp->StayCon2.setValue(0);
    }
    if (conf) conf->StayCon1.setValue(0);

    if (net.showBusy->value() == 1) tryStep("SetBusy", [this] { EchoLink->SetBusy(true); });
    if (net.disconnectAll->value() == 1)
        tryStep("DisconnectAllStations", [this] { EchoLink->DisconnectAllStations(); });
    const std::string call = upperCase(net.call->text());
    tryStep("ConnectTo", [&] { EchoLink->ConnectTo(call, true); });
    net.discPeriod->setText(std::to_string(minutesToSeconds(boxNumber(*net.discMins))));
    net.timer->setEnabled(true);
}

void Form4::countdownTick(Net& net) {
    // A length of no minutes ("0", "00") counts as one minute, so a counted net always ends.
    auto zeroRule = [&net] {
        if (boxNumber(*net.discMins) <= 0) net.discMins->setText("1");
    };
    if (net.zeroRuleFirst) zeroRule();
    if (net.use->value() != 0) countDown(*net.discPeriod);
    ctx_.rt.yield();
    // Emptying the length box while the tick waited stops the net without ending it.
    if (!EchoLink || !net.timer->enabled()) return;
    if (!net.zeroRuleFirst) zeroRule();
    if (boxNumber(*net.discPeriod) <= 0) endNet(net);
}

void Form4::endNet(Net& net) {
    net.discPeriod->setText(std::to_string(minutesToSeconds(boxNumber(*net.discMins))));
    if (!anyNetCounting(&net)) {
        if (SpeechFace* sp = speech()) {
            sp->StayCon1.setValue(stayCon.SavedStayCon1);
            sp->StayCon2.setValue(stayCon.SavedStayCon2);
        }
        if (ConferenceFace* conf = conference()) conf->StayCon1.setValue(stayCon.SavedConfStayCon1);
    }
    net.timer->setEnabled(false);
    if (net.showBusy->value() == 1) tryStep("SetBusy", [this] { EchoLink->SetBusy(false); });
    const std::string call = upperCase(net.call->text());
    if (call.empty()) return;
    if (!connectedNow(call)) return;
    const auto first = call.find_first_not_of(' ');
    const std::string trimmed =
        first == std::string::npos ? std::string() : call.substr(first, call.find_last_not_of(' ') - first + 1);
    tryStep("DisconnectFrom", [&] { EchoLink->DisconnectFrom(trimmed); });
}

void Form4::DiscMins_Change(Net& net) {
    if (net.discMins->text().empty()) net.discMins->setText("0");
    // No minutes stop the countdown; the net is not ended by it.
    if (boxNumber(*net.discMins) <= 0) net.timer->setEnabled(false);
    net.discPeriod->setText(std::to_string(minutesToSeconds(boxNumber(*net.discMins))));
}

}  // namespace tarnwick
