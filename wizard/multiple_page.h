// The multiple-folder page, frmMultiple: the user picks the top folder of an export, every direct
// sub-folder becomes a checkable row of the list `lv` (a mailbox), and Next converts the checked rows, each
// into its own .pst in the output folder (the desktop unless changed).
//
// Layout in pixels, client area 706 x 417: Image1 16,16,16,16; Label3 40,16,417,24;
// CmdAddFolder 464,13,97,26; Frame1 16,48,673,273 holding chkSelectAll 23,24,201,17 and lv 16,48,641,209;
// Label1 16,336,105,23; txtOutputFolder 112,328,481,27; cmdChange 600,328,89,26; band 0,376,713,57;
// cmdBack 472,384,89,26; CmdNext 576,384,113,26.
//
// Rows: column "User" (200 px) holds the folder's name with a person icon, column "Mailbox Folder" (440 px)
// its full path with a folder icon and the path as tooltip. Rows alternate white and pale yellow from the
// first. During a run the driver marks the rows it takes on: green text, ghosted (dimmed icons).
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace velmora::wizard {

class Wizard;

class frmMultiple : public QWidget {
  Q_OBJECT

 public:
  explicit frmMultiple(Wizard& wizard);

  QLabel* Image1;
  QLabel* Label3;
  QPushButton* CmdAddFolder;
  QGroupBox* Frame1;
  QCheckBox* chkSelectAll;
  QTreeWidget* lv;
  QLabel* Label1;
  QLineEdit* txtOutputFolder;  // the Output folder
  QPushButton* cmdChange;
  QWidget* Shape1;
  QPushButton* cmdBack;
  QPushButton* CmdNext;

  void Form_Load();
  void CmdAddFolder_Click();
  void chkSelectAll_Click();
  void cmdChange_Click();
  void cmdBack_Click();
  void CmdNext_Click();
  // Rows alternate `back_colour_one` and `back_colour_two` (0x00BBGGRR), starting with the first.
  void AltLVBackground(uint32_t back_colour_one, uint32_t back_colour_two);

  // The Mailbox rows, positions from 1; a position outside the list raises Error 9.
  int32_t RowCount() const;
  bool RowTicked(int32_t position) const;
  std::string RowText(int32_t position) const;
  std::string RowSubItem1(int32_t position) const;
  void SetRowTextColour(int32_t position, uint32_t bgr);
  void SetRowGhosted(int32_t position, bool ghosted);
  bool RowGhosted(int32_t position) const;
  // Every row back to its unmarked look (a new run starts).
  void ClearRowMarks();

  void ShowOwnedBy(QWidget* owner);

 protected:
  // Closing the page with its frame brings the mode page back, so a window is always there to use.
  void closeEvent(QCloseEvent* event) override;

 private:
  QTreeWidgetItem* Row(int32_t position) const;

  Wizard& wizard_;
};

}  // namespace velmora::wizard
