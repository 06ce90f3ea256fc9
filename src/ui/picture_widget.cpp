#include "ui/picture_widget.h"

#include <algorithm>
#include <functional>
#include <map>
#include <utility>

#include <QAbstractEventDispatcher>
#include <QBackingStore>
#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QVarLengthArray>
#include <QWindow>

namespace tarnwick {

namespace {

QColor colourOf(Colour c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

}  // namespace

void paintPicture(QPainter& painter, const Picture& picture) {
    const int w = static_cast<int>(picture.scaleWidth());
    const int h = static_cast<int>(picture.scaleHeight());
    painter.save();
    // Drawing stays inside the picture (a level bar's rectangle reaches past its right edge); a
    // widget of the picture's size clips there by itself.
    const QPaintDevice* device = painter.device();
    if (!device || device->width() > w || device->height() > h) painter.setClipRect(0, 0, w, h);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // A first fill that covers the whole picture (the trace's black) stands for the background.
    const auto& ops = picture.ops();
    const bool covered = !ops.empty() && ops.front().kind == PictureOp::Kind::Fill && ops.front().x1 <= 0 &&
                         ops.front().y1 <= 0 && ops.front().x2 >= w && ops.front().y2 >= h;
    if (!covered) painter.fillRect(0, 0, w, h, colourOf(picture.background()));
    // Lines of one colour in a row (a trace, a curve's stretch) go to the painter together, and the
    // pen changes only with the colour.
    QVarLengthArray<QLine, 256> lines;
    Colour linesColour = 0;
    bool penSet = false;
    Colour penColour = 0;
    auto usePen = [&](Colour c) {
        if (penSet && penColour == c) return;
        painter.setPen(QPen(colourOf(c), 0));
        penSet = true;
        penColour = c;
    };
    auto drawLines = [&] {
        if (lines.isEmpty()) return;
        usePen(linesColour);
        painter.drawLines(lines.constData(), static_cast<int>(lines.size()));
        lines.clear();
    };
    for (const PictureOp& op : ops) {
        if (op.kind == PictureOp::Kind::Line) {
            if (!lines.isEmpty() && op.colour != linesColour) drawLines();
            linesColour = op.colour;
            lines.append(QLine(op.x1, op.y1, op.x2, op.y2));
            continue;
        }
        drawLines();
        if (op.kind == PictureOp::Kind::Fill) {
            painter.fillRect(QRect(op.x1, op.y1, op.x2 - op.x1, op.y2 - op.y1), colourOf(op.colour));
        } else {
            usePen(op.colour);
            painter.drawPoint(op.x1, op.y1);
        }
    }
    drawLines();
    painter.restore();
    picture.painted();
}

namespace {

// The pixels the platform's line drawing sets for a line from (0, 0) to (dx, dy), as offsets from
// its start. Lines of whole pixels come out the same wherever they start, so each shape is drawn by
// the painter once, into a scratch image, and stamped from then on.
const std::vector<std::pair<int, int>>& lineShape(int dx, int dy) {
    static std::map<std::pair<int, int>, std::vector<std::pair<int, int>>> shapes;
    auto found = shapes.find({dx, dy});
    if (found != shapes.end()) return found->second;
    // A curve of many segments draws a handful of shapes; a pathological picture must not grow the
    // cache for ever.
    if (shapes.size() > 4096) shapes.clear();
    constexpr int kMargin = 2;
    const int x0 = (dx < 0 ? -dx : 0) + kMargin, y0 = (dy < 0 ? -dy : 0) + kMargin;
    QImage scratch(std::abs(dx) + 2 * kMargin + 1, std::abs(dy) + 2 * kMargin + 1, QImage::Format_RGB32);
    scratch.fill(0u);
    {
        QPainter painter(&scratch);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(QColor(255, 255, 255), 0));
        painter.drawLine(x0, y0, x0 + dx, y0 + dy);
    }
    std::vector<std::pair<int, int>> pixels;
    for (int y = 0; y < scratch.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
        for (int x = 0; x < scratch.width(); ++x)
            if ((line[x] & 0xFFFFFF) != 0) pixels.emplace_back(x - x0, y - y0);
    }
    return shapes.emplace(std::make_pair(dx, dy), std::move(pixels)).first->second;
}

QRgb pixelOf(Colour c) { return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

}  // namespace

void renderPicture(QImage& image, const Picture& picture) {
    const int w = static_cast<int>(picture.scaleWidth());
    const int h = static_cast<int>(picture.scaleHeight());
    if (image.size() != QSize(w, h) || image.format() != QImage::Format_RGB32)
        image = QImage(std::max(w, 0), std::max(h, 0), QImage::Format_RGB32);
    if (image.isNull()) return;
    const auto& ops = picture.ops();
    auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h; };
    // A line is drawn whole and clipped pixel by pixel at the picture's edge, as the painter clips it
    // inside a window. One that reaches far beyond the picture is left to the painter as a whole.
    constexpr int kReach = 64;
    auto nearby = [&](int x, int y) { return x >= -kReach && y >= -kReach && x < w + kReach && y < h + kReach; };
    for (const PictureOp& op : ops) {
        if (op.kind == PictureOp::Kind::Line && !(nearby(op.x1, op.y1) && nearby(op.x2, op.y2))) {
            QPainter painter(&image);
            paintPicture(painter, picture);
            return;
        }
    }
    // The image's rows, reached from its first pixel (asking for each row would check at every row
    // that the image is not shared).
    const int stride = static_cast<int>(image.bytesPerLine() / 4);
    auto* bits = reinterpret_cast<QRgb*>(image.bits());
    auto fill = [&](int left, int top, int right, int bottom, QRgb colour) {
        left = std::max(left, 0), top = std::max(top, 0), right = std::min(right, w), bottom = std::min(bottom, h);
        if (left >= right || top >= bottom) return;
        // The whole picture (its background) goes through the image's own fill, many pixels a step.
        if (left == 0 && top == 0 && right == w && bottom == h) {
            image.fill(colour);
            return;
        }
        for (int y = top; y < bottom; ++y) std::fill(bits + y * stride + left, bits + y * stride + right, colour);
    };
    const bool covered = !ops.empty() && ops.front().kind == PictureOp::Kind::Fill && ops.front().x1 <= 0 &&
                         ops.front().y1 <= 0 && ops.front().x2 >= w && ops.front().y2 >= h;
    if (!covered) fill(0, 0, w, h, pixelOf(picture.background()));
    for (const PictureOp& op : ops) {
        const QRgb colour = pixelOf(op.colour);
        switch (op.kind) {
        case PictureOp::Kind::Fill:
            fill(op.x1, op.y1, op.x2, op.y2, colour);
            break;
        case PictureOp::Kind::Pixel:
            if (inside(op.x1, op.y1)) bits[op.y1 * stride + op.x1] = colour;
            break;
        case PictureOp::Kind::Line:
            for (const auto& [dx, dy] : lineShape(op.x2 - op.x1, op.y2 - op.y1)) {
                const int x = op.x1 + dx, y = op.y1 + dy;
                if (inside(x, y)) bits[y * stride + x] = colour;
            }
            break;
        }
    }
}

// Whether the whole widget is in sight, without regions: no child of its own shown over it, inside
// each of its parents, and no sibling shown above it at any level touching it (transparent or not:
// it would be painted over). Each widget the answer rests on is shown to `look` first.
template <class Look>
bool wholeInSight(const QWidget& w, const Look& look) {
    look(w);
    for (const QObject* child : w.children()) {
        if (!child->isWidgetType()) continue;
        look(*static_cast<const QWidget*>(child));
        if (!static_cast<const QWidget*>(child)->isHidden()) return false;
    }
    QRect area = w.rect();
    for (const QWidget* c = &w; !c->isWindow(); c = c->parentWidget()) {
        const QWidget* parent = c->parentWidget();
        if (!parent) return false;
        look(*parent);
        area.translate(c->pos());
        if (!parent->rect().contains(area)) return false;
        const QObjectList& siblings = parent->children();
        for (qsizetype i = siblings.indexOf(c) + 1; i > 0 && i < siblings.size(); ++i) {
            if (!siblings[i]->isWidgetType()) continue;
            const auto* above = static_cast<const QWidget*>(siblings[i]);
            look(*above);
            if (!above->isHidden() && !above->isWindow() && above->geometry().intersects(area)) return false;
        }
    }
    return true;
}

// Forgets every answer when a widget an answer rests on is shown, hidden, moved, resized, raised or
// lowered, given another parent, or gains or loses a child: each of these reaches that widget the
// moment it happens.
class LayoutWatch : public QObject {
public:
    std::function<void()> changed;
    void watch(const QWidget& w) { const_cast<QWidget&>(w).installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ZOrderChange:
        case QEvent::ParentChange:
        case QEvent::ChildAdded:
        case QEvent::ChildRemoved:
            if (changed) changed();
            break;
        default:
            break;
        }
        return false;
    }
};

