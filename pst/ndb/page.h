// 512-byte pages ([MS-PST] 2.2.2.7): the trailer every page ends with, the BTree page footer and entries,
// and the map pages. Layouts in page.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "pst/ndb/format.h"
#include "pst/ndb/header.h"
#include "pst/ndb/node_store.h"
#include "pst/ndb/status.h"

namespace velmora::pst {

using PageBytes = std::array<uint8_t, kPageSize>;

std::string PageTypeName(uint8_t ptype);

// Writes the trailer: ptype twice, wSig (ComputeSig for BTree and DList pages, 0 for map pages), the CRC of
// the first 496 bytes and the BID (map pages carry their own offset there).
void SealPage(PageBytes& page, uint8_t ptype, Bid bid, Ib ib);
// Checks a page read from `ib` against what the reference to it promised. Map pages pass bid = ib.
Status VerifyPage(const PageBytes& page, uint8_t ptype, Bid bid, Ib ib);

// One BBT leaf entry ([MS-PST] 2.2.2.7.7.3). cref counts every reference plus one (see node_database.h).
struct BbtEntry {
  Bid bid = 0;
  Ib ib = 0;
  uint16_t cb = 0;
  uint16_t cref = 0;
  uint64_t Key() const { return bid; }
  bool operator==(const BbtEntry&) const = default;
};

// BTree page footer ([MS-PST] 2.2.2.7.7.1).
struct BtFooter {
  uint8_t cent = 0;
  uint8_t cent_max = 0;
  uint8_t cb_ent = 0;
  uint8_t level = 0;
};
BtFooter LoadBtFooter(const PageBytes& page);
void StoreBtFooter(PageBytes& page, const BtFooter& footer);

void StoreNbtEntry(uint8_t* p, const NodeEntry& e);
NodeEntry LoadNbtEntry(const uint8_t* p);
void StoreBbtEntry(uint8_t* p, const BbtEntry& e);
BbtEntry LoadBbtEntry(const uint8_t* p);
void StoreBranchEntry(uint8_t* p, uint64_t key, const Bref& child);
void LoadBranchEntry(const uint8_t* p, uint64_t* key, Bref* child);

// AMap/PMap/FMap/FPMap page at `ib` over 496 bytes of bits.
PageBytes MakeMapPage(uint8_t ptype, Ib ib, std::span<const uint8_t> bits);
// An empty density list ([MS-PST] 2.2.2.7.4): no entries, backfill not complete, as Outlook 2010+ leaves
// a new file.
PageBytes MakeEmptyDListPage(Bid bid);

}  // namespace velmora::pst
