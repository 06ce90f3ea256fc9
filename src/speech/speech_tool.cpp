// The speech tool window: its controls and layout, start-up, settings file, common buttons and
// shutdown. What the controls do while the program runs lives in the other speech_*.cpp files.

#include "speech/speech_tool.h"

#include "speech/speech_settings.h"
#include "toolbox/conference_face.h"
#include "toolbox/dtmf_face.h"
#include "toolbox/player_face.h"
#include "toolbox/series_face.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

Form3::Form3(ToolContext& ctx, SpeechVoiceFactory voiceFactory)
    : Tool(ctx, "Form3"),
      SpeechFace(ctx.rt),
      Timer1(ctx.rt, 1000),
      Timer2(ctx.rt, 60000),
      Timer3(ctx.rt, 60000),
      Timer4(ctx.rt, 100),
      Timer5(ctx.rt, 1000),
      Timer6(ctx.rt, 1000),
      IDTimer(ctx.rt, 1000),
      Beacon6(ctx.rt, 1000),
      Beacon7(ctx.rt, 1000),
      FanDelay(ctx.rt, 1000),
      Kerchunker(ctx.rt, 5000),
      KickBackCheck(ctx.rt, 500),
      voiceFactory_(std::move(voiceFactory)),
      schedules_{{{&Sun, &Mon, &Tue, &Wed, &Thur, &Fri, &Sat}, &HourOFF1, &MinsOFF1, &HourON1b, &MinsON1b},
                 {{&Sun2, &Mon2, &Tue2, &Wed2, &Thur2, &Fri2, &Sat2}, &HourOFF2, &MinsOFF2, &HourON2b, &MinsON2b},
                 {{&Sun3, &Mon3, &Tue3, &Wed3, &Thur3, &Fri3, &Sat3}, &HourOFF3, &MinsOFF3, &HourON3b, &MinsON3b}},
      announceRetry_(ctx.rt, 100) {
    FanOnOff.setForeColour(kFanOffMaroon);
    // What the operator may type into the boxes.
    for (TextBox* box : {&TextInput3, &InfoText, &Callsign}) box->setMaxLength(70);
    for (TextBox* box : {&BeaconPeriod3, &BeaconPeriod6, &BeaconPeriod7}) box->setMaxLength(3);
    TTSPeriod.setMaxLength(2);
    TTSPeriod.setCentred(true);
    for (const SilenceSchedule& s : schedules_)
        for (TextBox* box : {s.hourOff, s.minsOff, s.hourOn, s.minsOn}) box->setMaxLength(2);
    clockFormat.add(Option1);
    clockFormat.add(Option2);
    fanLineChoice.add(UseDTR);
    fanLineChoice.add(UseRTS);
    // A line for every station that connects, for as long as the program runs.
    CallHistory.setLineLimit(kLogPaneLines);
    // Design state of the window before its settings are read.
    Option1.setValue(true);
    UseDTR.setValue(true);
    // The clocks that compare "hh:mm:ss" tick just after each wall-clock second turns.
    Timer1.setAlignedToSeconds(true);
    Timer5.setAlignedToSeconds(true);

    buildLayout();
    buildSettings();
    wireHandlers();
}

Form3::~Form3() = default;

