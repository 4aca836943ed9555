// ConvertMailbox, step 4: the store's folder tree from the sorted folder list.
//
// Outcome per export folder (relative paths; the store's default folders are named InboxName, SentItemsName):
//   \Inbox, \Sent                      no folder made: the default Inbox and Sent Items are used
//   \Calendar, \Contacts, \Emailed Contacts, \Tasks, \Notebook, \Conversations
//                                      no folder made (the store has its own Calendar, Contacts, Tasks)
//   \Inbox\X, \Sent\X                  X inside the default Inbox / Sent Items
//   \X                                 X inside the top folder (an existing default folder of that name is used)
//   \X\Y                               Y inside X, whatever Y is called: the special names above are special
//                                      only directly below the mailbox folder, so \Inbox\Tasks,
//                                      \Archive\Sent or \Archive\Inbox\2023 are ordinary folders whose
//                                      messages have a place to go
//   any path holding "!"               no folder of its own
// A drive-root mailbox gives paths without the leading "\": top-level names take the top-level rule, where
// Inbox and Sent map to the default folders, existing names are not made again and "Emailed Contacts" is
// never made.
//
// A folder's parent is found by the rule the import uses for a message's folder (StoreFolderOf). Every step
// is under the ResumeNext policy, but a folder that cannot be made is reported (FoldersNotMade, with its
// path and the reason) and no step is handed a folder that was not found.
#include <algorithm>
#include <memory>

#include "engine/migration.h"
#include "engine/text_rules.h"
#include "engine/texts.h"
#include "fsutil/platform_shim.h"
#include "rdo/rdo_session.h"

