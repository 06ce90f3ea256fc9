#include "controls/controls.h"

#include <algorithm>
#include <cctype>

namespace tarnwick {

void Control::setCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    notifyView();
}

void Control::setEnabled(bool e) {
    if (e == enabled_) return;
    enabled_ = e;
    notifyView();
}

void Control::setVisible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    notifyView();
}

void Control::setForeColour(Colour c) {
    if (c == fore_) return;
    fore_ = c;
    notifyView();
}

void Control::setBackColour(Colour c) {
    if (c == back_) return;
    back_ = c;
    notifyView();
}

std::string upperCase(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string applyTypingStyle(TypingStyle style, const std::string& typed) {
    std::string out;
    out.reserve(typed.size());
    for (unsigned char c : typed) {
        switch (style) {
        case TypingStyle::DigitsOnly:
            if (std::isdigit(c)) out += static_cast<char>(c);
            break;
        case TypingStyle::Capitals:
            out += upperCase(std::string(1, static_cast<char>(c)));
            break;
        case TypingStyle::Any:
            out += static_cast<char>(c);
            break;
        }
    }
    return out;
}

const std::string& TextBox::text() const {
    if (head_ > 0) {
        text_.erase(0, head_);
        head_ = 0;
    }
    return text_;
}

void TextBox::setText(const std::string& t) {
    if (t == text()) return;
    text_ = t;
    ++resets_;
    trimmedBytes_ = trimmedLines_ = 0;
    breaks_.clear();
    if (lineLimit_ > 0) {
        noteBreaks(0);
        trimToLimit();
    }
    if (selStart_ > static_cast<int>(size())) selStart_ = static_cast<int>(size());
    notifyView();
    if (onChange) onChange();
}

void TextBox::append(const std::string& more) {
    if (more.empty()) return;
    const std::size_t from = size();
    text_ += more;
    if (lineLimit_ > 0) {
        noteBreaks(from);
        trimToLimit();
    }
    notifyView();
    if (onChange) onChange();
}

void TextBox::setLineLimit(std::size_t lines) {
    lineLimit_ = lines;
    breaks_.clear();
    if (lineLimit_ == 0) return;
    const std::size_t before = trimmedBytes_;
    noteBreaks(0);
    trimToLimit();
    if (trimmedBytes_ != before) notifyView();
}

void TextBox::noteBreaks(std::size_t from) {
    for (std::size_t i = head_ + from; i < text_.size(); ++i) {
        const char c = text_[i];
        if (c != '\r' && c != '\n') continue;
        const std::size_t end = trimmedBytes_ + (i - head_) + 1;
        // The LF of a CR LF ends the line the CR ended.
        if (c == '\n' && i > head_ && text_[i - 1] == '\r' && !breaks_.empty() && breaks_.back() == end - 1)
            breaks_.back() = end;
        else
            breaks_.push_back(end);
    }
}

void TextBox::trimToLimit() {
    const std::size_t lastBreak = breaks_.empty() ? trimmedBytes_ : breaks_.back();
    const std::size_t lines = breaks_.size() + (trimmedBytes_ + size() > lastBreak ? 1 : 0);
    if (lines <= lineLimit_) return;
    std::size_t start = trimmedBytes_;
    for (std::size_t n = lines - lineLimit_; n > 0; --n) {
        start = breaks_.front();
        breaks_.pop_front();
        ++trimmedLines_;
    }
    const std::size_t gone = start - trimmedBytes_;
    head_ += gone;
    trimmedBytes_ = start;
    selStart_ = selStart_ > static_cast<int>(gone) ? selStart_ - static_cast<int>(gone) : 0;
    // Each byte is moved down about once, however many lines pass through.
    if (head_ > text_.size() / 2) {
        text_.erase(0, head_);
        head_ = 0;
    }
}

void TextBox::setSelStart(int pos) {
    const int len = static_cast<int>(size());
    selStart_ = pos < 0 ? 0 : pos > len ? len : pos;
    ++caretRequests_;
    notifyView();
}

void TextBox::type(const std::string& t) {
    if (readOnly_) return;
    std::string typed = applyTypingStyle(style_, t);
    if (maxLength_ > 0 && typed.size() > static_cast<std::size_t>(maxLength_)) typed.resize(maxLength_);
    setText(typed);
}

void CheckBox::setValue(int v) {
    if (v == value_) return;
    value_ = v;
    notifyView();
    if (onClick) onClick();
}

void OptionButton::setValue(bool v) {
    if (v && group_) {
        for (OptionButton* other : group_->buttons_) {
            if (other != this && other->value_) {
                other->value_ = false;
                other->notifyView();
            }
        }
    }
    if (v == value_) return;
    value_ = v;
    notifyView();
    // An option button's click runs when it becomes selected, not when it is deselected.
    if (v && onClick) onClick();
}

void OptionGroup::add(OptionButton& b) {
    buttons_.push_back(&b);
    b.group_ = this;
}

void CommandButton::click() {
    if (onClick) onClick();
}

void ScrollBar::setValue(int v) {
    v = std::clamp(v, std::min(min_, max_), std::max(min_, max_));
    if (v == value_) return;
    value_ = v;
    notifyView();
    if (onChange) onChange();
}

void ProgressBar::setValue(int v) {
    v = std::clamp(v, std::min(min_, max_), std::max(min_, max_));
    if (v == value_) return;
    value_ = v;
    notifyView();
}

void ProgressBar::setRange(int min, int max) {
    if (min == min_ && max == max_) return;
    min_ = min;
    max_ = max;
    value_ = std::clamp(value_, std::min(min_, max_), std::max(min_, max_));
    notifyView();
}

void ScrollBar::scroll(int v) {
    v = std::clamp(v, std::min(min_, max_), std::max(min_, max_));
    if (v != value_) {
        value_ = v;
        notifyView();
    }
    if (onScroll) onScroll();
}

void ScrollBar::endScroll() {
    if (onChange) onChange();
}

void ComboBox::addItem(const std::string& item) {
    items_.push_back(item);
    notifyView();
}

void ComboBox::clear() {
    items_.clear();
    index_ = -1;
    notifyView();
}

void ComboBox::setText(const std::string& t) {
    if (t == text_) return;
    text_ = t;
    auto it = std::find(items_.begin(), items_.end(), t);
    index_ = it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
    notifyView();
    if (onChange) onChange();
}

void ComboBox::setListIndex(int i) {
    if (i < -1 || i >= static_cast<int>(items_.size())) return;
    index_ = i;
    if (i >= 0 && text_ != items_[i]) {
        text_ = items_[i];
        notifyView();
        if (onChange) onChange();
    } else {
        notifyView();
    }
    if (onClick) onClick();
}

void ListBox::addItem(const std::string& item) {
    items_.push_back(item);
    notifyView();
}

void ListBox::removeItem(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    items_.erase(items_.begin() + index);
    if (index_ >= static_cast<int>(items_.size())) index_ = static_cast<int>(items_.size()) - 1;
    notifyView();
}

void ListBox::clear() {
    items_.clear();
    index_ = -1;
    notifyView();
}

void ListBox::setListIndex(int i) {
    if (i < -1 || i >= static_cast<int>(items_.size())) return;
    index_ = i;
    notifyView();
    if (onClick) onClick();
}

namespace layout {
LayoutItem ctl(Control& c) {
    LayoutItem i;
    i.kind = LayoutItem::Kind::Control;
    i.control = &c;
    return i;
}
LayoutItem ctl(Control& c, std::string name) {
    LayoutItem i = ctl(c);
    i.name = std::move(name);
    return i;
}
LayoutItem caption(std::string text) {
    LayoutItem i;
    i.kind = LayoutItem::Kind::Caption;
    i.text = std::move(text);
    return i;
}
LayoutItem stretch() {
    LayoutItem i;
    i.kind = LayoutItem::Kind::Stretch;
    return i;
}
static LayoutItem group(LayoutItem::Kind k, std::string text, std::vector<LayoutItem> items) {
    LayoutItem i;
    i.kind = k;
    i.text = std::move(text);
    i.items = std::move(items);
    return i;
}
LayoutItem row(std::vector<LayoutItem> items) { return group(LayoutItem::Kind::Row, {}, std::move(items)); }
LayoutItem frame(std::string caption, std::vector<LayoutItem> items) {
    return group(LayoutItem::Kind::Frame, std::move(caption), std::move(items));
}
LayoutItem tabs(std::vector<LayoutItem> tabPages) { return group(LayoutItem::Kind::Tabs, {}, std::move(tabPages)); }
LayoutItem tab(std::string caption, std::vector<LayoutItem> items) {
    return group(LayoutItem::Kind::Tab, std::move(caption), std::move(items));
}
}  // namespace layout

void Window::setWindowCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    if (windowChanged) windowChanged();
}

void Window::setPosition(double leftTwips, double topTwips) {
    if (leftTwips == left_ && topTwips == top_) return;
    left_ = leftTwips;
    top_ = topTwips;
    if (windowChanged) windowChanged();
}

void Window::setMinimized(bool m) {
    if (m == minimized_) return;
    minimized_ = m;
    if (windowChanged) windowChanged();
}

void Window::raise() {
    minimized_ = false;
    ++raises_;
    if (windowChanged) windowChanged();
}

void Window::setVisible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    if (windowChanged) windowChanged();
}

}  // namespace tarnwick
