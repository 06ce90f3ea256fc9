#include "conference/conference_controller.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "hostlink/network_text.h"
#include "toolbox/player_face.h"
#include "toolbox/series_face.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

namespace {

const std::string kMuteNotice =
    " ** You have been Muted from the server due to your link or a link connected to you causing a problem. When "
    "problem sorted disconnect and reconnect to remove the Mute. <<Admin>>";
const std::string kUnmuteNotice = " **** You have been UnMuted. <<Admin>>";

bool isDotCommand(const std::string& s) { return !s.empty() && s[0] == '.'; }

// The number a countdown or period box holds, kept in a range where the arithmetic cannot overflow.
long long boxNumber(const std::string& text) { return boxCount(text, 1000000000LL); }

// A received line as the panes show it: control characters become blanks, except that each carriage
// return becomes a line break; at most a pane line's length of the stranger's text is kept, counted in
// characters (a line break as one).
std::string paneLine(const std::string& raw) {
    std::string out;
    std::size_t budget = kNetPaneLineMax;
    std::size_t from = 0;
    for (bool first = true;; first = false) {
        const std::size_t cr = raw.find('\r', from);
        if (!first) {
            if (budget == 0) break;
            out += "\r\n";
            --budget;
        }
        const std::string part =
            cleanNetworkText(raw.substr(from, cr == std::string::npos ? std::string::npos : cr - from), budget);
        out += part;
        budget -= std::min(budget, textCharacters(part));
        if (cr == std::string::npos) break;
        from = cr + 1;
    }
    return out;
}

// Restores the entry box when a line of the program's own has gone through it, even on a failure.
struct EntryBoxKeeper {
    TextBox& box;
    std::string kept;
    explicit EntryBoxKeeper(TextBox& b) : box(b), kept(b.text()) {}
    ~EntryBoxKeeper() { box.setText(kept); }
};

}  // namespace

