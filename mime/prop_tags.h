// Property IDs the importer sets, with their types. IDs are those of [MS-OXPROPS]; the notes say where a
// value comes from. A PropertyMap is keyed by property ID, the PropValue carries the type.
#pragma once

#include <array>
#include <cstdint>

namespace velmora::mime::tag {

// Message envelope.
constexpr uint16_t kMessageClass = 0x001A;  // PtypString
constexpr uint16_t kImportance = 0x0017;    // PtypInteger32: 0 low, 1 normal, 2 high
constexpr uint16_t kPriority = 0x0026;      // PtypInteger32: -1 non-urgent, 0 normal, 1 urgent
constexpr uint16_t kSensitivity = 0x0036;   // PtypInteger32: 0 none .. 3 company confidential
constexpr uint16_t kOriginatorDeliveryReportRequested = 0x0023;  // PtypBoolean
constexpr uint16_t kReadReceiptRequested = 0x0029;               // PtypBoolean
constexpr uint16_t kSubject = 0x0037;
constexpr uint16_t kSubjectPrefix = 0x003D;
constexpr uint16_t kNormalizedSubject = 0x0E1D;
constexpr uint16_t kConversationTopic = 0x0070;
constexpr uint16_t kConversationIndex = 0x0071;  // PtypBinary
constexpr uint16_t kClientSubmitTime = 0x0039;   // PtypTime
constexpr uint16_t kMessageDeliveryTime = 0x0E06;
constexpr uint16_t kCreationTime = 0x3007;
constexpr uint16_t kLastModificationTime = 0x3008;
constexpr uint16_t kTransportMessageHeaders = 0x007D;
constexpr uint16_t kInternetMessageId = 0x1035;
constexpr uint16_t kInReplyToId = 0x1042;
constexpr uint16_t kInternetReferences = 0x1039;
constexpr uint16_t kListHelp = 0x1043;
constexpr uint16_t kListSubscribe = 0x1044;
constexpr uint16_t kListUnsubscribe = 0x1045;
constexpr uint16_t kDisplayBcc = 0x0E02;
constexpr uint16_t kDisplayCc = 0x0E03;
constexpr uint16_t kDisplayTo = 0x0E04;
constexpr uint16_t kReplyRecipientEntries = 0x004F;  // PtypBinary, FlatEntryList
constexpr uint16_t kReplyRecipientNames = 0x0050;

// Bodies.
constexpr uint16_t kBody = 0x1000;              // PtypString
constexpr uint16_t kHtml = 0x1013;              // PtypBinary, in the part's own charset
constexpr uint16_t kInternetCodepage = 0x3FDE;  // PtypInteger32
constexpr uint16_t kMessageCodepage = 0x3FFD;   // PtypInteger32

// Address groups ([MS-OXCMAIL] 2.6): one set of IDs per role.
struct AddressGroup {
  uint16_t name, address_type, email, entry_id, search_key, smtp;
};
constexpr AddressGroup kSentRepresenting{0x0042, 0x0064, 0x0065, 0x0041, 0x003B, 0x5D02};
constexpr AddressGroup kSender{0x0C1A, 0x0C1E, 0x0C1F, 0x0C19, 0x0C1D, 0x5D01};
constexpr AddressGroup kReadReceipt{0x402B, 0x4029, 0x402A, 0x0046, 0x0053, 0x5D05};

// Recipient table row.
constexpr uint16_t kRecipientType = 0x0C15;  // 1 To, 2 Cc, 3 Bcc
constexpr uint16_t kResponsibility = 0x0E0F;
constexpr uint16_t kRecordKey = 0x0FF9;
constexpr uint16_t kObjectType = 0x0FFE;  // 6 = MAPI_MAILUSER
constexpr uint16_t kEntryId = 0x0FFF;
constexpr uint16_t kDisplayName = 0x3001;  // also the attachment's display name
constexpr uint16_t kAddressType = 0x3002;
constexpr uint16_t kEmailAddress = 0x3003;
constexpr uint16_t kSearchKey = 0x300B;
constexpr uint16_t kDisplayType = 0x3900;  // 0 = DT_MAILUSER
constexpr uint16_t kSmtpAddress = 0x39FE;
constexpr uint16_t kDisplayNamePrintable = 0x39FF;  // the 7-bit display name
constexpr uint16_t kSendRichInfo = 0x3A40;
constexpr uint16_t kSendInternetEncoding = 0x3A71;
constexpr uint16_t kRecipientOrder = 0x5FDF;
constexpr uint16_t kRecipientDisplayName = 0x5FF6;
constexpr uint16_t kRecipientEntryId = 0x5FF7;
constexpr uint16_t kRecipientFlags = 0x5FFD;  // 1 = recipSendable
constexpr uint16_t kRecipientTrackStatus = 0x5FFF;

// Attachment object.
constexpr uint16_t kAttachDataBinary = 0x3701;  // PtypBinary (method 1)
constexpr uint16_t kAttachExtension = 0x3703;
constexpr uint16_t kAttachFilename = 0x3704;  // 8.3 form
constexpr uint16_t kAttachMethod = 0x3705;    // 1 by value, 5 embedded message
constexpr uint16_t kAttachLongFilename = 0x3707;
constexpr uint16_t kRenderingPosition = 0x370B;
constexpr uint16_t kAttachMimeTag = 0x370E;
constexpr uint16_t kAttachContentBase = 0x3711;
constexpr uint16_t kAttachContentId = 0x3712;
constexpr uint16_t kAttachContentLocation = 0x3713;
constexpr uint16_t kAttachFlags = 0x3714;  // 0x4 attRenderedInBody
constexpr uint16_t kTextAttachmentCharset = 0x371B;
constexpr uint16_t kAttachmentLinkId = 0x7FFA;
constexpr uint16_t kAttachmentFlags = 0x7FFD;
constexpr uint16_t kAttachmentHidden = 0x7FFE;
constexpr uint16_t kAttachmentContactPhoto = 0x7FFF;

constexpr int32_t kAttachByValue = 1;
constexpr int32_t kAttachEmbeddedMessage = 5;

// Property sets of named properties, bytes as stored (Data1..Data3 little-endian, then Data4).
// PS_INTERNET_HEADERS {00020386-0000-0000-C000-000000000046}.
constexpr std::array<uint8_t, 16> kPsInternetHeaders{0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// PS_PUBLIC_STRINGS {00020329-0000-0000-C000-000000000046}.
constexpr std::array<uint8_t, 16> kPsPublicStrings{0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace velmora::mime::tag
