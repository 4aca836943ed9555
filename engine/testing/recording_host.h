// A host for tests: records every status write, mailbox mark, question, message and page close as a text
// line, in order ("CountLine=3 Messages Queued for Conversion.", "Skip.Enabled=false",
// "Progress.Value=12.5"), answers the confirmations and the save path from a script, and counts yields. Reads
// return what was last written, or the status display's starting values.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/host.h"

namespace velmora::engine::testing {

class RecordingHost : public Host {
 public:
  RecordingHost();

  // --- What the engine reads -------------------------------------------------------------------------------
  RunMode mode = RunMode::kSingleMailbox;
  std::string source_folder;
  std::string output_folder;
  std::vector<Mailbox> mailboxes;
  bool status_loaded = true;  // false: the next status access loads the display

  // --- Scripts
  // ----------------------------------------------------------------------------------------------- Answers
  // in order. Unscripted: no for a confirmation, cancel for the save path; the line then ends in "
  // (unscripted)".
  std::deque<bool> confirm_answers;
  std::deque<std::optional<std::string>> save_path_answers;
  // Runs at every yield with the yield's number (1, 2, ...): where a test presses Skip or Stop.
  std::function<void(int64_t)> on_yield;
  // Recording every line of a long run costs memory; tests of large scans may switch it off.
  bool record_lines = true;

  // --- Records
  // -----------------------------------------------------------------------------------------------
  std::vector<std::string> lines;
  int64_t yields = 0;
  int loads = 0;
  int request_page_closes = 0;
  int unscripted = 0;

  // The lines that begin with `prefix`, in order.
  std::vector<std::string> LinesStartingWith(const std::string& prefix) const;
  // The current value of a status field.
  const std::string& Text(StatusLine line) const { return texts_.at(line); }
  float Progress(ProgressField field) const { return progress_[static_cast<size_t>(field)]; }
  bool Button(ButtonState button) const { return buttons_[static_cast<size_t>(button)]; }

  // --- Host ------------------------------------------------------------------------------------------------
  void Yield() override;
  RunMode Mode() override { return mode; }
  std::string SourceFolder() override { return source_folder; }
  std::string OutputFolder() override { return output_folder; }
  int32_t MailboxCount() override { return static_cast<int32_t>(mailboxes.size()); }
  Mailbox MailboxAt(int32_t index) override { return mailboxes.at(static_cast<size_t>(index)); }
  bool StatusLoaded() override { return status_loaded; }
  void LoadStatus() override;
  void SetLine(StatusLine line, const std::string& text) override;
  std::string GetLine(StatusLine line) override { return texts_.at(line); }
  void SetProgress(ProgressField field, float value) override;
  float GetProgress(ProgressField field) override { return Progress(field); }
  void SetButton(ButtonState button, bool on) override;
  void MarkMailboxTaken(int32_t index) override;
  bool ConfirmSkip() override { return Confirm("ConfirmSkip"); }
  bool ConfirmStop() override { return Confirm("ConfirmStop"); }
  bool ConfirmResume(const std::string& pst_path) override { return Confirm("ConfirmResume=" + pst_path); }
  std::optional<std::string> ChooseSavePath(const std::string& proposed_name) override;
  void ShowMessage(Notice notice, const std::string& text) override;
  void CloseRequestPage() override;

 private:
  bool Confirm(const std::string& question);
  void Record(std::string line);
  // The status window as creating and loading it leaves it.
  void ResetDisplay();

  std::map<StatusLine, std::string> texts_;
  std::array<float, 3> progress_{};
  std::array<bool, 4> buttons_{};
};

}  // namespace velmora::engine::testing
