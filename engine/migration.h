// StartMigration: one mailbox folder of the export becomes one .pst file. The first half chooses the output
// path, opens the store and recreates the mailbox's folder tree (folder_tree.cpp); the second half imports
// the queued message files (import_loop.cpp).
//
// The object lives as long as the single-folder page object that owns it: its fields keep their values
// between calls, as that page's fields do.
//
// Store folder paths are "\\" + StoreDisplayName + "\" + folder names joined by "\". A relative folder path
// is a queued folder's path with the mailbox folder's path cut off its front and its separators turned into
// "\":
// "\Inbox\Projects" normally, "Inbox\Projects" when the mailbox folder is the root of the file system.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/creation_stamp.h"
#include "engine/engine.h"
#include "engine/resume_next.h"

namespace velmora::rdo {
class RDOSession;
class RDOFolder;
}  // namespace velmora::rdo

namespace velmora::engine {

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

  // Converts the mailbox folder `sFolderName` at `sFolderPath`. Never passes an error up: a store that cannot
  // be opened shows the "Outlook Error" message box and ends the call.
  void StartMigration(const std::string& sFolderName, const std::string& sFolderPath);

  // --- Working state, kept between calls -------------------------------------------------------------------
  std::string CreationStamp;
  std::string OutputFolder;  // multiple-mailbox mode: the Output folder text without blanks at either end
  std::string StoreDisplayName;
  std::string StoreEntryID;
  std::shared_ptr<rdo::RDOSession> PstSession;
  std::string InboxName;
  std::string SentItemsName;
  std::vector<std::string> FolderList;
  int32_t MessageNumber = 0;
  std::string MessageFile;

  // Files of the current mailbox queued with an ".eml" name that did not become messages (unreadable, or no
  // store folder for them), in queue order. The driver reports their number.
  std::vector<std::string> NotConverted;
  // Messages saved in the current mailbox's store.
  int64_t Converted = 0;
  // Whether the last call opened its store (false after a cancelled dialog or the store error).
  bool StoreOpened() const { return store_opened_; }
  // Why the store could not be opened in the last call (empty when it was): for front ends that can say more
  // than the store error message box.
  std::string StoreError;

  // The largest number of missing-folder attempts for a path of `depth` names.
  static int AttemptLimit(int depth) { return depth + 3; }

 private:
  // Step 1: PstFilePath from the save dialog or the output folder; false when the call ends here.
  bool ChooseOutputPath(const std::string& sFolderName);
  // Steps 2 and 3: session, store, default folder names, folder list. Throws on failure.
  void OpenStoreAndReadFolders(const std::string& sFolderName, const std::string& sFolderPath);
  void ShowOutlookError();
  // Step 4: the folder tree, every step under the ResumeNext policy.
  void CreateFolderTree();
  void ApplyTopLevelRule(std::string p);
  void ApplyNestedRule(const std::string& p);
  std::shared_ptr<rdo::RDOFolder> LookUpParent(const std::string& parent_path);
  std::shared_ptr<rdo::RDOFolder> MakeMissingFolders(const std::string& parent_path, int depth);
  // The second half: the import loop and the end of the call.
  void ImportQueuedFiles(const std::string& sFolderPath);
  // The store folder path (below the store's top folder, ending in "\" unless empty) for a queued file.
  std::string MessageFolderPath(const std::string& file, const std::string& sFolderPath);
  // Adds a message to the folder at `store_folder_path`, imports `file` into it, sets its flags and saves it.
  // False when the file did not become a message (no such folder, or the file could not be read); nothing is
  // saved then.
  bool ImportMessage(const std::string& store_folder_path, const std::string& file);

  Engine& engine_;
  LocalClock clock_;
  ResumeNext err_;
  bool store_opened_ = false;
};

}  // namespace velmora::engine
