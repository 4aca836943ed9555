// velmora: the conversion wizard.
#include <QApplication>

#include "wizard/shell_helpers.h"
#include "wizard/wizard.h"
#ifdef VELMORA_SCREENSHOT_HOOK
#include "wizard/testing/screenshot_hook.h"
#endif

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmora eM Client Converter"));
  QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
  // The installed desktop entry (velmora.desktop): the desktop shows its name and icon for our windows.
  QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
  // Hidden pages count as open: the program ends only through a start page's close confirmation.
  QApplication::setQuitOnLastWindowClosed(false);
  velmora::wizard::QtDesktop desktop;
  velmora::wizard::Wizard wizard(desktop);
#ifdef VELMORA_SCREENSHOT_HOOK  // only in velmora-walked, the build the virtual-display test drives
  velmora::wizard::InstallScreenshotHookFromEnvironment();
#endif
  wizard.Launch();
  return QApplication::exec();
}
