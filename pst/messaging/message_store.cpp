#include "pst/messaging/message_store.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "pst/content/table_templates.h"
#include "pst/messaging/folder_state.h"
#include "pst/messaging/node_io.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

using namespace folder_detail;

namespace {

constexpr size_t kMaxFolderDepth = 1000;  // deeper trees than this are taken for loops in a bad file

}  // namespace

MessageStore::MessageStore(NodeStore& nodes) : nodes_(nodes) {}
MessageStore::~MessageStore() = default;

MessageStore::FolderState* MessageStore::Find(Nid nid) {
  auto it = folders_.find(nid);
  return it == folders_.end() ? nullptr : it->second.get();
}
const MessageStore::FolderState* MessageStore::Find(Nid nid) const {
  auto it = folders_.find(nid);
  return it == folders_.end() ? nullptr : it->second.get();
}

const FolderInfo* MessageStore::Folder(Nid nid) const {
  const FolderState* f = Find(nid);
  return f ? &f->info : nullptr;
}

void MessageStore::SetDisplayName(std::string name) {
  display_name_ = std::move(name);
  store_props_[TagId(tags::kDisplayName)] = PropValue::String(display_name_);
  store_dirty_ = true;
}

Result<Nid> MessageStore::FolderFromEntryId(std::span<const uint8_t> entry_id) const {
  PST_ASSIGN_OR_RETURN(Nid nid, NidFromEntryId(record_key_, entry_id));
  if (!Find(nid)) return Status::NotFound("no folder " + NidText(nid) + " in this store");
  return nid;
}

Result<Nid> MessageStore::StoreEntryIdProperty(PropTag tag) const {
  auto it = store_props_.find(TagId(tag));
  if (it == store_props_.end()) return Status::NotFound("the store has no property " + NidText(tag));
  PST_ASSIGN_OR_RETURN(auto bytes, it->second.Load());
  PST_ASSIGN_OR_RETURN(Nid nid, NidFromEntryId(record_key_, bytes));
  if (!Find(nid))
    return Status::NotFound("store property " + NidText(tag) + " names missing folder " + NidText(nid));
  return nid;
}

Result<Nid> MessageStore::IpmSubtree() const {
  return StoreEntryIdProperty(tags::kIpmSubtreeEntryId);
}

std::optional<Nid> MessageStore::FindSubFolder(Nid parent, std::string_view name) const {
  auto it = by_name_.find({parent, std::string(name)});
  if (it == by_name_.end()) return std::nullopt;
  return it->second;
}

Result<MessageStore::FolderState*> MessageStore::AddFolder(Nid parent, Nid nid, PropertyMap props,
                                                           bool is_search, bool loading) {
  if (Find(nid)) return Status::AlreadyExists("folder " + NidText(nid) + " is already in the store");
  auto state = std::make_unique<FolderState>();
  state->props = std::move(props);
  state->RefreshInfo();
  state->info.nid = nid;
  state->info.parent = parent;
  state->info.is_search = is_search;
  FolderState* f = state.get();
  if (nid != parent) {
    FolderState* p = Find(parent);
    if (!p) return Status::NotFound("parent folder " + NidText(parent) + " does not exist");
    if (p->info.is_search) return Status::InvalidArgument("a search folder cannot hold folders");
    auto key = std::make_pair(parent, f->info.name);
    if (by_name_.count(key)) {
      // Outlook files can hold two siblings of one name: keep both; lookups by name find the first.
      if (!loading) {
        return Status::AlreadyExists("folder \"" + f->info.name + "\" already exists in \"" + p->info.name +
                                     "\"");
      }
    } else {
      by_name_.emplace(std::move(key), nid);
    }
    p->info.children.push_back(nid);
    if (loading) {
      folders_.emplace(nid, std::move(state));
      return f;
    }
    p->hierarchy_dirty = true;
    auto sub = p->props.find(TagId(tags::kSubfolders));
    if (sub == p->props.end() || sub->second.AsBool() != true) {
      p->props[TagId(tags::kSubfolders)] = PropValue::Bool(true);
      p->pc_dirty = true;
      MarkChildChanged(*p);
    }
  }
  folders_.emplace(nid, std::move(state));
  return f;
}

Status MessageStore::AddNewFolder(Nid parent, Nid nid, PropertyMap props, bool is_search) {
  PST_ASSIGN_OR_RETURN(FolderState * f, AddFolder(parent, nid, std::move(props), is_search, false));
  f->pc_dirty = true;
  f->tables_unwritten = !is_search;
  return Status::Ok();
}

