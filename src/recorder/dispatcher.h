#pragma once
// Window messages inside the program: hidden windows with a window procedure each, messages sent at
// once or posted to the event loop, and the subclassing engine that routes chosen messages of a
// window to an owner's callback before or after the window's own procedure. The capture learns of
// each filled buffer this way, on the program's one thread.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

class Runtime;

using WindowHandle = std::int32_t;  // 0: no window
using WindowProc = std::function<std::intptr_t(WindowHandle, unsigned message, std::intptr_t wParam,
                                               std::intptr_t lParam)>;

// The program's hidden windows. A window lives until the process ends; a posted message runs from the
// event loop after the current handler, in the order posted, and is dropped when its window is gone.
class WindowSystem {
public:
    // `maxWindows`: the windows one process may hold; creation fails beyond it.
    explicit WindowSystem(Runtime& rt, int maxWindows = 10000);
    ~WindowSystem();
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

    // A new window whose procedure is `proc`, or the class's plain one (it answers 0) when unset.
    // 0 when the process holds its most windows.
    WindowHandle CreateWindow(const std::string& className, const std::string& windowName, WindowProc proc = {});
    bool IsWindow(WindowHandle h) const;
    void DestroyWindow(WindowHandle h);
    // Installs a new procedure and returns the one it replaces; an empty one when there is no window.
    WindowProc SetWindowProc(WindowHandle h, WindowProc proc);
    // Runs the window's procedure now; 0 when there is no window.
    std::intptr_t SendMessage(WindowHandle h, unsigned message, std::intptr_t wParam, std::intptr_t lParam);
    void PostMessage(WindowHandle h, unsigned message, std::intptr_t wParam, std::intptr_t lParam);
    std::size_t windowCount() const { return windows_.size(); }

private:
    struct Window {
        std::string className, name;
        WindowProc proc;
    };
    Runtime& rt_;
    int maxWindows_;
    WindowHandle next_ = 0x100;
    std::map<WindowHandle, Window> windows_;
    std::shared_ptr<bool> alive_;
};

// The subclassing engine of one owner. Each subclassed window gets a record that stands in as its
// procedure; two tables of up to 32 messages (or every message) choose what reaches the callback
// before and after the previous procedure. Removing a subclass empties the tables; the record puts
// the previous procedure back once no call through it is running, at the next message it sees.
// Every failure is reported (a diagnostic line and a box), never raised.
class Subclasser {
public:
    static constexpr int MSG_ENTRIES = 32;
    static constexpr std::int32_t ALL_MESSAGES = -1;
    // Bits of `when` in sc_AttachMessage.
    static constexpr int MSG_BEFORE = 1;
    static constexpr int MSG_AFTER = 2;

    // before, handled (starts false), result (starts 0; after the previous procedure it holds that
    // procedure's value), window, message, wParam, lParam, the subclass's user value.
    using Callback = std::function<void(bool before, bool& handled, std::intptr_t& result, WindowHandle window,
                                        unsigned message, std::intptr_t wParam, std::intptr_t lParam,
                                        std::int32_t& userValue)>;
    // Count, then the slots: what one table holds.
    using MessageTable = std::array<std::int32_t, MSG_ENTRIES + 1>;

    // `className` names the owner in reports ("WaveInRecorder").
    Subclasser(WindowSystem& windows, Runtime& rt, std::string className);
    ~Subclasser();

    bool sc_Subclass(WindowHandle window, std::int32_t userValue, Callback callback);
    void sc_AttachMessage(WindowHandle window, std::int32_t message, int when);
    void sc_UnSubclass(WindowHandle window);

    // The table routines on one table of a window; sc_AttachMessage and sc_UnSubclass use them.
    void zAddMsg(WindowHandle window, std::int32_t message, int table);
    void zDelMsg(WindowHandle window, std::int32_t message, int table);
    // A copy of a window's table (MSG_BEFORE or MSG_AFTER); empty when the window is not subclassed.
    std::optional<MessageTable> table(WindowHandle window, int which) const;

    // Records not yet given back, removed subclasses included.
    int liveRecords() const { return *live_; }

private:
    struct Record;
    Record* zMap_hWnd(WindowHandle window);
    void zAddMsg(std::int32_t message, MessageTable& table);
    void zDelMsg(std::int32_t message, MessageTable& table);
    void ReportSubclassError(const std::string& routine, const std::string& message);
    static std::string key(WindowHandle window) { return std::to_string(window) + "h"; }

    WindowSystem& windows_;
    Runtime& rt_;
    std::string className_;
    // Absent until the first subclass.
    std::optional<std::map<std::string, std::shared_ptr<Record>>> windowTable_;
    std::shared_ptr<int> live_ = std::make_shared<int>(0);
};

}  // namespace tarnwick
