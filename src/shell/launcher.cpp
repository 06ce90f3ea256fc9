#include "shell/launcher.h"

#include "runtime/runtime.h"
#include "toolbox/conference_face.h"
#include "toolbox/open_url.h"
#include "toolbox/version.h"

namespace tarnwick {

namespace {
// The tool windows in the order the start-up loads them and "Hide All Programs" hides them.
constexpr const char* kLoadOrder[] = {"Form1", "Form3",  "Form4",  "Form6",  "Form7",  "Form8",
                                      "Form9", "Form10", "Form11", "Form12", "Form13", "Form14"};
}  // namespace

std::optional<int> DecodeTrayMessage(long x) {
    switch (x) {
    case 515:  // left button double-click
        return 1;
    case 516:  // right button down
        return 2;
    default:
        return std::nullopt;
    }
}

Form5::Form5(ToolContext& ctx, TrayService& tray, std::function<bool()> connectHost)
    : Tool(ctx, "Form5"), tray_(tray), connectHost_(std::move(connectHost)) {
    setWindowCaption(kProductName);
    settings_.check("CHECK1", Check1, "0");

    Command4.onClick = [this] { showTool("Form1"); };
    Command1.onClick = [this] { showTool("Form3"); };
    Command3.onClick = [this] { showTool("Form4"); };
    Command8.onClick = [this] { showTool("Form6"); };
    Command10.onClick = [this] { showTool("Form7"); };
    Command13.onClick = [this] { showTool("Form8"); };
    Command11.onClick = [this] { showTool("Form9"); };
    Command15.onClick = [this] { showTool("Form10"); };
    Command14.onClick = [this] { showTool("Form11"); };
    Command16.onClick = [this] { showTool("Form12"); };
    Command2.onClick = [this] { showTool("Form13"); };
    Command6.onClick = [this] { showTool("Form14"); };
    Command12.onClick = [this] { OpenUrl(ctx_.rt, kProductWebSite); };
    Command7.onClick = [this] { hideAll(); };
    Command9.onClick = [this] {
        hideAll();
        SaveData(true);
        AddTrayIcon();
    };
    Command5.onClick = [this] { saveExit(); };
    tray_.onMessage = [this](long message) { Form_MouseMove(message); };
    onCloseRequest = [this] { return Form_QueryUnload(); };

    using namespace layout;
    layout_ = {ctl(Command4), ctl(Command1), ctl(Command3),  ctl(Command8),  ctl(Command10), ctl(Command13),
               ctl(Command11), ctl(Command15), ctl(Command14), ctl(Command16), ctl(Command2), ctl(Command6),
               ctl(Command12), ctl(Command7), ctl(Command9),  ctl(Command5),  ctl(Check1)};
}

Form5::~Form5() { RemoveTrayIcon(); }

bool Form5::start() {
    load();
    return started_;
}

void Form5::Form_Load() {
    Runtime& rt = ctx_.rt;
    const std::string folder = ctx_.settingsDir.empty() ? settingsDirectory() : ctx_.settingsDir;
    if (!instance_.acquire(folder)) {
        // Only another copy holding the lock is "already running"; anything else says what failed.
        if (instance_.heldElsewhere())
            rt.messageBox(kProductName, "Program is already running.");
        else
            rt.messageBox(kProductName, instance_.error(), MsgButtons::Ok, MsgIcon::Critical);
        rt.endProcess(1);
        return;
    }
    if (!connectHost_()) {
        rt.messageBox(kProductName, "EchoLink is not running.", MsgButtons::Ok, MsgIcon::Exclamation);
        rt.endProcess(1);
        return;
    }
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->ChatTextReceived = [this](const std::string& t) { EchoLink_ChatTextReceived(t); };
    EchoLink->Closing = [this] { EchoLink_Closing(); };

    // A callsign that cannot be read is no Sysop-mode callsign either.
    if (readCallsign(*EchoLink).find('-') == std::string::npos) {
        rt.messageBox(kProductName, std::string(20, ' ') + "Tarnwick ONLY Runs in Sysop Mode\r\n\r\n" +
                                        " Visit the Website for more information.  " + kProductWebSite);
        OpenUrl(rt, kProductWebSite);
        rt.endProcess(1);
        return;
    }

    // A tool whose start-up fails is reported and the others still load.
    for (const char* name : kLoadOrder) {
        Tool* tool = ctx_.tools.find(name);
        if (!tool) continue;
        try {
            tool->hide();
        } catch (const std::exception& e) {
            rt.error(std::string(name) + " load", e.what());
        }
    }

    readSettings(settings_, "tarnwick.ini", 256);
    if (Check1.ticked())
        AddTrayIcon();
    else
        setVisible(true);

    if (auto* info = ctx_.tools.face<StationInfoFace>("Form9")) info->Navigate(kTranslationPage);
    started_ = true;
}

bool Form5::SaveData(bool operatorAsked) { return writeSettings(settings_, "tarnwick.ini", 256, operatorAsked); }

void Form5::AddTrayIcon() {
    if (!tray_.available()) {
        // Without a notification area the launcher is minimised, so the operator keeps a window.
        setMinimized(true);
        setVisible(true);
        return;
    }
    tray_.add(windowCaption());
    trayIconAdded_ = true;
    setVisible(false);
}

void Form5::RemoveTrayIcon() {
    if (!trayIconAdded_) return;
    tray_.remove();
    trayIconAdded_ = false;
}

void Form5::RestoreFromTray() {
    RemoveTrayIcon();
    setMinimized(false);
    setVisible(true);
}

void Form5::Form_MouseMove(long x) {
    if (DecodeTrayMessage(x)) RestoreFromTray();
}

void Form5::showTool(const char* name) {
    if (Tool* tool = ctx_.tools.find(name)) tool->show();
}

void Form5::hideAll() {
    for (const char* name : kLoadOrder)
        if (Tool* tool = ctx_.tools.find(name)) tool->hide();
}

void Form5::unkey(bool busyToo) {
    if (!EchoLink) return;
    // Every path here ends the program: whatever holds the transmitter is released.
    tryStep("SetPTT", [this] { EchoLink->SetPTT(false, Release::Force); });
    if (busyToo) tryStep("SetBusy", [this] { EchoLink->SetBusy(false, Release::Force); });
}

void Form5::saveExit() {
    unkey(true);
    std::vector<std::string> failures;
    {
        struct Gather {
            ToolContext& ctx;
            Gather(ToolContext& c, std::vector<std::string>& f) : ctx(c) { ctx.saveFailures = &f; }
            ~Gather() { ctx.saveFailures = nullptr; }
        } gather(ctx_, failures);
        // Every tool that keeps settings saves, a closed one too: it is loaded first, as its file may
        // not exist yet.
        for (Tool* tool : ctx_.tools.all()) {
            if (!tool->keepsSettings()) continue;
            const std::string step = "SaveData " + tool->name();
            tryStep(step.c_str(), [tool] {
                tool->load();
                tool->SaveData();
            });
        }
        RemoveTrayIcon();
        SaveData(true);
    }
    if (!failures.empty()) {
        std::string text = "These settings could not be saved:";
        for (const std::string& f : failures) text += "\r\n" + f;
        text += "\r\n\r\nExit anyway?";
        // No keeps the program running, so the operator can make room and save again.
        if (ctx_.rt.messageBox(kProductName, text, MsgButtons::YesNo, MsgIcon::Exclamation) != MsgAnswer::Yes) return;
    }
    ctx_.rt.endProcess(0);
}

bool Form5::Form_QueryUnload() {
    MsgAnswer a = ctx_.rt.messageBox("Exit Program", "Quit - Remember to save your settings - Are You Sure ? ",
                                     MsgButtons::YesNo, MsgIcon::Question);
    if (a != MsgAnswer::Yes) return false;
    RemoveTrayIcon();
    unkey(true);
    SaveData(true);
    ctx_.rt.endProcess(0);
    return true;
}

void Form5::EchoLink_ChatTextReceived(const std::string& text) {
    if (text.find("/ver/") != std::string::npos)
        tryStep("SendChatText", [this] {
            EchoLink->SendChatText(std::string(kProductName) + " " + " v" + std::to_string(kVersionMajor) + "." +
                                   std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision));
        });
    if (text.find("/Greeting/") != std::string::npos)
        if (auto* greetings = ctx_.tools.face<GreetingsFace>("Form10")) greetings->Option10.setValue(true);
}

void Form5::EchoLink_Closing() {
    unkey(false);
    SaveData(false);
}

}  // namespace tarnwick
