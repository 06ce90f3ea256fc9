#include "ui/form_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBackingStore>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <stdexcept>

#include "runtime/virtual_runtime.h"
#include "ui/test_app.h"
#include "ui/view_manager.h"

using namespace tarnwick;

namespace {

// A window with one control of every kind, counting the handlers the view may run.
struct TestWindow : Window {
    TextBox Text1{"Text1", "", "Numbers only", TypingStyle::DigitsOnly};
    TextBox Text2{"Text2", "", "", TypingStyle::Capitals, true};
    CheckBox Check1{"Check1", "Tick me"};
    CommandButton Command1{"Command1", "Go"};
    OptionGroup group;
    OptionButton Option1{"Option1", "One"};
    OptionButton Option2{"Option2", "Two"};
    ScrollBar HScroll1{"HScroll1", 0, 100, 50};
    ComboBox Combo1{"Combo1"};
    ListBox List1{"List1"};
    Label Label1{"Label1", "<b>W1AW</b>"};

    int textChanges = 0, checkClicks = 0, presses = 0, optionClicks = 0, scrolls = 0, comboChanges = 0,
        listClicks = 0;

    TestWindow() {
        using namespace layout;
        group.add(Option1);
        group.add(Option2);
        Text1.onChange = [this] { ++textChanges; };
        Check1.onClick = [this] { ++checkClicks; };
        Command1.onClick = [this] { ++presses; };
        Option1.onClick = [this] { ++optionClicks; };
        Option2.onClick = [this] { ++optionClicks; };
        HScroll1.onChange = [this] { ++scrolls; };
        Combo1.onChange = [this] { ++comboChanges; };
        List1.onClick = [this] { ++listClicks; };
        layout_ = {tabs({tab("Main", {row({caption("Digits"), ctl(Text1)}), ctl(Text2), ctl(Check1), ctl(Command1)}),
                         tab("More", {frame("Pick", {ctl(Option1), ctl(Option2)}), ctl(HScroll1), ctl(Combo1),
                                      ctl(List1), ctl(Label1)})}),
                   stretch()};
        setWindowCaption("Test window");
    }
};

void typeKeys(QWidget* w, const QString& keys) {
    for (QChar ch : keys) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(w, &release);
    }
}

class FormViewTest : public ::testing::Test {
protected:
    FormViewTest() {
        testApp();
        views = std::make_unique<ViewManager>(std::vector<Window*>{&win});
        win.setVisible(true);
    }
    template <class W>
    W* widget(const Control& c) {
        FormView* v = views->viewFor(win);
        return v ? qobject_cast<W*>(v->widgetFor(c)) : nullptr;
    }

    TestWindow win;
    std::unique_ptr<ViewManager> views;
};

TEST(ViewManagerTest, BuildsViewOnlyWhenShownAndFollowsTheModel) {
    testApp();
    TestWindow win;
    ViewManager views({&win});
    EXPECT_EQ(views.viewFor(win), nullptr) << "a hidden window needs no widgets";

    win.setVisible(true);
    FormView* view = views.viewFor(win);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), "Test window");

    win.setWindowCaption("Renamed");
    EXPECT_EQ(view->windowTitle(), "Renamed");
    EXPECT_EQ(view->windowIconText(), "Renamed") << "the name a task bar shows";
    win.setVisible(false);
    EXPECT_FALSE(view->isVisible());
    win.setVisible(true);
    EXPECT_EQ(views.viewFor(win), view) << "showing again reuses the view";
    EXPECT_TRUE(view->isVisible());
}

TEST(ViewManagerTest, WindowsStandWhereTheirSettingsPutThemAndKeepTheOperatorsMoves) {
    testApp();
    TestWindow win;
    win.setPosition(1500, 3000);  // twips, 15 to a pixel
    ViewManager views({&win});
    win.setVisible(true);
    FormView* view = views.viewFor(win);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->pos(), QPoint(100, 200));
    view->move(40, 60);  // the operator drags the window
    EXPECT_DOUBLE_EQ(win.left(), 600);
    EXPECT_DOUBLE_EQ(win.top(), 900);
}

