#include "ui/form_view.h"

#include <QBackingStore>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOption>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QValidator>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "recorder/dsp/picture.h"
#include "runtime/runtime.h"
#include "ui/accessibility.h"
#include "ui/glyph_text.h"
#include "ui/pane_mirror.h"
#include "ui/picture_widget.h"

namespace tarnwick {

unsigned int qtRgbFromColour(Colour c) {
    const unsigned r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    return qRgb(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b));
}

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Window texts break lines with CR LF; Qt's widgets with LF alone.
QString toDisplay(const std::string& s) {
    QString q = qs(s);
    q.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    q.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return q;
}

std::string fromDisplay(const QString& q) {
    QString t = q;
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t.toStdString();
}

// The operator's input runs model handlers from inside Qt's event delivery, which must not see an
// exception: catch here, report it as every handler boundary does, and go on.
void guarded(const Control& c, const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        diagError(c.name(), e.what());
    } catch (...) {
        diagError(c.name(), "unknown failure");
    }
}

// The box's new text after the operator's edit, with the typing style applied to what was typed
// only: text that code or a settings load put there keeps its letters. The edit is the part between
// the unchanged start and the unchanged end.
std::string typedText(const TextBox& tb, const QString& shown, bool multiLine) {
    const QString before = multiLine ? toDisplay(tb.text()) : qs(tb.text());
    const qsizetype most = std::min(before.size(), shown.size());
    qsizetype head = 0;
    while (head < most && before[head] == shown[head]) ++head;
    if (head > 0 && shown[head - 1].isHighSurrogate()) --head;
    qsizetype tail = 0;
    while (tail < most - head && before[before.size() - 1 - tail] == shown[shown.size() - 1 - tail]) ++tail;
    if (tail > 0 && shown[shown.size() - tail].isLowSurrogate()) --tail;
    auto model = [multiLine](const QString& q) { return multiLine ? fromDisplay(q) : q.toStdString(); };
    return model(shown.left(head)) + applyTypingStyle(tb.style(), model(shown.mid(head, shown.size() - head - tail))) +
           model(shown.right(tail));
}

// The typed part of an edit: what stands between the part of the box's text that kept its start and
// the part that kept its end.
QString insertedPart(const QString& before, const QString& after) {
    const qsizetype most = std::min(before.size(), after.size());
    qsizetype head = 0;
    while (head < most && before[head] == after[head]) ++head;
    qsizetype tail = 0;
    while (tail < most - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
    return after.mid(head, after.size() - head - tail);
}

// A box whose typing style refuses a key loses only that key: the box keeps its text and its
// selection, rather than the key replacing the selection and then being dropped, which emptied the
// box. Text that code or settings put in the box is never judged.
class RefusedKeys : public QValidator {
public:
    RefusedKeys(const TextBox& box, QObject* parent) : QValidator(parent), box_(box) {}
    State validate(QString& input, int&) const override {
        if (box_.style() == TypingStyle::Any) return Acceptable;
        const QString typed = insertedPart(qs(box_.text()), input);
        if (typed.isEmpty()) return Acceptable;
        return applyTypingStyle(box_.style(), typed.toStdString()).empty() ? Invalid : Acceptable;
    }

private:
    const TextBox& box_;
};

// Qt reads a tool tip that looks like markup as markup; escape it so it always shows as typed.
QString plainToolTip(const std::string& s) {
    QString tip = toDisplay(s);
    if (!Qt::mightBeRichText(tip)) return tip;
    return QStringLiteral("<qt>") + tip.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>")) +
           QStringLiteral("</qt>");
}

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(parent);
    // Captions may carry text from the network: never let it be read as markup.
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    return l;
}

// True when `after` needs the room `before` took: the same text but for digits turned into other
// digits, in a font whose digits are all equally wide (as in nearly every font).
bool sameRoom(const QLabel& w, const QString& before, const QString& after) {
    if (before.size() != after.size()) return false;
    auto digit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    for (qsizetype i = 0; i < before.size(); ++i)
        if (before[i] != after[i] && !(digit(before[i]) && digit(after[i]))) return false;
    // Whether a font's digits are equally wide is asked of each font once: a counter changes often.
    static std::vector<std::pair<QFont, bool>> known;
    const QFont font = w.font();
    for (const auto& [f, even] : known)
        if (f == font) return even;
    const QFontMetrics fm(font);
    const int zero = fm.horizontalAdvance(QLatin1Char('0'));
    bool even = true;
    for (char d = '1'; d <= '9'; ++d) even = even && fm.horizontalAdvance(QLatin1Char(d)) == zero;
    if (known.size() > 64) known.clear();
    known.emplace_back(font, even);
    return even;
}

// After a change of its text from `before`, a label keeps the largest size it has had, as a fixed
// size: a text that changes often (a counter, a status line) then repaints the label alone instead of
// laying out the whole window again on every change. A count that only changed its digits needs no
// measuring at all.
void keepLargestRoom(QLabel& w, const QString& before) {
    if (w.minimumSize() == w.maximumSize() && sameRoom(w, before, w.text())) return;
    const QSize size = w.sizeHint().expandedTo(w.minimumSize());
    if (size != w.minimumSize() || size != w.maximumSize()) w.setFixedSize(size);
}

// A box that takes typing, or a read-out, which is also no stop on the operator's way through the
// window with Tab.
void takesTyping(QLineEdit& w, bool typing) {
    w.setReadOnly(!typing);
    w.setFocusPolicy(typing ? Qt::StrongFocus : Qt::ClickFocus);
}

// How long a read-only pane gathers what arrives before it shows it.
constexpr int kPaneBatchMs = 50;

// A box with a character limit is as wide as that many characters (a 2-digit box stays small) up to
// a point; boxes without one share the row's room.
constexpr int kWidestContentBox = 600;  // pixels: wider texts scroll inside their box

