#include "ui/pane_mirror.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <string>

#include "controls/controls.h"

namespace tarnwick {

namespace {

// The model breaks lines with CR LF (or a bare CR or LF); the widget with LF alone.
QString shownForm(const std::string& text, std::size_t from, std::size_t to) {
    QString q = QString::fromUtf8(text.data() + from, static_cast<qsizetype>(to - from));
    q.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    q.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return q;
}

}  // namespace

PaneMirror::PaneMirror(QPlainTextEdit& widget, const TextBox& box)
    : w_(widget), box_(box), caretSeen_(box.caretRequests()) {}

void PaneMirror::sync() {
    const std::string& text = box_.text();
    QScrollBar* bar = w_.verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    const int scroll = bar->value();
    // Text not shown yet that has already left the model (or a text set whole) is shown whole.
    if (!shown_ || resets_ != box_.textResets() || shownEnd_ < box_.trimmedBytes() ||
        !removeTopLines(box_.trimmedLines() - trimmedLines_)) {
        showWhole();
    } else if (const std::size_t from = shownEnd_ - box_.trimmedBytes(); from < text.size()) {
        appendAtEnd(from);
    }
    shown_ = true;
    resets_ = box_.textResets();
    shownEnd_ = box_.trimmedBytes() + text.size();
    trimmedLines_ = box_.trimmedLines();
    // A log that was followed to its end keeps following; otherwise the view stays put.
    bar->setValue(atEnd ? bar->maximum() : std::min(scroll, bar->maximum()));

    // The model asked for the caret somewhere (a log pane to its last line): go there.
    if (caretSeen_ != box_.caretRequests()) {
        caretSeen_ = box_.caretRequests();
        const auto at = static_cast<std::size_t>(box_.selStart());
        QTextCursor cur = w_.textCursor();
        if (at >= text.size())
            cur.movePosition(QTextCursor::End);
        else
            cur.setPosition(std::min(static_cast<int>(shownForm(text, 0, at).size()), w_.document()->characterCount() - 1));
        w_.setTextCursor(cur);
        w_.ensureCursorVisible();
    }
}

void PaneMirror::showWhole() {
    const std::string& text = box_.text();
    const QString shown = shownForm(text, 0, text.size());
    if (w_.toPlainText() == shown) return;
    const int pos = w_.textCursor().position();
    w_.setPlainText(shown);
    QTextCursor cur = w_.textCursor();
    cur.setPosition(std::min<int>(pos, static_cast<int>(shown.size())));
    w_.setTextCursor(cur);
}

bool PaneMirror::removeTopLines(std::size_t lines) {
    if (lines == 0) return true;
    QTextCursor cur(w_.document());
    cur.movePosition(QTextCursor::Start);
    // Each model line is one block of the widget, and the widget's last block is never among them.
    if (!cur.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, static_cast<int>(lines))) return false;
    cur.removeSelectedText();
    return true;
}

void PaneMirror::appendAtEnd(std::size_t from) {
    const std::string& text = box_.text();
    // The LF of a CR LF whose CR is shown already ended that line there.
    if (from > 0 && text[from] == '\n' && text[from - 1] == '\r') ++from;
    if (from >= text.size()) return;
    QTextCursor cur(w_.document());
    cur.movePosition(QTextCursor::End);
    cur.insertText(shownForm(text, from, text.size()));
}

}  // namespace tarnwick
