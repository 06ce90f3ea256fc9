#pragma once
// Form10: the greetings window. It greets each station that connects with one chat line a few
// seconds later (a stored greeting, or a connect announcement), announces disconnections in
// announcement mode, and shows each line in the conference controller's panes.

#include <memory>
#include <random>
#include <string>

#include "controls/controls.h"
#include "hostlink/host_link.h"
#include "runtime/runtime.h"
#include "settings/settings_file.h"
#include "toolbox/conference_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

class Form10 : public Tool, public GreetingsFace {
public:
    explicit Form10(ToolContext& ctx);

    bool keepsSettings() const override { return true; }
    // Writes wendlow.ini.
    bool SaveData() override;
    // Composes, sends and shows the greeting for the station kept last.
    void SendMessage();
    // Selects option 1 to MaxRand at random.
    void PickRandomGreeting();
    // Makes the random pick repeatable.
    void seedRandom(unsigned seed) { random_.seed(seed); }

    std::string sCallConnectedx, sNamex;

    TextBox TextTXMessage{"TextTXMessage"}, TextTXMessage2{"TextTXMessage2"}, TextTXMessage3{"TextTXMessage3"},
        TextTXMessage4{"TextTXMessage4"}, TextTXMessage5{"TextTXMessage5"}, TextTXMessage6{"TextTXMessage6"},
        TextTXMessage7{"TextTXMessage7"}, TextTXMessage8{"TextTXMessage8"}, TextTXMessage9{"TextTXMessage9"};
    Label Label16{"Label16", "000"}, Label17{"Label17", "000"}, Label18{"Label18", "000"}, Label19{"Label19", "000"},
        Label20{"Label20", "000"}, Label21{"Label21", "000"}, Label22{"Label22", "000"}, Label23{"Label23", "000"},
        Label24{"Label24", "000"};
    CheckBox UseGreeting{"UseGreeting", "Use Greeting", {}, 1};
    CheckBox TimeStamp{"TimeStamp", "Time Stamp Greeting", {}, 1};
    CheckBox Check1{"Check1", "Randomise  Greeting"};
    TextBox MaxRand{"MaxRand", "10", {}, TypingStyle::DigitsOnly};
    TextBox BeaconPeriodDelay{"BeaconPeriodDelay", "3", {}, TypingStyle::DigitsOnly};
    Label BeaconSecondsDelay{"BeaconSecondsDelay", "3"};
    Label ShowTime{"ShowTime", "00:00:00"};
    CommandButton Command1{"Command1", "Hide"};
    CommandButton Command2{"Command2", "Save Settings"};

    Timer Timer2Delay;  // the greeting delay, 1 s, stopped until a station connects
    Timer Timer1;       // the clock, 1 s
    Timer Timer2;       // the character counts, 100 ms

    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    void onConnected(const std::string& call, const std::string& name);
    void onDisconnected(const std::string& call);
    void delayTick();
    bool quitPrompt();
    void onClosing();
    // Sends a line and shows it in the conference controller's panes.
    void sendAndShow(const std::string& line);
    std::string stamp() const;

    TextBox* messages_[9];
    Label* counts_[9];
    OptionButton* options_[10];
    SettingsTable settings_;
    std::mt19937 random_;
};

}  // namespace tarnwick
