// velmora: the conversion wizard.
#include <QApplication>

#include "wizard/screenshot_hook.h"
#include "wizard/shell_helpers.h"
#include "wizard/wizard.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmora eM Client Converter"));
  // Hidden pages count as open: the program ends only through a start page's close confirmation.
  QApplication::setQuitOnLastWindowClosed(false);
  velmora::wizard::QtDesktop desktop;
  velmora::wizard::Wizard wizard(desktop);
  velmora::wizard::InstallScreenshotHookFromEnvironment();
  wizard.Launch();
  return QApplication::exec();
}
