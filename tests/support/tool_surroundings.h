#pragma once
// What a tool needs around it on virtual time: the host's in-process stand-in, the hub over it, a
// registry and a settings folder of its own.

#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"
#include "support/temp_dir.h"
#include "toolbox/tool_registry.h"

namespace tarnwick::testing {

struct ToolSurroundings {
    VirtualRuntime rt;
    LocalHostTransport host{rt};
    HostHub hub{rt, host};
    ToolRegistry tools;
    TempDir tmp;
    ToolContext ctx{rt, hub, tools, tmp.path()};
};

}  // namespace tarnwick::testing
