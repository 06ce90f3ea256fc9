// Timers and host events go on while a real modal box runs its own loop, wherever it was opened from.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <ostream>
#include <sstream>

#include "hostlink/host_link.h"
#include "platform/qt/qt_runtime.h"
#include "ui/test_app.h"

using namespace tarnwick;

namespace {

struct SilentHost : HostTransport {
    HostValue call(const std::string&, const std::string&, const std::vector<HostValue>&) override { return {}; }
};

enum class OpenedFrom { Tick, HostEvent, YieldInsideAHostEvent };

void PrintTo(OpenedFrom o, std::ostream* os) {
    *os << (o == OpenedFrom::Tick ? "Tick" : o == OpenedFrom::HostEvent ? "HostEvent" : "YieldInsideAHostEvent");
}

class ModalBoxTest : public ::testing::TestWithParam<OpenedFrom> {
protected:
    ModalBoxTest() { testApp(); }

    // A real modal box; it stays open until the test closes it.
    void openBox() {
        QMessageBox box;
        box.setText(QStringLiteral("Please select a file"));
        box_ = &box;
        box.exec();
        box_ = nullptr;
        closed_ = true;
    }
    // Closes the box once another timer has ticked and another link has heard the host while it was open.
    void closeWhenBothWentOn() {
        if (box_ && ticksWhileOpen_ >= 3 && eventsWhileOpen_ >= 1) box_->done(0);
    }

    QtRuntime rt;
    SilentHost host;
    HostHub hub{rt, host};
    QMessageBox* box_ = nullptr;
    bool closed_ = false;
    int ticksWhileOpen_ = 0, eventsWhileOpen_ = 0;
};

TEST_P(ModalBoxTest, EveryOtherTimerAndHostEventGoesOnWhileItIsOpen) {
    HostLink opener(hub, "Form1"), other(hub, "Form3");
    Timer ticker(rt, 20, true);
    ticker.onTick = [&] {
        if (box_) ++ticksWhileOpen_;
        closeWhenBothWentOn();
    };
    other.DTMFString = [&](const std::string& d) {
        if (d == "later" && box_) ++eventsWhileOpen_;
        closeWhenBothWentOn();
    };
    // Like the player's playback monitor, the timer stays enabled while its handler waits on the box.
    Timer boxTimer(rt, 10);
    bool boxOpened = false;
    boxTimer.onTick = [&] {
        if (boxOpened) return;
        boxOpened = true;
        openBox();
    };
    opener.DTMFString = [&](const std::string& d) {
        if (d != "open") return;
        if (GetParam() == OpenedFrom::HostEvent) {
            openBox();
        } else {
            rt.post([&] { openBox(); });
            rt.yield();
        }
    };

    // The host's events come in from the loop, as the socket's do, while the box is open.
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (box_) host.eventSink(HostEvent{"DTMFString", {std::string("later")}});
    });
    feeder.start(30);
    // Should nothing go on, a person closes the box after a while and the test fails.
    bool gaveUp = false;
    QTimer::singleShot(3000, [&] {
        if (box_) {
            gaveUp = true;
            box_->done(0);
        }
    });

    if (GetParam() == OpenedFrom::Tick)
        boxTimer.setEnabled(true);
    else
        rt.post([&] { host.eventSink(HostEvent{"DTMFString", {std::string("open")}}); });

    QElapsedTimer t;
    t.start();
    while (!closed_ && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_TRUE(closed_);
    EXPECT_FALSE(gaveUp) << "ticks " << ticksWhileOpen_ << ", events " << eventsWhileOpen_ << " while the box was open";
}

INSTANTIATE_TEST_SUITE_P(Places, ModalBoxTest,
                         ::testing::Values(OpenedFrom::Tick, OpenedFrom::HostEvent, OpenedFrom::YieldInsideAHostEvent),
                         [](const auto& info) {
                             std::ostringstream os;
                             PrintTo(info.param, &os);
                             return os.str();
                         });

}  // namespace
