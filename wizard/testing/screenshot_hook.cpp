#include "wizard/testing/screenshot_hook.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace velmora::wizard {

namespace {

class ScreenshotHook : public QObject {
 public:
  explicit ScreenshotHook(QString dir) : QObject(qApp), dir_(std::move(dir)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->isWindow()) return false;
    if (event->type() == QEvent::Show) {
      // A moment later, once the new window has painted: every named window as it is then (a message box
      // coming up shows the windows behind it at that moment, such as the status window at the end of a run).
      QTimer::singleShot(400, this, [this] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
          if (window->isVisible() && !window->objectName().isEmpty()) Save(window);
        }
      });
    } else if (event->type() == QEvent::Hide && !widget->objectName().isEmpty()) {
      Save(widget);
    }
    return false;
  }

 private:
  void Save(QWidget* widget) {
    widget->grab().save(QDir(dir_).filePath(widget->objectName() + QStringLiteral(".png")));
  }

  QString dir_;
};

}  // namespace

void InstallScreenshotHookFromEnvironment() {
  const QString dir = qEnvironmentVariable("VELMORA_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  QDir().mkpath(dir);
  qApp->installEventFilter(new ScreenshotHook(dir));
}

}  // namespace velmora::wizard