TEST(ViewManagerTest, LeavesNoHooksBehind) {
    testApp();
    TestWindow win;
    {
        ViewManager views({&win});
        win.setVisible(true);
        ASSERT_TRUE(win.Text1.viewChanged);
    }
    EXPECT_FALSE(win.Text1.viewChanged);
    EXPECT_FALSE(win.windowChanged);
    win.Text1.setText("1");  // no view to reach any more
    win.setVisible(false);
}

TEST_F(FormViewTest, TypingAppliesTheTypingStyleAndEachChangeRunsOnce) {
    auto* edit = widget<QLineEdit>(win.Text1);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->toolTip(), "Numbers only");

    typeKeys(edit, "4a2");
    EXPECT_EQ(win.Text1.text(), "42");
    EXPECT_EQ(edit->text(), "42") << "the dropped letter must not stay on screen";
    EXPECT_EQ(win.textChanges, 2) << "the letter changed nothing, and the view adds no change of its own";

    win.Text1.setText("7 s");
    EXPECT_EQ(edit->text(), "7 s");
    EXPECT_EQ(win.textChanges, 3);
    edit->setCursorPosition(1);
    typeKeys(edit, "5x");
    EXPECT_EQ(win.Text1.text(), "75 s") << "the style applies to the typing, not to what code put there";
    EXPECT_EQ(win.textChanges, 4);
}

void pressKey(QWidget* w, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

TEST_F(FormViewTest, ARefusedKeyLeavesADigitsBoxAsItWasAndAnEmptiedBoxWaitsForTheModel) {
    auto* edit = widget<QLineEdit>(win.Text1);
    ASSERT_NE(edit, nullptr);
    // The model's own rule for this box: emptied, it reads "0".
    win.Text1.onChange = [this] {
        ++win.textChanges;
        if (win.Text1.text().empty()) win.Text1.setText("0");
    };
    win.Text1.setText("15");
    const int changes = win.textChanges;
    edit->selectAll();
    typeKeys(edit, "a");
    EXPECT_EQ(win.Text1.text(), "15");
    EXPECT_EQ(edit->text(), "15");
    EXPECT_EQ(edit->selectedText(), "15") << "the selection is still there to type over";
    EXPECT_EQ(win.textChanges, changes) << "nothing changed";
    typeKeys(edit, "7");
    EXPECT_EQ(win.Text1.text(), "7");

    // Emptied by the operator, the box takes what the model puts there; the fill is typed over.
    edit->selectAll();
    pressKey(edit, Qt::Key_Backspace);
    EXPECT_EQ(win.Text1.text(), "0");
    EXPECT_EQ(edit->text(), "0");
    typeKeys(edit, "12");
    EXPECT_EQ(win.Text1.text(), "12");

    // A box without a rule of its own stays empty.
    win.Text1.onChange = nullptr;
    edit->selectAll();
    pressKey(edit, Qt::Key_Backspace);
    EXPECT_EQ(win.Text1.text(), "");
    EXPECT_EQ(edit->text(), "");
}

TEST_F(FormViewTest, TypingStopsAtTheBoxLimitButCodeTextIsShownWhole) {
    auto* edit = widget<QLineEdit>(win.Text1);
    EXPECT_EQ(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    win.Text1.setCentred(true);
    win.Text1.setMaxLength(3);
    win.Text1.setText("12345");  // from a settings file: kept and shown whole
    EXPECT_EQ(edit->text(), "12345");
    EXPECT_EQ(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter) << "a small number box is centred";
    win.Text1.setText("");
    typeKeys(edit, "98765");
    EXPECT_EQ(win.Text1.text(), "987");
    win.Text1.type("4321");
    EXPECT_EQ(win.Text1.text(), "432");
}

TEST_F(FormViewTest, MultiLineBoxKeepsWindowLineBreaks) {
    auto* edit = widget<QPlainTextEdit>(win.Text2);
    ASSERT_NE(edit, nullptr);
    win.Text2.setText("one\r\ntwo");
    EXPECT_EQ(edit->toPlainText(), "one\ntwo");

    edit->moveCursor(QTextCursor::End);
    typeKeys(edit, "x");
    EXPECT_EQ(win.Text2.text(), "one\r\ntwoX");
    EXPECT_EQ(edit->toPlainText(), "one\ntwoX");
}

TEST_F(FormViewTest, EnterReachesTheModelPasswordsAreMaskedAndTheModelMovesTheCaret) {
    auto* edit = widget<QLineEdit>(win.Text1);
    int enters = 0;
    win.Text1.onKeyPress = [&](int key) { enters += key == 13; };
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &enter);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(edit->echoMode(), QLineEdit::Normal);
    win.Text1.setMasked(true);
    win.Text1.setText("9");
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);

    auto* pane = widget<QPlainTextEdit>(win.Text2);
    win.Text2.setText("one\r\ntwo\r\nthree");
    pane->moveCursor(QTextCursor::Start);
    win.Text2.setSelStart(10000);  // beyond the end: the end
    EXPECT_EQ(pane->textCursor().position(), pane->toPlainText().size());
    win.Text2.setSelStart(5);  // "one\r\n" is "one\n" on screen
    EXPECT_EQ(pane->textCursor().position(), 4);
}