void MessageStore::MarkChildChanged(FolderState& child) {
  if (child.info.parent == child.info.nid) return;
  if (FolderState* p = Find(child.info.parent)) {
    p->hierarchy_dirty = true;
    p->hierarchy_changed.insert(child.info.nid);
  }
}

Result<Nid> MessageStore::CreateFolder(Nid parent, std::string_view name, std::string_view container_class) {
  if (name.empty()) return Status::InvalidArgument("a folder needs a name");
  const FolderState* p = Find(parent);
  if (!p) return Status::NotFound("parent folder " + NidText(parent) + " does not exist");
  if (FindSubFolder(parent, name)) {
    return Status::AlreadyExists("folder \"" + std::string(name) + "\" already exists in \"" + p->info.name +
                                 "\"");
  }
  PST_ASSIGN_OR_RETURN(Nid nid, nodes_.AllocateNid(kNidTypeNormalFolder));
  PropertyMap props;
  props[TagId(tags::kDisplayName)] = PropValue::String(name);
  props[TagId(tags::kContentCount)] = PropValue::Int32(0);
  props[TagId(tags::kContentUnreadCount)] = PropValue::Int32(0);
  props[TagId(tags::kSubfolders)] = PropValue::Bool(false);
  if (!container_class.empty()) props[TagId(tags::kContainerClass)] = PropValue::String(container_class);
  props[TagId(tags::kPstHiddenCount)] = PropValue::Int32(0);
  props[TagId(tags::kPstHiddenUnread)] = PropValue::Int32(0);
  PST_RETURN_IF_ERROR(AddNewFolder(parent, nid, std::move(props), false));
  return nid;
}

Result<const PropertyMap*> MessageStore::FolderProperties(Nid folder) const {
  const FolderState* f = Find(folder);
  if (!f) return Status::NotFound("folder " + NidText(folder) + " does not exist");
  return &f->props;
}

Status MessageStore::SetFolderProperty(Nid folder, PropTag tag, PropValue value) {
  FolderState* f = Find(folder);
  if (!f) return Status::NotFound("folder " + NidText(folder) + " does not exist");
  if (TagType(tag) != value.type) return Status::InvalidArgument("value type differs from the tag's type");
  if (tag == tags::kDisplayName && folder != f->info.parent) {
    std::string name = value.AsString().value_or("");
    if (name.empty()) return Status::InvalidArgument("a folder needs a name");
    if (name != f->info.name) {
      if (FindSubFolder(f->info.parent, name))
        return Status::AlreadyExists("folder \"" + name + "\" already exists");
      by_name_.erase({f->info.parent, f->info.name});
      by_name_.emplace(std::make_pair(f->info.parent, name), folder);
    }
  }
  f->props[TagId(tag)] = std::move(value);
  f->RefreshInfo();
  f->pc_dirty = true;
  MarkChildChanged(*f);
  return Status::Ok();
}

Result<Table*> MessageStore::MutableContentsTable(Nid folder, bool assoc) {
  FolderState* f = Find(folder);
  if (!f) return Status::NotFound("folder " + NidText(folder) + " does not exist");
  if (!assoc) PST_RETURN_IF_ERROR(DropAppender(*f));
  PST_ASSIGN_OR_RETURN(Table * table, LoadContentsTable(*f, assoc));
  (assoc ? f->assoc_dirty : f->contents_dirty) = true;
  return table;
}

Status MessageStore::PutContentsRow(Nid folder, bool assoc, TableRow row) {
  FolderState* f = Find(folder);
  if (!f) return Status::NotFound("folder " + NidText(folder) + " does not exist");
  if (!assoc) {
    PST_ASSIGN_OR_RETURN(bool appended, AppendContentsRow(*f, row));
    if (appended) return Status::Ok();
  }
  PST_ASSIGN_OR_RETURN(Table * table, MutableContentsTable(folder, assoc));
  auto& index = assoc ? f->assoc_index : f->contents_index;
  if (index.size() != table->rows.size()) {
    index.clear();
    for (size_t i = 0; i < table->rows.size(); ++i) index[table->rows[i].row_id] = i;
  }
  auto [it, added] = index.emplace(row.row_id, table->rows.size());
  if (added) {
    table->rows.push_back(std::move(row));
  } else {
    table->rows[it->second] = std::move(row);
  }
  if (!assoc) return SpillContents(*f);
  return Status::Ok();
}

Status MessageStore::RemoveContentsRow(Nid folder, bool assoc, uint32_t row_id) {
  PST_ASSIGN_OR_RETURN(Table * table, MutableContentsTable(folder, assoc));
  auto& rows = table->rows;
  auto it = std::find_if(rows.begin(), rows.end(), [&](const TableRow& r) { return r.row_id == row_id; });
  if (it == rows.end())
    return Status::NotFound("no row " + NidText(row_id) + " in the table of " + NidText(folder));
  rows.erase(it);
  (assoc ? Find(folder)->assoc_index : Find(folder)->contents_index).clear();
  return Status::Ok();
}

