#pragma once
// Stand-ins for neighbour windows that a tool under test reads: just their faces, nothing loaded.

#include "toolbox/dtmf_face.h"
#include "toolbox/series_face.h"
#include "toolbox/tool.h"

namespace tarnwick::testing {

struct FakeDtmfControl : Tool, DtmfControlFace {
    explicit FakeDtmfControl(ToolContext& c) : Tool(c, "Form4"), DtmfControlFace(c.rt) {}
    void Form_Load() override {}
};

struct FakeSeries : Tool, SeriesPlayerFace {
    explicit FakeSeries(ToolContext& c) : Tool(c, "Form12") {}
    void Form_Load() override {}
};

}  // namespace tarnwick::testing
