// Writes a heap-on-node ([MS-PST] 2.3.1). Each data block of the node is one heap page:
//
//   block header | allocation 1 | allocation 2 | ... | free space | HNPAGEMAP
//
// Readers find a byte of a node's data at offset / 8,176 and count its blocks from lcbTotal, so every block
// but the last is exactly 8,176 bytes: the page map sits at the very end of the block and the free space lies
// between the last allocation and the page map. The last block ends with its page map, placed right after
// the allocations (one pad byte keeps it at an even offset), while the data tree has one level. A heap of
// more than 1,021 blocks has a two-level tree (XXBLOCK), and Microsoft's PST SDK wants every block of such a
// tree full, the last one included: there the last block is laid out like the others, 8,176 bytes.
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
// A streamed heap (heap.h) writes each block once its bytes are final, so the blocks reach the file out of
// heap order (block 0 last); the data tree lists them in heap order, which is all a reader follows.
//
// Fill levels ([MS-PST] 2.3.1.5) grade the free space of a block (8,176 less the header, allocations and page
// map, whether or not the block is padded out); blocks that do not exist get 0 in the arrays.
#include <algorithm>
#include <array>
#include <cstdio>

#include "pst/ltp/heap.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ndb/block.h"

namespace velmora::pst {

namespace {

constexpr size_t kPageMapFixed = 4;  // cAlloc + cFree

size_t PageMapSize(size_t count) {
  return kPageMapFixed + 2 * (count + 1);
}

// [MS-PST] 2.3.1.5: the nibble for a given number of free bytes.
uint8_t LevelOf(size_t free_bytes) {
  static constexpr std::array<size_t, 15> kAtLeast = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                                      512,  256,  128,  64,   32,   16,   8};
  for (size_t level = 0; level < kAtLeast.size(); ++level)
    if (free_bytes >= kAtLeast[level]) return static_cast<uint8_t>(level);
  return 15;
}

}  // namespace

size_t HeapPage::Used(size_t index) const {
  size_t map_at = HeapBlockHeaderSize(index) + data.size();
  map_at += map_at % 2;
  return map_at + PageMapSize(starts.size());
}

bool HeapPage::Fits(size_t index, size_t more_bytes, size_t more_allocations) const {
  if (starts.size() + more_allocations > kMaxAllocationsPerBlock) return false;
  size_t map_at = HeapBlockHeaderSize(index) + data.size() + more_bytes;
  map_at += map_at % 2;
  return map_at + PageMapSize(starts.size() + more_allocations) <= kMaxBlockData;
}

uint8_t HeapPage::FillLevel(size_t index) const {
  return LevelOf(kMaxBlockData - Used(index));
}

std::span<const uint8_t> HeapPage::Allocation(size_t k) const {
  const size_t end = k + 1 < starts.size() ? starts[k + 1] : data.size();
  return std::span<const uint8_t>(data).subspan(starts[k], end - starts[k]);
}

void HeapPage::Replace(size_t k, std::span<const uint8_t> bytes) {
  const size_t begin = starts[k];
  const size_t end = k + 1 < starts.size() ? starts[k + 1] : data.size();
  const ptrdiff_t grow = static_cast<ptrdiff_t>(bytes.size()) - static_cast<ptrdiff_t>(end - begin);
  data.erase(data.begin() + static_cast<ptrdiff_t>(begin), data.begin() + static_cast<ptrdiff_t>(end));
  data.insert(data.begin() + static_cast<ptrdiff_t>(begin), bytes.begin(), bytes.end());
  for (size_t j = k + 1; j < starts.size(); ++j) starts[j] = static_cast<uint32_t>(starts[j] + grow);
}

size_t HeapBlockSize(size_t index, size_t block_count, const HeapPage& page) {
  const bool short_last = index + 1 == block_count && block_count <= kXBlockMaxEntries;
  return short_last ? page.Used(index) : kMaxBlockData;
}

