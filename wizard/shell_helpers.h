// The shell helpers the pages and the status window share, and the desktop the program runs with.
//  - ShellOpen: a folder, file or web address opened in the user's default handler (QDesktopServices);
//    an empty target does nothing and a failure is not reported.
//  - PickFolder: the modal folder chooser (QFileDialog); the chosen folder, or empty text on cancel.
//  - QtFilter: a save-dialog filter in the common-dialog form "Description (*.pst)|*.pst" turned into Qt's.
#pragma once

#include <QString>
#include <string>

#include "status/desktop.h"

namespace velmora::wizard {

void ShellOpen(const QString& target);
QString PickFolder(QWidget* owner, const QString& title);

// "Outlook Data File(s) (*.pst)|*.pst" -> "Outlook Data File(s) (*.pst)". Pairs of description and
// patterns ("a;b") become Qt filters joined by ";;"; a description that does not show its patterns gets them
// added in brackets.
QString QtFilter(const std::string& filter);

// The real desktop: QMessageBox, ShellOpen, PickFolder, QFileDialog and QStandardPaths.
class QtDesktop : public status::Desktop {
 public:
  engine::MessageBoxAnswer MessageBox(QWidget* owner, const QString& text, const QString& title,
                                      engine::MessageBoxButtons buttons,
                                      engine::MessageBoxIcon icon) override;
  void ShellOpen(const QString& target) override { wizard::ShellOpen(target); }
  QString PickFolder(QWidget* owner, const QString& title) override {
    return wizard::PickFolder(owner, title);
  }
  std::optional<QString> SaveFileName(QWidget* owner, const QString& proposed_name,
                                      const QString& qt_filter) override;
  QString DesktopFolder() override;
};

}  // namespace velmora::wizard
