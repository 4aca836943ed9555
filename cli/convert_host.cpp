#include "cli/convert_host.h"

#include <algorithm>

#include "engine/texts.h"

namespace velmora::cli {

volatile std::sig_atomic_t ConvertHost::interrupted = 0;

namespace {

// The progress line is redrawn at most this often: a terminal cannot show more and drawing costs time.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

std::string Lines(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

ConvertHost::ConvertHost(Options options, std::FILE* err) : o_(std::move(options)), err_(err) {
  texts_[static_cast<int>(engine::StatusText::kCaption)] = "Conversion Status";
}

const ConvertRow& ConvertHost::Row(int32_t position) const {
  return o_.rows.at(static_cast<size_t>(position - 1));
}

void ConvertHost::Yield() {
  // The signal stays noted: a stop that the engine clears before it asks (the driver resets the flag before
  // each mailbox) is set again at the next yield, so a signal is never lost.
  if (interrupted && conversion_) conversion_->engine().run_state().StopRequested = true;
}

void ConvertHost::SetStatusText(engine::StatusText field, const std::string& text) {
  texts_[static_cast<int>(field)] = text;
  if (field == engine::StatusText::kLblCurrentDbx && text == engine::texts::kSessionCreated) {
    // A new mailbox: its name is the part of the .pst path after the last separator.
    if (conversion_) {
      const std::string& pst = conversion_->engine().run_state().PstFilePath;
      mailbox_ = pst.substr(pst.rfind('/') + 1);
    }
    mailbox_start_ = std::chrono::steady_clock::now();
  }
  if (field == engine::StatusText::kFrameConversion) DrawProgress(false);
}

std::string ConvertHost::GetStatusText(engine::StatusText field) {
  return texts_[static_cast<int>(field)];
}

void ConvertHost::SetProgress(engine::ProgressField field, float value) {
  progress_[static_cast<int>(field)] = value;
}

float ConvertHost::GetProgress(engine::ProgressField field) {
  return progress_[static_cast<int>(field)];
}

void ConvertHost::DrawProgress(bool force) {
  if (!o_.progress || !conversion_) return;
  auto now = std::chrono::steady_clock::now();
  if (!force && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  const int64_t done = conversion_->migration().MessageNumber;
  const int64_t total = std::max<int64_t>(1, conversion_->engine().MessageCount);
  const double secs = std::chrono::duration<double>(now - mailbox_start_).count();
  const double rate = secs > 0 ? static_cast<double>(done) / secs : 0;
  const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
  const int filled = static_cast<int>(kBarWidth * std::min<int64_t>(done, total) / total);
  std::fprintf(err_, "\r%s [%s%s] %lld of %lld  %.0f msg/s  %02d:%02d left\033[K", mailbox_.c_str(),
               std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(),
               static_cast<long long>(done), static_cast<long long>(total), rate, static_cast<int>(left) / 60,
               static_cast<int>(left) % 60);
  std::fflush(err_);
  progress_line_ = true;
}

void ConvertHost::ClearProgressLine() {
  if (!progress_line_) return;
  std::fprintf(err_, "\r\033[K");
  progress_line_ = false;
}

engine::MessageBoxAnswer ConvertHost::ShowMessageBox(const std::string& text, const std::string& title,
                                                     engine::MessageBoxButtons buttons,
                                                     engine::MessageBoxIcon) {
  ClearProgressLine();
  if (title == engine::texts::kOutlookErrorTitle) store_error_shown_ = true;
  const bool is_stop = title == engine::texts::kConfirmStopTitle;
  if (is_stop) stopped_ = true;
  // The completion message is the wizard's; this tool ends with its own summary (run_summary.h).
  const bool show =
      title == engine::texts::kOutlookErrorTitle || (!o_.quiet && title != engine::texts::kCompletedTitle);
  if (show) std::fprintf(err_, "%s: %s\n", title.c_str(), Lines(text).c_str());
  if (buttons == engine::MessageBoxButtons::kYesNo) {
    // Only a Stop from Ctrl-C reaches a question here; it is confirmed. A Skip never comes from this host.
    return is_stop ? engine::MessageBoxAnswer::kYes : engine::MessageBoxAnswer::kNo;
  }
  return engine::MessageBoxAnswer::kOk;
}

std::optional<std::string> ConvertHost::ShowSaveDialog(const std::string&, const std::string&) {
  return o_.pst;
}

}  // namespace velmora::cli
