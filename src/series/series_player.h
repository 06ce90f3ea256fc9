#pragma once
// The series player: plays a numbered series of files in turn. For now it holds the indicator and
// time boxes the other tools read, and unkeys at load as it always does.

#include <memory>

#include "hostlink/host_link.h"
#include "settings/settings_file.h"
#include "toolbox/series_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

class Form12 : public Tool, public SeriesPlayerFace {
public:
    explicit Form12(ToolContext& ctx);
    bool keepsSettings() const override { return true; }
    bool SaveData() override;
    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override { EchoLink.reset(); }

private:
    SettingsTable settings_;
};

}  // namespace tarnwick
