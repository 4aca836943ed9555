// The messages of a folder: storing a message node with its contents-table row, listing and reading the
// messages of a folder, and keeping the contents tables held in memory within a bound.
#include "pst/messaging/folder_state.h"
#include "pst/messaging/message/contents_row.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/table_templates.h"

namespace velmora::pst {

using namespace folder_detail;

namespace {

// What a row costs in memory beyond its cells: the row, its map nodes and its index entry, roughly.
constexpr size_t kRowOverhead = 64;
constexpr size_t kCellOverhead = 48;

size_t RowBytes(const TableRow& row) {
  size_t n = kRowOverhead;
  for (const auto& [tag, value] : row.cells) n += kCellOverhead + value.bytes.size();
  return n;
}

}  // namespace

Result<Table*> MessageStore::LoadContentsTable(FolderState& f, bool assoc) {
  if (f.info.is_search)
    return Status::Unsupported("search folder " + NidText(f.info.nid) + " has no own contents");
  std::optional<Table>& table = assoc ? f.assoc : f.contents;
  if (!table) {
    if (f.tables_unwritten) {
      table = templates::EmptyTable(assoc ? templates::AssocContentsColumns() : templates::ContentsColumns());
    } else {
      PST_ASSIGN_OR_RETURN(Table t,
                           ReadTableNode(nodes_, SiblingNid(f.info.nid, assoc ? kNidTypeAssocContentsTable
                                                                              : kNidTypeContentsTable)));
      table = std::move(t);
    }
    (assoc ? f.assoc_index : f.contents_index).clear();
  }
  return &*table;
}

Status MessageStore::StoreMessage(Nid folder, Nid nid, const MessageContent& content,
                                  const MessageWriteOptions& options) {
  PST_ASSIGN_OR_RETURN(Table * table, MutableContentsTable(folder, false));
  NamedIdResolver names = [this](const NamedProperty& p) { return name_map_.RegisterProperty(p); };
  PST_ASSIGN_OR_RETURN(WrittenMessage written, WriteMessage(nodes_, content, names, options));
  auto row = MakeContentsRow(nid, written.row_props, table->columns);
  Status put = row.ok() ? nodes_.PutNode(NodeEntry{nid, written.data, written.sub, folder}) : row.status();
  if (!put.ok()) {
    // PutNode takes the trees only when the entry went in; otherwise they are still ours to give back.
    auto now = nodes_.FindNode(nid);
    if (!now.ok() || !*now || (*now)->data != written.data) (void)ReleaseWrittenMessage(nodes_, written);
    return put;
  }
  held_row_bytes_ += RowBytes(*row);
  PST_RETURN_IF_ERROR(PutContentsRow(folder, false, std::move(*row)));
  return KeepTablesBounded();
}

Result<Nid> MessageStore::AddMessage(Nid folder, const MessageContent& content,
                                     const MessageWriteOptions& options) {
  const FolderState* f = Find(folder);
  if (!f) return Status::NotFound("folder " + NidText(folder) + " does not exist");
  if (f->info.is_search)
    return Status::Unsupported("search folder " + NidText(folder) + " cannot hold messages of its own");
  PST_ASSIGN_OR_RETURN(Nid nid, nodes_.AllocateNid(kNidTypeNormalMessage));
  PST_RETURN_IF_ERROR(StoreMessage(folder, nid, content, options));
  return nid;
}

Status MessageStore::ReplaceMessage(Nid message, const MessageContent& content,
                                    const MessageWriteOptions& options) {
  if (NidTypeOf(message) != kNidTypeNormalMessage)
    return Status::InvalidArgument(NidText(message) + " is not a message NID");
  PST_ASSIGN_OR_RETURN(NodeEntry entry, GetNode(nodes_, message));
  if (!Find(entry.parent))
    return Status::Corruption("message " + NidText(message) + " has parent " + NidText(entry.parent) +
                              ", which is not a folder of this store");
  return StoreMessage(entry.parent, message, content, options);
}

Result<std::vector<Nid>> MessageStore::Messages(Nid folder) {
  FolderState* f = Find(folder);
  if (!f) return Status::NotFound("folder " + NidText(folder) + " does not exist");
  if (f->info.is_search) return std::vector<Nid>();
  PST_ASSIGN_OR_RETURN(Table * table, LoadContentsTable(*f, false));
  std::vector<Nid> out;
  out.reserve(table->rows.size());
  for (const TableRow& row : table->rows) out.push_back(row.row_id);
  return out;
}

Result<MessageContent> MessageStore::ReadMessage(Nid message) {
  MessageReadOptions options;
  options.named_lookup = [this](uint16_t id) -> std::optional<NamedProperty> {
    auto key = name_map_.Lookup(id);
    if (!key) return std::nullopt;
    NamedProperty p;
    p.guid = key->guid;
    p.is_string = key->is_string;
    p.lid = key->lid;
    p.name = key->name;
    return p;
  };
  return pst::ReadMessage(nodes_, message, options);
}

Status MessageStore::KeepTablesBounded() {
  if (held_row_bytes_ <= table_memory_bound_) return Status::Ok();
  PST_RETURN_IF_ERROR(WriteChanges());
  for (auto& [nid, f] : folders_) {
    f->contents.reset();
    f->contents_index.clear();
  }
  held_row_bytes_ = 0;
  return Status::Ok();
}

}  // namespace velmora::pst
