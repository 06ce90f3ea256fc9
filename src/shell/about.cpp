#include "shell/about.h"

#include "runtime/runtime.h"
#include "toolbox/open_url.h"
#include "toolbox/version.h"

namespace tarnwick {

namespace {
constexpr const char* kAmounts[] = {"10.00", "20.00", "30.00", "40.00", "50.00"};
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
    Command2.onClick = [this] { OpenUrl(ctx_.rt, kAuthorWebSite); };
    Command3.onClick = [this] { OpenUrl(ctx_.rt, kAuthorMail); };
    Command1.onClick = [this] { hide(); };
    // Closing the window (its close box or Escape) unloads it; showing it again loads it afresh.
    setClosesOnEscape(true);
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
