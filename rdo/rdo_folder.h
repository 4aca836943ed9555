// RDOFolder and RDOFolders: a folder of a store and the collection of its sub-folders, with the member names
// of the automation objects the engine calls. A folder's default value is its Name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rdo/store_state.h"

namespace velmora::rdo {

class RDOFolders;
class RDOItems;
class RDOStore;

// olDefaultFolders codes accepted by RDOFolders::Add as the folder type.
constexpr int kFolderTypeMail = 6;

class RDOFolder {
 public:
  RDOFolder(std::shared_ptr<StoreState> state, pst::Nid nid) : state_(std::move(state)), nid_(nid) {}

  std::string Name() const;
  // The default value, as an automation client reads it.
  std::string Value() const { return Name(); }
  explicit operator std::string() const { return Name(); }
  std::string EntryID() const;
  std::shared_ptr<RDOFolders> Folders() const;
  // The folder's messages (rdo_mail.h).
  std::shared_ptr<RDOItems> Items() const;
  // The folder that holds this one; nullptr for the root folder.
  std::shared_ptr<RDOFolder> Parent() const;
  std::string ContainerClass() const;
  int ContentCount() const;

  pst::Nid nid() const { return nid_; }
  const std::shared_ptr<StoreState>& state() const { return state_; }

 private:
  const pst::FolderInfo& Info() const;
  std::shared_ptr<StoreState> state_;
  pst::Nid nid_;
};

class RDOFolders {
 public:
  RDOFolders(std::shared_ptr<StoreState> state, pst::Nid parent)
      : state_(std::move(state)), parent_(parent) {}

  int Count() const;
  // 1-based, as automation collections are.
  std::shared_ptr<RDOFolder> Item(int index) const;
  std::shared_ptr<RDOFolder> Item(const std::string& name) const;
  // A new sub-folder; Error when the name is taken (exact comparison) or empty.
  std::shared_ptr<RDOFolder> Add(const std::string& name, int type = kFolderTypeMail);
  std::shared_ptr<RDOFolder> Parent() const { return std::make_shared<RDOFolder>(state_, parent_); }

  // Enumeration over the sub-folders as they are when it starts.
  std::vector<std::shared_ptr<RDOFolder>> Snapshot() const;
  using Iterator = std::vector<std::shared_ptr<RDOFolder>>::const_iterator;

 private:
  std::shared_ptr<StoreState> state_;
  pst::Nid parent_;
};

}  // namespace velmora::rdo
