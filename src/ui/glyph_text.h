#pragma once
// Draws a line of text that changes many times a second (a status line's figures) from glyphs kept
// as it goes: each character's coverage, rendered once by the platform's own text drawing at each
// fraction of a pixel it comes to stand on, and each pair of characters' distance, measured once, are
// blended over an image the way the raster engine blends text. A change then costs a few small
// blends instead of laying the text out and going through the painter's glyph machinery, whose code
// is large enough to come cold from memory at every change.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRawFont>
#include <QRect>
#include <QString>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace tarnwick {

class GlyphText {
public:
    // Where and how the text is drawn: the font, the text's colour, the rectangle a widget style
    // draws a label's text into (contentsRect) and the label's alignment, with the layout direction
    // applied. Another setting starts afresh.
    void setStyle(const QFont& font, QColor colour, const QRect& rect, Qt::Alignment alignment);

    // Blends text over an opaque image of Format_RGB32, as QStyle::drawItemText draws it in the
    // rectangle set; false (the image untouched) for a text or a setting drawn otherwise: aligned
    // other than left, characters outside the simple ones, glyphs that join or come from another
    // font.
    bool draw(QImage& image, const QString& text);

    // Characters' coverages kept, for tests and limits.
    std::size_t glyphsKept() const { return masks_.size(); }

private:
    // A character's coverage at one fraction of a pixel: 0 .. 255 a pixel, placed relative to the
    // whole pixel the pen stands on. A width below 0: coverage per colour (sub-pixel text), which is
    // not blended here.
    struct Mask {
        int left = 0, top = 0, width = 0, height = 0;
        std::vector<std::uint8_t> coverage;
    };
    // A character's glyph in the font, and how far the pen moves after it when it stands last.
    struct Glyph {
        std::uint32_t index = 0;
        int advance = 0;  // 1/64 pixel
    };

    // Learns the glyphs of a text's characters and the distance from each to the next from one
    // layout of the whole text; false when the layout does not set them one glyph a character in the
    // font (a ligature, another form, a fallback font, another direction).
    bool learn(const QString& text);
    // Renders the missing coverages (character, fractions of a pixel) with one pass of the painter.
    void render(const std::vector<std::uint32_t>& missing);
    static std::uint32_t maskKey(char16_t c, int fractionX, int fractionY) {
        return std::uint32_t{c} << 12 | std::uint32_t(fractionX) << 6 | std::uint32_t(fractionY);
    }
    void blend(QImage& image, const Mask& mask, int x, int y) const;

    QFont font_;
    QRgb colour_ = 0;
    QRect rect_;
    Qt::Alignment alignment_;
    bool styled_ = false;
    // The line as the text layout sets it: its height and ascent, in 1/64 pixel; the font the glyphs
    // come from.
    int lineHeight_ = 0, ascent_ = 0;
    QRawFont rawFont_;
    std::unordered_map<char16_t, Glyph> glyphs_;
    std::unordered_map<std::uint32_t, int> pairs_;  // 1/64 pixel from a to b
    std::unordered_map<std::uint32_t, Mask> masks_;
    QString refused_;  // the last text that could not be learned
};

}  // namespace tarnwick
