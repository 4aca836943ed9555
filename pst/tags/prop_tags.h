// The property tags this program reads and writes, each named once: the importer, the message writer and
// reader, the store skeleton, the table templates, the verifier and the tools all take them from here.
//
// A tag is the property ID in the high 16 bits and its type in the low 16 ([MS-OXCDATA] 2.9; IDs and names as
// in [MS-OXPROPS], "PidTag" left off). Each line below gives the name, the ID and the type once; from it come
//   tags::kName   the full tag (PropTag), for table columns and typed lookups;
//   ids::kName    the property ID alone, the key of a PropertyMap (whose values carry their own type).
// A property stored with two types has two names (kAttachDataBinary, kAttachDataObject). The row id and row
// version columns every table carries belong to the table layer (kTagLtpRowId, kTagLtpRowVer in
// pst/ltp/table_context.h).
#pragma once

#include <array>
#include <cstdint>

#include "pst/ltp/property.h"

// clang-format off
#define VELMORA_PROPERTY_TAGS(X)                                                                              \
  /* Message object ([MS-PST] 2.4.5.1.1 requires the class, flags, size, status, both times and the search   \
     key in every message). */                                                                               \
  X(MessageClass,                    0x001A, String)                                                         \
  X(MessageFlags,                    0x0E07, Integer32)                                                      \
  X(MessageSize,                     0x0E08, Integer32)                                                      \
  X(MessageStatus,                   0x0E17, Integer32)                                                      \
  X(CreationTime,                    0x3007, Time)                                                           \
  X(LastModificationTime,            0x3008, Time)                                                           \
  X(SearchKey,                       0x300B, Binary)                                                         \
  X(ConversationId,                  0x3013, Binary)     /* from the index or the topic; also in rows */     \
  X(ConversationIndexTracking,       0x3016, Boolean)    /* the index's GUID is the conversation ID */       \
  X(Importance,                      0x0017, Integer32)  /* 0 low, 1 normal, 2 high */                       \
  X(OriginatorDeliveryReportRequested, 0x0023, Boolean)                                                      \
  X(Priority,                        0x0026, Integer32)  /* -1 non-urgent, 0 normal, 1 urgent */             \
  X(ReadReceiptRequested,            0x0029, Boolean)                                                        \
  X(Sensitivity,                     0x0036, Integer32)  /* 0 none .. 3 company confidential */              \
  X(Subject,                         0x0037, String)                                                         \
  X(ClientSubmitTime,                0x0039, Time)                                                           \
  X(SubjectPrefix,                   0x003D, String)                                                         \
  X(ReplyRecipientEntries,           0x004F, Binary)     /* a FlatEntryList */                               \
  X(ReplyRecipientNames,             0x0050, String)                                                         \
  X(MessageToMe,                     0x0057, Boolean)                                                        \
  X(MessageCcMe,                     0x0058, Boolean)                                                        \
  X(ConversationTopic,               0x0070, String)                                                         \
  X(ConversationIndex,               0x0071, Binary)                                                         \
  X(TransportMessageHeaders,         0x007D, String)                                                         \
  X(DeferredDeliveryTime,            0x000F, Time)                                                           \
  X(DisplayBcc,                      0x0E02, String)                                                         \
  X(DisplayCc,                       0x0E03, String)                                                         \
  X(DisplayTo,                       0x0E04, String)                                                         \
  X(ParentDisplay,                   0x0E05, String)                                                         \
  X(MessageDeliveryTime,             0x0E06, Time)                                                           \
  X(SubmitFlags,                     0x0E14, Integer32)                                                      \
  X(HasAttachments,                  0x0E1B, Boolean)    /* computed by MAPI from the flags; never stored */ \
  X(NormalizedSubject,               0x0E1D, String)                                                         \
  X(ExchangeRemoteHeader,            0x0E2A, Boolean)                                                        \
  X(InternetMessageId,               0x1035, String)                                                         \
  X(InternetReferences,              0x1039, String)                                                         \
  X(InReplyToId,                     0x1042, String)                                                         \
  X(ListHelp,                        0x1043, String)                                                         \
  X(ListSubscribe,                   0x1044, String)                                                         \
  X(ListUnsubscribe,                 0x1045, String)                                                         \
  X(ItemTemporaryFlags,              0x1097, Integer32)                                                      \
  X(SecureSubmitFlags,               0x65C6, Integer32)                                                      \
  /* Bodies. */                                                                                              \
  X(Body,                            0x1000, String)                                                         \
  X(Html,                            0x1013, Binary)     /* in the part's own charset */                     \
  X(InternetCodepage,                0x3FDE, Integer32)                                                      \
  X(MessageCodepage,                 0x3FFD, Integer32)                                                      \
  /* Sender, sent-representing and read-receipt addresses ([MS-OXCMAIL] 2.6): one set per role. */           \
  X(SentRepresentingEntryId,         0x0041, Binary)                                                         \
  X(SentRepresentingName,            0x0042, String)                                                         \
  X(SentRepresentingSearchKey,       0x003B, Binary)                                                         \
  X(SentRepresentingAddressType,     0x0064, String)                                                         \
  X(SentRepresentingEmailAddress,    0x0065, String)                                                         \
  X(SentRepresentingSmtpAddress,     0x5D02, String)                                                         \
  X(SenderEntryId,                   0x0C19, Binary)                                                         \
  X(SenderName,                      0x0C1A, String)                                                         \
  X(SenderSearchKey,                 0x0C1D, Binary)                                                         \
  X(SenderAddressType,               0x0C1E, String)                                                         \
  X(SenderEmailAddress,              0x0C1F, String)                                                         \
  X(SenderSmtpAddress,               0x5D01, String)                                                         \
  X(ReadReceiptEntryId,              0x0046, Binary)                                                         \
  X(ReadReceiptSearchKey,            0x0053, Binary)                                                         \
  X(ReadReceiptAddressType,          0x4029, String)                                                         \
  X(ReadReceiptEmailAddress,         0x402A, String)                                                         \
  X(ReadReceiptName,                 0x402B, String)                                                         \
  X(ReadReceiptSmtpAddress,          0x5D05, String)                                                         \
  /* Recipient rows ([MS-OXOMSG] 2.2.3.1, [MS-OXCMSG] 2.2.1.x). */                                            \
  X(RecipientType,                   0x0C15, Integer32)  /* 1 To, 2 Cc, 3 Bcc */                            \
  X(Responsibility,                  0x0E0F, Boolean)                                                        \
  X(RecordKey,                       0x0FF9, Binary)                                                         \
  X(ObjectType,                      0x0FFE, Integer32)                                                      \
  X(EntryId,                         0x0FFF, Binary)                                                         \
  X(DisplayName,                     0x3001, String)     /* also of folders and attachments */               \
  X(AddressType,                     0x3002, String)                                                         \
  X(EmailAddress,                    0x3003, String)                                                         \
  X(Comment,                         0x3004, String)                                                         \
  X(DisplayType,                     0x3900, Integer32)                                                      \
  X(SmtpAddress,                     0x39FE, String)                                                         \
  X(DisplayNamePrintable,            0x39FF, String)     /* PidTagAddressBookDisplayNamePrintable, 7-bit */  \
  X(SendRichInfo,                    0x3A40, Boolean)                                                        \
  X(SendInternetEncoding,            0x3A71, Integer32)                                                      \
  X(RecipientOrder,                  0x5FDF, Integer32)                                                      \
  X(RecipientDisplayName,            0x5FF6, String)                                                         \
  X(RecipientEntryId,                0x5FF7, Binary)                                                         \
  X(RecipientFlags,                  0x5FFD, Integer32)  /* 1 = recipSendable */                             \
  X(RecipientTrackStatus,            0x5FFF, Integer32)                                                      \
  /* Attachment object ([MS-PST] 2.4.6, [MS-OXCMSG] 2.2.2). */                                                \
  X(AttachSize,                      0x0E20, Integer32)                                                      \
  X(AttachNumber,                    0x0E21, Integer32)  /* generated by MAPI; never stored in a PST */      \
  X(AttachDataBinary,                0x3701, Binary)     /* method 1 */                                      \
  X(AttachDataObject,                0x3701, Object)     /* method 5 */                                      \
  X(AttachExtension,                 0x3703, String)                                                         \
  X(AttachFilename,                  0x3704, String)     /* 8.3 form */                                      \
  X(AttachMethod,                    0x3705, Integer32)                                                      \
  X(AttachLongFilename,              0x3707, String)                                                         \
  X(AttachPathname,                  0x3708, String)                                                         \
  X(AttachTag,                       0x370A, Binary)                                                         \
  X(RenderingPosition,               0x370B, Integer32)                                                      \
  X(AttachLongPathname,              0x370D, String)                                                         \
  X(AttachMimeTag,                   0x370E, String)                                                         \
  X(AttachAdditionalInformation,     0x370F, Binary)                                                         \
  X(AttachContentBase,               0x3711, String)                                                         \
  X(AttachContentId,                 0x3712, String)                                                         \
  X(AttachContentLocation,           0x3713, String)                                                         \
  X(AttachFlags,                     0x3714, Integer32)  /* 0x4 attRenderedInBody */                         \
  X(AttachPayloadProviderGuidString, 0x3719, String)                                                         \
  X(AttachPayloadClass,              0x371A, String)                                                         \
  X(TextAttachmentCharset,           0x371B, String)                                                         \
  X(Attach6909,                      0x6909, Integer32)  /* unpublished; Outlook 2010 lists it */            \
  X(ExceptionReplaceTime,            0x7FF9, Time)                                                           \
  X(AttachmentLinkId,                0x7FFA, Integer32)                                                      \
  X(ExceptionStartTime,              0x7FFB, Time)                                                           \
  X(ExceptionEndTime,                0x7FFC, Time)                                                           \
  X(AttachmentFlags,                 0x7FFD, Integer32)                                                      \
  X(AttachmentHidden,                0x7FFE, Boolean)                                                        \
  X(AttachmentContactPhoto,          0x7FFF, Boolean)                                                        \
  /* Folders ([MS-PST] 2.4.4.1.1, [MS-OXCFOLD]). */                                                           \
  X(ContentCount,                    0x3602, Integer32)                                                      \
  X(ContentUnreadCount,              0x3603, Integer32)                                                      \
  X(Subfolders,                      0x360A, Boolean)                                                        \
  X(ContainerClass,                  0x3613, String)                                                         \
  X(PstHiddenCount,                  0x6635, Integer32)  /* FAI messages in the folder */                    \
  X(PstHiddenUnread,                 0x6636, Integer32)  /* unread FAI messages */                           \
  X(ExtendedFolderFlags,             0x36DA, Binary)                                                         \
  X(LtpParentNid,                    0x67F1, Integer32)                                                      \
  /* Default-folder entry IDs on the root folder and the Inbox ([MS-OXOSFLD] 2.2). */                         \
  X(IpmAppointmentEntryId,           0x36D0, Binary)                                                         \
  X(IpmContactEntryId,               0x36D1, Binary)                                                         \
  X(IpmJournalEntryId,               0x36D2, Binary)                                                         \
  X(IpmNoteEntryId,                  0x36D3, Binary)                                                         \
  X(IpmTaskEntryId,                  0x36D4, Binary)                                                         \
  X(RemindersOnlineEntryId,          0x36D5, Binary)                                                         \
  X(IpmDraftsEntryId,                0x36D7, Binary)                                                         \
  X(AdditionalRenEntryIds,           0x36D8, MultipleBinary) /* conflicts, sync, local, server, junk, ... */ \
  X(InboxUnknown36EB,                0x36EB, Binary)     /* on Outlook's Inbox, four zero bytes */           \
  /* Message store ([MS-PST] 2.4.3.1) and replication columns Outlook keeps in its tables. */                 \
  X(ReplItemid,                      0x0E30, Binary)                                                         \
  X(Repl0E31,                        0x0E31, Binary)     /* unpublished replication column */                \
  X(ReplChangenum,                   0x0E33, Integer64)                                                      \
  X(ReplVersionHistory,              0x0E34, Binary)                                                         \
  X(Repl0E37,                        0x0E37, Binary)     /* unpublished replication column */                \
  X(ReplFlags,                       0x0E38, Integer32)                                                      \
  X(ReplCopiedfromVersionhistory,    0x0E3C, Binary)                                                         \
  X(ReplCopiedfromItemid,            0x0E3D, Binary)                                                         \
  X(Repl0E3E,                        0x0E3E, Binary)     /* unpublished replication column */                \
  X(ValidFolderMask,                 0x35DF, Integer32)                                                      \
  X(IpmSubtreeEntryId,               0x35E0, Binary)                                                         \
  X(IpmOutboxEntryId,                0x35E2, Binary)                                                         \
  X(IpmWastebasketEntryId,           0x35E3, Binary)                                                         \
  X(IpmSentMailEntryId,              0x35E4, Binary)                                                         \
  X(FinderEntryId,                   0x35E7, Binary)                                                         \
  X(PstLrNoRestrictions,             0x6633, Boolean)                                                        \
  X(PstConfigFlags,                  0x66FA, Integer32)                                                      \
  X(PstPassword,                     0x67FF, Integer32)  /* CRC of the password; 0 = none, all we write */   \
  /* Receive folder table ([MS-PST] 2.4.3.3), search criteria ([MS-PST] 2.4.8.6), outgoing queue. */         \
  X(ReceiveFolderNid,                0x6605, Integer32)                                                      \
  X(SearchCriteriaFlags,             0x660B, Integer32)  /* the SPAM folder's criteria object holds only it */ \
  X(QueueEntrySize,                  0x0E10, Integer32)                                                      \
  X(QueueEntryText,                  0x0E29, String)                                                         \
  X(QueueEntryFlags,                 0x0EA2, Integer32)                                                      \
  /* Folder-associated (FAI) messages: view descriptors ([MS-OXOCFG] 2.2.6) and what Outlook lists beside. */ \
  X(OfflineAddressBookName,          0x6800, String)                                                         \
  X(SendOutlookRecallReport,         0x6803, Boolean)                                                        \
  X(OfflineAddressBookTruncatedProperties, 0x6805, MultipleInteger32)                                        \
  X(Assoc682F,                       0x682F, String)     /* unpublished; Outlook 2010 lists it */            \
  X(ViewDescriptorFlags,             0x7003, Integer32)                                                      \
  X(ViewDescriptorLinkTo,            0x7004, Binary)                                                         \
  X(ViewDescriptorViewFolder,        0x7005, Binary)                                                         \
  X(ViewDescriptorName,              0x7006, String)                                                         \
  X(ViewDescriptorVersion,           0x7007, Integer32)                                                      \
  /* Name-to-ID map ([MS-PST] 2.4.7); the buckets follow from 0x1000 (kNameidBucketBase). */                 \
  X(NameidBucketCount,               0x0001, Integer32)                                                      \
  X(NameidStreamGuid,                0x0002, Binary)                                                         \
  X(NameidStreamEntry,               0x0003, Binary)                                                         \
  X(NameidStreamString,              0x0004, Binary)