// A box without a limit is at least as wide as its text (up to a point), so a help sentence shows
// whole; it shares any further room of its row.
void fitContent(QLineEdit* w) {
    const QFontMetrics fm(w->font());
    const QMargins m = w->textMargins();
    const int want = std::min(fm.horizontalAdvance(w->text()) + m.left() + m.right() + 12, kWidestContentBox);
    if (w->minimumWidth() != want) w->setMinimumWidth(want);
}

void sizeToLimit(QLineEdit* w, int chars) {
    if (chars <= 0) {
        w->setMaximumWidth(QWIDGETSIZE_MAX);
        w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        fitContent(w);
        return;
    }
    const QFontMetrics fm(w->font());
    const int text = fm.horizontalAdvance(QString(std::max(chars, 2), QLatin1Char('0'))) +
                     (chars > 8 ? 0 : fm.horizontalAdvance(QLatin1Char('W')) - fm.horizontalAdvance(QLatin1Char('0')));
    const QMargins m = w->textMargins();
    const int width = std::min(text + m.left() + m.right() + 12, kWidestContentBox);  // the frame and the caret's room
    w->setFixedWidth(width);
    w->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

bool sameItems(const std::vector<std::string>& model, const QStringList& shown) {
    if (static_cast<qsizetype>(model.size()) != shown.size()) return false;
    for (std::size_t i = 0; i < model.size(); ++i)
        if (qs(model[i]) != shown[static_cast<qsizetype>(i)]) return false;
    return true;
}

QStringList toList(const std::vector<std::string>& items) {
    QStringList l;
    l.reserve(static_cast<qsizetype>(items.size()));
    for (const auto& s : items) l << qs(s);
    return l;
}

// A text as a screen reader's name: on one line, without the marks of keyboard mnemonics ("&Mute"),
// blanks run together, and a label's closing colon ("Length :") left off.
QString cleanName(const std::string& s, bool mnemonics, bool label) {
    QString q = toDisplay(s);
    if (mnemonics) {
        QString out;
        for (qsizetype i = 0; i < q.size(); ++i) {
            if (q[i] == QLatin1Char('&') && i + 1 < q.size()) ++i;
            out += q[i];
        }
        q = out;
    }
    q = q.simplified();
    if (label)
        while (q.endsWith(QLatin1Char(':'))) q = q.chopped(1).trimmed();
    return q;
}

// Whether a text says something: a caption of blanks or punctuation (":", "...") names nothing.
bool hasWord(const std::string& s) {
    for (QChar ch : qs(s))
        if (ch.isLetterOrNumber()) return true;
    return false;
}

// Whether a label's text can name a control: a counter or a percentage ("60", "0%") cannot.
bool hasLetter(const std::string& s) {
    for (QChar ch : qs(s))
        if (ch.isLetter()) return true;
    return false;
}

// Controls the operator works, and the progress bars that tell how far a piece of work has come:
// they need a name of their own. Labels and pictures only show.
bool needsName(const Control& c) {
    return dynamic_cast<const TextBox*>(&c) || dynamic_cast<const CheckBox*>(&c) ||
           dynamic_cast<const OptionButton*>(&c) || dynamic_cast<const CommandButton*>(&c) ||
           dynamic_cast<const ScrollBar*>(&c) || dynamic_cast<const ComboBox*>(&c) ||
           dynamic_cast<const ListBox*>(&c) || dynamic_cast<const ProgressBar*>(&c);
}

bool showsOwnCaption(const Control& c) {
    return dynamic_cast<const CheckBox*>(&c) || dynamic_cast<const OptionButton*>(&c) ||
           dynamic_cast<const CommandButton*>(&c);
}

// The text of a label item: a declared caption or a label control.
const std::string& labelText(const LayoutItem& item) {
    return item.kind == LayoutItem::Kind::Caption ? item.text : item.control->caption();
}

bool isLabelItem(const LayoutItem& item) {
    if (item.kind == LayoutItem::Kind::Caption) return hasLetter(item.text);
    return item.kind == LayoutItem::Kind::Control && item.control && !needsName(*item.control) &&
           !dynamic_cast<const Picture*>(item.control) && hasLetter(item.control->caption());
}

// A control that holds a value the operator reads off it (a box, a slider, a list): a label right
// after it is its unit ("Minute", "ms").
bool holdsValue(const LayoutItem& item) {
    return item.kind == LayoutItem::Kind::Control && item.control && needsName(*item.control) &&
           !showsOwnCaption(*item.control);
}

// The slider's value in its tool tip, under the tool tip the model gives it.
QString sliderTip(const ScrollBar& sb) {
    const QString value = QString::number(sb.value());
    return sb.toolTip().empty() ? value : plainToolTip(sb.toolTip() + "\n" + value.toStdString());
}

// Hands the operator's right mouse button on a control's widget to the control's model.
// A label for a sentence that may be long: it asks for the room of the whole sentence, takes what its
// row gives, and shows as much as that holds, shortened with "...". One line always, so a fixed window
// never grows a scroll bar for it.
class ShortenedLabel : public QLabel {
public:
    explicit ShortenedLabel(QWidget* parent) : QLabel(parent) {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    void setSentence(const QString& sentence) {
        if (sentence == sentence_) return;
        sentence_ = sentence;
        updateGeometry();
        shorten();
    }
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(sentence_) + 2 * margin() + 4, QLabel::minimumSizeHint().height()};
    }
    QSize minimumSizeHint() const override {
        return {fontMetrics().horizontalAdvance(QStringLiteral("...")), QLabel::minimumSizeHint().height()};
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        shorten();
    }

private:
    void shorten() {
        const QString shown = fontMetrics().elidedText(sentence_, Qt::ElideRight, contentsRect().width());
        if (text() != shown) QLabel::setText(shown);
    }
    QString sentence_;
};

// A label whose text changes many times a second. Repainted by the window, each change would cost a
// pass of the window's paint machinery over everything under the label; instead the label keeps what
// its parents painted under it at its last full paint, draws its text over a copy of that from glyphs
// it keeps (see GlyphText), and the picture is copied straight into the window (see
// DirectlyPainted). Whenever that cannot be done (not in full view, resized, never fully painted
// yet) the label is repainted as any other.
class LiveLabel : public QLabel, public DirectlyPainted {
public:
    explicit LiveLabel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

