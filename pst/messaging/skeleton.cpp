// The nodes of a new, empty store: what Outlook 2010 writes when it makes a new data file ([MS-PST] 2.7),
// checked against the NBT of Outlook-made files.
//
// | NID    | what                                  | content we write                                  |
// | 0x21   | message store PC                      | record key, display name, entry IDs (see below)   |
// | 0x61   | name-to-ID map PC                     | bucket count 251, Outlook's first 8 appointment names |
// | 0x122  | root folder (+0x12D/E/F tables)        | rows: IPM subtree, Search Root, SPAM search folder |
// | 0x1E1  | search management queue               | empty node                                         |
// | 0x201  | search activity list                  | the NIDs of the search folders (0x2223)            |
// | 0x261  | search domain object                  | empty node                                         |
// | 0x281, 0x321 | search gatherer / folder queues | empty nodes                                        |
// | 0x2A1  | search gatherer descriptor            | empty node (the indexer rebuilds it)               |
// | 0x501, 0xE01, 0xE41 | internal, undocumented     | empty nodes                                        |
// | 0xC01  | internal GUID -> NID map (bClientSig 0x9C) | empty heap: BTH of 16-byte keys, 4-byte data  |
// | 0x60D, 0x60E, 0x60F, 0x610 | folder table templates | columns of table_templates.cpp, no rows      |
// | 0x671, 0x692 | attachment / recipient templates |                                                    |
// | 0x6B6, 0x6D7, 0x6F8 | further (replication) templates | their columns, no rows                     |
// | 0x62B  | receive folder table                  | one row: class "" -> root folder                   |
// | 0x64C  | outgoing queue                        | its columns, no rows                               |
// | 0x8022 | IPM subtree "Top of Personal Folders"  | folder; row: Deleted Items                        |
// | 0x8042 | finder "Search Root"                   | folder                                             |
// | 0x8062 | Deleted Items                          | folder, below the IPM subtree                      |
// | 0x2223 | "SPAM Search Folder 2" search folder   | PC + 0x2226 update queue (empty) + 0x2227 criteria |
// |        |                                        | (PC) + 0x2230 search contents table               |
//
// Empty folder tables share the template's data block, as Outlook's do.
#include "pst/content/table_templates.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/le_bytes.h"
#include "pst/messaging/message_store.h"
#include "pst/messaging/node_io.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

namespace {

constexpr Nid kNidIpmSubtree = 0x8022;
constexpr Nid kNidSearchRoot = 0x8042;
constexpr Nid kNidDeletedItems = 0x8062;
constexpr Nid kNidSpamSearchFolder = 0x2223;
constexpr Nid kNidSpamUpdateQueue = 0x2226;
constexpr Nid kNidSpamCriteria = 0x2227;
constexpr Nid kNidSpamContents = 0x2230;
constexpr Nid kNidInternal501 = 0x501;
constexpr Nid kNidGuidMap = 0xC01;
constexpr Nid kNidInternalE01 = 0xE01;
constexpr Nid kNidInternalE41 = 0xE41;
constexpr Nid kNidTemplate6B6 = 0x6B6;
constexpr Nid kNidTemplate6D7 = 0x6D7;
constexpr Nid kNidTemplate6F8 = 0x6F8;

constexpr int32_t kPstConfigFlagsNewFile = 0x000E0011;  // what Outlook 2010 writes in PidTagPstConfigFlags
constexpr int32_t kValidMaskNewFile = 0x89;             // IPM subtree | Wastebasket | Finder

// PSETID_Appointment {00062002-0000-0000-C000-000000000046}, as stored.
const Guid kPsetidAppointment = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// The first names Outlook registers in a new file (busy status, recurring, recurrence type, recurrence,
// start, end, clip start, clip end): a map without entries is refused by some readers (libpff).
constexpr uint32_t kNewFileAppointmentLids[] = {0x8205, 0x8223, 0x8231, 0x8216,
                                                0x820D, 0x820E, 0x8235, 0x8236};

PropertyMap SkeletonFolderProps(std::string_view name, bool subfolders) {
  PropertyMap p;
  p[TagId(tags::kDisplayName)] = PropValue::String(name);
  p[TagId(tags::kContentCount)] = PropValue::Int32(0);
  p[TagId(tags::kContentUnreadCount)] = PropValue::Int32(0);
  p[TagId(tags::kSubfolders)] = PropValue::Bool(subfolders);
  return p;
}

// The 0x9C heap of node 0xC01, empty:
// | HID  | size | content                                                                  |
// | 0x20 |    4 | HID of the BTH header (0x40); the heap's user root                        |
// | 0x40 |    8 | BTHHEADER: bType 0xB5, cbKey 16 (a GUID), cbEnt 4 (a NID), 0 levels, root 0 |
Result<Bid> EmptyGuidMap(NodeStore& nodes) {
  constexpr uint8_t kClientSigGuidMap = 0x9C;
  constexpr uint8_t kGuidKeySize = 16;
  constexpr uint8_t kNidEntrySize = 4;
  HeapWriter heap(kClientSigGuidMap);
  PST_ASSIGN_OR_RETURN(Hid root, heap.Reserve(4));
  const uint8_t bth[8] = {kClientSigBth, kGuidKeySize, kNidEntrySize, 0, 0, 0, 0, 0};
  PST_ASSIGN_OR_RETURN(Hid header, heap.Allocate(bth));
  uint8_t ref[4];
  le::Put32(ref, 0, header);
  PST_RETURN_IF_ERROR(heap.Overwrite(root, ref));
  heap.SetUserRoot(root);
  return heap.Finish(nodes);
}

}  // namespace

