#pragma once
// The program's icon in the desktop's notification area. The operator's mouse on the icon is
// reported as the classic mouse message numbers the launcher decodes: 513 left button (a single
// click), 515 left double-click, 516 right button, 519 middle button.

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <string>

namespace tarnwick {

class TrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    // Whether the desktop has a notification area to put the icon in.
    static bool available();
    // Puts the icon into the notification area with this tool tip (again: updates the tip).
    void add(const std::string& toolTip);
    // Takes the icon out; harmless when it is not there.
    void remove();
    bool added() const { return icon_ != nullptr; }

    // The operator's mouse on the icon, as a mouse message number.
    std::function<void(int)> onMouseMessage;

    // The program's icon, drawn at run time: the launcher window carries it too.
    static QIcon programIcon();
    // The mouse message number for a Qt activation reason.
    static int mouseMessage(QSystemTrayIcon::ActivationReason reason);

private:
    QSystemTrayIcon* icon_ = nullptr;
};

}  // namespace tarnwick
