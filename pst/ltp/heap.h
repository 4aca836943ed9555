// Heap-on-node ([MS-PST] 2.3.1): small variable-size allocations packed into the data blocks of one node,
// addressed by HIDs. heap_writer.cpp documents the byte layout it produces; heap_reader.cpp checks it.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "pst/ndb/node_store.h"

namespace velmora::pst {

// HID ([MS-PST] 2.3.1.1): | hidBlockIndex (16 bits) | hidIndex (11 bits, 1-based) | hidType (5 bits, always
// 0) |
using Hid = uint32_t;

// The largest single allocation ([MS-PST] 2.3.1.1): bigger values live in subnodes.
constexpr size_t kMaxHeapAllocation = 3580;
// hidIndex has 11 bits, so one block holds at most 2,047 allocations.
constexpr size_t kMaxAllocationsPerBlock = (1u << 11) - 1;
// hidBlockIndex has 16 bits.
constexpr size_t kMaxHeapBlocks = 1u << 16;

// bSig of HNHDR ([MS-PST] 2.3.1.2) and the bClientSig values we use.
constexpr uint8_t kHeapSignature = 0xEC;
constexpr uint8_t kClientSigTableContext = 0x7C;
constexpr uint8_t kClientSigBth = 0xB5;
constexpr uint8_t kClientSigPropertyContext = 0xBC;

// Size of the header that opens heap block `i`: HNHDR on block 0, HNBITMAPHDR on blocks 8, 136, 264, ...
// (each covering the 128 blocks from itself on), HNPAGEHDR on the others.
constexpr size_t kHnHdrSize = 12;
constexpr size_t kHnPageHdrSize = 2;
constexpr size_t kHnBitmapHdrSize = 2 + 64;
constexpr size_t kHnBitmapFirst = 8;
constexpr size_t kHnBitmapStride = 128;
constexpr size_t HeapBlockHeaderSize(size_t i) {
  return i == 0 ? kHnHdrSize : i % kHnBitmapStride == kHnBitmapFirst ? kHnBitmapHdrSize : kHnPageHdrSize;
}

constexpr Hid MakeHid(uint32_t block_index, uint32_t index) {
  return (block_index << 16) | (index << 5);
}
constexpr uint32_t HidBlockIndex(Hid hid) {
  return hid >> 16;
}
constexpr uint32_t HidIndex(Hid hid) {
  return (hid >> 5) & 0x7FF;
}
constexpr uint8_t HidType(Hid hid) {
  return static_cast<uint8_t>(hid & 0x1F);
}

// The allocations of one heap block as the writers hold them.
struct HeapPage {
  std::vector<uint8_t> data;     // the allocations back to back, starting after the block header
  std::vector<uint32_t> starts;  // start of each allocation within `data`

  // Bytes block `index` needs at least: header, allocations, page map.
  size_t Used(size_t index) const;
  // Whether `more_bytes` in `more_allocations` new allocations still fit block `index`.
  bool Fits(size_t index, size_t more_bytes, size_t more_allocations) const;
  // The fill level ([MS-PST] 2.3.1.5) of block `index`.
  uint8_t FillLevel(size_t index) const;
  // The bytes of allocation `k` (0-based).
  std::span<const uint8_t> Allocation(size_t k) const;
  // Replaces allocation `k` by `bytes` (any size), moving the allocations after it.
  void Replace(size_t k, std::span<const uint8_t> bytes);
};

// What block 0 says beyond its allocations.
struct HeapRootFields {
  uint8_t client_sig = 0;
  Hid user_root = 0;
};

// The size of heap block `index` of `block_count` as written: every block but the last is full (layout in
// heap_writer.cpp).
size_t HeapBlockSize(size_t index, size_t block_count, const HeapPage& page);
// The bytes of heap block `index` of `block_count` (layout in heap_writer.cpp). `levels` holds the fill
// level of every block of the heap, for the headers that record them.
std::vector<uint8_t> EncodeHeapPage(size_t index, size_t block_count, const HeapPage& page,
                                    const HeapRootFields& root, std::span<const uint8_t> levels);
// Heap block `index` read back, every offset checked; `what` names the node in errors.
Result<HeapPage> DecodeHeapPage(size_t index, std::span<const uint8_t> bytes, const std::string& what);
// The fill levels that heap block `index` records (blocks index.. for a bitmap header, 0..7 for block 0);
// empty for blocks that record none.
std::vector<uint8_t> RecordedFillLevels(size_t index, std::span<const uint8_t> bytes);

// Builds a heap and writes its blocks to the store. Allocations fill blocks in order; a block is closed when
// the next allocation and its page-map entry would not fit.
//
// Without a store at construction the whole heap stays in memory until Finish. With one, a block is written
// as soon as nothing can change it any more, so a heap of any size costs a few blocks of memory. Held until
// then are:
//  - block 0 (HNHDR: hidUserRoot and the fill levels of blocks 0-7), until Finish;
//  - a bitmap block (8, 136, 264, ...) until the 128 blocks whose fill levels it records are closed;
//  - the current block, whose fill level and (as the last block) size are not final;
//  - a block holding a reserved allocation not yet overwritten.
// The data tree lists the blocks in heap order whatever order they were written in, and a HID keeps naming
// the same allocation. Overwriting an allocation of a block already written is an error.
class HeapWriter {
 public:
  explicit HeapWriter(uint8_t client_sig, NodeStore* stream_to = nullptr)
      : client_sig_(client_sig), store_(stream_to) {}
  // Gives back the blocks written so far unless Finish handed them over.
  ~HeapWriter();
  HeapWriter(const HeapWriter&) = delete;
  HeapWriter& operator=(const HeapWriter&) = delete;

