// The Qt painter of the recorder's pictures: background, fills, lines and pixels land where the
// numbers say, in the right colours (red in the low byte).

#include <gtest/gtest.h>

#include <functional>

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

// The image a picture widget paints 1:1 is drawn without the painter: every pixel must be the one
// the painter sets on a window's image (the picture somewhere inside it, clipped to its place), for
// the displays as the recorder draws them and for any fills, pixels and lines (steep, flat,
// backwards, leaving the picture), wherever the picture stands in the window.
TEST(PicturePainter, TheDrawnImageIsThePaintersPixelForPixel) {
    auto painted = [](const Picture& picture, QPoint origin, QSize device) {
        QImage image(device, QImage::Format_RGB32);
        image.fill(qRgb(1, 2, 3));
        QPainter painter(&image);
        painter.translate(origin);
        paintPicture(painter, picture);
        painter.end();
        return image.copy(QRect(origin, QSize(int(picture.scaleWidth()), int(picture.scaleHeight()))));
    };
    auto expectSame = [&](const Picture& picture, const std::string& what) {
        QImage drawn;
        renderPicture(drawn, picture);
        for (const auto& [origin, device] : {std::pair{QPoint(64, 64), QSize(300, 230)}, std::pair{QPoint(101, 77), QSize(400, 250)}}) {
            const QImage expected = painted(picture, origin, device);
            ASSERT_EQ(drawn.size(), expected.size()) << what;
            for (int y = 0; y < drawn.height(); ++y)
                for (int x = 0; x < drawn.width(); ++x)
                    ASSERT_EQ(drawn.pixel(x, y), expected.pixel(x, y)) << what << " at " << x << "," << y << " from " << origin.x();
        }
    };

    clsDraw draw;
    Picture ampl("picAmpl", 100, 60), freq("picFreq", 100, 60), bar("picVUL", 200, 12), curve("picEQ", 180, 90);
    std::uint32_t state = 7;
    auto next = [&](int below) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<std::uint32_t>(below));
    };
    for (int round = 0; round < 20; ++round) {
        std::vector<std::int16_t> samples(5120);
        const int loud = 1 + next(32767);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(std::lrint(loud * std::sin(i * (0.01 + round * 0.03))) - next(2000) + 1000);
        draw.DrawAmplitudes(samples, ampl);
        expectSame(ampl, "trace " + std::to_string(round));
        draw.DrawFrequencies(samples, freq);
        expectSame(freq, "spectrum " + std::to_string(round));
        bar.clear();
        bar.fillRect(0, 0, next(400), 12, GradientColour(1, next(1000) / 1000.0f, rgbColour(0, 255, 0),
                                                         rgbColour(225, 168, 34), rgbColour(255, 0, 0)));
        expectSame(bar, "level bar " + std::to_string(round));
        std::vector<int> sliders(7);
        for (int& v : sliders) v = next(25) - 12;
        DrawEqualizerCurve(curve, sliders);
        expectSame(curve, "equalizer curve " + std::to_string(round));
    }

    Picture any("pic", 120, 70, rgbColour(24, 31, 44));
    for (int round = 0; round < 200; ++round) {
        any.clear();
        for (int op = next(12); op > 0; --op) {
            const Colour c = rgbColour(next(256), next(256), next(256));
            switch (next(3)) {
            case 0:
                any.fillRect(next(160) - 20, next(110) - 20, next(160) - 20, next(110) - 20, c);
                break;
            case 1:
                any.setPen(c);
                any.setPixel(next(130) - 5, next(80) - 5);
                break;
            default:
                any.setPen(c);
                any.moveTo(next(120), next(70));
                // Mostly inside, now and then out over an edge.
                for (int n = next(6); n >= 0; --n) any.lineTo(next(round % 10 == 0 ? 200 : 120) - (round % 10 == 0 ? 40 : 0), next(70));
                break;
            }
        }
        expectSame(any, "random picture " + std::to_string(round));
    }

    // A line reaching far beyond the picture is the painter's to draw: it crosses the picture.
    any.clear();
    any.setPen(rgbColour(255, 255, 255));
    any.moveTo(-5000, 20);
    any.lineTo(5000, 20);
    QImage far;
    renderPicture(far, any);
    EXPECT_EQ(at(far, 0, 20), 0xFFFFFFu);
    EXPECT_EQ(at(far, 119, 20), 0xFFFFFFu);
    EXPECT_EQ(at(far, 60, 21), qRgb(24, 31, 44) & 0xFFFFFFu);
}

}  // namespace
}  // namespace tarnwick

