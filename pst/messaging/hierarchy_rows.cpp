// A folder's hierarchy table kept equal to its children (invariant 1 of message_store.h). A table whose rows
// are in a row matrix of their own (more than a few dozen children) is changed where it is: the rows of the
// children that changed are rewritten in place and new children's rows appended, so a commit writes the
// blocks those rows live in, not a table of ten thousand rows. Smaller tables, and tables whose rows cannot
// change that way, are written whole.
#include "pst/content/table_templates.h"
#include "pst/messaging/folder_state.h"
#include "pst/messaging/node_io.h"

namespace velmora::pst {

using namespace folder_detail;

namespace {

// The child's row: its cells from the child's properties for every column, over the cells `row` had.
TableRow HierarchyRow(const PropertyMap& child, Nid child_nid, const std::vector<PropTag>& columns,
                      TableRow row) {
  row.row_id = child_nid;
  row.cells.erase(kTagLtpRowId);
  row.cells.erase(kTagLtpRowVer);
  for (PropTag col : columns) {
    if (col == kTagLtpRowId || col == kTagLtpRowVer) continue;
    auto it = child.find(TagId(col));
    if (it != child.end() && it->second.type == TagType(col) && !it->second.stream)
      row.cells[col] = it->second;
  }
  return row;
}

bool SameCells(const TableRow& a, const TableRow& b) {
  auto cells = [](const TableRow& r) {
    size_t n = r.cells.size();
    for (PropTag t : {kTagLtpRowId, kTagLtpRowVer}) n -= r.cells.count(t);
    return n;
  };
  if (cells(a) != cells(b)) return false;
  for (const auto& [tag, v] : a.cells) {
    if (tag == kTagLtpRowId || tag == kTagLtpRowVer) continue;
    auto it = b.cells.find(tag);
    if (it == b.cells.end() || it->second.type != v.type || it->second.stream || v.stream ||
        it->second.bytes != v.bytes)
      return false;
  }
  return true;
}

}  // namespace

Result<bool> MessageStore::UpdateHierarchyInPlace(FolderState& f) {
  if (!f.hierarchy || f.hierarchy->rows.size() > f.info.children.size()) return false;
  Table& t = *f.hierarchy;
  const size_t have = t.rows.size();
  PST_ASSIGN_OR_RETURN(NodeEntry entry, GetNode(nodes_, SiblingNid(f.info.nid, kNidTypeHierarchyTable)));
  auto opened = TableAppender::Open(nodes_, entry);
  if (!opened.ok()) {
    if (opened.status().code() == Code::kUnsupported) return false;
    return opened.status();
  }
  TableAppender& table = **opened;
  if (table.row_count() != have) return false;
  for (size_t i = have; i < f.info.children.size(); ++i)
    if (f.info.children[i] <= (i == have ? table.last_row_id() : f.info.children[i - 1])) return false;

  if (f.hierarchy_index.size() != have) {
    f.hierarchy_index.clear();
    for (size_t i = 0; i < have; ++i) f.hierarchy_index.emplace(t.rows[i].row_id, i);
  }
  for (Nid child_nid : f.hierarchy_changed) {
    auto at = f.hierarchy_index.find(child_nid);
    const FolderState* child = Find(child_nid);
    if (at == f.hierarchy_index.end() || !child) continue;  // a new child, appended below
    TableRow row = HierarchyRow(child->props, child_nid, t.columns, t.rows[at->second]);
    if (SameCells(row, t.rows[at->second])) continue;
    PST_RETURN_IF_ERROR(table.Update(row));
    t.rows[at->second] = std::move(row);
  }
  for (size_t i = have; i < f.info.children.size(); ++i) {
    const Nid child_nid = f.info.children[i];
    TableRow row = HierarchyRow(Find(child_nid)->props, child_nid, t.columns, TableRow{});
    PST_RETURN_IF_ERROR(table.Append(row));
    f.hierarchy_index.emplace(child_nid, t.rows.size());
    t.rows.push_back(std::move(row));
  }
  PST_RETURN_IF_ERROR(table.Flush());
  return true;
}

Status MessageStore::WriteHierarchy(FolderState& f) {
  PST_ASSIGN_OR_RETURN(bool in_place, UpdateHierarchyInPlace(f));
  if (!in_place) {
    Table t = f.hierarchy ? std::move(*f.hierarchy) : templates::EmptyTable(templates::HierarchyColumns());
    std::map<uint32_t, TableRow> old;
    for (auto& row : t.rows) old.emplace(row.row_id, std::move(row));
    t.rows.clear();
    t.rows.reserve(f.info.children.size());
    for (Nid child_nid : f.info.children) {
      TableRow row;
      if (auto it = old.find(child_nid); it != old.end()) row = std::move(it->second);
      t.rows.push_back(HierarchyRow(Find(child_nid)->props, child_nid, t.columns, std::move(row)));
    }
    PST_RETURN_IF_ERROR(PutTableNode(nodes_, SiblingNid(f.info.nid, kNidTypeHierarchyTable), t));
    f.hierarchy = std::move(t);
    f.hierarchy_index.clear();
  }
  f.hierarchy_changed.clear();
  f.hierarchy_dirty = false;
  return Status::Ok();
}

}  // namespace velmora::pst
