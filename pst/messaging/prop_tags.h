// Property tags the messaging layer reads and writes itself ([MS-OXPROPS]; tag = id << 16 | type).
#pragma once

#include "pst/ltp/property.h"

namespace velmora::pst::tags {

// Folders ([MS-PST] 2.4.4.1.1, [MS-OXCFOLD]).
constexpr PropTag kDisplayName = 0x3001001F;
constexpr PropTag kComment = 0x3004001F;
constexpr PropTag kContentCount = 0x36020003;
constexpr PropTag kContentUnreadCount = 0x36030003;
constexpr PropTag kSubfolders = 0x360A000B;
constexpr PropTag kContainerClass = 0x3613001F;
constexpr PropTag kPstHiddenCount = 0x66350003;   // FAI messages in the folder
constexpr PropTag kPstHiddenUnread = 0x66360003;  // unread FAI messages
constexpr PropTag kExtendedFolderFlags = 0x36DA0102;

// Default-folder entry IDs on the root folder and the Inbox ([MS-OXOSFLD] 2.2).
constexpr PropTag kIpmAppointmentEntryId = 0x36D00102;
constexpr PropTag kIpmContactEntryId = 0x36D10102;
constexpr PropTag kIpmJournalEntryId = 0x36D20102;
constexpr PropTag kIpmNoteEntryId = 0x36D30102;
constexpr PropTag kIpmTaskEntryId = 0x36D40102;
constexpr PropTag kRemindersOnlineEntryId = 0x36D50102;
constexpr PropTag kIpmDraftsEntryId = 0x36D70102;
constexpr PropTag kAdditionalRenEntryIds =
    0x36D81102;                                    // MV binary: conflicts, sync, local, server, junk, ...
constexpr PropTag kInboxUnknown36EB = 0x36EB0102;  // present on Outlook's Inbox, four zero bytes

// Message store ([MS-PST] 2.4.3.1).
constexpr PropTag kReplVersionHistory = 0x0E340102;
constexpr PropTag kReplFlags = 0x0E380003;
constexpr PropTag kRecordKey = 0x0FF90102;
constexpr PropTag kValidFolderMask = 0x35DF0003;
constexpr PropTag kIpmSubtreeEntryId = 0x35E00102;
constexpr PropTag kIpmOutboxEntryId = 0x35E20102;
constexpr PropTag kIpmWastebasketEntryId = 0x35E30102;
constexpr PropTag kIpmSentMailEntryId = 0x35E40102;
constexpr PropTag kFinderEntryId = 0x35E70102;
constexpr PropTag kPstLrNoRestrictions = 0x6633000B;
constexpr PropTag kPstConfigFlags = 0x66FA0003;
constexpr PropTag kPstPassword = 0x67FF0003;  // CRC of the password; 0 = none, and we never write another

// Receive folder table ([MS-PST] 2.4.3.3) and search criteria ([MS-PST] 2.4.8.6).
constexpr PropTag kMessageClass = 0x001A001F;
constexpr PropTag kReceiveFolderNid = 0x66050003;

// Name-to-ID map ([MS-PST] 2.4.7).
constexpr uint16_t kNameidBucketCount = 0x0001;
constexpr uint16_t kNameidStreamGuid = 0x0002;
constexpr uint16_t kNameidStreamEntry = 0x0003;
constexpr uint16_t kNameidStreamString = 0x0004;
constexpr uint16_t kNameidBucketBase = 0x1000;

constexpr uint16_t IdOf(PropTag t) {
  return TagId(t);
}

}  // namespace velmora::pst::tags
