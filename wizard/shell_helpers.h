// The shell helpers the pages and the status window share, and the desktop the program runs with.
//  - ShellOpen: a folder, file or web address opened in the user's default handler (QDesktopServices);
//    an empty target does nothing; false when no handler took it.
//  - PickFolder: the modal folder chooser (QFileDialog) opened in `start`; the chosen folder, or empty text
//    on cancel.
//  - QtFilter: a save-dialog filter in the common-dialog form "Description (*.pst)|*.pst" turned into Qt's.
#pragma once

#include <QString>
#include <string>

#include "status/desktop.h"

namespace velmora::wizard {

bool ShellOpen(const QString& target);
QString PickFolder(QWidget* owner, const QString& title, const QString& start);

// "Outlook Data File(s) (*.pst)|*.pst" -> "Outlook Data File(s) (*.pst)". Pairs of description and
// patterns ("a;b") become Qt filters joined by ";;"; a description that does not show its patterns gets them
// added in brackets.
QString QtFilter(const std::string& filter);

// The real desktop: QMessageBox, ShellOpen, PickFolder, QFileDialog and QStandardPaths.
// The folder chooser opens in the last folder chosen with it and the save dialog in the folder of the last
// file saved, each in the user's home folder the first time (never the folder the program was started in).
// The save dialog does not ask before an existing file is chosen: an existing .pst is opened and added to.
class QtDesktop : public status::Desktop {
 public:
  status::MessageBoxAnswer MessageBox(QWidget* owner, const QString& text, const QString& title,
                                      status::MessageBoxButtons buttons,
                                      status::MessageBoxIcon icon) override;
  bool ShellOpen(const QString& target) override { return wizard::ShellOpen(target); }
  QString PickFolder(QWidget* owner, const QString& title) override;
  std::optional<QString> SaveFileName(QWidget* owner, const QString& proposed_name,
                                      const QString& qt_filter) override;
  QString DesktopFolder() override;

 private:
  QString last_picked_;       // empty until a folder was chosen
  QString last_save_folder_;  // empty until a file was saved
};

}  // namespace velmora::wizard
