#include "pst/messaging/store_check.h"

#include <set>

#include "pst/messaging/message/contents_row.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/prop_tags.h"

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
      auto table = ReadTableNode(nodes, MakeNid(t, NidIndexOf(f.nid)));
      if (!table.ok()) problem(f.nid, "table type " + std::to_string(t) + ": " + table.status().ToString());
    }
    auto hierarchy = ReadTableNode(nodes, MakeNid(kNidTypeHierarchyTable, NidIndexOf(f.nid)));
    if (!hierarchy.ok()) {
      problem(f.nid, "hierarchy table: " + hierarchy.status().ToString());
      continue;
    }
    auto sub = props->find(TagId(tags::kSubfolders));
    bool flag = sub != props->end() && sub->second.AsBool().value_or(false);
    if (flag != !hierarchy->rows.empty()) {
      problem(f.nid, "PidTagSubfolders " + std::string(flag ? "true" : "false") + " with " +
                         std::to_string(hierarchy->rows.size()) + " hierarchy rows");
    }
    std::set<std::string> names;
    for (const TableRow& row : hierarchy->rows) {
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
        for (PropTag c : hierarchy->columns) has_column |= c == tag;
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
  std::map<Nid, std::set<Nid>> messages_by_parent;
  (void)nodes.ForEachNode([&](const NodeEntry& e) {
    if (NidTypeOf(e.nid) == kNidTypeNormalMessage) messages_by_parent[e.parent].insert(e.nid);
    return Status::Ok();
  });
  size_t checked = 0;
  for (const CheckedFolder& f : folders) {
    if (NidTypeOf(f.nid) != kNidTypeNormalFolder) continue;
    auto props = ReadPropertyNode(nodes, f.nid);
    auto table = ReadTableNode(nodes, MakeNid(kNidTypeContentsTable, NidIndexOf(f.nid)));
    if (!props.ok() || !table.ok()) continue;  // CheckFolderTree reports these
    int32_t unread = 0;
    std::set<Nid> listed;
    for (const TableRow& row : table->rows) {
      Nid nid = row.row_id;
      listed.insert(nid);
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
      auto pc = ReadPropertyNode(nodes, nid);
      if (!pc.ok()) {
        problem(nid, pc.status().ToString());
        continue;
      }
      if (!RowAgreesWithProps(row, *pc, table->columns))
        problem(nid, "contents row differs from the message PC");
      ++checked;
    }
    auto count = [&](PropTag tag) {
      auto it = props->find(TagId(tag));
      return it == props->end() ? -1 : it->second.AsInt32().value_or(-1);
    };
    if (count(tags::kContentCount) != static_cast<int32_t>(table->rows.size()))
      problem(f.nid, "PidTagContentCount " + std::to_string(count(tags::kContentCount)) + " with " +
                         std::to_string(table->rows.size()) + " contents rows");
    if (count(tags::kContentUnreadCount) != unread)
      problem(f.nid, "PidTagContentUnreadCount " + std::to_string(count(tags::kContentUnreadCount)) +
                         " with " + std::to_string(unread) + " unread rows");
    for (Nid nid : messages_by_parent[f.nid])
      if (!listed.count(nid)) problem(nid, "message of folder " + NidText(f.nid) + " has no contents row");
  }
  return checked;
}

}  // namespace velmora::pst
