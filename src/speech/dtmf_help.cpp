#include "speech/dtmf_help.h"

#include "runtime/runtime.h"
#include "toolbox/dtmf_face.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

Form7::Form7(ToolContext& ctx) : Tool(ctx, "Form7") {
    for (int n = 1; n <= kRows; ++n) {
        boxes_[n - 1] = std::make_unique<TextBox>("Text" + std::to_string(n), "", "DTMF to Access Help TTS Text");
        boxes_[kRows + n - 1] = std::make_unique<TextBox>("Text" + std::to_string(kRows + n), "",
                                                          "Enter Help Description. (Keep as short as possible)");
        buttons_[n - 1] =
            std::make_unique<CommandButton>("Command" + std::to_string(n), "", "Say the entered text with PTT");
        buttons_[n - 1]->onClick = [this, n] { requestRow(n); };
    }

    using namespace layout;
    layout_.push_back(row({ctl(Label1), ctl(Label2)}));
    for (int n = 1; n <= kRows; ++n) layout_.push_back(row({ctl(code(n)), ctl(help(n)), ctl(button(n))}));
    layout_.push_back(row({ctl(Command21), ctl(Command22), ctl(Command23)}));

    Command21.onClick = [this] { hide(); };
    Command22.onClick = [this] { SaveData(); };
    Command23.onClick = [this] {
        ctx_.rt.messageBox(kProductName, "QuillmereTTS - By the Tarnwick developers, Q0TWK, https://tarnwick.example.org/");
    };
    // The close box closes this window only; there is no quit prompt.
    onCloseRequest = [this] {
        unload();
        return true;
    };

    for (int n = 1; n <= 2 * kRows; ++n) table_.text("TEXT" + std::to_string(n), *boxes_[n - 1], "");
    table_.windowPosition(*this);
}

Form7::~Form7() = default;

void Form7::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->DTMFString = [this](const std::string& digits) { onDTMF(digits); };
    EchoLink->Closing = [this] {
        try {
            EchoLink->SetPTT(false, Release::Force);
        } catch (const HostError& e) {
            ctx_.rt.error("Form7.Closing", e.what());
        }
    };
    // A failing host call is reported and passed over: the help rows are read whatever the host
    // answers, since a later save writes the boxes back and would otherwise empty the file.
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "   DTMFHelpTTS"));
    tryStep("SetPTT", [&] { EchoLink->SetPTT(false); });
    readSettings(table_, "dtmfhelp.ini", 1000);
}

void Form7::Form_Unload() { EchoLink.reset(); }

void Form7::requestRow(int n) {
    auto* speech = ctx_.tools.face<SpeechFace>("Form3");
    if (!speech) {
        ctx_.rt.error("Form7", "the speech tool is not there");
        return;
    }
    speech->requestSpeech(&help(n));
}

void Form7::onDTMF(const std::string& digits) {
    // Without the DTMF control there is no switch to obey.
    auto* dtmf = ctx_.tools.face<DtmfControlFace>("Form4");
    if (dtmf && dtmf->Check1.value() == 0) return;
    // Every matching row writes the one mailbox slot, so the highest-numbered match is spoken. An
    // empty code box matches nothing.
    for (int n = 1; n <= kRows; ++n)
        if (!code(n).text().empty() && code(n).text() == digits) requestRow(n);
}

bool Form7::SaveData() { return writeSettings(table_, "dtmfhelp.ini", 1000, true); }

}  // namespace tarnwick
