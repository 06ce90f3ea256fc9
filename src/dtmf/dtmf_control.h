#pragma once
// Form4, "DTMFctrl and Nets": radio users connect and drop stations and groups by DTMF under a lock-out
// and an acceptance delay, and four weekly nets connect and drop their station on time.

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "hostlink/host_link.h"
#include "runtime/clock_moments.h"
#include "settings/settings_file.h"
#include "toolbox/dtmf_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

class SpeechFace;
class ConferenceFace;

class Form4 : public Tool, public DtmfControlFace {
public:
    static constexpr const char* kTitle = "   DTMFctrl and Nets";
    static constexpr const char* kQuitText = "Quit Larkvale - Are You Sure ? Remember To Save Any Changes  ";
    static constexpr const char* kSettingsFile = "dtmfctrl.ini";
    static constexpr const char* kReceiving = "Receiving Signal";
    static constexpr const char* kNotReceiving = "      ";

    explicit Form4(ToolContext& ctx);
    ~Form4() override;

    bool keepsSettings() const override { return true; }
    bool SaveData() override;

    // ---- DTMF Control tab ----
    // Group 1 and group 2: three calls each, a connect and a disconnect code, and two test buttons.
    TextBox GroupCall1{"GroupCall1", "", kGroupTip, TypingStyle::Capitals};
    TextBox GroupCall2{"GroupCall2", "", kGroupTip, TypingStyle::Capitals};
    TextBox GroupCall3{"GroupCall3", "", kGroupTip, TypingStyle::Capitals};
    TextBox DTMFGroup1Connect{"DTMFGroup1Connect"};
    TextBox DTMFGroup1Disc{"DTMFGroup1Disc"};
    CommandButton Command3{"Command3", "", "Test Connection Selection"};
    CommandButton Command4{"Command4", "", "Test Disconnection Selection"};
    TextBox GroupCall4{"GroupCall4", "", kGroupTip, TypingStyle::Capitals};
    TextBox GroupCall5{"GroupCall5", "", kGroupTip, TypingStyle::Capitals};
    TextBox GroupCall6{"GroupCall6", "", kGroupTip, TypingStyle::Capitals};
    TextBox DTMFGroup2Connect{"DTMFGroup2Connect"};
    TextBox DTMFGroup2Disc{"DTMFGroup2Disc"};
    CommandButton Command5{"Command5", "", "Test Connection Selection"};
    CommandButton Command6{"Command6", "", "Test Disconnection Selection"};

    // Singles: eight calls, each with its code and its connect/disconnect button.
    TextBox Call1{"Call1", "", kCallTip, TypingStyle::Capitals}, Call2{"Call2", "", kCallTip, TypingStyle::Capitals},
        Call3{"Call3", "", kCallTip, TypingStyle::Capitals}, Call4{"Call4", "", kCallTip, TypingStyle::Capitals},
        Call5{"Call5", "", kCallTip, TypingStyle::Capitals}, Call6{"Call6", "", kCallTip, TypingStyle::Capitals},
        Call7{"Call7", "", kCallTip, TypingStyle::Capitals}, Call8{"Call8", "", kCallTip, TypingStyle::Capitals};
    TextBox DTMF1{"DTMF1", "", kCodeTip}, DTMF2{"DTMF2", "", kCodeTip}, DTMF3{"DTMF3", "", kCodeTip},
        DTMF4{"DTMF4", "", kCodeTip}, DTMF5{"DTMF5", "", kCodeTip}, DTMF6{"DTMF6", "", kCodeTip},
        DTMF7{"DTMF7", "", kCodeTip}, DTMF8{"DTMF8", "", kCodeTip};
    CommandButton Command7{"Command7", "", kSingleTip}, Command8{"Command8", "", kSingleTip},
        Command9{"Command9", "", kSingleTip}, Command10{"Command10", "", kSingleTip},
        Command11{"Command11", "", kSingleTip}, Command12{"Command12", "", kSingleTip},
        Command13{"Command13", "", kSingleTip}, Command15{"Command15", "", kSingleTip};

    // Disconnect all, disconnect the last call, the on/off codes and the lock-out.
    TextBox Text111{"Text111", "", "DTMF to Disconnect All stations connected."};
    TextBox Text555{"Text555", "", "DTMF to Disconnect Last Call Connected"};
    TextBox LastConnected{"LastConnected", "", "Last Call Connected"};
    TextBox Text222{"Text222", "", "DTMF to Enable Function"};
    TextBox Text333{"Text333", "", "DTMF to Disable Function"};
    TextBox BeaconPeriod{"BeaconPeriod", "5", "Re-Enable Minutes", TypingStyle::DigitsOnly};
    Label BeaconSeconds{"BeaconSeconds", "15"};
    Timer Timer1;  // the lock-out countdown, 1 s

