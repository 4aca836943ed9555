// The two start pages: the introduction page frmFirst (how to export the mail; shown when the program
// starts) and the mode page frmStart (one mailbox or several). Both ask "Are you sure you want to exit now?"
// when closed; Yes ends the program, No keeps the page as it was.
//
// Layouts in pixels (x, y, width, height of the client area):
//   frmFirst 618 x 489: band 0,0,713,57; title 16,8,417,25; heading 16,69,185,22; rule 208..600 at y 80;
//     text 40,96,561,57; picture 40,144,539,297; band -16,448,713,57; Product Guide 16,456,113,26;
//     Next 488,456,113,26.
//   frmStart 618 x 472: band 0,0,713,57; title 16,8,417,25; heading 16,80,185,22; rule 160..600 at y 93;
//     OptSingle 40,136,233,33; Label2 56,168,505,64; OptMultiple 40,248,257,33; Label4 56,304,505,79;
//     band -16,432,713,57; Product Guide 16,440,113,26; Back 384,440,89,26; Next 488,440,113,26.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QRadioButton;

namespace velmora::wizard {

class Wizard;

// The product's web page, opened by both pages' "Product &Guide".
QString ProductPage();

class frmFirst : public QWidget {
  Q_OBJECT

 public:
  explicit frmFirst(Wizard& wizard);

  QWidget* Shape2;
  QLabel* lblTitle;
  QLabel* Label3;
  QWidget* Line2;
  QLabel* Label6;
  QLabel* Image1;
  QWidget* Shape1;
  QPushButton* CmdHelp;
  QPushButton* CmdNext;

  void CmdNext_Click();
  void CmdHelp_Click();
  // The close confirmation; true when the page may close (the program is then ending).
  bool Form_Unload();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Wizard& wizard_;
};

class frmStart : public QWidget {
  Q_OBJECT

 public:
  explicit frmStart(Wizard& wizard);

  QWidget* Shape2;
  QLabel* lblTitle;
  QLabel* Label5;
  QWidget* Line1;
  QRadioButton* OptSingle;  // the Mode: checked for a single-mailbox run
  QLabel* Label2;
  QRadioButton* OptMultiple;
  QLabel* Label4;
  QWidget* Shape1;
  QPushButton* CmdHelp;
  QPushButton* cmdBack;
  QPushButton* CmdNext;

  // The option that is checked: it has the focus when the page comes up.
  QRadioButton* CheckedOption() const;
  void OptSingle_Click();
  void OptMultiple_Click();
  void CmdNext_Click();
  void cmdBack_Click();
  void CmdHelp_Click();
  bool Form_Unload();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Wizard& wizard_;
};

}  // namespace velmora::wizard
