// Form1's window: its controls, layout, settings file, start-up, buttons and host events.

#include "player/news_player.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>

#include "player/player_text.h"
#include "runtime/runtime.h"
#include "toolbox/download_face.h"
#include "toolbox/dtmf_face.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

using namespace layout;

Form1::Form1(ToolContext& ctx, MediaPlayerFactory mediaFactory, OpenFileDialog fileDialog)
    : Tool(ctx, "Form1"),
      PlayerFace(ctx.rt),
      Timer1(ctx.rt, 10),
      Timer2(ctx.rt, 1000),
      Beacon1(ctx.rt, 1000),
      Beacon2(ctx.rt, 1000),
      Beacon3(ctx.rt, 1000),
      Beacon7(ctx.rt, 1000),
      mediaFactory_(std::move(mediaFactory)),
      fileDialog_(std::move(fileDialog)) {
    Timer2.setAlignedToSeconds(true);
    buildFilePlayer();
    // The progress boxes show the file on air; the operator reads them, never types into them.
    for (TextBox* box : {&Text1, &Text2, &Text3}) box->setReadOnly(true);

    slots_ = {
        {3, &Text4, &UseSetVol4, &VolSet4},
        {2, &Text5, &UseSetVol3, &VolSet3},
        {1, &Text7, &UseSetVol, &VolSet},
        {11, &Text8, &UseSetVol2, &VolSet2},
        {14, &Text14},
        {15, &Text15},
        {16, &Text16},
    };
    for (int s = 41; s <= 60; ++s) slots_.push_back({s, &filePlayerPath(s)});

    plans_ = {{
        {3, {&Sun3, &Mon3, &Tue3, &Wed3, &Thur3, &Fri3, &Sat3}, {&Hour3, &Hour3b}, {&Mins3, &Mins3b}},
        {2, {&Sun2, &Mon2, &Tue2, &Wed2, &Thur2, &Fri2, &Sat2}, {&Hour2, &Hour2b}, {&Mins2, &Mins2b}},
        {1, {&Sun, &Mon, &Tue, &Wed, &Thur, &Fri, &Sat}, {&Hour, &Text11}, {&Mins, &Text12}},
    }};
    countdowns_ = {{
        {&BeaconPeriod1, &BeaconSeconds1, &StopClock1, &Beacon1},
        {&BeaconPeriod2, &BeaconSeconds2, &StopClock2, &Beacon2},
        {&BeaconPeriod3, &BeaconSeconds3, &StopClock3, &Beacon3},
        {&BeaconPeriod7, &BeaconSeconds7, &StopClock7, &Beacon7},
    }};

    // Hour and minute boxes take two typed characters, as the clock writes them, centred.
    for (TextBox* b :
         {&Hour3, &Mins3, &Hour3b, &Mins3b, &Hour2, &Mins2, &Hour2b, &Mins2b, &Hour, &Mins, &Text11, &Text12}) {
        b->setMaxLength(2);
        b->setCentred(true);
    }

    wireHandlers();
    buildLayout();
}

Form1::~Form1() = default;

void Form1::buildFilePlayer() {
    for (int s = 41; s <= 60; ++s) {
        int pathNo = s <= 57 ? s : s - 40;  // slots 58 to 60 keep their paths in Text18 to Text20
        int playNo = s <= 50 ? 81 - s : 101 - s;
        fpCode_.push_back(std::make_unique<TextBox>("Text" + std::to_string(s - 20), "", "Enter DTMF to Play File"));
        fpPath_.push_back(std::make_unique<TextBox>("Text" + std::to_string(pathNo), "", kPathTip));
        fpFile_.push_back(std::make_unique<CommandButton>("Command" + std::to_string(s + 10), "File", kFileTip));
        fpPlay_.push_back(std::make_unique<CommandButton>("Command" + std::to_string(playNo), " ",
                                                          "Play the entered URL with PTT"));
    }
}

