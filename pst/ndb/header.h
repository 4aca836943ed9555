// The file header ([MS-PST] 2.2.2.6, Unicode) and its ROOT ([MS-PST] 2.2.2.5). Layout in header.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "pst/ndb/format.h"
#include "pst/ndb/status.h"
#include "pst/ndb/types.h"

namespace velmora::pst {

// BREF ([MS-PST] 2.2.2.4): where a page or block is, and the BID it must carry.
struct Bref {
  Bid bid = 0;
  Ib ib = 0;
  bool operator==(const Bref&) const = default;
};

// fAMapValid values ([MS-PST] 2.2.2.5).
constexpr uint8_t kAMapInvalid = 0x00;  // maps may be stale: rebuild them from the B-trees before use
constexpr uint8_t kAMapValid1 = 0x01;   // deprecated, treated like kAMapInvalid
constexpr uint8_t kAMapValid2 = 0x02;

struct Header {
  uint16_t version = 23;             // wVer: 23 = Unicode PST
  uint16_t client_version = 19;      // wVerClient: what every Outlook sample carries
  Bid bid_next_p = 0;                // next page BID
  uint32_t unique = 0;               // dwUnique, bumped on every header rewrite
  std::array<uint32_t, 32> rgnid{};  // per nidType, the last nidIndex handed out (see AllocateNid)
  uint64_t file_eof = 0;             // ROOT.ibFileEof
  uint64_t amap_last = 0;            // ROOT.ibAMapLast
  uint64_t amap_free = 0;            // ROOT.cbAMapFree
  uint64_t pmap_free = 0;            // ROOT.cbPMapFree
  Bref nbt;                          // ROOT.BREFNBT
  Bref bbt;                          // ROOT.BREFBBT
  uint8_t amap_valid = kAMapValid2;
  uint8_t crypt_method = 0x01;  // bCryptMethod
  Bid bid_next_b = 0;           // next block BID
};

// rgnid of a new file ([MS-PST] 2.2.2.6): 0x400 for every type except the search folder, message and
// associated message counters.
std::array<uint32_t, 32> InitialRgnid();

std::array<uint8_t, kHeaderSize> SerializeHeader(const Header& header);
// Checks magic, client magic, version, sentinel and both CRCs. `bytes` holds at least kHeaderSize bytes.
Result<Header> ParseHeader(std::span<const uint8_t> bytes);

}  // namespace velmora::pst
