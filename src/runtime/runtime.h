#pragma once
// The services every tool runs on: timers, yield, the local clock, blocking delays, process end,
// message boxes, the URL opener and diagnostics. Tools see only this interface; the program wires
// the Qt backend, tests the virtual one.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

// Local wall-clock time. weekday: 1 = Sunday .. 7 = Saturday, as the schedules count.
struct LocalTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    int weekday = 7;

    // "hh:mm:ss", 24-hour, the form every schedule compares against.
    std::string hms() const;
    // Seconds since midnight.
    int secondOfDay() const { return hour * 3600 + minute * 60 + second; }
};

enum class MsgButtons { Ok, YesNo, OkCancel, YesNoCancel };
enum class MsgIcon { None, Information, Exclamation, Question, Critical };
enum class MsgAnswer { Ok, Yes, No, Cancel };

class Runtime;
class Timer;

// Bookkeeping of running timers by due time on a monotonic millisecond clock. Both backends share it,
// so phase, coalescing and re-entrancy rules are the same in the program and in tests.
class TimerScheduler {
public:
    void add(Timer* t, std::int64_t due);
    void remove(Timer* t);
    // Earliest due time of an enabled timer, or -1.
    std::int64_t nextDue() const;
    // When the loop should next wake to fire timers, or -1: the earliest due time, moved later to the
    // due time of other timers that fall due within the first one's leeway, as long as no timer waits
    // past its own leeway. Timers of one period started a few milliseconds apart so share one wake-up
    // instead of waking the loop once each; a timer never fires before it is due.
    std::int64_t nextWake() const;
    // How late a timer of this (effective) interval may fire so that it shares a wake-up with others:
    // a tenth of the interval, at most 10 ms (window timers on the system these tools were written for
    // are late by up to a clock tick of 15.6 ms as a matter of course).
    static std::int64_t leeway(int effectiveIntervalMs);
    // Fires every timer due at or before now, once each, in due order. A timer whose handler is
    // running is not re-entered; its tick is dropped and it is rescheduled from now.
    void fireDue(std::int64_t now);
    bool empty() const { return timers_.empty(); }
    // Next due time of an aligned timer after now.
    std::function<std::int64_t(std::int64_t)> alignedDue;
    // Runs before each handler, once the firing timer is rescheduled: a handler may open a modal box,
    // whose own loop must still wake for the other timers.
    std::function<void()> beforeFire;

private:
    struct Entry {
        Timer* timer;
        std::int64_t due;
    };
    std::vector<Entry> timers_;
};

// A window timer: interval in milliseconds and an enabled flag. Enabling a running timer keeps
// its phase; interval 0 never fires; intervals below 10 ms run at 10 ms.
class Timer {
public:
    explicit Timer(Runtime& rt, int intervalMs = 0, bool enabled = false);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    std::function<void()> onTick;

    void setEnabled(bool on);
    bool enabled() const { return enabled_; }
    void setInterval(int ms);
    int interval() const { return interval_; }
    // A one-second clock whose ticks fall just after each wall-clock second turns.
    void setAlignedToSeconds(bool on) { aligned_ = on; }
    bool alignedToSeconds() const { return aligned_; }

    int effectiveInterval() const { return interval_ < 10 ? 10 : interval_; }
    // How late a tick may come so that it shares a wake-up with other timers; below 0 (the default)
    // the scheduler's own measure for the interval. A timer that only reads what the clock says is due
    // can wait longer than a window timer.
    void setLeeway(int ms) { leeway_ = ms; }
    int leewayMs() const { return leeway_; }

private:
    friend class TimerScheduler;
    friend class Runtime;
    void update();
    void fire();

    Runtime& rt_;
    int interval_ = 0;
    bool enabled_ = false;
    bool aligned_ = false;
    int leeway_ = -1;
    bool running_ = false;
    bool scheduled_ = false;
};

class Runtime {
public:
    Runtime();
    virtual ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Monotonic milliseconds: timers, delays and durations.
    virtual std::int64_t monotonicMs() const = 0;
    // The same clock to the nanosecond, for a limit that must never end early: two millisecond
    // readings, each cut down to its millisecond, may lie up to a millisecond closer than the moments
    // they stand for. A clock that keeps whole milliseconds is exact at that resolution already.
    virtual std::int64_t monotonicNs() const { return monotonicMs() * 1'000'000; }
    virtual LocalTime localTime() const = 0;

    // One pass of pending work: host events, due timers, UI input.
    virtual void yield() = 0;
    // Runs fn on the loop after the current handler returns.
    virtual void post(std::function<void()> fn) = 0;
    // Holds the thread for ms without running any events; the virtual backend advances time instead.
    virtual void blockingDelay(int ms) = 0;

