#include "wizard/shell_helpers.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>

namespace velmora::wizard {

bool ShellOpen(const QString& target) {
  if (target.isEmpty()) return true;
  // Web addresses open in the browser; anything else is a local path.
  const bool web =
      target.startsWith(QStringLiteral("http://")) || target.startsWith(QStringLiteral("https://"));
  return QDesktopServices::openUrl(web ? QUrl(target) : QUrl::fromLocalFile(target));
}

// Qt's dialogs answer with "/" on every system; the engine splits and joins paths at the system's own separator,
// so what a dialog returns is made native here, where it enters the program.
QString PickFolder(QWidget* owner, const QString& title, const QString& start) {
  return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(owner, title, start));
}

namespace {

QString OrHome(const QString& folder) {
  return folder.isEmpty() ? QDir::homePath() : folder;
}

}  // namespace

QString QtFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QString patterns = parts[i + 1].trimmed();
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString shown = QStringLiteral("(") + patterns + QStringLiteral(")");
    filters << (description.contains(shown) ? description : description + QLatin1Char(' ') + shown);
  }
  if (filters.isEmpty() && !parts.isEmpty()) filters << parts.first();
  return filters.join(QStringLiteral(";;"));
}

status::MessageBoxAnswer QtDesktop::MessageBox(QWidget* owner, const QString& text, const QString& title,
                                               status::MessageBoxButtons buttons,
                                               status::MessageBoxIcon icon) {
  QMessageBox box(owner ? owner : QApplication::activeWindow());
  box.setWindowTitle(title);
  // The engine joins lines with CR LF, as the window system's boxes expect; Qt wants LF alone.
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  // Paths in the text are shown as they are, never taken for markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(shown);
  box.setIcon(icon == status::MessageBoxIcon::kQuestion      ? QMessageBox::Question
              : icon == status::MessageBoxIcon::kInformation ? QMessageBox::Information
                                                             : QMessageBox::NoIcon);
  if (buttons == status::MessageBoxButtons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  const int pressed = box.exec();
  if (buttons != status::MessageBoxButtons::kYesNo) return status::MessageBoxAnswer::kOk;
  return pressed == QMessageBox::Yes ? status::MessageBoxAnswer::kYes : status::MessageBoxAnswer::kNo;
}

QString QtDesktop::PickFolder(QWidget* owner, const QString& title) {
  const QString folder = wizard::PickFolder(owner, title, OrHome(last_picked_));
  if (!folder.isEmpty()) last_picked_ = folder;
  return folder;
}

std::optional<QString> QtDesktop::SaveFileName(QWidget* owner, const QString& proposed_name,
                                               const QString& qt_filter) {
  const QString start = QDir(OrHome(last_save_folder_)).filePath(proposed_name);
  const QString path = QFileDialog::getSaveFileName(owner, QStringLiteral("Save Outlook Data File"), start,
                                                    qt_filter, nullptr, QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) return std::nullopt;
  last_save_folder_ = QFileInfo(path).absolutePath();
  return QDir::toNativeSeparators(path);
}

QString QtDesktop::DesktopFolder() {
  return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

}  // namespace velmora::wizard
