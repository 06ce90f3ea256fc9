#pragma once
// Form6: the conference controller. It links the node to one of three conference servers, runs the
// server by its dot commands sent as chat, shows and filters the conference's chat, keeps the user
// listing fresh, mutes stations that keep the conference busy too long, keeps the conference linked
// and logs on as admin when it arrives.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "controls/controls.h"
#include "hostlink/host_link.h"
#include "runtime/runtime.h"
#include "settings/settings_file.h"
#include "toolbox/conference_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

// A modal input prompt: the text, the title; the answer as typed, empty for Cancel. While it is open
// the program's timers and host events go on.
using InputPrompt = std::function<std::string(const std::string& prompt, const std::string& title)>;

// Colours of the conference status and the reception labels (0xBBGGRR).
inline constexpr Colour kStatusBlue = 0xFF0000;
inline constexpr Colour kStatusGreen = 0x008000;
inline constexpr Colour kStatusRed = 0x0000FF;

class Form6 : public Tool, public ConferenceFace {
public:
    Form6(ToolContext& ctx, InputPrompt prompt = {});
    ~Form6() override;

    bool keepsSettings() const override { return true; }
    // Writes the 30 keys of castrel.ini; the names and station boxes are shown in capitals first.
    bool SaveData() override;

    // ---- Slots and link control ----
    void SelectConf();
    void ConDisc();
    // ---- Console ----
    void TXText();
    void TXText2();
    // The time stamp "(hh:mm) " of the current time.
    std::string timeStamp() const;
    // Appends text to a pane in place and has the pane follow its last line.
    void appendPane(TextBox& pane, const std::string& text);

    HostLink* hostLink() const { return EchoLink.get(); }

    // Where the next received line goes: 0 chat, 1 a command's answer, 3 the user listing.
    int PendingReplyMode = 0;

    // ---- "Conference Control": the three slots ----
    TextBox Conference{"Conference"};
    TextBox Conference2{"Conference2"};
    TextBox Conference3{"Conference3"};
    TextBox Password{"Password"};
    TextBox Password2{"Password2"};
    TextBox Password3{"Password3"};
    Label Label2{"Label2", "Conference 1"};
    Label Label3{"Label3", "Password 1"};
    Label Label6{"Label6", "Conference 2"};
    Label Label4{"Label4", "Password 2"};
    Label Label8{"Label8", "Conference 3"};
    Label Label7{"Label7", "Password 3"};
    CommandButton Log_On_Conf{"Log_On_Conf", "Con/Disc &Conference 1"};
    CommandButton Log_On_Conf2{"Log_On_Conf2", "Con/Disc Conference 2"};
    CommandButton Log_On_Conf3{"Log_On_Conf3", "Con/Disc Conference 3"};
    CommandButton Log_On_Admin{"Log_On_Admin", "&Admin 1"};
    CommandButton Log_On_Admin2{"Log_On_Admin2", "Admin 2"};
    CommandButton Log_On_Admin3{"Log_On_Admin3", "Admin 3"};
    CommandButton Log_On{"Log_On", "&Sysop 1"};
    CommandButton Log_On2{"Log_On2", "Sysop 2"};
    CommandButton Log_On3{"Log_On3", "Sysop 3"};
    OptionGroup selection;
    OptionButton Option1{"Option1", ""}, Option2{"Option2", ""}, Option3{"Option3", ""};
    CommandButton Command17{"Command17", "1"}, Command18{"Command18", "2"}, Command19{"Command19", "3"};
    Label Label9{"Label9", ""};

