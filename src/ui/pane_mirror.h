#pragma once
// Keeps a QPlainTextEdit in step with a multi-line text box by what changed: text appended at the end
// goes in at the end, lines the model let go leave from the top, and only a text set whole is put in
// whole. A log pane that takes a line at a time then costs the same per line however much it holds.

#include <cstddef>

class QPlainTextEdit;

namespace tarnwick {

class TextBox;

class PaneMirror {
public:
    // Both must outlive the mirror.
    PaneMirror(QPlainTextEdit& widget, const TextBox& box);

    // Brings the widget in line with the model: its text, and the caret where the model asked for it.
    void sync();

private:
    void showWhole();
    // False when the widget holds fewer lines (it is then shown whole).
    bool removeTopLines(std::size_t lines);
    void appendAtEnd(std::size_t from);

    QPlainTextEdit& w_;
    const TextBox& box_;
    bool shown_ = false;
    unsigned long resets_ = 0;
    std::size_t shownEnd_ = 0;      // where the shown text ends, counted like the model's trimmed bytes
    std::size_t trimmedLines_ = 0;  // the model's trimmed lines at the last sync
    unsigned long caretSeen_ = 0;
};

}  // namespace tarnwick
