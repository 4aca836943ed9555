#include "rdo/rdo_folder.h"

#include "pst/messaging/node_io.h"
#include "rdo/rdo_mail.h"

namespace velmora::rdo {

namespace {

// Container class of a new folder by its olDefaultFolders type code; mail for anything else.
std::string ClassOfType(int type) {
  switch (type) {
    case 9:
      return "IPF.Appointment";
    case 10:
      return "IPF.Contact";
    case 11:
      return "IPF.Journal";
    case 12:
      return "IPF.StickyNote";
    case 13:
      return "IPF.Task";
    default:
      return "IPF.Note";
  }
}

}  // namespace

const pst::FolderInfo& RDOFolder::Info() const {
  const pst::FolderInfo* info = state_->store().Folder(nid_);
  if (!info) throw Error(kMapiNotFound, "The folder " + pst::NidText(nid_) + " no longer exists");
  return *info;
}

std::string RDOFolder::Name() const {
  return Info().name;
}
std::string RDOFolder::ContainerClass() const {
  return Info().container_class;
}
int RDOFolder::ContentCount() const {
  return Info().content_count;
}

std::string RDOFolder::EntryID() const {
  Info();
  return pst::HexString(state_->store().FolderEntryId(nid_));
}

std::shared_ptr<RDOFolders> RDOFolder::Folders() const {
  Info();
  return std::make_shared<RDOFolders>(state_, nid_);
}

std::shared_ptr<RDOItems> RDOFolder::Items() const {
  if (Info().is_search)
    throw Error(kMapiNoSupport, "Search folder \"" + Name() + "\" has no items of its own");
  return std::make_shared<RDOItems>(state_, nid_);
}

std::shared_ptr<RDOFolder> RDOFolder::Parent() const {
  const pst::FolderInfo& info = Info();
  if (info.parent == info.nid) return nullptr;
  return std::make_shared<RDOFolder>(state_, info.parent);
}

int RDOFolders::Count() const {
  const pst::FolderInfo* info = state_->store().Folder(parent_);
  if (!info) throw Error(kMapiNotFound, "The folder " + pst::NidText(parent_) + " no longer exists");
  return static_cast<int>(info->children.size());
}

std::vector<std::shared_ptr<RDOFolder>> RDOFolders::Snapshot() const {
  const pst::FolderInfo* info = state_->store().Folder(parent_);
  if (!info) throw Error(kMapiNotFound, "The folder " + pst::NidText(parent_) + " no longer exists");
  std::vector<std::shared_ptr<RDOFolder>> out;
  out.reserve(info->children.size());
  for (pst::Nid child : info->children) out.push_back(std::make_shared<RDOFolder>(state_, child));
  return out;
}

std::shared_ptr<RDOFolder> RDOFolders::Item(int index) const {
  int count = Count();
  if (index < 1 || index > count) {
    throw Error(kEInvalidArg,
                "Index " + std::to_string(index) + " is out of range 1.." + std::to_string(count));
  }
  return std::make_shared<RDOFolder>(
      state_, state_->store().Folder(parent_)->children[static_cast<size_t>(index - 1)]);
}

std::shared_ptr<RDOFolder> RDOFolders::Item(const std::string& name) const {
  Count();
  auto child = state_->store().FindSubFolder(parent_, name);
  if (!child) throw Error::FolderNotFound(name);
  return std::make_shared<RDOFolder>(state_, *child);
}

std::shared_ptr<RDOFolder> RDOFolders::Add(const std::string& name, int type) {
  auto nid = state_->store().CreateFolder(parent_, name, ClassOfType(type));
  if (!nid.ok() && nid.status().code() == pst::Code::kAlreadyExists) {
    throw Error(kMapiCollision, "A folder named \"" + name + "\" already exists");
  }
  ThrowIfError(nid.status(), "Cannot create folder \"" + name + "\"");
  state_->Changed();
  return std::make_shared<RDOFolder>(state_, *nid);
}

}  // namespace velmora::rdo