// ---- Writing

Status MessageStore::WriteFolder(FolderState& f) {
  Nid nid = f.info.nid;
  if (f.tables_unwritten && !f.info.is_search) {
    if (!f.contents_dirty)
      PST_RETURN_IF_ERROR(
          PutSharedNode(nodes_, SiblingNid(nid, kNidTypeContentsTable), kNidContentsTableTemplate));
    if (!f.assoc_dirty)
      PST_RETURN_IF_ERROR(
          PutSharedNode(nodes_, SiblingNid(nid, kNidTypeAssocContentsTable), kNidAssocContentsTableTemplate));
    if (f.info.children.empty()) {
      PST_RETURN_IF_ERROR(
          PutSharedNode(nodes_, SiblingNid(nid, kNidTypeHierarchyTable), kNidHierarchyTableTemplate));
      f.hierarchy = templates::EmptyTable(templates::HierarchyColumns());
      f.hierarchy_dirty = false;
    } else {
      f.hierarchy_dirty = true;
    }
    f.tables_unwritten = false;
  }
  if (f.contents_dirty) {
    PST_RETURN_IF_ERROR(PutTableNode(nodes_, SiblingNid(nid, kNidTypeContentsTable), *f.contents));
    f.contents_dirty = false;
  }
  if (f.appender) PST_RETURN_IF_ERROR(f.appender->Flush());
  if (f.assoc_dirty) {
    PST_RETURN_IF_ERROR(PutTableNode(nodes_, SiblingNid(nid, kNidTypeAssocContentsTable), *f.assoc));
    f.assoc_dirty = false;
  }
  if (f.hierarchy_dirty && !f.info.is_search) PST_RETURN_IF_ERROR(WriteHierarchy(f));
  if (f.pc_dirty) {
    PST_RETURN_IF_ERROR(PutPropertyNode(nodes_, nid, f.info.parent, f.props));
    f.pc_dirty = false;
  }
  return Status::Ok();
}

Status MessageStore::WriteReceiveFolderTable() {
  Table t = templates::EmptyTable(templates::ReceiveFolderColumns());
  uint32_t row_id = 1;
  for (auto& [cls, nid] : receive_folders_) {
    TableRow row;
    row.row_id = row_id++;
    row.cells[tags::kMessageClass] = PropValue::String(cls);
    row.cells[tags::kReceiveFolderNid] = PropValue::Int32(static_cast<int32_t>(nid));
    t.rows.push_back(std::move(row));
  }
  return PutTableNode(nodes_, kNidReceiveFolderTable, t);
}

Status MessageStore::Commit() {
  PST_RETURN_IF_ERROR(WriteChanges());
  return nodes_.Commit();
}

void MessageStore::SetFolderCount(FolderState& f, PropTag tag, int32_t value) {
  if (IntProp(f.props, tag) == value && f.props.count(TagId(tag))) return;
  f.props[TagId(tag)] = PropValue::Int32(value);
  f.RefreshInfo();
  f.pc_dirty = true;
  MarkChildChanged(f);
}

Status MessageStore::WriteChanges() {
  // Counts first: they change PCs, and PCs feed the parents' hierarchy rows (invariants 1 and 3).
  for (auto& entry : folders_) {
    FolderState* f =
        entry.second.get();  // a plain name: lambdas below use it (clang cannot capture bindings)
    auto set_count = [&](PropTag tag, int32_t value) { SetFolderCount(*f, tag, value); };
    if (f->contents_dirty) {
      set_count(tags::kContentCount, static_cast<int32_t>(f->contents->rows.size()));
      set_count(tags::kContentUnreadCount, UnreadRows(*f->contents));
    }
    if (f->appender && f->appended) {
      set_count(tags::kContentCount, static_cast<int32_t>(f->appender->row_count()));
      set_count(tags::kContentUnreadCount, f->appender_unread);
      f->appended = false;
    }
    if (f->assoc_dirty) {
      set_count(tags::kPstHiddenCount, static_cast<int32_t>(f->assoc->rows.size()));
      set_count(tags::kPstHiddenUnread, UnreadRows(*f->assoc));
    }
  }
  for (auto& [nid, f] : folders_) PST_RETURN_IF_ERROR(WriteFolder(*f));
  if (store_dirty_) {
    PST_RETURN_IF_ERROR(PutPropertyNode(nodes_, kNidMessageStore, 0, store_props_));
    store_dirty_ = false;
  }
  if (name_map_.dirty()) {
    PST_RETURN_IF_ERROR(PutPropertyNode(nodes_, kNidNameToIdMap, 0, name_map_.ToProperties()));
    name_map_.clear_dirty();
  }
  if (receive_dirty_) {
    PST_RETURN_IF_ERROR(WriteReceiveFolderTable());
    receive_dirty_ = false;
  }
  return Status::Ok();
}