std::vector<uint8_t> EncodeHeapPage(size_t index, size_t block_count, const HeapPage& b,
                                    const HeapRootFields& root, std::span<const uint8_t> levels) {
  const size_t header = HeapBlockHeaderSize(index);
  std::vector<uint8_t> out(HeapBlockSize(index, block_count, b));
  std::span<uint8_t> s(out);
  const size_t map_at = out.size() - PageMapSize(b.starts.size());

  auto fill_levels = [&](size_t at, size_t first, size_t count) {
    for (size_t k = 0; k < count && first + k < block_count; ++k) {
      const uint8_t level = levels[first + k];
      out[at + k / 2] |= static_cast<uint8_t>(k % 2 == 0 ? level : level << 4);
    }
  };
  le::Put16(s, 0, static_cast<uint16_t>(map_at));
  if (index == 0) {
    out[2] = kHeapSignature;
    out[3] = root.client_sig;
    le::Put32(s, 4, root.user_root);
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

std::vector<uint8_t> RecordedFillLevels(size_t index, std::span<const uint8_t> bytes) {
  const size_t header = HeapBlockHeaderSize(index);
  const size_t at = index == 0 ? 8 : 2;
  const size_t count = index == 0 ? 8 : header == kHnBitmapHdrSize ? kHnBitmapStride : 0;
  std::vector<uint8_t> out;
  for (size_t k = 0; k < count && at + k / 2 < bytes.size(); ++k)
    out.push_back(static_cast<uint8_t>(k % 2 == 0 ? bytes[at + k / 2] & 0x0F : bytes[at + k / 2] >> 4));
  return out;
}

HeapWriter::~HeapWriter() {
  if (finished_ || store_ == nullptr) return;
  for (Bid bid : written_)
    if (bid != 0) (void)store_->Release(bid);
}

Result<Hid> HeapWriter::Reserve(size_t size) {
  PST_ASSIGN_OR_RETURN(Hid hid, Place(size));
  reserved_.insert(std::upper_bound(reserved_.begin(), reserved_.end(), hid), hid);
  return hid;
}

Result<Hid> HeapWriter::Allocate(std::span<const uint8_t> bytes) {
  PST_ASSIGN_OR_RETURN(Hid hid, Place(bytes.size()));
  std::vector<uint8_t>& data = blocks_.back().data;
  std::copy(bytes.begin(), bytes.end(), data.end() - static_cast<ptrdiff_t>(bytes.size()));
  return hid;
}

Result<Hid> HeapWriter::Place(size_t size) {
  if (size > kMaxHeapAllocation)
    return Status::InvalidArgument("heap allocation of " + std::to_string(size) + " bytes exceeds " +
                                   std::to_string(kMaxHeapAllocation));
  if (blocks_.empty() || !blocks_.back().Fits(blocks_.size() - 1, size, 1)) PST_RETURN_IF_ERROR(OpenBlock());
  HeapPage& b = blocks_.back();
  b.starts.push_back(static_cast<uint32_t>(b.data.size()));
  b.data.resize(b.data.size() + size);
  return MakeHid(static_cast<uint32_t>(blocks_.size() - 1), static_cast<uint32_t>(b.starts.size()));
}

Status HeapWriter::OpenBlock() {
  if (blocks_.size() == kMaxHeapBlocks) return Status::NoSpace("heap has no room for more blocks");
  if (!blocks_.empty()) levels_.push_back(blocks_.back().FillLevel(blocks_.size() - 1));
  blocks_.emplace_back();
  // A block's bytes and allocation starts in one allocation each rather than a dozen as it fills.
  blocks_.back().data.reserve(kMaxBlockData);
  blocks_.back().starts.reserve(64);
  written_.push_back(0);
  if (blocks_.size() < 2) return Status::Ok();
  const size_t closed = blocks_.size() - 2;
  PST_RETURN_IF_ERROR(WriteIfSettled(closed));
  // The bitmap block whose last recorded fill level this was.
  if (closed >= kHnBitmapStride - 1) PST_RETURN_IF_ERROR(WriteIfSettled(closed - (kHnBitmapStride - 1)));
  return Status::Ok();
}

bool HeapWriter::Pinned(size_t i) const {
  auto it = std::lower_bound(reserved_.begin(), reserved_.end(), MakeHid(static_cast<uint32_t>(i), 0));
  return it != reserved_.end() && HidBlockIndex(*it) == i;
}

Status HeapWriter::WriteIfSettled(size_t i) {
  if (store_ == nullptr || i == 0 || written_[i] != 0 || i + 1 >= blocks_.size() || Pinned(i))
    return Status::Ok();
  if (HeapBlockHeaderSize(i) == kHnBitmapHdrSize && i + kHnBitmapStride > levels_.size()) return Status::Ok();
  return WriteBlock(*store_, i);
}

Status HeapWriter::WriteBlock(NodeStore& store, size_t i) {
  PST_ASSIGN_OR_RETURN(written_[i], store.WriteDataBlock(EncodeHeapPage(i, blocks_.size(), blocks_[i],
                                                                        {client_sig_, user_root_}, levels_)));
  blocks_[i] = HeapPage();  // frees the block's bytes
  return Status::Ok();
}

Status HeapWriter::Overwrite(Hid hid, std::span<const uint8_t> bytes) {
  const uint32_t block = HidBlockIndex(hid), index = HidIndex(hid);
  if (HidType(hid) != 0 || block >= blocks_.size() || index == 0)
    return Status::InvalidArgument("no heap allocation " + Hex(hid));
  if (written_[block] != 0)
    return Status::InvalidArgument("heap allocation " + Hex(hid) + " can no longer change: its block " +
                                   std::to_string(block) + " is written");
  HeapPage& b = blocks_[block];
  if (index > b.starts.size()) return Status::InvalidArgument("no heap allocation " + Hex(hid));
  const size_t begin = b.starts[index - 1];
  const size_t end = index < b.starts.size() ? b.starts[index] : b.data.size();
  if (end - begin != bytes.size())
    return Status::InvalidArgument("overwrite of heap allocation " + Hex(hid) + " changes its size");
  std::copy(bytes.begin(), bytes.end(), b.data.begin() + static_cast<ptrdiff_t>(begin));
  if (auto it = std::lower_bound(reserved_.begin(), reserved_.end(), hid);
      it != reserved_.end() && *it == hid) {
    reserved_.erase(it);
    return WriteIfSettled(block);
  }
  return Status::Ok();
}

uint64_t HeapWriter::DataSize() const {
  if (blocks_.empty()) return HeapBlockSize(0, 1, HeapPage());  // Finish writes one empty page
  uint64_t total = 0;
  for (size_t i = 0; i < blocks_.size(); ++i) total += HeapBlockSize(i, blocks_.size(), blocks_[i]);
  return total;
}

Result<Bid> HeapWriter::Finish(NodeStore& store) {
  if (finished_) return Status::InvalidArgument("heap already finished");
  if (store_ != nullptr && store_ != &store)
    return Status::InvalidArgument("heap finished in another store than the one it was written to");
  store_ = &store;
  if (blocks_.empty()) {  // a heap without allocations is still one page
    blocks_.emplace_back();
    written_.push_back(0);
  }
  levels_.push_back(blocks_.back().FillLevel(blocks_.size() - 1));
  for (size_t i = 0; i < blocks_.size(); ++i)
    if (written_[i] == 0) PST_RETURN_IF_ERROR(WriteBlock(store, i));
  PST_ASSIGN_OR_RETURN(Bid tree, store.WriteDataTree(written_));
  finished_ = true;
  blocks_.clear();
  return tree;
}

}  // namespace velmora::pst
