// The recorder's effects dialog on screen: upright band sliders, the right button resets a band,
// and the program goes on while the dialog keeps the operator to itself.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPointer>
#include <QSlider>
#include <QTabWidget>
#include <QWindow>

#include "platform/qt/qt_runtime.h"
#include "recorder/dsp/dsp.h"
#include "recorder/fx_options.h"
#include "ui/form_view.h"
#include "ui/test_app.h"
#include "ui/view_manager.h"

using namespace tarnwick;

namespace {

class EffectsDialogView : public ::testing::Test {
protected:
    EffectsDialogView() {
        testApp();
        dsp.setSamplerate(44100);
        dsp.setChannels(2);
    }
    QSlider* band(int i) {
        FormView* v = views.viewFor(dlg);
        return v ? qobject_cast<QSlider*>(v->widgetFor(dlg.sldEQ(i))) : nullptr;
    }
    void press(QWidget* w, Qt::MouseButton button) {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QMouseEvent down(QEvent::MouseButtonPress, at, w->mapToGlobal(at), button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), button, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &up);
    }

    QtRuntime rt;
    clsDSP dsp;
    frmFXOpts dlg;
    Window owner;
    ViewManager views{std::vector<Window*>{&owner, &dlg}};
};

TEST_F(EffectsDialogView, BandSlidersStandUprightWithTheirTopAtPlusTwelve) {
    dlg.ShowEx(dsp, &owner);
    QSlider* s = band(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->orientation(), Qt::Vertical);
    // The slider's minimum (-12, a gain of +12 dB) stands at the top.
    EXPECT_TRUE(s->invertedAppearance());
    EXPECT_GE(s->minimumHeight(), 100) << "tall enough to set a band";
}

TEST_F(EffectsDialogView, TheRightButtonResetsABandTheLeftDoesNot) {
    dlg.ShowEx(dsp, &owner);
    dlg.sldEQ(2).setValue(-7);
    ASSERT_FLOAT_EQ(dsp.EqualizerBandGainDB(2), 7.0f);
    QSlider* s = band(2);
    ASSERT_NE(s, nullptr);
    press(s, Qt::RightButton);
    EXPECT_EQ(dlg.sldEQ(2).value(), 0);
    EXPECT_EQ(s->value(), 0);
    EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(2), 0.0f);

    dlg.sldEQ(2).setValue(12);
    press(s, Qt::LeftButton);  // a track click steps towards the pointer; it never resets
    EXPECT_NE(dlg.sldEQ(2).value(), 0);
}

// The dialog belongs to the recorder window: it stands over it, with no task-bar entry and no
// minimise box (minimised, it kept every window waiting with nothing in view).
TEST_F(EffectsDialogView, IsADialogOfTheWindowThatOpensIt) {
    owner.setVisible(true);
    FormView* ownerView = views.viewFor(owner);
    ASSERT_NE(ownerView, nullptr);
    dlg.ShowEx(dsp, &owner);
    FormView* v = views.viewFor(dlg);
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->isWindow());
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(v->parentWidget(), ownerView);
    EXPECT_EQ(v->windowType(), Qt::Dialog);
    EXPECT_FALSE(v->windowFlags() & Qt::WindowMinimizeButtonHint);
    ASSERT_NE(v->windowHandle(), nullptr);
    EXPECT_EQ(v->windowHandle()->transientParent(), ownerView->windowHandle());
    // Its sliders step by 1 and 5 on screen as well.
    auto* amplifier = qobject_cast<QSlider*>(v->widgetFor(dlg.sldAmplDB));
    ASSERT_NE(amplifier, nullptr);
    EXPECT_EQ(amplifier->singleStep(), 1);
    EXPECT_EQ(amplifier->pageStep(), 5);
}

// The views go away in any order of their windows, the dialog's before the view it belongs to (which
// would otherwise take it along and leave the manager a view deleted twice).
TEST_F(EffectsDialogView, ViewsGoAwayWithTheDialogShown) {
    struct Windows {
        frmFXOpts dialog;
        Window recorder;  // shown first, after the dialog in memory: the manager lets its view go first
    } w;
    QPointer<QWidget> dialogView, recorderView;
    {
        ViewManager manager{std::vector<Window*>{&w.recorder, &w.dialog}};
        w.recorder.setVisible(true);
        w.dialog.ShowEx(dsp, &w.recorder);
        dialogView = manager.viewFor(w.dialog);
        recorderView = manager.viewFor(w.recorder);
        ASSERT_NE(dialogView, nullptr);
        EXPECT_EQ(dialogView->parentWidget(), recorderView);
        EXPECT_EQ(QApplication::activeModalWidget(), dialogView);
    }
    // Both windows are gone from the screen, and the dialog no longer keeps the operator from the
    // program's other windows.
    EXPECT_TRUE(dialogView.isNull());
    EXPECT_TRUE(recorderView.isNull());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_FALSE(top->isVisible()) << top->metaObject()->className() << " " << top->windowTitle().toStdString();
}

TEST_F(EffectsDialogView, ShowsModalWhileTimersGoOn) {
    int ticks = 0;
    Timer ticker(rt, 20, true);
    ticker.onTick = [&] { ++ticks; };
    dlg.ShowEx(dsp, &owner);
    FormView* v = views.viewFor(dlg);
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(v->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QApplication::activeModalWidget(), v);
    QElapsedTimer clock;
    clock.start();
    while (ticks < 3 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GE(ticks, 3) << "a timer ticks while the dialog is open";
    EXPECT_TRUE(v->isVisible());
}

}  // namespace

namespace {

// Every page opens whole: the dialog is as tall as its tallest page, whichever page comes first.
TEST_F(EffectsDialogView, EveryPageShowsWholeWithoutScrolling) {
    dlg.ShowEx(dsp, &owner);
    FormView* v = views.viewFor(dlg);
    ASSERT_NE(v, nullptr);
    QCoreApplication::processEvents();
    auto* tabs = v->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    for (int page = 0; page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        QCoreApplication::processEvents();
        for (const Control* c : {static_cast<const Control*>(&dlg.picEQAmp), static_cast<const Control*>(&dlg.sldEQ(0)),
                                 static_cast<const Control*>(&dlg.sldShFreq), static_cast<const Control*>(&dlg.sldAmplDB)}) {
            QWidget* w = v->widgetFor(*c);
            ASSERT_NE(w, nullptr);
            if (!w->isVisible()) continue;
            const QRect inWindow(w->mapTo(v, QPoint(0, 0)), w->size());
            EXPECT_TRUE(v->rect().contains(inWindow))
                << tabs->tabText(page).toStdString() << ": " << w->metaObject()->className() << " at "
                << inWindow.y() << "+" << inWindow.height() << " in a window " << v->height() << " tall";
        }
    }
}

}  // namespace