// ---- Reading an existing store

Result<std::unique_ptr<MessageStore>> MessageStore::Open(NodeStore& nodes) {
  std::unique_ptr<MessageStore> ms(new MessageStore(nodes));
  PST_RETURN_IF_ERROR(ms->LoadStoreProperties());
  PST_RETURN_IF_ERROR(ms->LoadFolderTree());
  return ms;
}

Status MessageStore::LoadStoreProperties() {
  PST_ASSIGN_OR_RETURN(store_props_, ReadPropertyNode(nodes_, kNidMessageStore));
  auto key = store_props_.find(TagId(tags::kRecordKey));
  if (key == store_props_.end())
    return Status::Corruption("message store " + NidText(kNidMessageStore) + " has no record key");
  PST_ASSIGN_OR_RETURN(auto key_bytes, key->second.Load());
  if (key_bytes.size() != record_key_.size()) {
    return Status::Corruption("message store record key of " + std::to_string(key_bytes.size()) +
                              " bytes, expected 16");
  }
  std::copy(key_bytes.begin(), key_bytes.end(), record_key_.begin());
  display_name_ = StringProp(store_props_, tags::kDisplayName);

  PST_ASSIGN_OR_RETURN(auto map_node, nodes_.FindNode(kNidNameToIdMap));
  if (map_node) {
    PST_ASSIGN_OR_RETURN(auto map_props, ReadPropertyNode(nodes_, kNidNameToIdMap));
    PST_ASSIGN_OR_RETURN(name_map_, NameToIdMap::FromProperties(map_props));
  }
  PST_ASSIGN_OR_RETURN(auto rft_node, nodes_.FindNode(kNidReceiveFolderTable));
  if (rft_node && rft_node->data != 0) {
    PST_ASSIGN_OR_RETURN(Table rft, ReadTableNode(nodes_, kNidReceiveFolderTable));
    for (auto& row : rft.rows) {
      auto cls = row.cells.find(tags::kMessageClass);
      auto nid = row.cells.find(tags::kReceiveFolderNid);
      if (cls == row.cells.end() || nid == row.cells.end()) continue;
      receive_folders_.emplace_back(cls->second.AsString().value_or(""),
                                    static_cast<Nid>(nid->second.AsInt32().value_or(0)));
    }
  }
  return Status::Ok();
}

Status MessageStore::LoadFolderTree() {
  PST_ASSIGN_OR_RETURN(PropertyMap root_props, ReadPropertyNode(nodes_, kNidRootFolder));
  PST_RETURN_IF_ERROR(AddFolder(kNidRootFolder, kNidRootFolder, std::move(root_props), false, true).status());
  // Breadth-first over the hierarchy tables; a folder reached twice means a loop in a damaged file.
  std::vector<std::pair<Nid, size_t>> queue = {{kNidRootFolder, 0}};
  for (size_t qi = 0; qi < queue.size(); ++qi) {
    auto [nid, depth] = queue[qi];
    FolderState* f = Find(nid);
    if (f->info.is_search) continue;
    PST_ASSIGN_OR_RETURN(Table h, ReadTableNode(nodes_, SiblingNid(nid, kNidTypeHierarchyTable)));
    for (auto& row : h.rows) {
      Nid child = row.row_id;
      uint8_t type = NidTypeOf(child);
      if (type != kNidTypeNormalFolder && type != kNidTypeSearchFolder) {
        return Status::Corruption("hierarchy table of folder " + NidText(nid) + " lists " + NidText(child) +
                                  ", which is not a folder");
      }
      if (Find(child)) {
        return Status::Corruption("folder " + NidText(child) +
                                  " is listed twice in the folder tree (again below " + NidText(nid) + ")");
      }
      if (depth + 1 > kMaxFolderDepth)
        return Status::Corruption("folder tree deeper than " + std::to_string(kMaxFolderDepth));
      PST_ASSIGN_OR_RETURN(PropertyMap props, ReadPropertyNode(nodes_, child));
      PST_RETURN_IF_ERROR(
          AddFolder(nid, child, std::move(props), type == kNidTypeSearchFolder, true).status());
      queue.emplace_back(child, depth + 1);
    }
    f->hierarchy = std::move(h);
  }
  return Status::Ok();
}

}  // namespace velmora::pst
