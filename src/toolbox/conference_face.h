#pragma once
// What other tools use of the conference controller (Form6), the station-info window (Form9) and
// the greetings window (Form10), and the outside pages the station-info window opens.

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "controls/controls.h"

namespace tarnwick {

// The outside pages. The look-up page takes a callsign appended at its end.
inline constexpr const char* kLookupPage = "https://www.qrz.com/db/";
inline constexpr const char* kTranslationPage = "https://translate.google.com/";
inline constexpr const char* kCurrentLoginsPage = "https://www.echolink.org/logins.jsp";
inline constexpr const char* kProxyListPage = "https://www.echolink.org/proxylist.jsp";
inline constexpr const char* kEchoLinkHomePage = "https://www.echolink.org/";
inline constexpr const char* kEqslPage = "https://www.eqsl.cc/";

// The look-up page of a callsign. The callsign is percent-encoded (only letters, digits and "-._~"
// stay as they are), so no character of a callsign from the network can change the address.
inline std::string callsignLookupPage(const std::string& call) {
    std::string out = kLookupPage;
    for (unsigned char c : call) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

// What of an arriving station's callsign is looked up: a link or repeater ("-L", "-R") up to and
// including its first dash, a callsign without a dash whole; any other callsign is not looked up.
inline std::optional<std::string> lookUpKey(const std::string& call) {
    const auto endsWith = [&call](const char* tail) {
        const std::string t(tail);
        return call.size() >= t.size() && call.compare(call.size() - t.size(), t.size(), t) == 0;
    };
    const std::size_t dash = call.find('-');
    if (endsWith("-L") || endsWith("-R")) return call.substr(0, dash + 1);
    if (dash == std::string::npos) return call;
    return std::nullopt;
}

class ConferenceFace {
public:
    virtual ~ConferenceFace() = default;
    // The conference controller's "Stay Con" reconnect switch; the net scheduler clears and restores it.
    CheckBox StayCon1{"StayCon1", "Stay Con"};
};

class StationInfoFace {
public:
    virtual ~StationInfoFace() = default;
    // "Last Connected Node": callsign, one blank and the operator's name.
    Label Label2{"Label2", "None", "Last Connected Call"};
    // "Show QRZ Info": open the look-up page of each newly connected station.
    CheckBox Check9{"Check9", "Show QRZ Info", "Auto Show QRZ Info on Newly Connected Calls", 1};
    // Shows the page in the window (loading the window when it is not loaded); never starts a browser.
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
