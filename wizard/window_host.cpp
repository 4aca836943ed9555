#include "wizard/window_host.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "engine/texts.h"
#include "status/look.h"
#include "status/status_window.h"
#include "wizard/multiple_page.h"
#include "wizard/shell_helpers.h"
#include "wizard/single_page.h"
#include "wizard/start_pages.h"
#include "wizard/wizard.h"

namespace velmora::wizard {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// The text colour that marks a mailbox row the run has taken on: green (0x00BBGGRR).
constexpr uint32_t kTakenRowColour = 0x008000;

QLabel* StatusLabel(status::frmMigateAll& window, engine::StatusLine line) {
  switch (line) {
    case engine::StatusLine::kCountLine:
      return window.lblCount1;
    case engine::StatusLine::kProgressLine:
      return window.lblProgress;
    case engine::StatusLine::kFrameText:
      return window.FrameConversion;
    case engine::StatusLine::kCurrentFile:
      return window.LblCurrentDBX;
    case engine::StatusLine::kTitle:
      break;
  }
  return nullptr;
}

}  // namespace

void WindowHost::Yield() {
  ++yields_;
  if (!since_events_.isValid() || since_events_.elapsed() >= yield_interval_ms) {
    QApplication::processEvents();
    since_events_.restart();
  }
  if (on_yield) on_yield(yields_);
}

engine::RunMode WindowHost::Mode() {
  return wizard_.Start().OptSingle->isChecked() ? engine::RunMode::kSingleMailbox
                                                : engine::RunMode::kMailboxList;
}
std::string WindowHost::SourceFolder() {
  return wizard_.Single().txtSourceMailbox->text().toStdString();
}
std::string WindowHost::OutputFolder() {
  return wizard_.Multiple().txtOutputFolder->text().toStdString();
}
int32_t WindowHost::MailboxCount() {
  return wizard_.Multiple().RowCount();
}
engine::Mailbox WindowHost::MailboxAt(int32_t index) {
  frmMultiple& page = wizard_.Multiple();
  const int32_t position = index + 1;
  return {page.RowTicked(position), page.RowText(position), page.RowSubItem1(position)};
}

void WindowHost::MarkMailboxTaken(int32_t index) {
  wizard_.Multiple().SetRowTextColour(index + 1, kTakenRowColour);
  wizard_.Multiple().SetRowGhosted(index + 1, true);
}

bool WindowHost::StatusLoaded() {
  return wizard_.Status().loaded();
}
void WindowHost::LoadStatus() {
  wizard_.Status().Load();
}

void WindowHost::SetLine(engine::StatusLine field, const std::string& text) {
  status::frmMigateAll& window = wizard_.Status();
  if (QLabel* label = StatusLabel(window, field)) {
    status::SetCaption(label, Q(text));
  } else {
    window.setWindowTitle(Q(text));
  }
}

std::string WindowHost::GetLine(engine::StatusLine field) {
  status::frmMigateAll& window = wizard_.Status();
  if (QLabel* label = StatusLabel(window, field)) return status::Caption(label).toStdString();
  return window.windowTitle().toStdString();
}

void WindowHost::SetProgress(engine::ProgressField field, float value) {
  status::frmMigateAll& window = wizard_.Status();
  switch (field) {
    case engine::ProgressField::kMin:
      window.SetProgressMin(value);
      break;
    case engine::ProgressField::kMax:
      window.SetProgressMax(value);
      break;
    case engine::ProgressField::kValue:
      window.SetProgressValue(value);
      break;
  }
}

float WindowHost::GetProgress(engine::ProgressField field) {
  status::frmMigateAll& window = wizard_.Status();
  switch (field) {
    case engine::ProgressField::kMin:
      return window.ProgressMin();
    case engine::ProgressField::kMax:
      return window.ProgressMax();
    case engine::ProgressField::kValue:
      break;
  }
  return window.ProgressValue();
}

void WindowHost::SetButton(engine::ButtonState field, bool on) {
  status::frmMigateAll& window = wizard_.Status();
  switch (field) {
    case engine::ButtonState::kSkipEnabled:
      window.CmdSkip->setEnabled(on);
      break;
    case engine::ButtonState::kStopVisible:
      window.CmdStopMigration->setVisible(on);
      break;
    case engine::ButtonState::kStopEnabled:
      window.CmdStopMigration->setEnabled(on);
      break;
    case engine::ButtonState::kOpenFolderEnabled:
      window.CmdLocate->setEnabled(on);
      if (on) window.ShowLocation();
      break;
  }
}

QWidget* WindowHost::DialogOwner() {
  status::frmMigateAll& window = wizard_.Status();
  return window.isVisible() ? static_cast<QWidget*>(&window) : QApplication::activeWindow();
}

status::MessageBoxAnswer WindowHost::Ask(const char* text, const char* title,
                                         status::MessageBoxButtons buttons, status::MessageBoxIcon icon) {
  return wizard_.desktop().MessageBox(DialogOwner(), QString::fromUtf8(text), QString::fromUtf8(title),
                                      buttons, icon);
}

bool WindowHost::ConfirmSkip() {
  return Ask(engine::texts::kConfirmSkipText, engine::texts::kConfirmSkipTitle,
             status::MessageBoxButtons::kYesNo,
             status::MessageBoxIcon::kNone) == status::MessageBoxAnswer::kYes;
}

bool WindowHost::ConfirmResume(const std::string& pst_path) {
  return wizard_.desktop().MessageBox(
             DialogOwner(), Q("\"" + pst_path + "\"" + engine::texts::kConfirmResumeText),
             QString::fromUtf8(engine::texts::kConfirmResumeTitle), status::MessageBoxButtons::kYesNo,
             status::MessageBoxIcon::kQuestion) == status::MessageBoxAnswer::kYes;
}

bool WindowHost::ConfirmStop() {
  return Ask(engine::texts::kConfirmStopText, engine::texts::kConfirmStopTitle,
             status::MessageBoxButtons::kYesNo,
             status::MessageBoxIcon::kNone) == status::MessageBoxAnswer::kYes;
}

void WindowHost::ShowMessage(engine::Notice notice, const std::string& text) {
  // A run over several mailboxes shows one box: the store errors wait for the completion message.
  if (notice == engine::Notice::kStoreError && Mode() == engine::RunMode::kMailboxList) {
    held_store_errors_.push_back(text);
    return;
  }
  std::string shown = text;
  if (notice == engine::Notice::kCompleted) {
    for (const std::string& error : held_store_errors_) shown += "\r\n\r\n" + error;
    held_store_errors_.clear();
  }
  const char* title = notice == engine::Notice::kStoreError ? engine::texts::kOutlookErrorTitle
                                                            : engine::texts::kCompletedTitle;
  wizard_.desktop().MessageBox(DialogOwner(), Q(shown), QString::fromUtf8(title),
                               status::MessageBoxButtons::kOkOnly, status::MessageBoxIcon::kInformation);
}

std::optional<std::string> WindowHost::ChooseSavePath(const std::string& proposed_name) {
  const auto path =
      wizard_.desktop().SaveFileName(DialogOwner(), Q(proposed_name), QtFilter(engine::texts::kSaveFilter));
  if (!path) return std::nullopt;
  return path->toStdString();
}

void WindowHost::CloseRequestPage() {
  if (wizard_.HasSingle()) wizard_.Single().close();
}

}  // namespace velmora::wizard
