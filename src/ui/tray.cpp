#include "ui/tray.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QTextDocument>

namespace tarnwick {

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {}

TrayIcon::~TrayIcon() { remove(); }

bool TrayIcon::available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::add(const std::string& toolTip) {
    if (!icon_) {
        icon_ = new QSystemTrayIcon(programIcon(), this);
        connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            // The handler usually removes this very icon, and on X11 that destroys the window whose
            // mouse press is still being handled: it runs once that press has returned.
            const int message = mouseMessage(r);
            QMetaObject::invokeMethod(
                this,
                [this, message] {
                    auto handler = onMouseMessage;  // a copy: the handler may replace it
                    if (handler) handler(message);
                },
                Qt::QueuedConnection);
        });
    }
    // The tip carries the node's callsign; some desktops read markup in tips, so escape any.
    QString tip = QString::fromStdString(toolTip);
    if (Qt::mightBeRichText(tip)) tip = QStringLiteral("<qt>") + tip.toHtmlEscaped() + QStringLiteral("</qt>");
    icon_->setToolTip(tip);
    icon_->show();
}

void TrayIcon::remove() {
    if (!icon_) return;
    icon_->hide();
    // Removal may come from the icon's own activation: delete once its signal has returned.
    icon_->deleteLater();
    icon_ = nullptr;
}

int TrayIcon::mouseMessage(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return 513;
    case QSystemTrayIcon::DoubleClick:
        return 515;
    case QSystemTrayIcon::Context:
        return 516;
    case QSystemTrayIcon::MiddleClick:
        return 519;
    default:
        return 512;  // a plain mouse move
    }
}

QIcon TrayIcon::programIcon() {
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0x5f, 0x8f));
        p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(size * 3 / 4);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("T"));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace tarnwick
