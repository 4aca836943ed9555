// What MessageStore keeps in memory for one folder, shared by the files that implement MessageStore (the
// folder tree in message_store.cpp, the messages of a folder in folder_messages.cpp). Internal to this
// folder.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "pst/ltp/table_appender.h"
#include "pst/messaging/message_store.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

namespace folder_detail {

using tags::kMsgFlagRead;

inline Nid SiblingNid(Nid folder, NidType type) {
  return MakeNid(type, NidIndexOf(folder));
}

inline std::string StringProp(const PropertyMap& props, PropTag tag) {
  auto it = props.find(TagId(tag));
  if (it == props.end()) return "";
  return it->second.AsString().value_or("");
}

inline int32_t UnreadRows(const Table& t) {
  int32_t n = 0;
  for (auto& row : t.rows) {
    auto it = row.cells.find(tags::kMessageFlags);
    uint32_t flags = it == row.cells.end() ? 0 : static_cast<uint32_t>(it->second.AsInt32().value_or(0));
    if (!(flags & kMsgFlagRead)) ++n;
  }
  return n;
}

inline int32_t IntProp(const PropertyMap& props, PropTag tag) {
  auto it = props.find(TagId(tag));
  if (it == props.end()) return 0;
  return it->second.AsInt32().value_or(0);
}

}  // namespace folder_detail

struct MessageStore::FolderState {
  FolderInfo info;
  PropertyMap props;
  bool pc_dirty = false;
  bool hierarchy_dirty = false;
  bool tables_unwritten = false;   // a new folder whose tables are not on disk yet
  std::optional<Table> hierarchy;  // the hierarchy table as last read or written
  // Children whose rows may differ from `hierarchy`; each child's row in it, built when needed.
  std::set<Nid> hierarchy_changed;
  std::unordered_map<Nid, size_t> hierarchy_index;
  std::optional<Table> contents;  // loaded on first use
  std::optional<Table> assoc;
  bool contents_dirty = false;
  bool assoc_dirty = false;
  std::unordered_map<uint32_t, size_t> contents_index;  // row id -> row, built on the first PutContentsRow
  std::unordered_map<uint32_t, size_t> assoc_index;
  // The contents table on disk taking new rows in place while `contents` is not in memory; its counts.
  std::unique_ptr<TableAppender> appender;
  int32_t appender_unread = 0;
  bool appended = false;  // rows went in through the appender since the counts were last set

  void RefreshInfo() {
    info.name = folder_detail::StringProp(props, tags::kDisplayName);
    info.container_class = folder_detail::StringProp(props, tags::kContainerClass);
    info.content_count = folder_detail::IntProp(props, tags::kContentCount);
    info.unread_count = folder_detail::IntProp(props, tags::kContentUnreadCount);
    info.assoc_count = folder_detail::IntProp(props, tags::kPstHiddenCount);
  }
};

}  // namespace velmora::pst
