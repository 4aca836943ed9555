// The QApplication of a widget test, on the offscreen platform so tests need no display. Made once per test
// binary, on first use.
#pragma once

#include <QApplication>

namespace velmora::status::testing {

inline QApplication& OffscreenApp() {
  static int argc = 1;
  static char name[] = "velmora-widget-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef Q_OS_WIN
    // On Windows the offscreen platform draws with the faces it finds in one folder, by default none: the
    // system's own, unless the test run names another folder (Wine keeps its faces outside the system's).
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR"))
      qputenv("QT_QPA_FONTDIR", qgetenv("SystemRoot") + "\\Fonts");
#endif
    // The offscreen platform has no window stacking nor size hints; its notes on raise() and on a dialog's
    // size hints say nothing about the test.
    static QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
          if (message.contains(QStringLiteral("does not support raise()")) ||
              message.contains(QStringLiteral("does not support propagateSizeHints()")))
            return;
          if (previous) previous(type, context, message);
        });
    auto* made = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return made;
  }();
  return *app;
}

}  // namespace velmora::status::testing