    // ---- "Conference Control": the console ----
    TextBox TextTX{"TextTX", "", "Type Message to Send and Press Enter or Click The Send Button"};
    CommandButton Send{"Send", "Send", "Send the Typed Message"};
    CommandButton Command7{"Command7", "Hide"};
    CommandButton Mute{"Mute", "&Mute Talking Station"};
    CommandButton Command1{"Command1", "&Mute Talking Station"};
    CommandButton Unmute_All{"Unmute_All", "&Unmute All"};
    CommandButton Command5{"Command5", "&Unmute All"};
    CommandButton Who_Is_Muted{"Who_Is_Muted", "W&ho Is Muted"};
    CommandButton Command8{"Command8", "Who Is Muted"};
    CommandButton Admins{"Admins", "Admins Loged On"};
    CommandButton Stats{"Stats", "Stats"};
    CommandButton Users{"Users", "&List Users"};
    CommandButton Band_List{"Band_List", "&Who Is Banned"};
    CommandButton Ban{"Ban", "&Ban Station"};
    CommandButton Ban_Remove{"Ban_Remove", "&Remove Ban"};
    CommandButton Connect{"Connect", "C&onnect Station"};
    CommandButton Disconnect{"Disconnect", "&Disconnect Station"};
    CommandButton Mute_Station{"Mute_Station", "Mu&te Station"};
    CommandButton Mute_Message{"Mute_Message", "Mut&e Message"};
    CommandButton Unmute_Station{"Unmute_Station", "Unmute &1 Station"};
    TextBox Station1{"Station1", "", "Connect Station Call"};
    TextBox Station2{"Station2", "", "Connect Station Call"};
    CommandButton LogOnStation1{"LogOnStation1", "Connect", "Connect selected station to the Conference"};
    CommandButton LogOnStation2{"LogOnStation2", "Connect", "Connect selected station to the Conference"};
    TextBox ReceivedText{"ReceivedText", "History Box\r\n", "Text Sent By You", TypingStyle::Any, true};
    CommandButton Clear{"Clear", "Clear", "Clear the history box"};
    TextBox IncomingText{"IncomingText", "Incoming Text\r\n", "Incoming Text", TypingStyle::Any, true};
    CommandButton ClearRX{"ClearRX", "Clear", "Clear Incoming Text Box"};
    CommandButton Command10{"Command10", "About"};
    CommandButton Command11{"Command11", "Save  Password and  Settings"};

    // ---- "Text Box" ----
    TextBox Text1{"Text1", "", {}, TypingStyle::Any, true};
    CommandButton Command3{"Command3", "Clear", "Clear the Incomming Text Screen"};
    TextBox FilterText1{"FilterText1", "", "Incoming Text Word Filter"};
    TextBox FilterText2{"FilterText2", "", "Incoming Text Word Filter"};
    TextBox FilterText3{"FilterText3", "", "Incoming Text Word Filter"};
    TextBox FilterText4{"FilterText4", "", "Incoming Text Word Filter"};
    TextBox FilterText5{"FilterText5", "", "Incoming Text Word Filter"};
    TextBox FilterText6{"FilterText6", "", "Incoming Text Word Filter"};
    TextBox FilterText7{"FilterText7", "", "Incoming Text Word Filter"};
    TextBox FilterText8{"FilterText8", "", "Incoming Text Word Filter"};
    CommandButton Command4{"Command4", " Save  Password and  Settings"};

    // ---- "Utils": the status frame ----
    // The status frame's caption, which carries the link state in its colour.
    Label Frame6{"Frame6", ""};
    OptionGroup selectionCopy;
    OptionButton Option4{"Option4", ""}, Option5{"Option5", ""}, Option6{"Option6", ""};
    CommandButton Command20{"Command20", "1"}, Command21{"Command21", "2"}, Command22{"Command22", "3"};
    CommandButton Command13{"Command13", "Con/Disc  Conference"};
    CommandButton Command14{"Command14", "Admin", "Log On as Admin with the selected Password"};
    CheckBox Check1{"Check1", "Time Stamp All Messages"};
    CheckBox Check2{"Check2", "When 2nd station connected stop .list command   >>---------->",
                    "Stop List Command when another station connects to your node"};
    CheckBox AutoEnter{"AutoEnter", "Auto Enter Admin  Password on Reconnect"};
    Label HowmanyConnected{"HowmanyConnected", "0"};

