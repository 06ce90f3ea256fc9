// Form12's window: its controls, layout, settings file, start-up, closing and buttons.

#include "series/series_player.h"

#include "runtime/runtime.h"
#include "series/series_numbers.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

using namespace layout;
using series::leadingCount;
using series::numberText;

namespace {
constexpr const char* kSettingsFile = "seriesplayer.ini";
constexpr int kSettingsBuffer = 256;
}  // namespace

Form12::Form12(ToolContext& ctx, MediaPlayerFactory mediaFactory, OpenFileDialog fileDialog)
    : Tool(ctx, "Form12"),
      Timer1(ctx.rt, 10),
      Timer2(ctx.rt, 1000),
      Timer4(ctx.rt, 1000),
      TimerPTT(ctx.rt, 100),
      Beacon7(ctx.rt, 1000),
      Beacon8(ctx.rt, 1000),
      Timer3(ctx.rt, 1),
      mediaFactory_(std::move(mediaFactory)),
      fileDialog_(std::move(fileDialog)) {
    setFrameStyle(FrameStyle::FixedTool);
    setWindowCaption("Series Player");
    Timer2.setAlignedToSeconds(true);
    // The progress boxes show the file on air; the operator reads them, never types into them.
    for (TextBox* box : {&Text1, &Text2, &Text3}) box->setReadOnly(true);
    Timer4.setAlignedToSeconds(true);
    extension.add(mp3);
    extension.add(wav);
    mp3.setValue(true);
    EndNox.setVisible(false);
    PTT.setForeColour(kGreen);
    wireHandlers();
    buildLayout();
}

Form12::~Form12() = default;

void Form12::wireHandlers() {
    Command1.onClick = [this] { hide(); };
    Command2.onClick = [this] { stopButton(); };
    Command3.onClick = [this] { playButton(); };
    Command4.onClick = [this] { fileButton(); };
    Command5.onClick = [this] { resumeButton(); };
    Command6.onClick = [this] { SaveData(); };
    Command7.onClick = [this] { FileNumber.setText(StartNo.text()); };
    Command8.onClick = [this] { rotationStep(true); };
    SendCW.onClick = [this] { sendId(); };
    // Only the operator dragging the thumb seeks; the monitor moves the bar itself every 10 ms.
    H1.onScroll = [this] {
        if (media_ && media_->loaded()) tryStep("seek", [&] { media_->setPosition(H1.value()); });
        fileEnded_ = false;
        armMonitor();
    };
    onCloseRequest = [this] {
        // Closing this window ends the program without a question and without saving; nothing is
        // left keyed or listed as busy.
        if (link_) {
            tryStep("SetPTT", [&] { link_->SetPTT(false, Release::Force); });
            tryStep("SetBusy", [&] { link_->SetBusy(false, Release::Force); });
        }
        ctx_.rt.endProcess(0);
        return true;
    };

    // An emptied period or length box reads "0" and stops its timer; the inner change that writing
    // "0" raises runs first, so the outer run has the last word.
    BeaconPeriod7.onChange = [this] {
        if (BeaconPeriod7.text().empty()) {
            BeaconPeriod7.setText("0");
            Beacon7.setEnabled(false);
        } else {
            Beacon7.setEnabled(true);
        }
        BeaconSeconds7.setText(std::to_string(leadingCount(BeaconPeriod7.text()) * 60));
    };
    // Editing the break boxes never starts a break countdown or a break.
    BeaconPeriod8.onChange = [this] {
        if (BeaconPeriod8.text().empty()) {
            BeaconPeriod8.setText("0");
            Beacon8.setEnabled(false);
        }
        reloadBreakSeconds();
    };
    Text6.onChange = [this] {
        if (Text6.text().empty()) {
            Text6.setText("0");
            Timer3.setEnabled(false);
        }
        Label18.setText(Text6.text());
    };

    Timer1.onTick = [this] { monitorTick(); };
    Timer2.onTick = [this] { clockTick(); };
    Timer4.onTick = [this] { weeklyTick(); };
    TimerPTT.onTick = [this] { transmitterTick(); };
    Beacon7.onTick = [this] { identTick(); };
    Beacon8.onTick = [this] { breakCountdownTick(); };
    Timer3.onTick = [this] { breakTick(); };
}

