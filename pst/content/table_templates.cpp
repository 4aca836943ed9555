#include "pst/content/table_templates.h"

#include "pst/tags/prop_tags.h"

namespace velmora::pst::templates {

// Every template carries PidTagLtpRowId and PidTagLtpRowVer, the row's NID and version.
//
// The order of each list is the order in which Outlook adds the columns to a new table: it fixes each
// column's cell-existence bit and its cell's position in a row (TCOLDESCs are still sorted by tag on disk).
// Taken from the templates of Outlook-made files, so our tables lay out as Outlook's do.
//
// The lists are never destroyed: a store still open when the process ends commits from a static object's
// destructor, which may run after function-local statics are gone.

const std::vector<PropTag>& HierarchyColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId,
      kTagLtpRowVer,
      tags::kDisplayName,
      tags::kContentCount,
      tags::kContentUnreadCount,
      tags::kSubfolders,
      tags::kReplItemid,
      tags::kReplChangenum,
      tags::kReplVersionHistory,
      tags::kReplFlags,
      tags::kContainerClass,
      tags::kPstHiddenCount,
      tags::kPstHiddenUnread,
  };
  return cols;
}

// Outlook 2010's 28 columns: the 20 of [MS-PST] 2.4.4.5.1 and the replication and change columns.
const std::vector<PropTag>& ContentsColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId,
      kTagLtpRowVer,
      tags::kMessageStatus,
      tags::kMessageClass,
      tags::kMessageFlags,
      tags::kImportance,
      tags::kSentRepresentingName,
      tags::kSubject,
      tags::kMessageDeliveryTime,
      tags::kClientSubmitTime,
      tags::kMessageSize,
      tags::kDisplayTo,
      tags::kDisplayCc,
      tags::kMessageToMe,
      tags::kMessageCcMe,
      tags::kSensitivity,
      tags::kItemTemporaryFlags,
      tags::kConversationTopic,
      tags::kConversationIndex,
      tags::kConversationId,
      tags::kSecureSubmitFlags,
      tags::kLastModificationTime,
      tags::kReplItemid,
      tags::kReplChangenum,
      tags::kReplVersionHistory,
      tags::kReplCopiedfromItemid,
      tags::kReplCopiedfromVersionhistory,
      tags::kReplFlags,
  };
  return cols;
}

const std::vector<PropTag>& AssocContentsColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId,
      kTagLtpRowVer,
      tags::kMessageStatus,
      tags::kMessageClass,
      tags::kMessageFlags,
      tags::kDisplayName,
      tags::kViewDescriptorFlags,
      tags::kViewDescriptorLinkTo,
      tags::kViewDescriptorViewFolder,
      tags::kViewDescriptorName,
      tags::kViewDescriptorVersion,
      tags::kOfflineAddressBookName,
      tags::kSendOutlookRecallReport,
      tags::kOfflineAddressBookTruncatedProperties,
      tags::kAssoc682F,
  };
  return cols;
}

const std::vector<PropTag>& SearchContentsColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId,
      kTagLtpRowVer,
      tags::kLtpParentNid,
      tags::kParentDisplay,
      tags::kMessageStatus,
      tags::kMessageClass,
      tags::kMessageFlags,
      tags::kImportance,
      tags::kSentRepresentingName,
      tags::kSubject,
      tags::kMessageDeliveryTime,
      tags::kMessageSize,
      tags::kDisplayTo,
      tags::kDisplayCc,
      tags::kMessageToMe,
      tags::kMessageCcMe,
      tags::kSensitivity,
      tags::kExchangeRemoteHeader,
      tags::kLastModificationTime,
  };
  return cols;
}

const std::vector<PropTag>& RecipientColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId,          kTagLtpRowVer,
      tags::kResponsibility, tags::kAddressType,
      tags::kEmailAddress,   tags::kEntryId,
      tags::kDisplayName,    tags::kRecipientType,
      tags::kSearchKey,      tags::kRecordKey,
      tags::kObjectType,     tags::kDisplayType,
      tags::kSendRichInfo,   tags::kDisplayNamePrintable,
  };
  return cols;
}

const std::vector<PropTag>& AttachmentColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId,      kTagLtpRowVer,       tags::kRenderingPosition,
      tags::kAttachSize, tags::kAttachMethod, tags::kAttachFilename,
  };
  return cols;
}

const std::vector<PropTag>& ReceiveFolderColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId,
      kTagLtpRowVer,
      tags::kReceiveFolderNid,
      tags::kMessageClass,
  };
  return cols;
}

const std::vector<PropTag>& OutgoingQueueColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      tags::kDeferredDeliveryTime,
      tags::kClientSubmitTime,
      tags::kMessageFlags,
      tags::kQueueEntrySize,
      tags::kSubmitFlags,
      tags::kQueueEntryText,
      tags::kQueueEntryFlags,
      tags::kLtpParentNid,
      kTagLtpRowId,
      kTagLtpRowVer,
  };
  return cols;
}

// Three further templates of a new file (NIDs 0x6B6, 0x6D7, 0x6F8), with the columns Outlook gives them.
const std::vector<PropTag>& Template6B6Columns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      tags::kReplChangenum, tags::kRepl0E37, tags::kReplFlags, kTagLtpRowId, kTagLtpRowVer};
  return cols;
}

const std::vector<PropTag>& Template6D7Columns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{tags::kMessageClass,
                                                                      tags::kReplItemid,
                                                                      tags::kRepl0E31,
                                                                      tags::kReplChangenum,
                                                                      tags::kReplVersionHistory,
                                                                      tags::kReplFlags,
                                                                      tags::kRepl0E3E,
                                                                      kTagLtpRowId,
                                                                      kTagLtpRowVer};
  return cols;
}

const std::vector<PropTag>& Template6F8Columns() {
  static const std::vector<PropTag>& cols =
      *new std::vector<PropTag>{tags::kReplChangenum, tags::kCreationTime, kTagLtpRowId, kTagLtpRowVer};
  return cols;
}

const std::vector<PropTag>& AttachmentTableColumns() {
  static const std::vector<PropTag>& cols = *[] {
    auto* c = new std::vector<PropTag>(AttachmentColumns());
    c->insert(c->end(), {tags::kAttachFlags,
                         tags::kAttachTag,
                         tags::kAttachLongPathname,
                         tags::kAttachPathname,
                         tags::kAttachLongFilename,
                         tags::kAttachExtension,
                         tags::kDisplayName,
                         tags::kAttachAdditionalInformation,
                         tags::kAttachContentBase,
                         tags::kAttachContentLocation,
                         tags::kAttachContentId,
                         tags::kAttachMimeTag,
                         tags::kAttach6909,
                         tags::kAttachmentFlags,
                         tags::kExceptionStartTime,
                         tags::kExceptionEndTime,
                         tags::kAttachmentLinkId,
                         tags::kAttachmentHidden,
                         tags::kAttachmentContactPhoto,
                         tags::kExceptionReplaceTime,
                         tags::kAttachPayloadProviderGuidString,
                         tags::kAttachPayloadClass});
    return c;
  }();
  return cols;
}

Table EmptyTable(const std::vector<PropTag>& columns) {
  Table t;
  t.columns = columns;
  return t;
}

}  // namespace velmora::pst::templates
