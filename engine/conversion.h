// The engine's entry point: Run() converts what the front end's run request asks for, the one mailbox of
// kSingleMailbox or every ticked mailbox of kMailboxList in list order. For each mailbox it empties the
// queues, scans the folder, shows its numbers and converts it (Migration); at the end it shows the completion
// message and freezes Skip and Stop. outcomes() reports what became of each mailbox; Close() ends a session
// that a stopped run left open.
//
// Run catches nothing: an error raised in it or by the scan ends the run there and reaches the caller, which
// decides how to show it. Converting one mailbox never passes one up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/migration.h"

namespace velmora::engine {

// What became of one mailbox folder in the last run (for reports; the windows show the counts only).
// queued = converted + already_present + skipped + not_converted + other_files + not_reached.
struct MailboxOutcome {
  std::string name;    // the mailbox folder's name
  std::string source;  // its path
  std::string pst;     // the .pst written, empty when none was
  int32_t queued = 0;  // files queued by the scan
  int64_t converted = 0;
  std::vector<std::string> already_present;   // resume: ".eml" files whose message the file already held
  std::vector<std::string> skipped;           // ".eml" files in folders the rules leave out on purpose
  std::vector<FileFailure> not_converted;     // ".eml" files that did not become messages, and why
  std::vector<FileFailure> remarks;           // converted files of which a part was kept another way, and how
  std::vector<FileFailure> folders_not_made;  // export folders that got no store folder, and why
  int32_t other_files = 0;                    // queued files that are not ".eml" files
  int32_t not_reached = 0;                    // queued files a confirmed skip or stop left unread
  bool reached = true;  // false: a stop ended the run before this ticked mailbox (queued = its file count)
  std::string store_error;       // why the store could not be opened
  std::string store_cause;       // the same in the user's words (store_cause.h)
  bool skipped_by_user = false;  // a confirmed Skip ended it
  std::string save_error;        // why the store could not be saved (messages were lost by it)
};

class Conversion {
 public:
  Conversion(Host& host, RunState& run_state, LocalClock clock = LocalTimeNow);
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  void Run();
  // Logs off the session a stopped run left open (its store is committed already); nothing when none is.
  void Close() { migration_.Close(); }
  bool SessionOpen() const { return migration_.SessionOpen(); }

  // Resume (migration.h): files whose message each target file already holds are not added again. The one
  // entry point for every front end (the command line's --resume, the wizard's question); set before Run.
  using ResumeMode = Migration::ResumeMode;
  void set_resume(ResumeMode mode) { migration_.set_resume(mode); }
  // The command line's --verify (migration.h).
  void set_on_saved(Migration::SavedHook hook) { migration_.set_on_saved(std::move(hook)); }

  // Where the run is: the .pst being written, the files queued for the current mailbox and the number of the
  // file the import is at (from 1).
  const std::string& pst_path() const { return run_state_.PstFilePath; }
  int32_t files_queued() const { return engine_.files_in_mailbox; }
  int32_t file_number() const { return migration_.message_number(); }

  // True while Run runs: the front ends refuse to start a second run meanwhile.
  bool running() const { return running_; }
  // The mailboxes the last (or current) run took on, in order.
  const std::vector<MailboxOutcome>& outcomes() const { return outcomes_; }
  // Files of the last run that did not become messages, over all mailboxes.
  size_t NotConvertedCount() const;
  size_t SkippedCount() const;
  // The folders of the last run that could not be listed, over all mailboxes.
  const std::vector<FileFailure>& unreadable_folders() const { return unreadable_folders_; }
  // The files of the last run that could not be read by the scan, over all mailboxes.
  const std::vector<FileFailure>& unreadable_files() const { return unreadable_files_; }

 private:
  void RunSingle();
  void RunMultiple();
  // Scan of source_path, then files_in_mailbox; the count line is the caller's.
  void ScanMailbox();
  // ConvertMailbox with its outcome recorded.
  void Migrate(const std::string& name, const std::string& path);
  // After a stop: the ticked mailboxes from `next` on, each with the number of its files, as not reached.
  void NoteNotReached(int32_t next);
  void ShowCompletion(const char* first_line, const char* second_line);
  // The lines that open the completion message when not every message file was converted; none when it was.
  std::vector<std::string> WhatHappened();
  void FreezeButtons();

  RunState& run_state_;
  Engine engine_;
  Migration migration_;
  bool running_ = false;
  std::vector<MailboxOutcome> outcomes_;
  std::vector<FileFailure> unreadable_folders_;
  int32_t mailboxes_not_reached_ = 0;  // ticked mailboxes a stop left before they were taken on
  std::vector<FileFailure> unreadable_files_;
};

}  // namespace velmora::engine
