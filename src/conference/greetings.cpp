#include "conference/greetings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "conference/conference_controller.h"
#include "hostlink/network_text.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

namespace {

constexpr std::size_t kGreetingMax = 160;

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The text cut to at most max characters, never inside a UTF-8 sequence.
std::string cutTo(const std::string& s, std::size_t max) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (continuationByte(s[i])) continue;
        if (n == max) return s.substr(0, i);
        ++n;
    }
    return s;
}

const char* const kDefaults[9] = {
    "Welcome. If I don't answer then I might be away or busy. Please leave a short delay between Transmission's !",
    "Enjoy the system. Please Calls CQ and leave good gaps between over's.",
    "Welcome",
    "Has Joined us",
    "How are you. Thanks for joining us. Please call CQ",
    "Welcome, The system is active. Please leave good gaps between over's.",
    "Great having you aboard",
    "Im not about at the moment. Call back later or call CQ",
    "Has Joined The Conference",
};

}  // namespace

Form10::Form10(ToolContext& ctx)
    : Tool(ctx, "Form10"),
      Timer2Delay(ctx.rt, 1000, false),
      Timer1(ctx.rt, 1000, false),
      Timer2(ctx.rt, 100, false),
      messages_{&TextTXMessage,  &TextTXMessage2, &TextTXMessage3, &TextTXMessage4, &TextTXMessage5,
                &TextTXMessage6, &TextTXMessage7, &TextTXMessage8, &TextTXMessage9},
      counts_{&Label16, &Label17, &Label18, &Label19, &Label20, &Label21, &Label22, &Label23, &Label24},
      options_{&Option1, &Option2, &Option3, &Option4, &Option5, &Option6, &Option7, &Option8, &Option9, &Option10},
      random_(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())) {
    setFrameStyle(FrameStyle::FixedTool);
    for (TextBox* m : messages_) m->setMaxLength(static_cast<int>(kGreetingMax));
    MaxRand.setMaxLength(2);
    BeaconPeriodDelay.setMaxLength(1);

    // wendlow.ini, in reading order; "Use Greeting" is written too, so an unticked box survives a restart.
    for (int k = 0; k < 9; ++k) {
        TextBox* box = messages_[k];
        settings_.custom(
            k == 0 ? "TEXTTXMESSAGE" : "TEXTTXMESSAGE" + std::to_string(k + 1), kDefaults[k],
            [box](const std::string& v) { box->setText(cutTo(v, kGreetingMax)); }, [box] { return box->text(); });
    }
    settings_.check("USEGREETING", UseGreeting, "1").check("TIMESTAMP", TimeStamp, "1");
    settings_.custom(
        "BEACONPERIODDELAY", "3",
        [this](const std::string& v) { BeaconPeriodDelay.setText(leadingNumber(v) ? v : "1"); },
        [this] { return BeaconPeriodDelay.text(); });
    for (int k = 0; k < 10; ++k) settings_.option("OPTION" + std::to_string(k + 1), *options_[k], k == 9 ? "1" : "0");
    settings_.check("CHECK1", Check1, "0");

    Timer2Delay.onTick = [this] { tryStep("Timer2Delay", [this] { delayTick(); }); };
    Timer1.onTick = [this] { ShowTime.setCaption(ctx_.rt.localTime().hms()); };
    Timer2.onTick = [this] {
        ctx_.rt.yield();
        for (int k = 0; k < 9; ++k) counts_[k]->setCaption(std::to_string(textCharacters(messages_[k]->text())));
    };
    Command1.onClick = [this] { hide(); };
    Command2.onClick = [this] { SaveData(); };
    onCloseRequest = [this] { return quitPrompt(); };

    using namespace layout;
    std::vector<LayoutItem> greetingRows;
    for (int k = 0; k < 9; ++k) {
        const std::string greeting = "Greeting " + std::to_string(k + 1) + " text";
        greetingRows.push_back(row({ctl(*options_[k]), ctl(*messages_[k], greeting), ctl(*counts_[k])}));
    }
    greetingRows.push_back(row({ctl(Option10), stretch()}));
    layout_ = {
        frame("Greeting Message  ----    ( Max 160 Characters )", greetingRows),
        row({ctl(UseGreeting), ctl(TimeStamp), ctl(Check1), caption("From 1 to"), ctl(MaxRand)}),
        frame("Delay Before Sending Connect Message",
              {row({caption("Set Delay Seconds"), ctl(BeaconPeriodDelay), caption("Seconds"),
                    caption("Message Sent In "), ctl(BeaconSecondsDelay)})}),
        row({caption("Local Time :"), ctl(ShowTime), stretch(), ctl(Command2), ctl(Command1)}),
    };
}

void Form10::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->connected = [this](const std::string& call, const std::string& name, const std::string&) {
        onConnected(call, name);
    };
    EchoLink->Disconnected = [this](const std::string& call) {
        tryStep("Disconnected", [&] { onDisconnected(call); });
    };
    EchoLink->Closing = [this] { onClosing(); };
    // This window shows the version as major.minor only.
    setWindowCaption(std::string(kProductName) + "    " + readCallsign(*EchoLink) + "   v" +
                     std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
                     "      Text Box Greeting Message");
    readSettings(settings_, "wendlow.ini", 500);
    Timer1.setEnabled(true);
    Timer2.setEnabled(true);
}

