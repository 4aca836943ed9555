// The single-folder page, frmSingle: the user picks one mailbox folder of the export and starts its
// conversion. The page object also owns the process's one Conversion (the engine half of this object: its
// fields, the mailbox conversion and the driver), which outlives every closing of the page's window.
//
// Layout in pixels, client area 514 x 146: Image1 8,29,16,16; Label3 32,29,401,24;
// txtSourceMailbox 8,56,377,27; CmdAddFolder 392,56,105,26; band -8,104,713,57; CmdNext 384,112,113,26.
//
// The text box is filled only by "Select...", so Next is enabled exactly when it holds a folder. Closing the
// page (its close box, or the driver after a stop) brings it back with no folder chosen.
#pragma once

#include <QWidget>
#include <memory>

namespace velmora::engine {
class Conversion;
}

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora::wizard {

class Wizard;

class frmSingle : public QWidget {
  Q_OBJECT

 public:
  explicit frmSingle(Wizard& wizard);
  ~frmSingle() override;

  QLabel* Image1;
  QLabel* Label3;
  QLineEdit* txtSourceMailbox;  // the Source folder
  QPushButton* CmdAddFolder;
  QWidget* Shape1;
  QPushButton* CmdNext;

  void CmdAddFolder_Click();
  void CmdNext_Click();

  // Shown in front of `owner`, centred over it when it was not visible.
  void ShowOwnedBy(QWidget* owner);
  engine::Conversion& conversion() { return *conversion_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Wizard& wizard_;
  std::unique_ptr<engine::Conversion> conversion_;
};

}  // namespace velmora::wizard
