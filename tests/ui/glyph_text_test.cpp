// Text drawn from kept glyphs: pixel for pixel what the widget style draws, or not at all.

#include "ui/glyph_text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QStyle>

#include "ui/test_app.h"

using namespace tarnwick;

namespace {

// The application comes before any widget.
struct WithApp {
    WithApp() { testApp(); }
};

struct GlyphTextTest : ::testing::Test, WithApp {

    // A window's grey with a darker band, so blending over more than one colour is seen.
    static QImage background() {
        QImage image(220, 26, QImage::Format_RGB32);
        image.fill(QColor(239, 239, 239));
        QPainter(&image).fillRect(0, 14, 220, 12, QColor(40, 90, 160));
        return image;
    }
    QImage styled(const QString& text, Qt::Alignment align) {
        QImage image = background();
        QPainter painter(&image);
        label.style()->drawItemText(&painter, rect, static_cast<int>(align), label.palette(), true, text,
                                    QPalette::WindowText);
        return image;
    }

    QLabel label;
    const QRect rect{3, 2, 200, 19};
};

TEST_F(GlyphTextTest, StatusTextsComeOutAsTheStyleDrawsThem) {
    const QString texts[] = {
        "Filesize: 0 Bytes", "Filesize: 10 KB", "Filesize: 1023 KB", "Filesize: 1.2 MB", "Filesize: 987.6 GB",
        "Length: 0:00",      "Length: 12:59",   "Length: 1234:05",   "WAVAV To Ty.",     "caf\u00e9 \u00bd \u00e6",
    };
    for (Qt::Alignment align : {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignLeft | Qt::AlignTop,
                                Qt::AlignLeft | Qt::AlignBottom, Qt::Alignment(Qt::AlignLeft)}) {
        GlyphText glyphs;
        glyphs.setStyle(label.font(), label.palette().color(QPalette::WindowText), rect, align);
        for (const QString& text : texts) {
            SCOPED_TRACE(text.toStdString() + " aligned " + std::to_string(align.toInt()));
            QImage drawn = background();
            ASSERT_TRUE(glyphs.draw(drawn, text));
            EXPECT_TRUE(drawn == styled(text, align)) << "the kept glyphs differ from the style's drawing";
        }
    }
}

// What the glyphs cannot draw as the style would is left to the style, the image untouched: joined
// glyphs, characters from other fonts or of another direction, line breaks, another alignment, a
// text too long for its place.
TEST_F(GlyphTextTest, WhatTheGlyphsCannotDrawIsLeftToTheStyle) {
    struct Case {
        QString text;
        Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    };
    const Case cases[] = {
        {"Length:\t0:03"},
        {"two\nlines"},
        {"\u0416\u0443\u043a"},
        {"\u05e9\u05dc\u05d5\u05dd"},
        {"Filesize: 10 KB", Qt::AlignRight | Qt::AlignVCenter},
        {"Filesize: 10 KB", Qt::AlignHCenter | Qt::AlignVCenter},
        {QString(60, 'W')},
    };
    GlyphText glyphs;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text.toStdString());
        glyphs.setStyle(label.font(), label.palette().color(QPalette::WindowText), rect, k.align);
        QImage drawn = background();
        EXPECT_FALSE(glyphs.draw(drawn, k.text));
        EXPECT_TRUE(drawn == background());
    }
    // A ligature, where the font has one, is drawn by the style too; the text without it is not.
    glyphs.setStyle(label.font(), label.palette().color(QPalette::WindowText), rect, Qt::AlignLeft);
    QImage drawn = background();
    if (glyphs.draw(drawn, "office fluff")) {
        EXPECT_TRUE(drawn == styled("office fluff", Qt::AlignLeft));
    }
}

// Glyphs are rendered once: a text drawn again, or a text of the same characters on the same
// fractions of a pixel, renders none.
TEST_F(GlyphTextTest, ATextDrawnAgainRendersNoGlyph) {
    GlyphText glyphs;
    glyphs.setStyle(label.font(), label.palette().color(QPalette::WindowText), rect, Qt::AlignLeft | Qt::AlignVCenter);
    QImage drawn = background();
    ASSERT_TRUE(glyphs.draw(drawn, "Filesize: 1234 KB"));
    const std::size_t kept = glyphs.glyphsKept();
    EXPECT_GT(kept, 0u);
    for (int i = 0; i < 100; ++i) {
        drawn = background();
        ASSERT_TRUE(glyphs.draw(drawn, "Filesize: 1234 KB"));
    }
    EXPECT_EQ(glyphs.glyphsKept(), kept);
    // Another colour or place keeps the glyphs; another font starts afresh.
    glyphs.setStyle(label.font(), QColor(200, 0, 0), rect.translated(0, 1), Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(glyphs.glyphsKept(), kept);
    QFont bigger = label.font();
    bigger.setPointSize(bigger.pointSize() + 3);
    glyphs.setStyle(bigger, QColor(200, 0, 0), rect, Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(glyphs.glyphsKept(), 0u);
}

}  // namespace
