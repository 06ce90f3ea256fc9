#include "ui/picture_widget.h"

#include <algorithm>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPainter>
#include <QVarLengthArray>

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

// The pictures whose drawing is under way. Whether one looks different is known once the drawing is
// done, which is when the loop comes round again: a display that drew the same again (the trace of
// a buffer already shown, a level that did not move) then costs no repaint, and those that changed
// are painted together at once, before the loop sleeps.
class PendingPictures {
public:
    static PendingPictures& instance() {
        static PendingPictures pending;
        return pending;
    }
    // False when no loop runs to check them.
    bool add(PictureWidget* w) {
        if (!hooked_) {
            QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance(QCoreApplication::instance()
                                                                                  ? QCoreApplication::instance()->thread()
                                                                                  : nullptr);
            if (!loop || w->thread() != loop->thread()) return false;
            QObject::connect(loop, &QAbstractEventDispatcher::aboutToBlock, loop, [this] { check(); });
            // A loop that only looks for events without waiting (a yield) passes here instead.
            QObject::connect(loop, &QAbstractEventDispatcher::awake, loop, [this] { check(); });
            hooked_ = true;
        }
        widgets_.push_back(w);
        return true;
    }
    void remove(PictureWidget* w) { std::erase(widgets_, w); }

private:
    void check() {
        if (widgets_.empty()) return;
        std::vector<PictureWidget*> due;
        due.swap(widgets_);
        std::vector<QWidget*> windows;
        for (PictureWidget* w : due) {
            if (!w->checkPicture()) continue;
            w->update();
            if (std::find(windows.begin(), windows.end(), w->window()) == windows.end()) windows.push_back(w->window());
        }
        for (QWidget* window : windows) QCoreApplication::sendPostedEvents(window, QEvent::UpdateRequest);
    }

    std::vector<PictureWidget*> widgets_;
    bool hooked_ = false;
};

}  // namespace

PictureWidget::PictureWidget(Picture& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
    setFixedSize(sizeHint());
    picture_.viewChanged = [this] { pictureChanged(); };
}

void PictureWidget::pictureChanged() {
    if (size() != sizeHint()) setFixedSize(sizeHint());
    if (checkPending_) return;
    if (PendingPictures::instance().add(this))
        checkPending_ = true;
    else
        update();
}

bool PictureWidget::checkPicture() {
    checkPending_ = false;
    if (shownOnce_ && picture_.ops() == shownOps_ && picture_.background() == shownBackground_) {
        picture_.painted();
        return false;
    }
    return true;
}

PictureWidget::~PictureWidget() {
    picture_.viewChanged = nullptr;
    if (checkPending_) PendingPictures::instance().remove(this);
}

QSize PictureWidget::sizeHint() const {
    return QSize(static_cast<int>(picture_.scaleWidth()), static_cast<int>(picture_.scaleHeight()));
}

void PictureWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintPicture(painter, picture_);
    shownOps_ = picture_.ops();
    shownBackground_ = picture_.background();
    shownOnce_ = true;
}

}  // namespace tarnwick
