#include "wizard/window_host.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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

QLabel* StatusLabel(status::frmMigateAll& window, engine::StatusText field) {
  switch (field) {
    case engine::StatusText::kLblCount1:
      return window.lblCount1;
    case engine::StatusText::kLblProgress:
      return window.lblProgress;
    case engine::StatusText::kFrameConversion:
      return window.FrameConversion;
    case engine::StatusText::kLblCurrentDbx:
      return window.LblCurrentDBX;
    case engine::StatusText::kCaption:
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

bool WindowHost::Mode() {
  return wizard_.Start().OptSingle->isChecked();
}
std::string WindowHost::SourceFolder() {
  return wizard_.Single().txtSourceMailbox->text().toStdString();
}
std::string WindowHost::OutputFolder() {
  return wizard_.Multiple().txtOutputFolder->text().toStdString();
}
int32_t WindowHost::MailboxRowCount() {
  return wizard_.Multiple().RowCount();
}
bool WindowHost::RowTicked(int32_t position) {
  return wizard_.Multiple().RowTicked(position);
}
std::string WindowHost::RowText(int32_t position) {
  return wizard_.Multiple().RowText(position);
}
std::string WindowHost::RowSubItem1(int32_t position) {
  return wizard_.Multiple().RowSubItem1(position);
}

void WindowHost::SetRowTextColour(int32_t position, uint32_t colour) {
  wizard_.Multiple().SetRowTextColour(position, colour);
}

void WindowHost::SetRowGhosted(int32_t position, bool ghosted) {
  wizard_.Multiple().SetRowGhosted(position, ghosted);
}

bool WindowHost::StatusWindowLoaded() {
  return wizard_.Status().loaded();
}
void WindowHost::LoadStatusWindow() {
  wizard_.Status().Load();
}

void WindowHost::SetStatusText(engine::StatusText field, const std::string& text) {
  status::frmMigateAll& window = wizard_.Status();
  if (QLabel* label = StatusLabel(window, field)) {
    status::SetCaption(label, Q(text));
  } else {
    window.setWindowTitle(Q(text));
  }
}

std::string WindowHost::GetStatusText(engine::StatusText field) {
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

void WindowHost::SetButtonState(engine::ButtonState field, bool on) {
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
    case engine::ButtonState::kLocateEnabled:
      window.CmdLocate->setEnabled(on);
      break;
  }
}

QWidget* WindowHost::DialogOwner() {
  status::frmMigateAll& window = wizard_.Status();
  return window.isVisible() ? static_cast<QWidget*>(&window) : QApplication::activeWindow();
}

engine::MessageBoxAnswer WindowHost::ShowMessageBox(const std::string& text, const std::string& title,
                                                    engine::MessageBoxButtons buttons,
                                                    engine::MessageBoxIcon icon) {
  return wizard_.desktop().MessageBox(DialogOwner(), Q(text), Q(title), buttons, icon);
}

std::optional<std::string> WindowHost::ShowSaveDialog(const std::string& proposed_name,
                                                      const std::string& filter) {
  const auto path = wizard_.desktop().SaveFileName(DialogOwner(), Q(proposed_name), QtFilter(filter));
  if (!path) return std::nullopt;
  return path->toStdString();
}

void WindowHost::CloseSinglePage() {
  if (wizard_.HasSingle()) wizard_.Single().close();
}

}  // namespace velmora::wizard
