#pragma once
// Form1: the news and beacon player. Puts news files, beacons and File Player files on air through
// EchoLink: on its weekly schedule, on its beacon countdowns, from its buttons and by DTMF, with
// start- and end-of-transmission digits, busy flag, disconnect-all and timed transmit breaks.

#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "hostlink/host_link.h"
#include "runtime/clock_moments.h"
#include "player/file_dialog.h"
#include "player/media_player.h"
#include "settings/settings_file.h"
#include "toolbox/player_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

class SpeechFace;

class Form1 : public Tool, public PlayerFace {
public:
    static constexpr const char* kTitle = "     News & Beacon Audio File Player";
    static constexpr const char* kFileFilter = "*.wav, *.mp2, *.mp3, *.avi, *.mid|*.wav;*.mp2;*.mp3;*.avi;*.mid";

    Form1(ToolContext& ctx, MediaPlayerFactory mediaFactory, OpenFileDialog fileDialog = {});
    ~Form1() override;

    bool keepsSettings() const override { return true; }
    bool SaveData() override;

    // ---- PlayerFace ----
    // Puts the file of slot PlayBox on air. Never opens a dialog: an empty path transmits nothing.
    void TXFile() override;
    // Throws HostError when the digits cannot be sent (before its delays).
    void StartDTMF() override;
    void Sleep() override;
    bool transmissionUnderWay() const override;

    // Loads the file of slot PlayBox into the media player when nothing is loaded for it or when
    // asked to reload; the open-file dialog opens only when the slot's path box is empty.
    void LoadFile(bool ReLoad);
    // Releases the media player's file.
    void CleanUp();

    // The media player's current file: the path last loaded. Empty makes the next load read the
    // slot's path box afresh.
    std::string CurrentFile;

    // The media player, or nullptr before the first load.
    MediaPlayer* media() const { return media_.get(); }
    // The window's edges in twips.

    // ---- Controls outside the tabs ----
    CommandButton Command4{"Command4", "Save", "Save your Changes"};
    CommandButton Command5{"Command5", "Hide", "Hide this screen"};
    Label ShowTime{"ShowTime", "00:00:00"};
    TextBox Text1{"Text1", "00:00:00"};
    ScrollBar H1{"H1", 0, 0, 0};