// clang-format on

namespace velmora::pst {

namespace tags {
#define VELMORA_FULL_TAG(name, id, type) constexpr PropTag k##name = MakeTag(id, kPtyp##type);
VELMORA_PROPERTY_TAGS(VELMORA_FULL_TAG)
#undef VELMORA_FULL_TAG
}  // namespace tags

namespace ids {
#define VELMORA_PROPERTY_ID(name, id, type) constexpr uint16_t k##name = id;
VELMORA_PROPERTY_TAGS(VELMORA_PROPERTY_ID)
#undef VELMORA_PROPERTY_ID
}  // namespace ids

namespace tags {

// Every tag once, for the check below and for tests.
#define VELMORA_TAG_ENTRY(name, id, type) k##name,
inline constexpr PropTag kAll[] = {VELMORA_PROPERTY_TAGS(VELMORA_TAG_ENTRY)};
#undef VELMORA_TAG_ENTRY

// No tag under two names: a second name for one property is how two layers come to disagree about it.
constexpr bool AllDistinct() {
  for (size_t i = 0; i < std::size(kAll); ++i)
    for (size_t j = i + 1; j < std::size(kAll); ++j)
      if (kAll[i] == kAll[j]) return false;
  return true;
}
static_assert(AllDistinct(), "a property tag is named twice in the catalogue");

constexpr uint16_t kNameidBucketBase = 0x1000;  // bucket i of the name-to-ID map is property 0x1000 + i
constexpr uint16_t kFirstNamedId = 0x8000;      // IDs from here on are names of the name-to-ID map

// Values of some of the properties above.
// PidTagMessageFlags bits ([MS-OXCMSG] 2.2.1.6).
constexpr uint32_t kMsgFlagRead = 0x01;
constexpr uint32_t kMsgFlagHasAttach = 0x10;

// PidTagAttachMethod ([MS-OXCMSG] 2.2.2.9).
constexpr int32_t kAttachByValue = 1;
constexpr int32_t kAttachEmbeddedMessage = 5;

// PidTagRenderingPosition: the attachment is not drawn at a character position of the body.
constexpr int32_t kRenderingPositionNone = -1;  // 0xFFFFFFFF

// PidTagRecipientType ([MS-OXOMSG] 2.2.3.1).
constexpr int32_t kRecipientTo = 1;
constexpr int32_t kRecipientCc = 2;
constexpr int32_t kRecipientBcc = 3;

// PidTagObjectType and PidTagDisplayType of a one-off mail user ([MS-OXCDATA] 2.2.5; MAPI_MAILUSER,
// DT_MAILUSER).
constexpr int32_t kObjectTypeMailUser = 6;
constexpr int32_t kDisplayTypeMailUser = 0;

}  // namespace tags

}  // namespace velmora::pst
