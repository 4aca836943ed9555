// A NodeStore kept in maps, for tests of the layers above the node database. It follows the reference rules
// of NodeStore (trees are freed when their last reference goes) but writes no file.
#pragma once

#include <algorithm>
#include <map>
#include <string>

#include "pst/ndb/node_store.h"

namespace velmora::pst::testing {

class MemoryNodeStore : public NodeStore {
 public:
  Result<std::optional<NodeEntry>> FindNode(Nid nid) override {
    auto it = nodes_.find(nid);
    if (it == nodes_.end()) return std::optional<NodeEntry>();
    return std::optional<NodeEntry>(it->second);
  }
  Status ForEachNode(const std::function<Status(const NodeEntry&)>& fn) override {
    for (auto& [nid, e] : nodes_) PST_RETURN_IF_ERROR(fn(e));
    return Status::Ok();
  }
  Result<std::vector<Bid>> DataBlocks(Bid tree) override {
    auto it = blocks_.find(tree);
    if (it == blocks_.end()) return Status::NotFound("block " + std::to_string(tree));
    if (!it->second.children.empty() || it->second.internal) {
      std::vector<Bid> out;
      for (Bid c : it->second.children) {
        PST_ASSIGN_OR_RETURN(auto sub, DataBlocks(c));
        out.insert(out.end(), sub.begin(), sub.end());
      }
      return out;
    }
    return std::vector<Bid>{tree};
  }
  Result<uint64_t> DataTreeSize(Bid tree) override {
    PST_ASSIGN_OR_RETURN(auto list, DataBlocks(tree));
    uint64_t n = 0;
    for (Bid b : list) n += blocks_[b].bytes.size();
    return n;
  }
  Result<std::vector<uint8_t>> ReadDataBlock(Bid bid) override {
    auto it = blocks_.find(bid);
    if (it == blocks_.end() || it->second.internal)
      return Status::NotFound("data block " + std::to_string(bid));
    return it->second.bytes;
  }
  Result<std::vector<SubnodeEntry>> ReadSubnodes(Bid tree) override {
    auto it = subtrees_.find(tree);
    if (it == subtrees_.end()) return Status::NotFound("subnode tree " + std::to_string(tree));
    return it->second;
  }
  Result<Bid> WriteDataBlock(std::span<const uint8_t> bytes) override {
    if (bytes.size() > kMaxBlockData) return Status::InvalidArgument("block too large");
    Bid b = NextBid(false);
    blocks_[b] = Block{std::vector<uint8_t>(bytes.begin(), bytes.end()), {}, false, 1};
    return b;
  }
  Result<Bid> WriteDataTree(std::span<const Bid> list) override {
    if (list.empty()) return Status::InvalidArgument("empty data tree");
    if (list.size() == 1) return list[0];
    Bid b = NextBid(true);
    blocks_[b] = Block{{}, std::vector<Bid>(list.begin(), list.end()), true, 1};
    return b;
  }
  Result<Bid> WriteSubnodeTree(std::span<const SubnodeEntry> entries) override {
    if (entries.empty()) return Bid{0};
    std::vector<SubnodeEntry> v(entries.begin(), entries.end());
    std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.nid < b.nid; });
    for (size_t i = 1; i < v.size(); ++i)
      if (v[i].nid == v[i - 1].nid) return Status::InvalidArgument("duplicate subnode NID");
    Bid b = NextBid(true);
    blocks_[b] = Block{{}, {}, true, 1};
    subtrees_[b] = std::move(v);
    return b;
  }
  Status PutNode(const NodeEntry& e) override {
    auto it = nodes_.find(e.nid);
    if (it != nodes_.end()) {
      NodeEntry old = it->second;
      nodes_[e.nid] = e;
      if (old.data) PST_RETURN_IF_ERROR(Release(old.data));
      if (old.sub) PST_RETURN_IF_ERROR(Release(old.sub));
    } else {
      nodes_[e.nid] = e;
    }
    auto& next = rgnid_[NidTypeOf(e.nid)];
    next = std::max(next, NidIndexOf(e.nid) + 1);
    return Status::Ok();
  }
  Status DeleteNode(Nid nid) override {
    auto it = nodes_.find(nid);
    if (it == nodes_.end()) return Status::NotFound("node");
    NodeEntry old = it->second;
    nodes_.erase(it);
    if (old.data) PST_RETURN_IF_ERROR(Release(old.data));
    if (old.sub) PST_RETURN_IF_ERROR(Release(old.sub));
    return Status::Ok();
  }
  Status AddRef(Bid tree) override {
    auto it = blocks_.find(tree);
    if (it == blocks_.end()) return Status::NotFound("block");
    ++it->second.refs;
    return Status::Ok();
  }
  Status Release(Bid tree) override {
    auto it = blocks_.find(tree);
    if (it == blocks_.end()) return Status::NotFound("block");
    if (--it->second.refs > 0) return Status::Ok();
    Block gone = std::move(it->second);
    blocks_.erase(it);
    for (Bid c : gone.children) PST_RETURN_IF_ERROR(Release(c));
    auto st = subtrees_.find(tree);
    if (st != subtrees_.end()) {
      auto entries = std::move(st->second);
      subtrees_.erase(st);
      for (auto& e : entries) {
        if (e.data) PST_RETURN_IF_ERROR(Release(e.data));
        if (e.sub) PST_RETURN_IF_ERROR(Release(e.sub));
      }
    }
    return Status::Ok();
  }
  Result<Nid> AllocateNid(NidType type) override {
    auto& next = rgnid_[type];
    if (next == 0) next = 0x400;
    return MakeNid(type, next++);
  }
  Status Commit() override {
    ++commits_;
    return Status::Ok();
  }

  size_t live_blocks() const { return blocks_.size(); }
  int commits() const { return commits_; }

 private:
  struct Block {
    std::vector<uint8_t> bytes;
    std::vector<Bid> children;
    bool internal = false;
    int refs = 0;
  };
  Bid NextBid(bool internal) {
    next_bid_ += 4;
    return next_bid_ | (internal ? kBidInternalBit : 0);
  }
  std::map<Nid, NodeEntry> nodes_;
  std::map<Bid, Block> blocks_;
  std::map<Bid, std::vector<SubnodeEntry>> subtrees_;
  std::map<uint8_t, uint32_t> rgnid_;
  Bid next_bid_ = 0;
  int commits_ = 0;
};

}  // namespace velmora::pst::testing
