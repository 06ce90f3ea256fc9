#include "runtime/runtime.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <utility>

namespace tarnwick {

std::string LocalTime::hms() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
    return buf;
}

LocalTime systemLocalTime() { return localTimeAt(std::chrono::system_clock::now()); }

LocalTime localTimeAt(std::chrono::system_clock::time_point now) {
    using namespace std::chrono;
    const std::time_t secs = system_clock::to_time_t(now);
    std::tm tm{};
    ::localtime_r(&secs, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // a leap second reads as the one before it
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    t.millisecond = static_cast<int>(ms < 0 ? ms + 1000 : ms);
    t.weekday = tm.tm_wday + 1;  // tm counts Sunday as 0
    return t;
}

namespace {

void hexByte(std::string& out, unsigned char b) {
    static const char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[b >> 4];
    out += digits[b & 15];
}

// Length of the valid UTF-8 sequence (no overlong form, no surrogate, at most U+10FFFF) at s[i], or 0.
std::size_t utf8Length(const std::string& s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = at(i);
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    if (at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return n;
}

}  // namespace

std::string escapeDiagnostic(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t' || (c >= 0x20 && c < 0x7F)) {
            out += static_cast<char>(c);
        } else if (c < 0x80) {
            hexByte(out, c);  // NUL, ESC and the rest of C0, and DEL
        } else if (const std::size_t n = utf8Length(s, i); n == 0) {
            hexByte(out, c);
        } else {
            // U+0080 to U+009F are control characters too: a terminal may take U+009B for ESC [.
            if (n == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0) {
                hexByte(out, c);
                hexByte(out, static_cast<unsigned char>(s[i + 1]));
            } else {
                out.append(s, i, n);
            }
            i += n;
            continue;
        }
        ++i;
    }
    return out;
}

// ---- TimerScheduler ----

void TimerScheduler::add(Timer* t, std::int64_t due) {
    remove(t);
    timers_.push_back({t, due});
}

void TimerScheduler::remove(Timer* t) {
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [t](const Entry& e) { return e.timer == t; }),
                  timers_.end());
}

std::int64_t TimerScheduler::nextDue() const {
    std::int64_t best = -1;
    for (const auto& e : timers_)
        if (!e.timer->running_ && (best < 0 || e.due < best)) best = e.due;
    return best;
}

std::int64_t TimerScheduler::leeway(int effectiveIntervalMs) {
    return std::min<std::int64_t>(effectiveIntervalMs / 10, 10);
}

std::int64_t TimerScheduler::nextWake() const {
    // The latest moment by which some timer must have fired...
    std::int64_t deadline = -1;
    for (const auto& e : timers_) {
        if (e.timer->running_) continue;
        const int own = e.timer->leewayMs();
        const std::int64_t latest = e.due + (own >= 0 ? own : leeway(e.timer->effectiveInterval()));
        if (deadline < 0 || latest < deadline) deadline = latest;
    }
    if (deadline < 0) return -1;
    // ...and the last due time up to it, so every timer due by then fires in the same wake-up.
    std::int64_t wake = -1;
    for (const auto& e : timers_)
        if (!e.timer->running_ && e.due <= deadline && e.due > wake) wake = e.due;
    return wake;
}

void TimerScheduler::fireDue(std::int64_t now) {
    // Snapshot the due set first: handlers may enable, disable or delete timers.
    std::vector<std::pair<std::int64_t, Timer*>> due;
    for (const auto& e : timers_)
        if (e.due <= now && !e.timer->running_) due.emplace_back(e.due, e.timer);
    std::stable_sort(due.begin(), due.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [when, timer] : due) {
        auto it = std::find_if(timers_.begin(), timers_.end(), [timer = timer](const Entry& e) { return e.timer == timer; });
        if (it == timers_.end() || it->due != when) continue;  // stopped or restarted meanwhile
        std::int64_t next = when + timer->effectiveInterval();
        // Ticks missed while the thread was held coalesce into the one firing now.
        if (next <= now) next = now + timer->effectiveInterval();
        if (timer->aligned_ && alignedDue) next = alignedDue(now);
        it->due = next;
        if (beforeFire) beforeFire();
        timer->fire();
    }
}

