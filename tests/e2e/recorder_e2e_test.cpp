// The recorder's main road on its real window, offscreen: the program's own tools, views, Qt event
// loop and connection to a real tarnwick-host, with the capture fed from a WAV file on real time.
// The program's end is observed instead of ending this process; it is hooked as the program hooks it.

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>

#include <cmath>

#include "hostlink/socket_transport.h"
#include "platform/qt/qt_runtime.h"
#include "platform/sndfile/file_capture.h"
#include "recorder/recorder.h"
#include "recorder/wave_in_recorder.h"
#include "shell/toolset.h"
#include "support/node.h"
#include "ui/form_view.h"
#include "ui/view_manager.h"

namespace tarnwick::testing {
namespace {

QApplication& app() {
    static QApplication* a = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tarnwick_e2e_tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *a;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The program's end stops Qt's loops for good; a short main loop lets later tests of this process run.
void afterProgramEnd() {
    QTimer::singleShot(0, &app(), &QCoreApplication::quit);
    QCoreApplication::exec();
}

std::uint32_t le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

// One second of 44.1 kHz stereo, every sample told apart.
std::string writeSecond(const std::string& path) {
    std::vector<std::int16_t> s(44100 * 2);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(i * 3);
    const std::string data(reinterpret_cast<const char*>(s.data()), s.size() * 2);
    auto le = [](std::uint32_t v, int n) {
        std::string b;
        for (int i = 0; i < n; ++i) b += static_cast<char>((v >> (8 * i)) & 0xff);
        return b;
    };
    std::ofstream(path, std::ios::binary) << "RIFF" << le(36 + 176400, 4) << "WAVEfmt " << le(16, 4) << le(1, 2)
                                          << le(2, 2) << le(44100, 4) << le(176400, 4) << le(4, 2) << le(16, 2)
                                          << "data" << le(176400, 4) << data;
    return data;
}

// The program around the recorder window, on the node's host.
struct RecorderProgram {
    explicit RecorderProgram(Node& node, const std::string& wav)
        : transport((app(), rt), node.dir().file("host.sock")), hub(rt, transport),
          ctx{rt, hub, registry, node.dir().file("cfg")}, tools(ctx, backends(wav)) {
        transport.connect();
        hub.afterClosing = [this] { rt.endProcess(0); };
        rt.hardExit = [this](int code) { exitCode = code; };
        form = dynamic_cast<Form11*>(registry.find("Form11"));
        views.add(*form);
        form->show();
        view = views.viewFor(*form);
    }
    static Backends backends(const std::string& wav) {
        Backends b;
        b.captureSource = [wav](Runtime& r) { return std::make_unique<FileCaptureSource>(r, std::vector{wav}); };
        return b;
    }
    template <class W>
    W* widget(Control& c) {
        return dynamic_cast<W*>(view->widgetFor(c));
    }
    void chooseDevice() {
        auto* combo = widget<QComboBox>(form->cboDev);
        combo->setCurrentIndex(0);
        emit combo->activated(0);
    }
    void typeFile(const std::string& path) {
        auto* edit = widget<QLineEdit>(form->txtFile);
        edit->setText(QString::fromStdString(path));
        emit edit->textEdited(edit->text());
    }
    void record() { widget<QPushButton>(form->cmdDo)->click(); }

    QtRuntime rt;
    SocketTransport transport;
    HostHub hub;
    ToolRegistry registry;
    ToolContext ctx;
    Toolset tools;
    ViewManager views;
    Form11* form = nullptr;
    FormView* view = nullptr;
    int exitCode = -1;
};

TEST(RecorderEndToEnd, OneSecondOfStereoGivesTheExactFile) {
    Node node;
    const std::string data = writeSecond(node.dir().file("in.wav"));
    RecorderProgram p(node, node.dir().file("in.wav"));
    ASSERT_NE(p.view, nullptr);
    p.chooseDevice();
    p.typeFile(node.dir().file("take"));
    EXPECT_EQ(p.form->txtFile.text(), node.dir().file("take"));
    p.record();
    ASSERT_TRUE(p.form->IsRecording());
    EXPECT_EQ(p.widget<QPushButton>(p.form->cmdDo)->text(), "Stop recording");
    // The source falls silent at the file's end; by then the whole second is in the file.
    const std::string take = node.dir().file("take");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::error_code ec;
    while (std::filesystem::file_size(take, ec) < 46 + data.size() && std::chrono::steady_clock::now() < deadline)
        runFor(20);
    p.record();
    EXPECT_EQ(p.widget<QPushButton>(p.form->cmdDo)->text(), "Start recording");
    const std::string file = Process::slurp(node.dir().file("take"));
    ASSERT_EQ(file.size(), 176446u);
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(file, 4), 176438u);
    EXPECT_EQ(file.substr(8, 12), std::string("WAVEfmt \x12\x00\x00\x00", 12));
    EXPECT_EQ(file.substr(20, 18), std::string("\x01\x00\x02\x00\x44\xac\x00\x00\x10\xb1\x02\x00\x04\x00\x10\x00\x00\x00", 18));
    EXPECT_EQ(file.substr(38, 4), "data");
    EXPECT_EQ(le32(file, 42), 176400u);
    EXPECT_TRUE(file.substr(46) == data);
    // The recorder reads the callsign and keys nothing.
    EXPECT_FALSE(node.lines({R"("link":"Form11","op":"GetCallsign")"}).empty()) << node.log();
    EXPECT_TRUE(node.lines({R"("link":"Form11","op":"SetPTT")"}).empty());
}

// The loop's wake-ups and the work posted to it, counted while it lives.
class LoopCounter : public QObject {
public:
    LoopCounter() {
        app().installEventFilter(this);
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this, [this] { ++wakes; });
    }
    ~LoopCounter() override { app().removeEventFilter(this); }
    int posted = 0, wakes = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) ++posted;
        return false;
    }
};

