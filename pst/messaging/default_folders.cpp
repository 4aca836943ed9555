// The default folder set and how Outlook finds each folder of it ([MS-PST] 2.4.3.1 - 2.4.3.3,
// [MS-OXOSFLD] 2.2):
//
// | code | folder        | class           | where Outlook looks                                        |
// |    3 | Deleted Items | (none)          | store PidTagIpmWastebasketEntryId 0x35E3                  |
// |    4 | Outbox        | IPF.Note        | store PidTagIpmOutboxEntryId 0x35E2                       |
// |    5 | Sent Items    | IPF.Note        | store PidTagIpmSentMailEntryId 0x35E4                     |
// |    6 | Inbox         | IPF.Note        | receive folder table 0x62B, classes "", "IPM", "Report.IPM" |
// |    9 | Calendar      | IPF.Appointment | 0x36D0 on the root folder and the Inbox                    |
// |   10 | Contacts      | IPF.Contact     | 0x36D1                                                     |
// |   11 | Journal       | IPF.Journal     | 0x36D2                                                     |
// |   12 | Notes         | IPF.StickyNote  | 0x36D3                                                     |
// |   13 | Tasks         | IPF.Task        | 0x36D4                                                     |
// |   16 | Drafts        | IPF.Note        | 0x36D7                                                     |
// |   23 | Junk E-mail   | IPF.Note        | 0x36D8 PidTagAdditionalRenEntryIds, value index 4          |
#include "pst/messaging/message_store.h"
#include "pst/messaging/node_io.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

namespace {

struct DefaultFolderKind {
  int code;
  const char* name;
  const char* container_class;  // "" = none
  const char* comment;
  PropTag root_property;  // 0 = found elsewhere
};

// In the order ValidateIpmTree creates them, which gives the NID order of an Outlook default store.
constexpr DefaultFolderKind kDefaultFolders[] = {
    {kFolderInbox, "Inbox", "IPF.Note", "Inbox folder", 0},
    {kFolderOutbox, "Outbox", "IPF.Note", "Outbox folder", 0},
    {kFolderSentMail, "Sent Items", "IPF.Note", "Sent Items folder", 0},
    {kFolderDeletedItems, "Deleted Items", "", "Deleted Items folder", 0},
    {kFolderCalendar, "Calendar", "IPF.Appointment", "Calendar folder", tags::kIpmAppointmentEntryId},
    {kFolderContacts, "Contacts", "IPF.Contact", "Contacts folder", tags::kIpmContactEntryId},
    {kFolderJournal, "Journal", "IPF.Journal", "Journal folder", tags::kIpmJournalEntryId},
    {kFolderNotes, "Notes", "IPF.StickyNote", "Notes folder", tags::kIpmNoteEntryId},
    {kFolderTasks, "Tasks", "IPF.Task", "Tasks folder", tags::kIpmTaskEntryId},
    {kFolderDrafts, "Drafts", "IPF.Note", "Drafts folder", tags::kIpmDraftsEntryId},
    {kFolderJunk, "Junk E-mail", "IPF.Note", "Junk E-mail folder", 0},
};

// PidTagAdditionalRenEntryIds: 0 conflicts, 1 sync issues, 2 local failures, 3 server failures, 4 junk;
// Outlook writes a sixth, empty value.
constexpr size_t kJunkRenIndex = 4;
constexpr size_t kRenEntryCount = 6;

// PidTagValidFolderMask bits ([MS-PST] 2.4.3.1): IPM subtree, Inbox, Outbox, Wastebasket, Sent, Finder.
constexpr int32_t kMaskIpmSubtree = 0x01, kMaskInbox = 0x02, kMaskOutbox = 0x04, kMaskWastebasket = 0x08,
                  kMaskSentMail = 0x10, kMaskFinder = 0x80;

// The receive-folder rows of an Outlook default store: mail classes go to the Inbox, IPC to the root.
const char* const kInboxClasses[] = {"", "IPM", "Report.IPM"};
constexpr const char* kRootClass = "IPC";

const DefaultFolderKind* KindOf(int code) {
  for (auto& s : kDefaultFolders)
    if (s.code == code) return &s;
  return nullptr;
}

}  // namespace

Result<Nid> MessageStore::RootEntryIdProperty(PropTag tag, int index) const {
  auto missing = [&] {
    return Status::NotFound("the root folder has no default folder under " + NidText(tag));
  };
  PST_ASSIGN_OR_RETURN(const PropertyMap* props, FolderProperties(kNidRootFolder));
  auto it = props->find(TagId(tag));
  if (it == props->end()) return missing();
  PST_ASSIGN_OR_RETURN(auto bytes, it->second.Load());
  if (index >= 0) {
    auto items = DecodeMultiValue(it->second.type, bytes);
    if (!items || static_cast<size_t>(index) >= items->size()) return missing();
    bytes = (*items)[static_cast<size_t>(index)];
  }
  auto nid = NidFromEntryId(record_key_, bytes);
  if (!nid.ok() || !Folder(*nid)) return missing();
  return *nid;
}

