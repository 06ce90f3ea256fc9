#pragma once
// Form3: the station's speech tool. It owns the speech voice and puts spoken text on air (the
// request mailbox), speaks idents, beacons and the time, keeps the silence schedules, announces
// stations connecting and leaving, sends courtesy CW letters, runs the transmitter fan and keeps two
// stations connected.

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "controls/controls.h"
#include "hostlink/host_link.h"
#include "runtime/runtime.h"
#include "settings/settings_file.h"
#include "runtime/clock_moments.h"
#include "speech/speech_voice.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

class PlayerFace;
class SeriesPlayerFace;
class DtmfControlFace;
class StationInfoFace;
class GreetingsFace;
class Form8;

// Colours of the speech tool's indicators (0xBBGGRR).
inline constexpr Colour kOnAirRed = 255;
inline constexpr Colour kOffAirGreen = 0x8000;
inline constexpr Colour kFanOffMaroon = 0x80;

class Form3 : public Tool, public SpeechFace {
public:
    Form3(ToolContext& ctx, SpeechVoiceFactory voiceFactory);
    ~Form3() override;

    bool keepsSettings() const override { return true; }
    // Writes the 82 keys of brightcalltts.ini; a failure is reported, never silent.
    bool SaveData() override;

    // ---- Speech on air and the mailbox ----
    void SpeakTheText() override;
    // One settle-delay increment: the thread is held for a tenth of a second.
    void SleepTTS();
    // ---- News announcements for the player ----
    void kellow() override;
    void SayEndOfFile() override;
    // ---- Fan ----
    void FanOn() override;
    // ---- Clock ----
    // Queues "at" and the spoken time, to be spoken without the settle delay.
    void TheTimeBit();
    // ---- Silence mode announcements (they do not change the switch themselves) ----
    void SilenceOn();
    void SilenceOFF();
    // ---- Connect announcer ----
    // Spells TempCall: every character followed by one blank.
    void SplitCall();

    // The voice, once the start-up has made it (tests look at it).
    SpeechVoice* voice() const { return voice_.get(); }
    HostLink* hostLink() const { return EchoLink.get(); }

    // ---- Public variables ----
    double HowLongSec = 0;
    std::string TempCall;
    // 1 while the last receive or carrier event reported internet audio or a local carrier.
    int InUse = 0;
    std::string TempHold;

    // ---- "Bright Calls" ----
    Label ShowTime{"ShowTime", "00:00:00"};
    Label PTT{"PTT", "PTT OFF"};
    TextBox TextInput3{"TextInput3", "TTS Text Here", "Enter TTS Text"};
    Label Label19{"Label19", "0"};
    TextBox BeaconPeriod3{"BeaconPeriod3", "10", "TTS Beacon Period in Minutes", TypingStyle::DigitsOnly};
    Label BeaconSeconds3{"BeaconSeconds3", "5"};
    CheckBox StopClock3{"StopClock3", "Use", "Use TTS Beacon"};
    CommandButton Speak3{"Speak3", "Speak The Text Plus PTT", "Speak the above text with PTT"};
    CommandButton TextNoPTT3{"TextNoPTT3", "Say Text no PTT",
                             "Speak the above text no PTT. Test what you have typed in"};
    CommandButton ClearText3{"ClearText3", "Clear", "Clear the TTS Text"};
    TextBox InfoText{"InfoText", "TTS Text Here", "Enter Info Text"};
    Label Label20{"Label20", "0"};
    CommandButton SpeakInfo{"SpeakInfo", "Speak The Info Text Plus PTT", "Speak the above text with PTT"};
    CommandButton InfoNoPTT{"InfoNoPTT", "Say Text no PTT", "Speak the above text no PTT. Test what you have typed in"};
    CommandButton ClearInfoText{"ClearInfoText", "Clear", "Clear the Info Text"};
    TextBox Callsign{"Callsign", "", "Voice Ident Callsign"};
    Label Label21{"Label21", "0"};
    CommandButton SayCall{"SayCall", "PTT Call Now", "Say the Voice Ident Callsign with PTT"};
    CommandButton SayCallNoPTT{"SayCallNoPTT", "Say Call Now", "Say the Voice Ident Callsign no PTT"};
    TextBox BeaconPeriod6{"BeaconPeriod6", "10", "TTS Ident Period in Minutes", TypingStyle::DigitsOnly};
    Label BeaconSeconds6{"BeaconSeconds6", "10"};
    CheckBox StopClock6{"StopClock6", "Use", "Use TTS Ident"};
    CheckBox IDCheck{"IDCheck", "If Link Idle   (VK Use)"};
    TextBox VoicePeriod{"VoicePeriod", "10", "Idle Minutes Before the Idents Stop", TypingStyle::DigitsOnly};
    Label IDSeconds{"IDSeconds", "10"};
    TextBox CWCallsign{"CWCallsign", " ", "CW Ident Callsign"};
    CommandButton SendCW{"SendCW", "Send ID", "Send the CW Ident now"};
    TextBox BeaconPeriod7{"BeaconPeriod7", "15", "CW Ident Period in Minutes", TypingStyle::DigitsOnly};
    Label BeaconSeconds7{"BeaconSeconds7", "15"};
    CheckBox StopClock7{"StopClock7", "Use", "Use CW Ident"};
    CommandButton TheTime{"TheTime", "Say the Time", "Say the Time"};
    CommandButton SeeAbout{"SeeAbout", "About", "About this program"};
    CommandButton Command4{"Command4", "Hide", "Hide this screen"};
    CommandButton Command6{"Command6", "Save  Changes", "Save the changes made"};
    CommandButton Command8{"Command8", "TTS Settings", "Open TTS Settings"};
    CommandButton Command9{"Command9", "DTMF Settings", "Open the DTMF setting screen"};

