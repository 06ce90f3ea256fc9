#include "ui/glyph_text.h"

#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

// Characters that stand alone, left to right, in any font that has them.
bool plainCharacter(char16_t c) { return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF); }

int sixtyFourths(qreal v) { return static_cast<int>(std::lround(v * 64)); }

// Each byte of a pixel times a coverage, rounded as the raster engine rounds it (two bytes at once).
inline std::uint32_t byteMul(std::uint32_t x, std::uint32_t a) {
    std::uint32_t t = (x & 0xFF00FF) * a;
    t = ((t + ((t >> 8) & 0xFF00FF) + 0x800080) >> 8) & 0xFF00FF;
    x = ((x >> 8) & 0xFF00FF) * a;
    x = (x + ((x >> 8) & 0xFF00FF) + 0x800080) & 0xFF00FF00;
    return x | t;
}

constexpr std::size_t kMostMasks = 8192;

// Every digit followed by every digit: 00 01 02 ... 98 99, without blanks.
QString everyPairOfDigits() {
    QString out;
    for (char16_t a = u'0'; a <= u'9'; ++a)
        for (char16_t b = u'0'; b <= u'9'; ++b) {
            out += QChar(a);
            out += QChar(b);
        }
    return out;
}

}  // namespace

void GlyphText::setStyle(const QFont& font, QColor colour, const QRect& rect, Qt::Alignment alignment) {
    const QRgb rgb = colour.rgb();
    if (styled_ && font == font_ && rgb == colour_ && rect == rect_ && alignment == alignment_) return;
    if (!styled_ || font != font_) {
        font_ = font;
        glyphs_.clear();
        pairs_.clear();
        masks_.clear();
        refused_.clear();
        // The line's height and ascent as the layout of a label's text sets them, and the font its
        // glyphs come from.
        QTextLayout probe(QStringLiteral("0"), font_);
        probe.beginLayout();
        QTextLine line = probe.createLine();
        line.setLineWidth(1e6);
        probe.endLayout();
        lineHeight_ = sixtyFourths(line.height());
        ascent_ = sixtyFourths(line.ascent());
        const QList<QGlyphRun> runs = probe.glyphRuns();
        rawFont_ = runs.size() == 1 ? runs.front().rawFont() : QRawFont();
        // Figures change most: every digit beside every other is learnt from one layout now, rather
        // than a layout for each new pair as the figures come.
        learn(everyPairOfDigits());
    }
    colour_ = rgb;
    rect_ = rect;
    alignment_ = alignment;
    styled_ = true;
}

bool GlyphText::learn(const QString& text) {
    if (!rawFont_.isValid()) return false;
    QTextLayout layout(text, font_);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() != 1 || runs.front().rawFont().familyName() != rawFont_.familyName()) return false;
    const QList<quint32> indexes = runs.front().glyphIndexes();
    const QList<QPointF> positions = runs.front().positions();
    if (indexes.size() != text.size() || positions.size() != text.size()) return false;
    // A character must keep its glyph wherever it stands.
    for (qsizetype i = 0; i < text.size(); ++i) {
        auto known = glyphs_.find(text[i].unicode());
        if (known != glyphs_.end() && known->second.index != indexes[i]) return false;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!glyphs_.count(c)) {
            const QList<QPointF> advance = rawFont_.advancesForGlyphIndexes(QList<quint32>{indexes[i]});
            glyphs_.emplace(c, Glyph{indexes[i], advance.size() == 1 ? sixtyFourths(advance.front().x()) : 0});
        }
        if (i + 1 < text.size())
            pairs_[std::uint32_t{c} << 16 | text[i + 1].unicode()] = sixtyFourths(positions[i + 1].x() - positions[i].x());
    }
    return true;
}

