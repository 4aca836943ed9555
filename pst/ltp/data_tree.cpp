#include "pst/ltp/data_tree.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "pst/ltp/heap.h"

namespace velmora::pst {

Status MemoryByteSource::Read(uint64_t offset, std::span<uint8_t> out) const {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
    return Status::InvalidArgument("read past the end of " + std::to_string(bytes_.size()) + " bytes");
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return Status::Ok();
}

Result<Bid> WriteDataTreeFrom(NodeStore& store, const ByteSource& source) {
  const uint64_t size = source.Size();
  std::vector<Bid> blocks;
  // One block's bytes at a time, not zeroed: each Read fills the part that is written.
  const size_t most = static_cast<size_t>(std::min<uint64_t>(kMaxBlockData, size));
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[std::max<size_t>(most, 1)]);
  auto fail = [&](Status why) {
    for (Bid bid : blocks) (void)store.Release(bid);
    return why;
  };
  uint64_t offset = 0;
  do {
    std::span<uint8_t> piece(buffer.get(),
                             static_cast<size_t>(std::min<uint64_t>(kMaxBlockData, size - offset)));
    if (Status s = source.Read(offset, piece); !s.ok()) return fail(s);
    auto bid = store.WriteDataBlock(piece);
    if (!bid.ok()) return fail(bid.status());
    blocks.push_back(*bid);
    offset += piece.size();
  } while (offset < size);
  auto tree = store.WriteDataTree(blocks);
  if (!tree.ok()) return fail(tree.status());
  return *tree;
}

namespace {
// Assumes every block but the last is full (how data trees are written); a block that breaks the assumption
// makes it measure every block once and use exact offsets from then on.
class DataTreeSource : public ByteSource {
 public:
  DataTreeSource(NodeStore& store, std::vector<Bid> blocks, uint64_t size, std::string what)
      : store_(store), blocks_(std::move(blocks)), size_(size), what_(std::move(what)) {
    assume_full_ = blocks_.size() == (size_ + kMaxBlockData - 1) / kMaxBlockData;
  }

  uint64_t Size() const override { return size_; }

  Status Read(uint64_t offset, std::span<uint8_t> out) const override {
    if (offset > size_ || out.size() > size_ - offset)
      return Status::InvalidArgument(what_ + ": read of " + std::to_string(out.size()) + " bytes at " +
                                     std::to_string(offset) + " passes the end (" + std::to_string(size_) +
                                     ")");
    size_t done = 0;
    while (done < out.size()) {
      const uint64_t at = offset + done;
      size_t index = 0;
      uint64_t start = 0;
      PST_RETURN_IF_ERROR(Locate(at, index, start));
      PST_RETURN_IF_ERROR(Load(index));
      const uint64_t within = at - start;
      if (within >= cached_.size()) return Status::Corruption(what_ + ": data tree is shorter than its size");
      const size_t n = static_cast<size_t>(std::min<uint64_t>(cached_.size() - within, out.size() - done));
      std::memcpy(out.data() + done, cached_.data() + within, n);
      done += n;
    }
    return Status::Ok();
  }

 private:
  Status Locate(uint64_t at, size_t& index, uint64_t& start) const {
    if (exact_starts_.empty() && !assume_full_) PST_RETURN_IF_ERROR(MeasureAll());
    if (exact_starts_.empty()) {
      index = static_cast<size_t>(at / kMaxBlockData);
      start = index * uint64_t{kMaxBlockData};
      if (index >= blocks_.size()) return Status::Corruption(what_ + ": data tree is shorter than its size");
      PST_RETURN_IF_ERROR(Load(index));
      const bool last = index + 1 == blocks_.size();
      if (last ? start + cached_.size() == size_ : cached_.size() == kMaxBlockData) return Status::Ok();
      PST_RETURN_IF_ERROR(MeasureAll());
    }
    auto it = std::upper_bound(exact_starts_.begin(), exact_starts_.end(), at);
    index = static_cast<size_t>(it - exact_starts_.begin()) - 1;
    start = exact_starts_[index];
    return Status::Ok();
  }

  Status MeasureAll() const {
    uint64_t total = 0;
    for (size_t i = 0; i < blocks_.size(); ++i) {
      PST_RETURN_IF_ERROR(Load(i));
      exact_starts_.push_back(total);
      total += cached_.size();
    }
    if (total != size_)
      return Status::Corruption(what_ + ": data blocks hold " + std::to_string(total) +
                                " bytes, the tree says " + std::to_string(size_));
    return Status::Ok();
  }

  Status Load(size_t index) const {
    if (cached_index_ == index) return Status::Ok();
    auto bytes = store_.ReadDataBlock(blocks_[index]);
    if (!bytes.ok()) return bytes.status();
    cached_ = std::move(bytes).value();
    cached_index_ = index;
    return Status::Ok();
  }

  NodeStore& store_;
  std::vector<Bid> blocks_;
  uint64_t size_;
  std::string what_;
  bool assume_full_ = false;
  mutable std::vector<uint64_t> exact_starts_;
  mutable std::vector<uint8_t> cached_;
  mutable size_t cached_index_ = SIZE_MAX;
};
}  // namespace

Result<std::shared_ptr<const ByteSource>> OpenDataTree(NodeStore& store, Bid tree, std::string what) {
  PST_ASSIGN_OR_RETURN(std::vector<Bid> blocks, store.DataBlocks(tree));
  PST_ASSIGN_OR_RETURN(uint64_t size, store.DataTreeSize(tree));
  if (blocks.empty()) return Status::Corruption(what + ": data tree " + Hex(tree) + " has no blocks");
  return std::shared_ptr<const ByteSource>(
      std::make_shared<DataTreeSource>(store, std::move(blocks), size, std::move(what)));
}

Result<std::vector<uint8_t>> ReadDataTree(NodeStore& store, Bid tree, uint64_t limit,
                                          const std::string& what) {
  PST_ASSIGN_OR_RETURN(std::vector<Bid> blocks, store.DataBlocks(tree));
  std::vector<uint8_t> out;
  for (Bid bid : blocks) {
    PST_ASSIGN_OR_RETURN(std::vector<uint8_t> bytes, store.ReadDataBlock(bid));
    if (out.size() + bytes.size() > limit)
      return Status::Corruption(what + ": data tree " + Hex(tree) + " holds more than " +
                                std::to_string(limit) + " bytes");
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

}  // namespace velmora::pst
