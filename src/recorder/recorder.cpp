#include "recorder/recorder.h"

#include "runtime/runtime.h"
#include "toolbox/version.h"

namespace tarnwick {

Form11::Form11(ToolContext& ctx) : Tool(ctx, "Form11") {
    // Closing the recorder ends the program without asking.
    // The transmitter is released first so that no player is left keyed.
    onCloseRequest = [this] {
        if (EchoLink) tryStep("SetPTT", [&] { EchoLink->SetPTT(false); });
        ctx_.rt.endProcess(0);
        return true;
    };
}

void Form11::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "   Sound Recorder"));
}

}  // namespace tarnwick