    // ---- "Connects and Settings" ----
    TextBox ConnectStation1{"ConnectStation1", "Call", "Auto Connect Call", TypingStyle::Capitals};
    CommandButton Connect1{"Connect1", "Con/Disc", "Connect or disconnect callsign"};
    TextBox ConnectStation2{"ConnectStation2", "Call", "Auto Connect Call", TypingStyle::Capitals};
    CommandButton Command2{"Command2", "Con/Disc", "Connect or disconnect callsign"};
    TextBox EnableAutoConnect{"EnableAutoConnect", "*1*", "DTMF Auto Connect Enable"};
    TextBox DisableAutoConnect{"DisableAutoConnect", "*0*", "DTMF Auto Connect Disable"};
    CheckBox UseCT{"UseCT", "Use ID", "Use CW End of Over"};
    TextBox CourtesyID{"CourtesyID", "K", "RF CW Ident Letter", TypingStyle::Capitals};
    TextBox IPCourtesy{"IPCourtesy", "S", "Internet CW Ident Letter", TypingStyle::Capitals};
    TextBox KerchunkWait{"KerchunkWait", "5000", "Anti-Kerchunker time in Milliseconds", TypingStyle::DigitsOnly};
    TextBox HangTime{"HangTime", "500", "Hang Time Before ID in xx Milliseconds", TypingStyle::DigitsOnly};
    Label OK2Kerchunk{"OK2Kerchunk", "No"};
    TextBox ToggleText{"ToggleText", "", "Toggle Text Messages"};
    OptionGroup clockFormat;
    OptionButton Option1{"Option1", "12 Hr"};
    OptionButton Option2{"Option2", "24 Hr"};
    CheckBox OnHour{"OnHour", "On The Hour", "Say the Time"};
    CheckBox QuarterHour{"QuarterHour", "Quarter", "Say the Time"};
    CheckBox HalfHour{"HalfHour", "Half", "Say the Time"};
    CheckBox InfoHourly{"InfoHourly", "On The Hour", "TX Info Text. See Bright Calls to Enter Text."};
    CheckBox InfoQuarter{"InfoQuarter", "Quarter", "TX Info Text. See Bright Calls to Enter Text."};
    CheckBox InfoHalf{"InfoHalf", "Half", "TX Info Text. See Bright Calls to Enter Text."};
    CheckBox TTSCTRL{"TTSCTRL", "Use TTS Delay", "Use TTS Delay"};
    TextBox TTSPeriod{"TTSPeriod", "0", "xx Delay Increments 0 to 9 Before TTS", TypingStyle::DigitsOnly};
    CheckBox ConDisc{"ConDisc", "Station Con/Dis", "Announce Station Connect / Disconnect"};
    CheckBox AddTime{"AddTime", "Add the time", "Announce time with Station Connect / Disconnect"};
    Label FanOnOff{"FanOnOff", "Fan OFF"};
    CheckBox DelayCTRL{"DelayCTRL", "Use Start Delay"};
    TextBox DelayPeriod{"DelayPeriod", "10", "Seconds Start Delay", TypingStyle::DigitsOnly};
    Label DelaySeconds{"DelaySeconds", "10"};
    OptionGroup fanLineChoice;
    OptionButton UseDTR{"UseDTR", "Use DTR"};
    OptionButton UseRTS{"UseRTS", "Use RTS"};
    CommandButton Exit{"Exit", "Hide", "Hide this screen"};
    CommandButton SaveDataNow{"SaveDataNow", "Save  Changes", "Save the changes made"};

