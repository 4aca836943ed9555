// The engine's Host over the windows: selection values come from the pages' controls, status fields go to
// the status window's controls, dialogs go through the Desktop. Text crosses here: UTF-8 std::string below,
// QString above.
//
// Yield processes pending window events at most once per interval (15 ms by default), so the many yields of
// a tight loop cost a clock read each while the status window still repaints and its buttons still work.
#pragma once

#include <QElapsedTimer>
#include <functional>

class QWidget;

#include "engine/host.h"

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
  bool Mode() override;
  std::string SourceFolder() override;
  std::string OutputFolder() override;
  int32_t MailboxRowCount() override;
  bool RowTicked(int32_t position) override;
  std::string RowText(int32_t position) override;
  std::string RowSubItem1(int32_t position) override;
  void SetRowTextColour(int32_t position, uint32_t colour) override;
  void SetRowGhosted(int32_t position, bool ghosted) override;
  bool StatusWindowLoaded() override;
  void LoadStatusWindow() override;
  void SetStatusText(engine::StatusText field, const std::string& text) override;
  std::string GetStatusText(engine::StatusText field) override;
  void SetProgress(engine::ProgressField field, float value) override;
  float GetProgress(engine::ProgressField field) override;
  void SetButtonState(engine::ButtonState field, bool on) override;
  engine::MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& title,
                                          engine::MessageBoxButtons buttons,
                                          engine::MessageBoxIcon icon) override;
  std::optional<std::string> ShowSaveDialog(const std::string& proposed_name,
                                            const std::string& filter) override;
  void CloseSinglePage() override;

 private:
  QWidget* DialogOwner();

  Wizard& wizard_;
  QElapsedTimer since_events_;
  int64_t yields_ = 0;
};

}  // namespace velmora::wizard
