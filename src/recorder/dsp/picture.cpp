#include "recorder/dsp/picture.h"

namespace tarnwick {

Picture::Picture(std::string name, int widthPx, int heightPx, Colour background)
    : Control(std::move(name)), width_(widthPx), height_(heightPx), background_(background) {}
void Picture::setSize(int w, int h) { width_ = w; height_ = h; }
void Picture::setBackground(Colour c) { background_ = c; }
void Picture::clear() { ops_.clear(); }
void Picture::fillRect(int, int, int, int, Colour) {}
void Picture::moveTo(int x, int y) { curX_ = x; curY_ = y; }
void Picture::lineTo(int x, int y) { curX_ = x; curY_ = y; }
void Picture::setPixel(int, int) {}

}  // namespace tarnwick