// Where a directly painted widget stands: its window, its place in that window, and whether it is in
// full view there. Each asks for a walk up the widget tree, so it is found once and kept until a
// widget it rests on changes.
struct Placement {
    DirectlyPainted* widget;
    QWidget* window;
    QPoint at;
    bool inView;
};

// The pictures whose drawing is under way. Whether one looks different is known once the drawing is
// done, which is when the loop comes round again: a display that drew the same again (the trace of
// a buffer already shown, a level that did not move) then costs no repaint, and those that changed
// are painted together at once, before the loop sleeps. A picture in full view is copied straight
// into its window's backing store, all of a window's at once: there is nothing behind it to paint
// and nothing above it to clip, so the window's paint machinery (an update request, a pass over the
// window, a paint event and a painter for each picture) has nothing to add.
class PendingPictures {
public:
    static PendingPictures& instance() {
        static PendingPictures pending;
        return pending;
    }
    // False when no loop runs to check them.
    bool add(DirectlyPainted* w) {
        if (!hooked_) {
            QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance(QCoreApplication::instance()
                                                                                  ? QCoreApplication::instance()->thread()
                                                                                  : nullptr);
            if (!loop || w->paintedWidget().thread() != loop->thread()) return false;
            // The loop says it is awake once in each of its passes, a yield's too: after the pass
            // (glib's loop) or before the next one, before it waits (the plain one). Either way what a
            // pass drew is shown before the loop sleeps, and looked at once.
            QObject::connect(loop, &QAbstractEventDispatcher::awake, loop, [this] { check(); });
            watch_.changed = [this] { placements_.clear(); };
            hooked_ = true;
        }
        widgets_.push_back(w);
        return true;
    }
    void remove(DirectlyPainted* w) { std::erase(widgets_, w); }
    // A widget that goes is forgotten.
    void gone(DirectlyPainted* w) {
        remove(w);
        std::erase_if(placements_, [w](const Placement& p) { return p.widget == w; });
    }

private:
    struct Direct {
        DirectlyPainted* widget;
        QRect area;  // in the window
    };
    // One window's share of a pass.
    struct Pass {
        QWidget* window;
        bool takesPictures;  // its backing store takes pictures as they are
        std::vector<Direct> direct;
        bool repaint = false;  // some of its widgets are left to its paint machinery
    };