Form6::Form6(ToolContext& ctx, InputPrompt prompt)
    : Tool(ctx, "Form6"),
      Timer6(ctx.rt, 100, false),
      Timer1(ctx.rt, 60000, false),
      Timer3(ctx.rt, 1000, false),
      Beacon(ctx.rt, 1000, false),
      Timer2(ctx.rt, 100, false),
      Timer5(ctx.rt, 1000, false),
      Timer7(ctx.rt, 1000, false),
      prompt_(std::move(prompt)),
      slots_{Slot{Conference, Password, Option1, Option4,
                  {&Conference, &Password, &Log_On_Conf, &Log_On_Admin, &Log_On, &Label2, &Label3}},
             Slot{Conference2, Password2, Option2, Option5,
                  {&Conference2, &Password2, &Log_On_Conf2, &Log_On_Admin2, &Log_On2, &Label6, &Label4}},
             Slot{Conference3, Password3, Option3, Option6,
                  {&Conference3, &Password3, &Log_On_Conf3, &Log_On_Admin3, &Log_On3, &Label8, &Label7}}},
      filters_{&FilterText1, &FilterText2, &FilterText3, &FilterText4,
               &FilterText5, &FilterText6, &FilterText7, &FilterText8} {
    setFrameStyle(FrameStyle::FixedTool);
    // The panes take a line at a time for as long as the program runs; each keeps its newest lines.
    for (TextBox* p : {&ReceivedText, &IncomingText, &Text1, &Text2, &Text3}) p->setLineLimit(kLogPaneLines);
    StayCon1.setToolTip("Stay Connected to The Conference 1");
    for (OptionButton* o : {&Option1, &Option2, &Option3}) selection.add(*o);
    for (OptionButton* o : {&Option4, &Option5, &Option6}) selectionCopy.add(*o);
    // The indicators only show the selection; the slot buttons make it.
    for (OptionButton* o : {&Option1, &Option2, &Option3, &Option4, &Option5, &Option6}) o->setEnabled(false);
    for (TextBox* p : {&Password, &Password2, &Password3}) p->setMasked(true);
    // Callsign boxes take capitals, number boxes digits (slots 2 and 3 take any case, as designed).
    for (TextBox* b : {&Conference, &Station1, &Station2}) b->setStyle(TypingStyle::Capitals);
    BeaconPeriod.setStyle(TypingStyle::DigitsOnly);
    BeaconPeriod.setMaxLength(2);
    BeaconPeriod2.setStyle(TypingStyle::DigitsOnly);
    BeaconPeriod2.setMaxLength(3);
    BeaconPeriod.setCentred(true);
    BeaconPeriod2.setCentred(true);

    // Slot buttons: both copies select and toggle.
    Command17.onClick = [this] { handle("Command17", [this] { slotButton(0); }); };
    Command18.onClick = [this] { handle("Command18", [this] { slotButton(1); }); };
    Command19.onClick = [this] { handle("Command19", [this] { slotButton(2); }); };
    Command20.onClick = [this] { handle("Command20", [this] { slotButton(0); }); };
    Command21.onClick = [this] { handle("Command21", [this] { slotButton(1); }); };
    Command22.onClick = [this] { handle("Command22", [this] { slotButton(2); }); };
    Log_On_Conf.onClick = [this] { handle("Log_On_Conf", [this] { toggleLink(0); }); };
    Log_On_Conf2.onClick = [this] { handle("Log_On_Conf2", [this] { toggleLink(1); }); };
    Log_On_Conf3.onClick = [this] { handle("Log_On_Conf3", [this] { toggleLink(2); }); };
    Command13.onClick = [this] {
        handle("Command13", [this] {
            if (int n = selected(); n >= 0) toggleLink(n);
        });
    };

    // The console's buttons: what each sends, and by which path.
    auto send = [this](CommandButton& b, std::string line, bool awaitsAnswer = false) {
        b.onClick = [this, &b, line, awaitsAnswer] {
            handle(b.name().c_str(), [&] {
                if (awaitsAnswer) PendingReplyMode = 1;
                sendPath(line);
            });
        };
    };
    Send.onClick = [this] { handle("Send", [this] { TXText(); }); };
    TextTX.onKeyPress = [this](int key) {
        if (key == 13) handle("TextTX", [this] { TXText(); });
    };
    send(Mute, ".mute .");
    send(Command1, ".mute .");
    send(Unmute_All, ".unmute -a");
    send(Command5, ".unmute -a");
    send(Admins, ".admins", true);
    send(Stats, ".stats", true);
    send(Users, ".users", true);
    send(Band_List, ".ban list");
    for (CommandButton* b : {&Who_Is_Muted, &Command8})
        b->onClick = [this, b] {
            handle(b->name().c_str(), [this] {
                // Whatever the entry box holds goes out first, bare and unlogged.
                if (EchoLink) EchoLink->SendChatText(TextTX.text());
                sendPath(".Mute");
            });
        };
    // Buttons that ask for a callsign first; an empty answer empties the entry box and sends nothing.
    auto asking = [this](CommandButton& b, std::string question, std::function<void(const std::string&)> act) {
        b.onClick = [this, &b, question, act] {
            handle(b.name().c_str(), [&] {
                const std::string answer = ask(question);
                if (answer.empty()) {
                    TextTX.setText("");
                    return;
                }
                act(answer);
            });
        };
    };
    asking(Ban, "Enter Call to Ban", [this](const std::string& a) {
        directPath(".ban add " + a);
        TextTX.setText("");
    });
    asking(Ban_Remove, "Enter Call To Remove BAN", [this](const std::string& a) {
        directPath(".ban delete " + a);
        TextTX.setText("");
    });
    Connect.onClick = [this] {
        // Sent even when the answer is empty.
        handle("Connect", [this] { sendPath(".connect " + ask("Enter Call that you wish to connect to the conference ")); });
    };
    asking(Disconnect, "Enter Call of the station to Disconnect ", [this](const std::string& a) {
        directPath(".disconnect " + a);
        TextTX.setText("");
    });
    asking(Mute_Station,
           "Enter Call to MUTE and send send the Mute Message ( You have been Muted from the server due to your link or "
           "a link connected to you causing a problem. When problem sorted disconnect and reconnect to remove the "
           "Mute. <<Admin>>)",
           [this](const std::string& a) {
               directPath(".mute " + a);
               directPath((Check1.ticked() ? timeStamp() : std::string()) + "** " + a + kMuteNotice);
               TextTX.setText("");
           });
    asking(Mute_Message,
           "Enter Call to send the Mute Message ( You have been Muted from the server due to your link or a link "
           "connected to you causing a problem. When problem sorted disconnect and reconnect to remove the Mute. "
           "<<Admin>>",
           [this](const std::string& a) { sendPath("** " + a + kMuteNotice); });
    asking(Unmute_Station, "Enter Call to Unmute", [this](const std::string& a) {
        directPath(".unmute " + a);
        directPath((Check1.ticked() ? timeStamp() : std::string()) + "**** " + a + kUnmuteNotice);
        TextTX.setText("");
        ReceivedText.setSelStart(std::numeric_limits<int>::max());
    });
    for (auto [button, station] : {std::pair{&LogOnStation1, &Station1}, std::pair{&LogOnStation2, &Station2}})
        button->onClick = [this, button, station] {
            handle(button->name().c_str(), [this, station] {
                station->setText(upperCase(station->text()));
                sendPath(".connect " + station->text());
            });
        };
    CommandButton* admins[] = {&Log_On_Admin, &Log_On_Admin2, &Log_On_Admin3};
    CommandButton* sysops[] = {&Log_On, &Log_On2, &Log_On3};
    for (int n = 0; n < 3; ++n) {
        TextBox* pw = &slots_[n].password;
        admins[n]->onClick = [this, b = admins[n], pw] {
            handle(b->name().c_str(), [this, pw] { logOnPath(".admin " + pw->text()); });
        };
        sysops[n]->onClick = [this, b = sysops[n], pw] {
            handle(b->name().c_str(), [this, pw] { logOnPath(".sysop " + pw->text()); });
        };
    }
    Command14.onClick = [this] {
        handle("Command14", [this] {
            const int n = selected();
            if (n < 0) return;
            logOnPath(".admin " + slots_[n].password.text());
            Text2.setText(".Admin XXXX");
        });
    };
    Clear.onClick = [this] { ReceivedText.setText(""); };
    ClearRX.onClick = [this] {
        IncomingText.setReadOnly(true);
        IncomingText.setText("");
    };
    Command2.onClick = [this] { Text3.setText(""); };
    Command3.onClick = [this] { Text1.setText(""); };
    Command6.onClick = [this] { Text2.setText(""); };
    Command7.onClick = [this] { hide(); };
    Command10.onClick = [this] {
        if (Tool* about = ctx_.tools.find("Form14")) about->show();
    };
    for (CommandButton* b : {&Command4, &Command11, &Command12}) b->onClick = [this] { SaveData(); };
    Command9.onClick = [this] { handle("Command9", [this] { listUsers(); }); };

    for (TextBox* b : {&Conference, &Conference2, &Conference3}) b->onChange = [this] { linkMayHaveChanged(); };
    BeaconPeriod.onChange = [this] { beaconPeriodChanged(); };
    BeaconPeriod2.onChange = [this] { beaconPeriod2Changed(); };

    Timer6.onTick = [this] { handle("Timer6", [this] { statusTick(); }); };
    Timer1.onTick = [this] { handle("Timer1", [this] { keeperTick(); }); };
    Timer3.onTick = [this] { handle("Timer3", [this] { clockTick(); }); };
    Beacon.onTick = [this] { handle("Beacon", [this] { beaconTick(); }); };
    Timer2.onTick = [this] { Beacon.setEnabled(TextTX.text().empty()); };
    Timer5.onTick = [this] { handle("Timer5", [this] { timer5Tick(); }); };
    Timer7.onTick = [this] {
        handle("Timer7", [this] {
            Timer7.setEnabled(false);
            pollStep();
        });
    };

    onCloseRequest = [this] { return quitPrompt(); };
    buildSettings();
    buildLayout();
}