void Form1::wireHandlers() {
    // Play slots.
    Command3.onClick = [this] { fileButton(3); };
    Command6.onClick = [this] { fileButton(2); };
    Command12.onClick = [this] { fileButton(1); };
    Command15.onClick = [this] { fileButton(11); };
    Command22.onClick = [this] { fileButton(14); };
    Command23.onClick = [this] { fileButton(15); };
    Command24.onClick = [this] { fileButton(16); };
    Command1.onClick = [this] { newsPlay(3); };
    Command7.onClick = [this] { newsPlay(2); };
    Command13.onClick = [this] { newsPlay(1); };
    Command21.onClick = [this] { newsPlay(11); };
    Command25.onClick = [this] { beaconPlay(14, false); };
    Command26.onClick = [this] { beaconPlay(15, false); };
    Command27.onClick = [this] { beaconPlay(16, false); };
    for (int s = 41; s <= 60; ++s) {
        filePlayerFile(s).onClick = [this, s] { fileButton(s); };
        filePlayerPlay(s).onClick = [this, s] { playFilePlayer(s); };
    }
    Command17.onClick = [this] { Text4.setText("C:\\News1.mp3"); };
    Command19.onClick = [this] { Text5.setText("C:\\News2.mp3"); };
    Command18.onClick = [this] { Text7.setText("C:\\News3.mp3"); };
    Command20.onClick = [this] { Text8.setText("C:\\News4.mp3"); };

    // Other buttons.
    Command2.onClick = [this] { stopButton(); };
    Command4.onClick = [this] { SaveData(); };
    Command5.onClick = [this] { hide(); };
    Command29.onClick = [this] {
        if (SpeechFace* s = speech()) tryStep("Test Audio", [&] { s->kellow(); });
    };
    Command16.onClick = [this] {
        if (Tool* t = ctx_.tools.find("Form13")) tryStep("Timed MP3 Downloads", [&] { t->show(); });
    };
    SendCW.onClick = [this] { sendId(); };
    onCloseRequest = [this] { return closeRequest(); };

    // Volume sliders: each writes its preset box and sets the volume of whatever file is loaded.
    auto slider = [this](ScrollBar& bar, TextBox& box) {
        bar.onChange = [this, &bar, &box] {
            box.setText(std::to_string(bar.value()));
            if (media_ && media_->loaded()) tryStep("volume", [&] { media_->setVolume(bar.value()); });
        };
    };
    // An arrow moves a volume slider half a decibel; a track click 5 dB on the first two and one
    // hundredth on the others, as the window has always had them.
    V1.setSteps(50, 500);
    V2.setSteps(50, 500);
    V3.setSteps(50, 1);
    V4.setSteps(50, 1);
    slider(V1, VolSet);
    slider(V2, VolSet2);
    slider(V3, VolSet3);
    slider(V4, VolSet4);

    // Only the operator dragging the thumb seeks; arrows and track clicks just move the bar until the
    // next display update puts it back at the play position.
    H1.onScroll = [this] {
        if (media_ && media_->loaded()) tryStep("seek", [&] { media_->setPosition(H1.value()); });
    };

    // Countdown period boxes.
    for (Countdown& c : countdowns_) c.period->onChange = [this, &c] { periodRule(c); };
    Beacon1.onTick = [this] { beaconTick(0); };
    Beacon2.onTick = [this] { beaconTick(1); };
    Beacon3.onTick = [this] { beaconTick(2); };
    Beacon7.onTick = [this] { cwTick(); };

    // Transmit breaks: editing the boxes only refreshes their counts.
    BeaconPeriod8.onChange = [this] {
        if (BeaconPeriod8.text().empty()) BeaconPeriod8.setText("0");
        BeaconSeconds8.setText(std::to_string(positiveWhole(BeaconPeriod8.text()) * 60));
    };
    Text6.onChange = [this] {
        if (Text6.text().empty()) Text6.setText("0");
        Label18.setText(Text6.text());
    };

    Timer1.onTick = [this] { monitorTick(); };
    Timer2.onTick = [this] { schedulerTick(); };
    Beacon8.onTick = [this] { supervisorTick(); };
    Timer3.onTick = [this] { breakTick(); };
}

