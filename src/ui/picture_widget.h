#pragma once
// Paints a recorder picture (its background and the rectangles, lines and pixels drawn on it) and
// repaints whenever the picture changes. Used for the recorder's waveform, spectrum and level bars
// and for the effects dialog's equalizer curve.

#include <QImage>
#include <QWidget>
#include <vector>

#include "recorder/dsp/picture.h"

class QPainter;

namespace tarnwick {

// Paints the picture at the painter's origin, one device pixel per picture pixel.
void paintPicture(QPainter& painter, const Picture& picture);

// Draws the picture into an image of its size in Format_RGB32, pixel for pixel as paintPicture
// paints it, without a painter for fills, pixels and lines that stay inside the picture.
void renderPicture(QImage& image, const Picture& picture);

// A widget that can show a change by drawing itself: once the loop comes round, it draws itself
// straight into its window's backing store when it is in full view, without the window's paint
// machinery (an update request, a pass over the window's widgets, a paint event each); otherwise it
// is repainted as any other.
class DirectlyPainted {
public:
    virtual ~DirectlyPainted();
    virtual QWidget& paintedWidget() = 0;
    // The change under way is done: true when the widget looks different from what was shown.
    virtual bool checkPicture() = 0;
    // The widget as it looks now, shown from now on; a null image when it cannot be drawn on its own
    // (it is then repainted).
    virtual const QImage& shownImage() = 0;
    // Whether it can be drawn on its own now; else it is repainted.
    virtual bool drawable() const { return true; }
    // Draws the widget as it looks now into a window's image of 32-bit opaque pixels with its top left
    // corner at `at`, and shows it from now on. By default shownImage() is copied there.
    virtual void drawInto(QImage& target, QPoint at);

protected:
    // Looks at the widget when the loop comes round; false when no loop runs to do it.
    bool checkSoon();

private:
    bool checkPending_ = false;
    friend class PendingPictures;
};

class PictureWidget : public QWidget, public DirectlyPainted {
    Q_OBJECT

public:
    // The picture must outlive the widget; the widget takes over its view hook (a form view that
    // holds the widget takes it over in turn and passes changes on through pictureChanged).
    explicit PictureWidget(Picture& picture, QWidget* parent = nullptr);
    ~PictureWidget() override;
    QSize sizeHint() const override;
    // Follows a change of the picture: its size, then a repaint.
    void pictureChanged();
    QWidget& paintedWidget() override { return *this; }
    // The drawing under way is done: true when the picture looks different from what was painted
    // (a repaint is due), false when it does not.
    bool checkPicture() override;
    // The picture's size, and the picture as drawn now (shown from now on).
    QSize canvasSize() const;
    const QImage& shownImage() override;
    // Draws the picture straight into the window's image, without a canvas of its own in between.
    void drawInto(QImage& target, QPoint at) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The picture as drawn now is what is shown.
    void shownNow();

    Picture& picture_;
    // The picture as drawn for the last paint, painted 1:1; canvasShown_ while it is what was shown.
    QImage canvas_;
    bool canvasShown_ = false;
    // What the last paint showed.
    std::vector<PictureOp> shownOps_;
    Colour shownBackground_ = 0;
    bool shownOnce_ = false;
};

}  // namespace tarnwick
