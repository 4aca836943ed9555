// The message store of one PST ([MS-PST] 2.4.3 - 2.4.4): the store PC (0x21), the name-to-ID map (0x61), the
// folder tree with each folder's PC and hierarchy / contents / FAI contents tables, and the default folders.
//
// The store keeps an index of every folder in memory (name, parent, children in hierarchy-table order,
// counts, the folder's PC). Changes mark folders dirty; Commit writes each dirty folder's PC and tables once,
// so adding thousands of folders or rows costs one table write per folder, not one per change.
//
// Invariants kept at every Commit:
//  1. A folder's row in its parent's hierarchy table copies the folder PC's values for every column the
//     table has (name, counts, subfolders flag, container class, hidden counts).
//  2. PidTagSubfolders of a folder is true exactly when it has children.
//  3. PidTagContentCount / PidTagContentUnreadCount equal the rows / unread rows of the contents table, and
//     PidTagPstHiddenCount the rows of the FAI contents table, for every folder whose tables were changed.
//  4. No folder has two children of exactly the same name (case-sensitive).
//  5. Every message stored through AddMessage / ReplaceMessage has exactly one row in its folder's contents
//     table, made from the values the message writer stored (WrittenMessage::row_props), so the row and the
//     message PC agree; the message node's NBT parent is the folder.
//
// Messages. AddMessage writes the message's node at once (attachments stream from their sources). Its row
// goes to the end of the folder's contents table on disk in place (TableAppender: only the blocks that
// change are written, at Commit), so memory and the cost per message do not grow with the folder. A table
// too small for that (its rows still inside the heap), or one being changed otherwise (a row replaced or
// removed), is held in memory and written whole at Commit, or earlier once it is large enough to take rows
// in place or the rows held pass table_memory_bound.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pst/ltp/table_appender.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/entry_id.h"
#include "pst/messaging/message/message_reader.h"
#include "pst/messaging/message/message_writer.h"
#include "pst/messaging/name_to_id_map.h"

namespace velmora::pst {

// Outlook's olDefaultFolders codes for the folders ValidateIpmTree makes.
enum DefaultFolderCode : int {
  kFolderDeletedItems = 3,
  kFolderOutbox = 4,
  kFolderSentMail = 5,
  kFolderInbox = 6,
  kFolderCalendar = 9,
  kFolderContacts = 10,
  kFolderJournal = 11,
  kFolderNotes = 12,
  kFolderTasks = 13,
  kFolderDrafts = 16,
  kFolderJunk = 23,
};

struct FolderInfo {
  Nid nid = 0;
  Nid parent = 0;  // the root folder is its own parent
  std::string name;
  std::string container_class;
  int32_t content_count = 0;
  int32_t unread_count = 0;
  int32_t assoc_count = 0;
  bool is_search = false;     // a search folder (nidType 3): no hierarchy or FAI table of its own
  std::vector<Nid> children;  // in hierarchy-table order
};

class MessageStore {
 public:
  struct CreateOptions {
    std::string display_name;
    std::optional<RecordKey> record_key;  // a fresh random one when empty
  };

  // Writes the nodes of a new, empty store (what Outlook writes for a new data file) and commits.
  static Result<std::unique_ptr<MessageStore>> Create(NodeStore& nodes, const CreateOptions& options);
  // Reads the store PC, the name-to-ID map and the folder tree of an existing file.
  static Result<std::unique_ptr<MessageStore>> Open(NodeStore& nodes);

  ~MessageStore();
  MessageStore(const MessageStore&) = delete;
  MessageStore& operator=(const MessageStore&) = delete;

  const std::string& display_name() const { return display_name_; }
  void SetDisplayName(std::string name);
  const RecordKey& record_key() const { return record_key_; }
  std::vector<uint8_t> EntryId() const { return MakeEntryId(record_key_, kNidMessageStore); }
  std::vector<uint8_t> FolderEntryId(Nid folder) const { return MakeEntryId(record_key_, folder); }
  // The folder an entry ID names; NotFound when it names no folder of this store.
  Result<Nid> FolderFromEntryId(std::span<const uint8_t> entry_id) const;

  Nid root_folder() const { return kNidRootFolder; }
  // The IPM subtree ("Top of Personal Folders"), from PidTagIpmSubTreeEntryId.
  Result<Nid> IpmSubtree() const;
  const FolderInfo* Folder(Nid nid) const;
  size_t folder_count() const { return folders_.size(); }
  std::optional<Nid> FindSubFolder(Nid parent, std::string_view name) const;
  // A new normal folder below `parent`; AlreadyExists when `parent` has a child of exactly that name.
  Result<Nid> CreateFolder(Nid parent, std::string_view name, std::string_view container_class = "IPF.Note");
  // The folder's PC as held in memory, and a change to it (kept in the parent's hierarchy row at Commit).
  Result<const PropertyMap*> FolderProperties(Nid folder) const;
  Status SetFolderProperty(Nid folder, PropTag tag, PropValue value);

  // Creates the default folders that are missing and wires them as Outlook finds them.
  Status ValidateIpmTree();
  // The NID of a default folder (olDefaultFolders code); NotFound when the store does not have it.
  Result<Nid> DefaultFolder(int code) const;

