#pragma once
// An X display with a window manager for end-to-end checks that need a real desktop: modal boxes that
// wait for a person, a tray icon to click, windows framed and placed by a window manager.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

namespace tarnwick::testing {

// An X display with a window manager whose panel has a notification area.
class Desktop {
public:
    // What is not installed, or "" when a desktop can be made.
    static std::string missing() {
        for (const char* tool : {"/usr/bin/Xvfb", "/usr/bin/jwm", "/usr/bin/xdotool", "/usr/bin/xwininfo"})
            if (!std::filesystem::exists(tool)) return tool;
        return {};
    }

    Desktop() {
        for (int n = 90 + ::getpid() % 50; n < 400; ++n) {
            const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
            if (std::filesystem::exists(sock) || std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
                continue;
            display = ":" + std::to_string(n);
            xvfb_ = std::make_unique<Process>(
                std::vector<std::string>{"/usr/bin/Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                std::map<std::string, std::string>{}, dir_.file("xvfb.err"));
            // Another test may have taken the same display a moment before: then ours has ended.
            // Ours answers on the display, or has ended.
            if (eventually([&] { return std::filesystem::exists(sock); }, std::chrono::seconds(5)) &&
                eventually([&] { return !xvfb_->running() || answers(); }, std::chrono::seconds(10)) &&
                xvfb_->running())
                break;
            xvfb_.reset();
        }
        if (!xvfb_) return;
        wm_ = std::make_unique<Process>(std::vector<std::string>{"/usr/bin/jwm"}, env(), dir_.file("wm.err"));
        ready_ = eventually([&] { return run({"/usr/bin/xwininfo", "-root", "-tree"}).find("\"JWM\"") != std::string::npos; },
                            std::chrono::seconds(5));
    }
    ~Desktop() {
        for (auto* p : {wm_.get(), xvfb_.get()})
            if (p) {
                p->terminate();
                p->wait(std::chrono::seconds(3));
            }
    }
    bool ready() const { return ready_; }
    // The X server takes a client on this display.
    bool answers() {
        Process p({"/usr/bin/xwininfo", "-root"}, env(), dir_.file("probe.err"));
        return p.wait(std::chrono::seconds(5)) == 0;
    }

    std::map<std::string, std::string> env() const { return {{"DISPLAY", display}, {"HOME", dir_.path()}}; }
    // What tarnwick needs to run on this desktop with boxes that wait for a person.
    std::map<std::string, std::string> appEnv() const { return {{"DISPLAY", display}, {"QT_QPA_PLATFORM", "xcb"}}; }

    // Runs an X tool on this display and returns what it printed.
    std::string run(const std::vector<std::string>& argv) {
        Process p(argv, env(), dir_.file("tool.err"));
        p.wait(std::chrono::seconds(5));
        return p.out();
    }
    // The shown windows whose names match the pattern, by their ids.
    std::vector<std::string> shownWindows(const std::string& namePattern) {
        std::vector<std::string> ids;
        std::istringstream in(run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", namePattern}));
        for (std::string id; std::getline(in, id);)
            if (!id.empty()) ids.push_back(id);
        return ids;
    }
    bool visible(const std::string& title) { return !shownWindows("^" + title + "$").empty(); }
    // The middle of the program's notification-area icon, when it is there.
    std::optional<std::pair<int, int>> trayIcon() {
        static const std::regex icon(R"re("Tarnwick": \("tarnwick" "Tarnwick"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re");
        const std::string tree = run({"/usr/bin/xwininfo", "-root", "-tree"});
        for (std::sregex_iterator it(tree.begin(), tree.end(), icon), end; it != end; ++it) {
            const int w = std::stoi((*it)[1]), h = std::stoi((*it)[2]);
            if (w < 8 || w > 128 || h < 8 || h > 128) continue;
            return std::make_pair(std::stoi((*it)[3]) + w / 2, std::stoi((*it)[4]) + h / 2);
        }
        return std::nullopt;
    }

    std::string display;

private:
    TempDir dir_;
    std::unique_ptr<Process> xvfb_, wm_;
    bool ready_ = false;
};

#define NEED_DESKTOP(desktop)                                                                          \
    if (const std::string gone = Desktop::missing(); !gone.empty())                                    \
        GTEST_SKIP() << "no desktop to try this on: " << gone << " is not installed";                  \
    Desktop desktop;                                                                                   \
    if (!desktop.ready()) GTEST_SKIP() << "Xvfb with a window manager did not start here"

}  // namespace tarnwick::testing
