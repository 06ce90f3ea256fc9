// Log panes on screen: a pane shows what its model holds by putting in what was appended and taking
// out what left, a burst at a time; and a flood of chat lines reaching the conference controller while
// its window is shown costs per line what the first lines did, and leaves the memory where it was.

#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <vector>

// The host's headers first: Qt defines "emit" as a word of its own.
#include "conference/conference_controller.h"
#include "support/tool_surroundings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include "ui/form_view.h"
#include "ui/test_app.h"
#include "ui/view_manager.h"

namespace tarnwick {
namespace {

std::int64_t threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The model's text as the widget shows it.
QString shown(const TextBox& box) {
    QString q = QString::fromStdString(box.text());
    q.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    q.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return q;
}

// Runs the event loop until pred holds, for a few seconds at most.
template <class Pred>
bool within(Pred pred) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > 5000) return false;
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

struct PaneWindow : Window {
    TextBox Pane{"Pane", "", "", TypingStyle::Any, true};
    TextBox Typed{"Typed", "", "", TypingStyle::Any, true};
    PaneWindow() {
        Pane.setReadOnly(true);
        Pane.setLineLimit(3);
        Typed.setLineLimit(3);
        layout_ = {layout::ctl(Pane), layout::ctl(Typed)};
    }
};

TEST(LogPaneView, ShowsTheNewestLinesAsTheyArriveABurstAtATime) {
    testApp();
    PaneWindow win;
    ViewManager views({&win});
    win.setVisible(true);
    auto* pane = qobject_cast<QPlainTextEdit*>(views.viewFor(win)->widgetFor(win.Pane));
    ASSERT_NE(pane, nullptr);
    int changes = 0, added = 0;
    QObject::connect(pane->document(), &QTextDocument::contentsChange, [&](int, int, int charsAdded) {
        ++changes;
        added += charsAdded;
    });
    // Lines one at a time, a CR LF split between two appends, lines leaving from the top, a burst.
    const std::vector<std::vector<std::string>> turns = {
        {"one\r\n"}, {"two\r"}, {"\nthree\r\n"}, {"four\r\nfi"}, {"ve\r\n"},
        {"6\r\n", "7\r\n", "8\r\n", "9\r\n", "10\r\n", "11\r\n"}, {"12\r\n"}};
    for (const auto& burst : turns) {
        changes = added = 0;
        int appended = 0;
        for (const std::string& line : burst) {
            win.Pane.append(line);
            win.Pane.setSelStart(1 << 30);
            appended += static_cast<int>(line.size());
        }
        ASSERT_TRUE(within([&] { return pane->toPlainText() == shown(win.Pane); }))
            << pane->toPlainText().toStdString() << " | " << shown(win.Pane).toStdString();
        // The burst goes in at once, and alone: what left, and what came.
        EXPECT_LE(changes, 2);
        EXPECT_LE(added, appended);
        EXPECT_EQ(pane->textCursor().position(), pane->document()->characterCount() - 1) << "the caret follows";
    }
    EXPECT_EQ(pane->toPlainText(), "10\n11\n12\n");
    // Clear puts in the new text whole.
    win.Pane.setText("");
    EXPECT_TRUE(within([&] { return pane->toPlainText().isEmpty(); }));

    // A box the operator types into shows each change at once, so an edit is read against what it shows.
    auto* typed = qobject_cast<QPlainTextEdit*>(views.viewFor(win)->widgetFor(win.Typed));
    for (const char* line : {"a\r\n", "b\r\n", "c\r\n", "d\r\n"}) {
        win.Typed.append(line);
        EXPECT_EQ(typed->toPlainText(), shown(win.Typed));
    }
}

class ChatFlood : public ::testing::Test, protected testing::ToolSurroundings {
protected:
    ChatFlood() {
        testApp();
        // The host stand-in keeps a short log: the program's memory is what is measured.
        host.state().setLogLimit(100);
        tools.add(form6);
        form6.load();
        form6.Check1.setValue(0);  // no time stamps
        views.add(form6);
        form6.show();
        QApplication::processEvents();
    }
    // A chat line from the host; the event loop has its turn after every few, as when the program
    // reads a burst from its socket.
    void chatIn(const std::string& text) {
        host.raiseEvent({"ChatTextReceived", {text}});
        rt.runPending();
        if (++lines_ % 20 == 0) QApplication::processEvents();
    }
    QPlainTextEdit* pane(const TextBox& box) {
        return qobject_cast<QPlainTextEdit*>(views.viewFor(form6)->widgetFor(box));
    }

    Form6 form6{ctx};
    ViewManager views;
    int lines_ = 0;
};

TEST_F(ChatFlood, TheLastThousandLinesCostWhatTheFirstThousandDidAndTheMemoryStaysPut) {
    constexpr int kLines = 100'000;
    const std::string chat = "Q0ABC-L: how are things on the net tonight, all well here? line ";
    int sent = 0;
    // The CPU time of the program's thread for the next n lines.
    auto flood = [&](int n) {
        const std::int64_t start = threadCpuNs();
        for (const int end = sent + n; sent < end; ++sent) chatIn(chat + std::to_string(sent));
        return threadCpuNs() - start;
    };
    const long rssBefore = residentKb();
    // A busy machine can slow any one batch (caches, frequency): each end of the flood is measured as the
    // cheapest of its three batches of 1,000 lines.
    std::int64_t first = std::numeric_limits<std::int64_t>::max();
    for (int i = 0; i < 3; ++i) first = std::min(first, flood(1000));
    std::vector<std::int64_t> recent;
    while (sent < kLines) {
        const std::int64_t batch = flood(1000);
        // A pane whose cost grows with what it holds would take hours to get through the flood; a line
        // takes microseconds.
        ASSERT_LE(batch, 20 * first) << "after " << sent << " lines";
        ASSERT_LE(batch, 1'000'000'000) << "ns for 1,000 lines after " << sent;
        recent.push_back(batch);
        if (recent.size() > 3) recent.erase(recent.begin());
    }
    const std::int64_t last = *std::min_element(recent.begin(), recent.end());
    const long grown = residentKb() - rssBefore;
    RecordProperty("first_1000_lines_us", static_cast<int>(first / 1000));
    RecordProperty("last_1000_lines_us", static_cast<int>(last / 1000));
    RecordProperty("rss_growth_kb", static_cast<int>(grown));
    EXPECT_LE(last, 2 * first) << "first 1,000 lines " << first / 1000 << " us of CPU, last 1,000 " << last / 1000
                               << " us";
    EXPECT_LE(grown, 15 * 1024) << "kB more after the flood";

    // "/ver/" is answered at once, and every pane shows its newest 2,000 lines.
    chatIn("/ver/");
    EXPECT_EQ(host.state().calls("SendChatText").back().args, std::vector<HostValue>{std::string("Tarnwick  v7.2")});
    for (const TextBox* box : {&form6.IncomingText, &form6.Text1, &form6.Text3}) {
        SCOPED_TRACE(box->name());
        const std::string oldest = chat + std::to_string(kLines - 1999);
        EXPECT_EQ(box->text().rfind(oldest + "\r\n", 0), 0u);
        QPlainTextEdit* w = pane(*box);
        ASSERT_NE(w, nullptr);
        // The pane shows what arrived within a moment.
        EXPECT_TRUE(within([&] { return w->document()->lastBlock().previous().text() == "/ver/"; }));
        EXPECT_EQ(w->blockCount(), static_cast<int>(kLogPaneLines) + 1);
        EXPECT_EQ(w->document()->firstBlock().text().toStdString(), oldest);
    }
}

}  // namespace
}  // namespace tarnwick
