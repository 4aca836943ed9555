#include "engine/conversion.h"

#include <algorithm>

#include "engine/path_helpers.h"
#include "engine/source_scan.h"
#include "engine/text_rules.h"
#include "engine/texts.h"

namespace velmora::engine {

namespace {

// The unreadable folders the completion message names one by one; a message box taller than the screen
// would hide its OK button.
constexpr size_t kUnreadableShown = 10;

// Adds the count of `list` with its suffix, then its first entries one a line, to the completion text.
void ListFailures(const std::vector<FileFailure>& list, const char* suffix, std::string& text) {
  if (list.empty()) return;
  text += "\r\n" + std::to_string(list.size()) + suffix;
  for (size_t i = 0; i < list.size() && i < kUnreadableShown; ++i)
    text += "\r\n" + list[i].path + ": " + list[i].reason;
  if (list.size() > kUnreadableShown)
    text += "\r\n" + std::to_string(list.size() - kUnreadableShown) + texts::kMoreSuffix;
}

// The front end as a scan that only counts sees it: yields reach the windows, nothing else does.
class CountingHost : public Host {
 public:
  explicit CountingHost(Host& host) : host_(host) {}
  void Yield() override { host_.Yield(); }
  RunMode Mode() override { return RunMode::kMailboxList; }
  std::string SourceFolder() override { return ""; }
  std::string OutputFolder() override { return ""; }
  int32_t MailboxCount() override { return 0; }
  Mailbox MailboxAt(int32_t) override { return {}; }
  bool StatusLoaded() override { return true; }
  void LoadStatus() override {}
  void SetLine(StatusLine, const std::string&) override {}
  std::string GetLine(StatusLine) override { return ""; }
  void SetProgress(ProgressField, float) override {}
  float GetProgress(ProgressField) override { return 0; }
  void SetButton(ButtonState, bool) override {}
  void MarkMailboxTaken(int32_t) override {}
  bool ConfirmSkip() override { return false; }
  bool ConfirmStop() override { return false; }
  std::optional<std::string> ChooseSavePath(const std::string&) override { return std::nullopt; }
  bool ConfirmResume(const std::string&) override { return false; }
  void ShowMessage(Notice, const std::string&) override {}
  void CloseRequestPage() override {}

 private:
  Host& host_;
};

class RunningFlag {
 public:
  explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~RunningFlag() { flag_ = false; }
  RunningFlag(const RunningFlag&) = delete;
  RunningFlag& operator=(const RunningFlag&) = delete;