namespace velmora::engine {

namespace {

// Names that stand for the mailbox's special folders when they sit directly below the mailbox folder.
constexpr const char* kSpecialTopNames[] = {"Calendar", "Contacts", "Emailed Contacts", "Tasks",
                                            "Sent",     "Notebook", "Conversations"};

bool PassedOverNested(const std::string& p) {
  if (p == "\\Inbox") return true;
  for (const char* name : kSpecialTopNames) {
    if (p == std::string("\\") + name) return true;
  }
  return false;
}

int Depth(const std::string& p) {
  return static_cast<int>(std::count(p.begin(), p.end(), '\\')) + 1;
}

}  // namespace

void Migration::CreateFolderTree() {
  engine_.SetLine(StatusLine::kCurrentFile, texts::kCreatingFolders);
  for (const std::string& entry : FolderList) {
    err_.Clear();
    if (entry.empty() || entry.find('!') != std::string::npos) continue;
    engine_.Yield();
    std::string p = entry;
    // A drive letter ("D:\") can only be in a Windows path; on POSIX a ":" before a separator is part of a
    // folder name ("Proj:/Old").
    size_t drive = fsutil::kPathSeparator == '\\' ? p.find(":\\") : std::string::npos;
    if (drive != std::string::npos) {
      size_t start = drive + 2;
      size_t next = p.find(":\\", start);
      p = p.substr(start, next == std::string::npos ? std::string::npos : next - start);
    }
    if (p.find('\\') == std::string::npos) {
      ApplyTopLevelRule(p);
    } else {
      ApplyNestedRule(p);
    }
  }
}

void Migration::ApplyTopLevelRule(std::string p) {
  std::shared_ptr<rdo::RDOStore> store;
  err_.Run([&] { store = PstSession->Stores()->GetStoreFromID(StoreEntryID); });
  if (!store) {
    NoteFolderNotMade(p, err_.description());
    return;
  }
  if (p == "Inbox") p = InboxName;
  if (p == "Sent") p = SentItemsName;
  std::string found;
  err_.Run([&] {
    for (const auto& f : store->IPMRootFolder()->Folders()->Snapshot()) {
      engine_.Yield();
      if (f->Name() == p) found = f->Name();
    }
  });
  if (found.empty() && p != "Emailed Contacts") {
    if (p != "Sent" && p != "Inbox") AddFolder(store->IPMRootFolder(), p, p);
    engine_.SetLine(StatusLine::kCurrentFile, std::string(texts::kCreatingFolders) + " " + p);
  }
  engine_.Yield();
}

void Migration::ApplyNestedRule(const std::string& p) {
  if (PassedOverNested(p)) return;
  const std::string relative = p[0] == '\\' ? p.substr(1) : p;
  const size_t last = relative.rfind('\\');
  const std::string leaf = last == std::string::npos ? relative : relative.substr(last + 1);
  // The parent by the rule the import uses to find a message's folder, so that the folder made here is the
  // one its messages look for (\Inbox\X\Y in the default Inbox, \Archive\Inbox\X\Y below Archive).
  const std::string parent_path = last == std::string::npos
                                      ? std::string()
                                      : StoreFolderOf(relative.substr(0, last), InboxName, SentItemsName);

  std::shared_ptr<rdo::RDOFolder> parent = LookUpParent(parent_path);
  if (!parent) parent = MakeMissingFolders(parent_path, Depth(p));
  if (!parent) {
    // Never handed on: the folder is reported with the reason, and the tree goes on with the next entry.
    NoteFolderNotMade(relative, "its parent folder \"" + parent_path + "\" could not be made" +
                                    (err_.failed() ? ": " + err_.description() : std::string()));
    return;
  }
  engine_.Yield();
  AddFolder(parent, leaf, relative);
  engine_.Yield();
  engine_.SetLine(StatusLine::kCurrentFile, std::string(texts::kCreatingFolders) + " " + leaf);
}

void Migration::AddFolder(const std::shared_ptr<rdo::RDOFolder>& parent, const std::string& name,
                          const std::string& relative) {
  // A name that is taken (Drafts and the other default folders) leaves the existing folder to be used.
  if (!err_.Run([&] { parent->Folders()->Add(name, rdo::kFolderTypeMail); }) &&
      err_.number() != rdo::kMapiCollision) {
    NoteFolderNotMade(relative, err_.description());
  }
}

void Migration::NoteFolderNotMade(const std::string& relative, const std::string& reason) {
  std::string path = relative;
  if constexpr (fsutil::kPathSeparator != '\\')
    std::replace(path.begin(), path.end(), '\\', fsutil::kPathSeparator);
  FoldersNotMade.push_back({mailbox_path_ + fsutil::kPathSeparator + path, reason});
}

std::shared_ptr<rdo::RDOFolder> Migration::LookUpParent(const std::string& parent_path) {
  std::shared_ptr<rdo::RDOFolder> parent;
  const std::string path = !parent_path.empty() && parent_path[0] == '\\'
                               ? "\\\\" + StoreDisplayName + parent_path
                               : "\\\\" + StoreDisplayName + "\\" + parent_path;
  err_.Run([&] { parent = PstSession->GetFolderFromPath(path); });
  return parent;
}

// The parent lookup failed: make the missing folder it names, first directly in the top folder, then inside
// the one made before, until the lookup succeeds or the attempts run out (the entry's folder is then not
// made).
std::shared_ptr<rdo::RDOFolder> Migration::MakeMissingFolders(const std::string& parent_path, int depth) {
  std::string created;
  std::shared_ptr<rdo::RDOFolder> parent;
  for (int attempt = 0; attempt < AttemptLimit(depth) && err_.failed(); ++attempt) {
    parent.reset();
    // An error that names no missing folder asks for a folder with an empty name, which fails: the attempts
    // then run out.
    std::string missing = err_.missing_path().value_or(std::string());
    err_.Clear();
    engine_.Yield();
    ResumeNext step;  // this attempt's own failures
    step.Run([&] {
      auto base = PstSession->GetFolderFromPath("\\\\" + (attempt == 0 ? StoreDisplayName : created));
      base->Folders()->Add(missing, rdo::kFolderTypeMail);
    });
    if (missing.empty()) {
      step.Run([&] { parent = PstSession->GetFolderFromPath("\\\\" + StoreDisplayName + "\\"); });
    } else {
      parent = LookUpParent(parent_path);
      if (err_.failed()) step = err_;
    }
    if (!step.failed()) {
      err_.Clear();
      return parent;
    }
    created = StoreDisplayName + "\\" + missing;
    err_ = step;  // the next attempt starts from the last failing step's error
  }
  return nullptr;
}

}  // namespace velmora::engine