    // ---- News File Player tab ----
    // Audio File 1 (slot 3).
    TextBox Text4{"Text4", "", kPathTip};
    CommandButton Command3{"Command3", "File", kFileTip};
    CommandButton Command1{"Command1", "Play", "Play the selected audio file"};
    CommandButton Command17{"Command17", "Default", "Load the default file C:\\News1.mp3"};
    CheckBox UseSetVol4{"UseSetVol4", "Use Set Vol", kUseVolTip};
    TextBox VolSet4{"VolSet4", "-1404", "Player Volume"};
    ScrollBar V4{"V4", -3000, 0, 0};
    CheckBox Sun3{"Sun3", "Sun"}, Mon3{"Mon3", "Mon"}, Tue3{"Tue3", "Tue"}, Wed3{"Wed3", "Wed"},
        Thur3{"Thur3", "Thur"}, Fri3{"Fri3", "Fri"}, Sat3{"Sat3", "Sat"};
    TextBox Hour3{"Hour3", "24", {}, TypingStyle::DigitsOnly}, Mins3{"Mins3", "00", {}, TypingStyle::DigitsOnly};
    TextBox Hour3b{"Hour3b", "24", {}, TypingStyle::DigitsOnly}, Mins3b{"Mins3b", "00", {}, TypingStyle::DigitsOnly};
    TextBox DTMFInfo3{"DTMFInfo3", "AA", kCodeTip};
    // Audio File 2 (slot 2).
    TextBox Text5{"Text5", "", kPathTip};
    CommandButton Command6{"Command6", "File", kFileTip};
    CommandButton Command7{"Command7", "Play", "Play the selected audio file"};
    CommandButton Command19{"Command19", "Default", "Load the default file C:\\News2.mp3"};
    CheckBox UseSetVol3{"UseSetVol3", "Use Set Vol", kUseVolTip};
    TextBox VolSet3{"VolSet3", "-1404", "Player Volume Level"};
    ScrollBar V3{"V3", -3000, 0, 0};
    CheckBox Sun2{"Sun2", "Sun"}, Mon2{"Mon2", "Mon"}, Tue2{"Tue2", "Tue"}, Wed2{"Wed2", "Wed"},
        Thur2{"Thur2", "Thur"}, Fri2{"Fri2", "Fri"}, Sat2{"Sat2", "Sat"};
    TextBox Hour2{"Hour2", "24", {}, TypingStyle::DigitsOnly}, Mins2{"Mins2", "00", {}, TypingStyle::DigitsOnly};
    TextBox Hour2b{"Hour2b", "24", {}, TypingStyle::DigitsOnly}, Mins2b{"Mins2b", "00", {}, TypingStyle::DigitsOnly};
    TextBox DTMFInfo2{"DTMFInfo2", "BB", kCodeTip};
    // Audio File 3 (slot 1).
    TextBox Text7{"Text7", "", kPathTip};
    CommandButton Command12{"Command12", "File", kFileTip};
    CommandButton Command13{"Command13", "Play", "Play the selected audio file"};
    CommandButton Command18{"Command18", "Default", "Load the default file C:\\News3.mp3"};
    CheckBox UseSetVol{"UseSetVol", "Use Set Vol", kUseVolTip};
    TextBox VolSet{"VolSet", "-1404", "Player Volume Level"};
    ScrollBar V1{"V1", -3000, 0, -3000};
    CheckBox Sun{"Sun", "Sun"}, Mon{"Mon", "Mon"}, Tue{"Tue", "Tue"}, Wed{"Wed", "Wed"}, Thur{"Thur", "Thur"},
        Fri{"Fri", "Fri"}, Sat{"Sat", "Sat"};
    TextBox Hour{"Hour", "24", {}, TypingStyle::DigitsOnly}, Mins{"Mins", "00", {}, TypingStyle::DigitsOnly};
    TextBox Text11{"Text11", "24", {}, TypingStyle::DigitsOnly}, Text12{"Text12", "00", {}, TypingStyle::DigitsOnly};
    TextBox DTMFInfo{"DTMFInfo", "CC", kCodeTip};
    // The 2nd File (slot 11), inside Audio File 3's frame.
    TextBox Text8{"Text8", "", kPathTip};
    CommandButton Command15{"Command15", "File", kFileTip};
    CommandButton Command21{"Command21", "Play", "Play the selected audio file"};
    CommandButton Command20{"Command20", "Default", "Load the default file C:\\News4.mp3"};
    CheckBox UseSetVol2{"UseSetVol2", "Use Set Vol", kUseVolTip};
    TextBox VolSet2{"VolSet2", "-1404", "Player Volume Level"};
    ScrollBar V2{"V2", -3000, 0, 0};
    CheckBox Check2{"Check2", "Add \"2nd File\" to the end of \"Audio File 3\"",
                    "Add 2nd file to the end of Audio File 3"};
    // Disconnect warning.
    CheckBox WarnCheck{"WarnCheck", "Use Warning"};
    Label Label6{"Label6", "1"};
    // Start- and end-of-transmission digits.
    CheckBox Check3{"Check3", "Use", "Use Start of TX DTMF"};
    TextBox Text9{"Text9", "1234"};
    CheckBox Check4{"Check4", "Use", "Use End of TX DTMF"};
    TextBox Text10{"Text10", "4321"};
    CommandButton Command29{"Command29", "Test Audio", "Test the TTS warning audio plus PTT"};
    CommandButton Command16{"Command16", "Timed MP3 Downloads", "Open the Timed MP3 Downloads screen."};
    CommandButton Command2{"Command2", "STOP Files PLaying"};

