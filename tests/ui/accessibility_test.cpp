// What a screen reader is told about every tool window, walked as an assistive technology walks it:
// from the window's accessible object down through its children. Windows are windows, option buttons
// radio buttons, read-outs read-only, the transfer progress a progress bar, and every control is
// named by its job rather than by a frame's or window's caption and a number.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>

// The host's headers first: Qt defines "emit" as a word of its own.
#include "conference/conference_controller.h"
#include "conference/greetings.h"
#include "download/downloader.h"
#include "dtmf/dtmf_control.h"
#include "player/news_player.h"
#include "recorder/dsp/dsp.h"
#include "recorder/fx_options.h"
#include "recorder/recorder.h"
#include "series/series_player.h"
#include "shell/launcher.h"
#include "shell/toolset.h"
#include "support/tool_surroundings.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>

#include "ui/form_view.h"
#include "ui/format_chooser.h"
#include "ui/test_app.h"

namespace tarnwick {
namespace {

std::string str(const QString& q) { return q.toStdString(); }

// Every accessible object under (and with) the given one, as a screen reader reaches them.
void walk(QAccessibleInterface* a, const std::function<void(QAccessibleInterface*)>& visit) {
    if (!a) return;
    visit(a);
    for (int i = 0; i < a->childCount(); ++i) walk(a->child(i), visit);
}

QAccessibleInterface* accessible(QWidget* w) { return w ? QAccessible::queryAccessibleInterface(w) : nullptr; }

std::string nameOf(QWidget* w) {
    QAccessibleInterface* a = accessible(w);
    return a ? str(a->text(QAccessible::Name)) : std::string();
}

// A caption as a screen reader would read it: blanks run together, mnemonic marks left out.
QString clean(QString s) { return s.remove(QLatin1Char('&')).simplified(); }

// The captions a control stands under: its frames', its tab page's and its window's.
QStringList captionsAbove(QWidget* w) {
    QStringList captions;
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
        if (auto* box = qobject_cast<QGroupBox*>(p)) captions << clean(box->title());
        if (auto* stack = qobject_cast<QStackedWidget*>(p->parentWidget()))
            if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget()))
                captions << clean(tabs->tabText(tabs->indexOf(p)));
        if (p->isWindow()) captions << clean(p->windowTitle());
    }
    captions.removeAll(QString());
    return captions;
}

class ScreenReader : public ::testing::Test, protected testing::ToolSurroundings {
protected:
    ScreenReader() {
        testApp();
        dsp.setSamplerate(44100);
        dsp.setChannels(2);
        // Loaded as the program loads them, so every window carries its real caption.
        for (Tool* t : tools.all()) t->load();
        effects.ShowEx(dsp, &owner);
    }
    template <class T>
    T& tool(const char* name) {
        auto* t = dynamic_cast<T*>(tools.find(name));
        if (!t) throw std::runtime_error(name);
        return *t;
    }
    std::vector<Window*> everyWindow() {
        std::vector<Window*> windows(tools.all().begin(), tools.all().end());
        windows.push_back(&launcher);
        windows.push_back(&effects);
        return windows;
    }

    Toolset toolset{ctx, Backends{}};
    NoTray tray;
    Form5 launcher{ctx, tray, [] { return true; }};
    clsDSP dsp;
    frmFXOpts effects;
    Window owner;
};