    Placement placementOf(DirectlyPainted* d) {
        for (const Placement& p : placements_)
            if (p.widget == d) return p;
        QWidget& w = d->paintedWidget();
        QWidget* window = w.window();
        const bool inView = wholeInSight(w, [this](const QWidget& looked) { watch_.watch(looked); });
        placements_.push_back({d, window, w.mapTo(window, QPoint()), inView});
        return placements_.back();
    }

    void check() {
        if (widgets_.empty()) return;
        std::vector<DirectlyPainted*> due;
        due.swap(widgets_);
        std::vector<Pass> passes;
        for (DirectlyPainted* d : due) {
            d->checkPending_ = false;
            if (!d->checkPicture()) continue;
            QWidget* w = &d->paintedWidget();
            const Placement place = placementOf(d);
            auto pass = std::find_if(passes.begin(), passes.end(), [&](const Pass& p) { return p.window == place.window; });
            if (pass == passes.end())
                pass = passes.insert(passes.end(), Pass{place.window, takesPicturesAsTheyAre(*place.window), {}});
            if (pass->takesPictures && place.inView && w->isVisible() && w->updatesEnabled() && d->drawable()) {
                pass->direct.push_back({d, QRect(place.at, w->size())});
                continue;
            }
            w->update();
            pass->repaint = true;
        }
        for (Pass& pass : passes) {
            QWidget& window = *pass.window;
            if (pass.repaint) QCoreApplication::sendPostedEvents(&window, QEvent::UpdateRequest);
            if (pass.direct.empty()) continue;
            QBackingStore* store = window.backingStore();
            QRegion region;
            for (const Direct& d : pass.direct) region += d.area;
            store->beginPaint(region);
            QPaintDevice* device = store->paintDevice();
            QImage* target = device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
            if (target && (target->format() == QImage::Format_RGB32 || target->format() == QImage::Format_ARGB32 ||
                           target->format() == QImage::Format_ARGB32_Premultiplied)) {
                // Opaque pixels of 32 bits are the same in each of these formats.
                for (const Direct& d : pass.direct) d.widget->drawInto(*target, d.area.topLeft());
            } else {
                QPainter painter(device);
                for (const Direct& d : pass.direct) painter.drawImage(d.area.topLeft(), d.widget->shownImage());
            }
            store->endPaint();
            store->flush(region, window.windowHandle());
        }
    }