#include <QApplication>
#include <QBackingStore>


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

// What the window shows: its backing store, the image the loop's painting goes to.
QImage* shownImage(QWidget& window) {
    QPaintDevice* device = window.backingStore() ? window.backingStore()->paintDevice() : nullptr;
    return device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
}

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// A display redrawn every tick costs a repaint only when it looks different: the same drawing again
// paints nothing (what the window shows stays as it is, even scribbled over), a changed one reaches
// the window in the next pass of the loop.
TEST(PicturePainter, TheWidgetRepaintsOnlyWhenThePictureLooksDifferent) {
    offscreenApp();
    Picture picVUL("picVUL", 40, 10);
    PictureWidget widget(picVUL);
    widget.show();
    settle();
    QImage* shown = shownImage(widget);
    if (!shown) GTEST_SKIP() << "the platform's backing store is not an image";
    auto bar = [&](int width, Colour colour) {
        picVUL.clear();
        picVUL.fillRect(0, 0, width, 10, colour);
        settle();
    };
    bar(20, rgbColour(0, 255, 0));
    EXPECT_EQ(at(*shown, 19, 5), 0x00FF00u);
    EXPECT_EQ(at(*shown, 20, 5), 0u);

    shown->setPixel(5, 5, qRgb(255, 0, 255));
    bar(20, rgbColour(0, 255, 0));
    EXPECT_EQ(at(*shown, 5, 5), 0xFF00FFu) << "the same bar again was painted";

    bar(30, rgbColour(255, 0, 0));
    EXPECT_EQ(at(*shown, 5, 5), 0xFF0000u);
    EXPECT_EQ(at(*shown, 29, 5), 0xFF0000u);
    EXPECT_EQ(at(*shown, 30, 5), 0u);

    // Drawn straight into the window, the picture is painted the same when the window paints it.
    const QImage direct = shown->copy(QRect(0, 0, 40, 10));
    shown->fill(qRgb(255, 0, 255));
    widget.repaint();
    EXPECT_TRUE(shown->copy(QRect(0, 0, 40, 10)) == direct) << "the window's paint shows another picture";
}

// A red widget that fills itself, to lie over a picture.
QWidget* redCover(QWidget& parent, const QRect& geometry) {
    auto* cover = new QWidget(&parent);
    cover->setGeometry(geometry);
    cover->setAutoFillBackground(true);
    QPalette red;
    red.setColor(QPalette::Window, QColor(255, 0, 0));
    cover->setPalette(red);
    return cover;
}

// Shows the window with the picture drawn all green; what the window shows, or null when its backing
// store is not an image.
QImage* showDrawnGreen(QWidget& window, Picture& picture) {
    window.show();
    settle();
    QImage* shown = shownImage(window);
    if (!shown) return nullptr;
    picture.fillRect(0, 0, static_cast<int>(picture.scaleWidth()), static_cast<int>(picture.scaleHeight()),
                     rgbColour(0, 255, 0));
    settle();
    return shown;
}

// A picture that is partly covered, hidden or scrolled out of view is painted by the window's own
// machinery, which paints only what shows of it; once in view again it shows the latest drawing.
TEST(PicturePainter, APictureOnlyPartlyInViewLeavesWhatCoversItAlone) {
    offscreenApp();
    QWidget window;
    window.resize(60, 20);
    Picture picVUL("picVUL", 40, 10);
    auto* widget = new PictureWidget(picVUL, &window);
    widget->move(0, 0);
    redCover(window, QRect(30, 0, 10, 10))->raise();
    QImage* shown = showDrawnGreen(window, picVUL);
    if (!shown) GTEST_SKIP() << "the platform's backing store is not an image";
    EXPECT_EQ(at(*shown, 10, 5), 0x00FF00u);
    EXPECT_EQ(at(*shown, 35, 5), 0xFF0000u) << "the cover was painted over";

    widget->hide();
    picVUL.clear();
    picVUL.fillRect(0, 0, 10, 10, rgbColour(0, 0, 255));
    settle();
    EXPECT_NE(at(*shown, 5, 5), 0x0000FFu) << "a hidden picture was painted";
    widget->show();
    settle();
    EXPECT_EQ(at(*shown, 5, 5), 0x0000FFu);
    EXPECT_EQ(at(*shown, 15, 5), 0u);
    EXPECT_EQ(at(*shown, 35, 5), 0xFF0000u);
}