void Form1::buildLayout() {
    const char* mediaTypes = "   -  mp3  - mp2 -  wav - avi - mid";
    auto days = [](const NewsPlan& p) {
        std::vector<LayoutItem> r;
        for (CheckBox* d : p.days) r.push_back(ctl(*d));
        return row(std::move(r));
    };
    // `slot` names the frame's slider and time boxes for a screen reader ("Audio File 1 hour"): the
    // frame's caption lists media types.
    auto newsFrame = [&](const std::string& slot, TextBox& path, CommandButton& file, CommandButton& play,
                         CommandButton& def, CheckBox& useVol, TextBox& volSet, ScrollBar& bar, const NewsPlan& plan,
                         TextBox& code, std::vector<LayoutItem> extra) {
        std::vector<LayoutItem> items = {
            row({ctl(path), ctl(file), ctl(play), ctl(def)}),
            row({ctl(useVol), ctl(volSet), ctl(bar, slot + " volume")}),
            days(plan),
            row({ctl(*plan.hour[0], slot + " hour"), caption(":"), ctl(*plan.mins[0], slot + " minutes"),
                 frame("Hour 1 Mins -- Hour 2 Mins", {row({ctl(*plan.hour[1], slot + " second hour"), caption(":"),
                                                           ctl(*plan.mins[1], slot + " second minutes")})}),
                 frame("DTMF", {ctl(code)})}),
        };
        for (auto& e : extra) items.push_back(std::move(e));
        return frame(slot + mediaTypes, std::move(items));
    };

    std::vector<LayoutItem> fileRows;
    for (int i = 0; i < 10; ++i) {
        int l = 41 + i, r = 51 + i;
        fileRows.push_back(row({ctl(filePlayerCode(l)), ctl(filePlayerPath(l)), ctl(filePlayerFile(l)),
                                ctl(filePlayerPlay(l)), ctl(filePlayerCode(r)), ctl(filePlayerPath(r)),
                                ctl(filePlayerFile(r)), ctl(filePlayerPlay(r))}));
    }
    auto beaconFrame = [&](int n, TextBox& path, CommandButton& file, CommandButton& play, TextBox& period,
                           Label& seconds, CheckBox& use) {
        return frame("Beacon " + std::to_string(n) + " Audio File  -  mp3  - mp2 -  wav - avi - mid",
                     {row({ctl(path), ctl(file), ctl(play), ctl(period), ctl(seconds), ctl(use)})});
    };

    layout_ = {
        row({ctl(Command4), ctl(Command5), frame("MP3 PTT", {row({ctl(ShowTime), ctl(PTT)})}),
             frame("Progress", {row({caption("Length :"), ctl(Text3), caption("Time Used :"), ctl(Text2),
                                     caption("Time Left :"), ctl(Text1)}),
                                ctl(H1), row({caption("0%"), stretch(), caption("50%"), stretch(), caption("100%")})})}),
        tabs({
            tab("News File Player",
                // Two columns, so the window fits a small screen: Audio Files 1 and 2 on the left,
                // Audio File 3 with its 2nd File on the right.
                {row({frame("", {newsFrame("Audio File 1", Text4, Command3, Command1, Command17, UseSetVol4, VolSet4,
                                           V4, plans_[0], DTMFInfo3, {}),
                                 newsFrame("Audio File 2", Text5, Command6, Command7, Command19, UseSetVol3, VolSet3,
                                           V3, plans_[1], DTMFInfo2, {})}),
                      frame("", {newsFrame("Audio File 3", Text7, Command12, Command13, Command18, UseSetVol, VolSet,
                                           V1, plans_[2], DTMFInfo,
                                           {caption("2nd File -- Can Be Sent After Audio File 3 If Option Ticked"),
                                            row({ctl(Text8), ctl(Command15), ctl(Command21), ctl(Command20)}),
                                            row({ctl(UseSetVol2), ctl(VolSet2), ctl(V2, "2nd File volume")}),
                                            ctl(Check2)}),
                                 stretch()})}),
                 frame("Warning of disconnection before news  ------  Files transmitted 15 seconds after allotted "
                       "time to allow for beacons",
                       {row({ctl(WarnCheck), ctl(Warn), caption("Minute"), ctl(Label6),
                             ctl(WarnText, "Warning sentence")})}),
                 row({caption("Start of TX DTMF"), ctl(Text9), ctl(Check3), caption("End of TX DTMF"), ctl(Text10),
                      ctl(Check4)}),
                 row({ctl(Command29), ctl(Command16), ctl(Command2)})}),
            tab("Beacons and Help File Player",
                {beaconFrame(1, Text14, Command22, Command25, BeaconPeriod1, BeaconSeconds1, StopClock1),
                 beaconFrame(2, Text15, Command23, Command26, BeaconPeriod2, BeaconSeconds2, StopClock2),
                 beaconFrame(3, Text16, Command24, Command27, BeaconPeriod3, BeaconSeconds3, StopClock3),
                 frame("File Player", std::move(fileRows))}),
            tab("CW Ident  -  Node Status  -  Connect Groups",
                {frame("Node Status During News TX",
                       {ctl(Check5), ctl(ListAsBusyCheck), ctl(DisconnectAll), ctl(IPMode), ctl(SayEndOfFileCheck)}),
                 frame("User Group", {row({ctl(GroupCall1), ctl(GroupCall2), ctl(GroupCall3)}), ctl(ConnectGroup)}),
                 frame("CW Ident Callsign", {row({ctl(CWCallsign), ctl(SendCW), ctl(Check1)}),
                                             row({ctl(Label14), ctl(BeaconPeriod7), ctl(BeaconSeconds7),
                                                  ctl(StopClock7)})}),
                 frame("Allow Breaks In Transmission. For Radios With Built In Time Out",
                       {row({caption("Every"), ctl(BeaconPeriod8), caption("Mins    For "), ctl(Text6),
                             caption("Milliseconds"), ctl(StopClock8)}),
                        row({caption("Sec       M/Sec"), ctl(BeaconSeconds8), ctl(Label18)})}),
                 frame("News Player Additions", {})}),
        }),
    };
}

