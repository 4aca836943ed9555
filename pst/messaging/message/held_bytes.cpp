#include "pst/messaging/message/held_bytes.h"

#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace velmora::pst {

Result<uint64_t> HeldBytes(NodeStore& store, Bid data, Bid sub) {
  uint64_t total = 0;
  if (data) {
    PST_ASSIGN_OR_RETURN(total, store.DataTreeSize(data));
  }
  if (!sub) return total;
  PST_ASSIGN_OR_RETURN(std::vector<SubnodeEntry> entries, store.ReadSubnodes(sub));
  for (const SubnodeEntry& e : entries) {
    PST_ASSIGN_OR_RETURN(uint64_t below, HeldBytes(store, e));
    total += below;
  }
  return total;
}

namespace {

// Zeros standing in for a large value whose bytes do not matter to the layout.
class Zeros : public ByteSource {
 public:
  explicit Zeros(uint64_t size) : size_(size) {}
  uint64_t Size() const override { return size_; }
  Status Read(uint64_t offset, std::span<uint8_t> out) const override {
    if (offset + out.size() > size_) return Status::InvalidArgument("read past the end");
    std::memset(out.data(), 0, out.size());
    return Status::Ok();
  }

 private:
  uint64_t size_;
};

// A NodeStore that keeps only the size of what is written to it.
class CountingStore : public NodeStore {
 public:
  Result<std::optional<NodeEntry>> FindNode(Nid) override { return Unsupported(); }
  Status ForEachNode(const std::function<Status(const NodeEntry&)>&) override { return Unsupported(); }
  Result<std::vector<Bid>> DataBlocks(Bid) override { return Unsupported(); }
  Result<uint64_t> DataTreeSize(Bid tree) override {
    auto it = sizes_.find(tree);
    if (it == sizes_.end()) return Status::NotFound("no such tree");
    return it->second;
  }
  Result<std::vector<uint8_t>> ReadDataBlock(Bid) override { return Unsupported(); }
  Result<std::vector<SubnodeEntry>> ReadSubnodes(Bid) override { return Unsupported(); }
  Result<Bid> WriteDataBlock(std::span<const uint8_t> bytes) override {
    Bid bid = Next();
    sizes_[bid] = bytes.size();
    return bid;
  }
  Result<Bid> WriteDataTree(std::span<const Bid> blocks) override {
    uint64_t total = 0;
    for (Bid b : blocks) total += sizes_[b];
    Bid bid = Next();
    sizes_[bid] = total;
    return bid;
  }
  Result<Bid> WriteSubnodeTree(std::span<const SubnodeEntry> entries) override {
    return entries.empty() ? Bid{0} : Next();
  }
  Status PutNode(const NodeEntry&) override { return Unsupported(); }
  Status DeleteNode(Nid) override { return Unsupported(); }
  Status AddRef(Bid) override { return Status::Ok(); }
  Status Release(Bid) override { return Status::Ok(); }
  Result<Nid> AllocateNid(NidType type) override { return MakeNid(type, next_nid_++); }
  Status Commit() override { return Unsupported(); }

 private:
  static Status Unsupported() { return Status::Unsupported("a counting store only takes writes"); }
  Bid Next() { return next_bid_ += 4; }
  std::map<Bid, uint64_t> sizes_;
  Bid next_bid_ = 0;
  uint32_t next_nid_ = 0x400;
};

// Values above this go to subnodes in any PC ([MS-PST] 2.3.3.3: heap items hold at most 3,580 bytes); a
// stand-in of the same size lands in the same place.
constexpr uint64_t kLargestHeapValue = 3580;

// Puts the large values of a property map back when the measure is done, however it ends.
class StandIns {
 public:
  explicit StandIns(PropertyMap& props) {
    for (auto& [id, value] : props) {
      if (value.Size() <= kLargestHeapValue) continue;
      PropValue zeros = PropValue::Stream(value.type, std::make_shared<Zeros>(value.Size()));
      taken_.emplace_back(&value, std::move(value));
      value = std::move(zeros);
    }
  }
  ~StandIns() {
    for (auto& [slot, original] : taken_) *slot = std::move(original);
  }
  StandIns(const StandIns&) = delete;
  StandIns& operator=(const StandIns&) = delete;

 private:
  std::vector<std::pair<PropValue*, PropValue>> taken_;
};

}  // namespace

Result<uint64_t> MeasurePropertyContext(PropertyMap& props) {
  // The stand-ins take the large values' places in the map itself: copying the map cost as much as the
  // measure.
  StandIns stand_ins(props);
  CountingStore counter;
  PST_ASSIGN_OR_RETURN(HeapOutput out, WritePropertyContext(counter, props));
  uint64_t total = 0;
  if (out.data) {
    PST_ASSIGN_OR_RETURN(total, counter.DataTreeSize(out.data));
  }
  for (const SubnodeEntry& e : out.subnodes) {
    PST_ASSIGN_OR_RETURN(uint64_t size, counter.DataTreeSize(e.data));
    total += size;
  }
  return total;
}

}  // namespace velmora::pst
