#include "wizard/multiple_page.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "engine/errors.h"
#include "engine/texts.h"
#include "status/fit.h"
#include "status/look.h"
#include "status/window_nav.h"
#include "wizard/controls.h"
#include "wizard/folder_rows.h"
#include "wizard/start_pages.h"
#include "wizard/window_host.h"
#include "wizard/wizard.h"

namespace velmora::wizard {

namespace {

constexpr int kGhostedRole = Qt::UserRole + 1;

QIcon Dimmed(const QIcon& icon) {
  return QIcon(icon.pixmap(16, 16, QIcon::Disabled));
}

}  // namespace

frmMultiple::frmMultiple(Wizard& wizard)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      wizard_(wizard) {
  setObjectName(QStringLiteral("frmMultiple"));
  setWindowTitle(QStringLiteral("Multiple Folder Mode"));
  setFixedSize(706, 417);
  Shape1 = status::WhiteBand(this, QRect(0, 376, 713, 57));
  Image1 = MakeFolderImage(this, QRect(16, 16, 16, 16));
  Label3 = MakeLabel(this, QStringLiteral("Select top folder having all messages exported from eM Client"),
                     QRect(40, 16, 417, 24), status::Verdana(9));
  CmdAddFolder = MakeButton(this, QStringLiteral("Select..."), QRect(464, 13, 97, 26));

  Frame1 = new QGroupBox(QStringLiteral(" Select Folders"), this);
  Frame1->setGeometry(16, 48, 673, 273);
  Frame1->setFont(status::Verdana(9, true));
  chkSelectAll = new QCheckBox(QStringLiteral("Select All"), Frame1);
  chkSelectAll->setGeometry(23, 24, 201, 17);
  status::SetFittedFont(chkSelectAll, status::Verdana(9));
  lv = new QTreeWidget(Frame1);
  lv->setGeometry(16, 48, 641, 209);
  lv->setFont(status::Tahoma(9));
  lv->setColumnCount(2);
  lv->setHeaderLabels({QStringLiteral("User"), QStringLiteral("Mailbox Folder")});
  lv->setColumnWidth(0, 200);
  lv->setColumnWidth(1, 440);
  lv->setRootIsDecorated(false);
  lv->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // the two columns fill the list exactly
  lv->setUniformRowHeights(true);
  lv->setSelectionMode(QAbstractItemView::SingleSelection);
  lv->header()->setStretchLastSection(false);

  Label1 = MakeLabel(this, QStringLiteral("Output Folder:"), QRect(16, 336, 105, 23), status::Verdana(9));
  txtOutputFolder = new QLineEdit(this);
  txtOutputFolder->setGeometry(112, 328, 481, 27);
  txtOutputFolder->setFont(status::Tahoma(9));
  cmdChange = MakeButton(this, QStringLiteral("Change..."), QRect(600, 328, 89, 26));
  cmdBack = MakeButton(this, QStringLiteral("< Bac&k"), QRect(472, 384, 89, 26));
  CmdNext = MakeButton(this, QStringLiteral("&Next >"), QRect(576, 384, 113, 26));

  connect(CmdAddFolder, &QPushButton::clicked, this, [this] { CmdAddFolder_Click(); });
  // Toggled, not clicked: setting the box from code runs the handler too, as the page relies on.
  connect(chkSelectAll, &QCheckBox::toggled, this, [this] { chkSelectAll_Click(); });
  connect(cmdChange, &QPushButton::clicked, this, [this] { cmdChange_Click(); });
  connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(CmdNext, &QPushButton::clicked, this, [this] { CmdNext_Click(); });
  // Top to bottom, left to right as laid out.
  setTabOrder(CmdAddFolder, chkSelectAll);
  setTabOrder(chkSelectAll, lv);
  setTabOrder(lv, txtOutputFolder);
  setTabOrder(txtOutputFolder, cmdChange);
  setTabOrder(cmdChange, cmdBack);
  setTabOrder(cmdBack, CmdNext);
  CmdAddFolder->setFocus();
  status::EnterPressesButtons(this, CmdNext);

  Form_Load();
}

void frmMultiple::Form_Load() {
  const QString desktop = wizard_.desktop().DesktopFolder();
  if (desktop.isEmpty()) {
    wizard_.desktop().MessageBox(this,
                                 QStringLiteral("Your desktop folder could not be found. Please choose an "
                                                "output folder with \"Change...\"."),
                                 QString::fromUtf8(engine::texts::kAppTitle),
                                 status::MessageBoxButtons::kOkOnly, status::MessageBoxIcon::kInformation);
  }
  txtOutputFolder->setText(desktop);
  chkSelectAll->setChecked(false);
  chkSelectAll->setEnabled(false);
}

void frmMultiple::CmdAddFolder_Click() {
  const QString picked = wizard_.desktop().PickFolder(this, QStringLiteral("Choose Source Folder..."));
  if (picked.isEmpty()) return;
  const std::string top = TopFolderPath(picked.toStdString());
  // List first: a top folder that cannot be listed changes nothing on the page.
  const SubFolderListing listing = ListSubFolders(top);
  if (!listing.ok) {
    wizard_.desktop().MessageBox(
        this,
        QStringLiteral("The folder \"%1\" cannot be listed:\n%2\n\nThe list is unchanged.")
            .arg(QString::fromStdString(top), QString::fromStdString(listing.error)),
        QString::fromUtf8(engine::texts::kAppTitle), status::MessageBoxButtons::kOkOnly,
        status::MessageBoxIcon::kInformation);
    return;
  }
  lv->clear();
  lv->repaint();
  for (const std::string& name : listing.names) {
    wizard_.host().Yield();
    const QString path = QString::fromStdString(top + name);
    auto* row = new QTreeWidgetItem(lv);
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    row->setText(0, QString::fromStdString(name));
    row->setIcon(0, status::PersonIcon());
    row->setText(1, path);
    row->setIcon(1, status::FolderIcon());
    row->setToolTip(1, path);
    row->setCheckState(0, Qt::Unchecked);
    lv->repaint();
  }
  AltLVBackground(status::kWhite, status::kPaleYellow);
  chkSelectAll->setChecked(false);
  chkSelectAll->setEnabled(true);
}

void frmMultiple::chkSelectAll_Click() {
  const bool checked = chkSelectAll->isChecked();
  const int count = lv->topLevelItemCount();
  for (int i = 0; i < count; ++i) {
    wizard_.host().Yield();
    if (QTreeWidgetItem* row = lv->topLevelItem(i))
      row->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    chkSelectAll->setText(checked ? QStringLiteral("Deselect All") : QStringLiteral("Select All"));
    status::Refit(chkSelectAll);
  }
}

void frmMultiple::cmdChange_Click() {
  const QString folder = wizard_.desktop().PickFolder(this, QStringLiteral("Choose Output Folder..."));
  if (!folder.isEmpty()) txtOutputFolder->setText(folder);
}

void frmMultiple::cmdBack_Click() {
  frmStart& start = wizard_.Start();
  status::SwitchTo(this, &start, start.CheckedOption());
}

void frmMultiple::CmdNext_Click() {
  bool any_checked = false;
  const int count = lv->topLevelItemCount();
  for (int i = 0; i < count && !any_checked; ++i) {
    wizard_.host().Yield();
    const QTreeWidgetItem* row = lv->topLevelItem(i);
    any_checked = row && row->checkState(0) == Qt::Checked;
  }
  if (!any_checked) {
    wizard_.desktop().MessageBox(
        this, QStringLiteral("No Folders Selected !\r\nPlease Select alteast one folder to convert."),
        QStringLiteral("Select Folder(s) to Convert"), status::MessageBoxButtons::kOkOnly,
        status::MessageBoxIcon::kInformation);
    return;
  }
  wizard_.RunConversion(this);
}

void frmMultiple::AltLVBackground(uint32_t back_colour_one, uint32_t back_colour_two) {
  const int count = lv->topLevelItemCount();
  if (count == 0) return;
  for (int i = 0; i < count; ++i) {
    const uint32_t bgr = RowBackColour(i, back_colour_one, back_colour_two);
    for (int column = 0; column < lv->columnCount(); ++column) {
      lv->topLevelItem(i)->setBackground(column, status::FromBgr(bgr));
    }
  }
}

QTreeWidgetItem* frmMultiple::Row(int32_t position) const {
  if (position < 1 || position > lv->topLevelItemCount()) throw engine::Error::SubscriptOutOfRange();
  return lv->topLevelItem(position - 1);
}

int32_t frmMultiple::RowCount() const {
  return lv->topLevelItemCount();
}
bool frmMultiple::RowTicked(int32_t position) const {
  return Row(position)->checkState(0) == Qt::Checked;
}
std::string frmMultiple::RowText(int32_t position) const {
  return Row(position)->text(0).toStdString();
}
std::string frmMultiple::RowSubItem1(int32_t position) const {
  return Row(position)->text(1).toStdString();
}

void frmMultiple::SetRowTextColour(int32_t position, uint32_t bgr) {
  QTreeWidgetItem* row = Row(position);
  for (int column = 0; column < lv->columnCount(); ++column) row->setForeground(column, status::FromBgr(bgr));
}

void frmMultiple::SetRowGhosted(int32_t position, bool ghosted) {
  QTreeWidgetItem* row = Row(position);
  row->setData(0, kGhostedRole, ghosted);
  row->setIcon(0, ghosted ? Dimmed(status::PersonIcon()) : status::PersonIcon());
  row->setIcon(1, ghosted ? Dimmed(status::FolderIcon()) : status::FolderIcon());
}

bool frmMultiple::RowGhosted(int32_t position) const {
  return Row(position)->data(0, kGhostedRole).toBool();
}

void frmMultiple::ClearRowMarks() {
  for (int32_t position = 1; position <= RowCount(); ++position) {
    QTreeWidgetItem* row = Row(position);
    for (int column = 0; column < lv->columnCount(); ++column) row->setForeground(column, QBrush());
    SetRowGhosted(position, false);
  }
}

void frmMultiple::ShowOwnedBy(QWidget* owner) {
  if (!isVisible()) status::CentreOver(this, owner);
  status::BringToFront(this, CmdAddFolder);
}

void frmMultiple::closeEvent(QCloseEvent* event) {
  event->accept();
  frmStart& start = wizard_.Start();
  status::BringToFront(&start, start.CheckedOption());
}

}  // namespace velmora::wizard
