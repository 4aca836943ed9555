// What every window of the program does the same way: coming to the front with the keyboard focus, and the
// Enter key.
#pragma once

class QPushButton;
class QWidget;

namespace velmora::status {

// Shows `window` in front and makes it the active window. `focus` (a control of it) gets the keyboard focus
// when given.
void BringToFront(QWidget* window, QWidget* focus = nullptr);
// Moves from `from` to `to`: `to` comes to the front (see BringToFront), then `from` is hidden.
void SwitchTo(QWidget* from, QWidget* to, QWidget* focus = nullptr);

// Enter (Return or the keypad's Enter) in `window` presses the push button that has the focus, or else
// `default_button` when it is given and enabled. Windows that are not dialogs do neither by themselves.
void EnterPressesButtons(QWidget* window, QPushButton* default_button);

}  // namespace velmora::status
