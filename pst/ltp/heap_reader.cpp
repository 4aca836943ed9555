// Reads a heap-on-node (layout in heap_writer.cpp). Every block's page map is checked when the heap is
// opened, so Get only has to check the HID: no offset read from the file is used before it is known to be in
// range.
#include <algorithm>
#include <utility>

#include "pst/ltp/heap.h"
#include "pst/ltp/le_bytes.h"

namespace velmora::pst {

namespace {

// rgibAlloc of heap block `i`: cAlloc + 1 ascending offsets between the header and the page map.
Result<std::vector<uint16_t>> PageBounds(size_t i, std::span<const uint8_t> b, const std::string& what) {
  const std::string where = what + ": heap block " + std::to_string(i);
  const size_t header = HeapBlockHeaderSize(i);
  if (b.size() < header + 4)
    return Status::Corruption(where + " is " + std::to_string(b.size()) + " bytes, too short for a page map");
  const size_t map_at = le::Get16(b, 0);
  if (map_at < header || map_at + 4 > b.size())
    return Status::Corruption(where + ": ibHnpm " + std::to_string(map_at) + " outside the block of " +
                              std::to_string(b.size()) + " bytes");
  const size_t count = le::Get16(b, map_at);
  if (map_at + 4 + 2 * (count + 1) > b.size())
    return Status::Corruption(where + ": page map at " + std::to_string(map_at) + " with " +
                              std::to_string(count) + " allocations runs past the block");
  std::vector<uint16_t> bounds(count + 1);
  for (size_t k = 0; k <= count; ++k) {
    bounds[k] = le::Get16(b, map_at + 4 + 2 * k);
    const size_t lower = k == 0 ? header : bounds[k - 1];
    if (bounds[k] < lower || bounds[k] > map_at)
      return Status::Corruption(
          where + ": rgibAlloc[" + std::to_string(k) + "] = " + std::to_string(bounds[k]) +
          " is out of order or overlaps the header or page map at " + std::to_string(map_at));
  }
  return bounds;
}

}  // namespace

Result<HeapPage> DecodeHeapPage(size_t index, std::span<const uint8_t> bytes, const std::string& what) {
  PST_ASSIGN_OR_RETURN(std::vector<uint16_t> bounds, PageBounds(index, bytes, what));
  const size_t header = HeapBlockHeaderSize(index);
  HeapPage page;
  page.data.assign(bytes.begin() + static_cast<ptrdiff_t>(header), bytes.begin() + bounds.back());
  for (size_t k = 0; k + 1 < bounds.size(); ++k)
    page.starts.push_back(static_cast<uint32_t>(bounds[k] - header));
  return page;
}

Result<HeapReader> HeapReader::Open(NodeStore& store, Bid data, std::string what) {
  if (data == 0) return Status::Corruption(what + ": has no data for its heap");
  PST_ASSIGN_OR_RETURN(std::vector<Bid> bids, store.DataBlocks(data));
  if (bids.empty() || bids.size() > kMaxHeapBlocks)
    return Status::Corruption(what + ": heap has " + std::to_string(bids.size()) + " blocks");
  std::vector<std::vector<uint8_t>> blocks;
  blocks.reserve(std::min(bids.size(), kHeapPagesHeld));
  for (size_t i = 0; i < bids.size(); ++i) {
    PST_ASSIGN_OR_RETURN(std::vector<uint8_t> bytes, store.ReadDataBlock(bids[i]));
    if (i < kHeapPagesHeld) {
      blocks.push_back(std::move(bytes));
    } else {  // checked now, held later only when needed
      PST_RETURN_IF_ERROR(PageBounds(i, bytes, what).status());
    }
  }
  PST_ASSIGN_OR_RETURN(HeapReader r, FromBlocks(std::move(blocks), std::move(what)));
  if (bids.size() > kHeapPagesHeld) {
    r.store_ = &store;
    r.pages_.resize(bids.size());
  }
  r.bids_ = std::move(bids);
  return r;
}

Result<HeapReader> HeapReader::FromBlocks(std::vector<std::vector<uint8_t>> blocks, std::string what) {
  HeapReader r;
  r.what_ = std::move(what);
  if (blocks.empty() || blocks.size() > kMaxHeapBlocks)
    return Status::Corruption(r.what_ + ": heap has " + std::to_string(blocks.size()) + " blocks");
  const auto& first = blocks[0];
  if (first.size() < kHnHdrSize)
    return Status::Corruption(r.what_ + ": heap block 0 is " + std::to_string(first.size()) + " bytes");
  if (first[2] != kHeapSignature)
    return Status::Corruption(r.what_ + ": heap signature " + Hex(first[2]) + " at offset 2 is not 0xEC");
  r.client_sig_ = first[3];
  r.user_root_ = le::Get32(first, 4);

  r.pages_.reserve(blocks.size());
  for (size_t i = 0; i < blocks.size(); ++i) {
    auto page = std::make_unique<Page>();
    PST_ASSIGN_OR_RETURN(page->bounds, PageBounds(i, blocks[i], r.what_));
    page->bytes = std::move(blocks[i]);
    r.pages_.push_back(std::move(page));
    r.held_.push_back(i);
  }
  return r;
}

Result<const HeapReader::Page*> HeapReader::Load(size_t i) const {
  if (pages_[i]) return pages_[i].get();
  // Only a heap opened from the store lets blocks go, so store_ is set here.
  PST_ASSIGN_OR_RETURN(std::vector<uint8_t> bytes, store_->ReadDataBlock(bids_[i]));
  auto page = std::make_unique<Page>();
  PST_ASSIGN_OR_RETURN(page->bounds, PageBounds(i, bytes, what_));
  page->bytes = std::move(bytes);
  if (held_.size() >= kHeapPagesHeld) {
    pages_[held_.front()].reset();
    held_.erase(held_.begin());
  }
  pages_[i] = std::move(page);
  held_.push_back(i);
  return pages_[i].get();
}

Result<std::span<const uint8_t>> HeapReader::Get(Hid hid) const {
  const uint32_t block = HidBlockIndex(hid), index = HidIndex(hid);
  if (HidType(hid) != kNidTypeHid || index == 0 || block >= pages_.size())
    return Status::Corruption(what_ + ": HID " + Hex(hid) + " names no heap allocation (" +
                              std::to_string(pages_.size()) + " blocks)");
  PST_ASSIGN_OR_RETURN(const Page* p, Load(block));
  if (index >= p->bounds.size())
    return Status::Corruption(what_ + ": HID " + Hex(hid) + " names no heap allocation (" +
                              std::to_string(pages_.size()) + " blocks)");
  const size_t begin = p->bounds[index - 1], end = p->bounds[index];
  return std::span<const uint8_t>(p->bytes).subspan(begin, end - begin);
}

}  // namespace velmora::pst