TEST_F(ScreenReader, EveryWindowTellsRolesAndStatesAsTheControlsBehave) {
    int options = 0, readOuts = 0, boxes = 0;
    for (Window* win : everyWindow()) {
        FormView view(*win);
        const std::string where = win->windowCaption();
        QAccessibleInterface* top = accessible(&view);
        ASSERT_NE(top, nullptr) << where;
        // A tool window is a window; the effects settings, which belong to the recorder, a dialog.
        EXPECT_EQ(top->role(), win == &effects ? QAccessible::Dialog : QAccessible::Window) << where;
        EXPECT_EQ(str(top->text(QAccessible::Name)), where);

        walk(top, [&](QAccessibleInterface* a) {
            QObject* o = a->object();
            const std::string what = where + ": " + (o ? str(o->objectName()) : std::string("?"));
            const QAccessible::State s = a->state();
            if (qobject_cast<QRadioButton*>(o)) {
                ++options;
                EXPECT_EQ(a->role(), QAccessible::RadioButton) << what;
                EXPECT_TRUE(s.checkable) << what;
                EXPECT_EQ(bool(s.checked), static_cast<QRadioButton*>(o)->isChecked()) << what;
            }
            const bool readOnly = qobject_cast<QLineEdit*>(o)        ? static_cast<QLineEdit*>(o)->isReadOnly()
                                  : qobject_cast<QPlainTextEdit*>(o) ? static_cast<QPlainTextEdit*>(o)->isReadOnly()
                                                                     : false;
            if (qobject_cast<QLineEdit*>(o) || qobject_cast<QPlainTextEdit*>(o)) {
                ++boxes;
                readOuts += readOnly;
                EXPECT_EQ(bool(s.readOnly), readOnly) << what;
                EXPECT_EQ(bool(s.editable), !readOnly) << what;
            }
            // A frame is named by its own caption, not by the frame around it.
            if (auto* box = qobject_cast<QGroupBox*>(o); box && !box->title().isEmpty()) {
                EXPECT_EQ(str(a->text(QAccessible::Name)), str(clean(box->title()))) << what;
            }
        });
    }
    // The walk reached them: the clock formats, fan lines, greetings, file types and slot indicators;
    // the play times of both players and the recorder, and the recorder's format.
    EXPECT_GE(options, 22);
    EXPECT_GE(readOuts, 10);
    EXPECT_GT(boxes, 250);
}

TEST_F(ScreenReader, NoControlIsNamedByTheCaptionOfItsFrameOrWindowAndANumber) {
    int named = 0;
    for (Window* win : everyWindow()) {
        FormView view(*win);
        walk(accessible(&view), [&](QAccessibleInterface* a) {
            auto* w = qobject_cast<QWidget*>(a->object());
            // Controls, not the frames, pages and windows whose captions are in question.
            if (!w || w == &view || qobject_cast<QGroupBox*>(w) || qobject_cast<QStackedWidget*>(w->parentWidget()) ||
                a->role() == QAccessible::Client || a->role() == QAccessible::StaticText)
                return;
            const QString name = a->text(QAccessible::Name);
            ++named;
            for (const QString& caption : captionsAbove(w)) {
                static const QRegularExpression number(QStringLiteral(" \\d+$"));
                EXPECT_FALSE(QString(name).remove(number) == caption && name != caption)
                    << win->windowCaption() << ": " << str(w->objectName()) << " is \"" << str(name) << "\"";
            }
        });
    }
    EXPECT_GT(named, 600);
}

TEST_F(ScreenReader, ControlsInFramesAboutSomethingElseAreNamedByTheirJob) {
    auto& news = tool<Form1>("Form1");
    auto& dtmf = tool<Form4>("Form4");
    auto& conference = tool<Form6>("Form6");
    auto& greetings = tool<Form10>("Form10");
    auto& recorder = tool<Form11>("Form11");
    auto& series = tool<Form12>("Form12");
    auto& downloader = tool<Form13>("Form13");
    const std::vector<std::tuple<Window*, Control*, std::string>> expected = {
        {&news, &news.Hour3, "Audio File 1 hour"},
        {&news, &news.Mins3, "Audio File 1 minutes"},
        {&news, &news.Hour3b, "Audio File 1 second hour"},
        {&news, &news.V4, "Audio File 1 volume"},
        {&news, &news.Mins, "Audio File 3 minutes"},
        {&news, &news.V2, "2nd File volume"},
        {&news, &news.WarnText, "Warning sentence"},
        {&dtmf, &dtmf.Hour, "Net 1 hour"},
        {&dtmf, &dtmf.Mins4, "Net 4 minutes"},
        {&conference, &conference.Option1, "Slot 1"},
        {&conference, &conference.Option6, "Slot 3"},
        {&conference, &conference.Text2, "User listing"},
        {&greetings, &greetings.TextTXMessage, "Greeting 1 text"},
        {&greetings, &greetings.TextTXMessage9, "Greeting 9 text"},
        {&recorder, &recorder.cmdSelFmt, "Choose WAV format"},
        {&recorder, &recorder.txtFile, "Output file"},
        {&recorder, &recorder.cmdBrowse, "Choose output file"},
        {&series, &series.txtFile, "File to play"},
        {&series, &series.MyDir, "Series folder"},
        {&series, &series.Text12, "Second minutes"},
        {&downloader, &downloader.RemoteAddress, "Transfer remote address"},
        {&downloader, &downloader.ftpControl1.pbTransferStatus, "Transfer progress"},
    };
    std::map<Window*, std::unique_ptr<FormView>> views;
    for (const auto& [win, control, name] : expected) {
        auto& view = views[win];
        if (!view) view = std::make_unique<FormView>(*win);
        EXPECT_EQ(nameOf(view->widgetFor(*control)), name) << win->windowCaption() << ": " << control->name();
    }
}

