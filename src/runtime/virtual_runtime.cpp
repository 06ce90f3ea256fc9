#include "runtime/virtual_runtime.h"

#include "runtime/clock_moments.h"

#include <poll.h>

namespace tarnwick {

VirtualRuntime::VirtualRuntime() { setLocalTime(2026, 12, 7, 9, 0, 0); }

LocalTime VirtualRuntime::localTime() const { return localTimeFromEpochMs(epochMsAtZero_ + now_); }

void VirtualRuntime::setLocalTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    std::int64_t wall = daysFromCivil(year, month, day) * 86400000 + hour * 3600000LL + minute * 60000LL +
                        second * 1000LL + ms;
    epochMsAtZero_ = wall - now_;
    // Aligned clocks follow the new wall clock from their next tick on.
    rearm();
}

void VirtualRuntime::runPending() {
    pollWatches();
    while (!posted_.empty()) {
        auto fn = std::move(posted_.front());
        posted_.pop_front();
        fn();
    }
}

void VirtualRuntime::yield() {
    runPending();
    fireDueTimers();
}

void VirtualRuntime::advance(std::int64_t ms) {
    const std::int64_t target = now_ + ms;
    runPending();
    for (;;) {
        std::int64_t due = nextTimerDue();
        if (due < 0 || due > target) break;
        if (due > now_) now_ = due;
        fireDueTimers();
        runPending();
    }
    // A blocking delay inside a handler may already have carried time past the target.
    if (now_ < target) now_ = target;
    runPending();
}

bool VirtualRuntime::runUntil(int hour, int minute, int second, int weekday) {
    LocalTime t = localTime();
    std::int64_t nowInDay = t.secondOfDay() * 1000LL + t.millisecond;
    std::int64_t goal = (hour * 3600LL + minute * 60LL + second) * 1000LL;
    std::int64_t wait = goal - nowInDay;
    int dayShift = 0;
    if (weekday >= 1 && weekday <= 7) dayShift = (weekday - t.weekday + 7) % 7;
    if (wait < 0 && dayShift == 0) dayShift = weekday ? 7 : 1;
    wait += dayShift * 86400000LL;
    if (wait < 0 || wait > 7 * 86400000LL) return false;
    advance(wait);
    return true;
}

void VirtualRuntime::blockingDelay(int ms) {
    if (ms <= 0) return;
    now_ += ms;
    blocked_ += ms;
}

int VirtualRuntime::addReadWatch(int fd, std::function<void()> fn) {
    int id = nextWatch_++;
    watches_[id] = {fd, POLLIN, std::move(fn)};
    return id;
}

int VirtualRuntime::addWriteWatch(int fd, std::function<void()> fn) {
    int id = nextWatch_++;
    watches_[id] = {fd, POLLOUT, std::move(fn)};
    return id;
}

void VirtualRuntime::pollWatches() {
    // Real descriptors (a socket to a test host) are polled without waiting.
    std::vector<int> ids;
    for (auto& [id, w] : watches_) ids.push_back(id);
    for (int id : ids) {
        auto it = watches_.find(id);
        if (it == watches_.end()) continue;
        pollfd p{it->second.fd, it->second.events, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (it->second.events | POLLHUP | POLLERR))) {
            auto fn = it->second.fn;
            fn();
        }
    }
}

void VirtualRuntime::endProcess(int code) {
    ++endCount_;
    if (ended_) return;
    ended_ = true;
    exitCode_ = code;
    runExitWork();
}

MsgAnswer VirtualRuntime::showMessageBox(const std::string& title, const std::string& text, MsgButtons buttons,
                                         MsgIcon icon) {
    boxes.push_back({title, text, buttons, icon});
    if (auto open = whileBoxOpen) {
        const RecordedBox shown = boxes.back();  // a box opened meanwhile may move the list
        struct Deeper {
            int& depth;
            explicit Deeper(int& d) : depth(d) { ++depth; }
            ~Deeper() { --depth; }
        } deeper(depth_);
        open(shown);
    }
    if (!answers.empty()) {
        MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes : MsgAnswer::Ok;
}

int VirtualRuntime::launchUrl(const std::string& url) {
    urls.push_back(url);
    return openResult;
}

}  // namespace tarnwick