TEST_F(FormViewTest, ClicksReachTheModelAndTheModelReachesTheButtons) {
    auto* check = widget<QCheckBox>(win.Check1);
    ASSERT_NE(check, nullptr);
    check->click();
    EXPECT_EQ(win.Check1.value(), 1);
    EXPECT_EQ(win.checkClicks, 1);
    win.Check1.setValue(2);
    EXPECT_EQ(check->checkState(), Qt::PartiallyChecked);
    check->click();  // the operator's click turns grey into ticked
    EXPECT_EQ(win.Check1.value(), 1);
    EXPECT_EQ(check->checkState(), Qt::Checked);
    EXPECT_EQ(win.checkClicks, 3);

    widget<QPushButton>(win.Command1)->click();
    EXPECT_EQ(win.presses, 1);

    auto* one = widget<QRadioButton>(win.Option1);
    auto* two = widget<QRadioButton>(win.Option2);
    one->click();
    two->click();
    EXPECT_TRUE(win.Option2.value());
    EXPECT_FALSE(win.Option1.value());
    EXPECT_FALSE(one->isChecked());
    two->click();  // clicking the selected option leaves it selected
    EXPECT_TRUE(two->isChecked());
    EXPECT_EQ(win.optionClicks, 2);
}

TEST_F(FormViewTest, SliderComboAndListBindBothWays) {
    auto* slider = widget<QSlider>(win.HScroll1);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->value(), 50);
    slider->setValue(70);  // as an arrow or a track click would
    EXPECT_EQ(win.HScroll1.value(), 70);
    win.HScroll1.setValue(500);
    EXPECT_EQ(slider->value(), 100);
    EXPECT_EQ(win.scrolls, 2);

    // Dragging the thumb scrolls without a change; the release is the change, once.
    int drags = 0;
    win.HScroll1.onScroll = [&] { ++drags; };
    slider->setSliderDown(true);
    slider->setSliderPosition(30);
    slider->setSliderPosition(35);
    EXPECT_EQ(win.scrolls, 2);
    slider->setSliderDown(false);
    EXPECT_EQ(win.HScroll1.value(), 35);
    EXPECT_EQ(drags, 2);
    EXPECT_EQ(win.scrolls, 3);

    // Arrows and track clicks step as the model says.
    win.HScroll1.setSteps(5, 25);
    EXPECT_EQ(slider->singleStep(), 5);
    EXPECT_EQ(slider->pageStep(), 25);
    slider->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(win.HScroll1.value(), 10);
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(win.HScroll1.value(), 15);
    EXPECT_EQ(win.scrolls, 5);

    auto* combo = widget<QComboBox>(win.Combo1);
    ASSERT_NE(combo, nullptr);
    win.Combo1.addItem("Alpha");
    win.Combo1.addItem("Bravo");
    EXPECT_EQ(combo->count(), 2);
    emit combo->activated(1);  // the operator picks from the list
    EXPECT_EQ(win.Combo1.listIndex(), 1);
    EXPECT_EQ(win.Combo1.text(), "Bravo");
    EXPECT_EQ(combo->currentText(), "Bravo");
    typeKeys(combo->lineEdit(), "X");
    EXPECT_EQ(win.Combo1.text(), "BravoX");
    EXPECT_EQ(combo->count(), 2) << "typing adds no item";
    EXPECT_EQ(win.comboChanges, 2);

    auto* list = widget<QListWidget>(win.List1);
    ASSERT_NE(list, nullptr);
    for (const char* s : {"K1ABC", "W2XYZ", "G3QQQ"}) win.List1.addItem(s);
    EXPECT_EQ(list->count(), 3);
    list->setCurrentRow(2);  // as a click would
    EXPECT_EQ(win.List1.listIndex(), 2);
    EXPECT_EQ(win.listClicks, 1);
    win.List1.removeItem(2);
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(win.listClicks, 1) << "a model change runs no click";
}

