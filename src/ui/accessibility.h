#pragma once
// What a screen reader is told about the program's widgets where Qt's own account is wrong for them:
// a tool window is a window (not a filler), an option button is a radio button even though the
// model's option groups, not Qt, make the choices exclude each other, a read-out that refuses typing
// is read-only text (not editable), and a list chooser is named by its job (not by the entry it
// shows).

class QWidget;

namespace tarnwick {

// Puts these accounts in place of Qt's; once is enough, later calls do nothing.
void installAccessibility();

// Drops what a screen reader was told about the widget so far, so that it is asked anew: for a
// widget whose kind of account changes (a box that becomes read-only).
void renewAccessibility(QWidget* w);

}  // namespace tarnwick
