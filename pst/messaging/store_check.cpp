#include "pst/messaging/store_check.h"

#include <algorithm>
#include <memory>
#include <set>

#include "pst/messaging/message/contents_row.h"
#include "pst/messaging/node_io.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

namespace {

// The columns whose cells must copy the child's PC ([MS-PST] 2.4.4.4.1, "Copied?").
constexpr PropTag kCopied[] = {tags::kDisplayName, tags::kContentCount, tags::kContentUnreadCount,
                               tags::kSubfolders, tags::kContainerClass};

std::string Show(const PropValue* v) {
  if (!v) return "(absent)";
  if (auto s = v->AsString()) return "\"" + *s + "\"";
  if (v->type == kPtypBoolean) return v->AsBool().value_or(false) ? "true" : "false";
  if (auto i = v->AsInt32()) return std::to_string(*i);
  return "(bytes)";
}

// Reads every row of table `nid`, keeping none: whether the whole table can be read.
Status ReadEveryRow(NodeStore& nodes, Nid nid) {
  PST_ASSIGN_OR_RETURN(std::unique_ptr<TableRowReader> rows, OpenTableNode(nodes, nid));
  for (;;) {
    auto next = rows->Next();
    if (!next.ok()) return InNode(nid, next.status());
    if (!*next) return Status::Ok();
  }
}

// Reports each message node of `folder` that its contents table `table` does not list, in NID order. Only
// for a folder whose rows and messages were found to differ: its row ids are held while the NBT is walked.
void ReportUnlisted(NodeStore& nodes, Nid folder, Nid table, std::vector<std::string>* problems) {
  auto rows = OpenTableNode(nodes, table);
  if (!rows.ok()) return;
  std::vector<Nid> listed((*rows)->row_count());
  for (size_t i = 0; i < listed.size(); ++i) listed[i] = (*rows)->row_id(i);
  std::sort(listed.begin(), listed.end());
  (void)nodes.ForEachNode([&](const NodeEntry& e) {
    if (NidTypeOf(e.nid) == kNidTypeNormalMessage && e.parent == folder &&
        !std::binary_search(listed.begin(), listed.end(), e.nid))
      problems->push_back(NidText(e.nid) + ": message of folder " + NidText(folder) + " has no contents row");
    return Status::Ok();
  });
}

}  // namespace

std::vector<Nid> AllNids(NodeStore& nodes) {
  std::vector<Nid> out;
  (void)nodes.ForEachNode([&](const NodeEntry& e) {
    out.push_back(e.nid);
    return Status::Ok();
  });
  return out;
}

std::vector<CheckedFolder> CheckFolderTree(NodeStore& nodes, std::vector<std::string>* problems) {
  std::vector<CheckedFolder> out;
  auto problem = [&](Nid nid, const std::string& text) { problems->push_back(NidText(nid) + ": " + text); };
  std::set<Nid> seen = {kNidRootFolder};
  std::vector<CheckedFolder> queue = {{kNidRootFolder, kNidRootFolder, ""}};
  for (size_t qi = 0; qi < queue.size(); ++qi) {
    CheckedFolder f = queue[qi];
    out.push_back(f);
    auto entry = nodes.FindNode(f.nid);
    if (!entry.ok() || !*entry) {
      problem(f.nid, "folder PC missing");
      continue;
    }
    if ((*entry)->parent != f.parent)
      problem(f.nid, "NBT parent " + NidText((*entry)->parent) + ", listed by " + NidText(f.parent));
    auto props = ReadPropertyNode(nodes, f.nid);
    if (!props.ok()) {
      problem(f.nid, props.status().ToString());
      continue;
    }
    if (NidTypeOf(f.nid) == kNidTypeSearchFolder) continue;
    for (NidType t : {kNidTypeContentsTable, kNidTypeAssocContentsTable}) {
      Status table = ReadEveryRow(nodes, MakeNid(t, NidIndexOf(f.nid)));
      if (!table.ok()) problem(f.nid, "table type " + std::to_string(t) + ": " + table.ToString());
    }
    const Nid hierarchy_nid = MakeNid(kNidTypeHierarchyTable, NidIndexOf(f.nid));
    // Read through once first, so that a damaged table is reported alone, before any of its rows is used.
    Status readable = ReadEveryRow(nodes, hierarchy_nid);
    auto hierarchy = readable.ok() ? OpenTableNode(nodes, hierarchy_nid) : readable;
    if (!hierarchy.ok()) {
      problem(f.nid, "hierarchy table: " + hierarchy.status().ToString());
      continue;
    }
    TableRowReader& rows = **hierarchy;
    auto sub = props->find(TagId(tags::kSubfolders));
    bool flag = sub != props->end() && sub->second.AsBool().value_or(false);
    if (flag != (rows.row_count() != 0)) {
      problem(f.nid, "PidTagSubfolders " + std::string(flag ? "true" : "false") + " with " +
                         std::to_string(rows.row_count()) + " hierarchy rows");
    }
    std::set<std::string> names;
    for (auto next = rows.Next(); next.ok() && *next; next = rows.Next()) {
      const TableRow& row = **next;
      Nid child = row.row_id;
      if (!seen.insert(child).second) {
        problem(f.nid, "lists " + NidText(child) + " a second time");
        continue;
      }
      auto child_props = ReadPropertyNode(nodes, child);
      if (!child_props.ok()) {
        problem(child, child_props.status().ToString());
        continue;
      }
      for (PropTag tag : kCopied) {
        bool has_column = false;
        for (PropTag c : rows.columns()) has_column |= c == tag;
        if (!has_column) continue;
        auto pc = child_props->find(TagId(tag));
        const PropValue* pc_value = pc == child_props->end() ? nullptr : &pc->second;
        auto cell = row.cells.find(tag);
        const PropValue* cell_value = cell == row.cells.end() ? nullptr : &cell->second;
        bool same = (pc_value == nullptr) == (cell_value == nullptr) &&
                    (pc_value == nullptr ||
                     (pc_value->type == cell_value->type && pc_value->bytes == cell_value->bytes));
        if (!same) {
          problem(child,
                  "hierarchy row " + NidText(tag) + " = " + Show(cell_value) + ", PC has " + Show(pc_value));
        }
      }
      std::string name;
      if (auto it = child_props->find(TagId(tags::kDisplayName)); it != child_props->end()) {
        name = it->second.AsString().value_or("");
      }
      if (!names.insert(name).second) problem(f.nid, "two sub-folders named \"" + name + "\"");
      queue.push_back({child, f.nid, f.path.empty() ? name : f.path + "/" + name});
    }
  }
  return out;
}

