#include "platform/qt/qt_runtime.h"

#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <thread>

namespace tarnwick {

struct QtRuntime::Watch {
    QSocketNotifier* notifier = nullptr;
    std::function<void()> fn;
    ~Watch() {
        // The notifier may be the one whose signal is running right now.
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
};

QtRuntime::QtRuntime() {
    clock_.start();
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake_, &QTimer::timeout, &context_, [this] { fireDueTimers(); });
    hardExit = [](int code) {
        // _exit, not std::exit: the process must stop where it stands, even inside a handler that a
        // nested event loop (a message box) runs, and no window's close or unload code may run after
        // it. std::exit would run static destructors while the QApplication and every widget are
        // still alive on main's stack, which Qt does not survive reliably, and would run atexit work
        // that belongs to a normal return. Settings are saved synchronously and atomically before
        // anyone ends the process, and stdio has just been flushed, so nothing is lost by skipping it.
        ::_exit(code);
    };
}

QtRuntime::~QtRuntime() {
    wake_.stop();
    watches_.clear();
}

std::int64_t QtRuntime::monotonicMs() const { return clock_.elapsed(); }

std::int64_t QtRuntime::monotonicNs() const { return clock_.nsecsElapsed(); }

LocalTime QtRuntime::localTime() const { return systemLocalTime(); }

void QtRuntime::rearm() {
    const std::int64_t due = scheduler_.nextWake();
    if (due < 0) {
        // No enabled timer: the loop sleeps until input arrives.
        wake_.stop();
        return;
    }
    // Timers change and fire many times between two wake-ups; the armed moment rarely moves.
    if (wake_.isActive() && due == armedFor_) return;
    std::int64_t wait = due - monotonicMs();
    if (wait < 0) wait = 0;
    if (wait > 0x7fffffff) wait = 0x7fffffff;
    armedFor_ = due;
    wake_.start(static_cast<int>(wait));
}

void QtRuntime::yield() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    fireDueTimers();
}

void QtRuntime::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(
        &context_,
        [this, fn = std::move(fn)] {
            try {
                fn();
            } catch (const std::exception& e) {
                error("posted work", e.what());
            } catch (...) {
                error("posted work", "unknown failure");
            }
        },
        Qt::QueuedConnection);
}

void QtRuntime::blockingDelay(int ms) {
    if (ms <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int QtRuntime::addReadWatch(int fd, std::function<void()> fn) { return addWatch(fd, false, std::move(fn)); }

int QtRuntime::addWriteWatch(int fd, std::function<void()> fn) { return addWatch(fd, true, std::move(fn)); }

int QtRuntime::addWatch(int fd, bool write, std::function<void()> fn) {
    const int id = nextWatch_++;
    auto w = std::make_unique<Watch>();
    w->notifier = new QSocketNotifier(static_cast<qintptr>(fd), write ? QSocketNotifier::Write : QSocketNotifier::Read,
                                      &context_);
    w->fn = std::move(fn);
    QObject::connect(w->notifier, &QSocketNotifier::activated, &context_, [this, id, write] {
        auto it = watches_.find(id);
        if (it == watches_.end()) return;
        // A copy: the handler may remove its own watch.
        auto fn = it->second->fn;
        try {
            fn();
        } catch (const std::exception& e) {
            error(write ? "write watch" : "read watch", e.what());
        } catch (...) {
            error(write ? "write watch" : "read watch", "unknown failure");
        }
    });
    watches_[id] = std::move(w);
    return id;
}

void QtRuntime::removeWatch(int id) { watches_.erase(id); }

int QtRuntime::loopDepth() const { return QThread::currentThread()->loopLevel(); }

void QtRuntime::endProcess(int code) {
    if (ended_) return;
    ended_ = true;
    wake_.stop();
    runExitWork();
    std::fflush(stdout);
    std::fflush(stderr);
    // Stops the main loop with this code should the hard exit below be replaced (tests).
    QCoreApplication::exit(code);
    if (hardExit) hardExit(code);
}

bool QtRuntime::headless() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return true;
    const char* x = std::getenv("DISPLAY");
    const char* wl = std::getenv("WAYLAND_DISPLAY");
    return !(x && *x) && !(wl && *wl);
}

void QtRuntime::chooseHeadlessPlatform() {
    const char* x = std::getenv("DISPLAY");
    const char* wl = std::getenv("WAYLAND_DISPLAY");
    if ((x && *x) || (wl && *wl)) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

static MsgAnswer firstButton(MsgButtons buttons) {
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes : MsgAnswer::Ok;
}

MsgAnswer QtRuntime::showMessageBox(const std::string& title, const std::string& text, MsgButtons buttons,
                                    MsgIcon icon) {
    // Nobody could press a button: answer as a person pressing Enter on the default button would.
    if (headless() || !qobject_cast<QApplication*>(QCoreApplication::instance())) return firstButton(buttons);

    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(title));
    box.setTextFormat(Qt::PlainText);
    QString body = QString::fromStdString(text);
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    box.setText(body);
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    MsgAnswer closed = MsgAnswer::Cancel;  // what the close box means
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        closed = MsgAnswer::Ok;
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        closed = MsgAnswer::No;
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    // The box runs its own loop, so timers and host events go on while it waits, as they do under a
    // modal box on the system this program was made for.
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    default:
        return closed;
    }
}

// A scheme is letters, digits, '+', '-' or '.', starting with a letter, and longer than one
// character: "C:\x" is a drive path, not a URL.
static bool hasScheme(const std::string& s) {
    const auto colon = s.find(':');
    if (colon == std::string::npos || colon < 2) return false;
    if (!std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

int QtRuntime::launchUrl(const std::string& url) {
    constexpr int kNotFound = 2, kGeneralFailure = 5, kNoAssociation = 31;
    // How long the program waits for the opener's verdict; the loop does not run meanwhile.
    constexpr int kOpenerWaitMs = 1500;
    if (url.empty()) return kNotFound;
    QString target = QString::fromStdString(url);

    // Files must exist; they are handed on as absolute paths, so a name that starts with "-" can
    // never be taken for an option of the opener.
    const bool isFileUrl = url.rfind("file:", 0) == 0;
    if (isFileUrl || !hasScheme(url)) {
        const QString local = isFileUrl ? QUrl(target).toLocalFile() : target;
        if (local.isEmpty()) return kNotFound;
        QFileInfo info(local);
        if (!info.exists()) return kNotFound;
        target = info.absoluteFilePath();
    }

    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return kNoAssociation;
    // An argument vector, never a shell: the address reaches the opener exactly as given.
    auto* proc = new QProcess(&context_);
    proc->setProgram(opener);
    proc->setArguments(QStringList{target});
    proc->setStandardInputFile(QProcess::nullDevice());
    proc->setProcessChannelMode(QProcess::ForwardedChannels);
    proc->start();
    if (!proc->waitForStarted(kOpenerWaitMs)) {
        delete proc;
        return kGeneralFailure;
    }
    // An opener that finds nothing to open with, or fails to open, says so by its exit status, most
    // within a moment. Some wait for the browser they started: one still running has done its part.
    if (proc->waitForFinished(kOpenerWaitMs)) {
        const bool opened = proc->exitStatus() == QProcess::NormalExit && proc->exitCode() == 0;
        delete proc;
        return opened ? 0 : kGeneralFailure;
    }
    QObject::connect(proc, &QProcess::finished, proc, &QObject::deleteLater);
    return 0;
}

}  // namespace tarnwick
