#include "rdo/rdo_store.h"

namespace velmora::rdo {

std::string RDOStore::EntryID() const {
  return pst::HexString(state_->store().EntryId());
}

std::string RDOStore::DisplayName() const {
  return state_->store().display_name();
}

void RDOStore::ValidateIPMTree() {
  ThrowIfError(state_->store().ValidateIpmTree(), "ValidateIPMTree failed");
  state_->Changed();
}

std::shared_ptr<RDOFolder> RDOStore::GetDefaultFolder(pst::DefaultFolderCode code) const {
  auto nid = state_->store().DefaultFolder(code);
  if (!nid.ok()) {
    throw Error(nid.status().code() == pst::Code::kInvalidArgument ? kEInvalidArg : kMapiNotFound,
                "The store has no default folder " + std::to_string(code) + ": " + nid.status().message());
  }
  return std::make_shared<RDOFolder>(state_, *nid);
}

std::shared_ptr<RDOFolder> RDOStore::IPMRootFolder() const {
  auto nid = state_->store().IpmSubtree();
  ThrowIfError(nid.status(), "The store has no IPM root folder");
  return std::make_shared<RDOFolder>(state_, *nid);
}

std::shared_ptr<RDOFolder> RDOStore::RootFolder() const {
  return std::make_shared<RDOFolder>(state_, state_->store().root_folder());
}

std::shared_ptr<RDOFolder> RDOStore::GetFolderFromID(const std::string& entry_id) const {
  auto bytes = pst::ParseHex(entry_id);
  if (!bytes.ok()) throw Error(kMapiInvalidEntryId, "Invalid entry ID \"" + entry_id + "\"");
  auto nid = state_->store().FolderFromEntryId(*bytes);
  if (!nid.ok()) throw Error(kMapiInvalidEntryId, "No folder of this store has the entry ID " + entry_id);
  return std::make_shared<RDOFolder>(state_, *nid);
}

std::shared_ptr<RDOStore> RDOStores::Item(int index) const {
  if (index < 1 || index > Count()) {
    throw Error(kEInvalidArg,
                "Index " + std::to_string(index) + " is out of range 1.." + std::to_string(Count()));
  }
  return std::make_shared<RDOStore>(stores_[static_cast<size_t>(index - 1)]);
}

std::shared_ptr<RDOStore> RDOStores::GetStoreFromID(const std::string& entry_id) const {
  return std::make_shared<RDOStore>(FindStoreByEntryId(stores_, entry_id));
}

std::shared_ptr<StoreState> FindStoreByEntryId(const std::vector<std::shared_ptr<StoreState>>& stores,
                                               const std::string& entry_id) {
  auto bytes = pst::ParseHex(entry_id);
  if (!bytes.ok()) throw Error(kMapiInvalidEntryId, "Invalid entry ID \"" + entry_id + "\"");
  for (auto& s : stores) {
    if (s->open() && s->store().EntryId() == *bytes) return s;
  }
  throw Error(kMapiNotFound, "No open store has the entry ID " + entry_id);
}

}  // namespace velmora::rdo