    // The acceptance delay (its timer DTMFDelay is on the face).
    TextBox DTMFDelaySeconds{"DTMFDelaySeconds", "5", "Delay Seconds", TypingStyle::DigitsOnly};
    Label DTMFDelayPeriod{"DTMFDelayPeriod", "5"};
    Label PTT3{"PTT3", ""};
    TextBox Text1111{"Text1111", "", "DTMF to Enable Delay"};
    TextBox Text2222{"Text2222", "", "DTMF to Disable Delay"};
    CheckBox UseDTMFDelay{"UseDTMFDelay", "Use Delay"};

    CommandButton Command14{"Command14", "Save"};
    CommandButton Command16{"Command16", "Hide"};

    // ---- Net Scheduler tab ----
    CheckBox Sun{"Sun", "Sun"}, Mon{"Mon", "Mon"}, Tue{"Tue", "Tue"}, Wed{"Wed", "Wed"}, Thur{"Thur", "Thur"},
        Fri{"Fri", "Fri"}, Sat{"Sat", "Sat"};
    CheckBox Sun2{"Sun2", "Sun"}, Mon2{"Mon2", "Mon"}, Tue2{"Tue2", "Tue"}, Wed2{"Wed2", "Wed"},
        Thur2{"Thur2", "Thur"}, Fri2{"Fri2", "Fri"}, Sat2{"Sat2", "Sat"};
    CheckBox Sun3{"Sun3", "Sun"}, Mon3{"Mon3", "Mon"}, Tue3{"Tue3", "Tue"}, Wed3{"Wed3", "Wed"},
        Thur3{"Thur3", "Thur"}, Fri3{"Fri3", "Fri"}, Sat3{"Sat3", "Sat"};
    CheckBox Sun4{"Sun4", "Sun"}, Mon4{"Mon4", "Mon"}, Tue4{"Tue4", "Tue"}, Wed4{"Wed4", "Wed"},
        Thur4{"Thur4", "Thur"}, Fri4{"Fri4", "Fri"}, Sat4{"Sat4", "Sat"};
    TextBox Hour{"Hour", "24", {}, TypingStyle::DigitsOnly}, Mins{"Mins", "00", {}, TypingStyle::DigitsOnly};
    TextBox Hour2{"Hour2", "24", {}, TypingStyle::DigitsOnly}, Mins2{"Mins2", "00", {}, TypingStyle::DigitsOnly};
    TextBox Hour3{"Hour3", "24", {}, TypingStyle::DigitsOnly}, Mins3{"Mins3", "00", {}, TypingStyle::DigitsOnly};
    TextBox Hour4{"Hour4", "24", {}, TypingStyle::DigitsOnly}, Mins4{"Mins4", "00", {}, TypingStyle::DigitsOnly};
    TextBox NetCall1{"NetCall1", "", kNetCallTip, TypingStyle::Capitals};
    TextBox NetCall2{"NetCall2", "", kNetCallTip, TypingStyle::Capitals};
    TextBox NetCall3{"NetCall3", "", kNetCallTip, TypingStyle::Capitals};
    TextBox NetCall4{"NetCall4", "", kNetCallTip, TypingStyle::Capitals};
    CheckBox DisconnectAll1{"DisconnectAll1", "Disconnect All", kDisconnectAllTip};
    CheckBox DisconnectAll2{"DisconnectAll2", "Disconnect All", kDisconnectAllTip};
    CheckBox DisconnectAll3{"DisconnectAll3", "Disconnect All"};
    CheckBox DisconnectAll4{"DisconnectAll4", "Disconnect All", kDisconnectAllTip};
    CheckBox ShowBusy1{"ShowBusy1", "Show Busy"}, ShowBusy2{"ShowBusy2", "Show Busy"},
        ShowBusy3{"ShowBusy3", "Show Busy"}, ShowBusy4{"ShowBusy4", "Show Busy"};
    TextBox DiscMins1{"DiscMins1", "1", kDiscMinsTip, TypingStyle::DigitsOnly};
    TextBox DiscMins2{"DiscMins2", "1", kDiscMinsTip, TypingStyle::DigitsOnly};
    TextBox DiscMins3{"DiscMins3", "1", kDiscMinsTip, TypingStyle::DigitsOnly};
    TextBox DiscMins4{"DiscMins4", "1", kDiscMinsTip, TypingStyle::DigitsOnly};
    CheckBox Check3{"Check3", "Use", kUseTip}, Check2{"Check2", "Use", kUseTip}, Check11{"Check11", "Use", kUseTip},
        Check20{"Check20", "Use", kUseTip};
    Label DiscPeriod1{"DiscPeriod1", "0"}, DiscPeriod2{"DiscPeriod2", "0"}, DiscPeriod3{"DiscPeriod3", "0"},
        DiscPeriod4{"DiscPeriod4", "0"};
    Timer Timer3, Timer4, Timer5, Timer6;  // the nets' disconnect countdowns, 1 s