void Form3::buildLayout() {
    using namespace layout;
    auto scheduleFrame = [](int n, const SilenceSchedule& s) {
        std::vector<LayoutItem> days;
        for (CheckBox* d : s.days) days.push_back(ctl(*d));
        return frame("Announcement Silence Scheduler " + std::to_string(n) + "       ( 15 Seconds Delay )",
                     {row(days),
                      row({frame("Announce OFF ", {caption("Hour : Mins"), row({ctl(*s.hourOff), ctl(*s.minsOff)})}),
                           frame("Announce ON", {caption("Hour : Mins"), row({ctl(*s.hourOn), ctl(*s.minsOn)})})})});
    };
    layout_ = {tabs({
        tab("Bright Calls",
            {row({ctl(ShowTime), ctl(PTT), ctl(PTT2)}),
             frame("Enter TTS Text   (70 Chrs Max)",
                   {row({ctl(TextInput3), ctl(Label19)}),
                    row({ctl(BeaconPeriod3), ctl(BeaconSeconds3), ctl(StopClock3)}),
                    row({ctl(Speak3), ctl(TextNoPTT3), ctl(ClearText3)})}),
             row({ctl(InfoText), ctl(SpeakInfo)}),
             frame("Enter Info Text   (70 Chrs Max)", {row({ctl(InfoNoPTT), ctl(ClearInfoText), ctl(Label20)})}),
             frame("Voice Ident Callsign    (70 Chrs Max)",
                   {row({ctl(Callsign), ctl(Label21)}), row({ctl(SayCall), ctl(SayCallNoPTT)}),
                    row({ctl(BeaconPeriod6), ctl(BeaconSeconds6), ctl(StopClock6)}),
                    row({ctl(IDCheck), ctl(VoicePeriod), ctl(IDSeconds)})}),
             frame("CW Ident Callsign",
                   {row({ctl(CWCallsign), ctl(SendCW)}),
                    row({ctl(BeaconPeriod7), ctl(BeaconSeconds7), ctl(StopClock7)})}),
             row({ctl(TheTime), ctl(SeeAbout)}),
             row({ctl(Command4), ctl(Command6), ctl(Command8), ctl(Command9)})}),
        tab("Connects and Settings",
            {frame("Auto Connects",
                   {row({ctl(ConnectStation1), ctl(StayCon1), ctl(Connect1)}),
                    row({ctl(ConnectStation2), ctl(StayCon2), ctl(Command2)}),
                    row({ctl(EnableAutoConnect), ctl(DisableAutoConnect)})}),
             frame("Courtesy Tone ",
                   {row({ctl(UseCT), ctl(OK2Kerchunk)}),
                    row({caption("RF CW ID"), ctl(CourtesyID), caption("Internet CW ID"), ctl(IPCourtesy)}),
                    row({caption("Anti-Kerchunker"), ctl(KerchunkWait), caption("ms")}),
                    row({caption("HangTime Before ID "), ctl(HangTime), caption("ms")})}),
             row({ctl(SayText), ctl(ToggleText)}),
             frame("Say The Time",
                   {row({ctl(Option1), ctl(Option2)}), row({ctl(OnHour), ctl(QuarterHour), ctl(HalfHour)}),
                    row({ctl(InfoHourly), ctl(InfoQuarter), ctl(InfoHalf)})}),
             frame("Delay Before TTS. ", {row({ctl(TTSCTRL)}), row({ctl(TTSPeriod), caption("Delay Increments 0 to 9")})}),
             row({ctl(ConDisc), ctl(AddTime)}),
             frame("DTR / RTS Control   ( Fan )",
                   {row({ctl(FanCTRL), ctl(FanPeriod), caption("Min"), ctl(FanSeconds), ctl(FanOnOff)}),
                    row({ctl(DelayCTRL), ctl(DelayPeriod), caption("Seconds Start Delay"), ctl(DelaySeconds)}),
                    row({ctl(UseDTR), ctl(UseRTS)})}),
             row({ctl(Exit), ctl(SaveDataNow)})}),
        tab("Connect History",
            {frame("Call Connect History          ( Time - Call - Name - IP Address  )", {ctl(CallHistory)}),
             row({ctl(Command5), ctl(Command3), ctl(Command1), ctl(Command7)})}),
        tab("Silence Announcements ",
            {caption("Silence Announcements and Player "), row({ctl(ShowTime2)}), scheduleFrame(1, schedules_[0]),
             scheduleFrame(2, schedules_[1]), scheduleFrame(3, schedules_[2]),
             frame("Announcements ", {row({ctl(Check2), ctl(Check1)})}),
             frame("DTMF Announcements", {row({caption("ON"), ctl(AnnounceOn), caption("OFF"), ctl(AnnounceOff)})}),
             row({ctl(Command10), ctl(Command11)})}),
    })};
}

