// The tool windows as the generic view renders them: each fits a 1024 x 768 screen, boxes are as wide
// as what they hold, the players' progress scales stand under their bars, a screen reader can tell
// every control from the others of its frame, and what must be seen while the thread is held is.

#include <gtest/gtest.h>

#include <set>

// The host's headers first: Qt defines "emit" as a word of its own.
#include "conference/station_info.h"
#include "download/downloader.h"
#include "player/news_player.h"
#include "recorder/recorder.h"
#include "recorder/dsp/dsp.h"
#include "recorder/fx_options.h"
#include "series/series_player.h"
#include "shell/launcher.h"
#include "shell/toolset.h"
#include "speech/dtmf_help.h"
#include "speech/speech_tool.h"
#include "support/tool_surroundings.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QSlider>
#include <QStackedWidget>
#include <QTabBar>
#include <map>

#include "ui/form_view.h"
#include "ui/test_app.h"
#include "ui/view_manager.h"

namespace tarnwick {
namespace {

// A voice that holds the thread as the real one does while it speaks.
class HoldingVoice : public SpeechVoice {
public:
    explicit HoldingVoice(std::function<void()>& whileSpeaking) : whileSpeaking_(whileSpeaking) {}
    void setRate(int) override {}
    void setVolume(int) override {}
    void speakSync(const std::string&) override {
        if (whileSpeaking_) whileSpeaking_();
    }
    void speakAsync(const std::string&) override {}
    void purge() override {}

private:
    std::function<void()>& whileSpeaking_;
};

class ToolWindows : public ::testing::Test, protected testing::ToolSurroundings {
protected:
    ToolWindows() {
        testApp();
        dsp.setSamplerate(44100);
        dsp.setChannels(2);
    }
    static Backends backends(std::function<void()>& whileSpeaking) {
        Backends b;
        b.voice = [&whileSpeaking] { return std::make_unique<HoldingVoice>(whileSpeaking); };
        return b;
    }
    // The recorder's effects dialog, shown for a chain of its own.
    frmFXOpts& showEffects() {
        effects.ShowEx(dsp, &owner);
        return effects;
    }
    std::function<void()> whileSpeaking;
    Toolset toolset{ctx, backends(whileSpeaking)};
    clsDSP dsp;
    frmFXOpts effects;
    Window owner;
};

TEST_F(ToolWindows, EveryWindowFitsA1024By768Screen) {
    for (Tool* t : tools.all()) {
        FormView view(*t);
        // Shown, so every tab page is measured as styled; what the content needs, whatever the screen.
        view.show();
        auto* area = view.findChild<QScrollArea*>();
        ASSERT_NE(area, nullptr) << t->name();
        const QSize need = area->widget()->sizeHint();
        EXPECT_LE(need.width(), 1024) << t->name();
        EXPECT_LE(need.height(), 768 - 60) << t->name() << " (the title bar and task bar need the rest)";
        // It opens at that size where the screen holds it, not at Qt's default share of the screen.
        EXPECT_EQ(view.size(), view.sizeHint()) << t->name();
    }
}

TEST_F(ToolWindows, ToolWindowsKeepTheirSizeButTheStationInfoWindowScalesItsControls) {
    const std::set<std::string> fixedTools{"Form4", "Form6", "Form10", "Form11", "Form12", "Form13"};
    for (Tool* t : tools.all()) {
        FormView view(*t);
        view.show();
        const Qt::WindowFlags flags = view.windowFlags();
        const bool tool = fixedTools.count(t->name()) || t->name() == "Form9";
        EXPECT_EQ((flags & Qt::WindowType_Mask) == Qt::Tool, tool) << t->name();
        if (tool) {
            EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)) << t->name();
            EXPECT_TRUE(flags & Qt::WindowCloseButtonHint) << t->name();
        }
        const bool fixed = view.minimumSize() == view.size() && view.maximumSize() == view.size();
        EXPECT_EQ(fixed, fixedTools.count(t->name()) == 1) << t->name();
    }

