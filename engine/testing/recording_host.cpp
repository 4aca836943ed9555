#include "engine/testing/recording_host.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace velmora::engine::testing {
namespace {

const char* Bool(bool b) {
  return b ? "true" : "false";
}

std::string Number(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
  return buf;
}

const char* LineName(StatusLine line) {
  switch (line) {
    case StatusLine::kTitle:
      return "Title";
    case StatusLine::kCountLine:
      return "CountLine";
    case StatusLine::kProgressLine:
      return "ProgressLine";
    case StatusLine::kFrameText:
      return "FrameText";
    case StatusLine::kCurrentFile:
      return "CurrentFile";
  }
  return "?";
}

const char* FieldName(ProgressField field) {
  switch (field) {
    case ProgressField::kMin:
      return "Progress.Min";
    case ProgressField::kMax:
      return "Progress.Max";
    case ProgressField::kValue:
      return "Progress.Value";
  }
  return "?";
}

const char* ButtonName(ButtonState button) {
  switch (button) {
    case ButtonState::kSkipEnabled:
      return "Skip.Enabled";
    case ButtonState::kStopVisible:
      return "Stop.Visible";
    case ButtonState::kStopEnabled:
      return "Stop.Enabled";
    case ButtonState::kOpenFolderEnabled:
      return "OpenFolder.Enabled";
  }
  return "?";
}

}  // namespace

RecordingHost::RecordingHost() {
  ResetDisplay();
}

void RecordingHost::ResetDisplay() {
  // As created: title, Stop hidden but enabled, Open Folder disabled, range 0 to 100.
  texts_[StatusLine::kTitle] = "Conversion Status";
  progress_ = {0.0f, 100.0f, 0.0f};
  buttons_[static_cast<size_t>(ButtonState::kStopVisible)] = false;
  buttons_[static_cast<size_t>(ButtonState::kStopEnabled)] = true;
  buttons_[static_cast<size_t>(ButtonState::kOpenFolderEnabled)] = false;
  // As loading leaves it.
  texts_[StatusLine::kProgressLine] = "0% Complete";
  texts_[StatusLine::kCountLine] = "Conversion Not Started Yet...";
  texts_[StatusLine::kCurrentFile] = "Converting Messages...";
  texts_[StatusLine::kFrameText] = "Details ";
  buttons_[static_cast<size_t>(ButtonState::kSkipEnabled)] = false;
}

void RecordingHost::Record(std::string line) {
  if (record_lines) lines.push_back(std::move(line));
}

std::vector<std::string> RecordingHost::LinesStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& l : lines) {
    if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
  }
  return out;
}

void RecordingHost::Yield() {
  ++yields;
  if (on_yield) on_yield(yields);
}

void RecordingHost::LoadStatus() {
  ++loads;
  status_loaded = true;
  ResetDisplay();
  Record("LoadStatus");
}

void RecordingHost::SetLine(StatusLine line, const std::string& text) {
  texts_[line] = text;
  Record(std::string(LineName(line)) + "=" + text);
}

void RecordingHost::SetProgress(ProgressField field, float value) {
  progress_[static_cast<size_t>(field)] = value;
  Record(std::string(FieldName(field)) + "=" + Number(value));
}

void RecordingHost::SetButton(ButtonState button, bool on) {
  buttons_[static_cast<size_t>(button)] = on;
  Record(std::string(ButtonName(button)) + "=" + Bool(on));
}

void RecordingHost::MarkMailboxTaken(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= mailboxes.size()) {
    throw std::out_of_range("RecordingHost: no mailbox " + std::to_string(index));
  }
  Record("Mailbox" + std::to_string(index) + ".Taken");
}

bool RecordingHost::Confirm(const std::string& question) {
  bool answer = false;
  const bool scripted = !confirm_answers.empty();
  if (scripted) {
    answer = confirm_answers.front();
    confirm_answers.pop_front();
  } else {
    ++unscripted;
  }
  Record(std::string(question) + " -> " + (answer ? "Yes" : "No") + (scripted ? "" : " (unscripted)"));
  return answer;
}

std::optional<std::string> RecordingHost::ChooseSavePath(const std::string& proposed_name) {
  std::optional<std::string> answer;
  const bool scripted = !save_path_answers.empty();
  if (scripted) {
    answer = save_path_answers.front();
    save_path_answers.pop_front();
  } else {
    ++unscripted;
  }
  Record("ChooseSavePath=" + proposed_name + " -> " + (answer ? *answer : "cancel") +
         (scripted ? "" : " (unscripted)"));
  return answer;
}

void RecordingHost::ShowMessage(Notice notice, const std::string& text) {
  Record(std::string(notice == Notice::kCompleted ? "Message[Completed]=" : "Message[StoreError]=") + text);
}

void RecordingHost::CloseRequestPage() {
  ++request_page_closes;
  Record("CloseRequestPage");
}

}  // namespace velmora::engine::testing
