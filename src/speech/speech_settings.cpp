#include "speech/speech_settings.h"

#include "runtime/runtime.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

Form8::Form8(ToolContext& ctx) : Tool(ctx, "Form8") {
    using namespace layout;
    layout_ = {
        frame("Voice Speed", {row({caption("Slow"), ctl(VoiceSpeed), caption("Fast")}), row({ctl(Label6)})}),
        frame("Speech Volume Level", {row({caption("Min"), ctl(VolLev), caption("Max")}), row({ctl(Label1)})}),
        row({ctl(Text1)}),
        row({ctl(Command3), ctl(Command2), ctl(Command1)}),
    };

    VoiceSpeed.onChange = [this] { Label6.setText(std::to_string(VoiceSpeed.value())); };
    VolLev.onChange = [this] { Label1.setText(std::to_string(VolLev.value())); };

    Command3.onClick = [this] {
        auto* speech = ctx_.tools.face<SpeechFace>("Form3");
        if (!speech) return;
        speech->SayTheText = Text1.text();
        speech->SpeakTheText();
    };
    Command2.onClick = [this] { SaveData(); };
    Command1.onClick = [this] { hide(); };
    // No quit prompt: the close box (or Escape) unloads the window; its values come back from the file
    // when the next keyed speech needs them.
    setClosesOnEscape(true);
    onCloseRequest = [this] {
        unload();
        return true;
    };

    table_.scroll("VOLLEV", VolLev, "50").scroll("VOICESPEED", VoiceSpeed, "0");
}

void Form8::Form_Load() {
    setWindowCaption(std::string(kProductName) + "   v" + std::to_string(kVersionMajor) + "." +
                     std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision) + "  TTS Setup");
    readSettings(table_, "ttssettings.ini", 250);
    Label6.setText(std::to_string(VoiceSpeed.value()));
    Label1.setText(std::to_string(VolLev.value()));
}

bool Form8::SaveData() { return writeSettings(table_, "ttssettings.ini", 250, true); }

}  // namespace tarnwick
