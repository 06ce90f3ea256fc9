#pragma once
// What other tools use of the news downloader (Form13).

#include "runtime/runtime.h"

namespace tarnwick {

class DownloaderFace {
public:
    explicit DownloaderFace(Runtime& rt) : Beacon4(rt, 1000, true) {}
    virtual ~DownloaderFace() = default;
    // The URL schedule timer; the news player pauses it while it transmits.
    Timer Beacon4;
};

}  // namespace tarnwick
