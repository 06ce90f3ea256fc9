#pragma once
// Virtual time for tests: a settable local clock and advance() that fires due timers in order.
// Blocking delays move time on without ticks, as a held thread would.

#include <deque>
#include <map>

#include "runtime/runtime.h"

namespace tarnwick {

struct RecordedBox {
    std::string title, text;
    MsgButtons buttons;
    MsgIcon icon;
};

class VirtualRuntime : public Runtime {
public:
    VirtualRuntime();

    std::int64_t monotonicMs() const override { return now_; }
    LocalTime localTime() const override;

    void yield() override;
    void post(std::function<void()> fn) override { posted_.push_back(std::move(fn)); }
    void blockingDelay(int ms) override;
    int addReadWatch(int fd, std::function<void()> fn) override;
    int addWriteWatch(int fd, std::function<void()> fn) override;
    void removeWatch(int id) override { watches_.erase(id); }
    void endProcess(int code) override;
    bool processEnded() const override { return ended_; }
    int loopDepth() const override { return depth_; }

    // Sets the local clock; monotonic time runs on from where it is.
    void setLocalTime(int year, int month, int day, int hour, int minute, int second, int ms = 0);
    // Moves time on by ms, firing every due timer at its own moment, in order. (The program's loop
    // may fire a timer a few milliseconds late so that it shares a wake-up with others; nextTimerWake()
    // says when that loop would wake.)
    void advance(std::int64_t ms);
    // Advances until the local clock reads the given moment of the same or a later day (the first
    // one not in the past); returns false when that would be more than a week away.
    bool runUntil(int hour, int minute, int second, int weekday = 0);
    // Runs posted work and watches without moving time.
    void runPending();

    int exitCode() const { return exitCode_; }
    int endCount() const { return endCount_; }
    std::int64_t blockedMs() const { return blocked_; }

    // Message boxes shown, and the answers to give (front first; else the box's first button).
    std::vector<RecordedBox> boxes;
    std::deque<MsgAnswer> answers;
    // Runs while a box is open, one loop deeper, as a person who takes their time to answer: a test
    // may advance time or raise host events in it.
    std::function<void(const RecordedBox&)> whileBoxOpen;
    // URLs opened, and the result code the opener returns (0 success).
    std::vector<std::string> urls;
    int openResult = 0;

protected:
    MsgAnswer showMessageBox(const std::string& title, const std::string& text, MsgButtons buttons,
                             MsgIcon icon) override;
    int launchUrl(const std::string& url) override;

private:
    void pollWatches();

    std::int64_t now_ = 0;
    std::int64_t epochMsAtZero_ = 0;  // local wall-clock ms since 1970 at monotonic 0
    std::int64_t blocked_ = 0;
    std::deque<std::function<void()>> posted_;
    struct Watch {
        int fd;
        short events;  // POLLIN or POLLOUT
        std::function<void()> fn;
    };
    std::map<int, Watch> watches_;
    int nextWatch_ = 1;
    int depth_ = 0;
    bool ended_ = false;
    int exitCode_ = 0;
    int endCount_ = 0;
};

}  // namespace tarnwick