Form6::~Form6() = default;

void Form6::handle(const char* where, const std::function<void()>& fn) {
    std::string what;
    try {
        fn();
        return;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
        what = "unknown failure";
    }
    Repeat& r = repeats_[where];
    const std::int64_t now = ctx_.rt.monotonicMs();
    if (r.times > 0 && r.what == what && now - r.at < 60000) {
        ++r.times;
        return;
    }
    const bool again = r.times > 1 && r.what == what;
    ctx_.rt.error(name() + " " + where, again ? what + " (" + std::to_string(r.times) + " times)" : what);
    r = Repeat{what, now, 1};
}

// ---- Settings ----

void Form6::buildSettings() {
    SettingsTable& t = settings_;
    t.check("Check1", Check1, "1", "CHECK1").check("Check2", Check2, "1", "CHECK2").check("Check3", Check3, "1", "CHECK3");
    t.text("PASSWORD", Password, "GateWardenKey").text("CONFERENCE", Conference, "Conferencia 1");
    t.text("PASSWORD2", Password2, "GateWardenKey2").text("CONFERENCE2", Conference2, "Conferencia 2");
    t.text("PASSWORD3", Password3, "GateWardenKey3").text("CONFERENCE3", Conference3, "Conferencia 3");
    t.text("STATION1", Station1, "Enter_Callsign").text("STATION2", Station2, "Enter_Callsign");
    t.check("STAYCON1", StayCon1, "0");
    for (int n = 0; n < 8; ++n) t.text("FILTERTEXT" + std::to_string(n + 1), *filters_[n], "");
    t.check("STOPCLOCK", StopClock, "0").check("AUTOENTER", AutoEnter, "0");
    t.text("BEACONPERIOD2", BeaconPeriod2, "10").text("BEACONPERIOD", BeaconPeriod, "35");
    t.option("OPTION1", Option1, "1").option("OPTION2", Option2, "0").option("OPTION3", Option3, "0");
    t.check("CHECK4", Check4, "0");
    t.windowPosition(*this);
}