size_t CheckFolderContents(NodeStore& nodes, const std::vector<CheckedFolder>& folders,
                           std::vector<std::string>* problems) {
  using tags::kMessageFlags, tags::kMsgFlagRead;
  auto problem = [&](Nid nid, const std::string& text) { problems->push_back(NidText(nid) + ": " + text); };
  // Message nodes per parent, counted: a folder's rows are matched against the count, and only a folder
  // whose count differs has its messages looked up one by one.
  std::map<Nid, size_t> messages_by_parent;
  (void)nodes.ForEachNode([&](const NodeEntry& e) {
    if (NidTypeOf(e.nid) == kNidTypeNormalMessage) ++messages_by_parent[e.parent];
    return Status::Ok();
  });
  size_t checked = 0;
  for (const CheckedFolder& f : folders) {
    if (NidTypeOf(f.nid) != kNidTypeNormalFolder) continue;
    const Nid table_nid = MakeNid(kNidTypeContentsTable, NidIndexOf(f.nid));
    auto props = ReadPropertyNode(nodes, f.nid);
    auto table = OpenTableNode(nodes, table_nid);
    if (!props.ok() || !table.ok()) continue;  // CheckFolderTree reports these
    TableRowReader& rows = **table;
    int32_t unread = 0;
    size_t listed = 0;  // rows naming a message node of this folder; row ids are unique (BTH keys ascend)
    Result<const TableRow*> next = rows.Next();
    for (; next.ok() && *next; next = rows.Next()) {
      const TableRow& row = **next;
      Nid nid = row.row_id;
      auto flags = row.cells.find(kMessageFlags);
      if (flags == row.cells.end() || !(flags->second.AsInt32().value_or(0) & kMsgFlagRead)) ++unread;
      auto entry = nodes.FindNode(nid);
      if (!entry.ok() || !*entry) {
        problem(f.nid, "contents row " + NidText(nid) + " names no node");
        continue;
      }
      if (NidTypeOf(nid) != kNidTypeNormalMessage) problem(nid, "listed as a message but not of type 0x04");
      if ((*entry)->parent != f.nid)
        problem(nid, "NBT parent " + NidText((*entry)->parent) + ", listed by " + NidText(f.nid));
      else if (NidTypeOf(nid) == kNidTypeNormalMessage)
        ++listed;
      auto pc = ReadPropertyNode(nodes, nid);
      if (!pc.ok()) {
        problem(nid, pc.status().ToString());
        continue;
      }
      if (!RowAgreesWithProps(row, *pc, rows.columns()))
        problem(nid, "contents row differs from the message PC");
      ++checked;
    }
    if (!next.ok()) continue;  // a damaged row: CheckFolderTree reports it
    auto count = [&](PropTag tag) {
      auto it = props->find(TagId(tag));
      return it == props->end() ? -1 : it->second.AsInt32().value_or(-1);
    };
    if (count(tags::kContentCount) != static_cast<int32_t>(rows.row_count()))
      problem(f.nid, "PidTagContentCount " + std::to_string(count(tags::kContentCount)) + " with " +
                         std::to_string(rows.row_count()) + " contents rows");
    if (count(tags::kContentUnreadCount) != unread)
      problem(f.nid, "PidTagContentUnreadCount " + std::to_string(count(tags::kContentUnreadCount)) +
                         " with " + std::to_string(unread) + " unread rows");
    if (listed != messages_by_parent[f.nid]) ReportUnlisted(nodes, f.nid, table_nid, problems);
  }
  return checked;
}

}  // namespace velmora::pst
