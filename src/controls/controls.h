#pragma once
// Control models with the events of window controls: a text box's change handler runs on every new
// text, a check box's click handler on every new value, a button's on every press. Models know no
// toolkit; a view listens to them through `viewChanged` and writes back through the same setters.

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tarnwick {

// Colours as 0xBBGGRR, the way the tools name them (255 is red, &HC000 green).
using Colour = unsigned int;
constexpr Colour kRed = 255;
constexpr Colour kGreen = 0xC000;
constexpr Colour kDefaultColour = 0xFFFFFFFF;

class Control {
public:
    Control(std::string name, std::string caption = {}, std::string toolTip = {})
        : name_(std::move(name)), caption_(std::move(caption)), toolTip_(std::move(toolTip)) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }
    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& c);
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(const std::string& t) { toolTip_ = t; }
    bool enabled() const { return enabled_; }
    void setEnabled(bool e);
    bool visible() const { return visible_; }
    void setVisible(bool v);
    Colour foreColour() const { return fore_; }
    Colour backColour() const { return back_; }
    void setForeColour(Colour c);
    void setBackColour(Colour c);

    // The operator pressed the right mouse button on the control.
    std::function<void()> onRightClick;

    // Shows the control's present state on the screen at once, without running any events: for a
    // state that must be seen before the thread blocks (the transmitter keyed for a spoken text).
    void paintNow() {
        if (viewPaintNow) viewPaintNow();
    }

    // Set by the view that shows this control; called after every change of state.
    std::function<void()> viewChanged;
    // Set by the view that shows this control; paints it there and then.
    std::function<void()> viewPaintNow;

protected:
    void notifyView() {
        if (viewChanged) viewChanged();
    }

private:
    std::string name_, caption_, toolTip_;
    bool enabled_ = true, visible_ = true;
    Colour fore_ = kDefaultColour, back_ = kDefaultColour;
};

// A label: caption only. Countdown labels keep their numbers as text, as the tools read them.
class Label : public Control {
public:
    using Control::Control;
    const std::string& text() const { return caption(); }
    void setText(const std::string& t) { setCaption(t); }
    // A label takes the room its caption needs, unless code holds it to a width in twips (a bar
    // that grows with a percentage); a width below 0 gives the room back to the caption.
    double width() const { return width_; }
    void setWidth(double twips) {
        if (twips == width_) return;
        width_ = twips;
        notifyView();
    }
    // A label that may hold a long sentence (a status line) shows as much of it as the room its window
    // gives it holds, shortened with "...", rather than widening the window.
    bool shortened() const { return shortened_; }
    void setShortened(bool on) { shortened_ = on; }
    // A label whose caption changes many times a second (a counter in a status line): the view draws
    // each change as cheaply as it can.
    bool changesOften() const { return changesOften_; }
    void setChangesOften(bool on) { changesOften_ = on; }

private:
    double width_ = -1;
    bool shortened_ = false;
    bool changesOften_ = false;
};

enum class TypingStyle { Any, DigitsOnly, Capitals };

// How many lines a log pane keeps: an evening's scroll-back, and few enough that a pane that has run
// for weeks takes a line as cheaply as a new one.
inline constexpr std::size_t kLogPaneLines = 2000;

class TextBox : public Control {
public:
    TextBox(std::string name, std::string text = {}, std::string toolTip = {}, TypingStyle style = TypingStyle::Any,
            bool multiLine = false)
        : Control(std::move(name), {}, std::move(toolTip)), text_(std::move(text)), style_(style),
          multiLine_(multiLine) {}

