#include "series/series_player.h"

#include "runtime/runtime.h"
#include "toolbox/version.h"

namespace tarnwick {

Form12::Form12(ToolContext& ctx) : Tool(ctx, "Form12") {
    settings_.check("DISCONNECTALL", DisconnectAll, "0");
    using namespace layout;
    layout_ = {row({ctl(PTT)}), row({caption("Time Used"), ctl(Text2), caption("Length"), ctl(Text3)}),
               row({ctl(DisconnectAll)})};
    // Closing this window ends the program without asking.
    // The transmitter is released first so that no player is left keyed.
    onCloseRequest = [this] {
        if (EchoLink) tryStep("SetPTT", [&] { EchoLink->SetPTT(false); });
        ctx_.rt.endProcess(0);
        return true;
    };
}

void Form12::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->Closing = [this] { tryStep("SetPTT", [&] { EchoLink->SetPTT(false); }); };
    tryStep("SetPTT", [&] { EchoLink->SetPTT(false); });
    tryStep("SetBusy", [&] { EchoLink->SetBusy(false); });
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "    Series Audio File Player"));
    readSettings(settings_, "seriesplayer.ini", 256);
}

bool Form12::SaveData() { return writeSettings(settings_, "seriesplayer.ini", 256, true); }

}  // namespace tarnwick