void Form3::buildSettings() {
    // The 33 schedule keys first, schedule by schedule, days before times. The "ON" time keys are
    // read with a small "b" and written with a capital one; the file does not tell them apart.
    static const char* const kDays[7] = {"SUN", "MON", "TUE", "WED", "THUR", "FRI", "SAT"};
    for (int n = 1; n <= 3; ++n) {
        const SilenceSchedule& s = schedules_[n - 1];
        const std::string suffix = n == 1 ? "" : std::to_string(n);
        for (int d = 0; d < 7; ++d) table_.check(kDays[d] + suffix, *s.days[d], "0");
        const std::string num = std::to_string(n);
        table_.text("HOUROFF" + num, *s.hourOff, "24")
            .text("MINSOFF" + num, *s.minsOff, "00")
            .text("HOURON" + num + "b", *s.hourOn, "24", "HOURON" + num + "B")
            .text("MINSON" + num + "b", *s.minsOn, "00", "MINSON" + num + "B");
    }
    auto capitals = [this](const char* key, TextBox& box) { table_.textInCapitals(key, box, ""); };
    table_.text("ANNOUNCEOFF", AnnounceOff, "")
        .text("ANNOUNCEON", AnnounceOn, "")
        .check("CHECK1", Check1, "0")
        .check("CHECK2", Check2, "0")
        .option("OPTION1", Option1, "1")
        .option("OPTION2", Option2, "0")
        .check("SAYTEXT", SayText, "0")
        .check("STAYCON1", StayCon1, "0")
        .check("STAYCON2", StayCon2, "0")
        .text("ENABLEAUTOCONNECT", EnableAutoConnect, "*1*")
        .text("DISABLEAUTOCONNECT", DisableAutoConnect, "*0*")
        .check("IDCHECK", IDCheck, "0")
        .text("VOICEPERIOD", VoicePeriod, "10")
        .text("TEXTINPUT3", TextInput3, "TTS Text Here")
        .text("INFOTEXT", InfoText, "TTS Text Here")
        .check("TXTIMEHOUR", OnHour, "0")
        .check("TXQUARTERHOUR", QuarterHour, "0")
        .check("TXHALFHOUR", HalfHour, "0")
        .check("INFOHOURLY", InfoHourly, "0")
        .check("INFOQUATER", InfoQuarter, "0")
        .check("INFOHALF", InfoHalf, "0")
        .text("BEACONPERIOD3", BeaconPeriod3, "10")
        .check("STOPCLOCK3", StopClock3, "0");
    capitals("CONNECTSTATION1", ConnectStation1);
    capitals("CONNECTSTATION2", ConnectStation2);
    table_.check("STOPCLOCK6", StopClock6, "0")
        .text("BEACONPERIOD6", BeaconPeriod6, "10")
        .text("CALLSIGN", Callsign, "")
        .check("STOPCLOCK7", StopClock7, "0")
        .text("BEACONPERIOD7", BeaconPeriod7, "15")
        .text("CWCALLSIGN", CWCallsign, " ")
        .check("CONDISC", ConDisc, "1")
        .check("ADDTIME", AddTime, "1")
        .windowPosition(*this)
        .text("COURTESYID", CourtesyID, "K")
        .text("IPCOURTESY", IPCourtesy, "S")
        .text("HANGTIME", HangTime, "500")
        .text("KERCHUNKWAIT", KerchunkWait, "3000")
        .check("USECT", UseCT, "1")
        .text("FANPERIOD", FanPeriod, "1")
        .check("FANCTRL", FanCTRL, "1")
        .text("TTSPERIOD", TTSPeriod, "0")
        .text("TOGGLETEXT", ToggleText, "")
        .check("TTSCTRL", TTSCTRL, "0")
        .option("USEDTR", UseDTR, "1")
        .option("USERTS", UseRTS, "0")
        .text("DELAYPERIOD", DelayPeriod, "10")
        .check("DELAYCTRL", DelayCTRL, "0");
}