    void setLiveText(const QString& text) {
        if (text == this->text()) return;
        if (!updatesEnabled() || !haveBackground() || !checkSoon()) {
            setText(text);
            return;
        }
        // The change is shown when the loop comes round, not through the window's update.
        setAttribute(Qt::WA_UpdatesDisabled, true);
        setText(text);
        setAttribute(Qt::WA_UpdatesDisabled, false);
    }

    QWidget& paintedWidget() override { return *this; }
    bool checkPicture() override { return true; }
    bool drawable() const override { return haveBackground(); }
    const QImage& shownImage() override {
        if (!haveBackground()) {
            image_ = QImage();
            return image_;
        }
        // The image is kept from change to change; only its pixels are set again.
        if (image_.size() != background_.size() || image_.format() != background_.format() || !image_.isDetached())
            image_ = QImage(background_.size(), background_.format());
        std::memcpy(image_.bits(), background_.constBits(), static_cast<std::size_t>(background_.sizeInBytes()));
        if (!drawFromGlyphs()) {
            QPainter painter(&image_);
            drawText(painter);
        }
        return image_;
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        keepBackground(event->region());
        QPainter painter(this);
        drawText(painter);
    }

private:
    // What lies under the label, kept at its size.
    bool haveBackground() const { return !background_.isNull() && background_.size() == size(); }

    // When the window paints the whole label into its backing store, its parents have just painted
    // what lies under it there (a grab paints elsewhere, over what the window shows).
    void keepBackground(const QRegion& area) {
        background_ = QImage();
        QWidget* w = window();
        QBackingStore* store = w->backingStore();
        QPaintDevice* device = store ? store->paintDevice() : nullptr;
        QPoint offset;
        if (area != QRegion(rect()) || !device || redirected(&offset) != device ||
            device->devType() != QInternal::Image || devicePixelRatio() != 1.0)
            return;
        const auto* shown = static_cast<const QImage*>(device);
        const QRect at(mapTo(w, QPoint()), size());
        if (shown->rect().contains(at) && shown->devicePixelRatio() == 1.0)
            background_ = shown->copy(at).convertToFormat(QImage::Format_RGB32);
    }

    void drawText(QPainter& painter) {
        QStyleOption opt;
        opt.initFrom(this);
        const auto align = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment()));
        style()->drawItemText(&painter, contentsRect(), align, opt.palette, isEnabled(), text(), foregroundRole());
    }

    // Draws the text into image_ from kept glyphs; false when it is left to the style. The first
    // text of each setting is drawn both ways: the glyphs are trusted for the setting only when they
    // come out pixel for pixel as the style draws.
    bool drawFromGlyphs() {
        if (!isEnabled()) return false;
        const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
        // The colour the style takes: that of the window's state (active or not).
        QStyleOption opt;
        opt.initFrom(this);
        const QColor colour = opt.palette.color(foregroundRole());
        if (glyphsTrusted_ == Trust::Unknown || font() != glyphFont_ || colour != glyphColour_ ||
            contentsRect() != glyphRect_ || align != glyphAlign_) {
            glyphFont_ = font();
            glyphColour_ = colour;
            glyphRect_ = contentsRect();
            glyphAlign_ = align;
            glyphs_.setStyle(glyphFont_, glyphColour_, glyphRect_, glyphAlign_);
            glyphsTrusted_ = Trust::Unknown;
        }
        if (glyphsTrusted_ == Trust::No) return false;
        if (glyphsTrusted_ == Trust::Yes) return glyphs_.draw(image_, text());
        QImage styled = image_.copy();
        {
            QPainter painter(&styled);
            drawText(painter);
        }
        if (!glyphs_.draw(image_, text())) {
            image_ = styled;
            return true;
        }
        glyphsTrusted_ = image_ == styled ? Trust::Yes : Trust::No;
        image_ = styled;
        return true;
    }

    QImage background_, image_;
    GlyphText glyphs_;
    enum class Trust { Unknown, Yes, No } glyphsTrusted_ = Trust::Unknown;
    QFont glyphFont_;
    QColor glyphColour_;
    QRect glyphRect_;
    Qt::Alignment glyphAlign_;
};

class RightClickFilter : public QObject {
public:
    RightClickFilter(Control& c, QObject* parent) : QObject(parent), control_(c) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress ||
            static_cast<QMouseEvent*>(event)->button() != Qt::RightButton || !control_.onRightClick)
            return QObject::eventFilter(watched, event);
        guarded(control_, control_.onRightClick);
        return true;
    }

private:
    Control& control_;
};

}  // namespace

struct FormView::Binding {
    Control* control = nullptr;
    QWidget* widget = nullptr;
    // Writes the control's own state (text, value, items) into the widget.
    std::function<void()> refreshValue;
    // Set for controls that change many times a second (pictures): what a change runs instead of a
    // full refresh.
    std::function<void()> quickChange;
    // Set while the widget is written from the model; input handlers stay quiet meanwhile.
    bool refreshing = false;
    Colour fore = kDefaultColour, back = kDefaultColour;
    // The tool tip, when it shows more than the model's (a slider's value).
    std::function<QString()> toolTip;
    // How the control is named for a screen reader (none for labels and pictures), and, for a label,
    // the controls its caption names.
    const Naming* naming = nullptr;
    std::vector<Binding*> labelled;
};