TEST_F(FormViewTest, LabelsArePlainTextAndFollowColourAndState) {
    auto* label = widget<QLabel>(win.Label1);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), "<b>W1AW</b>");
    for (QLabel* l : views->viewFor(win)->findChildren<QLabel*>()) EXPECT_EQ(l->textFormat(), Qt::PlainText);

    win.Label1.setToolTip("<img src=x> from the net");
    win.Label1.setText("K1ABC");  // any change redraws the control
    EXPECT_EQ(label->text(), "K1ABC");
    EXPECT_TRUE(label->toolTip().contains("&lt;img src=x&gt;")) << label->toolTip().toStdString();

    win.Label1.setForeColour(kRed);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    win.Label1.setForeColour(kGreen);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0xC0, 0));

    // Held to a width in twips (a bar that grows), the label is exactly that wide with its caption centred.
    win.Label1.setWidth(50 * 57.8);
    EXPECT_EQ(label->width(), 193);
    EXPECT_EQ(label->minimumWidth(), 193);
    EXPECT_EQ(label->alignment(), Qt::AlignCenter);
    win.Label1.setWidth(0);
    EXPECT_EQ(label->maximumWidth(), 0) << "an empty bar";
    win.Label1.setWidth(100 * 57.8);
    EXPECT_EQ(label->maximumWidth(), 385);

    win.Command1.setEnabled(false);
    win.Check1.setVisible(false);
    EXPECT_FALSE(widget<QPushButton>(win.Command1)->isEnabled());
    EXPECT_TRUE(widget<QCheckBox>(win.Check1)->isHidden());
}

// A label keeps the largest size its text has needed: a count whose digits change keeps its room,
// any other change of the same length is measured again.
TEST_F(FormViewTest, ALabelTakesTheRoomOfItsWidestText) {
    auto* label = widget<QLabel>(win.Label1);
    ASSERT_NE(label, nullptr);
    win.Label1.setText("Filesize: 1111 KB");
    const int narrow = label->width();
    win.Label1.setText("Filesize: 8888 KB");
    EXPECT_EQ(label->text(), "Filesize: 8888 KB");
    EXPECT_GE(label->width(), label->sizeHint().width());
    win.Label1.setText("Filesize: WWWW KB");
    EXPECT_GT(label->width(), narrow);
    EXPECT_GE(label->width(), label->sizeHint().width());
    const int wide = label->width();
    win.Label1.setText("Filesize: 12 KB");
    EXPECT_EQ(label->width(), wide);
}