    auto* info = dynamic_cast<Form9*>(tools.find("Form9"));
    ASSERT_NE(info, nullptr);
    FormView view(*info);
    view.show();
    QApplication::processEvents();  // the first show is laid out before the window remembers it
    QWidget* button = view.widgetFor(info->Command1);
    QWidget* box = view.widgetFor(info->Text1);
    ASSERT_TRUE(button && box);
    const QRect b0 = button->geometry(), t0 = box->geometry();
    const QSize s0 = view.size();
    view.resize(s0.width() * 2, s0.height());
    EXPECT_NEAR(button->x(), 2 * b0.x(), 2);
    EXPECT_NEAR(button->width(), 2 * b0.width(), 2);
    EXPECT_NEAR(box->width(), 2 * t0.width(), 2);
    EXPECT_NEAR(button->height(), b0.height(), 1);
    view.resize(s0.width(), s0.height() * 3 / 2);
    EXPECT_NEAR(button->y(), 1.5 * b0.y(), 2);
    EXPECT_NEAR(button->width(), b0.width(), 1);
    // Sizes are worked out from the first ones each time, so going back puts everything back exactly.
    for (int i = 0; i < 5; ++i) view.resize(s0.width() * (i + 3) / 4, s0.height() * (i + 2) / 3);
    view.resize(s0);
    EXPECT_EQ(button->geometry(), b0);
    EXPECT_EQ(box->geometry(), t0);
}

// The QLabel of a declared caption, by its text.
QLabel* captionLabel(QWidget& view, const QString& text) {
    for (QLabel* l : view.findChildren<QLabel*>())
        if (l->text() == text) return l;
    return nullptr;
}

TEST_F(ToolWindows, ThePlayersScalesStandUnderTheirSeekBars) {
    auto* news = dynamic_cast<Form1*>(tools.find("Form1"));
    auto* series = dynamic_cast<Form12*>(tools.find("Form12"));
    ASSERT_TRUE(news && series);
    for (const auto& [tool, bar] : {std::pair<Tool*, ScrollBar*>{news, &news->H1}, {series, &series->H1}}) {
        FormView view(*tool);
        view.resize(view.sizeHint());
        view.show();
        auto* slider = qobject_cast<QSlider*>(view.widgetFor(*bar));
        ASSERT_NE(slider, nullptr) << tool->name();
        QLabel* marks[3] = {captionLabel(view, "0%"), captionLabel(view, "50%"), captionLabel(view, "100%")};
        for (QLabel* m : marks) ASSERT_NE(m, nullptr) << tool->name();
        auto x = [&view](QWidget* w, double at) { return w->mapTo(&view, QPoint(0, 0)).x() + at * w->width(); };
        const double tolerance = 0.05 * slider->width();
        EXPECT_NEAR(x(marks[0], 0), x(slider, 0), tolerance) << tool->name() << ": 0% under the start";
        EXPECT_NEAR(x(marks[1], 0.5), x(slider, 0.5), tolerance) << tool->name() << ": 50% under the middle";
        EXPECT_NEAR(x(marks[2], 1), x(slider, 1), tolerance) << tool->name() << ": 100% under the end";
    }
}

// What a screen reader hears for a control, and the frame (group box, tab page or window) it is met in.
std::string accessibleName(QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name).toStdString() : std::string();
}
QWidget* frameOf(QWidget* w, QWidget* window) {
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
        // A frame without a caption is only a line around its controls.
        if (auto* box = qobject_cast<QGroupBox*>(p); box && !box->title().isEmpty()) return p;
        if (qobject_cast<QStackedWidget*>(p->parentWidget())) return p;
    }
    return window;
}

TEST_F(ToolWindows, AScreenReaderCanTellEveryControlFromTheOthersOfItsFrame) {
    NoTray tray;
    Form5 launcher(ctx, tray, [] { return true; });
    std::vector<Window*> windows(tools.all().begin(), tools.all().end());
    windows.push_back(&launcher);
    windows.push_back(&showEffects());
    int controls = 0;
    for (Window* win : windows) {
        FormView view(*win);
        std::map<std::pair<QWidget*, std::string>, QWidget*> seen;
        for (QWidget* w : view.findChildren<QWidget*>()) {
            // Buttons, boxes, check boxes, combo boxes, sliders and lists; the parts Qt adds to them (a
            // combo box's text field, a tab bar's arrows, scroll bars) are read as part of them.
            const bool control = (qobject_cast<QAbstractButton*>(w) && !qobject_cast<QTabBar*>(w->parentWidget())) ||
                                 (qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w->parentWidget())) ||
                                 qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QSlider*>(w) || qobject_cast<QListWidget*>(w);
            if (!control) continue;
            ++controls;
            const std::string name = accessibleName(w);
            EXPECT_FALSE(name.empty()) << win->windowCaption() << ": " << w->objectName().toStdString();
            auto [it, fresh] = seen.emplace(std::make_pair(frameOf(w, &view), name), w);
            EXPECT_TRUE(fresh) << win->windowCaption() << ": " << w->objectName().toStdString() << " and "
                               << it->second->objectName().toStdString() << " are both \"" << name << "\"";
        }
    }
    EXPECT_GT(controls, 500);
}