void Form12::buildLayout() {
    layout_ = {
        row({ctl(Command1), ctl(Command6), frame("Player PTT", {ctl(PTT)}), ctl(ShowTime)}),
        row({ctl(txtFile, "File to play"), ctl(Command4), ctl(Command3), ctl(Command2), ctl(Command5)}),
        frame("Progress", {row({caption("Time Left :"), ctl(Text1), caption("Time Used :"), ctl(Text2),
                                caption("Length :"), ctl(Text3)}),
                           ctl(H1), row({caption("0%"), stretch(), caption("50%"), stretch(), caption("100%")})}),
        row({caption("Start"), ctl(StartNo), caption("End"), ctl(EndNo), ctl(EndNox), frame("Next File", {ctl(FileNumber)}),
             frame("Playing", {ctl(Playing)}), ctl(Label2)}),
        row({ctl(MyDir, "Series folder"), ctl(mp3), ctl(wav), ctl(LoopFiles)}),
        row({ctl(Command7), ctl(Command8)}),
        frame("Playing Options and Times -- Plays 15 Seconds After Time",
              {row({frame("Say File", {row({ctl(InfoHourly), ctl(InfoQuarter), ctl(InfoHalf)})}),
                    caption("Plays 15 Seconds After Time")}),
               row({ctl(Sun), ctl(Mon), ctl(Tue), ctl(Wed), ctl(Thur), ctl(Fri), ctl(Sat)}),
               frame("Hour 1 Mins -- Hour 2 Mins",
                     {row({ctl(Hour, "Hour"), caption(":"), ctl(Mins, "Minutes"), ctl(Text11, "Second hour"),
                           caption(":"), ctl(Text12, "Second minutes")})})}),
        row({ctl(DisconnectAll), ctl(ListAsBusyCheck)}),
        frame("CW Ident Callsign", {row({ctl(CWCallsign), ctl(SendCW), ctl(Check1)}),
                                    row({caption("ID Every"), ctl(BeaconPeriod7), ctl(BeaconSeconds7), ctl(StopClock7)})}),
        frame("Allow Breaks In Transmission. For Radios With Built In Time Out",
              {row({caption("Every"), ctl(BeaconPeriod8), caption("Mins    For "), ctl(Text6), caption("Milliseconds"),
                    ctl(StopClock8)}),
               row({caption("Sec       M/Sec"), ctl(BeaconSeconds8), ctl(Label18)})}),
    };
}

// ---- Settings ----

void Form12::buildSettings(SettingsTable& t) {
    t.text("STARTNO", StartNo, "1")
        .text("ENDNO", EndNo, "1")
        .text("TXTFILE", txtFile, "")
        .check("INFOHOURLY", InfoHourly, "0")
        .check("INFOQUARTER", InfoQuarter, "0")
        .check("INFOHALF", InfoHalf, "0")
        .check("SUN", Sun, "0")
        .check("MON", Mon, "0")
        .check("TUE", Tue, "0")
        .check("WED", Wed, "0")
        .check("THUR", Thur, "0")
        .check("FRI", Fri, "0")
        .check("SAT", Sat, "0")
        .text("HOUR", Hour, "24")
        .text("MINS", Mins, "00")
        .text("TEXT11", Text11, "24")
        .text("TEXT12", Text12, "00")
        .check("DISCONNECTALL", DisconnectAll, "0")
        .check("LISTASBUSYCHECK", ListAsBusyCheck, "0")
        .check("LOOPFILES", LoopFiles, "0")
        .text("MYDIR", MyDir, "C:\\")
        .text("TEXT6", Text6, "100")
        .text("BEACONPERIOD8", BeaconPeriod8, "2.5")
        .check("STOPCLOCK8", StopClock8, "0")
        .text("CWCALLSIGN", CWCallsign, "No Call")
        .text("BEACONPERIOD7", BeaconPeriod7, "15")
        .check("STOPCLOCK7", StopClock7, "0")
        .check("CHECK1", Check1, "0")
        .option("MP3", mp3, "1")
        .option("WAV", wav, "0");
}

bool Form12::SaveData() {
    SettingsTable table;
    buildSettings(table);
    return writeSettings(table, kSettingsFile, kSettingsBuffer, true);
}

// ---- Start-up and closing ----

