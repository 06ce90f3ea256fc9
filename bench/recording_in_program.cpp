// What recording costs in the program as it runs (scripts/recorder_benchmark.sh): the launcher loads
// every tool, each with its view and the program's own backends (GStreamer, espeak-ng, curl, the
// codecs), against the real tarnwick-host named by TARNWICK_HOST, headless. Only the sound card is
// replaced: the capture comes from a WAV file of 44.1 kHz stereo at its real pace. The operator opens
// the recorder's window; the program then idles, and then records with every effect and display on.
// Prints the share of one core the whole process and its main thread take idling and in two windows of
// the recording (its first seconds, while the file's size in the status line changes with every
// buffer, and later), each over four seconds: the recording's cost is the difference from idling.
//
//   tarnwick-recording-in-program IN.wav OUT.wav
// prints lines "program, WHEN: process P % of one core, main thread T % (CPU ms in WALL ms)".

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "hostlink/socket_transport.h"
#include "platform/curl/curl_transfers.h"
#include "platform/espeak/espeak_voice.h"
#include "platform/gsm/gsm_encoder.h"
#include "platform/gstreamer/gst_media_player.h"
#include "platform/qt/qt_runtime.h"
#include "platform/sndfile/file_capture.h"
#include "platform/soxr/soxr_rate_converter.h"
#include "recorder/recorder.h"
#include "shell/launcher.h"
#include "shell/toolset.h"
#include "ui/form_view.h"
#include "ui/view_manager.h"
// Qt last: its keywords would clash with names above.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace tarnwick;

namespace {

double cpuMs(int who) {
    rusage u{};
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// Measures `ms` of the running loop, prints it, then runs `next`.
void measure(const char* when, int ms, std::function<void()> next) {
    const double process0 = cpuMs(RUSAGE_SELF), thread0 = cpuMs(RUSAGE_THREAD);
    const auto t0 = std::chrono::steady_clock::now();
    QTimer::singleShot(ms, [=] {
        const double process = cpuMs(RUSAGE_SELF) - process0, thread = cpuMs(RUSAGE_THREAD) - thread0;
        const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        std::printf("program, %s: process %.2f %% of one core, main thread %.2f %% (%.1f and %.1f ms of CPU in %.0f ms)\n",
                    when, 100.0 * process / wall, 100.0 * thread / wall, process, thread, wall);
        std::fflush(stdout);
        next();
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN.wav OUT.wav\n", argv[0]);
        return 2;
    }
    const std::string in = argv[1], out = argv[2];
    QtRuntime::chooseHeadlessPlatform();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QtRuntime rt;
    SocketTransport transport(rt);
    HostHub hub(rt, transport);
    ToolRegistry registry;
    ToolContext ctx{rt, hub, registry, {}};
    Backends backends;
    backends.mediaPlayer = makeGstMediaPlayer;
    backends.voice = makeEspeakVoice;
    backends.transfers = makeCurlTransfers(rt);
    backends.recorderCodecs = {makeSoxrRateConverter, makeLibGsmEncoder};
    backends.captureSource = [in](Runtime& r) { return std::make_unique<FileCaptureSource>(r, std::vector{in}); };
    Toolset tools(ctx, std::move(backends));
    NoTray tray;
    Form5 launcher(ctx, tray, [&transport] { return transport.tryConnect(); });
    ViewManager views;
    views.add(launcher);
    for (Tool* tool : registry.all()) views.add(*tool);
    for (Window* dialog : tools.dialogs()) views.add(*dialog);
    if (!launcher.start()) return 1;
    rt.post(startSpeechEngines);

    auto* form = dynamic_cast<Form11*>(registry.find("Form11"));
    if (!form) {
        std::fprintf(stderr, "no recorder window\n");
        return 1;
    }
    // The operator's steps, on the window's own widgets.
    auto widget = [&](Control& c) { return views.viewFor(*form)->widgetFor(c); };
    auto startRecording = [&] {
        auto* combo = dynamic_cast<QComboBox*>(widget(form->cboDev));
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        auto* edit = dynamic_cast<QLineEdit*>(widget(form->txtFile));
        edit->setText(QString::fromStdString(out));
        emit edit->textEdited(edit->text());
        for (int i = 0; i < 4; ++i) form->chkFX(i).click();
        dynamic_cast<QPushButton*>(widget(form->cmdDo))->click();
        if (!form->IsRecording()) std::fprintf(stderr, "the recording did not start\n");
    };
    // Stopped by the operator, then the program ends as it always does (the tools' exit work, then
    // the process ends where it stands).
    auto stopRecording = [&] {
        dynamic_cast<QPushButton*>(widget(form->cmdDo))->click();
        rt.endProcess(0);
    };

    // Loaded; the recorder's window opened from the launcher; a few seconds to settle, then four of
    // idling, then the recording, measured as the recorder's own measurement measures it.
    launcher.Command14.click();
    QTimer::singleShot(3000, [&] {
        measure("every tool loaded, idle", 4000, [&] {
            startRecording();
            QTimer::singleShot(300, [&] {
                measure("recording, seconds 0.3 to 4.3", 4000, [&] {
                    QTimer::singleShot(2700, [&] { measure("recording, seconds 7 to 11", 4000, stopRecording); });
                });
            });
        });
    });
    return QApplication::exec();
}
