// The messages of a folder: storing a message node with its contents-table row, listing and reading the
// messages of a folder, and keeping the contents tables held in memory within a bound.
#include <algorithm>

#include "pst/content/table_templates.h"
#include "pst/messaging/folder_state.h"
#include "pst/messaging/message/contents_row.h"
#include "pst/messaging/node_io.h"

namespace velmora::pst {

using namespace folder_detail;

namespace {

// A contents table held in memory is written and left to the appender once it has this many rows: by then
// its row matrix (a row is over 100 bytes) has left the heap for a subnode, so rows can go in place.
constexpr size_t kRowsToSpill = 64;

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
    if (!assoc && f.appender) PST_RETURN_IF_ERROR(f.appender->Flush());
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

Result<TableAppender*> MessageStore::Appender(FolderState& f) {
  if (f.appender) return f.appender.get();
  if (f.info.is_search || f.tables_unwritten) return nullptr;
  PST_ASSIGN_OR_RETURN(NodeEntry entry, GetNode(nodes_, SiblingNid(f.info.nid, kNidTypeContentsTable)));
  auto opened = TableAppender::Open(nodes_, entry);
  if (!opened.ok()) {
    if (opened.status().code() == Code::kUnsupported) return nullptr;
    return opened.status();
  }
  f.appender = std::move(opened).value();
  f.appender_unread = std::clamp(f.info.unread_count, 0, static_cast<int32_t>(f.appender->row_count()));
  return f.appender.get();
}

Result<bool> MessageStore::AppendContentsRow(FolderState& f, const TableRow& row) {
  if (f.contents_dirty) return false;
  PST_ASSIGN_OR_RETURN(TableAppender * appender, Appender(f));
  if (!appender || row.row_id <= appender->last_row_id()) return false;
  PST_RETURN_IF_ERROR(appender->Append(row));
  f.contents.reset();
  f.contents_index.clear();
  auto flags = row.cells.find(tags::kMessageFlags);
  if (flags == row.cells.end() ||
      !(static_cast<uint32_t>(flags->second.AsInt32().value_or(0)) & kMsgFlagRead))
    ++f.appender_unread;
  f.appended = true;
  return true;
}

Status MessageStore::SpillContents(FolderState& f) {
  if (!f.contents || f.contents->rows.size() < kRowsToSpill || f.info.is_search) return Status::Ok();
  const int32_t rows = static_cast<int32_t>(f.contents->rows.size());
  const int32_t unread = UnreadRows(*f.contents);
  SetFolderCount(f, tags::kContentCount, rows);
  SetFolderCount(f, tags::kContentUnreadCount, unread);
  PST_RETURN_IF_ERROR(WriteFolder(f));
  f.contents.reset();
  f.contents_index.clear();
  PST_ASSIGN_OR_RETURN(TableAppender * appender, Appender(f));
  if (appender) f.appender_unread = unread;
  return Status::Ok();
}

Status MessageStore::DropAppender(FolderState& f) {
  if (!f.appender) return Status::Ok();
  PST_RETURN_IF_ERROR(f.appender->Flush());
  if (f.appended) {
    SetFolderCount(f, tags::kContentCount, static_cast<int32_t>(f.appender->row_count()));
    SetFolderCount(f, tags::kContentUnreadCount, f.appender_unread);
    f.appended = false;
  }
  f.appender.reset();
  return Status::Ok();
}

Status MessageStore::StoreMessage(Nid folder, Nid nid, const MessageContent& content,
                                  const MessageWriteOptions& options) {
  FolderState* f = Find(folder);
  if (!f) return Status::NotFound("folder " + NidText(folder) + " does not exist");
  // The columns of the table the row goes to, without reading a table that takes rows in place.
  std::vector<PropTag> columns;
  if (f->contents) {
    columns = f->contents->columns;
  } else {
    PST_ASSIGN_OR_RETURN(TableAppender * appender, Appender(*f));
    if (appender) {
      columns = appender->columns();
    } else {
      PST_ASSIGN_OR_RETURN(Table * table, LoadContentsTable(*f, false));
      columns = table->columns;
    }
  }
  NamedIdResolver names = [this](const NamedProperty& p) { return name_map_.RegisterProperty(p); };
  PST_ASSIGN_OR_RETURN(WrittenMessage written,
                       WriteMessage(nodes_, content, names, options, &table_scratch_, columns));
  auto row = MakeContentsRow(nid, std::move(written.row_props), columns);
  Status put = row.ok() ? nodes_.PutNode(NodeEntry{nid, written.data, written.sub, folder}) : row.status();
  if (!put.ok()) {
    // PutNode takes the trees only when the entry went in; otherwise they are still ours to give back.
    auto now = nodes_.FindNode(nid);
    if (!now.ok() || !*now || (*now)->data != written.data) (void)ReleaseWrittenMessage(nodes_, written);
    return put;
  }
  const size_t row_bytes = RowBytes(*row);
  PST_RETURN_IF_ERROR(PutContentsRow(folder, false, std::move(*row)));
  if (f->contents) held_row_bytes_ += row_bytes;
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
  std::vector<Nid> out;
  if (f->contents || f->tables_unwritten) {
    PST_ASSIGN_OR_RETURN(Table * table, LoadContentsTable(*f, false));
    out.reserve(table->rows.size());
    for (const TableRow& row : table->rows) out.push_back(row.row_id);
    return out;
  }
  // A table on disk is not loaded to learn its row ids: a folder of 100,000 messages would stay in memory.
  if (f->appender) PST_RETURN_IF_ERROR(f->appender->Flush());
  PST_ASSIGN_OR_RETURN(auto rows, OpenTableNode(nodes_, SiblingNid(folder, kNidTypeContentsTable)));
  out.resize(rows->row_count());
  for (size_t i = 0; i < out.size(); ++i) out[i] = rows->row_id(i);
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
