#include "recorder/dispatcher.h"

#include <cstdio>
#include <exception>

#include "runtime/runtime.h"

namespace tarnwick {

// ---- WindowSystem ----

WindowSystem::WindowSystem(Runtime& rt, int maxWindows)
    : rt_(rt), maxWindows_(maxWindows), alive_(std::make_shared<bool>(true)) {}

WindowSystem::~WindowSystem() = default;

WindowHandle WindowSystem::CreateWindow(const std::string& className, const std::string& windowName,
                                        WindowProc proc) {
    if (static_cast<int>(windows_.size()) >= maxWindows_) return 0;
    if (!proc) proc = [](WindowHandle, unsigned, std::intptr_t, std::intptr_t) -> std::intptr_t { return 0; };
    const WindowHandle h = next_;
    next_ += 4;
    windows_[h] = Window{className, windowName, std::move(proc)};
    return h;
}

bool WindowSystem::IsWindow(WindowHandle h) const { return windows_.count(h) != 0; }

void WindowSystem::DestroyWindow(WindowHandle h) { windows_.erase(h); }

WindowProc WindowSystem::SetWindowProc(WindowHandle h, WindowProc proc) {
    auto it = windows_.find(h);
    if (it == windows_.end() || !proc) return {};
    WindowProc previous = std::move(it->second.proc);
    it->second.proc = std::move(proc);
    return previous;
}

std::intptr_t WindowSystem::SendMessage(WindowHandle h, unsigned message, std::intptr_t wParam,
                                        std::intptr_t lParam) {
    auto it = windows_.find(h);
    if (it == windows_.end()) return 0;
    // A copy: the procedure may replace itself while it runs.
    WindowProc proc = it->second.proc;
    return proc(h, message, wParam, lParam);
}

void WindowSystem::PostMessage(WindowHandle h, unsigned message, std::intptr_t wParam, std::intptr_t lParam) {
    std::weak_ptr<bool> alive = alive_;
    rt_.post([this, alive, h, message, wParam, lParam] {
        if (alive.expired()) return;
        try {
            SendMessage(h, message, wParam, lParam);
        } catch (const std::exception& e) {
            rt_.error("window message", e.what());
        } catch (...) {
            rt_.error("window message", "unknown failure");
        }
    });
}

// ---- Subclasser ----

struct Subclasser::Record {
    explicit Record(std::shared_ptr<int> live) : live(std::move(live)) { ++*this->live; }
    ~Record() { --*live; }

