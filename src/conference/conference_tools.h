#pragma once
// The conference controller, station-info and greetings windows. For now they hold what the other
// tools use of them: the "/ver/" and "/Greeting/" replies, the "Stay Con" switch, the last connected
// station, the browser address and the greeting mode.

#include <memory>
#include <string>

#include "hostlink/host_link.h"
#include "settings/settings_file.h"
#include "toolbox/conference_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

// Conference controller: links to a conference server and controls it by chat.
class Form6 : public Tool, public ConferenceFace {
public:
    explicit Form6(ToolContext& ctx);
    bool keepsSettings() const override { return true; }
    bool SaveData() override;
    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override { EchoLink.reset(); }

private:
    void EchoLink_ChatTextReceived(const std::string& text);
    SettingsTable settings_;
};

// Station info: the last connected station and an embedded browser for look-up pages.
class Form9 : public Tool, public StationInfoFace {
public:
    explicit Form9(ToolContext& ctx);
    bool keepsSettings() const override { return true; }
    bool SaveData() override { return SaveData2(); }
    bool SaveData2() override;
    void Navigate(const std::string& url) override;
    // The page the browser shows.
    Label WebBrowser1{"WebBrowser1", ""};
    CommandButton OpenPage{"OpenPage", "Open in Browser", "Open the page in the desktop's web browser"};
    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    SettingsTable settings_;
};

// Greetings: greets connecting stations by chat after a short delay.
class Form10 : public Tool, public GreetingsFace {
public:
    explicit Form10(ToolContext& ctx);
    bool keepsSettings() const override { return true; }
    bool SaveData() override;
    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override { EchoLink.reset(); }

private:
    SettingsTable settings_;
};

}  // namespace tarnwick
