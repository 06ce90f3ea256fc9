#pragma once
// The one generic view: renders any window model's declared layout with Qt widgets and binds every
// control both ways. Model changes reach the widgets through Control::viewChanged; the operator's
// input reaches the model through the same setters code uses, with a text box's typing style applied
// to what the operator typed. Title and visibility follow the model through syncWindow(), which the
// ViewManager calls from the window's change hook.

#include <QWidget>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "controls/controls.h"

class QBoxLayout;
class QLabel;

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
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Moves the widget to the model's position (twips, 15 to a pixel) unless it is there already.
    void applyPosition();
    // Where a window's frame may begin so that the whole frame lies within the screen's free area.
    QPoint withinScreen(QPoint framePos) const;
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
    void build(std::span<const LayoutItem> items, QBoxLayout* into, QWidget* parent);
    QWidget* makeControl(Control& c, QWidget* parent);
    void refresh(Binding& b);

    // Every control's name for a screen reader, worked out from the declared layout before it is
    // built: one frame at a time, so that names that repeat within a frame can be numbered.
    struct Naming {
        // Named by its own caption (a button), its tool tip, the label before it, or a fixed text
        // (the name the layout declares for it, else its frame's caption).
        enum class From { Caption, ToolTip, Label, Text } from = From::Text;
        const Control* label = nullptr;          // From::Label: a label control
        const LayoutItem* labelItem = nullptr;   // From::Label: a declared caption
        std::string text;                        // From::Text, and a declared caption's text
        std::string number;                      // " 3": the name repeats within its frame
    };
    void planNames(std::span<const LayoutItem> items, const std::string& frameCaption);
    void applyName(Binding& b);
    static QString nameText(const Naming& n, const Control& c);
    std::map<const Control*, Naming> names_;
    std::map<const LayoutItem*, QLabel*> captionLabels_;  // the labels the declared captions made

    Window& window_;
    QWidget* content_ = nullptr;
    unsigned raisesSeen_ = 0;
    std::vector<std::unique_ptr<Binding>> bindings_;
};

// Converts a colour kept as 0xBBGGRR into Qt's red, green, blue.
unsigned int qtRgbFromColour(Colour c);

}  // namespace tarnwick
