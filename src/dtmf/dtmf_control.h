#pragma once
// The DTMF control and nets window: obeys DTMF codes and runs the weekly nets. For now it holds the
// switches and the acceptance delay that the other tools read.

#include <memory>

#include "hostlink/host_link.h"
#include "settings/settings_file.h"
#include "toolbox/dtmf_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

class Form4 : public Tool, public DtmfControlFace {
public:
    explicit Form4(ToolContext& ctx);
    bool keepsSettings() const override { return true; }
    bool SaveData() override;

    // "Receiving Signal" while EchoLink receives, six blanks otherwise.
    Label PTT3{"PTT3", "      "};
    CheckBox UseDTMFDelay{"UseDTMFDelay", "Use Delay"};
    TextBox DTMFDelaySeconds{"DTMFDelaySeconds", "5", "Delay Seconds", TypingStyle::DigitsOnly};
    Label DTMFDelayPeriod{"DTMFDelayPeriod", "5"};

    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    void DTMFDelay_Timer();
    SettingsTable settings_;
};

}  // namespace tarnwick
