#include "wizard/single_page.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "engine/conversion.h"
#include "status/look.h"
#include "status/window_nav.h"
#include "wizard/controls.h"
#include "wizard/window_host.h"
#include "wizard/wizard.h"

namespace velmora::wizard {

frmSingle::frmSingle(Wizard& wizard)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      wizard_(wizard),
      conversion_(std::make_unique<engine::Conversion>(wizard.host(), wizard.run_state())) {
  // Re-running into a file that already holds this mailbox's messages asks whether to skip them.
  conversion_->set_resume(engine::Conversion::ResumeMode::kAsk);
  setObjectName(QStringLiteral("frmSingle"));
  setWindowTitle(QStringLiteral("Single Folder Mode"));
  setFixedSize(514, 146);
  Shape1 = status::WhiteBand(this, QRect(-8, 104, 713, 57));
  Image1 = MakeFolderImage(this, QRect(8, 29, 16, 16));
  Label3 = MakeLabel(this, QStringLiteral("Select folder having all exported messages from eM Client"),
                     QRect(32, 29, 401, 24), status::Verdana(9));
  txtSourceMailbox = new QLineEdit(this);
  txtSourceMailbox->setGeometry(8, 56, 377, 27);
  txtSourceMailbox->setFont(status::Tahoma(9));
  txtSourceMailbox->setReadOnly(true);
  CmdAddFolder = MakeButton(this, QStringLiteral("Select..."), QRect(392, 56, 105, 26));
  CmdNext = MakeButton(this, QStringLiteral("&Next >"), QRect(384, 112, 113, 26));
  CmdNext->setEnabled(false);
  CmdAddFolder->setFocus();
  // Top to bottom, left to right as laid out.
  setTabOrder(txtSourceMailbox, CmdAddFolder);
  setTabOrder(CmdAddFolder, CmdNext);
  status::EnterPressesButtons(this, CmdNext);
  connect(CmdAddFolder, &QPushButton::clicked, this, [this] { CmdAddFolder_Click(); });
  connect(CmdNext, &QPushButton::clicked, this, [this] { CmdNext_Click(); });
}

frmSingle::~frmSingle() = default;

void frmSingle::CmdAddFolder_Click() {
  const QString folder = wizard_.desktop().PickFolder(this, QStringLiteral("Choose Source Folder..."));
  if (folder.isEmpty()) return;
  CmdNext->setEnabled(true);
  txtSourceMailbox->setText(folder);
  CmdNext->setFocus();
}

void frmSingle::CmdNext_Click() {
  if (txtSourceMailbox->text().isEmpty()) return;
  wizard_.RunConversion(this);
}

void frmSingle::ShowOwnedBy(QWidget* owner) {
  if (parentWidget() != owner) setParent(owner, windowFlags());  // owned: it stays in front of its owner
  if (!isVisible()) status::CentreOver(this, owner);
  status::BringToFront(this, CmdNext->isEnabled() ? static_cast<QWidget*>(CmdNext) : CmdAddFolder);
}

void frmSingle::closeEvent(QCloseEvent* event) {
  // The window goes; the object, its Conversion and the engine's fields stay.
  wizard_.SinglePageClosing();
  event->accept();
  txtSourceMailbox->clear();
  CmdNext->setEnabled(false);
}

}  // namespace velmora::wizard
