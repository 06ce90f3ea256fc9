// Form4's window: its controls, layout, settings file, start-up, buttons and quit prompt.

#include "dtmf/dtmf_control.h"

#include "runtime/runtime.h"
#include "toolbox/conference_face.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

namespace {

// The system's tool-tip background (callsign, time and local-time boxes) and the light yellow of
// the code boxes, as 0xBBGGRR.
constexpr Colour kToolTipBack = 0xE1FFFF;
constexpr Colour kLightYellow = 0xC0FFFF;

// Puts a stored text into a box as an edit of it: the box's change handling runs also when the
// text equals what the box shows, so every count follows its box from the start.
void loadText(TextBox& box, const std::string& v) {
    if (box.text() == v) {
        if (box.onChange) box.onChange();
    } else {
        box.setText(v);
    }
}

// A stored check-box state: "0" and "1" as they stand; any other number above 0 ticks the box.
int storedCheck(const std::string& v) { return leadingNumber(v).value_or(0) > 0 ? 1 : 0; }

}  // namespace

Form4::Form4(ToolContext& ctx)
    : Tool(ctx, "Form4"),
      DtmfControlFace(ctx.rt),
      Timer1(ctx.rt, 1000),
      Timer3(ctx.rt, 1000),
      Timer4(ctx.rt, 1000),
      Timer5(ctx.rt, 1000),
      Timer6(ctx.rt, 1000),
      Timer2(ctx.rt, 1000) {
    setFrameStyle(FrameStyle::FixedTool);
    Timer2.setAlignedToSeconds(true);
    nets_ = {{
        {1, {&Sun, &Mon, &Tue, &Wed, &Thur, &Fri, &Sat}, &Hour, &Mins, &NetCall1, &DisconnectAll1, &ShowBusy1,
         &DiscMins1, &Check3, &DiscPeriod1, &Timer3, true},
        {2, {&Sun2, &Mon2, &Tue2, &Wed2, &Thur2, &Fri2, &Sat2}, &Hour2, &Mins2, &NetCall2, &DisconnectAll2,
         &ShowBusy2, &DiscMins2, &Check2, &DiscPeriod2, &Timer4, false},
        {3, {&Sun3, &Mon3, &Tue3, &Wed3, &Thur3, &Fri3, &Sat3}, &Hour3, &Mins3, &NetCall3, &DisconnectAll3,
         &ShowBusy3, &DiscMins3, &Check11, &DiscPeriod3, &Timer5, false},
        {4, {&Sun4, &Mon4, &Tue4, &Wed4, &Thur4, &Fri4, &Sat4}, &Hour4, &Mins4, &NetCall4, &DisconnectAll4,
         &ShowBusy4, &DiscMins4, &Check20, &DiscPeriod4, &Timer6, true},
    }};
    singles_ = {{
        {&Call1, &DTMF1, &Command7, true},
        {&Call2, &DTMF2, &Command8, true},
        {&Call3, &DTMF3, &Command9, true},
        {&Call4, &DTMF4, &Command10, false},
        {&Call5, &DTMF5, &Command11, false},
        {&Call6, &DTMF6, &Command12, false},
        {&Call7, &DTMF7, &Command13, false},
        {&Call8, &DTMF8, &Command15, false},
    }};
    group1_ = {&GroupCall1, &GroupCall2, &GroupCall3};
    group2_ = {&GroupCall4, &GroupCall5, &GroupCall6};

    for (Net& n : nets_) {
        n.hour->setMaxLength(2);
        n.mins->setMaxLength(2);
        for (TextBox* b : {n.hour, n.mins, n.discMins}) b->setCentred(true);
    }
    for (TextBox* b : {&LastConnected, &BeaconPeriod, &DTMFDelaySeconds}) b->setCentred(true);
    for (TextBox* b : {&Call1, &Call2, &Call3, &Call4, &Call5, &Call6, &Call7, &Call8, &GroupCall1, &GroupCall2,
                       &GroupCall3, &GroupCall4, &GroupCall5, &GroupCall6, &NetCall1, &NetCall2, &NetCall3, &NetCall4,
                       &Hour, &Mins, &Hour2, &Mins2, &Hour3, &Mins3, &Hour4, &Mins4, &DTMF})
        b->setBackColour(kToolTipBack);
    for (TextBox* b : {&DTMF1, &DTMF2, &DTMF3, &DTMF4, &DTMF5, &DTMF6, &DTMF7, &DTMF8, &DTMFGroup1Connect,
                       &DTMFGroup1Disc, &DTMFGroup2Connect, &DTMFGroup2Disc, &Text111, &Text222, &Text333, &Text555,
                       &Text1111, &Text2222, &BeaconPeriod, &DTMFDelaySeconds, &LastConnected})
        b->setBackColour(kLightYellow);

    wireHandlers();
    buildLayout();
}

