#include "shell/about.h"

#include "runtime/runtime.h"
#include "toolbox/version.h"

namespace tarnwick {

namespace {
constexpr const char* kAmounts[] = {"10.00", "20.00", "30.00", "40.00", "50.00"};
}

void OpenUrl(Runtime& rt, const std::string& url) {
    int code = rt.openUrl(url);
    if (code == 0) return;
    if (code == 31) {
        rt.messageBox(kProductName,
                      "No Association Found for HTTP Addresses. A Web Browser Should be Installed or Reinstalled.",
                      MsgButtons::Ok, MsgIcon::Exclamation);
    } else if (code == 2 || code == 3) {
        rt.messageBox(kProductName, "The '" + url + "' File or Path was Not Found.", MsgButtons::Ok,
                      MsgIcon::Exclamation);
    } else {
        rt.messageBox(kProductName,
                      "An error occurred attempting to open '" + url + "' (ShellExecute code " + std::to_string(code) +
                          ").",
                      MsgButtons::Ok, MsgIcon::Critical);
    }
}

std::string donationPage(const std::string& amount) {
    return "https://donate.example.com/tarnwick?amount=" + amount;
}

Form14::Form14(ToolContext& ctx) : Tool(ctx, "Form14") {
    Command4.onClick = [this] {
        for (const char* amount : kAmounts) {
            if (Combo1.text() == std::string("Donation: $") + amount) {
                OpenUrl(ctx_.rt, donationPage(amount));
                hide();
                return;
            }
        }
    };
    Command2.onClick = [this] { ctx_.rt.openUrl(kAuthorWebSite); };
    Command3.onClick = [this] { ctx_.rt.openUrl(kAuthorMail); };
    Command1.onClick = [this] { hide(); };
    // Closing the window unloads it; showing it again loads it afresh.
    onCloseRequest = [this] {
        unload();
        return true;
    };
    using namespace layout;
    layout_ = {row({ctl(Label6)}),
               frame("", {ctl(AuthorCall), ctl(AuthorName), ctl(AuthorAddress), ctl(AuthorWeb)}),
               row({ctl(Combo1), ctl(Command4)}),
               row({ctl(Command2), ctl(Command3), stretch(), ctl(Command1)})};
}

void Form14::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    setWindowCaption(toolCaption(readCallsign(*EchoLink), ""));
    Label6.setText(toolCaption(readCallsign(*EchoLink), ""));
    Combo1.clear();
    Combo1.setText("Donation Amount");
    for (const char* amount : kAmounts) Combo1.addItem(std::string("Donation: $") + amount);
}

}  // namespace tarnwick
