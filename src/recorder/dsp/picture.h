#pragma once
// A picture of the recorder's windows as numbers: its inner size in pixels, its background colour,
// and the drawing done on it since it was last cleared, as a list of filled rectangles, lines and
// pixels in drawing order. The displays draw into it; a view paints the list. Rectangles include
// their left and top edges and exclude their right and bottom edges; a line includes its start and
// excludes its end point, as the platform's line drawing does.

#include <cstdint>
#include <string>
#include <vector>

#include "controls/controls.h"

namespace tarnwick {

struct PictureOp {
    enum class Kind { Fill, Line, Pixel } kind = Kind::Fill;
    // Fill: left, top, right, bottom. Line: from (x1, y1) to (x2, y2). Pixel: (x1, y1).
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Colour colour = 0;
    bool operator==(const PictureOp&) const = default;
};

class Picture : public Control {
public:
    Picture(std::string name, int widthPx, int heightPx, Colour background = 0);

    // The inner size in pixels.
    double scaleWidth() const { return width_; }
    double scaleHeight() const { return height_; }
    void setSize(int widthPx, int heightPx);
    Colour background() const { return background_; }
    void setBackground(Colour c);

    // Paints the picture with its background: forgets every drawing.
    void clear();
    // Fills the rectangle with a solid colour. One that covers the whole picture replaces everything
    // drawn before it, so a picture redrawn on every tick keeps a short list.
    void fillRect(int left, int top, int right, int bottom, Colour colour);
    Colour pen() const { return pen_; }
    void setPen(Colour c) { pen_ = c; }
    void moveTo(int x, int y);
    // A line in the pen's colour from the current point; the end becomes the current point.
    void lineTo(int x, int y);
    // Sets one pixel in the pen's colour.
    void setPixel(int x, int y);
    int currentX() const { return curX_; }
    int currentY() const { return curY_; }

    const std::vector<PictureOp>& ops() const { return ops_; }

    // The view painted what is drawn now. Until then further drawing does not tell the view again:
    // one repaint shows a whole tick's drawing.
    void painted() const { unpainted_ = false; }

private:
    void changed() {
        if (unpainted_) return;
        unpainted_ = true;
        notifyView();
    }

    int width_, height_;
    Colour background_;
    Colour pen_ = 0;
    int curX_ = 0, curY_ = 0;
    std::vector<PictureOp> ops_;
    mutable bool unpainted_ = false;
};

}  // namespace tarnwick