// A capture buffer is taken in the wake-up of the loop that read it from the device: handed on
// through the loop instead, every buffer would wake it a second time.
TEST(RecorderEndToEnd, EachCaptureBufferIsTakenInTheWakeUpThatReadIt) {
    Node node;
    const std::string data = writeSecond(node.dir().file("in.wav"));
    app();
    QtRuntime rt;
    WindowSystem windows(rt);
    FileCaptureSource source(rt, {node.dir().file("in.wav")});
    WaveInRecorder rec(source, windows, rt);
    ASSERT_TRUE(rec.SelectDevice(0));
    constexpr int kBuffers = 12;
    int buffers = 0;
    std::string got;
    QEventLoop loop;
    rec.GotData = [&](std::vector<std::int16_t>& b, std::int32_t& n) {
        got.append(reinterpret_cast<const char*>(b.data()), static_cast<std::size_t>(n));
        if (++buffers == kBuffers) loop.quit();
    };
    LoopCounter counter;
    ASSERT_TRUE(rec.StartRecord(44100, 2));
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    rec.StopRecord();
    // A late wake-up reads more than one buffer, which all come in it.
    ASSERT_GE(buffers, kBuffers);
    EXPECT_EQ(got, data.substr(0, got.size()));
    EXPECT_EQ(counter.posted, 0);
    // At most one wake-up a buffer, and a few to spare for a loop that woke a moment early.
    EXPECT_LE(counter.wakes, buffers + buffers / 2) << counter.wakes << " wake-ups for " << buffers << " buffers";
}

TEST(RecorderEndToEnd, MissingFileIsReportedBeforeAMissingCard) {
    Node node;
    writeSecond(node.dir().file("in.wav"));
    RecorderProgram p(node, node.dir().file("in.wav"));
    ::testing::internal::CaptureStderr();
    p.record();
    p.typeFile(node.dir().file("take.wav"));
    p.record();
    const std::string err = ::testing::internal::GetCapturedStderr();
    const auto missingFile = err.find("MSGBOX Tarnwick: Output file missing!");
    const auto missingCard = err.find("MSGBOX Tarnwick: No Sound Card Selected!");
    ASSERT_NE(missingFile, std::string::npos) << err;
    ASSERT_NE(missingCard, std::string::npos) << err;
    EXPECT_LT(missingFile, missingCard);
    EXPECT_FALSE(std::filesystem::exists(node.dir().file("take.wav")));
}

