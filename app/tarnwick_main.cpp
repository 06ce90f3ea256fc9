// The tool box: wires the Qt event loop, the host connection, every tool and its view together.

#include <QApplication>
#include <QFileDialog>

#include "hostlink/socket_transport.h"
#include "platform/alsa/alsa_capture.h"
#include "platform/curl/curl_transfers.h"
#include "platform/espeak/espeak_voice.h"
#include "platform/gsm/gsm_encoder.h"
#include "platform/gstreamer/gst_media_player.h"
#include "platform/qt/qt_runtime.h"
#include "platform/soxr/soxr_rate_converter.h"
#include "runtime/termination_signals.h"
#include "settings/settings_file.h"
#include "shell/launcher.h"
#include "shell/single_instance.h"
#include "shell/toolset.h"
#include "toolbox/version.h"
#include "ui/form_view.h"
#include "ui/format_chooser.h"
#include "ui/input_prompt.h"
#include "ui/tray.h"
#include "ui/view_manager.h"

using namespace tarnwick;

namespace {

// The desktop's notification area behind the launcher's tray model.
class DesktopTray : public TrayService {
public:
    DesktopTray() {
        icon_.onMouseMessage = [this](int message) {
            if (onMessage) onMessage(message);
        };
    }
    bool available() const override { return !QtRuntime::headless() && TrayIcon::available(); }
    void add(const std::string& tip) override { icon_.add(tip); }
    void remove() override { icon_.remove(); }

private:
    TrayIcon icon_;
};

// The player's File dialog. Unattended or headless runs never wait for a person: they cancel.
std::string openFileDialog(const std::string& filter, const std::string& fileName) {
    if (QtRuntime::headless() || qEnvironmentVariableIsSet("TARNWICK_ANSWER")) return {};
    const std::string::size_type bar = filter.find('|');
    QString qtFilter;
    if (bar != std::string::npos) {
        QString patterns = QString::fromStdString(filter.substr(bar + 1));
        patterns.replace(';', ' ');
        qtFilter = QString::fromStdString(filter.substr(0, bar)) + " (" + patterns + ")";
    }
    return QFileDialog::getOpenFileName(nullptr, QString(), QString::fromStdString(fileName), qtFilter).toStdString();
}

// The recorder's output file: a new name may be typed, and an existing file is overwritten when the
// recording starts, so the dialog asks nothing about it.
std::string outputFileDialog(const std::string& filter, const std::string& fileName) {
    if (QtRuntime::headless() || qEnvironmentVariableIsSet("TARNWICK_ANSWER")) return {};
    const std::string::size_type bar = filter.find('|');
    const QString qtFilter = bar == std::string::npos ? QString() : QString::fromStdString(filter.substr(0, bar));
    return QFileDialog::getSaveFileName(nullptr, QString(), QString::fromStdString(fileName), qtFilter, nullptr,
                                        QFileDialog::DontConfirmOverwrite)
        .toStdString();
}

}  // namespace

int main(int argc, char** argv) {
    QtRuntime::chooseHeadlessPlatform();
    QApplication app(argc, argv);
    // The launcher may go into the tray with every window hidden; only the shutdown paths end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(TrayIcon::programIcon());
    // The desktop names the program's windows by it where it groups them (a task bar).
    QApplication::setApplicationName(QString::fromLatin1(kProductName));

    QtRuntime rt;
    SocketTransport transport(rt);
    HostHub hub(rt, transport);
    // Every tool has run its own clean-up when EchoLink closes; then the program ends once.
    hub.afterClosing = [&rt] { rt.endProcess(0); };
    // Being told to stop (a service manager, Ctrl+C, a closed terminal) is EchoLink closing as far as the
    // tools are concerned: each unkeys and drops its lines, then the program ends. A second signal ends
    // it at once, but not before every line the program has on at the host is dropped.
    TerminationSignals stopSignals(rt, [&hub](int) { hub.raise(HostEvent{"Closing", {}}); });
    stopSignals.setLastResort(&SocketTransport::dropLinesNow);

    ToolRegistry registry;
    ToolContext ctx{rt, hub, registry, {}};
    // The views exist only after the tools; the recorder's format chooser finds its owner's view then.
    ViewManager* viewsForChooser = nullptr;
    Backends backends;
    backends.mediaPlayer = makeGstMediaPlayer;
    backends.voice = makeEspeakVoice;
    backends.openFile = openFileDialog;
    backends.inputPrompt = qtInputPrompt;
    backends.anotherCopyRunning = [] { return SingleInstance::heldByAnotherProcess(settingsDirectory()); };
    backends.transfers = makeCurlTransfers(rt);
    backends.recorderCodecs = {makeSoxrRateConverter, makeLibGsmEncoder};
    backends.formatChooser = [&viewsForChooser](const std::vector<FormatChoice>& choices, int current,
                                                const std::string& title, const Window* owner) {
        // Unattended or headless runs never wait for a person: they cancel.
        if (QtRuntime::headless() || qEnvironmentVariableIsSet("TARNWICK_ANSWER")) return -1;
        QWidget* parent = owner && viewsForChooser ? viewsForChooser->viewFor(*owner) : nullptr;
        return chooseWaveFormat(parent, choices, current, title);
    };
    backends.captureSource = [](Runtime& r) { return std::make_unique<AlsaCaptureSource>(r); };
    backends.outputFile = outputFileDialog;
    // Every end of the program (EchoLink closing, a quit prompt, "Save / Exit", a window's close, a
    // signal) runs the runtime's exit work first: each loaded tool's clean-up (a running recording is
    // finished), then the hub's release of every line still on.
    Toolset tools(ctx, std::move(backends));
    DesktopTray tray;
    Form5 launcher(ctx, tray, [&transport] { return transport.tryConnect(); });

    ViewManager views;
    viewsForChooser = &views;
    views.add(launcher);
    for (Tool* tool : registry.all()) views.add(*tool);
    for (Window* dialog : tools.dialogs()) views.add(*dialog);

    if (!launcher.start()) return 1;
    rt.post(startSpeechEngines);
    return QApplication::exec();
}
