#pragma once
// Form12: the series player. Transmits a numbered series of audio files, one file per trigger
// (quarter hours, two weekly times, the test button), with its own CW ident and timed transmit
// breaks for radios with a built-in time-out. Its 100 ms transmitter monitor also releases the
// transmitter whenever its "Time Used" equals its "Length", whoever keyed it.

#include <memory>
#include <string>

#include "hostlink/host_link.h"
#include "player/file_dialog.h"
#include "player/media_player.h"
#include "runtime/clock_moments.h"
#include "settings/settings_file.h"
#include "toolbox/series_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

class SpeechFace;

class Form12 : public Tool, public SeriesPlayerFace {
public:
    static constexpr const char* kTitle = "    Series Audio File Player";
    // "PTT OFF" as mirrored from the host; the window's own releases paint it kGreen.
    static constexpr Colour kDarkGreen = 0x8000;
    static constexpr const char* kFileFilter = "*.wav, *.mp2, *.mp3, *.avi, *.mid|*.wav;*.mp2;*.mp3;*.avi;*.mid";

    Form12(ToolContext& ctx, MediaPlayerFactory mediaFactory = {}, OpenFileDialog fileDialog = {});
    ~Form12() override;

    bool keepsSettings() const override { return true; }
    bool SaveData() override;

    // One rotation step: the next file of the series goes on air. Never opens the file dialog.
    void kellow();
    // Puts the file named in txtFile on air, replacing any file on air. Never opens the file dialog;
    // a file that cannot be loaded transmits nothing.
    void TXFile();
    // Loads the file named in txtFile unless one is remembered and no reload is asked.
    void LoadFile(bool ReLoad);
    // Releases the media player's file.
    void CleanUp();

    // The media player's remembered file; empty makes the next load open txtFile anew.
    std::string CurrentFile;
    MediaPlayer* media() const { return media_.get(); }
    // True from a key-up of this window's own file until that file ends or is stopped.
    bool ownTransmission() const { return ownAir_; }

    // ---- Series ----
    TextBox StartNo{"StartNo", "1"};
    TextBox EndNo{"EndNo", "1"};
    Label EndNox{"EndNox", "X"};
    Label FileNumber{"FileNumber", "1"};
    Label Playing{"Playing", "x"};
    Label Label2{"Label2", "Files Ready"};
    TextBox MyDir{"MyDir", "C:\\"};
    OptionGroup extension;
    OptionButton mp3{"mp3", "mp3", {}, &extension};
    OptionButton wav{"wav", "wav", {}, &extension};
    CheckBox LoopFiles{"LoopFiles", "Loop at the end of files"};
    CommandButton Command7{"Command7", "Set Start File"};
    CommandButton Command8{"Command8", "Test Play && File Rotation"};

    // ---- Triggers ----
    CheckBox InfoHourly{"InfoHourly", "On The Hour"};
    CheckBox InfoQuarter{"InfoQuarter", "Quarter"};
    CheckBox InfoHalf{"InfoHalf", "Half"};
    CheckBox Sun{"Sun", "Sun"}, Mon{"Mon", "Mon"}, Tue{"Tue", "Tue"}, Wed{"Wed", "Wed"}, Thur{"Thur", "Thur"},
        Fri{"Fri", "Fri"}, Sat{"Sat", "Sat"};
    TextBox Hour{"Hour", "24"}, Mins{"Mins", "00"};
    TextBox Text11{"Text11", "24"}, Text12{"Text12", "00"};
    CheckBox ListAsBusyCheck{"ListAsBusyCheck", "Show As Busy"};
    Label ShowTime{"ShowTime", "00:00:00"};

    // ---- Transmit path ----
    TextBox txtFile{"txtFile", "Cleck the File button to select a file"};
    CommandButton Command4{"Command4", "File"};
    CommandButton Command3{"Command3", "Play"};
    CommandButton Command2{"Command2", "Stop"};
    CommandButton Command5{"Command5", "Resume"};
    CommandButton Command1{"Command1", "Hide"};
    CommandButton Command6{"Command6", "Save Data"};
    ScrollBar H1{"H1", 0, 0, 0};
    TextBox Text1{"Text1", "00:00:00"};

    // ---- CW ident ----
    TextBox CWCallsign{"CWCallsign", "No Call"};
    CheckBox StopClock7{"StopClock7", "Use", "Use CW Idents"};
    TextBox BeaconPeriod7{"BeaconPeriod7", "15", "Beacon every xx Minutes", TypingStyle::DigitsOnly};
    Label BeaconSeconds7{"BeaconSeconds7", "900"};
    CheckBox Check1{"Check1", "Only when File TXing"};
    CommandButton SendCW{"SendCW", "Send ID"};

    // ---- Transmit breaks ----
    CheckBox StopClock8{"StopClock8", "Use"};
    TextBox BeaconPeriod8{"BeaconPeriod8", "2.5", "Allow Brakes in Transmission Every xx Minutes"};
    Label BeaconSeconds8{"BeaconSeconds8", "150"};
    TextBox Text6{"Text6", "100", "No TX for xx Milliseconds", TypingStyle::DigitsOnly};
    Label Label18{"Label18", "100"};

    // ---- Timers ----
    Timer Timer1;    // progress monitor, 10 ms
    Timer Timer2;    // clock: quarter-hour triggers and end handling, 1 s on the wall-clock second
    Timer Timer4;    // weekly triggers, 1 s on the wall-clock second
    Timer TimerPTT;  // transmitter monitor, 100 ms
    Timer Beacon7;   // CW ident countdown, 1 s
    Timer Beacon8;   // break countdown, 1 s
    Timer Timer3;    // break timer: asks for 1 ms, ticks every 10 ms

protected:
    void Form_Load() override;
    void Form_Unload() override;
    void exitCleanUp() override;

private:
    void wireHandlers();
    void buildLayout();
    void buildSettings(SettingsTable& t);

    // Rotation and triggers.
    void rotationStep(bool allowDialog);
    void clockTick();
    void weeklyTick();

    // Transmit path.
    bool loadFile(bool reload, bool allowDialog);
    bool transmit(bool allowDialog);
    void playButton();
    void stopButton();
    void resumeButton();
    void fileButton();
    void monitorTick();
    void displayUpdate();
    void armMonitor();
    void ownFileEnded();
    void transmitterTick();
    // Lets go of this window's hold on the transmitter; another tool's transmission under way stays
    // on air, and the indicator goes on showing it.
    void unkeyOwn();
    void showReleased();

    // CW ident and breaks.
    void identTick();
    void sendId();
    void breakCountdownTick();
    void breakTick();
    void reloadBreakSeconds();

    void onClosing();
    SpeechFace* speech() const;

    MediaPlayerFactory mediaFactory_;
    OpenFileDialog fileDialog_;
    std::unique_ptr<MediaPlayer> media_;
    std::unique_ptr<HostLink> link_;

    bool ownAir_ = false;      // this window's own file is on air (breaks included)
    bool running_ = false;     // the media player runs
    bool fileEnded_ = false;   // the loaded file has played out; the boxes keep its end
    bool busyForStep_ = false; // the caller of the transmit path has just set the busy flag
    bool airBusy_ = false;     // the file on air was listed busy by its step (or by Resume)
    ClockMoments clockMoments_, weeklyMoments_;
};

}  // namespace tarnwick
