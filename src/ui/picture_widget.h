#pragma once
// Paints a recorder picture (its background and the rectangles, lines and pixels drawn on it) and
// repaints whenever the picture changes. Used for the recorder's waveform, spectrum and level bars
// and for the effects dialog's equalizer curve.

#include <QWidget>
#include <vector>

#include "recorder/dsp/picture.h"

class QPainter;

namespace tarnwick {

// Paints the picture at the painter's origin, one device pixel per picture pixel.
void paintPicture(QPainter& painter, const Picture& picture);

class PictureWidget : public QWidget {
    Q_OBJECT

public:
    // The picture must outlive the widget; the widget takes over its view hook (a form view that
    // holds the widget takes it over in turn and passes changes on through pictureChanged).
    explicit PictureWidget(Picture& picture, QWidget* parent = nullptr);
    ~PictureWidget() override;
    QSize sizeHint() const override;
    // Follows a change of the picture: its size, then a repaint.
    void pictureChanged();
    // The drawing under way is done: true when the picture looks different from what was painted
    // (a repaint is due), false when it does not.
    bool checkPicture();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Picture& picture_;
    // What the last paint showed.
    std::vector<PictureOp> shownOps_;
    Colour shownBackground_ = 0;
    bool shownOnce_ = false;
    bool checkPending_ = false;
};

}  // namespace tarnwick