TEST_F(ToolWindows, ABoxIsNamedByItsToolTipOrTheLabelBeforeItAndTheLabelIsItsBuddy) {
    auto* news = dynamic_cast<Form1*>(tools.find("Form1"));
    ASSERT_NE(news, nullptr);
    FormView view(*news);
    QWidget* length = view.widgetFor(news->Text3);
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(accessibleName(length), "Length");
    QLabel* label = captionLabel(view, "Length :");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->buddy(), length);
    EXPECT_EQ(accessibleName(view.widgetFor(news->DTMFInfo)), "DTMF to Play This File");

    FormView dialog(showEffects());
    // "Length (ms):" names the echo's slider, not the "1 ms" mark beside it; a band is named by its
    // frequency and follows it.
    EXPECT_EQ(accessibleName(dialog.widgetFor(effects.sldReverbLen)), "Length (ms)");
    EXPECT_EQ(accessibleName(dialog.widgetFor(effects.sldEQ(0))), effects.lblEQID(0).caption());
    effects.lblEQID(0).setCaption("70 Hz");
    EXPECT_EQ(accessibleName(dialog.widgetFor(effects.sldEQ(0))), "70 Hz");
}

TEST_F(ToolWindows, TheProgressReadOutsTakeNoTypingAndNoTabStop) {
    auto* news = dynamic_cast<Form1*>(tools.find("Form1"));
    auto* series = dynamic_cast<Form12*>(tools.find("Form12"));
    auto* recorder = dynamic_cast<Form11*>(tools.find("Form11"));
    ASSERT_TRUE(news && series && recorder);
    const std::pair<Tool*, std::vector<TextBox*>> readOuts[] = {
        {news, {&news->Text1, &news->Text2, &news->Text3}},
        {series, {&series->Text1, &series->Text2, &series->Text3}},
        {recorder, {&recorder->Text2, &recorder->Text3, &recorder->Text4}}};
    for (const auto& [tool, boxes] : readOuts) {
        FormView view(*tool);
        for (TextBox* box : boxes) {
            auto* edit = qobject_cast<QLineEdit*>(view.widgetFor(*box));
            ASSERT_NE(edit, nullptr) << tool->name() << " " << box->name();
            EXPECT_TRUE(edit->isReadOnly()) << tool->name() << " " << box->name();
            EXPECT_FALSE(edit->focusPolicy() & Qt::TabFocus) << tool->name() << " " << box->name();
            for (const char* key : {"a", "b", "c"}) {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromLatin1(key));
                QCoreApplication::sendEvent(edit, &press);
            }
            box->type("abc");
            EXPECT_EQ(box->text(), "00:00:00") << tool->name() << " " << box->name();
            EXPECT_EQ(edit->text(), "00:00:00") << tool->name() << " " << box->name();
        }
    }
}

TEST_F(ToolWindows, EscapeClosesTheAboutAndTtsSetUpWindowsAsTheirCloseBoxDoes) {
    for (const char* name : {"Form14", "Form8"}) {
        Tool* tool = tools.find(name);
        ASSERT_NE(tool, nullptr);
        tool->show();
        FormView view(*tool);
        view.show();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &escape);
        EXPECT_FALSE(tool->isVisible()) << name;
        EXPECT_FALSE(tool->loaded()) << name << ": closed, as by its close box";
        EXPECT_FALSE(view.isVisible()) << name;
    }
    // A window whose close box asks before the program ends asks nothing on Escape.
    Tool* speech = tools.find("Form3");
    speech->show();
    FormView view(*speech);
    view.show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &escape);
    EXPECT_TRUE(rt.boxes.empty());
    EXPECT_TRUE(speech->isVisible());
}

// Writes down a label's text each time it is painted.
class PaintLog : public QObject {
public:
    explicit PaintLog(QLabel* label) : label_(label) { label->installEventFilter(this); }
    std::vector<std::string> painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::Paint) painted.push_back(label_->text().toStdString());
        return false;
    }

private:
    QLabel* label_;
};