    const std::string& text() const;
    // Sets the text from code or a settings load; runs the change handler when the text differs.
    void setText(const std::string& t);
    // Adds text at the end, in place: it costs what the added text costs, whatever the box holds.
    // Runs the change handler.
    void append(const std::string& more);
    // A log pane keeps at most this many lines (0: no limit); the oldest leave from the top. A line
    // ends at CR LF, CR or LF; an unfinished last line counts as one.
    void setLineLimit(std::size_t lines);
    std::size_t lineLimit() const { return lineLimit_; }
    // What a view needs to follow a log pane without reading all of it: the text was replaced (set
    // whole) textResets() times; since the last time, trimmedBytes() bytes making trimmedLines() lines
    // have left from the top.
    unsigned long textResets() const { return resets_; }
    std::size_t trimmedBytes() const { return trimmedBytes_; }
    std::size_t trimmedLines() const { return trimmedLines_; }
    // The operator's typing: applies the typing style, then behaves as setText. A read-only box takes
    // no typing.
    void type(const std::string& t);
    TypingStyle style() const { return style_; }
    void setStyle(TypingStyle s) { style_ = s; }
    bool multiLine() const { return multiLine_; }
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool r) { readOnly_ = r; }
    // The most characters the operator can type into the box; 0 means no limit. Text set by code or a
    // settings load is not cut.
    int maxLength() const { return maxLength_; }
    void setMaxLength(int n) { maxLength_ = n < 0 ? 0 : n; }
    // A password box shows every character as "*".
    bool masked() const { return masked_; }
    void setMasked(bool m) { masked_ = m; }
    // A small number box shows its text centred.
    bool centred() const { return centred_; }
    void setCentred(bool c) { centred_ = c; }
    // The caret (selection start). Setting it lands at the end of a shorter text, and the view
    // scrolls to it, so a log pane set beyond its end shows its last line.
    int selStart() const { return selStart_; }
    void setSelStart(int pos);
    // Counts setSelStart calls, so a view can tell a new caret request from an old one.
    unsigned long caretRequests() const { return caretRequests_; }
    // A key the operator pressed in the box, as its character code (13 is Enter).
    void keyPress(int keyAscii) {
        if (onKeyPress) onKeyPress(keyAscii);
    }

    std::function<void()> onChange;
    std::function<void(int keyAscii)> onKeyPress;

private:
    std::size_t size() const { return text_.size() - head_; }
    // Notes the line breaks of the text from this index on; trims the text to the line limit.
    void noteBreaks(std::size_t from);
    void trimToLimit();

    // The text is text_ without its first head_ bytes, which have left from the top; they are dropped
    // from storage once they are half of it, or when the whole text is read.
    mutable std::string text_;
    mutable std::size_t head_ = 0;
    std::size_t lineLimit_ = 0;
    // Where each line break of the text ends, counted from the last reset like trimmedBytes_ (kept
    // only under a line limit).
    std::deque<std::size_t> breaks_;
    unsigned long resets_ = 0;
    std::size_t trimmedBytes_ = 0, trimmedLines_ = 0;
    TypingStyle style_;
    bool multiLine_;
    bool readOnly_ = false;
    bool masked_ = false;
    bool centred_ = false;
    int maxLength_ = 0;
    int selStart_ = 0;
    unsigned long caretRequests_ = 0;
};

// Callsigns are handled in capitals: the text with a-z turned into A-Z.
std::string upperCase(std::string s);

// Applies a typing style to typed text.
std::string applyTypingStyle(TypingStyle style, const std::string& typed);

class CheckBox : public Control {
public:
    CheckBox(std::string name, std::string caption, std::string toolTip = {}, int value = 0)
        : Control(std::move(name), std::move(caption), std::move(toolTip)), value_(value) {}
    // 0 unticked, 1 ticked, 2 grey. Ticked means exactly 1.
    int value() const { return value_; }
    bool ticked() const { return value_ == 1; }
    // Runs the click handler when the value changes.
    void setValue(int v);
    // The operator's click toggles between 0 and 1.
    void click() { setValue(value_ == 1 ? 0 : 1); }

    std::function<void()> onClick;

private:
    int value_;
};

class OptionGroup;