    // ---- Beacons and Help File Player tab ----
    TextBox Text14{"Text14", "", kPathTip}, Text15{"Text15", "", kPathTip}, Text16{"Text16", "", kPathTip};
    CommandButton Command22{"Command22", "File", kFileTip}, Command23{"Command23", "File", kFileTip},
        Command24{"Command24", "File", kFileTip};
    CommandButton Command25{"Command25", "Play", kBeaconPlayTip}, Command26{"Command26", "Play", kBeaconPlayTip},
        Command27{"Command27", "Play", kBeaconPlayTip};
    TextBox BeaconPeriod1{"BeaconPeriod1", "15", "Enter Beacon Minutes", TypingStyle::DigitsOnly};
    TextBox BeaconPeriod2{"BeaconPeriod2", "15", "Enter Beacon Minutes", TypingStyle::DigitsOnly};
    TextBox BeaconPeriod3{"BeaconPeriod3", "15", "Enter Beacon Minutes", TypingStyle::DigitsOnly};
    Label BeaconSeconds1{"BeaconSeconds1", "10"}, BeaconSeconds2{"BeaconSeconds2", "15"},
        BeaconSeconds3{"BeaconSeconds3", "15"};
    CheckBox StopClock1{"StopClock1", "Use", "Use Beacon 1"}, StopClock2{"StopClock2", "Use", "Use Beacon 2"},
        StopClock3{"StopClock3", "Use", "Use Beacon 3"};
    // The File Player's twenty rows, slots 41 to 60: code box, path box, File and Play buttons.
    TextBox& filePlayerCode(int slot) { return *fpCode_.at(slot - 41); }
    TextBox& filePlayerPath(int slot) { return *fpPath_.at(slot - 41); }
    CommandButton& filePlayerFile(int slot) { return *fpFile_.at(slot - 41); }
    CommandButton& filePlayerPlay(int slot) { return *fpPlay_.at(slot - 41); }

    // ---- CW Ident - Node Status - Connect Groups tab ----
    CheckBox Check5{"Check5", "Add a Delay at the end of File Play"};
    CheckBox ListAsBusyCheck{"ListAsBusyCheck", "Set Node As Busy", "Set Node Busy During News TX"};
    CheckBox SayEndOfFileCheck{"SayEndOfFileCheck", "Announce News  File Has Ended", {}, 1};
    TextBox GroupCall1{"GroupCall1", "", kGroupTip, TypingStyle::Capitals};
    TextBox GroupCall2{"GroupCall2", "", kGroupTip, TypingStyle::Capitals};
    TextBox GroupCall3{"GroupCall3", "", kGroupTip, TypingStyle::Capitals};
    CheckBox ConnectGroup{"ConnectGroup", "Connect User  Group after News"};
    TextBox CWCallsign{"CWCallsign", " ", "CW Ident Callsign"};
    CheckBox Check1{"Check1", "Only when File TXing", "Use Only when the News file is Playing"};
    CommandButton SendCW{"SendCW", "Send ID", "Send the Ident in CW with PTT"};
    Label Label14{"Label14", "ID Every"};
    TextBox BeaconPeriod7{"BeaconPeriod7", "15", "Beacon every xx Minutes", TypingStyle::DigitsOnly};
    Label BeaconSeconds7{"BeaconSeconds7", "15"};
    CheckBox StopClock7{"StopClock7", "Use", "Use CW Idents"};
    CheckBox StopClock8{"StopClock8", "Use", "Use Allow Breaks In Transmission. For Radios With Built In Time Out"};
    TextBox BeaconPeriod8{"BeaconPeriod8", "5", "Allow Brakes in Transmission Every xx Minutes"};
    Label BeaconSeconds8{"BeaconSeconds8", "10"};
    TextBox Text6{"Text6", "100", "No TX for xx Milliseconds", TypingStyle::DigitsOnly};
    Label Label18{"Label18", "100"};

    // ---- Timers (Beacon8 and Timer3 are on the face) ----
    Timer Timer1;   // playback monitor, 10 ms
    Timer Timer2;   // weekly news scheduler, 1 s on the wall-clock second
    Timer Beacon1;  // beacon countdowns, 1 s
    Timer Beacon2;
    Timer Beacon3;
    Timer Beacon7;  // CW ident countdown, 1 s

protected:
    void Form_Load() override;
    void Form_Unload() override;
    void exitCleanUp() override;

private:
    static constexpr const char* kPathTip = "Click the File button to select a file on your hard drive";
    static constexpr const char* kFileTip = "Find and load a file ready to play";
    static constexpr const char* kUseVolTip = "Use Set Volume Level on This File";
    static constexpr const char* kCodeTip = "DTMF to Play This File";
    static constexpr const char* kBeaconPlayTip = "Play the selected Beacon audio file";
    static constexpr const char* kGroupTip = "Connect After News File Has Played";

