// Blocks ([MS-PST] 2.2.2.8). A block starts on a 64-byte boundary and occupies BlockDiskSize(cb) bytes:
//
//   off          size  field
//   0            cb    data (data blocks: encoded per bCryptMethod; internal blocks: plain)
//   cb           ...   zero padding up to size - 16
//   size - 16    2     cb       bytes of data
//   size - 14    2     wSig     ComputeSig(ib, bid)
//   size - 12    4     dwCRC    CRC of the cb data bytes as stored
//   size - 8     8     bid      the block's BID, fInternal bit included
//
// XBLOCK / XXBLOCK ([MS-PST] 2.2.2.8.3.2): btype 1 (1) | cLevel 1 or 2 (1) | cEnt (2) | lcbTotal (4) |
//   cEnt BIDs (8 each). lcbTotal is the byte count of all the data below.
// SLBLOCK ([MS-PST] 2.2.2.8.3.3.1): btype 2 | cLevel 0 | cEnt (2) | dwPadding (4) |
//   SLENTRY {nid 8 (high dword 0), bidData 8, bidSub 8} * cEnt, ascending NIDs.
// SIBLOCK ([MS-PST] 2.2.2.8.3.3.2): btype 2 | cLevel 1 | cEnt (2) | dwPadding (4) |
//   SIENTRY {nid 8 (first NID of the child), bid 8 of an SLBLOCK} * cEnt.
#include "pst/ndb/block.h"

#include <cstdio>
#include <cstring>

#include "pst/ndb/crc.h"

namespace velmora::pst {
namespace {

std::vector<uint8_t> InternalHeader(uint8_t btype, uint8_t level, size_t count, uint32_t total,
                                    size_t entry) {
  std::vector<uint8_t> out(kInternalHeaderSize + count * entry);
  out[0] = btype;
  out[1] = level;
  Store16(out.data() + 2, static_cast<uint16_t>(count));
  Store32(out.data() + 4, total);
  return out;
}

}  // namespace

std::string BlockName(Bid bid, Ib ib) {
  return "block BID " + Hex(bid) + " at offset " + Hex(ib);
}

std::vector<uint8_t> MakeBlockImage(std::span<const uint8_t> stored, Bid bid, Ib ib) {
  std::vector<uint8_t> image(BlockDiskSize(stored.size()));
  if (!stored.empty()) std::memcpy(image.data(), stored.data(), stored.size());
  SealBlockImage(image, stored.size(), bid, ib);
  return image;
}

void SealBlockImage(std::span<uint8_t> image, size_t cb, Bid bid, Ib ib) {
  uint8_t* t = image.data() + image.size() - kBlockTrailerSize;
  std::memset(image.data() + cb, 0, image.size() - kBlockTrailerSize - cb);
  Store16(t, static_cast<uint16_t>(cb));
  Store16(t + 2, ComputeSig(ib, bid));
  Store32(t + 4, Crc32(image.first(cb)));
  Store64(t + 8, bid);
}

Status VerifyBlockImage(std::span<const uint8_t> image, const BbtEntry& e) {
  auto where = [&] { return BlockName(e.bid, e.ib); };  // named only when something is wrong
  if (image.size() != BlockDiskSize(e.cb)) return Status::Corruption(where() + ": wrong image size");
  const uint8_t* t = image.data() + image.size() - kBlockTrailerSize;
  if (Load16(t) != e.cb)
    return Status::Corruption(where() + ": trailer cb " + std::to_string(Load16(t)) +
                              " differs from BBT cb " + std::to_string(e.cb));
  if (Load16(t + 2) != ComputeSig(e.ib, e.bid)) return Status::Corruption(where() + ": wSig wrong");
  if (Load32(t + 4) != Crc32(image.first(e.cb))) return Status::Corruption(where() + ": CRC mismatch");
  if ((Load64(t + 8) & ~uint64_t{1}) != e.bid)
    return Status::Corruption(where() + ": trailer BID " + Hex(Load64(t + 8)) + " differs");
  return Status::Ok();
}

std::vector<uint8_t> MakeXBlock(uint8_t level, uint32_t total, std::span<const Bid> children) {
  auto out = InternalHeader(kBTypeDataTree, level, children.size(), total, 8);
  for (size_t i = 0; i < children.size(); ++i) Store64(out.data() + kInternalHeaderSize + 8 * i, children[i]);
  return out;
}

std::vector<uint8_t> MakeSlBlock(std::span<const SubnodeEntry> entries) {
  auto out = InternalHeader(kBTypeSubnode, 0, entries.size(), 0, 24);
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t* p = out.data() + kInternalHeaderSize + 24 * i;
    Store64(p, entries[i].nid);
    Store64(p + 8, entries[i].data);
    Store64(p + 16, entries[i].sub);
  }
  return out;
}

std::vector<uint8_t> MakeSiBlock(std::span<const SiEntry> entries) {
  auto out = InternalHeader(kBTypeSubnode, 1, entries.size(), 0, 16);
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t* p = out.data() + kInternalHeaderSize + 16 * i;
    Store64(p, entries[i].nid);
    Store64(p + 8, entries[i].bid);
  }
  return out;
}

Result<InternalBlock> ParseInternalBlock(std::span<const uint8_t> payload, Bid bid, Ib ib) {
  std::string where = BlockName(bid, ib);
  if (payload.size() < kInternalHeaderSize) return Status::Corruption(where + ": internal block too short");
  InternalBlock b;
  b.btype = payload[0];
  b.level = payload[1];
  size_t count = Load16(payload.data() + 2);
  const uint8_t* p = payload.data() + kInternalHeaderSize;
  size_t room = payload.size() - kInternalHeaderSize;
  if (b.btype == kBTypeDataTree && (b.level == 1 || b.level == 2)) {
    if (count * 8 > room) return Status::Corruption(where + ": cEnt does not fit the block");
    b.total = Load32(payload.data() + 4);
    for (size_t i = 0; i < count; ++i) b.children.push_back(Load64(p + 8 * i) & ~uint64_t{1});
  } else if (b.btype == kBTypeSubnode && b.level == 0) {
    if (count * 24 > room) return Status::Corruption(where + ": cEnt does not fit the block");
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = p + 24 * i;
      // Outlook leaves junk in the high dword of SLENTRY.nid: only the low 32 bits are the NID.
      b.sl.push_back(
          {static_cast<Nid>(Load32(e)), Load64(e + 8) & ~uint64_t{1}, Load64(e + 16) & ~uint64_t{1}});
      if (i > 0 && b.sl[i].nid <= b.sl[i - 1].nid)
        return Status::Corruption(where + ": SLBLOCK entries out of order");
    }
  } else if (b.btype == kBTypeSubnode && b.level == 1) {
    if (count * 16 > room) return Status::Corruption(where + ": cEnt does not fit the block");
    for (size_t i = 0; i < count; ++i) {
      b.si.push_back({static_cast<Nid>(Load32(p + 16 * i)), Load64(p + 16 * i + 8) & ~uint64_t{1}});
      if (i > 0 && b.si[i].nid <= b.si[i - 1].nid)
        return Status::Corruption(where + ": SIBLOCK entries out of order");
    }
  } else {
    return Status::Corruption(where + ": unknown internal block type " + std::to_string(b.btype) + " level " +
                              std::to_string(b.level));
  }
  return b;
}

}  // namespace velmora::pst