void Form3::wireHandlers() {
    announceRetry_.onTick = [this] { announceNext(); };
    // Speech buttons.
    SayCall.onClick = [this] { speakButton(Callsign, "NoCall", true); };
    SayCallNoPTT.onClick = [this] { speakUnkeyed(Callsign, "No Callsign"); };
    Speak3.onClick = [this] { speakButton(TextInput3, "No information at this time.", true); };
    TextNoPTT3.onClick = [this] { speakUnkeyed(TextInput3, "No information at this time."); };
    SpeakInfo.onClick = [this] { speakButton(InfoText, "No information at this time.", false); };
    InfoNoPTT.onClick = [this] { speakUnkeyed(InfoText, "No information at this time."); };
    ClearText3.onClick = [this] { TextInput3.setText(""); };
    ClearInfoText.onClick = [this] { InfoText.setText(""); };
    Command5.onClick = [this] { CallHistory.setText(""); };

    // Common buttons.
    for (CommandButton* b : {&Command6, &SaveDataNow, &Command11}) b->onClick = [this] { SaveData(); };
    for (CommandButton* b : {&Command4, &Exit, &Command7, &Command10}) b->onClick = [this] { hide(); };
    for (CommandButton* b : {&Command8, &Command3})
        b->onClick = [this] {
            if (Tool* t = ctx_.tools.find("Form8")) t->show();
        };
    for (CommandButton* b : {&Command9, &Command1})
        b->onClick = [this] {
            if (Tool* t = ctx_.tools.find("Form4")) t->show();
        };
    SeeAbout.onClick = [this] {
        ctx_.rt.messageBox(kProductName, std::string(kProductName) + " " + " v" + std::to_string(kVersionMajor) + "." +
                                             std::to_string(kVersionMinor) +
                                             "\nBy the Tarnwick developers - https://tarnwick.example.org/ - "
                                             "author@example.org");
    };
    onCloseRequest = [this] { return onQuitRequest(); };

    // Clock, countdowns, idents.
    Timer1.onTick = [this] { onClockTick(); };
    Beacon3.onTick = [this] { onSpeechCountdownTick(Beacon3, BeaconPeriod3, BeaconSeconds3, StopClock3, TextInput3); };
    Beacon6.onTick = [this] { onSpeechCountdownTick(Beacon6, BeaconPeriod6, BeaconSeconds6, StopClock6, Callsign); };
    Beacon7.onTick = [this] { onCwIdentTick(); };
    IDTimer.onTick = [this] { onIdleTick(); };
    BeaconPeriod3.onChange = [this] {
        onPeriodEdit(BeaconPeriod3, BeaconSeconds3, [this](bool on) { Beacon3.setEnabled(on); });
    };
    BeaconPeriod6.onChange = [this] {
        onPeriodEdit(BeaconPeriod6, BeaconSeconds6, [this](bool on) { Beacon6.setEnabled(on); });
    };
    BeaconPeriod7.onChange = [this] {
        onPeriodEdit(BeaconPeriod7, BeaconSeconds7, [this](bool on) { Beacon7.setEnabled(on); });
    };
    VoicePeriod.onChange = [this] {
        onPeriodEdit(VoicePeriod, IDSeconds, [this](bool on) { IDCheck.setEnabled(on); });
    };
    SendCW.onClick = [this] { onSendCW(); };
    TheTime.onClick = [this] { queueTime("The Time Is", " "); };

    // Silence.
    Timer5.onTick = [this] { onSilenceTick(); };

    // Courtesy letters.
    Kerchunker.onTick = [this] { onKerchunkerTick(); };
    KickBackCheck.onTick = [this] { onKickBackTick(); };
    HangTime.onChange = [this] { onIntervalEdit(HangTime, KickBackCheck); };
    KerchunkWait.onChange = [this] { onIntervalEdit(KerchunkWait, Kerchunker); };

    // Fan.
    Timer4.onTick = [this] { onMonitorTick(); };
    Fan.onTick = [this] { onFanTick(); };
    FanDelay.onTick = [this] { onFanDelayTick(); };
    Timer6.onTick = [this] {
        UseDTR.setEnabled(FanCTRL.value() == 0);
        UseRTS.setEnabled(FanCTRL.value() == 0);
    };
    FanPeriod.onChange = [this] { onFanPeriodEdit(); };
    DelayPeriod.onChange = [this] { onDelayPeriodEdit(); };

    // Keepers.
    Timer2.onTick = [this] { onKeeperTick(StayCon1, ConnectStation1, "Form3.Timer2"); };
    Timer3.onTick = [this] { onKeeperTick(StayCon2, ConnectStation2, "Form3.Timer3"); };
    Connect1.onClick = [this] { onConnectButton(ConnectStation1, "Form3.Connect1"); };
    Command2.onClick = [this] { onConnectButton(ConnectStation2, "Form3.Command2"); };
}

void Form3::setDesignTimers(bool on) {
    for (Timer* t : {&Timer1, &Timer2, &Timer3, &Timer4, &Timer5, &Timer6, &IDTimer, &Beacon3, &Beacon6, &Beacon7,
                     &Kerchunker, &KickBackCheck})
        t->setEnabled(on);
    if (!on) {
        Fan.setEnabled(false);
        FanDelay.setEnabled(false);
    }
}

void Form3::Form_Load() {
    Runtime& rt = ctx_.rt;
    try {
        voice_ = voiceFactory_ ? voiceFactory_() : nullptr;
    } catch (const std::exception& e) {
        rt.error("Form3.Form_Load", std::string("no speech voice: ") + e.what());
    }
    if (!voice_) rt.error("Form3.Form_Load", "no speech voice; keyed speech will be silent");
    // A keyed speech holds the loop for its whole length: a host that comes back meanwhile is found
    // from inside it, so the rest of the speech goes out keyed.
    if (voice_) voice_->whileSpeaking = [this] { ctx_.hub.keepUp(); };

    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->DTMFString = [this](const std::string& d) { onDTMF(d); };
    EchoLink->RX = [this](bool rx) { onRX(rx); };
    EchoLink->CarrierDetect = [this](bool cd) { onCarrier(cd); };
    EchoLink->connected = [this](const std::string& c, const std::string& n, const std::string& a) {
        onConnected(c, n, a);
    };
    EchoLink->Disconnected = [this](const std::string& c) { onDisconnected(c); };
    EchoLink->Closing = [this] { onClosing(); };

    setWindowCaption(toolCaption(readCallsign(*EchoLink), "   BrightcallTTS"));

    // Timers enabled in the window's design run from here on; reading the settings may switch some
    // of them off again (an empty period) before any of them ticks.
    setDesignTimers(true);
    readSettings(table_, "brightcalltts.ini", 256);

    DelaySeconds.setText(DelayPeriod.text());
    onIntervalEdit(KerchunkWait, Kerchunker);
    onIntervalEdit(HangTime, KickBackCheck);
    CwIdentPending = "0";
    releaseAll("Form3.Form_Load", Release::Routine);
    flag2 = 0;
    // Armed from the start: the first news after start-up gets its end-of-news announcement like
    // every later one (the player no longer runs a wrap-up at start-up that would arm it).
    flag3 = 1;
    flagtime = 0;
}

