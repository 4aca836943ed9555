// The engine's Host over the windows, and the one place where the engine's concepts meet the controls: the
// run request comes from the pages' controls (OptSingle, txtSourceMailbox, txtOutputFolder, the mailbox
// rows, counted from 1), status lines and buttons go to the status window's controls (lblCount1,
// lblProgress, FrameConversion, LblCurrentDBX, ProgressBar1, CmdSkip, CmdStopMigration, CmdLocate), and
// questions and messages become message boxes and the save dialog through the Desktop. Text crosses here:
// UTF-8 std::string below, QString above.
//
// Yield processes pending window events at most once per interval (15 ms by default), so the many yields of
// a tight loop cost a clock read each while the status window still repaints and its buttons still work.
#pragma once

#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

class QWidget;

#include "engine/host.h"
#include "status/desktop.h"

namespace velmora::wizard {

class Wizard;

class WindowHost : public engine::Host {
 public:
  explicit WindowHost(Wizard& wizard) : wizard_(wizard) {}

  // Milliseconds between two event-processing passes of Yield.
  int yield_interval_ms = 15;
  // Runs at every Yield with its number (1, 2, ...): where widget tests press Skip or Stop mid-run.
  std::function<void(int64_t)> on_yield;
  int64_t yields() const { return yields_; }

  void Yield() override;
  engine::RunMode Mode() override;
  std::string SourceFolder() override;
  std::string OutputFolder() override;
  int32_t MailboxCount() override;
  engine::Mailbox MailboxAt(int32_t index) override;
  bool StatusLoaded() override;
  void LoadStatus() override;
  void SetLine(engine::StatusLine line, const std::string& text) override;
  std::string GetLine(engine::StatusLine line) override;
  void SetProgress(engine::ProgressField field, float value) override;
  float GetProgress(engine::ProgressField field) override;
  void SetButton(engine::ButtonState button, bool on) override;
  void MarkMailboxTaken(int32_t index) override;
  bool ConfirmSkip() override;
  bool ConfirmStop() override;
  bool ConfirmResume(const std::string& pst_path) override;
  std::optional<std::string> ChooseSavePath(const std::string& proposed_name) override;
  void ShowMessage(engine::Notice notice, const std::string& text) override;
  void CloseRequestPage() override;

 private:
  QWidget* DialogOwner();
  status::MessageBoxAnswer Ask(const char* text, const char* title, status::MessageBoxButtons buttons,
                               status::MessageBoxIcon icon);

  Wizard& wizard_;
  QElapsedTimer since_events_;
  int64_t yields_ = 0;
  std::vector<std::string> held_store_errors_;
};

}  // namespace velmora::wizard