    // ---- "Connect History" ----
    TextBox CallHistory{"CallHistory", "", "Call Connect History", TypingStyle::Any, true};
    CommandButton Command5{"Command5", "Clear", "Clear the Call History"};
    CommandButton Command3{"Command3", "TTS Settings", "Open TTS Settings"};
    CommandButton Command1{"Command1", "DTMF Settings", "Open the DTMF setting screen"};
    CommandButton Command7{"Command7", "Hide", "Hide this screen"};

    // ---- "Silence Announcements " ----
    Label ShowTime2{"ShowTime2", "00:00:00"};
    CheckBox Sun{"Sun", "Sun"}, Mon{"Mon", "Mon"}, Tue{"Tue", "Tue"}, Wed{"Wed", "Wed"}, Thur{"Thur", "Thur"},
        Fri{"Fri", "Fri"}, Sat{"Sat", "Sat"};
    TextBox HourOFF1{"HourOFF1", "24", "Hour", TypingStyle::DigitsOnly}, MinsOFF1{"MinsOFF1", "00", "Mins", TypingStyle::DigitsOnly};
    TextBox HourON1b{"HourON1b", "24", "Hour", TypingStyle::DigitsOnly}, MinsON1b{"MinsON1b", "00", "Mins", TypingStyle::DigitsOnly};
    CheckBox Sun2{"Sun2", "Sun"}, Mon2{"Mon2", "Mon"}, Tue2{"Tue2", "Tue"}, Wed2{"Wed2", "Wed"}, Thur2{"Thur2", "Thur"},
        Fri2{"Fri2", "Fri"}, Sat2{"Sat2", "Sat"};
    TextBox HourOFF2{"HourOFF2", "24", "Hour", TypingStyle::DigitsOnly}, MinsOFF2{"MinsOFF2", "00", "Mins", TypingStyle::DigitsOnly};
    TextBox HourON2b{"HourON2b", "24", "Hour", TypingStyle::DigitsOnly}, MinsON2b{"MinsON2b", "00", "Mins", TypingStyle::DigitsOnly};
    CheckBox Sun3{"Sun3", "Sun"}, Mon3{"Mon3", "Mon"}, Tue3{"Tue3", "Tue"}, Wed3{"Wed3", "Wed"}, Thur3{"Thur3", "Thur"},
        Fri3{"Fri3", "Fri"}, Sat3{"Sat3", "Sat"};
    TextBox HourOFF3{"HourOFF3", "24", "Hour", TypingStyle::DigitsOnly}, MinsOFF3{"MinsOFF3", "00", "Mins", TypingStyle::DigitsOnly};
    TextBox HourON3b{"HourON3b", "24", "Hour", TypingStyle::DigitsOnly}, MinsON3b{"MinsON3b", "00", "Mins", TypingStyle::DigitsOnly};
    CheckBox Check2{"Check2", "Warn About Silence Mode"};
    TextBox AnnounceOn{"AnnounceOn", "", "DTMF Announcements ON"};
    TextBox AnnounceOff{"AnnounceOff", "", "DTMF Announcements OFF"};
    CommandButton Command10{"Command10", "Hide", "Hide this screen"};
    CommandButton Command11{"Command11", "Save Changes", "Save the changes made"};

