#include "conference/conference_tools.h"

#include "runtime/runtime.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

// ---- Form6 ----

Form6::Form6(ToolContext& ctx) : Tool(ctx, "Form6") {
    settings_.check("STAYCON1", StayCon1, "0");
    using namespace layout;
    layout_ = {row({ctl(StayCon1)})};
}

void Form6::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->ChatTextReceived = [this](const std::string& t) { EchoLink_ChatTextReceived(t); };
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "             Conference Controller"));
    readSettings(settings_, "castrel.ini", 256);
    // The station-info window's browser starts at the translation page; this loads that window first.
    if (auto* info = ctx_.tools.face<StationInfoFace>("Form9")) {
        if (Tool* t = ctx_.tools.find("Form9")) t->load();
        info->Navigate(kTranslationPage);
    }
}

bool Form6::SaveData() { return writeSettings(settings_, "castrel.ini", 256, true); }

void Form6::EchoLink_ChatTextReceived(const std::string& text) {
    ctx_.rt.yield();
    if (!EchoLink) return;
    // Every received line is read out when the speech tool's "Text Messages" is ticked.
    if (auto* speech = ctx_.tools.face<SpeechFace>("Form3"); speech && speech->SayText.ticked())
        speech->requestSpeech("Message from  " + text);
    if (text.find("/ver/") != std::string::npos)
        tryStep("SendChatText", [&] {
            EchoLink->SendChatText(std::string(kProductName) + " " + " v" + std::to_string(kVersionMajor) + "." +
                                   std::to_string(kVersionMinor));
        });
    if (text.find("/Greeting/") != std::string::npos)
        if (auto* g = ctx_.tools.face<GreetingsFace>("Form10")) g->Option10.setValue(true);
}

// ---- Form9 ----

Form9::Form9(ToolContext& ctx) : Tool(ctx, "Form9") {
    settings_.check("CHECK9", Check9, "1");
    OpenPage.onClick = [this] {
        if (!WebBrowser1.text().empty()) ctx_.rt.openUrl(WebBrowser1.text());
    };
    using namespace layout;
    layout_ = {frame("Last Connected Node", {row({ctl(Label2)})}), row({ctl(Check9)}),
               row({caption("Page:"), ctl(WebBrowser1), ctl(OpenPage)})};
    onCloseRequest = [this] {
        // Closing the window saves its one setting and unloads it; the program goes on.
        SaveData2();
        unload();
        return true;
    };
}

void Form9::Form_Load() {
    readSettings(settings_, "fennick.ini", 265);
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    // Unattended: a failed save on EchoLink's closing is written as a diagnostic, not shown.
    EchoLink->Closing = [this] { writeSettings(settings_, "fennick.ini", 265, false); };
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "   Internet Option"));
}

void Form9::Form_Unload() { EchoLink.reset(); }

bool Form9::SaveData2() { return writeSettings(settings_, "fennick.ini", 265, true); }

void Form9::Navigate(const std::string& url) { WebBrowser1.setText(url); }

// ---- Form10 ----

Form10::Form10(ToolContext& ctx) : Tool(ctx, "Form10") {
    OptionButton* options[] = {&Option1, &Option2, &Option3, &Option4, &Option5,
                               &Option6, &Option7, &Option8, &Option9, &Option10};
    for (int i = 0; i < 10; ++i)
        settings_.option("OPTION" + std::to_string(i + 1), *options[i], i == 9 ? "1" : "0");
    using namespace layout;
    layout_ = {frame("Message", {row({ctl(Option1), ctl(Option2), ctl(Option3), ctl(Option4), ctl(Option5)}),
                                 row({ctl(Option6), ctl(Option7), ctl(Option8), ctl(Option9)}), row({ctl(Option10)})})};
}

void Form10::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->Closing = [this] { writeSettings(settings_, "wendlow.ini", 500, false); };
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "      Text Box Greeting Message"));
    readSettings(settings_, "wendlow.ini", 500);
}

bool Form10::SaveData() { return writeSettings(settings_, "wendlow.ini", 500, true); }

}  // namespace tarnwick