void GlyphText::render(const std::vector<std::uint32_t>& missing) {
    // White on black, each glyph in a cell of its own: each pixel's grey is the coverage there.
    const int margin = (lineHeight_ >> 6) + 2;
    const int baseline = margin + (ascent_ + 63) / 64;
    const int height = (lineHeight_ >> 6) + 2 * margin + 1;
    std::vector<int> cells;  // each cell's left edge, and the end
    int width = 0;
    for (std::uint32_t key : missing) {
        cells.push_back(width);
        width += glyphs_[static_cast<char16_t>(key >> 12)].advance / 64 + 2 * margin + 1;
    }
    cells.push_back(width);
    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(0xFF000000u);
    QGlyphRun run;
    run.setRawFont(rawFont_);
    QList<quint32> indexes;
    QList<QPointF> positions;
    for (std::size_t k = 0; k < missing.size(); ++k) {
        indexes.push_back(glyphs_[static_cast<char16_t>(missing[k] >> 12)].index);
        positions.push_back(QPointF(cells[k] + margin + ((missing[k] >> 6) & 63) / 64.0,
                                    baseline + (missing[k] & 63) / 64.0));
    }
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    {
        QPainter painter(&canvas);
        painter.setPen(QColor(255, 255, 255));
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
    for (std::size_t k = 0; k < missing.size(); ++k) {
        int left = cells[k + 1], top = height, right = -1, bottom = -1;
        bool grey = true;
        for (int y = 0; y < height; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
            for (int x = cells[k]; x < cells[k + 1]; ++x) {
                const QRgb p = line[x];
                if ((p & 0xFFFFFF) == 0) continue;
                grey = grey && qRed(p) == qGreen(p) && qGreen(p) == qBlue(p);
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
        Mask m;
        if (!grey) {
            m.width = -1;
        } else if (right >= 0) {
            m.left = left - cells[k] - margin;
            m.top = top - baseline;
            m.width = right - left + 1;
            m.height = bottom - top + 1;
            m.coverage.resize(static_cast<std::size_t>(m.width) * static_cast<std::size_t>(m.height));
            for (int y = 0; y < m.height; ++y) {
                const auto* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(top + y));
                for (int x = 0; x < m.width; ++x)
                    m.coverage[static_cast<std::size_t>(y * m.width + x)] = static_cast<std::uint8_t>(qGreen(line[left + x]));
            }
        }
        masks_.emplace(missing[k], std::move(m));
    }
}

void GlyphText::blend(QImage& image, const Mask& m, int x, int y) const {
    // The text's colour at each coverage, as the raster engine blends it over an opaque pixel.
    const std::uint32_t colour = colour_ | 0xFF000000u;
    const int x0 = std::max(x + m.left, 0), x1 = std::min(x + m.left + m.width, image.width());
    const int y0 = std::max(y + m.top, 0), y1 = std::min(y + m.top + m.height, image.height());
    for (int py = y0; py < y1; ++py) {
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(py));
        const std::uint8_t* coverage = m.coverage.data() + static_cast<std::ptrdiff_t>(py - y - m.top) * m.width;
        for (int px = x0; px < x1; ++px) {
            const std::uint32_t a = coverage[px - x - m.left];
            if (a == 0) continue;
            line[px] = a == 255 ? colour : byteMul(colour, a) + byteMul(line[px], 255 - a);
        }
    }
}

bool GlyphText::draw(QImage& image, const QString& text) {
    if (!styled_ || image.format() != QImage::Format_RGB32) return false;
    if ((alignment_ & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute) & ~Qt::AlignLeft) return false;
    if (text.isEmpty()) return true;
    bool known = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!plainCharacter(c)) return false;
        if (!glyphs_.count(c) || (i + 1 < text.size() && !pairs_.count(std::uint32_t{c} << 16 | text[i + 1].unicode())))
            known = false;
    }
    if (!known) {
        if (text == refused_) return false;
        if (!learn(text)) {
            refused_ = text;
            return false;
        }
    }
    // Where the pen stands for each character, in 1/64 pixel.
    std::vector<int> pens;
    pens.reserve(static_cast<std::size_t>(text.size()));
    int pen = rect_.x() * 64;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        pens.push_back(pen);
        pen += i + 1 < text.size() ? pairs_[std::uint32_t{c} << 16 | text[i + 1].unicode()] : glyphs_[c].advance;
    }
    // The line stands in the rectangle as the label's alignment puts it; a text that does not fit
    // would be clipped, which is left to the painter.
    const qreal lineHeight = lineHeight_ / 64.0;
    qreal top = 0;
    if (alignment_ & Qt::AlignBottom)
        top = rect_.height() - lineHeight;
    else if (alignment_ & Qt::AlignVCenter)
        top = (rect_.height() - lineHeight) / 2;
    if (pen - rect_.x() * 64 > rect_.width() * 64 || top < 0 || top + lineHeight > rect_.height()) return false;
    const int y = sixtyFourths(rect_.y() + top + ascent_ / 64.0);
    // A text of many changing characters must not grow the store for ever.
    if (masks_.size() > kMostMasks) masks_.clear();
    std::vector<std::uint32_t> missing;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const std::uint32_t key = maskKey(text[i].unicode(), pens[static_cast<std::size_t>(i)] & 63, y & 63);
        if (!masks_.count(key) && std::find(missing.begin(), missing.end(), key) == missing.end()) missing.push_back(key);
    }
    if (!missing.empty()) render(missing);
    std::vector<const Mask*> masks;
    masks.reserve(pens.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        masks.push_back(&masks_[maskKey(text[i].unicode(), pens[static_cast<std::size_t>(i)] & 63, y & 63)]);
        if (masks.back()->width < 0) return false;
    }
    for (std::size_t i = 0; i < masks.size(); ++i)
        if (masks[i]->width > 0) blend(image, *masks[i], pens[i] >> 6, y >> 6);
    return true;
}

}  // namespace tarnwick
