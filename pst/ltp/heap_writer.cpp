// Writes a heap-on-node ([MS-PST] 2.3.1). Each data block of the node is one heap page:
//
//   block header | allocation 1 | allocation 2 | ... | free space | HNPAGEMAP
//
// Readers find a byte of a node's data at offset / 8,176 and count its blocks from lcbTotal, so every block
// but the last is exactly 8,176 bytes: the page map sits at the very end of the block and the free space lies
// between the last allocation and the page map. The last block ends with its page map, placed right after
// the allocations (one pad byte keeps it at an even offset).
//
// Block header, by block index i:
//   i == 0            HNHDR, 12 bytes
//     0   2  ibHnpm        offset of the page map in this block
//     2   1  bSig          0xEC
//     3   1  bClientSig    0x7C table context, 0xBC property context, 0xB5 bare BTH
//     4   4  hidUserRoot   the client's root allocation (TCINFO or BTHHEADER)
//     8   4  rgbFillLevel  fill level of blocks 0..7, one nibble each, block 0 in the low nibble of byte 0
//   i % 128 == 8      HNBITMAPHDR, 66 bytes
//     0   2  ibHnpm
//     2  64  rgbFillLevel  fill level of blocks i..i+127, same nibble order
//   otherwise         HNPAGEHDR, 2 bytes
//     0   2  ibHnpm
//
// HNPAGEMAP at ibHnpm (even offset):
//     0   2  cAlloc        allocations in this block
//     2   2  cFree         freed allocations; a fresh heap has none
//     4   2  rgibAlloc[cAlloc + 1]: start of each allocation, then the end of the last one
//
// Fill levels ([MS-PST] 2.3.1.5) grade the free space of a block (8,176 less the header, allocations and page
// map, whether or not the block is padded out); blocks that do not exist get 0 in the arrays.
#include <algorithm>
#include <array>
#include <cstdio>

#include "pst/ltp/heap.h"
#include "pst/ltp/le_bytes.h"

namespace velmora::pst {

namespace {

constexpr size_t kPageMapFixed = 4;  // cAlloc + cFree

size_t PageMapSize(size_t count) {
  return kPageMapFixed + 2 * (count + 1);
}

// Bytes a block holding `data_size` bytes of allocations in `count` allocations needs at least.
size_t BlockSize(size_t block_index, size_t data_size, size_t count) {
  size_t map_at = HeapBlockHeaderSize(block_index) + data_size;
  map_at += map_at % 2;
  return map_at + PageMapSize(count);
}

// [MS-PST] 2.3.1.5: the nibble for a given number of free bytes.
uint8_t FillLevel(size_t free_bytes) {
  static constexpr std::array<size_t, 15> kAtLeast = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                                      512,  256,  128,  64,   32,   16,   8};
  for (size_t level = 0; level < kAtLeast.size(); ++level)
    if (free_bytes >= kAtLeast[level]) return static_cast<uint8_t>(level);
  return 15;
}

}  // namespace

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

Result<Hid> HeapWriter::Reserve(size_t size) {
  std::vector<uint8_t> zeros(size);
  return Allocate(zeros);
}

Result<Hid> HeapWriter::Allocate(std::span<const uint8_t> bytes) {
  if (bytes.size() > kMaxHeapAllocation)
    return Status::InvalidArgument("heap allocation of " + std::to_string(bytes.size()) + " bytes exceeds " +
                                   std::to_string(kMaxHeapAllocation));
  auto fits = [&](size_t index, const Block& b) {
    return b.starts.size() < kMaxAllocationsPerBlock &&
           BlockSize(index, b.data.size() + bytes.size(), b.starts.size() + 1) <= kMaxBlockData;
  };
  if (blocks_.empty() || !fits(blocks_.size() - 1, blocks_.back())) {
    if (blocks_.size() == kMaxHeapBlocks) return Status::NoSpace("heap has no room for more blocks");
    blocks_.emplace_back();
  }
  Block& b = blocks_.back();
  b.starts.push_back(static_cast<uint32_t>(b.data.size()));
  b.data.insert(b.data.end(), bytes.begin(), bytes.end());
  return MakeHid(static_cast<uint32_t>(blocks_.size() - 1), static_cast<uint32_t>(b.starts.size()));
}

Status HeapWriter::Overwrite(Hid hid, std::span<const uint8_t> bytes) {
  const uint32_t block = HidBlockIndex(hid), index = HidIndex(hid);
  if (HidType(hid) != 0 || block >= blocks_.size() || index == 0 || index > blocks_[block].starts.size())
    return Status::InvalidArgument("no heap allocation " + Hex(hid));
  Block& b = blocks_[block];
  const size_t begin = b.starts[index - 1];
  const size_t end = index < b.starts.size() ? b.starts[index] : b.data.size();
  if (end - begin != bytes.size())
    return Status::InvalidArgument("overwrite of heap allocation " + Hex(hid) + " changes its size");
  std::copy(bytes.begin(), bytes.end(), b.data.begin() + static_cast<ptrdiff_t>(begin));
  return Status::Ok();
}

std::vector<uint8_t> HeapWriter::Serialize(size_t index) const {
  const Block& b = blocks_[index];
  const size_t header = HeapBlockHeaderSize(index);
  const bool last = index + 1 == blocks_.size();
  std::vector<uint8_t> out(last ? BlockSize(index, b.data.size(), b.starts.size()) : kMaxBlockData);
  std::span<uint8_t> s(out);
  const size_t map_at = out.size() - PageMapSize(b.starts.size());

  auto fill_levels = [&](size_t at, size_t first, size_t count) {
    for (size_t k = 0; k < count && first + k < blocks_.size(); ++k) {
      const Block& other = blocks_[first + k];
      size_t used = BlockSize(first + k, other.data.size(), other.starts.size());
      uint8_t level = FillLevel(kMaxBlockData - used);
      out[at + k / 2] |= static_cast<uint8_t>(k % 2 == 0 ? level : level << 4);
    }
  };
  le::Put16(s, 0, static_cast<uint16_t>(map_at));
  if (index == 0) {
    out[2] = kHeapSignature;
    out[3] = client_sig_;
    le::Put32(s, 4, user_root_);
    fill_levels(8, 0, 8);
  } else if (header == kHnBitmapHdrSize) {
    fill_levels(2, index, kHnBitmapStride);
  }
  std::copy(b.data.begin(), b.data.end(), out.begin() + static_cast<ptrdiff_t>(header));
  le::Put16(s, map_at, static_cast<uint16_t>(b.starts.size()));
  le::Put16(s, map_at + 2, 0);
  for (size_t k = 0; k < b.starts.size(); ++k)
    le::Put16(s, map_at + 4 + 2 * k, static_cast<uint16_t>(header + b.starts[k]));
  le::Put16(s, map_at + 4 + 2 * b.starts.size(), static_cast<uint16_t>(header + b.data.size()));
  return out;
}

Result<Bid> HeapWriter::Finish(NodeStore& store) {
  if (blocks_.empty()) blocks_.emplace_back();  // a heap without allocations is still one page
  std::vector<Bid> written;
  auto release_all = [&](Status why) {
    for (Bid bid : written) (void)store.Release(bid);
    return why;
  };
  for (size_t i = 0; i < blocks_.size(); ++i) {
    auto bid = store.WriteDataBlock(Serialize(i));
    if (!bid.ok()) return release_all(bid.status());
    written.push_back(*bid);
  }
  auto tree = store.WriteDataTree(written);
  if (!tree.ok()) return release_all(tree.status());
  blocks_.clear();
  return *tree;
}

}  // namespace velmora::pst
