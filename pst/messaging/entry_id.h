// Entry IDs of the objects inside one PST ([MS-PST] 2.4.3.2).
//
// Folder / message entry ID, 24 bytes:
// | off | size | field    | rule                                                     |
// |   0 |    4 | rgbFlags | zero                                                     |
// |   4 |   16 | uid      | the store's PidTagRecordKey (the provider UID of this file) |
// |  20 |    4 | nid      | the object's NID                                         |
//
// The store's own entry ID uses the same layout with the message-store NID (0x21): the engine only hands it
// back to the session that gave it out, so it has to identify the file, not follow MAPI's wrapped form.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pst/ndb/status.h"
#include "pst/ndb/types.h"

namespace velmora::pst {

using RecordKey = std::array<uint8_t, 16>;

constexpr size_t kEntryIdSize = 4 + 16 + 4;

std::vector<uint8_t> MakeEntryId(const RecordKey& store, Nid nid);

// The NID an entry ID names; InvalidArgument when it is not 24 bytes, has flags, or belongs to another store.
Result<Nid> NidFromEntryId(const RecordKey& store, std::span<const uint8_t> entry_id);

// A fresh random record key (a GUID's worth of random bytes with the version 4 / variant bits set).
RecordKey NewRecordKey();

// Upper-case hex text of bytes, and back (nullopt-like failure as InvalidArgument).
std::string HexString(std::span<const uint8_t> bytes);
Result<std::vector<uint8_t>> ParseHex(std::string_view text);

}  // namespace velmora::pst
