#include "recorder/dsp/picture.h"

namespace tarnwick {

Picture::Picture(std::string name, int widthPx, int heightPx, Colour background)
    : Control(std::move(name)), width_(widthPx), height_(heightPx), background_(background) {}

void Picture::setSize(int widthPx, int heightPx) {
    width_ = widthPx;
    height_ = heightPx;
    changed();
}

void Picture::setBackground(Colour c) {
    background_ = c;
    changed();
}

void Picture::clear() {
    ops_.clear();
    changed();
}

void Picture::fillRect(int left, int top, int right, int bottom, Colour colour) {
    if (right <= left || bottom <= top) return;
    if (left <= 0 && top <= 0 && right >= width_ && bottom >= height_) ops_.clear();
    ops_.push_back({PictureOp::Kind::Fill, left, top, right, bottom, colour});
    changed();
}

void Picture::moveTo(int x, int y) {
    curX_ = x;
    curY_ = y;
}

void Picture::lineTo(int x, int y) {
    ops_.push_back({PictureOp::Kind::Line, curX_, curY_, x, y, pen_});
    curX_ = x;
    curY_ = y;
    changed();
}

void Picture::setPixel(int x, int y) {
    ops_.push_back({PictureOp::Kind::Pixel, x, y, x, y, pen_});
    curX_ = x;
    curY_ = y;
    changed();
}

}  // namespace tarnwick