Form4::~Form4() = default;

void Form4::wireHandlers() {
    for (Single& s : singles_) s.button->onClick = [this, &s] { toggleStation(*s.call, s.buttonInCapitals); };
    Command3.onClick = [this] { connectGroup(group1_); };
    Command4.onClick = [this] { disconnectGroup(group1_); };
    Command5.onClick = [this] { connectGroup(group2_); };
    Command6.onClick = [this] { disconnectGroup(group2_); };
    for (CommandButton* b : {&Command14, &Command2}) b->onClick = [this] { SaveData(); };
    for (CommandButton* b : {&Command16, &Command1}) b->onClick = [this] { hide(); };
    onCloseRequest = [this] { return closeRequest(); };

    BeaconPeriod.onChange = [this] { BeaconPeriod_Change(); };
    DTMFDelaySeconds.onChange = [this] { DTMFDelaySeconds_Change(); };
    Timer1.onTick = [this] { Timer1_Timer(); };
    DTMFDelay.onTick = [this] { DTMFDelay_Timer(); };
    Timer2.onTick = [this] { Timer2_Timer(); };
    for (Net& n : nets_) {
        n.discMins->onChange = [this, &n] { DiscMins_Change(n); };
        n.timer->onTick = [this, &n] { countdownTick(n); };
    }
}

void Form4::buildLayout() {
    using namespace layout;
    auto groupFrame = [](const std::string& title, const std::array<TextBox*, 3>& calls, TextBox& connect,
                         TextBox& disc, CommandButton& testConnect, CommandButton& testDisc) {
        return frame(title, {row({caption("Callsign"), caption("DTMF")}),
                             row({ctl(*calls[0]), caption("Connect"), ctl(connect), ctl(testConnect)}),
                             row({ctl(*calls[1])}),
                             row({ctl(*calls[2]), caption("Disconnect"), ctl(disc), ctl(testDisc)})});
    };
    std::vector<LayoutItem> singles = {row({caption("Callsign"), caption("DTMF"), caption("Con/Disc")})};
    for (Single& s : singles_) singles.push_back(row({ctl(*s.call), ctl(*s.code), ctl(*s.button)}));

    auto netFrame = [](const Net& n) {
        std::vector<LayoutItem> days;
        for (CheckBox* d : n.days) days.push_back(ctl(*d));
        const char* after = n.number == 2 ? "Disconnect Net Callsign After" : "Disconnect Net Callsign after";
        return frame("Net Scheduler " + std::to_string(n.number) +
                         " --  15 seconds after allotted time to allow for beacons",
                     {row(std::move(days)),
                      row({ctl(*n.disconnectAll), ctl(*n.showBusy), caption("Connect Net Call"), ctl(*n.call),
                           caption("At"),
                           frame("Hour : Mins",
                                 {row({ctl(*n.hour, "Net " + std::to_string(n.number) + " hour"), caption(":"),
                                       ctl(*n.mins, "Net " + std::to_string(n.number) + " minutes")})})}),
                      row({caption(after), ctl(*n.discMins), caption("Mins"), ctl(*n.use), ctl(*n.discPeriod)})});
    };

    layout_ = {tabs({
        tab("DTMF Control",
            {row({groupFrame("Group 1", group1_, DTMFGroup1Connect, DTMFGroup1Disc, Command3, Command4),
                  frame("Singles", std::move(singles))}),
             groupFrame("Group 2", group2_, DTMFGroup2Connect, DTMFGroup2Disc, Command5, Command6),
             frame(" DTMF    Disconnect all function     DTMF Disconnect   Last Call",
                   {row({ctl(Text111), caption("Disconnect All"), ctl(Text555), caption("Last Call"),
                         ctl(LastConnected)}),
                    row({ctl(Text222), caption("Enable All DTMF"), ctl(Check1)}),
                    row({ctl(Text333), caption("Disable All DTMF"), caption("Re-Enable after"), ctl(BeaconPeriod),
                         caption("Mins"), ctl(BeaconSeconds)})}),
             row({frame("The 1st seconds of TX dont allow DTMF Con/Disc",
                        {row({caption("Delay Accepting DTMF for"), ctl(DTMFDelaySeconds), caption("Seconds"),
                              ctl(DTMFDelayPeriod), ctl(PTT3)}),
                         row({ctl(Text1111), caption("Enable"), ctl(Text2222), caption("Disable"), ctl(UseDTMFDelay)})}),
                  frame("DTMF For Time", {row({ctl(DTMF), ctl(UseDTMF)})})}),
             row({stretch(), ctl(Command14), ctl(Command16)})}),
        tab("Net Scheduler",
            {netFrame(nets_[0]), netFrame(nets_[1]), netFrame(nets_[2]), netFrame(nets_[3]), ctl(RFBusy), ctl(Check4),
             row({ctl(ShowTime), stretch(), ctl(Command2), ctl(Command1)})}),
    })};
}

