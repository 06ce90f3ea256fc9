#include "ui/picture_widget.h"

#include <QPainter>

namespace tarnwick {

namespace {

QColor colourOf(Colour c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

}  // namespace

void paintPicture(QPainter& painter, const Picture& picture) {
    const int w = static_cast<int>(picture.scaleWidth());
    const int h = static_cast<int>(picture.scaleHeight());
    painter.save();
    painter.setClipRect(0, 0, w, h);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(0, 0, w, h, colourOf(picture.background()));
    for (const PictureOp& op : picture.ops()) {
        switch (op.kind) {
        case PictureOp::Kind::Fill:
            painter.fillRect(QRect(op.x1, op.y1, op.x2 - op.x1, op.y2 - op.y1), colourOf(op.colour));
            break;
        case PictureOp::Kind::Line:
            painter.setPen(QPen(colourOf(op.colour), 0));
            painter.drawLine(op.x1, op.y1, op.x2, op.y2);
            break;
        case PictureOp::Kind::Pixel:
            painter.setPen(QPen(colourOf(op.colour), 0));
            painter.drawPoint(op.x1, op.y1);
            break;
        }
    }
    painter.restore();
    picture.painted();
}

PictureWidget::PictureWidget(Picture& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
    setFixedSize(sizeHint());
    picture_.viewChanged = [this] { pictureChanged(); };
}

void PictureWidget::pictureChanged() {
    if (size() != sizeHint()) setFixedSize(sizeHint());
    update();
}

PictureWidget::~PictureWidget() { picture_.viewChanged = nullptr; }

QSize PictureWidget::sizeHint() const {
    return QSize(static_cast<int>(picture_.scaleWidth()), static_cast<int>(picture_.scaleHeight()));
}

void PictureWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintPicture(painter, picture_);
}

}  // namespace tarnwick