// A counter in a status line on a tab page, drawn many times a second.
struct CounterWindow : Window {
    Label Count{"Count", "Filesize: 0 Bytes"};
    CheckBox Other{"Other", "Other"};
    CounterWindow() {
        using namespace layout;
        Count.setChangesOften(true);
        layout_ = {tabs({tab("Recording", {ctl(Other), ctl(Count)})}), stretch()};
        setWindowCaption("Counter");
    }
};

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// A label that changes many times a second is drawn straight into its window, over what its parents
// painted under it, without a pass of the window's paint machinery; what the window shows is what a
// full repaint would show. Covered in part, it is repainted by the window and leaves the cover alone.
TEST(LiveLabelTest, AChangeShowsAsAFullRepaintWouldWithoutRepaintingWhatIsUnderIt) {
    testApp();
    CounterWindow win;
    ViewManager views({&win});
    win.setVisible(true);
    FormView* view = views.viewFor(win);
    ASSERT_NE(view, nullptr);
    auto* label = qobject_cast<QLabel*>(view->widgetFor(win.Count));
    ASSERT_NE(label, nullptr);
    auto settle = [] {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    };
    settle();
    QWidget* top = label->window();
    QPaintDevice* device = top->backingStore() ? top->backingStore()->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image)
        GTEST_SKIP() << "the platform's backing store is not an image";
    const auto* shown = static_cast<const QImage*>(device);
    PaintCounter labelPaints;
    label->installEventFilter(&labelPaints);
    auto underLabel = [&] { return shown->copy(QRect(label->mapTo(top, QPoint()), label->size())); };

    for (const char* text : {"Filesize: 10 KB", "Filesize: 20 KB", "Filesize: 31 KB"}) {
        win.Count.setText(text);
        settle();
    }
    EXPECT_EQ(label->text(), "Filesize: 31 KB");
    EXPECT_EQ(labelPaints.paints, 0) << "the window's paint machinery drew the change";
    const QImage direct = underLabel();
    auto hasText = [](const QImage& image) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != image.pixel(0, 0)) return true;
        return false;
    };
    EXPECT_TRUE(hasText(direct));
    // The window paints the label's place again: its parents under it, then the label.
    label->repaint();
    EXPECT_GT(labelPaints.paints, 0);
    EXPECT_TRUE(underLabel() == direct) << "the label drawn on its own differs from the window's drawing of it";

    // A picture of the label taken meanwhile does not become what lies under it; another text of
    // another length takes the room it needs and still shows as the window shows it.
    EXPECT_FALSE(label->grab().isNull());
    win.Count.setText("Filesize: 32 KB");
    settle();
    const QImage afterGrab = underLabel();
    label->repaint();
    EXPECT_TRUE(underLabel() == afterGrab);
    win.Count.setText("Filesize: 1234 KB");
    settle();
    const QImage wider = underLabel();
    label->repaint();
    EXPECT_TRUE(underLabel() == wider);

    // A cover over the middle of the label, repainted around it: one that fills itself, and one that
    // only draws a mark and lets the label show around it.
    struct Mark : QWidget {
        using QWidget::QWidget;
        void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(QRect(0, 0, 4, 4), QColor(255, 0, 0)); }
    };
    int n = 0;
    for (bool opaque : {true, false}) {
        SCOPED_TRACE(opaque ? "opaque cover" : "transparent cover");
        QWidget* cover = opaque ? new QWidget(label->parentWidget()) : new Mark(label->parentWidget());
        cover->setGeometry(
            QRect(label->pos() + QPoint(label->width() / 3, 0), QSize(label->width() / 3, label->height())));
        if (opaque) {
            cover->setAutoFillBackground(true);
            QPalette red;
            red.setColor(QPalette::Window, QColor(255, 0, 0));
            cover->setPalette(red);
        }
        cover->show();
        cover->raise();
        settle();
        label->repaint();
        const QString text = QString("Filesize: %1 KB").arg(4321 + n++);
        win.Count.setText(text.toStdString());
        settle();
        EXPECT_EQ(label->text(), text);
        const QImage covered = shown->copy(QRect(cover->mapTo(top, QPoint()), cover->size()));
        if (opaque) {
            EXPECT_FALSE(hasText(covered)) << "the cover was painted over";
        }
        EXPECT_EQ(covered.pixel(0, 0) & 0xFFFFFF, 0xFF0000u) << "the cover was painted over";
        delete cover;
        settle();
    }
}