// Whether a picture is in full view is asked once and kept while its window stays as it is; a cover
// that comes over the picture later, however it comes, is left alone from the next drawing on.
TEST(PicturePainter, ACoverThatComesLaterIsLeftAlone) {
    offscreenApp();
    struct Case {
        const char* name;
        std::function<void(QWidget& cover)> arrange;  // before the picture is first shown
        std::function<void(QWidget& cover)> bring;    // then brings the cover over it
    };
    const Case cases[] = {
        {"shown", [](QWidget& c) { c.hide(); }, [](QWidget& c) { c.show(); }},
        {"raised", [](QWidget& c) { c.lower(); }, [](QWidget& c) { c.raise(); }},
        {"moved", [](QWidget& c) { c.move(45, 0); }, [](QWidget& c) { c.move(30, 0); }},
        {"grown", [](QWidget& c) { c.setGeometry(50, 0, 10, 10); }, [](QWidget& c) { c.setGeometry(30, 0, 30, 10); }},
    };
    for (bool nested : {false, true})
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.name) + (nested ? " over the picture's parent" : ""));
        QWidget window;
        window.resize(60, 20);
        // The cover comes over the picture itself or over the widget that holds it.
        QWidget* holder = &window;
        if (nested) {
            holder = new QWidget(&window);
            holder->setGeometry(0, 0, 60, 20);
        }
        Picture picVUL("picVUL", 40, 10);
        auto* widget = new PictureWidget(picVUL, holder);
        widget->move(0, 0);
        QWidget* cover = redCover(window, QRect(30, 0, 10, 10));
        k.arrange(*cover);
        QImage* shown = showDrawnGreen(window, picVUL);
        if (!shown) GTEST_SKIP() << "the platform's backing store is not an image";
        ASSERT_EQ(at(*shown, 35, 5), 0x00FF00u) << "the picture was not shown in full";

        k.bring(*cover);
        picVUL.clear();
        picVUL.fillRect(0, 0, 40, 10, rgbColour(0, 0, 255));
        settle();
        EXPECT_EQ(at(*shown, 10, 5), 0x0000FFu);
        EXPECT_EQ(at(*shown, 35, 5), 0xFF0000u) << "the cover was painted over";
    }
}

// Where a picture stands in its window is kept from drawing to drawing; once it or a widget that
// holds it moves, its drawings go to its new place.
TEST(PicturePainter, AMovedPictureIsDrawnWhereItNowStands) {
    offscreenApp();
    for (bool holderMoves : {false, true}) {
        SCOPED_TRACE(holderMoves ? "its parent moved" : "the picture moved");
        QWidget window;
        window.resize(80, 30);
        auto* holder = new QWidget(&window);
        holder->setGeometry(0, 0, 60, 20);
        Picture picVUL("picVUL", 40, 10);
        auto* widget = new PictureWidget(picVUL, holder);
        widget->move(0, 0);
        QImage* shown = showDrawnGreen(window, picVUL);
        if (!shown) GTEST_SKIP() << "the platform's backing store is not an image";
        ASSERT_EQ(at(*shown, 5, 5), 0x00FF00u);

        if (holderMoves) {
            holder->move(15, 8);
        } else {
            widget->move(15, 8);
        }
        settle();
        picVUL.clear();
        picVUL.fillRect(0, 0, 40, 10, rgbColour(0, 0, 255));
        settle();
        EXPECT_EQ(at(*shown, 16, 9), 0x0000FFu);
        EXPECT_EQ(at(*shown, 54, 17), 0x0000FFu);
        EXPECT_NE(at(*shown, 5, 5), 0x0000FFu) << "drawn where the picture stood before";
    }
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