Result<Nid> MessageStore::DefaultFolder(int code) const {
  switch (code) {
    case kFolderDeletedItems:
      return StoreEntryIdProperty(tags::kIpmWastebasketEntryId);
    case kFolderOutbox:
      return StoreEntryIdProperty(tags::kIpmOutboxEntryId);
    case kFolderSentMail:
      return StoreEntryIdProperty(tags::kIpmSentMailEntryId);
    case kFolderInbox: {
      auto ipm = IpmSubtree();
      for (const char* cls : {"IPM", ""}) {
        for (auto& [c, nid] : receive_folders_) {
          // A store without an Inbox sends mail to its root or IPM subtree; that is not an Inbox.
          if (c == cls && Folder(nid) && nid != kNidRootFolder && !(ipm.ok() && nid == *ipm)) return nid;
        }
      }
      return Status::NotFound("the store has no Inbox");
    }
    case kFolderJunk:
      return RootEntryIdProperty(tags::kAdditionalRenEntryIds, kJunkRenIndex);
    default:
      break;
  }
  const DefaultFolderKind* kind = KindOf(code);
  if (!kind || kind->root_property == 0) {
    return Status::InvalidArgument("no default folder has code " + std::to_string(code));
  }
  return RootEntryIdProperty(kind->root_property, -1);
}

void MessageStore::SetStoreEntryId(PropTag tag, Nid nid) {
  store_props_[TagId(tag)] = PropValue::Binary(FolderEntryId(nid));
  store_dirty_ = true;
}

Result<Nid> MessageStore::EnsureDefaultFolder(Nid parent, int code) {
  if (auto found = DefaultFolder(code); found.ok()) return *found;
  const DefaultFolderKind* kind = KindOf(code);
  if (auto existing = FindSubFolder(parent, kind->name)) return *existing;
  PST_ASSIGN_OR_RETURN(Nid nid, CreateFolder(parent, kind->name, kind->container_class));
  PST_RETURN_IF_ERROR(SetFolderProperty(nid, tags::kComment, PropValue::String(kind->comment)));
  return nid;
}

Status MessageStore::ValidateIpmTree() {
  PST_ASSIGN_OR_RETURN(Nid ipm, IpmSubtree());
  std::map<int, Nid> made;
  for (auto& kind : kDefaultFolders) {
    PST_ASSIGN_OR_RETURN(made[kind.code], EnsureDefaultFolder(ipm, kind.code));
  }

  // The store's entry IDs and valid-folder mask.
  SetStoreEntryId(tags::kIpmOutboxEntryId, made[kFolderOutbox]);
  SetStoreEntryId(tags::kIpmWastebasketEntryId, made[kFolderDeletedItems]);
  SetStoreEntryId(tags::kIpmSentMailEntryId, made[kFolderSentMail]);
  int32_t mask = 0;
  if (auto it = store_props_.find(TagId(tags::kValidFolderMask)); it != store_props_.end()) {
    mask = it->second.AsInt32().value_or(0);
  }
  mask |= kMaskIpmSubtree | kMaskInbox | kMaskOutbox | kMaskWastebasket | kMaskSentMail | kMaskFinder;
  store_props_[TagId(tags::kValidFolderMask)] = PropValue::Int32(mask);
  store_dirty_ = true;

  // The receive folder table: mail to the Inbox, IPC to the root folder.
  std::vector<std::pair<std::string, Nid>> receive;
  for (const char* cls : kInboxClasses) receive.emplace_back(cls, made[kFolderInbox]);
  receive.emplace_back(kRootClass, kNidRootFolder);
  for (auto& row : receive_folders_) {
    bool ours = false;
    for (auto& r : receive) ours |= r.first == row.first;
    if (!ours) receive.push_back(row);
  }
  if (receive != receive_folders_) {
    receive_folders_ = std::move(receive);
    receive_dirty_ = true;
  }

  // The entry-ID properties on the root folder and the Inbox.
  for (Nid holder : {kNidRootFolder, made[kFolderInbox]}) {
    for (auto& kind : kDefaultFolders) {
      if (kind.root_property == 0) continue;
      PST_RETURN_IF_ERROR(
          SetFolderProperty(holder, kind.root_property, PropValue::Binary(FolderEntryId(made[kind.code]))));
    }
    std::vector<std::vector<uint8_t>> ren(kRenEntryCount);
    PST_ASSIGN_OR_RETURN(const PropertyMap* props, FolderProperties(holder));
    if (auto it = props->find(TagId(tags::kAdditionalRenEntryIds)); it != props->end()) {
      PST_ASSIGN_OR_RETURN(auto bytes, it->second.Load());
      if (auto items = DecodeMultiValue(it->second.type, bytes)) {
        if (items->size() > ren.size()) ren.resize(items->size());
        std::copy(items->begin(), items->end(), ren.begin());
      }
    }
    ren[kJunkRenIndex] = FolderEntryId(made[kFolderJunk]);
    PST_RETURN_IF_ERROR(
        SetFolderProperty(holder, tags::kAdditionalRenEntryIds,
                          PropValue::Raw(kPtypMultipleBinary, EncodeMultiValue(kPtypMultipleBinary, ren))));
  }
  return Status::Ok();
}

}  // namespace velmora::pst
