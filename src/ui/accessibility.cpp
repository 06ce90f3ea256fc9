#include "ui/accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "ui/form_view.h"

namespace tarnwick {

namespace {

// A tool window: a window, or a dialog where it belongs to another window or keeps the others
// waiting. Qt takes a plain top-level widget for a filler.
class ToolWindowAccessible : public QAccessibleWidget {
public:
    explicit ToolWindowAccessible(FormView* view) : QAccessibleWidget(view, QAccessible::Window) {}
    QAccessible::Role role() const override {
        const Window& w = static_cast<FormView*>(widget())->window();
        return w.owner() || w.isModal() ? QAccessible::Dialog : QAccessible::Window;
    }
};

// An option button. Qt calls a radio button that it does not keep exclusive itself a check box, but
// the model's option groups make the choices exclude each other.
class OptionButtonAccessible : public QAccessibleWidget {
public:
    explicit OptionButtonAccessible(QRadioButton* b) : QAccessibleWidget(b, QAccessible::RadioButton) {}

    QString text(QAccessible::Text t) const override {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty()) s = button()->text().remove(QLatin1Char('&'));
        return s;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->isChecked();
        return s;
    }
    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled()) names << toggleAction();
        return names + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == toggleAction() || action == pressAction()) {
            if (widget()->isEnabled()) button()->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QRadioButton* button() const { return static_cast<QRadioButton*>(widget()); }
};

// A box that shows a value and takes no typing (a play time, a format): read-only text. Qt calls
// every line box editable, read-only or not.
class ReadOutAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ReadOutAccessible(QLineEdit* e) : QAccessibleWidget(e, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return edit()->displayText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = edit()->isReadOnly();
        s.editable = !s.readOnly;
        s.selectableText = true;
        s.passwordEdit = edit()->echoMode() != QLineEdit::Normal;
        return s;
    }

    // The text as shown, its selection and caret.
    QString text(int start, int end) const override { return edit()->displayText().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(edit()->displayText().size()); }
    int cursorPosition() const override { return edit()->cursorPosition(); }
    void setCursorPosition(int position) override { edit()->setCursorPosition(position); }
    int selectionCount() const override { return edit()->hasSelectedText() ? 1 : 0; }
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index != 0 || !edit()->hasSelectedText()) return;
        *start = edit()->selectionStart();
        *end = *start + edit()->selectionLength();
    }
    void setSelection(int index, int start, int end) override {
        if (index == 0) edit()->setSelection(start, end - start);
    }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index == 0) edit()->deselect();
    }
    void scrollToSubstring(int, int end) override { edit()->setCursorPosition(end); }
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }
    int offsetAtPoint(const QPoint& point) const override {
        return edit()->cursorPositionAt(edit()->mapFromGlobal(point));
    }
    QRect characterRect(int offset) const override {
        // Where the character stands in a box whose text fits it, as read-outs' texts do.
        const QString shown = edit()->displayText();
        if (offset < 0 || offset >= shown.size()) return {};
        const QFontMetrics fm(edit()->font());
        const QRect room = edit()->contentsRect().marginsRemoved(edit()->textMargins());
        int x = room.left() + 2;
        if (edit()->alignment() & Qt::AlignHCenter) x = room.center().x() - fm.horizontalAdvance(shown) / 2;
        x += fm.horizontalAdvance(shown.left(offset));
        const QRect at(x, room.center().y() - fm.height() / 2, fm.horizontalAdvance(shown.at(offset)), fm.height());
        return QRect(edit()->mapToGlobal(at.topLeft()), at.size());
    }

private:
    QLineEdit* edit() const { return static_cast<QLineEdit*>(widget()); }
};

// A list to choose from. On Linux Qt names it by the entry it shows and leaves its job to the label
// beside it, which a screen reader meeting the list on its own never hears: it is named by its
// accessible name (or the label whose buddy it is), and by the entry only when it has neither.
class ChooserAccessible : public QAccessibleWidget {
public:
    explicit ChooserAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return box()->isEditable() ? box()->lineEdit()->text() : box()->currentText();
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty()) s = text(QAccessible::Value);
        return s;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view()->isVisible();
        s.collapsed = !s.expanded;
        s.editable = box()->isEditable();
        return s;
    }
    // The list of entries first, then the text field of an editable one.
    int childCount() const override { return box()->isEditable() && box()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1 && childCount() == 2) return QAccessible::queryAccessibleInterface(box()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* c) const override {
        for (int i = 0; i < childCount(); ++i)
            if (child(i) == c) return i;
        return -1;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            if (box()->view()->isVisible())
                box()->hidePopup();
            else
                box()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

// Asked first for every object, with the name of each class it derives from in turn, most derived
// first; nullptr leaves the object to Qt.
QAccessibleInterface* accountOf(const QString&, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    if (auto* view = qobject_cast<FormView*>(object)) return new ToolWindowAccessible(view);
    if (auto* option = qobject_cast<QRadioButton*>(object)) return new OptionButtonAccessible(option);
    if (auto* box = qobject_cast<QComboBox*>(object)) return new ChooserAccessible(box);
    if (auto* edit = qobject_cast<QLineEdit*>(object); edit && edit->isReadOnly()) return new ReadOutAccessible(edit);
    return nullptr;
}

}  // namespace

void installAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(accountOf);
        return true;
    }();
    (void)installed;
}

void renewAccessibility(QWidget* w) {
    if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

}  // namespace tarnwick
