#include "pst/messaging/table_templates.h"

namespace velmora::pst::templates {

// Every template carries PidTagLtpRowId 0x67F20003 and PidTagLtpRowVer 0x67F30003, the row's NID and version.
//
// The order of each list is the order in which Outlook adds the columns to a new table: it fixes each
// column's cell-existence bit and its cell's position in a row (TCOLDESCs are still sorted by tag on disk).
// Taken from the templates of Outlook-made files, so our tables lay out as Outlook's do.
//
// The lists are never destroyed: a store still open when the process ends commits from a static object's
// destructor, which may run after function-local statics are gone.

const std::vector<PropTag>& HierarchyColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId, kTagLtpRowVer,
      0x3001001F,  // PidTagDisplayName
      0x36020003,  // PidTagContentCount
      0x36030003,  // PidTagContentUnreadCount
      0x360A000B,  // PidTagSubfolders
      0x0E300102,  // PidTagReplItemid
      0x0E330014,  // PidTagReplChangenum
      0x0E340102,  // PidTagReplVersionHistory
      0x0E380003,  // PidTagReplFlags
      0x3613001F,  // PidTagContainerClass
      0x66350003,  // PidTagPstHiddenCount
      0x66360003,  // PidTagPstHiddenUnread
  };
  return cols;
}

// Outlook 2010's 28 columns: the 20 of [MS-PST] 2.4.4.5.1 and the replication and change columns.
const std::vector<PropTag>& ContentsColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId, kTagLtpRowVer,
      0x0E170003,  // PidTagMessageStatus
      0x001A001F,  // PidTagMessageClass
      0x0E070003,  // PidTagMessageFlags
      0x00170003,  // PidTagImportance
      0x0042001F,  // PidTagSentRepresentingName
      0x0037001F,  // PidTagSubject
      0x0E060040,  // PidTagMessageDeliveryTime
      0x00390040,  // PidTagClientSubmitTime
      0x0E080003,  // PidTagMessageSize
      0x0E04001F,  // PidTagDisplayTo
      0x0E03001F,  // PidTagDisplayCc
      0x0057000B,  // PidTagMessageToMe
      0x0058000B,  // PidTagMessageCcMe
      0x00360003,  // PidTagSensitivity
      0x10970003,  // PidTagItemTemporaryFlags
      0x0070001F,  // PidTagConversationTopic
      0x00710102,  // PidTagConversationIndex
      0x30130102,  // PidTagChangeKey
      0x65C60003,  // PidTagSecureSubmitFlags
      0x30080040,  // PidTagLastModificationTime
      0x0E300102,  // PidTagReplItemid
      0x0E330014,  // PidTagReplChangenum
      0x0E340102,  // PidTagReplVersionHistory
      0x0E3D0102,  // PidTagReplCopiedfromItemid
      0x0E3C0102,  // PidTagReplCopiedfromVersionhistory
      0x0E380003,  // PidTagReplFlags
  };
  return cols;
}

const std::vector<PropTag>& AssocContentsColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId, kTagLtpRowVer,
      0x0E170003,  // PidTagMessageStatus
      0x001A001F,  // PidTagMessageClass
      0x0E070003,  // PidTagMessageFlags
      0x3001001F,  // PidTagDisplayName
      0x70030003,   0x70040102,    0x70050102, 0x7006001F, 0x70070003, 0x6800001F, 0x6803000B, 0x68051003,
      0x682F001F,  // view
  };
  return cols;
}

const std::vector<PropTag>& SearchContentsColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId, kTagLtpRowVer,
      0x67F10003,  // PidTagLtpParentNid
      0x0E05001F,  // PidTagParentDisplay
      0x0E170003,  // PidTagMessageStatus
      0x001A001F,  // PidTagMessageClass
      0x0E070003,  // PidTagMessageFlags
      0x00170003,  // PidTagImportance
      0x0042001F,  // PidTagSentRepresentingName
      0x0037001F,  // PidTagSubject
      0x0E060040,  // PidTagMessageDeliveryTime
      0x0E080003,  // PidTagMessageSize
      0x0E04001F,  // PidTagDisplayTo
      0x0E03001F,  // PidTagDisplayCc
      0x0057000B,  // PidTagMessageToMe
      0x0058000B,  // PidTagMessageCcMe
      0x00360003,  // PidTagSensitivity
      0x0E2A000B,  // PidTagExchangeRemoteHeader
      0x30080040,  // PidTagLastModificationTime
  };
  return cols;
}

const std::vector<PropTag>& RecipientColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId, kTagLtpRowVer,
      0x0E0F000B,  // PidTagResponsibility
      0x3002001F,  // PidTagAddressType
      0x3003001F,  // PidTagEmailAddress
      0x0FFF0102,  // PidTagEntryId
      0x3001001F,  // PidTagDisplayName
      0x0C150003,  // PidTagRecipientType
      0x300B0102,  // PidTagSearchKey
      0x0FF90102,  // PidTagRecordKey
      0x0FFE0003,  // PidTagObjectType
      0x39000003,  // PidTagDisplayType
      0x3A40000B,  // PidTagSendRichInfo
      0x39FF001F,  // PidTag7BitDisplayName
  };
  return cols;
}

const std::vector<PropTag>& AttachmentColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId, kTagLtpRowVer,
      0x370B0003,  // PidTagRenderingPosition
      0x0E200003,  // PidTagAttachSize
      0x37050003,  // PidTagAttachMethod
      0x3704001F,  // PidTagAttachFilename
  };
  return cols;
}

const std::vector<PropTag>& ReceiveFolderColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      kTagLtpRowId, kTagLtpRowVer,
      0x66050003,  // the
      0x001A001F,  // PidTagMessageClass
  };
  return cols;
}

const std::vector<PropTag>& OutgoingQueueColumns() {
  static const std::vector<PropTag>& cols = *new std::vector<PropTag>{
      0x000F0040,  // PidTagDeferredDeliveryTime
      0x00390040,  // PidTagClientSubmitTime
      0x0E070003,  // PidTagMessageFlags
      0x0E100003,  // (queue entry size)
      0x0E140003,  // PidTagSubmitFlags
      0x0E29001F,  // (queue entry text)
      0x0EA20003,  // (queue entry flags)
      0x67F10003,  // PidTagLtpParentNid
      kTagLtpRowId, kTagLtpRowVer,
  };
  return cols;
}

Table EmptyTable(const std::vector<PropTag>& columns) {
  Table t;
  t.columns = columns;
  return t;
}

}  // namespace velmora::pst::templates
