// Identifiers of the node database ([MS-PST] 2.2.2.1 - 2.2.2.4), Unicode format.
//
// NID, 32 bits:  | nidIndex (27 bits) | nidType (5 bits) |
// BID, 64 bits:  | bidIndex (62 bits) | fInternal (1 bit) | reserved (1 bit, always 0) |
// IB,  64 bits:  absolute byte offset in the file.
#pragma once

#include <cstdint>

namespace velmora::pst {

using Nid = uint32_t;
using Bid = uint64_t;
using Ib = uint64_t;

// nidType values ([MS-PST] 2.2.2.1).
enum NidType : uint8_t {
  kNidTypeHid = 0x00,
  kNidTypeInternal = 0x01,
  kNidTypeNormalFolder = 0x02,
  kNidTypeSearchFolder = 0x03,
  kNidTypeNormalMessage = 0x04,
  kNidTypeAttachment = 0x05,
  kNidTypeSearchUpdateQueue = 0x06,
  kNidTypeSearchCriteriaObject = 0x07,
  kNidTypeAssocMessage = 0x08,
  kNidTypeContentsTableIndex = 0x0A,
  kNidTypeReceiveFolderTable = 0x0B,
  kNidTypeOutgoingQueueTable = 0x0C,
  kNidTypeHierarchyTable = 0x0D,
  kNidTypeContentsTable = 0x0E,
  kNidTypeAssocContentsTable = 0x0F,
  kNidTypeSearchContentsTable = 0x10,
  kNidTypeAttachmentTable = 0x11,
  kNidTypeRecipientTable = 0x12,
  kNidTypeSearchTableIndex = 0x13,
  kNidTypeLtp = 0x1F,
};

constexpr Nid MakeNid(uint8_t type, uint32_t index) {
  return (index << 5) | (type & 0x1Fu);
}
constexpr uint8_t NidTypeOf(Nid nid) {
  return static_cast<uint8_t>(nid & 0x1Fu);
}
constexpr uint32_t NidIndexOf(Nid nid) {
  return nid >> 5;
}

// fInternal: the block holds ndb structure (XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK), not node data.
constexpr Bid kBidInternalBit = 0x2;
constexpr bool IsInternalBid(Bid bid) {
  return (bid & kBidInternalBit) != 0;
}

// Fixed NIDs of the message store ([MS-PST] 2.4.1 and the table templates of 2.4.4.4 - 2.4.4.6).
constexpr Nid kNidMessageStore = 0x21;
constexpr Nid kNidNameToIdMap = 0x61;
constexpr Nid kNidNormalFolderTemplate = 0xA1;
constexpr Nid kNidSearchFolderTemplate = 0xC1;
constexpr Nid kNidRootFolder = 0x122;
constexpr Nid kNidSearchManagementQueue = 0x1E1;
constexpr Nid kNidSearchActivityList = 0x201;
constexpr Nid kNidReserved1 = 0x241;
constexpr Nid kNidSearchDomainObject = 0x261;
constexpr Nid kNidSearchGathererQueue = 0x281;
constexpr Nid kNidSearchGathererDescriptor = 0x2A1;
constexpr Nid kNidReserved2 = 0x2E1;
constexpr Nid kNidReserved3 = 0x301;
constexpr Nid kNidSearchGathererFolderQueue = 0x321;
constexpr Nid kNidHierarchyTableTemplate = 0x60D;
constexpr Nid kNidContentsTableTemplate = 0x60E;
constexpr Nid kNidAssocContentsTableTemplate = 0x60F;
constexpr Nid kNidSearchContentsTableTemplate = 0x610;
constexpr Nid kNidReceiveFolderTable = 0x62B;
constexpr Nid kNidOutgoingQueueTable = 0x64C;
constexpr Nid kNidAttachmentTable = 0x671;
constexpr Nid kNidRecipientTable = 0x692;

}  // namespace velmora::pst