TEST_F(ScreenReader, AnOptionButtonWorkedThroughItsAccessibleActionSelectsTheOption) {
    auto& series = tool<Form12>("Form12");
    series.mp3.setValue(true);
    FormView view(series);
    QAccessibleInterface* wav = accessible(view.widgetFor(series.wav));
    ASSERT_NE(wav, nullptr);
    ASSERT_NE(wav->actionInterface(), nullptr);
    EXPECT_FALSE(wav->state().checked);
    wav->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(series.wav.value());
    EXPECT_FALSE(series.mp3.value());
    EXPECT_TRUE(wav->state().checked);
    EXPECT_FALSE(accessible(view.widgetFor(series.mp3))->state().checked);
    // Worked again, a selected option stays selected, as a click on it leaves it.
    wav->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(series.wav.value());
    EXPECT_TRUE(wav->state().checked);
}

TEST_F(ScreenReader, AReadOutShowsItsTimeAndABoxThatTurnsReadOnlyIsToldAnew) {
    auto& news = tool<Form1>("Form1");
    FormView view(news);
    news.Text3.setText("00:03:12");
    QAccessibleInterface* length = accessible(view.widgetFor(news.Text3));
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(str(length->text(QAccessible::Name)), "Length");
    EXPECT_EQ(str(length->text(QAccessible::Value)), "00:03:12");
    QAccessibleTextInterface* text = length->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->characterCount(), 8);
    EXPECT_EQ(str(text->text(3, 5)), "03");

    // A box the operator types into, made read-only while the window is open, and back.
    QWidget* warn = view.widgetFor(news.WarnText);
    EXPECT_TRUE(accessible(warn)->state().editable);
    news.WarnText.setReadOnly(true);
    news.WarnText.setText("Read only now");
    EXPECT_TRUE(accessible(warn)->state().readOnly);
    EXPECT_FALSE(accessible(warn)->state().editable);
    news.WarnText.setReadOnly(false);
    news.WarnText.setText("Typed again");
    EXPECT_TRUE(accessible(warn)->state().editable);
    EXPECT_FALSE(accessible(warn)->state().readOnly);
}

TEST_F(ScreenReader, TheTransferProgressIsAProgressBarThatFollowsTheTransfer) {
    auto& downloader = tool<Form13>("Form13");
    FormView view(downloader);
    QAccessibleInterface* progress = accessible(view.widgetFor(downloader.ftpControl1.pbTransferStatus));
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->role(), QAccessible::ProgressBar);
    EXPECT_FALSE(progress->state().disabled);
    ASSERT_NE(progress->valueInterface(), nullptr);
    downloader.ftpControl1.pbTransferStatus.setValue(40);
    EXPECT_EQ(progress->valueInterface()->currentValue().toInt(), 40);
    EXPECT_EQ(progress->valueInterface()->maximumValue().toInt(), 100);
}

TEST(FormatChooserScreenReader, TheListsAreNamedByTheirJobNotByTheEntryTheyShow) {
    testApp();
    const std::vector<FormatChoice> choices = {
        {{}, "44.100 kHz, 16 Bit, Stereo", "PCM"}, {{}, "8.000 kHz, Mono", "GSM 6.10"}};
    std::map<std::string, std::string> seen;  // name -> value
    // The chooser waits in its own loop: look at it from there, then cancel it.
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (!dialog && qobject_cast<QDialog*>(w) && w->isVisible()) dialog = w;
        ASSERT_NE(dialog, nullptr);
        walk(accessible(dialog), [&](QAccessibleInterface* a) {
            if (a->role() == QAccessible::ComboBox)
                seen[str(a->text(QAccessible::Name))] = str(a->text(QAccessible::Value));
        });
        dialog->close();
    });
    EXPECT_EQ(chooseWaveFormat(nullptr, choices, 0, "Select Format"), -1);
    const std::map<std::string, std::string> want = {{"Format", "PCM"}, {"Attributes", "44.100 kHz, 16 Bit, Stereo"}};
    EXPECT_EQ(seen, want);
}

}  // namespace
}  // namespace tarnwick