    int depth = 0;                // calls through the record in progress
    bool releasePending = false;  // the subclass was removed
    bool released = false;        // the previous procedure is back
    WindowHandle window = 0;
    WindowSystem* windows = nullptr;
    WindowProc previous;
    Callback callback;
    MessageTable before{};
    MessageTable after{};
    std::int32_t userValue = 0;
    std::shared_ptr<int> live;
};

namespace {

bool matches(const Subclasser::MessageTable& t, unsigned message) {
    if (t[0] == Subclasser::ALL_MESSAGES) return true;
    for (std::int32_t i = 1; i <= t[0] && i <= Subclasser::MSG_ENTRIES; ++i)
        if (t[i] != 0 && static_cast<unsigned>(t[i]) == message) return true;
    return false;
}

}  // namespace

Subclasser::Subclasser(WindowSystem& windows, Runtime& rt, std::string className)
    : windows_(windows), rt_(rt), className_(std::move(className)) {}

Subclasser::~Subclasser() = default;

void Subclasser::ReportSubclassError(const std::string& routine, const std::string& message) {
    const std::string where = className_ + "." + routine;
    rt_.error(where, message);
    rt_.messageBox("Error in " + where, message + ".", MsgButtons::Ok, MsgIcon::Exclamation);
}

bool Subclasser::sc_Subclass(WindowHandle window, std::int32_t userValue, Callback callback) {
    if (!windows_.IsWindow(window)) {
        ReportSubclassError("sc_Subclass", "Invalid window handle");
        return false;
    }
    if (!callback) {
        ReportSubclassError("sc_Subclass", "Callback method not found");
        return false;
    }
    if (!windowTable_) windowTable_.emplace();
    if (windowTable_->count(key(window))) {
        ReportSubclassError("sc_Subclass", "Window handle is already subclassed");
        return false;
    }
    auto r = std::make_shared<Record>(live_);
    r->window = window;
    r->windows = &windows_;
    r->callback = std::move(callback);
    r->userValue = userValue;
    // The record's procedure: the tables decide what reaches the callback, the depth keeps the record
    // in place while anything runs through it, and the first call after the removal puts the
    // previous procedure back.
    WindowProc proc = [r](WindowHandle h, unsigned message, std::intptr_t wParam,
                          std::intptr_t lParam) -> std::intptr_t {
        struct Depth {
            Record& r;
            explicit Depth(Record& rec) : r(rec) { ++r.depth; }
            ~Depth() { --r.depth; }
        };
        auto releaseIfDue = [&r] {
            if (r->depth != 0 || !r->releasePending || r->released) return false;
            r->released = true;
            r->windows->SetWindowProc(r->window, r->previous);
            return true;
        };
        std::intptr_t result = 0;
        bool handled = false;
        if (matches(r->before, message) && r->callback) {
            Depth d(*r);
            r->callback(true, handled, result, h, message, wParam, lParam, r->userValue);
        }
        if (handled) {
            releaseIfDue();
            return result;
        }
        {
            Depth d(*r);
            result = r->previous ? r->previous(h, message, wParam, lParam) : 0;
        }
        // Given back: the message's result is that of the release, and the after phase is skipped.
        if (releaseIfDue()) return 1;
        if (matches(r->after, message) && r->callback) {
            {
                Depth d(*r);
                r->callback(false, handled, result, h, message, wParam, lParam, r->userValue);
            }
            releaseIfDue();
        }
        return result;
    };
    WindowProc previous = windows_.SetWindowProc(window, std::move(proc));
    if (!previous) {
        // ERROR_INVALID_WINDOW_HANDLE: the window went away between the test and the install.
        ReportSubclassError("sc_Subclass", "SetWindowLong failed, error #1400");
        return false;
    }
    r->previous = std::move(previous);
    (*windowTable_)[key(window)] = r;
    return true;
}

Subclasser::Record* Subclasser::zMap_hWnd(WindowHandle window) {
    if (!windowTable_) {
        ReportSubclassError("zMap_hWnd", "Subclassing hasn't been started");
        return nullptr;
    }
    auto it = windowTable_->find(key(window));
    if (it == windowTable_->end()) {
        ReportSubclassError("zMap_hWnd", "Window handle isn't subclassed");
        return nullptr;
    }
    return it->second.get();
}

void Subclasser::sc_AttachMessage(WindowHandle window, std::int32_t message, int when) {
    Record* r = zMap_hWnd(window);
    if (!r) return;
    if (when & MSG_BEFORE) zAddMsg(message, r->before);
    if (when & MSG_AFTER) zAddMsg(message, r->after);
}

void Subclasser::sc_UnSubclass(WindowHandle window) {
    if (!windowTable_) {
        ReportSubclassError("sc_UnSubclass", "Window handle isn't subclassed");
        return;
    }
    Record* r = zMap_hWnd(window);
    if (!r) return;  // reported; nothing of this window to remove
    r->releasePending = true;
    zDelMsg(ALL_MESSAGES, r->before);
    zDelMsg(ALL_MESSAGES, r->after);
    windowTable_->erase(key(window));
}

void Subclasser::zAddMsg(WindowHandle window, std::int32_t message, int table) {
    if (Record* r = zMap_hWnd(window)) zAddMsg(message, table == MSG_BEFORE ? r->before : r->after);
}

void Subclasser::zDelMsg(WindowHandle window, std::int32_t message, int table) {
    if (Record* r = zMap_hWnd(window)) zDelMsg(message, table == MSG_BEFORE ? r->before : r->after);
}

std::optional<Subclasser::MessageTable> Subclasser::table(WindowHandle window, int which) const {
    if (!windowTable_) return std::nullopt;
    auto it = windowTable_->find(key(window));
    if (it == windowTable_->end()) return std::nullopt;
    return which == MSG_BEFORE ? it->second->before : it->second->after;
}

void Subclasser::zAddMsg(std::int32_t message, MessageTable& t) {
    if (message == ALL_MESSAGES) {
        t[0] = ALL_MESSAGES;
        return;
    }
    // A message already held changes nothing, in a full table too.
    for (std::int32_t i = 1; i <= t[0] && i <= MSG_ENTRIES; ++i)
        if (t[i] == message) return;
    if (t[0] >= MSG_ENTRIES) {
        ReportSubclassError("zAddMsg",
                            "Message table overflow. Either increase the value of Const MSG_ENTRIES or use "
                            "ALL_MESSAGES instead of specific message values");
        return;
    }
    // A table that matched every message holds no single message yet.
    const std::int32_t count = t[0] < 0 ? 0 : t[0];
    for (std::int32_t i = 1; i <= count; ++i) {
        if (t[i] == 0) {
            t[i] = message;
            t[0] = count;
            return;
        }
    }
    t[count + 1] = message;
    t[0] = count + 1;
}

void Subclasser::zDelMsg(std::int32_t message, MessageTable& t) {
    if (message == ALL_MESSAGES) {
        t[0] = 0;
        return;
    }
    for (std::int32_t i = 1; i <= t[0] && i <= MSG_ENTRIES; ++i) {
        if (t[i] == message) {
            t[i] = 0;
            return;
        }
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(message));
    ReportSubclassError("zDelMsg", std::string("Message &H") + hex + " not found in table");
}

}  // namespace tarnwick