    // Calls fn on the loop whenever fd is readable; returns an id for removeWatch.
    virtual int addReadWatch(int fd, std::function<void()> fn) = 0;
    // Calls fn on the loop whenever fd is writable (a connection under way, a send buffer with room).
    virtual int addWriteWatch(int fd, std::function<void()> fn) = 0;
    virtual void removeWatch(int id) = 0;

    // Ends the process once with the given exit code; tests observe it instead of dying. Every way
    // of ending comes here, and the exit work below runs first.
    virtual void endProcess(int code) = 0;
    virtual bool processEnded() const = 0;

    // Work that the end of the process runs first, once, whoever ends it: the loaded tools' clean-up
    // and the release of every line the program holds. The last added runs first. It may hold the
    // thread (blocking delays) but must not end the process itself. Returns an id for removeExitWork.
    int addExitWork(std::function<void()> fn);
    void removeExitWork(int id);

    // How many event loops run inside one another on this thread right now. A modal box or dialog
    // runs a loop of its own, so one opened from a handler makes this deeper than where that handler
    // started; work that waits for the handler to end (host events) may go on inside it.
    virtual int loopDepth() const { return 0; }

    // Writes "MSGBOX title: text" and asks, or answers from TARNWICK_ANSWER when unattended.
    MsgAnswer messageBox(const std::string& title, const std::string& text,
                         MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None);
    // Opens url with the desktop opener; writes "OPEN url". Returns 0 on success, else an error code
    // in the opener's classic range: 2 not found, 31 no association, other codes general failures.
    int openUrl(const std::string& url);

    // Diagnostics on stderr, one line each, escaped (escapeDiagnostic). An ERROR text that repeats is
    // written once, then at most once a minute with its count ("... (repeated 600 times)"); a text
    // that stopped repeating has its last count written with the next line after a minute.
    void diag(const std::string& kind, const std::string& text);
    void error(const std::string& where, const std::string& what) { diag("ERROR", where + ": " + what); }

    // Timer registry used by Timer.
    void timerChanged(Timer* t);
    void timerGone(Timer* t);
    // Earliest due time of any timer on the monotonic clock, or -1.
    std::int64_t nextTimerDue() const { return scheduler_.nextDue(); }
    // When the loop wakes next to fire timers (TimerScheduler::nextWake), or -1.
    std::int64_t nextTimerWake() const { return scheduler_.nextWake(); }

protected:
    virtual MsgAnswer showMessageBox(const std::string& title, const std::string& text,
                                     MsgButtons buttons, MsgIcon icon) = 0;
    virtual int launchUrl(const std::string& url) = 0;
    // The scheduler's earliest due time changed; a real loop re-arms its wake-up.
    virtual void rearm() {}
    // Answer set by TARNWICK_ANSWER ("ok", "yes", "no", "cancel"), if any.
    bool presetAnswer(MsgButtons buttons, MsgAnswer& out) const;
    // Runs every timer due now; backends call it from their loop.
    void fireDueTimers();
    // Runs the exit work, newest first, once; backends call it from endProcess before they end.
    void runExitWork();
    std::int64_t alignedDueFrom(std::int64_t now) const;
    TimerScheduler scheduler_;

private:
    struct Repeats {
        std::int64_t written = 0;  // when the text was last written
        std::int64_t seen = 0;     // when it last came
        long long held = 0;        // how often it came since it was last written
    };
    void writeDiag(const std::string& kind, const std::string& text);
    void flushRepeats(std::int64_t now, bool all);
    std::map<std::string, Repeats> repeats_;
    std::vector<std::pair<int, std::function<void()>>> exitWork_;
    int nextExitWork_ = 1;
    bool exitWorkRan_ = false;
};

// An error passed over by code that has no runtime at hand (library adapters, the view's input
// handlers): it goes through the diagnostics of the first runtime alive in this process, so it keeps
// the same escaping and repeat limit as every other ERROR line. Without a runtime it is written as is,
// escaped.
void diagError(const std::string& where, const std::string& what);

// The system's local time, to the millisecond.
LocalTime systemLocalTime();
// The local time of one reading of the system clock, to the millisecond.
LocalTime localTimeAt(std::chrono::system_clock::time_point at);

// Makes a text safe for one diagnostic line on a terminal: CR and LF become the two characters \r and
// \n, every other control character but tab (C0, DEL, and C1 written in UTF-8) and every byte that is
// not part of valid UTF-8 becomes \xNN. Text from strangers reaches the operator's terminal this way.
std::string escapeDiagnostic(const std::string& s);
// The same, under its older name.
inline std::string escapeLineBreaks(const std::string& s) { return escapeDiagnostic(s); }

}  // namespace tarnwick
