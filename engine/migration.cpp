// ConvertMailbox, steps 1 to 3: output path, session and store, folder list. The folder tree is in
// folder_tree.cpp, the import loop in import_loop.cpp.
#include "engine/migration.h"

#include <algorithm>

#include "engine/folder_order.h"
#include "engine/path_helpers.h"
#include "engine/store_cause.h"
#include "engine/text_rules.h"
#include "engine/texts.h"
#include "fsutil/existence.h"
#include "fsutil/path_strings.h"
#include "fsutil/platform_shim.h"
#include "rdo/rdo_folder.h"
#include "rdo/rdo_mail.h"
#include "rdo/rdo_session.h"
#include "rdo/rdo_store.h"

namespace velmora::engine {

std::string ToStorePath(std::string relative) {
  if constexpr (fsutil::kPathSeparator != '\\') {
    std::replace(relative.begin(), relative.end(), fsutil::kPathSeparator, '\\');
  }
  return relative;
}

std::string CutMailboxPath(const std::string& path, const std::string& mailbox_path) {
  if (!mailbox_path.empty() && path.compare(0, mailbox_path.size(), mailbox_path) == 0) {
    return path.substr(mailbox_path.size());
  }
  return path;
}

bool SkippedByRule(const std::string& y) {
  return y == "Conversations\\" || y == "Notebook\\" || y == "Emailed Contacts\\";
}

Migration::Migration(Engine& engine, LocalClock clock) : engine_(engine), clock_(std::move(clock)) {}

Migration::~Migration() = default;

bool Migration::SessionOpen() const {
  return PstSession && PstSession->LoggedOn();
}

void Migration::Close() {
  if (!PstSession) return;
  try {
    PstSession->Logoff();
  } catch (const std::exception&) {
    // Ending anyway: the store's last commit is still a valid file.
  }
  PstSession.reset();
}

void Migration::ConvertMailbox(const std::string& mailbox_name, const std::string& mailbox_path) {
  NotConverted.clear();
  Remarks.clear();
  Skipped.clear();
  FoldersNotMade.clear();
  mailbox_path_ = mailbox_path;
  OtherFiles = 0;
  SaveError.clear();
  Converted = 0;
  unsaved_.clear();
  AlreadyPresent.clear();
  present_ = PresentKeys();
  present_folder_ = 0;
  store_state_.reset();
  store_opened_ = false;
  StoreError.clear();
  StoreCause.clear();
  if (!ChooseOutputPath(mailbox_name)) return;

  engine_.Yield();
  engine_.SetProgress(ProgressField::kMin, 0);
  engine_.SetProgress(ProgressField::kMax, 100);
  engine_.SetButton(ButtonState::kOpenFolderEnabled, true);
  engine_.SetButton(ButtonState::kStopVisible, true);
  engine_.SetButton(ButtonState::kStopEnabled, true);
  engine_.SetButton(ButtonState::kSkipEnabled, true);
  engine_.Yield();

  // Until the first folder-tree entry, any error ends the call with the store error message.
  try {
    OpenStoreAndReadFolders(mailbox_name, mailbox_path);
  } catch (const Error& e) {
    StoreError = e.description();
    StoreCause = StoreErrorCause(engine_.run_state().PstFilePath, e.number(), e.description());
    ShowOutlookError(PstSession != nullptr);
    return;
  } catch (const std::exception& e) {
    StoreError = e.what();
    ShowOutlookError(PstSession != nullptr);
    return;
  }
  store_opened_ = true;
  Resume = ResumeWanted();
  CreateFolderTree();
  ImportQueuedFiles(mailbox_path);
}

bool Migration::ChooseOutputPath(const std::string& mailbox_name) {
  CreationStamp = FormatCreationStamp(clock_());
  auto& run = engine_.run_state();
  if (engine_.host().Mode() == RunMode::kSingleMailbox) {
    auto chosen = engine_.host().ChooseSavePath(mailbox_name + CreationStamp + ".pst");
    if (chosen) {
      run.PstFilePath = *chosen;
    } else {
      engine_.host().CloseRequestPage();
      run.PstFilePath.clear();
    }
  } else {
    OutputFolder = fsutil::TrimBlanks(engine_.host().OutputFolder());
    run.PstFilePath = OutputFolder + fsutil::kPathSeparator + mailbox_name + ".pst";
  }
  return !run.PstFilePath.empty();
}

void Migration::OpenStoreAndReadFolders(const std::string& mailbox_name, const std::string& mailbox_path) {
  PstSession = rdo::CreateObjectAs<rdo::RDOSession>("Redemption.RDOSession");
  engine_.SetLine(StatusLine::kCurrentFile, texts::kSessionCreated);
  StoreDisplayName = mailbox_name + " : Created - " + CreationStamp;

  auto store = PstSession->LogonPstStore(fsutil::TrimBlanks(engine_.run_state().PstFilePath),
                                         rdo::kStoreFormatUnicode, StoreDisplayName);
  store_state_ = store->state();
  store_state_->set_source_root(mailbox_path);
  StoreDisplayName = store->DisplayName();  // an existing file keeps its own name
  StoreEntryID = store->EntryID();
  store->ValidateIPMTree();
  auto again = PstSession->GetStoreFromID(StoreEntryID);
  InboxName = again->GetDefaultFolder(pst::kFolderInbox)->Name();
  SentItemsName = again->GetDefaultFolder(pst::kFolderSentMail)->Name();

  // The folder list: every queued folder that still exists, as a relative path, sorted, without repeats. A
  // folder whose path holds "!" gets no folder of its own; the folder that receives its messages (BangTarget)
  // joins the list, so that it is made by the same rules as any other.
  engine_.SetLine(StatusLine::kCurrentFile, texts::kReadingFolders);
  std::vector<std::string> bang_targets;
  auto& queued = engine_.run_state().QueuedFolders;
  const size_t count = queued ? queued->Count() : 0;
  FolderList.assign(count + 1, std::string());
  size_t n = 0;
  std::string r;  // an entry that is no folder any more repeats the one before it (dropped as a duplicate)
  for (size_t i = 0; queued && i < queued->Count(); ++i) {
    engine_.Yield();
    const std::string& entry = queued->entries()[i].item;
    if (fsutil::FolderExists(entry)) {
      r = CutMailboxPath(entry, mailbox_path);
      if (!r.empty() && r.back() == fsutil::kPathSeparator) r.pop_back();
      r = AsStoredText(ToStorePath(r));
      if (r.find('!') != std::string::npos) {
        if (std::string target = BangTarget(r); !target.empty()) bang_targets.push_back(target);
      }
    }
    if (!r.empty()) FolderList[n++] = r;
    engine_.SetLine(StatusLine::kCurrentFile, std::string(texts::kReadingFolders) + " " + r);
  }
  FolderList.insert(FolderList.end(), bang_targets.begin(), bang_targets.end());
  SortStrings(engine_.host(), FolderList, 0, static_cast<int32_t>(FolderList.size() - 1));
  engine_.Yield();
  RemoveDuplicates(engine_.host(), FolderList);
  engine_.Yield();
}

void Migration::ShowOutlookError(bool session_created) {
  // The cause first, in words the user can act on; the store's own description after it.
  if (StoreCause.empty()) StoreCause = "\"" + engine_.run_state().PstFilePath + "\"" + texts::kStoreNotOpened;
  std::string text = StoreCause;
  if (!StoreError.empty()) text += "\r\n" + std::string(texts::kDetailsPrefix) + StoreError;
  if (!session_created) {
    text += "\r\n";
    for (const char* line : texts::kOutlookErrorLines) text += "\r\n" + std::string(line);
    text += "\r\n" + std::string(texts::kProductSite) + texts::kHelpDocumentPath;
  }
  engine_.host().ShowMessage(Notice::kStoreError, text);
}

bool Migration::ResumeWanted() {
  switch (resume_mode_) {
    case ResumeMode::kOff:
      return false;
    case ResumeMode::kOn:
      return true;
    case ResumeMode::kAsk:
      break;
  }
  if (resume_answer_) return *resume_answer_;
  if (!StoreHoldsQueuedMessages()) return false;
  resume_answer_ = engine_.host().ConfirmResume(engine_.run_state().PstFilePath);
  return *resume_answer_;
}

bool Migration::StoreHoldsQueuedMessages() {
  const auto& queued = engine_.run_state().QueuedFiles;
  if (!queued) return false;
  std::set<std::string> sources;
  for (const KeyedList::Entry& e : queued->entries()) {
    if (!HasEmlExtension(PathFileName(e.item))) continue;
    if (std::string source = rdo::SourceFileText(e.item); !source.empty()) sources.insert(std::move(source));
  }
  if (sources.empty()) return false;
  bool found = false;
  // Folder by folder from the top of the store; a folder that cannot be read is passed over.
  std::vector<std::shared_ptr<rdo::RDOFolder>> pending;
  ResumeNext().Run([&] { pending.push_back(PstSession->GetStoreFromID(StoreEntryID)->IPMRootFolder()); });
  while (!found && !pending.empty()) {
    const std::shared_ptr<rdo::RDOFolder> folder = pending.back();
    pending.pop_back();
    engine_.Yield();
    ResumeNext().Run([&] {
      folder->Items()->ForEach([&](const rdo::RDOMail& m) {
        if (!found) found = sources.count(rdo::SourceFileOf(m.MAPIOBJECT()->content())) > 0;
      });
      for (const auto& child : folder->Folders()->Snapshot()) pending.push_back(child);
    });
  }
  return found;
}

}  // namespace velmora::engine
