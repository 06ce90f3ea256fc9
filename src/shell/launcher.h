#pragma once
// The launcher: the program's start-up object and menu. It refuses a second copy and a node that is
// not in Sysop mode, loads every tool hidden, and owns the program's shutdown paths.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "hostlink/host_link.h"
#include "settings/settings_file.h"
#include "shell/single_instance.h"
#include "shell/tray.h"
#include "toolbox/tool.h"
#include "toolbox/tool_registry.h"

namespace tarnwick {

// The product's web site, opened by "Help" and by the Sysop-mode refusal.
inline constexpr const char* kProductWebSite = "https://tarnwick.example.org/";

class Form5 : public Tool {
public:
    // connectHost opens the connection to the host; it returns false when no host answers.
    Form5(ToolContext& ctx, TrayService& tray, std::function<bool()> connectHost);
    ~Form5() override;

    // Runs the start-up step. Returns false when the program must end (the process end is already asked).
    bool start();

    CommandButton Command4{"Command4", "Tarnwick", "Show the Tarnwick Screen"};
    CommandButton Command1{"Command1", "ZidezovuzedEDI", "Show the Zadezizudar Screen"};
    CommandButton Command3{"Command3", "DTMFctrl and Nets", "Show the DTMFctrl Screen"};
    CommandButton Command8{"Command8", "Conference Controller    and Text Box", "Open the Conference Controller Screen"};
    CommandButton Command10{"Command10", "DTMFHelpTTS", "Show the DTMFHelpTTS Screen"};
    CommandButton Command13{"Command13", "TTS Settings", "Open the Text to Speech Settings Screen"};
    CommandButton Command11{"Command11", "Fennick", "Fennick Internet access and Language Translator"};
    CommandButton Command15{"Command15", "Text Box Greetings"};
    CommandButton Command14{"Command14", "Recorder / Playback"};
    CommandButton Command16{"Command16", "Serial Audio File Player", "Serial File Player with loop. wav & mp3"};
    CommandButton Command2{"Command2", "MP3 Downloads", "Show the MP3 Downloads Screen"};
    CommandButton Command6{"Command6", "About", "About this program"};
    CommandButton Command12{"Command12", "Help", "See The Online Help"};
    CommandButton Command7{"Command7", "Hide All Programs", "Hide All of The Above Programs"};
    CommandButton Command9{"Command9", "Put Menu in System Tray",
                           "Put the Tarnwick program into the System Tray (Bottom Right)"};
    CommandButton Command5{"Command5", "Save / Exit", "Save the Data in ALL of the Above Programs and Exit"};
    CheckBox Check1{"Check1", "Start Program  In System Tray",
                    "When Ticked the Program Will Start in The Tool Tray (Bottom Right of The Screen)"};

    std::unique_ptr<HostLink> EchoLink;

    // Writes CHECK1 into tarnwick.ini.
    bool SaveData(bool operatorAsked);
    bool SaveData() override { return SaveData(true); }
    void AddTrayIcon();
    void RemoveTrayIcon();
    void RestoreFromTray();
    // The quit prompt, run when the window is asked to close; true when the program ends.
    bool Form_QueryUnload();
    // A mouse message from the tray icon.
    void Form_MouseMove(long x);

protected:
    void Form_Load() override;

private:
    void showTool(const char* name);
    void hideAll();
    void saveExit();
    void EchoLink_ChatTextReceived(const std::string& text);
    void EchoLink_Closing();
    void unkey(bool busyToo);

    TrayService& tray_;
    std::function<bool()> connectHost_;
    SingleInstance instance_;
    SettingsTable settings_;
    bool trayIconAdded_ = false;
    bool started_ = false;
};

// The tray's mouse message (a pixel x coordinate) to 1 (restore on left double-click), 2 (restore on
// right button down) or nothing.
std::optional<int> DecodeTrayMessage(long x);

}  // namespace tarnwick