 private:
  bool& flag_;
};

}  // namespace

Conversion::Conversion(Host& host, RunState& run_state, LocalClock clock)
    : run_state_(run_state), engine_(host, run_state), migration_(engine_, std::move(clock)) {}

size_t Conversion::NotConvertedCount() const {
  size_t n = 0;
  for (const auto& o : outcomes_) n += o.not_converted.size();
  return n;
}

size_t Conversion::SkippedCount() const {
  size_t n = 0;
  for (const auto& o : outcomes_) n += o.skipped.size();
  return n;
}

void Conversion::Run() {
  RunningFlag running(running_);
  outcomes_.clear();
  unreadable_folders_.clear();
  unreadable_files_.clear();
  mailboxes_not_reached_ = 0;
  migration_.ForgetResumeAnswer();
  engine_.run_state().StopRequested = false;
  if (engine_.host().Mode() == RunMode::kSingleMailbox) {
    RunSingle();
  } else {
    RunMultiple();
  }
}

void Conversion::ScanMailbox() {
  engine_.file_pattern = "*.*";
  engine_.run_state().EmptyQueues();
  engine_.next_file_number = 1;
  engine_.Yield();
  ScanSourceFolder(engine_);
  engine_.files_in_mailbox = engine_.next_file_number - 1;
  unreadable_folders_.insert(unreadable_folders_.end(), engine_.UnreadableFolders.begin(),
                             engine_.UnreadableFolders.end());
  unreadable_files_.insert(unreadable_files_.end(), engine_.UnreadableFiles.begin(),
                           engine_.UnreadableFiles.end());
  engine_.Yield();
}

void Conversion::Migrate(const std::string& name, const std::string& path) {
  MailboxOutcome outcome;
  outcome.name = name;
  outcome.source = path;
  outcome.queued = engine_.files_in_mailbox;
  // A folder without a single message file makes no .pst (not even an empty one).
  bool any_eml = false;
  if (const auto& queued = engine_.run_state().QueuedFiles) {
    for (const KeyedList::Entry& e : queued->entries())
      any_eml = any_eml || HasEmlExtension(PathFileName(e.item));
  }
  if (!any_eml) {
    outcome.other_files = outcome.queued;
    outcomes_.push_back(std::move(outcome));
    return;
  }
  migration_.ConvertMailbox(name, path);
  if (migration_.StoreOpened()) {
    outcome.pst = engine_.run_state().PstFilePath;
    outcome.converted = migration_.Converted;
    outcome.already_present = migration_.AlreadyPresent;
    outcome.skipped = migration_.Skipped;
    outcome.not_converted = migration_.NotConverted;
    outcome.remarks = migration_.Remarks;
    outcome.folders_not_made = migration_.FoldersNotMade;
    outcome.other_files = migration_.OtherFiles;
    outcome.save_error = migration_.SaveError;
    // A confirmed skip or stop leaves the files after the last one handled unread.
    outcome.not_reached = std::max(engine_.files_in_mailbox - std::max(migration_.MessageNumber - 1, 0), 0);
    outcome.skipped_by_user = engine_.run_state().SkipRequested && outcome.not_reached > 0;
  } else if (!engine_.run_state().PstFilePath.empty()) {
    // The store error: nothing of this mailbox was converted. A store that did not open leaves the queue as
    // the scan made it (only the import loop empties it during a run).
    outcome.store_error = migration_.store_error();
    outcome.store_cause = migration_.store_cause();
    if (const auto& queued = engine_.run_state().QueuedFiles) {
      for (const KeyedList::Entry& e : queued->entries()) {
        if (HasEmlExtension(PathFileName(e.item))) {
          outcome.not_converted.push_back({e.item, migration_.store_error()});
        } else {
          ++outcome.other_files;
        }
      }
    }
  }
  outcomes_.push_back(std::move(outcome));
}

void Conversion::RunSingle() {
  auto& run = engine_.run_state();
  engine_.Yield();
  if (!run.StopRequested) {
    engine_.SetButton(ButtonState::kSkipEnabled, false);
    engine_.source_path = engine_.host().SourceFolder();
    ScanMailbox();
    engine_.SetLine(StatusLine::kCountLine, "Migrating " + std::to_string(engine_.files_in_mailbox) +
                                                " items from " + engine_.source_path);
    if (engine_.files_in_mailbox >= 1) {
      run.SkipRequested = false;
      run.StopRequested = false;
      engine_.SetLine(StatusLine::kTitle, "Conversion Status");
      const std::string source = engine_.host().SourceFolder();
      const size_t last = source.rfind(fsutil::kPathSeparator);
      const std::string name = last == std::string::npos ? source : source.substr(last + 1);
      Migrate(name, source);
    }
  }
  ShowCompletion(texts::kSingleDoneLine1, texts::kSingleDoneLine2);
  if (run.StopRequested) engine_.host().CloseRequestPage();
  FreezeButtons();
}

void Conversion::RunMultiple() {
  auto& run = engine_.run_state();
  Host& host = engine_.host();
  const int32_t count = host.MailboxCount();
  for (int32_t i = 0; i < count; ++i) {
    engine_.Yield();
    if (!host.MailboxAt(i).ticked) continue;
    engine_.Yield();
    if (run.StopRequested) {
      NoteNotReached(i);
      break;
    }
    engine_.SetButton(ButtonState::kSkipEnabled, false);
    engine_.MarkMailboxTaken(i);
    engine_.source_path = host.MailboxAt(i).path;
    ScanMailbox();
    engine_.SetLine(StatusLine::kCountLine, "Converting " + std::to_string(engine_.files_in_mailbox) +
                                                " items from " + host.MailboxAt(i).path);
    if (engine_.files_in_mailbox >= 1) {
      run.SkipRequested = false;
      run.StopRequested = false;
      engine_.SetLine(StatusLine::kTitle, "Converting " + std::to_string(i + 1) + " of " +
                                              std::to_string(host.MailboxCount()) + " Folders");
      const Mailbox mailbox = host.MailboxAt(i);
      Migrate(mailbox.name, mailbox.path);
    }
  }
  ShowCompletion(texts::kMultipleDoneLine1, texts::kMultipleDoneLine2);
  if (run.StopRequested) host.CloseRequestPage();
  FreezeButtons();
}

std::vector<std::string> Conversion::WhatHappened() {
  std::vector<std::string> lines;
  int64_t converted = 0, present = 0, by_rule = 0, failed = 0, not_reached = 0, folders_not_made = 0;
  bool cancelled = false, stored = false;
  for (const auto& o : outcomes_) {
    converted += o.converted;
    present += static_cast<int64_t>(o.already_present.size());
    by_rule += static_cast<int64_t>(o.skipped.size());
    failed += static_cast<int64_t>(o.not_converted.size());
    if (o.reached) not_reached += o.not_reached;  // a mailbox not reached is counted as a mailbox
    folders_not_made += static_cast<int64_t>(o.folders_not_made.size());
    stored = stored || !o.pst.empty();
    cancelled =
        cancelled || (o.reached && o.pst.empty() && o.store_error.empty() && o.other_files < o.queued);
  }
  const bool stopped = engine_.run_state().StopRequested;
  const bool single = engine_.host().Mode() == RunMode::kSingleMailbox;
  if (stopped) lines.emplace_back(texts::kRunStopped);
  for (const auto& o : outcomes_) {
    if (!o.skipped_by_user) continue;
    lines.push_back(single ? std::string(texts::kMailboxSkipped)
                           : texts::kNamedMailboxSkipped[0] + o.name + texts::kNamedMailboxSkipped[1]);
  }
  const int64_t messages = converted + present + by_rule + failed;
  if (!stopped && lines.empty() && failed == 0 && not_reached == 0 && folders_not_made == 0 &&
      unreadable_folders_.empty() && unreadable_files_.empty()) {
    if (messages > 0) return {};  // every message file became a message or was left out by rule
    lines.emplace_back(cancelled ? texts::kNoFileChosen : texts::kNothingToConvert);
    return lines;
  }
  if (!stored && failed > 0 && converted == 0 && !stopped) lines.emplace_back(texts::kNoOutputFile);
  std::string counts = std::to_string(converted) + " message(s) converted";
  if (present > 0) counts += ", " + std::to_string(present) + " already in the file";
  counts += ", " + std::to_string(failed) + " not converted, " + std::to_string(not_reached) + " not reached";
  if (mailboxes_not_reached_ > 0)
    counts += ", " + std::to_string(mailboxes_not_reached_) + " mailbox(es) not reached";
  lines.push_back(counts + ".");
  return lines;
}

void Conversion::NoteNotReached(int32_t next) {
  Host& host = engine_.host();
  for (int32_t i = next; i < host.MailboxCount(); ++i) {
    const Mailbox mailbox = host.MailboxAt(i);
    if (!mailbox.ticked) continue;
    MailboxOutcome outcome;
    outcome.name = mailbox.name;
    outcome.source = mailbox.path;
    outcome.reached = false;
    ++mailboxes_not_reached_;
    // Counted by the scan itself, into a state of its own: the queues and the status display keep what the
    // stopped mailbox left in them.
    CountingHost counting(host);
    RunState scratch;
    Engine counter(counting, scratch);
    counter.source_path = mailbox.path;
    counter.file_pattern = "*.*";
    counter.next_file_number = 1;
    ScanSourceFolder(counter);
    outcome.queued = counter.next_file_number - 1;
    outcome.not_reached = outcome.queued;
    outcomes_.push_back(std::move(outcome));
  }
}

void Conversion::ShowCompletion(const char* first_line, const char* second_line) {
  const std::vector<std::string> happened = WhatHappened();
  std::string text;
  if (happened.empty()) {
    text = std::string(first_line) + "\r\n" + second_line;
  } else {
    for (const auto& line : happened) text += (text.empty() ? "" : "\r\n") + line;
    // Where to look, when there is a file to look at.
    const bool stored = std::any_of(outcomes_.begin(), outcomes_.end(),
                                    [](const MailboxOutcome& o) { return !o.pst.empty(); });
    if (stored) text += "\r\n" + std::string(second_line);
  }
  // What was left out by rule, what failed and why: never passed off as converted.
  if (size_t skipped = SkippedCount(); skipped > 0) {
    text += "\r\n" + std::to_string(skipped) + texts::kSkippedSuffix;
  }
  size_t folders_not_made = 0;
  for (const auto& o : outcomes_) folders_not_made += o.folders_not_made.size();
  if (folders_not_made > 0) text += "\r\n" + std::to_string(folders_not_made) + texts::kFoldersNotMadeSuffix;
  ListFailures(unreadable_folders_, texts::kUnreadableSuffix, text);
  ListFailures(unreadable_files_, texts::kUnreadableFilesSuffix, text);
  for (const auto& o : outcomes_) {
    if (!o.save_error.empty()) text += "\r\n" + o.save_error;
  }
  engine_.host().ShowMessage(Notice::kCompleted, text);
}

void Conversion::FreezeButtons() {
  engine_.SetButton(ButtonState::kSkipEnabled, false);
  engine_.SetButton(ButtonState::kStopEnabled, false);
  engine_.SetButton(ButtonState::kStopVisible, false);
}

}  // namespace velmora::engine
