// Address identifiers that Outlook keeps next to an SMTP address: the one-off EntryID, the search key and the
// FlatEntryList of reply recipients.
//
// One-off EntryID ([MS-OXCDATA] 2.2.5.1), little-endian, no padding:
//   offset size  field
//   0      4     flags            0 (a long-term identifier)
//   4      16    provider UID     MAPI_ONE_OFF_UID 81 2B 1F A4 BE A3 10 19 9D 6E 00 DD 01 0F 54 02
//   20     2     version          0
//   22     2     one-off flags    0x8000 Unicode strings, 0x0001 no rich info, 0x1000 do not look up
//   24     var   display name     UTF-16LE + 00 00
//   ...    var   address type     "SMTP" UTF-16LE + 00 00
//   ...    var   email address    UTF-16LE + 00 00
//
// FlatEntryList ([MS-OXCDATA] 2.3.3): count (4), size of what follows (4), then per entry its EntryID size
// (4) and bytes, entries aligned to 4 bytes by padding between them.
//
// Search key (MAPI PidTagSearchKey): "SMTP:" + the address upper-cased + one NUL byte, ASCII.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::mime {

// Flags Outlook writes: entry IDs of SMTP one-offs 0x8001, the record key 0x9001 (observed in Outlook files).
constexpr uint16_t kOneOffEntryIdFlags = 0x8001;
constexpr uint16_t kOneOffRecordKeyFlags = 0x9001;

std::vector<uint8_t> OneOffEntryId(const std::string& display_name, const std::string& address,
                                   uint16_t flags = kOneOffEntryIdFlags);
// A one-off entry ID made by OneOffEntryId with its flags replaced: the record key from the entry ID, without
// converting the names again.
std::vector<uint8_t> WithOneOffFlags(std::vector<uint8_t> one_off, uint16_t flags);
void SetOneOffFlags(std::vector<uint8_t>& one_off, uint16_t flags);
std::vector<uint8_t> SmtpSearchKey(const std::string& address);
// The same made into `out` (what it held is replaced; its buffer is reused).
void MakeOneOffEntryId(const std::string& display_name, const std::string& address, uint16_t flags,
                       std::vector<uint8_t>& out);
void MakeSmtpSearchKey(const std::string& address, std::vector<uint8_t>& out);
std::vector<uint8_t> FlatEntryList(const std::vector<std::vector<uint8_t>>& entry_ids);

}  // namespace velmora::mime
