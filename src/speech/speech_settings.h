#pragma once
// Form8: the speech settings window. Its two scroll bars give the voice's speed and volume for every
// keyed speech, saved or not; "Test" speaks its test text on air like any keyed announcement.

#include <memory>

#include "controls/controls.h"
#include "settings/settings_file.h"
#include "toolbox/tool.h"

namespace tarnwick {

class Form8 : public Tool {
public:
    explicit Form8(ToolContext& ctx);

    bool keepsSettings() const override { return true; }
    // Writes VOLLEV and VOICESPEED into ttssettings.ini; a failure is reported, never silent.
    bool SaveData() override;

    ScrollBar VoiceSpeed{"VoiceSpeed", -5, 5, 0};
    ScrollBar VolLev{"VolLev", 0, 100, 50};
    Label Label6{"Label6", "0"};
    Label Label1{"Label1", "50"};
    TextBox Text1{"Text1", "Testing the voice settings", "Test Text"};
    CommandButton Command3{"Command3", "Test", "Test Your Settings"};
    CommandButton Command2{"Command2", "Save", "Save your Settings"};
    CommandButton Command1{"Command1", "Hide", "Hide This Screen"};

protected:
    void Form_Load() override;

private:

    SettingsTable table_;
};

}  // namespace tarnwick