FormView::FormView(Window& window, QWidget* parent) : QWidget(parent), window_(window) {
    installAccessibility();
    // The content scrolls when the window is taller or wider than the screen, so no button is ever
    // out of reach.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* area = new QScrollArea(this);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    outer->addWidget(area);
    content_ = new QWidget(area);
    auto* top = new QVBoxLayout(content_);
    top->setContentsMargins(6, 4, 6, 4);
    top->setSpacing(2);
    layouts_.push_back(top);
    planNames(window_.layoutItems(), window_.windowCaption());
    build(window_.layoutItems(), top, content_);
    area->setWidget(content_);
    std::map<const Control*, Binding*> byControl;
    for (auto& b : bindings_) byControl[b->control] = b.get();
    for (auto& b : bindings_) {
        auto it = names_.find(b->control);
        if (it == names_.end()) continue;
        b->naming = &it->second;
        if (it->second.from != Naming::From::Label) continue;
        // The label before a box is its buddy: a screen reader reads it as the box's label.
        QLabel* label = nullptr;
        if (it->second.labelItem) {
            label = captionLabels_[it->second.labelItem];
        } else if (auto lb = byControl.find(it->second.label); lb != byControl.end()) {
            label = qobject_cast<QLabel*>(lb->second->widget);
            lb->second->labelled.push_back(b.get());
        }
        if (label) label->setBuddy(b->widget);
    }
    for (auto& b : bindings_) {
        Binding* raw = b.get();
        refresh(*raw);
        if (raw->quickChange)
            raw->control->viewChanged = raw->quickChange;
        else
            raw->control->viewChanged = [this, raw] { refresh(*raw); };
        raw->control->viewPaintNow = [w = raw->widget] { w->repaint(); };
    }
    setWindowTitle(qs(window_.windowCaption()));
    // The name the desktop gives the window where only a short one fits (a task-bar button).
    setWindowIconText(qs(window_.windowCaption()));
    if (window_.frameStyle() != Window::FrameStyle::Normal)
        setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    if (window_.isModal()) setWindowModality(Qt::ApplicationModal);
    // Qt opens a window at two thirds of the screen at most; a window that fits opens whole.
    resize(sizeHint());
    applyPosition();
}

namespace {
constexpr double kTwipsPerPixel = 15.0;
}

QSize FormView::sizeHint() const {
    // The whole content where the screen allows, else as much of it as the screen holds.
    QSize want = content_->sizeHint() + QSize(2, 2);
    if (const QScreen* sc = screen()) want = want.boundedTo(sc->availableGeometry().size() - QSize(16, 48));
    return want;
}

QPoint FormView::withinScreen(QPoint framePos) const {
    const QScreen* sc = screen();
    if (!sc) return framePos;
    const QRect avail = sc->availableGeometry();
    // Before the window manager has framed the window its frame is not known: a title bar's height
    // and a thin border stand for it.
    const QRect outerNow = frameGeometry(), inner = geometry();
    QMargins frame(inner.left() - outerNow.left(), inner.top() - outerNow.top(), outerNow.right() - inner.right(),
                   outerNow.bottom() - inner.bottom());
    if (frame.isNull()) {
        const int border = 4;
        frame = QMargins(border, style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border);
    }
    const QSize outer = size().grownBy(frame);
    // A window's position is where its frame begins; a window larger than the screen keeps its title
    // bar in reach, at the top left.
    return {std::clamp(framePos.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - outer.width())),
            std::clamp(framePos.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - outer.height()))};
}

void FormView::applyPosition() {
    // The window opens on the screen with its frame, its title bar and close box in reach, wherever
    // settings made on a larger screen put it.
    const QPoint want =
        withinScreen(QPoint(qRound(window_.left() / kTwipsPerPixel), qRound(window_.top() / kTwipsPerPixel)));
    if (pos() == want) return;
    applyingPosition_ = true;
    move(want);
    applyingPosition_ = false;
}

void FormView::showEvent(QShowEvent* event) {
    // Shown the first time: the widgets are styled now and the window's screen is known, so the
    // size the content asks for is the one it will have.
    if (!shownOnce_) {
        shownOnce_ = true;
        // Layouts keep the sizes their widgets asked for before they were styled (the pages behind a
        // tab's first page until they are shown): have every widget measured again now, so the
        // window opens at its whole size and at its tallest page, without scroll bars.
        content_->ensurePolished();
        for (QWidget* w : content_->findChildren<QWidget*>()) w->updateGeometry();
        for (QLayout* l : content_->findChildren<QLayout*>()) l->invalidate();
        resize(sizeHint());
        applyPosition();
        if (window_.frameStyle() == Window::FrameStyle::FixedTool) setFixedSize(size());
        // Where the layout puts everything is known once the first show has been laid out.
        if (window_.frameStyle() == Window::FrameStyle::SizableTool)
            QTimer::singleShot(0, this, [this] { keepDesign(); });
    }
    QWidget::showEvent(event);
}

void FormView::keepDesign() {
    if (designSize_.isValid() || content_->width() <= 0 || content_->height() <= 0) return;
    designSize_ = content_->size();
    for (QWidget* w : placed_) design_.emplace_back(w, w->geometry());
    // From now on the widgets are placed by scaling, not by the layouts; labels keep the size their
    // text needs, everything else may shrink and grow.
    for (QLayout* l : layouts_) l->setEnabled(false);
    for (QWidget* w : placed_)
        if (!qobject_cast<QLabel*>(w)) {
            w->setMinimumSize(0, 0);
            w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        }
    content_->setMinimumSize(0, 0);
    content_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    content_->installEventFilter(this);
}

void FormView::scaleToSize() {
    // A minimised window, or one with no size, has nothing to scale to.
    if (!designSize_.isValid() || isMinimized() || content_->width() <= 0 || content_->height() <= 0) return;
    const double rw = static_cast<double>(content_->width()) / designSize_.width();
    const double rh = static_cast<double>(content_->height()) / designSize_.height();
    for (const auto& [w, r] : design_)
        w->setGeometry(qRound(r.x() * rw), qRound(r.y() * rh), qRound(r.width() * rw), qRound(r.height() * rh));
}

bool FormView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == content_ && event->type() == QEvent::Resize) scaleToSize();
    return QWidget::eventFilter(watched, event);
}

void FormView::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // The operator moved the window: the model keeps the new place, which its settings save.
    if (!applyingPosition_ && isVisible())
        window_.setPosition(pos().x() * kTwipsPerPixel, pos().y() * kTwipsPerPixel);
}

