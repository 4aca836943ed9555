#include "wizard/screenshot_hook.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QPixmap>
#include <QPointer>
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
    if (!widget || !widget->isWindow() || widget->objectName().isEmpty()) return false;
    if (event->type() == QEvent::Show) {
      QPointer<QWidget> guarded(widget);
      // A moment later, once the window has painted.
      QTimer::singleShot(400, this, [this, guarded] {
        if (guarded && guarded->isVisible()) Save(guarded);
      });
    } else if (event->type() == QEvent::Hide) {
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