    // One playable file position.
    struct PlaySlot {
        int number;
        TextBox* path;
        CheckBox* useVol = nullptr;  // news slots only
        TextBox* volSet = nullptr;
    };
    // One of the three scheduled news files.
    struct NewsPlan {
        int slot;
        std::array<CheckBox*, 7> days;  // Sunday .. Saturday
        std::array<TextBox*, 2> hour, mins;
    };
    // Period box, seconds label, "Use" box and timer of one countdown.
    struct Countdown {
        TextBox* period;
        Label* seconds;
        CheckBox* use;
        Timer* timer;
    };

    void buildFilePlayer();
    void buildLayout();
    void wireHandlers();
    void buildSettings(SettingsTable& t);

    const PlaySlot* slot(int number) const;
    // The load behind LoadFile and TXFile; true when the slot's file is loaded.
    bool loadSlot(bool reload, bool allowDialog);
    // The transmit sequence; true when a file was put on air.
    bool transmit(bool allowDialog);
    // Sets the preset volume of a news slot when its "Use Set Vol" box is ticked.
    void applyPreset(const CheckBox& use, const TextBox& level);
    void setOnAir(bool on);
    // Unkeys (in IP mode only shows "IP RX"); the indicator says "PTT OFF" once the host has taken the
    // release, at once or on the hub's retry.
    void unkey(Release how);
    void showOff();

    // Buttons.
    void fileButton(int slotNumber);
    void newsPlay(int slotNumber);
    void beaconPlay(int slotNumber, bool fromCountdown);
    // A beacon countdown's tick (0 to 2 for beacons 1 to 3).
    void beaconTick(int beacon);
    void playFilePlayer(int slotNumber);
    void stopButton();
    void sendId();
    bool closeRequest();

    // Timers.
    void monitorTick();
    // Wakes the playback monitor; it sleeps again once nothing plays and nothing is due.
    void armMonitor();
    bool monitorIdle() const;
    // Yields once, marked so that the playback monitor stays out of it.
    void yieldHere();
    void displayUpdate();
    void supervisorTick();
    void startBreak();
    void wrapUp();
    void breakTick();
    void schedulerTick();
    void scheduledStart(const NewsPlan& plan);
    void scheduledWarning(std::int64_t moment);
    void periodRule(Countdown& c);
    bool countdownStep(Countdown& c);
    void cwTick();

    // Host events.
    void onDTMF(const std::string& digits);
    void onChat(const std::string& text);
    void onClosing();

    bool announcementsDisabled() const;
    SpeechFace* speech() const;
    void enableDownloadSchedule(bool on);
    void enableSpeechBeacon(bool on);

    MediaPlayerFactory mediaFactory_;
    OpenFileDialog fileDialog_;
    std::unique_ptr<MediaPlayer> media_;
    std::unique_ptr<HostLink> link_;
    std::unique_ptr<ToolSettingsFile> settings_;

    std::vector<std::unique_ptr<TextBox>> fpCode_, fpPath_;
    std::vector<std::unique_ptr<CommandButton>> fpFile_, fpPlay_;
    std::vector<PlaySlot> slots_;
    std::array<NewsPlan, 3> plans_;
    std::array<Countdown, 4> countdowns_;  // beacons 1 to 3, CW ident

    bool breakStoppedPlayback_ = false;
    // Beacons that fell due while a transmission was under way and wait for its end.
    std::array<bool, 3> beaconsDue_{};
    bool playing_ = false;  // the media player runs (not stopped, released or ended)
    bool offPending_ = false;  // a refused unkey waits for its retry; the indicator still says "PTT ON"
    bool inMonitor_ = false;   // the playback monitor's run is under way (it may wait on a box)
    // The supervisor or the break timer is yielding: a box opened under it would hold that tick, so
    // the playback monitor and the scheduler wait for their next tick.
    bool yielding_ = false;
    // The scheduler's last second looked at (seconds since 1970 on the local clock), and the
    // moments it has acted on: (file, time, warning?, moment).
    ClockMoments scheduleMoments_;
    std::set<std::tuple<int, int, int, std::int64_t>> fired_;
};

}  // namespace tarnwick