bool Form6::SaveData() {
    // The boxes show what is saved: conference and station callsigns in capitals.
    for (TextBox* b : {&Conference, &Conference2, &Conference3, &Station1, &Station2}) b->setText(upperCase(b->text()));
    return writeSettings(settings_, "castrel.ini", 256, true);
}

// ---- Start-up ----

void Form6::Form_Load() {
    for (Timer* t : {&Timer6, &Timer1, &Timer3, &Beacon, &Timer2, &Timer5}) t->setEnabled(true);
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->ChatTextReceived = [this](const std::string& t) { handle("ChatTextReceived", [&] { onChat(t); }); };
    EchoLink->RX = [this](bool rx) { onRX(rx); };
    EchoLink->connected = [this](const std::string& call, const std::string& name, const std::string&) {
        linkMayHaveChanged();
        handle("connected", [&] { onConnected(call, name); });
    };
    EchoLink->Disconnected = [this](const std::string&) { linkMayHaveChanged(); };
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "             Conference Controller"));
    readSettings(settings_, "castrel.ini", 256);
    refillMuteCount();
    PendingReplyMode = 0;
    for (TextBox* p : {&ReceivedText, &IncomingText, &Text1, &Text2, &Text3}) p->setReadOnly(true);

    // A conference found linked becomes the selected one and, when asked, gets the admin log-on, as
    // long as no other station would hear the password.
    for (int n = 0; n < 3; ++n) {
        tryStep("IsConnectedTo", [&] {
            if (!EchoLink->IsConnectedTo(upperCase(slots_[n].name.text()))) return;
            slots_[n].option.setValue(true);
            if (AutoEnter.ticked() && EchoLink->GetConnectedCount() <= 1) adminLogOn(n);
        });
    }
    // The station-info window's browser starts at the translation page; this loads that window.
    if (auto* info = ctx_.tools.face<StationInfoFace>("Form9")) info->Navigate(kTranslationPage);
    SelectConf();
}

void Form6::Form_Unload() {
    for (Timer* t : {&Timer6, &Timer1, &Timer3, &Beacon, &Timer2, &Timer5, &Timer7}) t->setEnabled(false);
    EchoLink.reset();
}

bool Form6::quitPrompt() {
    const MsgAnswer a = ctx_.rt.messageBox("Exit Program",
                                           "Quit Conference Controller - Are You Sure ? Remember To Save Any Changes  ",
                                           MsgButtons::YesNo, MsgIcon::Question);
    if (a != MsgAnswer::Yes) return false;
    // Nothing is left keyed; nothing is saved.
    if (EchoLink) {
        tryStep("SetPTT", [this] { EchoLink->SetPTT(false, Release::Force); });
        tryStep("SetBusy", [this] { EchoLink->SetBusy(false, Release::Force); });
    }
    ctx_.rt.endProcess(0);
    return true;
}

// ---- Slots and link control ----

int Form6::selected() const {
    for (int n = 0; n < 3; ++n)
        if (slots_[n].option.value()) return n;
    return -1;
}

void Form6::showSlot(int n) {
    slots_[n].copy.setValue(true);
    for (int m = 0; m < 3; ++m)
        for (Control* c : slots_[m].row) c->setVisible(m == n);
}

