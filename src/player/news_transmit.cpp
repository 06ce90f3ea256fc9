// Form1's transmit side: loading a slot's file, the transmit sequence, the playback monitor, the
// transmission supervisor with its timed breaks, and the STOP button.

#include <cmath>
#include <filesystem>

#include "player/news_player.h"
#include "player/play_file.h"
#include "player/player_text.h"
#include "runtime/runtime.h"
#include "toolbox/series_face.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"

namespace tarnwick {

namespace {

// Longest file the seek bar can show, in seconds (its maximum is a 16-bit whole number).
constexpr double kLongestFile = 32767.5;

bool isOrdinaryFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

// ---- Media player ----

void Form1::LoadFile(bool ReLoad) { loadSlot(ReLoad, true); }

void Form1::CleanUp() {
    playing_ = false;
    if (media_ && media_->loaded()) tryStep("release", [&] { media_->release(); });
}

void Form1::armMonitor() { Timer1.setEnabled(true); }

bool Form1::monitorIdle() const {
    return !playing_ && !Beacon8.enabled() && !Timer3.enabled() && EndDTMF == 0 && SayFile2 == 0 && SayFile3 == 0;
}

bool Form1::loadSlot(bool reload, bool allowDialog) {
    const PlaySlot* s = slot(PlayBox);
    if (!s) return false;
    if (!CurrentFile.empty() && !reload) return media_ && media_->loaded();

    std::string name = s->path->text();
    if (name.empty() && allowDialog && fileDialog_) tryStep("file dialog", [&] { name = fileDialog_(kFileFilter, ""); });
    const std::string linuxPath = name.empty() ? std::string() : mapWindowsPath(name);
    if (name.empty() || !isOrdinaryFile(linuxPath)) {
        ctx_.rt.messageBox("Error", "Please select a file", MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    s->path->setText(name);
    CurrentFile = name;
    CleanUp();

    const auto duration = renderForPlay(
        ctx_.rt, media_, mediaFactory_, linuxPath, "Form1 LoadFile",
        [](double d) { return d >= 0 && d < kLongestFile; }, "duration out of range");
    if (!duration) {
        CleanUp();
        return false;
    }
    // A new maximum may pull the bar's value down; that is the program moving it, not the operator
    // seeking in the new file.
    H1.setRange(0, static_cast<int>(std::nearbyint(*duration)));
    Text3.setText(FormatTime(*duration));
    return true;
}

void Form1::applyPreset(const CheckBox& use, const TextBox& level) {
    if (!use.ticked() || !media_ || !media_->loaded()) return;
    auto v = roundedNumber(level.text());
    if (!v || *v < -10000 || *v > 0) return;
    tryStep("preset volume", [&] { media_->setVolume(static_cast<int>(*v)); });
}

// ---- The transmit sequence ----

void Form1::TXFile() { transmit(false); }

void Form1::StartDTMF() {
    if (!Check3.ticked()) return;
    link_->SendDTMF(Text9.text());
    Sleep();
    Sleep();
    Sleep();
}

void Form1::Sleep() { ctx_.rt.blockingDelay(500); }

bool Form1::transmissionUnderWay() const { return Beacon8.enabled() || Timer3.enabled(); }

void Form1::setOnAir(bool on) {
    offPending_ = false;
    PTT.setForeColour(on ? kRed : kGreen);
    if (IPMode.ticked())
        PTT.setCaption(on ? "IP TX" : "IP RX");
    else
        PTT.setCaption(on ? "PTT ON" : "PTT OFF");
}

void Form1::unkey(Release how) {
    if (IPMode.ticked()) {
        setOnAir(false);
        return;
    }
    if (tryStep("SetPTT", [&] { link_->SetPTT(false, how); }))
        setOnAir(false);
    else
        offPending_ = true;
}

void Form1::showOff() {
    offPending_ = false;
    PTT.setForeColour(kGreen);
    PTT.setCaption("PTT OFF");
}

bool Form1::transmit(bool allowDialog) {
    // The series player's monitor releases the transmitter while its time used equals its length;
    // no time text equals this one.
    if (auto* series = ctx_.tools.face<SeriesPlayerFace>("Form12")) series->Text3.setText("00 00 00");
    SpeechFace* sp = speech();
    if (sp && sp->Check1.value() == 1) return false;

    CurrentFile.clear();
    bool loaded = false;
    tryStep("LoadFile", [&] { loaded = loadSlot(false, allowDialog); });
    // Nothing to play: key nothing, mark nothing, pause nothing.
    if (!loaded) return false;

    // A new file replaces whatever was on air, a pending break included.
    Timer3.setEnabled(false);
    Label18.setText(Text6.text());
    breakStoppedPlayback_ = false;

    Text2.setText("00:00:00");
    if (ListAsBusyCheck.ticked() && PlayBox < 14) tryStep("SetBusy", [&] { link_->SetBusy(true); });
    enableSpeechBeacon(false);
    if (DisconnectAll.ticked() && PlayBox < 14) {
        tryStep("DisconnectAllStations", [&] { link_->DisconnectAllStations(); });
        if (Check5.ticked()) {
            Sleep();
            Sleep();
            Sleep();
        }
    }
    enableDownloadSchedule(false);
    if (IPMode.ticked()) {
        setOnAir(true);
    } else {
        if (Check5.ticked()) {
            Sleep();
            Sleep();
        }
        setOnAir(true);
        if (sp && sp->FanCTRL.value() == 1) tryStep("FanOn", [&] { sp->FanOn(); });
        tryStep("SetPTT", [&] { link_->SetPTT(true); });
    }
    Beacon8.setEnabled(true);
    ctx_.rt.diag("PLAY", mapWindowsPath(CurrentFile));
    armMonitor();
    if (!tryStep("run", [&] { media_->run(); })) {
        // A player that cannot run is released, so the monitor ends the transmission at once.
        CleanUp();
        return true;
    }
    playing_ = true;
    tryStep("position", [&] { media_->setPosition(0); });
    return true;
}

// ---- Playback monitor ----

void Form1::monitorTick() {
    // The end of a file is handled once: a box that the chained file opens keeps this run waiting,
    // and the supervisor, which goes on meanwhile, must not start the chain a second time.
    // Nor does it run inside the supervisor's or the break timer's yield: a box the chained file opens
    // there would hold that tick, and with it the wrap-up, until someone answers it. Its own next tick,
    // 10 ms on, handles the end.
    if (inMonitor_ || yielding_) return;
    inMonitor_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{inMonitor_};
    const bool loaded = media_ && media_->loaded();
    if (loaded) {
        // End of stream or a playback error is the file's end, even short of its stated length.
        std::string error;
        bool ended = false;
        tryStep("ended", [&] { ended = media_->ended(&error); });
        if (ended) {
            if (!error.empty()) ctx_.rt.error("Form1 playback", error);
            Text2.setText(Text3.text());
        } else {
            // The times are brought up to date before the end test, so the tick that shows the end
            // also handles it (release, chaining, end digits) before the supervisor can wrap up.
            displayUpdate();
        }
    } else if (Beacon8.enabled()) {
        // On air with nothing loaded (the file was released): nothing is left to wait for.
        Text2.setText(Text3.text());
    }

    if (Text2.text() == Text3.text()) {
        CleanUp();
        if (SayFile2 == 1 && Check2.ticked()) {
            CurrentFile.clear();
            PlayBox = 11;
            EndDTMF = 1;
            tryStep("chain", [&] { transmit(false); });
            SayFile3 = 1;
            SayFile2 = 0;
            PlayBox = 0;
        }
        if (SayFile3 == 1 && Text2.text() == Text3.text()) {
            if (Check4.ticked()) tryStep("SendDTMF", [&] { link_->SendDTMF(Text10.text()); });
            SayFile3 = 0;
        }
        if (PlayBox != 0 && EndDTMF == 1 && Check4.ticked()) tryStep("SendDTMF", [&] { link_->SendDTMF(Text10.text()); });
        EndDTMF = 0;
    }
    // Nothing plays and nothing is due: the monitor sleeps until the next play wakes it.
    if (monitorIdle()) Timer1.setEnabled(false);
}

void Form1::displayUpdate() {
    if (!media_ || !media_->loaded()) return;
    tryStep("display", [&] {
        double position = media_->position();
        double duration = media_->duration();
        H1.setValue(static_cast<int>(std::nearbyint(position)));
        Text1.setText(FormatTime(duration - position));
        Text2.setText(FormatTime(position));
    });
}

// ---- Transmission supervisor and breaks ----

void Form1::yieldHere() {
    yielding_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{yielding_};
    ctx_.rt.yield();
}

void Form1::supervisorTick() {
    yieldHere();
    if (!Beacon8.enabled()) return;  // the transmission ended while we yielded
    if (positiveWhole(BeaconPeriod8.text()) == 0) BeaconPeriod8.setText("1");
    // Only the monitor handles the file's end (release, chaining, end digits), and it sets "Time Used"
    // to "Length" in the same run, so the wrap-up below never comes before it. The supervisor never
    // runs it: a box the chain opened would hold this tick. Should the monitor have been stopped, it
    // is started again.
    if (!Timer1.enabled()) armMonitor();

    if (Text2.text() == Text3.text()) {
        // The file has ended; a break due now is not made.
        wrapUp();
        return;
    }
    if (!StopClock8.ticked()) return;
    long long left = boxCount(BeaconSeconds8.text()) - 1;
    BeaconSeconds8.setText(std::to_string(left));
    if (left <= 0) startBreak();
}

void Form1::startBreak() {
    Timer3.setEnabled(true);
    Beacon8.setEnabled(false);
    if (!IPMode.ticked() && Check5.ticked()) Sleep();
    breakStoppedPlayback_ = false;
    if (media_ && media_->loaded())
        breakStoppedPlayback_ = tryStep("stop", [&] { media_->stop(); });
    playing_ = false;
    unkey(Release::Routine);
    enableDownloadSchedule(true);
    BeaconSeconds8.setText(std::to_string(positiveWhole(BeaconPeriod8.text()) * 60));
}

void Form1::breakTick() {
    yieldHere();
    if (!Timer3.enabled()) return;
    // A break always ends: a count that is no number, or at or below 0, resumes now.
    long long left = boxCount(Label18.text()) - 1;
    Label18.setText(std::to_string(left));
    if (left > 0) return;

    enableDownloadSchedule(false);
    Timer3.setEnabled(false);
    if (breakStoppedPlayback_ && media_ && media_->loaded()) playing_ = tryStep("run", [&] { media_->run(); });
    armMonitor();
    breakStoppedPlayback_ = false;
    setOnAir(true);
    if (!IPMode.ticked()) tryStep("SetPTT", [&] { link_->SetPTT(true); });
    Beacon8.setEnabled(true);
    Label18.setText(Text6.text());
}

void Form1::wrapUp() {
    if (!IPMode.ticked() && Check5.ticked()) Sleep();
    unkey(Release::Routine);
    enableDownloadSchedule(true);
    tryStep("SetBusy", [&] { link_->SetBusy(false); });
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    enableSpeechBeacon(true);
    if (DisconnectAll.ticked() && ConnectGroup.ticked()) {
        for (TextBox* box : {&GroupCall1, &GroupCall2, &GroupCall3}) {
            if (box->text().empty()) continue;
            const std::string call = upperCase(box->text());
            tryStep("group reconnect", [&] {
                if (!link_->IsConnectedTo(call)) link_->ConnectTo(call, true);
            });
        }
    }
    if (SayEndOfFileCheck.ticked())
        if (SpeechFace* sp = speech()) tryStep("SayEndOfFile", [&] { sp->SayEndOfFile(); });
}

void Form1::stopButton() {
    const bool underWay = transmissionUnderWay();
    if (media_ && media_->loaded()) tryStep("stop", [&] { media_->stop(); });
    playing_ = false;
    // The operator's STOP releases whatever holds the transmitter, in IP mode too.
    if (tryStep("SetPTT", [&] { link_->SetPTT(false, Release::Force); }))
        showOff();
    else
        offPending_ = true;
    // STOP ends the transmission: nothing resumes it, nothing follows it.
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    Label18.setText(Text6.text());
    breakStoppedPlayback_ = false;
    beaconsDue_ = {};
    SayFile2 = 0;
    SayFile3 = 0;
    EndDTMF = 0;
    tryStep("SetBusy", [&] { link_->SetBusy(false, Release::Force); });
    if (underWay) {
        enableSpeechBeacon(true);
        enableDownloadSchedule(true);
    }
}

}  // namespace tarnwick
