#include "wizard/start_pages.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "engine/texts.h"
#include "status/fit.h"
#include "status/look.h"
#include "status/window_nav.h"
#include "wizard/controls.h"
#include "wizard/illustration.h"
#include "wizard/multiple_page.h"
#include "wizard/single_page.h"
#include "wizard/wizard.h"

namespace velmora::wizard {

namespace {

constexpr Qt::WindowFlags kPageFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

QString PageCaption() {
  return QStringLiteral("Velmora eM Client Converter v3.1");
}

// Both start pages close the same way: one question, Yes ends the program.
bool ConfirmExit(Wizard& wizard, QWidget* page) {
  const auto answer = wizard.desktop().MessageBox(
      page, QStringLiteral("Are you sure you want to exit now?"), QString::fromUtf8(engine::texts::kAppTitle),
      status::MessageBoxButtons::kYesNo, status::MessageBoxIcon::kQuestion);
  if (answer != status::MessageBoxAnswer::kYes) return false;
  wizard.EndProgram();
  return true;
}

}  // namespace

QString ProductPage() {
  return QString::fromUtf8(engine::texts::kProductSite) + QStringLiteral("/em-client-converter/");
}

frmFirst::frmFirst(Wizard& wizard) : QWidget(nullptr, kPageFlags), wizard_(wizard) {
  setObjectName(QStringLiteral("frmFirst"));
  setWindowTitle(PageCaption());
  setFixedSize(618, 489);
  Shape2 = status::WhiteBand(this, QRect(0, 0, 713, 57));
  Shape1 = status::WhiteBand(this, QRect(-16, 448, 713, 57));
  lblTitle = MakeTitle(this);
  Label3 = MakeStepHeading(this, QStringLiteral("1.  Export Your Emails"), QRect(16, 69, 185, 22),
                           208 - 16 - 4);  // up to the rule
  Line2 = status::Rule(this, 208, 600, 80, status::kGrey);
  Label6 =
      MakeLabel(this,
                QStringLiteral("To convert your eM Client emails. First you need to export your emails from "
                               "eM Client. To do this, please open your eM Client and then click  File > "
                               "Export... > Export to .eml  files. Follow further steps to export all of "
                               "your emails to a folder.  Please click Next button to proceed to next step."),
                QRect(40, 96, 561, 57), status::Tahoma(8.25), true);
  Image1 = new QLabel(this);
  Image1->setGeometry(40, 144, 539, 297);
  Image1->setPixmap(ExportIllustration());
  CmdHelp = MakeButton(this, QStringLiteral("Product &Guide"), QRect(16, 456, 113, 26));
  CmdNext = MakeButton(this, QStringLiteral("&Next >"), QRect(488, 456, 113, 26));
  CmdNext->setDefault(true);
  connect(CmdHelp, &QPushButton::clicked, this, [this] { CmdHelp_Click(); });
  connect(CmdNext, &QPushButton::clicked, this, [this] { CmdNext_Click(); });
  // Left to right as laid out; Next, the page's way on, has the focus and Enter.
  setTabOrder(CmdHelp, CmdNext);
  CmdNext->setFocus();
  status::EnterPressesButtons(this, CmdNext);
}

void frmFirst::CmdNext_Click() {
  frmStart& start = wizard_.Start();
  if (!start.isVisible()) status::CentreOver(&start, nullptr);
  status::SwitchTo(this, &start, start.CheckedOption());
}

void frmFirst::CmdHelp_Click() {
  wizard_.desktop().ShellOpen(ProductPage());
}

bool frmFirst::Form_Unload() {
  return ConfirmExit(wizard_, this);
}

void frmFirst::closeEvent(QCloseEvent* event) {
  if (Form_Unload()) {
    event->accept();
  } else {
    event->ignore();
  }
}

frmStart::frmStart(Wizard& wizard) : QWidget(nullptr, kPageFlags), wizard_(wizard) {
  setObjectName(QStringLiteral("frmStart"));
  setWindowTitle(PageCaption());
  setFixedSize(618, 472);
  Shape2 = status::WhiteBand(this, QRect(0, 0, 713, 57));
  Shape1 = status::WhiteBand(this, QRect(-16, 432, 713, 57));
  lblTitle = MakeTitle(this);
  Label5 = MakeStepHeading(this, QStringLiteral("2.  Select Option"), QRect(16, 80, 185, 22),
                           160 - 16 - 4);  // up to the rule
  Line1 = status::Rule(this, 160, 600, 93, status::kGrey);

  OptSingle = new QRadioButton(QStringLiteral("Single eM Client Mailbox"), this);
  OptSingle->setGeometry(40, 136, 233, 33);
  Label2 =
      MakeLabel(this,
                QStringLiteral("This option allows you to select a single mailbox folder having messages and "
                               "convert it to respective Outlook data file. To convert multiple mailbox "
                               "folders, you need to select individual folders one after another."),
                QRect(56, 168, 505, 64), status::Verdana(9), true);
  status::SetTextColour(Label2, status::kGrey);
  OptMultiple = new QRadioButton(QStringLiteral("Multiple eM Client Mailboxes"), this);
  OptMultiple->setGeometry(40, 248, 257, 33);
  Label4 =
      MakeLabel(this,
                QStringLiteral("This option allows you to select multiple mailbox folders and then convert "
                               "them to respective Outlook .pst files. To convert multiple mailbox folders, "
                               "you just need to to select top folder having all mailbox folders inside it."),
                QRect(56, 304, 505, 79), status::Verdana(9), true);
  status::SetTextColour(Label4, status::kGrey);
  // Both option buttons have this page as parent, so Qt keeps exactly one of them checked.
  OptSingle->setChecked(true);
  OptSingle_Click();

  CmdHelp = MakeButton(this, QStringLiteral("Product &Guide"), QRect(16, 440, 113, 26));
  cmdBack = MakeButton(this, QStringLiteral("< Bac&k"), QRect(384, 440, 89, 26));
  CmdNext = MakeButton(this, QStringLiteral("&Next >"), QRect(488, 440, 113, 26));
  CmdNext->setDefault(true);

  // The bold face follows the checked option however it was checked (click, keyboard or code).
  connect(OptSingle, &QRadioButton::toggled, this, [this](bool on) {
    if (on) OptSingle_Click();
  });
  connect(OptMultiple, &QRadioButton::toggled, this, [this](bool on) {
    if (on) OptMultiple_Click();
  });
  connect(CmdHelp, &QPushButton::clicked, this, [this] { CmdHelp_Click(); });
  connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(CmdNext, &QPushButton::clicked, this, [this] { CmdNext_Click(); });
  // Top to bottom as laid out: the options (one stop: the arrow keys move between them), then the buttons.
  setTabOrder(OptSingle, OptMultiple);
  setTabOrder(OptMultiple, CmdHelp);
  setTabOrder(CmdHelp, cmdBack);
  setTabOrder(cmdBack, CmdNext);
  OptSingle->setFocus();
  status::EnterPressesButtons(this, CmdNext);
}

QRadioButton* frmStart::CheckedOption() const {
  return OptMultiple->isChecked() ? OptMultiple : OptSingle;
}

void frmStart::OptSingle_Click() {
  status::SetFittedFont(OptSingle, status::Verdana(11.25, true));
  status::SetFittedFont(OptMultiple, status::Verdana(11.25, false));
}

void frmStart::OptMultiple_Click() {
  status::SetFittedFont(OptMultiple, status::Verdana(11.25, true));
  status::SetFittedFont(OptSingle, status::Verdana(11.25, false));
}

void frmStart::CmdNext_Click() {
  if (OptSingle->isChecked()) {
    // The single-folder page comes up in front; this page stays visible beneath it.
    wizard_.Single().ShowOwnedBy(this);
    return;
  }
  wizard_.Multiple().ShowOwnedBy(this);
  // Hiding this page would hide the windows it owns: the single-folder page and the status window of a run
  // under way.
  if (!wizard_.running()) hide();
}

void frmStart::cmdBack_Click() {
  frmFirst& first = wizard_.First();
  status::SwitchTo(this, &first, first.CmdNext);
}

void frmStart::CmdHelp_Click() {
  wizard_.desktop().ShellOpen(ProductPage());
}

bool frmStart::Form_Unload() {
  return ConfirmExit(wizard_, this);
}

void frmStart::closeEvent(QCloseEvent* event) {
  if (Form_Unload()) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace velmora::wizard