void Form6::SelectConf() {
    if (int n = selected(); n >= 0) showSlot(n);
}

void Form6::slotButton(int n) {
    slots_[n].option.setValue(true);
    showSlot(n);
    ConDisc();
}

void Form6::ConDisc() {
    const int n = selected();
    if (n < 0 || !EchoLink) return;
    linkMayHaveChanged();
    const std::string typed = slots_[n].name.text();
    const std::string call = upperCase(typed);
    if (call.empty()) return;
    if (EchoLink->IsConnectedTo(call)) {
        EchoLink->DisconnectFrom(call);
        return;
    }
    showStatus("Connecting " + typed, kStatusBlue);
    // Switching conferences drops every station, the old conference included.
    tryStep("DisconnectAllStations", [this] { EchoLink->DisconnectAllStations(); });
    tryStep("ConnectTo", [&] { EchoLink->ConnectTo(call, true); });
}

void Form6::toggleLink(int n) {
    if (!EchoLink) return;
    linkMayHaveChanged();
    const std::string call = upperCase(slots_[n].name.text());
    if (call.empty()) return;
    if (EchoLink->IsConnectedTo(call))
        EchoLink->DisconnectFrom(call);
    else
        tryStep("ConnectTo", [&] { EchoLink->ConnectTo(call, true); });
}

void Form6::showStatus(const std::string& caption, Colour colour) {
    for (Label* l : {&Frame6, &Label9}) {
        l->setForeColour(colour);
        l->setCaption(caption);
    }
}

bool Form6::anyLinked() {
    const std::int64_t now = ctx_.rt.monotonicMs();
    if (linkAskedAt_ >= 0 && now - linkAskedAt_ < 1000) return linked_;
    bool any = false;
    for (const Slot& s : slots_) any = EchoLink->IsConnectedTo(upperCase(s.name.text())) || any;
    linked_ = any;
    linkAskedAt_ = now;
    return any;
}

void Form6::statusTick() {
    const bool autoRefresh = StopClock.ticked();
    BeaconPeriod.setEnabled(!autoRefresh);
    Command9.setEnabled(!autoRefresh);
    if (autoRefresh && boxNumber(BeaconPeriod.text()) < 35) BeaconPeriod.setText("35");
    Command14.setEnabled(!AutoEnter.ticked());
    if (!EchoLink) return;

    const bool any = anyLinked();
    const int n = selected();
    if (n < 0) return;
    const std::string number = std::to_string(n + 1);
    if (any) {
        Beacon.setEnabled(true);
        showStatus(slots_[n].name.text() + "  Connected " + number, kStatusGreen);
    } else {
        showStatus(" Disconnected " + number, kStatusRed);
        Beacon.setEnabled(false);
    }
}

// ---- Console ----

std::string Form6::timeStamp() const {
    const LocalTime t = ctx_.rt.localTime();
    char buf[16];
    std::snprintf(buf, sizeof buf, "(%02d:%02d) ", t.hour, t.minute);
    return buf;
}

std::string Form6::logText(const std::string& text) {
    std::string call = EchoLink ? EchoLink->GetCallsign() : std::string();
    return (Check1.ticked() ? timeStamp() : std::string()) + call + ">" + text + "\r\n";
}

void Form6::appendPane(TextBox& pane, const std::string& line) {
    pane.append(line);
    // The pane follows its last line.
    pane.setSelStart(std::numeric_limits<int>::max());
}

void Form6::TXText() {
    if (!EchoLink) return;
    const std::string typed = TextTX.text();
    if (!isDotCommand(typed) && Check1.ticked()) TextTX.setText(timeStamp() + TextTX.text());
    EchoLink->SendChatText(TextTX.text());
    TextTX.setText(typed);
    TXText2();
    TextTX.setText("");
    ReceivedText.setSelStart(std::numeric_limits<int>::max());
}

void Form6::TXText2() {
    const std::string text = TextTX.text();
    if (PendingReplyMode != 3) appendPane(ReceivedText, logText(text));
    if (!isDotCommand(text)) {
        const std::string line = logText(text);
        appendPane(Text1, line);
        appendPane(Text3, line);
        Frame5.setCaption("Connected");
    }
}

void Form6::sendPath(const std::string& line) {
    TextTX.setText(line);
    TXText();
}

