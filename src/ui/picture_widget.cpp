#include "ui/picture_widget.h"

#include <QPainter>

namespace tarnwick {

void paintPicture(QPainter&, const Picture&) {}

PictureWidget::PictureWidget(Picture& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
    picture_.viewChanged = [this] { update(); };
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
