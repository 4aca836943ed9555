// The engine's front end on a terminal: selection values from the command line, the save dialog answered with
// the path given, message boxes as lines on standard error (the store error and the completion message
// included), progress drawn on standard error when it is a terminal, and Ctrl-C or SIGTERM turned into a
// Stop that the host confirms.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/host.h"

namespace velmora::cli {

struct ConvertRow {
  bool ticked = true;
  std::string name;
  std::string path;
};

class ConvertHost : public engine::Host {
 public:
  struct Options {
    bool single = true;
    std::string source;  // single: the mailbox folder
    std::string pst;     // single: the answer of the save dialog
    std::string output;  // multiple: the output folder
    std::vector<ConvertRow> rows;
    bool quiet = false;
    bool progress = false;  // draw a progress line (standard error is a terminal)
  };

  ConvertHost(Options options, std::FILE* err);

  // The number of the stop signal received (SIGINT, SIGTERM), 0 before one; Yield turns it into
  // StopRequested.
  static volatile std::sig_atomic_t interrupted;
  void Attach(engine::Conversion* conversion) { conversion_ = conversion; }
  bool store_error_shown() const { return store_error_shown_; }
  bool stopped_by_user() const { return stopped_; }

  void Yield() override;
  bool Mode() override { return o_.single; }
  std::string SourceFolder() override { return o_.source; }
  std::string OutputFolder() override { return o_.output; }
  int32_t MailboxRowCount() override { return static_cast<int32_t>(o_.rows.size()); }
  bool RowTicked(int32_t position) override { return Row(position).ticked; }
  std::string RowText(int32_t position) override { return Row(position).name; }
  std::string RowSubItem1(int32_t position) override { return Row(position).path; }
  void SetRowTextColour(int32_t, uint32_t) override {}
  void SetRowGhosted(int32_t, bool) override {}
  bool StatusWindowLoaded() override { return true; }
  void LoadStatusWindow() override {}
  void SetStatusText(engine::StatusText field, const std::string& text) override;
  std::string GetStatusText(engine::StatusText field) override;
  void SetProgress(engine::ProgressField field, float value) override;
  float GetProgress(engine::ProgressField field) override;
  void SetButtonState(engine::ButtonState, bool) override {}
  engine::MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& title,
                                          engine::MessageBoxButtons buttons,
                                          engine::MessageBoxIcon icon) override;
  std::optional<std::string> ShowSaveDialog(const std::string& proposed_name,
                                            const std::string& filter) override;
  void CloseSinglePage() override {}

 private:
  const ConvertRow& Row(int32_t position) const;
  void DrawProgress(bool force);
  void ClearProgressLine();

  Options o_;
  std::FILE* err_;
  engine::Conversion* conversion_ = nullptr;
  std::string texts_[5];
  float progress_[3] = {0, 100, 0};
  bool store_error_shown_ = false;
  bool stopped_ = false;
  bool progress_line_ = false;
  std::string mailbox_;
  std::chrono::steady_clock::time_point mailbox_start_;
  std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace velmora::cli
