#pragma once
// What other tools use of the news downloader (Form13).

#include <functional>

#include "runtime/runtime.h"

namespace tarnwick {

// A timer that tells its owner before another tool switches it, so that switching it can load the
// window it belongs to.
class SwitchedTimer : public Timer {
public:
    using Timer::Timer;
    void setEnabled(bool on) {
        if (beforeSwitch) beforeSwitch(on);
        Timer::setEnabled(on);
    }
    std::function<void(bool on)> beforeSwitch;
};

class DownloaderFace {
public:
    explicit DownloaderFace(Runtime& rt) : Beacon4(rt, 1000, true) {}
    virtual ~DownloaderFace() = default;
    // The URL schedule timer; the news player pauses it while it transmits. Switching it loads the
    // downloader when it is not loaded.
    SwitchedTimer Beacon4;
};

}  // namespace tarnwick
