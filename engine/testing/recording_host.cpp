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

const char* ButtonsName(MessageBoxButtons b) {
  return b == MessageBoxButtons::kYesNo ? "YesNo" : "OkOnly";
}

const char* IconName(MessageBoxIcon i) {
  switch (i) {
    case MessageBoxIcon::kQuestion:
      return "Question";
    case MessageBoxIcon::kInformation:
      return "Information";
    case MessageBoxIcon::kNone:
      break;
  }
  return "None";
}

const char* AnswerName(MessageBoxAnswer a) {
  switch (a) {
    case MessageBoxAnswer::kYes:
      return "Yes";
    case MessageBoxAnswer::kNo:
      return "No";
    case MessageBoxAnswer::kOk:
      break;
  }
  return "OK";
}

}  // namespace

RecordingHost::RecordingHost() {
  ResetDisplay();
}

void RecordingHost::ResetDisplay() {
  // As created: caption, Stop hidden but enabled, Open Folder disabled, range 0 to 100.
  texts_[StatusText::kCaption] = "Conversion Status";
  progress_ = {0.0f, 100.0f, 0.0f};
  buttons_[static_cast<size_t>(ButtonState::kStopVisible)] = false;
  buttons_[static_cast<size_t>(ButtonState::kStopEnabled)] = true;
  buttons_[static_cast<size_t>(ButtonState::kLocateEnabled)] = false;
  // As the load handler leaves it.
  texts_[StatusText::kLblProgress] = "0% Complete";
  texts_[StatusText::kLblCount1] = "Conversion Not Started Yet...";
  texts_[StatusText::kLblCurrentDbx] = "Converting Messages...";
  texts_[StatusText::kFrameConversion] = "Details ";
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

RecordingHost::Row& RecordingHost::RowAt(int32_t position) {
  if (position < 1 || static_cast<size_t>(position) > rows.size()) {
    throw std::out_of_range("RecordingHost: no mailbox row " + std::to_string(position));
  }
  return rows[static_cast<size_t>(position - 1)];
}

void RecordingHost::SetRowTextColour(int32_t position, uint32_t colour) {
  RowAt(position).text_colour = colour;
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", colour);
  Record("Row" + std::to_string(position) + ".ForeColor=" + buf);
}

void RecordingHost::SetRowGhosted(int32_t position, bool ghosted) {
  RowAt(position).ghosted = ghosted;
  Record("Row" + std::to_string(position) + ".Ghosted=" + Bool(ghosted));
}

void RecordingHost::LoadStatusWindow() {
  ++loads;
  status_loaded = true;
  ResetDisplay();
  Record("LoadStatusWindow");
}

void RecordingHost::SetStatusText(StatusText field, const std::string& text) {
  texts_[field] = text;
  Record(std::string(FieldName(field)) + "=" + text);
}

void RecordingHost::SetProgress(ProgressField field, float value) {
  progress_[static_cast<size_t>(field)] = value;
  Record(std::string(FieldName(field)) + "=" + Number(value));
}

void RecordingHost::SetButtonState(ButtonState field, bool on) {
  buttons_[static_cast<size_t>(field)] = on;
  Record(std::string(FieldName(field)) + "=" + Bool(on));
}

MessageBoxAnswer RecordingHost::ShowMessageBox(const std::string& text, const std::string& title,
                                               MessageBoxButtons buttons, MessageBoxIcon icon) {
  MessageBoxAnswer answer =
      buttons == MessageBoxButtons::kYesNo ? MessageBoxAnswer::kNo : MessageBoxAnswer::kOk;
  const bool scripted = !message_box_answers.empty();
  if (scripted) {
    answer = message_box_answers.front();
    message_box_answers.pop_front();
  } else {
    ++unscripted;
  }
  Record("MessageBox[" + title + "|" + ButtonsName(buttons) + "|" + IconName(icon) + "]=" + text + " -> " +
         AnswerName(answer) + (scripted ? "" : " (unscripted)"));
  return answer;
}

std::optional<std::string> RecordingHost::ShowSaveDialog(const std::string& proposed_name,
                                                         const std::string& filter) {
  std::optional<std::string> answer;
  const bool scripted = !save_dialog_answers.empty();
  if (scripted) {
    answer = save_dialog_answers.front();
    save_dialog_answers.pop_front();
  } else {
    ++unscripted;
  }
  Record("SaveDialog[" + filter + "]=" + proposed_name + " -> " + (answer ? *answer : "cancel") +
         (scripted ? "" : " (unscripted)"));
  return answer;
}

void RecordingHost::CloseSinglePage() {
  ++single_page_closes;
  Record("CloseSinglePage");
}

}  // namespace velmora::engine::testing
