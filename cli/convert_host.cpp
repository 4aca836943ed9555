#include "cli/convert_host.h"

#include <algorithm>

#include "engine/texts.h"
#include "fsutil/platform_shim.h"
#include "fsutil/stop_signals.h"

namespace velmora::cli {

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

ConvertHost::ConvertHost(Options options, engine::RunState& run_state, std::FILE* err)
    : o_(std::move(options)), run_state_(run_state), err_(err) {
  lines_[static_cast<int>(engine::StatusLine::kTitle)] = "Conversion Status";
}

void ConvertHost::Yield() {
  // The signal stays noted: a stop that the engine clears before it asks (the driver resets the flag before
  // each mailbox) is set again at the next yield, so a signal is never lost.
  if (fsutil::StopRequest() != 0) run_state_.StopRequested = true;
}

void ConvertHost::SetLine(engine::StatusLine line, const std::string& text) {
  lines_[static_cast<int>(line)] = text;
  if (line == engine::StatusLine::kCurrentFile && text == engine::texts::kSessionCreated) {
    // A new mailbox: its name is the part of the .pst path after the last separator.
    const std::string& pst = run_state_.PstFilePath;
    mailbox_ = pst.substr(pst.rfind(fsutil::kPathSeparator) + 1);
    mailbox_start_ = std::chrono::steady_clock::now();
  }
  if (line == engine::StatusLine::kFrameText) DrawProgress(false);
}

void ConvertHost::DrawProgress(bool force) {
  if (!o_.progress || !conversion_) return;
  auto now = std::chrono::steady_clock::now();
  if (!force && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  const int64_t done = conversion_->file_number();
  const int64_t total = std::max<int64_t>(1, conversion_->files_queued());
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

void ConvertHost::Say(const char* title, const std::string& text, bool shown) {
  ClearProgressLine();
  if (shown) std::fprintf(err_, "%s: %s\n", title, Lines(text).c_str());
}

bool ConvertHost::ConfirmSkip() {
  Say(engine::texts::kConfirmSkipTitle, engine::texts::kConfirmSkipText, !o_.quiet);
  return false;
}

bool ConvertHost::ConfirmStop() {
  stopped_ = true;
  Say(engine::texts::kConfirmStopTitle, engine::texts::kConfirmStopText, !o_.quiet);
  return true;
}

void ConvertHost::ShowMessage(engine::Notice notice, const std::string& text) {
  if (notice == engine::Notice::kStoreError) {
    store_error_shown_ = true;
    Say(engine::texts::kOutlookErrorTitle, text, true);
  } else {
    Say(engine::texts::kCompletedTitle, text, false);  // the run summary says it (run_summary.h)
  }
}

}  // namespace velmora::cli