// ---- Settings ----

void Form4::buildSettings(SettingsTable& t) {
    auto text = [&](const std::string& key, TextBox& box, const std::string& def) {
        t.custom(key, def, [&box](const std::string& v) { loadText(box, v); }, [&box] { return box.text(); });
    };
    auto call = [&](const std::string& key, TextBox& box) {
        t.custom(key, "", [&box](const std::string& v) { loadText(box, v); },
                 [&box] { return upperCase(box.text()); });
    };
    auto check = [&](const std::string& key, CheckBox& box, const std::string& def) {
        t.custom(key, def, [&box](const std::string& v) { box.setValue(storedCheck(v)); },
                 [&box] { return std::string(box.value() == 1 ? "1" : "0"); });
    };
    auto days = [&](const Net& n, const std::string& suffix) {
        static const char* names[] = {"SUN", "MON", "TUE", "WED", "THUR", "FRI", "SAT"};
        for (int d = 0; d < 7; ++d) check(names[d] + suffix, *n.days[d], "0");
        text("HOUR" + suffix, *n.hour, "24");
        text("MINS" + suffix, *n.mins, "00");
    };

    for (Net& n : nets_) text("DISCMINS" + std::to_string(n.number), *n.discMins, "0");
    check("CHECK2", Check2, "0");
    check("CHECK3", Check3, "0");
    check("CHECK11", Check11, "0");
    check("CHECK20", Check20, "0");
    text("DTMFDELAYSECONDS", DTMFDelaySeconds, "5");
    check("USEDTMFDELAY", UseDTMFDelay, "0");
    text("TEXT555", Text555, "");
    text("BEACONPERIOD", BeaconPeriod, "1");
    text("TEXT111", Text111, "73");
    text("TEXT222", Text222, "");
    text("TEXT333", Text333, "");
    check("CHECK1", Check1, "1");
    text("TEXT1111", Text1111, "");
    text("TEXT2222", Text2222, "");
    for (Single& s : singles_) text(upperCase(s.code->name()), *s.code, "");
    for (Single& s : singles_) call(upperCase(s.call->name()), *s.call);
    text("DTMFGROUP1CONNECT", DTMFGroup1Connect, "");
    text("DTMFGROUP1DISC", DTMFGroup1Disc, "");
    text("DTMFGROUP2CONNECT", DTMFGroup2Connect, "");
    text("DTMFGROUP2DISC", DTMFGroup2Disc, "");
    for (TextBox* b : group1_) call(upperCase(b->name()), *b);
    for (TextBox* b : group2_) call(upperCase(b->name()), *b);
    days(nets_[1], "2");
    for (Net& n : nets_) call(upperCase(n.call->name()), *n.call);
    days(nets_[0], "");
    days(nets_[2], "3");
    days(nets_[3], "4");
    for (Net& n : nets_) check(upperCase(n.disconnectAll->name()), *n.disconnectAll, "0");
    t.windowPosition(*this);
    text("DTMF", DTMF, "123");
    check("USEDTMF", UseDTMF, "1");
    for (Net& n : nets_) check(upperCase(n.showBusy->name()), *n.showBusy, "0");
    check("RFBUSY", RFBusy, "0");
}

