// A host for tests: records every status write, row mark, dialog and page close as a text line, in order
// ("lblCount1=3 Messages Queued for Conversion.", "CmdSkip.Enabled=false", "ProgressBar1.Value=12.5"),
// answers message boxes and the save dialog from a script, and counts yields. Reads return what was last
// written, or the status window's starting values.
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
  struct Row {
    bool ticked = false;
    std::string text;       // the mailbox folder's name
    std::string sub_item1;  // its full path
    uint32_t text_colour = 0;
    bool ghosted = false;
  };

  RecordingHost();

  // --- What the engine reads -------------------------------------------------------------------------------
  bool mode = true;
  std::string source_folder;
  std::string output_folder;
  std::vector<Row> rows;
  bool status_loaded = true;  // false: the next status access loads the window

  // --- Scripts
  // ----------------------------------------------------------------------------------------------- Answers
  // in order. Unscripted: OK for an OK box, No for a Yes/No box, cancel for the save dialog; the line then
  // ends in " (unscripted)".
  std::deque<MessageBoxAnswer> message_box_answers;
  std::deque<std::optional<std::string>> save_dialog_answers;
  // Runs at every yield with the yield's number (1, 2, ...): where a test presses Skip or Stop.
  std::function<void(int64_t)> on_yield;
  // Recording every line of a long run costs memory; tests of large scans may switch it off.
  bool record_lines = true;

  // --- Records
  // -----------------------------------------------------------------------------------------------
  std::vector<std::string> lines;
  int64_t yields = 0;
  int loads = 0;
  int single_page_closes = 0;
  int unscripted = 0;

  // The lines that begin with `prefix`, in order.
  std::vector<std::string> LinesStartingWith(const std::string& prefix) const;
  // The current value of a status field.
  const std::string& Text(StatusText field) const { return texts_.at(field); }
  float Progress(ProgressField field) const { return progress_[static_cast<size_t>(field)]; }
  bool Button(ButtonState field) const { return buttons_[static_cast<size_t>(field)]; }

  // --- Host ------------------------------------------------------------------------------------------------
  void Yield() override;
  bool Mode() override { return mode; }
  std::string SourceFolder() override { return source_folder; }
  std::string OutputFolder() override { return output_folder; }
  int32_t MailboxRowCount() override { return static_cast<int32_t>(rows.size()); }
  bool RowTicked(int32_t position) override { return RowAt(position).ticked; }
  std::string RowText(int32_t position) override { return RowAt(position).text; }
  std::string RowSubItem1(int32_t position) override { return RowAt(position).sub_item1; }
  void SetRowTextColour(int32_t position, uint32_t colour) override;
  void SetRowGhosted(int32_t position, bool ghosted) override;
  bool StatusWindowLoaded() override { return status_loaded; }
  void LoadStatusWindow() override;
  void SetStatusText(StatusText field, const std::string& text) override;
  std::string GetStatusText(StatusText field) override { return texts_.at(field); }
  void SetProgress(ProgressField field, float value) override;
  float GetProgress(ProgressField field) override { return Progress(field); }
  void SetButtonState(ButtonState field, bool on) override;
  MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& title,
                                  MessageBoxButtons buttons, MessageBoxIcon icon) override;
  std::optional<std::string> ShowSaveDialog(const std::string& proposed_name,
                                            const std::string& filter) override;
  void CloseSinglePage() override;

 private:
  Row& RowAt(int32_t position);
  void Record(std::string line);
  // The status window as creating and loading it leaves it.
  void ResetDisplay();

  std::map<StatusText, std::string> texts_;
  std::array<float, 3> progress_{};
  std::array<bool, 4> buttons_{};
};

}  // namespace velmora::engine::testing
