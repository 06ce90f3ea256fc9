// The tool windows as the generic view renders them: each fits a 1024 x 768 screen, boxes are as wide
// as what they hold, and the player's progress scale stands under its bar.

#include <gtest/gtest.h>

#include <set>

// The host's headers first: Qt defines "emit" as a word of its own.
#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"
#include "conference/station_info.h"
#include "download/downloader.h"
#include "player/news_player.h"
#include "shell/toolset.h"
#include "speech/dtmf_help.h"
#include "speech/speech_tool.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QSlider>

#include "ui/form_view.h"
#include "ui/test_app.h"
#include "ui/view_manager.h"

namespace tarnwick {
namespace {

class ToolWindows : public ::testing::Test {
protected:
    ToolWindows() { testApp(); }
    VirtualRuntime rt;
    LocalHostTransport host{rt};
    HostHub hub{rt, host};
    ToolRegistry tools;
    testing::TempDir tmp;
    ToolContext ctx{rt, hub, tools, tmp.path()};
    Toolset toolset{ctx, Backends{}};
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

TEST_F(ToolWindows, ThePlayersScaleStandsUnderItsSeekBar) {
    Tool* player = tools.find("Form1");
    ASSERT_NE(player, nullptr);
    FormView view(*player);
    view.resize(view.sizeHint());
    view.show();
    auto* bar = qobject_cast<QSlider*>(view.widgetFor(static_cast<Form1*>(player)->H1));
    ASSERT_NE(bar, nullptr);
    QLabel* marks[3] = {captionLabel(view, "0%"), captionLabel(view, "50%"), captionLabel(view, "100%")};
    for (QLabel* m : marks) ASSERT_NE(m, nullptr);
    auto x = [&view](QWidget* w, double at) { return w->mapTo(&view, QPoint(0, 0)).x() + at * w->width(); };
    const double tolerance = 0.05 * bar->width();
    EXPECT_NEAR(x(marks[0], 0), x(bar, 0), tolerance) << "0% under the start";
    EXPECT_NEAR(x(marks[1], 0.5), x(bar, 0.5), tolerance) << "50% under the middle";
    EXPECT_NEAR(x(marks[2], 1), x(bar, 1), tolerance) << "100% under the end";
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