// ---- Timer ----

Timer::Timer(Runtime& rt, int intervalMs, bool enabled) : rt_(rt), interval_(intervalMs), enabled_(enabled) {
    update();
}

Timer::~Timer() { rt_.timerGone(this); }

void Timer::setEnabled(bool on) {
    if (on == enabled_) return;  // enabling a running timer keeps its phase
    enabled_ = on;
    update();
}

void Timer::setInterval(int ms) {
    if (ms == interval_) return;
    interval_ = ms;
    // A new interval restarts the count, as window timers do: drop the old count first.
    if (scheduled_) {
        scheduled_ = false;
        rt_.timerChanged(this);
    }
    update();
}

void Timer::update() {
    bool want = enabled_ && interval_ > 0;
    if (want && !scheduled_) {
        scheduled_ = true;
        rt_.timerChanged(this);
    } else if (!want && scheduled_) {
        scheduled_ = false;
        rt_.timerChanged(this);
    } else if (want) {
        rt_.timerChanged(this);
    }
}

void Timer::fire() {
    if (!onTick) return;
    running_ = true;
    try {
        onTick();
    } catch (const std::exception& e) {
        rt_.error("timer", e.what());
    } catch (...) {
        rt_.error("timer", "unknown failure");
    }
    running_ = false;
}

// ---- Runtime ----

void Runtime::timerChanged(Timer* t) {
    if (!t->scheduled_) {
        scheduler_.remove(t);
    } else {
        std::int64_t now = monotonicMs();
        std::int64_t due = t->alignedToSeconds() ? alignedDueFrom(now) : now + t->effectiveInterval();
        // Re-adding a scheduled timer (interval change) restarts its phase; a plain enable of a running
        // timer never reaches here because Timer filters it.
        scheduler_.add(t, due);
    }
    rearm();
}

void Runtime::timerGone(Timer* t) {
    scheduler_.remove(t);
    rearm();
}

std::int64_t Runtime::alignedDueFrom(std::int64_t now) const {
    // Just after the next wall-clock second turns, so "hh:mm:ss" read in the tick is the new second.
    int ms = localTime().millisecond;
    return now + (1000 - ms) + 2;
}

void Runtime::fireDueTimers() {
    scheduler_.fireDue(monotonicMs());
    rearm();
}

namespace {
// How long one ERROR text stays quiet after it was written, in monotonic milliseconds.
constexpr std::int64_t kRepeatQuietMs = 60'000;
// Texts remembered at once; a flood of different texts is summed up and forgotten beyond this.
constexpr std::size_t kRepeatTexts = 1000;
}  // namespace

namespace {
// The runtime that takes the errors of code without one; the first one made, until it goes.
std::atomic<Runtime*> processDiagnostics{nullptr};
}  // namespace

Runtime::Runtime() {
    scheduler_.alignedDue = [this](std::int64_t now) { return alignedDueFrom(now); };
    scheduler_.beforeFire = [this] { rearm(); };
    Runtime* none = nullptr;
    processDiagnostics.compare_exchange_strong(none, this);
}

Runtime::~Runtime() {
    Runtime* self = this;
    processDiagnostics.compare_exchange_strong(self, nullptr);
}

int Runtime::addExitWork(std::function<void()> fn) {
    const int id = nextExitWork_++;
    exitWork_.emplace_back(id, std::move(fn));
    return id;
}

void Runtime::removeExitWork(int id) {
    for (auto it = exitWork_.begin(); it != exitWork_.end(); ++it)
        if (it->first == id) {
            exitWork_.erase(it);
            return;
        }
}

