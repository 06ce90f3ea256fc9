#include "ui/input_prompt.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <cstdlib>

namespace tarnwick {

std::string qtInputPrompt(const std::string& prompt, const std::string& title) {
    const char* preset = std::getenv("TARNWICK_ANSWER");
    if ((preset && *preset) || QGuiApplication::platformName() == QLatin1String("offscreen")) return {};
    bool ok = false;
    const QString answer = QInputDialog::getText(nullptr, QString::fromStdString(title), QString::fromStdString(prompt),
                                                 QLineEdit::Normal, QString(), &ok);
    return ok ? answer.toStdString() : std::string();
}

}  // namespace tarnwick
