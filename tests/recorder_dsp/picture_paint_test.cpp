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
