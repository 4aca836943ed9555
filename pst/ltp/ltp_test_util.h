// Helpers shared by the LTP tests: a store whose blocks a test can damage, and a large synthetic ByteSource.
#pragma once

#include <algorithm>
#include <functional>
#include <map>

#include "pst/ltp/property.h"
#include "pst/ndb/testing/memory_node_store.h"

namespace velmora::pst::testing {

// A MemoryNodeStore that passes block reads through an optional edit, so tests can corrupt stored bytes.
class TamperStore : public MemoryNodeStore {
 public:
  using Edit = std::function<void(std::vector<uint8_t>&)>;
  void Tamper(Bid bid, Edit edit) { edits_[bid] = std::move(edit); }
  Result<std::vector<uint8_t>> ReadDataBlock(Bid bid) override {
    ++reads_;
    auto r = MemoryNodeStore::ReadDataBlock(bid);
    if (!r.ok()) return r;
    if (auto it = edits_.find(bid); it != edits_.end()) it->second(*r);
    return r;
  }
  int reads() const { return reads_; }

 private:
  std::map<Bid, Edit> edits_;
  int reads_ = 0;
};

// Bytes computed from their offset, never held in memory; remembers the largest single read.
class PatternSource : public ByteSource {
 public:
  explicit PatternSource(uint64_t size) : size_(size) {}
  static uint8_t At(uint64_t i) { return static_cast<uint8_t>((i * 2654435761u) >> 13); }
  uint64_t Size() const override { return size_; }
  Status Read(uint64_t offset, std::span<uint8_t> out) const override {
    if (offset > size_ || out.size() > size_ - offset) return Status::InvalidArgument("past end");
    for (size_t i = 0; i < out.size(); ++i) out[i] = At(offset + i);
    largest_read_ = std::max(largest_read_, out.size());
    return Status::Ok();
  }
  size_t largest_read() const { return largest_read_; }

 private:
  uint64_t size_;
  mutable size_t largest_read_ = 0;
};

inline std::vector<uint8_t> Pattern(size_t n, uint64_t seed = 0) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = PatternSource::At(i + seed);
  return v;
}

}  // namespace velmora::pst::testing