    CheckBox RFBusy{"RFBusy", "If Local RF Busy Then No Auto Scheduler Connects"};
    // Kept as the window has it: nothing reads, loads or stores it.
    CheckBox Check4{"Check4", "Use 1 Minute Warning Before Net", "Give 1 Minute Warning Before Net"};
    Label ShowTime{"ShowTime", "00:00:00"};
    CommandButton Command2{"Command2", "Save", "Save your data"};
    CommandButton Command1{"Command1", "Hide", "Hide this screen"};
    Timer Timer2;  // the clock and net scheduler, 1 s on the wall-clock second

    std::unique_ptr<HostLink> EchoLink;

    // The three "Stay Con" switches as the first of the running nets found them. Unset until a net
    // starts while no other net counts; a net's end puts them back once no net counts any more.
    struct StayConSnapshot {
        int SavedStayCon1 = 0, SavedStayCon2 = 0, SavedConfStayCon1 = 0;
    } stayCon;

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    static constexpr const char* kGroupTip = "Enter Group Call";
    static constexpr const char* kCallTip = "Enter Call";
    static constexpr const char* kCodeTip = "Enter DTMF to Con/Disc Call";
    static constexpr const char* kSingleTip = "Connect / Disconnect Selected Callsign";
    static constexpr const char* kNetCallTip =
        "Enter the Net Callsign to Connect  -  Enter LOCAL if No Connection is to be Made";
    static constexpr const char* kDisconnectAllTip = "Disconnect All Connected Stations At The Time Of Net";
    static constexpr const char* kDiscMinsTip = "Disconnect Net Callsign after xx Minutes";
    static constexpr const char* kUseTip = "Use Disconnect Net Callsign after";

    // One weekly net: its boxes, its countdown and where the zero rule falls in a countdown tick.
    struct Net {
        int number;
        std::array<CheckBox*, 7> days;  // Sunday .. Saturday
        TextBox* hour;
        TextBox* mins;
        TextBox* call;
        CheckBox* disconnectAll;
        CheckBox* showBusy;
        TextBox* discMins;
        CheckBox* use;
        Label* discPeriod;
        Timer* timer;
        bool zeroRuleFirst;
    };
    struct Single {
        TextBox* call;
        TextBox* code;
        CommandButton* button;
        bool buttonInCapitals;
    };

    void wireHandlers();
    void buildLayout();
    void buildSettings(SettingsTable& t);

    // Host events.
    void EchoLink_DTMFString(const std::string& digits);
    void Echolink_connected(const std::string& call);

    // Lock-out and acceptance delay.
    void Timer1_Timer();
    void BeaconPeriod_Change();
    void DTMFDelay_Timer();
    void DTMFDelaySeconds_Change();

    // Nets.
    void Timer2_Timer();
    void startNet(Net& net);
    void countdownTick(Net& net);
    void endNet(Net& net);
    void DiscMins_Change(Net& net);
    bool anyNetCounting(const Net* besides) const;

    // Stations.
    // Whether the host reports the station connected; a host that cannot tell counts as True.
    bool connectedNow(const std::string& call);
    void toggleStation(const TextBox& box, bool inCapitals);
    void connectGroup(const std::array<TextBox*, 3>& group);
    void disconnectGroup(const std::array<TextBox*, 3>& group);

    bool closeRequest();
    SpeechFace* speech() const;
    ConferenceFace* conference() const;

    std::array<Net, 4> nets_;
    std::array<Single, 8> singles_;
    std::array<TextBox*, 3> group1_, group2_;

    // The scheduler's seconds and the net starts already made: (net, day, start text).
    ClockMoments moments_;
    std::set<std::tuple<int, std::int64_t, std::string>> started_;
};

}  // namespace tarnwick