    // ---- Timers (Beacon3 and Fan are on the public face) ----
    Timer Timer1, Timer2, Timer3, Timer4, Timer5, Timer6, IDTimer, Beacon6, Beacon7, FanDelay, Kerchunker,
        KickBackCheck;

    // "0" or "1": a CW ident met a carrier and waits for the next keyed moment.
    const std::string& cwIdentPending() const { return CwIdentPending; }

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    struct SilenceSchedule {
        CheckBox* days[7];
        TextBox *hourOff, *minsOff, *hourOn, *minsOn;
    };
    struct Countdown {
        TextBox* period;
        Label* seconds;
        Timer* timer;
    };

    void buildLayout();
    void buildSettings();
    void wireHandlers();
    void setDesignTimers(bool on);

    // Neighbours, through the registry; a missing tool reads as idle.
    PlayerFace* player() const;
    SeriesPlayerFace* series() const;
    DtmfControlFace* dtmfControl() const;
    StationInfoFace* stationInfo() const;
    GreetingsFace* greetings() const;
    Form8* speechSettings() const;

    // Host queries; a failure is reported and reads as "no" (a carrier as present).
    bool carrierDetected(const char* where);
    bool receiving(const char* where);
    bool linkActive(const char* where);
    void sendCW(const std::string& text, const char* where);
    void chat(const std::string& text, const char* where);

    // Speech.
    bool airHeld() const;
    void speakOnAir();
    void speakButton(TextBox& box, const std::string& placeholder, bool direct);
    void speakUnkeyed(TextBox& box, const std::string& placeholder);
    void say(const std::string& sentence);

    // Clock and countdowns.
    void onClockTick();
    void clockAnnouncements(const LocalTime& moment);
    void onSpeechCountdownTick(Timer& timer, TextBox& period, Label& seconds, CheckBox& use, TextBox& text);
    void onCwIdentTick();
    void onIdleTick();
    void onPeriodEdit(TextBox& period, Label& seconds, const std::function<void(bool)>& setSwitch);
    void onSendCW();
    void queueTime(const std::string& prefix, const std::string& separator);

    // Silence.
    void onSilenceTick();

    // DTMF commands.
    void onDTMF(const std::string& digits);

    // Connects. An announcement waits for its turn on air in a queue of its own, spoken one at a
    // time with the loop free between two; a station that leaves before its arrival's turn came is
    // announced neither way.
    struct Announcement {
        std::string call;  // as the event told it, whole: what pairs a leave with its arrival
        bool arrival;
        std::string sentence;
    };
    void onConnected(const std::string& call, const std::string& name, const std::string& addr);
    void onDisconnected(const std::string& call);
    std::string spell(const std::string& call);
    void announce(Announcement a);
    void scheduleAnnouncement();
    void announceNext();

    // Courtesy letters.
    void onCarrier(bool cd);
    void onRX(bool rx);
    void onKerchunkerTick();
    void onKickBackTick();
    void onIntervalEdit(TextBox& box, Timer& timer);
    void setTimerInterval(Timer& timer, int ms);

    // Fan.
    void fanLine(bool up, const char* where);
    void showFan(bool on);
    void onMonitorTick();
    void onFanTick();
    void onFanDelayTick();
    void onFanPeriodEdit();
    void onDelayPeriodEdit();

    // Keepers.
    bool newsOnAir() const;
    void onKeeperTick(CheckBox& stay, TextBox& station, const char* where);
    void onConnectButton(TextBox& station, const char* where);

    // Closing.
    void releaseAll(const char* where, Release how);
    bool onQuitRequest();
    void onClosing();

    SpeechVoiceFactory voiceFactory_;
    std::unique_ptr<SpeechVoice> voice_;
    std::unique_ptr<HostLink> EchoLink;
    SettingsTable table_;
    SilenceSchedule schedules_[3];
    std::string CwIdentPending = "0";
    bool speaking_ = false;
    ClockMoments clockMoments_;
    ClockMoments silenceMoments_;
    std::deque<Announcement> announcements_;
    bool announcementPosted_ = false;
    // Tries the next announcement again while another speech of this tool holds the air.
    Timer announceRetry_;
    // Posted work checks this before it touches the window.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tarnwick