FormView::~FormView() {
    for (auto& b : bindings_) {
        b->control->viewChanged = nullptr;
        b->control->viewPaintNow = nullptr;
    }
}

QWidget* FormView::widgetFor(const Control& c) const {
    for (const auto& b : bindings_)
        if (b->control == &c) return b->widget;
    return nullptr;
}

void FormView::syncWindow() {
    const QString title = qs(window_.windowCaption());
    if (windowTitle() != title) setWindowTitle(title);
    if (windowIconText() != title) setWindowIconText(title);
    applyPosition();
    if (window_.isVisible()) {
        if (window_.isMinimized()) {
            if (!isMinimized()) showMinimized();
        } else if (isMinimized()) {
            showNormal();
        } else if (!isVisible()) {
            show();
        }
    } else if (isVisible()) {
        hide();
    }
    // Asked to the front (shown again from the launcher): restored and raised.
    if (raisesSeen_ != window_.raiseRequests()) {
        raisesSeen_ = window_.raiseRequests();
        if (window_.isVisible()) {
            if (isMinimized()) showNormal();
            raise();
            activateWindow();
        }
    }
}

void FormView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    // The program never asks for full screen, but a window manager may take a window of fixed size
    // for a full-screen one (scaled, its size hints look as large as the screen) and show it without
    // its title bar, its close box out of reach: it goes back to its own size and frame.
    if (windowState() & Qt::WindowFullScreen)
        QTimer::singleShot(0, this, [this] {
            if (windowState() & Qt::WindowFullScreen) setWindowState(windowState() & ~Qt::WindowFullScreen);
        });
    // The operator minimised or restored the window: the model follows, so showing it restores it.
    if (window_.isVisible()) window_.setMinimized(isMinimized());
}

void FormView::keyPressEvent(QKeyEvent* event) {
    // Escape does what the close box does, in the windows that are closed that way.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && window_.closesOnEscape()) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FormView::closeEvent(QCloseEvent* event) {
    // Qt never closes the widget itself: it lives as long as the model, and showing the window again
    // must find it.
    event->ignore();
    if (window_.onCloseRequest && !window_.onCloseRequest()) return;
    // The model hears that its window is gone, so a later "show" is a real change it reports. When
    // the close handler already hid or unloaded the window this changes nothing.
    window_.setVisible(false);
    hide();
}

void FormView::build(std::span<const LayoutItem> items, QBoxLayout* into, QWidget* parent) {
    for (const LayoutItem& item : items) {
        switch (item.kind) {
        case LayoutItem::Kind::Control:
            if (item.control) {
                placed_.push_back(makeControl(*item.control, parent));
                into->addWidget(placed_.back());
            }
            break;
        case LayoutItem::Kind::Caption: {
            QLabel* label = plainLabel(toDisplay(item.text), parent);
            captionLabels_[&item] = label;
            placed_.push_back(label);
            into->addWidget(label);
            break;
        }
        case LayoutItem::Kind::Stretch:
            into->addStretch(1);
            break;
        case LayoutItem::Kind::Row: {
            auto* row = new QHBoxLayout;
            row->setSpacing(4);
            layouts_.push_back(row);
            into->addLayout(row);
            build(item.items, row, parent);
            break;
        }
        case LayoutItem::Kind::Frame:
        case LayoutItem::Kind::Tab: {  // a tab page outside a tab set shows as a frame
            auto* box = new QGroupBox(qs(item.text), parent);
            // Qt names a frame in a frame by the outer one's caption: each is named by its own.
            if (!item.text.empty()) box->setAccessibleName(cleanName(item.text, true, false));
            placed_.push_back(box);
            auto* inner = new QVBoxLayout(box);
            layouts_.push_back(inner);
            // A frame is as big as what it holds.
            inner->setContentsMargins(4, 0, 4, 0);
            inner->setSpacing(2);
            build(item.items, inner, box);
            // Beside a taller neighbour a frame keeps its own height at the top, rather than
            // spreading its rows over the neighbour's height.
            if (qobject_cast<QHBoxLayout*>(into))
                into->addWidget(box, 0, Qt::AlignTop);
            else
                into->addWidget(box);
            break;
        }
        case LayoutItem::Kind::Tabs: {
            auto* tabs = new QTabWidget(parent);
            placed_.push_back(tabs);
            for (const LayoutItem& page : item.items) {
                auto* w = new QWidget(tabs);
                auto* inner = new QVBoxLayout(w);
                layouts_.push_back(inner);
                inner->setContentsMargins(4, 2, 4, 0);
                inner->setSpacing(2);
                if (page.kind == LayoutItem::Kind::Tab)
                    build(page.items, inner, w);
                else
                    build(std::span(&page, 1), inner, w);
                tabs->addTab(w, qs(page.text));
                // The page is named as its tab, so a screen reader tells which page a control is on.
                w->setAccessibleName(cleanName(page.text, true, false));
            }
            into->addWidget(tabs);
            break;
        }
        }
    }
}

