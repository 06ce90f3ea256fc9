#pragma once
// What other tools use of the news and beacon player (Form1): its on-air indicator, its time boxes,
// its node-status switches, its warning boxes, its public flags and its transmit operations.

#include <cmath>
#include <cstdio>
#include <string>

#include "controls/controls.h"
#include "runtime/runtime.h"

namespace tarnwick {

// The players' play-time text "hh:mm:ss" of a count of seconds, whole seconds taken downward. The
// playback monitors compare these texts (time used against length), so the text depends on the
// whole-second count alone. Below one second it reads "00:00:00"; from 25 hours on "24:59:59".
inline std::string FormatTime(double seconds) {
    if (!(seconds >= 1)) return "00:00:00";  // below a second, and not-a-number
    double t = std::floor(seconds);
    if (t >= 90000) return "24:59:59";
    const int s = static_cast<int>(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, s % 3600 / 60, s % 60);
    return buf;
}

class PlayerFace {
public:
    explicit PlayerFace(Runtime& rt) : Beacon8(rt, 1000, false), Timer3(rt, 1, false) {}
    virtual ~PlayerFace() = default;

    // The transmitter indicator (OnAirState): "PTT ON" red while keyed, "PTT OFF" green otherwise;
    // "IP TX" / "IP RX" in IP mode. Other tools treat exactly "PTT ON" as on air.
    Label PTT{"PTT", "PTT OFF"};
    // "Time Used" and "Length" of the file on air, "hh:mm:ss".
    TextBox Text2{"Text2", "00:00:00"};
    TextBox Text3{"Text3", "00:00:00"};

    // Node status during news transmissions.
    CheckBox DisconnectAll{"DisconnectAll", "Disconnect All", "Disconnect All During News TX"};
    CheckBox IPMode{"IPMode", "Use IP Mode",
                    "Use IP mode. Your sound card will need to be set correct (Mix) to use this option"};

    // The disconnect warning: minutes before a scheduled news file, and the sentence after them.
    TextBox Warn{"Warn", "1", "Enter Minutes Before News Warning", TypingStyle::DigitsOnly};
    TextBox WarnText{"WarnText", "Warning Auto Disconnect For Local News."};

    // The play slot TXFile sends: 3, 2, 1 (Audio Files 1-3), 11 (2nd File), 14-16 (beacons),
    // 41-60 (File Player 1-20).
    int PlayBox = 0;
    // 1 after a beacon went on air; the speech tool's end-of-news step reads and clears it.
    int BeaconPlay = 0;
    // SayFile2: chain the 2nd File when the file on air ends; SayFile3: the chained file is on air.
    int SayFile2 = 0;
    int SayFile3 = 0;
    // 1 while the end-of-transmission digits are due at the end of the file on air.
    int EndDTMF = 0;

    // The transmission supervisor (1 s) and the break-resume timer (1 ms).
    Timer Beacon8;
    Timer Timer3;

    // Puts the file of play slot PlayBox on air, replacing any file on air. Transmits nothing while
    // the speech tool's "Disable Announcements" is ticked or when the slot's file cannot be loaded;
    // never opens a dialog.
    virtual void TXFile() = 0;
    // Sends the start-of-transmission digits when that option is on, then holds the thread for
    // three delays. Throws HostError (before the delays) when the digits cannot be sent.
    virtual void StartDTMF() = 0;
    // The player's blocking delay of half a second.
    virtual void Sleep() = 0;
    // True while the player's own transmission is under way (on air or inside a transmit break);
    // the reconnect keepers hold off meanwhile.
    virtual bool transmissionUnderWay() const = 0;
};

}  // namespace tarnwick
