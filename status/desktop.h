// What the windows ask of the desktop: message boxes, opening a path or web address, the folder picker, the
// save dialog and the desktop folder. Every window goes through this one interface, so the widget tests
// replace it with scripted answers (status/testing/scripted_desktop.h) and no test ever blocks on a dialog.
// The wizard's implementation (wizard/shell_helpers.h) uses QMessageBox, QDesktopServices and QFileDialog.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class QWidget;

namespace velmora::status {

// Message boxes: the buttons, the icon and the answer, with the window system's values (vbOKOnly, vbYesNo,
// vbQuestion, vbInformation, vbOK, vbYes, vbNo).
enum class MessageBoxButtons : int32_t { kOkOnly = 0, kYesNo = 4 };
enum class MessageBoxIcon : int32_t { kNone = 0, kQuestion = 32, kInformation = 64 };
enum class MessageBoxAnswer : int32_t { kOk = 1, kYes = 6, kNo = 7 };

class Desktop {
 public:
  virtual ~Desktop() = default;

  // A modal message box over `owner` (null: the active window); returns the button pressed.
  virtual MessageBoxAnswer MessageBox(QWidget* owner, const QString& text, const QString& title,
                                      MessageBoxButtons buttons, MessageBoxIcon icon) = 0;
  // Opens a folder, file or web address in the user's default handler; an empty target does nothing.
  // False when no handler took it (a desktop without a launcher for folders or web pages).
  virtual bool ShellOpen(const QString& target) = 0;
  // The modal folder picker: the chosen folder, or empty text when the user cancelled.
  virtual QString PickFolder(QWidget* owner, const QString& title) = 0;
  // The save dialog, started with `proposed_name`, offering the files of `qt_filter` ("Name (*.pst)"):
  // the accepted path, or nothing when the user cancelled.
  virtual std::optional<QString> SaveFileName(QWidget* owner, const QString& proposed_name,
                                              const QString& qt_filter) = 0;
  // The user's desktop folder; empty when it cannot be found.
  virtual QString DesktopFolder() = 0;
};

}  // namespace velmora::status