void FormView::planNames(std::span<const LayoutItem> items, const std::string& frameCaption) {
    struct Entry {
        const Control* control;
        Naming naming;
    };
    std::vector<Entry> entries;
    auto nameOf = [](const Entry& e) { return nameText(e.naming, *e.control); };
    // A frame of its own, or a tab page, is a scope of its own.
    auto inner = [&](const LayoutItem& item) {
        const std::string& caption = item.text.empty() ? frameCaption : item.text;
        if (item.kind == LayoutItem::Kind::Tab || item.kind == LayoutItem::Kind::Frame)
            planNames(item.items, caption);
        else  // a tab page declared as one item
            planNames(std::span(&item, 1), caption);
    };
    // One run of items: a row (left to right) or the frame's column (top to bottom).
    std::function<void(std::span<const LayoutItem>)> walk = [&](std::span<const LayoutItem> run) {
        // The labels since the last control, each with whether it stands right after a value (its
        // unit, which names the next control only when it stands right before that one too).
        std::vector<std::pair<const LayoutItem*, bool>> labels;
        const LayoutItem* previous = nullptr;  // the item before, stretches passed over
        for (std::size_t i = 0; i < run.size(); ++i) {
            const LayoutItem& item = run[i];
            if (item.kind == LayoutItem::Kind::Stretch) continue;
            const LayoutItem* before = previous;
            previous = &item;
            switch (item.kind) {
            case LayoutItem::Kind::Stretch:
                break;
            case LayoutItem::Kind::Caption:
            case LayoutItem::Kind::Control: {
                if (isLabelItem(item)) {
                    labels.emplace_back(&item, before && holdsValue(*before));
                    break;
                }
                if (item.kind != LayoutItem::Kind::Control || !item.control || !needsName(*item.control)) break;
                const Control& c = *item.control;
                Entry e{&c, {}};
                // The label before a control names it; of several, one that ends in a colon. A slider
                // between two labels shows its ends by them ("Slow", "Fast"), not its name.
                const LayoutItem* label = nullptr;
                for (const auto& [l, unit] : labels)
                    if (cleanName(labelText(*l), false, false).endsWith(QLatin1Char(':'))) label = l;
                std::size_t next = i + 1;
                while (next < run.size() && run[next].kind == LayoutItem::Kind::Stretch) ++next;
                const bool markAfter = next < run.size() && isLabelItem(run[next]);
                if (!label && !labels.empty() && !(dynamic_cast<const ScrollBar*>(&c) && markAfter)) {
                    const auto& [last, unit] = labels.back();
                    if (!unit || last == before) label = last;
                }
                if (!item.name.empty()) {
                    e.naming.text = item.name;
                } else if (showsOwnCaption(c) && hasWord(c.caption())) {
                    e.naming.from = Naming::From::Caption;
                } else if (hasWord(c.toolTip())) {
                    e.naming.from = Naming::From::ToolTip;
                } else if (label) {
                    e.naming.from = Naming::From::Label;
                    if (label->kind == LayoutItem::Kind::Caption) {
                        e.naming.labelItem = label;
                        e.naming.text = label->text;
                    } else {
                        e.naming.label = label->control;
                    }
                } else {
                    e.naming.text = frameCaption;
                }
                entries.push_back(e);
                labels.clear();
                break;
            }
            case LayoutItem::Kind::Row:
                walk(item.items);
                labels.clear();
                break;
            case LayoutItem::Kind::Frame:
            case LayoutItem::Kind::Tab:
                // A frame without a caption only draws a line around its controls: a screen reader
                // meets them as part of the frame around it.
                if (item.text.empty())
                    walk(item.items);
                else
                    inner(item);
                labels.clear();
                break;
            case LayoutItem::Kind::Tabs:
                for (const LayoutItem& page : item.items) inner(page);
                labels.clear();
                break;
            }
        }
    };
    walk(items);

    // Names that repeat within the frame are numbered in the order Tab reaches them.
    std::map<QString, std::vector<Entry*>> byName;
    for (Entry& e : entries) byName[nameOf(e)].push_back(&e);
    for (auto& [name, same] : byName) {
        if (same.size() < 2) continue;
        for (std::size_t k = 0; k < same.size(); ++k) same[k]->naming.number = " " + std::to_string(k + 1);
    }
    for (Entry& e : entries) names_[e.control] = e.naming;
}

QString FormView::nameText(const Naming& n, const Control& c) {
    QString name;
    switch (n.from) {
    case Naming::From::Caption:
        name = cleanName(c.caption(), true, false);
        break;
    case Naming::From::ToolTip:
        name = cleanName(c.toolTip(), false, false);
        break;
    case Naming::From::Label:
        name = cleanName(n.label ? n.label->caption() : n.text, false, true);
        break;
    case Naming::From::Text:
        name = cleanName(n.text, false, false);
        break;
    }
    return name + qs(n.number);
}

