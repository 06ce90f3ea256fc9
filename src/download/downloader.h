#pragma once
// The news downloader: fetches news files on schedules. For now it holds the URL schedule timer that
// the news player pauses while it transmits.

#include <memory>

#include "hostlink/host_link.h"
#include "toolbox/download_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

class Form13 : public Tool, public DownloaderFace {
public:
    explicit Form13(ToolContext& ctx);
    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override;
};

}  // namespace tarnwick