void Form12::Form_Load() {
    link_ = std::make_unique<HostLink>(ctx_.hub, name());
    link_->Closing = [this] { onClosing(); };
    tryStep("SetPTT", [&] { link_->SetPTT(false); });
    tryStep("SetBusy", [&] { link_->SetBusy(false); });
    PTT.setForeColour(kGreen);
    PTT.setCaption("PTT OFF");
    setWindowCaption(toolCaption(readCallsign(*link_), kTitle));

    SettingsTable table;
    buildSettings(table);
    readSettings(table, kSettingsFile, kSettingsBuffer);
    // A stored text equal to a box's design text is no change of the box; the counts and timers
    // follow the boxes all the same.
    BeaconPeriod7.onChange();
    BeaconPeriod8.onChange();
    Text6.onChange();

    // The series starts again at its first number after every start.
    FileNumber.setText(StartNo.text());
    Beacon8.setEnabled(false);
    reloadBreakSeconds();

    ownAir_ = running_ = fileEnded_ = busyForStep_ = airBusy_ = false;
    clockMoments_ = {};
    weeklyMoments_ = {};
    Timer1.setEnabled(true);
    Timer2.setEnabled(true);
    Timer4.setEnabled(true);
    TimerPTT.setEnabled(true);
}

void Form12::Form_Unload() {
    for (Timer* t : {&Timer1, &Timer2, &Timer4, &TimerPTT, &Beacon7, &Beacon8, &Timer3}) t->setEnabled(false);
    CleanUp();
    link_.reset();
}

void Form12::exitCleanUp() {
    // Nothing goes on playing, or comes back from a break, while the program lets go of the node.
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    ownAir_ = false;
    CleanUp();
}

void Form12::onClosing() {
    // Each step is tried on its own; the hub ends the process once every tool has cleaned up.
    tryStep("SetPTT", [&] { link_->SetPTT(false, Release::Force); });
    tryStep("SetBusy", [&] { link_->SetBusy(false, Release::Force); });
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    CleanUp();
}

// ---- Buttons ----

void Form12::playButton() {
    if (DisconnectAll.ticked()) tryStep("DisconnectAllStations", [&] { link_->DisconnectAllStations(); });
    if (ListAsBusyCheck.ticked()) {
        tryStep("SetBusy", [&] { link_->SetBusy(true); });
        busyForStep_ = true;
    }
    CurrentFile.clear();
    tryStep("TXFile", [&] { transmit(true); });
}

void Form12::stopButton() {
    // Stop ends the transmission: nothing resumes it at the next break.
    if (media_ && media_->loaded()) tryStep("stop", [&] { media_->stop(); });
    running_ = false;
    ownAir_ = false;
    tryStep("SetPTT", [&] { link_->SetPTT(false, Release::Force); });
    tryStep("SetBusy", [&] { link_->SetBusy(false, Release::Force); });
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    reloadBreakSeconds();
    Label18.setText(Text6.text());
}

void Form12::resumeButton() {
    tryStep("SetPTT", [&] { link_->SetPTT(true); });
    tryStep("SetBusy", [&] { link_->SetBusy(true); });
    // Keyed from here on as this window's own transmission: with nothing to play it ends at once.
    ownAir_ = true;
    airBusy_ = true;
    fileEnded_ = false;
    if (media_ && media_->loaded()) running_ = tryStep("run", [&] { media_->run(); });
    armMonitor();
}

void Form12::fileButton() {
    std::string chosen;
    if (fileDialog_) tryStep("file dialog", [&] { chosen = fileDialog_(kFileFilter, txtFile.text()); });
    if (chosen.empty()) {
        // Cancelled: the box keeps the path it had.
        ctx_.rt.messageBox("Error", "Please select a file", MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    txtFile.setText(chosen);
    // The file on air stays on air; the chosen file plays at the next Play.
    if (ownAir_) return;
    CurrentFile.clear();
    tryStep("LoadFile", [&] { loadFile(true, false); });
    armMonitor();
}

void Form12::sendId() {
    if (CWCallsign.text().empty()) CWCallsign.setText(" ");
    tryStep("SendCWText", [&] { link_->SendCWText(0, CWCallsign.text()); });
}

// ---- Helpers ----

SpeechFace* Form12::speech() const { return ctx_.tools.face<SpeechFace>("Form3"); }

void Form12::reloadBreakSeconds() {
    BeaconSeconds8.setText(numberText(series::leadingValue(BeaconPeriod8.text()) * 60));
}

}  // namespace tarnwick