// ---- Settings ----

void Form1::buildSettings(SettingsTable& t) {
    auto plan = [&](const std::string& suffix, std::array<CheckBox*, 7> d, TextBox& h1, TextBox& m1, TextBox& h2,
                    TextBox& m2, const std::string& h2Key, const std::string& m2Key) {
        static const char* names[] = {"SUN", "MON", "TUE", "WED", "THUR", "FRI", "SAT"};
        for (int i = 0; i < 7; ++i) t.check(names[i] + suffix, *d[i], "0");
        t.text("HOUR" + suffix, h1, "24").text("MINS" + suffix, m1, "00").text(h2Key, h2, "24").text(m2Key, m2, "00");
    };

    t.check("SAYENDOFFILECHECK", SayEndOfFileCheck, "1")
        .check("CHECK5", Check5, "0")
        .text("TEXT14", Text14, "")
        .text("TEXT15", Text15, "")
        .text("TEXT16", Text16, "")
        .check("WARNCHECK", WarnCheck, "0")
        .text("WARN", Warn, "1")
        .text("WARNTEXT", WarnText, "Warning Auto Disconnect For Local News.")
        .textInCapitals("GROUPCALL1", GroupCall1, "")
        .textInCapitals("GROUPCALL2", GroupCall2, "")
        .textInCapitals("GROUPCALL3", GroupCall3, "")
        .check("CONNECTGROUP", ConnectGroup, "0")
        .text("BEACONPERIOD1", BeaconPeriod1, "15")
        .text("BEACONPERIOD2", BeaconPeriod2, "15")
        .text("BEACONPERIOD3", BeaconPeriod3, "15")
        .check("STOPCLOCK1", StopClock1, "0")
        .check("STOPCLOCK2", StopClock2, "0")
        .check("STOPCLOCK3", StopClock3, "0")
        .check("IPMODE", IPMode, "0")
        .check("USESETVOL", UseSetVol, "0")
        .text("VOLSET", VolSet, "0")
        .check("USESETVOL2", UseSetVol2, "0")
        .text("VOLSET2", VolSet2, "0")
        .check("USESETVOL3", UseSetVol3, "0")
        .text("VOLSET3", VolSet3, "0")
        .check("USESETVOL4", UseSetVol4, "0")
        .text("VOLSET4", VolSet4, "0")
        .check("DISCONNECTALL", DisconnectAll, "0")
        .check("CHECK2", Check2, "0")
        .check("CHECK3", Check3, "0")
        .check("CHECK4", Check4, "0")
        .text("TEXT8", Text8, "C:\\News4.mp3")
        .text("TEXT9", Text9, "1234")
        .text("TEXT10", Text10, "4321")
        .text("TEXT6", Text6, "50")
        .text("BEACONPERIOD8", BeaconPeriod8, "50")
        .check("STOPCLOCK8", StopClock8, "0")
        .check("LISTASBUSYCHECK", ListAsBusyCheck, "0")
        .check("STOPCLOCK7", StopClock7, "0")
        .check("CHECK1", Check1, "0")
        .text("BEACONPERIOD7", BeaconPeriod7, "15")
        .text("CWCALLSIGN", CWCallsign, " ")
        .text("TEXT4", Text4, "C:\\News1.mp3");
    plan("3", plans_[0].days, Hour3, Mins3, Hour3b, Mins3b, "HOUR3b", "MINS3b");
    t.text("DTMFInfo3", DTMFInfo3, "AA", "DTMFINFO3").text("TEXT5", Text5, "C:\\News2.mp3");
    plan("2", plans_[1].days, Hour2, Mins2, Hour2b, Mins2b, "HOUR2b", "MINS2b");
    t.text("DTMFInfo2", DTMFInfo2, "BB", "DTMFINFO2").text("TEXT7", Text7, "C:\\News3.mp3");
    plan("", plans_[2].days, Hour, Mins, Text11, Text12, "TEXT11", "TEXT12");
    t.text("DTMFInfo", DTMFInfo, "CC", "DTMFINFO");
    // TEXT21 to TEXT40 are the File Player's codes, TEXT41 to TEXT57 its first seventeen paths.
    for (int n = 21; n <= 57; ++n) t.text("TEXT" + std::to_string(n), n <= 40 ? filePlayerCode(n + 20) : filePlayerPath(n), "");
    for (int n = 18; n <= 20; ++n) t.text("TEXT" + std::to_string(n), filePlayerPath(n + 40), "");
    t.windowPosition(*this);
}

