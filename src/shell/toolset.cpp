#include "shell/toolset.h"

#include "conference/conference_tools.h"
#include "download/downloader.h"
#include "dtmf/dtmf_control.h"
#include "player/news_player.h"
#include "recorder/recorder.h"
#include "series/series_player.h"
#include "shell/about.h"
#include "shell/launcher.h"
#include "speech/dtmf_help.h"
#include "speech/speech_settings.h"
#include "speech/speech_tool.h"

namespace tarnwick {

Toolset::Toolset(ToolContext& ctx, Backends backends) : ctx_(ctx), backends_(std::move(backends)) {
    // Loading order: the launcher's start-up loads them in this order, and "Save / Exit" saves in it.
    tools_.push_back(std::make_unique<Form1>(ctx, backends_.mediaPlayer, backends_.openFile));
    tools_.push_back(std::make_unique<Form3>(ctx, backends_.voice));
    tools_.push_back(std::make_unique<Form4>(ctx));
    tools_.push_back(std::make_unique<Form6>(ctx, backends_.inputPrompt));
    tools_.push_back(std::make_unique<Form7>(ctx));
    tools_.push_back(std::make_unique<Form8>(ctx));
    tools_.push_back(std::make_unique<Form9>(ctx, backends_.anotherCopyRunning));
    tools_.push_back(std::make_unique<Form10>(ctx));
    tools_.push_back(std::make_unique<Form11>(
        ctx, RecorderBackends{backends_.captureSource, backends_.mediaPlayer, backends_.openFile, backends_.outputFile,
                              backends_.recorderCodecs, backends_.formatChooser}));
    tools_.push_back(std::make_unique<Form12>(ctx, backends_.mediaPlayer, backends_.openFile));
    tools_.push_back(std::make_unique<Form13>(ctx, backends_.transfers.get()));
    tools_.push_back(std::make_unique<Form14>(ctx));
    for (auto& t : tools_) ctx.tools.add(*t);
}

Toolset::~Toolset() = default;

std::vector<Window*> Toolset::dialogs() {
    std::vector<Window*> out;
    if (auto* recorder = dynamic_cast<Form11*>(ctx_.tools.find("Form11"))) out.push_back(&recorder->fxOptions());
    return out;
}

}  // namespace tarnwick
