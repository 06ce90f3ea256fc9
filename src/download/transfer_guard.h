#pragma once
// What no transfer may do, whatever the server sends: hold its road for ever, or fill the disk.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "runtime/runtime.h"

namespace tarnwick {

struct TransferLimits {
    // A transfer fails when it moves fewer than `slowBytes` over any `slowWindowMs`: less than 1 KiB a
    // second over any minute.
    std::int64_t slowBytes = 60 * 1024;
    std::int64_t slowWindowMs = 60'000;
    // A body larger than this fails.
    std::int64_t largestBody = std::int64_t{4} << 30;
    // A download fails when the target's file system would keep less than this free.
    std::int64_t keepFree = std::int64_t{64} << 20;
    // The free bytes of the file system that holds `path` for this user, or -1 when unknown; null
    // asks the system.
    std::function<std::int64_t(const std::string& path)> freeSpace;
};

// Watches one transfer against the limits. Its checks of a stated size and of progress answer at once
// (the transfer's events stop it); its own one-second tick, which catches a transfer that moves too
// little or a disk that fills from elsewhere, reports through `exceeded`.
class TransferGuard {
public:
    // `path`: a file on the target's file system; empty for an upload, which needs no room here.
    TransferGuard(Runtime& rt, TransferLimits limits, std::string path, std::function<void(const std::string&)> exceeded);

    // The reason to stop, or "" to go on.
    std::string sized(std::int64_t size);
    std::string moved(std::int64_t total);

private:
    void tick();
    std::string roomCheck();

    Runtime& rt_;
    TransferLimits limits_;
    std::string path_;
    std::function<void(const std::string&)> exceeded_;
    Timer timer_;
    std::int64_t stated_ = -1, total_ = 0, roomCheckedAt_ = -1;
    // (monotonic nanoseconds, total) once a second, back to the first older than the window.
    std::deque<std::pair<std::int64_t, std::int64_t>> samples_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// "4 GiB", "64 MiB", "1 KiB", "100 bytes".
std::string byteCountText(std::int64_t bytes);

}  // namespace tarnwick
