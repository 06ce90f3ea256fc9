#include "download/transfer_guard.h"

#include <filesystem>

namespace tarnwick {

namespace {

constexpr std::int64_t kRoomCheckStep = std::int64_t{8} << 20;

std::int64_t systemFreeSpace(const std::string& path) {
    std::error_code ec;
    const std::filesystem::space_info info = std::filesystem::space(path, ec);
    if (ec || info.available == static_cast<std::uintmax_t>(-1)) return -1;
    return static_cast<std::int64_t>(info.available);
}

}  // namespace

std::string byteCountText(std::int64_t bytes) {
    const char* units[] = {"GiB", "MiB", "KiB"};
    const int shifts[] = {30, 20, 10};
    for (int i = 0; i < 3; ++i) {
        const std::int64_t unit = std::int64_t{1} << shifts[i];
        if (bytes >= unit && bytes % unit == 0) return std::to_string(bytes / unit) + " " + units[i];
    }
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

TransferGuard::TransferGuard(Runtime& rt, TransferLimits limits, std::string path,
                             std::function<void(const std::string&)> exceeded)
    : rt_(rt), limits_(std::move(limits)), path_(std::move(path)), exceeded_(std::move(exceeded)), timer_(rt, 1000) {
    if (!limits_.freeSpace) limits_.freeSpace = systemFreeSpace;
    samples_.emplace_back(rt_.monotonicNs(), 0);
    timer_.onTick = [this] { tick(); };
    timer_.setEnabled(true);
}

std::string TransferGuard::sized(std::int64_t size) {
    stated_ = size;
    if (size > limits_.largestBody) return "the body is larger than " + byteCountText(limits_.largestBody);
    return roomCheck();
}

std::string TransferGuard::moved(std::int64_t total) {
    total_ = total;
    if (!path_.empty() && total > limits_.largestBody)
        return "the body is larger than " + byteCountText(limits_.largestBody);
    if (roomCheckedAt_ < 0 || total - roomCheckedAt_ >= kRoomCheckStep) return roomCheck();
    return {};
}

std::string TransferGuard::roomCheck() {
    if (path_.empty()) return {};
    roomCheckedAt_ = total_;
    const std::int64_t free = limits_.freeSpace(path_);
    if (free < 0) return {};
    // What the body still needs, as far as the server said.
    const std::int64_t coming = stated_ > total_ ? stated_ - total_ : 0;
    if (free - coming < limits_.keepFree)
        return "the disk would keep less than " + byteCountText(limits_.keepFree) + " free";
    return {};
}

void TransferGuard::tick() {
    // Compared to the nanosecond: the window is judged over at least its whole length, never a
    // millisecond less because its ends were read in whole milliseconds.
    const std::int64_t now = rt_.monotonicNs();
    const std::int64_t window = limits_.slowWindowMs * 1'000'000;
    samples_.emplace_back(now, total_);
    // Keep the latest sample that lies a whole window back, and everything after it.
    while (samples_.size() > 1 && now - samples_[1].first >= window) samples_.pop_front();
    std::string why;
    const auto& [then, count] = samples_.front();
    if (now - then >= window && total_ - count < limits_.slowBytes) {
        const std::int64_t perSecond = limits_.slowBytes * 1000 / limits_.slowWindowMs;
        why = "less than " + byteCountText(perSecond) + " a second moved over " +
              std::to_string(limits_.slowWindowMs / 1000) + " seconds";
    } else {
        why = roomCheck();
    }
    if (why.empty()) return;
    timer_.setEnabled(false);
    // Told after this tick: the owner drops the guard, and its timer with it, with the transfer.
    std::weak_ptr<int> alive = alive_;
    rt_.post([this, alive, why] {
        if (!alive.expired()) exceeded_(why);
    });
}

}  // namespace tarnwick