void Form6::directPath(const std::string& line) {
    if (!EchoLink) return;
    TextTX.setText(line);
    EchoLink->SendChatText(TextTX.text());
    TXText2();
}

void Form6::logOnPath(const std::string& line) {
    if (!EchoLink) return;
    TextTX.setText(line);
    EchoLink->SendChatText(TextTX.text());
    appendPane(ReceivedText, logText(TextTX.text()));
    TextTX.setText("");
}

std::string Form6::ask(const std::string& question) {
    return prompt_ ? prompt_(question, kProductName) : std::string();
}

void Form6::sendOwnLine(const std::string& line) {
    EntryBoxKeeper keep(TextTX);
    sendPath(line);
}

void Form6::adminLogOn(int n) {
    // Sent bare and recorded nowhere, so the password shows in no pane.
    EntryBoxKeeper keep(TextTX);
    TextTX.setText(".admin " + slots_[n].password.text());
    EchoLink->SendChatText(TextTX.text());
    TextTX.setText("");
}

// ---- Received chat ----

bool Form6::filtered(const std::string& text) const {
    // A word counts only after the line's first character: a line that begins with it is shown.
    auto after = [&text](const std::string& word) {
        if (word.empty()) return false;
        const std::size_t at = text.find(word);
        return at != std::string::npos && at > 0;
    };
    for (const TextBox* f : filters_)
        if (after(f->text())) return true;
    return after(".list");
}

void Form6::onChat(const std::string& text) {
    ctx_.rt.yield();
    if (!EchoLink) return;
    // A line the filter drops is not read out either; the version and greeting requests still act on it.
    const bool dropped = filtered(text);
    if (auto* speech = ctx_.tools.face<SpeechFace>("Form3"); !dropped && speech && speech->SayText.ticked())
        speech->requestSpeech("Message from  " + cleanNetworkText(text, kNetChatMax));
    if (text.find("/ver/") != std::string::npos)
        EchoLink->SendChatText(std::string(kProductName) + " " + " v" + std::to_string(kVersionMajor) + "." +
                               std::to_string(kVersionMinor));
    if (text.find("/Greeting/") != std::string::npos)
        if (auto* g = ctx_.tools.face<GreetingsFace>("Form10")) g->Option10.setValue(true);
    IncomingText.setReadOnly(true);
    if (dropped) return;

    const std::string line = paneLine(text);
    if (PendingReplyMode == 3) {
        Text2.setText("Updated " + ctx_.rt.localTime().hms() + "\r\n" + line + "\r\n");
        PendingReplyMode = 0;
        Frame5.setCaption("Connected");
        Text2.setSelStart(250);
        return;
    }
    const std::string stamp = Check1.ticked() ? timeStamp() : std::string();
    if (PendingReplyMode == 1) {
        // A command's answer is marked with the time in the incoming pane, stamped or not.
        appendPane(IncomingText, timeStamp() + "\r\n" + line + "\r\n");
        const std::string shown = Check1.ticked() ? timeStamp() + "\r\n" + line + "\r\n" : line + "\r\n";
        appendPane(Text1, shown);
        appendPane(Text3, shown);
        PendingReplyMode = 0;
        Text2.setSelStart(250);
        return;
    }
    for (TextBox* pane : {&IncomingText, &Text1, &Text3}) appendPane(*pane, stamp + line + "\r\n");
}

// ---- Listing poll ----

void Form6::pollStep() {
    PendingReplyMode = 3;
    Frame5.setCaption("LOADING");
    sendOwnLine(".users");
}

void Form6::beaconTick() {
    // With the conference as the one station, any further station holds the poll.
    if (Check2.ticked() && HowmanyConnected.text() != "1") return;
    if (!StopClock.ticked()) return;
    const long long left = boxNumber(BeaconSeconds.text()) - 1;
    BeaconSeconds.setText(std::to_string(std::max(left, 0LL)));
    if (left <= 0) {
        BeaconSeconds.setText(BeaconPeriod.text());
        pollStep();
    }
}

void Form6::beaconPeriodChanged() {
    bool& inside = inPeriodChange_;
    if (inside) return;
    inside = true;
    if (BeaconPeriod.text().empty()) {
        BeaconPeriod.setText("0");
        Beacon.setEnabled(false);
    } else {
        Beacon.setEnabled(true);
    }
    inside = false;
    // An edit restarts the countdown from the new period.
    BeaconSeconds.setText(BeaconPeriod.text());
}

