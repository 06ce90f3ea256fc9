#pragma once
// What other tools use of the conference controller (Form6), the station-info window (Form9) and
// the greetings window (Form10).

#include <functional>
#include <string>

#include "controls/controls.h"

namespace tarnwick {

// The address the station-info browser starts at: the machine-translation page.
inline constexpr const char* kTranslationPage = "https://translate.example.com/";

class ConferenceFace {
public:
    virtual ~ConferenceFace() = default;
    // The conference controller's "Stay Con" reconnect switch.
    CheckBox StayCon1{"StayCon1", "Stay Con"};
};

class StationInfoFace {
public:
    virtual ~StationInfoFace() = default;
    // "Last Connected Node": callsign, one blank and the operator's name.
    Label Label2{"Label2", "None", "Last Connected Call"};
    // "Show QRZ Info": open the look-up page of each newly connected station.
    CheckBox Check9{"Check9", "Show QRZ Info", "Auto Show QRZ Info on Newly Connected Calls", 1};
    // The embedded browser's navigate: loads the page, shown or hidden.
    virtual void Navigate(const std::string& url) = 0;
    virtual bool SaveData2() = 0;
};

class GreetingsFace {
public:
    GreetingsFace() {
        for (OptionButton* o : {&Option1, &Option2, &Option3, &Option4, &Option5, &Option6, &Option7, &Option8,
                                &Option9, &Option10})
            messageChoice.add(*o);
    }
    virtual ~GreetingsFace() = default;
    OptionGroup messageChoice;
    OptionButton Option1{"Option1", "1"}, Option2{"Option2", "2"}, Option3{"Option3", "3"},
        Option4{"Option4", "4"}, Option5{"Option5", "5"}, Option6{"Option6", "6"}, Option7{"Option7", "7"},
        Option8{"Option8", "8"}, Option9{"Option9", "9"};
    // Announcement mode: connect and disconnect lines instead of a greeting.
    OptionButton Option10{"Option10", "10"};
};

}  // namespace tarnwick
