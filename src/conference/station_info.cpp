#include "conference/station_info.h"

#include "runtime/runtime.h"
#include "toolbox/open_url.h"
#include "toolbox/version.h"

namespace tarnwick {

Form9::Form9(ToolContext& ctx, std::function<bool()> anotherCopyRunning)
    : Tool(ctx, "Form9"), anotherCopyRunning_(std::move(anotherCopyRunning)) {
    setFrameStyle(FrameStyle::SizableTool);
    settings_.check("CHECK9", Check9, "1");
    Command1.onClick = [this] { openPage(callsignLookupPage(Text1.text())); };
    // Enter in the call box looks the call up, as the button beside it does.
    Text1.onKeyPress = [this](int key) {
        if (key == 13) Command1.click();
    };
    Command10.onClick = [this] { openPage(kCurrentLoginsPage); };
    Command11.onClick = [this] { openPage(kProxyListPage); };
    Command9.onClick = [this] { openPage(kEchoLinkHomePage); };
    Command2.onClick = [this] { openPage(kEqslPage); };
    Command3.onClick = [this] { openPage(kTranslationPage); };
    Command4.onClick = [this] { SaveData2(); };
    Command5.onClick = [this] { hide(); };
    OpenPage.onClick = [this] {
        if (!WebBrowser1.text().empty()) OpenUrl(ctx_.rt, WebBrowser1.text());
    };
    onCloseRequest = [this] {
        // Closing the window saves its one setting and unloads it; the program goes on.
        SaveData2();
        unload();
        return true;
    };
    using namespace layout;
    layout_ = {
        row({frame("Last Connected Node", {row({ctl(Label2)})}), frame("Auto Show QRZ Info ", {row({ctl(Check9)})})}),
        frame("Look up Call on QRZ", {row({ctl(Text1), ctl(Command1)})}),
        row({ctl(Command10), ctl(Command11), ctl(Command9), ctl(Command2), ctl(Command3)}),
        frame("", {row({ctl(WebBrowser1), stretch(), ctl(OpenPage)})}),
        row({stretch(), ctl(Command4), ctl(Command5)}),
    };
}

void Form9::Form_Load() {
    if (anotherCopyRunning_ && anotherCopyRunning_()) {
        ctx_.rt.messageBox(kProductName, "Program is already running.");
        ctx_.rt.endProcess(1);
        return;
    }
    readSettings(settings_, "fennick.ini", 265);
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    // Unattended: a failed save on EchoLink's closing is written as a diagnostic, not shown.
    EchoLink->Closing = [this] { writeSettings(settings_, "fennick.ini", 265, false); };
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "   Internet Option"));
}

void Form9::Form_Unload() { EchoLink.reset(); }

bool Form9::SaveData2() { return writeSettings(settings_, "fennick.ini", 265, true); }

void Form9::Navigate(const std::string& url) {
    // Referring to the window loads it when it was closed.
    load();
    WebBrowser1.setCaption(url);
    ctx_.rt.diag("PAGE", url);
}

void Form9::openPage(const std::string& url) {
    Navigate(url);
    OpenUrl(ctx_.rt, url);
}

}  // namespace tarnwick