void Form10::Form_Unload() {
    for (Timer* t : {&Timer2Delay, &Timer1, &Timer2}) t->setEnabled(false);
    EchoLink.reset();
}

bool Form10::SaveData() { return writeSettings(settings_, "wendlow.ini", 500, true); }

std::string Form10::stamp() const {
    if (TimeStamp.value() != 1) return {};
    const LocalTime t = ctx_.rt.localTime();
    char buf[16];
    std::snprintf(buf, sizeof buf, "(%02d:%02d) ", t.hour, t.minute);
    return buf;
}

void Form10::onConnected(const std::string& rawCall, const std::string& rawName) {
    // Whole, so a long conference name still ends in its "*"; the greeting shows it cut.
    const std::string call = cleanNetworkText(rawCall, kNetIdentityMax);
    if (!call.empty() && call.back() == '*') Option10.setValue(true);
    sCallConnectedx = call;
    sNamex = cleanNetworkText(rawName, kNetNameMax);
    // The last connection wins: the count starts again for it.
    BeaconSecondsDelay.setCaption(BeaconPeriodDelay.text());
    Timer2Delay.setEnabled(true);
}

void Form10::delayTick() {
    ctx_.rt.yield();
    // Held to a 32-bit count first, so a hand-edited huge negative value cannot overflow.
    const long long left =
        std::clamp(leadingNumber(BeaconSecondsDelay.text()).value_or(1), -kBoxCountMax, kBoxCountMax) - 1;
    BeaconSecondsDelay.setCaption(std::to_string(left));
    // A delay of "0" (or one that is no number) counts as one second.
    const auto delay = leadingNumber(BeaconPeriodDelay.text());
    if (!delay || *delay <= 0) {
        BeaconPeriodDelay.setText("1");
        BeaconSecondsDelay.setCaption("1");
    }
    if (leadingNumber(BeaconSecondsDelay.text()).value_or(0) <= 0) {
        BeaconSecondsDelay.setCaption(BeaconPeriodDelay.text());
        Timer2Delay.setEnabled(false);
        SendMessage();
    }
}

void Form10::PickRandomGreeting() {
    const auto max = leadingNumber(MaxRand.text());
    if (max && *max > 10) MaxRand.setText("10");
    if (!max || *max <= 0) MaxRand.setText("1");
    const long long top = leadingNumber(MaxRand.text()).value_or(1);
    const double r = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
    const long long n = std::clamp(static_cast<long long>(static_cast<double>(top) * r) + 1, 1LL, top);
    options_[n - 1]->setValue(true);
}

void Form10::SendMessage() {
    if (Check1.value() == 1) PickRandomGreeting();
    if (UseGreeting.value() == 0) return;
    int k = -1;
    for (int i = 0; i < 10 && k < 0; ++i)
        if (options_[i]->value()) k = i;
    if (k < 0) return;
    sendAndShow(k < 9 ? stamp() + "Hello " + sNamex + " " + messages_[k]->text()
                      : stamp() + cleanNetworkText(sCallConnectedx, kNetCallsignMax) + " " + sNamex + " Connected");
}

void Form10::onDisconnected(const std::string& rawCall) {
    if (UseGreeting.value() == 0 || !Option10.value()) return;
    sendAndShow(stamp() + cleanNetworkText(rawCall, kNetCallsignMax) + " Disconnected 73's");
}

void Form10::sendAndShow(const std::string& line) {
    // A stranger's callsign or name must not turn the line into a conference command.
    if (!line.empty() && line[0] == '.') {
        ctx_.rt.error(name() + " SendChatText", "a line that begins with \".\" is not sent: " + line);
        return;
    }
    if (!EchoLink) return;
    EchoLink->SendChatText(line);
    auto* panes = dynamic_cast<Form6*>(ctx_.tools.find("Form6"));
    if (!panes) return;
    for (TextBox* p : {&panes->Text1, &panes->Text3, &panes->IncomingText}) panes->appendPane(*p, line + "\r\n");
}

bool Form10::quitPrompt() {
    const MsgAnswer a = ctx_.rt.messageBox("Exit Program", "Quit - Remember to save your settings - Are You Sure ? ",
                                           MsgButtons::YesNo, MsgIcon::Question);
    if (a != MsgAnswer::Yes) return false;
    if (EchoLink) {
        tryStep("SetPTT", [this] { EchoLink->SetPTT(false, Release::Force); });
        tryStep("SetBusy", [this] { EchoLink->SetBusy(false, Release::Force); });
    }
    SaveData();
    ctx_.rt.endProcess(0);
    return true;
}

void Form10::onClosing() {
    tryStep("SetPTT", [this] { EchoLink->SetPTT(false, Release::Force); });
    // Unattended: a failed save is written as a diagnostic, not shown.
    writeSettings(settings_, "wendlow.ini", 500, false);
}

}  // namespace tarnwick
