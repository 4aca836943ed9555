#include "status/window_nav.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>

namespace velmora::status {

namespace {

class EnterKey : public QObject {
 public:
  EnterKey(QWidget* window, QPushButton* default_button) : QObject(window), default_(default_button) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    QPushButton* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (!button || !button->isEnabled() || !button->isVisible()) button = default_;
    if (!button || !button->isEnabled() || !button->isVisible()) return false;
    button->click();
    return true;
  }

 private:
  QPointer<QPushButton> default_;
};

}  // namespace

void BringToFront(QWidget* window, QWidget* focus) {
  window->show();
  window->raise();
  window->activateWindow();
  if (focus) focus->setFocus(Qt::ActiveWindowFocusReason);
}

void SwitchTo(QWidget* from, QWidget* to, QWidget* focus) {
  BringToFront(to, focus);
  from->hide();
}

void EnterPressesButtons(QWidget* window, QPushButton* default_button) {
  // Key presses that a control leaves unhandled travel up to its window; the filter sees them there. Keys
  // a control takes itself (Enter in a list's editor) never reach it.
  window->installEventFilter(new EnterKey(window, default_button));
}

}  // namespace velmora::status