void FormView::applyName(Binding& b) {
    if (!b.naming) return;
    QString name = nameText(*b.naming, *b.control);
    if (b.widget->accessibleName() == name) return;
    b.widget->setAccessibleName(name);
    // An editable combo box's text field is the part a screen reader lands in.
    if (auto* combo = qobject_cast<QComboBox*>(b.widget); combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(name);
}

QWidget* FormView::makeControl(Control& c, QWidget* parent) {
    auto owned = std::make_unique<Binding>();
    Binding* b = owned.get();
    b->control = &c;
    bindings_.push_back(std::move(owned));
    // After the operator's input reached the model, show what the model made of it (a typing
    // style may have dropped characters, a selected option stays selected).
    auto input = [this, b](const std::function<void()>& fn) {
        if (b->refreshing) return;
        guarded(*b->control, fn);
        refresh(*b);
    };

    if (auto* tb = dynamic_cast<TextBox*>(&c)) {
        if (tb->multiLine()) {
            auto* w = new QPlainTextEdit(parent);
            w->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            // A log pane's lines would otherwise pile up in the undo history.
            if (tb->lineLimit() > 0) w->setUndoRedoEnabled(false);
            QObject::connect(w, &QPlainTextEdit::textChanged, w,
                             [w, tb, input] { input([&] { tb->setText(typedText(*tb, w->toPlainText(), true)); }); });
            auto mirror = std::make_shared<PaneMirror>(*w, *tb);
            b->refreshValue = [w, tb, mirror] {
                w->setReadOnly(tb->readOnly());
                mirror->sync();
            };
            // A pane the operator cannot type into takes what arrives in batches: a burst of lines is
            // put in, and painted, once. One the operator types into follows at once, so an edit is
            // always read against what the box shows.
            auto* batch = new QTimer(w);
            batch->setSingleShot(true);
            batch->setInterval(kPaneBatchMs);
            QObject::connect(batch, &QTimer::timeout, w, [this, b] { refresh(*b); });
            b->quickChange = [this, b, tb, batch] {
                if (!tb->readOnly())
                    refresh(*b);
                else if (!batch->isActive())
                    batch->start();
            };
            b->widget = w;
        } else {
            auto* w = new QLineEdit(parent);
            // Read-only from the start, so that a screen reader is never told of an editable box.
            takesTyping(*w, !tb->readOnly());
            w->setValidator(new RefusedKeys(*tb, w));
            QObject::connect(w, &QLineEdit::textEdited, w, [w, tb, input](const QString& t) {
                const std::string typed = typedText(*tb, t, false);
                input([&] { tb->setText(typed); });
                // The operator emptied the box and the model filled it again ("0"): the fill is
                // selected, so the next key replaces it instead of being added to it.
                if (typed.empty() && !tb->text().empty() && w->text() == qs(tb->text())) w->selectAll();
            });
            QObject::connect(w, &QLineEdit::returnPressed, w, [tb, input] { input([&] { tb->keyPress(13); }); });
            b->refreshValue = [w, tb] {
                if (w->isReadOnly() != tb->readOnly()) {
                    takesTyping(*w, !tb->readOnly());
                    // A screen reader learns that the box now takes typing, or no longer does.
                    renewAccessibility(w);
                }
                w->setEchoMode(tb->masked() ? QLineEdit::Password : QLineEdit::Normal);
                const Qt::Alignment align = tb->centred() ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter;
                if (w->alignment() != align) w->setAlignment(align);
                const QString text = qs(tb->text());
                // The limit holds for typing; a longer text from code or settings is shown whole.
                const int limit = tb->maxLength() > 0 ? std::max<int>(tb->maxLength(), text.size()) : (1 << 30);
                if (w->maxLength() != limit) {
                    w->setMaxLength(limit);
                    sizeToLimit(w, tb->maxLength());
                }
                if (w->text() == text) return;
                // Keep the caret where the operator was typing when the model drops a character.
                const int pos = w->cursorPosition() - static_cast<int>(w->text().size() - text.size());
                w->setText(text);
                if (tb->maxLength() <= 0) fitContent(w);
                if (w->hasFocus()) w->setCursorPosition(std::clamp<int>(pos, 0, static_cast<int>(text.size())));
            };
            b->widget = w;
        }
    } else if (auto* cb = dynamic_cast<CheckBox*>(&c)) {
        auto* w = new QCheckBox(parent);
        QObject::connect(w, &QCheckBox::clicked, w, [cb, input] { input([&] { cb->click(); }); });
        b->refreshValue = [w, cb] {
            w->setText(qs(cb->caption()));
            // Grey is a state code sets; the operator's click only toggles between off and on.
            w->setTristate(cb->value() == 2);
            w->setCheckState(cb->value() == 1 ? Qt::Checked : cb->value() == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
        };
        b->widget = w;
    } else if (auto* ob = dynamic_cast<OptionButton*>(&c)) {
        auto* w = new QRadioButton(parent);
        // The model's option groups decide what excludes what, not the widgets' parents.
        w->setAutoExclusive(false);
        QObject::connect(w, &QRadioButton::clicked, w, [ob, input] { input([&] { ob->setValue(true); }); });
        b->refreshValue = [w, ob] {
            w->setText(qs(ob->caption()));
            w->setChecked(ob->value());
        };
        b->widget = w;
    } else if (auto* btn = dynamic_cast<CommandButton*>(&c)) {
        auto* w = new QPushButton(parent);
        QObject::connect(w, &QPushButton::clicked, w, [btn, input] { input([&] { btn->click(); }); });
        b->refreshValue = [w, btn] { w->setText(qs(btn->caption())); };
        b->widget = w;
    } else if (auto* sb = dynamic_cast<ScrollBar*>(&c)) {
        auto* w = new QSlider(Qt::Horizontal, parent);
        // Dragging the thumb scrolls and its release is the change; arrows, track clicks and keys
        // change the value.
        QObject::connect(w, &QSlider::sliderMoved, w, [sb, input](int v) { input([&] { sb->scroll(v); }); });
        QObject::connect(w, &QSlider::sliderReleased, w, [sb, input] { input([&] { sb->endScroll(); }); });
        QObject::connect(w, &QSlider::valueChanged, w, [w, sb, input](int v) {
            if (!w->isSliderDown()) input([&] { sb->setValue(v); });
            // The operator moved it: its value shows beside the thumb as it goes.
            QStyleOptionSlider opt;
            opt.initFrom(w);
            opt.orientation = w->orientation();
            opt.minimum = w->minimum();
            opt.maximum = w->maximum();
            opt.sliderPosition = w->sliderPosition();
            opt.upsideDown = w->invertedAppearance() != (w->orientation() == Qt::Vertical);
            const QRect thumb = w->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, w);
            QToolTip::showText(w->mapToGlobal(thumb.bottomRight()), w->toolTip(), w);
        });
        b->toolTip = [sb] { return sliderTip(*sb); };
        b->refreshValue = [w, sb] {
            const Qt::Orientation o = sb->vertical() ? Qt::Vertical : Qt::Horizontal;
            if (w->orientation() != o) {
                w->setOrientation(o);
                if (sb->vertical()) w->setMinimumHeight(120);
            }
            // An upright bar has its minimum at the top; Qt's at the bottom.
            w->setInvertedAppearance((sb->min() > sb->max()) != sb->vertical());
            w->setInvertedControls(sb->vertical());
            w->setRange(std::min(sb->min(), sb->max()), std::max(sb->min(), sb->max()));
            w->setSingleStep(sb->smallChange());
            w->setPageStep(sb->largeChange());
            w->setValue(sb->value());
        };
        b->widget = w;
    } else if (auto* pb = dynamic_cast<ProgressBar*>(&c)) {
        auto* w = new QProgressBar(parent);
        w->setTextVisible(false);
        b->refreshValue = [w, pb] {
            w->setRange(std::min(pb->min(), pb->max()), std::max(pb->min(), pb->max()));
            w->setValue(pb->value());
        };
        b->widget = w;
    } else if (auto* co = dynamic_cast<ComboBox*>(&c)) {
        auto* w = new QComboBox(parent);
        w->setEditable(true);
        // The model owns the list: Enter must not add the typed text, nor a completer rewrite it.
        w->setInsertPolicy(QComboBox::NoInsert);
        w->setCompleter(nullptr);
        QObject::connect(w, &QComboBox::activated, w, [co, input](int i) { input([&] { co->setListIndex(i); }); });
        QObject::connect(w->lineEdit(), &QLineEdit::textEdited, w,
                         [co, input](const QString& t) { input([&] { co->setText(t.toStdString()); }); });
        b->refreshValue = [w, co] {
            QStringList shown;
            for (int i = 0; i < w->count(); ++i) shown << w->itemText(i);
            if (!sameItems(co->items(), shown)) {
                w->clear();
                w->addItems(toList(co->items()));
            }
            if (w->currentIndex() != co->listIndex()) w->setCurrentIndex(co->listIndex());
            if (w->currentText() != qs(co->text())) w->setEditText(qs(co->text()));
        };
        b->widget = w;
    } else if (auto* lb = dynamic_cast<ListBox*>(&c)) {
        auto* w = new QListWidget(parent);
        QObject::connect(w, &QListWidget::currentRowChanged, w,
                         [lb, input](int row) { input([&] { lb->setListIndex(row); }); });
        b->refreshValue = [w, lb] {
            QStringList shown;
            for (int i = 0; i < w->count(); ++i) shown << w->item(i)->text();
            if (!sameItems(lb->items(), shown)) {
                w->clear();
                w->addItems(toList(lb->items()));
            }
            if (w->currentRow() != lb->listIndex()) w->setCurrentRow(lb->listIndex());
        };
        b->widget = w;
    } else if (auto* pic = dynamic_cast<Picture*>(&c)) {
        // A window that draws: the picture paints what its model drew.
        auto* w = new PictureWidget(*pic, parent);
        // The picture paints every pixel of itself: nothing behind it needs painting first.
        w->setAttribute(Qt::WA_OpaquePaintEvent);
        // Each drawing step of a display tick reports a change; the widget's own hook folds them into
        // one repaint, and the picture's shown and enabled state follow it.
        b->refreshValue = pic->viewChanged;
        b->quickChange = [w, pic, hook = pic->viewChanged] {
            if (hook) hook();
            if (w->isHidden() == pic->visible()) w->setVisible(pic->visible());
            if (w->isEnabled() != pic->enabled()) w->setEnabled(pic->enabled());
        };
        b->widget = w;
    } else {
        // A label, or any control without input of its own: its caption as plain text.
        auto* label = dynamic_cast<Label*>(&c);
        if (label && label->changesOften() && !label->shortened() && label->width() < 0) {
            auto* w = new LiveLabel(parent);
            b->refreshValue = [w, &c] {
                const QString before = w->text();
                w->setLiveText(toDisplay(c.caption()));
                if (w->text() != before) keepLargestRoom(*w, before);
            };
            b->widget = w;
        } else if (label && label->shortened()) {
            auto* w = new ShortenedLabel(parent);
            b->refreshValue = [w, &c] { w->setSentence(toDisplay(c.caption())); };
            b->widget = w;
        } else {
            auto* w = plainLabel({}, parent);
            b->refreshValue = [w, &c, label] {
                const QString text = toDisplay(c.caption());
                if (label && label->width() >= 0) {
                    // A label held to a width (a bar that grows): its caption centred in that width.
                    if (w->text() != text) w->setText(text);
                    if (w->alignment() != Qt::AlignCenter) w->setAlignment(Qt::AlignCenter);
                    const int px = qRound(label->width() / kTwipsPerPixel);
                    if (w->minimumWidth() != px || w->maximumWidth() != px) w->setFixedWidth(px);
                    const int height = w->sizeHint().height();
                    if (w->minimumHeight() != height || w->maximumHeight() != height) w->setFixedHeight(height);
                    return;
                }
                const QString before = w->text();
                if (before == text) return;
                w->setText(text);
                keepLargestRoom(*w, before);
            };
            b->widget = w;
        }
    }
    b->widget->setObjectName(qs(c.name()));
    b->widget->installEventFilter(new RightClickFilter(c, b->widget));
    return b->widget;
}

void FormView::refresh(Binding& b) {
    Control& c = *b.control;
    QWidget* w = b.widget;
    // Writing the widget from the model must never write back into the model.
    b.refreshing = true;
    {
        const QSignalBlocker block(w);
        b.refreshValue();
        const QString tip = b.toolTip ? b.toolTip() : plainToolTip(c.toolTip());
        if (w->toolTip() != tip) w->setToolTip(tip);
        applyName(b);
        for (Binding* other : b.labelled) applyName(*other);
        if (w->isEnabled() != c.enabled()) w->setEnabled(c.enabled());
        if (w->isHidden() == c.visible()) w->setVisible(c.visible());
        if (b.fore != c.foreColour() || b.back != c.backColour()) {
            b.fore = c.foreColour();
            b.back = c.backColour();
            // Only the roles a colour is given for are set; the rest follow the window's palette.
            QPalette pal;
            if (b.fore != kDefaultColour) {
                const QColor fg = QColor::fromRgb(qtRgbFromColour(b.fore));
                pal.setColor(QPalette::WindowText, fg);
                pal.setColor(QPalette::Text, fg);
                pal.setColor(QPalette::ButtonText, fg);
            }
            if (b.back != kDefaultColour) {
                const QColor bg = QColor::fromRgb(qtRgbFromColour(b.back));
                pal.setColor(QPalette::Window, bg);
                pal.setColor(QPalette::Base, bg);
                pal.setColor(QPalette::Button, bg);
            }
            w->setPalette(pal);
            w->setAutoFillBackground(b.back != kDefaultColour);
        }
    }
    b.refreshing = false;
}

}  // namespace tarnwick