bool Form4::SaveData() {
    SettingsTable table;
    buildSettings(table);
    return writeSettings(table, kSettingsFile, 256, true);
}

// ---- Start-up ----

void Form4::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->DTMFString = [this](const std::string& d) { EchoLink_DTMFString(d); };
    EchoLink->connected = [this](const std::string& c, const std::string&, const std::string&) {
        Echolink_connected(c);
    };
    // EchoLink closing needs nothing of this window: no save and no host call; the hub ends the
    // process once every tool has had the event.

    setWindowCaption(toolCaption(readCallsign(*EchoLink), kTitle));
    tryStep("SetPTT", [this] { EchoLink->SetPTT(false); });

    // The delay timer runs from the start; the settings may stop it again (a delay of "0").
    DTMFDelay.setEnabled(true);
    SettingsTable table;
    buildSettings(table);
    readSettings(table, kSettingsFile, 256);

    // A net that was counting when the program last ended does not resume.
    for (Net& n : nets_) n.timer->setEnabled(false);
    moments_ = {};
    started_.clear();
    Timer1.setEnabled(true);
    Timer2.setEnabled(true);
}

void Form4::Form_Unload() {
    for (Timer* t : {&Timer1, &Timer2, &DTMFDelay, &Timer3, &Timer4, &Timer5, &Timer6}) t->setEnabled(false);
    EchoLink.reset();
}

// ---- Buttons and stations ----

bool Form4::connectedNow(const std::string& call) {
    bool yes = true;
    tryStep("IsConnectedTo", [&] { yes = EchoLink->IsConnectedTo(call); });
    return yes;
}

void Form4::toggleStation(const TextBox& box, bool inCapitals) {
    if (!EchoLink || box.text().empty()) return;
    const std::string call = inCapitals ? upperCase(box.text()) : box.text();
    if (connectedNow(box.text()))
        tryStep("DisconnectFrom", [&] { EchoLink->DisconnectFrom(call); });
    else
        tryStep("ConnectTo", [&] { EchoLink->ConnectTo(call, true); });
}

void Form4::connectGroup(const std::array<TextBox*, 3>& group) {
    if (!EchoLink) return;
    for (TextBox* b : group) {
        if (b->text().empty() || connectedNow(b->text())) continue;
        tryStep("ConnectTo", [&] { EchoLink->ConnectTo(upperCase(b->text()), true); });
    }
}

void Form4::disconnectGroup(const std::array<TextBox*, 3>& group) {
    if (!EchoLink) return;
    for (TextBox* b : group) {
        if (b->text().empty() || !connectedNow(b->text())) continue;
        tryStep("DisconnectFrom", [&] { EchoLink->DisconnectFrom(upperCase(b->text())); });
    }
}

bool Form4::closeRequest() {
    if (ctx_.rt.messageBox("Exit Program", kQuitText, MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes)
        return false;
    // Nothing is saved; nothing is left keyed or listed busy.
    if (EchoLink) {
        tryStep("Quit SetPTT", [this] { EchoLink->SetPTT(false, Release::Force); });
        tryStep("Quit SetBusy", [this] { EchoLink->SetBusy(false, Release::Force); });
    }
    ctx_.rt.endProcess(0);
    return true;
}

SpeechFace* Form4::speech() const { return ctx_.tools.face<SpeechFace>("Form3"); }
ConferenceFace* Form4::conference() const { return ctx_.tools.face<ConferenceFace>("Form6"); }

}  // namespace tarnwick
