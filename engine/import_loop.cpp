// ConvertMailbox, second half: every queued ".eml" file becomes a message in the store folder that matches
// its folder in the export; the progress fields advance for every queued file; Skip and Stop are confirmed
// between files; the call ends by emptying the queues and logging the session off.
//
// Where a message goes (relative paths; default folders named InboxName and SentItemsName):
//   Inbox, Inbox\X        the default Inbox, X inside it
//   Sent, Sent\X          the default Sent Items, X inside it
//   any other folder      the store folder of the same path (made with the folder tree, or a default folder
//                         of that name); when there is none the file is not converted and is reported
//   path holding "!"      the folder named by the text before the first "!" (the folder tree makes it)
//   the mailbox folder    the store's top folder
//   Conversations, Notebook, Emailed Contacts (directly below the mailbox folder): no folder is made for
//                         them, so their files are skipped by rule and reported as such
//
// Parsing runs ahead: while the store writes one message, worker threads parse the next files (ParseAhead);
// the loop takes each parse when it imports that file, so its order, progress, polls and yields stay as they
// are. The workers end (and release what they hold) before the loop's end, a confirmed stop or an error
// leaves the call.
//
// What counts as converted: a message whose save a successful commit has made durable. Messages saved after
// the last good commit wait in unsaved_; the session's last commit (Logoff, or the commit of a confirmed
// stop) settles them, and when it fails they are reported not converted with its error.
#include <algorithm>
#include <cmath>
#include <thread>

#include "engine/migration.h"
#include "engine/parse_ahead.h"
#include "engine/path_helpers.h"
#include "engine/text_rules.h"
#include "engine/texts.h"
#include "rdo/rdo_mail.h"
#include "rdo/rdo_session.h"
#include "rdo/store_state.h"

namespace velmora::engine {

namespace {

// Rounds to the nearest whole number, halves to the even neighbour (50.5 gives 50, 51.5 gives 52).
long RoundHalfEven(float v) {
  return std::lrint(static_cast<double>(v));
}

// The largest message file parsed ahead, the spill budget of one message: a larger one is parsed when it is
// imported, so that a stop never waits for a long parse on the worker.
constexpr uint64_t kLargestFileParsedAhead = 16u << 20;

// One parsing worker per core, at most one fewer than the files in flight (so that a finished parse always has
// room to wait). With the export in the page cache one worker fewer would do on two cores (10,000 small messages:
// medians 0.98 s against 1.16 s), but a large export is read from the disk, and there a second worker parses
// while the first waits for its file (1,000,000 messages: 116 s against 151 s).
ParseAhead::Limits ParseLimits() {
  ParseAhead::Limits limits;
  limits.workers = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, limits.files - 1);
  return limits;
}

}  // namespace

std::string StoreFolderOf(const std::string& relative, const std::string& inbox,
                          const std::string& sent_items) {
  // Only the first name is mapped: "Inbox" deeper down (\Archive\Inbox, \Inbox\Old\Inbox) is an ordinary
  // folder of that name.
  const size_t end = relative.find('\\');
  const std::string first = relative.substr(0, end);
  const std::string rest = end == std::string::npos ? std::string() : relative.substr(end);
  if (first == "Inbox") return inbox + rest;
  if (first == "Sent") return sent_items + rest;
  return relative;
}

std::string TargetFolderPath(const std::string& file, const std::string& mailbox_path,
                             const std::string& inbox, const std::string& sent_items) {
  std::string y = AsStoredText(ToStorePath(CutMailboxPath(PathParent(file), mailbox_path)));
  if (y.find('!') != std::string::npos) y = BangTarget(y) + "\\";
  if (!y.empty() && y[0] == '\\') y.erase(0, 1);
  if (y.empty()) return y;
  // y ends in the separator that PathParent keeps.
  return StoreFolderOf(y.substr(0, y.size() - 1), inbox, sent_items) + "\\";
}

std::string Migration::MessageFolderPath(const std::string& file, const std::string& mailbox_path) {
  if (CutMailboxPath(PathParent(file), mailbox_path).find('!') != std::string::npos) engine_.Yield();
  return TargetFolderPath(file, mailbox_path, InboxName, SentItemsName);
}