TEST_F(FormViewTest, CloseBoxAsksTheModel) {
    FormView* view = views->viewFor(win);
    bool allow = false;
    win.onCloseRequest = [&] { return allow; };
    view->close();
    EXPECT_TRUE(win.isVisible());
    EXPECT_TRUE(view->isVisible());

    allow = true;
    view->close();
    EXPECT_FALSE(win.isVisible()) << "the model learns the window went, so showing it again is a change";
    EXPECT_FALSE(view->isVisible());
    win.setVisible(true);
    EXPECT_TRUE(view->isVisible());
}

TEST_F(FormViewTest, EscapeClosesOnlyTheWindowsClosedThatWay) {
    FormView* view = views->viewFor(win);
    int asked = 0;
    win.onCloseRequest = [&] {
        ++asked;
        return true;
    };
    auto* box = widget<QLineEdit>(win.Text1);
    pressKey(box, Qt::Key_Escape);
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(view->isVisible());
    win.setClosesOnEscape(true);
    pressKey(box, Qt::Key_Escape);  // pressed in a box of the window, as it usually is
    EXPECT_EQ(asked, 1) << "the close box's way: the model is asked";
    EXPECT_FALSE(win.isVisible());
    EXPECT_FALSE(view->isVisible());
}

TEST_F(FormViewTest, ASliderShowsItsValueInItsToolTipAsItMoves) {
    auto* slider = widget<QSlider>(win.HScroll1);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->toolTip(), "50");
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // an arrow key
    EXPECT_EQ(slider->toolTip(), "51");
    slider->setSliderDown(true);  // a drag
    slider->setSliderPosition(80);
    EXPECT_EQ(slider->toolTip(), "80");
    slider->setSliderDown(false);
    win.HScroll1.setToolTip("Gain");
    win.HScroll1.setValue(10);
    EXPECT_EQ(slider->toolTip(), "Gain\n10");
}

TEST(ScreenPlace, AWindowOpensWithinTheScreenAndLeavesAFullScreenItNeverAskedFor) {
    testApp();
    TestWindow far;
    far.setPosition(-30000, 200000);  // settings from a larger screen
    ViewManager views({&far});
    far.setVisible(true);
    FormView* view = views.viewFor(far);
    ASSERT_NE(view, nullptr);
    const QRect avail = view->screen()->availableGeometry();
    EXPECT_TRUE(avail.contains(view->frameGeometry())) << "the frame, title bar and all, on the screen";

    // A window manager may show a fixed window it takes for a screen-sized one in full screen, its title
    // bar and close box gone: the window goes back to its own size.
    view->setWindowState(Qt::WindowFullScreen);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->isFullScreen());
}

TEST_F(FormViewTest, AFailingHandlerIsReportedOnceWhileItRepeats) {
    VirtualRuntime rt;
    win.Command1.onClick = [] { throw std::runtime_error("no host\r\nbye"); };
    testing::internal::CaptureStderr();
    for (int i = 0; i < 5; ++i) widget<QPushButton>(win.Command1)->click();
    rt.advance(61'000);
    widget<QPushButton>(win.Command1)->click();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR Command1: no host\\r\\nbye\n"
              "ERROR Command1: no host\\r\\nbye (repeated 4 times)\n"
              "ERROR Command1: no host\\r\\nbye\n")
        << "written once, the held repeats counted a minute on";
}

}  // namespace
