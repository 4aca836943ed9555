// Blocks ([MS-PST] 2.2.2.8): the on-disk image of a block with its trailer, and the internal blocks that
// build data trees (XBLOCK, XXBLOCK) and subnode trees (SLBLOCK, SIBLOCK). Layouts in block.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "pst/ndb/format.h"
#include "pst/ndb/node_store.h"
#include "pst/ndb/page.h"
#include "pst/ndb/status.h"

namespace velmora::pst {

constexpr uint8_t kBTypeDataTree = 0x01;   // XBLOCK (cLevel 1) and XXBLOCK (cLevel 2)
constexpr uint8_t kBTypeSubnode = 0x02;    // SLBLOCK (cLevel 0) and SIBLOCK (cLevel 1)
constexpr size_t kInternalHeaderSize = 8;  // btype, cLevel, cEnt, lcbTotal or dwPadding
constexpr size_t kXBlockMaxEntries = (kMaxBlockPayload - kInternalHeaderSize) / 8;    // 1,021 BIDs
constexpr size_t kSlBlockMaxEntries = (kMaxBlockPayload - kInternalHeaderSize) / 24;  // 340 SLENTRYs
constexpr size_t kSiBlockMaxEntries = (kMaxBlockPayload - kInternalHeaderSize) / 16;  // 510 SIENTRYs

std::string BlockName(Bid bid, Ib ib);

// The padded image of a block: `stored` (already encoded when it is a data block), zeros, trailer.
std::vector<uint8_t> MakeBlockImage(std::span<const uint8_t> stored, Bid bid, Ib ib);
// Completes an image of BlockDiskSize(cb) bytes whose first cb bytes already hold the stored data: zeros the
// padding only and writes the trailer.
void SealBlockImage(std::span<uint8_t> image, size_t cb, Bid bid, Ib ib);
// Checks an image read for the BBT entry `e`: trailer cb against e.cb, wSig, CRC, trailer BID.
Status VerifyBlockImage(std::span<const uint8_t> image, const BbtEntry& e);

struct SiEntry {
  Nid nid = 0;  // first NID of the SLBLOCK below
  Bid bid = 0;
};

// A decoded internal block.
struct InternalBlock {
  uint8_t btype = 0;
  uint8_t level = 0;
  uint32_t total = 0;            // lcbTotal of an XBLOCK/XXBLOCK
  std::vector<Bid> children;     // XBLOCK: data blocks; XXBLOCK: XBLOCKs
  std::vector<SubnodeEntry> sl;  // SLBLOCK entries
  std::vector<SiEntry> si;       // SIBLOCK entries
};

std::vector<uint8_t> MakeXBlock(uint8_t level, uint32_t total, std::span<const Bid> children);
std::vector<uint8_t> MakeSlBlock(std::span<const SubnodeEntry> entries);
std::vector<uint8_t> MakeSiBlock(std::span<const SiEntry> entries);
// Parses the payload of internal block `bid` (at `ib`): btype, level and counts must fit the size.
Result<InternalBlock> ParseInternalBlock(std::span<const uint8_t> payload, Bid bid, Ib ib);

}  // namespace velmora::pst