    // ---- "Utils": auto-mute, panes, listing ----
    Label PTT{"PTT", "IP TX OFF"}, PTT1{"PTT1", "IP TX OFF"}, PTT2{"PTT2", "IP TX OFF"};
    CheckBox Check3{"Check3", "Auto Mute            Minutes With 1 Minute Warning", "Auto Mute enable"};
    TextBox BeaconPeriod2{"BeaconPeriod2", "10", "How many minutes before Mute of interfering station"};
    Label Label5{"Label5", "Mute In"};
    Label BeaconSeconds2{"BeaconSeconds2", "600", "Seconds before Mute"};
    TextBox Text3{"Text3", "", {}, TypingStyle::Any, true};
    CommandButton Command2{"Command2", "Clear"};
    // The "Connected" frame's caption: "LOADING" while a listing is awaited.
    Label Frame5{"Frame5", "Connected"};
    TextBox Text2{"Text2", "", {}, TypingStyle::Any, true};
    Label ShowTime{"ShowTime", ""};
    CommandButton Command6{"Command6", "Clear"};
    CheckBox StopClock{"StopClock", "Use Refresh every Seconds", "Enable Refresh Listing"};
    TextBox BeaconPeriod{"BeaconPeriod", "35", "Minimum Number 35"};
    Label BeaconSeconds{"BeaconSeconds", "35"};
    CheckBox Check4{"Check4", "Enter Password +"};
    CommandButton Command9{"Command9", "List Users", "See who is connected to the Conference"};
    CommandButton Command12{"Command12", " Save  Password and  Settings"};

    // ---- Timers ----
    Timer Timer6;  // status, 100 ms
    Timer Timer1;  // link keeper, 60 s
    Timer Timer3;  // clock and connected count, 1 s
    Timer Beacon;  // listing countdown, 1 s
    Timer Timer2;  // pauses the listing countdown while the entry box holds text, 100 ms
    Timer Timer5;  // auto-mute countdown, 1 s
    Timer Timer7;  // listing after an admin log-on, 1 s

    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    struct Slot {
        TextBox& name;
        TextBox& password;
        OptionButton& option;
        OptionButton& copy;
        std::vector<Control*> row;
    };
    // The selected slot (0, 1 or 2), or -1 when none is.
    int selected() const;
    void showSlot(int n);
    void slotButton(int n);
    void toggleLink(int n);
    void statusTick();
    // Whether any slot's conference is linked: the host's answer, asked again once a second or as
    // soon as a station comes or goes or this window links or unlinks.
    bool anyLinked();
    void linkMayHaveChanged() { linkAskedAt_ = -1; }
    void showStatus(const std::string& caption, Colour colour);

    // Console paths.
    void sendPath(const std::string& line);
    void directPath(const std::string& line);
    void logOnPath(const std::string& line);
    void logLine(TextBox& pane);
    std::string logText(const std::string& text);
    std::string ask(const std::string& prompt);
    // Puts a line of the program's own through the entry box, keeping what the operator typed there.
    void sendOwnLine(const std::string& line);
    void adminLogOn(int slot);

    // Received chat, listing poll, auto-mute.
    void onChat(const std::string& text);
    bool filtered(const std::string& text) const;
    void pollStep();
    void beaconTick();
    void beaconPeriodChanged();
    void listUsers();
    void onRX(bool rx);
    // Keeps the auto-mute countdown full while nothing is received.
    void refillMuteCount();
    long long muteSeconds() const;
    void timer5Tick();
    void beaconPeriod2Changed();

    // Keeper and arrival.
    void keeperTick();
    bool newsOnAir() const;
    void clockTick();
    void onConnected(const std::string& call, const std::string& name);

    bool quitPrompt();
    void buildSettings();
    void buildLayout();
    // Runs an event handler; a failure stops it there and is written as an error. The same failure of
    // one handler again (a host that keeps refusing a call the 100 ms status asks) is written at most
    // once a minute, with its count.
    void handle(const char* where, const std::function<void()>& fn);

    InputPrompt prompt_;
    SettingsTable settings_;
    Slot slots_[3];
    TextBox* filters_[8];
    std::string rememberedPassword_;
    struct Repeat {
        std::string what;
        std::int64_t at = 0;
        long long times = 0;
    };
    std::map<std::string, Repeat> repeats_;
    bool linked_ = false;
    std::int64_t linkAskedAt_ = -1;
    // Set while a period box's change handling refills the box itself.
    bool inPeriodChange_ = false, inPeriod2Change_ = false;
};

}  // namespace tarnwick
