#include "platform/qt/qt_runtime.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>

#include "ui/input_prompt.h"
#include "ui/test_app.h"

using namespace tarnwick;

namespace {

class QtRuntimeTest : public ::testing::Test {
protected:
    QtRuntimeTest() { testApp(); }

    // Runs the real event loop until done() holds or the limit passes.
    template <class F>
    void runUntil(F done, int limitMs = 2000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }

    QtRuntime rt;
};

TEST_F(QtRuntimeTest, TimerFiresOnTheLoopAndKeepsPhaseWhenEnabledAgain) {
    Timer t(rt, 300);
    std::int64_t start = rt.monotonicMs(), first = -1;
    int ticks = 0;
    t.onTick = [&] {
        if (++ticks == 1) first = rt.monotonicMs() - start;
    };
    t.setEnabled(true);
    std::int64_t again = -1;
    QTimer::singleShot(150, [&] {
        again = rt.monotonicMs() - start;
        t.setEnabled(true);  // already running: must not restart the count
    });
    runUntil([&] { return ticks >= 2; });
    EXPECT_EQ(ticks, 2);
    EXPECT_GE(first, 295);
    // A restarted count would tick 300 ms after the enable, however late a loaded machine ran it.
    ASSERT_GE(again, 0);
    EXPECT_LT(first, again + 295) << "re-enabling a running timer restarted it";

    t.setEnabled(false);
    EXPECT_FALSE(rt.wakeupArmed()) << "no enabled timer, so the loop must sleep";
    Timer zero(rt, 0, true);
    EXPECT_FALSE(rt.wakeupArmed()) << "interval 0 never fires";
}

// Two monitors of one period started a few milliseconds apart, as tools loaded one after another
// start theirs, wake the loop once per period between them, and neither ever fires early.
TEST_F(QtRuntimeTest, TimersOfOnePeriodAFewMillisecondsApartShareOneWakeUp) {
    Timer a(rt, 100), b(rt, 100);
    std::int64_t aStart = 0, bStart = 0;
    std::vector<std::int64_t> aTicks, bTicks;
    bool loopTurned = true;
    int sharedPasses = 0;
    a.onTick = [&] {
        aTicks.push_back(rt.monotonicMs());
        loopTurned = false;
        rt.post([&] { loopTurned = true; });  // runs once the loop goes on after this wake-up
    };
    b.onTick = [&] {
        bTicks.push_back(rt.monotonicMs());
        if (!loopTurned) ++sharedPasses;
    };
    // A machine busy with other work may hold the thread between the two starts for longer than the
    // sharing allows (a tenth of the period): then both start again, until they start a few
    // milliseconds apart.
    for (int attempt = 0; attempt < 50 && (attempt == 0 || bStart - aStart > 8); ++attempt) {
        a.setEnabled(false);
        b.setEnabled(false);
        aStart = rt.monotonicMs();
        a.setEnabled(true);
        rt.blockingDelay(4);
        bStart = rt.monotonicMs();
        b.setEnabled(true);
    }
    ASSERT_LE(bStart - aStart, 8) << "the two timers never started within a few milliseconds of each other";
    runUntil([&] { return aTicks.size() >= 3 && bTicks.size() >= 3; }, 5000);
    ASSERT_GE(bTicks.size(), 3u);
    EXPECT_EQ(sharedPasses, static_cast<int>(bTicks.size())) << "each tick of b should come in a's wake-up";
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_GE(aTicks[i] - aStart, 100 * static_cast<std::int64_t>(i + 1)) << "fired early";
        EXPECT_GE(bTicks[i] - bStart, 100 * static_cast<std::int64_t>(i + 1)) << "fired early";
    }
}

TEST_F(QtRuntimeTest, BlockingDelayRunsNoTimersAndMissedTicksCoalesce) {
    Timer t(rt, 10, true);
    int ticks = 0;
    t.onTick = [&] { ++ticks; };
    bool delaying = true, ranDuringDelay = false;
    rt.post([&] { ranDuringDelay = delaying; });
    std::int64_t before = rt.monotonicMs();
    rt.blockingDelay(60);
    EXPECT_GE(rt.monotonicMs() - before, 60);
    delaying = false;
    EXPECT_EQ(ticks, 0);
    rt.yield();
    EXPECT_FALSE(ranDuringDelay);
}

TEST_F(QtRuntimeTest, YieldRunsPostedWorkAndOneCoalescedTick) {
    Timer t(rt, 10, true);
    int ticks = 0, posted = 0;
    t.onTick = [&] { ++ticks; };
    rt.post([&] { ++posted; });
    rt.post([&] { throw std::runtime_error("handler failed"); });  // reported, never escapes the loop
    EXPECT_EQ(posted, 0) << "posted work waits for the loop";
    rt.blockingDelay(55);
    rt.yield();
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(ticks, 1) << "five missed ticks fire once";
}