  // The contents (assoc = false) or FAI contents table of a normal folder, loaded on first use and written
  // at Commit together with the folder's counts. For the message layer.
  Result<Table*> MutableContentsTable(Nid folder, bool assoc);
  // Adds `row` to the folder's contents (assoc = false) or FAI contents table, or replaces the row with the
  // same row id; constant time per call, so a folder can take thousands of messages.
  Status PutContentsRow(Nid folder, bool assoc, TableRow row);
  // Removes the row with this row id; NotFound when there is none.
  Status RemoveContentsRow(Nid folder, bool assoc, uint32_t row_id);

  // ---- Messages of a normal folder (nidType 0x04 nodes whose NBT parent is the folder).
  // Stores a new message in `folder`: a fresh NID, the message node, and the folder's contents row; the
  // folder's counts follow at Commit. Named properties get IDs from the store's name-to-ID map.
  Result<Nid> AddMessage(Nid folder, const MessageContent& content, const MessageWriteOptions& options = {});
  // Stores `content` again as message `message` (same NID, same folder), replacing what it held.
  Status ReplaceMessage(Nid message, const MessageContent& content, const MessageWriteOptions& options = {});
  // The messages of a folder, in contents-table order, from the row index (a table on disk is not held).
  Result<std::vector<Nid>> Messages(Nid folder);
  // A stored message, named properties resolved through the store's map. Large values read the store lazily.
  Result<MessageContent> ReadMessage(Nid message);
  // Rows of contents tables held in memory (bytes, estimated) above which the tables are written before
  // Commit and dropped from memory.
  void set_table_memory_bound(size_t bytes) { table_memory_bound_ = bytes; }
  static constexpr size_t kDefaultTableMemoryBound = 64u << 20;

  NameToIdMap& name_map() { return name_map_; }
  NodeStore& nodes() { return nodes_; }

  // Writes every change and commits the node store.
  Status Commit();
  // Writes every change to the node store without committing it.
  Status WriteChanges();

 private:
  struct FolderState;
  explicit MessageStore(NodeStore& nodes);
  Status LoadStoreProperties();
  Status LoadFolderTree();
  FolderState* Find(Nid nid);
  const FolderState* Find(Nid nid) const;
  // Adds a folder to the index (no nodes written until Commit); `nid` is the folder's PC NID.
  Result<FolderState*> AddFolder(Nid parent, Nid nid, PropertyMap props, bool is_search, bool loading);
  // AddFolder for a folder that is new on disk: its PC and tables are written at the next Commit.
  Status AddNewFolder(Nid parent, Nid nid, PropertyMap props, bool is_search);
  void MarkChildChanged(FolderState& child);
  Status WriteFolder(FolderState& f);
  // The folder's hierarchy table made equal to its children (hierarchy_rows.cpp): in place when the table
  // allows it (UpdateHierarchyInPlace answers false, having changed nothing, when it does not), else whole.
  Status WriteHierarchy(FolderState& f);
  Result<bool> UpdateHierarchyInPlace(FolderState& f);
  Status WriteReceiveFolderTable();
  Result<Nid> StoreEntryIdProperty(PropTag tag) const;
  Result<Nid> RootEntryIdProperty(PropTag tag, int index) const;
  void SetStoreEntryId(PropTag tag, Nid nid);
  Result<Nid> EnsureDefaultFolder(Nid parent, int code);
  // The message's node and its contents row (folder_messages.cpp).
  Status StoreMessage(Nid folder, Nid nid, const MessageContent& content, const MessageWriteOptions& options);
  // The contents table of a normal folder, read when not in memory, without marking it changed.
  Result<Table*> LoadContentsTable(FolderState& f, bool assoc);
  // Writes the tables and drops the contents tables from memory when the rows held pass the bound.
  Status KeepTablesBounded();
  // The contents table's appender, opened on first use; nullptr when the table cannot take rows in place.
  Result<TableAppender*> Appender(FolderState& f);
  // Adds a new last row to the contents table on disk in place (folder_messages.cpp); false when the row
  // or the table does not allow that and the table is to be changed in memory.
  Result<bool> AppendContentsRow(FolderState& f, const TableRow& row);
  // Writes a contents table held in memory once it has enough rows to take later rows in place.
  Status SpillContents(FolderState& f);
  // Writes the rows appended in place and closes the appender, before the table is read or changed whole.
  Status DropAppender(FolderState& f);
  void SetFolderCount(FolderState& f, PropTag tag, int32_t value);

  friend class SkeletonWriter;

  NodeStore& nodes_;
  RecordKey record_key_{};
  std::string display_name_;
  PropertyMap store_props_;
  bool store_dirty_ = false;
  NameToIdMap name_map_;
  std::map<Nid, std::unique_ptr<FolderState>> folders_;
  std::map<std::pair<Nid, std::string>, Nid> by_name_;        // (parent, name) -> child
  std::vector<std::pair<std::string, Nid>> receive_folders_;  // message class -> folder
  bool receive_dirty_ = false;
  size_t table_memory_bound_ = kDefaultTableMemoryBound;
  size_t held_row_bytes_ = 0;   // estimated size of the contents rows added since tables were last dropped
  TableScratch table_scratch_;  // kept from message to message
};

}  // namespace velmora::pst