void Runtime::runExitWork() {
    if (exitWorkRan_) return;
    exitWorkRan_ = true;
    // Taken out first: a piece of work may remove itself (or others) as it runs.
    auto work = std::move(exitWork_);
    exitWork_.clear();
    for (auto it = work.rbegin(); it != work.rend(); ++it) {
        try {
            it->second();
        } catch (const std::exception& e) {
            error("exit", e.what());
        } catch (...) {
            error("exit", "unknown failure");
        }
    }
}

void diagError(const std::string& where, const std::string& what) {
    if (Runtime* rt = processDiagnostics.load()) {
        rt->error(where, what);
        return;
    }
    std::string line = "ERROR " + escapeDiagnostic(where + ": " + what) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void Runtime::writeDiag(const std::string& kind, const std::string& text) {
    std::string line = kind + " " + escapeDiagnostic(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void Runtime::flushRepeats(std::int64_t now, bool all) {
    for (auto it = repeats_.begin(); it != repeats_.end();) {
        if (!all && now - it->second.seen < kRepeatQuietMs) {
            ++it;
            continue;
        }
        if (it->second.held > 0)
            writeDiag("ERROR", it->first + " (repeated " + std::to_string(it->second.held) + " times)");
        it = repeats_.erase(it);
    }
}

void Runtime::diag(const std::string& kind, const std::string& text) {
    const std::int64_t now = monotonicMs();
    // A text that has stopped repeating gets its count written (and is forgotten) a minute on.
    flushRepeats(now, false);
    if (kind != "ERROR") {
        writeDiag(kind, text);
        return;
    }
    auto it = repeats_.find(text);
    if (it == repeats_.end()) {
        if (repeats_.size() >= kRepeatTexts) flushRepeats(now, true);
        repeats_[text] = Repeats{now, now, 0};
        writeDiag(kind, text);
        return;
    }
    Repeats& r = it->second;
    r.seen = now;
    if (now - r.written < kRepeatQuietMs) {
        ++r.held;
        return;
    }
    writeDiag(kind, text + " (repeated " + std::to_string(r.held + 1) + " times)");
    r.written = now;
    r.held = 0;
}

bool Runtime::presetAnswer(MsgButtons buttons, MsgAnswer& out) const {
    const char* env = std::getenv("TARNWICK_ANSWER");
    if (!env || !*env) return false;
    std::string a(env);
    std::transform(a.begin(), a.end(), a.begin(), [](unsigned char c) { return std::tolower(c); });
    if (a == "yes")
        out = MsgAnswer::Yes;
    else if (a == "no")
        out = MsgAnswer::No;
    else if (a == "cancel")
        out = MsgAnswer::Cancel;
    else
        out = MsgAnswer::Ok;
    // An answer the box does not offer falls back to its first button.
    switch (buttons) {
    case MsgButtons::Ok:
        out = MsgAnswer::Ok;
        break;
    case MsgButtons::YesNo:
        if (out != MsgAnswer::Yes && out != MsgAnswer::No) out = out == MsgAnswer::Cancel ? MsgAnswer::No : MsgAnswer::Yes;
        break;
    case MsgButtons::OkCancel:
        if (out != MsgAnswer::Ok && out != MsgAnswer::Cancel) out = out == MsgAnswer::No ? MsgAnswer::Cancel : MsgAnswer::Ok;
        break;
    case MsgButtons::YesNoCancel:
        if (out == MsgAnswer::Ok) out = MsgAnswer::Yes;
        break;
    }
    return true;
}

MsgAnswer Runtime::messageBox(const std::string& title, const std::string& text, MsgButtons buttons, MsgIcon icon) {
    diag("MSGBOX", title + ": " + text);
    MsgAnswer a;
    if (presetAnswer(buttons, a)) return a;
    return showMessageBox(title, text, buttons, icon);
}

int Runtime::openUrl(const std::string& url) {
    diag("OPEN", url);
    return launchUrl(url);
}

}  // namespace tarnwick