TEST_F(QtRuntimeTest, ReadWatchRunsWhenReadableAndMayRemoveItself) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int calls = 0, id = 0;
    id = rt.addReadWatch(fds[0], [&] {
        char c;
        EXPECT_EQ(::read(fds[0], &c, 1), 1);
        ++calls;
        rt.removeWatch(id);
    });
    rt.yield();
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(::write(fds[1], "ab", 2), 2);
    runUntil([&] { return calls > 0; });
    runUntil([] { return false; }, 50);  // the second byte stays unread: the watch is gone
    EXPECT_EQ(calls, 1);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST_F(QtRuntimeTest, EndsTheProcessOnce) {
    std::vector<int> ends;
    rt.hardExit = [&](int code) { ends.push_back(code); };
    rt.endProcess(3);
    rt.endProcess(4);
    EXPECT_TRUE(rt.processEnded());
    EXPECT_EQ(ends, std::vector<int>{3});
}

TEST_F(QtRuntimeTest, MessageBoxesAndInputPromptsNeverBlockWithoutAScreen) {
    struct Case {
        const char* preset;
        MsgButtons buttons;
        MsgAnswer expected;
    } cases[] = {
        {nullptr, MsgButtons::Ok, MsgAnswer::Ok},       {nullptr, MsgButtons::YesNo, MsgAnswer::Yes},
        {nullptr, MsgButtons::OkCancel, MsgAnswer::Ok}, {"no", MsgButtons::YesNo, MsgAnswer::No},
        {"CANCEL", MsgButtons::YesNoCancel, MsgAnswer::Cancel}, {"yes", MsgButtons::OkCancel, MsgAnswer::Ok},
    };
    ASSERT_TRUE(QtRuntime::headless());
    const QByteArray saved = qgetenv("TARNWICK_ANSWER");
    for (const Case& c : cases) {
        if (c.preset)
            qputenv("TARNWICK_ANSWER", c.preset);
        else
            qunsetenv("TARNWICK_ANSWER");
        EXPECT_EQ(rt.messageBox("Exit Program", "Are You Sure ?", c.buttons, MsgIcon::Question), c.expected)
            << (c.preset ? c.preset : "(none)");
        // An input prompt answers Cancel, nothing typed, at once.
        EXPECT_EQ(qtInputPrompt("Enter the password", "Log on"), "") << (c.preset ? c.preset : "(none)");
    }
    if (saved.isNull())
        qunsetenv("TARNWICK_ANSWER");
    else
        qputenv("TARNWICK_ANSWER", saved);
}

// The desktop opener is found on PATH; a stand-in records the arguments it was given.
class OpenUrlTest : public QtRuntimeTest {
protected:
    OpenUrlTest() : savedPath(qgetenv("PATH")) {
        record = dir.filePath("args");
        QFile script(dir.filePath("bin/xdg-open"));
        QDir(dir.path()).mkdir("bin");
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1.tmp'\n"
                                    "/bin/mv '%1.tmp' '%1'\n")
                         .arg(record)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir(dir.path()).mkdir("empty");
        // An opener that starts but finds nothing to open the address with.
        QDir(dir.path()).mkdir("failing");
        QFile failing(dir.filePath("failing/xdg-open"));
        failing.open(QIODevice::WriteOnly);
        failing.write("#!/bin/sh\necho 'xdg-open: no method available for opening' >&2\nexit 3\n");
        failing.close();
        failing.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~OpenUrlTest() override { qputenv("PATH", savedPath); }

    void useOpener(bool present) { qputenv("PATH", dir.filePath(present ? "bin" : "empty").toUtf8()); }
    void useFailingOpener() { qputenv("PATH", dir.filePath("failing").toUtf8()); }
    QString argsSeen() {
        runUntil([&] { return QFile::exists(record); }, 5000);
        QFile f(record);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }

    QTemporaryDir dir;
    QByteArray savedPath;
    QString record;
};

TEST_F(OpenUrlTest, HandsTheAddressOverAsOneArgumentWithoutAShell) {
    useOpener(true);
    const std::string url = "https://example.org/a b;touch $(x)&c=1";
    EXPECT_EQ(rt.openUrl(url), 0);
    EXPECT_EQ(argsSeen().toStdString(), url + "\n");
}

TEST_F(OpenUrlTest, FilesAreCheckedAndPassedAsAbsolutePaths) {
    useOpener(true);
    QFile(dir.filePath("-notes.txt")).open(QIODevice::WriteOnly);
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const int result = rt.openUrl("-notes.txt");
    QDir::setCurrent(cwd);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(argsSeen(), dir.filePath("-notes.txt") + "\n") << "a leading dash must not reach the opener";
}

TEST_F(OpenUrlTest, FailuresMapOntoTheOpenersCodes) {
    struct Case {
        bool opener;
        const char* url;
        int code;
    } cases[] = {
        {true, "/no/such/News1.mp3", 2},
        {true, "file:///no/such/News1.mp3", 2},
        {false, "/no/such/News1.mp3", 2},
        {false, "https://example.org/", 31},
        {false, "mailto:someone@example.org", 31},
    };
    for (const Case& c : cases) {
        useOpener(c.opener);
        EXPECT_EQ(rt.openUrl(c.url), c.code) << c.url;
    }
    EXPECT_FALSE(QFile::exists(record)) << "nothing was opened";

    // An opener that runs but fails is a general failure, not a success.
    useFailingOpener();
    EXPECT_EQ(rt.openUrl("https://example.org/"), 5);
}

}  // namespace
