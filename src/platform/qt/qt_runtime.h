#pragma once
// The program's runtime on Qt's event loop: window timers on one single-shot wake-up, read and write watches on
// socket notifiers, message boxes, the desktop URL opener and the process end.
//
// Construct it after the QApplication and keep it alive as long as any Timer that uses it.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "runtime/runtime.h"

class QSocketNotifier;

namespace tarnwick {

class QtRuntime : public Runtime {
public:
    QtRuntime();
    ~QtRuntime() override;

    std::int64_t monotonicMs() const override;
    std::int64_t monotonicNs() const override;
    LocalTime localTime() const override;

    void yield() override;
    void post(std::function<void()> fn) override;
    void blockingDelay(int ms) override;

    int addReadWatch(int fd, std::function<void()> fn) override;
    int addWriteWatch(int fd, std::function<void()> fn) override;
    void removeWatch(int id) override;

    void endProcess(int code) override;
    bool processEnded() const override { return ended_; }
    int loopDepth() const override;

    // What ends the process after endProcess has flushed and stopped the loop. Tests replace it to
    // observe the end; the program keeps the default, which never returns.
    std::function<void(int)> hardExit;

    // Whether the wake-up for the next timer is armed; false means the loop sleeps until input.
    bool wakeupArmed() const { return wake_.isActive(); }

    // No screen to show windows or boxes on: neither DISPLAY nor WAYLAND_DISPLAY is set, or Qt
    // runs on a platform without one.
    static bool headless();
    // Call before the QApplication exists: without a display, runs Qt on its offscreen platform
    // (unless QT_QPA_PLATFORM already names one), so a node without a screen still starts.
    static void chooseHeadlessPlatform();

protected:
    MsgAnswer showMessageBox(const std::string& title, const std::string& text, MsgButtons buttons,
                             MsgIcon icon) override;
    int launchUrl(const std::string& url) override;
    void rearm() override;

private:
    struct Watch;
    int addWatch(int fd, bool write, std::function<void()> fn);

    QObject context_;  // receiver of posted work and owner of the notifiers
    QTimer wake_;
    std::int64_t armedFor_ = -1;  // the monotonic moment wake_ was last started for
    QElapsedTimer clock_;
    std::map<int, std::unique_ptr<Watch>> watches_;
    int nextWatch_ = 1;
    bool ended_ = false;
};

}  // namespace tarnwick
