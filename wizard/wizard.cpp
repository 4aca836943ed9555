#include "wizard/wizard.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdlib>

#include "engine/conversion.h"
#include "engine/errors.h"
#include "engine/texts.h"
#include "status/look.h"
#include "status/status_window.h"
#include "status/window_nav.h"
#include "wizard/multiple_page.h"
#include "wizard/single_page.h"
#include "wizard/start_pages.h"
#include "wizard/window_host.h"

namespace velmora::wizard {

Wizard::Wizard(status::Desktop& desktop) : desktop_(desktop), host_(std::make_unique<WindowHost>(*this)) {
  end_process = [this] {
    // A run on the call stack would go on after the event loop was told to stop: leave at once instead.
    if (running_) std::exit(0);
    QCoreApplication::exit(0);
  };
}

Wizard::~Wizard() {
  status_.reset();
  multiple_.reset();
  single_.reset();
  start_.reset();
  first_.reset();
}

frmFirst& Wizard::First() {
  if (!first_) first_ = std::make_unique<frmFirst>(*this);
  return *first_;
}

frmStart& Wizard::Start() {
  if (!start_) start_ = std::make_unique<frmStart>(*this);
  return *start_;
}

frmSingle& Wizard::Single() {
  if (!single_) single_ = std::make_unique<frmSingle>(*this);
  return *single_;
}

frmMultiple& Wizard::Multiple() {
  if (!multiple_) {
    multiple_ = std::make_unique<frmMultiple>(*this);
    // Made in the middle of a single-mailbox run (the mode page stays usable): it must not start another.
    if (running_) SetRunControlsEnabled(false);
  }
  return *multiple_;
}

status::frmMigateAll& Wizard::Status() {
  if (!status_) {
    status_ =
        std::make_unique<status::frmMigateAll>(run_state_, desktop_,
                                               status::StatusContext{
                                                   [this] { return Start().OptSingle->isChecked(); },
                                                   [this] { return Multiple().txtOutputFolder->text(); },
                                                   [this] { return running_; },
                                               });
  }
  return *status_;
}

void Wizard::Launch() {
  frmFirst& first = First();
  status::CentreOver(&first, nullptr);
  status::BringToFront(&first, first.CmdNext);
}

void Wizard::SetRunControlsEnabled(bool enabled) {
  if (single_) {
    single_->CmdAddFolder->setEnabled(enabled);
    // Next stays disabled while the page has no folder (a stopped run closes the page and clears it).
    single_->CmdNext->setEnabled(enabled && !single_->txtSourceMailbox->text().isEmpty());
  }
  if (multiple_) {
    multiple_->CmdAddFolder->setEnabled(enabled);
    multiple_->CmdNext->setEnabled(enabled);
  }
}

void Wizard::RunConversion(QWidget* page) {
  engine::Conversion& conversion = Single().conversion();
  if (running_ || conversion.running()) return;
  // An empty output folder would put the files at the top of the file system: refused, as the folder
  // choosers do.
  if (!Start().OptSingle->isChecked() && Multiple().txtOutputFolder->text().trimmed().isEmpty()) {
    desktop_.MessageBox(
        page,
        QStringLiteral("No Output Folder !\r\nPlease choose the folder for the converted Outlook "
                       "data files with \"Change...\"."),
        QStringLiteral("Select Output Folder"), status::MessageBoxButtons::kOkOnly,
        status::MessageBoxIcon::kInformation);
    status::BringToFront(&Multiple(), Multiple().cmdChange);
    return;
  }
  running_ = true;
  SetRunControlsEnabled(false);
  // Every run starts from a clean display and unmarked rows, whatever the last run left.
  Status().Load();
  if (multiple_) multiple_->ClearRowMarks();
  Status().ShowOwnedBy(page);
  QString failure;
  try {
    conversion.Run();
  } catch (const engine::Error& e) {
    failure = QString::fromStdString(e.description());
  } catch (const std::exception& e) {
    failure = QString::fromStdString(e.what());
  }
  running_ = false;
  // A stopped run kept its store open for the case the program ends; the run is over, so let it go now.
  conversion.Close();
  SetRunControlsEnabled(true);
  Status().RunFinished();
  // Out of the way of the page's controls (the list and the output folder), where the screen has room.
  if (page == multiple_.get() && Status().isVisible()) status::MoveBeside(&Status(), page);
  if (!failure.isEmpty()) {
    desktop_.MessageBox(page, failure, QString::fromUtf8(engine::texts::kAppTitle),
                        status::MessageBoxButtons::kOkOnly, status::MessageBoxIcon::kInformation);
  }
}

void Wizard::SinglePageClosing() {
  if (status_ && status_->isVisible() && status_->parentWidget() == single_.get()) {
    status_->ShowOwnedBy(&Start());
  }
}

void Wizard::EndProgram() {
  // A stopped run leaves its store open so its messages are not lost; commit and close it now.
  if (single_) single_->conversion().Close();
  for (QWidget* window : {static_cast<QWidget*>(status_.get()), static_cast<QWidget*>(multiple_.get()),
                          static_cast<QWidget*>(single_.get()), static_cast<QWidget*>(start_.get()),
                          static_cast<QWidget*>(first_.get())}) {
    if (window) window->hide();
  }
  if (end_process) end_process();
}

}  // namespace velmora::wizard
