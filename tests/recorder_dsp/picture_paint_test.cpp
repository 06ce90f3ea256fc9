// The Qt painter of the recorder's pictures: background, fills, lines and pixels land where the
// numbers say, in the right colours (red in the low byte).

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "recorder/dsp/draw.h"
#include "ui/picture_widget.h"

namespace tarnwick {
namespace {

QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

TEST(PicturePainter, PaintsBackgroundFillsLinesAndPixels) {
    Picture picture("picVUL", 40, 20, rgbColour(24, 31, 44));
    picture.fillRect(0, 0, 10, 20, rgbColour(255, 0, 0));
    picture.setPen(rgbColour(0, 0, 255));
    picture.moveTo(20, 5);
    picture.lineTo(30, 5);
    picture.setPen(rgbColour(0, 255, 0));
    picture.setPixel(35, 15);

    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paintPicture(painter, picture);
    }
    EXPECT_EQ(at(image, 0, 0), 0xFF0000u);
    EXPECT_EQ(at(image, 9, 19), 0xFF0000u);
    EXPECT_EQ(at(image, 10, 0), qRgb(24, 31, 44) & 0xFFFFFFu);  // right edge excluded
    EXPECT_EQ(at(image, 25, 5), 0x0000FFu);
    EXPECT_EQ(at(image, 25, 6), qRgb(24, 31, 44) & 0xFFFFFFu);
    EXPECT_EQ(at(image, 35, 15), 0x00FF00u);
}

TEST(PicturePainter, ASpectrumPaintsItsBars) {
    Picture picture("picFreq", 100, 50);
    std::vector<std::int16_t> tone(1024);
    for (int i = 0; i < 1024; ++i) tone[i] = static_cast<std::int16_t>(std::lrint(32767 * std::sin(2 * M_PI * 12 * i / 1024)));
    clsDraw draw;
    draw.DrawFrequencies(tone, picture);
    QImage image(100, 50, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        paintPicture(painter, picture);
    }
    EXPECT_EQ(at(image, 13, 10), qRgb(255, 255, 50) & 0xFFFFFFu);  // bar 2, full
    EXPECT_EQ(at(image, 15, 10), 0u);                               // the gap after it
}

}  // namespace
}  // namespace tarnwick

#include <QApplication>


namespace tarnwick {
namespace {

QApplication& offscreenApp() {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tarnwick_recorder_dsp_tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *app;
}

TEST(PicturePainter, TheWidgetShowsItsPictureAsItIsDrawn) {
    offscreenApp();
    Picture picAmpl("picAmpl", 60, 30);
    auto widget = std::make_unique<PictureWidget>(picAmpl);
    EXPECT_EQ(widget->size(), QSize(60, 30));

    std::vector<std::int16_t> loud(5120, 32767);
    clsDraw draw;
    draw.DrawAmplitudes(loud, picAmpl);
    QImage shot = widget->grab().toImage();
    EXPECT_EQ(at(shot, 30, 2), 0u);              // black above the trace
    EXPECT_EQ(at(shot, 30, 28), 0xFFFFFFu);      // full positive: mid + (mid - 2), white
    std::vector<std::int16_t> quiet(5120, 0);
    draw.DrawAmplitudes(quiet, picAmpl);
    shot = widget->grab().toImage();
    EXPECT_EQ(at(shot, 30, 28), 0u);
    EXPECT_EQ(at(shot, 30, 15), 0xFFFFFFu);
}

// A display redrawn every tick costs a repaint only when it looks different: the same drawing again
// paints nothing, a changed one is painted by the next pass of the loop.
TEST(PicturePainter, TheWidgetRepaintsOnlyWhenThePictureLooksDifferent) {
    offscreenApp();
    Picture picVUL("picVUL", 40, 10);
    PictureWidget widget(picVUL);
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    widget.installEventFilter(&counter);
    widget.show();
    auto settle = [] {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    };
    auto bar = [&](int width, Colour colour) {
        picVUL.clear();
        picVUL.fillRect(0, 0, width, 10, colour);
    };
    bar(20, rgbColour(0, 255, 0));
    settle();
    const int first = counter.paints;
    ASSERT_GE(first, 1);
    EXPECT_EQ(at(widget.grab().toImage(), 19, 5), 0x00FF00u);
    const int grabbed = counter.paints;

    bar(20, rgbColour(0, 255, 0));
    settle();
    EXPECT_EQ(counter.paints, grabbed) << "the same bar again";

    bar(30, rgbColour(255, 0, 0));
    settle();
    EXPECT_EQ(counter.paints, grabbed + 1);
    EXPECT_EQ(at(widget.grab().toImage(), 25, 5), 0xFF0000u);
}

}  // namespace
}  // namespace tarnwick

#include <QComboBox>
#include <QDialog>
#include <QTimer>

#include "recorder/codecs.h"
#include "ui/format_chooser.h"

namespace tarnwick {
namespace {

// Runs fn on the chooser once it is up.
void whenChooserShows(std::function<void(QDialog&)> fn) {
    QTimer::singleShot(0, [fn] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fn(*dialog);
    });
}

TEST(FormatChooserDialog, ShowsTagsAndTheirFormatsAndReturnsThePick) {
    offscreenApp();
    const auto choices = CodecRegistry().choicesFor(8000, 1);
    int current = -1;
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].tagName == "CCITT u-Law" && choices[i].format.channels == 2) current = static_cast<int>(i);
    ASSERT_GE(current, 0);

    QString title, shownTag, shownFormat;
    whenChooserShows([&](QDialog& dialog) {
        title = dialog.windowTitle();
        const auto boxes = dialog.findChildren<QComboBox*>();
        ASSERT_EQ(boxes.size(), 2);
        shownTag = boxes[0]->currentText();
        shownFormat = boxes[1]->currentText();
        boxes[0]->setCurrentIndex(boxes[0]->findText("IMA ADPCM"));
        dialog.accept();
    });
    const int picked = chooseWaveFormat(nullptr, choices, current, "Select WAV output format");
    EXPECT_EQ(title, "Select WAV output format");
    EXPECT_EQ(shownTag, "CCITT u-Law");  // the held format comes preselected
    EXPECT_EQ(shownFormat, "8.000 kHz, 8 Bit, Stereo");
    ASSERT_GE(picked, 0);
    EXPECT_EQ(choices[picked].tagName, "IMA ADPCM");

    whenChooserShows([](QDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(chooseWaveFormat(nullptr, choices, current, "Select WAV output format"), -1);
}

}  // namespace
}  // namespace tarnwick
