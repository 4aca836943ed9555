// ConvertMailbox: one mailbox folder of the export becomes one .pst file. The first half chooses the output
// path, opens the store and recreates the mailbox's folder tree (folder_tree.cpp); the second half imports
// the queued message files (import_loop.cpp).
//
// The object lives as long as the Conversion that owns it: its state is kept between calls.
//
// Store folder paths are "\\" + StoreDisplayName + "\" + folder names joined by "\". A relative folder path
// is a queued folder's path with the mailbox folder's path cut off its front and its separators turned into
// "\":
// "\Inbox\Projects" normally, "Inbox\Projects" when the mailbox folder is the root of the file system.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/creation_stamp.h"
#include "engine/engine.h"
#include "engine/present_keys.h"
#include "engine/resume_next.h"
#include "rdo/parsed_eml.h"

namespace velmora::pst {
struct MessageContent;
}  // namespace velmora::pst

namespace velmora::rdo {
class RDOSession;
class RDOFolder;
class StoreState;
}  // namespace velmora::rdo

namespace velmora::engine {

// Whether the relative store folder path `y` (as MessageFolderPath gives it) is one of the folders the rules
// leave out on purpose: Conversations, Notebook and Emailed Contacts directly below the mailbox folder.
bool SkippedByRule(const std::string& y);

// The store folder (below the store's top folder, names joined by "\") that stands for the export folder at
// the relative path `relative` (without a leading or trailing "\"): a first name Inbox or Sent becomes the
// default folder `inbox` or `sent_items`, anything else keeps its path. The folder tree makes folders and
// the import finds them by this one rule, so every folder made is the folder its messages look for.
std::string StoreFolderOf(const std::string& relative, const std::string& inbox,
                          const std::string& sent_items);

// The store folder (below the store's top folder, ending in "\" unless empty) that receives `file` of the
// mailbox folder at `mailbox_path`, by the rules drawn in import_loop.cpp; `inbox` and `sent_items` are the
// store's names of those default folders.
std::string TargetFolderPath(const std::string& file, const std::string& mailbox_path,
                             const std::string& inbox, const std::string& sent_items);

// Store folder path form of a relative path: separators become "\".
std::string ToStorePath(std::string relative);

// `path` with the mailbox folder's path cut off its front. The paths the scan queues always begin with it;
// cutting only there (not every occurrence further in) keeps a sub-folder whose path repeats the mailbox
// path, such as /m/Inbox/m..., intact.
std::string CutMailboxPath(const std::string& path, const std::string& mailbox_path);

class Migration {
 public:
  explicit Migration(Engine& engine, LocalClock clock = LocalTimeNow);
  ~Migration();
  Migration(const Migration&) = delete;
  Migration& operator=(const Migration&) = delete;

  // Converts the mailbox folder `mailbox_name` at `mailbox_path`. Never passes an error up: a store that cannot
  // be opened shows the "Outlook Error" message box and ends the call.
  void ConvertMailbox(const std::string& mailbox_name, const std::string& mailbox_path);

  // Resuming an earlier run into the same file: a file whose message is already in its target folder, by its
  // source file (path below the mailbox folder, size and digest; import_message.cpp says how messages of
  // older versions count), is not added again and goes to AlreadyPresent. kOn and kOff decide it for every
  // mailbox (the command line's --resume); kAsk asks the user (UserQuestions::ConfirmResume) the first time in
  // a run that a file opened for a mailbox already holds messages converted from the mailbox's files, and
  // keeps the answer for the rest of the run (the wizard).
  enum class ResumeMode { kOff, kOn, kAsk };
  void set_resume(ResumeMode mode) { resume_mode_ = mode; }
  // A new run: kAsk asks again.
  void ForgetResumeAnswer() { resume_answer_.reset(); }
  // Called after each message is saved with the file, its store folder (as TargetFolderPath gives it) and
  // the content the import produced, while that content is still at hand (the command line's --verify keeps
  // a fingerprint of it). The message may yet be lost by a failed commit: NotConverted says so.
  using SavedHook = std::function<void(const std::string& file, const std::string& folder,
                                       const pst::MessageContent& content)>;
  void set_on_saved(SavedHook hook) { OnSaved = std::move(hook); }

  // Whether the last call opened its store (false after a cancelled dialog or the store error).
  bool StoreOpened() const { return store_opened_; }
  // Whether a session is still open: a confirmed stop keeps it so that nothing saved is lost.
  bool SessionOpen() const;
  // Logs off a session a stopped run left open; its last commit is on disk either way, so a failure here is
  // not reported.
  void Close();
  const std::string& creation_stamp() const { return CreationStamp; }
  const std::string& output_folder() const { return OutputFolder; }
  const std::string& store_display_name() const { return StoreDisplayName; }
  // Why the store could not be opened in the last call (empty when it was); the store error message shows it
  // after the cause in words (store_cause.h).
  const std::string& store_error() const { return StoreError; }
  const std::string& store_cause() const { return StoreCause; }
  // The number of the file the import is at, from 1.
  int32_t message_number() const { return MessageNumber; }

  // The largest number of missing-folder attempts for a path of `depth` names.
  static int AttemptLimit(int depth) { return depth + 3; }