void Form6::listUsers() {
    if (int n = selected(); n >= 0) rememberedPassword_ = slots_[n].password.text();
    if (!Check4.ticked()) {
        pollStep();
        return;
    }
    TextTX.setText(".admin " + rememberedPassword_);
    PendingReplyMode = 1;
    TXText();
    TextTX.setText("");
    Timer7.setEnabled(true);
}

// ---- Auto-mute ----

void Form6::onRX(bool rx) {
    for (Label* l : {&PTT, &PTT2, &PTT1}) {
        l->setForeColour(rx ? kRed : Colour{0x8000});
        l->setCaption(rx ? "IP TX ON" : "IP TX OFF");
    }
    refillMuteCount();
}

// A period of no minutes ("0", "00", "-5", or no number at all) is one minute, as the next tick
// writes it into the box: else the bot would mute at every tick while anyone talks.
long long Form6::muteSeconds() const { return std::max(boxNumber(BeaconPeriod2.text()), 1LL) * 60; }

void Form6::refillMuteCount() {
    // Full while nothing is received: any break in reception starts the count again.
    if (PTT.caption() != "IP TX ON") BeaconSeconds2.setText(std::to_string(muteSeconds()));
}

void Form6::timer5Tick() {
    if (boxNumber(BeaconPeriod2.text()) <= 0) BeaconPeriod2.setText("1");
    if (PTT.caption() == "IP TX OFF") return;
    if (!Check3.ticked()) return;
    const long long left = boxNumber(BeaconSeconds2.text()) - 1;
    BeaconSeconds2.setText(std::to_string(std::max(left, 0LL)));
    if (left == 60) sendOwnLine(" >> WARNING << 60 seconds to Auto Mute from the Conference ");
    if (left <= 0) {
        BeaconSeconds2.setText(std::to_string(muteSeconds()));
        sendOwnLine(".mute .");
        sendOwnLine("** Auto Mute ** Has been sent to the station or stations exceeding the conference key down limit of " +
                    BeaconPeriod2.text() + " minutes without a break. Disconnect and reconnect to remove the Mute. << Admin Bot >>");
    }
}

void Form6::beaconPeriod2Changed() {
    bool& inside = inPeriod2Change_;
    if (inside) return;
    inside = true;
    if (BeaconPeriod2.text().empty()) {
        // The countdown stops until the box is changed again.
        BeaconPeriod2.setText("1");
        Timer5.setEnabled(false);
    } else {
        Timer5.setEnabled(true);
    }
    inside = false;
    refillMuteCount();
}

// ---- Keeper, clock, arrival ----

bool Form6::newsOnAir() const {
    const auto* news = ctx_.tools.face<PlayerFace>("Form1");
    const auto* series = ctx_.tools.face<SeriesPlayerFace>("Form12");
    const bool newsPlaying = news && news->DisconnectAll.ticked() && news->transmissionUnderWay();
    const bool seriesPlaying = series && series->DisconnectAll.ticked() && series->PTT.caption() == "PTT ON";
    return newsPlaying || seriesPlaying;
}

void Form6::keeperTick() {
    ctx_.rt.yield();
    const int n = selected();
    if (n < 0 || !EchoLink) return;
    const std::string call = upperCase(slots_[n].name.text());
    if (call.empty() || !StayCon1.ticked()) return;
    if (EchoLink->IsConnectedTo(call) || newsOnAir()) return;
    linkMayHaveChanged();
    EchoLink->ConnectTo(call, true);
}

void Form6::clockTick() {
    ShowTime.setCaption(ctx_.rt.localTime().hms());
    if (EchoLink) HowmanyConnected.setCaption(std::to_string(EchoLink->GetConnectedCount()));
}

void Form6::onConnected(const std::string& rawCall, const std::string& rawName) {
    // The callsign is compared and looked up whole; the label shows it cut.
    const std::string call = cleanNetworkText(rawCall, kNetIdentityMax);
    const std::string name = cleanNetworkText(rawName, kNetNameMax);
    // The selected conference arrived: log on as admin, while no other station would hear the password.
    const int n = selected();
    if (n >= 0 && slots_[n].name.text() == call && AutoEnter.ticked()) {
        tryStep("admin log-on", [&] {
            if (EchoLink && EchoLink->GetConnectedCount() <= 1) adminLogOn(n);
        });
    }
    auto* info = ctx_.tools.use<StationInfoFace>("Form9");
    if (!info) return;
    if (const auto key = lookUpKey(call); key && info->Check9.value() == 1) info->Navigate(callsignLookupPage(*key));
    info->Label2.setCaption(cleanNetworkText(call, kNetCallsignMax) + " " + name);
}