void Migration::ImportQueuedFiles(const std::string& mailbox_path) {
  auto& run = engine_.run_state();
  MessageNumber = 1;
  // The queue is read in place, one path at a time: nothing refills or empties it while the loop runs (the
  // scan is over, and the status window only resets it when no run is under way).
  const size_t file_count = run.QueuedFiles ? run.QueuedFiles->Count() : 0;
  const KeyedList* queued = run.QueuedFiles ? &*run.QueuedFiles : nullptr;
  ResumeNext().Run([&] {
    if (store_state_) header_properties_ = rdo::InternetHeaderProperties(*store_state_);
  });
  std::optional<ParseAhead> ahead;
  ahead.emplace(
      file_count,
      // Files the loop will not import are not parsed: other names than ".eml", and the files of folders the
      // rules leave out. Only pure text functions of the path and the names fixed before the loop run here.
      [queued, this, &mailbox_path](size_t i) {
        const std::string& f = queued->entries()[i].item;
        if (!HasEmlExtension(PathFileName(f))) return std::string();
        if (SkippedByRule(TargetFolderPath(f, mailbox_path, InboxName, SentItemsName))) return std::string();
        return f;
      },
      [this](const std::string& path) {
        return rdo::ParseEmlFile(path, header_properties_.load(), kLargestFileParsedAhead);
      },
      ParseLimits());
  for (size_t i = 0; i < file_count; ++i) {
    const std::string f = run.QueuedFiles->entries()[i].item;
    if (HasEmlExtension(PathFileName(f))) {
      engine_.Yield();
      engine_.SetLine(StatusLine::kCurrentFile, "Converting Messages... from (" + f + ")");
      const std::string y = MessageFolderPath(f, mailbox_path);
      std::string reason;
      uint64_t save_number = 0;
      // Skipped by rule whether or not the store has such a folder (it has one when the export has folders
      // below it): the rule is about these files, as the parse ahead and verification take it.
      const ImportResult result = SkippedByRule(y)
                                      ? ImportResult::kNoFolder
                                      : ImportMessage(
                                            y, f, [&] { return ahead->Take(i); }, reason, save_number);
      switch (result) {
        case ImportResult::kSaved:
          unsaved_.emplace_back(save_number, f);
          SettleSaved();
          break;
        case ImportResult::kAlreadyPresent:
          AlreadyPresent.push_back(f);
          break;
        case ImportResult::kNoFolder:
          if (SkippedByRule(y)) {
            Skipped.push_back(f);
            break;
          }
          [[fallthrough]];
        case ImportResult::kFailed:
          NotConverted.push_back({f, reason});
          break;
      }
    } else {
      ++OtherFiles;
    }

    engine_.SetLine(StatusLine::kFrameText, "Reading Messages & Email Metadata - (" +
                                                std::to_string(MessageNumber) + " of " +
                                                std::to_string(engine_.files_in_mailbox) + ") File(s)");
    const double share =
        static_cast<double>(MessageNumber) / static_cast<double>(engine_.files_in_mailbox) * 100.0;
    engine_.SetProgress(ProgressField::kValue, static_cast<float>(share));
    MessageNumber = CheckedIncrement(MessageNumber);
    engine_.SetLine(StatusLine::kProgressLine,
                    std::to_string(RoundHalfEven(engine_.GetProgress(ProgressField::kValue))) + "% Complete");

    if (run.SkipRequested) {
      if (engine_.host().ConfirmSkip()) {
        engine_.Yield();
        engine_.SetLine(StatusLine::kProgressLine,
                        "Skipped... at " + engine_.GetLine(StatusLine::kProgressLine));
        engine_.SetLine(StatusLine::kCountLine, "Checking Next Folder...");
        break;
      }
      run.SkipRequested = false;
    }
    if (run.StopRequested) {
      if (engine_.host().ConfirmStop()) {
        engine_.Yield();
        engine_.SetLine(StatusLine::kProgressLine,
                        "Stopped... at " + engine_.GetLine(StatusLine::kProgressLine));
        engine_.SetLine(StatusLine::kCountLine, "Stopped...");
        // The session stays open, but everything saved so far is on disk before the call returns.
        ahead.reset();
        FinishSaving(false);
        engine_.host().CloseRequestPage();
        return;
      }
      run.StopRequested = false;
    }
  }

  ahead.reset();  // before the queue it reads is emptied
  run.EmptyQueues();
  engine_.Yield();
  FinishSaving(true);
  PstSession.reset();
}

void Migration::SettleSaved() {
  const uint64_t durable = store_state_->durable_saves();
  size_t n = 0;
  while (n < unsaved_.size() && unsaved_[n].first <= durable) ++n;
  Converted += static_cast<int64_t>(n);
  unsaved_.erase(unsaved_.begin(), unsaved_.begin() + static_cast<ptrdiff_t>(n));
}

void Migration::LoseUnsaved(const std::string& reason) {
  for (auto& [number, file] : unsaved_) NotConverted.push_back({file, reason});
  unsaved_.clear();
}

void Migration::FinishSaving(bool logoff) {
  ResumeNext last;
  if (logoff) {
    last.Run([&] { PstSession->Logoff(); });
  } else {
    last.Run([&] { PstSession->Commit(); });
  }
  SettleSaved();
  if (last.failed()) SaveError = last.description();
  LoseUnsaved(SaveError);
}

}  // namespace velmora::engine
