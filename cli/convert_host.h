// The engine's front end on a terminal: the run request from the command line, the save path answered with
// the path given, questions and the store error as lines on standard error (the completion message is left
// to the run summary), progress drawn on standard error when it is a terminal, and Ctrl-C, SIGTERM or SIGHUP
// turned into a Stop that the host confirms.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/host.h"

namespace velmora::cli {

class ConvertHost : public engine::Host {
 public:
  struct Options {
    bool single = true;
    std::string source;  // single: the mailbox folder
    std::string pst;     // single: the answer of the save dialog
    std::string output;  // multiple: the output folder
    std::vector<engine::Mailbox> mailboxes;
    bool quiet = false;
    bool progress = false;  // draw a progress line (standard error is a terminal)
  };

  ConvertHost(Options options, engine::RunState& run_state, std::FILE* err);

  void Attach(engine::Conversion* conversion) { conversion_ = conversion; }
  bool store_error_shown() const { return store_error_shown_; }
  bool stopped_by_user() const { return stopped_; }

  void Yield() override;
  engine::RunMode Mode() override {
    return o_.single ? engine::RunMode::kSingleMailbox : engine::RunMode::kMailboxList;
  }
  std::string SourceFolder() override { return o_.source; }
  std::string OutputFolder() override { return o_.output; }
  int32_t MailboxCount() override { return static_cast<int32_t>(o_.mailboxes.size()); }
  engine::Mailbox MailboxAt(int32_t index) override { return o_.mailboxes.at(static_cast<size_t>(index)); }
  bool StatusLoaded() override { return true; }
  void LoadStatus() override {}
  void SetLine(engine::StatusLine line, const std::string& text) override;
  std::string GetLine(engine::StatusLine line) override { return lines_[static_cast<int>(line)]; }
  void SetProgress(engine::ProgressField field, float value) override {
    progress_[static_cast<int>(field)] = value;
  }
  float GetProgress(engine::ProgressField field) override { return progress_[static_cast<int>(field)]; }
  void SetButton(engine::ButtonState, bool) override {}
  void MarkMailboxTaken(int32_t) override {}
  // Only a Stop from Ctrl-C reaches a question here, and it is confirmed. A Skip never comes from this host.
  bool ConfirmSkip() override;
  bool ConfirmStop() override;
  // The command line decides resuming by --resume; it is never asked.
  bool ConfirmResume(const std::string&) override { return true; }
  std::optional<std::string> ChooseSavePath(const std::string&) override { return o_.pst; }
  void ShowMessage(engine::Notice notice, const std::string& text) override;
  void CloseRequestPage() override {}

 private:
  // A question or message as a line: "Title: text".
  void Say(const char* title, const std::string& text, bool shown);
  void DrawProgress(bool force);
  void ClearProgressLine();

  Options o_;
  engine::RunState& run_state_;
  std::FILE* err_;
  engine::Conversion* conversion_ = nullptr;
  std::string lines_[5];
  float progress_[3] = {0, 100, 0};
  bool store_error_shown_ = false;
  bool stopped_ = false;
  bool progress_line_ = false;
  std::string mailbox_;
  std::chrono::steady_clock::time_point mailbox_start_;
  std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace velmora::cli