  // A new allocation holding `bytes` (up to kMaxHeapAllocation; zero bytes is a valid, empty allocation).
  Result<Hid> Allocate(std::span<const uint8_t> bytes);
  // A new allocation of `size` zero bytes, to be filled by Overwrite once its contents are known. Its
  // block stays in memory until then.
  Result<Hid> Reserve(size_t size);
  // Replaces the contents of an allocation with as many bytes.
  Status Overwrite(Hid hid, std::span<const uint8_t> bytes);
  void SetUserRoot(Hid hid) { user_root_ = hid; }

  size_t block_count() const { return blocks_.size(); }
  // The bytes of the data tree Finish would write now.
  uint64_t DataSize() const;

  // Writes the blocks still held and returns the heap's data tree. `store` must be the one streamed to, if
  // any. The writer is spent afterwards.
  Result<Bid> Finish(NodeStore& store);

 private:
  // A new allocation of `size` zero bytes at the end of the current block (or of a new one).
  Result<Hid> Place(size_t size);
  // Starts a new block, closing the current one.
  Status OpenBlock();
  // Writes closed block `i` when nothing held there can change any more.
  Status WriteIfSettled(size_t i);
  Status WriteBlock(NodeStore& store, size_t i);
  bool Pinned(size_t i) const;

  uint8_t client_sig_;
  NodeStore* store_;
  Hid user_root_ = 0;
  std::vector<HeapPage> blocks_;  // one per block; emptied once the block is written
  std::vector<uint8_t> levels_;   // fill level of each closed block
  std::vector<Bid> written_;      // the block's BID once written, 0 before
  std::vector<Hid> reserved_;     // reserved allocations not yet overwritten, ascending
  bool finished_ = false;
};

// A heap read from the store with every structural field checked once, at Open. A heap of up to
// kHeapPagesHeld blocks is kept in memory whole; a larger one (the heap of a table with 100,000 rows holds
// tens of megabytes of cells) keeps at most that many blocks, reading a block again, and checking it again,
// when it is needed after it was let go.
class HeapReader {
 public:
  // Blocks held in memory at most: 1 MiB, ample for the few blocks that one row's cells and the row index's
  // path use at a time.
  static constexpr size_t kHeapPagesHeld = 128;

  // Reads the heap in the data tree `data`; `what` names the node in error messages ("node 0x21").
  static Result<HeapReader> Open(NodeStore& store, Bid data, std::string what);
  // The same over blocks already in memory.
  static Result<HeapReader> FromBlocks(std::vector<std::vector<uint8_t>> blocks, std::string what);

  uint8_t client_sig() const { return client_sig_; }
  Hid user_root() const { return user_root_; }
  size_t block_count() const { return pages_.size(); }
  const std::string& what() const { return what_; }

  // The bytes of one allocation; Corruption when the HID names no allocation. Valid until the next Get.
  Result<std::span<const uint8_t>> Get(Hid hid) const;

 private:
  struct Page {
    std::vector<uint8_t> bytes;
    std::vector<uint16_t> bounds;  // rgibAlloc: cAlloc + 1 ascending offsets
  };
  HeapReader() = default;
  // Block `i` in memory, read and checked again when it was let go.
  Result<const Page*> Load(size_t i) const;

  std::string what_;
  uint8_t client_sig_ = 0;
  Hid user_root_ = 0;
  NodeStore* store_ = nullptr;  // set when blocks may be let go and read again
  std::vector<Bid> bids_;
  mutable std::vector<std::unique_ptr<Page>> pages_;  // one per block; empty when not held
  mutable std::vector<size_t> held_;                  // blocks held, oldest first
};

}  // namespace velmora::pst