TEST(RecorderEndToEnd, ClosingTheWindowOrEchoLinkWhileRecordingLeavesACompleteFile) {
    for (bool byWindow : {true, false}) {
        SCOPED_TRACE(byWindow ? "window closed" : "EchoLink closing");
        Node node;
        writeSecond(node.dir().file("in.wav"));
        RecorderProgram p(node, node.dir().file("in.wav"));
        p.chooseDevice();
        p.typeFile(node.dir().file("take.wav"));
        p.record();
        // Some of the recording is in the file before it is cut short.
        const std::string take = node.dir().file("take.wav");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::error_code ec;
        while (std::filesystem::file_size(take, ec) <= 46 + 4 * 10240 && std::chrono::steady_clock::now() < deadline)
            runFor(20);
        if (byWindow) {
            p.view->close();
        } else {
            ASSERT_EQ(node.hostCommand({"closing"}), 0);
            for (int i = 0; i < 100 && p.exitCode < 0; ++i) runFor(20);
        }
        EXPECT_EQ(p.exitCode, 0);
        afterProgramEnd();
        const std::string file = Process::slurp(node.dir().file("take.wav"));
        ASSERT_GT(file.size(), 46u + 4 * 10240u);
        EXPECT_EQ(le32(file, 4), file.size() - 8);
        EXPECT_EQ(le32(file, 42), file.size() - 46);
        if (byWindow) {
            EXPECT_EQ(node.lines({R"("link":"Form11","op":"SetPTT","args":[false])"}).size(), 1u) << node.log();
            EXPECT_EQ(node.lines({R"("link":"Form11","op":"SetBusy","args":[false])"}).size(), 1u);
        }
    }
}

// Not a timing test: it measures what recording with every effect and display on costs the program's
// thread and prints it; it fails only on what no recorder should do, a busy loop, judged by the loop's
// wake-ups (a count a busy machine can only lower) rather than by the share of a core it used.
TEST(RecorderEndToEnd, CostOfRecordingWithEveryEffectAndDisplayOn) {
    Node node;
    {
        // Twelve seconds of a chord in stereo, so every display has something to show.
        std::vector<std::int16_t> s(44100 * 2 * 12);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<std::int16_t>(6000 * std::sin(i * 0.031) + 4000 * std::sin(i * 0.173));
        auto le = [](std::uint32_t v, int n) {
            std::string b;
            for (int k = 0; k < n; ++k) b += static_cast<char>((v >> (8 * k)) & 0xff);
            return b;
        };
        const auto bytes = static_cast<std::uint32_t>(s.size() * 2);
        std::ofstream(node.dir().file("in.wav"), std::ios::binary)
            << "RIFF" << le(36 + bytes, 4) << "WAVEfmt " << le(16, 4) << le(1, 2) << le(2, 2) << le(44100, 4)
            << le(176400, 4) << le(4, 2) << le(16, 2) << "data" << le(bytes, 4)
            << std::string(reinterpret_cast<const char*>(s.data()), bytes);
    }
    RecorderProgram p(node, node.dir().file("in.wav"));
    p.chooseDevice();
    p.typeFile(node.dir().file("take.wav"));
    for (int i = 0; i < 4; ++i) p.form->chkFX(i).click();
    p.record();
    ASSERT_TRUE(p.form->IsRecording());
    auto cpuMs = [] {
        rusage u{};
        getrusage(RUSAGE_THREAD, &u);
        return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
    };
    // Two windows of four seconds: the first seconds, while the file is under a megabyte and its size
    // in the status line changes with every buffer, and later, when it changes a few times a second.
    long wakeUps = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [&] { ++wakeUps; });
    auto measure = [&](const char* when, const char* property) {
        const double cpu0 = cpuMs();
        const long woken0 = wakeUps;
        const auto t0 = std::chrono::steady_clock::now();
        runFor(4000);
        const double cpu = cpuMs() - cpu0;
        const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        const double share = 100.0 * cpu / wall;
        const double perSecond = (wakeUps - woken0) * 1000.0 / wall;
        std::printf("recorder, every effect and display on, 44.1 kHz stereo, %s: %.1f ms of CPU in %.0f ms (%.2f %% of one core), "
                    "%.0f loop wake-ups a second\n",
                    when, cpu, wall, share, perSecond);
        ::testing::Test::RecordProperty(property, std::to_string(share));
        EXPECT_LT(perSecond, 1000.0) << "a busy loop";
    };
    runFor(300);
    measure("seconds 0.3 to 4.3", "cpu_percent_of_one_core_first");
    runFor(2700);
    measure("seconds 7 to 11", "cpu_percent_of_one_core_later");
    p.record();
}

}  // namespace
}  // namespace tarnwick::testing