class OptionButton : public Control {
public:
    OptionButton(std::string name, std::string caption, std::string toolTip = {}, OptionGroup* group = nullptr)
        : Control(std::move(name), std::move(caption), std::move(toolTip)), group_(group) {}
    bool value() const { return value_; }
    // Selecting deselects the others of the group and runs the click handler.
    void setValue(bool v);

    std::function<void()> onClick;

private:
    friend class OptionGroup;
    bool value_ = false;
    OptionGroup* group_;
};

// The option buttons that exclude each other (one frame of a window).
class OptionGroup {
public:
    void add(OptionButton& b);
    const std::vector<OptionButton*>& buttons() const { return buttons_; }

private:
    friend class OptionButton;
    std::vector<OptionButton*> buttons_;
};

class CommandButton : public Control {
public:
    using Control::Control;
    // Runs the click handler (the operator's press or code's).
    void click();
    std::function<void()> onClick;
};

// A slider or scroll bar: an integer value within its range; a change runs the change handler.
class ScrollBar : public Control {
public:
    ScrollBar(std::string name, int min, int max, int value = 0, std::string toolTip = {})
        : Control(std::move(name), {}, std::move(toolTip)), min_(min), max_(max), value_(value) {}
    int value() const { return value_; }
    int min() const { return min_; }
    int max() const { return max_; }
    // Values outside the range are clamped. Code, arrows and track clicks change the value this way.
    void setValue(int v);
    // A new range; the value is clamped into it (running the change handler when it moves).
    void setRange(int min, int max) {
        min_ = min;
        max_ = max;
        notifyView();
        setValue(value_);
    }
    // The operator dragging the thumb: the value follows and the scroll handler runs, not the change
    // handler.
    void scroll(int v);
    // The operator releasing a dragged thumb: the change handler runs for the value the drag left.
    void endScroll();
    // How far an arrow (small) and a click on the track (large) move the value.
    int smallChange() const { return smallChange_; }
    int largeChange() const { return largeChange_; }
    void setSteps(int smallChange, int largeChange) {
        smallChange_ = smallChange < 1 ? 1 : smallChange;
        largeChange_ = largeChange < 1 ? 1 : largeChange;
        notifyView();
    }
    // A vertical bar stands upright with its minimum at the top.
    bool vertical() const { return vertical_; }
    void setVertical(bool v) {
        vertical_ = v;
        notifyView();
    }
    std::function<void()> onChange;
    std::function<void()> onScroll;

private:
    bool vertical_ = false;
    int min_, max_, value_;
    int smallChange_ = 1, largeChange_ = 1;
};

// A progress bar: how far a piece of work has come, within its range. It shows only; the operator
// cannot move it.
class ProgressBar : public Control {
public:
    ProgressBar(std::string name, int min, int max, int value = 0)
        : Control(std::move(name)), min_(min), max_(max), value_(value) {}
    int value() const { return value_; }
    int min() const { return min_; }
    int max() const { return max_; }
    // Values outside the range are clamped.
    void setValue(int v);
    // A new range; the value is clamped into it.
    void setRange(int min, int max);

private:
    int min_, max_, value_;
};

// A drop-down list with an editable text (a combo box) or a plain list.
class ComboBox : public Control {
public:
    ComboBox(std::string name, std::string text = {}, std::string toolTip = {})
        : Control(std::move(name), {}, std::move(toolTip)), text_(std::move(text)) {}
    const std::vector<std::string>& items() const { return items_; }
    void addItem(const std::string& item);
    void clear();
    const std::string& text() const { return text_; }
    void setText(const std::string& t);
    // -1 when no item is selected.
    int listIndex() const { return index_; }
    void setListIndex(int i);
    std::function<void()> onChange;
    std::function<void()> onClick;

private:
    std::string text_;
    std::vector<std::string> items_;
    int index_ = -1;
};

class ListBox : public Control {
public:
    using Control::Control;
    const std::vector<std::string>& items() const { return items_; }
    void addItem(const std::string& item);
    void removeItem(int index);
    void clear();
    int listIndex() const { return index_; }
    void setListIndex(int i);
    std::function<void()> onClick;

private:
    std::vector<std::string> items_;
    int index_ = -1;
};