 private:
  // Step 1: PstFilePath from the save dialog or the output folder; false when the call ends here.
  bool ChooseOutputPath(const std::string& mailbox_name);
  // Steps 2 and 3: session, store, default folder names, folder list. Throws on failure.
  void OpenStoreAndReadFolders(const std::string& mailbox_name, const std::string& mailbox_path);
  void ShowOutlookError(bool session_created);
  // Whether the file just opened already holds a message converted from one of the queued files.
  bool StoreHoldsQueuedMessages();
  // Resume for the mailbox whose store just opened, by resume_mode_ (asking when it must).
  bool ResumeWanted();
  // Step 4: the folder tree, every step under the ResumeNext policy.
  void CreateFolderTree();
  void ApplyTopLevelRule(std::string p);
  void ApplyNestedRule(const std::string& p);
  // Adds the folder `name` to `parent`; a failure other than a taken name is noted for `relative`.
  void AddFolder(const std::shared_ptr<rdo::RDOFolder>& parent, const std::string& name,
                 const std::string& relative);
  void NoteFolderNotMade(const std::string& relative, const std::string& reason);
  std::shared_ptr<rdo::RDOFolder> LookUpParent(const std::string& parent_path);
  std::shared_ptr<rdo::RDOFolder> MakeMissingFolders(const std::string& parent_path, int depth);
  // The second half: the import loop and the end of the call.
  void ImportQueuedFiles(const std::string& mailbox_path);
  // The store folder path (below the store's top folder, ending in "\" unless empty) for a queued file.
  std::string MessageFolderPath(const std::string& file, const std::string& mailbox_path);
  // Adds a message to the store folder `folder_path` (MessageFolderPath), imports `file` into it (taking the
  // parse `parsed_ahead` gives, when it still fits the file), sets its flags and saves it. kNoFolder and
  // kFailed (with `reason`) when the file did not become a message; nothing is saved then. kSaved with the
  // store's save number of the message otherwise.
  enum class ImportResult { kSaved, kNoFolder, kFailed, kAlreadyPresent };
  using ParsedAhead = std::function<std::optional<rdo::ParsedEml>()>;
  ImportResult ImportMessage(const std::string& folder_path, const std::string& file,
                             const ParsedAhead& parsed_ahead, std::string& reason, uint64_t& save_number);
  // Unsaved messages that a successful commit has made durable become converted.
  void SettleSaved();
  // After the store's last commit failed: the unsaved messages are not converted, for `reason`.
  void LoseUnsaved(const std::string& reason);
  // The session's last commit: Logoff (`logoff`), or the commit of a confirmed stop, which keeps the session.
  // Every unsaved message is settled by it: converted when it succeeds, not converted when it fails.
  void FinishSaving(bool logoff);

  friend class Conversion;  // reads what became of the mailbox

  // --- Working state, kept between calls -------------------------------------------------------------------
  std::string CreationStamp;
  std::string OutputFolder;  // kMailboxList: the output folder text without blanks at either end
  std::string StoreDisplayName;
  std::string StoreEntryID;
  std::shared_ptr<rdo::RDOSession> PstSession;
  std::string InboxName;
  std::string SentItemsName;
  std::vector<std::string> FolderList;
  int32_t MessageNumber = 0;

  // What became of the current mailbox's queued files. A message counts as converted only once a commit that
  // holds it has succeeded; the messages saved after the last good commit of a store that could not be saved
  // are not converted, with the commit's error as their reason (SaveError).
  int64_t Converted = 0;
  std::vector<FileFailure> NotConverted;    // ".eml" files that did not become messages, with the reason
  std::vector<FileFailure> Remarks;         // converted files of which a part was kept another way, and how
  std::vector<std::string> Skipped;         // ".eml" files in the folders the rules leave out (SkippedByRule)
  std::vector<FileFailure> FoldersNotMade;  // export folders (full paths) that got no store folder, and why
  int32_t OtherFiles = 0;                   // queued files whose names do not end in ".eml"
  std::string SaveError;                    // why the store could not be saved; empty when it always could
  bool Resume = false;
  ResumeMode resume_mode_ = ResumeMode::kOff;
  std::optional<bool> resume_answer_;
  std::vector<std::string> AlreadyPresent;
  SavedHook OnSaved;
  std::string StoreError;
  std::string StoreCause;

  std::string mailbox_path_;  // the mailbox folder being converted

  Engine& engine_;
  LocalClock clock_;
  ResumeNext err_;
  bool store_opened_ = false;
  std::shared_ptr<rdo::StoreState> store_state_;
  // Whether imports keep Internet headers as named properties (rdo::InternetHeaderProperties), as the
  // parsing worker of the import loop reads it.
  std::atomic<bool> header_properties_{true};
  std::vector<std::pair<uint64_t, std::string>> unsaved_;  // save number and file, in save order
  // Resume: the message keys of the target folder last met (by its NID), read from the store when a folder
  // is met; only one folder's keys are held (the import goes folder by folder; a folder met again is read
  // again, and holds what this run saved into it).
  uint32_t present_folder_ = 0;
  engine::PresentKeys present_;
  engine::PresentKeys& KeysPresentIn(const rdo::RDOFolder& folder);
};

}  // namespace velmora::engine
