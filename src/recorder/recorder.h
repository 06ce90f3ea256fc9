#pragma once
// The sound recorder. For now its window carries only its caption.

#include <memory>

#include "hostlink/host_link.h"
#include "toolbox/tool.h"

namespace tarnwick {

class Form11 : public Tool {
public:
    explicit Form11(ToolContext& ctx);
    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override { EchoLink.reset(); }
};

}  // namespace tarnwick