// ---- Declared layout: what a generic view renders ----

struct LayoutItem {
    enum class Kind { Control, Caption, Row, Frame, Tabs, Tab, Stretch } kind = Kind::Control;
    Control* control = nullptr;     // Kind::Control
    // Kind::Control: what a screen reader calls the control, where its caption, tool tip or the label
    // before it does not say what it is for (an hour box in a frame about a file). Empty: the view
    // works the name out from those.
    std::string name;
    std::string text;               // caption of a Caption, Frame or Tab
    std::vector<LayoutItem> items;  // children of Row, Frame, Tabs, Tab
};

namespace layout {
LayoutItem ctl(Control& c);
// A control with the name a screen reader gives it.
LayoutItem ctl(Control& c, std::string name);
LayoutItem caption(std::string text);
LayoutItem stretch();
LayoutItem row(std::vector<LayoutItem> items);
LayoutItem frame(std::string caption, std::vector<LayoutItem> items);
LayoutItem tabs(std::vector<LayoutItem> tabPages);
LayoutItem tab(std::string caption, std::vector<LayoutItem> items);
}  // namespace layout

// A window model's face: its caption, visibility and declared layout. A view shows it while visible.
class Window {
public:
    virtual ~Window() = default;
    const std::string& windowCaption() const { return caption_; }
    void setWindowCaption(const std::string& c);
    bool isVisible() const { return visible_; }
    void setVisible(bool v);
    // Shown as an icon on the task bar rather than as a window.
    bool isMinimized() const { return minimized_; }
    void setMinimized(bool m);
    // Brings the window in front of the others (restoring it when minimised); the view counts requests.
    void raise();
    unsigned raiseRequests() const { return raises_; }
    // The window's left and top edge in twips (1/1440 inch), as the settings files keep them.
    double left() const { return left_; }
    double top() const { return top_; }
    // Moves the window (the view follows); the view reports the operator's moves through the same call.
    void setPosition(double leftTwips, double topTwips);
    // A modal window keeps the operator from the program's other windows while it is shown; timers
    // and host events go on all the same.
    bool isModal() const { return modal_; }
    void setModal(bool m) { modal_ = m; }
    // Escape does what the close box does (a small window the operator dismisses).
    bool closesOnEscape() const { return closesOnEscape_; }
    void setClosesOnEscape(bool e) { closesOnEscape_ = e; }
    // The frame around the window: an ordinary one, or a tool window's (a small title bar with a close
    // box only, no task-bar button) that keeps its first size or that the operator resizes, its
    // controls then scaling with it.
    enum class FrameStyle { Normal, FixedTool, SizableTool };
    FrameStyle frameStyle() const { return frameStyle_; }
    void setFrameStyle(FrameStyle f) { frameStyle_ = f; }
    // The window a dialog belongs to: shown over it, with no task-bar entry and no minimise box of
    // its own. nullptr for a window of its own.
    Window* owner() const { return owner_; }
    void setOwner(Window* w) { owner_ = w; }
    // The declared layout: one column of items, top to bottom.
    const std::vector<LayoutItem>& layoutItems() const { return layout_; }

    // Set by the view; called when caption, visibility or position change.
    std::function<void()> windowChanged;
    // The operator asked to close the window (its close box). Returns true when the window may close.
    std::function<bool()> onCloseRequest;

protected:
    std::vector<LayoutItem> layout_;

private:
    std::string caption_;
    bool visible_ = false;
    bool minimized_ = false;
    bool modal_ = false;
    bool closesOnEscape_ = false;
    FrameStyle frameStyle_ = FrameStyle::Normal;
    Window* owner_ = nullptr;
    unsigned raises_ = 0;
    double left_ = 300, top_ = 300;
};

}  // namespace tarnwick
