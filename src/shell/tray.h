#pragma once
// The notification-area icon as the launcher sees it. The program wires a desktop tray; tests a fake.

#include <functional>
#include <string>

namespace tarnwick {

class TrayService {
public:
    virtual ~TrayService() = default;
    // Whether the desktop has a notification area at all.
    virtual bool available() const = 0;
    virtual void add(const std::string& tip) = 0;
    virtual void remove() = 0;
    // Mouse messages over the icon: 513 left click, 515 left double-click, 516 right button down.
    std::function<void(long message)> onMessage;
};

// A tray that is never there (headless runs, tests).
class NoTray : public TrayService {
public:
    bool available() const override { return false; }
    void add(const std::string&) override {}
    void remove() override {}
};

}  // namespace tarnwick