// A keyed speech holds the thread, so no event runs until it ends; the transmitter indicator is on the
// screen as "PTT ON" all the same.
TEST_F(ToolWindows, TheSpeechToolShowsPttOnBeforeItsKeyedSpeechHoldsTheThread) {
    auto* speech = dynamic_cast<Form3*>(tools.find("Form3"));
    ASSERT_NE(speech, nullptr);
    speech->show();
    FormView view(*speech);
    view.show();
    QCoreApplication::processEvents();  // painted once as it opens: "PTT OFF"
    auto* ptt = qobject_cast<QLabel*>(view.widgetFor(speech->PTT));
    ASSERT_NE(ptt, nullptr);
    PaintLog log(ptt);
    std::vector<std::string> onScreenWhileSpeaking;
    whileSpeaking = [&] { onScreenWhileSpeaking.push_back(log.painted.empty() ? "" : log.painted.back()); };

    speech->Speak3.click();
    ASSERT_EQ(onScreenWhileSpeaking.size(), 1u) << "a keyed speech";
    EXPECT_EQ(onScreenWhileSpeaking[0], "PTT ON");
    EXPECT_EQ(log.painted.size(), 1u) << "the indicator alone was painted; the rest waits for the loop";
    EXPECT_EQ(speech->PTT.caption(), "PTT OFF") << "the speech over, the transmitter is released";
}

TEST_F(ToolWindows, ShowingAMinimisedWindowRestoresIt) {
    ViewManager views(std::vector<Window*>(tools.all().begin(), tools.all().end()));
    Tool* help = tools.find("Form7");
    ASSERT_NE(help, nullptr);
    help->show();
    FormView* view = views.viewFor(*help);
    ASSERT_NE(view, nullptr);
    view->showMinimized();
    EXPECT_TRUE(help->isMinimized());
    help->show();
    EXPECT_FALSE(view->isMinimized());
    EXPECT_FALSE(help->isMinimized());
    EXPECT_TRUE(view->isVisible());
}

TEST_F(ToolWindows, TheDtmfHelpBoxIsAsWideAsItsSentence) {
    auto* help = dynamic_cast<Form7*>(tools.find("Form7"));
    ASSERT_NE(help, nullptr);
    const std::string sentence = "Dial star one to hear the time and the weather for the next three days";
    help->help(1).setText(sentence);
    FormView view(*help);
    view.resize(view.sizeHint());
    view.show();
    auto* box = qobject_cast<QLineEdit*>(view.widgetFor(help->help(1)));
    ASSERT_NE(box, nullptr);
    EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(QString::fromStdString(sentence)));
    // A box with a character limit is as wide as that, not as wide as its row.
    auto* speech = dynamic_cast<Form3*>(tools.find("Form3"));
    ASSERT_NE(speech, nullptr);
    FormView speechView(*speech);
    speechView.resize(speechView.sizeHint());
    speechView.show();
    auto* two = qobject_cast<QLineEdit*>(speechView.widgetFor(speech->TTSPeriod));
    ASSERT_NE(two, nullptr);
    EXPECT_LE(two->width(), 4 * two->fontMetrics().horizontalAdvance(QLatin1Char('W')));
}

// The downloader's window keeps its size: a long status sentence is shortened inside it, rather than
// widening its pages behind scroll bars. Without a transfer service every transfer fails with the
// longest texts the window shows.
TEST_F(ToolWindows, TheDownloadersLongStatusSentencesStayInsideItsWindow) {
    auto* form = dynamic_cast<Form13*>(tools.find("Form13"));
    ASSERT_NE(form, nullptr);
    form->load();
    FormView view(*form);
    view.show();
    QApplication::processEvents();
    const QSize size = view.size();
    auto* area = view.findChild<QScrollArea*>();
    auto* tabs = view.findChild<QTabWidget*>();
    ASSERT_TRUE(area && tabs);

    ::testing::internal::CaptureStderr();
    form->cmdDownload.click();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(form->ftpControl1.lblStatus.text().rfind("Error creating InetSession.", 0), 0u);
    // A reason as long as the library's words for a connection that timed out.
    form->txtPercent.setCaption("Failed: Connection Failed (Failed to connect to news.example.org port 80 after "
                                "30001 ms: Connection timed out, and then some more words of the library)");
    for (int page = 0; page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        QApplication::processEvents();
        EXPECT_EQ(view.size(), size);
        EXPECT_FALSE(area->horizontalScrollBar()->isVisible()) << tabs->tabText(page).toStdString();
        EXPECT_LE(area->widget()->minimumSizeHint().width(), area->viewport()->width())
            << tabs->tabText(page).toStdString();
        // The buttons at the foot of each page stay in view.
        QWidget* hide = view.widgetFor(page == 0 ? form->Command2 : form->Command22);
        ASSERT_NE(hide, nullptr);
        const QPoint corner = hide->mapTo(area->viewport(), QPoint(hide->width(), 0));
        EXPECT_LE(corner.x(), area->viewport()->width()) << tabs->tabText(page).toStdString();
    }
}

}  // namespace
}  // namespace tarnwick
