#include "ui/form_view.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>

#include "recorder/dsp/picture.h"
#include "runtime/runtime.h"
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

// Hands the operator's right mouse button on a control's widget to the control's model.
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
};

FormView::FormView(Window& window, QWidget* parent) : QWidget(parent), window_(window) {
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
    build(window_.layoutItems(), top, content_);
    area->setWidget(content_);
    for (auto& b : bindings_) {
        Binding* raw = b.get();
        refresh(*raw);
        if (raw->quickChange)
            raw->control->viewChanged = raw->quickChange;
        else
            raw->control->viewChanged = [this, raw] { refresh(*raw); };
    }
    setWindowTitle(qs(window_.windowCaption()));
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

void FormView::applyPosition() {
    const QPoint want(qRound(window_.left() / kTwipsPerPixel), qRound(window_.top() / kTwipsPerPixel));
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
    for (auto& b : bindings_) b->control->viewChanged = nullptr;
}

QWidget* FormView::widgetFor(const Control& c) const {
    for (const auto& b : bindings_)
        if (b->control == &c) return b->widget;
    return nullptr;
}

void FormView::syncWindow() {
    const QString title = qs(window_.windowCaption());
    if (windowTitle() != title) setWindowTitle(title);
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
    // The operator minimised or restored the window: the model follows, so showing it restores it.
    if (event->type() == QEvent::WindowStateChange && window_.isVisible()) window_.setMinimized(isMinimized());
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

void FormView::build(const std::vector<LayoutItem>& items, QBoxLayout* into, QWidget* parent) {
    for (const LayoutItem& item : items) {
        switch (item.kind) {
        case LayoutItem::Kind::Control:
            if (item.control) {
                placed_.push_back(makeControl(*item.control, parent));
                into->addWidget(placed_.back());
            }
            break;
        case LayoutItem::Kind::Caption:
            placed_.push_back(plainLabel(toDisplay(item.text), parent));
            into->addWidget(placed_.back());
            break;
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
                    build({page}, inner, w);
                tabs->addTab(w, qs(page.text));
            }
            into->addWidget(tabs);
            break;
        }
        }
    }
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
            QObject::connect(w, &QLineEdit::textEdited, w,
                             [tb, input](const QString& t) { input([&] { tb->setText(typedText(*tb, t, false)); }); });
            QObject::connect(w, &QLineEdit::returnPressed, w, [tb, input] { input([&] { tb->keyPress(13); }); });
            b->refreshValue = [w, tb] {
                w->setReadOnly(tb->readOnly());
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
        });
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
        auto* w = plainLabel({}, parent);
        auto* label = dynamic_cast<Label*>(&c);
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
            if (w->text() == text) return;
            w->setText(text);
            // A label keeps the largest size it has had, as a fixed size: a text that changes often
            // (a counter, a status line) then repaints the label alone instead of laying out the
            // whole window again on every change.
            const QSize size = w->sizeHint().expandedTo(w->minimumSize());
            if (size != w->minimumSize() || size != w->maximumSize()) w->setFixedSize(size);
        };
        b->widget = w;
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
        const QString tip = plainToolTip(c.toolTip());
        if (w->toolTip() != tip) w->setToolTip(tip);
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
