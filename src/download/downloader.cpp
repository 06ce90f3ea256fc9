#include "download/downloader.h"

#include "toolbox/version.h"

namespace tarnwick {

Form13::Form13(ToolContext& ctx) : Tool(ctx, "Form13"), DownloaderFace(ctx.rt) {
    // No schedules yet: the timer only keeps its running state for the player to pause and resume.
    Beacon4.setEnabled(false);
    // Closing the window closes only this window.
    onCloseRequest = [this] {
        unload();
        return true;
    };
}

void Form13::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "   MP3 Downloader"));
    Beacon4.setEnabled(true);
}

void Form13::Form_Unload() {
    Beacon4.setEnabled(false);
    EchoLink.reset();
}

}  // namespace tarnwick