// ---- Layout ----

void Form6::buildLayout() {
    using namespace layout;
    auto slotRow = [](Slot& s, Label& nameLabel, Label& pwLabel, CommandButton& conf, CommandButton& admin,
                      CommandButton& sysop) {
        return row({ctl(nameLabel), ctl(s.name), ctl(pwLabel), ctl(s.password), ctl(conf), ctl(admin), ctl(sysop)});
    };
    layout_ = {
        tabs({
            tab("Conference Control",
                {slotRow(slots_[0], Label2, Label3, Log_On_Conf, Log_On_Admin, Log_On),
                 slotRow(slots_[1], Label6, Label4, Log_On_Conf2, Log_On_Admin2, Log_On2),
                 slotRow(slots_[2], Label8, Label7, Log_On_Conf3, Log_On_Admin3, Log_On3),
                 row({ctl(Option1, "Slot 1"), ctl(Command17), ctl(Option2, "Slot 2"), ctl(Command18),
                      ctl(Option3, "Slot 3"), ctl(Command19), ctl(Label9)}),
                 row({ctl(Mute), ctl(Unmute_All), ctl(Who_Is_Muted), ctl(Admins), ctl(Stats), ctl(Users)}),
                 row({ctl(Band_List), ctl(Ban), ctl(Ban_Remove), ctl(Connect), ctl(Disconnect)}),
                 row({ctl(Mute_Station), ctl(Mute_Message), ctl(Unmute_Station)}),
                 row({ctl(Station1), ctl(LogOnStation1), ctl(Station2), ctl(LogOnStation2)}),
                 row({ctl(ReceivedText), ctl(IncomingText)}),
                 row({ctl(Clear), ctl(ClearRX), stretch(), ctl(Command10), ctl(Command11)})}),
            tab("Text Box",
                {frame("Text Box", {row({ctl(Text1)}), row({ctl(Command3)})}),
                 frame("Text Filter              Filter Text Messages Containing The Words  ",
                       {row({ctl(FilterText1), ctl(FilterText2), ctl(FilterText3), ctl(FilterText4)}),
                        row({ctl(FilterText5), ctl(FilterText6), ctl(FilterText7), ctl(FilterText8)})}),
                 row({stretch(), ctl(Command4)})}),
            tab("Utils",
                {frame("", {row({ctl(Frame6)}),
                            row({ctl(Option4, "Slot 1"), ctl(Command20), ctl(Option5, "Slot 2"), ctl(Command21),
                                 ctl(Option6, "Slot 3"), ctl(Command22), ctl(Command13), ctl(Command14)}),
                            row({ctl(StayCon1), ctl(Check1), ctl(AutoEnter), caption("Con"), ctl(HowmanyConnected)}),
                            row({ctl(Check2)})}),
                 // Two columns, so the page fits a small screen: the switches on the left, the
                 // two panes on the right.
                 row({frame("", {frame("Auto Mute Bot", {row({ctl(PTT), ctl(PTT1), ctl(PTT2)}),
                                                         row({ctl(Check3), ctl(BeaconPeriod2), ctl(Label5),
                                                              ctl(BeaconSeconds2)}),
                                                         row({ctl(Command1), ctl(Command5), ctl(Command8)})}),
                                 frame("Refresh Conference Listing",
                                       {row({ctl(StopClock), ctl(BeaconPeriod), ctl(BeaconSeconds)}),
                                        row({ctl(Check4), ctl(Command9)})}),
                                 stretch()}),
                      frame("", {frame("Text Sent and Received", {row({ctl(Text3)}), row({ctl(Command2)})}),
                                 row({ctl(Frame5), ctl(ShowTime)}), row({ctl(Text2, "User listing")}),
                                 row({ctl(Command6)})})}),
                 row({stretch(), ctl(Command12)})}),
        }),
        frame("Type message or Dot Command Click Send", {row({ctl(TextTX), ctl(Send), ctl(Command7)})}),
    };
}

}  // namespace tarnwick