    // A shown raster window of one device pixel per pixel, with a backing store.
    static bool takesPicturesAsTheyAre(const QWidget& window) {
        const QWindow* handle = window.windowHandle();
        return handle && handle->isExposed() && handle->surfaceType() == QSurface::RasterSurface &&
               window.backingStore() && handle->devicePixelRatio() == 1.0;
    }

    std::vector<DirectlyPainted*> widgets_;
    std::vector<Placement> placements_;
    LayoutWatch watch_;
    bool hooked_ = false;
};

DirectlyPainted::~DirectlyPainted() { PendingPictures::instance().gone(this); }

void DirectlyPainted::drawInto(QImage& target, QPoint at) {
    const QImage& image = shownImage();
    const QRect area = QRect(at, image.size()) & target.rect();
    const int stride = static_cast<int>(target.bytesPerLine() / 4);
    auto* rows = reinterpret_cast<QRgb*>(target.bits());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(image.constScanLine(y - at.y())) + (area.left() - at.x());
        std::copy(from, from + area.width(), rows + y * stride + area.left());
    }
}

bool DirectlyPainted::checkSoon() {
    if (checkPending_) return true;
    checkPending_ = PendingPictures::instance().add(this);
    return checkPending_;
}

PictureWidget::PictureWidget(Picture& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
    setFixedSize(sizeHint());
    picture_.viewChanged = [this] { pictureChanged(); };
}

void PictureWidget::pictureChanged() {
    if (size() != sizeHint()) setFixedSize(sizeHint());
    if (!checkSoon()) update();
}

bool PictureWidget::checkPicture() {
    if (shownOnce_ && picture_.ops() == shownOps_ && picture_.background() == shownBackground_) {
        picture_.painted();
        return false;
    }
    return true;
}

PictureWidget::~PictureWidget() { picture_.viewChanged = nullptr; }

QSize PictureWidget::sizeHint() const { return canvasSize(); }

QSize PictureWidget::canvasSize() const {
    return QSize(static_cast<int>(picture_.scaleWidth()), static_cast<int>(picture_.scaleHeight()));
}

const QImage& PictureWidget::shownImage() {
    if (!canvasShown_ || picture_.ops() != shownOps_ || picture_.background() != shownBackground_ ||
        canvas_.size() != canvasSize())
        renderPicture(canvas_, picture_);
    canvasShown_ = true;
    shownNow();
    return canvas_;
}

void PictureWidget::shownNow() {
    picture_.painted();
    shownOps_ = picture_.ops();
    shownBackground_ = picture_.background();
    shownOnce_ = true;
}

void PictureWidget::drawInto(QImage& target, QPoint at) {
    const QRect area(at, canvasSize());
    if (!target.rect().contains(area)) {
        DirectlyPainted::drawInto(target, at);
        return;
    }
    // The window's pixels under the picture, seen as an image of the picture's size.
    QImage place(target.bits() + at.y() * target.bytesPerLine() + at.x() * 4, area.width(), area.height(),
                 target.bytesPerLine(), QImage::Format_RGB32);
    renderPicture(place, picture_);
    // The canvas no longer holds what is shown: a paint draws it afresh.
    canvasShown_ = false;
    shownNow();
}

void PictureWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // On a screen of more than one device pixel per pixel the painter draws the lines finer than
    // an image of whole pixels could show them.
    if (devicePixelRatioF() != 1.0) {
        paintPicture(painter, picture_);
        canvasShown_ = false;
        shownNow();
        return;
    }
    // The picture as drawn is kept: a paint of the same picture (an expose, a part uncovered) draws
    // nothing again.
    const QImage& image = shownImage();
    const QRect area = event->rect() & image.rect();
    if (!area.isEmpty()) painter.drawImage(area.topLeft(), image, area);
}

}  // namespace tarnwick