class SkeletonWriter {
 public:
  static Status Write(MessageStore& ms, const MessageStore::CreateOptions& options);
};

Status SkeletonWriter::Write(MessageStore& ms, const MessageStore::CreateOptions& options) {
  NodeStore& n = ms.nodes_;
  ms.record_key_ = options.record_key ? *options.record_key : NewRecordKey();
  ms.display_name_ = options.display_name;

  // Table templates first: new folders share their data blocks.
  using namespace templates;
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidHierarchyTableTemplate, EmptyTable(HierarchyColumns())));
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidContentsTableTemplate, EmptyTable(ContentsColumns())));
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidAssocContentsTableTemplate, EmptyTable(AssocContentsColumns())));
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidSearchContentsTableTemplate, EmptyTable(SearchContentsColumns())));
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidAttachmentTable, EmptyTable(AttachmentColumns())));
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidRecipientTable, EmptyTable(RecipientColumns())));
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidTemplate6B6, EmptyTable(Template6B6Columns())));
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidTemplate6D7, EmptyTable(Template6D7Columns())));
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidTemplate6F8, EmptyTable(Template6F8Columns())));
  PST_RETURN_IF_ERROR(PutTableNode(n, kNidOutgoingQueueTable, EmptyTable(OutgoingQueueColumns())));
  ms.receive_folders_ = {{"", kNidRootFolder}};
  ms.receive_dirty_ = true;

  // Search and internal nodes.
  for (Nid empty : {kNidSearchManagementQueue, kNidSearchDomainObject, kNidSearchGathererQueue,
                    kNidSearchGathererDescriptor, kNidSearchGathererFolderQueue, kNidInternal501,
                    kNidInternalE01, kNidInternalE41}) {
    PST_RETURN_IF_ERROR(PutEmptyNode(n, empty));
  }
  uint8_t activity[4];
  le::Put32(activity, 0, kNidSpamSearchFolder);
  PST_RETURN_IF_ERROR(PutRawNode(n, kNidSearchActivityList, 0, activity));
  PST_ASSIGN_OR_RETURN(Bid guid_map, EmptyGuidMap(n));
  PST_RETURN_IF_ERROR(n.PutNode(NodeEntry{kNidGuidMap, guid_map, 0, 0}));
  for (uint32_t lid : kNewFileAppointmentLids) {
    PST_RETURN_IF_ERROR(ms.name_map_.Register({kPsetidAppointment, false, lid, ""}).status());
  }
  PST_RETURN_IF_ERROR(PutPropertyNode(n, kNidNameToIdMap, 0, ms.name_map_.ToProperties()));
  ms.name_map_.clear_dirty();

  // Folders. The root is its own parent; its rows come in Outlook's order.
  auto add = [&](Nid parent, Nid nid, PropertyMap props, bool search) {
    return ms.AddNewFolder(parent, nid, std::move(props), search);
  };
  PST_RETURN_IF_ERROR(add(kNidRootFolder, kNidRootFolder, SkeletonFolderProps("", false), false));
  PST_RETURN_IF_ERROR(
      add(kNidRootFolder, kNidIpmSubtree, SkeletonFolderProps("Top of Personal Folders", false), false));
  PST_RETURN_IF_ERROR(add(kNidRootFolder, kNidSearchRoot, SkeletonFolderProps("Search Root", false), false));
  PST_RETURN_IF_ERROR(
      add(kNidRootFolder, kNidSpamSearchFolder, SkeletonFolderProps("SPAM Search Folder 2", false), true));
  PropertyMap deleted = SkeletonFolderProps("Deleted Items", false);
  deleted[TagId(tags::kComment)] = PropValue::String("Deleted Items folder");
  PST_RETURN_IF_ERROR(add(kNidIpmSubtree, kNidDeletedItems, std::move(deleted), false));

  PST_RETURN_IF_ERROR(PutEmptyNode(n, kNidSpamUpdateQueue));
  PropertyMap criteria;
  criteria[ids::kSearchCriteriaFlags] = PropValue::Int32(0);
  PST_RETURN_IF_ERROR(PutPropertyNode(n, kNidSpamCriteria, 0, criteria));
  PST_RETURN_IF_ERROR(PutSharedNode(n, kNidSpamContents, kNidSearchContentsTableTemplate));

  // The store PC ([MS-PST] 2.4.3.1). Never a password: PidTagPstPassword 0.
  PropertyMap& s = ms.store_props_;
  std::vector<uint8_t> version_history(24, 0);  // PidTagReplVersionHistory: 1, a GUID, 1
  RecordKey history_guid = NewRecordKey();
  le::Put32(version_history, 0, 1);
  std::copy(history_guid.begin(), history_guid.end(), version_history.begin() + 4);
  le::Put32(version_history, 20, 1);
  s[TagId(tags::kReplVersionHistory)] = PropValue::Binary(std::move(version_history));
  s[TagId(tags::kReplFlags)] = PropValue::Int32(0);
  s[TagId(tags::kRecordKey)] =
      PropValue::Binary(std::vector<uint8_t>(ms.record_key_.begin(), ms.record_key_.end()));
  s[TagId(tags::kDisplayName)] = PropValue::String(ms.display_name_);
  s[TagId(tags::kValidFolderMask)] = PropValue::Int32(kValidMaskNewFile);
  s[TagId(tags::kIpmSubtreeEntryId)] = PropValue::Binary(ms.FolderEntryId(kNidIpmSubtree));
  s[TagId(tags::kIpmWastebasketEntryId)] = PropValue::Binary(ms.FolderEntryId(kNidDeletedItems));
  s[TagId(tags::kFinderEntryId)] = PropValue::Binary(ms.FolderEntryId(kNidSearchRoot));
  s[TagId(tags::kPstLrNoRestrictions)] = PropValue::Bool(true);
  s[TagId(tags::kPstConfigFlags)] = PropValue::Int32(kPstConfigFlagsNewFile);
  s[TagId(tags::kPstPassword)] = PropValue::Int32(0);
  ms.store_dirty_ = true;
  return ms.Commit();
}

Result<std::unique_ptr<MessageStore>> MessageStore::Create(NodeStore& nodes, const CreateOptions& options) {
  PST_ASSIGN_OR_RETURN(auto existing, nodes.FindNode(kNidMessageStore));
  if (existing) return Status::AlreadyExists("the file already holds a message store");
  std::unique_ptr<MessageStore> ms(new MessageStore(nodes));
  PST_RETURN_IF_ERROR(SkeletonWriter::Write(*ms, options));
  return ms;
}

}  // namespace velmora::pst