void Form3::Form_Unload() {
    setDesignTimers(false);
    announcements_.clear();
    announceRetry_.setEnabled(false);
    EchoLink.reset();
}

bool Form3::SaveData() { return writeSettings(table_, "brightcalltts.ini", 256, true); }

// ---- Neighbours ----

PlayerFace* Form3::player() const { return ctx_.tools.face<PlayerFace>("Form1"); }
SeriesPlayerFace* Form3::series() const { return ctx_.tools.face<SeriesPlayerFace>("Form12"); }
DtmfControlFace* Form3::dtmfControl() const { return ctx_.tools.face<DtmfControlFace>("Form4"); }
StationInfoFace* Form3::stationInfo() const { return ctx_.tools.use<StationInfoFace>("Form9"); }
GreetingsFace* Form3::greetings() const { return ctx_.tools.face<GreetingsFace>("Form10"); }
Form8* Form3::speechSettings() const { return ctx_.tools.face<Form8>("Form8"); }

// ---- Host helpers ----

// A carrier that cannot be asked about counts as present: nothing is sent over an unknown channel.
bool Form3::carrierDetected(const char* where) {
    try {
        return !EchoLink || EchoLink->IsCarrierDetected();
    } catch (const HostError& e) {
        ctx_.rt.error(where, e.what());
        return true;
    }
}

bool Form3::receiving(const char* where) {
    try {
        return EchoLink && EchoLink->IsReceiving();
    } catch (const HostError& e) {
        ctx_.rt.error(where, e.what());
        return false;
    }
}

bool Form3::linkActive(const char* where) {
    try {
        return EchoLink && EchoLink->IsLinkActive();
    } catch (const HostError& e) {
        ctx_.rt.error(where, e.what());
        return false;
    }
}

void Form3::sendCW(const std::string& text, const char* where) {
    try {
        if (EchoLink) EchoLink->SendCWText(0, text);
    } catch (const HostError& e) {
        ctx_.rt.error(where, e.what());
    }
}

void Form3::chat(const std::string& text, const char* where) {
    try {
        if (EchoLink) EchoLink->SendChatText(text);
    } catch (const HostError& e) {
        ctx_.rt.error(where, e.what());
    }
}

// ---- Shutdown ----

void Form3::releaseAll(const char* where, Release how) {
    if (!EchoLink) return;
    // Each line is dropped even when another call fails.
    for (void (HostLink::*drop)(bool, Release) : {&HostLink::SetPTT, &HostLink::SetDTR, &HostLink::SetRTS}) {
        try {
            (EchoLink.get()->*drop)(false, how);
        } catch (const HostError& e) {
            ctx_.rt.error(where, e.what());
        }
    }
}

bool Form3::onQuitRequest() {
    MsgAnswer a = ctx_.rt.messageBox("Exit Program", "Quit Larkvale - Are You Sure ? Remember To Save Any Changes  ",
                                     MsgButtons::YesNo, MsgIcon::Question);
    if (a != MsgAnswer::Yes) return false;
    // Unkeyed first, then RTS before DTR; each call is tried even when an earlier one fails.
    if (EchoLink) {
        tryStep("Quit SetPTT", [this] { EchoLink->SetPTT(false, Release::Force); });
        tryStep("Quit SetRTS", [this] { EchoLink->SetRTS(false, Release::Force); });
        tryStep("Quit SetDTR", [this] { EchoLink->SetDTR(false, Release::Force); });
    }
    ctx_.rt.endProcess(0);
    return true;
}

// EchoLink is closing: unkey and drop both lines; the hub ends the process once every tool has
// done its clean-up. Nothing is saved.
void Form3::onClosing() {
    // Nothing more goes on air.
    announcements_.clear();
    announceRetry_.setEnabled(false);
    releaseAll("Form3.Closing", Release::Force);
}

}  // namespace tarnwick
