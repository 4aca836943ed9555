// RDOStore and RDOStores: a logged-on PST store and the session's collection of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rdo/rdo_folder.h"

namespace velmora::rdo {

class RDOStore {
 public:
  explicit RDOStore(std::shared_ptr<StoreState> state) : state_(std::move(state)) {}

  // Hex text of the store's entry ID; GetStoreFromID takes it back.
  std::string EntryID() const;
  std::string DisplayName() const;
  // Makes the default folders that are missing (Inbox, Outbox, Sent Items, Deleted Items, Calendar, Contacts,
  // Journal, Notes, Tasks, Drafts, Junk E-mail) and wires them where Outlook looks for them.
  void ValidateIPMTree();
  // One of the default folders the store names (pst::kFolderInbox, pst::kFolderSentMail, ...).
  std::shared_ptr<RDOFolder> GetDefaultFolder(pst::DefaultFolderCode code) const;
  // The top of the folders the user sees ("Top of Personal Folders").
  std::shared_ptr<RDOFolder> IPMRootFolder() const;
  std::shared_ptr<RDOFolder> RootFolder() const;
  std::shared_ptr<RDOFolder> GetFolderFromID(const std::string& entry_id) const;

  const std::shared_ptr<StoreState>& state() const { return state_; }

 private:
  std::shared_ptr<StoreState> state_;
};

class RDOStores {
 public:
  explicit RDOStores(std::vector<std::shared_ptr<StoreState>> stores) : stores_(std::move(stores)) {}
  int Count() const { return static_cast<int>(stores_.size()); }
  std::shared_ptr<RDOStore> Item(int index) const;  // 1-based
  std::shared_ptr<RDOStore> GetStoreFromID(const std::string& entry_id) const;

 private:
  std::vector<std::shared_ptr<StoreState>> stores_;
};

// The open store whose entry ID is `entry_id` (hex text); Error when none is.
std::shared_ptr<StoreState> FindStoreByEntryId(const std::vector<std::shared_ptr<StoreState>>& stores,
                                               const std::string& entry_id);

}  // namespace velmora::rdo
