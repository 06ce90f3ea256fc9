// Form12's transmit side: loading the file, the transmit path, the progress and transmitter
// monitors, the CW ident countdown and the timed transmit breaks.

#include <climits>
#include <cmath>
#include <filesystem>

#include "player/play_file.h"
#include "runtime/runtime.h"
#include "series/series_numbers.h"
#include "series/series_player.h"
#include "toolbox/player_face.h"
#include "toolbox/speech_face.h"

namespace tarnwick {

using series::leadingCount;
using series::leadingValue;
using series::numberText;

namespace {

bool isOrdinaryFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// "hh:mm:ss" as the time boxes show it; the news player writes other text into the length box.
bool isTimeText(const std::string& t) {
    if (t.size() != 8 || t[2] != ':' || t[5] != ':') return false;
    for (int i : {0, 1, 3, 4, 6, 7})
        if (t[i] < '0' || t[i] > '9') return false;
    return true;
}

}  // namespace

// ---- Media player ----

void Form12::LoadFile(bool ReLoad) { loadFile(ReLoad, true); }

void Form12::CleanUp() {
    running_ = false;
    if (media_ && media_->loaded()) tryStep("release", [&] { media_->release(); });
}

bool Form12::loadFile(bool reload, bool allowDialog) {
    if (!CurrentFile.empty() && !reload) return media_ && media_->loaded();

    std::string name = txtFile.text();
    if (name.empty() && allowDialog && fileDialog_) tryStep("file dialog", [&] { name = fileDialog_(kFileFilter, ""); });
    const std::string linuxPath = name.empty() ? std::string() : mapWindowsPath(name);
    if (name.empty() || !isOrdinaryFile(linuxPath)) {
        ctx_.rt.messageBox("Error", "Please select a file", MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    txtFile.setText(name);
    CurrentFile = name;
    CleanUp();

    const auto duration = renderForPlay(
        ctx_.rt, media_, mediaFactory_, linuxPath, "Form12 LoadFile", [](double d) { return d >= 0; }, "no length");
    if (!duration) {
        CleanUp();
        return false;
    }
    // The bar takes any length; one beyond its whole-number range is shown at its end.
    H1.setRange(0, static_cast<int>(std::min(std::nearbyint(*duration), double(INT_MAX))));
    Text3.setText(FormatTime(*duration));
    fileEnded_ = false;
    return true;
}

// ---- The transmit path ----

void Form12::TXFile() { transmit(false); }

bool Form12::transmit(bool allowDialog) {
    const bool busySet = busyForStep_;
    busyForStep_ = false;
    CurrentFile.clear();
    bool loaded = false;
    tryStep("LoadFile", [&] { loaded = loadFile(false, allowDialog); });
    if (!loaded) {
        // Nothing to play: nothing is keyed, and the busy flag the caller set is taken back, unless
        // this window's own file still on air was listed busy and needs it.
        if (busySet && !(ownAir_ && airBusy_)) tryStep("SetBusy", [&] { link_->SetBusy(false); });
        return false;
    }

    Text2.setText("00:00:00");
    PTT.setCaption("PTT ON");
    tryStep("SetPTT", [&] { link_->SetPTT(true); });
    ownAir_ = true;
    airBusy_ = busySet;
    if (StopClock8.ticked()) {
        reloadBreakSeconds();
        Beacon8.setEnabled(true);
    }
    if (SpeechFace* sp = speech(); sp && sp->FanCTRL.value() == 1) {
        // The fan's run-on starts with the file, without the speech tool's start delay.
        sp->Fan.setEnabled(true);
        sp->FanSeconds.setText(std::to_string(leadingCount(sp->FanPeriod.text()) * 60));
    }
    ctx_.rt.diag("PLAY", mapWindowsPath(CurrentFile));
    running_ = tryStep("run", [&] { media_->run(); });
    tryStep("position", [&] { media_->setPosition(0); });
    armMonitor();
    return true;
}

// ---- Progress monitor ----

void Form12::armMonitor() { Timer1.setEnabled(true); }

void Form12::displayUpdate() {
    tryStep("display", [&] {
        const double position = media_->position();
        const double duration = media_->duration();
        H1.setValue(static_cast<int>(std::min(std::nearbyint(position), double(INT_MAX))));
        Text1.setText(FormatTime(duration - position));
        Text2.setText(FormatTime(position));
    });
}

void Form12::monitorTick() {
    const bool loaded = media_ && media_->loaded();
    if (loaded && !fileEnded_) {
        // End of stream or a playback error is the file's end, even short of its stated length.
        std::string error;
        bool ended = false;
        if (running_) tryStep("ended", [&] { ended = media_->ended(&error); });
        if (ended) {
            if (!error.empty()) ctx_.rt.error("Form12 playback", error);
            running_ = false;
            fileEnded_ = true;
            if (ownAir_) ownFileEnded();
        } else {
            displayUpdate();
        }
    } else if (!loaded && ownAir_) {
        // Keyed for a file that is no longer there: nothing is left to wait for.
        ownFileEnded();
    }
    if (ownAir_ && Text2.text() == Text3.text()) ownAir_ = false;
    // Nothing plays and nothing of ours is on air: the monitor sleeps until the next play wakes it.
    if (!running_ && !ownAir_) Timer1.setEnabled(false);
}

void Form12::ownFileEnded() {
    ownAir_ = false;
    if (isTimeText(Text3.text())) {
        // The equal times are the end of the file: the monitors release the transmitter.
        Text2.setText(Text3.text());
        return;
    }
    // The news player has taken the length box for its own transmission, which switches the
    // equal-times release off; this window lets go of its own file itself, without cutting the
    // other one.
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    reloadBreakSeconds();
    unkeyOwn();
    tryStep("SetBusy", [&] { link_->SetBusy(false); });
}

void Form12::unkeyOwn() {
    const bool othersOnAir = link_->othersHold("SetPTT");
    if (tryStep("SetPTT", [&] { link_->SetPTT(false); }) && !othersOnAir) showReleased();
}

void Form12::showReleased() {
    PTT.setForeColour(kGreen);
    PTT.setCaption("PTT OFF");
}

// ---- Transmitter monitor ----

void Form12::transmitterTick() {
    ctx_.rt.yield();
    if (!link_) return;
    bool keyed = false;
    if (tryStep("IsTransmitting", [&] { keyed = link_->IsTransmitting(); })) {
        PTT.setForeColour(keyed ? kRed : kDarkGreen);
        PTT.setCaption(keyed ? "PTT ON" : "PTT OFF");
    }
    // While the times are equal the transmitter and the busy flag are released: idle, and at the end
    // of this window's file. Only what no other tool holds goes off: another tool's transmission or
    // busy flag under way stays, and this window lets go of its own hold alone. (The news player
    // also writes "00 00 00" into the length box, which switches this rule off until the next load.)
    if (Text2.text() == Text3.text()) {
        unkeyOwn();
        tryStep("SetBusy", [&] { link_->SetBusy(false); });
    }
}

// ---- CW ident ----

void Form12::identTick() {
    ctx_.rt.yield();
    if (BeaconPeriod7.text() == "0") BeaconPeriod7.setText("1");
    if (StopClock7.value() != 0) {
        const bool onAir = Check1.ticked() && PTT.caption() == "PTT ON";
        if (onAir || (Check1.value() == 0 && StopClock7.ticked()))
            BeaconSeconds7.setText(std::to_string(leadingCount(BeaconSeconds7.text()) - 1));
    }
    // A count at or below 0 is due: one that stepped past 0 would otherwise never send again.
    if (leadingCount(BeaconSeconds7.text()) > 0) return;
    BeaconSeconds7.setText(std::to_string(leadingCount(BeaconPeriod7.text()) * 60));
    if (!link_) return;
    bool carrier = true;
    if (!tryStep("IsCarrierDetected", [&] { carrier = link_->IsCarrierDetected(); })) return;
    if (carrier) return;
    if (SpeechFace* sp = speech(); sp && sp->Check1.value() == 1) return;
    tryStep("SendCWText", [&] { link_->SendCWText(0, CWCallsign.text()); });
}

// ---- Transmit breaks ----

void Form12::breakCountdownTick() {
    ctx_.rt.yield();
    if (!Beacon8.enabled() || !link_) return;  // stopped while we yielded
    if (BeaconPeriod8.text() == "0") BeaconPeriod8.setText("1");
    if (StopClock8.value() != 0) BeaconSeconds8.setText(numberText(leadingValue(BeaconSeconds8.text()) - 1));
    // A count at or below 0 starts the break, so a period whose seconds are no whole number still
    // gets its breaks.
    if (leadingValue(BeaconSeconds8.text()) <= 0) {
        Timer3.setEnabled(true);
        Beacon8.setEnabled(false);
        if (StopClock8.ticked()) {
            if (media_ && media_->loaded()) tryStep("stop", [&] { media_->stop(); });
            running_ = false;
        }
        unkeyOwn();
        reloadBreakSeconds();
    }
    if (Text2.text() == Text3.text()) unkeyOwn();
}

void Form12::breakTick() {
    ctx_.rt.yield();
    if (!Timer3.enabled() || !link_) return;  // stopped while we yielded
    if (StopClock8.value() != 0) Label18.setText(std::to_string(leadingCount(Label18.text()) - 1));
    // A count at or below 0 ends the break: a length of "0" ends at the first tick.
    if (leadingCount(Label18.text()) > 0) return;
    Timer3.setEnabled(false);
    // Only this window's own file comes back on air; one that ended or went away meanwhile stays off.
    if (StopClock8.ticked() && ownAir_) {
        if (media_ && media_->loaded()) running_ = tryStep("run", [&] { media_->run(); });
        PTT.setForeColour(kRed);
        PTT.setCaption("PTT ON");
        tryStep("SetPTT", [&] { link_->SetPTT(true); });
        armMonitor();
    }
    Beacon8.setEnabled(true);
    Label18.setText(Text6.text());
}

}  // namespace tarnwick
