// The property IDs the importer sets come from the catalogue in pst/tags/prop_tags.h (`tag::kSubject` is
// `pst::ids::kSubject`; a PropertyMap is keyed by property ID, the PropValue carries the type). Here: the
// address roles the importer fills as groups and the property sets of the named properties it adds.
#pragma once

#include <array>
#include <cstdint>

#include "pst/tags/prop_tags.h"

namespace velmora::mime::tag {

using namespace pst::ids;
using pst::tags::kAttachByValue;
using pst::tags::kAttachEmbeddedMessage;

// Address groups ([MS-OXCMAIL] 2.6): one set of IDs per role.
struct AddressGroup {
  uint16_t name, address_type, email, entry_id, search_key, smtp;
};
constexpr AddressGroup kSentRepresenting{kSentRepresentingName,         kSentRepresentingAddressType,
                                         kSentRepresentingEmailAddress, kSentRepresentingEntryId,
                                         kSentRepresentingSearchKey,    kSentRepresentingSmtpAddress};
constexpr AddressGroup kSender{kSenderName,    kSenderAddressType, kSenderEmailAddress,
                               kSenderEntryId, kSenderSearchKey,   kSenderSmtpAddress};
constexpr AddressGroup kReadReceipt{kReadReceiptName,    kReadReceiptAddressType, kReadReceiptEmailAddress,
                                    kReadReceiptEntryId, kReadReceiptSearchKey,   kReadReceiptSmtpAddress};

// Property sets of named properties, bytes as stored (Data1..Data3 little-endian, then Data4).
// PS_INTERNET_HEADERS {00020386-0000-0000-C000-000000000046}.
constexpr std::array<uint8_t, 16> kPsInternetHeaders{0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// PS_PUBLIC_STRINGS {00020329-0000-0000-C000-000000000046}.
constexpr std::array<uint8_t, 16> kPsPublicStrings{0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace velmora::mime::tag
