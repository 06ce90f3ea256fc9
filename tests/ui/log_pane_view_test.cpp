// Log panes on screen: a pane shows what its model holds by putting in what was appended and taking
// out what left, a burst at a time; and a flood of chat lines reaching the conference controller while
// its window is shown costs per line what the first lines did, and leaves the memory where it was.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
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

// Every byte this test program allocates through operator new, counted.
std::atomic<std::uint64_t> gAllocated{0};
std::uint64_t allocatedBytes() { return gAllocated.load(std::memory_order_relaxed); }

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
    const std::vector<TextBox*> boxes = {&form6.IncomingText, &form6.Text1, &form6.Text3};
    // What the panes' widgets did, counted: characters put in and taken out of their documents.
    struct Work {
        std::int64_t added = 0, removed = 0;
    };
    std::vector<Work> done(boxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        QPlainTextEdit* w = pane(*boxes[i]);
        ASSERT_NE(w, nullptr);
        QObject::connect(w->document(), &QTextDocument::contentsChange, [&done, i](int, int removed, int added) {
            done[i].added += added;
            done[i].removed += removed;
        });
    }
    // What the models took in and let go, in bytes (a CR LF is one character on screen).
    auto takenIn = [&](std::size_t i) { return boxes[i]->trimmedBytes() + boxes[i]->text().size(); };
    auto letGo = [&](std::size_t i) { return boxes[i]->trimmedBytes(); };
    auto shownWhole = [&] {
        for (TextBox* box : boxes)
            if (!within([&] { return pane(*box)->toPlainText() == shown(*box); })) return false;
        return true;
    };
    int sent = 0;
    // The bytes the program allocated for the next 1,000 lines.
    auto flood = [&] {
        const std::uint64_t start = allocatedBytes();
        for (const int end = sent + 1000; sent < end; ++sent) chatIn(chat + std::to_string(sent));
        return allocatedBytes() - start;
    };
    ASSERT_TRUE(shownWhole());
    const long rssBefore = residentKb();
    std::vector<std::size_t> inBefore, outBefore;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        inBefore.push_back(takenIn(i));
        outBefore.push_back(letGo(i));
    }
    // A pane whose cost grows with what it holds copies or rebuilds what it holds, thousands of times
    // the line, and would take hours to get through the flood: each widget puts in no more than its
    // model took in, and takes out no more than its model let go, at all times.
    auto widgetsKeptToTheirModels = [&] {
        bool kept = true;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            SCOPED_TRACE(boxes[i]->name());
            EXPECT_LE(done[i].added, static_cast<std::int64_t>(takenIn(i) - inBefore[i])) << "after " << sent;
            EXPECT_LE(done[i].removed, static_cast<std::int64_t>(letGo(i) - outBefore[i])) << "after " << sent;
            kept = kept && done[i].added <= static_cast<std::int64_t>(takenIn(i) - inBefore[i]) &&
                   done[i].removed <= static_cast<std::int64_t>(letGo(i) - outBefore[i]);
        }
        return kept;
    };
    const std::uint64_t first = flood();
    std::uint64_t last = first;
    while (sent < kLines) {
        last = flood();
        ASSERT_LE(last, 20 * first) << "bytes allocated for 1,000 lines after " << sent;
        ASSERT_TRUE(widgetsKeptToTheirModels());
    }
    ASSERT_TRUE(shownWhole());
    ASSERT_TRUE(widgetsKeptToTheirModels());
    for (const Work& w : done) EXPECT_GT(w.added, 0);
    const long grown = residentKb() - rssBefore;
    RecordProperty("first_1000_lines_allocated_kb", static_cast<int>(first / 1024));
    RecordProperty("last_1000_lines_allocated_kb", static_cast<int>(last / 1024));
    RecordProperty("rss_growth_kb", static_cast<int>(grown));
    // And what the program allocates per line, a count no busy machine can bend, has not grown.
    EXPECT_LE(last, 2 * first) << "first 1,000 lines allocated " << first / 1024 << " KiB, last 1,000 " << last / 1024
                               << " KiB";
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

// The counting allocator behind allocatedBytes(): the program's own allocations go through here.
void* operator new(std::size_t n) {
    tarnwick::gAllocated.fetch_add(n, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
