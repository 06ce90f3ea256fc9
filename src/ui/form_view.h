#pragma once
// The one generic view: renders any window model's declared layout with Qt widgets and binds every
// control both ways. Model changes reach the widgets through Control::viewChanged; the operator's
// input reaches the model through the same setters code uses, with a text box's typing style applied
// to what the operator typed. Title and visibility follow the model through syncWindow(), which the
// ViewManager calls from the window's change hook.

#include <QWidget>
#include <memory>
#include <vector>

#include "controls/controls.h"

class QBoxLayout;

namespace tarnwick {

class FormView : public QWidget {
    Q_OBJECT

public:
    // The window and its controls must outlive the view.
    explicit FormView(Window& window, QWidget* parent = nullptr);
    ~FormView() override;

    Window& window() const { return window_; }
    // Brings the title and the shown state in line with the model.
    void syncWindow();
    // The widget that shows a control, or nullptr when the layout does not place it.
    QWidget* widgetFor(const Control& c) const;
    // The content's size, within the screen; a larger content scrolls.
    QSize sizeHint() const override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Moves the widget to the model's position (twips, 15 to a pixel) unless it is there already.
    void applyPosition();
    bool applyingPosition_ = false;
    bool shownOnce_ = false;

    // A window the operator resizes scales every placed widget from where the layout first put it
    // by the content's new size over its first size, so repeated resizes never drift.
    void keepDesign();
    void scaleToSize();
    std::vector<QLayout*> layouts_;  // the layouts the declared layout made
    std::vector<QWidget*> placed_;   // the widgets it placed in them
    std::vector<std::pair<QWidget*, QRect>> design_;
    QSize designSize_;

    struct Binding;
    void build(const std::vector<LayoutItem>& items, QBoxLayout* into, QWidget* parent);
    QWidget* makeControl(Control& c, QWidget* parent);
    void refresh(Binding& b);

    Window& window_;
    QWidget* content_ = nullptr;
    unsigned raisesSeen_ = 0;
    std::vector<std::unique_ptr<Binding>> bindings_;
};

// Converts a colour kept as 0xBBGGRR into Qt's red, green, blue.
unsigned int qtRgbFromColour(Colour c);

}  // namespace tarnwick
