#pragma once
// Form9: the station-info window. It shows who connected last, looks up callsigns, and shows the
// outside pages about stations: the address of the page it is on, which the operator can open in
// the desktop's web browser.

#include <functional>
#include <memory>
#include <string>

#include "controls/controls.h"
#include "hostlink/host_link.h"
#include "settings/settings_file.h"
#include "toolbox/conference_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

class Form9 : public Tool, public StationInfoFace {
public:
    // anotherCopyRunning tells whether another process runs the program already (unset: none does).
    explicit Form9(ToolContext& ctx, std::function<bool()> anotherCopyRunning = {});

    bool keepsSettings() const override { return true; }
    bool SaveData() override { return SaveData2(); }
    // Writes CHECK9 into fennick.ini.
    bool SaveData2() override;
    void Navigate(const std::string& url) override;

    TextBox Text1{"Text1", "", "Enter Callsign to Lookup on QRZ.", TypingStyle::Capitals};
    CommandButton Command1{"Command1", "QRZ", "Look up callsign on QRZ"};
    CommandButton Command10{"Command10", "Current Logins", "Current EchoLink Logins"};
    CommandButton Command11{"Command11", "Proxy List", "Avalible Proxy List"};
    CommandButton Command9{"Command9", "EchoLink", "EchoLink WebSite"};
    CommandButton Command2{"Command2", "eQSL", "eQSL WebSite"};
    CommandButton Command3{"Command3", "Translator", "Babel Fish Translation"};
    CommandButton Command4{"Command4", "Save Data", "Save Data"};
    CommandButton Command5{"Command5", "Hide", "Hide this screen"};
    // The page the window is on, shown as its address.
    Label WebBrowser1{"WebBrowser1", ""};
    CommandButton OpenPage{"OpenPage", "Open in browser", "Open the page in the desktop's web browser"};
    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    // A page button: shows the page here and opens it in the desktop's browser.
    void openPage(const std::string& url);

    std::function<bool()> anotherCopyRunning_;
    SettingsTable settings_;
};

}  // namespace tarnwick