bool Form1::SaveData() {
    SettingsTable table;
    buildSettings(table);
    return writeSettings(table, "brannock.ini", 256, true);
}

// ---- Start-up ----

void Form1::Form_Load() {
    link_ = std::make_unique<HostLink>(ctx_.hub, "Form1");
    beaconsDue_ = {};
    link_->DTMFString = [this](const std::string& d) { onDTMF(d); };
    link_->ChatTextReceived = [this](const std::string& t) { onChat(t); };
    link_->Closing = [this] { onClosing(); };
    link_->ReleaseDone = [this](const std::string& op) {
        if (op == "SetPTT" && offPending_) showOff();
    };

    std::string call;
    tryStep("GetCallsign", [&] { call = link_->GetCallsign(); });
    setWindowCaption(toolCaption(call, kTitle));
    tryStep("SetPTT", [&] { link_->SetPTT(false); });
    tryStep("SetDTR", [&] { link_->SetDTR(false); });

    PTT.setForeColour(kGreen);
    PTT.setCaption("PTT OFF");
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    breakStoppedPlayback_ = false;
    PlayBox = 0;

    SettingsTable table;
    buildSettings(table);
    readSettings(table, "brannock.ini", 256);

    // A stored text equal to the box's design text is no change of the box; the counts follow the
    // boxes all the same, so every countdown starts from its full period.
    for (Countdown& c : countdowns_) periodRule(c);
    BeaconPeriod8.onChange();
    Text6.onChange();

    BeaconPlay = 0;
    SayFile2 = 0;
    SayFile3 = 0;
    EndDTMF = 0;

    // Each slider takes its preset box's whole number; its change handler writes it back.
    std::pair<ScrollBar*, TextBox*> sliders[] = {{&V1, &VolSet}, {&V2, &VolSet2}, {&V3, &VolSet3}, {&V4, &VolSet4}};
    for (auto [bar, box] : sliders) {
        if (auto v = roundedNumber(box->text())) bar->setValue(static_cast<int>(std::clamp(*v, -3000LL, 0LL)));
    }

    scheduleMoments_ = {};
    fired_.clear();
    Timer1.setEnabled(true);
    Timer2.setEnabled(true);
}

