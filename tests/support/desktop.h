#pragma once
// An X display with a window manager for end-to-end checks that need a real desktop: modal boxes that
// wait for a person, a tray icon to click, windows framed and placed by a window manager.

#include <gtest/gtest.h>

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

    // Starts a desktop, trying again from the start when one does not come up: a machine busy with
    // other work may be slow to start an X server or its window manager, which is no reason to pass
    // over the tests that need one. why() says what went wrong when none came up.
    Desktop() {
        for (int attempt = 1; attempt <= kAttempts && !ready_; ++attempt) {
            if (attempt > 1) {
                stop();
                why_ += "; ";
            }
            why_ += "attempt " + std::to_string(attempt) + ": ";
            ready_ = start();
        }
        if (ready_) why_.clear();
    }
    ~Desktop() { stop(); }
    bool ready() const { return ready_; }
    // What kept the desktop from coming up, with what its programs said.
    const std::string& why() const { return why_; }
    std::map<std::string, std::string> env() const { return {{"DISPLAY", display}, {"HOME", dir_.path()}}; }
    // What tarnwick needs to run on this desktop with boxes that wait for a person.
    std::map<std::string, std::string> appEnv() const { return {{"DISPLAY", display}, {"QT_QPA_PLATFORM", "xcb"}}; }

    // Runs an X tool on this display and returns what it printed.
    std::string run(const std::vector<std::string>& argv) {
        Process p(argv, env(), dir_.file("tool.err"));
        p.wait(kToolDeadline);
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
    static constexpr int kAttempts = 3;
    // Generous: each wait ends as soon as what it waits for is there.
    static constexpr std::chrono::seconds kStartDeadline{30};
    static constexpr std::chrono::seconds kToolDeadline{15};

    // One try: an X server on a display it picks itself (no two tests can pick the same one), then the
    // window manager. False, with the reason added to why_, when either does not come up.
    bool start() {
        // Xvfb writes its display's number to this descriptor (its stdout, kept in xvfb.err.out) once
        // it takes clients.
        xvfb_ = std::make_unique<Process>(
            std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                                     "tcp"},
            std::map<std::string, std::string>{}, dir_.file("xvfb.err"));
        std::string number;
        const bool up = eventually(
            [&] {
                number = xvfb_->out();
                return !xvfb_->running() || (!number.empty() && number.back() == '\n');
            },
            kStartDeadline);
        if (!up || !xvfb_->running()) {
            why_ += "Xvfb " + (up ? std::string("ended") : "took no clients within " + seconds(kStartDeadline)) + ": " +
                    tail("xvfb.err");
            return false;
        }
        display = ":" + number.substr(0, number.size() - 1);
        wm_ = std::make_unique<Process>(std::vector<std::string>{"/usr/bin/jwm"}, env(), dir_.file("wm.err"));
        const bool managed = eventually(
            [&] {
                return !wm_->running() ||
                       run({"/usr/bin/xwininfo", "-root", "-tree"}).find("\"JWM\"") != std::string::npos;
            },
            kStartDeadline);
        if (managed && wm_->running()) return true;
        why_ += "jwm on " + display + (managed ? " ended" : " showed no window within " + seconds(kStartDeadline)) +
                ": " + tail("wm.err");
        return false;
    }
    void stop() {
        for (auto* p : {wm_.get(), xvfb_.get()})
            if (p) {
                p->terminate();
                p->wait(std::chrono::seconds(3));
            }
        wm_.reset();
        xvfb_.reset();
    }
    static std::string seconds(std::chrono::seconds s) { return std::to_string(s.count()) + " s"; }
    // The last lines a program wrote, for a message.
    std::string tail(const std::string& file) const {
        const std::string text = Process::slurp(dir_.file(file));
        return text.size() > 600 ? "..." + text.substr(text.size() - 600) : text;
    }

    TempDir dir_;
    std::unique_ptr<Process> xvfb_, wm_;
    bool ready_ = false;
    std::string why_;
};

// Skips the test only where the desktop's programs are not installed; where they are, a desktop that
// does not come up is a failure, never a quiet skip.
#define NEED_DESKTOP(desktop)                                                                          \
    if (const std::string gone = Desktop::missing(); !gone.empty())                                    \
        GTEST_SKIP() << "no desktop to try this on: " << gone << " is not installed";                  \
    Desktop desktop;                                                                                   \
    if (!desktop.ready()) GTEST_FAIL() << "Xvfb with a window manager did not start: " << desktop.why()

}  // namespace tarnwick::testing