void Form1::Form_Unload() {
    for (Timer* t : {&Timer1, &Timer2, &Beacon1, &Beacon2, &Beacon3, &Beacon7, &Beacon8, &Timer3}) t->setEnabled(false);
    CleanUp();
    link_.reset();
}

void Form1::exitCleanUp() {
    // Nothing goes on playing, or comes back from a break, while the program lets go of the node.
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    CleanUp();
}

// ---- Buttons ----

void Form1::fileButton(int slotNumber) {
    const PlaySlot* s = slot(slotNumber);
    if (!s) return;
    std::string chosen;
    if (fileDialog_) tryStep("file dialog", [&] { chosen = fileDialog_(kFileFilter, s->path->text()); });
    if (chosen.empty()) {
        // The box keeps the path it had.
        ctx_.rt.messageBox("Error", "Please select a file", MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    s->path->setText(chosen);
    // The file on air stays on air; the new path is used at the slot's next play.
    if (transmissionUnderWay()) return;
    PlayBox = slotNumber;
    tryStep("LoadFile", [&] { loadSlot(true, false); });
    displayUpdate();
}

void Form1::newsPlay(int slotNumber) {
    CurrentFile.clear();
    PlayBox = slotNumber;
    tryStep("StartDTMF", [&] { StartDTMF(); });
    EndDTMF = 1;
    armMonitor();
    tryStep("TXFile", [&] { transmit(true); });
    const PlaySlot* s = slot(slotNumber);
    if (s && s->useVol) applyPreset(*s->useVol, *s->volSet);
}

void Form1::beaconTick(int beacon) {
    if (countdownStep(countdowns_[beacon])) beaconsDue_[static_cast<std::size_t>(beacon)] = true;
    if (!beaconsDue_[static_cast<std::size_t>(beacon)]) return;
    // A countdown never breaks into the player's own transmission (in IP mode or in a break either):
    // the whole beacon, start digits included, goes on air once that transmission has ended, and
    // beacons due together go one after another in beacon order.
    if (transmissionUnderWay()) return;
    // An earlier beacon whose count reaches 0 at its next tick is due together with this one.
    for (int earlier = 0; earlier < beacon; ++earlier) {
        const Countdown& c = countdowns_[static_cast<std::size_t>(earlier)];
        if (beaconsDue_[static_cast<std::size_t>(earlier)]) return;
        if (c.timer->enabled() && c.use->value() != 0 && boxCount(c.seconds->text()) == 1) return;
    }
    beaconsDue_[static_cast<std::size_t>(beacon)] = false;
    beaconPlay(14 + beacon, true);
}

void Form1::beaconPlay(int slotNumber, bool fromCountdown) {
    if (fromCountdown) {
        // A carrier drops the beacon; the next attempt comes a full period later.
        bool carrier = false;
        tryStep("IsCarrierDetected", [&] { carrier = link_->IsCarrierDetected(); });
        if (carrier) return;
    }
    CurrentFile.clear();
    PlayBox = slotNumber;
    tryStep("StartDTMF", [&] { StartDTMF(); });
    EndDTMF = 1;
    armMonitor();
    if (PTT.caption() == "PTT ON") return;
    bool onAir = false;
    tryStep("TXFile", [&] { onAir = transmit(!fromCountdown); });
    if (onAir) BeaconPlay = 1;
}

void Form1::playFilePlayer(int slotNumber) {
    CurrentFile.clear();
    PlayBox = slotNumber;
    if (SpeechFace* s = speech()) s->flag3 = 0;
    tryStep("StartDTMF", [&] { StartDTMF(); });
    EndDTMF = 1;
    armMonitor();
    tryStep("TXFile", [&] { transmit(true); });
}

void Form1::sendId() {
    if (CWCallsign.text().empty()) CWCallsign.setText(" ");
    if (announcementsDisabled()) return;
    tryStep("Send ID", [&] {
        if (!link_->IsCarrierDetected()) link_->SendCWText(0, CWCallsign.text());
    });
}

bool Form1::closeRequest() {
    MsgAnswer a = ctx_.rt.messageBox("Exit Program", "Quit - Remember to save your settings - Are You Sure ? ",
                                     MsgButtons::YesNo, MsgIcon::Question);
    if (a != MsgAnswer::Yes) return false;
    PTT.setCaption("PTT OFF");
    tryStep("SetPTT", [&] { link_->SetPTT(false, Release::Force); });
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    tryStep("SetBusy", [&] { link_->SetBusy(false, Release::Force); });
    ctx_.rt.endProcess(0);
    return true;
}

// ---- Host events ----

void Form1::onDTMF(const std::string& digits) {
    if (auto* dtmf = ctx_.tools.face<DtmfControlFace>("Form4"); dtmf && dtmf->Check1.value() == 0) return;
    std::vector<std::pair<TextBox*, int>> rows = {{&DTMFInfo3, 3}, {&DTMFInfo2, 2}, {&DTMFInfo, 1}};
    for (int s = 41; s <= 60; ++s) rows.push_back({&filePlayerCode(s), s});
    for (auto [box, s] : rows) {
        // An empty code box stands for no code.
        if (box->text().empty() || box->text() != digits) continue;
        CurrentFile.clear();
        PlayBox = s;
        if (s >= 41)
            if (SpeechFace* sp = speech()) sp->flag3 = 0;
        tryStep("DTMF play", [&] { transmit(false); });
    }
}

void Form1::onChat(const std::string& text) {
    if (text.find("/ver/") == std::string::npos) return;
    tryStep("SendChatText", [&] {
        link_->SendChatText(std::string(kProductName) + " " + " v" + std::to_string(kVersionMajor) + "." +
                            std::to_string(kVersionMinor));
    });
}

void Form1::onClosing() {
    // Each step is tried on its own; the hub ends the process once every tool has cleaned up.
    tryStep("SetPTT", [&] { link_->SetPTT(false, Release::Force); });
    tryStep("SetDTR", [&] { link_->SetDTR(false, Release::Force); });
    Beacon8.setEnabled(false);
    Timer3.setEnabled(false);
    CleanUp();
}

// ---- Helpers ----

SpeechFace* Form1::speech() const { return ctx_.tools.face<SpeechFace>("Form3"); }

bool Form1::announcementsDisabled() const {
    SpeechFace* s = speech();
    return s && s->Check1.value() == 1;
}

void Form1::enableDownloadSchedule(bool on) {
    if (auto* d = ctx_.tools.face<DownloaderFace>("Form13")) d->Beacon4.setEnabled(on);
}

void Form1::enableSpeechBeacon(bool on) {
    if (SpeechFace* s = speech()) s->Beacon3.setEnabled(on);
}

const Form1::PlaySlot* Form1::slot(int number) const {
    for (const PlaySlot& s : slots_)
        if (s.number == number) return &s;
    return nullptr;
}

}  // namespace tarnwick
